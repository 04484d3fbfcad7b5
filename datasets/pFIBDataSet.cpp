// The extended data set's post and delete; see pFIBDataSet.h.
#include "datasets/pFIBDataSet.h"

#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "client/pFIBCacheQueries.h"

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

// ---- TpFIBUpdateObject ----

TpFIBUpdateObject::TpFIBUpdateObject(TComponent* AOwner) : TpFIBQuery(AOwner) { SetParamCheck(true); }

TpFIBUpdateObject::~TpFIBUpdateObject() {
    if (FDataSet) FDataSet->RemoveUpdateObject(this);
}

void TpFIBUpdateObject::SetDataSet(TComponent* Value) {
    auto* dataSet = dynamic_cast<TpFIBDataSet*>(Value);
    if (Value && !dataSet) throw Exception(Value->Name() + " is not TpFIBDataSet");
    if (dataSet == FDataSet) return;
    if (FDataSet) {
        FDataSet->RemoveUpdateObject(this);
        FDataSet->RemoveFreeNotification(this);
    }
    FDataSet = dataSet;
    if (!dataSet) return;
    dataSet->AddUpdateObject(this);
    dataSet->FreeNotification(this);
    if (!Database()) SetDatabase(dataSet->Database());
    if (!Transaction()) SetTransaction(dataSet->Transaction());
}

void TpFIBUpdateObject::SetOrderInList(int Value) {
    FOrderInList = Value;
    if (FDataSet) FDataSet->AddUpdateObject(this);
}

void TpFIBUpdateObject::SetKindUpdate(TUpdateKind Value) {
    if (Value == FKindUpdate) return;
    if (!FDataSet) {
        FKindUpdate = Value;
        return;
    }
    FDataSet->RemoveUpdateObject(this);
    FKindUpdate = Value;
    FDataSet->AddUpdateObject(this);
}

void TpFIBUpdateObject::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent == FDataSet) FDataSet = nullptr;
    TpFIBQuery::Notification(AComponent, Operation);
}

// ---- TpFIBDataSet ----

TpFIBDataSet::TpFIBDataSet(TComponent* AOwner)
    : TFIBDataSet(AOwner), FLockQuery(std::make_unique<TFIBQuery>()), FCountQuery(std::make_unique<TFIBQuery>()) {
    AutoUpdateOptions().SetOwner(this);
    FLockQuery->SetParamCheck(true);
    FCountQuery->SetParamCheck(true);
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
    // The objects outlive their lists only as detached statements.
    for (auto& list : FUpdateObjects)
        for (TpFIBUpdateObject* object : std::vector<TpFIBUpdateObject*>(list)) object->SetDataSet(nullptr);
    FBlobUpdateObject.reset();
    AutoUpdateOptions().SetOwner(nullptr);
    // The pooled generator statement of this data set's generator goes with it.
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    if (FGeneratorUsed && Database())
        FreeHandleCachedQuery(Database(), "select gen_id(" + au.GeneratorName + ", " + std::to_string(au.GeneratorStep) +
                                              ") from RDB$DATABASE");
}

int TpFIBDataSet::AddUpdateObject(TpFIBUpdateObject* UpdateObject) {
    if (!UpdateObject || UpdateObject->KindUpdate() > ukDelete) return -1;
    std::vector<TpFIBUpdateObject*>& list = FUpdateObjects[UpdateObject->KindUpdate()];
    std::erase(list, UpdateObject);
    const int at = std::clamp(UpdateObject->OrderInList(), 0, static_cast<int>(list.size()));
    list.insert(list.begin() + at, UpdateObject);
    for (size_t i = 0; i < list.size(); ++i) list[i]->SetOrderInListRaw(static_cast<int>(i));
    return at;
}

void TpFIBDataSet::RemoveUpdateObject(TpFIBUpdateObject* UpdateObject) {
    for (auto& list : FUpdateObjects)
        if (std::erase(list, UpdateObject) > 0)
            for (size_t i = 0; i < list.size(); ++i) list[i]->SetOrderInListRaw(static_cast<int>(i));
}

void TpFIBDataSet::ExecUpdateObjects(TUpdateKind Kind, TRecordBuffer Buffer, TFIBOrderExecUO Order) {
    if (Kind > ukDelete) return;
    // A copy: an object's statement may not change the list, but a handler may free an object.
    const std::vector<TpFIBUpdateObject*> list = FUpdateObjects[Kind];
    for (TpFIBUpdateObject* object : list) {
        if (!object->Active || object->ExecuteOrder != Order || !Runnable(*object)) continue;
        StartUpdateTransaction();
        if (object->Open()) object->Close();
        if (!object->Prepared()) object->Prepare();
        SetQueryParams(*object, Buffer);
        object->ExecQuery();
        if (ReturnsRow(*object)) {
            WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
            RefreshFromQuery(*object, Buffer);
        }
    }
}

bool TpFIBDataSet::CanChange(bool BaseAnswer, TUpdateKind Kind) {
    if (!(AllowedUpdateKinds & (1u << Kind))) return false;
    if (BaseAnswer || (CachedUpdates() && OnUpdateRecord)) return true;
    for (TpFIBUpdateObject* object : FUpdateObjects[Kind])
        if (object->Active) return true;
    // Statements written per record at post.
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    return au.UpdateOnlyModifiedFields() && au.AutoReWriteSqls && au.CanChangeSQLs && !Trim(au.KeyFields()).empty() &&
           !au.UpdateTableName().empty();
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
    FBlock = {};
    FBlockErrorDecided = false;
    const bool useBlocks = AutoUpdateOptions().UseExecuteBlock;
    TUpdateKind lastKind = ukModify;
    Guarded(
        [&] {
            for (int i = 0; i < count; ++i) {
                ReadRecordFromCache(i, buffer, false);
                const TCachedUpdateStatus status = RecordStatusOf(buffer);
                if (status != cusModified && status != cusInserted && status != cusDeleted) continue;
                SetUpdatesPending(true);
                const TUpdateKind kind = status == cusModified ? ukModify : status == cusInserted ? ukInsert : ukDelete;
                lastKind = kind;
                SetBlobReadRecord(i);
                TFIBUpdateAction action = uaApply;
                // An error of the handler or of the statements: OnUpdateError chooses.
                auto decide = [&](EFIBError& E) {
                    if (std::exchange(FBlockErrorDecided, false)) throw;
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
                        const bool allowed = kind == ukModify ? CanEdit() : kind == ukInsert ? CanInsert() : CanDelete();
                        if (allowed && useBlocks) {
                            AddOrFlush(kind, i, buffer);
                        } else if (allowed) {
                            if (kind != ukDelete) RegenerateChangedFieldsSQL(kind == ukModify ? dsEdit : dsInsert, buffer);
                            if (kind == ukModify)
                                InternalPostRecord(&UpdateQuery(), buffer);
                            else if (kind == ukInsert)
                                InternalPostRecord(&InsertQuery(), buffer);
                            else
                                InternalDeleteRecord(DeleteQuery(), buffer);
                            // Settled by MarkCacheCommitted once the transaction commits.
                            ReadRecordFromCache(i, buffer, false);
                            SetRecordStatus(buffer, status);
                            WriteRecordToCache(i, buffer);
                        }
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
            if (useBlocks) FlushExecuteBlock(lastKind);
            SetUpdatesPending(!FSkippedRecords.empty());
            if (FSkippedRecords.empty()) AutoCommitUpdate();
        },
        [&] {
            FBlock = {};
            SetBlobReadRecord(-1);
            if (Active()) Resync({});
        });
}

void TpFIBDataSet::MarkCacheCommitted() { MarkCache(false); }

void TpFIBDataSet::MarkCacheClean() { MarkCache(true); }

void TpFIBDataSet::MarkCache(bool Clean) {
    TRecordsCache* cache = RecordsCache();
    if (!cache) return;
    std::unique_ptr<char[]> record(new char[std::max<uint32_t>(RecordBufferSize(), 8)]());
    TRecordBuffer buffer = record.get();
    std::vector<int> applied;
    for (int i = 0; i < CachedRecordCount(); ++i) {
        if (std::find(FSkippedRecords.begin(), FSkippedRecords.end(), i) != FSkippedRecords.end()) continue;
        ReadRecordFromCache(i, buffer, false);
        const TCachedUpdateStatus status = RecordStatusOf(buffer);
        if (status == cusUnmodified || status == cusDeletedApplied) continue;
        if (Clean || status == cusModified || status == cusInserted)
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

void TpFIBDataSet::AddOrFlush(TUpdateKind Kind, int Index, TRecordBuffer Buffer) {
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    const uint8_t code = Kind == ukModify ? 0 : Kind == ukInsert ? 1 : 2;
    bool parameters = false;
    std::string text = GenerateValuesSQLText(au.UpdateTableName(), au.KeyFields(), code, Buffer, &parameters);
    if (text.empty()) return;   // nothing of the record to write
    constexpr size_t MaxStatements = 255;
    constexpr size_t MaxLength = 65532;
    const std::string head = "EXECUTE BLOCK AS BEGIN";
    text += ";";
    if (parameters || head.size() + text.size() + 4 + 3 >= MaxLength) {
        // A value the text cannot carry, or a statement no block can hold: it runs alone, after
        // what the block holds so far, with its values as parameters.
        FlushExecuteBlock(Kind);
        text.pop_back();
        TFIBQuery alone;
        alone.SetDatabase(Database());
        alone.SetTransaction(UpdateTransaction());
        alone.SQL().SetText(text);
        StartUpdateTransaction();
        alone.Prepare();
        SetQueryParams(alone, Buffer);
        ExecRecordQuery(alone, "apply");
        CheckRecordChanged(alone);
        return;
    }
    // Firebird 3 compiles a block of at most 256 relation contexts: an UPDATE takes two, an
    // INSERT or DELETE one.
    constexpr int MaxContexts = 256;
    const int contexts = Kind == ukModify ? 2 : 1;
    if (FBlock.Lines.size() >= MaxStatements || FBlock.Length + text.size() + 2 + 5 >= MaxLength ||
        FBlock.Contexts + contexts > MaxContexts)
        FlushExecuteBlock(Kind);
    if (FBlock.Lines.empty()) FBlock.Length = head.size() + 2;
    FBlock.Lines.push_back(text);
    FBlock.Length += text.size() + 2;
    FBlock.Contexts += contexts;
    FBlock.Records.push_back(Index);
}

void TpFIBDataSet::FlushExecuteBlock(TUpdateKind Kind) {
    if (FBlock.Lines.empty()) return;
    std::string text = "EXECUTE BLOCK AS BEGIN";
    for (const std::string& line : FBlock.Lines) text += "\r\n" + line;
    text += "\r\nEND";
    for (;;) {
        try {
            StartUpdateTransaction();
            CheckUpdateTransaction();
            UpdateTransaction()->ExecSQLImmediate(text);
            break;
        } catch (EFIBError& E) {
            TFIBUpdateAction action = uaFail;
            if (OnUpdateError) {
                const uint32_t closes = CloseCount();
                OnUpdateError(this, E, Kind, action);
                CheckNotClosedBy(closes, "OnUpdateError");
            }
            if (action == uaFail) {
                FBlockErrorDecided = true;   // the record's own error rule must not ask again
                throw;
            }
            if (action == uaAbort) throw EAbort(E.what());
            // The block failed whole: none of its records reached the server.
            if (action == uaSkip) FSkippedRecords.insert(FSkippedRecords.end(), FBlock.Records.begin(), FBlock.Records.end());
            if (action == uaSkip || action == uaApplied) break;
        }
    }
    FBlock = {};
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
    const TUpdateKind kind = Query == &InsertQuery() ? ukInsert : ukModify;
    ExecUpdateObjects(kind, Buffer, oeBeforeDefault);
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
    // The blob fields follow the record's own statement when they are written apart.
    if (FBlobUpdateObject && FBlobUpdateObject->Active) FBlobUpdateObject->SetKindUpdate(kind);
    ExecUpdateObjects(kind, Buffer, oeAfterDefault);
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
    StartUpdateTransaction();
    ExecUpdateObjects(ukDelete, Buffer, oeBeforeDefault);
    const bool refreshAfter = InSet(Options(), poRefreshAfterDelete);
    if (HasNonBlankLine(Query.SQL())) {
        if (&Query == &DeleteQuery()) PrepareModifyQuery(2);
        SetQueryParams(Query, Buffer);
        ExecRecordQuery(Query, "delete");
        // A row the statement missed: with poRefreshAfterDelete the refresh below tells whether
        // it is still there; without it the delete cannot count as done.
        if (!refreshAfter) CheckRecordChanged(Query);
        if (Query.Open()) Query.Next();
    }
    ExecUpdateObjects(ukDelete, Buffer, oeAfterDefault);
    if (!refreshAfter || !RefreshFromQuery(RefreshQuery(), Buffer)) SetRecordStatus(Buffer, cusDeletedApplied);
    WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
    if (!CachedUpdates()) AutoCommitUpdate();
}

} // namespace qnl
