#pragma once
// The field side of the data-set framework: one field object per column (or calculated value)
// of a data set, the field definitions from which a data set makes its fields, and the list of
// a data set's fields.
//
// A field keeps no value of its own: every accessor goes through its data set. Reading calls
// TDataSet::GetFieldData and writing TDataSet::SetFieldData, each with a buffer in the field's
// native format; the data set decides which record that is (by its state: the active record,
// the calculation buffer while calculating, the saved version for OldValue, ...). A null value
// is "no data": GetData answers false, SetData(nullptr) writes null.
//
// Native buffer formats, DataSize bytes each (the data set stores and answers these):
//   ftString, ftGuid       Size characters and a zero byte (DataSize = Size + 1)
//   ftWideString           UTF-16 characters and a zero character (DataSize = (Size + 1) * 2)
//   ftSmallint / ftWord    16-bit signed / unsigned
//   ftInteger, ftAutoInc   32-bit signed
//   ftLargeint             64-bit signed
//   ftBoolean              16-bit, 0 is false
//   ftFloat, ftCurrency    64-bit double
//   ftBCD                  TBcd
//   ftDate                 32-bit day number, 1 = 1 January 0001 (TDateTime + DateDelta)
//   ftTime                 32-bit milliseconds since midnight
//   ftDateTime             double: milliseconds since the start of 1 January 0001
//   ftBytes / ftVarBytes   Size bytes / a 16-bit length and Size bytes
//   blobs and memos        no buffer: read and written through TDataSet::CreateBlobStream
// Date, time and date-time fields, and wide-string fields, hand the data set their values in
// their own form (TDateTime, UTF-16 text) and let TDataSet::DataConvert translate (they call
// GetData / SetData with NativeFormat false); the others use the native form directly.
#include "platform/Component.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

class TDataSet;
class TField;
class TFieldDefs;
class TStream;
enum TBlobStreamMode : uint8_t;

// The order is significant: data sets map "up to ftTypedBinary" and "above" separately.
enum TFieldType : uint8_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
    ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftWideString, ftLargeint, ftGuid,
    ftWideMemo
};
// The type's name as error messages show it ("String", "Integer", ...).
const char* FieldTypeName(TFieldType Type);

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };

// Raises EDatabaseError; a named component puts its name in front ("Name: message").
[[noreturn]] void DatabaseError(const std::string& Message, const TComponent* Component = nullptr);

using TFieldNotifyEvent = std::function<void(TField* Sender)>;
// 'class of TField': makes a field owned by Owner.
using TFieldClass = std::unique_ptr<TField> (*)(TComponent* Owner);
template <class F>
std::unique_ptr<TField> NewField(TComponent* Owner) { return std::make_unique<F>(Owner); }

class TField : public TComponent {
public:
    explicit TField(TComponent* AOwner = nullptr);
    ~TField() override;
    std::string ClassName() const override { return "TField"; }

    // Attaching to or leaving a data set needs that data set closed.
    TDataSet* DataSet() const { return FDataSet; }
    virtual void SetDataSet(TDataSet* Value);

    const std::string& FieldName() const { return FFieldName; }
    void SetFieldName(const std::string& Value);
    const std::string& DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(const std::string& Value) { FDisplayLabel = Value; }
    // DisplayLabel, or FieldName without one: the name messages use.
    std::string DisplayName() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    // Column number from 1 for data fields, -1 for calculated and lookup fields; set by
    // TDataSet::BindFields (0 before).
    int FieldNo() const { return FFieldNo; }
    TFieldKind FieldKind() const { return FFieldKind; }
    void SetFieldKind(TFieldKind Value);
    bool Calculated() const { return FFieldKind == fkCalculated; }
    bool Lookup() const { return FFieldKind == fkLookup; }
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    // CheckTypeSize first; a bound field's size cannot change.
    virtual void SetSize(int Value);
    // Bytes of the native buffer (0 for blobs).
    virtual int DataSize() const { return 0; }
    // Calculated and lookup fields: offset of the field's slot (a presence byte, then
    // DataSize bytes) in the data set's calculated-field area; set by BindFields.
    int Offset() const { return FOffset; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value) { FReadOnly = Value; }
    // A required data field must have a value when the record is posted.
    bool Required() const { return FRequired; }
    void SetRequired(bool Value) { FRequired = Value; }
    // The value a new record's field starts with, as an SQL expression (set by the program or
    // imported from the column's default).
    std::string DefaultExpression;
    // Whether grids show the field, and its width there in characters (0: the field's own).
    bool Visible = true;
    int DisplayWidth = 0;
    const std::string& Origin() const { return FOrigin; }
    void SetOrigin(const std::string& Value) { FOrigin = Value; }
    virtual bool IsBlob() const { return false; }
    // False for a read-only field, one without data set, or one whose data set cannot change.
    bool CanModify();

    // A lookup field takes LookupResultField of the LookupDataSet record whose LookupKeyFields
    // equal this data set's KeyFields (names separated by ";"); it is computed with the
    // calculated fields.
    TDataSet* LookupDataSet() const { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet* Value);   // cleared when that data set is destroyed
    std::string KeyFields, LookupKeyFields, LookupResultField;

    // OnValidate runs before a value is stored (see Validate); OnChange after.
    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

    // The value in or out of a buffer (nil: only "is there a value" / write null).
    bool GetData(void* Buffer, bool NativeFormat = true);
    void SetData(const void* Buffer, bool NativeFormat = true);
    // Runs OnValidate with Buffer (native format, nil for null) as the pending value: while it
    // runs, the field's own reads answer that value. An exception from the handler leaves the
    // value unstored. Data sets call it from SetFieldData before storing.
    void Validate(const void* Buffer);
    // Fires OnChange; the data set calls it for a field-change event.
    void Change();

    // Typed access. The base raises "Cannot access field '<name>' as type <type>" for every
    // kind a class does not convert.
    std::string AsString() { return GetAsString(); }
    std::u16string AsWideString() { return GetAsWideString(); }
    int32_t AsInteger() { return GetAsInteger(); }
    int64_t AsLargeInt() { return GetAsLargeInt(); }
    double AsFloat() { return GetAsFloat(); }
    bool AsBoolean() { return GetAsBoolean(); }
    TDateTime AsDateTime() { return GetAsDateTime(); }
    Currency AsCurrency() { return GetAsCurrency(); }
    TBcd AsBCD() { return GetAsBCD(); }
    Variant AsVariant() { return GetAsVariant(); }
    Variant Value() { return GetAsVariant(); }
    void SetValue(const Variant& V) { SetAsVariant(V); }
    std::string Text() { return GetText(false); }
    std::string DisplayText() { return GetText(true); }
    bool IsNull() { return GetIsNull(); }

    virtual std::string GetAsString();
    virtual void SetAsString(const std::string& Value);
    // Wide text goes through AsString as UTF-8 unless a class keeps wide text.
    virtual std::u16string GetAsWideString();
    virtual void SetAsWideString(const std::u16string& Value);
    virtual int32_t GetAsInteger();
    virtual void SetAsInteger(int32_t Value);
    virtual int64_t GetAsLargeInt();
    virtual void SetAsLargeInt(int64_t Value);
    virtual double GetAsFloat();
    virtual void SetAsFloat(double Value);
    virtual bool GetAsBoolean();
    virtual void SetAsBoolean(bool Value);
    virtual TDateTime GetAsDateTime();
    virtual void SetAsDateTime(TDateTime Value);
    virtual Currency GetAsCurrency();
    virtual void SetAsCurrency(Currency Value);
    virtual TBcd GetAsBCD();
    virtual void SetAsBCD(const TBcd& Value);
    // Null for no value.
    virtual Variant GetAsVariant();
    // Null or Empty clears; anything else goes to SetVarValue.
    virtual void SetAsVariant(const Variant& Value);
    virtual void SetText(const std::string& Value) { SetAsString(Value); }
    virtual bool GetIsNull();
    // Writes null.
    virtual void Clear() { SetData(nullptr); }

    // The value as the data set holds it in the old-value (before the edit), new-value and
    // current-value states.
    Variant OldValue();
    Variant NewValue();
    Variant CurValue();
    void SetNewValue(const Variant& Value);

    // Takes Source's value (null stays null).
    virtual void Assign(TField* Source);
    // Drops what the field caches of the current record (the data set calls it after a post,
    // a cancel or a close).
    virtual void FreeBuffers() {}
    // Raises "Invalid field size" for a size the class cannot hold.
    virtual void CheckTypeSize(int Value);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual std::string GetText(bool DisplayText);
    virtual void SetVarValue(const Variant& Value);
    void SetDataType(TFieldType Value) { FDataType = Value; }
    // "Invalid field size" unless Valid.
    static void CheckSize(bool Valid);
    // The data set; "Field '<name>' has no dataset" without one.
    TDataSet& CheckDataSet();
    [[noreturn]] void AccessError(const char* TypeName);
    // "<value> is not a valid value for field '<name>'. The allowed range is <min> to <max>"
    [[noreturn]] void RangeError(double Value, double Min, double Max);
    // Narrowing and rounding that raise the range error instead of cutting.
    int32_t To32Bits(int64_t Value);
    int64_t RoundTo64Bits(double Value);   // to the nearest, ties to even
    [[noreturn]] void ConvertError(const std::string& Text, const char* What);

private:
    friend class TDataSet;
    friend class TFieldDef;

    TDataSet* FDataSet = nullptr;
    TDataSet* FLookupDataSet = nullptr;
    std::string FFieldName;
    std::string FDisplayLabel;
    std::string FOrigin;
    int FFieldNo = 0;
    int FOffset = 0;
    int FSize = 0;
    TFieldType FDataType = ftUnknown;
    TFieldKind FFieldKind = fkData;
    bool FReadOnly = false;
    bool FRequired = false;
    bool FValidating = false;
    const void* FValueBuffer = nullptr;   // the pending value while OnValidate runs
};

// ---- Text ----

class TStringField : public TField {
public:
    explicit TStringField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TStringField"; }
    int DataSize() const override { return Size() + 1; }
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;   // cut to Size characters
    int32_t GetAsInteger() override;
    int64_t GetAsLargeInt() override;
    double GetAsFloat() override;
    bool GetAsBoolean() override;   // a first letter T, t, Y or y is true
    void SetAsInteger(int32_t Value) override;
    void SetAsLargeInt(int64_t Value) override;
    void SetAsFloat(double Value) override;
    void SetAsBoolean(bool Value) override;   // "T" / "F"
    Variant GetAsVariant() override;
    void CheckTypeSize(int Value) override;   // not negative

protected:
    void SetVarValue(const Variant& Value) override;
};

// Size is in characters.
class TWideStringField : public TField {
public:
    explicit TWideStringField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TWideStringField"; }
    int DataSize() const override { return (Size() + 1) * 2; }
    std::u16string GetAsWideString() override;
    void SetAsWideString(const std::u16string& Value) override;   // cut to Size characters
    std::string GetAsString() override;                            // UTF-8
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;                               // wide text
    void CheckTypeSize(int Value) override;

protected:
    void SetVarValue(const Variant& Value) override;
};

// Text of a GUID in braces: 38 characters.
class TGuidField : public TStringField {
public:
    explicit TGuidField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TGuidField"; }
    void CheckTypeSize(int Value) override;   // 0 or at least 38
};

// ---- Numbers ----

class TNumericField : public TField {
public:
    using TField::TField;
    std::string ClassName() const override { return "TNumericField"; }
    // Integers and floats answer each other's accessors and read text as numbers.
    void SetAsString(const std::string& Value) override;   // empty clears
    int32_t GetAsInteger() override;                       // AsLargeInt within 32 bits
    // How the value is shown, and edited (the display format when empty); the field classes
    // that format by them say so.
    std::string DisplayFormat, EditFormat;

protected:
    void SetVarValue(const Variant& Value) override;
};

// The integer fields share one reader and writer of their native width; values outside the
// width raise the range error instead of being cut.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TIntegerField"; }
    int DataSize() const override { return 4; }
    int64_t GetAsLargeInt() override;
    double GetAsFloat() override;
    std::string GetAsString() override;
    Variant GetAsVariant() override;
    void SetAsInteger(int32_t Value) override { SetAsLargeInt(Value); }
    void SetAsLargeInt(int64_t Value) override;
    void SetAsFloat(double Value) override;

protected:
    TIntegerField(TComponent* AOwner, TFieldType Type, int64_t Min, int64_t Max);
    // The stored value, false for null.
    bool ReadValue(int64_t& Value);
    int64_t FMin, FMax;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TSmallintField"; }
    int DataSize() const override { return 2; }
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TWordField"; }
    int DataSize() const override { return 2; }
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TAutoIncField"; }
};

class TLargeintField : public TIntegerField {
public:
    explicit TLargeintField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TLargeintField"; }
    int DataSize() const override { return 8; }
    Variant GetAsVariant() override;   // a 64-bit integer
};

class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFloatField"; }
    int DataSize() const override { return 8; }
    double GetAsFloat() override;
    void SetAsFloat(double Value) override;
    int64_t GetAsLargeInt() override;   // rounded
    void SetAsInteger(int32_t Value) override { SetAsFloat(Value); }
    void SetAsLargeInt(int64_t Value) override { SetAsFloat(static_cast<double>(Value)); }
    Currency GetAsCurrency() override;
    void SetAsCurrency(Currency Value) override;
    std::string GetAsString() override;
    Variant GetAsVariant() override;
    // The value is money (currency fields; derived classes format by it).
    bool IsCurrency = false;

protected:
    TFloatField(TComponent* AOwner, TFieldType Type);
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TCurrencyField"; }
};

// Size is the number of decimals (4 by default), Precision the number of digits.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TBCDField"; }
    int DataSize() const override { return static_cast<int>(sizeof(TBcd)); }
    int Precision = 18;
    bool IsCurrency = false;   // as TFloatField::IsCurrency
    TBcd GetAsBCD() override;
    void SetAsBCD(const TBcd& Value) override;
    Currency GetAsCurrency() override;
    void SetAsCurrency(Currency Value) override;   // to Size decimals
    double GetAsFloat() override;
    void SetAsFloat(double Value) override;
    int64_t GetAsLargeInt() override;
    void SetAsInteger(int32_t Value) override { SetAsLargeInt(Value); }
    void SetAsLargeInt(int64_t Value) override;
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;   // a currency
    void CheckTypeSize(int Value) override;   // 0 to 32 decimals

protected:
    void SetVarValue(const Variant& Value) override;
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TBooleanField"; }
    int DataSize() const override { return 2; }
    bool GetAsBoolean() override;
    void SetAsBoolean(bool Value) override;
    int32_t GetAsInteger() override { return GetAsBoolean() ? 1 : 0; }
    void SetAsInteger(int32_t Value) override { SetAsBoolean(Value != 0); }
    std::string GetAsString() override;   // "True" / "False", empty for null
    // Empty clears; a case-blind prefix of "True" or "False" sets the value; other text raises.
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;

protected:
    void SetVarValue(const Variant& Value) override;
};

// ---- Dates and times ----

class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TDateTimeField"; }
    int DataSize() const override { return 8; }
    TDateTime GetAsDateTime() override;   // 0 for null
    void SetAsDateTime(TDateTime Value) override;
    double GetAsFloat() override { return GetAsDateTime(); }
    void SetAsFloat(double Value) override { SetAsDateTime(Value); }
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;   // empty clears
    Variant GetAsVariant() override;
    // How the value is shown (the program's format when empty).
    std::string DisplayFormat;

protected:
    TDateTimeField(TComponent* AOwner, TFieldType Type);
    void SetVarValue(const Variant& Value) override;
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TDateField"; }
    int DataSize() const override { return 4; }
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TTimeField"; }
    int DataSize() const override { return 4; }
};

// ---- Bytes ----

class TBytesField : public TField {
public:
    explicit TBytesField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TBytesField"; }
    int DataSize() const override { return Size(); }
    std::string GetAsString() override;   // the raw bytes
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;
    void CheckTypeSize(int Value) override;   // not negative

protected:
    TBytesField(TComponent* AOwner, TFieldType Type);
    void SetVarValue(const Variant& Value) override;
};

class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TVarBytesField"; }
    int DataSize() const override { return Size() + 2; }
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
};

// ---- Blobs: values go through the data set's blob streams ----

class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TBlobField"; }
    bool IsBlob() const override { return true; }
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;
    // A blob changed since the last post is null when its stream is empty; otherwise the
    // data set's null flag answers.
    bool GetIsNull() override;
    // Writes an empty body.
    void Clear() override;
    void FreeBuffers() override { FModified = false; }
    int64_t BlobSize();
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);
    // Set by the data set's blob streams when they write.
    bool Modified() const { return FModified; }
    void SetModified(bool Value) { FModified = Value; }
    void CheckTypeSize(int Value) override;   // not negative

protected:
    TBlobField(TComponent* AOwner, TFieldType Type);
    void SetVarValue(const Variant& Value) override;

private:
    // The data set's stream over the blob; "Field '<name>' has no blob stream" without one.
    std::unique_ptr<TStream> OpenBlob(TBlobStreamMode Mode);
    bool FModified = false;
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TMemoField"; }

protected:
    TMemoField(TComponent* AOwner, TFieldType Type);
};

class TWideMemoField : public TMemoField {
public:
    explicit TWideMemoField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TWideMemoField"; }
    Variant GetAsVariant() override;   // wide text
};

class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TGraphicField"; }
};

// ---- The list of a data set's fields (not owning: fields belong to their owner component;
// default fields to the data set) ----

class TFields {
public:
    explicit TFields(TDataSet* DataSet) : FDataSet(DataSet) {}
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    int Count() const { return static_cast<int>(FList.size()); }
    TField* Fields(int Index) const { return FList.at(static_cast<size_t>(Index)); }
    TField* operator[](int Index) const { return Fields(Index); }
    int IndexOf(const TField* Field) const;
    // Names compare ASCII case-blind. FieldByName raises "<data set>: Field '<name>' not found".
    TField* FindField(std::string_view Name) const;
    TField* FieldByName(std::string_view Name) const;
    TField* FieldByNumber(int FieldNo) const;
    auto begin() const { return FList.begin(); }
    auto end() const { return FList.end(); }

private:
    friend class TField;
    friend class TDataSet;
    void Add(TField* Field) { FList.push_back(Field); }
    void Remove(TField* Field);

    TDataSet* FDataSet;
    std::vector<TField*> FList;
};

// ---- Field definitions: what a data set's source offers; fields are made from them ----

class TFieldDef {
public:
    TFieldDef(TFieldDefs* Owner, std::string Name, TFieldType DataType, int Size, bool Required, int FieldNo)
        : FOwner(Owner), Name(std::move(Name)), DataType(DataType), Size(Size), Required(Required), FieldNo(FieldNo) {}

    TFieldDefs* Owner() const { return FOwner; }
    // A field of the class the data set's GetFieldClass gives for DataType, named, sized and
    // attached to the data set, owned by Owner (without one, by the caller). "Field '<name>' is of an unknown type" when
    // the data set has no class for the type.
    TField* CreateField(TComponent* Owner);

private:
    TFieldDefs* FOwner;

public:
    std::string Name;
    TFieldType DataType;
    int Size;
    bool Required;
    int FieldNo;   // from 1
    int Precision = 0;
    bool InternalCalcField = false;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet* DataSet) : FDataSet(DataSet) {}
    TFieldDefs(const TFieldDefs&) = delete;
    TFieldDefs& operator=(const TFieldDefs&) = delete;

    TDataSet* DataSet() const { return FDataSet; }
    // Adds a definition with FieldNo = its position + 1.
    TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TFieldDef* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
    int IndexOf(std::string_view Name) const;
    // Raises "<data set>: Field '<name>' not found".
    TFieldDef* Find(std::string_view Name) const;

    // Out-of-date definitions are rebuilt by Update (the data set's InternalInitFieldDefs).
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool Value) { FUpdated = Value; }
    void Update();
    // Brackets a rebuild (a data set clears and refills its definitions inside one).
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate() { if (FUpdateCount > 0) --FUpdateCount; }
    bool Updating() const { return FUpdateCount > 0; }

private:
    TDataSet* FDataSet;
    std::vector<std::unique_ptr<TFieldDef>> FItems;
    bool FUpdated = false;
    int FUpdateCount = 0;
};

} // namespace qnl
