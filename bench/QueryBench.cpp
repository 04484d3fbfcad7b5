// Fetching 1,000,000 rows of a 10-column table through TFIBQuery and through a data set (every
// value read as text), side by side with isql-fb selecting the same rows into /dev/null. The table is built once
// with the embedded engine; the two take turns on the file, which the engine opens for one
// process at a time.
#include "client/FIBQuery.h"
#include "datasets/FIBDataSet.h"
#include "fixtures/FbFixture.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using namespace qnl;

constexpr int RowCount = 1000000;
const char* const Select = "SELECT * FROM T";

test::TempDatabase& Table() {
    static std::unique_ptr<test::TempDatabase> db = [] {
        auto d = std::make_unique<test::TempDatabase>(
            "CREATE TABLE T (ID INTEGER NOT NULL, I INTEGER, BI BIGINT, N NUMERIC(18,2), D DOUBLE PRECISION,\n"
            "  DT DATE, TS TIMESTAMP, V VARCHAR(30), C CHAR(10), B BOOLEAN);\n"
            "SET TERM ^;\n"
            "EXECUTE BLOCK AS DECLARE K INTEGER = 0; BEGIN\n"
            "  WHILE (K < " + std::to_string(RowCount) + ") DO BEGIN\n"
            "    INSERT INTO T VALUES (:K, MOD(:K, 1000), :K * 1000003, :K / 7.0, :K / 3.0,\n"
            "      DATEADD(MOD(:K, 3650) DAY TO DATE '2000-01-01'),\n"
            "      DATEADD(:K SECOND TO TIMESTAMP '2000-01-01 00:00:00'), 'row ' || :K, 'c' || MOD(:K, 100),\n"
            "      MOD(:K, 2) = 0);\n"
            "    K = K + 1;\n"
            "  END\n"
            "END^\n"
            "SET TERM ;^\n");
        return d;
    }();
    return *db;
}

// Attaches to the table's database with a read-only transaction.
void Attach(TFIBDatabase& Db, TFIBTransaction& Tr) {
    Db.SetDBName(Table().Path());
    Db.ConnectParams().SetUserName("SYSDBA");
    Db.SetSQLDialect(3);
    Db.Open();
    Tr.SetDefaultDatabase(&Db);
    Tr.TRParams().SetText("read\nread_committed\nrec_version\nnowait");
}

void BM_FetchThroughTFIBQuery(benchmark::State& State) {
    TFIBDatabase db;
    TFIBTransaction tr;
    Attach(db, tr);
    TFIBQuery q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText(Select);
    size_t bytes = 0;
    for (auto _ : State) {
        tr.StartTransaction();
        q.ExecQuery();
        int rows = 0;
        for (; !q.Eof(); q.Next(), ++rows)
            for (int i = 0; i < q.GetFieldCount(); ++i) bytes += q.Fields()[i].GetAsString().size();
        q.Close();
        tr.Commit();
        if (rows != RowCount) State.SkipWithError("wrong row count");
    }
    benchmark::DoNotOptimize(bytes);
    db.Close();
    State.SetItemsProcessed(State.iterations() * RowCount);
}

// Opens the data set and walks every row into its record cache, reading each field as text.
void BM_FetchThroughDataSet(benchmark::State& State) {
    TFIBDatabase db;
    TFIBTransaction tr;
    Attach(db, tr);
    size_t bytes = 0;
    for (auto _ : State) {
        TFIBDataSet ds;
        ds.SetDatabase(&db);
        ds.SetTransaction(&tr);
        ds.SetUniDirectional(State.range(0) != 0);
        ds.SetSelectSQL(Select);
        ds.Open();
        int rows = 0;
        const int count = ds.FieldCount();
        for (; !ds.Eof(); ds.Next(), ++rows)
            for (int i = 0; i < count; ++i) bytes += ds.Fields()[i]->AsString().size();
        ds.Close();
        tr.Commit();
        if (rows != RowCount) State.SkipWithError("wrong row count");
    }
    benchmark::DoNotOptimize(bytes);
    db.Close();
    State.SetItemsProcessed(State.iterations() * RowCount);
}

void BM_FetchThroughIsql(benchmark::State& State) {
    test::TempDatabase& table = Table();
    const std::string script = table.Dir().File("select.sql");
    std::ofstream(script) << Select << ";\n";
    test::PrepareFirebirdEnvironment();
    const std::string command = "isql-fb -q -user SYSDBA -i '" + script + "' '" + table.Path() + "' > /dev/null";
    for (auto _ : State)
        if (std::system(command.c_str()) != 0) State.SkipWithError("isql-fb failed");
    State.SetItemsProcessed(State.iterations() * RowCount);
}

BENCHMARK(BM_FetchThroughTFIBQuery)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FetchThroughDataSet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FetchThroughIsql)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
