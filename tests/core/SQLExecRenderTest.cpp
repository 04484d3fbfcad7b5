#include "core/qnlSQL_Exec.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

using namespace qnl;

namespace {
// The rendered lines, one per text line, so a failure shows where the texts part.
std::string Render(TSQLExec& Exec, bool SetLineNumbers = false) {
    TStringList out;
    out.Add("left over from before");
    Exec.GetScriptText(out, SetLineNumbers);
    std::string s;
    for (int i = 0; i < out.Count(); ++i) s += out[i] + "\n";
    return s;
}

const char* const Proc = "CREATE PROCEDURE P AS\r\nBEGIN\r\n  EXIT;\r\nEND";
const char* const Trig = "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\r\nBEGIN\r\n  NEW.A = 1;\r\nEND";

void AddTableProcTrigger(TSQLExec& Exec) {
    Exec.AddStatement("CREATE TABLE T (A INTEGER)", skStatement, "T", dboTable, saCreate);
    Exec.AddStatement(Proc, skProcedure, "P", dboProcedure, saCreate);
    Exec.AddComment("/* between */");
    Exec.AddStatement(Trig, skTrigger, "TR", dboTrigger, saCreate);
}
} // namespace

TEST(SQLExecRender, InterBaseSetTermBlocksAndLineIndexes) {
    TSQLExec exec;
    exec.ServerType = stInterBase;
    AddTableProcTrigger(exec);
    exec.AddStatement("DROP TABLE OLD", skStatement, "OLD", dboTable, saDrop);
    EXPECT_EQ(Render(exec, true),
              "CREATE TABLE T (A INTEGER);\n"
              "\n"
              "SET TERM ^ ;\n"
              "\n"
              "CREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND\n^\n\n"
              "/* between */\n"
              "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND\n^\n\n"
              "SET TERM ; ^\n"
              "\n"
              "DROP TABLE OLD;\n"
              "\n");
    EXPECT_EQ(exec.Statements(0)->LineIndex, 0);
    EXPECT_EQ(exec.Statements(1)->LineIndex, 4);
    EXPECT_EQ(exec.Statements(2)->LineIndex, 10);
    EXPECT_EQ(exec.Statements(3)->LineIndex, 11);
    EXPECT_EQ(exec.Statements(4)->LineIndex, 19);
}

TEST(SQLExecRender, GenerateCommitAndTrailingSetTerm) {
    TSQLExec exec;
    exec.ServerType = stInterBase;
    exec.IBServerOptions.IBCompareOptions.GenerateCOMMIT = true;
    AddTableProcTrigger(exec);
    exec.AddStatement("EXECUTE BLOCK AS\r\nBEGIN\r\nEND", skExecuteBlock, "", dboUnknown, saNone);
    EXPECT_EQ(Render(exec),
              "CREATE TABLE T (A INTEGER);\n\nCOMMIT WORK;\n"
              "SET TERM ^ ;\n\n"
              "CREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND\n^\n\nCOMMIT WORK ^\n"
              "/* between */\n"
              "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND\n^\n\nCOMMIT WORK ^\n"
              "EXECUTE BLOCK AS\nBEGIN\nEND\n^\n\n"
              "SET TERM ; ^\n\n");
}

TEST(SQLExecRender, OtherDialectsTerminateBodiesTheirOwnWay) {
    TSQLExec none;
    AddTableProcTrigger(none);
    EXPECT_EQ(Render(none),
              "CREATE TABLE T (A INTEGER);\n\n"
              "CREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND;\n\n"
              "/* between */\n"
              "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND;\n\n");

    TSQLExec mssql;
    mssql.ServerType = stMSSQL;
    AddTableProcTrigger(mssql);
    mssql.AddCommit();
    EXPECT_EQ(Render(mssql),
              "CREATE TABLE T (A INTEGER)\nGO\n\n"
              "CREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND\nGO\n\n"
              "/* between */\n"
              "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND\nGO\n\n"
              "COMMIT WORK;\n");

    TSQLExec oracle;
    oracle.ServerType = stOracle;
    AddTableProcTrigger(oracle);
    EXPECT_EQ(Render(oracle),
              "CREATE TABLE T (A INTEGER);\n\n"
              "CREATE PROCEDURE P AS\nBEGIN\n  EXIT;\nEND\n/\n\n"
              "/* between */\n"
              "CREATE TRIGGER TR FOR T ACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND\n/\n\n");

    TSQLExec asa;
    asa.ServerType = stASA;
    asa.AddStatement("DROP TABLE T", skStatement, "T", dboTable, saDrop);
    asa.AddCommit();
    EXPECT_EQ(Render(asa), "DROP TABLE T\ngo\n\nCommit Work\ngo\n");
}

TEST(SQLExecRender, KindsAndViews) {
    TSQLExec exec;
    exec.ServerType = stInterBase;
    exec.ConnectionOptions.DatabaseName = "/d/x.fdb";
    exec.ConnectionOptions.UserName = "SYSDBA";
    exec.IBServerOptions.IBCompareOptions.UseRECONNECT = false;
    exec.AddConnect();
    exec.IBServerOptions.IBCompareOptions.UseRECONNECT = true;
    exec.AddConnect();
    exec.AddStatement("SET SQL DIALECT 3", skSqlDialect, "", dboUnknown, saConnectSet);
    exec.AddStatement("CREATE VIEW V AS SELECT A FROM T", skStatement, "V", dboView, saCreate);
    exec.AddStatement("CREATE VIEW W AS\r\nSELECT A FROM T", skStatement, "W", dboView, saCreate);
    exec.AddStatement("COMMENT ON TABLE T IS 'x'", skDescription, "T", dboTable, saDescription);
    exec.AddStatement("INSERT INTO T VALUES (1)", skInsert, "T", dboTable, saInsert);
    exec.AddStatement("SELECT * FROM T", skSelect, "", dboUnknown, saNone);
    exec.AddStatement("SET BLOBFILE 'b.lob'", skBlobFile, "b.lob", dboUnknown, saNone);
    exec.AddStatement("SET AUTODDL ON", skSet, "", dboUnknown, saConnectSet, "", ";;");
    exec.AddStatement("DROP TABLE SKIPPED", skStatement, "SKIPPED", dboTable, saDrop)->Skip = true;
    exec.AddCommit();
    exec.AddComment("");
    EXPECT_EQ(Render(exec),
              "CONNECT '/d/x.fdb' USER 'SYSDBA';\n\n"
              "RECONNECT;\n\n"
              "SET SQL DIALECT 3;\n\n"
              "CREATE VIEW V AS SELECT A FROM T;\n\n"
              "CREATE VIEW W AS\nSELECT A FROM T\n;\n\n"
              "COMMENT ON TABLE T IS 'x';\n\n"
              "INSERT INTO T VALUES (1);\n\n"
              "SELECT * FROM T;\n\n"
              "SET BLOBFILE 'b.lob';\n\n"
              "SET AUTODDL ON;;\n"
              "COMMIT WORK;\n"
              "\n");
}

TEST(SQLExecRender, PackageBodiesRunInsideSetTerm) {
    TSQLExec exec;
    exec.ServerType = stInterBase;
    exec.AddStatement("CREATE PACKAGE K AS\r\nBEGIN\r\n  PROCEDURE X;\r\nEND", skStatement, "K", dboPackage, saCreate);
    exec.AddStatement("RECREATE PACKAGE BODY K AS\r\nBEGIN\r\n  PROCEDURE X AS BEGIN END\r\nEND", skPackage, "K",
                      dboPackage, saCreate);
    exec.AddStatement("DROP PACKAGE Z", skStatement, "Z", dboPackage, saDrop);
    EXPECT_EQ(Render(exec),
              "SET TERM ^ ;\n\n"
              "CREATE PACKAGE K AS\nBEGIN\n  PROCEDURE X;\nEND\n^\n\n"
              "RECREATE PACKAGE BODY K AS\nBEGIN\n  PROCEDURE X AS BEGIN END\nEND\n^\n\n"
              "SET TERM ; ^\n\n"
              "DROP PACKAGE Z;\n\n");
}

TEST(SQLExecRender, ClearStatementsResetsTheScriptOptions) {
    TSQLExec exec;
    exec.ConnectionOptions.DatabaseName = "x";
    exec.IBServerOptions.SQLDialect = 1;
    exec.MySQLServerOptions.CharSet = "latin1";
    exec.AddComment("c");
    exec.ClearStatements();
    EXPECT_EQ(exec.StatementCount(), 0);
    EXPECT_EQ(exec.ConnectionOptions.DatabaseName, "");
    EXPECT_EQ(exec.IBServerOptions.SQLDialect, 3);
    EXPECT_EQ(exec.MySQLServerOptions.CharSet, "");
}

// The rendered script is what users run in isql: it must build exactly what it says.
TEST(SQLExecRender, RenderedFirebirdScriptRunsInIsql) {
    qnl::test::TempDatabase db("");
    TSQLExec exec;
    exec.ServerType = stInterBase;
    exec.ConnectionOptions.DatabaseName = db.Path();
    exec.ConnectionOptions.UserName = "SYSDBA";
    exec.IBServerOptions.IBCompareOptions.UseRECONNECT = false;
    exec.IBServerOptions.IBCompareOptions.GenerateCOMMIT = true;
    exec.AddConnect();
    exec.AddComment("/* Create tables */");
    exec.AddStatement("CREATE TABLE T1 (\r\n  ID INTEGER NOT NULL,\r\n  NAME VARCHAR(20))", skStatement, "T1", dboTable,
                      saCreate);
    exec.AddStatement("CREATE TABLE T2 (ID INTEGER)", skStatement, "T2", dboTable, saCreate);
    exec.AddStatement("CREATE VIEW V1 (ID)\r\nAS SELECT ID FROM T1", skStatement, "V1", dboView, saCreate);
    exec.AddComment("\r\n");
    exec.AddStatement("CREATE PROCEDURE P1 (X INTEGER)\r\nRETURNS (Y INTEGER)\r\nAS\r\nBEGIN\r\n  Y = X + 1;\r\n  "
                      "SUSPEND;\r\nEND",
                      skProcedure, "P1", dboProcedure, saCreate);
    exec.AddStatement("CREATE TRIGGER T1_BI FOR T1 ACTIVE BEFORE INSERT POSITION 0\r\nAS\r\nBEGIN\r\n  IF (NEW.NAME IS "
                      "NULL) THEN NEW.NAME = 'none';\r\nEND",
                      skTrigger, "T1_BI", dboTrigger, saCreate);
    exec.AddStatement("EXECUTE BLOCK AS\r\nBEGIN\r\n  INSERT INTO T1 (ID) VALUES (7);\r\nEND", skExecuteBlock, "",
                      dboUnknown, saNone);
    exec.AddStatement("COMMENT ON TABLE T1 IS 'first'", skDescription, "T1", dboTable, saDescription);
    exec.AddStatement("INSERT INTO T2 (ID) VALUES (1)", skInsert, "T2", dboTable, saInsert);
    exec.AddCommit();

    TStringList script;
    exec.GetScriptText(script, false);
    std::string file = db.Dir().File("update.sql");
    ASSERT_TRUE(script.SaveToFile(file));
    std::string out;
    ASSERT_EQ(qnl::test::RunIsql("-q -b -i '" + file + "'", out), 0) << out << "\n" << script.Text();

    std::string schema = qnl::test::ExtractSchema(db.Path());
    for (const char* expected :
         {"CREATE TABLE T1 (ID INTEGER NOT NULL,", "CREATE TABLE T2 (ID INTEGER);", "CREATE VIEW V1 (ID)",
          "PROCEDURE P1 (X INTEGER)", "  Y = X + 1;", "CREATE TRIGGER T1_BI FOR T1", "T1 IS 'first';"})
        EXPECT_NE(schema.find(expected), std::string::npos) << expected << "\n" << schema;

    ASSERT_EQ(qnl::test::RunSql(db,
                                "SELECT 'ROWS=' || (SELECT COUNT(*) FROM T1 WHERE NAME = 'none') || '/' || "
                                "(SELECT COUNT(*) FROM T2) FROM RDB$DATABASE;\n",
                                out),
              0)
        << out;
    EXPECT_NE(out.find("ROWS=1/1"), std::string::npos) << out;
}
