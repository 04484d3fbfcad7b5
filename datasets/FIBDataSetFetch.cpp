// The data set's fetching, navigation, bookmarks, field reading, field origins and key fields;
// see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "datasets/pFIBDataInfo.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qnl {

namespace {

// Days between 17 November 1858 (the client's day 0) and 1 January 0001 (day 1 of the stored
// day numbers).
constexpr int32_t ClientDateDelta = 678576;
constexpr int64_t MSecsInDay = 86400000;

int64_t ReadInteger(const char* P, int Size) {
    switch (Size) {
    case 1: return static_cast<int8_t>(*P);
    case 2: { int16_t v; std::memcpy(&v, P, 2); return v; }
    case 4: { int32_t v; std::memcpy(&v, P, 4); return v; }
    default: { int64_t v = 0; std::memcpy(&v, P, std::min(Size, 8)); return v; }
    }
}

void WriteInteger(void* P, int Size, int64_t Value) {
    switch (Size) {
    case 1: { const auto v = static_cast<int8_t>(Value); std::memcpy(P, &v, 1); break; }
    case 2: { const auto v = static_cast<int16_t>(Value); std::memcpy(P, &v, 2); break; }
    case 4: { const auto v = static_cast<int32_t>(Value); std::memcpy(P, &v, 4); break; }
    default: std::memcpy(P, &Value, 8); break;
    }
}

bool IsCharType(int Type) { return Type == SQL_TEXT || Type == SQL_VARYING; }

// A scaled integer as the number it stands for: divided by the power of ten, which rounds
// once (12345 at scale -2 is 123.45; multiplied by 0.01 it would be 123.45000000000002).
double ScaledValue(int64_t Raw, int Scale) {
    return Scale >= 0 ? static_cast<double>(Raw) * std::pow(10.0, Scale)
                      : static_cast<double>(Raw) / std::pow(10.0, -Scale);
}

} // namespace

int TFIBCustomDataSet::ReduceIndex(int Index) const {
    // The limited model's positions live in the ring slot of their position.
    if (!FUniDirectional && !Limited()) return Index;
    const int n = FCacheModelOptions.BufferChunks();
    return ((Index % n) + n) % n;
}

bool TFIBCustomDataSet::HoldsRecord(int Index) const {
    if (Limited()) return FWindow.First >= 0 && Index >= FWindow.First && Index <= FWindow.Last;
    return Index >= 0 && Index < FRecordCount;
}

bool TFIBCustomDataSet::TrimsText(const TFIBFieldDescr& Descr) const {
    // Character set 1 holds bytes (DB_KEY, UUIDs): a trailing 0x20 is data.
    return InSet(FOptions, poTrimCharFields) && (Descr.SubType & 0xFF) != 1 && !Descr.IsDBKey;
}

// ---- Storing rows ----

void TFIBCustomDataSet::FetchRecordToCache(TFIBQuery& Query, int Index) {
    const int index = ReduceIndex(Index);
    char* record = FRecords->PrepareRecordForWrite(index + 1);
    for (TField* f : BlobFields()) {
        if (FRecordRefresh) break;   // a re-read record keeps its streams
        // The slot of a reused ring record may still name an old stream.
        char* slot = record + BlobSlotOffset(f) - 5 - FStringAreaSize;
        TFIBBlobStream* stream = LoadSlot(slot);
        if (stream && std::find(FOwnedStreams.begin(), FOwnedStreams.end(), stream) != FOwnedStreams.end()) delete stream;
        StoreSlot(slot, nullptr);
    }
    record[0] = static_cast<char>(cusUnmodified);
    TFIBXSQLDA& cols = Query.Fields();
    // The window statements select what SelectQuery selects: their columns match by position.
    const bool bySelect = &Query == FSelectQuery.get() || &Query == FSelectPartQuery.get() ||
                          &Query == FSelectPartDescQuery.get() || &Query == FSelectDescQuery.get() ||
                          &Query == FSelectFirstQuery.get();
    for (int c = 0; c < cols.Count(); ++c) {
        TFIBXSQLVAR& v = cols[c];
        int column = c;
        if (!bySelect) {
            column = -1;
            for (int i = 0; i < FFieldDescr.Count(); ++i)
                if (FSelectQuery->Fields()[i].Name() == v.Name()) column = i;
            if (column < 0) continue;
        }
        const TFIBFieldDescr& d = FFieldDescr.Items(column);
        XSQLVAR* x = v.GetXSQLVAR();
        const bool isNull = (x->sqltype & 1) && x->sqlind && *x->sqlind == -1;
        record[1 + column] = isNull ? 1 : 0;
        char* data = record + d.DataOffset - 5;
        const int type = v.GetSQLType();
        if (isNull) {
            if (d.InStringCollection) FRecords->SetStringBuffer(d.StringIndex, index, false, 0, x->sqldata);
            else if (type == SQL_BLOB || type == SQL_ARRAY || type == SQL_QUAD) std::memset(data, 0, 8);
            continue;
        }
        switch (type) {
        case SQL_TYPE_TIME: std::memcpy(data, x->sqldata, 4); break;   // ten-thousandths, as sent
        case SQL_TYPE_DATE: {
            ISC_DATE dt;
            std::memcpy(&dt, x->sqldata, 4);
            const int32_t day = dt + ClientDateDelta;
            std::memcpy(data, &day, 4);
            break;
        }
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, x->sqldata, 8);
            const double ms = static_cast<double>((static_cast<int64_t>(ts.timestamp_date) + ClientDateDelta) * MSecsInDay +
                                                  ts.timestamp_time / static_cast<double>(IscTimeUnitsPerMSec));
            std::memcpy(data, &ms, 8);
            break;
        }
        case SQL_INT64:
            if (v.GetScale() < -4 && !InSet(FPrepareOptions, psSQLINT64ToBCD)) {
                int64_t raw;
                std::memcpy(&raw, x->sqldata, 8);
                const double value = static_cast<double>(raw) / std::pow(10.0, -v.GetScale());
                std::memcpy(data, &value, 8);
            } else {
                std::memcpy(data, x->sqldata, 8);
            }
            break;
        case SQL_VARYING: {
            int16_t length;
            std::memcpy(&length, x->sqldata, 2);
            char* chars = x->sqldata + 2;
            if (d.InStringCollection) {
                FRecords->SetStringBuffer(d.StringIndex, index, false, length, chars);
            } else if (length == 0) {
                std::memset(data, 0, d.DataSize);
            } else {
                if (length < d.DataSize) chars[length] = 0;
                std::memcpy(data, chars, d.DataSize);
            }
            break;
        }
        case SQL_TEXT:
            if (d.InStringCollection) {
                if (TrimsText(d))
                    FRecords->SetStringBuffer(d.StringIndex, index, true, -1, x->sqldata);
                else
                    FRecords->SetStringBuffer(d.StringIndex, index, false, x->sqllen, x->sqldata);
            } else {
                std::memcpy(data, x->sqldata, d.DataSize);
            }
            break;
        default: std::memcpy(data, x->sqldata, d.DataSize); break;
        }
    }
    if (FRecordRefresh)
        for (TField* f : BlobFields()) {
            // The streams of a re-read record now stand for the blobs the row names.
            TFIBBlobStream* stream = LoadSlot(record + BlobSlotOffset(f) - 5 - FStringAreaSize);
            if (!stream) continue;
            const TFIBFieldDescr& d = FFieldDescr.Items(f->FieldNo() - 1);
            ISC_QUAD id{};
            if (!record[1 + f->FieldNo() - 1]) std::memcpy(&id, record + d.DataOffset - 5, sizeof id);
            stream->SetBlobID(id);
        }
    if (AfterFetchRecord) {
        bool stop = false;
        const uint32_t closes = FCloseCount;
        AfterFetchRecord(&Query, index, stop);
        CheckNotClosedBy(closes, "AfterFetchRecord");
        if (stop) {
            ++FRecordCount;
            throw EAbort();
        }
    }
}

void TFIBCustomDataSet::FetchRecord(TFIBQuery& Query, int Index, TRecordBuffer Buffer) {
    if (Index < 0) {
        LayOutRecord();
        return;
    }
    FetchRecordToCache(Query, Index);
    ReadRecordFromCache(Index, Buffer, false);
}

uint32_t TFIBCustomDataSet::FetchNext(uint32_t Count) {
    uint32_t fetched = 0;
    if (Limited()) return 0;   // its rows come with the window
    while (fetched < Count && !FSelectQuery->Eof()) {
        if (!FSelectQuery->Next()) break;
        FetchRecordToCache(*FSelectQuery, FRecordCount);
        ++FRecordCount;
        ++fetched;
    }
    return fetched;
}

bool TFIBCustomDataSet::LeftTheRing(int Index) const {
    return FUniDirectional && Index < FRecordCount - FCacheModelOptions.BufferChunks();
}

void TFIBCustomDataSet::ReadRecordFromCache(int Index, TRecordBuffer Buffer, bool Old, int RecordNumberBase) {
    if (Index < 0) return;
    // Its ring slot holds a later row now.
    if (LeftTheRing(Index)) CheckNotUniDirectional();
    const int32_t number = RecordNumberBase + Index;
    std::memcpy(Buffer, &number, 4);
    if (CalcFieldsSize() > 0) std::memset(Buffer + FCalcAreaOffset, 0, static_cast<size_t>(CalcFieldsSize()));
    const int index = ReduceIndex(Index);
    if (Old)
        std::memcpy(Buffer + 5, FRecords->GetOldBuffer(index + 1), FRecordBufferSize - 5);
    else
        FRecords->ReadRecord(index + 1, Buffer + 5, false);
}

void TFIBCustomDataSet::WriteRecordToCache(int Index, TRecordBuffer Buffer) {
    if (Index < 0) return;
    FRecords->WriteRecord(ReduceIndex(Index) + 1, Buffer + 5, true);
}

// ---- Buffers ----

TRecordBuffer TFIBCustomDataSet::AllocRecordBuffer() { return new char[std::max<uint32_t>(FRecordBufferSize, 8)](); }

void TFIBCustomDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
    delete[] Buffer;
    Buffer = nullptr;
}

void TFIBCustomDataSet::InternalInitRecord(TRecordBuffer Buffer) {
    std::memset(Buffer, 0, FRecordBufferSize);
    std::memset(NullFlags(Buffer), 1, static_cast<size_t>(ColumnCount()));
}

// ---- GetRecord and the cursor ----

void TFIBCustomDataSet::CheckNotClosedBy(uint32_t CloseCount, const char* Handler) {
    if (CloseCount != FCloseCount) RaiseClientError(cecDataSetClosed, {std::string("continue after ") + Handler, FullName()});
}

TGetResult TFIBCustomDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) {
    FInGetRecord = true;
    auto result = grOK;
    try {
        // One step in a direction: grOK with the record read into Buffer.
        auto step = [&](TGetMode Mode) -> TGetResult {
            if (Limited()) return GetLimitedRecord(Buffer, Mode);
            switch (Mode) {
            case gmCurrent:
                if (FCurrentRecord < 0) return grBOF;
                if (FCurrentRecord < FRecordCount) {
                    ReadRecordFromCache(FCurrentRecord, Buffer, false);
                    return grOK;
                }
                while (!FSelectQuery->Eof() && FRecordCount <= FCurrentRecord) {
                    if (!FSelectQuery->Next()) break;
                    FetchRecordToCache(*FSelectQuery, FRecordCount);
                    ++FRecordCount;
                }
                if (FCurrentRecord >= FRecordCount) {
                    // Past the end of the data; an empty cache has no record to show.
                    FCurrentRecord = FRecordCount - 1;
                    if (FCurrentRecord < 0) return grEOF;
                }
                ReadRecordFromCache(FCurrentRecord, Buffer, false);
                return grOK;
            case gmNext:
                if (FCurrentRecord < FRecordCount - 1) {
                    ++FCurrentRecord;
                    ReadRecordFromCache(FCurrentRecord, Buffer, false);
                    return grOK;
                }
                if (FCurrentRecord >= FRecordCount) return grEOF;
                if (FSelectQuery->Eof() || !FSelectQuery->Next()) return grEOF;
                ++FCurrentRecord;
                FetchRecordToCache(*FSelectQuery, FRecordCount);
                ++FRecordCount;
                ReadRecordFromCache(FCurrentRecord, Buffer, false);
                return grOK;
            case gmPrior:
                if (FCurrentRecord >= 1 && FCurrentRecord <= FRecordCount) {
                    --FCurrentRecord;
                    ReadRecordFromCache(FCurrentRecord, Buffer, false);
                    return grOK;
                }
                if (FCurrentRecord == -1) return grBOF;
                if (FCurrentRecord == 0) {
                    FCurrentRecord = -1;
                    return grBOF;
                }
                return grError;
            }
            return grError;
        };
        result = step(GetMode);
        while (result == grOK && !IsVisibleRecord(Buffer))
            result = step(GetMode == gmPrior ? gmPrior : gmNext);
        if (Buffer) {
            if (result == grOK) {
                Buffer[4] = static_cast<char>(bfCurrent);
                GetCalcFields(Buffer);
            } else {
                Buffer[4] = static_cast<char>(result == grBOF ? bfBOF : bfEOF);
            }
        }
    } catch (EDatabaseError& e) {
        FInGetRecord = false;
        TDataAction action = daFail;
        if (OnGetRecordError) OnGetRecordError(this, e, action);
        if (action == daFail) throw;
        if (action == daAbort) throw EAbort();
        return result;
    } catch (...) {
        FInGetRecord = false;
        throw;
    }
    FInGetRecord = false;
    return result;
}

void TFIBCustomDataSet::InternalFirst() {
    if (Limited()) {
        LimitedFirst();
        return;
    }
    if (LeftTheRing(0)) CheckNotUniDirectional();
    FCurrentRecord = -1;
}

void TFIBCustomDataSet::InternalLast() {
    if (Limited()) {
        LimitedLast();
        return;
    }
    if (!FSelectQuery->Eof()) {
        FFetchingToLast = true;
        try {
            while (FSelectQuery->Next()) {
                FetchRecordToCache(*FSelectQuery, FRecordCount);
                ++FRecordCount;
            }
        } catch (...) {
            FFetchingToLast = false;
            FCurrentRecord = FRecordCount;
            throw;
        }
        FFetchingToLast = false;
        FCurrentRecord = FRecordCount;
    } else {
        FCurrentRecord = FRecordCount > 0 ? FRecordCount : -1;
    }
}

void TFIBCustomDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
    int32_t number;
    std::memcpy(&number, Buffer, 4);
    const auto flag = static_cast<TBookmarkFlag>(Buffer[4]);
    if (flag == bfCurrent) FCurrentRecord = number;
    else if (flag == bfInserted) FCurrentRecord = number - 1;
}

bool TFIBCustomDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
    if (!Active() || IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    ReadRecordFromCache(FCurrentRecord, Buffer, false);
    return true;
}

int TFIBCustomDataSet::GetRecNo() {
    if (State() == dsFilter) return FCurrentRecord;
    TRecordBuffer buffer = ActiveBuffer();
    if (!buffer || !Active() || IsEmpty()) return 0;
    int32_t number;
    std::memcpy(&number, buffer, 4);
    return number + 1;
}

int TFIBCustomDataSet::GetRecordCount() {
    if (FUniDirectional && FRecordCount >= FCacheModelOptions.BufferChunks()) return FCacheModelOptions.BufferChunks();
    return FRecordCount - FHiddenCount;
}

bool TFIBCustomDataSet::IsSequenced() {
    return FSelectQuery->Eof() && !FUniDirectional && !Limited() && !(Filtered() && FRecordCount > 0);
}

TUpdateStatus TFIBCustomDataSet::UpdateStatus() {
    TRecordBuffer buffer = ActiveBuffer();
    if (!Active() || !buffer) return usUnmodified;
    switch (buffer[5] & 7) {
    case cusModified: return usModified;
    case cusInserted: return usInserted;
    case cusDeleted:
    case cusUninserted: return usDeleted;
    default: return usUnmodified;
    }
}

// ---- Calculated fields ----

void TFIBCustomDataSet::GetCalcFields(TRecordBuffer Buffer) {
    if (CalcFieldsSize() == 0) return;
    const uint32_t closes = FCloseCount;
    if (FCacheCalcFields) {
        auto& status = reinterpret_cast<uint8_t&>(Buffer[5]);
        if (status & 0x80) return;
        TDataSet::GetCalcFields(Buffer);
        CheckNotClosedBy(closes, "OnCalcFields");
        status |= 0x80;
        int32_t number;
        std::memcpy(&number, Buffer, 4);
        if (HoldsRecord(number)) WriteRecordToCache(number, Buffer);
        return;
    }
    TDataSet::GetCalcFields(Buffer);
    CheckNotClosedBy(closes, "OnCalcFields");
}

void TFIBCustomDataSet::ClearCalcFields(TRecordBuffer Buffer) {
    if ((State() == dsEdit || State() == dsInsert) && CalcFieldsSize() > 0)
        std::memset(Buffer + FCalcAreaOffset, 0, static_cast<size_t>(CalcFieldsSize()));
}

// ---- Bookmarks ----

void TFIBCustomDataSet::PrepareBookMarkSize() {
    FBookmarkKeyFields.Clear();
    int size = 8;
    std::vector<std::string> keys;
    const TStringList& keyList = FAutoUpdateOptions.KeyFieldList();
    for (int i = 0; i < keyList.Count(); ++i) keys.push_back(Trim(keyList[i]));
    // The limited model finds a bookmarked record by its keys: without key fields, the sort
    // fields are its keys.
    if (keys.empty() && Limited() && IsSorted())
        for (int i = FSortFields.LowBound(1); i <= FSortFields.HighBound(1); ++i)
            keys.push_back(VarToStr(FSortFields.GetElement({i, 0})));
    for (const std::string& key : keys) {
        TField* f = FindField(key);
        if (!f) continue;
        FBookmarkKeyFields.AddObject(f->FieldName(), reinterpret_cast<void*>(static_cast<intptr_t>(size)));
        size += f->DataSize() + 1;
    }
    SetBookmarkSize(size);
}

int32_t TFIBCustomDataSet::BookmarkNumber(int Index) const {
    // A ring slot holds one row after another: the row's number among all fetched names it.
    if (FUniDirectional || Limited()) return Index + 1;
    return FRecords ? FRecords->PhysicalNoAt(Index) : -1;
}

int TFIBCustomDataSet::BookmarkIndex(int32_t Number) const {
    if (!FRecords) return -1;
    if (FUniDirectional || Limited()) return Number - 1;
    return FRecords->LogicalIndexOf(Number);
}

void TFIBCustomDataSet::GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) {
    std::memset(Data, 0, static_cast<size_t>(BookmarkSize()));
    int32_t number;
    std::memcpy(&number, Buffer, 4);
    const int32_t phys = BookmarkNumber(number);
    const int32_t active = ActiveRecord();
    std::memcpy(Data, &phys, 4);
    std::memcpy(Data + 4, &active, 4);
    if (FFetchAllCount > 0) return;
    FillBookmarkKeys(Buffer, Data);
}

void TFIBCustomDataSet::FillBookmarkKeys(TRecordBuffer Buffer, uint8_t* Data) {
    for (int i = 0; i < FBookmarkKeyFields.Count(); ++i) {
        TField* f = FindField(FBookmarkKeyFields[i]);
        const auto offset = static_cast<size_t>(reinterpret_cast<intptr_t>(FBookmarkKeyFields.Objects(i)));
        uint8_t* part = Data + offset;
        const int column = f->FieldNo() - 1;
        if (column < 0 || NullFlags(Buffer)[column]) {
            part[0] = 1;
            continue;
        }
        const TFIBFieldDescr& d = FFieldDescr.Items(column);
        if (IsCharType(d.SqlType)) {
            std::string text = ColumnText(d, Buffer);
            text.resize(std::min<size_t>(text.size(), static_cast<size_t>(std::max(f->DataSize() - 1, 0))));
            std::memcpy(part + 1, text.data(), text.size());
        } else if (d.SqlType == SQL_TYPE_TIME) {
            // Ten-thousandths of a second, as stored: the field's milliseconds would lose a digit.
            std::memcpy(part + 1, Buffer + d.DataOffset, 4);
        } else {
            ReadColumn(f, d, Buffer, part + 1);
        }
    }
}

void TFIBCustomDataSet::SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) {
    int32_t phys;
    std::memcpy(&phys, Data, 4);
    const int32_t number = BookmarkIndex(phys);
    std::memcpy(Buffer, &number, 4);
}

TBookmarkFlag TFIBCustomDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
    if (State() == dsBrowse && !IsEmpty() && Buffer == ActiveBuffer()) return bfCurrent;
    return static_cast<TBookmarkFlag>(Buffer[4]);
}

void TFIBCustomDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
    if (static_cast<TBookmarkFlag>(Buffer[4]) == bfInserted && Value == bfEOF) {
        const int32_t end = Limited() ? FWindow.Last + 1 : FRecordCount;
        std::memcpy(Buffer, &end, 4);
    }
    Buffer[4] = static_cast<char>(Value);
}

bool TFIBCustomDataSet::BookmarkValid(const TBookmark& Bookmark) {
    if (Bookmark.size() < 8 || !FRecords) return false;
    // The limited model finds a record that left the window again by its keys.
    if (Limited()) return Bookmark.size() == static_cast<size_t>(BookmarkSize());
    int32_t phys;
    std::memcpy(&phys, Bookmark.data(), 4);
    if (FUniDirectional) {
        if (phys < 1 || phys > FRecordCount || LeftTheRing(phys - 1)) return false;
    } else if (!FRecords->IsValidPhysicalNo(phys)) {
        return false;
    }
    // The record there must still be the one the bookmark was taken on: after a reopen in
    // another order the same place holds another record. (Key parts are not taken while all
    // rows are fetched.)
    if (FBookmarkKeyFields.Count() == 0 || FFetchAllCount > 0) return true;
    if (Bookmark.size() != static_cast<size_t>(BookmarkSize())) return false;
    const int index = BookmarkIndex(phys);
    if (index < 0 || index >= FRecordCount) return false;
    std::vector<char> record(FRecordBufferSize, 0);
    ReadRecordFromCache(index, record.data(), false);
    std::vector<uint8_t> keys(Bookmark.size(), 0);
    FillBookmarkKeys(record.data(), keys.data());
    return std::memcmp(keys.data() + 8, Bookmark.data() + 8, Bookmark.size() - 8) == 0;
}

int TFIBCustomDataSet::CompareBookmarks(const TBookmark& B1, const TBookmark& B2) {
    if (B1.empty() || B2.empty() || !FRecords) return TDataSet::CompareBookmarks(B1, B2);
    int32_t p1, p2;
    std::memcpy(&p1, B1.data(), 4);
    std::memcpy(&p2, B2.data(), 4);
    const int32_t a = BookmarkIndex(p1);
    const int32_t b = BookmarkIndex(p2);
    return a < b ? -1 : (a > b ? 1 : 0);
}

void TFIBCustomDataSet::InternalGotoBookmark(const uint8_t* Bookmark) {
    if (State() != dsBrowse) throw Exception("Can't use bookmark. DataSet not in browse mode");
    if (Limited()) {
        if (!LimitedGotoBookmark(Bookmark)) ++FResyncCount;
        return;
    }
    TBookmark bookmark(Bookmark, Bookmark + BookmarkSize());
    // The bookmark's number finds the record once BookmarkValid has seen its key there; an
    // invalid bookmark leaves the cursor where it was.
    if (!BookmarkValid(bookmark)) {
        ++FResyncCount;
        return;
    }
    int32_t phys;
    std::memcpy(&phys, Bookmark, 4);
    const int32_t index = BookmarkIndex(phys);
    if (index >= 0) FCurrentRecord = index;
}

// ---- Reading field values ----

std::string TFIBCustomDataSet::ColumnText(const TFIBFieldDescr& Descr, const char* Record) {
    const char* slot = Record + Descr.DataOffset;
    std::string text;
    if (Descr.InStringCollection) {
        int32_t length;
        std::memcpy(&length, slot, 4);
        length = std::clamp<int32_t>(length, 0, Descr.DataSize);
        text.assign(slot + 4, static_cast<size_t>(length));
    } else if (Descr.IsDBKey || Descr.FieldKind == 1) {
        text.assign(slot, Descr.DataSize);   // every byte: a key may hold zeros
    } else {
        text.assign(slot, strnlen(slot, Descr.DataSize));
    }
    if (TrimsText(Descr)) TrimRightSpacesInPlace(text);
    return text;
}

bool TFIBCustomDataSet::ReadColumn(TField* Field, const TFIBFieldDescr& Descr, const char* Record, void* Dest) {
    const char* data = Record + Descr.DataOffset;
    const int size = std::max(Field->DataSize(), 0);
    switch (Descr.SqlType) {
    case SQL_SHORT:
    case SQL_LONG: {
        const int64_t raw = ReadInteger(data, Descr.DataSize);
        if (Descr.Scale != 0) {
            const double value = ScaledValue(raw, Descr.Scale);
            std::memcpy(Dest, &value, 8);
        } else {
            WriteInteger(Dest, size, raw);   // the field's own width (a Boolean field's too)
        }
        return true;
    }
    case SQL_FLOAT: {
        float f;
        std::memcpy(&f, data, 4);
        const double value = f;
        std::memcpy(Dest, &value, 8);
        return true;
    }
    case SQL_TEXT:
    case SQL_VARYING: {
        const std::string text = ColumnText(Descr, Record);
        if (Field->DataType() == ftWideString) {
            const std::u16string wide = Utf8ToWide(text);
            const size_t units = std::min(wide.size(), static_cast<size_t>(std::max(size / 2 - 1, 0)));
            std::memcpy(Dest, wide.data(), units * 2);
            static_cast<char16_t*>(Dest)[units] = 0;
        } else if (Field->DataType() == ftGuid) {
            TGUID guid{};
            std::memcpy(&guid, text.data(), std::min(text.size(), sizeof guid));
            const std::string guidText = GUIDAsString(guid);
            const size_t n = std::min(guidText.size(), static_cast<size_t>(std::max(size - 1, 0)));
            std::memcpy(Dest, guidText.data(), n);
            static_cast<char*>(Dest)[n] = 0;
        } else {
            const size_t n = std::min(text.size(), static_cast<size_t>(std::max(size - 1, 0)));
            std::memcpy(Dest, text.data(), n);
            static_cast<char*>(Dest)[n] = 0;
            if (auto* s = dynamic_cast<TFIBStringField*>(Field)) s->SetReadLength(static_cast<int>(n));
        }
        return true;
    }
    case SQL_INT64:
        if (Field->DataType() == ftBCD && !dynamic_cast<TFIBBCDField*>(Field)) {
            int64_t raw;
            std::memcpy(&raw, data, 8);
            TBcd bcd;
            if (!Int64ToBCD(-Descr.Scale, bcd, raw)) return false;
            std::memcpy(Dest, &bcd, sizeof bcd);
            return true;
        }
        std::memcpy(Dest, data, 8);
        return true;
    case SQL_TIMESTAMP:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: std::memcpy(Dest, data, 8); return true;
    case SQL_TYPE_TIME: {
        // The field's milliseconds.
        ISC_TIME units;
        std::memcpy(&units, data, 4);
        const auto ms = static_cast<int32_t>(units / IscTimeUnitsPerMSec);
        std::memcpy(Dest, &ms, 4);
        return true;
    }
    case SQL_TYPE_DATE: std::memcpy(Dest, data, 4); return true;
    case SQL_BOOLEAN:
    case SQL_IB_BOOLEAN: WriteInteger(Dest, size, ReadInteger(data, Descr.DataSize) != 0 ? 1 : 0); return true;
    default: std::memcpy(Dest, data, std::min<size_t>(static_cast<size_t>(size), Descr.DataSize)); return true;
    }
}

TRecordBuffer TFIBCustomDataSet::FieldReadBuffer(TField* Field, std::vector<char>& Scratch, bool& HasRecord) {
    HasRecord = true;
    auto scratchOf = [&](int Index, bool Old) -> TRecordBuffer {
        Scratch.assign(FRecordBufferSize, 0);
        ReadRecordFromCache(Index, Scratch.data(), Old);
        if (Field->FieldNo() < 0 && State() != dsCalcFields) GetCalcFields(Scratch.data());
        return Scratch.data();
    };
    if (FBlobReadMode == 1) {
        if (!HoldsRecord(FBlobReadRecord)) {
            HasRecord = false;
            return nullptr;
        }
        return scratchOf(FBlobReadRecord, State() == dsOldValue);
    }
    // While a record is fetched or tested by the filter, the cursor's record is the one read.
    if ((FInGetRecord || State() == dsFilter) && State() != dsCalcFields) {
        if (!HoldsRecord(FCurrentRecord)) {
            HasRecord = false;
            return nullptr;
        }
        return scratchOf(FCurrentRecord, State() == dsOldValue);
    }
    if (State() == dsOldValue) {
        TRecordBuffer active = ActiveBuffer();
        if (!active || IsEmpty()) return nullptr;
        int32_t number;
        std::memcpy(&number, active, 4);
        if (!HoldsRecord(number)) return nullptr;
        return scratchOf(number, true);
    }
    if (State() == dsCalcFields) return CalcBuffer();
    return ActiveBuffer();
}

bool TFIBCustomDataSet::GetFieldData(TField* Field, void* Buffer) {
    if (!FRecords) return false;
    std::vector<char> scratch;
    bool hasRecord = true;
    TRecordBuffer record = FieldReadBuffer(Field, scratch, hasRecord);
    if (!record || !hasRecord) return false;
    if (State() != dsOldValue && !(FUpdateRecordTypes & (1u << (record[5] & 7)))) return false;
    const int fieldNo = Field->FieldNo();
    if (fieldNo >= 1 && fieldNo <= ColumnCount()) {
        int32_t number;
        std::memcpy(&number, record, 4);
        if (State() == dsBrowse && !HoldsRecord(number)) return false;
        if (NullFlags(record)[fieldNo - 1]) return false;
        if (!Buffer) return true;
        return ReadColumn(Field, FFieldDescr.Items(fieldNo - 1), record, Buffer);
    }
    if (fieldNo < 0) {
        const char* slot = record + FCalcAreaOffset + Field->Offset();
        if (!slot[0]) return false;
        if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<size_t>(Field->DataSize()));
        return true;
    }
    return false;
}

void TFIBCustomDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
    if (Field->DataType() != ftWideString) {
        TDataSet::DataConvert(Field, Source, Dest, ToNative);
        return;
    }
    // Both sides are zero-terminated UTF-16 within the field's data size.
    const auto* from = static_cast<const char16_t*>(Source);
    auto* to = static_cast<char16_t*>(Dest);
    const int units = std::max(Field->DataSize() / 2 - 1, 0);
    int i = 0;
    for (; i < units && from[i] != 0; ++i) to[i] = from[i];
    to[i] = 0;
}

Variant TFIBCustomDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
    if (State == dsOldValue && this->State() == dsInsert) return Variant::Null();
    if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
        if (State == dsNewValue) return Field->AsVariant();
        if (State == dsOldValue) return TDataSet::GetStateFieldValue(State, Field);
        return Variant::Null();
    }
    return TDataSet::GetStateFieldValue(State, Field);
}

void TFIBCustomDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
    TDataSet::SetStateFieldValue(State, Field, Value);
}

Variant TFIBCustomDataSet::GetCacheFieldValue(TField* Field, int RecordNumber) {
    CheckActive();
    if (!Limited() && RecordNumber > FRecordCount) FetchNext(static_cast<uint32_t>(RecordNumber - FRecordCount + 1));
    if (!HoldsRecord(RecordNumber - 1))
        throw Exception(FullName() + "." + "Can't read record " + std::to_string(RecordNumber));
    if (Field->FieldNo() < 0 || Field->IsBlob()) {
        FBlobReadMode = 1;
        FBlobReadRecord = RecordNumber - 1;
        return Guarded([&] { return Field->AsVariant(); }, [&] {
            FBlobReadMode = 0;
            FBlobReadRecord = -1;
        });
    }
    std::vector<char> buffer(FRecordBufferSize, 0);
    ReadRecordFromCache(RecordNumber - 1, buffer.data(), false);
    const int column = Field->FieldNo() - 1;
    if (column < 0 || column >= ColumnCount()) return Variant();
    return ColumnValue(Field, FFieldDescr.Items(column), buffer.data());
}

Variant TFIBCustomDataSet::ColumnValue(TField* Field, const TFIBFieldDescr& d, const char* Record) {
    if (NullFlags(Record)[Field->FieldNo() - 1]) return Variant::Null();
    const char* data = Record + d.DataOffset;
    switch (d.SqlType) {
    case SQL_SHORT:
    case SQL_LONG: {
        const int64_t raw = ReadInteger(data, d.DataSize);
        if (d.Scale == 0) return d.SqlType == SQL_SHORT ? Variant(static_cast<int16_t>(raw)) : Variant(static_cast<int32_t>(raw));
        return Variant(ScaledValue(raw, d.Scale));
    }
    case SQL_DOUBLE:
    case SQL_FLOAT: {
        double value;
        ReadColumn(Field, d, Record, &value);
        if (d.SqlType == SQL_DOUBLE) std::memcpy(&value, data, 8);
        return Variant(value);
    }
    case SQL_TEXT:
    case SQL_VARYING: {
        std::string text = ColumnText(d, Record);
        if (Field->DataType() == ftWideString) return Variant(Utf8ToWide(text));
        if (Field->DataType() == ftGuid) {
            TGUID guid{};
            std::memcpy(&guid, text.data(), std::min(text.size(), sizeof guid));
            return Variant(GUIDAsString(guid));
        }
        return Variant(text);
    }
    case SQL_TIMESTAMP: {
        double ms;
        std::memcpy(&ms, data, 8);
        TDateTime value;
        DataConvert(Field, &ms, &value, false);
        return Variant::FromDate(value);
    }
    case SQL_TYPE_DATE: {
        int32_t day;
        std::memcpy(&day, data, 4);
        return Variant::FromDate(static_cast<double>(day) - DateDelta);
    }
    case SQL_TYPE_TIME: {
        ISC_TIME units;
        std::memcpy(&units, data, 4);
        return Variant::FromDate(static_cast<double>(units) / (static_cast<double>(MSecsInDay) * IscTimeUnitsPerMSec));
    }
    case SQL_INT64: {
        if (Field->DataType() == ftFloat) {
            double value;
            std::memcpy(&value, data, 8);
            return Variant(value);
        }
        int64_t raw;
        std::memcpy(&raw, data, 8);
        if (Field->DataType() == ftBCD && d.Scale != 0) {
            TBcd bcd;
            Int64ToBCD(-d.Scale, bcd, raw);
            if (Field->Size() == 4) {
                Currency c;
                if (BCDToCurr(bcd, c)) return Variant(c);
            }
            return Variant(bcd);
        }
        return Variant(raw);
    }
    case SQL_BOOLEAN:
    case SQL_IB_BOOLEAN: return Variant(ReadInteger(data, d.DataSize) != 0);
    default: return Variant();
    }
}

// ---- Fields by name ----

TField* TFIBCustomDataSet::FindFieldCached(const std::string& Name) {
    std::string name = Name;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    int index;
    if (FFieldCache.Find(name, index)) return static_cast<TField*>(FFieldCache.Objects(index));
    TField* field = FindField(name);
    if (field) FFieldCache.AddObject(name, field);
    return field;
}

TField* TFIBCustomDataSet::FieldByNameCached(const std::string& Name) {
    TField* field = FindFieldCached(Name);
    if (!field) DatabaseError("Field '" + Name + "' not found", this);
    return field;
}

TFIBFieldDescr* TFIBCustomDataSet::FieldDescr(const TField* Field) {
    if (!Field || Field->FieldNo() < 1 || Field->FieldNo() > ColumnCount()) return nullptr;
    return &FFieldDescr.Items(Field->FieldNo() - 1);
}

XSQLVAR TFIBCustomDataSet::GetFieldXSQLVar(TField* Field) {
    XSQLVAR result{};
    result.sqltype = static_cast<ISC_SHORT>(65535);
    if (!Field || Field->FieldKind() != fkData || !Database() || !Transaction() || Trim(SelectSQL().Text()).empty())
        return result;
    if (!FSelectQuery->Prepared()) Prepare();
    TFIBXSQLVAR* v = FSelectQuery->FindField(Field->FieldName());
    if (!v) return result;
    return *v->GetXSQLVAR();
}

int TFIBCustomDataSet::GetFieldScale(TField* Field) {
    const XSQLVAR x = GetFieldXSQLVar(Field);
    return static_cast<uint16_t>(x.sqltype) == 65535 ? 100 : x.sqlscale;
}

std::string TFIBCustomDataSet::GetRelationName(const std::string& FieldName, int FieldNo) {
    if (FSelectQuery->Prepared() && FieldNo >= 1 && FieldNo <= FSelectQuery->GetFieldCount())
        return FSelectQuery->Fields()[FieldNo - 1].GetRelationName();
    if (FieldNo >= 1 && FieldNo <= ColumnCount()) return FFieldDescr.Items(FieldNo - 1).RelationName;
    if (TFIBXSQLVAR* v = FSelectQuery->Prepared() ? FSelectQuery->FindField(FieldName) : nullptr) return v->GetRelationName();
    return {};
}

std::string TFIBCustomDataSet::GetRelationName(TField* Field) {
    if (!Field) return {};
    if (Field->FieldKind() == fkCalculated) return "CALCULATED";
    if (Field->FieldKind() == fkLookup) {
        auto* lookup = dynamic_cast<TFIBCustomDataSet*>(Field->LookupDataSet());
        return lookup ? lookup->GetRelationName(lookup->FindField(Field->LookupResultField)) : std::string();
    }
    return GetRelationName(Field->FieldName(), Field->FieldNo());
}

std::string TFIBCustomDataSet::GetSqlName(TField* Field) {
    if (!Field) return {};
    if (Field->FieldKind() == fkCalculated) return Field->FieldName();
    if (Field->FieldKind() == fkLookup) {
        auto* lookup = dynamic_cast<TFIBCustomDataSet*>(Field->LookupDataSet());
        return lookup ? lookup->GetSqlName(lookup->FindField(Field->LookupResultField)) : std::string();
    }
    std::string name;
    const int no = Field->FieldNo();
    if (FSelectQuery->Prepared() && no >= 1 && no <= FSelectQuery->GetFieldCount())
        name = FSelectQuery->Fields()[no - 1].GetSqlName();
    else if (no >= 1 && no <= ColumnCount())
        name = FFieldDescr.Items(no - 1).SqlName;
    else if (TFIBXSQLVAR* v = FSelectQuery->Prepared() ? FSelectQuery->FindField(Field->FieldName()) : nullptr)
        name = v->GetSqlName();
    return name == "DB_KEY" ? "RDB$DB_KEY" : name;
}

std::string TFIBCustomDataSet::GetFieldTableAlias(TField* Field) {
    if (!Field || Field->FieldKind() != fkData) return {};
    const int no = Field->FieldNo();
    if (FSelectQuery->Prepared() && no >= 1 && no <= FSelectQuery->GetFieldCount())
        return FSelectQuery->GetFieldTableAlias(no - 1);
    if (no >= 1 && no <= ColumnCount()) return FFieldDescr.Items(no - 1).TableAlias;
    return FSelectQuery->Prepared() ? FSelectQuery->GetFieldTableAliasByName(Field->FieldName()) : std::string();
}

// ---- Origins and key fields ----

std::string TFIBCustomDataSet::GetFieldOrigin(TField* Field) {
    if (!Field || FieldOriginRule == forNoRule) return {};
    if (!Active() && Field->FieldNo() == 0) {
        if (!FPrepared) Prepare();
        BindFields(true);
    }
    std::string table, column;
    switch (FieldOriginRule) {
    case forTableAndFieldName:
        table = GetRelationName(Field);
        column = GetSqlName(Field);
        break;
    case forClientFieldName: column = Field->FieldName(); break;
    case forTableAliasAndFieldName:
        table = GetFieldTableAlias(Field);
        column = GetSqlName(Field);
        break;
    default: break;
    }
    if (!table.empty()) return table + "." + column;
    return column;
}

TField* TFIBCustomDataSet::FindFieldByOrigin(const std::string& TableName, const std::string& ColumnName) {
    std::string table = TableName;
    std::string column = ColumnName;
    if (!Database() || Database()->NeedUpperNames()) {
        if (table.empty() || table.front() != '"') table = FastUpperCase(table);
        if (column.empty() || column.front() != '"') column = FastUpperCase(column);
    }
    table = StripQuotes(table);
    column = StripQuotes(column);
    for (TField* f : Fields())
        if (GetRelationName(f) == table && GetSqlName(f) == column) return f;
    return nullptr;
}

TField* TFIBCustomDataSet::FindFieldByFullName(const std::string& Text) {
    const size_t dot = Text.find('.');
    if (dot == std::string::npos) return nullptr;
    return FindFieldByOrigin(Trim(Text.substr(0, dot)), Trim(Text.substr(dot + 1)));
}

TField* TFIBCustomDataSet::FindFieldByColumnName(const std::string& ColumnName) {
    if (ColumnName.empty()) return nullptr;
    for (TField* f : Fields())
        if (SameIdentifiers(GetSqlName(f), ColumnName)) return f;
    return nullptr;
}

std::string TFIBCustomDataSet::GetTableKeyFields(const std::string& TableName, bool AsColumnNames) {
    TpFIBTableInfo* info = TableInfoCache().GetTableInfo(Database(), TableName, false);
    if (!info) return {};
    const std::string keys = Trim(info->GetPrimaryKeys(Database()));
    if (keys.empty() || keys == "@FIB_DEFERRED") return {};
    std::string result;
    size_t start = 0;
    while (start <= keys.size()) {
        size_t end = keys.find(';', start);
        if (end == std::string::npos) end = keys.size();
        const std::string column = keys.substr(start, end - start);
        start = end + 1;
        std::string name;
        if (FieldCount() == 0) {
            TFIBXSQLVAR* v = FSelectQuery->FindFieldByOrigin(TableName, column);
            if (!v) return {};
            name = AsColumnNames ? column : v->Name();
        } else {
            TField* f = FindFieldByOrigin(TableName, column);
            if (!f) return {};
            name = AsColumnNames ? column : f->FieldName();
        }
        result += (result.empty() ? "" : ";") + name;
    }
    return result;
}

bool TFIBCustomDataSet::GetBlobSwapKey(TField* Field, std::string& TableName, std::string& ColumnName,
                                       std::vector<Variant>& KeyValues) {
    TFIBDatabase* db = Database();
    if (!db || !db->BlobSwapSupport().Active || db->BlobSwapSupport().GetExpandedSwapDir().empty()) return false;
    TableName = GetRelationName(Field);
    ColumnName = GetSqlName(Field);
    const std::string keys = GetTableKeyFields(TableName, true);
    if (keys.empty()) return false;
    KeyValues.clear();
    size_t start = 0;
    while (start <= keys.size()) {
        size_t end = keys.find(';', start);
        if (end == std::string::npos) end = keys.size();
        TField* key = FindFieldByOrigin(TableName, keys.substr(start, end - start));
        if (!key) return false;
        KeyValues.push_back(key->Value());
        start = end + 1;
    }
    return true;
}

bool TFIBCustomDataSet::IsDBKeyField(TField* Field) {
    if (!Field || !FSelectQuery->Prepared()) return false;
    const int no = Field->FieldNo();
    return no >= 1 && no <= FSelectQuery->GetFieldCount() && FSelectQuery->Fields()[no - 1].GetSqlName() == "DB_KEY";
}

bool TFIBCustomDataSet::IsBlobFieldModified(TField* Field) {
    auto* blob = dynamic_cast<TBlobField*>(Field);
    if (!blob) return false;
    if (!FCachedUpdates) return blob->Modified();
    std::unique_ptr<TStream> stream = CreateBlobStream(Field, bmRead);
    auto* ds = dynamic_cast<TFIBDSBlobStream*>(stream.get());
    if (!ds) return false;
    return ds->Modified() || (ds->BlobStream() && ds->BlobStream()->Modified());
}

// ---- ISQLObject ----

bool TFIBCustomDataSet::FieldExist(const std::string& Name, int& FieldIndex) {
    TField* f = FindField(Name);
    FieldIndex = f ? Fields().IndexOf(f) : -1;
    return f != nullptr;
}

Variant TFIBCustomDataSet::FieldValue(const std::string& Name, bool Old) {
    TField* f = FieldByNameCached(Name);
    return Old ? f->OldValue() : f->Value();
}

Variant TFIBCustomDataSet::FieldValue(int FieldIndex, bool Old) {
    TField* f = Fields()[FieldIndex];
    return Old && State() != dsInsert ? f->OldValue() : f->Value();
}

} // namespace qnl
