// The InterBase/Firebird script executor running scripts on a real Firebird 3 database through
// the binding, as the window runs them: with the executor's default settings, the server it is
// connected to decides how a statement is written.
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBSQLExec.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::TempDatabase;
using Lines = std::vector<std::string>;

// The executor, left at its defaults, over the binding's connection to one database.
struct LiveExec {
    explicit LiveExec(const std::string& Path) {
        test::PrepareFirebirdEnvironment();
        Db.SetDBName(Path);
        Db.ConnectParams().SetUserName("SYSDBA");
        Db.SynchronizeTime = false;
        Connection.SetDatabase(&Db);
        Connection.OnErrorMessage = [this](TObject*, const std::string& Text) { Errors.push_back(Text); };
        Exec.SetQNLConnection(&Connection);
        Exec.OnErrorMessage = [this](TObject*, const std::string& Text) { Errors.push_back(Text); };
        Exec.OnLogNextLine = [this](TObject*, const std::string& Text) { Log.push_back(Text); };
    }
    ~LiveExec() {
        Exec.SetQNLConnection(nullptr);
        Connection.SetConnected(false);
    }
    void Parse(const std::string& Script) {
        TStringList lines;
        lines.SetText(Script);
        Exec.ParseScript(lines);
    }
    std::string AllErrors() const {
        std::string s;
        for (const std::string& e : Errors) s += e + "\n";
        return s;
    }

    TFIBDatabase Db;
    TQNLConnectionFIB Connection;
    TIBSQLExec Exec;
    Lines Errors, Log;
};

// Firebird 3 refuses updates of its system tables: the descriptions of a script run there are
// COMMENT ON statements, the script's own as written, although the executor is set up for an
// older server.
TEST(ExecutorFirebird, DescriptionsAreWrittenAsTheConnectedServerTakesThem) {
    const TempDatabase db("CREATE TABLE T (ID INTEGER);\nCREATE PROCEDURE P (X INTEGER) AS BEGIN END;\n");
    LiveExec e(db.Path());
    ASSERT_FALSE(IsFirebird3OrLater(e.Exec.IBServerOptions.SQLServerVersion));
    e.Parse("COMMENT ON TABLE T IS 'table''s';\nCOMMENT ON COLUMN T.ID IS 'column';\n");
    ASSERT_EQ(e.Exec.StatementCount(), 2);
    // Descriptions as the comparer hands them for an older server: rewritten for this one.
    TStatement* procedure = e.Exec.AddStatement("DESCRIBE PROCEDURE P", skDescription, "P", dboProcedure, saDescription);
    procedure->DescriptionText = "procedure";
    TStatement* parameter = e.Exec.AddStatement("DESCRIBE PARAMETER X", skDescription, "X", dboParam, saDescription, "P");
    parameter->DescriptionText = "parameter";
    EXPECT_TRUE(e.Exec.Execute()) << e.AllErrors();
    EXPECT_EQ(e.AllErrors(), "");
    EXPECT_EQ(test::QueryRows(db, "SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T' "
                                  "UNION ALL SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$RELATION_FIELDS "
                                  "WHERE RDB$RELATION_NAME = 'T' AND RDB$FIELD_NAME = 'ID' "
                                  "UNION ALL SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$PROCEDURES "
                                  "WHERE RDB$PROCEDURE_NAME = 'P' "
                                  "UNION ALL SELECT '<<' || RDB$DESCRIPTION || '>>' FROM RDB$PROCEDURE_PARAMETERS "
                                  "WHERE RDB$PROCEDURE_NAME = 'P' AND RDB$PARAMETER_NAME = 'X';"),
              (Lines{"table's", "column", "procedure", "parameter"}));
}

// The database object decides which database the binding connects to: a CONNECT statement
// naming another one is not followed, and the log says where the script runs.
TEST(ExecutorFirebird, AConnectToAnotherDatabaseIsLoggedAsNotFollowed) {
    const TempDatabase db("CREATE TABLE T (ID INTEGER);\n");
    LiveExec e(db.Path());
    e.Parse("CONNECT '/nowhere/other.fdb' USER 'SYSDBA' PASSWORD 'x';\nCREATE TABLE U (ID INTEGER);\n");
    ASSERT_EQ(e.Exec.StatementCount(), 2);
    EXPECT_TRUE(e.Exec.Execute()) << e.AllErrors();
    EXPECT_EQ(e.AllErrors(), "");
    EXPECT_NE(std::find(e.Log.begin(), e.Log.end(), "Connect: \"" + db.Path() + "\""), e.Log.end());
    EXPECT_NE(std::find(e.Log.begin(), e.Log.end(),
                        "< CONNECT not followed >: \"/nowhere/other.fdb\"; the script runs on \"" + db.Path() + "\"."),
              e.Log.end());
    for (const std::string& line : e.Log) EXPECT_EQ(line.find("Connect: \"/nowhere"), std::string::npos);
    EXPECT_EQ(test::QueryRows(db, "SELECT '<<' || COUNT(*) || '>>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'U'"),
              Lines{"1"});
}

// A target that cannot be reached: one connect, its failure and one message of the executor,
// and the run stops; a statement run on its own names itself in the message.
TEST(ExecutorFirebird, AnUnreachableTargetIsTriedOnce) {
    test::TempDir dir;
    LiveExec e(dir.File("missing.fdb"));
    e.Exec.AddStatement("INSERT INTO A VALUES (1)", skInsert, "A", dboTable, saInsert);
    e.Exec.AddStatement("CREATE TABLE B (ID INTEGER)", skStatement, "B", dboTable, saCreate);
    e.Exec.AddStatement("CREATE TABLE C (ID INTEGER)", skStatement, "C", dboTable, saCreate);
    int attaches = 0;
    e.Connection.OnBeforeConnect = [&](TObject*) { ++attaches; };
    EXPECT_FALSE(e.Exec.Execute());
    EXPECT_EQ(attaches, 1);
    ASSERT_EQ(e.Errors.size(), 2u) << e.AllErrors();
    EXPECT_EQ(e.Errors[1], "Disconnected from database...");
    EXPECT_NE(std::find(e.Log.begin(), e.Log.end(), "< Break: no connection to the database! >"), e.Log.end());
    EXPECT_EQ(e.Log.back(), "< Script executed: 1 errors... >");

    e.Errors.clear();
    e.Exec.ExecuteStatement(e.Exec.Statements(0));
    EXPECT_NE(std::find(e.Errors.begin(), e.Errors.end(),
                        e.Exec.Statements(0)->GetCaption() + ": Cannot perform operation -- DB is not open."),
              e.Errors.end())
        << e.AllErrors();
}

} // namespace
} // namespace qnl
