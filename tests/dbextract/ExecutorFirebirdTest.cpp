// The InterBase/Firebird script executor running scripts on a real Firebird 3 database through
// the binding, as the window runs them: with the executor's default settings, the server it is
// connected to decides how a statement is written.
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBSQLExec.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace qnl
