// The changed-rows reader against a change log built by isql: the table's triggers stamp each
// row with the writing transaction and the time, deletions go to T_DELETED, and a commit trigger
// gives every transaction that changed rows a commit number (above 2^32, so 64-bit numbers are
// needed; on Firebird 3 the first value after RESTART WITH n is n + 1). A second attachment plays the other user.
#include "datasets/pFIBDataRefresh.h"

#include "DataSetKit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

namespace qnl {
namespace {

const char* const Ddl = R"(
CREATE SEQUENCE G_COMMIT;
ALTER SEQUENCE G_COMMIT RESTART WITH 5000000000;
CREATE TABLE FIB$TRANSACTIONS (TRANSACTION_ID BIGINT NOT NULL PRIMARY KEY, COMMIT_NO BIGINT NOT NULL);
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), FIB$TRANSACTION_ID BIGINT, FIB$UPDATE_TIME TIMESTAMP);
CREATE TABLE T_DELETED (ID INTEGER, NAME VARCHAR(20), FIB$TRANSACTION_ID BIGINT, FIB$DELETED_TIME TIMESTAMP);
SET TERM ^;
CREATE PROCEDURE FIB$GET_TRANSACTION_ID (DUMMY INTEGER) RETURNS (TRANS_ID BIGINT) AS
BEGIN TRANS_ID = CURRENT_TRANSACTION; SUSPEND; END^
CREATE TRIGGER T_LOG FOR T BEFORE INSERT OR UPDATE AS
BEGIN
  NEW.FIB$TRANSACTION_ID = CURRENT_TRANSACTION;
  NEW.FIB$UPDATE_TIME = 'NOW';
  RDB$SET_CONTEXT('USER_TRANSACTION', 'FIB$CHANGED', '1');
END^
CREATE TRIGGER T_DEL FOR T AFTER DELETE AS
BEGIN
  INSERT INTO T_DELETED VALUES (OLD.ID, OLD.NAME, CURRENT_TRANSACTION, 'NOW');
  RDB$SET_CONTEXT('USER_TRANSACTION', 'FIB$CHANGED', '1');
END^
CREATE TRIGGER LOG_COMMIT ON TRANSACTION COMMIT AS
BEGIN
  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'FIB$CHANGED') = '1') THEN
    INSERT INTO FIB$TRANSACTIONS VALUES (CURRENT_TRANSACTION, NEXT VALUE FOR G_COMMIT);
END^
SET TERM ;^
INSERT INTO T (ID, NAME) VALUES (1, 'one');
INSERT INTO T (ID, NAME) VALUES (2, 'two');
COMMIT;
)";

// The IDs of the data set's rows.
std::set<int> Ids(TDataSet& DataSet) {
    std::set<int> ids;
    for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) ids.insert(static_cast<int>(DataSet.FieldByName("ID")->AsInteger()));
    return ids;
}

class pFIBDataRefreshTest : public test::DataSetKit {
protected:
    void SetUp() override {
        OpenDatabase(Ddl);
        for (const char* line : {"write", "read_committed", "rec_version", "nowait"}) Transaction.TRParams().Add(line);
        Other.SetDBName(Db->Path());
        Other.ConnectParams().SetUserName("SYSDBA");
        Other.SetSQLDialect(3);
        Other.Open();
        OtherTr.SetDefaultDatabase(&Other);
    }
    void TearDown() override {
        Reader.reset();
        if (OtherTr.Active()) OtherTr.Rollback();
        Other.Close();
        test::DataSetKit::TearDown();
    }
    // The other user's statements, committed.
    void OtherCommits(std::initializer_list<const char*> Statements) {
        OtherTr.StartTransaction();
        for (const char* sql : Statements) OtherTr.ExecSQLImmediate(sql);
        OtherTr.Commit();
    }

    TFIBDatabase Other;
    TFIBTransaction OtherTr;
    std::unique_ptr<TpFIBTableChangesReader> Reader = std::make_unique<TpFIBTableChangesReader>();
};

TEST(TableChangesReader, DeletionTableName) {
    EXPECT_EQ(TpFIBTableChangesReader::DeletedTableName("ORDERS"), "ORDERS_DELETED");
    EXPECT_EQ(TpFIBTableChangesReader::DeletedTableName("\"Orders\""), "\"Orders_DELETED\"");
}

TEST_F(pFIBDataRefreshTest, CommittedChangesOfOthersAreReportedExactly) {
    Reader->SetTableName("T");
    Reader->SetTransaction(&Transaction);
    EXPECT_THROW(
        try { Reader->RefreshChanges(); } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Can't use ChangesReader. Transaction is not active");
            throw;
        },
        Exception);
    Transaction.StartTransaction();
    // The first look reads every committed change.
    Reader->RefreshChanges();
    EXPECT_EQ(Reader->LastCommitNo(), 5000000001);
    EXPECT_EQ(Reader->CommittedChangesCount(), 2);
    EXPECT_EQ(Ids(Reader->CommittedChanges()), (std::set<int>{1, 2}));
    EXPECT_EQ(Reader->CommittedDeletedCount(), 0);

    OtherCommits({"UPDATE T SET NAME = 'uno' WHERE ID = 1", "DELETE FROM T WHERE ID = 2",
                  "INSERT INTO T (ID, NAME) VALUES (3, 'three')"});
    Reader->RefreshChanges();
    EXPECT_EQ(Reader->LastCommitNo(), 5000000002);
    EXPECT_EQ(Reader->CommittedChangesCount(), 2);
    EXPECT_EQ(Ids(Reader->CommittedChanges()), (std::set<int>{1, 3}));
    EXPECT_EQ(Reader->CommittedDeletedCount(), 1);
    EXPECT_EQ(Ids(Reader->CommittedDeleted()), (std::set<int>{2}));
    EXPECT_EQ(Reader->OwnChangesCount(), 0);
    EXPECT_FALSE(Reader->HasChanges());

    // No new commit: the counts are 0 and the data sets keep what they held.
    Reader->RefreshChanges();
    EXPECT_EQ(Reader->CommittedChangesCount(), 0);
    EXPECT_EQ(Ids(Reader->CommittedChanges()), (std::set<int>{1, 3}));

    // A transaction that only reads gets no commit number and is not reported.
    OtherTr.StartTransaction();
    OtherTr.Commit();
    OtherCommits({"UPDATE T SET NAME = 'tres' WHERE ID = 3"});
    Reader->RefreshChanges();
    EXPECT_EQ(Reader->LastCommitNo(), 5000000003);
    EXPECT_EQ(Ids(Reader->CommittedChanges()), (std::set<int>{3}));
}

TEST_F(pFIBDataRefreshTest, OwnChangesAndARollback) {
    Reader->SetTableName("T");
    Reader->SetTransaction(&Transaction);
    Transaction.StartTransaction();
    Reader->RefreshChanges();
    Transaction.ExecSQLImmediate("INSERT INTO T (ID, NAME) VALUES (4, 'four')");
    Transaction.ExecSQLImmediate("DELETE FROM T WHERE ID = 1");
    // The rows' time must lie before the next look's server time.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Reader->RefreshChanges(true);
    EXPECT_EQ(Reader->OwnChangesCount(), 1);
    EXPECT_EQ(Ids(Reader->OwnChanges()), (std::set<int>{4}));
    EXPECT_EQ(Reader->OwnDeletedCount(), 1);
    EXPECT_EQ(Ids(Reader->OwnDeleted()), (std::set<int>{1}));
    EXPECT_TRUE(Reader->HasChanges());
    // Own changes older than the last look are not reported again.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Reader->RefreshChanges(true);
    EXPECT_EQ(Reader->OwnChangesCount(), 0);
    EXPECT_TRUE(Reader->HasChanges());

    std::set<int> changedAtRollback, deletedAtRollback;
    int ended = 0;
    Reader->BeforeEndTransaction = [&](TFIBTransaction* Tr, TTransactionAction Action, bool) {
        EXPECT_EQ(Tr, &Transaction);
        EXPECT_EQ(Action, TARollback);
        changedAtRollback = Ids(Reader->OwnChanges());
        deletedAtRollback = Ids(Reader->OwnDeleted());
    };
    Reader->AfterEndTransaction = [&](TFIBTransaction*, TTransactionAction, bool) { ++ended; };
    Transaction.Rollback();
    EXPECT_EQ(changedAtRollback, (std::set<int>{4}));
    EXPECT_EQ(deletedAtRollback, (std::set<int>{1}));
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(Reader->HasChanges());
    Reader->BeforeEndTransaction = nullptr;

    // A read-only transaction reads only what others committed.
    TFIBTransaction readOnly;
    readOnly.SetDefaultDatabase(&Database);
    for (const char* line : {"read", "read_committed", "rec_version", "nowait"}) readOnly.TRParams().Add(line);
    Reader->SetTransaction(&readOnly);
    readOnly.StartTransaction();
    OtherCommits({"INSERT INTO T (ID, NAME) VALUES (5, 'five')"});
    Reader->RefreshChanges();
    EXPECT_EQ(Ids(Reader->CommittedChanges()), (std::set<int>{5}));
    EXPECT_EQ(Reader->OwnChangesCount(), 0);
    readOnly.Commit();
    Reader->SetTransaction(nullptr);
}

// The refresh before a rollback fails when the log is gone; the rollback happens all the same.
TEST_F(pFIBDataRefreshTest, AFailingRefreshDoesNotStopTheRollback) {
    Reader->SetTableName("NO_SUCH_TABLE");
    Reader->SetTransaction(&Transaction);
    Transaction.StartTransaction();
    EXPECT_THROW(Reader->RefreshChanges(true), EFIBError);
    Transaction.ExecSQLImmediate("INSERT INTO T (ID, NAME) VALUES (9, 'nine')");
    Transaction.Rollback();
    EXPECT_FALSE(Transaction.Active());
    Transaction.StartTransaction();
    EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM T WHERE ID = 9", 0, {}, &Transaction).AsInt64(), 0);
}

} // namespace
} // namespace qnl
