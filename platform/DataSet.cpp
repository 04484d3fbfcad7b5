// Implements the data set, the data source and the data link; see DataSet.h.
#include "platform/DataSet.h"

#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qnl {

namespace {

bool IsEditState(TDataSetState State) { return State == dsEdit || State == dsInsert; }

// Families of field types whose fields and definitions may differ (0: only the type itself).
int TypeFamily(TFieldType Type) {
    switch (Type) {
    case ftString: case ftWideString: case ftGuid: return 1;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return 2;
    case ftFloat: case ftCurrency: case ftBCD: return 3;
    case ftDate: case ftTime: case ftDateTime: return 4;
    case ftBytes: case ftVarBytes: return 5;
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftWideMemo: return 6;
    default: return 0;
    }
}

// Calls Fn for each element of a copy of List that is still in List (a call may detach others).
template <class T, class Fn>
void ForEachLive(const std::vector<T*>& List, Fn&& fn) {
    const std::vector<T*> snapshot = List;
    for (T* item : snapshot)
        if (std::find(List.begin(), List.end(), item) != List.end()) fn(item);
}

} // namespace

// ---- TDataSet: life ----

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner), FFields(this), FFieldDefs(this) {}

TDataSet::~TDataSet() {
    // The most-derived destructor has closed the data set (no derived override can run from
    // here). What is left: the sources follow nothing any more, default fields go, persistent
    // fields are detached.
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) {
        source->FDataSet = nullptr;
        RemoveFreeNotification(source);
        source->UpdateState();
    }
    FDataSources.clear();
    const std::vector<TField*> fields(FFields.begin(), FFields.end());
    FFields.FList.clear();
    for (TField* field : fields) {
        field->FDataSet = nullptr;
        if (field->Owner() == this) delete field;
    }
}

// ---- Open and close ----

void TDataSet::SetActive(bool Value) {
    if (Value == Active()) return;
    if (Value) {
        DoBeforeOpen();
        FState = dsOpening;
        try {
            OpenCursor(false);
        } catch (...) {
            FState = dsInactive;
            try {
                CloseCursor();
            } catch (...) {
                // the open's own error is the one to report
            }
            throw;
        }
        if (!FInternalOpenComplete) {   // no cursor: the data set stays closed
            FState = dsInactive;
            CloseCursor();
            return;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty()) DoAfterScroll();
    } else {
        DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        DoAfterClose();
    }
}

void TDataSet::OpenCursor(bool InfoQuery) {
    if (InfoQuery) {
        InternalInitFieldDefs();
        return;
    }
    FDefaultFields = FFields.Count() == 0;
    FInternalOpenComplete = false;
    InternalOpen();
    if (!IsCursorOpen()) return;
    FInternalOpenComplete = true;
    UpdateBufferCount();
    ClearBuffers();
    GetNextRecords();
    FBOF = true;
    FEOF = FRecordCount == 0;
}

void TDataSet::CloseCursor() {
    FreeFieldBuffers();
    FreeBuffers();
    FInternalOpenComplete = false;
    InternalClose();
}

// ---- Buffers ----

void TDataSet::FreeBuffers() {
    for (TRecordBuffer& buffer : FBuffers) FreeRecordBuffer(buffer);
    FBuffers.clear();
    FBufferCount = 0;
    FCalcBuffer = nullptr;
    ClearBuffers();
}

void TDataSet::ClearBuffers() {
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = true;
    FEOF = true;
}

void TDataSet::ActivateBuffers() {
    FRecordCount = 1;
    FActiveRecord = 0;
    FCurrentRecord = 0;
    FBOF = false;
    FEOF = false;
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    auto first = FBuffers.begin();
    if (CurIndex < NewIndex)
        std::rotate(first + CurIndex, first + CurIndex + 1, first + NewIndex + 1);
    else
        std::rotate(first + NewIndex, first + CurIndex, first + CurIndex + 1);
    // The cursor stays with its buffer; on the moved one its place is no longer known.
    if (FCurrentRecord == CurIndex)
        CursorPosChanged();
    else if (CurIndex < NewIndex && FCurrentRecord > CurIndex && FCurrentRecord <= NewIndex)
        --FCurrentRecord;
    else if (CurIndex > NewIndex && FCurrentRecord >= NewIndex && FCurrentRecord < CurIndex)
        ++FCurrentRecord;
}

void TDataSet::UpdateBufferCount() {
    if (!FInternalOpenComplete) return;
    int count = 1;
    for (TDataSource* source : FDataSources)
        for (TDataLink* link : source->FDataLinks) count = std::max(count, link->FBufferCount);
    SetBufferCount(count);
}

void TDataSet::SetBufferCount(int Value) {
    if (Value == FBufferCount) return;
    if (Value < FBufferCount) {
        if (FActiveRecord >= Value) {   // keep the active record: drop records from the front
            const int drop = FActiveRecord - Value + 1;
            std::rotate(FBuffers.begin(), FBuffers.begin() + drop, FBuffers.begin() + FRecordCount + 1);
            FRecordCount -= drop;
            FActiveRecord -= drop;
            FCurrentRecord = FCurrentRecord >= drop ? FCurrentRecord - drop : -1;
        }
        if (FRecordCount > Value) FRecordCount = Value;
        if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
        for (size_t i = static_cast<size_t>(Value) + 1; i < FBuffers.size(); ++i) FreeRecordBuffer(FBuffers[i]);
        FBuffers.resize(static_cast<size_t>(Value) + 1);
        FBufferCount = Value;
        return;
    }
    while (FBuffers.size() < static_cast<size_t>(Value) + 1) FBuffers.push_back(AllocRecordBuffer());
    FBufferCount = Value;
    if (FRecordCount > 0) {
        GetNextRecords();
        GetPriorRecords();
    }
}

void TDataSet::SetCurrentRecord(int Index) {
    if (FCurrentRecord == Index) return;
    TRecordBuffer buffer = FBuffers.at(static_cast<size_t>(Index));
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
        InternalSetToRecord(buffer);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        try {
            InternalLast();
        } catch (const EAbort&) {
            // a stopped fetch leaves the cursor after what it fetched
        }
        break;
    }
    FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
    if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

TGetResult TDataSet::FetchRecord(TRecordBuffer Buffer, TGetMode Mode) {
    try {
        return GetRecord(Buffer, Mode, true);
    } catch (const EAbort&) {
        // A fetch stopped on purpose: what was read so far stays, there is no record here, and
        // the derived cursor may stand anywhere.
        CursorPosChanged();
        return Mode == gmPrior ? grBOF : grEOF;
    }
}

bool TDataSet::GetNextRecord() {
    if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
    const bool ok = FetchRecord(FBuffers[static_cast<size_t>(FRecordCount)], gmNext) == grOK;
    if (ok) {
        if (FRecordCount == 0)
            ActivateBuffers();
        else if (FRecordCount < FBufferCount)
            ++FRecordCount;
        else
            MoveBuffer(0, FRecordCount);   // the window slides: the first buffer becomes the spare
        FCurrentRecord = FRecordCount - 1;
    } else {
        CursorPosChanged();
    }
    return ok;
}

bool TDataSet::GetPriorRecord() {
    if (FRecordCount > 0) SetCurrentRecord(0);
    const bool ok = FetchRecord(FBuffers[static_cast<size_t>(FRecordCount)], gmPrior) == grOK;
    if (ok) {
        if (FRecordCount == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(FRecordCount, 0);
            if (FRecordCount < FBufferCount) {
                ++FRecordCount;
                ++FActiveRecord;
            }
        }
        FCurrentRecord = 0;
    } else {
        CursorPosChanged();
    }
    return ok;
}

int TDataSet::GetNextRecords() {
    int count = 0;
    while (FRecordCount < FBufferCount && GetNextRecord()) ++count;
    return count;
}

int TDataSet::GetPriorRecords() {
    int count = 0;
    while (FRecordCount < FBufferCount && GetPriorRecord()) ++count;
    return count;
}

// ---- Navigation ----

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    Guarded(
        [&] {
            InternalFirst();
            GetNextRecord();
            GetNextRecords();
        },
        [&] {
            FBOF = true;
            DataEvent(deDataSetChange, 0);
        });
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    Guarded(
        [&] {
            try {
                InternalLast();
            } catch (const EAbort&) {
                // a stopped fetch: the last record is the last one fetched
            }
            GetPriorRecord();
            GetPriorRecords();
        },
        [&] {
            FEOF = true;
            DataEvent(deDataSetChange, 0);
        });
    DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
    CheckBrowseMode();
    int moved = 0;
    DoBeforeScroll();
    if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
        FBOF = false;
        FEOF = false;
        const int oldRecordCount = FRecordCount;
        int scrolled = 0;   // how far the window's records moved (negative: toward the front)
        Guarded(
            [&] {
                while (moved < Distance) {
                    if (FActiveRecord < FRecordCount - 1) {
                        ++FActiveRecord;
                    } else {
                        const int before = FRecordCount;
                        if (!GetNextRecord()) {
                            FEOF = true;
                            break;
                        }
                        if (FRecordCount == before) --scrolled;
                        FActiveRecord = FRecordCount - 1;
                    }
                    ++moved;
                }
                while (moved > Distance) {
                    if (FActiveRecord > 0) {
                        --FActiveRecord;
                    } else {
                        const int before = FRecordCount;
                        if (!GetPriorRecord()) {
                            FBOF = true;
                            break;
                        }
                        if (FRecordCount == before) ++scrolled;
                        FActiveRecord = 0;
                    }
                    --moved;
                }
            },
            [&] {
                if (FRecordCount != oldRecordCount || std::abs(scrolled) >= FBufferCount)
                    DataEvent(deDataSetChange, 0);
                else
                    DataEvent(deDataSetScroll, scrolled);
            });
    }
    DoAfterScroll();
    return moved;
}

void TDataSet::Resync(TResyncMode Mode) {
    if (FBuffers.empty()) return;
    TRecordBuffer spare = FBuffers[static_cast<size_t>(FRecordCount)];
    if (Mode & rmExact) {
        CursorPosChanged();
        if (FetchRecord(spare, gmCurrent) != grOK) DatabaseError("Record not found or changed by another user", this);
    } else if (FetchRecord(spare, gmCurrent) != grOK && FetchRecord(spare, gmNext) != grOK &&
               FetchRecord(spare, gmPrior) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int count = (Mode & rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
    MoveBuffer(FRecordCount, 0);
    ActivateBuffers();
    Guarded(
        [&] {
            while (count > 0 && GetPriorRecord()) --count;
            GetNextRecords();
            GetPriorRecords();
        },
        [&] { DataEvent(deDataSetChange, 0); });
}

// ---- Bookmarks ----

TBookmark TDataSet::GetBookmark() {
    if (!Active() || IsEmpty() || FBookmarkSize <= 0 || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return {};
    TBookmark bookmark(static_cast<size_t>(FBookmarkSize));
    GetBookmarkData(ActiveBuffer(), bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
    if (Bookmark.empty()) return;
    if (Bookmark.size() != static_cast<size_t>(FBookmarkSize))
        DatabaseError("Bookmark of " + std::to_string(Bookmark.size()) + " bytes where " +
                      std::to_string(FBookmarkSize) + " are expected", this);
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(Bookmark.data());
    Resync(rmExact | rmCenter);
    DoAfterScroll();
}

int TDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
    if (B1.empty() || B2.empty()) return B1.empty() == B2.empty() ? 0 : (B1.empty() ? 1 : -1);
    // The base knows no positions: byte order. Derived classes answer by position.
    const int c = std::memcmp(B1.data(), B2.data(), std::min(B1.size(), B2.size()));
    if (c != 0) return c < 0 ? -1 : 1;
    return B1.size() == B2.size() ? 0 : (B1.size() < B2.size() ? -1 : 1);
}

// ---- Editing ----

void TDataSet::CheckOperation(TOperation Operation, const TDataSetErrorEvent& ErrorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            (this->*Operation)();
            return;
        } catch (EDatabaseError& E) {
            TDataAction action = daFail;
            if (ErrorEvent) ErrorEvent(this, E, action);
            if (action == daFail) throw;
            if (action == daAbort) throw EAbort();
        }
    }
}

void TDataSet::Edit() {
    if (IsEditState(FState)) return;
    if (FRecordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation(&TDataSet::InternalEdit, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    DoAfterEdit();
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
    InternalInitRecord(Buffer);
    ClearCalcFields(Buffer);
    SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    FModified = false;
    DataEvent(deDataSetChange, 0);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    const TBookmark oldCurrent = GetBookmark();
    MoveBuffer(FRecordCount, FActiveRecord);
    TRecordBuffer buffer = FBuffers[static_cast<size_t>(FActiveRecord)];
    try {
        InternalInsert();
    } catch (...) {
        MoveBuffer(FActiveRecord, FRecordCount);
        throw;
    }
    InitRecord(buffer);
    // The new record stands where the insert began: its buffer carries that record's bookmark.
    if (FRecordCount == 0)
        SetBookmarkFlag(buffer, bfBOF);
    else if (!oldCurrent.empty())
        SetBookmarkData(buffer, oldCurrent.data());
    if (FRecordCount < FBufferCount) ++FRecordCount;
    if (FCurrentRecord >= FRecordCount) CursorPosChanged();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer buffer = FBuffers[0];
    InternalInsert();
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    FRecordCount = 1;
    FBOF = false;
    GetPriorRecords();
    EndInsertAppend();
}

void TDataSet::InsertRecordValues(const std::vector<Variant>& Values, bool Append) {
    BeginInsertAppend();
    if (!Append) UpdateCursorPos();
    DisableControls();
    Guarded(
        [&] {
            MoveBuffer(FRecordCount, FActiveRecord);
            try {
                TRecordBuffer buffer = FBuffers[static_cast<size_t>(FActiveRecord)];
                InitRecord(buffer);
                FState = dsInsert;
                Guarded(
                    [&] {
                        for (size_t i = 0; i < Values.size() && i < static_cast<size_t>(FFields.Count()); ++i)
                            if (!Values[i].IsEmpty()) FFields[static_cast<int>(i)]->SetAsVariant(Values[i]);
                        DoBeforePost();
                        InternalAddRecord(buffer, Append);
                    },
                    [&] {
                        FreeFieldBuffers();
                        FState = dsBrowse;
                        FModified = false;
                    });
            } catch (...) {
                MoveBuffer(FActiveRecord, FRecordCount);
                throw;
            }
            Resync(0);
            DoAfterPost();
        },
        [&] { EnableControls(); });
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::CheckRequiredFields() {
    for (TField* field : FFields)
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull())
            DatabaseError("Field '" + field->DisplayName() + "' must have a value");
}

void TDataSet::Post() {
    UpdateRecord();
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckOperation(&TDataSet::InternalPost, OnPostError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (!IsEditState(FState)) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeCancel();
    UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterCancel();
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert) {
        Cancel();
        return;
    }
    if (FRecordCount == 0) DatabaseError("Cannot perform this operation on an empty dataset", this);
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    DoBeforeRefresh();
    UpdateCursorPos();
    InternalRefresh();
    Resync(0);
    DoAfterRefresh();
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    if (IsEditState(FState)) {
        UpdateRecord();
        if (FModified)
            Post();
        else
            Cancel();
    }
}

void TDataSet::UpdateRecord() {
    if (!IsEditState(FState)) DatabaseError("Dataset not in edit or insert mode", this);
    DataEvent(deUpdateRecord, 0);
}

// ---- Checks ----

void TDataSet::CheckActive() {
    if (FState == dsInactive) DatabaseError("Cannot perform this operation on a closed dataset", this);
}

void TDataSet::CheckInactive() {
    if (Active()) DatabaseError("Cannot perform this operation on an open dataset", this);
}

void TDataSet::CheckCanModify() {
    if (!CanModify()) DatabaseError("Cannot modify a read-only dataset", this);
}

// ---- States and events ----

void TDataSet::SetState(TDataSetState Value) {
    if (FState == Value) return;
    FState = Value;
    FModified = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
    const TDataSetState old = FState;
    FState = Value;
    ++FTempStateDepth;
    return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
    // A handler that ran in the temporary state may have closed the data set: it stays closed.
    if (FState != dsInactive || IsCursorOpen()) FState = Value;
    if (FTempStateDepth > 0) --FTempStateDepth;
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deFieldChange) {
        auto* field = reinterpret_cast<TField*>(Info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) SetModified(true);
        if (AutoCalcFields && FState != dsCalcFields && FState != dsInternalCalc &&
            (FCalcFieldsSize > 0 || FInternalCalcFields))
            GetCalcFields(ActiveBuffer());
        field->Change();
    }
    if (FTempStateDepth > 0) return;   // internal reads and writes concern no link
    if (FDisableCount == 0)
        ForEachLive(FDataSources, [&](TDataSource* source) { source->DataEvent(Event, Info); });
    else if ((Event == deUpdateState && FState == dsInactive) || Event == deLayoutChange)
        FEnableEvent = deLayoutChange;
}

void TDataSet::DisableControls() {
    if (FDisableCount == 0) {
        FDisableState = FState;
        FEnableEvent = deDataSetChange;
    }
    if (++FDisableCount == 1) DataEvent(deDisabledStateChange, 0);
}

void TDataSet::EnableControls() {
    if (FDisableCount == 0 || --FDisableCount > 0) return;
    DataEvent(deDisabledStateChange, 1);
    if (FDisableState != FState) DataEvent(deUpdateState, 0);
    if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
}

// ---- Calculated fields ----

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
    if (FCalcFieldsSize == 0 && !FInternalCalcFields) return;
    const TDataSetState save = SetTempState(dsCalcFields);
    Guarded([&] { CalculateFields(Buffer); }, [&] { RestoreState(save); });
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
    TRecordBuffer saved = FCalcBuffer;
    FCalcBuffer = Buffer;
    Guarded(
        [&] {
            ClearCalcFields(Buffer);
            for (TField* field : FFields)
                if (field->FieldKind() == fkLookup) CalculateLookupField(field);
            DoOnCalcFields();
        },
        [&] { FCalcBuffer = saved; });
}

void TDataSet::CalculateLookupField(TField* Field) {
    TDataSet* lookup = Field->LookupDataSet();
    if (!lookup || !lookup->Active() || Field->KeyFields.empty()) return;
    std::vector<TField*> keys;
    GetFieldList(keys, Field->KeyFields);
    for (TField* key : keys)
        if (key->IsNull()) return;   // no key, no value
    Field->SetAsVariant(lookup->Lookup(Field->LookupKeyFields, FieldValues(Field->KeyFields), Field->LookupResultField));
}

// ---- Field values ----

bool TDataSet::GetFieldData(TField* Field, void* Buffer, bool NativeFormat) {
    if (NativeFormat || !Buffer) return GetFieldData(Field, Buffer);
    std::vector<char> native(static_cast<size_t>(std::max(Field->DataSize(), 1)));
    const bool has = GetFieldData(Field, native.data());
    if (has) DataConvert(Field, native.data(), Buffer, false);
    return has;
}

void TDataSet::SetFieldData(TField* Field, const void*) {
    // A data set that stores nothing refuses writes.
    DatabaseError("Field '" + Field->DisplayName() + "' cannot be modified", this);
}

void TDataSet::SetFieldData(TField* Field, const void* Buffer, bool NativeFormat) {
    if (NativeFormat || !Buffer) {
        SetFieldData(Field, Buffer);
        return;
    }
    std::vector<char> native(static_cast<size_t>(std::max(Field->DataSize(), 1)));
    DataConvert(Field, Buffer, native.data(), true);
    SetFieldData(Field, native.data());
}

void TDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
    auto load = [&](auto& value) { std::memcpy(&value, Source, sizeof value); };
    auto store = [&](const auto& value) { std::memcpy(Dest, &value, sizeof value); };
    // TDateTime range of years 1 to 9999; beyond it the day numbers overflow.
    auto checkRange = [&](double Value) {
        if (!(Value >= -693593.0 && Value < 2958466.0))
            DatabaseError(FloatToStr(Value) + " is not a valid date and time for field '" + Field->DisplayName() + "'");
    };
    switch (Field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime:
        if (ToNative) {
            double value;
            load(value);
            checkRange(value);
            const TTimeStamp stamp = DateTimeToTimeStamp(value);
            if (Field->DataType() == ftDate)
                store(static_cast<int32_t>(stamp.Date));
            else if (Field->DataType() == ftTime)
                store(static_cast<int32_t>(stamp.Time));
            else
                store(TimeStampToMSecs(stamp));
        } else {
            double value;
            if (Field->DataType() == ftDate) {
                int32_t date;
                load(date);
                value = TimeStampToDateTime({0, date});
            } else if (Field->DataType() == ftTime) {
                int32_t time;
                load(time);
                value = static_cast<double>(time) / MSecsPerDay;
            } else {
                double msecs;
                load(msecs);
                value = TimeStampToDateTime(MSecsToTimeStamp(msecs));
            }
            store(value);
        }
        break;
    case ftWideString: {
        // Both sides hold zero-terminated UTF-16 of at most Size characters.
        const auto* from = static_cast<const char16_t*>(Source);
        auto* to = static_cast<char16_t*>(Dest);
        const int size = std::max(Field->Size(), 0);
        int i = 0;
        for (; i < size && from[i] != 0; ++i) to[i] = from[i];
        to[i] = 0;
        break;
    }
    default:
        std::memcpy(Dest, Source, static_cast<size_t>(std::max(Field->DataSize(), 0)));
        break;
    }
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) { return nullptr; }

Variant TDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
    const TDataSetState save = SetTempState(State);
    return Guarded([&] { return Field->GetAsVariant(); }, [&] { RestoreState(save); });
}

void TDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
    const TDataSetState save = SetTempState(State);
    Guarded([&] { Field->SetAsVariant(Value); }, [&] { RestoreState(save); });
}

bool TDataSet::Locate(const std::string&, const Variant&, TLocateOptions) { return false; }

Variant TDataSet::Lookup(const std::string&, const Variant&, const std::string&) { return Variant::Null(); }

// ---- Fields ----

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& Names) const {
    size_t start = 0;
    while (start <= Names.size()) {
        size_t end = Names.find(';', start);
        if (end == std::string::npos) end = Names.size();
        const std::string name = Trim(std::string_view(Names).substr(start, end - start));
        if (!name.empty()) List.push_back(FieldByName(name));
        start = end + 1;
    }
}

Variant TDataSet::FieldValues(const std::string& Names) const {
    std::vector<TField*> fields;
    GetFieldList(fields, Names);
    if (fields.size() == 1) return fields[0]->GetAsVariant();
    Variant values = Variant::CreateArray({{0, static_cast<int>(fields.size())}}, varVariant);
    for (size_t i = 0; i < fields.size(); ++i) values.PutElement({static_cast<int>(i)}, fields[i]->GetAsVariant());
    return values;
}

void TDataSet::CreateFields() {
    for (int i = 0; i < FFieldDefs.Count(); ++i) {
        TFieldDef* def = FFieldDefs.Items(i);
        if (def->DataType != ftUnknown) def->CreateField(this);
    }
}

void TDataSet::BindFields(bool Binding) {
    FCalcFieldsSize = 0;
    FBlobFieldCount = 0;
    FInternalCalcFields = false;
    for (TField* field : FFields) {
        if (!Binding) {
            field->FFieldNo = 0;
            field->FOffset = 0;
            continue;
        }
        if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
            field->FFieldNo = -1;
            field->FOffset = FCalcFieldsSize;
            FCalcFieldsSize += field->DataSize() + 1;
        } else {
            TFieldDef* def = FFieldDefs.Find(field->FieldName());
            field->FFieldNo = def->FieldNo;
            CheckFieldCompatibility(field, def);
            if (field->FieldKind() == fkInternalCalc) FInternalCalcFields = true;
            if (field->IsBlob()) ++FBlobFieldCount;
        }
    }
}

void TDataSet::DestroyFields() {
    const std::vector<TField*> fields(FFields.begin(), FFields.end());
    for (TField* field : fields)
        if (field->Owner() == this) delete field;   // its destructor leaves the list
}

void TDataSet::FreeFieldBuffers() {
    for (TField* field : FFields) field->FreeBuffers();
}

TFieldClass TDataSet::GetFieldClass(TFieldType FieldType) {
    switch (FieldType) {
    case ftString: return NewField<TStringField>;
    case ftSmallint: return NewField<TSmallintField>;
    case ftInteger: return NewField<TIntegerField>;
    case ftWord: return NewField<TWordField>;
    case ftBoolean: return NewField<TBooleanField>;
    case ftFloat: return NewField<TFloatField>;
    case ftCurrency: return NewField<TCurrencyField>;
    case ftBCD: return NewField<TBCDField>;
    case ftDate: return NewField<TDateField>;
    case ftTime: return NewField<TTimeField>;
    case ftDateTime: return NewField<TDateTimeField>;
    case ftBytes: return NewField<TBytesField>;
    case ftVarBytes: return NewField<TVarBytesField>;
    case ftAutoInc: return NewField<TAutoIncField>;
    case ftBlob: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: return NewField<TBlobField>;
    case ftMemo: case ftFmtMemo: return NewField<TMemoField>;
    case ftGraphic: return NewField<TGraphicField>;
    case ftWideString: return NewField<TWideStringField>;
    case ftLargeint: return NewField<TLargeintField>;
    case ftGuid: return NewField<TGuidField>;
    case ftWideMemo: return NewField<TWideMemoField>;
    case ftUnknown: break;
    }
    return nullptr;
}

void TDataSet::CheckFieldCompatibility(TField* Field, TFieldDef* FieldDef) {
    const TFieldType a = Field->DataType();
    const TFieldType b = FieldDef->DataType;
    if (a == b || (TypeFamily(a) != 0 && TypeFamily(a) == TypeFamily(b))) return;
    DatabaseError(std::string("Type mismatch for field '") + Field->DisplayName() + "', expecting: " +
                      FieldTypeName(a) + " actual: " + FieldTypeName(b),
                  this);
}

// ---- Links ----

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
    std::vector<TDataSet*> seen;
    for (TDataSource* source = DataSource; source && source->DataSet();) {
        TDataSet* master = source->DataSet();
        if (master == this) return true;
        if (std::find(seen.begin(), seen.end(), master) != seen.end()) break;   // a loop elsewhere
        seen.push_back(master);
        source = master->GetDataSource();
    }
    return false;
}

void TDataSet::AddDataSource(TDataSource* Source) {
    FDataSources.push_back(Source);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* Source) {
    FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), Source), FDataSources.end());
    UpdateBufferCount();
}

// ---- TDataSource ----

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
    for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) {
        link->FDataSource = nullptr;
        link->UpdateState();
    }
    FDataLinks.clear();
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) {
        RemoveFreeNotification(FDataSet);
        FDataSet->RemoveDataSource(this);
    }
    FDataSet = Value;
    if (Value) {
        FreeNotification(Value);
        Value->AddDataSource(this);
    }
    UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
    FEnabled = Value;
    UpdateState();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FDataSet) {
        FDataSet = nullptr;
        UpdateState();
    }
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) const {
    std::vector<const TDataSource*> seen;
    for (const TDataSource* source = this; source && source->FDataSet;) {
        if (source->FDataSet == DataSet) return true;
        if (std::find(seen.begin(), seen.end(), source) != seen.end()) break;
        seen.push_back(source);
        source = source->FDataSet->GetDataSource();
    }
    return false;
}

void TDataSource::UpdateState() {
    TDataSetState state = FEnabled && FDataSet ? FDataSet->State() : dsInactive;
    if (state == dsOpening) state = dsInactive;
    if (state == FState) return;
    FState = state;
    ForEachLive(FDataLinks, [](TDataLink* link) { link->UpdateState(); });
}

void TDataSource::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (FState == dsInactive) return;
    ForEachLive(FDataLinks, [&](TDataLink* link) { link->DataEvent(Event, Info); });
}

// ---- TDataLink ----

TDataLink::~TDataLink() {
    if (!FDataSource) return;
    auto& links = FDataSource->FDataLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
    if (TDataSet* dataSet = FDataSource->DataSet()) dataSet->UpdateBufferCount();
}

void TDataLink::SetDataSource(TDataSource* Value) {
    if (Value == FDataSource) return;
    if (FDataSource) {
        auto& links = FDataSource->FDataLinks;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
        if (TDataSet* dataSet = FDataSource->DataSet()) dataSet->UpdateBufferCount();
    }
    FDataSource = Value;
    if (Value) {
        Value->FDataLinks.push_back(this);
        if (TDataSet* dataSet = Value->DataSet()) dataSet->UpdateBufferCount();
    }
    UpdateState();
}

void TDataLink::SetBufferCount(int Value) {
    Value = std::max(Value, 1);
    if (Value == FBufferCount) return;
    FBufferCount = Value;
    if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
}

void TDataLink::UpdateState() {
    const TDataSetState state = FDataSource ? FDataSource->State() : dsInactive;
    const bool active = state != dsInactive;
    if (active != FActive) {
        FActive = active;
        ActiveChanged();
    }
    const bool editing = FActive && IsEditState(state);
    if (editing != FEditing) {
        FEditing = editing;
        EditingChanged();
    }
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!FActive) return;
    switch (Event) {
    case deFieldChange:
    case deRecordChange:
        if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
        break;
    case deDataSetChange:
        DataSetChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(static_cast<int>(Info));
        break;
    case deLayoutChange:
        LayoutChanged();
        break;
    case deUpdateRecord:
        FUpdating = true;
        Guarded([&] { UpdateData(); }, [&] { FUpdating = false; });
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    default:
        break;
    }
}

} // namespace qnl
