// The parser skeleton: reserved words, expectations, saved states, errors, files and scripts,
// statement hand-off and the events.
#include "interbase/qnlParser.h"

#include "fixtures/FbFixture.h"
#include "core/qnlDBStructure.h"
#include "core/qnlExtract.h"
#include "platform/AppHooks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace qnl {
namespace {

std::vector<std::string> Texts(const TMsgManager& m) {
    std::vector<std::string> r;
    for (int i = 0; i < m.Count(); ++i) r.push_back(m.Items(i).Text);
    return r;
}

const std::string kUnknown = "<?" "?" "?>";

class QuietParser : public TCustomSQLParser {
public:
    QuietParser() {
        OnError = [this](TObject*, const std::string& t) { Shown.push_back(t); };
    }
    std::vector<std::string> Shown;
};

TEST(ResWordList, NamesCodesAndSynonyms) {
    TResWordList w;
    w.AddWord("INTEGER", 40);
    w.AddWord("INT", 40);
    w.AddWord("select", 41);
    w.AddWord("SELECT", 99);  // already listed: ignored
    EXPECT_EQ(w.Count(), 3);
    EXPECT_EQ(w.GetTokenName(40), "INTEGER");  // the last entry in list order carrying the code
    EXPECT_EQ(w.GetTokenName(41), "select");
    EXPECT_EQ(w.GetTokenName(42), kUnknown);
    EXPECT_EQ(w.Lookup("SELECT"), 41);
    EXPECT_EQ(w.Lookup("FROM"), -1);
    int index = -1;
    ASSERT_TRUE(w.Find("Int", index));
    EXPECT_EQ(w.GetToken(index), 40);
    w.Clear();
    EXPECT_EQ(w.Lookup("SELECT"), -1);
    EXPECT_EQ(w.GetTokenName(41), kUnknown);
}

TEST(Parser, FixedTokenNames) {
    TCustomParser p;
    const std::vector<std::pair<TTokenCode, std::string>> names = {
        {0, "<EOF>"}, {1, "<Ident>"}, {2, "<Float value>"}, {3, "<String value>"}, {4, "<Integer value>"},
        {12, "<Terminator>"}, {13, "<;>"}, {17, "<||>"}, {18, "\"<\""}, {21, "\">=\""}, {22, "[<>]"},
        {27, "\\"}, {28, "%"}, {29, "<&>"}, {30, kUnknown}};
    for (auto& [code, name] : names) EXPECT_EQ(p.TokenName(code), name) << int(code);
    // The fixed names are in the list but no identifier can spell them.
    p.SetSource("EOF Ident");
    p.NextToken();
    EXPECT_EQ(p.Token, tkIdent);
}

TEST(Parser, ExpectWithSignedNumbersAndMessages) {
    QuietParser p;
    p.SetSource("- 5");
    p.NextToken();
    p.Expect(tkInteger);
    EXPECT_EQ(p.Token, tkInteger);
    EXPECT_EQ(p.ValueText, "-5");
    EXPECT_EQ(p.IntValue, -5);
    EXPECT_EQ(p.MsgManager->Count(), 0);

    p.SetSource("+1.5");
    p.NextToken();
    p.Expect(tkFloat);
    EXPECT_EQ(p.ValueText, "+1.5");

    // A sign before something else is put back and named in the message.
    p.SetSource("-x");
    p.NextToken();
    p.Expect(tkInteger);
    EXPECT_EQ(p.Token, tkMinus);
    EXPECT_EQ(p.Position, 3u);  // nothing consumed beyond the minus sign
    p.NextToken();
    EXPECT_EQ(p.TokenText, "X");

    p.SetSource("foo");
    p.NextToken();
    p.Expect(tkLParen);
    p.Expect(tkTerminator);
    p.ExpectIdent("do");
    EXPECT_EQ(Texts(*p.MsgManager), (std::vector<std::string>{"Missing: <Integer value> (<->)",
                                                              "Missing: <(> (<Ident>) (<Ident>: FOO)",
                                                              "Missing: <TERM> (<Ident>) (<Ident>: FOO)",
                                                              "Must be: DO"}));
    EXPECT_EQ(p.Shown.size(), 1u);
    EXPECT_TRUE(p.IsIdent("Foo"));
}

TEST(Parser, PrecisionAndScale) {
    struct Case {
        std::string Text;
        int32_t Precision, Scale;
        TTokenCode After;
    };
    for (const Case& c : {Case{"(15, 2) x", 15, 2, tkIdent}, Case{"(5) x", 5, -1, tkIdent}, Case{"x", 9, 0, tkIdent},
                          Case{"(18,-3);", 18, -3, tkTerminator}}) {
        QuietParser p;
        p.SetSource(c.Text);
        p.NextToken();
        int32_t precision = -1, scale = -1;
        p.ParsePrecisionScale(precision, scale);
        EXPECT_EQ(precision, c.Precision) << c.Text;
        EXPECT_EQ(scale, c.Scale) << c.Text;
        EXPECT_EQ(p.Token, c.After) << c.Text;
        EXPECT_EQ(p.MsgManager->Count(), 0) << c.Text;
    }
}

TEST(Parser, ParenExpressionAndTextBetweenTokens) {
    TCustomSQLParser p;
    p.SetSource("  (a + (b)) c");
    p.NextChar();  // past the first blank; the rest are skipped by the reader
    std::string text;
    p.ReadParenExpression(text);
    EXPECT_EQ(text, "(a + (b))");
    EXPECT_EQ(p.CurChar, ' ');

    p.SetSource("create table t (a int) ; next");
    p.NextToken();
    const size_t start = p.TokenStart;
    TTokenSet stop;
    stop.set(tkEOF);
    stop.set(tkTerminator);
    p.SkipUntil(stop);
    EXPECT_EQ(p.Token, tkTerminator);
    EXPECT_EQ(p.GetTextFrom(start), "create table t (a int)");
    p.SkipUntil(stop);  // already there: stays
    EXPECT_EQ(p.Token, tkTerminator);
}

TEST(Parser, SaveAndRestoreState) {
    TCustomSQLParser p;
    p.SetSource("a b\nc");
    p.NextToken();
    TParseContext saved(&p);
    p.NextToken();
    p.NextToken();
    EXPECT_EQ(p.TokenText, "C");
    saved.Restore();
    EXPECT_EQ(p.TokenText, "A");
    EXPECT_EQ(p.Line, 1);
    p.NextToken();
    EXPECT_EQ(p.TokenText, "B");
    EXPECT_EQ(p.Line, 2);
}

// A dialect whose scanner never moves.
class StuckParser : public QuietParser {
public:
    std::string ClassName() const override { return "TStuckParser"; }
    void ScanToken() override { Token = tkIdent; }
};

TEST(Parser, DeadlockGuardReportsAndAdvances) {
    StuckParser p;
    p.SetSource("ab");
    p.NextToken();
    EXPECT_EQ(Texts(*p.MsgManager), std::vector<std::string>{"Parser TStuckParser deadlock."});
    EXPECT_EQ(p.CurChar, 'b');
    p.NextToken();
    p.NextToken();
    EXPECT_TRUE(p.AtEnd());
}

TEST(Parser, NulByteInsideTheTextIsReportedNotSilent) {
    QuietParser p;
    p.SetSource(std::string("a \0 b", 5));
    p.NextToken();
    p.NextToken();
    EXPECT_EQ(p.Token, tkEOF);
    EXPECT_EQ(Texts(*p.MsgManager), std::vector<std::string>{"Parser TCustomSQLParser deadlock."});
}

TEST(Parser, ErrorWithoutHandlerGoesToTheMessageBoxOnce) {
    std::vector<std::string> boxes;
    auto old = SetShowErrorTextHook([&](const std::string& t) { boxes.push_back(t); });
    TCustomSQLParser p;
    p.ScriptName = "x.sql";
    p.SetSource("# #");
    p.NextToken();
    p.NextToken();
    SetShowErrorTextHook(old);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: Invalid char in source text: \"#\".\r\nScript: x.sql Line:1 Pos:2\r\n");
    EXPECT_EQ(p.MsgManager->Count(), 2);
    p.AddWarning("careful");
    EXPECT_EQ(p.MsgManager->Items(2).Kind, mkWarning);
    EXPECT_FALSE(p.MsgManager->Items(2).Text.empty());
}

// A statement loop like a dialect's: each statement is handed on at its terminator.
class StatementParser : public QuietParser {
public:
    void ParseStatements() override {
        NextToken();
        while (Token != tkEOF) {
            StatementStart = TokenStart;
            TTokenSet stop;
            stop.set(tkEOF);
            stop.set(tkTerminator);
            SkipUntil(stop);
            TObject* st = reinterpret_cast<TObject*>(1);
            StatementParsed(skStatement, "", dboUnknown, 0, "", st);
            EXPECT_EQ(st, nullptr);
            if (Token == tkTerminator) NextToken();
        }
    }
};

TEST(Parser, ScriptsHandOnTrimmedStatementsAndKeepTheTerminator) {
    StatementParser p;
    std::vector<std::string> statements;
    p.OnStatement = [&](TObject*, const std::string& Text, TStatementKind, const std::string&, TDbObject, uint8_t,
                        const std::string&, TObject*&) { statements.push_back(Text); };
    std::vector<std::string> log;
    p.OnLogLine = [&](TObject*, const std::string& t) { log.push_back(t); };
    std::vector<std::pair<int, int>> progress;
    p.OnProgress = [&](TObject*, int v, int m) { progress.emplace_back(v, m); };
    p.ScriptName = "script";
    TStringList lines;
    lines.Add("insert into t values (1) ;  ");
    lines.Add("  /* note */ update t\nset a = 2;");
    lines.Add("select 'a;b' from t");
    TObjs objs;
    p.ConnOptions->UserName = "SYSDBA";
    p.ParseScript(lines, &objs);
    EXPECT_EQ(statements, (std::vector<std::string>{"insert into t values (1)", "update t\r\nset a = 2",
                                                    "select 'a;b' from t"}));
    EXPECT_EQ(log, std::vector<std::string>{"Parse Script: script"});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), std::make_pair(1, 3));  // LineCount is the number of lines given
    EXPECT_EQ(objs.ConnectionOptions.UserName, "SYSDBA");
    EXPECT_EQ(p.Objs, &objs);

    // The terminator set last stays in force for the next script.
    p.SetTerm("^");
    statements.clear();
    lines.Clear();
    lines.Add("a; b^c");
    p.ParseScript(lines, &objs);
    EXPECT_EQ(statements, (std::vector<std::string>{"a; b", "c"}));
}

TEST(Parser, FilesWithAndWithoutTheUtf16Mark) {
    test::TempDir dir;
    const std::string plain = dir.Path() + "/plain.sql";
    const std::string wide = dir.Path() + "/wide.sql";
    {
        std::ofstream(plain, std::ios::binary) << "a;\nb;\n-- end\n";
        std::string bytes = "\xFF\xFE";
        for (char c : std::string("x;\r\ny;\r\n")) {
            bytes += c;
            bytes += '\0';
        }
        std::ofstream(wide, std::ios::binary) << bytes;
    }
    for (const auto& [file, expect] : {std::pair{plain, std::vector<std::string>{"a", "b"}},
                                       std::pair{wide, std::vector<std::string>{"x", "y"}}}) {
        StatementParser p;
        std::vector<std::string> statements;
        p.OnStatement = [&](TObject*, const std::string& Text, TStatementKind, const std::string&, TDbObject, uint8_t,
                            const std::string&, TObject*&) { statements.push_back(Text); };
        int maxValue = -1;
        p.OnProgress = [&](TObject*, int, int m) { maxValue = m; };
        std::vector<std::string> log;
        p.OnLogLine = [&](TObject*, const std::string& t) { log.push_back(t); };
        TObjs objs;
        EXPECT_TRUE(p.ParseFile(file, &objs));
        EXPECT_EQ(statements, expect) << file;
        EXPECT_EQ(maxValue, file == plain ? 3 : 2) << file;  // the number of line feeds
        EXPECT_EQ(log, std::vector<std::string>{"Parse file: " + file});
        EXPECT_TRUE(p.Source.empty());
        EXPECT_EQ(p.MsgManager->Count(), 0);
    }

    QuietParser p;
    EXPECT_FALSE(p.ParseFile(dir.Path() + "/missing.sql", nullptr));
    EXPECT_TRUE(p.MsgManager->HasErrors());
}

TEST(Parser, EventsFallBackToTheExtractorOfTheContainer) {
    TDBStructure structure;
    TCustomExtract extract;
    extract.SetDBStructure(&structure);
    std::vector<std::string> seen;
    extract.OnProgressUpdate = [&](TObject* s, int v, int m) {
        seen.push_back((s == &extract ? "extract " : "? ") + std::to_string(v) + "/" + std::to_string(m));
    };
    extract.OnLogNextLine = [&](TObject* s, const std::string& t) { seen.push_back((s == &extract ? "log " : "? ") + t); };
    TCustomSQLParser p(&extract);
    EXPECT_EQ(p.Objs, structure.Objs());
    p.ScriptName = "s";
    TStringList lines;
    lines.Add("a");
    lines.Add("b");
    p.ParseScript(lines, structure.Objs());
    EXPECT_EQ(seen, (std::vector<std::string>{"extract 1/2", "log Parse Script: s", "extract 2/2", "extract 3/2"}));

    seen.clear();
    p.ShowProgress = false;
    p.ParseScript(lines, structure.Objs());
    EXPECT_EQ(seen, std::vector<std::string>{"log Parse Script: s"});
}

// An object kind that the container files under the tables.
class PlainObj : public TDbObj {
public:
    PlainObj(TCustomObjs* C, const std::string& N) : TDbObj(C) {
        Kind = dboTable;
        Name = N;
    }
    TObjListKind GetObjList() const override { return olTables; }
};

TEST(Parser, AddDbObjectGoesThroughOwnerOrContainer) {
    TDBStructure structure;
    TCustomExtract extract;
    extract.SetDBStructure(&structure);
    TStringList exclude;
    exclude.Add("SKIP%");
    extract.SetExcludeObjsNames(exclude);
    TCustomSQLParser owned(&extract);
    owned.AddDbObject(new PlainObj(structure.Objs(), "T1"));
    owned.AddDbObject(new PlainObj(structure.Objs(), "SKIPME"));  // rejected by the owner's masks and freed
    EXPECT_NE(structure.Objs()->FindTable("T1"), nullptr);
    EXPECT_EQ(structure.Objs()->FindTable("SKIPME"), nullptr);

    TObjs objs;
    TCustomSQLParser bare;
    bare.Objs = &objs;
    bare.AddDbObject(new PlainObj(&objs, "T2"));
    bare.AddDbObject(new PlainObj(&objs, "T2"));  // a duplicate is freed by the container
    EXPECT_EQ(objs.List(olTables).Count(), 1);
    TCustomSQLParser none;
    none.AddDbObject(new PlainObj(nullptr, "T3"));  // nowhere to go: freed (the sanitizer build checks)
}

} // namespace
} // namespace qnl

namespace qnl {
namespace {

TEST(Parser, EveryParserHasAScratchColumnOnItsOwnersContainer) {
    TDBStructure structure;
    TCustomExtract extract;
    extract.SetDBStructure(&structure);
    TCustomSQLParser owned(&extract);
    ASSERT_NE(owned.ScratchField, nullptr);
    EXPECT_EQ(owned.ScratchField->Container, structure.Objs());
    EXPECT_EQ(owned.ScratchField->Owner, nullptr);
    EXPECT_EQ(owned.ScratchField->IdentityGenerator, nullptr);
    EXPECT_EQ(owned.ScratchField->Kind, dboField);
    TCustomSQLParser bare;
    ASSERT_NE(bare.ScratchField, nullptr);
    EXPECT_EQ(bare.ScratchField->Container, nullptr);
}

} // namespace
} // namespace qnl
