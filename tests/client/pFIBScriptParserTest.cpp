// The script parser: scripts in, statement maps out (first line, kind, object type and name, text).
#include "client/pFIBScriptParser.h"

#include "ErrorText.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

struct TParsed {
    std::vector<std::string> Statements;  // "line|kind|type|name|text", text lines joined by LF
    std::string Terminator;
};

TParsed Parse(const std::string& Script, bool CloseLast = true, TDirectivesMap* Directives = nullptr,
              TScriptMap* Map = nullptr) {
    TStringList lines;
    lines.SetText(Script);
    TpFIBScriptParser parser;
    TDirectivesMap directives;
    TScriptMap map;
    TParsed parsed{{}, ";"};
    parser.ParseScript(lines, parsed.Terminator, CloseLast, directives, map);
    for (const TStatementDesc& s : map) {
        TStringList text = ScriptText(lines, s.StartPos, s.EndPos);
        std::string joined;
        for (int i = 0; i < text.Count(); ++i) joined += (i ? "\n" : "") + text[i];
        parsed.Statements.push_back(std::to_string(s.StartPos.Line + 1) + "|" + std::to_string(s.Kind) + "|" +
                                    std::to_string(s.ObjectType) + "|" + s.ObjectName + "|" + joined);
    }
    if (Directives) *Directives = directives;
    if (Map) *Map = map;
    return parsed;
}

struct TCase {
    const char* Name;
    const char* Script;
    std::vector<std::string> Expected;
    const char* TerminatorAfter = ";";
};

TEST(ScriptParser, ScriptsToStatementMaps) {
    const std::vector<TCase> cases = {
        {"set term to a caret and back",
         "CREATE TABLE T (A INTEGER);\n"
         "SET TERM ^ ;\n"
         "CREATE PROCEDURE P AS BEGIN A = 1; END^\n"
         "SET TERM ; ^\n"
         "INSERT INTO T VALUES (1);",
         {"1|10|3|T|CREATE TABLE T (A INTEGER)", "3|10|5|P|CREATE PROCEDURE P AS BEGIN A = 1; END",
          "5|26|0||INSERT INTO T VALUES (1)"}},
        {"terminator left as a caret",
         "set term ^;\nexecute procedure p^\ncommit^",
         {"2|2|0||execute procedure p", "3|8|1||commit"},
         "^"},
        {"procedure body with ';' and CASE without set term",
         "CREATE PROCEDURE P (X INTEGER) RETURNS (Y VARCHAR(10)) AS\n"
         "DECLARE VARIABLE I INTEGER;\n"
         "BEGIN\n"
         "  I = CASE X WHEN 1 THEN 2 ELSE 3 END;\n"
         "  IF (I > 1) THEN BEGIN Y = 'end;'; /* end; */ END -- end\n"
         "  SUSPEND;\n"
         "END;\n"
         "COMMIT;",
         {"1|10|5|P|CREATE PROCEDURE P (X INTEGER) RETURNS (Y VARCHAR(10)) AS\n"
          "DECLARE VARIABLE I INTEGER;\n"
          "BEGIN\n"
          "  I = CASE X WHEN 1 THEN 2 ELSE 3 END;\n"
          "  IF (I > 1) THEN BEGIN Y = 'end;'; /* end; */ END -- end\n"
          "  SUSPEND;\n"
          "END",
          "8|8|1||COMMIT"}},
        {"trigger and execute block bodies",
         "CREATE OR ALTER TRIGGER TR FOR T BEFORE INSERT AS BEGIN NEW.A = 1; END;\n"
         "EXECUTE BLOCK AS DECLARE I INTEGER; BEGIN I = 1; END;\n"
         "ALTER TRIGGER TR INACTIVE;\n"
         "UPDATE T SET A = 2;",
         {"1|10|6|TR|CREATE OR ALTER TRIGGER TR FOR T BEFORE INSERT AS BEGIN NEW.A = 1; END",
          "2|2|16||EXECUTE BLOCK AS DECLARE I INTEGER; BEGIN I = 1; END", "3|11|6|TR|ALTER TRIGGER TR INACTIVE",
          "4|2|0||UPDATE T SET A = 2"}},
        {"terminators inside strings, names and comments",
         "INSERT INTO T VALUES ('a;b'); -- trailing; comment\n"
         "/* a block;\n"
         "   comment */ UPDATE \"X;Y\" SET A = Q'{it's;}', B = q'!;!' ;\n"
         "INSERT INTO T VALUES ('two\n"
         "lines;');",
         {"1|26|0||INSERT INTO T VALUES ('a;b')", "3|2|0||UPDATE \"X;Y\" SET A = Q'{it's;}', B = q'!;!' ",
          "4|26|0||INSERT INTO T VALUES ('two\nlines;')"}},
        {"';' directly before a letter does not end a statement",
         "SELECT 1 FROM T;SELECT 2 FROM T;\nSELECT 3 FROM T;",
         {"1|0|0||SELECT 1 FROM T;SELECT 2 FROM T", "2|0|0||SELECT 3 FROM T"}},
        {"terminator at the start of a line ends the line before",
         "DELETE FROM T\n\n;\nCOMMIT",
         {"1|2|0||DELETE FROM T", "4|8|1||COMMIT"}},
        {"psql function and package body under set term",
         "SET TERM ^ ;\n"
         "CREATE FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A + 1; END^\n"
         "CREATE PACKAGE BODY PK AS BEGIN\n"
         "  FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END\n"
         "END^\n"
         "SET TERM ; ^",
         {"2|10|7|F|CREATE FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A + 1; END",
          "3|10|7|F1|CREATE PACKAGE BODY PK AS BEGIN\n  FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END\nEND"}},
        // Functions have no body rule: without SET TERM they end at their first ';', as in isql.
        {"psql function without set term",
         "CREATE FUNCTION F RETURNS INTEGER AS BEGIN RETURN 1; END;",
         {"1|10|7|F|CREATE FUNCTION F RETURNS INTEGER AS BEGIN RETURN 1", "1|0|0||END"}},
        {"commands the runner handles",
         "CONNECT 'db.fdb' USER 'SYSDBA';\n"
         "CREATE DATABASE \"new.fdb\" PAGE_SIZE 8192;\n"
         "DISCONNECT;\nDROP DATABASE;\nSET SQL DIALECT 3;\nSET GENERATOR G TO 5;\nSET STATISTICS INDEX IX;\n"
         "DESCRIBE FIELD ID TABLE EMP 'the id';\nCOMMENT ON TABLE EMP IS 'x';\n"
         "DECLARE EXTERNAL FUNCTION ABS_ DOUBLE PRECISION RETURNS DOUBLE PRECISION BY VALUE ENTRY_POINT 'a' "
         "MODULE_NAME 'm';\n"
         "GRANT EXECUTE ON PROCEDURE P TO PUBLIC;\nREVOKE SELECT ON EMP FROM U;\n"
         "BATCH START;\nBATCH EXECUTE;\nBATCH OTHER;\nINPUT 'more.sql';\nREINSERT (2);\n"
         "CREATE UNIQUE INDEX UX ON EMP (ID);\nCREATE SEQUENCE S;\nMERGE INTO T USING S ON 1=1 WHEN MATCHED THEN DELETE;",
         {"1|3|1|db.fdb|CONNECT 'db.fdb' USER 'SYSDBA'", "2|6|1|new.fdb|CREATE DATABASE \"new.fdb\" PAGE_SIZE 8192",
          "3|4|1|new.fdb|DISCONNECT", "4|7|1|new.fdb|DROP DATABASE", "5|14|0||SET SQL DIALECT 3",
          "6|15|9|G|SET GENERATOR G TO 5", "7|16|10|IX|SET STATISTICS INDEX IX",
          "8|17|13|EMP.ID|DESCRIBE FIELD ID TABLE EMP 'the id'", "9|19|3|EMP|COMMENT ON TABLE EMP IS 'x'",
          "10|18|7|ABS_|DECLARE EXTERNAL FUNCTION ABS_ DOUBLE PRECISION RETURNS DOUBLE PRECISION BY VALUE "
          "ENTRY_POINT 'a' MODULE_NAME 'm'",
          "11|20|5|P|GRANT EXECUTE ON PROCEDURE P TO PUBLIC", "12|20|0|EMP|REVOKE SELECT ON EMP FROM U",
          "13|23|0||BATCH START", "14|24|0||BATCH EXECUTE", "15|1|0||BATCH OTHER", "16|21|0|more.sql|INPUT 'more.sql'",
          "17|27|0||REINSERT (2)", "18|10|10|UX|CREATE UNIQUE INDEX UX ON EMP (ID)", "19|10|0||CREATE SEQUENCE S",
          "20|2|0||MERGE INTO T USING S ON 1=1 WHEN MATCHED THEN DELETE"}},
        {"brace statements and a lone slash",
         "{$DEFINE X}\n{ a comment; }\n/ anything;\nCOMMIT;",
         {"1|28|0||{$DEFINE X}", "2|1|0||{ a comment; }", "3|1|0||/ anything", "4|8|1||COMMIT"}},
        {"unterminated last statement closed", "COMMIT;\nDELETE FROM T", {"1|8|1||COMMIT", "2|2|0||DELETE FROM T"}},
    };
    for (const TCase& c : cases) {
        TParsed parsed = Parse(c.Script);
        EXPECT_EQ(parsed.Statements, c.Expected) << c.Name;
        EXPECT_EQ(parsed.Terminator, c.TerminatorAfter) << c.Name;
    }
}

TEST(ScriptParser, UnterminatedLastStatementStaysOutUnlessClosed) {
    TStringList lines;
    lines.SetText("COMMIT;\nCREATE PROCEDURE P AS BEGIN\n  X = 1;");
    TpFIBScriptParser parser;
    std::string terminator = ";";
    TDirectivesMap directives;
    TScriptMap map;
    parser.ParseScript(lines, terminator, false, directives, map);
    ASSERT_EQ(map.size(), 1u);
    ASSERT_TRUE(parser.UnfinishedStart().has_value());
    EXPECT_EQ(*parser.UnfinishedStart(), (TScriptPosition{1, 1}));
    parser.ParseScript(lines, terminator, true, directives, map);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map[1].EndPos, (TScriptPosition{8, 2}));
    EXPECT_FALSE(parser.UnfinishedStart().has_value());
}

TEST(ScriptParser, PositionsBeyond64KB) {
    // One line: a statement, a string of 70000 characters, then a statement starting past 65535.
    const std::string filler(70000, 'x');
    const std::string script = "COMMIT; INSERT INTO T VALUES ('" + filler + "'); DELETE FROM T;\nROLLBACK;";
    TScriptMap map;
    TParsed parsed = Parse(script, true, nullptr, &map);
    ASSERT_EQ(map.size(), 4u);
    EXPECT_EQ(map[1].StartPos, (TScriptPosition{9, 0}));
    EXPECT_EQ(map[1].EndPos, (TScriptPosition{static_cast<int32_t>(31 + filler.size() + 2), 0}));
    EXPECT_EQ(map[2].StartPos, (TScriptPosition{static_cast<int32_t>(31 + filler.size() + 5), 0}));
    EXPECT_EQ(parsed.Statements[2], "1|2|0||DELETE FROM T");
    EXPECT_EQ(parsed.Statements[3], "2|9|1||ROLLBACK");
}

TEST(ScriptParser, ConditionalBlocksAndTheStatementsInThem) {
    TDirectivesMap directives;
    TScriptMap map;
    Parse("COMMIT;\n"
          "{$IFDEF A}\n"
          "  DELETE FROM T;\n"
          "  {$IF SERVER_MAJOR_VER >= 3}\n"
          "    DELETE FROM U;\n"
          "  {$ELSE}\n"
          "    DELETE FROM V;\n"
          "  {$ENDIF}\n"
          "{$else}\n"
          "  DELETE FROM W;\n"
          "{$ENDIF}\n"
          "ROLLBACK;",
          true, &directives, &map);
    ASSERT_EQ(directives.size(), 2u);
    EXPECT_EQ(directives[0].StartPos, (TScriptPosition{1, 1}));
    EXPECT_EQ(directives[0].ConditionEnd, (TScriptPosition{10, 1}));
    EXPECT_EQ(directives[0].ElsePos, (TScriptPosition{1, 8}));
    EXPECT_EQ(directives[0].EndIfPos, (TScriptPosition{1, 10}));
    EXPECT_EQ(directives[1].Parent, 0);
    EXPECT_EQ(directives[1].ParentInElse, 0);
    EXPECT_EQ(directives[1].ConditionEnd, (TScriptPosition{29, 3}));
    std::vector<std::pair<int, int>> placement;
    for (const TStatementDesc& s : map) placement.emplace_back(s.Directive, s.InElse);
    EXPECT_EQ(placement, (std::vector<std::pair<int, int>>{{-1, 0}, {0, 0}, {1, 0}, {1, 1}, {0, 1}, {-1, 0}}));
}

TEST(ScriptParser, ErrorTexts) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"COMMIT;\nSELECT {x} FROM T;", "Parse script error.\r\n Unexpected symbol \"{\"\r\nLine :2 Pos:8"},
        {"{$IFDEF X}\nCOMMIT;", "Parse script error.\r\n$ENDIF skipped 1 times"},
        {"{$IFDEF X}\n{$IF A=1}\n{$ENDIF}\n{$IFDEF Y}", "Parse script error.\r\n$ENDIF skipped 2 times"},
        {"COMMIT;\n{$ENDIF}", "Parse script error.\r\nCan't resolve directive  \"{$ENDIF\"\r\nLine 2"},
        {"{$ELSE}", "Parse script error.\r\nCan't resolve directive  \"{$ELSE\"\r\nLine 1"},
    };
    for (const auto& [script, text] : cases) EXPECT_EQ(test::ErrorText<Exception>([&] { Parse(script); }), text);
}

} // namespace
} // namespace qnl
