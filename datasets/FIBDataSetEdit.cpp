// The data set's edit side beyond the post: parameters of modify statements taken from a record,
// deleting, cancelling cached changes, the master's values at open, the update transaction and
// the transaction and controls events; see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/StdFuncs.h"
#include "client/SqlTxtRtns.h"
#include "client/StrUtil.h"
#include "client/VariantRtn.h"
#include "client/fib.h"
#include "platform/DateTime.h"

#include <cmath>
#include <cstring>

namespace qnl {

namespace {

template <class T>
T Load(const char* P) {
    T value;
    std::memcpy(&value, P, sizeof value);
    return value;
}

} // namespace

TDataSet* TFIBDataLink::GetDetailDataSet() { return FDataSet; }

// ---- The master ----

void TFIBCustomDataSet::SetDataSource(TDataSource* Value) {
    if (Value && IsLinkedTo(Value)) RaiseClientError(cecCircularReference, {FullName()});
    FDataLink.SetDataSource(Value);
}

bool TFIBCustomDataSet::ReadIscTime(TField* Field, ISC_TIMESTAMP& Stamp) {
    const TFIBFieldDescr* d = FieldDescr(Field);
    if (!d || !FRecords || (d->SqlType != SQL_TYPE_TIME && d->SqlType != SQL_TIMESTAMP)) return false;
    std::vector<char> scratch;
    bool hasRecord = true;
    TRecordBuffer record = FieldReadBuffer(Field, scratch, hasRecord);
    if (!record || !hasRecord || NullFlags(record)[Field->FieldNo() - 1]) return false;
    const char* data = record + d->DataOffset;
    if (d->SqlType == SQL_TYPE_TIME) {
        Stamp = ISC_TIMESTAMP{0, Load<ISC_TIME>(data)};
        return true;
    }
    Stamp = IscStampOfStored(Load<double>(data));
    return true;
}

ISC_TIMESTAMP IscStampOfStored(double Ms) {
    const auto day = static_cast<int64_t>(std::floor(Ms / MSecsPerDay));
    ISC_TIMESTAMP stamp;
    stamp.timestamp_date = static_cast<ISC_DATE>(day - IscDateDelta);
    stamp.timestamp_time =
        static_cast<ISC_TIME>(std::llround((Ms - static_cast<double>(day * MSecsPerDay)) * IscTimeUnitsPerMSec));
    return stamp;
}

void TFIBCustomDataSet::SetParamsFromMaster() {
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!master) return;
    auto* fibMaster = dynamic_cast<TFIBCustomDataSet*>(master);
    auto fill = [&](TFIBXSQLVAR& Param) {
        std::string name = Param.Name();
        if (IsMasParamName(name)) name = name.substr(4);
        TField* field = master->FindField(name);
        if (!field) return;
        // A master value compares as SQL does: a null key links to no row, never to every row
        // whose detail key is null.
        if (Param.NullDependent) {
            Param.NullDependent = false;
            FSelectQuery->ParamNullStateChanged();
        }
        if (field->IsNull()) {
            Param.SetIsNull(true);
            return;
        }
        switch (field->DataType()) {
        case ftString: Param.SetAsString(field->AsString()); break;
        case ftSmallint:
        case ftInteger:
        case ftWord: Param.SetAsInteger(field->AsInteger()); break;
        // Firebird 3 refuses an integer for a BOOLEAN parameter.
        case ftBoolean: Param.SetAsBoolean(field->AsBoolean()); break;
        case ftFloat:
        case ftCurrency: Param.SetAsDouble(field->AsFloat()); break;
        case ftBCD:
            if (auto* bcd = dynamic_cast<TFIBBCDField*>(field); bcd && bcd->Size() == 0)
                Param.SetAsInt64(bcd->AsLargeInt());
            else
                Param.SetAsBCD(field->AsBCD());
            break;
        case ftDate: Param.SetAsDate(field->AsDateTime()); break;
        case ftTime:
        case ftDateTime: {
            // A key compares to the ten-thousandth of a second: the master's own value goes in.
            ISC_TIMESTAMP stamp{};
            if (fibMaster && fibMaster->ReadIscTime(field, stamp)) {
                if (field->DataType() == ftTime) Param.SetAsISCTime(stamp.timestamp_time);
                else Param.SetAsISCTimeStamp(stamp);
            } else if (field->DataType() == ftTime) {
                Param.SetAsTime(field->AsDateTime());
            } else {
                Param.SetAsDateTime(field->AsDateTime());
            }
            break;
        }
        case ftBlob: {
            std::unique_ptr<TStream> stream = master->CreateBlobStream(field, bmRead);
            if (stream) Param.LoadFromStream(*stream);
            break;
        }
        case ftWideString: Param.SetAsVariant(field->AsVariant()); break;
        case ftLargeint: Param.SetAsInt64(field->AsLargeInt()); break;
        case ftGuid: Param.SetAsGUID(StringAsGUID(field->AsString())); break;
        default: RaiseClientError(cecUnsupportedFeature);
        }
    };
    TFIBXSQLDA& params = FSelectQuery->Params();
    for (int i = 0; i < params.Count(); ++i) fill(params.GetVar(i));
    const TStringList& pending = FSelectQuery->PendingConversions();
    for (int i = 0; i < pending.Count(); ++i)
        if (TFIBXSQLVAR* param = FSelectQuery->FindParam(pending[i])) fill(*param);
}

// ---- Parameters from a record ----

void TFIBCustomDataSet::SaveOldVersion(TRecordBuffer Buffer) {
    const int32_t number = RecordNumberOf(Buffer);
    if (number < 0 || !FRecords) return;
    FRecords->SaveOldBuffer(ReduceIndex(number) + 1);
}

void TFIBCustomDataSet::SetQueryParams(TFIBQuery& Query, TRecordBuffer Buffer) {
    if (!Buffer) RaiseClientError(cecBufferNotSet);
    const int32_t number = RecordNumberOf(Buffer);
    if (number < 0) return;
    const char* newRecord = Buffer;
    std::vector<char> saved;
    const char* oldRecord = Buffer;
    if (State() != dsInsert && FRecords) {
        saved.assign(FRecordBufferSize, 0);
        std::memcpy(saved.data(), Buffer, 5);
        std::memcpy(saved.data() + 5, FRecords->GetOldBuffer(ReduceIndex(number) + 1), FRecordBufferSize - 5);
        oldRecord = saved.data();
    }
    TDataSet* master = DataSource() ? DataSource()->DataSet() : nullptr;

    auto fill = [&](TFIBXSQLVAR& Param) {
        const std::string name = Param.Name();
        std::string fieldName = name;
        const char* source = newRecord;
        if (IsOldParamName(name)) {
            fieldName = name.substr(4);
            source = oldRecord;
        } else if (IsNewParamName(name)) {
            fieldName = name.substr(4);
        } else if (IsMasParamName(name) && master) {
            if (TField* field = master->FindField(name.substr(4))) Param.SetAsVariant(field->AsVariant());
            return;
        }
        TField* field = FindFieldCached(fieldName);
        int column = 0;   // 1-based; 0: none
        if (field && field->FieldKind() == fkData)
            column = field->FieldNo();
        else
            column = FSelectQuery->FieldIndex(fieldName) + 1;
        if (&Query != FSelectQuery.get()) {
            if (column > 0 && &Query == FRefreshQuery.get() && DataSource()) {
                if (TFIBXSQLVAR* select = FSelectQuery->FindParam(name)) {
                    Param.Assign(*select);
                    return;
                }
            } else if (column <= 0) {
                if (TFIBXSQLVAR* select = FSelectQuery->FindParam(fieldName)) Param.Assign(*select);
            }
        }
        if (column <= 0 || column > ColumnCount()) return;
        if (source[6 + column - 1]) {
            Param.SetIsNull(true);
            return;
        }
        if (Param.GetIsNull()) Param.SetIsNull(false);
        const TFIBFieldDescr& d = FFieldDescr.Items(column - 1);
        const char* data = source + d.DataOffset;
        switch (d.SqlType) {
        case SQL_LONG:
        case SQL_SHORT: {
            const int32_t value = d.SqlType == SQL_LONG ? Load<int32_t>(data) : Load<int16_t>(data);
            if (d.Scale >= 0) {
                Param.SetAsInteger(value);
            } else {
                // The scaled integer itself: a double would not give every decimal back.
                Param.SetAsInt64(value);
                Param.SetScale(static_cast<int16_t>(d.Scale));
            }
            break;
        }
        case SQL_FLOAT: Param.SetAsDouble(Load<float>(data)); break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT: Param.SetAsDouble(Load<double>(data)); break;
        case SQL_TIMESTAMP: {
            // The record's milliseconds keep the ten-thousandths as their fraction.
            const int64_t units = std::llround(Load<double>(data) * IscTimeUnitsPerMSec);
            const int64_t unitsPerDay = int64_t{MSecsPerDay} * IscTimeUnitsPerMSec;
            Param.SetAsISCTimeStamp(ISC_TIMESTAMP{static_cast<ISC_DATE>(units / unitsPerDay - IscDateDelta),
                                                  static_cast<ISC_TIME>(units % unitsPerDay)});
            break;
        }
        case SQL_TYPE_DATE: Param.SetAsTimeStamp(TTimeStamp{0, Load<int32_t>(data)}); break;
        case SQL_TYPE_TIME: Param.SetAsISCTime(Load<ISC_TIME>(data)); break;
        case SQL_INT64:
            if (d.Scale >= -4 || InSet(FPrepareOptions, psSQLINT64ToBCD)) {
                Param.SetAsInt64(Load<int64_t>(data));
                Param.SetScale(d.Scale);
            } else {
                // Kept as a double in the record: the nearest scaled integer gives back every
                // digit the double holds, where the server's own conversion of a double may not.
                const double value = Load<double>(data);
                const double scaled = std::nearbyint(value * std::pow(10.0, -d.Scale));
                if (std::fabs(scaled) < 9.2e18) {
                    Param.SetAsInt64(static_cast<int64_t>(scaled));
                    Param.SetScale(static_cast<int16_t>(d.Scale));
                } else {
                    Param.SetAsDouble(value);
                }
            }
            break;
        case SQL_IB_BOOLEAN: Param.SetAsBoolean(Load<int16_t>(data) == 1); break;
        case SQL_BOOLEAN: Param.SetAsBoolean(data[0] != 0); break;
        case SQL_TEXT:
        case SQL_VARYING: {
            if (d.IsDBKey) {
                // A DB_KEY goes back as the raw bytes it came as.
                const bool nullable = Param.GetIsNullable();
                Param.SetRawText(std::string_view(data, d.DataSize));
                Param.SetIsNullable(nullable);
                break;
            }
            if (d.FieldKind == 1) {
                TGUID guid;
                std::memcpy(&guid, data, sizeof guid);
                Param.SetAsGUID(guid);
                break;
            }
            Param.SetRawText(StoredText(d, data));
            break;
        }
        case SQL_ARRAY: Param.SetAsQuad(Load<ISC_QUAD>(data)); break;
        case SQL_BLOB:
        case SQL_QUAD:
            // A body changed in the record goes to the server first; the record then names
            // the new blob.
            if (field && field->FieldKind() == fkData) ProcessBlobStreams(Buffer, 1, field);
            Param.SetAsQuad(Load<ISC_QUAD>(data));
            break;
        default: break;
        }
    };

    TFIBXSQLDA& params = Query.Params();
    for (int i = 0; i < params.Count(); ++i) fill(params.GetVar(i));
    const TStringList& pending = Query.PendingConversions();
    for (int i = 0; i < pending.Count(); ++i)
        if (TFIBXSQLVAR* param = Query.FindParam(pending[i])) fill(*param);
}

// ---- Re-reading a record ----

bool TFIBCustomDataSet::RefreshFromQuery(TFIBQuery& Query, TRecordBuffer Buffer) {
    if (!Buffer) return false;
    bool found = false;
    FRecordRefresh = true;
    Guarded(
        [&] {
            bool blank = true;
            for (int i = 0; i < Query.SQL().Count(); ++i)
                if (!Trim(Query.SQL()[i]).empty()) blank = false;
            if (blank || !Active()) {
                if (GetRecordCount() > 0) RaiseClientError(cecCantRefresh, {FullName()});
                return;
            }
            if (!FCachedUpdates && !Limited()) SaveOldVersion(Buffer);
            if (!Query.Open() && !Query.ProcExecuted()) {
                // Prepared before the values go in, so that each takes the described type.
                if (&Query == FRefreshQuery.get()) PrepareModifyQuery(3);
                SetQueryParams(Query, Buffer);
                TFIBTransaction* tr = Query.Transaction();
                if (InSet(FOptions, poStartTransaction) && tr && !tr->Active()) tr->StartTransaction();
                Query.ExecQuery();
            }
            const bool procedure = Query.SQLType() == SQLExecProcedure;
            if (!Query.Open() && !procedure) {
                ProcessBlobStreams(Buffer, 0, nullptr);
                return;
            }
            found = procedure || Query.Next() != nullptr;
            if (!found && InSet(FOptions, poRefreshDeletedRecord) && !Limited()) {
                ++FResyncCount;
                Guarded([&] { DeleteFromCache(); }, [&] { --FResyncCount; });
                DoAfterRefresh();
            }
            if (found) FetchRecord(Query, RecordNumberOf(Buffer), Buffer);
            if (Query.Open()) Query.Close();
            ProcessBlobStreams(Buffer, 0, nullptr);
        },
        [&] { FRecordRefresh = false; });
    return found;
}

void TFIBCustomDataSet::InternalRefresh() {
    TDataSet::InternalRefresh();
    InternalRefreshRecord(*FRefreshQuery, ActiveBuffer(), false);
}

void TFIBCustomDataSet::InternalRefreshRecord(TFIBQuery& Query, TRecordBuffer Buffer, bool SortChanged) {
    if (Limited()) {
        if (!SortChanged || State() == dsInsert) SaveOldVersion(Buffer);
        const bool found = RefreshFromQuery(Query, Buffer);
        if (!found && (State() == dsEdit || State() == dsInsert)) {
            // The row is not there to read back: the record shows what it showed before.
            for (TField* f : Fields())
                if (!f->IsBlob() && f->FieldKind() == fkData) f->SetAsVariant(f->OldValue());
        } else if (found && !SortChanged && !SortFieldsChanged()) {
            return;
        }
        FullRefresh(false, false);
        return;
    }
    RefreshFromQuery(Query, Buffer);
    // A sorted data set keeps the record where its new values belong.
    if (State() == dsBrowse && IsSorted() && InSet(FOptions, poKeepSorting) && SortFieldsChanged()) {
        ResortRecord();
        if (FResyncCount > 0) --FResyncCount;
        FCurrentRecord = RecNo() - 1;
    }
    if (State() != dsEdit && State() != dsInsert && InSet(FDetailConditions, dcForceMasterRefresh)) RefreshMaster();
}

void TFIBCustomDataSet::DeleteFromCache() {
    CheckDataSetOpen(" do delete from cache ");
    DisableControls();
    Guarded(
        [&] {
            TRecordBuffer buffer = ActiveBuffer();
            SetRecordStatus(buffer, cusDeletedApplied);
            ++FHiddenCount;
            const int32_t number = RecordNumberOf(buffer);
            WriteRecordToCache(number, buffer);
            FCurrentRecord = number;
            Resync({});
        },
        [&] { EnableControls(); });
}

void TFIBCustomDataSet::FullRefresh(bool ResyncAfter, bool ReRead) {
    if (Limited()) {
        if (!Active()) {
            Open();
            return;
        }
        DoBeforeRefresh();
        TRecordBuffer active = ActiveBuffer();
        SaveOldVersion(active);
        PrepareModifyQuery(3);
        if (!IsEmpty() || State() == dsInsert) SetQueryParams(*FRefreshQuery, active);
        int position = RecordNumberOf(active) + 1;
        RefetchWindowAround(*FRefreshQuery, position, ReRead && HasNonBlankLine(RefreshSQL()), false);
        FreeOwnedStreams();
        if (ResyncAfter) Resync(0);
        DoAfterRefresh();
        return;
    }
    CheckNotUniDirectional();
    std::vector<std::string> names;
    std::vector<Variant> values;
    TRecordBuffer active = ActiveBuffer();
    if (Active() && !IsEmpty() && active && HasNonBlankLine(RefreshSQL()) && RefreshFromQuery(*FRefreshQuery, active))
        for (TField* f : Fields())
            if (f->FieldKind() == fkData && !f->IsBlob() && !dynamic_cast<TFIBArrayField*>(f)) {
                names.push_back(f->FieldName());
                values.push_back(f->AsVariant());
            }
    const int recNo = RecNo();
    DisableControls();
    ++FScrollEventLock;
    Guarded(
        [&] {
            Close();
            Open();
            if (names.empty()) return;
            while (FRecordCount < recNo && FetchNext(1) > 0) {
            }
            std::string keyFields;
            for (const std::string& name : names) keyFields += (keyFields.empty() ? "" : ";") + name;
            if (!IsEmpty()) ExtLocate(keyFields, values, 0, true, ldFirst, false);
        },
        [&] {
            --FScrollEventLock;
            EnableControls();
        });
}

// ---- The update transaction ----

void TFIBCustomDataSet::StartUpdateTransaction() {
    TFIBTransaction* tr = UpdateTransaction();
    if (tr && !tr->Active() && InSet(FOptions, poStartTransaction)) tr->StartTransaction();
}

void TFIBCustomDataSet::CheckUpdateTransaction() {
    TFIBTransaction* tr = UpdateTransaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {FullName()});
    tr->CheckInTransaction();
}

void TFIBCustomDataSet::AutoCommitUpdate() {
    TFIBTransaction* tr = UpdateTransaction();
    if (!AutoCommit || !tr || !tr->Active()) return;
    if (tr != Transaction() && tr->TimeoutAction != TACommitRetaining)
        tr->Commit();
    else
        tr->CommitRetaining();
}

// ---- Statements for one record ----

void TFIBCustomDataSet::ExecRecordQuery(TFIBQuery& Query, const char* Operation) {
    if (!Query.Prepared()) Query.Prepare();
    const TFIBSQLTypes type = Query.SQLType();
    if (type != SQLUpdate && type != SQLDelete) {
        Query.ExecQuery();
        return;
    }
    // A savepoint lets the statement alone be undone when it reaches rows of other records.
    static const std::string savepoint = "FIB$ONE_RECORD";
    TFIBTransaction* tr = Query.Transaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(&Query)});
    if (InSet(Query.Options(), qoStartTransaction) && !tr->Active()) tr->StartTransaction();
    tr->ExecSQLImmediate("SAVEPOINT " + savepoint);
    try {
        Query.ExecQuery();
    } catch (...) {
        try {
            tr->ExecSQLImmediate("ROLLBACK TO SAVEPOINT " + savepoint);
            tr->ExecSQLImmediate("RELEASE SAVEPOINT " + savepoint + " ONLY");
        } catch (...) {
            // The statement's own error is the one to report.
        }
        throw;
    }
    const int64_t rows = Query.GetRowsAffected();
    if (rows > 1) {
        tr->ExecSQLImmediate("ROLLBACK TO SAVEPOINT " + savepoint);
        tr->ExecSQLImmediate("RELEASE SAVEPOINT " + savepoint + " ONLY");
        RaiseClientErrorMsg("%s: the %s of one record reached %d rows and was undone.",
                            {FullName(), Operation, rows});
    }
    tr->ExecSQLImmediate("RELEASE SAVEPOINT " + savepoint + " ONLY");
}

// ---- Delete ----

void TFIBCustomDataSet::CheckRecordChanged(TFIBQuery& Query) {
    const TFIBSQLTypes type = Query.SQLType();
    if (type != SQLUpdate && type != SQLDelete && type != SQLExecProcedure) return;
    if (type == SQLExecProcedure) {
        // Only the RETURNING forms of UPDATE and DELETE: what a procedure changes is its own.
        const std::string text = Query.SQL().Text();
        int pos = 1;
        SkipSpacesAndComments(text, static_cast<int>(text.size()), pos);
        if (!IsKeywordAt("UPDATE", text, pos) && !IsKeywordAt("DELETE", text, pos)) return;
    }
    if (Query.GetRowsAffected() == 0)
        RaiseClientErrorMsg(std::string(SFIBErrorRecordUpdating) + SFIBRecordNotExist + " (%s)", {FullName()});
}

void TFIBCustomDataSet::InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) {
    StartUpdateTransaction();
    // Prepared first, so that each value goes in as the type the server described.
    if (&Query == FDeleteQuery.get()) PrepareModifyQuery(2);
    SetQueryParams(Query, Buffer);
    ExecRecordQuery(Query, "delete");
    // A row the statement missed: with poRefreshAfterDelete the refresh below tells whether it
    // is still there; without it the delete cannot count as done.
    if (!InSet(FOptions, poRefreshAfterDelete)) CheckRecordChanged(Query);
    if (Query.Open()) Query.Next();
    // With poRefreshAfterDelete a row the refresh still finds stays (a trigger may refuse to
    // delete it); otherwise the delete counts as done.
    if (!InSet(FOptions, poRefreshAfterDelete) || !RefreshFromQuery(*FRefreshQuery, Buffer))
        SetRecordStatus(Buffer, cusDeletedApplied);
    WriteRecordToCache(RecordNumberOf(Buffer), Buffer);
    if (!FCachedUpdates) AutoCommitUpdate();
}

void TFIBCustomDataSet::InternalDelete() {
    TRecordBuffer buffer = ActiveBuffer();
    if (!CanDelete()) RaiseClientError(cecCantDelete, {FullName()});
    if (FCachedUpdates) {
        if (RecordStatusOf(buffer) == cusInserted) {
            SetRecordStatus(buffer, cusUninserted);
            --FPendingChangeCount;
        } else {
            SetRecordStatus(buffer, cusDeleted);
            ++FPendingChangeCount;
        }
        WriteRecordToCache(RecordNumberOf(buffer), buffer);
        ++FHiddenCount;
    } else {
        InternalDeleteRecord(*FDeleteQuery, buffer);
        // The window is fetched again around the deleted row's place.
        if (Limited()) FullRefresh(false, true);
        // A row the refresh still found stays in view and keeps counting.
        else if (RecordStatusOf(buffer) == cusDeletedApplied) ++FHiddenCount;
    }
    FUpdatesPending = FPendingChangeCount > 0;
}

// ---- Cancelling cached changes ----

void TFIBCustomDataSet::CancelUpdates() {
    DisableControls();
    Guarded(
        [&] {
            if (State() == dsEdit || State() == dsInsert) Cancel();
            if (FUpdatesPending && FCachedUpdates && FRecords) {
                std::vector<char> record(FRecordBufferSize, 0);
                for (int i = 0; i < FRecordCount; ++i) {
                    ReadRecordFromCache(i, record.data(), false);
                    const TCachedUpdateStatus status = RecordStatusOf(record.data());
                    if (status == cusInserted) {
                        SetRecordStatus(record.data(), cusUninserted);
                        WriteRecordToCache(i, record.data());
                        ++FHiddenCount;
                    } else if (status == cusModified || status == cusDeleted) {
                        // The version from before the first change, also of a record edited
                        // and then deleted; a deleted record is shown again.
                        FRecords->RestoreFromOld(ReduceIndex(i) + 1);
                        ReadRecordFromCache(i, record.data(), false);
                        ProcessBlobStreams(record.data(), 2, nullptr);
                        SetRecordStatus(record.data(), cusUnmodified);
                        WriteRecordToCache(i, record.data());
                        if (status == cusDeleted) --FHiddenCount;
                    }
                }
            }
            FPendingChangeCount = 0;
            FUpdatesPending = false;
            if (Active()) {
                // The current record stays when it is still shown, else the first one is.
                std::vector<char> current(FRecordBufferSize, 0);
                const bool keep = FCurrentRecord >= 0 && FCurrentRecord < FRecordCount &&
                                  (ReadRecordFromCache(FCurrentRecord, current.data(), false),
                                   IsVisibleRecord(current.data()));
                if (keep)
                    Resync({});
                else
                    First();
            }
            if (FRecords) FRecords->ClearLog();
        },
        [&] { EnableControls(); });
}

std::unique_ptr<char[]> TFIBCustomDataSet::GetOldRecordBuffer(int RecordNumber) {
    if (RecordNumber < 0) {
        TRecordBuffer active = ActiveBuffer();
        if (!active || !FRecords) return nullptr;
        RecordNumber = RecordNumberOf(active);
    }
    std::unique_ptr<char[]> buffer(new char[std::max<uint32_t>(FRecordBufferSize, 8)]());
    std::memcpy(buffer.get(), &RecordNumber, sizeof RecordNumber);
    if (RecordNumber >= 0 && FRecords) ReadRecordFromCache(RecordNumber, buffer.get(), true);
    return buffer;
}

// ---- Blob streams of a record ----

void TFIBCustomDataSet::ProcessBlobStreams(TRecordBuffer Buffer, int Mode, TField* Field, bool Force, bool KeepWhenId) {
    if (!Buffer) return;
    for (TField* f : BlobFields()) {
        if (Field && f != Field) continue;
        TFIBBlobStream* stream = BlobSlot(Buffer, f);
        if (!stream) continue;
        switch (Mode) {
        case 1: {
            const ISC_QUAD& id = stream->BlobID();
            const bool hasId = id.gds_quad_high != 0 || id.gds_quad_low != 0;
            auto* blob = dynamic_cast<TBlobField*>(f);
            TBlobProgress progress;
            if (OnWriteBlobField)
                progress = [this, blob](int64_t Size, int64_t Done, bool& Stop) { OnWriteBlobField(blob, Size, Done, Stop); };
            stream->WriteToServer(KeepWhenId && hasId, Force, progress);
            break;
        }
        case 2: stream->RestoreSavedBody(); break;
        case 3: stream->FreeSavedBody(); break;
        default: break;
        }
        // The stream decides its column: empty is null, otherwise the stream's id.
        const TFIBFieldDescr& d = FFieldDescr.Items(f->FieldNo() - 1);
        NullFlags(Buffer)[f->FieldNo() - 1] = stream->BlobSize() == 0 ? 1 : 0;
        std::memcpy(Buffer + d.DataOffset, &stream->BlobID(), sizeof(ISC_QUAD));
    }
}

// ---- Cancel ----

void TFIBCustomDataSet::InternalCancel() {
    TDataSet::InternalCancel();
    TRecordBuffer buffer = ActiveBuffer();
    if (!buffer) return;
    if (State() == dsInsert) {
        if (FRecordCount > 0)
            FCurrentRecord = GetBookmarkFlag(buffer) == bfEOF ? (Limited() ? FWindow.Last : FRecordCount - 1)
                                                              : FCurrentRecord + 1;
        else
            FCurrentRecord = -1;
    }
    // The bodies written during the edit go; the ones from before it come back.
    ProcessBlobStreams(buffer, 2, nullptr);
}

// ---- Event callers of the edit ----

void TFIBCustomDataSet::DoBeforeEdit() {
    // Never an edit of a detail record that belongs to an earlier master record.
    FinishPendingDetailRefresh();
    if (!CanEdit()) throw EAbort();
    TRecordBuffer buffer = ActiveBuffer();
    // Under cached updates the version before the first change stays the saved one.
    if (!(FCachedUpdates && RecordStatusOf(buffer) != cusUnmodified)) SaveOldVersion(buffer);
    TDataSet::DoBeforeEdit();
    if (!Active()) RaiseClientError(cecDataSetClosed, {"continue after BeforeEdit", FullName()});
    for (TField* f : Fields())
        if (auto* array = dynamic_cast<TFIBArrayField*>(f)) array->BeginEditing();
}

void TFIBCustomDataSet::DoAfterDelete() {
    const uint32_t closes = FCloseCount;
    TDataSet::DoAfterDelete();
    CheckNotClosedBy(closes, "AfterDelete");
    if (InSet(FDetailConditions, dcForceMasterRefresh) && !FCachedUpdates) RefreshMaster();
}

void TFIBCustomDataSet::DoPostError(TDataSet*, EDatabaseError&, TDataAction&) {
    for (TField* f : Fields()) {
        auto* array = dynamic_cast<TFIBArrayField*>(f);
        if (!array) continue;
        try {
            array->RewriteAfterFailedPost();
        } catch (...) {
            // The post's own error is the one the user gets. The field keeps the refused id, so
            // a retry fails loudly rather than storing no array, and the next failure tries again.
        }
    }
}

void TFIBCustomDataSet::DoBeforeDelete() {
    FinishPendingDetailRefresh();
    if (!CanDelete()) throw EAbort();
    TRecordBuffer buffer = ActiveBuffer();
    if (!(FCachedUpdates && RecordStatusOf(buffer) != cusUnmodified)) SaveOldVersion(buffer);
    TDataSet::DoBeforeDelete();
    if (!Active()) RaiseClientError(cecDataSetClosed, {"continue after BeforeDelete", FullName()});
}

void TFIBCustomDataSet::DoBeforePost() {
    if (State() == dsEdit || State() == dsInsert) TDataSet::DoBeforePost();
    if (!Active()) RaiseClientError(cecDataSetClosed, {"continue after BeforePost", FullName()});
}

// ---- The extended data sets' operations ----

void TFIBCustomDataSet::FillParamsToFieldsLinks(TStringList&) {
    throw Exception("Abstract error: " + ClassName() + ".FillParamsToFieldsLinks");
}

void TFIBCustomDataSet::ApplyRepositoryInfo() {
    throw Exception("Abstract error: " + ClassName() + ".ApplyRepositoryInfo");
}

// ---- Transaction callbacks ----

void TFIBCustomDataSet::AddReadCallbacks(TFIBTransaction* Tr) {
    if (!Tr) return;
    Tr->AddEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::ReadTrBeforeStart), tekBeforeStart);
    Tr->AddEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::ReadTrAfterStart), tekAfterStart);
    Tr->AddEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::ReadTrBeforeEnd), tekBeforeEnd);
    Tr->AddEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::ReadTrAfterEnd), tekAfterEnd);
}

void TFIBCustomDataSet::AddUpdateCallbacks(TFIBTransaction* Tr) {
    if (!Tr) return;
    Tr->AddEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::UpdateTrBeforeStart), tekBeforeStart);
    Tr->AddEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::UpdateTrAfterStart), tekAfterStart);
    Tr->AddEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::UpdateTrBeforeEnd), tekBeforeEnd);
    Tr->AddEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::DoAfterEndUpdateTransaction), tekAfterEnd);
}

void TFIBCustomDataSet::RemoveUpdateCallbacks(TFIBTransaction* Tr) {
    if (!Tr) return;
    Tr->RemoveEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::UpdateTrBeforeStart), tekBeforeStart);
    Tr->RemoveEvent(TMethod<TObject*>(this, &TFIBCustomDataSet::UpdateTrAfterStart), tekAfterStart);
    Tr->RemoveEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::UpdateTrBeforeEnd), tekBeforeEnd);
    Tr->RemoveEndEvent(TEndTrEvent(this, &TFIBCustomDataSet::DoAfterEndUpdateTransaction), tekAfterEnd);
}

void TFIBCustomDataSet::ReadTrBeforeStart(TObject* Sender) {
    if (BeforeStartTransaction) BeforeStartTransaction(Sender);
}
void TFIBCustomDataSet::ReadTrAfterStart(TObject* Sender) {
    if (AfterStartTransaction) AfterStartTransaction(Sender);
}
void TFIBCustomDataSet::ReadTrBeforeEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force) {
    if (BeforeEndTransaction) BeforeEndTransaction(Tr, Action, Force);
}
void TFIBCustomDataSet::ReadTrAfterEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force) {
    if (AfterEndTransaction) AfterEndTransaction(Tr, Action, Force);
}
void TFIBCustomDataSet::UpdateTrBeforeStart(TObject* Sender) {
    if (BeforeStartUpdateTransaction) BeforeStartUpdateTransaction(Sender);
}
void TFIBCustomDataSet::UpdateTrAfterStart(TObject* Sender) {
    if (AfterStartUpdateTransaction) AfterStartUpdateTransaction(Sender);
}
void TFIBCustomDataSet::UpdateTrBeforeEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force) {
    if (BeforeEndUpdateTransaction) BeforeEndUpdateTransaction(Tr, Action, Force);
}
void TFIBCustomDataSet::DoAfterEndUpdateTransaction(TFIBTransaction* Tr, TTransactionAction Action, bool Force) {
    if (AfterEndUpdateTransaction) AfterEndUpdateTransaction(Tr, Action, Force);
}

} // namespace qnl
