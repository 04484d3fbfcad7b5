// The extended data set's post and delete; see pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/StdFuncs.h"

namespace qnl {

namespace {

// "No Action" on the first line marks a statement that is never run.
bool Runnable(TFIBQuery& Query) { return HasNonBlankLine(Query.SQL()) && Query.SQL()[0] != "No Action"; }

bool ReturnsRow(TFIBQuery& Query) {
    const TFIBSQLTypes type = Query.SQLType();
    return type == SQLSelect || type == SQLSelectForUpdate || type == SQLExecProcedure;
}

} // namespace

TpFIBDataSet::TpFIBDataSet(TComponent* AOwner) : TFIBDataSet(AOwner) {
    TDataSet::OnPostError = [this](TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
        DoPostError(DataSet, E, Action);
    };
    TDataSet::OnDeleteError = [this](TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
        DoDeleteError(DataSet, E, Action);
    };
}

TpFIBDataSet::~TpFIBDataSet() {
    try {
        Close();
    } catch (...) {
        // a failing close during destruction leaves nothing to report to
    }
}

void TpFIBDataSet::DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
    TFIBDataSet::DoPostError(DataSet, E, Action);
    if (OnPostError) OnPostError(DataSet, E, Action);
}

void TpFIBDataSet::DoDeleteError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
    if (OnDeleteError) OnDeleteError(DataSet, E, Action);
}

void TpFIBDataSet::InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer) {
    CheckDataSetOpen(" continue post ");
    if (Query && Runnable(*Query)) {
        StartUpdateTransaction();
        if (Query->Open()) Query->Close();
        // Prepared before the values go in, so that each takes the type the server described.
        if (Query == &InsertQuery())
            PrepareModifyQuery(1);
        else if (Query == &UpdateQuery())
            PrepareModifyQuery(0);
        else if (!Query->Prepared())
            Query->Prepare();
        SetQueryParams(*Query, Buffer);
        Query->ExecQuery();
        CheckRecordChanged(*Query);
        if (ReturnsRow(*Query)) {
            // The row the statement returned (RETURNING) is the record now.
            WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
            RefreshFromQuery(*Query, Buffer);
        }
    }
    SetRecordStatus(Buffer, cusUnmodified);
    SetModified(false);
    WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
    AutoCommitUpdate();
    if (HasNonBlankLine(RefreshSQL()) && InSet(Options(), poRefreshAfterPost) &&
        CacheModelOptions().CacheModelKind() == cmkStandard) {
        DoBeforeRefresh();
        if (RefreshFromQuery(RefreshQuery(), Buffer) && BlobFieldCount() > 0) {
            ProcessBlobStreams(Buffer, 3, nullptr);
            ProcessBlobStreams(Buffer, CachedUpdates() ? 0 : 1, nullptr);
            WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
        }
        DoAfterRefresh();
    }
    ProcessBlobStreams(Buffer, 3, nullptr);
}

void TpFIBDataSet::InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) {
    if (Query.SQL().Count() > 0 && Query.SQL()[0] == "No Action") return;
    TFIBDataSet::InternalDeleteRecord(Query, Buffer);
}

} // namespace qnl
