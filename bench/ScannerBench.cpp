// Scanner throughput on a large generated DDL script: tables, procedures with bodies between
// SET TERM, comments of both kinds, strings with doubled quotes, numbers and operators.
#include "core/qnlIBKeywords.h"
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

std::string GenerateScript(size_t MinBytes) {
    std::string s;
    s.reserve(MinBytes + 4096);
    for (int i = 0; s.size() < MinBytes; ++i) {
        const std::string n = std::to_string(i);
        s += "/* Table "; s += n; s += ": customer data,\n   kept for the ledger */\n";
        s += "CREATE TABLE CUSTOMER_"; s += n; s += " (\n";
        s += "    ID INTEGER NOT NULL,\n";
        s += "    NAME VARCHAR(80) CHARACTER SET UTF8 COLLATE UNICODE_CI,\n";
        s += "    BALANCE NUMERIC(15, 2) DEFAULT 0.00,\n";
        s += "    RATE DOUBLE PRECISION DEFAULT 1.5E+3,\n";
        s += "    NOTE VARCHAR(200) DEFAULT 'it''s new', -- a remark\n";
        s += "    GRID INTEGER [1:10, 0:3],\n";
        s += "    CONSTRAINT PK_CUSTOMER_"; s += n; s += " PRIMARY KEY (ID)\n);\n\n";
        s += "SET TERM ^ ;\n";
        s += "CREATE PROCEDURE GET_BALANCE_"; s += n; s += " (CUST_ID INTEGER)\nRETURNS (TOTAL NUMERIC(15, 2))\nAS\n";
        s += "DECLARE VARIABLE I INTEGER;\nBEGIN\n";
        s += "  FOR SELECT C.BALANCE FROM CUSTOMER_"; s += n; s += " C WHERE C.ID = :CUST_ID AND C.RATE >= 0.5\n";
        s += "      AND C.NAME || 'x' <> '' INTO :TOTAL DO\n";
        s += "  BEGIN\n    I = I + 1; TOTAL = TOTAL * 2 - 1;\n    SUSPEND;\n  END\nEND^\n";
        s += "SET TERM ; ^\n\n";
    }
    return s;
}

void BM_ScanTokens(benchmark::State& State) {
    const std::string script = GenerateScript(static_cast<size_t>(State.range(0)) << 20);
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
BENCHMARK(BM_ScanTokens)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace
