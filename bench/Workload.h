#pragma once
// The road benchmarks' workload: one generated schema of every kind at a chosen size N, in a
// master and a target variant that differ in about 30% of the objects of each kind.
//   N tables (keys, a unique constraint, a foreign key to the previous table, a check, an index,
//   a computed column, columns typed by domains), N sequences, N procedures, N triggers,
//   N/4 views, N/4 exceptions, N/10 domains.
// The text is a complete script (dialect, CREATE DATABASE, SET TERM) that isql-fb runs as is.
#include <string>

namespace qnl::bench {

// Every object whose number i has i % 10 < 3 reads differently in the target variant: tables get
// one more column and one column of another size, routines and views another body, domains and
// exceptions another check or message, sequences another start.
std::string WorkloadScript(int N, bool Target);
// The same without the dialect and CREATE DATABASE lines: the objects alone.
std::string WorkloadObjects(int N, bool Target);

} // namespace qnl::bench
