// The DDL reader on a generated 2 MB script of 2000 tables: columns of many types, primary,
// unique, foreign and check constraints, indices. One iteration reads the whole script into a
// fresh container and links it, as the script extractor does.
//
// And a view of derived tables nested 10 to 30 deep, each level reading a column of the level
// inside it, read by the body reader as the script reader reads it (from a script) and as the
// database reader reads it (its stored source): the time grows with the length, not with the
// depth (each query is read once).
#include "interbase/qnlIBExParser.h"
#include "interbase/qnlIBParser.h"

#include "objects/qnlComp_Viw.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace qnl;

std::string GenerateSchema(int Tables) {
    std::string s = "SET SQL DIALECT 3;\nCREATE DATABASE 'bench.fdb' DEFAULT CHARACTER SET UTF8;\n\n";
    for (int i = 0; i < Tables; ++i) {
        const std::string n = std::to_string(i);
        const std::string t = "ORDERS_" + n;
        s += "/* Table " + n + ": orders of one ledger, kept apart from the others\n"
             "   so that each can be archived on its own. */\n";
        s += "CREATE TABLE " + t + " (\n"
             "    ID INTEGER NOT NULL,\n"
             "    PARENT_ID INTEGER,\n"
             "    CODE VARCHAR(20) CHARACTER SET OCTETS NOT NULL,\n"
             "    NAME VARCHAR(80) COLLATE UNICODE_CI,\n"
             "    AMOUNT NUMERIC(15, 2) DEFAULT 0,\n"
             "    RATE DOUBLE PRECISION DEFAULT 1.5,\n"
             "    CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL,\n"
             "    STATUS CHAR(1) DEFAULT 'N' CHECK (STATUS IN ('N', 'Y', 'X')),\n"
             "    NOTE BLOB SUB_TYPE TEXT SEGMENT SIZE 80,\n"
             "    GRID INTEGER [1:10, 0:3],\n"
             "    TOTAL COMPUTED BY (AMOUNT * RATE), -- derived\n"
             "    CONSTRAINT PK_" + t + " PRIMARY KEY (ID),\n"
             "    CONSTRAINT UQ_" + t + " UNIQUE (CODE) USING DESC INDEX IX_UQ_" + t + "\n);\n";
        s += "CREATE INDEX IX_" + t + "_NAME ON " + t + " (NAME, CREATED);\n";
        s += "CREATE DESCENDING INDEX IX_" + t + "_AMOUNT ON " + t + " (AMOUNT);\n";
        if (i > 0)
            s += "ALTER TABLE " + t + " ADD CONSTRAINT FK_" + t + " FOREIGN KEY (PARENT_ID) REFERENCES ORDERS_" +
                 std::to_string(i - 1) + " (ID) ON DELETE CASCADE;\n";
        s += "\n";
    }
    return s;
}

void BM_ReadSchemaScript(benchmark::State& State) {
    const std::string script = GenerateSchema(static_cast<int>(State.range(0)));
    TStringList lines;
    lines.SetText(script);
    for (auto _ : State) {
        TObjs objs;
        objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
        TIbParser parser;
        parser.ShowProgress = false;
        parser.ParseScript(lines, &objs);
        parser.AfterParse();
        if (parser.MsgManager->Count() != 0 || objs.List(olTables).Count() != State.range(0))
            State.SkipWithError("the script did not read cleanly");
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(script.size()));
    State.counters["MB"] = static_cast<double>(script.size()) / 1e6;
}
BENCHMARK(BM_ReadSchemaScript)->Arg(2000)->Unit(benchmark::kMillisecond);

// SELECT X0 AS X1 FROM (SELECT X0 FROM (... (SELECT ID AS X0 FROM T) D0 ...) Dn-1) Dn
std::string NestedQuery(int Depth) {
    std::string q = "SELECT ID AS X0, QTY FROM T WHERE QTY > 0";
    for (int i = 0; i < Depth; ++i) {
        const std::string d = std::to_string(i);
        q = "SELECT X" + d + " AS X" + std::to_string(i + 1) + ", QTY FROM (" + q + ") D" + d + " WHERE QTY = (SELECT MAX(QTY) FROM T)";
    }
    return q;
}

const char* const NestedSchema = "CREATE TABLE T (ID INTEGER, QTY INTEGER);\n";

void BM_NestedViewFromScript(benchmark::State& State) {
    TStringList lines;
    lines.SetText(std::string(NestedSchema) + "CREATE VIEW V AS " + NestedQuery(static_cast<int>(State.range(0))) + ";\n");
    for (auto _ : State) {
        TObjs objs;
        objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
        TIbExParser parser;
        parser.ShowProgress = false;
        parser.ParseScript(lines, &objs);
        parser.AfterParse();
        if (parser.MsgManager->Count() != 0 || objs.FindView("V")->DependsOn.Count() == 0)
            State.SkipWithError("the view did not read cleanly");
    }
}
BENCHMARK(BM_NestedViewFromScript)->DenseRange(10, 30, 10)->Unit(benchmark::kMillisecond);

void BM_NestedViewStoredSource(benchmark::State& State) {
    TObjs objs;
    objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
    TStringList lines;
    lines.SetText(NestedSchema);
    TIbExParser reader;
    reader.ParseScript(lines, &objs);
    TViwData view(&objs);
    view.SetName("V");
    view.SetSource(NestedQuery(static_cast<int>(State.range(0))));
    for (auto _ : State) {
        TIbExParser parser;
        parser.Objs = &objs;
        parser.ShowProgress = false;
        parser.ParseObjectSource(&view);
        if (parser.MsgManager->Count() != 0 || view.DependsOn.Count() == 0)
            State.SkipWithError("the view did not read cleanly");
    }
}
BENCHMARK(BM_NestedViewStoredSource)->DenseRange(10, 30, 10)->Unit(benchmark::kMillisecond);

} // namespace
