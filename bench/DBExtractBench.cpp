// Reading a large schema from a database: the database extractor through the binding, side by
// side with isql-fb -x on the same database. Builds a generated schema of 2000 tables (with keys,
// an index each, and procedures, triggers and views over them) once, then times both readers.
//   ./build/bench/dbextract_bench [runs]
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBDBExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int TableCount = 2000;
constexpr int RoutineEvery = 4;  // a procedure, a trigger and a view for every fourth table

std::string GeneratedSchema() {
    std::string s;
    for (int i = 0; i < TableCount; ++i) {
        const std::string t = "T" + std::to_string(i);
        s += "CREATE TABLE " + t + " (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) DEFAULT 'n' NOT NULL, " +
             "AMOUNT NUMERIC(15,2), CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP, NOTE BLOB SUB_TYPE TEXT, PARENT INTEGER" +
             (i > 0 ? ", CONSTRAINT FK_" + t + " FOREIGN KEY (PARENT) REFERENCES T" + std::to_string(i - 1) + " (ID)"
                    : std::string()) +
             ", CHECK (AMOUNT >= 0));\n";
        s += "CREATE INDEX IX_" + t + " ON " + t + " (NAME);\n";
        s += "COMMENT ON TABLE " + t + " IS 'Table " + std::to_string(i) + "';\n";
    }
    s += "COMMIT;\nSET TERM ^ ;\n";
    for (int i = 0; i < TableCount; i += RoutineEvery) {
        const std::string t = "T" + std::to_string(i);
        s += "CREATE PROCEDURE P_" + t + " (A INTEGER) RETURNS (N VARCHAR(40)) AS BEGIN FOR SELECT NAME FROM " + t +
             " WHERE ID = :A INTO :N DO SUSPEND; END^\n";
        s += "CREATE TRIGGER TR_" + t + " FOR " + t + " BEFORE INSERT AS BEGIN NEW.NAME = UPPER(NEW.NAME); END^\n";
    }
    s += "SET TERM ; ^\n";
    for (int i = 0; i < TableCount; i += RoutineEvery) {
        const std::string t = "T" + std::to_string(i);
        s += "CREATE VIEW V_" + t + " AS SELECT ID, NAME, AMOUNT FROM " + t + " WHERE AMOUNT > 0;\n";
    }
    return s;
}

double Seconds(std::chrono::steady_clock::duration D) { return std::chrono::duration<double>(D).count(); }

} // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    test::PrepareFirebirdEnvironment();
    std::printf("building the database (%d tables)...\n", TableCount);
    const test::TempDatabase db(GeneratedSchema(), "UTF8");

    double best = 1e9, bestIsql = 1e9;
    int tables = 0;
    for (int r = 0; r < runs; ++r) {
        TFIBDatabase database;
        database.SetDBName(db.Path());
        database.ConnectParams().SetUserName("SYSDBA");
        database.SynchronizeTime = false;
        TQNLConnectionFIB connection;
        connection.SetDatabase(&database);
        TDBStructure structure;
        TIBDBExtract extractor;
        extractor.ShowFullLog = false;
        extractor.SetQNLConnection(&connection);
        extractor.SetDBStructure(&structure);
        std::string errors;
        extractor.OnErrorMessage = [&](TObject*, const std::string& Text) { errors += Text + "\n"; };
        const auto start = std::chrono::steady_clock::now();
        const bool ok = extractor.ExtractDatabase();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        if (!ok) {
            std::fprintf(stderr, "extraction failed:\n%s", errors.c_str());
            return 1;
        }
        tables = structure.Objs()->List(olTables).Count();
        extractor.SetQNLConnection(nullptr);

        const auto isqlStart = std::chrono::steady_clock::now();
        const std::string text = test::ExtractSchema(db.Path());
        bestIsql = std::min(bestIsql, Seconds(std::chrono::steady_clock::now() - isqlStart));
        if (text.empty()) return 1;
    }
    std::printf("tables read: %d\n", tables);
    std::printf("database extractor: %.3f s (best of %d)\n", best, runs);
    std::printf("isql-fb -x:         %.3f s (best of %d)\n", bestIsql, runs);
    std::printf("ratio extractor / isql: %.2f\n", best / bestIsql);
    return 0;
}
