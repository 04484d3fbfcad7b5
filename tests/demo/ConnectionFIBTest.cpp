// The binding of the library's connection and query against real Firebird 3: the connect loop
// that settles on the database's dialect (in UTF-8 whatever its character set), the server facts, failures that are
// reported and leave the connection closed, database creation and the query's two roads.
#include "demo/qnlConnection_FIB.h"

#include "fixtures/FbFixture.h"
#include "fixtures/LocalServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace qnl {
namespace {

// One database object and a connection over it, with everything the connection reports.
struct Binding {
    explicit Binding(const std::string& Path, const std::string& LcCtype = "", int Dialect = 3) {
        test::PrepareFirebirdEnvironment();
        Db.SetName("DB");
        Db.SynchronizeTime = false;
        Db.SetDBName(Path);
        Db.DBParams().Add("user_name=SYSDBA");
        if (!LcCtype.empty()) Db.DBParams().Add("lc_ctype=" + LcCtype);
        Db.SetSQLDialect(Dialect);
        Db.OnConnect = [this](TObject*) { ++Attaches; };
        Conn.SetName("Conn");
        Conn.SetDatabase(&Db);
        Conn.OnLogNextLine = [this](TObject*, const std::string& Text) { Log.push_back(Text); };
        Conn.OnErrorMessage = [this](TObject*, const std::string& Text) { Errors.push_back(Text); };
        Conn.OnAfterConnect = [this](TObject*) { ++AfterConnects; };
    }
    ~Binding() { Conn.SetConnected(false); }

    // The first column of the first row of Select, read through a query of the connection.
    std::string Value(const std::string& Select) {
        std::unique_ptr<TQNLQuery> q = Conn.CreateQuery(nullptr);
        q->SetSQLText(Select);
        q->Open();
        std::string result = q->GetEof() ? "<no row>" : (*q->GetFields())[0]->AsString();
        q->Close();
        return Trim(result);
    }

    TFIBDatabase Db;
    TQNLConnectionFIB Conn;
    std::vector<std::string> Log, Errors;
    int Attaches = 0;
    int AfterConnects = 0;
};

std::string AllOf(const std::vector<std::string>& Lines) {
    std::string text;
    for (const std::string& l : Lines) text += l + "\n";
    return text;
}

const char* const AttachmentCharSet =
    "SELECT C.RDB$CHARACTER_SET_NAME FROM MON$ATTACHMENTS A JOIN RDB$CHARACTER_SETS C "
    "ON C.RDB$CHARACTER_SET_ID = A.MON$CHARACTER_SET_ID WHERE A.MON$ATTACHMENT_ID = CURRENT_CONNECTION";

TEST(ConnectionFIB, ConnectSettlesOnTheDatabasesCharacterSetAndDialect) {
    struct Case {
        const char* Name;
        const char* DatabaseCharSet;
        int DatabaseDialect;
        const char* LcCtype;   // of the database object before the connect
        int Dialect;           // of the database object before the connect
        int Attaches;
    };
    const Case cases[] = {
        {"no connection character set", "WIN1252", 3, "", 3, 1},
        {"the database's own character set", "UTF8", 3, "utf8", 3, 1},
        {"another character set", "ISO8859_1", 3, "WIN1251", 3, 1},
        {"a dialect-1 database opened in dialect 3", "NONE", 1, "NONE", 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TempDatabase file("CREATE TABLE T (ID INTEGER);", c.DatabaseCharSet, c.DatabaseDialect);
        Binding b(file.Path(), c.LcCtype, c.Dialect);
        b.Conn.SetConnected(true);
        ASSERT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);
        EXPECT_TRUE(b.Errors.empty()) << AllOf(b.Errors);
        EXPECT_EQ(b.Attaches, c.Attaches);
        EXPECT_EQ(b.AfterConnects, 1);
        EXPECT_EQ(b.Conn.IBEngineOptions.DBCharSet(), c.DatabaseCharSet);
        EXPECT_EQ(b.Conn.IBEngineOptions.SQLDialect, c.DatabaseDialect);
        // Every statement runs in UTF-8, whatever the database's default set.
        EXPECT_EQ(b.Value(AttachmentCharSet), "UTF8");
        EXPECT_EQ(b.Conn.ConnectionOptions.DatabaseName, file.Path());
        EXPECT_EQ(b.Conn.ConnectionOptions.UserName, "SYSDBA");
        ASSERT_GE(b.Log.size(), 2u);
        EXPECT_EQ(b.Log[0], "Connect to: '" + file.Path() + "'...");
        EXPECT_EQ(b.Log[1].rfind("Server version: ", 0), 0u) << b.Log[1];
    }
}

TEST(ConnectionFIB, ServerFactsAreThoseTheMonitoringTablesShow) {
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    std::string out;
    const std::string path = "'" + file.Path() + "'";
    ASSERT_EQ(std::system(("gfix -user SYSDBA -buffers 333 " + path + " && gfix -user SYSDBA -housekeeping 7777 " + path +
                           " && gfix -user SYSDBA -write async " + path)
                              .c_str()),
              0);
    const std::vector<std::string> expected = test::QueryRows(
        file, "SELECT '<<' || MON$ODS_MAJOR || '.' || MON$ODS_MINOR || ' page ' || MON$PAGE_SIZE || ' forced ' || "
              "MON$FORCED_WRITES || ' sweep ' || MON$SWEEP_INTERVAL || ' read-only ' || MON$READ_ONLY || ' buffers ' || "
              "MON$PAGE_BUFFERS || ' dialect ' || MON$SQL_DIALECT || ' engine ' || "
              "RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') || '>>' FROM MON$DATABASE");
    ASSERT_EQ(expected.size(), 1u) << AllOf(expected);

    Binding b(file.Path());
    b.Conn.SetConnected(true);
    ASSERT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);
    const TIBDatabaseOptions& f = b.Conn.IBEngineOptions.IBDatabaseOptions;
    const std::string engine = expected[0].substr(expected[0].rfind(' ') + 1);
    EXPECT_EQ(std::to_string(f.ODSMajor) + "." + std::to_string(f.ODSMinor) + " page " + std::to_string(f.PageSize) +
                  " forced " + std::to_string(f.ForcedWrites) + " sweep " + std::to_string(f.SweepInterval) +
                  " read-only " + std::to_string(f.ReadOnly) + " buffers " + std::to_string(f.Buffers) + " dialect " +
                  std::to_string(f.DBSQLDialect) + " engine " + engine,
              expected[0]);
    // The version text ("LI-V6.3.11.33637 Firebird 3.0") names the engine's major and minor.
    EXPECT_NE(f.ServerVersion.find("Firebird " + engine.substr(0, 3)), std::string::npos) << f.ServerVersion;
    EXPECT_EQ(f.Buffers, 333);
    EXPECT_EQ(f.SweepInterval, 7777);
    EXPECT_EQ(f.ImplementationNo, b.Db.GetImplementationNo());
    EXPECT_EQ(f.ImplementationClass, b.Db.GetImplementationClass());
}

TEST(ConnectionFIB, AWrongPasswordReportsTheServersMessageAndLeavesTheConnectionClosed) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    test::LocalServer server;
    const std::string why = server.Start();
    if (!why.empty()) GTEST_SKIP() << "a local Firebird server cannot run here: " << why;

    Binding b(server.Connection(file.Path()));
    b.Db.DBParams().Add("password=wrong");
    b.Conn.SetConnected(true);
    EXPECT_FALSE(b.Conn.GetConnected());
    ASSERT_EQ(b.Errors.size(), 1u) << AllOf(b.Errors);
    EXPECT_NE(b.Errors[0].find("Your user name and password are not defined. Ask your database administrator to set up "
                               "a Firebird login."),
              std::string::npos)
        << b.Errors[0];
    EXPECT_EQ(b.AfterConnects, 0);
    EXPECT_FALSE(b.Conn.InTransaction());

    // The same connection with the right password works: the failure was the password.
    b.Errors.clear();
    b.Db.WriteDBParam(dpbPassword, test::LocalServer::Password);
    b.Conn.SetConnected(true);
    ASSERT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);
    EXPECT_TRUE(b.Db.IsRemoteConnect());
    EXPECT_EQ(b.Conn.IBEngineOptions.DBCharSet(), "UTF8");
    EXPECT_EQ(b.Attaches, 1);   // connected in UTF-8 from the start: no reconnect
}

TEST(ConnectionFIB, ADatabaseWhoseTransactionCannotStartIsReportedAndLeftClosed) {
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    Binding b(file.Path(), "UTF8");
    // The database attaches; the server refuses the transaction, which reserves a table that
    // is not there.
    b.Conn.Transaction().TRParams().Add("lock_write=NO_SUCH_TABLE");
    EXPECT_NO_THROW(b.Conn.SetConnected(true));
    EXPECT_EQ(b.Attaches, 1);
    EXPECT_FALSE(b.Conn.GetConnected());
    EXPECT_FALSE(b.Conn.InTransaction());
    ASSERT_EQ(b.Errors.size(), 1u) << AllOf(b.Errors);
    EXPECT_NE(b.Errors[0].find("NO_SUCH_TABLE"), std::string::npos) << b.Errors[0];
    EXPECT_EQ(b.AfterConnects, 0);
}

TEST(ConnectionFIB, AConnectLoopThatNeverSettlesStopsWithAnError) {
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "WIN1252");
    Binding b(file.Path());
    // Something that changes the options on every attach keeps them from ever matching.
    b.Db.OnConnect = [&b](TObject*) {
        ++b.Attaches;
        b.Conn.IBEngineOptions.SQLDialect = 1;
    };
    EXPECT_NO_THROW(b.Conn.SetConnected(true));
    EXPECT_FALSE(b.Conn.GetConnected());
    EXPECT_EQ(b.Attaches, TQNLConnectionFIB::MaxConnectPasses);
    ASSERT_EQ(b.Errors.size(), 1u) << AllOf(b.Errors);
    EXPECT_EQ(b.Errors[0], "TQNLConnectionFIB(Conn): The database's dialect did not settle after 3 connects; the "
                           "connection is closed.");
    EXPECT_EQ(b.AfterConnects, 0);
}

TEST(ConnectionFIB, CreateDatabaseWithPageSizeAndCharacterSet) {
    test::PrepareFirebirdEnvironment();
    test::TempDir dir;
    const std::string path = dir.File("created.fdb");
    Binding b(path);
    b.Conn.ConnectionOptions.DatabaseName = path;
    b.Conn.ConnectionOptions.UserName = "SYSDBA";
    b.Conn.ConnectionOptions.Password = "it's secret";
    b.Conn.IBEngineOptions.IBDatabaseOptions.PageSize = 16384;
    b.Conn.IBEngineOptions.SetDBCharSet("win1252");
    ASSERT_TRUE(b.Conn.CreateDatabase()) << AllOf(b.Errors);
    EXPECT_TRUE(b.Conn.GetConnected());   // left attached
    EXPECT_FALSE(b.Db.UseLoginPrompt);
    EXPECT_TRUE(b.Errors.empty()) << AllOf(b.Errors);
    // The connection connects to the new database again as to any other (the extractor and
    // the executor reconnect).
    EXPECT_EQ(b.Db.DBParams().Text(), "user_name=SYSDBA\r\npassword=it's secret\r\nlc_ctype=UTF8\r\n");
    b.Conn.SetConnected(false);
    b.Conn.SetConnected(true);
    EXPECT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);
    EXPECT_EQ(b.Attaches, 2);
    b.Db.Close();

    std::string out;
    ASSERT_EQ(test::RunIsqlScript(dir, "-q -b -user SYSDBA '" + path + "'",
                                  "SELECT '<<' || M.MON$PAGE_SIZE || ' ' || TRIM(D.RDB$CHARACTER_SET_NAME) || '>>' "
                                  "FROM MON$DATABASE M CROSS JOIN RDB$DATABASE D;\n",
                                  out),
              0)
        << out;
    EXPECT_EQ(test::Marked(out), std::vector<std::string>{"16384 WIN1252"});

    // A database that is there already: the server's refusal is reported, nothing raised.
    Binding again(path);
    again.Conn.ConnectionOptions.DatabaseName = path;
    EXPECT_FALSE(again.Conn.CreateDatabase());
    EXPECT_TRUE(again.Db.UseLoginPrompt);   // no user name given
    ASSERT_EQ(again.Errors.size(), 1u);
    EXPECT_NE(again.Errors[0].find("exists"), std::string::npos) << again.Errors[0];
    EXPECT_FALSE(again.Conn.GetConnected());

    TQNLConnectionFIB alone;
    alone.SetName("Alone");
    std::vector<std::string> errors;
    alone.OnErrorMessage = [&](TObject*, const std::string& Text) { errors.push_back(Text); };
    EXPECT_FALSE(alone.CreateDatabase());
    alone.SetConnected(true);
    EXPECT_FALSE(alone.GetConnected());
    EXPECT_EQ(errors, (std::vector<std::string>{"TQNLConnectionFIB(Alone): Database not assigned.",
                                                "TQNLConnectionFIB(Alone): Database not assigned."}));
}

TEST(ConnectionFIB, QueryRunsSelectsThroughTheDataSetAndOtherTextThroughTheStatement) {
    test::TempDatabase file("CREATE TABLE \"IT'S\" (ID INTEGER NOT NULL, NAME CHAR(10), B BLOB SUB_TYPE TEXT, "
                            "N NUMERIC(9,2), BI BIGINT);",
                            "UTF8");
    Binding b(file.Path());
    // A query made while the connection is closed works once it is open, across a reconnect.
    std::unique_ptr<TQNLQuery> made = b.Conn.CreateQuery(nullptr);
    auto& q = static_cast<TQNLFIBQuery&>(*made);
    EXPECT_EQ(q.Connection, &b.Conn);
    // The two operations of the data set that its base class leaves abstract (raising) do nothing.
    TStringList links;
    EXPECT_NO_THROW(q.DataSet().FillParamsToFieldsLinks(links));
    EXPECT_NO_THROW(q.DataSet().ApplyRepositoryInfo());
    EXPECT_EQ(links.Count(), 0);
    b.Conn.SetConnected(true);
    ASSERT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);

    q.AddSQL("INSERT INTO \"IT'S\" (ID, NAME, B, N, BI)");
    q.AddSQL("VALUES (:id, :Name, :B, :N, :BI)");
    EXPECT_EQ(q.Query().SQL().Text(), q.SQLText());
    EXPECT_EQ(q.DataSet().SelectSQL().Text(), "");
    ASSERT_EQ(q.GetParams()->Count(), 5);
    const struct {
        int Id;
        const char* Name;
        const char* Blob;
        double N;
        int64_t BI;
    } rows[] = {{1, "one", "first blob", 1.25, 9000000000000000000}, {2, "two", "", -3.5, -1}};
    for (const auto& r : rows) {
        q.ParamByName("ID")->SetAsInteger(r.Id);
        q.ParamByName("name")->SetAsString(r.Name);
        q.ParamByName("B")->LoadFromStream(r.Blob);
        q.ParamByName("N")->SetAsFloat(r.N);
        q.ParamByName("BI")->SetAsInteger(r.BI);
        q.ExecQuery();
    }
    q.ParamByName("ID")->SetAsInteger(3);
    for (const char* name : {"NAME", "B", "N", "BI"}) q.ParamByName(name)->Clear();
    q.ExecQuery();

    // A text set at once: parameters are found by ParamByName before anything else.
    TQNLFIBQuery& s = q;
    s.ClearSQL();
    s.SetSQLText("select ID, NAME, B, N, BI from \"IT'S\" where ID >= :FROM_ID order by ID");
    EXPECT_EQ(s.Query().SQL().Text(), "");
    EXPECT_EQ(s.DataSet().SelectSQL().Text(), s.SQLText());
    s.ParamByName("from_id")->SetAsString("1");
    s.Prepare();
    s.Open();
    std::vector<std::string> read;
    for (; !s.GetEof(); s.Next())
        read.push_back(s.FieldByName("id")->AsString() + "|" + s.FieldByName("Name")->AsString() + "|" +
                       s.FieldByName("B")->AsString() + "|" + s.FieldByName("N")->AsString() + "|" +
                       std::to_string(s.FieldByName("BI")->AsInteger()) + "|" +
                       (s.FieldByName("NAME")->IsNull() ? "null" : "value"));
    EXPECT_EQ(read, (std::vector<std::string>{"1|one|first blob|1.25|9000000000000000000|value",
                                              "2|two||-3.5|-1|value", "3||||0|null"}));
    EXPECT_EQ(s.FieldByName("NO_SUCH_COLUMN"), nullptr);
    s.Close();

    // The same text reopened with another value, after a disconnect and a reconnect.
    b.Conn.SetConnected(false);
    b.Conn.SetConnected(true);
    s.ParamByName("FROM_ID")->SetAsInteger(3);
    s.Open();
    ASSERT_FALSE(s.GetEof());
    EXPECT_EQ(s.GetFields()->Count(), 5);
    EXPECT_EQ((*s.GetFields())[0]->AsInteger(), 3);
    s.Next();
    EXPECT_TRUE(s.GetEof());
    s.Close();
    EXPECT_EQ(s.GetFields(), nullptr);

    // With ParamCheck off (as the script executor runs DDL) a colon is no parameter.
    s.SetParamCheck(false);
    s.SetSQLText("CREATE PROCEDURE P RETURNS (X INTEGER) AS BEGIN SELECT COUNT(*) FROM \"IT'S\" INTO :X; SUSPEND; END");
    EXPECT_EQ(s.GetParams()->Count(), 0);
    s.ExecQuery();
    b.Conn.Commit();
    EXPECT_EQ(b.Value("SELECT X FROM P"), "3");
}

TEST(ConnectionFIB, ReconnectWithCharSetRebuildsTheLoginAndComesBack) {
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    Binding b(file.Path());
    b.Conn.SetConnected(true);
    ASSERT_TRUE(b.Conn.GetConnected()) << AllOf(b.Errors);
    ASSERT_TRUE(b.Conn.ReconnectWithCharSet("NONE"));
    EXPECT_EQ(b.Db.DBParams().Text(), "user_name=SYSDBA\r\nlc_ctype=NONE\r\n");
    EXPECT_EQ(b.Value(AttachmentCharSet), "NONE");
    ASSERT_TRUE(b.Conn.ReconnectWithCharSet(b.Conn.IBEngineOptions.DBCharSet()));
    EXPECT_EQ(b.Value(AttachmentCharSet), "UTF8");
    EXPECT_TRUE(b.Conn.InTransaction());
}

} // namespace
} // namespace qnl
