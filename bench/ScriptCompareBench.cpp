// The road from scripts to an update script at scale, on the generated workload (Workload.h) at
// N = 500, 2000 and 4000: reading a script into a structure (warm, in this process), comparing
// two structures, and isql-fb -x of the database the N=2000 master builds as the yardstick.
// Before the benchmarks it reports, each from a fresh process: the first read of the N=2000
// master script, and the peak memory of reading both sides at N=4000 (against the scripts' size
// and per object, columns and parameters counted).
//   ./build/bench/scriptcompare_bench [benchmark options]
#include "Workload.h"

#include "interbase/qnlIBSQLExec.h"
#include "interbase/qnlScriptExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"
#include "objects/qnlQuarnel.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace qnl;

struct Files {
    qnl::test::TempDir Dir;
    std::string Master, Target;
    double MasterMB = 0, TargetMB = 0;
    explicit Files(int N) : Master(Dir.File("master.sql")), Target(Dir.File("target.sql")) {
        const std::string master = bench::WorkloadScript(N, false), target = bench::WorkloadScript(N, true);
        MasterMB = static_cast<double>(master.size()) / 1e6;
        TargetMB = static_cast<double>(target.size()) / 1e6;
        std::ofstream(Master, std::ios::binary) << master;
        std::ofstream(Target, std::ios::binary) << target;
    }
};

Files& Scripts(int N) {
    static std::map<int, std::unique_ptr<Files>> files;
    std::unique_ptr<Files>& f = files[N];
    if (!f) f = std::make_unique<Files>(N);
    return *f;
}

bool Extract(TIBScriptExtract& X, TDBStructure& S, const std::string& File, int N) {
    S.Objs()->IBServerOptions.SQLServerVersion = st_Firebird_30;
    X.OnErrorMessage = [](TObject*, const std::string&) {};
    X.SetDBStructure(&S);
    X.SetScriptFileName(File);
    return X.ExtractDatabase() && S.Objs()->List(olTables).Count() == N;
}

void BM_ExtractScript(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    Files& f = Scripts(n);
    for (auto _ : State) {
        TDBStructure structure;
        TIBScriptExtract x;
        if (!Extract(x, structure, f.Master, n)) State.SkipWithError("the script did not read cleanly");
    }
    State.counters["MB"] = f.MasterMB;
}
BENCHMARK(BM_ExtractScript)->Arg(500)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CompareStructures(benchmark::State& State) {
    const int n = static_cast<int>(State.range(0));
    Files& f = Scripts(n);
    int statements = 0;
    for (auto _ : State) {
        State.PauseTiming();
        auto master = std::make_unique<TDBStructure>(), target = std::make_unique<TDBStructure>();
        TIBScriptExtract mx, tx;
        if (!Extract(mx, *master, f.Master, n) || !Extract(tx, *target, f.Target, n))
            State.SkipWithError("the scripts did not read cleanly");
        TIBSQLExec exec;
        exec.IBServerOptions.SQLServerVersion = st_Firebird_30;
        TQuarnel q;
        q.OnErrorMessage = [](TObject*, const std::string&) {};
        q.SetDBStructureMaster(master.get());
        q.SetDBStructureTarget(target.get());
        q.SetSQLExec(&exec);
        State.ResumeTiming();
        // Compare pairs, marks and writes the passes itself.
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
BENCHMARK(BM_CompareStructures)->Arg(500)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The yardstick: isql-fb -x of the database the N=2000 master script builds (built once).
void BM_IsqlExtract(benchmark::State& State) {
    qnl::test::PrepareFirebirdEnvironment();
    static const qnl::test::TempDatabase db(qnl::test::CompleteScript{bench::WorkloadScript(2000, false)});
    for (auto _ : State) benchmark::DoNotOptimize(qnl::test::ExtractSchema(db.Path()));
}
BENCHMARK(BM_IsqlExtract)->Unit(benchmark::kMillisecond)->Iterations(3);

double Seconds(std::chrono::steady_clock::duration D) { return std::chrono::duration<double>(D).count(); }

// Child modes, run in a fresh process by the parent (never by hand).
int FirstRead(const char* File, int N) {
    const auto start = std::chrono::steady_clock::now();
    TDBStructure structure;
    TIBScriptExtract x;
    if (!Extract(x, structure, File, N)) return 1;
    std::printf("%.3f\n", Seconds(std::chrono::steady_clock::now() - start));
    return 0;
}

// Every filed object with its columns and parameters.
long ObjectCount(TObjs& Objs) {
    long n = 0;
    for (int k = 0; k < ObjListCount; ++k) {
        const TDbObjList& list = Objs.List(static_cast<TObjListKind>(k));
        for (int i = 0; i < list.Count(); ++i) {
            const TDbObj* o = list.Obj(i);
            n += 1 + o->GetColumnCount() + o->GetInputParamCount() + o->GetOutputParamCount();
        }
    }
    return n;
}

int PeakMemory(const char* Master, const char* Target, int N) {
    TDBStructure master, target;
    TIBScriptExtract mx, tx;
    if (!Extract(mx, master, Master, N) || !Extract(tx, target, Target, N)) return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld %ld\n", usage.ru_maxrss, ObjectCount(*master.Objs()) + ObjectCount(*target.Objs()));
    return 0;
}

std::string RunSelf(const std::string& Args) {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    FILE* p = popen((std::string(self) + " " + Args).c_str(), "r");
    if (!p) return {};
    char line[256] = {};
    std::string out = fgets(line, sizeof line, p) ? line : "";
    return pclose(p) == 0 ? out : std::string();
}

long BaselineKB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--first-read") == 0) return FirstRead(argv[2], std::atoi(argv[3]));
    if (argc == 5 && std::strcmp(argv[1], "--peak-memory") == 0)
        return PeakMemory(argv[2], argv[3], std::atoi(argv[4]));

    const long baseline = BaselineKB();
    Files& f2000 = Scripts(2000);
    std::printf("first read of the N=2000 master (%.2f MB) in a fresh process:", f2000.MasterMB);
    std::fflush(stdout);
    for (int run = 0; run < 3; ++run)
        std::printf(" %s s", [&] {
            std::string t = RunSelf("--first-read " + f2000.Master + " 2000");
            while (!t.empty() && t.back() == '\n') t.pop_back();
            return t.empty() ? std::string("failed") : t;
        }().c_str());
    std::printf("\n");
    Files& f4000 = Scripts(4000);
    const std::string peak = RunSelf("--peak-memory " + f4000.Master + " " + f4000.Target + " 4000");
    const double scriptsMB = f4000.MasterMB + f4000.TargetMB;
    long peakKB = 0, objects = 0;
    std::sscanf(peak.c_str(), "%ld %ld", &peakKB, &objects);
    const double peakMB = static_cast<double>(peakKB) / 1024.0;
    std::printf("peak memory reading both N=4000 sides (%.2f MB of script): %.0f MB (%.1fx; the bare process: %.0f MB)",
                scriptsMB, peakMB, (peakMB - baseline / 1024.0) / scriptsMB, baseline / 1024.0);
    if (objects > 0)
        std::printf(", %ld objects with their columns and parameters: %.0f bytes each", objects,
                    (static_cast<double>(peakKB) - static_cast<double>(baseline)) * 1024.0 / static_cast<double>(objects));
    std::printf("\n");
    std::fflush(stdout);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
