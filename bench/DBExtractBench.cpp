// Reading a large schema from a database: the database extractor through the binding, side by
// side with isql-fb -x on the same database, timed in turn so both see the same machine load.
// Builds the generated workload's master database (Workload.h) of N tables once.
//   ./build/bench/dbextract_bench [N] [runs]
#include "Workload.h"
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBDBExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Seconds(std::chrono::steady_clock::duration D) { return std::chrono::duration<double>(D).count(); }

} // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    test::PrepareFirebirdEnvironment();
    std::printf("building the database (N=%d)...\n", n);
    const test::TempDatabase db(test::CompleteScript{bench::WorkloadScript(n, false)});

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
