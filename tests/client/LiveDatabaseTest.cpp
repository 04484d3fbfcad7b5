// The binding, the parameter blocks and the status-vector errors against the real client library
// and real databases of the embedded engine.
#include "client/fib.h"

#include "fixtures/FbFixture.h"
#include "tests/client/LiveAttachment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <cstring>
#include <memory>

namespace qnl {
namespace {

class TNamed : public TComponent {
public:
    TNamed(TComponent* Owner, const char* Name) : TComponent(Owner) { SetName(Name); }
};

// One attachment, with a transaction for queries, that also reads database info items.
class TAttachment : public test::TLiveAttachment {
public:
    using TLiveAttachment::TLiveAttachment;

    // isc_database_info of one numeric item.
    int64_t DatabaseInfo(char Item) {
        char items[] = {Item, isc_info_end};
        char result[64] = {};
        Check(FLib.isc_database_info(ThreadStatusVector(), &FDb, static_cast<short>(sizeof items), items,
                                     static_cast<short>(sizeof result), result));
        EXPECT_EQ(Item, result[0]);
        auto length = static_cast<short>(FLib.isc_vax_integer(result + 1, static_cast<short>(2)));
        return FLib.isc_vax_integer(result + 3, length);
    }
};

TStringList Lines(std::initializer_list<const char*> Items) {
    TStringList list;
    for (const char* s : Items) list.Add(s);
    return list;
}

class LiveDatabase : public ::testing::Test {
protected:
    void SetUp() override { test::PrepareFirebirdEnvironment(); }
    IIBClientLibraryPtr Lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
};

TEST_F(LiveDatabase, AttachingAMissingFileRaisesTheServersError) {
    test::TempDir dir;
    std::string path = dir.File("missing.fdb");
    TNamed form(nullptr, "Form1");
    TNamed database(&form, "Database1");
    try {
        TAttachment db(*Lib, path, Lines({"user_name=SYSDBA"}), &database);
        FAIL() << "attached a missing file";
    } catch (const EFIBInterBaseError& e) {
        EXPECT_EQ(isc_io_error, e.IBErrorCode());
        EXPECT_EQ(-902, e.SQLCode());
        // One line per interpreted message, each ending in "." and a line break.
        EXPECT_NE(e.IBMessage().find("I/O error"), std::string::npos) << e.IBMessage();
        EXPECT_NE(e.IBMessage().find(path), std::string::npos) << e.IBMessage();
        EXPECT_EQ(".\r\n", e.IBMessage().substr(e.IBMessage().size() - 3));
        EXPECT_FALSE(e.SQLMessage().empty());
        const std::string text = e.what();
        EXPECT_EQ(0u, text.find("Form1.Database1:\r\n" + e.SQLMessage() + e.IBMessage())) << text;
    }
}

// The embedded engine in its default mode shares one page cache and ignores the buffers an
// attachment asks for; in classic mode every attachment gets the cache its DPB asks for. The
// engine reads its mode at start-up, so this test runs itself again in a child process whose
// engine root is a copy of the installed one in classic mode.
TEST(LiveDatabaseClassic, DatabaseBlockFromLinesTakesEffect) {
    namespace fs = std::filesystem;
    if (!std::getenv("QNL_TEST_CLASSIC_CHILD")) {
        test::TempDir root;
        const fs::path installed = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
        ASSERT_TRUE(fs::exists(installed / "firebird.msg"));
        for (const fs::directory_entry& entry : fs::directory_iterator(installed))
            if (entry.path().filename() != "firebird.conf")
                fs::create_symlink(entry.path(), fs::path(root.Path()) / entry.path().filename());
        {
            std::ifstream in(installed / "firebird.conf");
            std::ofstream out(root.File("firebird.conf"));
            out << in.rdbuf() << "\nServerMode = Classic\n";
        }
        std::string command = "FIREBIRD='" + root.Path() + "' QNL_TEST_CLASSIC_CHILD=1 '" +
                              fs::read_symlink("/proc/self/exe").string() +
                              "' --gtest_filter=LiveDatabaseClassic.DatabaseBlockFromLinesTakesEffect 2>&1";
        FILE* child = popen(command.c_str(), "r");
        ASSERT_NE(nullptr, child);
        std::string output;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, child)) > 0;) output.append(buffer, n);
        int status = pclose(child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    test::PrepareFirebirdEnvironment();
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    test::TempDatabase fixture("CREATE TABLE T (ID INTEGER);");
    TAttachment db(*lib, fixture.Path(),
                   Lines({"user_name=SYSDBA", "sql_dialect=3", "lc_ctype=UTF8", "num_buffers=300"}));
    // One byte would have asked for 44 buffers.
    EXPECT_EQ(300, db.DatabaseInfo(isc_info_num_buffers));
    EXPECT_EQ(3, db.DatabaseInfo(isc_info_db_sql_dialect));
    // UTF8 is character set 4.
    EXPECT_EQ(4, db.QueryInt("SELECT MON$CHARACTER_SET_ID FROM MON$ATTACHMENTS "
                             "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION"));
}

TEST_F(LiveDatabase, TransactionBlockFromLinesTakesEffect) {
    test::TempDatabase fixture("CREATE TABLE T (ID INTEGER);");
    TAttachment db(*Lib, fixture.Path(), Lines({"user_name=SYSDBA"}));
    db.StartTransaction(Lines({"read", "concurrency", "wait", "lock_timeout=7"}));
    // Isolation 1 is snapshot (concurrency).
    EXPECT_EQ(7, db.QueryInt("SELECT MON$LOCK_TIMEOUT FROM MON$TRANSACTIONS "
                             "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION"));
    EXPECT_EQ(1, db.QueryInt("SELECT MON$ISOLATION_MODE FROM MON$TRANSACTIONS "
                             "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION"));
    EXPECT_EQ(1, db.QueryInt("SELECT MON$READ_ONLY FROM MON$TRANSACTIONS "
                             "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION"));
}

} // namespace
} // namespace qnl
