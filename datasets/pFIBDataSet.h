#pragma once
// The extended data set: a TFIBDataSet that writes a posted record to the server through its
// insert and update statements and re-reads it afterwards.
#include "datasets/FIBDataSet.h"

#include <string>
#include <vector>

namespace qnl {

class TpFIBDataSet : public TFIBDataSet {
public:
    explicit TpFIBDataSet(TComponent* AOwner = nullptr);
    ~TpFIBDataSet() override;
    std::string ClassName() const override { return "TpFIBDataSet"; }

    // Can* of the base, or under cached updates with an OnUpdateRecord handler (which decides
    // how a change is applied); and only for the kinds in AllowedUpdateKinds.
    bool CanEdit() override;
    bool CanInsert() override;
    bool CanDelete() override;

    // Writes every cached change to the server in the update transaction, record by record,
    // asking OnUpdateRecord, OnUpdateError and AfterUpdateRecord (TFIBUpdateAction). The
    // records keep their cached statuses until MarkCacheCommitted, so a rollback leaves them
    // pending; a record skipped after an error stays pending after it too.
    void ApplyUpdatesToBase();
    // After the update transaction committed what the apply wrote: edited and inserted records
    // count as unchanged, deleted ones as gone; a record the apply skipped keeps its change.
    void MarkCacheCommitted();

    // The user's handlers of a failed post and delete. The framework's slots of these names
    // (TDataSet::OnPostError, TDataSet::OnDeleteError) hold the data set's own callers, which
    // do the data set's part first and then call these.
    TDataSetErrorEvent OnPostError, OnDeleteError;

protected:
    void DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) override;
    void DoDeleteError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action);
    // With AutoCommit and cached updates each post and delete is applied and committed.
    void DoAfterPost() override;
    void DoAfterDelete() override;

private:
    bool CanChange(bool BaseAnswer, TUpdateKind Kind);
    void ApplyAndCommit();
    // 0-based cache indexes of the records the last apply skipped.
    std::vector<int> FSkippedRecords;
    // Runs the insert or update statement (Query) with the values of Buffer: the statement's
    // returned row (RETURNING) and, with poRefreshAfterPost, the row RefreshSQL reads replace
    // the record; then the record counts as unchanged. A statement that fails leaves the cache
    // as it was.
    void InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer) override;
    // A delete statement whose first line is "No Action" does nothing.
    void InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) override;
};

} // namespace qnl
