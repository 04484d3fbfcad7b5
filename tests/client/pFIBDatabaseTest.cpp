// The extended database and transaction over real databases of the embedded engine, with the
// registry in a temporary file.
#include "client/pFIBDatabase.h"

#include "client/FIBQuery.h"
#include "client/RegUtils.h"
#include "fixtures/FbFixture.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

// Points the registry at a file in a temporary folder while it lives.
class TempRegistry {
public:
    TempRegistry() { setenv("QNL_REGISTRY_FILE", FDir.File("registry.ini").c_str(), 1); }
    ~TempRegistry() { unsetenv("QNL_REGISTRY_FILE"); }

private:
    test::TempDir FDir;
};

std::unique_ptr<TpFIBDatabase> MakeDatabase(const std::string& Path) {
    auto db = std::make_unique<TpFIBDatabase>();
    db->SetName("DB");
    db->SetDBName(Path);
    db->ConnectParams().SetUserName("SYSDBA");
    db->SynchronizeTime = false;
    return db;
}

class pFIBDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareFirebirdEnvironment(); }
    TempRegistry Registry;
};

TEST_F(pFIBDatabaseTest, AliasRoundTripsThroughTheRegistry) {
    test::TempDatabase file("", "UTF8");
    {
        auto db = MakeDatabase(file.Path());
        db->SetAliasName("Main");   // not stored yet: nothing changes
        EXPECT_EQ(db->DBName(), file.Path());
        db->ConnectParams().SetCharSet("UTF8");
        db->ConnectParams().SetRoleName("READER");
        db->SetSQLDialect(3);
        db->Connect();   // saves the alias after connecting
        ASSERT_TRUE(db->Connected());
        EXPECT_THROW(db->SetAliasName("Other"), EFIBClientError);
    }
    const Variant stored = ReadRegistryValuesHKCU(AliasKeyPath("Main"), {"SQL_DIALECT", "CLIENT_LIB"});
    ASSERT_TRUE(stored.IsArray());
    EXPECT_EQ(stored.GetElement({0, 0}).VarType(), varString);
    EXPECT_EQ(stored.GetElement({0, 0}).AsString(), "3");
    EXPECT_EQ(stored.GetElement({0, 1}).AsString(), "libfbclient.so.2");

    TpFIBDatabase other;
    other.SynchronizeTime = false;
    other.SetAliasName("main");   // key names ignore case, as the registry's do
    EXPECT_EQ(other.DBName(), file.Path());
    EXPECT_EQ(other.ReadDBParam(dpbUserName), "SYSDBA");
    EXPECT_EQ(other.ReadDBParam(dpbLcCtype), "UTF8");
    EXPECT_EQ(other.ReadDBParam(dpbSqlRoleName), "READER");
    EXPECT_EQ(other.SQLDialect(), 3);
    other.Connect();
    EXPECT_TRUE(other.Connected());
}

TEST_F(pFIBDatabaseTest, AliasWithoutDatabaseNameAnswersFalseButAppliesTheRest) {
    WriteRegistryValuesHKCU(AliasKeyPath("Partial"), {"user_name", "SQL_DIALECT", "CLIENT_LIB"},
                            {Variant("ALICE"), Variant("1"), Variant("libother.so")});
    TpFIBDatabase db;
    db.SetDBName("kept.fdb");
    db.SetAliasName("Partial");
    EXPECT_FALSE(db.LoadAliasParams());
    EXPECT_EQ(db.DBName(), "kept.fdb");
    EXPECT_EQ(db.ReadDBParam(dpbUserName), "ALICE");
    EXPECT_EQ(db.SQLDialect(), 1);
    EXPECT_EQ(db.LibraryName(), "libother.so");

    WriteRegistryValuesHKCU(AliasKeyPath("Broken"), {"SQL_DIALECT"}, {Variant("three")});
    EXPECT_THROW(db.SetAliasName("Broken"), Exception);
}

TEST_F(pFIBDatabaseTest, LoginEventCanCancelTheConnectSilently) {
    test::TempDatabase file("", "UTF8");
    auto db = MakeDatabase(file.Path());
    std::string seenUser;
    db->BeforeConnect = [&](TFIBDatabase*, TStringList& Params, bool& DoConnect) {
        seenUser = Params.Values("user_name");
        DoConnect = false;
    };
    EXPECT_NO_THROW(db->Connect());
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(seenUser, "SYSDBA");
}

// The transaction's own row in the monitoring tables tells the parameters the server got.
std::string MonitoredTransaction(TFIBDatabase& Db, TpFIBTransaction& Tr) {
    TFIBQuery q;
    q.SetDatabase(&Db);
    q.SetTransaction(&Tr);
    q.SQL().SetText("select MON$ISOLATION_MODE, MON$LOCK_TIMEOUT, MON$READ_ONLY from MON$TRANSACTIONS "
                    "where MON$TRANSACTION_ID = CURRENT_TRANSACTION");
    q.ExecQuery();
    std::string row;
    for (int i = 0; i < 3; ++i) row += (i ? "," : "") + std::to_string(q.Fields().GetVar(i).GetAsInt64());
    q.Close();
    return row;
}

TEST_F(pFIBDatabaseTest, TPBModesReachTheServer) {
    test::TempDatabase file("", "UTF8");
    auto db = MakeDatabase(file.Path());
    db->Connect();
    struct Case {
        TTPBMode Mode;
        const char* Before;   // TRParams before the start
        const char* Lines;    // TRParams after it
        const char* Monitored;   // isolation mode, lock timeout, read-only
    } cases[] = {
        {tpbReadCommitted, "read\r\nconsistency\r\n", "write|isc_tpb_nowait|read_committed|rec_version", "2,0,0"},
        {tpbRepeatableRead, "", "write|isc_tpb_nowait|concurrency", "1,0,0"},
        {tpbDefault, "read\r\nconsistency\r\nwait\r\n", "read|consistency|wait", "0,-1,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Lines);
        TpFIBTransaction tr;
        tr.SetDefaultDatabase(db.get());
        tr.TPBMode = c.Mode;
        tr.TRParams().SetText(c.Before);
        tr.StartTransaction();
        std::string lines;
        for (int i = 0; i < tr.TRParams().Count(); ++i) lines += (i ? "|" : "") + tr.TRParams()[i];
        EXPECT_EQ(lines, c.Lines);
        EXPECT_EQ(MonitoredTransaction(*db, tr), c.Monitored);
        tr.Commit();
    }
}

TEST_F(pFIBDatabaseTest, TransactionKindTakesItsParametersFromTheRegistry) {
    std::vector<std::string> path = TransactionKindsKeyPath();
    path.push_back("K1");
    WriteRegistryValuesHKCU(path, {"Name", "Params"}, {Variant("Snapshot"), Variant("read\r\nconcurrency\r\n")});
    path.back() = "K2";
    WriteRegistryValuesHKCU(path, {"Name"}, {Variant("NoParams")});
    TpFIBTransaction tr;
    tr.SetUserKindTransaction("NoParams");
    EXPECT_EQ(tr.TPBMode, tpbReadCommitted);
    tr.SetUserKindTransaction("Snapshot");
    EXPECT_EQ(tr.TPBMode, tpbDefault);
    EXPECT_EQ(tr.TRParams().Text(), "read\r\nconcurrency\r\n");
    EXPECT_EQ(tr.UserKindTransaction(), "Snapshot");
}

TEST_F(pFIBDatabaseTest, TransactionEventsOfBothObjectsInOrder) {
    test::TempDatabase file("", "UTF8");
    auto db = MakeDatabase(file.Path());
    std::vector<std::string> log;
    db->BeforeStartTransaction = [&](TObject*) { log.push_back("db.BeforeStart"); };
    db->AfterStartTransaction = [&](TObject*) { log.push_back("db.AfterStart"); };
    db->BeforeEndTransaction = [&](TFIBTransaction*, TTransactionAction A, bool) {
        log.push_back("db.BeforeEnd" + std::to_string(A));
    };
    db->AfterEndTransaction = [&](TFIBTransaction*, TTransactionAction A, bool) {
        log.push_back("db.AfterEnd" + std::to_string(A));
    };
    db->Connect();
    TpFIBTransaction tr;
    tr.SetDefaultDatabase(db.get());
    tr.BeforeStart = [&](TObject*) { log.push_back("BeforeStart"); };
    tr.AfterStart = [&](TObject*) { log.push_back(std::string("AfterStart") + (tr.Active() ? "+" : "-")); };
    tr.BeforeEnd = [&](TFIBTransaction*, TTransactionAction, bool) { log.push_back("BeforeEnd"); };
    tr.AfterEnd = [&](TFIBTransaction*, TTransactionAction, bool) {
        log.push_back(std::string("AfterEnd") + (tr.Active() ? "+" : "-"));
    };
    tr.BeforeSQLExecute = [&](TFIBQuery* Q, TFIBSQLTypes) { log.push_back("BeforeSQL " + Q->Name()); };
    tr.AfterSQLExecute = [&](TFIBQuery*, TFIBSQLTypes T) { log.push_back("AfterSQL" + std::to_string(T)); };
    tr.StartTransaction();
    tr.StartTransaction();   // active: nothing
    {
        TFIBQuery q;
        q.SetName("Q");
        q.SetDatabase(db.get());
        q.SetTransaction(&tr);
        q.SQL().SetText("select 1 from RDB$DATABASE");
        q.ExecQuery();
        q.Close();
    }
    tr.Commit();
    const std::string select = std::to_string(SQLSelect);
    const std::vector<std::string> expected = {
        "db.BeforeStart", "BeforeStart", "AfterStart+", "db.AfterStart", "BeforeSQL Q", "AfterSQL" + select,
        "db.BeforeEnd2",  "BeforeEnd",   "AfterEnd-",   "db.AfterEnd2"};
    EXPECT_EQ(log, expected);
}

// Another attachment kills this database's attachment through the monitoring tables: the next
// call fails, the lost-connection event fires, and the restore timer attaches again.
TEST_F(pFIBDatabaseTest, KilledAttachmentIsRestoredByTheTimer) {
    test::TempDatabase file("", "UTF8");
    auto db = MakeDatabase(file.Path());
    db->SetWaitForRestoreConnect(20);
    int lost = 0, restored = 0;
    std::string lostMessage;
    db->OnLostConnect = [&](TFIBDatabase*, const EFIBError& E, TOnLostConnectActions& Action, bool&) {
        ++lost;
        lostMessage = E.what();
        EXPECT_EQ(Action, TOnLostConnectActions::laWaitRestore);
    };
    db->AfterRestoreConnect = [&](TFIBDatabase*) { ++restored; };
    db->Connect();
    TpFIBTransaction tr;
    tr.SetDefaultDatabase(db.get());
    tr.StartTransaction();
    const int32_t oldId = db->GetAttachmentID();
    isc_db_handle oldHandle = db->Handle();

    TFIBDatabase killer;
    killer.SetDBName(file.Path());
    killer.ConnectParams().SetUserName("SYSDBA");
    killer.SynchronizeTime = false;
    killer.Connect();
    killer.QueryValue("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = " + std::to_string(oldId), -1);

    EXPECT_THROW(db->QueryValue("select 1 from RDB$DATABASE", 0, {}, &tr), EFIBError);
    EXPECT_EQ(lost, 1);
    EXPECT_NE(lostMessage.find("shutdown"), std::string::npos) << lostMessage;
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(db->LostConnectState(), 2);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (restored == 0 && std::chrono::steady_clock::now() < deadline) PumpMainThread(10);
    ASSERT_EQ(restored, 1);
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->LostConnectState(), 0);
    EXPECT_NE(db->GetAttachmentID(), oldId);
    EXPECT_EQ(db->QueryValue("select 1 from RDB$DATABASE", 0).AsInt64(), 1);
    // The lost attachment was detached, not just forgotten: the client library knows its handle
    // no more.
    ASSERT_NE(oldHandle, db->Handle());
    const char item[] = {isc_info_attachment_id, isc_info_end};
    char answer[16] = {};
    ISC_STATUS_ARRAY status = {};
    db->ClientLibrary()->isc_database_info(status, &oldHandle, sizeof item, item, sizeof answer, answer);
    EXPECT_EQ(status[1], isc_bad_db_handle);
}

} // namespace
} // namespace qnl
