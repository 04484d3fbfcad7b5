// Scanning: source text to tokens, value texts, integer values and the positions errors name.
#include "core/qnlIBKeywords.h"
#include "interbase/qnlParser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace qnl {
namespace {

// A SQL parser that knows the InterBase/Firebird keywords, as the dialect parser will.
class KeywordParser : public TCustomSQLParser {
public:
    KeywordParser() { KeywordParser::InitKeywords(); }
    void InitKeywords() override {
        TCustomSQLParser::InitKeywords();
        for (const TIBKeyword& k : IBKeywords()) ResWords->AddWord(std::string(k.Word), k.Token);
    }
};

// One token as "code", "code=text" (identifiers and keywords: TokenText; numbers and strings:
// ValueText) and, for integers, "code=text:value".
std::string Describe(const TCustomParser& p) {
    std::string s = std::to_string(p.Token);
    switch (p.Token) {
    case tkIdent: s += "=" + p.TokenText; break;
    case tkFloat:
    case tkString: s += "=" + p.ValueText; break;
    case tkInteger: s += "=" + p.ValueText + ":" + std::to_string(p.IntValue); break;
    default:
        if (p.Token >= FixedTokenCount) s += "=" + p.TokenText;
        break;
    }
    return s;
}

std::vector<std::string> Scan(TCustomParser& p, const std::string& Text) {
    p.SetSource(Text);
    std::vector<std::string> out;
    do {
        p.NextToken();
        out.push_back(Describe(p));
    } while (p.Token != tkEOF && out.size() < 200);
    return out;
}

struct ScanCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Tokens;
    TServerType ServerType = stInterBase;
    std::string Term = ";";
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.Name; }

class ScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, TokensValuesAndTexts) {
    const ScanCase& c = GetParam();
    TCustomSQLParser p;
    p.OnError = [](TObject*, const std::string&) {};
    p.ServerType = c.ServerType;
    p.SetTerm(c.Term);
    EXPECT_EQ(Scan(p, c.Text), c.Tokens) << c.Name;
}

const std::string kSub = std::string(1, char(26));

INSTANTIATE_TEST_SUITE_P(
    Scanner, ScanTable,
    ::testing::Values(
        ScanCase{"identifiers are upper-cased", "abc Ab$1 x_y", {"1=ABC", "1=AB$1", "1=X_Y", "0"}},
        ScanCase{"quoted names and strings", "\"My Name\" 'it''s' `b`", {"3=My Name", "3=it's", "3=b", "0"}},
        ScanCase{"an unclosed string runs to the end (reported)", "'abc", {"3=abc", "0"}},
        ScanCase{"numbers", "12 007 1.5 .5 1.5E+3 1E5 1e-2",
                 {"4=12:12", "4=007:7", "2=1.5", "2=.5", "2=1.5E+3", "2=1E5", "2=1e-2", "0"}},
        // Two points end the number; the second point then starts the float ".10".
        ScanCase{"array bounds", "[1..10]", {"24", "4=1:1", "15", "2=.10", "25", "0"}},
        ScanCase{"single-character operators", "( ) , - + * / : = . @ [ ] \\ % & ;",
                 {"5", "6", "7", "8", "9", "10", "11", "16", "14", "15", "26", "24", "25", "27", "28", "29", "12",
                  "0"}},
        ScanCase{"two-character operators", "a<b>c<=d>=e<>f!=g==h||i",
                 {"1=A", "18", "1=B", "19", "1=C", "20", "1=D", "21", "1=E", "22", "1=F", "22", "1=G", "23", "1=H",
                  "17", "1=I", "0"}},
        ScanCase{"block and line comments", "a /* x ; */ b -- c ;\nd", {"1=A", "1=B", "1=D", "0"}},
        ScanCase{"a line comment ends at a carriage return", "a -- c\rb", {"1=A", "1=B", "0"}},
        ScanCase{"an unclosed comment runs to the end (reported)", "a /* b", {"1=A", "0"}},
        ScanCase{"comment markers inside strings", "'--x' '/*'", {"3=--x", "3=/*", "0"}},
        ScanCase{"character 26 is a blank", "a" + kSub + "b", {"1=A", "1=B", "0"}},
        ScanCase{"semicolon as terminator", "a;b", {"1=A", "12", "1=B", "0"}},
        ScanCase{"after SET TERM ^", "a;b^c", {"1=A", "13", "1=B", "12", "1=C", "0"}, stInterBase, "^"},
        ScanCase{"a two-character terminator wins over operators", "a!!b", {"1=A", "12", "1=B", "0"}, stInterBase,
                 "!!"},
        ScanCase{"blanks inside operators for MSSQL", "a ! = b < = c", {"1=A", "22", "1=B", "20", "1=C", "0"}, stMSSQL},
        ScanCase{"blanks inside operators for ASE", "a > = b", {"1=A", "21", "1=B", "0"}, stASE},
        ScanCase{"blanks end an operator elsewhere", "a < = b", {"1=A", "18", "14", "1=B", "0"}},
        ScanCase{"MySQL backslash escapes", "'a\\n\\'b\\q'", {"3=a\n'bq", "0"}, stMySQL},
        ScanCase{"backslash is plain text in other dialects", "'a\\n'", {"3=a\\n", "0"}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) {
        std::string n;
        for (const char* s = info.param.Name; *s; ++s) n += std::isalnum(static_cast<unsigned char>(*s)) ? *s : '_';
        return n;
    });

TEST(Scanner, KeywordsKeepTheirLettersAndDialectWordsStayIdentifiers) {
    KeywordParser p;
    EXPECT_EQ(Scan(p, "select Foo from Bar"),
              (std::vector<std::string>{std::to_string(kwSELECT) + "=select", "1=FOO", std::to_string(kwFROM) + "=from",
                                        "1=BAR", "0"}));
    EXPECT_EQ(p.TokenName(kwINT), "INTEGER");  // synonyms: the last word in list order names the code
}

TEST(Scanner, QuoteCharIsSetForStringsOnly) {
    TCustomSQLParser p;
    p.SetSource("'x' \"y\" z 'w';");
    p.NextToken();
    EXPECT_EQ(p.QuoteChar, '\'');
    p.NextToken();
    EXPECT_EQ(p.QuoteChar, '"');
    p.NextToken();
    EXPECT_EQ(p.QuoteChar, 0);
    p.NextToken();
    p.NextToken();
    EXPECT_EQ(p.Token, tkTerminator);
    EXPECT_EQ(p.QuoteChar, 0);
}

struct ErrorCase {
    std::string Text;
    std::string Message;
    int Line;
    int Column;
    std::vector<std::string> Tokens;  // the whole scan, reading on after the error
    TServerType ServerType = stInterBase;
};

TEST(Scanner, InvalidCharactersAndUnclosedTextsAreReportedWithTheirPosition) {
    const std::vector<ErrorCase> cases = {
        {"a # b", "Invalid char in source text: \"#\".", 1, 3, {"1=A", "0", "1=B", "0"}},
        {"x\n  _y", "Invalid char in source text: \"_\".", 2, 3, {"1=X", "0", "1=Y", "0"}},
        {"a ? b", "Invalid char in source text: \"?\".", 1, 3, {"1=A", "0", "1=B", "0"}},
        // A lone "!" used to end the token stream without a word; now it is reported like the others.
        {"a ! b", "Invalid char in source text: \"!\".", 1, 3, {"1=A", "0", "1=B", "0"}},
        {"a | b", "Invalid char in source text: \"|\".", 1, 3, {"1=A", "0", "1=B", "0"}},
        {"a \xC3\xA9", "Invalid char in source text: \"\xC3\".", 1, 3, {"1=A", "0", "0"}},
        // Unclosed strings and comments are reported where they open, not where the text ends.
        {"a 'bc;\nd;", "Unclosed string: no closing ' to the end of the script.", 1, 3, {"1=A", "3=bc;\nd;", "0"}},
        {"a\r\n  \"b c", "Unclosed string: no closing \" to the end of the script.", 2, 3, {"1=A", "3=b c", "0"}},
        {"a;\n /* b;\nc;", "Unclosed comment: no closing */ to the end of the script.", 2, 2, {"1=A", "12", "0"}},
        {"a 'b\\'", "Unclosed string: no closing ' to the end of the script.", 1, 3, {"1=A", "3=b'", "0"}, stMySQL},
    };
    for (const ErrorCase& c : cases) {
        TCustomSQLParser p;
        std::vector<std::string> shown;
        p.OnError = [&](TObject*, const std::string& t) { shown.push_back(t); };
        p.ScriptName = "s.sql";
        p.ServerType = c.ServerType;
        p.SetSource(c.Text);
        std::vector<std::string> tokens;
        while (!p.AtEnd() && tokens.size() < 20) {
            p.NextToken();
            tokens.push_back(Describe(p));
        }
        if (tokens.back() != "0") tokens.push_back("0");
        EXPECT_EQ(tokens, c.Tokens) << c.Text;
        ASSERT_GE(p.MsgManager->Count(), 1) << c.Text;
        const TMsgData& m = p.MsgManager->Items(0);
        EXPECT_EQ(m.Text, c.Message);
        EXPECT_EQ(m.Kind, mkError);
        EXPECT_EQ(m.ScriptName, "s.sql");
        EXPECT_EQ(m.Line, c.Line) << c.Text;
        EXPECT_EQ(m.Column, c.Column) << c.Text;
        ASSERT_EQ(shown.size(), 1u);  // only the first error of a run is shown
        EXPECT_EQ(shown[0], c.Message + "\r\nScript: s.sql Line:" + std::to_string(c.Line) +
                                " Pos:" + std::to_string(c.Column + 1) + "\r\n");
    }
}

TEST(Scanner, LoneExclamationMarkEndsTheStatementLoopWithAnError) {
    // The base statement loop stops at token 0; the script is not dropped silently any more.
    TCustomSQLParser p;
    p.OnError = [](TObject*, const std::string&) {};
    TStringList lines;
    lines.SetText("a ! b;\nc;");
    p.ParseScript(lines, nullptr);
    EXPECT_TRUE(p.MsgManager->HasErrors());
}

TEST(Scanner, LinesAndColumnsFollowEveryKindOfLineBreak) {
    // LF, CR LF and a lone CR each start a new line.
    for (const std::string brk : {"\n", "\r\n", "\r"}) {
        TCustomSQLParser p;
        p.OnError = [](TObject*, const std::string&) {};
        p.SetSource("a" + brk + "bb" + brk + "  #");
        while (!p.MsgManager->HasErrors() && !p.AtEnd()) p.NextToken();
        ASSERT_TRUE(p.MsgManager->HasErrors());
        EXPECT_EQ(p.MsgManager->Items(0).Line, 3);
        EXPECT_EQ(p.MsgManager->Items(0).Column, 3);
    }
}

TEST(Scanner, TokenStartIndexesTheSourceFromOne) {
    TCustomSQLParser p;
    p.SetSource("  abc  'x'");
    p.NextToken();
    EXPECT_EQ(p.TokenStart, 3u);
    EXPECT_EQ(p.GetText(p.TokenStart, 3), "abc");
    p.NextToken();
    EXPECT_EQ(p.TokenStart, 8u);
    p.NextToken();
    EXPECT_EQ(p.Token, tkEOF);
    EXPECT_EQ(p.TokenStart, p.SourceLength() + 1);
}

TEST(Scanner, BigIntegersSaturateInsteadOfOverflowing) {
    TCustomSQLParser p;
    p.SetSource("9223372036854775807 99999999999999999999");
    p.NextToken();
    EXPECT_EQ(p.IntValue, INT64_MAX);
    p.NextToken();
    EXPECT_EQ(p.Token, tkInteger);
    EXPECT_EQ(p.IntValue, INT64_MAX);
    EXPECT_EQ(p.ValueText, "99999999999999999999");
}

} // namespace
} // namespace qnl
