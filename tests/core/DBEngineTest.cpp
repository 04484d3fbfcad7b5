#include "core/qnlDBEngine.h"
#include "platform/AppHooks.h"

#include "RecordingConnection.h"

#include <gtest/gtest.h>

using namespace qnl;
using qnl::test::RecordingConnection;
using qnl::test::Row;

TEST(DBEngine, IsSelectStatement) {
    EXPECT_TRUE(IsSelectStatement("  \r\n select * from T"));
    EXPECT_TRUE(IsSelectStatement("SELECTED"));
    EXPECT_FALSE(IsSelectStatement("WITH X AS (SELECT 1 FROM RDB$DATABASE) SELECT * FROM X"));
    EXPECT_FALSE(IsSelectStatement("SELEC"));
    EXPECT_FALSE(IsSelectStatement(""));
}

TEST(DBEngine, ValuesReadNullAsEmptyAndZero) {
    TQNLValue null;
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(null.AsString(), "");
    EXPECT_EQ(null.AsInteger(), 0);
    EXPECT_EQ(TQNLValue(int64_t(5000000000)).AsString(), "5000000000");
    EXPECT_EQ(TQNLValue(" 42 ").AsInteger(), 42);
    EXPECT_EQ(TQNLValue(2.5).AsString(), "2.5");
    EXPECT_EQ(TQNLValue(-7.6).AsInteger(), -8);
    EXPECT_THROW(TQNLValue("12abc").AsInteger(), std::invalid_argument);
    EXPECT_THROW(TQNLValue("").AsFloat(), std::invalid_argument);
}

TEST(DBEngine, ParamsAndFieldsMatchNamesWithoutCase) {
    TQNLParams params;
    TQNLParam* id = params.Add("Field_Name");
    EXPECT_EQ(params.Add("FIELD_NAME"), id);
    EXPECT_EQ(params.Count(), 1);
    EXPECT_EQ(params.FindParam("field_name"), id);
    EXPECT_EQ(params.FindParam("other"), nullptr);
    id->SetAsString("T1");
    EXPECT_EQ(id->DataType, TQNLDataType::String);
    id->LoadFromStream(std::string("\0\1", 2));
    EXPECT_EQ(id->DataType, TQNLDataType::Blob);
    EXPECT_EQ(id->AsString().size(), 2u);

    qnl::test::RecFields fields;
    fields.Load({{"Rdb$Field_Name", "X"}, {"RDB$NULL_FLAG", TQNLValue()}});
    EXPECT_EQ(fields.FindField("RDB$FIELD_NAME")->AsString(), "X");
    EXPECT_TRUE(fields.FindField("rdb$null_flag")->IsNull());
    EXPECT_EQ(fields.FindField("rdb$null_flag")->AsInteger(), 0);
    EXPECT_EQ(fields.FindField("missing"), nullptr);
    EXPECT_EQ(fields[0]->FieldName(), "Rdb$Field_Name");
}

TEST(DBEngine, QuerySQLChangesReachTheBinding) {
    RecordingConnection c;
    auto q = c.CreateQuery(nullptr);
    q->AddSQL("UPDATE T SET A = :a");
    q->AddSQL("WHERE B = :B AND C = ':notaparam' AND D = :A");
    ASSERT_EQ(q->GetParams()->Count(), 2);
    EXPECT_NE(q->ParamByName("b"), nullptr);
    EXPECT_EQ(q->SQLText(), "UPDATE T SET A = :a\r\nWHERE B = :B AND C = ':notaparam' AND D = :A\r\n");
    q->SetParamCheck(false);
    q->SetSQLText("INSERT INTO T VALUES (:X)");
    EXPECT_EQ(q->GetParams()->Count(), 2) << "without the check the parameters are left alone";
    q->ClearSQL();
    EXPECT_EQ(q->GetSQL()->Count(), 0);
}

TEST(DBEngine, FullDatabaseName) {
    struct Case {
        TServerType Type;
        std::string Host;
        int Port;
        TQNLProtocol Protocol;
        std::string Expected;
    };
    const Case cases[] = {
        {stInterBase, "srv", 3050, ptTCP, "srv/3050:/data/x.fdb"},
        {stInterBase, "srv", 0, ptTCP, "srv:/data/x.fdb"},
        {stInterBase, "srv", 0, ptLocal, "srv:/data/x.fdb"},
        {stInterBase, "srv", 3050, ptNamedPipe, "\\\\srv\\/data/x.fdb"},
        {stInterBase, "srv", 0, ptSPX, "srv@/data/x.fdb"},
        {stInterBase, "", 3050, ptTCP, "/data/x.fdb"},
        {stMSSQL, "srv", 3050, ptTCP, "/data/x.fdb"},
    };
    for (const Case& c : cases) {
        RecordingConnection conn;
        conn.SetServerType(c.Type);
        conn.ConnectionOptions.DatabaseName = "/data/x.fdb";
        conn.ConnectionOptions.HostName = c.Host;
        conn.ConnectionOptions.Port = c.Port;
        conn.ConnectionOptions.Protocol = c.Protocol;
        EXPECT_EQ(conn.GetFullDatabaseName(), c.Expected) << c.Host << " " << c.Port << " " << int(c.Protocol);
    }
}

TEST(DBEngine, AssignCopiesTypesAndEveryOptionObject) {
    RecordingConnection a, b;
    a.SetServerType(stInterBase);
    a.SetConnectionType(2);
    a.ConnectionOptions.DatabaseName = "db";
    a.IBEngineOptions.SQLDialect = 1;
    a.IBEngineOptions.SetDBCharSet("utf8");
    a.MySQLServerOptions.CharSet = "latin1";
    a.DB2ServerOptions.SQLServerVersion = st_DB2_11x;
    b.Assign(a);
    EXPECT_EQ(b.ServerType(), stInterBase);
    EXPECT_EQ(b.ConnectionType(), 2);
    EXPECT_EQ(b.ConnectionOptions.DatabaseName, "db");
    EXPECT_EQ(b.IBEngineOptions.SQLDialect, 1);
    EXPECT_EQ(b.IBEngineOptions.DBCharSet(), "UTF8");
    EXPECT_EQ(b.MySQLServerOptions.CharSet, "latin1");
    EXPECT_EQ(b.DB2ServerOptions.SQLServerVersion, st_DB2_11x);
}

TEST(DBEngine, ConnectLogsNameAndServerVersion) {
    RecordingConnection c;
    c.SetServerType(stInterBase);
    c.ConnectionOptions.DatabaseName = "/d/it's.fdb";
    c.ConnectionOptions.HostName = "srv";
    c.IBEngineOptions.IBDatabaseOptions.ServerVersion = "LI-V3.0.11";
    std::vector<std::string> log, events;
    c.OnLogNextLine = [&](TObject* s, const std::string& t) {
        EXPECT_EQ(s, &c);
        log.push_back(t);
    };
    c.OnBeforeConnect = [&](TObject*) { events.push_back("before"); };
    c.OnAfterConnect = [&](TObject*) { events.push_back("after"); };
    c.OnBeforeDisconnect = [&](TObject*) { events.push_back("before-off"); };
    c.OnAfterDisconnect = [&](TObject*) { events.push_back("after-off"); };
    c.SetConnected(true);
    c.SetConnected(false);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "Connect to: 'srv:/d/it''s.fdb'...");
    EXPECT_EQ(log[1], "Server version: LI-V3.0.11\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after", "before-off", "after-off"}));
    EXPECT_EQ(c.QueriesAlive, 0);
}

TEST(DBEngine, ErrorsGoToTheHandlerElseTheMessageBox) {
    TQNLCustomConnection c;
    std::vector<std::string> shown;
    TShowErrorTextHook old = SetShowErrorTextHook([&](const std::string& t) { shown.push_back(t); });
    EXPECT_FALSE(c.CreateDatabase());
    SetShowErrorTextHook(old);
    EXPECT_EQ(shown, (std::vector<std::string>{"CREATE DATABASE not implemented (TQNLCustomConnection)."}));

    std::string got;
    c.OnErrorMessage = [&](TObject*, const std::string& t) { got = t; };
    c.DoErrorMessage("boom");
    EXPECT_EQ(got, "boom");
    // The base neither connects nor creates queries.
    EXPECT_FALSE(c.GetConnected());
    EXPECT_EQ(c.CreateQuery(nullptr), nullptr);
}

TEST(DBEngine, InterBaseDatabaseInfo) {
    RecordingConnection c;
    c.SetServerType(stInterBase);
    std::string text = "x";
    c.GetDatabaseInfo(false, text);
    EXPECT_EQ(text, "") << "not connected";
    EXPECT_EQ(c.QueriesCreated, 0);

    c.Connected = true;
    c.GetDatabaseInfo(false, text);
    EXPECT_EQ(text, "") << "nothing known about the server";

    TIBDatabaseOptions& d = c.IBEngineOptions.IBDatabaseOptions;
    d.ServerVersion = "WI-V3.0";
    d.ServerInfo = "Firebird 3.0";
    d.ODSMajor = 12;
    d.ODSMinor = 0;
    d.DBSQLDialect = 3;
    d.SweepInterval = 20000;
    d.PageSize = 8192;
    d.ReadOnly = 0;
    d.ForcedWrites = 1;
    d.Buffers = 2048;
    c.ConnectionOptions.ClientLibrary = "libfbclient.so.2";
    c.ConnectionOptions.DatabaseName = "/d/x.fdb";
    c.IBEngineOptions.SetDBCharSet("UTF8");
    c.GetDatabaseInfo(true, text);
    EXPECT_EQ(text, "WI-V3.0 (Firebird 3.0)\r\nClient library: libfbclient.so.2\r\n");
    c.GetDatabaseInfo(false, text);
    EXPECT_EQ(text,
              "WI-V3.0 (Firebird 3.0)\r\nClient library: libfbclient.so.2\r\n"
              "Database name : /d/x.fdb\r\n"
              "Character set : UTF8\r\n"
              "ODS version   : 12.0\r\n"
              "SQL Dialect   : 3\r\n"
              "Sweep interval: 20000\r\n"
              "Page size     : 8192\r\n"
              "Read-only     : False\r\n"
              "Forced writes : On\r\n"
              "Buffers       : 2048 pages (16384 Kb)\r\n");
    EXPECT_EQ(c.QueriesCreated, 0);
}

TEST(DBEngine, OtherDialectsAskTheServer) {
    RecordingConnection c;
    c.Connected = true;
    std::string text;

    c.SetServerType(stMySQL);
    c.Results["Select version()"] = {Row{{"v", "8.0.1"}}};
    c.GetDatabaseInfo(true, text);
    EXPECT_EQ(text, "MySQL 8.0.1");

    c.SetServerType(stOracle);
    c.Results["select * from v$version"] = {Row{{"BANNER", "Oracle 19c"}}, Row{{"BANNER", "PL/SQL"}}};
    c.GetDatabaseInfo(true, text);
    EXPECT_EQ(text, "Oracle 19c\r\nPL/SQL\r\n");

    c.SetServerType(stASE);
    c.ConnectionOptions.DatabaseName = "sales";
    c.Calls.clear();
    c.Results["select @@version"] = {Row{{"v", "ASE 16"}}};
    c.Results["exec sp_helpdb sales"] = {
        Row{{"name", "sales"}, {"db_size", " 20 MB "}, {"owner", "sa"}, {"created", "today"}, {"status", "ok"}}};
    c.GetDatabaseInfo(false, text);
    EXPECT_EQ(text, "ASE 16\r\n  Database: sales\r\n  Size    : 20 MB\r\n  Owner   : sa\r\n  Created : today\r\n  Status  : ok");
    EXPECT_EQ(c.Calls, (std::vector<std::string>{"exec Use master", "open select @@version", "open exec sp_helpdb sales",
                                                 "exec Use sales"}));
    EXPECT_EQ(c.QueriesAlive, 0);

    c.SetServerType(stNone);
    c.GetDatabaseInfo(false, text);
    EXPECT_EQ(text, "");
}

TEST(DBEngine, OracleSchemaSwitchFailureIsReportedAndConnectGoesOn) {
    RecordingConnection c;
    c.SetServerType(stOracle);
    c.ConnectionOptions.DatabaseName = "APP";
    c.ConnectionOptions.HostName = "orahost";
    c.ConnectionOptions.UserName = "system";
    c.FailOn = "CURRENT_SCHEMA";
    std::vector<std::string> errors;
    c.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    bool after = false;
    c.OnAfterConnect = [&](TObject*) { after = true; };
    c.SetConnected(true);
    EXPECT_TRUE(after);
    EXPECT_TRUE(c.Connected);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "failed: ALTER SESSION SET CURRENT_SCHEMA = APP\r\nALTER SESSION SET CURRENT_SCHEMA = APP\r\n");
}
