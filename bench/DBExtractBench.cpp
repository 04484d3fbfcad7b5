// Reading a large schema from a database: the database extractor through the binding, side by
// side with isql-fb -x on the same database, timed in turn so both see the same machine load.
// Builds the generated workload's master database (Workload.h) of N tables, or reads the one
// given (a database an earlier run kept with --keep).
//   ./build/bench/dbextract_bench [N] [runs] [--keep folder | database]
#include "Workload.h"
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBDBExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// isql-fb commits every DDL statement; with forced writes each commit waits for the disk, so
// the database is created first and switched to asynchronous writes before the objects go in.
std::string BuildDatabase(const std::string& Folder, int N) {
    const std::string path = Folder + "/road" + std::to_string(N) + ".fdb";
    const std::string create = "SET SQL DIALECT 3;\nCREATE DATABASE '" + path + "' DEFAULT CHARACTER SET UTF8;\n";
    const std::string objects = "CONNECT '" + path + "';\n" + qnl::bench::WorkloadObjects(N, false) + "\nCOMMIT;\n";
    std::string out;
    if (qnl::test::RunIsqlScript(qnl::test::TempDir(), "-q -b", create, out) != 0 ||
        std::system(("gfix -write async '" + path + "'").c_str()) != 0 ||
        qnl::test::RunIsqlScript(qnl::test::TempDir(), "-q -b", objects, out) != 0) {
        std::fprintf(stderr, "building the database failed:\n%s\n", out.c_str());
        return {};
    }
    return path;
}

double Seconds(std::chrono::steady_clock::duration D) { return std::chrono::duration<double>(D).count(); }

} // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    test::PrepareFirebirdEnvironment();
    const std::string where = argc > 3 ? argv[3] : "";
    const bool keep = where == "--keep" && argc > 4;
    struct stat st {};
    const bool given = !keep && !where.empty() && stat(where.c_str(), &st) == 0;
    const test::TempDir dir;
    std::string path = given ? where : std::string();
    if (!given) {
        std::printf("building the database (N=%d)...\n", n);
        std::fflush(stdout);
        path = BuildDatabase(keep ? std::string(argv[4]) : dir.Path(), n);
        if (path.empty()) return 1;
        if (keep) std::printf("kept: %s\n", path.c_str());
    }

    double best = 1e9, bestIsql = 1e9;
    int tables = 0;
    for (int r = 0; r < runs; ++r) {
        TFIBDatabase database;
        database.SetDBName(path);
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
        // Each step's share: the time from one log line to the next (printed for the last run).
        std::string steps;
        auto last = std::chrono::steady_clock::now();
        std::string lastText = "start";
        extractor.SetOnLogNextLine([&](TObject*, const std::string& Text) {
            const auto now = std::chrono::steady_clock::now();
            steps += "  " + lastText + " " + std::to_string(Seconds(now - last)) + " s\n";
            last = now;
            lastText = Text;
        });
        const auto start = std::chrono::steady_clock::now();
        const bool ok = extractor.ExtractDatabase();
        steps += "  " + lastText + " " + std::to_string(Seconds(std::chrono::steady_clock::now() - last)) + " s\n";
        if (r == runs - 1) std::printf("steps of the last run:\n%s", steps.c_str());
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        if (!ok) {
            std::fprintf(stderr, "extraction failed:\n%s", errors.c_str());
            return 1;
        }
        tables = structure.Objs()->List(olTables).Count();
        extractor.SetQNLConnection(nullptr);

        const auto isqlStart = std::chrono::steady_clock::now();
        const std::string text = test::ExtractSchema(path);
        bestIsql = std::min(bestIsql, Seconds(std::chrono::steady_clock::now() - isqlStart));
        if (text.empty()) return 1;
    }
    std::printf("tables read: %d\n", tables);
    std::printf("database extractor: %.3f s (best of %d)\n", best, runs);
    std::printf("isql-fb -x:         %.3f s (best of %d)\n", bestIsql, runs);
    std::printf("ratio extractor / isql: %.2f\n", best / bestIsql);
    double load[3] = {};
    if (getloadavg(load, 3) == 3) std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    return 0;
}
