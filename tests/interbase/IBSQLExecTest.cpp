// The InterBase/Firebird script executor on its own: CONNECT texts, scripts turned into
// statements, one statement run on its own and description updates, against a connection that
// records what the executor asks of it. Whole update scripts run on real databases in
// ScriptEndToEndTest.
#include "interbase/qnlIBSQLExec.h"

#include "IBExReader.h"
#include "RecordingConnection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::RecordingConnection;
using Lines = std::vector<std::string>;

struct IBExec {
    RecordingConnection Conn;
    TIBSQLExec Exec;
    Lines Log;
    Lines Errors;

    explicit IBExec(TIBSQLServerVersionType Version = st_Firebird_30) {
        Exec.SetName("Exec1");
        Exec.SetQNLConnection(&Conn);
        Exec.IBServerOptions.SQLServerVersion = Version;
        Exec.OnLogNextLine = [this](TObject*, const std::string& t) { Log.push_back(t); };
        Exec.OnErrorMessage = [this](TObject*, const std::string& t) { Errors.push_back(t); };
        Conn.ConnectionOptions.DatabaseName = "target.fdb";
    }
    void Parse(const std::string& Script) {
        TStringList lines;
        lines.SetText(Script);
        Exec.ParseScript(lines);
    }
    // "kind object | text" per statement.
    Lines Statements() const {
        Lines r;
        for (int i = 0; i < Exec.StatementCount(); ++i) {
            const TStatement& s = *Exec.Statements(i);
            std::string text = Trim(s.Lines.Text());
            std::replace(text.begin(), text.end(), '\r', ' ');
            std::replace(text.begin(), text.end(), '\n', ' ');
            r.push_back(std::string(StatementKindNames[s.Kind]) + " " + s.ObjName + " | " + text);
        }
        return r;
    }
};

TEST(IBSQLExec, ConnectTextReadsBackWhatTheConnectStatementWrites) {
    struct Case {
        const char* Why;
        const char* Database;
        const char* User;
        const char* Password;
        const char* Role;
    };
    const Case cases[] = {
        {"all four", "/data/emp.fdb", "SYSDBA", "masterkey", "CLERK"},
        {"no role", "/data/emp.fdb", "SYSDBA", "masterkey", ""},
        {"a role without a password", "host:/data/emp.fdb", "ALICE", "", "AUDITOR"},
        {"quotes in every value", "/data/it's.fdb", "O'Brien", "pa''ss'", "R'1"},
        {"keywords inside values", "/data/ROLE USER.fdb", "PASSWORD", "ROLE", "USER"},
        {"a database alone", "employee", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TConnectionOptions x;
        x.DatabaseName = c.Database;
        x.UserName = c.User;
        x.Password = c.Password;
        x.RoleName = c.Role;
        TIBSQLExec exec;
        exec.ParseConnectText(exec.IBServerOptions.GetConnectStatement(x));
        EXPECT_EQ(exec.ConnectionOptions.DatabaseName, x.DatabaseName);
        EXPECT_EQ(exec.ConnectionOptions.UserName, x.UserName);
        EXPECT_EQ(exec.ConnectionOptions.Password, x.Password);
        EXPECT_EQ(exec.ConnectionOptions.RoleName, x.RoleName);
    }
    // As people write it: other spacing, lower case, unquoted user, the terminator.
    TIBSQLExec exec;
    exec.ParseConnectText("connect   'db.fdb'\r\n user sysdba password 'pw';");
    EXPECT_EQ(exec.ConnectionOptions.DatabaseName, "db.fdb");
    EXPECT_EQ(exec.ConnectionOptions.UserName, "sysdba");
    EXPECT_EQ(exec.ConnectionOptions.Password, "pw");
    EXPECT_EQ(exec.ConnectionOptions.RoleName, "");
}

TEST(IBSQLExec, ScriptBecomesEveryStatementItRuns) {
    IBExec e;
    e.Parse("CONNECT 'x.fdb' USER 'SYSDBA' PASSWORD 'pw';\n"
            "SET NAMES WIN1252;\n"
            "CREATE TABLE \"t\" (ID INTEGER);\n"
            "CREATE INDEX IX ON \"t\" (ID);\n"
            "ALTER INDEX IX INACTIVE;\n"
            "GRANT SELECT ON \"t\" TO PUBLIC;\n"
            "COMMENT ON TABLE \"t\" IS 'it''s';\n"
            "SET TERM ^ ;\n"
            "CREATE PROCEDURE P AS BEGIN END^\n"
            "CREATE PACKAGE PK AS BEGIN PROCEDURE Q; END^\n"
            "SET TERM ; ^\n"
            "EXECUTE PROCEDURE P;\n"
            "COMMIT;\n");
    EXPECT_TRUE(e.Errors.empty()) << e.Errors.front();
    EXPECT_EQ(e.Statements(), (Lines{"Connect x.fdb | CONNECT 'x.fdb' USER 'SYSDBA' PASSWORD 'pw'",
                                     "SetNames WIN1252 | SET NAMES WIN1252",
                                     "Statement t | CREATE TABLE \"t\" (ID INTEGER)",
                                     "Statement IX | CREATE INDEX IX ON \"t\" (ID)",
                                     "Statement IX | ALTER INDEX IX INACTIVE",
                                     "Statement t | GRANT SELECT ON \"t\" TO PUBLIC",
                                     "Description t | COMMENT ON TABLE \"t\" IS 'it''s'",
                                     "Procedure P | CREATE PROCEDURE P AS BEGIN END",
                                     "Package PK | CREATE PACKAGE PK AS BEGIN PROCEDURE Q; END",
                                     "Statement  | EXECUTE PROCEDURE P"}));
    EXPECT_EQ(e.Exec.Statements(6)->DescriptionText, "it's");
    // Without SET SQL DIALECT the script is dialect 3, as isql reads it.
    EXPECT_EQ(e.Exec.IBServerOptions.SQLDialect, 3);
    EXPECT_EQ(e.Exec.IBServerOptions.DBCharSet(), "WIN1252");
    EXPECT_EQ(e.Exec.ConnectionOptions.DatabaseName, "x.fdb");
    EXPECT_EQ(e.Exec.ConnectionOptions.Password, "pw");
    EXPECT_EQ(e.Log.front(), "Loading script...");
    EXPECT_EQ(e.Log.back(), "Script loaded.");

    e.Parse("SET SQL DIALECT 1;\nCREATE TABLE T (ID INTEGER);\nCREATE TABLE;\nCREATE TABLE U (ID INTEGER);\n");
    EXPECT_EQ(e.Exec.IBServerOptions.SQLDialect, 1);
    // A broken statement is reported and kept as a message; the others stay.
    EXPECT_EQ(e.Errors.size(), 1u);
    EXPECT_TRUE(e.Exec.MsgManager().HasErrors());
    EXPECT_EQ(e.Exec.StatementCount(), 3);
}

// Statements Firebird 3's isql runs that change no schema object: an extraction reads them over
// (data changes are handed on as such), the executor gets every one.
TEST(IBSQLExec, ServerAndTransactionStatementsAreReadNotRefused) {
    const char* const script = "MERGE INTO T USING S ON T.ID = S.ID WHEN MATCHED THEN UPDATE SET A = S.A;\n"
                               "UPDATE OR INSERT INTO T (ID) VALUES (1) MATCHING (ID);\n"
                               "SAVEPOINT SP1;\nRELEASE SAVEPOINT SP1;\nROLLBACK;\nROLLBACK WORK TO SAVEPOINT SP1;\n"
                               "CREATE USER U1 PASSWORD 'p';\nALTER USER U1 SET PASSWORD 'q';\nDROP USER U1;\n"
                               "CREATE MAPPING M1 USING PLUGIN SRP FROM ANY USER TO ROLE R1;\n"
                               "CREATE GLOBAL MAPPING M2 USING ANY PLUGIN FROM ANY USER TO USER;\n"
                               "CREATE OR ALTER USER U2 PASSWORD 'p';\n"
                               "CREATE SHADOW 1 'x.shd';\nDROP SHADOW 1;\n"
                               "DECLARE FILTER F1 INPUT_TYPE 1 OUTPUT_TYPE -4 ENTRY_POINT 'e' MODULE_NAME 'm';\n"
                               "DROP FILTER F1;\nALTER ROLE RDB$ADMIN SET AUTO ADMIN MAPPING;\n"
                               "ALTER ROLE RDB$ADMIN DROP AUTO ADMIN MAPPING;\n"
                               "CREATE TABLE Z (A INTEGER);\n";
    IBExec e;
    e.Parse(script);
    EXPECT_TRUE(e.Errors.empty()) << e.Errors.front();
    EXPECT_EQ(e.Statements().size(), 15u);
    EXPECT_EQ(e.Statements().front(), "Update T | MERGE INTO T USING S ON T.ID = S.ID WHEN MATCHED THEN UPDATE SET A = S.A");
    EXPECT_EQ(e.Statements()[1], "Update T | UPDATE OR INSERT INTO T (ID) VALUES (1) MATCHING (ID)");
    EXPECT_EQ(e.Statements().back(), "Statement Z | CREATE TABLE Z (A INTEGER)");

    TObjs objs;
    EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), "");
    EXPECT_NE(objs.FindTable("Z"), nullptr);
}

// Q strings (Firebird 3) hold quotes and terminators; the executor splits the script as isql does,
// whatever version it was set to.
TEST(IBSQLExec, QStringsStayInsideTheirStatement) {
    for (TIBSQLServerVersionType version : {st_Firebird_25, st_Firebird_30}) {
        IBExec e(version);
        e.Parse("SET TERM ^ ;\n"
                "CREATE PROCEDURE P RETURNS (S VARCHAR(20)) AS BEGIN S = q'{it's ^ ;}' || Q'!a'!'; END^\n"
                "SET TERM ; ^\n"
                "SELECT Q'(x')' FROM RDB$DATABASE;\n");
        EXPECT_TRUE(e.Errors.empty()) << e.Errors.front();
        EXPECT_EQ(e.Statements(),
                  (Lines{"Procedure P | CREATE PROCEDURE P RETURNS (S VARCHAR(20)) AS BEGIN S = q'{it's ^ ;}' || Q'!a'!'; END",
                         "Select  | SELECT Q'(x')' FROM RDB$DATABASE"}));
    }
}

TEST(IBSQLExec, ExecuteStatementRunsOneStatementAndEndsItsTransaction) {
    IBExec e;
    TStatement* comment = e.Exec.AddComment("/* nothing */");
    TStatement* select = e.Exec.AddStatement("SELECT 1 FROM RDB$DATABASE", skSelect, "", dboUnknown, saNone);
    TStatement* package =
        e.Exec.AddStatement("CREATE PACKAGE PK AS BEGIN PROCEDURE Q; END", skPackage, "PK", dboPackage, saCreate);
    TStatement* failing = e.Exec.AddStatement("DROP TABLE MISSING", skStatement, "MISSING", dboTable, saDrop);
    e.Conn.FailOn = "MISSING";

    e.Exec.ExecuteStatement(comment);
    e.Exec.ExecuteStatement(select);
    EXPECT_TRUE(e.Conn.Calls.empty());
    EXPECT_EQ(e.Conn.QueriesCreated, 2);
    EXPECT_EQ(e.Conn.QueriesAlive, 0);

    e.Exec.ExecuteStatement(package);
    EXPECT_TRUE(package->Executed);
    EXPECT_EQ(e.Conn.Calls, (Lines{"connect target.fdb", "start", "exec CREATE PACKAGE PK AS BEGIN PROCEDURE Q; END",
                                   "commit", "start"}));
    e.Conn.Calls.clear();
    e.Exec.ExecuteStatement(failing);
    EXPECT_FALSE(failing->Executed);
    EXPECT_EQ(e.Exec.ErrorCount, 1);
    EXPECT_EQ(failing->ErrorText, "failed: DROP TABLE MISSING");
    EXPECT_EQ(e.Conn.Calls, (Lines{"exec DROP TABLE MISSING", "rollback", "start"}));
    EXPECT_TRUE(e.Conn.Connected);
    EXPECT_EQ(e.Conn.QueriesAlive, 0);

    TIBSQLExec unbound;
    unbound.SetName("Exec2");
    Lines errors;
    unbound.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    unbound.ExecuteStatement(package);
    EXPECT_EQ(errors, (Lines{"TIBSQLExec(Exec2): Connection property not assigned."}));
}

TEST(IBSQLExec, DescriptionsAreSystemTableUpdatesBeforeFirebird3AndCommentsFromThere) {
    // What ran for the description of one object: the texts executed, with their parameters.
    auto run = [](IBExec& e, TDbObject Kind, const std::string& Name, const std::string& Owner,
                  const std::string& Text) {
        TStatement* st = e.Exec.AddStatement("DESCRIBE ...", skDescription, Name, Kind, saDescription, Owner);
        st->DescriptionText = Text;
        e.Conn.Calls.clear();
        e.Exec.ExecuteStatement(st);
        Lines executed;
        for (const std::string& call : e.Conn.Calls)
            if (call.rfind("exec ", 0) == 0) executed.push_back(call);
        return executed;
    };
    {
        IBExec e(st_Firebird_25);
        EXPECT_EQ(run(e, dboField, "NAME", "CUSTOMERS", "Name"),
                  (Lines{"exec update rdb$relation_fields\r\nset rdb$description = :DESCRIPTION\r\n"
                         "where Rdb$relation_name = :TBLNAME\r\nand Rdb$field_name = :FLDNAME "
                         "[DESCRIPTION=Name] [TBLNAME=CUSTOMERS] [FLDNAME=NAME]"}));
        EXPECT_EQ(e.Conn.Calls.back(), "start");
        EXPECT_EQ(run(e, dboParam, "X", "P", "x"),
                  (Lines{"exec update rdb$procedure_parameters\r\nset rdb$description = :DESCRIPTION\r\n"
                         "where Rdb$procedure_name = :OBJNAME\r\nand Rdb$parameter_name = :FLDNAME "
                         "[DESCRIPTION=x] [OBJNAME=P] [FLDNAME=X]"}));
        EXPECT_EQ(e.Exec.ErrorCount, 0);
        // A kind without a system table has nothing to run: reported and rolled back.
        EXPECT_EQ(run(e, dboPackage, "PK", "", "x"), Lines{});
        EXPECT_EQ(e.Errors.back(), "No description statement for PK: description");
        EXPECT_EQ(e.Exec.ErrorCount, 1);
        EXPECT_EQ(e.Conn.Calls.back(), "start");
    }
    {
        // Firebird 3 refuses writes to its system tables: the description becomes a comment.
        IBExec e(st_Firebird_30);
        EXPECT_EQ(run(e, dboTable, "Mixed", "", "it's"), (Lines{"exec COMMENT ON TABLE \"Mixed\" IS 'it''s'"}));
        EXPECT_EQ(run(e, dboField, "NAME", "CUSTOMERS", "n"), (Lines{"exec COMMENT ON COLUMN CUSTOMERS.NAME IS 'n'"}));
        // A routine the catalogue does not hold as a procedure is a function.
        e.Conn.Results["SELECT 1 FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P'"] = {{{"CONSTANT", 1}}};
        EXPECT_EQ(run(e, dboProcedure, "P", "", "p"), (Lines{"exec COMMENT ON PROCEDURE P IS 'p'"}));
        EXPECT_EQ(run(e, dboProcedure, "F", "", "f"), (Lines{"exec COMMENT ON FUNCTION F IS 'f'"}));
        EXPECT_EQ(run(e, dboParam, "X", "F", "x"), (Lines{"exec COMMENT ON FUNCTION PARAMETER F.X IS 'x'"}));
        EXPECT_EQ(e.Exec.ErrorCount, 0);
        // A comment statement runs as written.
        TStatement* own = e.Exec.AddStatement("COMMENT ON PACKAGE PK IS 'k'", skDescription, "PK", dboPackage,
                                              saDescription);
        e.Conn.Calls.clear();
        e.Exec.ExecuteStatement(own);
        EXPECT_NE(std::find(e.Conn.Calls.begin(), e.Conn.Calls.end(), "exec COMMENT ON PACKAGE PK IS 'k'"),
                  e.Conn.Calls.end());
        EXPECT_TRUE(own->Executed);
        EXPECT_EQ(e.Exec.ErrorCount, 0);
    }
}

TEST(IBSQLExec, SetNamesChangesTheNextConnectOnly) {
    IBExec e;
    e.Parse("SET NAMES WIN1251;\nCREATE TABLE T (ID INTEGER);\n");
    e.Exec.IBServerOptions.SetDBCharSet("UTF8");
    EXPECT_TRUE(e.Exec.Execute()) << (e.Errors.empty() ? "" : e.Errors.front());
    EXPECT_EQ(e.Exec.IBServerOptions.DBCharSet(), "WIN1251");
    EXPECT_EQ(std::count(e.Conn.Calls.begin(), e.Conn.Calls.end(), "connect target.fdb"), 1);
}

} // namespace
} // namespace qnl
