// The DDL reader's statement loop: which statements are handed on and how, what SET, CONNECT,
// CREATE DATABASE and INPUT change, and how a broken statement is passed over.
#include "IbReader.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace qnl {
namespace {

using test::IbReader;
using Lines = std::vector<std::string>;

struct LoopCase {
    const char* Name;
    std::string Script;
    Lines Statements;
    Lines Messages;
    std::function<void(const IbReader&)> Check;
};

TEST(IbParserLoop, StatementsHandedOnAndWhatTheyChange) {
    const LoopCase cases[] = {
        {"SET TERM: a body keeps its semicolons, the new terminator ends it",
         "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN X = 1; END^\nSET TERM ; ^\nSELECT 1 FROM RDB$DATABASE;",
         {"Procedure P procedure: create | CREATE PROCEDURE P AS BEGIN X = 1; END",
          "Select - - | SELECT 1 FROM RDB$DATABASE"},
         {},
         [](const IbReader& r) { EXPECT_EQ(r.Parser.Terminator, ";"); }},
        {"no SET SQL DIALECT: dialect 3, double quotes make a name",
         "CREATE TABLE \"Mixed\" (A INTEGER);",
         {"Statement Mixed table: create | CREATE TABLE \"Mixed\" (A INTEGER)"},
         {},
         [](const IbReader& r) { EXPECT_NE(r.Table("Mixed"), nullptr); }},
        {"SET SQL DIALECT 1: double quotes make a string (here a domain's name)",
         "SET SQL DIALECT 1;\nCREATE TABLE T (A \"D_TEXT\");",
         {"SqlDialect 1 -: set | SET SQL DIALECT 1", "Statement T table: create | CREATE TABLE T (A \"D_TEXT\")"},
         {},
         [](const IbReader& r) {
             EXPECT_EQ(r.Objs.IBServerOptions.SQLDialect, 1);
             ASSERT_NE(r.Column("T", "A"), nullptr);
             EXPECT_EQ(r.Column("T", "A")->DomainName, "D_TEXT");
         }},
        {"SET NAMES",
         "SET NAMES win1252;",
         {"SetNames WIN1252 -: set | SET NAMES win1252"},
         {},
         [](const IbReader& r) { EXPECT_EQ(r.Objs.IBServerOptions.DBCharSet(), "WIN1252"); }},
        {"CONNECT with user, password and role",
         "CONNECT 'server:/data/db.fdb' USER 'SYSDBA' PASSWORD 'pw' ROLE 'CLERK';",
         {"Connect server:/data/db.fdb -: set | CONNECT 'server:/data/db.fdb' USER 'SYSDBA' PASSWORD 'pw' ROLE 'CLERK'"},
         {},
         [](const IbReader& r) {
             const TConnectionOptions& c = r.Objs.ConnectionOptions;
             EXPECT_EQ(c.DatabaseName + "|" + c.UserName + "|" + c.Password + "|" + c.RoleName,
                       "server:/data/db.fdb|SYSDBA|pw|CLERK");
         }},
        {"CREATE DATABASE with its options",
         "CREATE DATABASE 'new.fdb' USER 'SYSDBA' PAGE_SIZE = 16384 DEFAULT CHARACTER SET UTF8 COLLATION UNICODE;",
         {"CreateDb new.fdb -: set | CREATE DATABASE 'new.fdb' USER 'SYSDBA' PAGE_SIZE = 16384 DEFAULT CHARACTER SET "
          "UTF8 COLLATION UNICODE"},
         {},
         [](const IbReader& r) {
             EXPECT_EQ(r.Objs.IBServerOptions.IBDatabaseOptions.PageSize, 16384);
             EXPECT_EQ(r.Objs.IBServerOptions.DBCharSet(), "UTF8");
             EXPECT_EQ(r.Objs.ConnectionOptions.DatabaseName, "new.fdb");
         }},
        {"DML, REVOKE and DROP are handed on; EXECUTE PROCEDURE and COMMIT are not",
         "INSERT INTO T (A) VALUES (1);\nUPDATE \"Mixed\" SET A = 2;\nDELETE FROM T WHERE A = 'x; DROP TABLE Y';\n"
         "WITH X AS (SELECT 1 A FROM RDB$DATABASE) SELECT * FROM X;\nEXECUTE PROCEDURE P;\nCOMMIT WORK;\n"
         "REVOKE SELECT ON T FROM PUBLIC;\nDROP TABLE T;",
         {"Insert T table: insert | INSERT INTO T (A) VALUES (1)", "Update Mixed table: update | UPDATE \"Mixed\" SET A = 2",
          "Delete T table: delete | DELETE FROM T WHERE A = 'x; DROP TABLE Y'",
          "Select - - | WITH X AS (SELECT 1 A FROM RDB$DATABASE) SELECT * FROM X",
          "Statement - grant: drop | REVOKE SELECT ON T FROM PUBLIC", "Statement T table: drop | DROP TABLE T"},
         {},
         nullptr},
        {"SET statements",
         "SET AUTODDL OFF;\nSET GENERATOR G TO -5;\nSET STATISTICS INDEX IX;\nSET BAIL ON;\nSET AUTODDL MAYBE;\n"
         "SET BLOBFILE 'data.blb';",
         {"Set - -: set | SET AUTODDL OFF", "Statement G generator: alter | SET GENERATOR G TO -5",
          "Statement IX index: set | SET STATISTICS INDEX IX", "Set - -: set | SET BAIL ON",
          "BlobFile data.blb -: set | SET BLOBFILE 'data.blb'"},
         {"5:13 Missing: ON/OFF in \"SET AUTODDL...\""},
         nullptr},
        {"a broken statement is skipped whole: its DELETE is no statement",
         "CREATE TABLE T (A INTEGER DELETE FROM X);\nINSERT INTO T VALUES (1);",
         {"Insert T table: insert | INSERT INTO T VALUES (1)"},
         {"1:27 Missing: <)> (DELETE)"},
         [](const IbReader& r) { EXPECT_EQ(r.Table("T"), nullptr); }},
        {"SET TERM without the old terminator: reported, the new one holds all the same",
         "SET TERM ^\nCREATE TABLE T (A INTEGER)^",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)"},
         {"2:1 Missing: <TERM> (CREATE)"},
         [](const IbReader& r) { EXPECT_EQ(r.Parser.Terminator, "^"); }},
        {"a misspelled statement head: one message, then the next statement",
         "CRATE TABLE U (B INTEGER, C INTEGER);\nSELECT 1 FROM RDB$DATABASE;",
         {"Select - - | SELECT 1 FROM RDB$DATABASE"},
         {"1:1 Unknown statement: <Ident>"},
         nullptr},
        {"an unclosed comment is reported where it opens; it hides the rest of the script",
         "CREATE TABLE T (A INTEGER);\n  /* note\nCREATE TABLE U (B INTEGER);",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)"},
         {"2:3 Unclosed comment: no closing */ to the end of the script."},
         [](const IbReader& r) { EXPECT_EQ(r.Table("U"), nullptr); }},
        {"an unclosed string is reported where it opens; its statement never ends",
         "CREATE TABLE T (A INTEGER);\nINSERT INTO T VALUES ('x);\nCREATE TABLE U (B INTEGER);",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)"},
         {"2:23 Unclosed string: no closing ' to the end of the script.", "4:1 Missing: <TERM> (<EOF>)"},
         [](const IbReader& r) { EXPECT_EQ(r.Table("U"), nullptr); }},
        {"object statements are handed on under their own kinds",
         "CREATE OR ALTER SEQUENCE S START WITH 5;\nALTER CHARACTER SET ISO8859_1 SET DEFAULT COLLATION PT_BR;\n"
         "CREATE VIEW V AS SELECT 1 A FROM RDB$DATABASE;\nRECREATE EXCEPTION E 'x';\nGRANT SELECT ON T TO PUBLIC;\n"
         "COMMENT ON TABLE T IS 'y';\nDECLARE EXTERNAL FUNCTION F INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'f' "
         "MODULE_NAME 'm';\nEXECUTE BLOCK AS BEGIN END;\nCREATE OR ALTER PACKAGE \"Pkg\" AS BEGIN END;\n"
         "DROP PACKAGE BODY \"Pkg\";",
         {"Statement S generator: create | CREATE OR ALTER SEQUENCE S START WITH 5",
          "Statement ISO8859_1 -: alter | ALTER CHARACTER SET ISO8859_1 SET DEFAULT COLLATION PT_BR",
          "Statement V view: create | CREATE VIEW V AS SELECT 1 A FROM RDB$DATABASE",
          "Statement E exception: create | RECREATE EXCEPTION E 'x'",
          "Statement F external function: create | DECLARE EXTERNAL FUNCTION F INTEGER RETURNS INTEGER BY VALUE "
          "ENTRY_POINT 'f' MODULE_NAME 'm'",
          "ExecuteBlock - - | EXECUTE BLOCK AS BEGIN END",
          "Statement Pkg package: create | CREATE OR ALTER PACKAGE \"Pkg\" AS BEGIN END",
          "Statement Pkg package body: drop | DROP PACKAGE BODY \"Pkg\""},
         {},
         nullptr},
    };
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.Name);
        IbReader r;
        r.Read(c.Script);
        EXPECT_EQ(r.Statements, c.Statements);
        EXPECT_EQ(r.Messages(), c.Messages);
        if (c.Check) c.Check(r);
    }
}

TEST(IbParserLoop, InputReadsAFileBesideTheScriptIntoTheSameContainer) {
    test::TempDir dir;
    std::ofstream(dir.File("second.sql"), std::ios::binary)
        << "CREATE TABLE T2 (A INTEGER);\nINSERT INTO T2 VALUES (1);\nCREATE TABLE T3 (B BLOB SUB_TYPE X);\n"
           "INPUT 'third.sql';\n";
    IbReader r;
    r.Parser.ScriptName = dir.File("main.sql");
    // The INPUT file starts with its reader's own terminator, not with the script's "^".
    r.Read("SET TERM ^ ;\nCREATE TABLE T1 (A INTEGER)^\nINPUT 'second.sql'^\nINSERT INTO T1 VALUES (2)^");
    EXPECT_NE(r.Table("T1"), nullptr);
    EXPECT_NE(r.Table("T2"), nullptr);
    EXPECT_EQ(r.Statements, (Lines{"Statement T1 table: create | CREATE TABLE T1 (A INTEGER)",
                                   "Statement T2 table: create | CREATE TABLE T2 (A INTEGER)",
                                   "Insert T2 table: insert | INSERT INTO T2 VALUES (1)",
                                   "Insert T1 table: insert | INSERT INTO T1 VALUES (2)"}));
    // The INPUT file's messages are the script's too; an INPUT inside it is not read, and says so.
    EXPECT_EQ(r.Messages(), (Lines{"3:34 Unknown blob-subtype.",
                                   "4:1 warning INPUT inside an INPUT file is not read: " + dir.File("third.sql")}));
    EXPECT_EQ(r.Parser.MsgManager->Items(0).ScriptName, dir.File("second.sql"));
}

TEST(IbParserLoop, AFileThatCannotBeReadIsAnError) {
    IbReader r;
    r.Read("INPUT '/no/such/dir/x.sql';");
    ASSERT_EQ(r.Parser.MsgManager->Count(), 1);
    EXPECT_EQ(r.Parser.MsgManager->Items(0).Text, "Cannot open file: /no/such/dir/x.sql");
    EXPECT_EQ(r.Parser.MsgManager->Items(0).Kind, mkError);
}

} // namespace
} // namespace qnl
