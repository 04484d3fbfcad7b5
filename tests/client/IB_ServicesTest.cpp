// The services-manager base: its parameter buffer, its checks, and attaching to the services
// manager of the embedded engine and of a server the test starts on localhost.
#include "client/IB_Services.h"

#include "client/FIBDatabase.h"

#include "ErrorText.h"
#include "fixtures/FbFixture.h"
#include "fixtures/LocalServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qnl {
namespace {

// The number of the client error a call raises; -1 when it raises none.
int ClientErrorOf(const std::function<void()>& Call) {
    const std::string text = test::ErrorText<EFIBClientError>(Call);
    for (int code = 0; code < FIBClientErrorCount; ++code)
        if (text == ClientErrorMessage(code)) return code;
    return -1;
}

TEST(IB_ServicesTest, ServerNameProtocolAndServiceName) {
    TpFIBCustomService s;
    EXPECT_EQ(s.Protocol(), TProtocol::Local);
    EXPECT_EQ(s.ServiceName(), "service_mgr");
    s.SetServerName("db.example");
    EXPECT_EQ(s.Protocol(), TProtocol::TCP);
    EXPECT_EQ(s.ServiceName(), "db.example:service_mgr");
    s.SetProtocol(TProtocol::SPX);
    EXPECT_EQ(s.ServiceName(), "db.example@service_mgr");
    s.SetProtocol(TProtocol::NamedPipe);
    EXPECT_EQ(s.ServiceName(), "\\\\db.example\\service_mgr");
    s.SetServerName("");
    EXPECT_EQ(s.Protocol(), TProtocol::Local);
    s.SetServerName("h");
    s.SetProtocol(TProtocol::Local);
    EXPECT_EQ(s.ServerName(), "");

    s.Params().Add("isc_spb_user_name=A");
    s.Params().Add("password=B");
    s.Params().Add("xuser_name=C");
    EXPECT_EQ(s.IndexOfSPBConst("user_name"), 0);
    EXPECT_EQ(s.IndexOfSPBConst("password"), 1);
    EXPECT_EQ(s.IndexOfSPBConst("sql_role_name"), -1);
}

TEST(IB_ServicesTest, AttachAndDetachOnTheEmbeddedEngine) {
    test::PrepareFirebirdEnvironment();
    TpFIBCustomService s;
    s.SetName("Svc");
    s.LoginPrompt = false;
    s.Params().Add("user_name=SYSDBA");
    int attached = 0;
    s.OnAttach = [&](TObject*) { ++attached; };

    EXPECT_EQ(ClientErrorOf([&] { s.Detach(); }), cecServiceActive);   // "... not attached"
    s.Attach();
    EXPECT_TRUE(s.Active());
    EXPECT_EQ(attached, 1);
    EXPECT_EQ(ClientErrorOf([&] { s.Attach(); }), cecServiceInactive);   // "... is attached"
    EXPECT_EQ(ClientErrorOf([&] { s.SetServerName("x"); }), cecServiceInactive);
    EXPECT_EQ(ClientErrorOf([&] { s.SetProtocol(TProtocol::TCP); }), cecServiceInactive);
    EXPECT_EQ(ClientErrorOf([&] { s.Params().Add("password=x"); }), cecServiceInactive);
    EXPECT_EQ(s.Params().Count(), 1);
    s.SetActive(false);
    EXPECT_FALSE(s.Active());
    s.SetActive(true);
    EXPECT_TRUE(s.Active());
    // The destructor detaches.
}

TEST(IB_ServicesTest, LoginAndServerNameChecks) {
    TpFIBCustomService s;
    s.SetProtocol(TProtocol::TCP);
    EXPECT_EQ(ClientErrorOf([&] { s.Attach(); }), cecServerNameMissing);

    TpFIBCustomService local;
    const TDatabaseLoginDialog saved = DatabaseLoginDialog;
    DatabaseLoginDialog = nullptr;
    EXPECT_EQ(ClientErrorOf([&] { local.Attach(); }), cecCancelled);
    // The dialog gets the values and writes its answers back.
    std::string seenUser;
    DatabaseLoginDialog = [&](const std::string&, std::string& User, std::string& Password, std::string&) {
        seenUser = User;
        Password = "secret";
        return false;
    };
    local.Params().Add("isc_spb_user_name=SYSDBA");
    EXPECT_EQ(ClientErrorOf([&] { local.Attach(); }), cecCancelled);
    EXPECT_EQ(seenUser, "SYSDBA");
    DatabaseLoginDialog = saved;
    EXPECT_FALSE(local.Active());
}

TEST(IB_ServicesTest, NetworkAttachWithAWrongPasswordFailsWithTheServersMessage) {
    test::PrepareFirebirdEnvironment();
    test::LocalServer server;
    const std::string why = server.Start();
    if (!why.empty()) GTEST_SKIP() << "a local Firebird server cannot run here: " << why;
    // "host/port:service_mgr" is the TCP form with the server's port.
    const std::string connection = server.Connection("x");
    const std::string host = connection.substr(0, connection.rfind(':'));

    TpFIBCustomService s;
    s.SetServerName(host);
    s.LoginPrompt = false;
    s.Params().Add("user_name=SYSDBA");
    s.Params().Add("password=wrong");
    const std::string refused = test::ErrorText<EFIBInterBaseError>([&] { s.Attach(); });
    EXPECT_NE(refused.find(test::LocalServer::LoginRefused), std::string::npos) << refused;
    EXPECT_FALSE(s.Active());
    EXPECT_EQ(s.Handle(), 0u);

    s.Params().SetString(1, std::string("password=") + test::LocalServer::Password);
    s.Attach();
    EXPECT_TRUE(s.Active());
    s.Detach();

    // Named pipes and SPX do not exist here: the client library refuses them itself.
    s.SetProtocol(TProtocol::SPX);
    EXPECT_THROW(s.Attach(), EFIBInterBaseError);
    EXPECT_FALSE(s.Active());
}

} // namespace
} // namespace qnl
