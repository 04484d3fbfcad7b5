// Writing field values into the data set's record buffers, the data set's blob streams and the
// whole values of array columns; see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "datasets/pFIBDataInfo.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace qnl {

namespace {

bool IsCharType(int Type) { return Type == SQL_TEXT || Type == SQL_VARYING; }

// The longest prefix of Text of at most Limit bytes that ends at a whole UTF-8 character.
size_t Utf8Prefix(const std::string& Text, size_t Limit) {
    if (Text.size() <= Limit) return Text.size();
    size_t n = Limit;
    while (n > 0 && (static_cast<unsigned char>(Text[n]) & 0xC0) == 0x80) --n;
    return n;
}

} // namespace

// ---- Writing a value ----

void TFIBCustomDataSet::DoFieldValidate(TField* Field, const void* Buffer) {
    if (!Field->OnValidate) return;
    // While the handler runs the data set cannot be closed (DoBeforeClose): the close would free
    // the record being written and the field in the middle of its assignment.
    TField* const outer = FValidatingField;
    FValidatingField = Field;
    Guarded([&] { Field->Validate(Buffer); }, [&] { FValidatingField = outer; });
}

void TFIBCustomDataSet::SetFieldData(TField* Field, const void* Buffer) {
    CheckActive();
    char* record = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    const int fieldNo = Field->FieldNo();
    if (fieldNo >= 0) {
        CheckEditState();
        if (fieldNo < 1 || fieldNo > ColumnCount()) return;
        DoFieldValidate(Field, Buffer);
        // The handler may have moved the data set out of the edit or to other buffers.
        CheckEditState();
        record = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
        const int column = fieldNo - 1;
        TFIBFieldDescr& d = FFieldDescr.Items(column);
        bool setNull = Buffer == nullptr;
        const bool stringField = dynamic_cast<TFIBStringField*>(Field) || dynamic_cast<TFIBWideStringField*>(Field);
        const auto* rawField = dynamic_cast<const TFIBStringField*>(Field);
        const bool emptyText = Buffer && (Field->DataType() == ftWideString ? *static_cast<const char16_t*>(Buffer) == 0
                                          : rawField && rawField->RawLength() >= 0
                                              ? rawField->RawLength() == 0
                                              : *static_cast<const char*>(Buffer) == 0);
        if (!setNull && stringField && emptyText) {
            const bool toNull = dynamic_cast<TFIBStringField*>(Field) ? static_cast<TFIBStringField*>(Field)->EmptyStrToNull
                                                                      : static_cast<TFIBWideStringField*>(Field)->EmptyStrToNull;
            if (toNull) {
                // An empty text stays empty only where the column's default is the empty text and
                // the column cannot hold null.
                TpFIBFieldInfo* info = TableInfoCache().GetFieldInfo(Database(), GetRelationName(Field), false, GetSqlName(Field));
                setNull = true;
                if (info && info->DefaultValue.empty() && info->DefaultIsEmptyString)
                    setNull = FSelectQuery->Fields()[column].GetIsNullable();
            }
        }
        char* data = record + d.DataOffset;
        if (setNull) {
            NullFlags(record)[column] = 1;
            if (d.InStringCollection) std::memset(data, 0, 4);
        } else if (dynamic_cast<TFIBBooleanField*>(Field)) {
            int16_t value;
            std::memcpy(&value, Buffer, 2);
            // 1 or 0 in the column's own width: one byte for BOOLEAN, four for an INTEGER.
            const int64_t flag = value != 0 ? 1 : 0;
            std::memset(data, 0, d.DataSize);
            std::memcpy(data, &flag, std::min<size_t>(d.DataSize, 8));
        } else if (IsCharType(d.SqlType)) {
            std::string bytes;
            if (Field->DataType() == ftWideString) {
                bytes = WideToUtf8(static_cast<const char16_t*>(Buffer));
                bytes.resize(Utf8Prefix(bytes, d.DataSize));
            } else if (Field->DataType() == ftGuid) {
                TGUID guid = StringAsGUID(static_cast<const char*>(Buffer));
                bytes.assign(reinterpret_cast<const char*>(&guid), sizeof guid);
            } else if (d.IsDBKey) {
                bytes.assign(static_cast<const char*>(Buffer), d.DataSize);
            } else {
                const char* text = static_cast<const char*>(Buffer);
                const bool raw = rawField && rawField->RawLength() >= 0;
                bytes.assign(text, raw ? std::min<size_t>(static_cast<size_t>(rawField->RawLength()), d.DataSize)
                                       : strnlen(text, d.DataSize));
            }
            if (TrimsText(d)) TrimRightSpacesInPlace(bytes);
            const auto length = static_cast<int32_t>(std::min<size_t>(bytes.size(), d.DataSize));
            char* chars = data;
            if (d.InStringCollection) {
                std::memcpy(data, &length, 4);
                chars = data + 4;
            }
            std::memcpy(chars, bytes.data(), static_cast<size_t>(length));
            if (length < d.DataSize) chars[length] = 0;
        } else {
            switch (d.SqlType) {
            case SQL_FLOAT: {
                double value;
                std::memcpy(&value, Buffer, 8);
                const auto f = static_cast<float>(value);
                std::memcpy(data, &f, 4);
                break;
            }
            case SQL_LONG:
            case SQL_SHORT: {
                const int64_t limit = d.SqlType == SQL_LONG ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int16_t>::max();
                int64_t raw;
                if (d.Scale != 0) {
                    double value;
                    std::memcpy(&value, Buffer, 8);
                    const double scaled = std::nearbyint(value * std::pow(10.0, -d.Scale));
                    if (!(scaled >= static_cast<double>(-limit - 1) && scaled <= static_cast<double>(limit)))
                        DatabaseError(FloatToStr(value) + " is not a valid value for field '" + Field->DisplayName() +
                                      "'. The allowed range is " + FloatToStr(-limit * std::pow(10.0, d.Scale)) + " to " +
                                      FloatToStr(limit * std::pow(10.0, d.Scale)));
                    raw = static_cast<int64_t>(scaled);
                } else {
                    const int size = Field->DataSize();
                    raw = size == 2 ? *static_cast<const int16_t*>(Buffer)
                                    : (size == 8 ? *static_cast<const int64_t*>(Buffer) : *static_cast<const int32_t*>(Buffer));
                    if (raw < -limit - 1 || raw > limit)
                        DatabaseError(std::to_string(raw) + " is not a valid value for field '" + Field->DisplayName() +
                                      "'. The allowed range is " + std::to_string(-limit - 1) + " to " + std::to_string(limit));
                }
                if (d.SqlType == SQL_LONG) {
                    const auto v = static_cast<int32_t>(raw);
                    std::memcpy(data, &v, 4);
                } else {
                    const auto v = static_cast<int16_t>(raw);
                    std::memcpy(data, &v, 2);
                }
                break;
            }
            case SQL_TYPE_TIME: {
                // The field's milliseconds; the record keeps the client's ten-thousandths.
                int32_t ms;
                std::memcpy(&ms, Buffer, 4);
                const auto units = static_cast<ISC_TIME>(ms) * IscTimeUnitsPerMSec;
                std::memcpy(data, &units, 4);
                break;
            }
            default: std::memcpy(data, Buffer, std::min<size_t>(d.DataSize, static_cast<size_t>(std::max(Field->DataSize(), 0))));
            }
        }
        if (!setNull) NullFlags(record)[column] = 0;
        auto& status = reinterpret_cast<uint8_t&>(record[5]);
        if ((status & 7) == cusUnmodified) {
            status = static_cast<uint8_t>((status & ~7) | (State() == dsInsert ? cusInserted : cusModified));
            ++FPendingChangeCount;
        }
        SetModified(true);
    } else {
        char* slot = record + FCalcAreaOffset + Field->Offset();
        slot[0] = Buffer ? 1 : 0;
        if (Buffer) std::memcpy(slot + 1, Buffer, static_cast<size_t>(Field->DataSize()));
    }
    if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- Blob streams ----

TFIBBlobStream* TFIBCustomDataSet::NewBlobStream(TField* Field, const ISC_QUAD& BlobID) {
    std::string table, column;
    std::vector<Variant> keys;
    const bool swapKey = GetBlobSwapKey(Field, table, column, keys);
    auto* stream = swapKey ? new TFIBBlobStream(Field->FieldNo(), &FOwnedStreams, table, column, keys)
                           : new TFIBBlobStream(Field->FieldNo(), &FOwnedStreams, "", "", {});
    int subType = FSelectQuery->Fields()[Field->FieldNo() - 1].GetSQLSubtype();
    if (auto* blob = dynamic_cast<TFIBBlobField*>(Field)) subType = blob->SubType;
    if (auto* memo = dynamic_cast<TFIBMemoField*>(Field)) subType = memo->SubType;
    stream->SetBlobSubType(subType);
    stream->SetMode(bmReadWrite);
    stream->SetDatabase(Database());
    stream->SetTransaction(Transaction());
    stream->SetUpdateTransaction(UpdateTransaction());
    stream->SetBlobID(BlobID);
    return stream;
}

void TFIBCustomDataSet::EnableRecentStream(TFIBBlobStream* Stream) {
    const int32_t limit = FCacheModelOptions.BlobCacheLimit;
    if (limit <= 0) return;
    std::erase(FRecentStreams, Stream);
    FRecentStreams.push_back(Stream);
    if (static_cast<int32_t>(FRecentStreams.size()) > limit) {
        FRecentStreams.front()->ReleaseBody();
        FRecentStreams.erase(FRecentStreams.begin());
    }
}

std::unique_ptr<TStream> TFIBCustomDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    auto* blobField = dynamic_cast<TFIBBlobField*>(Field);
    const bool clientField = blobField && blobField->IsClientField;
    if (Mode != bmRead && !Field->ReadOnly() && !clientField) CheckEditState();
    const int column = Field->FieldNo() - 1;
    std::vector<char> scratch;
    char* record = nullptr;
    if (FBlobReadMode == 1) {
        if (HoldsRecord(FBlobReadRecord)) {
            scratch.assign(FRecordBufferSize, 0);
            ReadRecordFromCache(FBlobReadRecord, scratch.data(), State() == dsOldValue);
            record = scratch.data();
        }
    } else if (Active() && !IsEmpty()) {
        record = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    } else if (State() == dsInsert) {
        record = ActiveBuffer();
    }
    ISC_QUAD id{};
    if (!record || column < 0 || column >= ColumnCount()) return std::make_unique<TFIBDSBlobStream>(Field, id, Mode, nullptr);
    const TFIBFieldDescr& d = FFieldDescr.Items(column);
    char* slot = record + BlobSlotOffset(Field);
    TFIBBlobStream* stream = LoadSlot(slot);
    if (stream && stream->IsClientBlob() && FDataSetChangeDispatch) stream = nullptr;
    if (!stream) {
        if (!NullFlags(record)[column]) std::memcpy(&id, record + d.DataOffset, sizeof id);
        if (clientField && Mode == bmRead) {
            Field->SetReadOnly(true);
            stream = new TFIBBlobStream(Field->FieldNo(), &FOwnedStreams, "", "", {});
            stream->SetIsClientBlob(true);
            StoreSlot(slot, stream);
            if (OnFillClientBlob) {
                // The handler may close the data set, which frees the stream and the record.
                const uint32_t closes = FCloseCount;
                OnFillClientBlob(this, blobField, stream);
                CheckNotClosedBy(closes, "OnFillClientBlob");
            }
        } else if (NullFlags(record)[column] && Mode == bmRead) {
            return std::make_unique<TFIBDSBlobStream>(Field, id, Mode, nullptr);   // a null blob makes no stream
        } else {
            stream = NewBlobStream(Field, id);
            StoreSlot(slot, stream);
        }
        if (State() == dsBrowse && record == ActiveBuffer()) {
            int32_t number;
            std::memcpy(&number, record, 4);
            WriteRecordToCache(number, record);
        }
    }
    stream->SetUpdateTransaction(UpdateTransaction());
    EnableRecentStream(stream);
    return std::make_unique<TFIBDSBlobStream>(Field, stream->BlobID(), Mode, stream);
}

// ---- TFIBDSBlobStream ----

TFIBDSBlobStream::TFIBDSBlobStream(TField* Field, const ISC_QUAD& BlobID, TBlobStreamMode Mode, TFIBBlobStream* Stream)
    : FField(Field), FBlobID(Stream ? Stream->BlobID() : BlobID), FStream(Stream), FModified(Mode == bmWrite) {
    if (!FStream) return;
    auto* ds = dynamic_cast<TFIBCustomDataSet*>(Field->DataSet());
    TBlobProgress progress;
    if (ds && Mode == bmRead && ds->OnReadBlobField) {
        auto* blob = dynamic_cast<TBlobField*>(Field);
        progress = [ds, blob](int64_t Size, int64_t Done, bool& Stop) { ds->OnReadBlobField(blob, Size, Done, Stop); };
    }
    // With cached updates the cursor and its transaction may be gone: the body is loaded in a
    // connection and transaction made for the load and ended after it.
    TFIBDatabase* db = ds ? ds->Database() : nullptr;
    TFIBTransaction* tr = ds ? ds->Transaction() : nullptr;
    const bool keepsRows = ds && (ds->CachedUpdates() || InSet(ds->Options(), poDontCloseAfterEndTransaction));
    bool connected = false;
    bool started = false;
    auto finish = [&] {
        if (started && tr->Active()) tr->Commit();
        if (connected && db->Timeout() == 0) db->Close();
    };
    Guarded(
        [&] {
            if (keepsRows && db && !db->Connected()) {
                db->Open();
                connected = true;
            }
            if (keepsRows && tr && !tr->Active()) {
                tr->StartTransaction();
                started = true;
            }
            FStream->SeekWithProgress(0, TSeekOrigin::soBeginning, progress);   // a client body is no load
            if (Mode == bmWrite) FStream->Truncate();
        },
        finish);
}

TFIBDSBlobStream::~TFIBDSBlobStream() {
    if (!FModified) return;
    if (auto* blob = dynamic_cast<TBlobField*>(FField)) {
        if (!blob->Modified()) blob->SetModified(true);
    }
    if (auto* ds = dynamic_cast<TFIBCustomDataSet*>(FField->DataSet())) {
        try {
            ds->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
        } catch (...) {
            // a destructor cannot pass the listeners' errors on
        }
    }
}

int64_t TFIBDSBlobStream::Read(void* Buffer, int64_t Count) {
    if (!FStream) return 0;
    if (FField->DataSet() && FField->DataSet()->State() == dsOldValue) return FStream->ReadSavedBody(Buffer, Count);
    return FStream->Read(Buffer, Count);
}

int64_t TFIBDSBlobStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (!FStream) return 0;
    if (FField->DataSet() && FField->DataSet()->State() == dsOldValue) return FStream->SeekSavedBody(Offset, Origin);
    return FStream->Seek(Offset, Origin);
}

int64_t TFIBDSBlobStream::Write(const void* Buffer, int64_t Count) {
    auto* blob = dynamic_cast<TFIBBlobField*>(FField);
    TDataSet* ds = FField->DataSet();
    if (!(blob && blob->IsClientField) && (!ds || (ds->State() != dsEdit && ds->State() != dsInsert)))
        RaiseClientError(cecNotEditingStream);
    FModified = true;
    if (ds) ds->SetModified(true);
    if (auto* b = dynamic_cast<TBlobField*>(FField)) b->SetModified(true);
    return FStream ? FStream->Write(Buffer, Count) : 0;
}

void TFIBDSBlobStream::SetSize(int64_t NewSize) {
    if (FStream) FStream->SetSize(NewSize);
}

int64_t TFIBDSBlobStream::GetSize() { return FStream ? FStream->GetSize() : 0; }

// ---- Arrays ----

Variant TFIBCustomDataSet::GetArrayFieldValues(TField* Field) {
    if (!Field) return Variant(false);
    TFIBXSQLVAR* column = FSelectQuery->FindField(Field->FieldName());
    if (!column || !column->ArrayInfo()) return Variant(false);
    return column->ArrayInfo()->GetFieldArrayValues(Field, Database()->HandleAddress(), Transaction()->HandleAddress());
}

void TFIBCustomDataSet::SetArrayFieldValues(TField* Field, const Variant& Value) {
    if (!Field || (State() != dsEdit && State() != dsInsert)) return;
    if (Value.IsNull() || Value.IsEmpty()) {
        Field->Clear();
        return;
    }
    TFIBXSQLVAR* column = FSelectQuery->FindField(Field->FieldName());
    if (!column || !column->ArrayInfo()) return;
    TFIBTransaction* tr = UpdateTransaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {FullName()});
    if (!tr->Active() && InSet(FOptions, poStartTransaction)) tr->StartTransaction();
    tr->CheckInTransaction();
    column->ArrayInfo()->SetFieldArrayValues(Field, Value, Database()->HandleAddress(), tr->HandleAddress());
}

} // namespace qnl
