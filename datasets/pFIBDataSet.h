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

protected:
    // Runs the insert or update statement (Query) with the values of Buffer: the statement's
    // returned row (RETURNING) and, with poRefreshAfterPost, the row RefreshSQL reads replace
    // the record; then the record counts as unchanged. A statement that fails leaves the cache
    // as it was.
    void InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer) override;
    // A delete statement whose first line is "No Action" does nothing.
    void InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) override;
};

} // namespace qnl
