// The database and transaction objects over real databases of the embedded engine.
#include "client/FIBDatabase.h"

#include "ErrorText.h"
#include "TestLogger.h"
#include "fixtures/FbFixture.h"
#include "tests/client/ErrorText.h"
#include "tests/client/LiveAttachment.h"
#include "platform/Assertions.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl {
namespace {

using namespace std::chrono_literals;

class TNamed : public TComponent {
public:
    TNamed(TComponent* Owner, const char* Name) : TComponent(Owner) { SetName(Name); }
};

// A database object set up for an embedded attachment as SYSDBA.
std::unique_ptr<TFIBDatabase> MakeDatabase(TComponent* Owner, const char* Name, const std::string& Path,
                                           const std::string& CharSet = "UTF8") {
    auto db = std::make_unique<TFIBDatabase>(Owner);
    db->SetName(Name);
    db->SetDBName(Path);
    db->ConnectParams().SetUserName("SYSDBA");
    if (!CharSet.empty()) db->ConnectParams().SetCharSet(CharSet);
    db->SynchronizeTime = false;
    return db;
}

using test::ErrorText;

// The rows of a one-column query as isql-fb prints them (the database must be closed here).
std::string IsqlQuery(const std::string& Path, const std::string& Sql) {
    test::TempDir dir;
    const std::string script = dir.File("q.sql");
    {
        std::ofstream f(script);
        f << "SET HEADING OFF;\n" << Sql << ";\n";
    }
    std::string out;
    if (test::RunIsql("-q -user SYSDBA -i '" + script + "' '" + Path + "'", out) != 0)
        throw std::runtime_error("isql-fb failed:\n" + out);
    std::string rows;
    for (const std::string& line : SplitLines(out)) {
        const std::string t = Trim(line);
        if (!t.empty()) rows += (rows.empty() ? "" : ",") + t;
    }
    return rows;
}

class FIBDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareFirebirdEnvironment(); }
    TNamed Form{nullptr, "Form1"};
};

TEST_F(FIBDatabaseTest, ConnectReadsTheServerFacts) {
    test::TempDatabase file("", "UTF8");
    auto db = MakeDatabase(&Form, "DB1", file.Path());
    db->SetSQLDialect(3);
    db->Connect();
    ASSERT_TRUE(db->Connected());

    EXPECT_TRUE(db->IsFirebird());
    EXPECT_EQ(db->GetServerMajorVersion(), 3);
    EXPECT_EQ(db->GetServerMinorVersion(), 0);
    EXPECT_GT(db->GetServerBuild(), 0);
    EXPECT_EQ(db->GetODSMajorVersion(), 12);
    EXPECT_EQ(db->GetODSMinorVersion(), 0);
    EXPECT_EQ(db->GetDBSQLDialect(), 3);
    EXPECT_EQ(db->SQLDialect(), 3);
    EXPECT_EQ(db->GetAttachmentCharSetID(), 4);   // UTF8
    EXPECT_TRUE(db->UnicodeConnect());
    EXPECT_TRUE(db->UnicodeOrNone());
    EXPECT_FALSE(db->NoneCharSet());
    EXPECT_TRUE(db->IsFB21OrLater());
    EXPECT_TRUE(db->NeedUnicodeFieldTranslation());
    EXPECT_TRUE(db->IsUnicodeConnect());
    EXPECT_EQ(db->BytesPerCharacter(4), 4);
    EXPECT_FALSE(db->IsPreFirebird2Connect());
    EXPECT_FALSE(db->IsRemoteConnect());
    EXPECT_GT(db->GetAttachmentID(), 0);
    EXPECT_GT(db->GetPageSize(), 0);
    EXPECT_EQ(db->GetReadOnly(), 0);
    // The pair after the count byte: this platform's engine, not the count itself.
    EXPECT_EQ(db->GetImplementationNo(), isc_info_db_impl_linux_amd64);
    EXPECT_EQ(db->GetImplementationClass(), isc_info_db_class_access);
    EXPECT_NE(db->GetFirebirdVersionText().find("Firebird 3.0"), std::string::npos) << db->GetFirebirdVersionText();
    EXPECT_EQ(db->GetVersionText().substr(2, 2), "-V");

    db->Close();
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->GetAttachmentID(), -1);
}

TEST_F(FIBDatabaseTest, CharSetNoneAndDialectRules) {
    test::TempDatabase file("");
    auto db = MakeDatabase(&Form, "DB1", file.Path(), "NONE");
    db->Connect();
    EXPECT_TRUE(db->NoneCharSet());
    EXPECT_FALSE(db->UnicodeConnect());
    EXPECT_TRUE(db->UnicodeOrNone());
    // Dialect 1 asked of a dialect 3 database stays 1; 0 and more than the database's are refused.
    EXPECT_EQ(db->SQLDialect(), 1);
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->SetSQLDialect(0); }), "SQL Dialect invalid");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->SetSQLDialect(4); }), "SQL Dialect invalid");
    EXPECT_EQ(db->SQLDialect(), 1);
    db->SetSQLDialect(3);
    EXPECT_EQ(db->SQLDialect(), 3);
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->Connect(); }), "Cannot perform operation -- DB is currently open.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->SetDBName("other.fdb"); }),
              "Cannot perform operation -- DB is currently open.");
    EXPECT_EQ(db->DBName(), file.Path());
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->ConnectParams().SetCharSet("WIN1252"); }),
              "Cannot perform operation -- DB is currently open.");
    EXPECT_EQ(db->ConnectParams().CharSet(), "NONE");
    db->Close();
    db->ConnectParams().SetCharSet("UTF8");
    db->Connect();   // the parameter block is built again from the changed lines
    EXPECT_TRUE(db->UnicodeConnect());
    db->Close();
}

TEST_F(FIBDatabaseTest, FailedConnects) {
    test::TempDir dir;
    auto db = MakeDatabase(&Form, "DB1", dir.File("missing.fdb"));
    db->Connect(false);
    EXPECT_FALSE(db->Connected());
    const std::string text = ErrorText<EFIBInterBaseError>([&] { db->Connect(true); });
    EXPECT_NE(text.find("missing.fdb"), std::string::npos) << text;
    EXPECT_FALSE(db->Connected());

    // The name is checked before the client library is looked for.
    TFIBDatabase noName;
    noName.SetLibraryName("no-such-client-library.so");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { noName.Connect(false); }), "Database name is missing.");
    EXPECT_EQ(noName.ClientLibrary(), nullptr);

    // A statement needing a closed database.
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->CheckActive(); }),
              "Form1.DB1: Cannot perform operation -- DB is not open.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->CommitDefaultTransaction(); }),
              "Transaction not assigned for Form1.DB1.");

    // The login prompt without a dialog, and a dialog that cancels.
    db->UseLoginPrompt = true;
    EXPECT_EQ(ErrorText<Exception>([&] { db->Connect(); }),
              "Unable to find Database login dialog. Please, add ZUZUVOrevaDuz into USES statement of your project.");
    DatabaseLoginDialog = [](const std::string&, std::string&, std::string&, std::string&) { return false; };
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { db->Connect(); }), "Operation cancelled at user's request.");
    DatabaseLoginDialog = nullptr;
}

TEST_F(FIBDatabaseTest, LoginDialogAnswersAreWrittenBackAndUsed) {
    test::TempDatabase file("");
    auto db = MakeDatabase(&Form, "DB1", file.Path());
    db->DBParams().Add("isc_dpb_user_name=NOBODY");
    db->DBParams().Delete(db->DBParams().IndexOf("user_name=SYSDBA"));
    db->DBParams().Add("password_enc=ENC");   // another item whose name begins like one asked for
    db->UseLoginPrompt = true;
    std::string seenUser;
    DatabaseLoginDialog = [&](const std::string& Name, std::string& User, std::string& Password, std::string& Role) {
        EXPECT_EQ(Name, file.Path());
        seenUser = User;
        User = "SYSDBA";
        Password = "x";
        Role = "";
        return true;
    };
    db->Connect();
    DatabaseLoginDialog = nullptr;
    EXPECT_EQ(seenUser, "NOBODY");
    EXPECT_EQ(db->ReadDBParam(dpbUserName), "SYSDBA");
    EXPECT_EQ(db->ReadDBParam(dpbPassword), "x");
    EXPECT_NE(db->DBParams().IndexOf("password_enc=ENC"), -1);
    EXPECT_TRUE(db->Connected());
    db->Close();
}

TEST_F(FIBDatabaseTest, CreateAndDropDatabase) {
    test::TempDir dir;
    // A quote in the name must reach the server doubled inside the literal.
    const std::string path = dir.File("it's new.fdb");
    auto db = MakeDatabase(&Form, "DB1", path, "");
    db->DBParams().Clear();
    db->DBParams().SetText("USER 'SYSDBA' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252");
    db->CreateDatabase();
    ASSERT_TRUE(db->Connected());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(db->IsFirebird());
    EXPECT_EQ(db->GetDBSQLDialect(), 1);   // created in the database object's dialect
    EXPECT_EQ(db->GetPageSize(), 8192);
    db->Close();

    // Dialect 1 on the server lowers a wish for 3.
    db->DBParams().Clear();
    db->ConnectParams().SetUserName("SYSDBA");
    db->SetSQLDialect(3);
    db->Connect();
    EXPECT_EQ(db->SQLDialect(), 1);
    db->DropDatabase();
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FIBDatabaseTest, VersionTexts) {
    struct Case {
        const char* Text;
        int Numbers[4];
    } cases[] = {
        {"WI-V2.5.2.26540 Firebird 2.5", {2, 5, 2, 26540}},
        {"LI-V3.0.11.33703", {3, 0, 11, 33703}},   // the last number ends the text
        {"WI-V6.5", {6, 5, 0, 0}},
        {"LI-", {0, 0, 0, 0}},
        {"XX-V1..7.8.9", {1, 0, 7, 8}},
    };
    for (const Case& c : cases) {
        int numbers[4];
        ParseServerVersion(c.Text, numbers);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(numbers[i], c.Numbers[i]) << c.Text << " #" << i;
    }
}

TEST_F(FIBDatabaseTest, DBParamsByCode) {
    TFIBDatabase db;
    db.DBParams().SetText("isc_dpb_user_name=ALICE\r\nlc_ctype=WIN1252\r\n");
    EXPECT_EQ(db.ReadDBParam(28), "ALICE");
    EXPECT_EQ(db.ReadDBParam(48), "WIN1252");
    EXPECT_EQ(db.ReadDBParam(29), "");
    EXPECT_EQ(db.ReadDBParam(0), "");
    db.WriteDBParam(29, "secret");
    db.WriteDBParam(48, "");
    EXPECT_EQ(db.DBParams().Text(), "isc_dpb_user_name=ALICE\r\npassword=secret\r\n");
    EXPECT_EQ(db.ConnectParams().Password(), "secret");
    EXPECT_FALSE(db.IsUnicodeConnect());
    EXPECT_TRUE(db.IsUnicodeOrNoneCharSet());
}

// --- Transactions ---------------------------------------------------------------------------

class TransactionTest : public FIBDatabaseTest {
protected:
    static constexpr const char* Ddl = "CREATE TABLE T (ID INTEGER);";
    test::TempDatabase File1{Ddl};
    test::TempDatabase File2{Ddl};
    std::unique_ptr<TFIBDatabase> Db1 = MakeDatabase(&Form, "DB1", File1.Path());
    std::unique_ptr<TFIBDatabase> Db2 = MakeDatabase(&Form, "DB2", File2.Path());

    void CloseAll() {
        Db1->Close();
        Db2->Close();
    }
};

TEST_F(TransactionTest, OneTransactionOverTwoDatabases) {
    Db1->Connect();
    Db2->Connect();
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    tr.SetDefaultDatabase(Db1.get());
    EXPECT_EQ(tr.AddDatabase(Db2.get()), 1);
    EXPECT_NE(Db2->FindTransaction(&tr), -1);
    tr.TRParams().SetText("write\nconcurrency\nnowait");

    for (int round = 0; round < 2; ++round) {
        tr.StartTransaction();
        ASSERT_TRUE(tr.Active());
        EXPECT_GT(tr.GetTransactionID(), 0);
        EXPECT_EQ(Db1->ActiveTransactionCount(), 1);
        EXPECT_EQ(Db1->FindActiveTransaction(), &tr);
        EXPECT_EQ(Db2->FindActiveTransaction(), nullptr);   // two databases, another default
        const std::string insert = "INSERT INTO T VALUES (" + std::to_string(round + 1) + ")";
        tr.ExecSQLImmediate(insert);
        ASSERT_EQ(Db2->ClientLibrary()->isc_dsql_execute_immediate(
                      ThreadStatusVector(), Db2->HandleAddress(), tr.HandleAddress(), static_cast<unsigned short>(0),
                      insert.c_str(), static_cast<unsigned short>(3), nullptr),
                  0);
        if (round == 0) tr.Commit();
        else tr.Rollback();
        EXPECT_FALSE(tr.Active());
        EXPECT_EQ(tr.GetTransactionID(), 0);
    }
    CloseAll();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "1");
    EXPECT_EQ(IsqlQuery(File2.Path(), "SELECT ID FROM T"), "1");
}

TEST_F(TransactionTest, RetainingEndsKeepTheTransaction) {
    Db1->Connect();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Db1.get());
    tr.StartTransaction();
    const isc_tr_handle handle = tr.Handle();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (7)");
    tr.CommitRetaining();
    EXPECT_TRUE(tr.Active());
    EXPECT_EQ(tr.Handle(), handle);
    EXPECT_EQ(tr.State(), 0);
    tr.ExecSQLImmediate("INSERT INTO T VALUES (8)");
    tr.RollbackRetaining();
    EXPECT_TRUE(tr.Active());
    tr.Rollback();
    CloseAll();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "7");
}

TEST_F(TransactionTest, ErrorTexts) {
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.StartTransaction(); }),
              "Form1.Tr1 :No databases are listed in transaction component.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.Commit(); }), "Form1.Tr1 :Transaction is not active.");
    tr.SetDefaultDatabase(Db1.get());
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.StartTransaction(); }),
              "Form1.DB1: Cannot perform operation -- DB is not open.");
    Db1->Connect();
    tr.StartTransaction();
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.StartTransaction(); }), "Form1.Tr1 :Transaction is active.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.SetDefaultDatabase(Db2.get()); }),
              "Form1.Tr1 :Transaction is active.");
    const std::string text = ErrorText<EFIBInterBaseError>([&] { tr.ExecSQLImmediate("INSERT INTO NOPE VALUES (1)"); });
    EXPECT_NE(text.find("Table unknown"), std::string::npos) << text;
    EXPECT_TRUE(tr.Active());
    tr.Rollback();

    Db2->SetLibraryName("libfbclient.so");
    EXPECT_EQ(ErrorText<Exception>([&] { tr.AddDatabase(Db2.get()); }),
              "Form1.Tr1.\r\nTransaction can't work with different client library.");
    EXPECT_THROW(tr.AddEvent({}, tekBeforeEnd), EAssertionFailed);
    EXPECT_THROW(tr.AddEndEvent({}, tekDestroy), EAssertionFailed);
    CloseAll();
}

TEST_F(TransactionTest, EmptyParamsAndReadOnly) {
    Db1->Connect();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Db1.get());
    tr.StartTransaction();   // server defaults
    tr.ExecSQLImmediate("INSERT INTO T VALUES (1)");
    tr.Commit();
    tr.TRParams().SetText("read\nread_committed");
    EXPECT_TRUE(tr.IsReadOnly());
    tr.StartTransaction();
    EXPECT_THROW(tr.ExecSQLImmediate("INSERT INTO T VALUES (2)"), EFIBInterBaseError);
    tr.Rollback();
    CloseAll();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "1");
}

// Pumps the main loop until Done or the time is up.
template <class Pred>
bool PumpUntil(Pred Done, std::chrono::milliseconds Limit) {
    const auto end = std::chrono::steady_clock::now() + Limit;
    while (!Done() && std::chrono::steady_clock::now() < end) PumpMainThread(20);
    return Done();
}

TEST_F(TransactionTest, IdleTimeoutEndsTheTransaction) {
    Db1->Connect();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Db1.get());
    tr.TimeoutAction = TACommit;
    tr.SetTimeout(200);
    int timeouts = 0;
    tr.OnTimeout = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &tr);
        ++timeouts;
    };
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (5)");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return !tr.Active(); }, 3s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 190ms);
    EXPECT_LT(elapsed, 2000ms);   // two intervals, with room for a loaded machine
    EXPECT_EQ(timeouts, 1);

    // Destroying an active transaction whose action retains ends it for good.
    auto other = std::make_unique<TFIBTransaction>();
    other->SetDefaultDatabase(Db1.get());
    other->TimeoutAction = TACommitRetaining;
    other->StartTransaction();
    other->ExecSQLImmediate("INSERT INTO T VALUES (6)");
    other.reset();
    EXPECT_EQ(Db1->ActiveTransactionCount(), 0);
    CloseAll();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T ORDER BY ID"), "5,6");
}

TEST_F(TransactionTest, DatabaseIdleTimer) {
    Db1->Connect();
    int timeouts = 0;
    Db1->OnTimeout = [&](TObject*) { ++timeouts; };
    int asked = 0;
    Db1->OnIdleConnect = [&](TFIBDatabase* Sender, uint32_t, TActionOnIdle& Action) {
        EXPECT_EQ(Sender, Db1.get());
        if (++asked == 1) Action = TActionOnIdle::aiKeepLiveConnect;
    };
    Db1->SetTimeout(150);
    ASSERT_TRUE(PumpUntil([&] { return asked >= 1; }, 3s));
    EXPECT_TRUE(Db1->Connected());
    ASSERT_TRUE(PumpUntil([&] { return !Db1->Connected(); }, 3s));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(timeouts, 1);
    Db1->SetTimeout(0);
}

TEST_F(TransactionTest, DisconnectEndsTransactionsAndReportsFailures) {
    Db1->Connect();
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    tr.SetDefaultDatabase(Db1.get());
    tr.TimeoutAction = TACommitRetaining;

    // A failing BeforeDisconnect stops the disconnect.
    Db1->BeforeDisconnect = [](TObject*) { throw Exception("boom"); };
    EXPECT_EQ(ErrorText<Exception>([&] { Db1->Close(); }), "Error of Form1.DB1.BeforeDisconnect. boom");
    EXPECT_TRUE(Db1->Connected());
    Db1->BeforeDisconnect = nullptr;

    // An end handler that fails: unforced, the first failure stops the disconnect; forced, the
    // disconnect completes.
    struct TListener : TComponent {
        int Ended = 0;
        void AfterEnd(TFIBTransaction*, TTransactionAction Action, bool Force) {
            EXPECT_EQ(Action, TACommit);
            EXPECT_TRUE(Force);
            ++Ended;
            throw Exception("after end");
        }
    } listener;
    tr.AddEndEvent(TEndTrEvent(&listener, &TListener::AfterEnd), tekAfterEnd);
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (3)");
    EXPECT_EQ(ErrorText<Exception>([&] { Db1->Disconnect(false); }), "after end");
    EXPECT_TRUE(Db1->Connected());
    EXPECT_FALSE(tr.Active());
    tr.StartTransaction();
    Db1->ForceClose();
    EXPECT_FALSE(Db1->Connected());
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(listener.Ended, 2);
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "3");

    // Destroyed while its BeforeDisconnect fails, the database still lets its attachment go
    // (another process can open the file again).
    Db1->Connect();
    Db1->BeforeDisconnect = [](TObject*) { throw Exception("boom"); };
    Db1.reset();
    EXPECT_EQ(tr.GetDatabaseCount(), 0);
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "3");
}

TEST_F(TransactionTest, FailedDetachStillLeavesTheDatabaseClosed) {
    Db1->Connect();
    // A handle the server does not know makes the detach fail.
    isc_db_handle attachment = Db1->Handle();
    Db1->Handle() = attachment + 1000;
    EXPECT_NO_THROW(Db1->Close());
    EXPECT_FALSE(Db1->Connected());
    EXPECT_NE(ThreadStatusVector()[1], 0);
    EXPECT_EQ(Db1->ClientLibrary()->isc_detach_database(ThreadStatusVector(), &attachment), 0);
}

// --- Lengths the client API takes --------------------------------------------------------------

TEST_F(TransactionTest, LongStatementsAndNamesGoWhole) {
    Db1->Connect();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Db1.get());
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T SELECT 0 FROM RDB$DATABASE UNION ALL SELECT 1 FROM RDB$DATABASE");
    // 65,549 characters: cut to 16 bits it would run as "DELETE FROM T" and delete every row.
    const std::string del = "DELETE FROM T /* " + std::string(65516, 'x') + " */ WHERE ID = 0";
    ASSERT_EQ(del.size(), 65549u);
    tr.ExecSQLImmediate(del);
    tr.Commit();
    Db1->Close();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "1");

    // A name whose length cut to 16 bits would name the real file does not attach to it.
    auto longName = MakeDatabase(&Form, "DB3", File1.Path() + std::string(65536, 'x'));
    EXPECT_THROW(longName->Connect(), EFIBInterBaseError);
    EXPECT_FALSE(longName->Connected());

    // A parameter block longer than the 32767 bytes the attach takes is refused by the client
    // (its length would go negative inside the client library).
    for (int i = 0; i < 140; ++i) Db2->DBParams().Add("lc_messages=" + std::string(250, 'm'));
    const std::string text = ErrorText<EFIBClientError>([&] { Db2->Connect(); });
    EXPECT_NE(text.find("the client library takes at most 32767"), std::string::npos) << text;
    EXPECT_FALSE(Db2->Connected());
}

TEST_F(TransactionTest, TransactionBlocksHoldTheirValues) {
    Db1->Connect();
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    tr.SetDefaultDatabase(Db1.get());
    tr.TRParams().SetText("write\nwait\nlock_timeout=70000");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.StartTransaction(); }),
              "TPB Constant (lock_timeout) value 70000 is out of range -32768..32767.");
    EXPECT_FALSE(tr.Active());

    // A block over 32767 bytes (12,000 table reservations) reaches the server whole.
    std::string params = "write\nwait\nlock_timeout=32767\n";
    for (int i = 0; i < 12000; ++i) params += "lock_read=T\n";
    tr.TRParams().SetText(params);
    tr.StartTransaction();
    test::TLiveAttachment monitor(*Db1->ClientLibrary(), File1.Path(), test::TLiveAttachment::AsSysdba());
    EXPECT_EQ(monitor.QueryInt("SELECT MON$LOCK_TIMEOUT FROM MON$TRANSACTIONS WHERE MON$TRANSACTION_ID = " +
                               std::to_string(tr.GetTransactionID())),
              32767);
    tr.Commit();
}

// --- Teardown and reconnects --------------------------------------------------------------------

// The user attachments to File other than the one that asks.
int64_t OtherAttachments(IIBClientLibrary& Lib, const std::string& File) {
    test::TLiveAttachment monitor(Lib, File, test::TLiveAttachment::AsSysdba());
    return monitor.QueryInt(
        "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0");
}

TEST_F(TransactionTest, TransactionsEndBeforeTheDetach) {
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    tr.SetDefaultDatabase(Db1.get());
    tr.TimeoutAction = TACommit;
    Db1->Connect();
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (1)");

    // A running transaction keeps its database: without it no end could reach the server.
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.RemoveDatabase(0); }), "Form1.Tr1 :Transaction is active.");
    EXPECT_EQ(tr.GetDatabaseCount(), 1);

    // Forced, a disconnect whose transaction fails in a before-end handler still ends it at the
    // server (rolled back) before it detaches.
    struct TListener : TComponent {
        void Ending(TFIBTransaction*, TTransactionAction, bool) { throw Exception("ending"); }
    } listener;
    tr.AddEndEvent(TEndTrEvent(&listener, &TListener::Ending), tekBeforeEnd);
    Db1->ForceClose();
    EXPECT_FALSE(Db1->Connected());
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(OtherAttachments(*lib, File1.Path()), 0);
    tr.RemoveEndEvent(TEndTrEvent(&listener, &TListener::Ending), tekBeforeEnd);

    // Destroyed while its BeforeDisconnect fails, the database ends its transaction (with the
    // transaction's TimeoutAction) and detaches; the transaction is left without database and
    // without a handle.
    Db1->Connect();
    tr.StartTransaction();
    tr.ExecSQLImmediate("INSERT INTO T VALUES (2)");
    Db1->BeforeDisconnect = [](TObject*) { throw Exception("boom"); };
    Db1.reset();
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(tr.GetDatabaseCount(), 0);
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.Commit(); }), "Form1.Tr1 :Transaction is not active.");
    EXPECT_EQ(OtherAttachments(*lib, File1.Path()), 0);
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "2");
}

TEST_F(TransactionTest, AutoReconnectConnectsOrRaises) {
    // No password and no login dialog: the reconnect goes ahead without a prompt (an embedded
    // attachment needs no password).
    Db1->AutoReconnect = true;
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Db1.get());
    tr.StartTransaction();
    EXPECT_TRUE(Db1->Connected());
    ASSERT_TRUE(tr.Active());
    tr.ExecSQLImmediate("INSERT INTO T VALUES (1)");
    tr.Commit();
    Db1->Close();
    EXPECT_EQ(IsqlQuery(File1.Path(), "SELECT ID FROM T"), "1");

    // A reconnect that fails raises its own error at once, with or without a password.
    test::TempDir dir;
    for (const char* password : {"", "x"}) {
        auto missing = MakeDatabase(&Form, "DB3", dir.File("missing.fdb"));
        missing->AutoReconnect = true;
        missing->ConnectParams().SetPassword(password);
        TFIBTransaction other;
        other.SetDefaultDatabase(missing.get());
        const std::string text = ErrorText<EFIBInterBaseError>([&] { other.StartTransaction(); });
        EXPECT_NE(text.find("missing.fdb"), std::string::npos) << text;
        EXPECT_FALSE(other.Active());
        EXPECT_FALSE(missing->UseLoginPrompt);
    }
    // With a dialog installed and no password, the dialog is asked; its refusal is the error.
    Db1->ConnectParams().SetPassword("");
    int asked = 0;
    DatabaseLoginDialog = [&](const std::string&, std::string&, std::string&, std::string&) { return ++asked, false; };
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { tr.StartTransaction(); }), "Operation cancelled at user's request.");
    DatabaseLoginDialog = nullptr;
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(Db1->UseLoginPrompt);
}

using test::TTestLogger;

TEST_F(TransactionTest, LoggerHearsConnectsAndTransactions) {
    auto logger = std::make_unique<TTestLogger>();
    Db1->SetSQLLogger(logger.get());
    EXPECT_EQ(logger->Database, Db1.get());
    Db1->Connect();
    TFIBTransaction tr(&Form);
    tr.SetName("Tr1");
    tr.SetDefaultDatabase(Db1.get());
    tr.TRParams().SetText("write\nconcurrency");
    tr.StartTransaction();
    const std::string id = std::to_string(tr.GetTransactionID());
    tr.Commit();
    Db1->Close();
    const std::string params = "TransactionParams:\r\nwrite\r\nconcurrency\r\n|4";
    EXPECT_EQ(logger->Lines, (std::vector<std::string>{"Form1.DB1|Connect||3",
                                                       "Form1.Tr1|StartTransaction(TransactionID=" + id + ")|" + params,
                                                       "Form1.Tr1|Commit(TransactionID=" + id + ") |" + params,
                                                       "Form1.DB1|Disconnect||3"}));
    // A logger that goes away is forgotten.
    logger.reset();
    EXPECT_EQ(Db1->SQLLogger(), nullptr);
    Db1->Connect();
    Db1->Close();
}

// --- Links and callbacks --------------------------------------------------------------------

TEST_F(TransactionTest, LinksHearConnectsEndsAndFrees) {
    std::vector<std::string> heard;
    auto listen = [&heard](TFIBBase& Link, const std::string& Tag) {
        auto note = [&heard, Tag](const char* What) { return [&heard, Tag, What](TObject*) { heard.push_back(Tag + What); }; };
        Link.OnDatabaseConnecting = note(":connecting");
        Link.OnDatabaseConnected = note(":connected");
        Link.OnDatabaseDisconnecting = note(":disconnecting");
        Link.OnDatabaseDisconnected = note(":disconnected");
        Link.OnDatabaseFree = note(":dbfree");
        Link.OnTransactionStarting = note(":starting");
        Link.OnTransactionStarted = note(":started");
        Link.OnTransactionEnding = note(":ending");
        Link.OnTransactionEnded = note(":ended");
        Link.OnTransactionFree = note(":trfree");
    };
    auto db = MakeDatabase(&Form, "DB3", File1.Path());
    auto tr = std::make_unique<TFIBTransaction>(&Form);
    db->SetDefaultTransaction(tr.get());
    EXPECT_EQ(tr->DefaultDatabase(), db.get());

    TNamed owner(nullptr, "Query1");
    TFIBBase a(&owner), b(&owner);
    listen(a, "a");
    listen(b, "b");
    a.SetDatabase(db.get());
    b.SetDatabase(db.get());
    EXPECT_EQ(a.Transaction(), tr.get());   // taken from the database
    EXPECT_EQ(db->LinkCount(), 2);

    db->Connect();
    tr->StartTransaction();
    tr->Commit();
    EXPECT_EQ(heard, (std::vector<std::string>{"a:connecting", "b:connecting", "a:connected", "b:connected",
                                                "a:starting", "b:starting", "a:started", "b:started", "b:ending",
                                                "a:ending", "b:ended", "a:ended"}));
    heard.clear();

    // Leaving a list moves the last link into the freed slot.
    a.SetDatabase(nullptr);
    EXPECT_EQ(db->LinkCount(), 1);
    EXPECT_EQ(db->Links(0), &b);
    a.SetDatabase(db.get());

    // A transaction that does not list the link's database moves the link to its main database.
    TFIBBase c(&owner);
    listen(c, "c");
    c.SetDatabase(Db2.get());
    c.SetTransaction(tr.get());
    EXPECT_EQ(c.Database(), db.get());

    EXPECT_EQ(ErrorText<EFIBClientError>([&] {
                  TFIBBase orphan(&owner);
                  orphan.CheckDatabase();
              }),
              "Database not assigned for Query1.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] {
                  TFIBBase orphan(&owner);
                  orphan.CheckTransaction();
              }),
              "Transaction not assigned for Query1.");

    db->Close();
    tr.reset();
    EXPECT_EQ(a.Transaction(), nullptr);
    db.reset();
    EXPECT_EQ(a.Database(), nullptr);
    EXPECT_EQ(heard, (std::vector<std::string>{"b:disconnecting", "a:disconnecting", "c:disconnecting",
                                                "b:disconnected", "a:disconnected", "c:disconnected", "c:trfree",
                                                "b:trfree", "a:trfree", "c:dbfree", "a:dbfree", "b:dbfree"}));
}

TEST_F(TransactionTest, CallbackListsOfDatabaseAndTransaction) {
    struct TListener : TComponent {
        std::vector<std::string> Heard;
        void Connected(TObject*) { Heard.push_back("connected"); }
        void Disconnecting(TObject*) { Heard.push_back("disconnecting"); }
        void Destroying(TObject*) { Heard.push_back("destroying"); }
        void Starting(TObject*) { Heard.push_back("starting"); }
        void Started(TObject*) { Heard.push_back("started"); }
        void Ending(TFIBTransaction*, TTransactionAction A, bool) { Heard.push_back("ending" + std::to_string(A)); }
        void Ended(TFIBTransaction*, TTransactionAction A, bool) { Heard.push_back("ended" + std::to_string(A)); }
        void TrGone(TObject*) { Heard.push_back("trgone"); }
    } l;
    auto db = MakeDatabase(&Form, "DB3", File1.Path());
    db->AfterConnectEvents().Add({&l, &TListener::Connected});
    db->BeforeDisconnectEvents().Add({&l, &TListener::Disconnecting});
    db->BeforeDestroyEvents().Add({&l, &TListener::Destroying});
    int connects = 0;
    db->OnConnect = [&](TObject*) { ++connects; };
    auto tr = std::make_unique<TFIBTransaction>();
    tr->SetDefaultDatabase(db.get());
    tr->AddEvent({&l, &TListener::Starting}, tekBeforeStart);
    tr->AddEvent({&l, &TListener::Started}, tekAfterStart);
    tr->AddEvent({&l, &TListener::TrGone}, tekDestroy);
    tr->AddEndEvent({&l, &TListener::Ending}, tekBeforeEnd);
    tr->AddEndEvent({&l, &TListener::Ended}, tekAfterEnd);
    db->Connect();
    tr->StartTransaction();
    tr->CommitRetaining();
    tr->Rollback();
    tr->RemoveEndEvent({&l, &TListener::Ended}, tekAfterEnd);
    tr->StartTransaction();
    tr->Commit();
    tr.reset();
    db.reset();
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(l.Heard, (std::vector<std::string>{"connected", "starting", "started", "ending3", "ended3", "ending0",
                                                  "ended0", "starting", "started", "ending2", "trgone",
                                                  "disconnecting", "destroying"}));
}

} // namespace
} // namespace qnl

namespace qnl {
namespace {

// A database left attached is closed on the way out of the process, after its listeners heard.
TEST_F(FIBDatabaseTest, AttachmentLeftOpenIsClosedAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test::TempDatabase file("CREATE TABLE T (ID INTEGER);");
    EXPECT_EXIT(
        {
            auto* db = MakeDatabase(nullptr, "Leaked", file.Path()).release();
            auto* tr = new TFIBTransaction;
            tr->SetDefaultDatabase(db);
            tr->TimeoutAction = TACommit;
            db->AfterDisconnect = [tr](TObject*) {
                std::fputs(tr->Active() ? "still active, " : "ended, ", stderr);
                std::fputs("detached at exit\n", stderr);
            };
            db->Connect();
            tr->StartTransaction();
            tr->ExecSQLImmediate("INSERT INTO T VALUES (9)");
            // exit skips the destructors: the folder of this process's own copy goes now (an
            // open file outlives its name).
            std::filesystem::remove_all(file.Dir().Path());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^ended, detached at exit");
}

} // namespace
} // namespace qnl
