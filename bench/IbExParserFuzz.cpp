// Fuzz run of the body reader, by hand (best under the sanitizer build):
//   ./build-sanitize/bench/ibexparser_fuzz [seconds=120] [seed] [script...]
// Reads the given scripts (by default our Firebird 3 feature script) once, then parses random
// mutations of them (bytes dropped, doubled, swapped or replaced by SQL punctuation and words)
// and of random token soup, each with a fresh structure. It stops with a message when one parse
// takes longer than ten seconds (a hang); crashes and memory faults are the sanitizers' to report.
#include "interbase/qnlIBExParser.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const Pieces[] = {"(",      ")",     ";",      "^",       ",",     ".",      ":",      "'",
                              "\"",     "BEGIN", "END",    "SELECT",  "FROM",  "WHERE",  "JOIN",   "ON",
                              "CASE",   "WHEN",  "THEN",   "ELSE",    "IF",    "FOR",    "DO",     "INTO",
                              "AS",     "NEW.",  "OLD.",   "DECLARE", "MERGE", "USING",  "OVER",   "q'{",
                              "/*",     "--",    "\n",     "SET TERM ^ ;", "EXECUTE PROCEDURE", "GEN_ID(",
                              "NEXT VALUE FOR", "WITH", "UNION", "ORDER BY", "CURSOR", "FETCH", "EXCEPTION"};

std::string ReadFile(const std::string& Name) {
    std::ifstream f(Name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Mutate(const std::string& Text, std::mt19937& Rng) {
    std::string t = Text;
    std::uniform_int_distribution<int> ops(1, 12);
    const int n = ops(Rng);
    for (int i = 0; i < n && !t.empty(); ++i) {
        std::uniform_int_distribution<size_t> at(0, t.size() - 1);
        const size_t p = at(Rng);
        switch (Rng() % 5) {
        case 0: t.erase(p, 1 + Rng() % 20); break;
        case 1: t.insert(p, t.substr(p, 1 + Rng() % 40)); break;
        case 2: std::swap(t[p], t[at(Rng)]); break;
        case 3: t.insert(p, std::string(" ") + Pieces[Rng() % std::size(Pieces)] + " "); break;
        default: t[p] = static_cast<char>(Rng() % 128); break;
        }
    }
    return t;
}

std::string Soup(std::mt19937& Rng) {
    std::string t = "CREATE PROCEDURE P AS BEGIN ";
    const int n = static_cast<int>(Rng() % 200);
    for (int i = 0; i < n; ++i) t += std::string(Pieces[Rng() % std::size(Pieces)]) + (Rng() % 3 ? " " : "X ");
    return t;
}

void ParseOne(const std::string& Text, qnl::TIBSQLServerVersionType Version) {
    qnl::TObjs objs;
    objs.SetServerType(qnl::stInterBase);
    objs.IBServerOptions.SQLServerVersion = Version;
    qnl::TIbExParser parser;
    parser.OnError = [](qnl::TObject*, const std::string&) {};
    qnl::TStringList lines;
    lines.SetText(Text);
    parser.ParseScript(lines, &objs);
    parser.AfterParse();
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
    std::vector<std::string> scripts;
    for (int i = 3; i < argc; ++i) scripts.push_back(ReadFile(argv[i]));
    if (scripts.empty()) scripts.push_back(ReadFile(QNL_SOURCE_DIR "/tests/fixtures/scripts/fb3_features.sql"));
    std::printf("seed %u, %d s\n", seed, seconds);
    std::mt19937 rng(seed);

    std::atomic<long> started{0};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        long last = -1;
        int still = 0;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const long now = started;
            still = now == last ? still + 1 : 0;
            last = now;
            if (still >= 10) {
                std::fprintf(stderr, "parse %ld has run for 10 s: a hang (seed %u)\n", now, seed);
                std::_Exit(2);
            }
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const qnl::TIBSQLServerVersionType versions[] = {qnl::st_Firebird_30, qnl::st_Firebird_25, qnl::st_Firebird_40,
                                                     qnl::st_InterBase_6x, qnl::st_InterBase_2020};
    long count = 0;
    while (std::chrono::steady_clock::now() < end) {
        ++started;
        const std::string text = rng() % 4 == 0 ? Soup(rng) : Mutate(scripts[rng() % scripts.size()], rng);
        ParseOne(text, versions[rng() % std::size(versions)]);
        ++count;
    }
    done = true;
    watchdog.join();
    std::printf("%ld parses, no crash, no hang\n", count);
    return 0;
}
