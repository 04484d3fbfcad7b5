// The data set's structure, properties, prepare, open and close, and its part of editing; see
// FIBDataSet.h. Fetching, navigation and field values are in FIBDataSetFetch.cpp, writing
// values and blob streams in FIBDataSetValues.cpp, the field classes in FIBFields.cpp.
#include "datasets/FIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "datasets/DBParsers.h"
#include "datasets/pFIBDataInfo.h"
#include "platform/IntText.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cstring>

namespace qnl {

bool HasNonBlankLine(const TStringList& Lines) {
    for (int i = 0; i < Lines.Count(); ++i)
        if (!Trim(Lines[i]).empty()) return true;
    return false;
}

namespace {

bool IsCharType(int Type) { return Type == SQL_TEXT || Type == SQL_VARYING; }

} // namespace

void TFIBCustomDataSet::FireListeners(TNotifyEventList& List) {
    for (int i = 0; i < List.GetCount(); ++i)
        if (auto event = List.GetEvent(i)) event(this);
}

// ---- TCacheModelOptions ----

void TCacheModelOptions::SetCacheModelKind(TCacheModelKind Value) {
    if (Value == FCacheModelKind) return;
    if (FOwner) {
        FOwner->CheckInactive();
        if (Value == cmkLimitedBufferSize && !FOwner->CanUseLimitedCache())
            RaiseClientError(cecCantUseLimitedCache, {ComponentFullName(FOwner)});
    }
    FCacheModelKind = Value;
    if (Value == cmkLimitedBufferSize && FBufferChunks < MinLimitedBufferChunks) FBufferChunks = MinLimitedBufferChunks;
}

void TCacheModelOptions::SetBufferChunks(int32_t Value) {
    if (FOwner) FOwner->CheckInactive();
    FBufferChunks = Value > 0 ? Value : 32;
    if (FCacheModelKind == cmkLimitedBufferSize && FBufferChunks < MinLimitedBufferChunks) FBufferChunks = MinLimitedBufferChunks;
}

// ---- Construction ----

TFIBCustomDataSet::TFIBCustomDataSet(TComponent* AOwner)
    : TDataSet(AOwner), FBase(this), FOptions(SetOf<TpFIBDsOptions>(poTrimCharFields) |
                                              SetOf<TpFIBDsOptions>(poRefreshAfterPost) |
                                              SetOf<TpFIBDsOptions>(poStartTransaction) |
                                              SetOf<TpFIBDsOptions>(poAutoFormatFields)),
      FPrepareOptions(SetOf<TpPrepareOptions>(pfImportDefaultValues) | SetOf<TpPrepareOptions>(psUseBooleanField) |
                      SetOf<TpPrepareOptions>(psGetOrderInfo) | SetOf<TpPrepareOptions>(psSetEmptyStrToNull)) {
    FDeleteQuery = CreateInternalQuery("DeleteQuery");
    FInsertQuery = CreateInternalQuery("InsertQuery");
    FRefreshQuery = CreateInternalQuery("RefreshQuery");
    FUpdateQuery = CreateInternalQuery("UpdateQuery");
    FSelectQuery = CreateInternalQuery("SelectQuery");
    // A key compared with "=" names one record; a null key names none, never every row
    // whose key is null.
    for (TFIBQuery* q : {FDeleteQuery.get(), FRefreshQuery.get(), FUpdateQuery.get()})
        q->SetOptions(SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
    SetBookmarkSize(8);
    FBase.OnDatabaseDisconnecting = [this](TObject* Sender) { DatabaseDisconnectingHandler(Sender); };
    FBase.OnDatabaseDisconnected = [this](TObject* Sender) {
        if (DatabaseDisconnected) DatabaseDisconnected(Sender);
    };
    FBase.OnDatabaseFree = [this](TObject* Sender) {
        if (DatabaseFree) DatabaseFree(Sender);
    };
    FBase.OnTransactionEnding = [this](TObject* Sender) { DoTransactionEnding(Sender); };
    FBase.OnTransactionEnded = [this](TObject* Sender) { DoTransactionEnded(Sender); };
    FBase.OnTransactionFree = [this](TObject* Sender) {
        if (TransactionFree) TransactionFree(Sender);
    };
    FFieldCache.SetSorted(true);
    FRelationNames.SetSorted(true);
    FRelationNames.SetDuplicates(TDuplicates::dupIgnore);
    FSortFields = Variant::Null();
    SetOptions(FOptions);
    if (auto* database = dynamic_cast<TFIBDatabase*>(AOwner)) SetDatabase(database);
    if (auto* transaction = dynamic_cast<TFIBTransaction*>(AOwner)) SetTransaction(transaction);
}

TFIBCustomDataSet::~TFIBCustomDataSet() {
    try {
        Close();
    } catch (...) {
        // a failing close during destruction leaves nothing to report to
    }
    DestroyFields();
    FreeOwnedStreams();
}

TFIBDataSet::~TFIBDataSet() = default;

std::unique_ptr<TFIBQuery> TFIBCustomDataSet::CreateInternalQuery(const std::string& Name) {
    auto query = std::make_unique<TFIBQuery>(this);
    query->OnSQLChanging = [this](TObject* Sender) { SQLChanging(Sender); };
    query->GoToFirstRecordOnExecute = false;
    query->SetParamCheck(true);
    query->SetName(Name);
    return query;
}

std::string TFIBCustomDataSet::FullName() const { return ComponentFullName(this); }

// ---- Properties ----

void TFIBCustomDataSet::SetDatabase(TFIBDatabase* Value) {
    CheckDataSetClosed(" change database ");
    const bool changed = Value != Database();
    for (TFIBQuery* q : {FDeleteQuery.get(), FInsertQuery.get(), FRefreshQuery.get(), FSelectQuery.get(), FUpdateQuery.get()})
        q->SetDatabase(Value);
    FBase.SetDatabase(Value);
    if (changed && Value && Value->DefaultUpdateTransaction() &&
        (!UpdateTransaction() || UpdateTransaction() == Transaction()))
        SetUpdateTransaction(Value->DefaultUpdateTransaction());
}

void TFIBCustomDataSet::SetTransaction(TFIBTransaction* Value) {
    CheckDataSetClosed(" change transaction ");
    const bool sharedUpdate = FDeleteQuery->Transaction() == FSelectQuery->Transaction();
    if (TFIBTransaction* old = Transaction()) {
        old->RemoveEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::ReadTrBeforeStart), tekBeforeStart);
        old->RemoveEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::ReadTrAfterStart), tekAfterStart);
        old->RemoveEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::ReadTrBeforeEnd), tekBeforeEnd);
        old->RemoveEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::ReadTrAfterEnd), tekAfterEnd);
        RemoveUpdateCallbacks(old);
    }
    FBase.SetTransaction(Value);
    FSelectQuery->SetTransaction(Value);
    AddReadCallbacks(Value);
    if (sharedUpdate) {
        FUpdateQuery->SetTransaction(Value);
        FInsertQuery->SetTransaction(Value);
        FDeleteQuery->SetTransaction(Value);
        FRefreshQuery->SetTransaction(Value);
        AddUpdateCallbacks(Value);
    } else if (FRefreshTransactionKind == tkReadTransaction) {
        FRefreshQuery->SetTransaction(Value);
    }
}

void TFIBCustomDataSet::SetUpdateTransaction(TFIBTransaction* Value) {
    if (FRefreshTransactionKind == tkUpdateTransaction) FRefreshQuery->SetTransaction(Value);
    RemoveUpdateCallbacks(FDeleteQuery->Transaction());
    FDeleteQuery->SetTransaction(Value);
    FInsertQuery->SetTransaction(Value);
    FUpdateQuery->SetTransaction(Value);
    AddUpdateCallbacks(Value);
}

void TFIBCustomDataSet::SetUpdateRecordTypes(TFIBUpdateRecordTypes Value) {
    FUpdateRecordTypes = Value;
    if (Active()) First();
}

void TFIBCustomDataSet::SetRefreshTransactionKind(TTransactionKind Value) {
    FRefreshQuery->SetTransaction(Value == tkReadTransaction ? Transaction() : UpdateTransaction());
    FRefreshTransactionKind = Value;
}

void TFIBCustomDataSet::SetMDTSQLExecutor(TMDTSQLExecutor Value) {
    Close();
    FMDTSQLExecutor = Value;
    FSelectQuery->SetMDTSQLExecutor(Value);
    FRefreshQuery->SetMDTSQLExecutor(Value);
    const TMDTSQLExecutor modify = Value == se_Local ? se_ServerAfterLocal : Value;
    for (TFIBQuery* q : {FUpdateQuery.get(), FInsertQuery.get(), FDeleteQuery.get()}) q->SetMDTSQLExecutor(modify);
}

bool TFIBCustomDataSet::CanUseLimitedCache() {
    if (FCachedUpdates || Trim(FSelectQuery->GetOrderClause()).empty()) return false;
    if (!AutoCommit && UpdateTransaction() != Transaction()) return false;
    for (int i = 0; i < FSelectQuery->Params().Count(); ++i)
        if (IsNewParamName(FSelectQuery->Params().GetVar(i).Name())) return false;
    return true;
}

void TFIBCustomDataSet::SetSelectSQL(const std::string& Text) {
    CheckDataSetClosed(" change SelectSQL ");
    FSelectQuery->SQL().SetText(Text);
}

void TFIBCustomDataSet::SetOptions(TpFIBDsOptions Value) {
    FOptions = Value;
    for (TFIBQuery* q : {FSelectQuery.get(), FUpdateQuery.get(), FDeleteQuery.get(), FInsertQuery.get()}) {
        TpFIBQueryOptions o = q->Options();
        o = InSet(Value, poStartTransaction) ? (o | SetOf<TpFIBQueryOptions>(qoStartTransaction))
                                             : (o & ~SetOf<TpFIBQueryOptions>(qoStartTransaction));
        o = InSet(Value, poNoForceIsNull) || ComparesOneRecord(*q) ? (o | SetOf<TpFIBQueryOptions>(qoNoForceIsNull))
                                                                   : (o & ~SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
        q->SetOptions(o);
    }
    SetCloseOnTransactionEnd();
}

bool TFIBCustomDataSet::ComparesOneRecord(const TFIBQuery& Query) const {
    return &Query == FUpdateQuery.get() || &Query == FDeleteQuery.get() || &Query == FRefreshQuery.get();
}

void TFIBCustomDataSet::SetCloseOnTransactionEnd() {
    FSelectQuery->SetCloseOnTransactionEnd(!FCachedUpdates && !InSet(FOptions, poDontCloseAfterEndTransaction));
}

void TFIBCustomDataSet::SetPrepareOptions(TpPrepareOptions Value) {
    const TpPrepareOptions layout = SetOf<TpPrepareOptions>(psUseBooleanField) |
                                    SetOf<TpPrepareOptions>(psSQLINT64ToBCD) |
                                    SetOf<TpPrepareOptions>(psUseLargeIntField);
    if ((Value & layout) != (FPrepareOptions & layout)) {
        CheckDataSetClosed("change psUseBooleanField or psSQLINT64ToBCD or psUseLargeIntField\r\n");
        if (FPrepared) {
            FieldDefs().Clear();
            FieldDefs().SetUpdated(false);
        }
    }
    FPrepareOptions = Value;
}

void TFIBCustomDataSet::SetUniDirectional(bool Value) {
    CheckDataSetClosed(" change Unidirectional property ");
    FUniDirectional = Value;
}

void TFIBCustomDataSet::SetCachedUpdates(bool Value) {
    if (Value == FCachedUpdates) return;
    // Switching off drops what is cached: the cache then holds only what the server has.
    if (!Value && Active()) CancelUpdates();
    if (Value) CheckDataSetClosed(" change CachedUpdates mode ");
    // The limited model keeps no changes: the rows it holds come and go with the window.
    if (Value && Limited()) RaiseClientError(cecCantUseLimitedCache, {FullName()});
    FCachedUpdates = Value;
    SetCloseOnTransactionEnd();
}

void TFIBCustomDataSet::SetBeforeFetchRecord(TOnFetchRecord Value) {
    FBeforeFetchRecord = std::move(Value);
    if (FBeforeFetchRecord)
        FSelectQuery->BeforeFetch = [this](int RecordNumber, bool& Stop) {
            FBeforeFetchRecord(FSelectQuery.get(), RecordNumber, Stop);
        };
    else
        FSelectQuery->BeforeFetch = nullptr;
}

void TFIBCustomDataSet::SQLChanging(TObject* Sender) {
    FAutoUpdateOptions.CachedKeyCondition.clear();
    FAutoUpdateOptions.CachedSelectText.clear();
    if (Sender != FSelectQuery.get()) return;
    FSQLChanged = true;
    CheckDataSetClosed(" change SelectSQL ");
    FieldDefs().Clear();
    FPrepared = false;
}

// ---- Checks ----

void TFIBCustomDataSet::CheckDataSetClosed(const std::string& Reason) {
    if (FOpen) RaiseClientError(cecDataSetOpen, {Reason, FullName()});
}

void TFIBCustomDataSet::CheckDataSetOpen(const std::string& Reason) {
    if (State() == dsInactive) RaiseClientError(cecDataSetClosed, {Reason, FullName()});
}

void TFIBCustomDataSet::CheckNotUniDirectional() {
    if (FUniDirectional) RaiseClientError(cecUniDirectional);
}

void TFIBCustomDataSet::CheckEditState() {
    CheckActive();
    switch (State()) {
    case dsEdit:
        if (!CanEdit()) RaiseClientError(cecCantUpdate, {FullName()});
        break;
    case dsInsert:
        if (!CanInsert()) RaiseClientError(cecCantInsert, {FullName()});
        break;
    default:
        RaiseClientError(cecNotEditing, {FullName()});
    }
}

void TFIBCustomDataSet::CheckInactive() { TDataSet::CheckInactive(); }

void TFIBCustomDataSet::CheckFieldCompatibility(TField* Field, TFieldDef* FieldDef) {
    const TFieldType t = Field->DataType();
    if ((t == ftDate || t == ftTime || t == ftDateTime) && t != FieldDef->DataType)
        DatabaseError("Type mismatch for field '" + Field->DisplayName() + "', expecting: " + FieldTypeName(t) +
                      " actual: " + FieldTypeName(FieldDef->DataType));
    TDataSet::CheckFieldCompatibility(Field, FieldDef);
}

TFieldClass TFIBCustomDataSet::GetFieldClass(TFieldType FieldType) {
    switch (FieldType) {
    case ftString: return NewField<TFIBStringField>;
    case ftSmallint: return NewField<TFIBSmallIntField>;
    case ftInteger: return NewField<TFIBIntegerField>;
    case ftWord: return NewField<TWordField>;
    case ftBoolean: return NewField<TFIBBooleanField>;
    case ftFloat: return NewField<TFIBFloatField>;
    case ftCurrency: return NewField<TCurrencyField>;
    case ftBCD: return NewField<TFIBBCDField>;
    case ftDate: return NewField<TFIBDateField>;
    case ftTime: return NewField<TFIBTimeField>;
    case ftDateTime: return NewField<TFIBDateTimeField>;
    case ftBytes: return NewField<TFIBArrayField>;
    case ftVarBytes: return NewField<TVarBytesField>;
    case ftAutoInc: return NewField<TAutoIncField>;
    case ftGraphic: return NewField<TGraphicField>;
    case ftBlob:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: return NewField<TFIBBlobField>;
    case ftMemo: return NewField<TFIBMemoField>;
    case ftLargeint: return NewField<TFIBLargeIntField>;
    case ftWideString: return NewField<TFIBWideStringField>;
    case ftGuid: return NewField<TFIBGuidField>;
    case ftWideMemo: return NewField<TFIBWideMemoField>;
    default: return nullptr;
    }
}

void TFIBCustomDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deFieldChange && OnFieldChange) OnFieldChange(reinterpret_cast<TField*>(Info));
    FDataSetChangeDispatch = true;
    Guarded([&] { TDataSet::DataEvent(Event, Info); }, [&] { FDataSetChangeDispatch = false; });
    if (FControlsEnabled && ControlsDisabled()) {
        FControlsEnabled = false;
        if (OnDisableControls) OnDisableControls(this);
    } else if (!FControlsEnabled && !ControlsDisabled()) {
        FControlsEnabled = true;
        if (OnEnableControls) OnEnableControls(this);
    }
}

// ---- Editing tests ----

bool TFIBCustomDataSet::CanEdit() {
    if (HasNonBlankLine(UpdateSQL())) return true;
    TRecordBuffer buffer = ActiveBuffer();
    return FCachedUpdates && buffer && Active() && !IsEmpty() && (buffer[5] & 7) == cusInserted;
}

bool TFIBCustomDataSet::CanInsert() { return HasNonBlankLine(InsertSQL()); }
bool TFIBCustomDataSet::CanDelete() { return HasNonBlankLine(DeleteSQL()); }

// ---- Prepare ----

void TFIBCustomDataSet::ResolveDatabaseAndTransaction() {
    if (!Database() && Transaction() && Transaction()->DefaultDatabase()) SetDatabase(Transaction()->DefaultDatabase());
    if (!Transaction() && Database() && Database()->DefaultTransaction()) SetTransaction(Database()->DefaultTransaction());
    TFIBTransaction* tr = Transaction();
    if (tr && !tr->Active()) {
        if (!tr->DefaultDatabase() && Database()) tr->SetDefaultDatabase(Database());
        if (InSet(FOptions, poStartTransaction)) tr->StartTransaction();
    }
}

void TFIBCustomDataSet::Prepare() {
    // The pairing comes first so that a data set given only a transaction (or only a database
    // with a default transaction) passes the link's checks.
    ResolveDatabaseAndTransaction();
    FBase.CheckDatabase();
    FBase.CheckTransaction();
    if (!HasNonBlankLine(SelectSQL())) RaiseClientError(cecEmptyQuery, {"Prepare " + FullName()});
    if (!FSelectQuery->Open()) FSelectQuery->Prepare();
    FPrepared = true;
    InternalInitFieldDefs();
}

void TFIBCustomDataSet::PrepareModifyQuery(int Kind) {
    TFIBQuery* query = Kind == 0 ? FUpdateQuery.get()
                       : Kind == 1 ? FInsertQuery.get()
                       : Kind == 2 ? FDeleteQuery.get()
                                   : FRefreshQuery.get();
    if (!HasNonBlankLine(query->SQL()) || query->Prepared() || query->SQL()[0] == "No Action") return;
    TFIBTransaction* own = query->Transaction();
    if (!own) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(query)});
    if (!Transaction()) RaiseClientError(cecTransactionNotAssigned, {FullName()});
    if (own->GetMainDatabase() == Database()) {
        // Prepared in the read transaction, which the options may start; the statement keeps
        // its own transaction for running.
        query->SetTransaction(Transaction());
        Guarded(
            [&] {
                ResolveDatabaseAndTransaction();
                query->Prepare();
            },
            [&] { query->SetTransaction(own); });
        return;
    }
    const bool wasActive = own->Active();
    if (!wasActive) own->StartTransaction();
    query->Prepare();
    if (!wasActive) own->Commit();
}

void TFIBCustomDataSet::InternalInitFieldDefs() {
    if (!FPrepared) {
        Prepare();   // comes back here
        return;
    }
    BuildFieldDefs();
}

bool IsSystemName(const std::string& Name) { return Name.size() > 4 && Name.compare(0, 4, "RDB$") == 0; }

void TFIBCustomDataSet::BuildFieldDefs() {
    TFIBDatabase* db = Database();
    const std::vector<int> unicodeSets = db ? db->GetUnicodeCharSets() : std::vector<int>{3};
    auto isUnicodeSet = [&](int Id) { return std::find(unicodeSets.begin(), unicodeSets.end(), Id) != unicodeSets.end(); };
    const bool preFirebird2 = db && db->Connected() && db->IsPreFirebird2Connect();
    TFieldDefs& defs = FieldDefs();
    defs.BeginUpdate();
    Guarded(
        [&] {
            defs.Clear();
            TFIBXSQLDA& cols = FSelectQuery->Fields();
            for (int i = 0; i < cols.Count(); ++i) {
                TFIBXSQLVAR& v = cols[i];
                const int type = v.GetSQLType();
                const int scale = v.GetScale();
                std::string name = v.Name();
                TField* existing = FindField(name);
                TFieldType ft = ftUnknown;
                int size = 0;
                // The Boolean rule: the column's domain says so, or a persistent Boolean field
                // of that name exists.
                auto isBoolean = [&] {
                    if (existing && existing->DataType() == ftBoolean) return true;
                    if (!InSet(FPrepareOptions, psUseBooleanField) || !db) return false;
                    const std::string relation = v.GetRelationName();
                    if (relation.empty() || relation == "FIB$FIELDS_INFO") return false;
                    TpFIBFieldInfo* info = TableInfoCache().GetFieldInfo(db, relation, false, v.GetSqlName());
                    return info && info->IsBoolean();
                };
                switch (type) {
                case SQL_VARYING:
                case SQL_TEXT: {
                    const int charSet = v.GetSQLSubtype() & 0xFF;
                    size = v.GetSize();
                    ft = ftString;
                    if (isUnicodeSet(charSet)) {
                        ft = ftWideString;
                        if (!(preFirebird2 && IsSystemName(v.GetSqlName())) && db)
                            size /= std::max(db->BytesPerCharacter(charSet), 1);
                    }
                    if (InSet(FPrepareOptions, psUseGuidField) && size == 16 && db) {
                        TpFIBFieldInfo* info = TableInfoCache().GetFieldInfo(db, v.GetRelationName(), false, v.GetSqlName());
                        if (info && info->IsGuid()) {
                            ft = ftGuid;
                            size = 38;
                        }
                    }
                    break;
                }
                case SQL_DOUBLE:
                case SQL_FLOAT: ft = ftFloat; break;
                case SQL_LONG:
                case SQL_SHORT:
                    if (scale < 0)
                        ft = ftFloat;
                    else if (isBoolean())
                        ft = ftBoolean;
                    else if (v.GetSize() == 2 && !(existing && existing->DataType() != ftSmallint))
                        ft = ftSmallint;
                    else
                        ft = ftInteger;
                    break;
                case SQL_TIMESTAMP: ft = ftDateTime; break;
                case SQL_BLOB: {
                    const int subType = v.GetSQLSubtype();
                    const bool memo = subType == 1 || (db && db->HasExtraMemoSubtypes() && subType >= 0 && subType <= 255 &&
                                                       db->IsMemoSubtype(static_cast<uint8_t>(subType)));
                    ft = ftBlob;
                    if (memo)
                        ft = db && db->NeedUnicodeFieldTranslation() && db->IsUnicodeConnect() && isUnicodeSet(scale & 0xFF)
                                 ? ftWideMemo
                                 : ftMemo;
                    size = 8;
                    break;
                }
                case SQL_ARRAY: ft = ftBytes; size = 8; break;
                case SQL_TYPE_TIME: ft = ftTime; break;
                case SQL_TYPE_DATE: ft = ftDate; break;
                case SQL_INT64:
                    if (scale == 0)
                        ft = InSet(FPrepareOptions, psUseLargeIntField) ? ftLargeint : ftBCD;
                    else if (scale < -4 && !InSet(FPrepareOptions, psSQLINT64ToBCD))
                        ft = ftFloat;
                    else {
                        ft = ftBCD;
                        size = -scale;
                    }
                    break;
                case SQL_IB_BOOLEAN:
                case SQL_BOOLEAN: ft = ftBoolean; break;
                default: continue;   // no definition
                }
                if (existing && existing->Size() != size && (ft == ftString || ft == ftWideString || ft == ftBCD))
                    existing->SetSize(size);
                if (existing && ft == ftGuid) existing->SetSize(38);
                TFieldDef* def = defs.Add(name, ft, size, false);
                def->FieldNo = i + 1;   // the column's number even when an earlier column has no definition
                if (ft == ftBCD) def->Precision = 18;
            }
        },
        [&] { defs.EndUpdate(); });
    defs.SetUpdated(true);
}

// ---- Record layout ----

void TFIBCustomDataSet::LayOutRecord() {
    TFIBDatabase* db = Database();
    TFIBXSQLDA& cols = FSelectQuery->Fields();
    const int n = cols.Count();
    FFieldDescr.Clear();
    FFieldDescr.SetCapacity(n);
    const std::vector<int> unicodeSets = db ? db->GetUnicodeCharSets() : std::vector<int>{3};
    const bool preFirebird2 = db && db->Connected() && db->IsPreFirebird2Connect();
    uint32_t offset = static_cast<uint32_t>(n) + 6;
    uint32_t cacheSize = static_cast<uint32_t>(n) + 1;
    std::vector<int> strings;
    for (int i = 0; i < n; ++i) {
        TFIBXSQLVAR& v = cols[i];
        const int type = v.GetSQLType();
        int size = v.GetSize();
        switch (type) {
        case SQL_SHORT: size = 2; break;
        case SQL_LONG:
        case SQL_FLOAT:
        case SQL_TYPE_TIME:
        case SQL_TYPE_DATE: size = 4; break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
        case SQL_TIMESTAMP:
        case SQL_INT64: size = 8; break;
        case SQL_TEXT:
        case SQL_VARYING: {
            const int charSet = v.GetSQLSubtype() & 0xFF;
            const bool unicodeSet = std::find(unicodeSets.begin(), unicodeSets.end(), charSet) != unicodeSets.end();
            if (db && unicodeSet && !db->IsUnicodeCharSet(charSet) && !(preFirebird2 && IsSystemName(v.GetSqlName())))
                size /= std::max(db->BytesPerCharacter(charSet), 1);
            break;
        }
        default: break;
        }
        const std::string sqlName = v.GetSqlName();
        const bool dbKey = sqlName == "DB_KEY" || sqlName == "RDB$DB_KEY";
        const TFieldDef* def = nullptr;
        for (int d = 0; d < FieldDefs().Count(); ++d)
            if (FieldDefs().Items(d)->FieldNo == i + 1) def = FieldDefs().Items(d);
        const uint8_t kind = def && def->DataType == ftWideString ? 2 : (def && def->DataType == ftGuid ? 1 : 0);
        const bool inCollection =
            IsCharType(type) && kind != 1 && !dbKey && (size > 20 || (v.GetSQLSubtype() & 0xFF) == 1);
        const int index = FFieldDescr.Add(static_cast<uint16_t>(type), static_cast<int16_t>(v.GetScale()),
                                          static_cast<uint16_t>(size), (v.GetXSQLVAR()->sqltype & 1) ? 1 : 0,
                                          dbKey ? 1 : 0, inCollection ? 1 : 0, kind);
        TFIBFieldDescr& d = FFieldDescr.Items(index);
        d.SubType = static_cast<uint16_t>(v.GetSQLSubtype());
        d.RelationName = v.GetRelationName();
        d.SqlName = sqlName;
        d.TableAlias = FSelectQuery->GetFieldTableAlias(i);
        if (inCollection) {
            d.StringIndex = static_cast<int32_t>(strings.size());
            strings.push_back(index);
        } else {
            d.DataOffset = offset;
            offset += static_cast<uint32_t>(size);
            cacheSize += static_cast<uint32_t>(size);
        }
    }
    const uint32_t stringStart = offset;
    for (int index : strings) {
        TFIBFieldDescr& d = FFieldDescr.Items(index);
        d.DataOffset = offset;
        offset += d.DataSize + 4u;
    }
    FStringAreaSize = offset - stringStart;
    FStringColumnCount = static_cast<int>(strings.size());
    const auto blobSlots = static_cast<uint32_t>(BlobFields().size());
    FBlobAreaOffset = offset;
    FCalcAreaOffset = offset + blobSlots * BlobStreamSlotSize;
    FRecordBufferSize = FCalcAreaOffset + static_cast<uint32_t>(CalcFieldsSize());
    FCacheRecordSize = cacheSize + blobSlots * BlobStreamSlotSize;
}

std::vector<TField*> TFIBCustomDataSet::BlobFields() {
    std::vector<TField*> list;
    for (TField* f : Fields())
        if (f->IsBlob() && f->FieldNo() > 0) list.push_back(f);
    return list;
}

uint32_t TFIBCustomDataSet::BlobSlotOffset(TField* Field) {
    const std::vector<TField*> blobs = BlobFields();
    const auto slot = static_cast<uint32_t>(std::find(blobs.begin(), blobs.end(), Field) - blobs.begin());
    return FBlobAreaOffset + slot * BlobStreamSlotSize;
}

// ---- Open and close ----

bool TFIBCustomDataSet::DefaultFieldsMode() { return Active() ? DefaultFields() : (FieldCount() == 0 || DefaultFields()); }

void TFIBCustomDataSet::InternalOpen() {
    FUpdatesPending = false;
    if (FSelectQuery->MacroChangesPending()) SQLChanging(FSelectQuery.get());
    if (!(FPrepared && FSelectQuery->Prepared())) Prepare();
    if (FieldDefs().Count() == 0) InternalInitFieldDefs();
    SetParamsFromMaster();
    const TFIBSQLTypes type = FSelectQuery->SQLType();
    if (type != SQLSelect && type != SQLSelectForUpdate) {
        // Not a query: it runs, and the data set stays closed.
        FSelectQuery->ExecQuery();
        return;
    }
    if (DefaultFieldsMode()) CreateFields();
    BindFields(true);
    for (TField* f : Fields()) {
        if (f->FieldNo() <= 0 || !f->IsBlob()) continue;
        const TFIBXSQLVAR& col = FSelectQuery->Fields()[f->FieldNo() - 1];
        if (auto* blob = dynamic_cast<TFIBBlobField*>(f)) blob->SubType = static_cast<int16_t>(col.GetSQLSubtype());
        if (auto* memo = dynamic_cast<TFIBMemoField*>(f)) {
            memo->SubType = static_cast<int16_t>(col.GetSQLSubtype());
            memo->CharSetID = col.GetScale() & 0xFF;
        }
        if (auto* memo = dynamic_cast<TFIBWideMemoField*>(f)) {
            memo->SubType = static_cast<int16_t>(col.GetSQLSubtype());
            memo->CharSetID = col.GetScale() & 0xFF;
        }
    }
    FCurrentRecord = -1;
    DoAskRecordCount();
    FSelectQuery->ExecQuery();
    FOpen = FSelectQuery->Open();
    LayOutRecord();
    FCacheCalcFields = InSet(FOptions, poCacheCalcFields);
    const uint32_t cacheRecord = FCacheRecordSize + (FCacheCalcFields ? static_cast<uint32_t>(CalcFieldsSize()) : 0);
    FRecords = std::make_unique<TRecordsCache>(FCacheModelOptions.BufferChunks(), FRecordBufferSize - 5, cacheRecord,
                                               static_cast<int16_t>(FStringColumnCount));
    FRecords->AddBlock();
    FRecords->SetLogMode(FCachedUpdates);
    for (int i = 0; i < FFieldDescr.Count(); ++i) {
        const TFIBFieldDescr& d = FFieldDescr.Items(i);
        if (d.InStringCollection) FRecords->SetStringField(d.StringIndex + 1, d.DataOffset - 5, d.DataSize);
    }
    // A filter set while the data set was closed takes effect now (the evaluator needs the fields).
    if (!FFilterParser && !FastTrim(Filter()).empty()) BuildFilterParser(Filter(), FilterOptions());
    if (InSet(FPrepareOptions, psGetOrderInfo) || Limited()) GetOrderInfo();
    if (Limited()) AddOrderTieBreaker();
    PrepareBookMarkSize();
    if (Limited()) {
        PrepareLimitedCacheQueries();
        FCurrentSelect = FSelectQuery.get();
        ResetWindow(true);
        // With a tie-breaker the rows come in the completed order from the start too.
        if (!FTieBreaker.empty()) LimitedFirst();
    }
}

void TFIBCustomDataSet::GetOrderInfo() {
    // A local sort kept for the reopen (poPersistentSorting) stays; otherwise the rows come in
    // the ORDER BY's order again, which is read.
    if (FLocallySorted && IsSorted()) {
        if (InSet(FOptions, poPersistentSorting)) return;
        FLocallySorted = false;
    }
    TFIBDatabase* db = Database();
    const bool nullsSmallest = db && db->IsFB21OrLater();
    const std::string text = FSelectQuery->ExpandedSQLText();
    GetOrderFields(text, nullsSmallest, FSortFields);
    FLocallySorted = false;
    if (FSortFields.IsNull() || FSortFields.IsEmpty()) return;
    const int low = FSortFields.LowBound(1);
    const int high = FSortFields.HighBound(1);
    // Where the ORDER BY names no NULLS placement the server's own applies: NULL is the smallest
    // value on Firebird 2.1 and later (first ascending, last descending), the largest before.
    // The items that took the default are those whose flag follows the default given.
    Variant other;
    GetOrderFields(text, !nullsSmallest, other);
    for (int i = low; i <= high; ++i)
        if (other.GetElement({i, 2}).AsBoolean() != FSortFields.GetElement({i, 2}).AsBoolean()) {
            const bool ascending = FSortFields.GetElement({i, 1}).AsBoolean();
            FSortFields.PutElement({i, 2}, Variant(ascending == nullsSmallest));
        }
    for (int i = low; i <= high; ++i) {
        const std::string item = VarToStr(FSortFields.GetElement({i, 0}));
        TField* field = nullptr;
        int number = 0;
        if (TryStrToInt(item, number) && number > 0) {
            for (TField* f : Fields())
                if (f->FieldNo() == number) field = f;
        } else if (item.find('.') == std::string::npos) {
            field = FindField(item);
            if (!field) field = FindFieldByColumnName(item);
        } else {
            field = FindFieldByFullName(item);
            if (!field) {
                const std::string tableField = AliasFieldToTableField(FSelectQuery->ExpandedSQLText(), item);
                if (!tableField.empty()) field = FindFieldByFullName(tableField);
            }
        }
        if (!field) {   // an order the fields cannot express: the data set is not sorted
            if (Limited())
                RaiseClientErrorMsg("%s.\r\nField %s use in order, but not presented in fields section of SelectSQL",
                                    {FullName(), item});
            FSortFields = Variant::Null();
            return;
        }
        FSortFields.PutElement({i, 0}, Variant(field->FieldName()));
    }
}

void TFIBCustomDataSet::InternalClose() {
    ++FCloseCount;
    for (TFIBQuery* q : {FSelectDescQuery.get(), FSelectPartQuery.get(), FSelectPartDescQuery.get(), FSelectLocate.get(),
                         FSelectFirstQuery.get()})
        if (q && q->Open()) q->Close();
    FCurrentSelect = nullptr;
    FWindow = TCacheWindow{};
    FreeOwnedStreams();
    FRecentStreams.clear();
    FCurrentRecord = -1;
    FOpen = false;
    FRecordCount = 0;
    FHiddenCount = 0;
    FPendingChangeCount = 0;
    FRecords.reset();
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FFieldDescr.Clear();
}

void TFIBCustomDataSet::CloseCursor() {
    TDataSet::CloseCursor();
    FSelectQuery->Close();
}

void TFIBCustomDataSet::FreeHandles() {
    for (TFIBQuery* q : {FDeleteQuery.get(), FInsertQuery.get(), FRefreshQuery.get(), FSelectQuery.get(), FUpdateQuery.get(),
                         FSelectDescQuery.get(), FSelectPartQuery.get(), FSelectPartDescQuery.get(), FSelectLocate.get(),
                         FSelectFirstQuery.get()})
        if (q) q->FreeHandle();
    FPrepared = false;
}

void TFIBCustomDataSet::FreeOwnedStreams() {
    // A stream leaves the list in its destructor.
    while (!FOwnedStreams.empty()) delete FOwnedStreams.back();
}

void TFIBCustomDataSet::FetchAll() {
    if (!FSelectQuery->Open() || FSelectQuery->Eof()) return;
    DisableControls();
    ++FScrollEventLock;
    ++FFetchAllCount;
    Guarded(
        [&] {
            const TBookmark here = GetBookmark();
            Last();
            if (!here.empty()) GotoBookmark(here);
            else First();
        },
        [&] {
            --FFetchAllCount;
            --FScrollEventLock;
            EnableControls();
        });
}

void TFIBCustomDataSet::CloseOpen(bool DoFetchAll) {
    const bool defaults = DefaultFields();
    SetDefaultFields(false);
    Guarded(
        [&] {
            if (Active()) Close();
            Open();
            if (DoFetchAll) FetchAll();
        },
        [&] { SetDefaultFields(defaults); });
}

void TFIBCustomDataSet::DoBeforeOpen() {
    TDataSet::DoBeforeOpen();
    FireListeners(FBeforeOpenListeners);
}

void TFIBCustomDataSet::DoAfterOpen() {
    if (FieldOriginRule != forNoRule)
        for (TField* f : Fields()) f->SetOrigin(GetFieldOrigin(f));
    FRelationNames.Clear();
    for (TField* f : Fields())
        if (f->FieldKind() == fkData) FRelationNames.Add(GetRelationName(f));
    const bool persistent = InSet(FOptions, poPersistentSorting);
    // A local sort outlives the reopen only with poPersistentSorting and all its fields still there.
    if (FLocallySorted && IsSorted()) {
        bool present = persistent;
        for (int i = FSortFields.LowBound(1); present && i <= FSortFields.HighBound(1); ++i)
            present = FindField(VarToStr(FSortFields.GetElement({i, 0}))) != nullptr;
        if (!present) {
            FSortFields = Variant::Null();
            FLocallySorted = false;
        }
    }
    const bool localSort = FLocallySorted;
    TDataSet::DoAfterOpen();
    if (InSet(FOptions, poFetchAll)) FetchAll();
    FSQLChanged = false;
    if (FDetailTimer) FDetailTimer->SetEnabled(false);
    if (persistent && FLocallySorted && IsSorted()) {
        std::vector<TSortElement> fields;
        std::vector<bool> ascending;
        for (int i = FSortFields.LowBound(1); i <= FSortFields.HighBound(1); ++i) {
            fields.emplace_back(VarToStr(FSortFields.GetElement({i, 0})));
            ascending.push_back(FSortFields.GetElement({i, 1}).AsBoolean());
        }
        DoSortEx(fields, ascending);
        First();
    } else if (!persistent && !InSet(FPrepareOptions, psGetOrderInfo) && !Limited()) {
        FSortFields = Variant::Null();
    }
    if (!(persistent && !localSort)) FireListeners(FAfterOpenListeners);
}

void TFIBCustomDataSet::DoBeforeClose() {
    if (FValidatingField)
        RaiseClientErrorMsg("Cannot close %s while the OnValidate handler of field %s runs",
                            {FullName(), FValidatingField->FieldName()});
    if (DefaultFieldsMode()) {
        FFieldCache.Clear();
        if (FFilterParser) FFilterParser->ClearFieldCache();
    }
    TDataSet::DoBeforeClose();
    FireListeners(FBeforeCloseListeners);
}

void TFIBCustomDataSet::DoAfterClose() {
    TDataSet::DoAfterClose();
    if (InSet(FOptions, poFreeHandlesAfterClose)) FreeHandles();
}

void TFIBCustomDataSet::DoBeforeCancel() {
    TDataSet::DoBeforeCancel();
    if (!Active()) RaiseClientError(cecDataSetClosed, {"continue after BeforeCancel", FullName()});
}

// Fetching all rows moves the cursor without the program asking: no scroll events then.
void TFIBCustomDataSet::DoBeforeScroll() {
    if (FScrollEventLock == 0) TDataSet::DoBeforeScroll();
}

void TFIBCustomDataSet::DoAfterScroll() {
    if (FScrollEventLock != 0) return;
    TDataSet::DoAfterScroll();
    if (FEndScrollTimer) {
        FEndScrollTimer->SetEnabled(false);
        FEndScrollTimer->SetInterval(EndScrollInterval);
        FEndScrollTimer->SetEnabled(true);
    }
}

void TFIBCustomDataSet::DoBeforeInsert() {
    if (!CanInsert()) throw EAbort();
    TDataSet::DoBeforeInsert();
    // Before OnNewRecord, which may write an array of its own.
    for (TField* f : Fields())
        if (auto* array = dynamic_cast<TFIBArrayField*>(f)) array->BeginEditing();
}

// ---- The ends of the read transaction and of the connection ----

void TFIBCustomDataSet::DoTransactionEnding(TObject* Sender) {
    if (TransactionEnding) TransactionEnding(Sender);
    TFIBTransaction* tr = Transaction();
    // Run state 2 is a rollback, 4 a commit: ends that keep nothing of the transaction.
    if (!tr || (tr->State() != 2 && tr->State() != 4) || !Active()) return;
    if (FCachedUpdates || InSet(FOptions, poDontCloseAfterEndTransaction)) {
        FetchAll();
        if (FSelectQuery->Open()) FSelectQuery->Close();
    } else {
        Close();
    }
}

void TFIBCustomDataSet::DoTransactionEnded(TObject* Sender) {
    if (TransactionEnded) TransactionEnded(Sender);
}

void TFIBCustomDataSet::DatabaseDisconnectingHandler(TObject* Sender) {
    if (Active()) {
        if (FCachedUpdates || InSet(FOptions, poDontCloseAfterEndTransaction))
            FetchAll();
        else
            Close();
        FPrepared = false;
    }
    if (DatabaseDisconnecting) DatabaseDisconnecting(Sender);
}

// ---- Editing ----

void TFIBCustomDataSet::InternalPostRecord(TFIBQuery*, TRecordBuffer) {}

void TFIBCustomDataSet::InternalPost() {
    CheckEditState();
    TDataSet::InternalPost();
    const bool inserting = State() == dsInsert;
    TFIBQuery* query = inserting ? FInsertQuery.get() : FUpdateQuery.get();
    const bool sortChanged =
        inserting ? IsSorted() && (InSet(FOptions, poKeepSorting) || Limited()) : SortFieldsChanged();
    TRecordBuffer buffer = ActiveBuffer();
    ProcessBlobStreams(buffer, 0, nullptr);
    int32_t recNo;
    std::memcpy(&recNo, buffer, 4);
    uint8_t& status = reinterpret_cast<uint8_t&>(buffer[5]);
    if (inserting) {
        status = static_cast<uint8_t>((status & ~7) | cusInserted);
        if (!(recNo >= 0 && GetBookmarkFlag(buffer) != bfEOF)) recNo = Limited() ? FWindow.Last + 1 : FRecordCount;
        std::memcpy(buffer, &recNo, 4);
        FCurrentRecord = recNo;
    } else if ((status & 7) == cusUnmodified) {
        status = static_cast<uint8_t>((status & ~7) | cusModified);
    } else if ((status & 7) == cusUninserted) {
        status = static_cast<uint8_t>((status & ~7) | cusInserted);
        --FHiddenCount;
    }
    if (Limited()) {
        // The window is fetched again around the posted row when its place may have changed.
        InternalPostRecord(query, buffer);
        if (sortChanged || InSet(FOptions, poRefreshAfterPost)) InternalRefreshRecord(*FRefreshQuery, buffer, sortChanged);
        return;
    }
    if (FCachedUpdates) {
        if (inserting) FRecords->InsertRecord(FCurrentRecord);
        WriteRecordToCache(recNo, buffer);
        FUpdatesPending = true;
    } else {
        if (inserting) FRecords->InsertRecord(FUniDirectional ? FCurrentRecord % FCacheModelOptions.BufferChunks() : FCurrentRecord);
        try {
            InternalPostRecord(query, buffer);
        } catch (...) {
            if (inserting && FCurrentRecord <= FRecordCount) FRecords->RemoveRecord(FCurrentRecord + 1);
            throw;
        }
    }
    if (inserting) {
        ++FRecordCount;
        ++FServerRecordCount;
    }
    if (sortChanged) {
        if (IsVisibleRecord(buffer)) FResortPending = true;
    } else if (!InSet(FOptions, poKeepSorting)) {
        FSortFields = Variant::Null();
    }
}

void TFIBCustomDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
    if (!CanInsert()) RaiseClientError(cecCantInsert, {FullName()});
    if (Append && !FUniDirectional) InternalLast();
    const int end = Limited() ? FWindow.Last + 1 : FRecordCount;
    int32_t recNo = Append ? end : FCurrentRecord - FHiddenCount;
    if (Append) FCurrentRecord = end;
    std::memcpy(Buffer, &recNo, 4);
    Buffer[5] = static_cast<char>((Buffer[5] & ~7) | cusInserted);
    InternalPost();
}

void TFIBCustomDataSet::Post() {
    TDataSet::Post();
    FResyncCount = 0;
}

void TFIBCustomDataSet::Resync(TResyncMode Mode) {
    if (!Active()) return;
    TDataSet::Resync(Mode);
}

} // namespace qnl
