#pragma once
// The extended data set: a TFIBDataSet that writes a posted record to the server through its
// insert and update statements and re-reads it afterwards.
#include "datasets/FIBDataSet.h"

#include <string>

namespace qnl {

class TpFIBDataSet : public TFIBDataSet {
public:
    explicit TpFIBDataSet(TComponent* AOwner = nullptr);
    ~TpFIBDataSet() override;
    std::string ClassName() const override { return "TpFIBDataSet"; }

    // The user's handlers of a failed post and delete. The framework's slots of these names
    // (TDataSet::OnPostError, TDataSet::OnDeleteError) hold the data set's own callers, which
    // do the data set's part first and then call these.
    TDataSetErrorEvent OnPostError, OnDeleteError;

protected:
    void DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) override;
    void DoDeleteError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action);
    // Runs the insert or update statement (Query) with the values of Buffer: the statement's
    // returned row (RETURNING) and, with poRefreshAfterPost, the row RefreshSQL reads replace
    // the record; then the record counts as unchanged. A statement that fails leaves the cache
    // as it was.
    void InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer) override;
    // A delete statement whose first line is "No Action" does nothing.
    void InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) override;
};

} // namespace qnl
