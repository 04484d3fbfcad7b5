// The extended data set's post and delete; see pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/StdFuncs.h"
#include "client/fib.h"

#include <algorithm>
#include <memory>

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

bool TpFIBDataSet::CanChange(bool BaseAnswer, TUpdateKind Kind) {
    if (!(AllowedUpdateKinds & (1u << Kind))) return false;
    return BaseAnswer || (CachedUpdates() && OnUpdateRecord);
}

bool TpFIBDataSet::CanEdit() { return CanChange(TFIBDataSet::CanEdit(), ukModify); }
bool TpFIBDataSet::CanInsert() { return CanChange(TFIBDataSet::CanInsert(), ukInsert); }
bool TpFIBDataSet::CanDelete() { return CanChange(TFIBDataSet::CanDelete(), ukDelete); }

void TpFIBDataSet::ApplyUpdatesToBase() {
    if (State() == dsEdit || State() == dsInsert) Post();
    const int count = CachedRecordCount();
    if (count == 0) return;
    StartUpdateTransaction();
    std::unique_ptr<char[]> record(new char[std::max<uint32_t>(RecordBufferSize(), 8)]());
    TRecordBuffer buffer = record.get();
    FSkippedRecords.clear();
    Guarded(
        [&] {
            for (int i = 0; i < count; ++i) {
                ReadRecordFromCache(i, buffer, false);
                const TCachedUpdateStatus status = RecordStatusOf(buffer);
                if (status != cusModified && status != cusInserted && status != cusDeleted) continue;
                SetUpdatesPending(true);
                const TUpdateKind kind = status == cusModified ? ukModify : status == cusInserted ? ukInsert : ukDelete;
                SetBlobReadRecord(i);
                TFIBUpdateAction action = uaApply;
                // An error of the handler or of the statements: OnUpdateError chooses.
                auto decide = [&](EFIBError& E) {
                    action = uaFail;
                    if (OnUpdateError) {
                        const uint32_t closes = CloseCount();
                        OnUpdateError(this, E, kind, action);
                        CheckNotClosedBy(closes, "OnUpdateError");
                    }
                    if (action == uaFail) throw;
                    if (action == uaAbort) throw EAbort(E.what());
                    if (action == uaSkip) FSkippedRecords.push_back(i);
                };
                try {
                    if (OnUpdateRecord) {
                        action = uaFail;
                        const uint32_t closes = CloseCount();
                        do OnUpdateRecord(this, kind, action);
                        while (action == uaRetry && closes == CloseCount());
                        CheckNotClosedBy(closes, "OnUpdateRecord");
                        // A handler that skips leaves the change pending; one that fails or
                        // aborts stops the apply.
                        if (action == uaSkip) FSkippedRecords.push_back(i);
                        if (action == uaFail || action == uaAbort) throw EAbort();
                    }
                } catch (EFIBError& E) {
                    decide(E);
                }
                while (action == uaRetry || action == uaApply) {
                    try {
                        if (kind == ukModify && CanEdit())
                            InternalPostRecord(&UpdateQuery(), buffer);
                        else if (kind == ukInsert && CanInsert())
                            InternalPostRecord(&InsertQuery(), buffer);
                        else if (kind == ukDelete && CanDelete())
                            InternalDeleteRecord(DeleteQuery(), buffer);
                        // Settled by MarkCacheCommitted once the transaction commits.
                        ReadRecordFromCache(i, buffer, false);
                        SetRecordStatus(buffer, status);
                        WriteRecordToCache(i, buffer);
                        action = uaApplied;
                        bool resume = true;
                        if (AfterUpdateRecord) {
                            const uint32_t closes = CloseCount();
                            AfterUpdateRecord(this, kind, resume);
                            CheckNotClosedBy(closes, "AfterUpdateRecord");
                        }
                        if (!resume) throw EAbort();
                    } catch (EFIBError& E) {
                        decide(E);
                    }
                }
            }
            SetUpdatesPending(!FSkippedRecords.empty());
            if (FSkippedRecords.empty()) AutoCommitUpdate();
        },
        [&] {
            SetBlobReadRecord(-1);
            if (Active()) Resync({});
        });
}

void TpFIBDataSet::MarkCacheCommitted() {
    TRecordsCache* cache = RecordsCache();
    if (!cache) return;
    std::unique_ptr<char[]> record(new char[std::max<uint32_t>(RecordBufferSize(), 8)]());
    TRecordBuffer buffer = record.get();
    std::vector<int> applied;
    for (int i = 0; i < CachedRecordCount(); ++i) {
        if (std::find(FSkippedRecords.begin(), FSkippedRecords.end(), i) != FSkippedRecords.end()) continue;
        ReadRecordFromCache(i, buffer, false);
        const TCachedUpdateStatus status = RecordStatusOf(buffer);
        if (status == cusModified || status == cusInserted)
            SetRecordStatus(buffer, cusUnmodified);
        else if (status == cusDeleted)
            SetRecordStatus(buffer, cusDeletedApplied);
        else
            continue;
        WriteRecordToCache(i, buffer);
        applied.push_back(i);
    }
    SetPendingChangeCount(static_cast<int>(FSkippedRecords.size()));
    SetUpdatesPending(!FSkippedRecords.empty());
    // The saved versions now are what the server holds; a skipped record keeps the one from
    // before its change.
    if (FSkippedRecords.empty())
        cache->ClearLog();
    else
        for (int i : applied) cache->SaveToLog(i + 1);
    if (Active()) {
        Resync({});
        if (TRecordBuffer active = ActiveBuffer(); active && !IsEmpty()) SaveOldVersion(active);
    }
}

void TpFIBDataSet::ApplyAndCommit() {
    ApplyUpdatesToBase();
    AutoCommitUpdate();
    MarkCacheCommitted();
}

void TpFIBDataSet::DoAfterPost() {
    TFIBDataSet::DoAfterPost();
    if (AutoCommit && CachedUpdates()) ApplyAndCommit();
}

void TpFIBDataSet::DoAfterDelete() {
    TFIBDataSet::DoAfterDelete();
    if (AutoCommit && CachedUpdates()) ApplyAndCommit();
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
        ExecRecordQuery(*Query, "post");
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
