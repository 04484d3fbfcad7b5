// The SQL trace channel against a monitor in another process (sqlmonitor_reader), which reads
// the shared block at its documented offsets. The channel has a name of this test program's
// own, so test programs running side by side never meet on it.
#include "client/FIBSQLMonitor.h"

#include "client/FIBDatabase.h"
#include "client/FIBQuery.h"
#include "client/IB_Services.h"
#include "client/fib.h"
#include "fixtures/FbFixture.h"
#include "monitor/MonitorProcess.h"
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qnl {
namespace {

using namespace std::chrono_literals;

using test::Header;
using test::TMessage;
using test::TMonitorProcess;
using test::TPiece;

class FIBSQLMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Channel = "qnl-trace-test-" + std::to_string(getpid());
        SetMonitorChannelName(Channel);
    }
    static void TearDownTestSuite() {
        SetMonitorChannelName("FIB.SQL.MONITOR");
        shm_unlink(TSQLMonitorChannel::BlockObjectName(Channel).c_str());
        shm_unlink(TSQLMonitorChannel::SyncObjectName(Channel).c_str());
    }
    void TearDown() override {
        if (TFIBSQLMonitorHook* hook = MonitorHook()) hook->SetEnabled(true);
    }

    // Starts a reading monitor and waits until it is registered.
    static std::unique_ptr<TMonitorProcess> StartReader() {
        auto monitor = std::make_unique<TMonitorProcess>(Channel, "read");
        std::string line;
        EXPECT_TRUE(monitor->ReadLine(line, 10s) && line == "READY") << line;
        return monitor;
    }

    static std::string Channel;
};

std::string FIBSQLMonitorTest::Channel;

TEST_F(FIBSQLMonitorTest, SharedObjectsAreTheOwnersAlone) {
    ASSERT_NE(MonitorHook(), nullptr);
    ASSERT_TRUE(MonitorHook()->ChannelOpen());
    for (const std::string& name :
         {TSQLMonitorChannel::BlockObjectName(Channel), TSQLMonitorChannel::SyncObjectName(Channel)}) {
        struct stat st{};
        ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
        EXPECT_EQ(st.st_uid, geteuid()) << name;
    }
    // Objects of the name that others may open are refused, never used.
    const std::string open = "qnl-trace-open-" + std::to_string(getpid());
    const int fd = shm_open(TSQLMonitorChannel::SyncObjectName(open).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, 0644), 0);
    close(fd);
    try {
        TSQLMonitorChannel channel(open);
        ADD_FAILURE() << "a channel others can read was used";
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(std::string(e.what()), FormatMessage(ClientErrorMessage(cecCannotCreateSharedResource), {EACCES}));
    }
    shm_unlink(TSQLMonitorChannel::SyncObjectName(open).c_str());
}

TEST_F(FIBSQLMonitorTest, WithoutAMonitorNothingIsBuiltQueuedOrStarted) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase file("CREATE TABLE T (ID INTEGER); INSERT INTO T VALUES (1);");
    TFIBSQLMonitorHook* hook = MonitorHook();
    ASSERT_TRUE(hook->ChannelOpen());
    ASSERT_EQ(hook->MonitorCount(), 0);
    EXPECT_FALSE(MonitoringWanted());
    TFIBDatabase db;
    db.SetName("DB");
    db.SetDBName(file.Path());
    db.ConnectParams().SetUserName("SYSDBA");
    db.Open();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    TFIBQuery q;
    q.SetDatabase(&db);
    q.SetTransaction(&tr);
    q.SQL().SetText("SELECT ID FROM T");
    q.ExecQuery();
    while (q.Next()) {
    }
    tr.Commit();
    db.Close();
    EXPECT_FALSE(hook->WriterRunning());
    EXPECT_EQ(hook->QueuedCount(), 0u);
}

TEST_F(FIBSQLMonitorTest, LongMessagesArriveInPiecesAndControlCharactersEscaped) {
    auto monitor = StartReader();
    TFIBSQLMonitorHook* hook = MonitorHook();
    ASSERT_EQ(hook->MonitorCount(), 1);
    ASSERT_TRUE(MonitoringWanted());
    std::string text(4500 - Header.size(), 'x');
    text.replace(text.size() - 3, 3, "END");
    const double before = Now();
    hook->WriteSQLData(text, tcExecute);
    hook->WriteSQLData(std::string("a\x07" "b\tc\nd\re\x1f\x0b", 11), tcService);
    std::vector<TPiece> pieces(3);
    for (TPiece& piece : pieces) ASSERT_TRUE(monitor->NextPiece(piece, 20s));
    const size_t lengths[] = {2002, 2002, 496};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pieces[i].Text.size(), lengths[i]) << i;
        EXPECT_EQ(pieces[i].Category, tcExecute) << i;
        EXPECT_EQ(pieces[i].Flag, 1) << i;
        EXPECT_GE(pieces[i].Stamp, before - 1.0 / 86400) << i;
        EXPECT_LE(pieces[i].Stamp, Now()) << i;
    }
    EXPECT_EQ(pieces[0].Text + pieces[1].Text + pieces[2].Text, Header + text);
    TPiece escaped;
    ASSERT_TRUE(monitor->NextPiece(escaped, 20s));
    EXPECT_EQ(escaped.Category, tcService);
    EXPECT_EQ(escaped.Text, Header + "a#$07b\tc\nd\re#$1F#$0B");
}

TEST_F(FIBSQLMonitorTest, TheDataAccessLayerTracesEveryStep) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase file(
        "CREATE TABLE T (ID INTEGER, NAME VARCHAR(20), NOTE VARCHAR(10), BODY BLOB SUB_TYPE TEXT);"
        "INSERT INTO T (ID) VALUES (7);");
    auto monitor = StartReader();
    TFIBDatabase db;
    db.SetName("DB");
    db.SetDBName(file.Path());
    db.ConnectParams().SetUserName("SYSDBA");
    db.SetSQLDialect(3);
    db.SynchronizeTime = false;   // its query of the server's time would be traced too
    db.Open();
    TFIBTransaction tr;
    tr.SetName("TR");
    tr.SetDefaultDatabase(&db);
    tr.StartTransaction();
    const std::string id = std::to_string(tr.GetTransactionID());
    TFIBSQLMonitorHook* hook = MonitorHook();
    hook->TraceSavepoint(tr, "SP1", 0);
    hook->TraceSavepoint(tr, "SP1", 1);
    hook->TraceSavepoint(tr, "SP1", 2);

    TFIBQuery ins;
    ins.SetName("Q");
    ins.SetDatabase(&db);
    ins.SetTransaction(&tr);
    const std::string insert = "INSERT INTO T (ID, NAME, NOTE, BODY) VALUES (:ID, :NAME, :NOTE, :BODY)";
    ins.SQL().SetText(insert);
    ins.Prepare();
    ins.ParamByName("ID").SetAsInteger(1);
    ins.ParamByName("NAME").Clear();
    ins.ParamByName("NOTE").SetAsString("abc");
    ins.ParamByName("BODY").SetAsString("a blob");
    ins.ExecQuery();
    const ISC_QUAD blob = ins.ParamByName("BODY").GetAsQuad();
    const std::string executed = std::to_string(ins.ExecutionTime());

    TFIBQuery sel;
    sel.SetName("S");
    sel.SetDatabase(&db);
    sel.SetTransaction(&tr);
    sel.SQL().SetText("SELECT ID FROM T WHERE ID = 7");
    sel.ExecQuery();
    while (sel.Next()) {
    }

    TFIBQuery bad;
    bad.SetName("B");
    bad.SetDatabase(&db);
    bad.SetTransaction(&tr);
    bad.SQL().SetText("SELECT NOTHING FROM T");
    std::string badMessage;
    try {
        bad.Prepare();
    } catch (const EFIBError& e) {
        badMessage = e.what();
    }
    tr.Commit();

    // A transaction without a default database is not traced.
    TFIBTransaction silent;
    silent.SetName("SILENT");
    silent.AddDatabase(&db);
    silent.StartTransaction();
    silent.Commit();
    db.Close();

    const std::vector<TMessage> got = monitor->MessagesUntil("DB: [Disconnect]");
    const std::string blobId =
        std::to_string(blob.gds_quad_high) + "," + std::to_string(static_cast<uint32_t>(blob.gds_quad_low));
    // A statement's text ends with the line break of its last line.
    const std::string insertText = insert + "\r\n";
    const std::string select = "SELECT ID FROM T WHERE ID = 7\r\n";
    const std::vector<TMessage> expected = {
        {tcConnect, "DB: [Connect]"},
        {tcTransaction, "TR: [Start transaction](" + id + ")"},
        {tcTransaction, "TR: Transaction(" + id + ") - [SetSavePoint(\"SP1\")]"},
        {tcTransaction, "TR: Transaction(" + id + ") - [RollBackToSavePoint(\"SP1\")]"},
        {tcTransaction, "TR: Transaction(" + id + ") - [ReleaseSavePoint(\"SP1\")]"},
        {tcPrepare, "Q: [Prepare] " + insertText + "\r\n  Plan: "},
        {tcExecute, "Q: [Execute] " + insertText + "\r\n  ID = 1\r\n  NAME = <NULL>\r\n  NOTE = 'abc'\r\n  BODY = <BLOB> (BLOB_ID=" +
                        blobId + ")\r\nRows Affected:  1\r\nExecute tick count " + executed},
        {tcPrepare, "S: [Prepare] " + select + "\r\n  Plan: PLAN (T NATURAL)"},
        // The first row is fetched as part of the execute.
        {tcFetch, "\r\nS: [Fetch] " + select + "ID = 7\r\n"},
        {tcExecute, "S: [Execute] " + select + "\r\nExecute tick count " + std::to_string(sel.ExecutionTime())},
        {tcFetch, "\r\nS: [Fetch] " + select + "ID = 7\r\n\r\n  End of file reached"},
        {tcPrepare, "B: [Prepare] " + badMessage},
        {tcTransaction, "TR: [Commit (Hard commit)](" + id + ")"},
        {tcConnect, "DB: [Disconnect]"},
    };
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i].Text, expected[i].Text) << i;
        EXPECT_EQ(got[i].Category, expected[i].Category) << i;
    }
}

TEST_F(FIBSQLMonitorTest, ServicesReportUnderTheServiceCategory) {
    test::PrepareFirebirdEnvironment();
    auto monitor = StartReader();
    TpFIBCustomService svc;
    svc.SetName("Svc");
    svc.LoginPrompt = false;
    svc.Params().Add("user_name=SYSDBA");
    svc.Attach();
    // Query and start have no caller in the library; their texts are the hook's own.
    TFIBSQLMonitorHook* hook = MonitorHook();
    hook->TraceServiceQuery(svc);
    hook->TraceServiceStart(svc);
    svc.Detach();

    const std::vector<TMessage> got = monitor->MessagesUntil("Svc: [Detach]");
    const std::vector<std::string> expected = {"Svc: [Attach]", "Svc: [Query]", "Svc: [Start]", "Svc: [Detach]"};
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i].Text, expected[i]) << i;
        EXPECT_EQ(got[i].Category, tcService) << i;
    }
}

TEST_F(FIBSQLMonitorTest, AMonitorKilledHoldingTheMutexDoesNotHangTheProgram) {
    TFIBSQLMonitorHook* hook = MonitorHook();
    {
        TMonitorProcess holder(Channel, "hold");
        std::string line;
        ASSERT_TRUE(holder.ReadLine(line, 10s));
        ASSERT_EQ(line, "LOCKED");
        holder.End(SIGKILL);   // dies registered and holding the mutex
    }
    ASSERT_EQ(hook->MonitorCount(), 1);
    const auto start = std::chrono::steady_clock::now();
    hook->WriteSQLData("nobody reads this", tcExecute);
    hook->SetEnabled(false);   // waits for the writer to finish the queue
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(hook->MonitorCount(), 0);   // the dead monitor was dropped
    // and the writer took back the read event it set for itself: the next monitor's first piece
    // must wait for that monitor.
    TSQLMonitorChannel channel(Channel);
    EXPECT_FALSE(channel.WaitEvent(TMonitorEvent::Read, 0ms));

    // The mutex the dead monitor held serves the next one.
    hook->SetEnabled(true);
    auto monitor = StartReader();
    hook->WriteSQLData("after", tcExecute);
    const std::vector<TMessage> got = monitor->MessagesUntil("after");
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().Text, "after");
}

} // namespace
} // namespace qnl
