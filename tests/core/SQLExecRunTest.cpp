#include "core/qnlSQL_Exec.h"

#include "RecordingConnection.h"
#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace qnl;
using qnl::test::RecordingConnection;
using Lines = std::vector<std::string>;

namespace {
struct ExecRun {
    RecordingConnection Conn;
    TSQLExec Exec;
    Lines Log;
    Lines Errors;

    ExecRun() {
        Exec.SetName("Exec1");
        Exec.ServerType = stInterBase;
        Exec.SetQNLConnection(&Conn);
        Exec.OnLogNextLine = [this](TObject*, const std::string& t) { Log.push_back(t); };
        Exec.OnErrorMessage = [this](TObject*, const std::string& t) { Errors.push_back(t); };
        Conn.ConnectionOptions.DatabaseName = "target.fdb";
    }
    TStatement* Ddl(const std::string& Text, const std::string& Name) {
        return Exec.AddStatement(Text, skStatement, Name, dboTable, saCreate);
    }
    bool Logged(const std::string& Line) const { return std::find(Log.begin(), Log.end(), Line) != Log.end(); }
};
} // namespace

TEST(SQLExecRun, StatementOrderTransactionsAndSummary) {
    ExecRun r;
    r.Ddl("CREATE TABLE A (X INTEGER)", "A");
    r.Exec.AddComment("/* data */");
    r.Exec.AddStatement("INSERT INTO A VALUES (1)", skInsert, "A", dboTable, saInsert);
    r.Exec.AddStatement("CREATE PROCEDURE P AS BEGIN END", skProcedure, "P", dboProcedure, saCreate);
    r.Ddl("CREATE TABLE SKIPPED (X INTEGER)", "SKIPPED")->Skip = true;
    r.Exec.AddStatement("INSERT INTO A VALUES (2)", skInsert, "A", dboTable, saInsert);
    std::vector<int> before, after;
    r.Exec.OnBeforeStatementExecute = [&](TObject*, int i) { before.push_back(i); };
    r.Exec.OnAfterStatementExecute = [&](TObject*, int i) { after.push_back(i); };

    EXPECT_TRUE(r.Exec.Execute());
    // Data changes are committed before the next DDL statement, which runs in its own transaction.
    EXPECT_EQ(r.Conn.Calls, (Lines{"connect target.fdb", "start", "exec CREATE TABLE A (X INTEGER)", "commit", "start",
                                   "exec INSERT INTO A VALUES (1)", "commit", "start",
                                   "exec CREATE PROCEDURE P AS BEGIN END", "commit", "start",
                                   "exec INSERT INTO A VALUES (2)", "commit", "disconnect"}));
    EXPECT_EQ(r.Log, (Lines{"Updating target database...", "< Exec SQL >: A: create",
                            "< Exec SQL >: /*  */", "< Exec SQL >: A: insert", "< Exec SQL >: P: create",
                            "< Skipping statement >: SKIPPED: create", "< Exec SQL >: A: insert",
                            "< Script executed succesfully! >"}));
    EXPECT_EQ(before, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(r.Errors.empty());
    EXPECT_FALSE(r.Conn.Connected) << "a connection that was disconnected is left disconnected";
    EXPECT_EQ(r.Conn.QueriesAlive, 0);
    EXPECT_EQ(r.Exec.Query, nullptr);
    EXPECT_EQ(r.Exec.CurrentStatement, nullptr);
}

TEST(SQLExecRun, ConnectedConnectionStaysConnected) {
    ExecRun r;
    r.Conn.Connected = true;
    r.Exec.AddStatement("UPDATE A SET X = 1", skUpdate, "A", dboTable, saUpdate);
    EXPECT_TRUE(r.Exec.Execute());
    EXPECT_EQ(r.Conn.Calls, (Lines{"start", "exec UPDATE A SET X = 1", "commit"}));
    EXPECT_TRUE(r.Conn.Connected);
}

TEST(SQLExecRun, ErrorsAreCountedAndEveryStatementRuns) {
    ExecRun r;
    r.Conn.FailOn = "BAD";
    TStatement* bad1 = r.Ddl("CREATE TABLE BAD1 (X INTEGER)", "BAD1");
    TStatement* good = r.Ddl("CREATE TABLE GOOD (X INTEGER)", "GOOD");
    r.Exec.AddStatement("INSERT INTO BAD2 VALUES (1)", skInsert, "BAD2", dboTable, saInsert);
    EXPECT_FALSE(r.Exec.Execute());
    // Firebird undoes a failed data change alone: its transaction is not rolled back.
    EXPECT_EQ(r.Conn.Calls, (Lines{"connect target.fdb", "start", "exec CREATE TABLE BAD1 (X INTEGER)", "rollback",
                                   "start", "exec CREATE TABLE GOOD (X INTEGER)", "commit", "start",
                                   "exec INSERT INTO BAD2 VALUES (1)", "commit", "disconnect"}));
    EXPECT_EQ(r.Errors, (Lines{"failed: CREATE TABLE BAD1 (X INTEGER)", "failed: INSERT INTO BAD2 VALUES (1)"}));
    EXPECT_EQ(bad1->ErrorText, "failed: CREATE TABLE BAD1 (X INTEGER)");
    EXPECT_EQ(good->ErrorText, "");
    EXPECT_EQ(r.Exec.ErrorCount, 2);
    EXPECT_EQ(r.Log.back(), "< Script executed: 2 errors... >");
    EXPECT_FALSE(r.Logged("< Script executed succesfully! >"));
}

TEST(SQLExecRun, DataChangesRolledBackWithAFailedOneAreReportedWhereTheServerUndoesTheWholeTransaction) {
    ExecRun r;
    r.Exec.ServerType = stPostgreSQL;
    r.Conn.FailOn = "BAD";
    r.Exec.AddStatement("INSERT INTO A VALUES (1)", skInsert, "A", dboTable, saInsert);
    r.Exec.AddStatement("INSERT INTO BAD VALUES (1)", skInsert, "BAD", dboTable, saInsert);
    r.Exec.AddStatement("INSERT INTO A VALUES (2)", skInsert, "A2", dboTable, saInsert);
    EXPECT_FALSE(r.Exec.Execute());
    EXPECT_EQ(r.Conn.Calls, (Lines{"connect target.fdb", "start", "exec INSERT INTO A VALUES (1)",
                                   "exec INSERT INTO BAD VALUES (1)", "rollback", "start",
                                   "exec INSERT INTO A VALUES (2)", "commit", "disconnect"}));
    EXPECT_TRUE(r.Logged("< Rolled back >: A: insert"));
    EXPECT_FALSE(r.Logged("< Rolled back >: A2: insert"));
    EXPECT_EQ(r.Log.back(), "< Script executed: 2 errors... >");
}

TEST(SQLExecRun, BreakOnErrorStopsAfterTheFirstFailure) {
    ExecRun r;
    r.Exec.BreakOnError = true;
    r.Conn.FailOn = "BAD";
    r.Ddl("CREATE TABLE BAD (X INTEGER)", "BAD");
    r.Ddl("CREATE TABLE NEVER (X INTEGER)", "NEVER");
    EXPECT_FALSE(r.Exec.Execute());
    for (const std::string& c : r.Conn.Calls) EXPECT_EQ(c.find("NEVER"), std::string::npos) << c;
    ASSERT_GE(r.Log.size(), 2u);
    EXPECT_EQ(r.Log[r.Log.size() - 2], "< Break on Error! >");
    EXPECT_EQ(r.Log.back(), "< Script executed: 1 errors... >");
}

TEST(SQLExecRun, AbortedRunIsNotReportedAsSuccess) {
    ExecRun r;
    r.Ddl("CREATE TABLE A (X INTEGER)", "A");
    r.Ddl("CREATE TABLE B (X INTEGER)", "B");
    r.Exec.OnAfterStatementExecute = [](TObject*, int) { AbortRequested = true; };
    bool result = r.Exec.Execute();
    AbortRequested = false;
    EXPECT_FALSE(result);
    EXPECT_EQ(r.Exec.ErrorCount, 0);
    EXPECT_EQ(r.Log.back(), "< Script execution aborted! >");
    EXPECT_FALSE(r.Logged("< Script executed succesfully! >"));
    for (const std::string& c : r.Conn.Calls) EXPECT_EQ(c.find("TABLE B"), std::string::npos) << c;
    EXPECT_FALSE(r.Conn.Connected);
}

TEST(SQLExecRun, ThrowingConnectionNeverEscapes) {
    {
        ExecRun r;
        r.Conn.ThrowOnConnect = true;
        r.Ddl("CREATE TABLE A (X INTEGER)", "A");
        EXPECT_FALSE(r.Exec.Execute());
        EXPECT_EQ(r.Errors, (Lines{"connect failed", "Disconnected from database..."}));
        EXPECT_EQ(r.Log.back(), "< Script executed: 2 errors... >");
        EXPECT_EQ(r.Conn.QueriesAlive, 0);
    }
    {
        ExecRun r;
        r.Conn.ThrowOnCommit = true;
        r.Conn.Connected = true;
        r.Exec.AddStatement("DELETE FROM A", skDelete, "A", dboTable, saDelete);
        EXPECT_FALSE(r.Exec.Execute());
        EXPECT_EQ(r.Errors, (Lines{"commit failed"}));
        // The delete never reached the database: it is logged so and counted.
        EXPECT_TRUE(r.Logged("< Rolled back >: A: delete"));
        EXPECT_EQ(r.Log.back(), "< Script executed: 2 errors... >");
        EXPECT_EQ(r.Conn.QueriesAlive, 0);
    }
    {
        ExecRun r;
        r.Conn.ThrowOnGetConnected = true;
        r.Ddl("CREATE TABLE A (X INTEGER)", "A");
        EXPECT_FALSE(r.Exec.Execute());
        EXPECT_EQ(r.Errors, (Lines{"connection state unknown"}));
        EXPECT_TRUE(r.Conn.Calls.empty()) << "nothing runs when the start fails";
        EXPECT_EQ(r.Conn.QueriesAlive, 0);
    }
}

TEST(SQLExecRun, EmptyScriptAndMissingConnection) {
    ExecRun r;
    EXPECT_TRUE(r.Exec.Execute());
    EXPECT_EQ(r.Log, (Lines{"Update script is empty."}));

    TSQLExec lone;
    lone.SetName("Exec2");
    Lines errors;
    lone.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    lone.AddStatement("DROP TABLE T", skStatement, "T", dboTable, saDrop);
    EXPECT_FALSE(lone.Execute());
    lone.ExecuteStatement(lone.Statements(0));
    EXPECT_EQ(errors, (Lines{"TSQLExec(Exec2): Connection property not assigned.",
                             "TSQLExec(Exec2): Connection property not assigned."}));
}

TEST(SQLExecRun, ExecuteBlockRunsAndSelectDoesNot) {
    ExecRun r;
    r.Exec.AddStatement("EXECUTE BLOCK AS BEGIN END", skExecuteBlock, "", dboUnknown, saNone);
    r.Exec.AddStatement("SELECT 1 FROM RDB$DATABASE", skSelect, "", dboUnknown, saNone);
    EXPECT_TRUE(r.Exec.Execute());
    EXPECT_EQ(r.Conn.Calls, (Lines{"connect target.fdb", "start", "exec EXECUTE BLOCK AS BEGIN END", "commit",
                                   "disconnect"}));
}

TEST(SQLExecRun, ConnectReconnectAndCreateDatabaseStatements) {
    ExecRun r;
    r.Exec.ConnectionOptions.DatabaseName = "ignored: copied from the connection at the start";
    r.Exec.AddStatement("CREATE DATABASE 'new.fdb'", skCreateDb, "", dboUnknown, saConnectSet);
    r.Exec.AddStatement("CONNECT 'new.fdb'", skConnect, "", dboUnknown, saConnectSet);
    r.Exec.AddStatement("RECONNECT", skReConnect, "", dboUnknown, saNone);
    r.Exec.IBServerOptions.SQLDialect = 1;
    r.Exec.IBServerOptions.SetDBCharSet("win1252");
    r.Exec.MSSQLServerOptions.Collation = "c";
    EXPECT_TRUE(r.Exec.Execute());
    EXPECT_EQ(r.Conn.Calls, (Lines{"create target.fdb", "connect target.fdb", "disconnect", "connect target.fdb",
                                   "disconnect", "connect target.fdb", "disconnect"}));
    EXPECT_TRUE(r.Logged("Connect: \"target.fdb\""));
    EXPECT_TRUE(r.Logged("Dialect: 1. DBCharSet: WIN1252."));
    EXPECT_TRUE(r.Logged("ReConnect..."));
    EXPECT_EQ(r.Conn.IBEngineOptions.SQLDialect, 1);
    EXPECT_EQ(r.Conn.MSSQLServerOptions.Collation, "c");

    ExecRun refused;
    refused.Conn.CanCreate = false;
    refused.Exec.AddStatement("CREATE DATABASE 'x'", skCreateDb, "", dboUnknown, saConnectSet);
    EXPECT_FALSE(refused.Exec.Execute());
    EXPECT_EQ(refused.Errors, (Lines{"Cann't create database."}));

    // A binding that reports its failed connect itself still fails the statement.
    ExecRun silent;
    silent.Conn.RefuseConnect = true;
    Lines connectionErrors;
    silent.Conn.OnErrorMessage = [&](TObject*, const std::string& t) { connectionErrors.push_back(t); };
    silent.Exec.AddStatement("CONNECT 'x'", skConnect, "", dboUnknown, saConnectSet);
    EXPECT_FALSE(silent.Exec.Execute());
    EXPECT_EQ(silent.Errors, (Lines{"Disconnected from database..."}));
    EXPECT_EQ(connectionErrors, (Lines{"refused"}));
    EXPECT_FALSE(silent.Logged("Connect: \"target.fdb\""));
}

TEST(SQLExecRun, BlobFileParametersAndParamValues) {
    qnl::test::TempDir dir;
    std::string blob = dir.File("data.lob");
    {
        std::ofstream f(blob, std::ios::binary);
        f << "0123456789ABCDEFGHIJ";
    }
    ExecRun r;
    r.Exec.ScriptFileName = dir.File("script.sql");
    r.Exec.OnGetParamValue = [](TObject*, TQNLParam* p) {
        EXPECT_TRUE(p->IsNull()) << "the value starts as Null";
        if (SameText(p->Name(), "ID")) p->SetAsInteger(5);
    };
    r.Exec.AddStatement("SET BLOBFILE 'data.lob'", skBlobFile, "data.lob", dboUnknown, saNone);
    r.Exec.AddStatement("INSERT INTO T VALUES (:ID, :h0000000a_00000004, :OTHER)", skInsert, "T", dboTable, saInsert);
    r.Exec.AddStatement("INSERT INTO T VALUES (:H00000000_00000000)", skInsert, "T", dboTable, saInsert);
    EXPECT_TRUE(r.Exec.Execute()) << (r.Errors.empty() ? "" : r.Errors[0]);
    EXPECT_EQ(r.Conn.Calls[2], "exec INSERT INTO T VALUES (:ID, :h0000000a_00000004, :OTHER) [ID=5] "
                               "[h0000000a_00000004=ABCD blob] [OTHER=<null>]");
    EXPECT_EQ(r.Conn.Calls[3], "exec INSERT INTO T VALUES (:H00000000_00000000) [H00000000_00000000= blob]");
    EXPECT_EQ(r.Exec.BlobStream, nullptr) << "released at the end of the run";
}

TEST(SQLExecRun, BlobFileFailuresNeverWriteWrongData) {
    qnl::test::TempDir dir;
    std::string blob = dir.File("data.lob");
    {
        std::ofstream f(blob, std::ios::binary);
        f << "0123456789";
    }
    ExecRun r;
    r.Exec.AddStatement("SET BLOBFILE", skBlobFile, blob, dboUnknown, saNone);
    // Past the end of the file: reported, and the row is not written.
    r.Exec.AddStatement("INSERT INTO T VALUES (:h00000008_00000004)", skInsert, "T", dboTable, saInsert);
    // A second blob file that is missing: the first one is no longer read.
    r.Exec.AddStatement("SET BLOBFILE", skBlobFile, dir.File("missing.lob"), dboUnknown, saNone);
    r.Exec.AddStatement("INSERT INTO T VALUES (:h00000000_00000002)", skInsert, "T", dboTable, saInsert);
    r.Exec.AddStatement("SET BLOBFILE", skBlobFile, "relative.lob", dboUnknown, saNone);
    EXPECT_FALSE(r.Exec.Execute());
    EXPECT_EQ(r.Errors, (Lines{"Stream read error", "BlobFile not found: " + dir.File("missing.lob"),
                               "ScriptFileName not specified (for BlobFile)."}));
    for (const std::string& c : r.Conn.Calls) EXPECT_EQ(c.find(":h00000008"), std::string::npos) << c;
    EXPECT_NE(std::find(r.Conn.Calls.begin(), r.Conn.Calls.end(),
                        "exec INSERT INTO T VALUES (:h00000000_00000002) [h00000000_00000002=<null>]"),
              r.Conn.Calls.end());
}

TEST(SQLExecRun, ExecuteStatementConnectsAroundOneStatement) {
    ExecRun r;
    TStatement* st = r.Ddl("CREATE TABLE A (X INTEGER)", "A");
    r.Exec.ExecuteStatement(st);
    EXPECT_EQ(r.Conn.Calls, (Lines{"connect target.fdb", "start", "exec CREATE TABLE A (X INTEGER)", "commit",
                                   "disconnect"}));
    EXPECT_EQ(r.Conn.QueriesAlive, 0);
    EXPECT_EQ(r.Exec.CurrentStatement, nullptr);
}

TEST(SQLExecRun, FullLogShowsTexts) {
    struct FullLogExec : TSQLExec {
        FullLogExec() { FFullLog = true; }
    };
    RecordingConnection conn;
    conn.Connected = true;
    FullLogExec exec;
    exec.SetQNLConnection(&conn);
    Lines log;
    exec.OnLogNextLine = [&](TObject*, const std::string& t) { log.push_back(t); };
    exec.AddStatement("DROP TABLE A\r\n", skStatement, "A", dboTable, saDrop);
    exec.AddStatement("DROP TABLE B\r\nCASCADE", skStatement, "B", dboTable, saDrop)->Skip = true;
    EXPECT_TRUE(exec.Execute());
    EXPECT_EQ(log, (Lines{"Updating target database...", "< Exec SQL >:", "DROP TABLE A", "< Skipping statement >:",
                          "// DROP TABLE B", "// CASCADE", "< Script executed succesfully! >"}));
}

// Neither a freed connection nor cleared statements leave the executor holding dead pointers.
TEST(SQLExecRun, NoDanglingConnectionOrStatement) {
    TSQLExec exec;
    Lines errors;
    exec.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    {
        RecordingConnection conn;
        exec.SetQNLConnection(&conn);
        exec.AddStatement("CREATE TABLE A (X INTEGER)", skStatement, "A", dboTable, saCreate);
        conn.FailOn = "A";
        EXPECT_FALSE(exec.Execute());
    }
    EXPECT_EQ(exec.QNLConnection(), nullptr);
    exec.ClearStatements();
    exec.DoErrorMessage("after the run");
    EXPECT_EQ(errors.back(), "after the run");

    RecordingConnection a, b;
    exec.SetQNLConnection(&a);
    exec.SetQNLConnection(&b);
    exec.AddStatement("X", skStatement, "X", dboTable, saCreate);
    exec.ExecuteStatement(exec.Statements(0));
    EXPECT_TRUE(a.Calls.empty());
    EXPECT_FALSE(b.Calls.empty());
}
