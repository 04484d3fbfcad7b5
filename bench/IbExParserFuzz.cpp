// Fuzz run of the body reader, by hand (best under the sanitizer build):
//   ./build-sanitize/bench/ibexparser_fuzz [seconds=120] [seed] [script...]
// Reads the given scripts (by default our Firebird 3 feature script) once, then parses random
// mutations of them (bytes dropped, doubled, swapped or replaced by SQL punctuation and words)
// and of random token soup, each with a fresh structure. It stops with a message when one parse
// takes longer than ten seconds (a hang); crashes and memory faults are the sanitizers' to report.
#include "FuzzRun.h"

#include "interbase/qnlIBExParser.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
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
    qnl::fuzz::TRun run = qnl::fuzz::ReadRunArguments(argc, argv);
    std::vector<std::string> scripts;
    for (int i = 3; i < argc; ++i) scripts.push_back(ReadFile(argv[i]));
    if (scripts.empty()) scripts.push_back(ReadFile(QNL_SOURCE_DIR "/tests/fixtures/scripts/fb3_features.sql"));
    const qnl::TIBSQLServerVersionType versions[] = {qnl::st_Firebird_30, qnl::st_Firebird_25, qnl::st_Firebird_40,
                                                     qnl::st_InterBase_6x, qnl::st_InterBase_2020};
    const qnl::fuzz::TMutation how{12, 20, 40, true, 128};
    const long count = qnl::fuzz::RunFor(run, "parse", [&](std::mt19937& Rng) {
        const std::string text =
            Rng() % 4 == 0 ? Soup(Rng) : qnl::fuzz::Mutate(scripts[Rng() % scripts.size()], Rng, how, Pieces);
        ParseOne(text, versions[Rng() % std::size(versions)]);
    });
    std::printf("%ld parses, no crash, no hang\n", count);
    return 0;
}
