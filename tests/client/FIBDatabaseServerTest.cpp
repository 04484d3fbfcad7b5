// The database object against a Firebird server that the test starts on localhost: its own
// configuration, security database, lock folder and port, so it cannot meet any other server.
#include "client/FIBDatabase.h"
#include "client/FIBQuery.h"

#include "TestLogger.h"
#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qnl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* ServerBinary = "/usr/sbin/firebird";
constexpr const char* Password = "qnl-Test-1";

// The folder the server package installs its messages, plugins and character sets into.
std::string FindServerRoot() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib", ec)) {
        const fs::path root = entry.path() / "firebird" / "3.0";
        if (fs::exists(root / "plugins" / "libEngine12.so", ec)) return root.string();
    }
    return {};
}

int FreeLocalPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(s);
    return port;
}

bool PortAccepts(int Port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(Port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(s);
    return ok;
}

std::string ReadFile(const std::string& Path) {
    std::ifstream f(Path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// A private server: started by Start, always stopped by the destructor.
class TLocalServer {
public:
    ~TLocalServer() { Stop(); }

    // Empty on success, else why the server cannot run here.
    std::string Start() {
        const std::string installed = FindServerRoot();
        if (installed.empty() || access(ServerBinary, X_OK) != 0) return "no Firebird 3 server installed";
        FRoot = FDir.File("root");
        const std::string lock = FDir.File("lock"), tmp = FDir.File("tmp");
        fs::create_directories(FRoot);
        fs::create_directories(lock);
        fs::create_directories(tmp);
        for (const char* item : {"firebird.msg", "intl", "plugins", "lib", "UDF"})
            if (fs::exists(installed + "/" + item)) fs::create_directory_symlink(installed + "/" + item, FRoot + "/" + item);
        FPort = FreeLocalPort();
        if (FPort == 0) return "no free local port";
        {
            std::ofstream conf(FRoot + "/firebird.conf");
            conf << "RemoteServicePort = " << FPort << "\n"
                 << "RemoteBindAddress = 127.0.0.1\n"
                 << "SecurityDatabase = " << FRoot << "/security3.fdb\n"
                 << "IpcName = qnltest" << FPort << "\n"
                 << "UdfAccess = None\n";
        }
        const std::string env = "FIREBIRD='" + FRoot + "' FIREBIRD_LOCK='" + lock + "' FIREBIRD_TMP='" + tmp + "' ";
        // The security database is made with the embedded engine, which needs no password.
        {
            std::ofstream sql(FDir.File("security.sql"));
            sql << "CREATE DATABASE '" << FRoot << "/security3.fdb';\n"
                << "CREATE OR ALTER USER SYSDBA PASSWORD '" << Password << "' USING PLUGIN Srp;\n"
                << "COMMIT;\n";
        }
        const std::string log = FDir.File("isql.log");
        if (std::system((env + "isql-fb -q -b -user SYSDBA -i '" + FDir.File("security.sql") + "' >'" + log + "' 2>&1").c_str()) != 0)
            return "cannot make the security database: " + ReadFile(log);

        FLog = FDir.File("server.log");
        // Everything the child needs is made before the fork: it only redirects and execs.
        std::vector<std::string> vars = {"FIREBIRD=" + FRoot, "FIREBIRD_LOCK=" + lock, "FIREBIRD_TMP=" + tmp};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "FIREBIRD", 8) != 0) vars.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        const int out = open(FLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const pid_t parent = getpid();
        FPid = fork();
        if (FPid == 0) {
            // The server goes with the test process even when that one dies without cleaning up.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(1);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            execle(ServerBinary, ServerBinary, static_cast<char*>(nullptr), envp.data());
            _exit(127);
        }
        if (out >= 0) close(out);
        if (FPid < 0) return "cannot fork";
        for (int i = 0; i < 200; ++i) {
            if (PortAccepts(FPort)) return {};
            int status;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return "the server stopped at once: " + ReadFile(FLog);
            }
            std::this_thread::sleep_for(50ms);
        }
        return "the server does not listen: " + ReadFile(FLog);
    }

    void Stop() {
        if (FPid <= 0) return;
        kill(FPid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
                FPid = -1;
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

    std::string Connection(const std::string& Path) const { return "127.0.0.1/" + std::to_string(FPort) + ":" + Path; }

private:
    test::TempDir FDir;
    std::string FRoot;
    std::string FLog;
    int FPort = 0;
    pid_t FPid = -1;
};

TEST(FIBDatabaseServerTest, PasswordCheckAndRemoteFacts) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);", "UTF8");
    TLocalServer server;
    const std::string why = server.Start();
    if (!why.empty()) GTEST_SKIP() << "a local Firebird server cannot run here: " << why;

    TFIBDatabase db;
    db.SetName("RemoteDB");
    db.SynchronizeTime = false;
    db.SetDBName(server.Connection(file.Path()));
    db.ConnectParams().SetUserName("SYSDBA");
    db.ConnectParams().SetPassword("wrong");
    db.ConnectParams().SetCharSet("UTF8");
    try {
        db.Connect();
        FAIL() << "a wrong password was accepted";
    } catch (const EFIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Your user name and password are not defined. Ask your database "
                                             "administrator to set up a Firebird login."),
                  std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(db.Connected());

    db.ConnectParams().SetPassword(Password);
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
