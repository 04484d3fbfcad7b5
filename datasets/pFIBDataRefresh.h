#pragma once
// The changed-rows reader: which rows of one table other transactions changed and committed
// since the last look, and which the reader's own transaction changed since its last look.
//
// It reads a change log that triggers in the database keep (their creation is not its business):
// FIB$TRANSACTIONS (TRANSACTION_ID, COMMIT_NO) with a row per committed transaction, the
// selectable procedure FIB$GET_TRANSACTION_ID returning TRANS_ID, the columns FIB$TRANSACTION_ID
// and FIB$UPDATE_TIME of the watched table, and the table of its deleted rows (the name with
// "_DELETED" appended) with FIB$TRANSACTION_ID and FIB$DELETED_TIME. Transaction ids and commit
// numbers are 64-bit.
#include "client/FIBDatabase.h"
#include "datasets/pFIBDataSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qnl {

using TEndTransactionHandler = std::function<void(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force)>;

class TpFIBTableChangesReader : public TComponent {
public:
    explicit TpFIBTableChangesReader(TComponent* AOwner = nullptr);
    ~TpFIBTableChangesReader() override;
    std::string ClassName() const override { return "TpFIBTableChangesReader"; }

    // The watched table, possibly in double quotes.
    const std::string& TableName() const { return FTableName; }
    void SetTableName(const std::string& Value);
    // Everything is read in it; its end clears what belongs to one transaction.
    TFIBTransaction* Transaction() const { return FTransaction; }
    void SetTransaction(TFIBTransaction* Value);
    void Loaded();

    // Re-reads the committed changes (unless OnlyOwn) and the own ones. A transaction that is
    // not active raises "Can't use ChangesReader. Transaction is not active"; missing log
    // objects raise the server's errors.
    void RefreshChanges(bool OnlyOwn = false);

    TpFIBDataSet& OwnChanges() { return *FOwnChanges; }
    TpFIBDataSet& OwnDeleted() { return *FOwnDeleted; }
    TpFIBDataSet& CommittedChanges() { return *FCommittedChanges; }
    TpFIBDataSet& CommittedDeleted() { return *FCommittedDeleted; }
    int CommittedChangesCount() const { return FCommittedChangesCount; }
    int CommittedDeletedCount() const { return FCommittedDeletedCount; }
    int OwnChangesCount() const { return FOwnChangesCount; }
    int OwnDeletedCount() const { return FOwnDeletedCount; }
    // The own transaction changed rows of the table since it started.
    bool HasChanges() const { return FHasChanges; }
    int64_t LastCommitNo() const { return FLastCommitNo; }

    // Called with the transaction's arguments before and after it ends. Before a rollback the
    // own data sets are read anew, so they hold every row the transaction changed (a failure of
    // that read never stops the rollback).
    TEndTransactionHandler BeforeEndTransaction;
    TEndTransactionHandler AfterEndTransaction;

    // The deletion table of a table name: "T" gives "T_DELETED", "\"t\"" gives "\"t_DELETED\"".
    static std::string DeletedTableName(const std::string& TableName);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void PrepareDataSet(TpFIBDataSet& DataSet);
    void WriteStatements();
    int64_t ReadTransactionID();
    // Opens the data set anew with every row fetched; answers its record count.
    static int Reopen(TpFIBDataSet& DataSet);
    void TransactionEnding(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force);
    void TransactionEnded(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force);

    int64_t FLastCommitNo = 0;
    int64_t FTransactionID = 0;
    double FLastTime = 0;
    bool FSQLBuilt = false;
    bool FHasChanges = false;
    int FCommittedChangesCount = 0;
    int FCommittedDeletedCount = 0;
    int FOwnChangesCount = 0;
    int FOwnDeletedCount = 0;
    std::string FTableName;
    // Owned as components (the reader is their owner).
    TpFIBDataSet* FOwnChanges;
    TpFIBDataSet* FOwnDeleted;
    TpFIBDataSet* FCommittedChanges;
    TpFIBDataSet* FCommittedDeleted;
    TFIBTransaction* FTransaction = nullptr;
};

} // namespace qnl
