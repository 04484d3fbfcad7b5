// Scripts read and compared at scale: a generated 2000-table schema script (tables with
// constraints and indices, triggers, procedures and views) read into a structure by the script
// extractor, and two such structures that differ in every tenth table compared into an update
// script. The yardstick is isql-fb -x of the database the same script builds.
#include "interbase/qnlIBSQLExec.h"
#include "interbase/qnlScriptExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"
#include "objects/qnlQuarnel.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace qnl;

constexpr int Tables = 2000;

// Changed marks the variant: every tenth table has one more column, and the trigger, procedure
// and view that go with it read differently.
std::string GenerateSchema(int Count, bool Changed) {
    std::string s = "SET SQL DIALECT 3;\nCREATE DATABASE 'bench.fdb' DEFAULT CHARACTER SET UTF8;\n\n";
    std::string routines = "SET TERM ^ ;\n";
    std::string views;
    for (int i = 0; i < Count; ++i) {
        const std::string n = std::to_string(i);
        const std::string t = "ORDERS_" + n;
        const bool changed = Changed && i % 10 == 0;
        s += "/* Table " + n + ": orders of one ledger. */\n";
        s += "CREATE TABLE " + t + " (\n"
             "    ID INTEGER NOT NULL,\n"
             "    PARENT_ID INTEGER,\n"
             "    CODE VARCHAR(20) CHARACTER SET OCTETS NOT NULL,\n"
             "    NAME VARCHAR(80) COLLATE UNICODE_CI,\n"
             "    AMOUNT NUMERIC(15, 2) DEFAULT 0,\n"
             "    RATE DOUBLE PRECISION DEFAULT 1.5,\n"
             "    CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL,\n"
             "    STATUS CHAR(1) DEFAULT 'N' CHECK (STATUS IN ('N', 'Y', 'X')),\n" +
             std::string(changed ? "    EXTRA VARCHAR(10),\n" : "") +
             "    NOTE BLOB SUB_TYPE TEXT SEGMENT SIZE 80,\n"
             "    TOTAL COMPUTED BY (AMOUNT * RATE),\n"
             "    CONSTRAINT PK_" + t + " PRIMARY KEY (ID),\n"
             "    CONSTRAINT UQ_" + t + " UNIQUE (CODE) USING DESC INDEX IX_UQ_" + t + "\n);\n";
        s += "CREATE INDEX IX_" + t + "_NAME ON " + t + " (NAME, CREATED);\n";
        if (i > 0)
            s += "ALTER TABLE " + t + " ADD CONSTRAINT FK_" + t + " FOREIGN KEY (PARENT_ID) REFERENCES ORDERS_" +
                 std::to_string(i - 1) + " (ID) ON DELETE CASCADE;\n";
        s += "\n";
        routines += "CREATE TRIGGER " + t + "_BI FOR " + t + " BEFORE INSERT AS\nBEGIN\n"
                    "  IF (NEW.STATUS IS NULL) THEN NEW.STATUS = '" + (changed ? "Y" : "N") + "';\nEND^\n";
        routines += "CREATE PROCEDURE " + t + "_SUM (P INTEGER) RETURNS (S NUMERIC(18, 2)) AS\nBEGIN\n"
                    "  SELECT SUM(AMOUNT) FROM " + t + " WHERE PARENT_ID = :P" + (changed ? " AND STATUS = 'Y'" : "") +
                    " INTO :S;\n  SUSPEND;\nEND^\n";
        views += "CREATE VIEW V_" + t + " (ID, CODE, TOTAL) AS SELECT ID, CODE, TOTAL FROM " + t +
                 (changed ? " WHERE STATUS <> 'X'" : "") + ";\n";
    }
    return s + routines + "SET TERM ; ^\n\n" + views;
}

struct Files {
    qnl::test::TempDir Dir;
    std::string Master = Dir.File("master.sql");
    std::string Target = Dir.File("target.sql");
    double MasterMB = 0;
    Files() {
        const std::string master = GenerateSchema(Tables, false);
        MasterMB = static_cast<double>(master.size()) / 1e6;
        std::ofstream(Master, std::ios::binary) << master;
        std::ofstream(Target, std::ios::binary) << GenerateSchema(Tables, true);
    }
};

Files& Scripts() {
    static Files files;
    return files;
}

bool Extract(TIBScriptExtract& X, TDBStructure& S, const std::string& File) {
    S.Objs()->IBServerOptions.SQLServerVersion = st_Firebird_30;
    X.OnErrorMessage = [](TObject*, const std::string&) {};
    X.SetDBStructure(&S);
    X.SetScriptFileName(File);
    return X.ExtractDatabase() && S.Objs()->List(olTables).Count() == Tables;
}

void BM_ExtractScript(benchmark::State& State) {
    Files& f = Scripts();
    for (auto _ : State) {
        TDBStructure structure;
        TIBScriptExtract x;
        if (!Extract(x, structure, f.Master)) State.SkipWithError("the script did not read cleanly");
    }
    State.counters["MB"] = f.MasterMB;
}
BENCHMARK(BM_ExtractScript)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CompareStructures(benchmark::State& State) {
    Files& f = Scripts();
    int statements = 0;
    for (auto _ : State) {
        State.PauseTiming();
        auto master = std::make_unique<TDBStructure>(), target = std::make_unique<TDBStructure>();
        TIBScriptExtract mx, tx;
        if (!Extract(mx, *master, f.Master) || !Extract(tx, *target, f.Target))
            State.SkipWithError("the scripts did not read cleanly");
        TIBSQLExec exec;
        exec.IBServerOptions.SQLServerVersion = st_Firebird_30;
        TQuarnel q;
        q.OnErrorMessage = [](TObject*, const std::string&) {};
        q.SetDBStructureMaster(master.get());
        q.SetDBStructureTarget(target.get());
        q.SetSQLExec(&exec);
        State.ResumeTiming();
        // Pairing, marking and the passes: what a comparison does after both sides are read.
        q.MatchObjects();
        master->Objs()->StoreCreateTexts();
        target->Objs()->StoreCreateTexts();
        q.MarkObjects();
        q.Compare();
        statements = exec.StatementCount();
        State.PauseTiming();
        q.SetSQLExec(nullptr);
        q.SetDBStructureMaster(nullptr);
        q.SetDBStructureTarget(nullptr);
        mx.SetDBStructure(nullptr);
        tx.SetDBStructure(nullptr);
        master.reset();
        target.reset();
        State.ResumeTiming();
    }
    State.counters["statements"] = statements;
}
BENCHMARK(BM_CompareStructures)->Unit(benchmark::kMillisecond)->Iterations(3);

// The yardstick: isql-fb -x of the database the master script builds (built once).
void BM_IsqlExtract(benchmark::State& State) {
    qnl::test::PrepareFirebirdEnvironment();
    static const qnl::test::TempDatabase db(qnl::test::CompleteScript{GenerateSchema(Tables, false)});
    for (auto _ : State) benchmark::DoNotOptimize(qnl::test::ExtractSchema(db.Path()));
}
BENCHMARK(BM_IsqlExtract)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
