// Implements the changed-rows reader; see pFIBDataRefresh.h.
#include "datasets/pFIBDataRefresh.h"

#include "client/StrUtil.h"
#include "client/fib.h"

namespace qnl {

TpFIBTableChangesReader::TpFIBTableChangesReader(TComponent* AOwner)
    : TComponent(AOwner),
      FOwnChanges(new TpFIBDataSet(this)),
      FOwnDeleted(new TpFIBDataSet(this)),
      FCommittedChanges(new TpFIBDataSet(this)),
      FCommittedDeleted(new TpFIBDataSet(this)) {}

TpFIBTableChangesReader::~TpFIBTableChangesReader() { SetTransaction(nullptr); }

std::string TpFIBTableChangesReader::DeletedTableName(const std::string& TableName) {
    if (TableName.size() >= 2 && TableName.front() == '"' && TableName.back() == '"')
        return TableName.substr(0, TableName.size() - 1) + "_DELETED\"";
    return TableName + "_DELETED";
}

void TpFIBTableChangesReader::SetTableName(const std::string& Value) {
    if (Value == FTableName) return;
    FTableName = Value;
    FLastTime = 0;
    FSQLBuilt = false;
}

void TpFIBTableChangesReader::SetTransaction(TFIBTransaction* Value) {
    if (Value == FTransaction) return;
    if (FTransaction) {
        FTransaction->RemoveEndEvent(TEndTrEvent(this, &TpFIBTableChangesReader::TransactionEnding), tekBeforeEnd);
        FTransaction->RemoveEndEvent(TEndTrEvent(this, &TpFIBTableChangesReader::TransactionEnded), tekAfterEnd);
        FTransaction->RemoveFreeNotification(this);
    }
    FTransaction = Value;
    if (FTransaction) {
        FTransaction->AddEndEvent(TEndTrEvent(this, &TpFIBTableChangesReader::TransactionEnding), tekBeforeEnd);
        FTransaction->AddEndEvent(TEndTrEvent(this, &TpFIBTableChangesReader::TransactionEnded), tekAfterEnd);
        FTransaction->FreeNotification(this);
    }
    for (TpFIBDataSet* ds : {FOwnChanges, FOwnDeleted, FCommittedChanges, FCommittedDeleted}) PrepareDataSet(*ds);
    FLastTime = 0;
}

void TpFIBTableChangesReader::Loaded() {
    for (TpFIBDataSet* ds : {FOwnChanges, FOwnDeleted, FCommittedChanges, FCommittedDeleted}) PrepareDataSet(*ds);
}

void TpFIBTableChangesReader::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent == FTransaction) {
        FTransaction = nullptr;
        FLastCommitNo = 0;
        FTransactionID = 0;
        FLastTime = 0;
    }
    TComponent::Notification(AComponent, Operation);
}

void TpFIBTableChangesReader::PrepareDataSet(TpFIBDataSet& DataSet) {
    if (DataSet.Active()) DataSet.Close();
    DataSet.SetTransaction(FTransaction);
    DataSet.SetDatabase(FTransaction ? FTransaction->DefaultDatabase() : nullptr);
    DataSet.SetCachedUpdates(true);
    DataSet.SetPrepareOptions(0);
    DataSet.SetOptions(SetOf<TpFIBDsOptions>(poTrimCharFields) | SetOf<TpFIBDsOptions>(poFetchAll) |
                       SetOf<TpFIBDsOptions>(poFreeHandlesAfterClose));
}

void TpFIBTableChangesReader::WriteStatements() {
    const std::string crlf(CRLF);
    const std::string deleted = DeletedTableName(FTableName);
    FOwnChanges->SetSelectSQL("SELECT * FROM " + FTableName +
                              " T WHERE T.FIB$TRANSACTION_ID=:TRANS_ID AND T.FIB$UPDATE_TIME>=:DT");
    FOwnDeleted->SetSelectSQL("SELECT * FROM " + deleted + " D" + crlf +
                              "WHERE D.FIB$TRANSACTION_ID=:TRANS_ID AND D.FIB$DELETED_TIME>=:DT");
    FCommittedChanges->SetSelectSQL("SELECT * FROM " + FTableName + " T" + crlf +
                                    "join FIB$TRANSACTIONS TR ON (TR.TRANSACTION_ID=" + "T.FIB$TRANSACTION_ID)" + crlf +
                                    "WHERE TR.COMMIT_NO>:FIB$COMMIT_NO");
    FCommittedDeleted->SetSelectSQL("SELECT * FROM " + deleted + " D" + crlf +
                                    "join FIB$TRANSACTIONS TR ON (TR.TRANSACTION_ID=D.FIB$TRANSACTION_ID )" + crlf +
                                    "WHERE TR.COMMIT_NO>:FIB$COMMIT_NO");
    FSQLBuilt = true;
}

int64_t TpFIBTableChangesReader::ReadTransactionID() {
    if (!FTransaction || !FTransaction->Active()) throw Exception("Can't use ChangesReader. Transaction is not active");
    if (FTransaction->IsReadOnly()) return 0;
    if (FTransactionID == 0) {
        const Variant id = FTransaction->DefaultDatabase()->QueryValue("Select TRANS_ID From FIB$GET_TRANSACTION_ID(0)",
                                                                       0, {}, FTransaction);
        if (!id.IsNull() && !id.IsEmpty()) FTransactionID = id.AsInt64();
    }
    return FTransactionID;
}

int TpFIBTableChangesReader::Reopen(TpFIBDataSet& DataSet) {
    DataSet.CloseOpen(true);
    return DataSet.RecordCount();
}

void TpFIBTableChangesReader::RefreshChanges(bool OnlyOwn) {
    const int64_t transactionID = ReadTransactionID();
    if (!FSQLBuilt) WriteStatements();
    FCommittedChangesCount = FCommittedDeletedCount = FOwnChangesCount = FOwnDeletedCount = 0;
    TFIBDatabase* db = FTransaction->DefaultDatabase();
    if (!OnlyOwn) {
        const Variant max = db->QueryValue("Select MAX(COMMIT_NO) from FIB$TRANSACTIONS", 0, {}, FTransaction);
        const int64_t lastCommit = max.IsNull() || max.IsEmpty() ? 0 : max.AsInt64();
        if (lastCommit != FLastCommitNo) {
            FCommittedChanges->ParamByNameOrRaise("FIB$COMMIT_NO").SetAsInt64(FLastCommitNo);
            FCommittedChangesCount = Reopen(*FCommittedChanges);
            FCommittedDeleted->ParamByNameOrRaise("FIB$COMMIT_NO").SetAsInt64(FLastCommitNo);
            FCommittedDeletedCount = Reopen(*FCommittedDeleted);
            FLastCommitNo = lastCommit;
        }
    }
    if (transactionID <= 0) return;
    const TDateTime now = db->GetServerTime();
    for (TpFIBDataSet* ds : {FOwnChanges, FOwnDeleted}) {
        ds->ParamByNameOrRaise("TRANS_ID").SetAsInt64(transactionID);
        ds->ParamByNameOrRaise("DT").SetAsDateTime(FLastTime);
    }
    FOwnChangesCount = Reopen(*FOwnChanges);
    FOwnDeletedCount = Reopen(*FOwnDeleted);
    FHasChanges = FHasChanges || FOwnChangesCount > 0 || FOwnDeletedCount > 0;
    FLastTime = now;
}

void TpFIBTableChangesReader::TransactionEnding(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force) {
    if (Action == TARollback || Action == TARollbackRetaining) {
        FLastTime = 0;
        // A refresh that fails (the log gone, the table renamed) must not stop the rollback:
        // the own data sets then keep what the last refresh read.
        try {
            RefreshChanges(true);
        } catch (const std::exception&) {
        }
    }
    if (BeforeEndTransaction) BeforeEndTransaction(EndingTR, Action, Force);
}

void TpFIBTableChangesReader::TransactionEnded(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force) {
    FLastTime = 0;
    FTransactionID = 0;
    FHasChanges = false;
    if (AfterEndTransaction) AfterEndTransaction(EndingTR, Action, Force);
}

} // namespace qnl
