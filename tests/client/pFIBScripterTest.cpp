// The script runner against real Firebird 3; isql-fb witnesses what reached the database (the
// embedded engine opens a database file for one process at a time, so the runner lets go of it
// before isql runs).
#include "client/pFIBScripter.h"

#include "ErrorText.h"
#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::TempDatabase;
using test::TempDir;
using Lines = std::vector<std::string>;

void Write(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

// A runner on its own database object and transaction, attached to Db.
struct Runner {
    explicit Runner(const TempDatabase& Db) {
        Database.SynchronizeTime = false;
        Database.SaveAliasParamsAfterConnect = false;
        Database.SetDBName(Db.Path());
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.SetSQLDialect(3);
        Database.Open();
        S.SetDatabase(&Database);
        S.SetTransaction(&Transaction);
    }
    // Commits what the run left open and detaches, so that isql can read the file.
    void Detach() {
        if (Transaction.Active()) Transaction.Commit();
        Database.Close();
    }
    void Run(const std::string& Script) {
        S.Script().SetText(Script);
        S.ExecuteScript();
    }

    TpFIBDatabase Database;
    TpFIBTransaction Transaction;
    TpFIBScripter S;
};

Lines Query(const TempDatabase& Db, const std::string& Select) { return test::QueryRows(Db, Select); }

std::string Inserts(int Count, int Duplicate = 0) {
    std::string script;
    for (int i = 1; i <= Count; ++i)
        script += "INSERT INTO T (ID) VALUES (" + std::to_string(i == Duplicate ? 1 : i) + ");\n";
    return script;
}

TEST(Scripter, ExtractsOfTheFixtureDatabasesRebuildEqualDatabases) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    std::vector<std::pair<std::string, std::string>> fixtures = {
        {"fb3_features.sql", test::FixtureScript("fb3_features.sql")}};
    const std::string employee = test::EmployeeScript(why);
    if (!employee.empty()) fixtures.emplace_back("employee.sql", employee);
    for (const auto& [name, text] : fixtures) {
        SCOPED_TRACE(name);
        const TempDatabase source(test::CompleteScript{text});
        std::string extract;
        ASSERT_EQ(test::RunIsql("-x -user SYSDBA '" + source.Path() + "'", extract), 0) << extract;
        // The extract names its database in a comment: the copy is created like it.
        std::smatch create;
        ASSERT_TRUE(std::regex_search(extract, create, std::regex(R"(/\* CREATE DATABASE '[^']*'(.*); \*/)")));
        TempDir dir;
        const std::string copy = dir.File("copy.fdb");
        TpFIBScripter runner;
        runner.Script().SetText("CREATE DATABASE '" + copy + "' USER 'SYSDBA'" + create[1].str() + ";\n" + extract);
        std::vector<int> failed;
        runner.OnExecuteError = [&](TObject*, int No, int, const TStringList& Statement, int, const std::string& Msg,
                                    bool&, bool&) {
            failed.push_back(No);
            ADD_FAILURE() << Statement.Text() << "\n" << Msg;
        };
        runner.ExecuteScript();
        EXPECT_TRUE(failed.empty());
        EXPECT_EQ(runner.Database(), nullptr);  // the database the runner created is let go
        EXPECT_EQ(test::ComparableExtract(copy), test::ComparableExtract(source.Path()));
        std::string out;
        ASSERT_EQ(test::RunIsqlScript(dir, "-q -user SYSDBA '" + copy + "'",
                                      "SELECT '<<' || MON$FORCED_WRITES || '>>' FROM MON$DATABASE;\n", out),
                  0)
            << out;
        EXPECT_EQ(test::Marked(out), Lines{"1"}) << "forced writes are back on";
    }
}

TEST(Scripter, ExecuteBlockBatchesOfInserts) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);\n");
    Runner r(db);
    Lines executed;
    r.Transaction.BeforeSQLExecute = [&](TFIBQuery* Q, TFIBSQLTypes) { executed.push_back(Q->SQL()[0]); };
    int reported = 0;
    r.S.AfterStatementExecute = [&](TObject*, int, int, const TStatementDesc&, const TStringList&) { ++reported; };
    r.S.UseExecBlockForDML = true;
    r.Run(Inserts(300));
    EXPECT_EQ(executed, (Lines{"EXECUTE BLOCK AS BEGIN", "EXECUTE BLOCK AS BEGIN"}));
    EXPECT_EQ(reported, 300);
    EXPECT_EQ(r.S.ExecutedCount(), 300);
    r.Detach();
    EXPECT_EQ(Query(db, "SELECT '<<' || COUNT(*) || '>>' FROM T;"), Lines{"300"});
}

// Statement 150 of 300 repeats key 1: the error names it, and what is in the database afterwards
// is exactly what the runner reported and counted.
TEST(Scripter, FailingStatementInTheMiddle) {
    test::PrepareFirebirdEnvironment();
    struct TCase {
        bool ExecBlock, Stop, Rollback;
        int Rows;
        int StopPosition;
    };
    const std::vector<TCase> cases = {
        {true, true, false, 149, 151}, {true, false, false, 299, 0}, {true, true, true, 0, 151},
        {false, true, false, 149, 151}, {false, false, false, 299, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "block " << c.ExecBlock << " stop " << c.Stop << " rollback " << c.Rollback);
        const TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);\n");
        Runner r(db);
        r.S.UseExecBlockForDML = c.ExecBlock;
        std::vector<std::pair<int, int>> errors;
        int reported = 0;
        r.S.AfterStatementExecute = [&](TObject*, int, int, const TStatementDesc&, const TStringList&) { ++reported; };
        r.S.OnExecuteError = [&](TObject*, int No, int Line, const TStringList& Statement, int SQLCode,
                                 const std::string&, bool& doRollBack, bool& Stop) {
            errors.emplace_back(No, Line);
            EXPECT_EQ(Statement.Text(), "INSERT INTO T (ID) VALUES (1)\r\n");
            EXPECT_EQ(SQLCode, -803);
            doRollBack = c.Rollback;
            Stop = c.Stop;
        };
        r.Run(Inserts(300, 150));
        EXPECT_EQ(errors, (std::vector<std::pair<int, int>>{{150, 150}}));
        EXPECT_EQ(r.S.StopPosition(), c.StopPosition);
        EXPECT_EQ(r.S.ExecutedCount(), c.Rows);
        EXPECT_EQ(r.S.RowsAffected(), c.Rows);
        if (!c.Rollback) {
            EXPECT_EQ(reported, c.Rows);
        }
        r.Detach();
        EXPECT_EQ(Query(db, "SELECT '<<' || COUNT(*) || '>>' FROM T;"), Lines{std::to_string(c.Rows)});
    }
}

TEST(Scripter, DdlFailingAtItsCommitIsNotReported) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER);\n");
    Runner r(db);
    Lines reported;
    r.S.AfterStatementExecute = [&](TObject*, int, int No, const TStatementDesc&, const TStringList&) {
        reported.push_back(std::to_string(No));
    };
    std::vector<int> failed;
    r.S.OnExecuteError = [&](TObject*, int No, int, const TStringList&, int, const std::string&, bool&, bool& Stop) {
        failed.push_back(No);
        Stop = false;
    };
    // The unique index fails only when its transaction commits; the two inserts go with it.
    r.Run("INSERT INTO T VALUES (1, 1);\nINSERT INTO T VALUES (2, 1);\nCREATE UNIQUE INDEX UX ON T (V);\n"
          "INSERT INTO T VALUES (3, 3);\nCREATE TABLE U (A INTEGER);\n");
    EXPECT_EQ(failed, std::vector<int>{3});
    EXPECT_EQ(reported, (Lines{"1", "2", "4", "5"}));
    EXPECT_EQ(r.S.ExecutedCount(), 2);
    r.Detach();
    EXPECT_EQ(Query(db, "SELECT '<<' || ID || '>>' FROM T;"), Lines{"3"});
    EXPECT_EQ(Query(db, "SELECT '<<' || COUNT(*) || '>>' FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'UX';"), Lines{"0"});
}

TEST(Scripter, CommandsDirectivesAndConditionalBlocks) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER);\n"
                          "CREATE TABLE L (S VARCHAR(20));\n");
    Runner r(db);
    r.S.Define("X");
    r.Run("SET AUTODDL OFF;\n"
          "{$IF SERVER_MAJOR_VER >= 3} INSERT INTO L VALUES ('fb3');\n"
          "  {$IFDEF X} INSERT INTO L VALUES ('x'); {$ELSE} INSERT INTO L VALUES ('not x'); {$ENDIF}\n"
          "{$ELSE} INSERT INTO L VALUES ('old'); {$ENDIF}\n"
          "{$IF SERVER_MAJOR_VER > 3}\n"
          "  {$IFDEF X} INSERT INTO L VALUES ('nested then'); {$ELSE} INSERT INTO L VALUES ('nested else'); {$ENDIF}\n"
          "{$ENDIF}\n"
          "{$SET ANSWER = 42} {$UNDEF X}\n"
          "{$IF ANSWER = 42} {$IFNDEF X} INSERT INTO L VALUES ('42'); {$ENDIF} {$ENDIF}\n"
          "{$IFEXISTS TABLE T} INSERT INTO L VALUES ('T exists'); {$ENDIF}\n"
          "{$IFNOTEXISTS TABLE \"t\"} INSERT INTO L VALUES ('t does not'); {$ENDIF}\n"
          "{ a comment the server never sees }\n"
          "INSERT INTO T (ID, V) VALUES (1, 10);\nREINSERT (2, 20);\n"
          "CREATE TABLE U (A INTEGER);\n"
          "DESCRIBE TABLE T 'it''s T';\nDESCRIBE FIELD V TABLE T 'the value';\n"
          "COMMIT;\n");
    EXPECT_FALSE(r.S.AutoDDL);
    EXPECT_EQ(r.S.Constants().Values("ANSWER"), "42");
    EXPECT_EQ(test::ErrorText<Exception>([&] { r.Run("{$IF NEVER_SET > 1} COMMIT; {$ENDIF}"); }),
              "Parse script error.\r\nConstant don't exists\r\nNEVER_SET");
    EXPECT_EQ(test::ErrorText<Exception>([&] { r.Run("{$NOPE}"); }), "Unknown directive :\r\nLine 1\r\n{$NOPE}");
    EXPECT_EQ(test::ErrorText<Exception>([&] { r.S.GetStatement(2); }), "Statement \xE2\x84\x96" "2 don't exist");
    r.Detach();
    EXPECT_EQ(Query(db, "SELECT '<<' || S || '>>' FROM L;"), (Lines{"fb3", "x", "42", "T exists", "t does not"}));
    EXPECT_EQ(Query(db, "SELECT '<<' || ID || '|' || V || '>>' FROM T ORDER BY ID;"), (Lines{"1|10", "2|20"}));
    EXPECT_EQ(Query(db, "SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T';"),
              Lines{"it's T"});
    EXPECT_EQ(Query(db, "SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = "
                        "'T' AND RDB$FIELD_NAME = 'V';"),
              Lines{"the value"});
    EXPECT_EQ(Query(db, "SELECT '<<' || COUNT(*) || '>>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'U';"),
              Lines{"1"});
}

TEST(Scripter, BlobFileParametersAreChecked) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE B (ID INTEGER, M BLOB);\n");
    Write(db.Dir().File("data.lob"), "0123456789");
    Runner r(db);
    r.S.Script().SetText("SET BLOBFILE '" + db.Dir().File("data.lob") +
                         "';\nINSERT INTO B VALUES (1, :h2_5);\nINSERT INTO B VALUES (2, :H0_0);\n"
                         "INSERT INTO B VALUES (3, :h8_3);\n");
    EXPECT_EQ(test::ErrorText<Exception>([&] { r.S.ExecuteScript(); }),
              "Blob file parameter H8_3: 3 bytes at offset 8 lie beyond the end of " + db.Dir().File("data.lob") +
                  " (10 bytes)");
    r.Detach();
    EXPECT_EQ(Query(db, "SELECT '<<' || ID || '|' || COALESCE(CAST(M AS VARCHAR(10)), 'null') || '>>' FROM B ORDER BY ID;"),
              (Lines{"1|23456", "2|null"}));
}

TEST(Scripter, InputFilesAndLoops) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE L (S VARCHAR(20));\n");
    const TempDir& dir = db.Dir();
    Write(dir.File("inner.sql"), "INSERT INTO L VALUES ('inner');\n");
    Write(dir.File("self.sql"), "INSERT INTO L VALUES ('self');\nINPUT '" + dir.File("self.sql") + "';\n");
    Write(dir.File("a.sql"), "INPUT '" + dir.File("b.sql") + "';\n");
    Write(dir.File("b.sql"), "INPUT '" + dir.File("a.sql") + "';\n");
    Runner r(db);
    r.Run("INPUT '" + dir.File("inner.sql") + "';\nINSERT INTO L VALUES ('outer');\n");
    for (const char* file : {"self.sql", "a.sql"}) {
        const std::string text = test::ErrorText<Exception>([&] { r.S.ExecuteFromFile(dir.File(file)); });
        EXPECT_NE(text.find("INPUT of '" + dir.File(file) + "' refused"), std::string::npos) << text;
    }
    // The caller's transaction is the caller's: what reached it before the refusal stays.
    r.Detach();
    EXPECT_EQ(Query(db, "SELECT '<<' || S || '>>' FROM L;"), (Lines{"inner", "outer", "self"}));
}

TEST(Scripter, DatabaseCreatedByTheRunnerIsLetGoWhenTheRunFails) {
    test::PrepareFirebirdEnvironment();
    TempDir dir;
    const std::string path = dir.File("new.fdb");
    TpFIBScripter runner;
    runner.Script().SetText("CREATE DATABASE '" + path + "' USER 'SYSDBA' DEFAULT CHARACTER SET UTF8;\n"
                            "CREATE TABLE T (A INTEGER);\nINSERT INTO T VALUES (1);\nINSERT INTO NOPE VALUES (2);\n");
    EXPECT_THROW(runner.ExecuteScript(), EFIBInterBaseError);
    EXPECT_EQ(runner.Database(), nullptr);
    std::string out;
    ASSERT_EQ(test::RunIsqlScript(dir, "-q -user SYSDBA '" + path + "'",
                                  "SELECT '<<' || MON$FORCED_WRITES || '>>' FROM MON$DATABASE;\n"
                                  "SELECT '<<' || COUNT(*) || '>>' FROM T;\n",
                                  out),
              0)
        << out;
    // Forced writes back on; the insert of the failed run rolled back, the committed table kept.
    EXPECT_EQ(test::Marked(out), (Lines{"1", "0"}));
}

} // namespace
} // namespace qnl
