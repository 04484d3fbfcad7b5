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
    // The object writes beside the data set's own modify statement: in its transaction, so that
    // both commit or roll back together (the read transaction may even be read-only).
    if (!Transaction())
        SetTransaction(dataSet->UpdateTransaction() ? dataSet->UpdateTransaction() : dataSet->Transaction());
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
    SetContainer(nullptr);
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
        FUpdatesExecuted = true;
        if (ReturnsRow(*object)) {
            WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
            RefreshFromQuery(*object, Buffer);
        }
    }
}

// ---- Event reports ----

void TpFIBDataSet::SetContainer(TDataSetsContainer* Value) {
    if (Value == FContainer) return;
    if (FContainer) {
        FContainer->RemoveDataSet(this);
        FContainer->RemoveFreeNotification(this);
    }
    FContainer = Value;
    if (Value) {
        Value->AddDataSet(this);
        Value->FreeNotification(this);
    }
}

void TpFIBDataSet::Notification(TComponent* AComponent, qnl::TOperation Operation) {
    if (Operation == qnl::TOperation::opRemove && AComponent == FContainer) FContainer = nullptr;
    TFIBDataSet::Notification(AComponent, Operation);
}

void TpFIBDataSet::ReportEvent(TKindDataSetEvent Event) {
    TDataSetsContainer* global = TDataSetsContainer::GlobalContainer();
    if (global && global != FContainer) global->DataSetEvent(this, Event);
    if (FContainer) FContainer->DataSetEvent(this, Event);
}

void TpFIBDataSet::ReportError(TKindDataSetError Kind, EDatabaseError& E, TDataAction& Action) {
    TDataSetsContainer* global = TDataSetsContainer::GlobalContainer();
    if (global && global != FContainer) global->DataSetError(this, Kind, E, Action);
    if (FContainer) FContainer->DataSetError(this, Kind, E, Action);
}

void TpFIBDataSet::DoBeforeOpen() {
    ForgetShown();
    ReportEvent(deBeforeOpen);
    TFIBDataSet::DoBeforeOpen();
}

void TpFIBDataSet::DoBeforeClose() {
    ReportEvent(deBeforeClose);
    TFIBDataSet::DoBeforeClose();
}

void TpFIBDataSet::DoBeforeInsert() {
    FinishPendingDetailRefresh();
    if (!CanInsert()) throw EAbort();
    ReportEvent(deBeforeInsert);
    TFIBDataSet::DoBeforeInsert();
}

void TpFIBDataSet::DoAfterInsert() {
    ForgetShown();
    ReportEvent(deAfterInsert);
    TFIBDataSet::DoAfterInsert();
}

void TpFIBDataSet::DoAfterEdit() {
    ReportEvent(deAfterEdit);
    TFIBDataSet::DoAfterEdit();
}

void TpFIBDataSet::DoBeforeCancel() {
    TFIBDataSet::DoBeforeCancel();
    ReportEvent(deBeforeCancel);
}

void TpFIBDataSet::DoAfterCancel() {
    ForgetShown();
    ReportEvent(deAfterCancel);
    TFIBDataSet::DoAfterCancel();
}

void TpFIBDataSet::DoBeforeDelete() {
    if (!CanDelete()) throw EAbort();
    ReportEvent(deBeforeDelete);
    TFIBDataSet::DoBeforeDelete();
}

void TpFIBDataSet::DoBeforeScroll() {
    if (!ScrollEventsLocked()) ReportEvent(deBeforeScroll);
    TFIBDataSet::DoBeforeScroll();
}

void TpFIBDataSet::DoAfterScroll() {
    if (!ScrollEventsLocked()) ReportEvent(deAfterScroll);
    TFIBDataSet::DoAfterScroll();
}

void TpFIBDataSet::DoOnCalcFields() {
    ReportEvent(deOnCalcFields);
    TFIBDataSet::DoOnCalcFields();
}

void TpFIBDataSet::DoBeforeRefresh() {
    ReportEvent(deBeforeRefresh);
    TFIBDataSet::DoBeforeRefresh();
}

void TpFIBDataSet::DoAfterRefresh() {
    ForgetShown();
    ReportEvent(deAfterRefresh);
    TFIBDataSet::DoAfterRefresh();
}

int TpFIBDataSet::CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2) {
    int result = 0;
    bool compared = false;
    TDataSetsContainer* global = TDataSetsContainer::GlobalContainer();
    if (global && global != FContainer) compared = global->CompareFieldValues(Field, S1, S2, result);
    if (FContainer) {
        int own = 0;
        if (FContainer->CompareFieldValues(Field, S1, S2, own)) {
            result = own;
            compared = true;
        }
    }
    return compared ? result : TFIBDataSet::CompareFieldValues(Field, S1, S2);
}

void TpFIBDataSet::DoAfterEndUpdateTransaction(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force) {
    if (Action == TARollback || Action == TARollbackRetaining) {
        if (FUpdatesExecuted) FUpdatesBeforeRollback = true;
    } else if (InSet(Options(), poProtectedEdit) && !CachedUpdates()) {
        MarkCacheClean();
    }
    FUpdatesExecuted = false;
    TFIBDataSet::DoAfterEndUpdateTransaction(EndingTR, Action, Force);
}

TFIBXSQLVAR& TpFIBDataSet::ParamByNameOrRaise(const std::string& Name) {
    int index = -1;
    if (!ParamExist(Name, index)) throw Exception(FormatMessage(SFIBParameterNotExist, {Name, ComponentFullName(this)}));
    return Params().GetVar(index);
}

void TpFIBDataSet::SQLChanging(TObject* Sender) {
    TFIBDataSet::SQLChanging(Sender);
    if (FRewritingForRecord) return;
    FUpdatesExecuted = false;
    FUpdatesBeforeRollback = false;
    if (FPSParams && Sender == &SelectQuery()) FPSParams->Clear();
}

// ---- Filter and visible record numbers ----

bool TpFIBDataSet::IsVisibleRecord(TRecordBuffer Buffer) {
    const bool shown = TFIBDataSet::IsVisibleRecord(Buffer);
    const int index = RecordNumberOf(Buffer);
    if (index >= 0) {
        if (static_cast<size_t>(index) >= FShown.size()) FShown.resize(static_cast<size_t>(index) + 1, -1);
        FShown[static_cast<size_t>(index)] = shown ? 1 : 0;
    }
    return shown;
}

void TpFIBDataSet::FilterRecord(bool& Accept) {
    TFIBDataSet::FilterRecord(Accept);
    if (Accept) DoFilterRecord(this, Accept);
}

void TpFIBDataSet::DoFilterRecord(TDataSet*, bool&) {}

bool TpFIBDataSet::ShownAt(int Index) {
    if (static_cast<size_t>(Index) < FShown.size() && FShown[static_cast<size_t>(Index)] >= 0)
        return FShown[static_cast<size_t>(Index)] == 1;
    return IsCachedRecordVisible(Index);
}

int TpFIBDataSet::GetRecNo() {
    const int number = TFIBDataSet::GetRecNo();
    if (!VisibleRecNo() || State() == dsFilter || number <= 0) return number;
    int shown = 0;
    for (int i = 0; i < number; ++i) shown += ShownAt(i) ? 1 : 0;
    return shown;
}

void TpFIBDataSet::SetRecNo(int Value) {
    if (!VisibleRecNo() || Value < 1) return TFIBDataSet::SetRecNo(Value);
    int shown = 0;
    for (int i = 0;; ++i) {
        if (i >= CachedRecordCount() && FetchNext(1) == 0) {
            // Beyond the last shown record: the base's rule for a number past the end.
            return TFIBDataSet::SetRecNo(CachedRecordCount() + Value - shown);
        }
        if (ShownAt(i) && ++shown == Value) return TFIBDataSet::SetRecNo(i + 1);
    }
}

int TpFIBDataSet::GetRecordCount() {
    if (!(VisibleRecNo() && Filtered()) || !Active()) return TFIBDataSet::GetRecordCount();
    int shown = 0;
    for (int i = 0; i < CachedRecordCount(); ++i) shown += ShownAt(i) ? 1 : 0;
    return shown;
}

bool TpFIBDataSet::IsSequenced() {
    if (VisibleRecNo() && Filtered()) return SelectQuery().Eof();
    return TFIBDataSet::IsSequenced();
}

void TpFIBDataSet::SetFiltered(bool Value) {
    ForgetShown();
    TFIBDataSet::SetFiltered(Value);
}

void TpFIBDataSet::SetFilterText(const std::string& Value) {
    ForgetShown();
    TFIBDataSet::SetFilterText(Value);
}

void TpFIBDataSet::SetFilterOptions(TFilterOptions Value) {
    ForgetShown();
    TFIBDataSet::SetFilterOptions(Value);
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
    // Blocks are written from the update table and its keys; without them the statements the
    // program wrote apply each record (a block would write nothing and count it saved).
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    const bool useBlocks = au.UseExecuteBlock && !au.UpdateTableName().empty() && !Trim(au.KeyFields()).empty();
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

namespace {

// The block answers the position of its first UPDATE or DELETE that reached no row (0: none).
const std::string BlockHead = "EXECUTE BLOCK RETURNS (MISSED INTEGER) AS BEGIN\r\nMISSED = 0;";
const std::string BlockTail = "SUSPEND;\r\nEND";

} // namespace

void TpFIBDataSet::AddOrFlush(TUpdateKind Kind, int Index, TRecordBuffer Buffer) {
    const TAutoUpdateOptions& au = AutoUpdateOptions();
    const uint8_t code = Kind == ukModify ? 0 : Kind == ukInsert ? 1 : 2;
    bool parameters = false;
    std::string text = GenerateValuesSQLText(au.UpdateTableName(), au.KeyFields(), code, Buffer, &parameters);
    if (text.empty()) return;   // nothing of the record to write
    constexpr size_t MaxStatements = 255;
    constexpr size_t MaxLength = 65532;
    // An UPDATE or DELETE that reaches no row (another user deleted or changed its key) marks
    // the block, which then is undone: the change stays pending instead of counting as saved.
    constexpr size_t CheckLength = 64;
    text += ";";
    if (parameters || BlockHead.size() + BlockTail.size() + text.size() + CheckLength + 4 >= MaxLength) {
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
        FUpdatesExecuted = true;
        CheckRecordChanged(alone);
        return;
    }
    // Firebird 3 compiles a block of at most 256 relation contexts: an UPDATE takes two, an
    // INSERT or DELETE one.
    constexpr int MaxContexts = 256;
    const int contexts = Kind == ukModify ? 2 : 1;
    if (FBlock.Lines.size() >= MaxStatements || FBlock.Length + text.size() + CheckLength + 2 >= MaxLength ||
        FBlock.Contexts + contexts > MaxContexts)
        FlushExecuteBlock(Kind);
    if (FBlock.Lines.empty()) FBlock.Length = BlockHead.size() + BlockTail.size() + 4;
    if (Kind != ukInsert)
        text += " IF (MISSED = 0 AND ROW_COUNT <> 1) THEN MISSED = " + std::to_string(FBlock.Lines.size() + 1) + ";";
    FBlock.Lines.push_back(text);
    FBlock.Length += text.size() + 2;
    FBlock.Contexts += contexts;
    FBlock.Records.push_back(Index);
}

void TpFIBDataSet::FlushExecuteBlock(TUpdateKind Kind) {
    if (FBlock.Lines.empty()) return;
    std::string text = BlockHead;
    for (const std::string& line : FBlock.Lines) text += "\r\n" + line;
    text += "\r\n" + BlockTail;
    auto immediate = [&](const char* Statement) { UpdateTransaction()->ExecSQLImmediate(Statement); };
    for (;;) {
        bool saved = false;
        try {
            StartUpdateTransaction();
            CheckUpdateTransaction();
            immediate("SAVEPOINT FIB$APPLY");
            saved = true;
            TFIBQuery block;
            block.SetDatabase(Database());
            block.SetTransaction(UpdateTransaction());
            block.SetParamCheck(false);
            block.SQL().SetText(text);
            block.ExecQuery();
            const int missed = block.Eof() ? 0 : block.Fields()[0].GetAsInteger();
            block.Close();
            if (missed > 0 && static_cast<size_t>(missed) <= FBlock.Records.size())
                RaiseClientErrorMsg(std::string(SFIBErrorRecordUpdating) + SFIBRecordNotExist + " (%s, record %s)",
                                    {ComponentFullName(this), FBlock.Records[static_cast<size_t>(missed) - 1] + 1});
            immediate("RELEASE SAVEPOINT FIB$APPLY");
            FUpdatesExecuted = true;
            break;
        } catch (EFIBError& E) {
            // What the block did goes: none of its records reached the server.
            if (saved) {
                try {
                    immediate("ROLLBACK TO SAVEPOINT FIB$APPLY");
                    immediate("RELEASE SAVEPOINT FIB$APPLY");
                } catch (const EFIBError&) {
                    // the transaction itself failed; the error below tells why
                }
            }
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
    ForgetShown();
    ReportEvent(deAfterPost);
    if (InSet(Options(), poProtectedEdit) && !CachedUpdates() && !AutoCommit && Active() && !IsEmpty()) {
        // Locked and written, not yet committed: the record shows as changed until the commit.
        if (TRecordBuffer buffer = ActiveBuffer()) {
            SetRecordStatus(buffer, cusModified);
            WriteRecordToCache(RecordNumberOf(buffer), buffer);
        }
    }
    TFIBDataSet::DoAfterPost();
    if (AutoCommit && CachedUpdates()) ApplyAndCommit();
}

void TpFIBDataSet::DoAfterDelete() {
    ForgetShown();
    ReportEvent(deAfterDelete);
    TFIBDataSet::DoAfterDelete();
    if (AutoCommit && CachedUpdates()) ApplyAndCommit();
}

void TpFIBDataSet::DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
    TFIBDataSet::DoPostError(DataSet, E, Action);
    ReportError(deOnPostError, E, Action);
    if (OnPostError) OnPostError(DataSet, E, Action);
}

void TpFIBDataSet::DoDeleteError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
    ReportError(deOnDeleteError, E, Action);
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
        FUpdatesExecuted = true;
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
        FUpdatesExecuted = true;
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
