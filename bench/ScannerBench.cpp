// Scanner throughput in MB/s (bytes_per_second) on the road workload's N=2000 script (Workload.h)
// and on the examples' employee.sql, following SET TERM as the script reader does.
#include "Workload.h"

#include "core/qnlIBKeywords.h"
#include "fixtures/ScriptFixtures.h"
#include "interbase/qnlParser.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace qnl;

class KeywordParser : public TCustomSQLParser {
public:
    KeywordParser() { KeywordParser::InitKeywords(); }
    void InitKeywords() override {
        TCustomSQLParser::InitKeywords();
        for (const TIBKeyword& k : IBKeywords()) ResWords->AddWord(std::string(k.Word), k.Token);
    }
};

void ScanTokens(benchmark::State& State, const std::string& script) {
    if (script.empty()) {
        State.SkipWithError("no script");
        return;
    }
    KeywordParser p;
    p.ShowProgress = false;
    int64_t tokens = 0;
    for (auto _ : State) {
        p.SetSource(script);
        p.SetTerm(";");
        do {
            p.NextToken();
            ++tokens;
            // Follow SET TERM as the dialect's statement loop does.
            if (p.Token == kwSET) {
                p.NextToken();
                if (p.Token == tkIdent && p.TokenText == "TERM") {
                    // The new terminator is raw text up to the next blank.
                    while (p.SkipBlanks()) {
                    }
                    std::string term;
                    while (!p.AtEnd() && p.CurChar != ' ' && p.CurChar != '\n') {
                        term += p.CurChar;
                        p.NextChar();
                    }
                    p.NextToken();  // the old terminator ending SET TERM
                    p.SetTerm(term);
                }
            }
        } while (p.Token != tkEOF || !p.AtEnd());
        if (p.MsgManager->HasErrors()) State.SkipWithError("scan error");
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(script.size()));
    State.counters["tokens"] = benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
    State.counters["MB"] = static_cast<double>(script.size()) / 1e6;
}
void BM_ScanWorkload(benchmark::State& State) {
    static const std::string script = bench::WorkloadScript(2000, false);
    ScanTokens(State, script);
}
BENCHMARK(BM_ScanWorkload)->Unit(benchmark::kMillisecond);

void BM_ScanEmployee(benchmark::State& State) {
    static const std::string script = [] {
        std::string why;
        return test::EmployeeScript(why);
    }();
    ScanTokens(State, script);
}
BENCHMARK(BM_ScanEmployee)->Unit(benchmark::kMicrosecond);

} // namespace
