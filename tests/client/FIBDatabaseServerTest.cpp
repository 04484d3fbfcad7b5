// The database object against a Firebird server that the test starts on localhost: its own
// configuration, security database, lock folder and port, so it cannot meet any other server.
#include "client/FIBDatabase.h"
#include "client/FIBQuery.h"

#include "ErrorText.h"
#include "TestLogger.h"
#include "fixtures/FbFixture.h"
#include "fixtures/LocalServer.h"

#include <gtest/gtest.h>

#include <string>

namespace qnl {
namespace {

using test::LocalServer;

TEST(FIBDatabaseServerTest, PasswordCheckAndRemoteFacts) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    LocalServer server;
    const std::string why = server.Start();
    if (!why.empty()) GTEST_SKIP() << "a local Firebird server cannot run here: " << why;

    TFIBDatabase db;
    db.SetName("RemoteDB");
    db.SynchronizeTime = false;
    db.SetDBName(server.Connection(file.Path()));
    db.ConnectParams().SetUserName("SYSDBA");
    db.ConnectParams().SetPassword("wrong");
    db.ConnectParams().SetCharSet("UTF8");
    const std::string refused = test::ErrorText<EFIBInterBaseError>([&] { db.Connect(); });
    EXPECT_NE(refused.find(LocalServer::LoginRefused), std::string::npos) << refused;
    EXPECT_FALSE(db.Connected());

    db.ConnectParams().SetPassword(LocalServer::Password);
    db.Connect();
    ASSERT_TRUE(db.Connected());
    EXPECT_TRUE(db.IsRemoteConnect());
    EXPECT_TRUE(db.IsFirebird());
    EXPECT_EQ(db.GetServerMajorVersion(), 3);
    EXPECT_TRUE(db.UnicodeConnect());
    EXPECT_EQ(db.GetImplementationNo(), isc_info_db_impl_linux_amd64);

    TFIBTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (1)");
    tr.ExecSQLImmediate("INSERT INTO T VALUES (2)");
    tr.Commit();

    // Over the network the server answers a fetch from a cursor that a hard commit ended with
    // 335544572 (the embedded engine answers end of data): the statement takes it as the end of
    // the rows and says so in the log.
    test::TTestLogger logger;
    db.SetSQLLogger(&logger);
    tr.StartTransaction();
    TFIBQuery q;
    q.SetName("Q");
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SetCloseOnTransactionEnd(false);
    q.SQL().SetText("SELECT ID FROM T");
    q.ExecQuery();
    tr.Commit();
    tr.StartTransaction();
    EXPECT_EQ(q.Next(), nullptr);
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.GetRecordCount(), 1);
    ASSERT_GE(logger.Lines.size(), 2u);
    EXPECT_EQ(logger.Lines[logger.Lines.size() - 2], "Q|Fetch:|Cursor closed with its transaction: taken as end of file|2");
    EXPECT_EQ(logger.Lines.back(), "Q|Fetch:|\r\nID = 1\r\n\r\n  End of file reached|2");
    q.Close();
    db.SetSQLLogger(nullptr);
    tr.Commit();
    db.Close();
    EXPECT_FALSE(db.Connected());
}

} // namespace
} // namespace qnl
