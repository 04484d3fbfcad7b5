// Implements the field classes, the field list and the field definitions; see Fields.h.
#include "platform/Fields.h"

#include "platform/DataSet.h"
#include "platform/DateTime.h"
#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace qnl {

namespace {

bool IsIntegerKind(TVarType Type) {
    switch (Type) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64: return true;
    default: return false;
    }
}

bool IsTextKind(TVarType Type) { return Type == varString || Type == varOleStr; }

} // namespace

const char* FieldTypeName(TFieldType Type) {
    static constexpr const char* Names[] = {
        "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
        "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
        "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "WideString", "LargeInt", "Guid",
        "WideMemo"};
    static_assert(std::size(Names) == ftWideMemo + 1);
    return Names[Type];
}

void DatabaseError(const std::string& Message, const TComponent* Component) {
    if (Component && !Component->Name().empty()) throw EDatabaseError(Component->Name() + ": " + Message);
    throw EDatabaseError(Message);
}

// ---- TField ----

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
    if (FDataSet) FDataSet->FFields.Remove(this);
}

void TField::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) FDataSet->CheckInactive();
    if (Value) Value->CheckInactive();
    if (FDataSet) FDataSet->FFields.Remove(this);
    FDataSet = Value;
    if (Value) Value->FFields.Add(this);
}

void TField::SetLookupDataSet(TDataSet* Value) {
    if (Value == FLookupDataSet) return;
    if (FLookupDataSet) RemoveFreeNotification(FLookupDataSet);
    FLookupDataSet = Value;
    if (Value) FreeNotification(Value);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FLookupDataSet) FLookupDataSet = nullptr;
}

void TField::SetFieldName(const std::string& Value) {
    if (FDataSet) FDataSet->CheckInactive();
    FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
    if (FDataSet) FDataSet->CheckInactive();
    FFieldKind = Value;
}

void TField::SetSize(int Value) {
    CheckTypeSize(Value);
    if (FDataSet) FDataSet->CheckInactive();
    FSize = Value;
}

void TField::CheckSize(bool Valid) {
    if (!Valid) DatabaseError("Invalid field size");
}

void TField::CheckTypeSize(int Value) { CheckSize(Value == 0); }

bool TField::CanModify() {
    return !FReadOnly && (FFieldKind == fkData || FFieldKind == fkInternalCalc) && FDataSet && FDataSet->CanModify();
}

TDataSet& TField::CheckDataSet() {
    if (!FDataSet) DatabaseError("Field '" + DisplayName() + "' has no dataset");
    return *FDataSet;
}

bool TField::GetData(void* Buffer, bool NativeFormat) {
    CheckDataSet();
    if (FValidating) {   // the value being validated
        if (!FValueBuffer) return false;
        if (Buffer) {
            if (NativeFormat)
                std::memcpy(Buffer, FValueBuffer, static_cast<size_t>(DataSize()));
            else
                FDataSet->DataConvert(this, FValueBuffer, Buffer, false);
        }
        return true;
    }
    return FDataSet->GetFieldData(this, Buffer, NativeFormat);
}

void TField::SetData(const void* Buffer, bool NativeFormat) {
    CheckDataSet().SetFieldData(this, Buffer, NativeFormat);
}

void TField::Validate(const void* Buffer) {
    if (!OnValidate) return;
    FValueBuffer = Buffer;
    FValidating = true;
    try {
        OnValidate(this);
    } catch (...) {
        FValidating = false;
        FValueBuffer = nullptr;
        throw;
    }
    FValidating = false;
    FValueBuffer = nullptr;
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

void TField::AccessError(const char* TypeName) {
    DatabaseError("Cannot access field '" + DisplayName() + "' as type " + TypeName);
}

void TField::RangeError(double Value, double Min, double Max) {
    DatabaseError(FloatToStr(Value) + " is not a valid value for field '" + DisplayName() +
                  "'. The allowed range is " + FloatToStr(Min) + " to " + FloatToStr(Max));
}

int32_t TField::To32Bits(int64_t Value) {
    if (Value < std::numeric_limits<int32_t>::min() || Value > std::numeric_limits<int32_t>::max())
        RangeError(static_cast<double>(Value), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(Value);
}

int64_t TField::RoundTo64Bits(double Value) {
    const double rounded = std::nearbyint(Value);   // ties to even
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        RangeError(Value, -9223372036854775808.0, 9223372036854775807.0);
    return static_cast<int64_t>(rounded);
}

void TField::ConvertError(const std::string& Text, const char* What) {
    DatabaseError("'" + Text + "' is not a valid " + What + " value for field '" + DisplayName() + "'");
}

std::string TField::GetAsString() { AccessError("String"); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
std::u16string TField::GetAsWideString() { return Utf8ToWide(GetAsString()); }
void TField::SetAsWideString(const std::u16string& Value) { SetAsString(WideToUtf8(Value)); }
int32_t TField::GetAsInteger() { AccessError("Integer"); }
void TField::SetAsInteger(int32_t) { AccessError("Integer"); }
int64_t TField::GetAsLargeInt() { AccessError("LargeInt"); }
void TField::SetAsLargeInt(int64_t) { AccessError("LargeInt"); }
double TField::GetAsFloat() { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::GetAsBoolean() { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
Currency TField::GetAsCurrency() { AccessError("Currency"); }
void TField::SetAsCurrency(Currency) { AccessError("Currency"); }
TBcd TField::GetAsBCD() { AccessError("BCD"); }
void TField::SetAsBCD(const TBcd&) { AccessError("BCD"); }
Variant TField::GetAsVariant() { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else
        SetVarValue(Value);
}

std::string TField::GetText(bool) { return GetAsString(); }

bool TField::GetIsNull() { return !GetData(nullptr); }

Variant TField::OldValue() { return CheckDataSet().GetStateFieldValue(dsOldValue, this); }

Variant TField::NewValue() { return CheckDataSet().GetStateFieldValue(dsNewValue, this); }

Variant TField::CurValue() { return CheckDataSet().GetStateFieldValue(dsCurValue, this); }

void TField::SetNewValue(const Variant& Value) { CheckDataSet().SetStateFieldValue(dsNewValue, this, Value); }

void TField::Assign(TField* Source) {
    if (!Source || Source->IsNull())
        Clear();
    else
        SetAsVariant(Source->GetAsVariant());
}

// ---- TStringField ----

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftString);
    TField::SetSize(20);
}

void TStringField::CheckTypeSize(int Value) { CheckSize(Value >= 0); }

std::string TStringField::GetAsString() {
    std::vector<char> buffer(static_cast<size_t>(DataSize()) + 1, 0);
    if (!GetData(buffer.data())) return {};
    return std::string(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(Size())));
}

void TStringField::SetAsString(const std::string& Value) {
    std::vector<char> buffer(static_cast<size_t>(DataSize()), 0);
    std::memcpy(buffer.data(), Value.data(), std::min(Value.size(), static_cast<size_t>(Size())));
    SetData(buffer.data());
}

int32_t TStringField::GetAsInteger() { return To32Bits(GetAsLargeInt()); }

int64_t TStringField::GetAsLargeInt() {
    const std::string text = Trim(GetAsString());
    return text.empty() ? 0 : StrToInt64(text);
}

double TStringField::GetAsFloat() {
    const std::string text = Trim(GetAsString());
    return text.empty() ? 0 : StrToFloat(text);
}

bool TStringField::GetAsBoolean() {
    const std::string text = GetAsString();
    return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

void TStringField::SetAsInteger(int32_t Value) { SetAsString(std::to_string(Value)); }
void TStringField::SetAsLargeInt(int64_t Value) { SetAsString(std::to_string(Value)); }
void TStringField::SetAsFloat(double Value) { SetAsString(FloatToStr(Value)); }
void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "T" : "F"); }

Variant TStringField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TStringField::SetVarValue(const Variant& Value) { SetAsString(VarToStr(Value)); }

// ---- TWideStringField ----

TWideStringField::TWideStringField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftWideString);
    TField::SetSize(20);
}

void TWideStringField::CheckTypeSize(int Value) { CheckSize(Value >= 0); }

std::u16string TWideStringField::GetAsWideString() {
    std::vector<char16_t> buffer(static_cast<size_t>(Size()) + 2, 0);
    if (!GetData(buffer.data(), false)) return {};
    size_t length = 0;
    while (length < static_cast<size_t>(Size()) && buffer[length] != 0) ++length;
    return std::u16string(buffer.data(), length);
}

void TWideStringField::SetAsWideString(const std::u16string& Value) {
    std::vector<char16_t> buffer(static_cast<size_t>(Size()) + 1, 0);
    std::copy_n(Value.begin(), std::min(Value.size(), static_cast<size_t>(Size())), buffer.begin());
    SetData(buffer.data(), false);
}

std::string TWideStringField::GetAsString() { return WideToUtf8(GetAsWideString()); }
void TWideStringField::SetAsString(const std::string& Value) { SetAsWideString(Utf8ToWide(Value)); }

Variant TWideStringField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsWideString());
}

void TWideStringField::SetVarValue(const Variant& Value) { SetAsWideString(VarToWideStr(Value)); }

// ---- TGuidField ----

TGuidField::TGuidField(TComponent* AOwner) : TStringField(AOwner) {
    SetDataType(ftGuid);
    TField::SetSize(38);
}

void TGuidField::CheckTypeSize(int Value) { CheckSize(Value == 0 || Value >= 38); }

// ---- TNumericField ----

int32_t TNumericField::GetAsInteger() { return To32Bits(GetAsLargeInt()); }

void TNumericField::SetAsString(const std::string& Value) {
    const std::string text = Trim(Value);
    if (text.empty())
        Clear();
    else if (DataType() == ftFloat || DataType() == ftCurrency)
        SetAsFloat(StrToFloat(text));
    else
        SetAsLargeInt(StrToInt64(text));
}

void TNumericField::SetVarValue(const Variant& Value) {
    const TVarType type = Value.VarType();
    if (IsIntegerKind(type))
        SetAsLargeInt(Value.AsInt64());
    else if (type == varDouble || type == varSingle || type == varDate)
        SetAsFloat(Value.AsDouble());
    else if (type == varCurrency)
        SetAsCurrency(Value.AsCurrency());
    else if (type == varFMTBcd)
        SetAsBCD(Value.AsBcd());
    else if (type == varBoolean)
        SetAsLargeInt(Value.AsBoolean() ? 1 : 0);
    else if (IsTextKind(type))
        SetAsString(VarToStr(Value));
    else
        AccessError("Variant");
}

// ---- Integer fields ----

TIntegerField::TIntegerField(TComponent* AOwner)
    : TIntegerField(AOwner, ftInteger, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}

TIntegerField::TIntegerField(TComponent* AOwner, TFieldType Type, int64_t Min, int64_t Max)
    : TNumericField(AOwner), FMin(Min), FMax(Max) {
    SetDataType(Type);
}

bool TIntegerField::ReadValue(int64_t& Value) {
    unsigned char buffer[8] = {};
    if (!GetData(buffer)) {
        Value = 0;
        return false;
    }
    switch (DataType()) {
    case ftSmallint: { int16_t v; std::memcpy(&v, buffer, 2); Value = v; break; }
    case ftWord: { uint16_t v; std::memcpy(&v, buffer, 2); Value = v; break; }
    case ftLargeint: { int64_t v; std::memcpy(&v, buffer, 8); Value = v; break; }
    default: { int32_t v; std::memcpy(&v, buffer, 4); Value = v; break; }
    }
    return true;
}

int64_t TIntegerField::GetAsLargeInt() {
    int64_t value;
    ReadValue(value);
    return value;
}

double TIntegerField::GetAsFloat() { return static_cast<double>(GetAsLargeInt()); }

std::string TIntegerField::GetAsString() {
    int64_t value;
    return ReadValue(value) ? std::to_string(value) : std::string();
}

Variant TIntegerField::GetAsVariant() {
    int64_t value;
    if (!ReadValue(value)) return Variant::Null();
    switch (DataType()) {
    case ftSmallint: return Variant(static_cast<int16_t>(value));
    case ftWord: return Variant::FromInteger(value, varWord);
    default: return Variant(static_cast<int32_t>(value));
    }
}

void TIntegerField::SetAsLargeInt(int64_t Value) {
    if (Value < FMin || Value > FMax) RangeError(static_cast<double>(Value), static_cast<double>(FMin), static_cast<double>(FMax));
    unsigned char buffer[8] = {};
    switch (DataType()) {
    case ftSmallint: { auto v = static_cast<int16_t>(Value); std::memcpy(buffer, &v, 2); break; }
    case ftWord: { auto v = static_cast<uint16_t>(Value); std::memcpy(buffer, &v, 2); break; }
    case ftLargeint: std::memcpy(buffer, &Value, 8); break;
    default: { auto v = static_cast<int32_t>(Value); std::memcpy(buffer, &v, 4); break; }
    }
    SetData(buffer);
}

void TIntegerField::SetAsFloat(double Value) { SetAsLargeInt(RoundTo64Bits(Value)); }

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner, ftSmallint, -32768, 32767) {}
TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner, ftWord, 0, 65535) {}
TAutoIncField::TAutoIncField(TComponent* AOwner)
    : TIntegerField(AOwner, ftAutoInc, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}
TLargeintField::TLargeintField(TComponent* AOwner)
    : TIntegerField(AOwner, ftLargeint, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()) {}

Variant TLargeintField::GetAsVariant() {
    int64_t value;
    if (!ReadValue(value)) return Variant::Null();
    return Variant(value);
}

// ---- TFloatField ----

TFloatField::TFloatField(TComponent* AOwner) : TFloatField(AOwner, ftFloat) {}

TFloatField::TFloatField(TComponent* AOwner, TFieldType Type) : TNumericField(AOwner) { SetDataType(Type); }

double TFloatField::GetAsFloat() {
    double value = 0;
    if (!GetData(&value)) return 0;
    return value;
}

void TFloatField::SetAsFloat(double Value) { SetData(&Value); }

int64_t TFloatField::GetAsLargeInt() { return RoundTo64Bits(GetAsFloat()); }

Currency TFloatField::GetAsCurrency() {
    const double scaled = std::nearbyint(GetAsFloat() * Currency::Scale);
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0))
        RangeError(GetAsFloat(), -922337203685477.5808, 922337203685477.5807);
    return Currency::FromScaled(static_cast<int64_t>(scaled));
}

void TFloatField::SetAsCurrency(Currency Value) {
    SetAsFloat(static_cast<double>(Value.Scaled) / Currency::Scale);
}

std::string TFloatField::GetAsString() {
    double value = 0;
    return GetData(&value) ? FloatToStr(value) : std::string();
}

Variant TFloatField::GetAsVariant() {
    double value = 0;
    if (!GetData(&value)) return Variant::Null();
    return Variant(value);
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner, ftCurrency) { IsCurrency = true; }

// ---- TBCDField ----

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
    SetDataType(ftBCD);
    TField::SetSize(4);
}

void TBCDField::CheckTypeSize(int Value) { CheckSize(Value >= 0 && Value <= 32); }

TBcd TBCDField::GetAsBCD() {
    TBcd value;
    if (!GetData(&value)) return TBcd{};
    return value;
}

void TBCDField::SetAsBCD(const TBcd& Value) { SetData(&Value); }

Currency TBCDField::GetAsCurrency() {
    TBcd value;
    if (!GetData(&value)) return Currency{};
    Currency result;
    if (!BCDToCurr(value, result)) DatabaseError("BCD overflow in field '" + DisplayName() + "'");
    return result;
}

void TBCDField::SetAsCurrency(Currency Value) {
    TBcd value;
    if (!CurrToBCD(Value, value, Precision > 0 ? Precision : 32, Size()))
        DatabaseError("BCD overflow in field '" + DisplayName() + "'");
    SetAsBCD(value);
}

double TBCDField::GetAsFloat() {
    TBcd value;
    if (!GetData(&value)) return 0;
    return StrToFloat(BcdToStr(value));
}

void TBCDField::SetAsFloat(double Value) {
    if (!std::isfinite(Value)) RangeError(Value, -1e32, 1e32);
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", Size(), Value);
    TBcd value;
    if (!TryStrToBcd(text, value)) DatabaseError("BCD overflow in field '" + DisplayName() + "'");
    SetAsBCD(value);
}

int64_t TBCDField::GetAsLargeInt() { return RoundTo64Bits(GetAsFloat()); }

void TBCDField::SetAsLargeInt(int64_t Value) {
    TBcd value;
    TryStrToBcd(std::to_string(Value), value);   // 19 digits at most: always fits
    SetAsBCD(value);
}

std::string TBCDField::GetAsString() {
    TBcd value;
    return GetData(&value) ? BcdToStr(value, FormatSettings.DecimalSeparator) : std::string();
}

void TBCDField::SetAsString(const std::string& Value) {
    const std::string text = Trim(Value);
    if (text.empty()) {
        Clear();
        return;
    }
    TBcd value;
    if (!TryStrToBcd(text, value, FormatSettings.DecimalSeparator)) ConvertError(Value, "BCD");
    SetAsBCD(value);
}

Variant TBCDField::GetAsVariant() {
    TBcd value;
    if (!GetData(&value)) return Variant::Null();
    Currency money;
    if (BCDToCurr(value, money)) return Variant(money);
    return Variant(value);
}

void TBCDField::SetVarValue(const Variant& Value) {
    if (Value.VarType() == varFMTBcd)
        SetAsBCD(Value.AsBcd());
    else if (Value.VarType() == varCurrency)
        SetAsCurrency(Value.AsCurrency());
    else
        TNumericField::SetVarValue(Value);
}

// ---- TBooleanField ----

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

bool TBooleanField::GetAsBoolean() {
    int16_t value = 0;
    return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool Value) {
    const int16_t value = Value ? 1 : 0;
    SetData(&value);
}

std::string TBooleanField::GetAsString() {
    int16_t value = 0;
    if (!GetData(&value)) return {};
    return value != 0 ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& Value) {
    const std::string text = Trim(Value);
    auto prefixOf = [&](std::string_view Word) {
        return text.size() <= Word.size() && SameText(text, Word.substr(0, text.size()));
    };
    if (text.empty())
        Clear();
    else if (prefixOf("True"))
        SetAsBoolean(true);
    else if (prefixOf("False"))
        SetAsBoolean(false);
    else
        ConvertError(Value, "boolean");
}

Variant TBooleanField::GetAsVariant() {
    int16_t value = 0;
    if (!GetData(&value)) return Variant::Null();
    return Variant(value != 0);
}

void TBooleanField::SetVarValue(const Variant& Value) {
    long double number;
    if (Value.VarType() == varBoolean)
        SetAsBoolean(Value.AsBoolean());
    else if (IsTextKind(Value.VarType()))
        SetAsString(VarToStr(Value));
    else if (VarToNumber(Value, number))
        SetAsBoolean(number != 0);
    else
        AccessError("Variant");
}

// ---- Date and time fields ----

TDateTimeField::TDateTimeField(TComponent* AOwner) : TDateTimeField(AOwner, ftDateTime) {}
TDateTimeField::TDateTimeField(TComponent* AOwner, TFieldType Type) : TField(AOwner) { SetDataType(Type); }
TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner, ftDate) {}
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner, ftTime) {}

TDateTime TDateTimeField::GetAsDateTime() {
    double value = 0;
    if (!GetData(&value, false)) return 0;
    return value;
}

void TDateTimeField::SetAsDateTime(TDateTime Value) { SetData(&Value, false); }

std::string TDateTimeField::GetAsString() {
    double value = 0;
    if (!GetData(&value, false)) return {};
    switch (DataType()) {
    case ftDate: return DateToStr(value);
    case ftTime: return TimeToStr(value);
    default: return DateTimeToStr(value);
    }
}

void TDateTimeField::SetAsString(const std::string& Value) {
    const std::string text = Trim(Value);
    if (text.empty()) {
        Clear();
        return;
    }
    switch (DataType()) {
    case ftDate: SetAsDateTime(StrToDate(text)); break;
    case ftTime: SetAsDateTime(StrToTime(text)); break;
    default: SetAsDateTime(StrToDateTime(text)); break;
    }
}

Variant TDateTimeField::GetAsVariant() {
    double value = 0;
    if (!GetData(&value, false)) return Variant::Null();
    return Variant::FromDate(value);
}

void TDateTimeField::SetVarValue(const Variant& Value) {
    long double number;
    if (IsTextKind(Value.VarType()))
        SetAsString(VarToStr(Value));
    else if (Value.VarType() != varBoolean && VarToNumber(Value, number))
        SetAsDateTime(static_cast<double>(number));
    else
        AccessError("Variant");
}

// ---- Byte fields ----

TBytesField::TBytesField(TComponent* AOwner) : TBytesField(AOwner, ftBytes) {}

TBytesField::TBytesField(TComponent* AOwner, TFieldType Type) : TField(AOwner) {
    SetDataType(Type);
    TField::SetSize(16);
}

void TBytesField::CheckTypeSize(int Value) { CheckSize(Value >= 0); }

std::string TBytesField::GetAsString() {
    std::string value(static_cast<size_t>(DataSize()), '\0');
    if (!GetData(value.data())) return {};
    return value;
}

void TBytesField::SetAsString(const std::string& Value) {
    std::string buffer(static_cast<size_t>(DataSize()), '\0');
    std::memcpy(buffer.data(), Value.data(), std::min(Value.size(), buffer.size()));
    SetData(buffer.data());
}

Variant TBytesField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TBytesField::SetVarValue(const Variant& Value) { SetAsString(VarToStr(Value)); }

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner, ftVarBytes) {}

std::string TVarBytesField::GetAsString() {
    std::string buffer(static_cast<size_t>(DataSize()), '\0');
    if (!GetData(buffer.data())) return {};
    uint16_t length;
    std::memcpy(&length, buffer.data(), 2);
    return buffer.substr(2, std::min<size_t>(length, static_cast<size_t>(Size())));
}

void TVarBytesField::SetAsString(const std::string& Value) {
    std::string buffer(static_cast<size_t>(DataSize()), '\0');
    const auto length = static_cast<uint16_t>(std::min(Value.size(), static_cast<size_t>(Size())));
    std::memcpy(buffer.data(), &length, 2);
    std::memcpy(buffer.data() + 2, Value.data(), length);
    SetData(buffer.data());
}

// ---- Blob fields ----

TBlobField::TBlobField(TComponent* AOwner) : TBlobField(AOwner, ftBlob) {}
TBlobField::TBlobField(TComponent* AOwner, TFieldType Type) : TField(AOwner) { SetDataType(Type); }
TMemoField::TMemoField(TComponent* AOwner) : TMemoField(AOwner, ftMemo) {}
TMemoField::TMemoField(TComponent* AOwner, TFieldType Type) : TBlobField(AOwner, Type) {}
TWideMemoField::TWideMemoField(TComponent* AOwner) : TMemoField(AOwner, ftWideMemo) {}
TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner, ftGraphic) {}

void TBlobField::CheckTypeSize(int Value) { CheckSize(Value >= 0); }

std::unique_ptr<TStream> TBlobField::OpenBlob(TBlobStreamMode Mode) {
    std::unique_ptr<TStream> stream = CheckDataSet().CreateBlobStream(this, Mode);
    if (!stream) DatabaseError("Field '" + DisplayName() + "' has no blob stream");
    return stream;
}

std::string TBlobField::GetAsString() { return OpenBlob(bmRead)->ReadRest(); }

void TBlobField::SetAsString(const std::string& Value) { OpenBlob(bmWrite)->WriteString(Value); }

Variant TBlobField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TBlobField::SetVarValue(const Variant& Value) { SetAsString(VarToStr(Value)); }

bool TBlobField::GetIsNull() {
    if (FModified) return OpenBlob(bmRead)->Size() == 0;
    return TField::GetIsNull();
}

void TBlobField::Clear() { OpenBlob(bmWrite); }

int64_t TBlobField::BlobSize() { return OpenBlob(bmRead)->Size(); }

void TBlobField::LoadFromStream(TStream& Stream) { OpenBlob(bmWrite)->CopyFrom(Stream, 0); }

void TBlobField::SaveToStream(TStream& Stream) {
    std::unique_ptr<TStream> blob = OpenBlob(bmRead);
    Stream.CopyFrom(*blob, 0);
}

Variant TWideMemoField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(Utf8ToWide(GetAsString()));
}

// ---- TFields ----

int TFields::IndexOf(const TField* Field) const {
    for (size_t i = 0; i < FList.size(); ++i)
        if (FList[i] == Field) return static_cast<int>(i);
    return -1;
}

void TFields::Remove(TField* Field) {
    const int index = IndexOf(Field);
    if (index >= 0) FList.erase(FList.begin() + index);
}

TField* TFields::FindField(std::string_view Name) const {
    for (TField* field : FList)
        if (SameText(field->FieldName(), Name)) return field;
    return nullptr;
}

TField* TFields::FieldByName(std::string_view Name) const {
    TField* field = FindField(Name);
    if (!field) DatabaseError("Field '" + std::string(Name) + "' not found", FDataSet);
    return field;
}

TField* TFields::FieldByNumber(int FieldNo) const {
    for (TField* field : FList)
        if (field->FieldNo() == FieldNo) return field;
    return nullptr;
}

// ---- Field definitions ----

TField* TFieldDef::CreateField(TComponent* Owner) {
    TDataSet* dataSet = FOwner->DataSet();
    const TFieldClass fieldClass = dataSet->GetFieldClass(DataType);
    if (!fieldClass) DatabaseError("Field '" + Name + "' is of an unknown type", dataSet);
    std::unique_ptr<TField> field = fieldClass(Owner);
    field->SetSize(Size);
    field->SetFieldName(Name);
    field->SetRequired(Required);
    if (field->IsBlob()) field->SetDataType(DataType);   // one class serves every blob type
    if (InternalCalcField) field->SetFieldKind(fkInternalCalc);
    field->SetDataSet(dataSet);
    return field.release();   // Owner frees it (without one, the caller does)
}

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
    FItems.push_back(std::make_unique<TFieldDef>(this, Name, DataType, Size, Required, Count() + 1));
    return FItems.back().get();
}

int TFieldDefs::IndexOf(std::string_view Name) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i]->Name, Name)) return static_cast<int>(i);
    return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view Name) const {
    const int index = IndexOf(Name);
    if (index < 0) DatabaseError("Field '" + std::string(Name) + "' not found", FDataSet);
    return Items(index);
}

void TFieldDefs::Update() {
    if (FUpdated) return;
    FDataSet->InitFieldDefs();
    FUpdated = true;
}

} // namespace qnl
