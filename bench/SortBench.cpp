// The data set's local sort and locate on 100,000 rows already fetched: sorting by an integer,
// a scaled number, a text column with NULLs and by three fields, a linear locate of the last
// row and a bisecting one on the sorted rows. The rows are fetched once per run, outside the
// timing.
#include "datasets/FIBDataSet.h"
#include "fixtures/FbFixture.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qnl;

constexpr int RowCount = 100000;

test::TempDatabase& Table() {
    static std::unique_ptr<test::TempDatabase> db = std::make_unique<test::TempDatabase>(
        "CREATE TABLE T (ID INTEGER NOT NULL, I INTEGER, N NUMERIC(18,4),\n"
        "  V VARCHAR(30) CHARACTER SET UTF8, D DATE);\n"
        "SET TERM ^;\n"
        "EXECUTE BLOCK AS DECLARE K INTEGER = 0; BEGIN\n"
        "  WHILE (K < " + std::to_string(RowCount) + ") DO BEGIN\n"
        "    INSERT INTO T VALUES (:K, MOD(:K * 7919, 100003), MOD(:K * 104729, 99991) / 7.0,\n"
        "      IIF(MOD(:K, 10) = 0, NULL, 'row ' || MOD(:K * 31, 50021)), DATEADD(MOD(:K, 3650) DAY TO DATE '2000-01-01'));\n"
        "    K = K + 1;\n"
        "  END\n"
        "END^\n"
        "SET TERM ;^\n",
        "UTF8");
    return *db;
}

struct Fetched {
    TFIBDatabase Db;
    TFIBTransaction Tr;
    TFIBDataSet DS;
    Fetched() {
        Db.SetDBName(Table().Path());
        Db.ConnectParams().SetUserName("SYSDBA");
        Db.ConnectParams().SetCharSet("UTF8");
        Db.SetSQLDialect(3);
        Db.Open();
        Tr.SetDefaultDatabase(&Db);
        DS.SetDatabase(&Db);
        DS.SetTransaction(&Tr);
        DS.SetSelectSQL("SELECT * FROM T");
        DS.Open();
        DS.FetchAll();
    }
    ~Fetched() {
        DS.Close();
        if (Tr.Active()) Tr.Rollback();
    }
};

void Sort(benchmark::State& State, std::vector<TSortElement> Fields, std::vector<bool> Ascending) {
    Fetched f;
    for (auto _ : State) f.DS.DoSortEx(Fields, Ascending);
    State.SetItemsProcessed(State.iterations() * RowCount);
}

void BM_SortInteger(benchmark::State& State) { Sort(State, {"I"}, {true}); }
void BM_SortNumeric(benchmark::State& State) { Sort(State, {"N"}, {false}); }
void BM_SortText(benchmark::State& State) { Sort(State, {"V"}, {true}); }
void BM_SortThreeFields(benchmark::State& State) { Sort(State, {"D", "V", "ID"}, {true, false, true}); }

void BM_LocateLinear(benchmark::State& State) {
    Fetched f;
    for (auto _ : State) benchmark::DoNotOptimize(f.DS.ExtLocate("ID", {Variant(int32_t(RowCount - 1))}, 0, true, ldFirst, true));
}

void BM_LocateSorted(benchmark::State& State) {
    Fetched f;
    f.DS.DoSortEx({"I", "ID"}, {true, true});
    int k = 0;
    for (auto _ : State) {
        k = (k + 7919) % RowCount;
        benchmark::DoNotOptimize(
            f.DS.ExtLocate("I", {Variant(int32_t((k * 7919) % 100003))}, lxSortedSearch | lxNearest, true, ldFirst, true));
    }
}

BENCHMARK(BM_SortInteger)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortThreeFields)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateLinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateSorted)->Unit(benchmark::kMicrosecond);

} // namespace
