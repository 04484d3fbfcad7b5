// A forward walk over 1,000,000 rows with the limited cache (100 rows held) against the full
// cache, each in a process of its own so that its peak memory is its own.
//   ./build/bench/limitedcache_bench [rows]
#include "datasets/FIBDataSet.h"
#include "fixtures/FbFixture.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace qnl;

// Walks every row and reads one value of each; prints the time and the process's peak memory.
int Walk(const std::string& Path, bool Limited) {
    TFIBDatabase db;
    db.SetDBName(Path);
    db.ConnectParams().SetUserName("SYSDBA");
    db.SetSQLDialect(3);
    db.Open();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.TRParams().SetText("read\nread_committed\nrec_version\nnowait");
    TFIBDataSet ds;
    ds.SetDatabase(&db);
    ds.SetTransaction(&tr);
    ds.SetUpdateTransaction(&tr);
    ds.SetSelectSQL("SELECT ID, I, N, V FROM T ORDER BY ID");
    if (Limited) {
        ds.CacheModelOptions().SetBufferChunks(100);
        ds.CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize);
    }
    const auto start = std::chrono::steady_clock::now();
    ds.Open();
    int64_t rows = 0, sum = 0;
    for (; !ds.Eof(); ds.Next(), ++rows) sum += ds.FieldByName("I")->AsInteger();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-14s %8lld rows  %7.2f s  peak memory %7.1f MB  (sum %lld)\n", Limited ? "limited cache" : "full cache",
                static_cast<long long>(rows), seconds, usage.ru_maxrss / 1024.0, static_cast<long long>(sum));
    ds.Close();
    tr.Commit();
    std::fflush(stdout);   // the child ends with _Exit, which flushes nothing
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    test::PrepareFirebirdEnvironment();
    const test::TempDatabase table(
        "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, I INTEGER, N NUMERIC(18,4), V VARCHAR(40));\n"
        "SET TERM ^;\n"
        "EXECUTE BLOCK AS DECLARE K INTEGER = 0; BEGIN\n"
        "  WHILE (K < " + std::to_string(rows) + ") DO BEGIN\n"
        "    INSERT INTO T VALUES (:K, MOD(:K, 1000), :K / 7.0, 'row ' || :K);\n"
        "    K = K + 1;\n"
        "  END\n"
        "END^\n"
        "SET TERM ;^\n");
    for (const bool limited : {true, false}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) std::_Exit(Walk(table.Path(), limited));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "the %s walk failed\n", limited ? "limited" : "full");
            return 1;
        }
    }
    return 0;
}
