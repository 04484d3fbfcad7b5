#pragma once
// A small data set over rows held in memory, fetched one at a time from a source table as the
// cursor needs them. It drives the data-set framework through its record-buffer protocol in
// the tests and stores values in the native formats (an encoder of its own, independent of the
// fields and of DataConvert, so that both sides are checked).
//
// Record buffer: record id (int32, the bookmark), bookmark flag (1 byte), one null flag per
// column, the columns' native data, then the calculated-field area. A blob column holds the
// 1-based index of its body in a store of bodies (0: null); a written blob gets a new body, so
// a cancelled edit keeps the old one.
#include "platform/DataSet.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qnl::test {

struct TColumn {
    std::string Name;
    TFieldType Type;
    int Size = 0;
    bool Required = false;
};

class TVectorDataSet : public TDataSet {
public:
    explicit TVectorDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner) { SetBookmarkSize(4); }
    ~TVectorDataSet() override {
        Close();
        DestroyFields();
    }
    std::string ClassName() const override { return "TVectorDataSet"; }

    std::vector<TColumn> Columns;
    std::vector<std::vector<Variant>> Source;     // what the cursor fetches, in order
    std::function<void(int Row)> AfterFetch;      // runs after a row is stored; may throw EAbort
    bool OpensCursor = true;                      // false: like a statement without rows
    bool ReadOnlyData = false;
    TDataSource* MasterSource = nullptr;          // the source this data set follows
    TDataSource* GetDataSource() override { return MasterSource; }

    int FetchedCount() const { return static_cast<int>(FRows.size()); }
    // A column's native bytes in a fetched row (empty for null).
    std::string RawColumn(int Row, int Column) const {
        const std::vector<char>& image = FRows.at(static_cast<size_t>(Row));
        if (image[NullFlag(Column)]) return {};
        return std::string(&image[FOffsets[static_cast<size_t>(Column)]], ColumnSize(Column));
    }

    using TDataSet::ActiveRecord;
    using TDataSet::BufferedRecordCount;
    using TDataSet::GetFieldData;
    using TDataSet::SetFieldData;

    bool GetFieldData(TField* Field, void* Buffer) override {
        const char* record = CurrentBuffer();
        if (!record) return false;
        if (Field->FieldNo() > 0) {
            const int column = Field->FieldNo() - 1;
            if (State() == dsOldValue) {   // the stored version of the record being edited
                if (GetBookmarkFlag(const_cast<char*>(record)) != bfCurrent) return false;   // a new record has none
                const int row = RowOf(IdOf(record));
                if (row < 0) return false;
                record = FRows[static_cast<size_t>(row)].data();
            }
            if (record[NullFlag(column)]) return false;
            if (Buffer) std::memcpy(Buffer, record + FOffsets[static_cast<size_t>(column)], ColumnSize(column));
            return true;
        }
        const char* slot = record + FCalcOffset + Field->Offset();
        if (!slot[0]) return false;
        if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<size_t>(Field->DataSize()));
        return true;
    }

    void SetFieldData(TField* Field, const void* Buffer) override {
        char* record = const_cast<char*>(CurrentBuffer());
        if (Field->FieldNo() > 0) {
            if (State() != dsEdit && State() != dsInsert) DatabaseError("Dataset not in edit or insert mode", this);
            if (Field->ReadOnly()) DatabaseError("Field '" + Field->DisplayName() + "' cannot be modified", this);
            Field->Validate(Buffer);
            const int column = Field->FieldNo() - 1;
            record[NullFlag(column)] = Buffer ? 0 : 1;
            if (Buffer) std::memcpy(record + FOffsets[static_cast<size_t>(column)], Buffer, ColumnSize(column));
        } else {
            if (State() != dsCalcFields) DatabaseError("Field '" + Field->DisplayName() + "' cannot be modified", this);
            char* slot = record + FCalcOffset + Field->Offset();
            slot[0] = Buffer ? 1 : 0;
            if (Buffer) std::memcpy(slot + 1, Buffer, static_cast<size_t>(Field->DataSize()));
        }
        if (State() != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
    }

    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
        if (Mode != bmRead && State() != dsEdit && State() != dsInsert) DatabaseError("Not editing", this);
        const int column = Field->FieldNo() - 1;
        auto stream = std::make_unique<TBlobBody>(*this, Field, Mode);
        const char* record = CurrentBuffer();
        if (Mode != bmWrite && record && !record[NullFlag(column)]) {
            int32_t body;
            std::memcpy(&body, record + FOffsets[static_cast<size_t>(column)], 4);
            if (body > 0) stream->WriteString(FBodies[static_cast<size_t>(body - 1)]);
            stream->SetPosition(0);
        }
        return stream;
    }

    bool BookmarkValid(const TBookmark& Bookmark) override {
        return Bookmark.size() == 4 && RowOf(IdIn(Bookmark.data())) >= 0;
    }
    int CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override {
        if (B1.empty() || B2.empty()) return TDataSet::CompareBookmarks(B1, B2);
        const int a = RowOf(IdIn(B1.data()));
        const int b = RowOf(IdIn(B2.data()));
        return a < b ? -1 : (a > b ? 1 : 0);
    }

    // By scanning the rows (the framework's lookup fields use it).
    Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override {
        CheckBrowseMode();
        const TBookmark here = GetBookmark();
        Variant result = Variant::Null();
        DisableControls();
        try {
            for (First(); !Eof(); Next())
                if (VarToStr(FieldValues(KeyFields)) == VarToStr(KeyValues)) {
                    result = FieldValues(ResultFields);
                    break;
                }
            GotoBookmark(here);
        } catch (...) {
            EnableControls();
            throw;
        }
        EnableControls();
        return result;
    }

protected:
    TRecordBuffer AllocRecordBuffer() override { return new char[FRecordSize](); }
    void FreeRecordBuffer(TRecordBuffer& Buffer) override {
        delete[] Buffer;
        Buffer = nullptr;
    }
    uint32_t GetRecordSize() override { return static_cast<uint32_t>(FRecordSize); }

    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) override {
        const int count = static_cast<int>(FRows.size());
        switch (GetMode) {
        case gmNext:
            FCursor = std::min(FCursor + 1, count);
            if (FCursor == count && !FetchOne()) return grEOF;
            break;
        case gmPrior:
            FCursor = std::min(FCursor, count) - 1;
            if (FCursor < 0) {
                FCursor = -1;
                return grBOF;
            }
            break;
        case gmCurrent:
            if (FCursor < 0) return grBOF;
            if (FCursor >= count) return grEOF;
            break;
        }
        std::memcpy(Buffer, FRows[static_cast<size_t>(FCursor)].data(), FRecordSize);
        Buffer[4] = static_cast<char>(bfCurrent);
        GetCalcFields(Buffer);
        return grOK;
    }

    void InternalInitRecord(TRecordBuffer Buffer) override {
        std::memset(Buffer, 0, FRecordSize);
        for (size_t c = 0; c < Columns.size(); ++c) Buffer[NullFlag(static_cast<int>(c))] = 1;
    }
    void ClearCalcFields(TRecordBuffer Buffer) override {
        std::memset(Buffer + FCalcOffset, 0, static_cast<size_t>(CalcFieldsSize()));
    }
    void InternalFirst() override { FCursor = -1; }
    void InternalLast() override {
        try {
            while (FetchOne()) {}
        } catch (...) {
            FCursor = static_cast<int>(FRows.size());
            throw;
        }
        FCursor = static_cast<int>(FRows.size());
    }
    void InternalSetToRecord(TRecordBuffer Buffer) override {
        const int row = RowOf(IdOf(Buffer));
        if (row >= 0) FCursor = row;
    }
    void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) override { std::memcpy(Data, Buffer, 4); }
    void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) override { std::memcpy(Buffer, Data, 4); }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override { return static_cast<TBookmarkFlag>(Buffer[4]); }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override { Buffer[4] = static_cast<char>(Value); }
    void InternalGotoBookmark(const uint8_t* Bookmark) override {
        const int row = RowOf(IdIn(Bookmark));
        if (row < 0) DatabaseError("Bookmark not found", this);
        FCursor = row;
    }
    int GetRecNo() override {
        if (State() == dsInactive || IsEmpty()) return -1;
        return RowOf(IdOf(ActiveBuffer())) + 1;
    }
    int GetRecordCount() override { return static_cast<int>(FRows.size()); }
    bool GetCanModify() override { return !ReadOnlyData; }

    void InternalInitFieldDefs() override {
        FieldDefs().Clear();
        for (const TColumn& column : Columns) FieldDefs().Add(column.Name, column.Type, column.Size, column.Required);
    }
    void InternalOpen() override {
        if (!OpensCursor) return;
        InternalInitFieldDefs();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        FOffsets.clear();
        size_t offset = 5 + Columns.size();
        for (size_t c = 0; c < Columns.size(); ++c) {
            FOffsets.push_back(offset);
            offset += ColumnSize(static_cast<int>(c));
        }
        FCalcOffset = offset;
        FRecordSize = offset + static_cast<size_t>(CalcFieldsSize());
        FRows.clear();
        FBodies.clear();
        FSourcePos = 0;
        FCursor = -1;
        FOpen = true;
    }
    void InternalClose() override {
        FOpen = false;
        BindFields(false);
        if (DefaultFields()) DestroyFields();
    }
    bool IsCursorOpen() override { return FOpen; }

    void InternalPost() override {
        TDataSet::InternalPost();
        TRecordBuffer buffer = ActiveBuffer();
        std::vector<char> image(buffer, buffer + FRecordSize);
        if (State() == dsEdit) {
            FRows[static_cast<size_t>(RowOf(IdOf(buffer)))] = image;
            return;
        }
        InsertImage(image, GetBookmarkFlag(buffer), RowOf(IdOf(buffer)));
    }
    void InternalAddRecord(TRecordBuffer Buffer, bool Append) override {
        std::vector<char> image(Buffer, Buffer + FRecordSize);
        InsertImage(image, Append ? bfEOF : bfInserted, Append ? -1 : FCursor);
    }
    void InternalDelete() override {
        FRows.erase(FRows.begin() + FCursor);
        if (FCursor >= static_cast<int>(FRows.size())) FCursor = static_cast<int>(FRows.size()) - 1;
    }

private:
    // Collects written bytes; on destruction stores them as a new body of the field.
    class TBlobBody : public TMemoryStream {
    public:
        TBlobBody(TVectorDataSet& Owner, TField* Field, TBlobStreamMode Mode) : FOwner(Owner), FField(Field), FMode(Mode) {}
        ~TBlobBody() override {
            if (FMode == bmRead) return;
            try {
                FOwner.StoreBody(FField, Bytes());
            } catch (...) {
                // a destructor must not throw; the test sees the missing value
            }
        }

    private:
        TVectorDataSet& FOwner;
        TField* FField;
        TBlobStreamMode FMode;
    };

    void StoreBody(TField* Field, const std::string& Body) {
        char* record = const_cast<char*>(CurrentBuffer());
        const int column = Field->FieldNo() - 1;
        FBodies.push_back(Body);
        const auto index = static_cast<int32_t>(FBodies.size());
        std::memcpy(record + FOffsets[static_cast<size_t>(column)], &index, 4);
        record[NullFlag(column)] = Body.empty() ? 1 : 0;
        if (auto* blob = dynamic_cast<TBlobField*>(Field)) blob->SetModified(true);
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
    }

    const char* CurrentBuffer() const {
        switch (State()) {
        case dsCalcFields: return CalcBuffer();
        case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit: case dsInsert: case dsNewValue: case dsCurValue: case dsOldValue: return ActiveBuffer();
        default: return nullptr;
        }
    }

    void InsertImage(std::vector<char>& Image, TBookmarkFlag Flag, int Before) {
        const int32_t id = ++FLastId;
        std::memcpy(Image.data(), &id, 4);
        int row;
        if (Flag == bfEOF) {
            while (FetchOne()) {}
            row = static_cast<int>(FRows.size());
        } else if (Flag == bfBOF || Before < 0) {
            row = Flag == bfBOF ? 0 : static_cast<int>(FRows.size());
        } else {
            row = Before;
        }
        FRows.insert(FRows.begin() + row, Image);
        FCursor = row;
    }

    bool FetchOne() {
        if (FSourcePos >= Source.size()) return false;
        const std::vector<Variant>& values = Source[FSourcePos++];
        std::vector<char> image(FRecordSize, 0);
        const int32_t id = ++FLastId;
        std::memcpy(image.data(), &id, 4);
        for (size_t c = 0; c < Columns.size(); ++c) Encode(image, static_cast<int>(c), c < values.size() ? values[c] : Variant::Null());
        FRows.push_back(std::move(image));
        FCursor = static_cast<int>(FRows.size()) - 1;
        if (AfterFetch) AfterFetch(FCursor);
        return true;
    }

    void Encode(std::vector<char>& Image, int Column, const Variant& Value) {
        if (Value.IsNull() || Value.IsEmpty()) {
            Image[NullFlag(Column)] = 1;
            return;
        }
        char* at = &Image[FOffsets[static_cast<size_t>(Column)]];
        auto put = [&](auto v) { std::memcpy(at, &v, sizeof v); };
        long double number = 0;
        VarToNumber(Value, number);
        const double whole = std::floor(static_cast<double>(number));
        const auto msecs = std::llround((static_cast<double>(number) - whole) * MSecsPerDay);
        switch (Columns[static_cast<size_t>(Column)].Type) {
        case ftString: {
            const std::string s = VarToStr(Value);
            std::memcpy(at, s.data(), std::min(s.size(), static_cast<size_t>(Columns[static_cast<size_t>(Column)].Size)));
            break;
        }
        case ftWideString: {
            const std::u16string s = VarToWideStr(Value);
            std::memcpy(at, s.data(), 2 * std::min(s.size(), static_cast<size_t>(Columns[static_cast<size_t>(Column)].Size)));
            break;
        }
        case ftSmallint: put(static_cast<int16_t>(number)); break;
        case ftInteger: put(static_cast<int32_t>(number)); break;
        case ftLargeint: put(static_cast<int64_t>(number)); break;
        case ftBoolean: put(static_cast<int16_t>(number != 0)); break;
        case ftFloat: case ftCurrency: put(static_cast<double>(number)); break;
        case ftDate: put(static_cast<int32_t>(whole) + DateDelta); break;
        case ftTime: put(static_cast<int32_t>(msecs)); break;
        case ftDateTime: put(static_cast<double>((static_cast<int64_t>(whole) + DateDelta) * MSecsPerDay + msecs)); break;
        case ftBCD: {
            TBcd bcd;
            TryStrToBcd(VarToStr(Value), bcd);
            put(bcd);
            break;
        }
        case ftBlob: case ftMemo: {
            FBodies.push_back(VarToStr(Value));
            put(static_cast<int32_t>(FBodies.size()));
            break;
        }
        default: break;
        }
    }

    size_t ColumnSize(int Column) const {
        const TColumn& c = Columns[static_cast<size_t>(Column)];
        switch (c.Type) {
        case ftString: return static_cast<size_t>(c.Size) + 1;
        case ftWideString: return (static_cast<size_t>(c.Size) + 1) * 2;
        case ftSmallint: case ftBoolean: return 2;
        case ftBCD: return sizeof(TBcd);
        case ftFloat: case ftCurrency: case ftDateTime: case ftLargeint: return 8;
        default: return 4;   // integers, dates, times, blob body numbers
        }
    }
    static size_t NullFlag(int Column) { return 5 + static_cast<size_t>(Column); }
    static int32_t IdIn(const uint8_t* Data) {
        int32_t id;
        std::memcpy(&id, Data, 4);
        return id;
    }
    static int32_t IdOf(const char* Buffer) { return IdIn(reinterpret_cast<const uint8_t*>(Buffer)); }
    int RowOf(int32_t Id) const {
        for (size_t i = 0; i < FRows.size(); ++i)
            if (IdOf(FRows[i].data()) == Id) return static_cast<int>(i);
        return -1;
    }

    std::vector<std::vector<char>> FRows;
    std::vector<std::string> FBodies;
    std::vector<size_t> FOffsets;
    size_t FCalcOffset = 0;
    size_t FRecordSize = 0;
    size_t FSourcePos = 0;
    int FCursor = -1;
    int32_t FLastId = 0;
    bool FOpen = false;
};

} // namespace qnl::test
