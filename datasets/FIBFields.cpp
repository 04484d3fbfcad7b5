// The field classes of the data set's column kinds; see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "platform/DateTime.h"
#include "platform/IntText.h"
#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace qnl {

namespace {

TFIBCustomDataSet* OwningDataSet(TField* Field) { return dynamic_cast<TFIBCustomDataSet*>(Field->DataSet()); }

bool AllowsEmptyStrToNull(TDataSet* DataSet) {
    auto* ds = dynamic_cast<TFIBCustomDataSet*>(DataSet);
    return ds && InSet(ds->PrepareOptions(), psSetEmptyStrToNull);
}

} // namespace

// ---- TFIBStringField ----

TFIBStringField::TFIBStringField(TComponent* AOwner) : TStringField(AOwner) {}

void TFIBStringField::SetDataSet(TDataSet* Value) {
    TStringField::SetDataSet(Value);
    FInfoLoaded = false;
    EmptyStrToNull = AllowsEmptyStrToNull(Value);
}

void TFIBStringField::LoadInfo() {
    if (FInfoLoaded) return;
    FCharSetName = "UNKNOWN";
    FUnicode = false;
    TFIBCustomDataSet* ds = OwningDataSet(this);
    if (ds && ds->SelectQuery().Prepared()) {
        if (TFIBXSQLVAR* column = ds->SelectQuery().FindField(FieldName())) {
            const int id = column->GetSQLSubtype() & 0xFF;
            FCharSetName = column->GetCharSetName();
            TFIBDatabase* db = ds->Database();
            if (db) {
                const std::vector<int> sets = db->GetUnicodeCharSets();
                FUnicode = db->IsUnicodeCharSet(id) && std::find(sets.begin(), sets.end(), id) != sets.end();
            }
        }
    }
    FInfoLoaded = true;
}

std::string TFIBStringField::CharSetName() {
    LoadInfo();
    return FCharSetName;
}

bool TFIBStringField::IsUnicode() {
    LoadInfo();
    return FUnicode;
}

std::string TFIBStringField::GetAsString() {
    TFIBCustomDataSet* ds = OwningDataSet(this);
    TFIBFieldDescr* d = ds ? ds->FieldDescr(this) : nullptr;
    if (d && d->IsDBKey && FieldKind() == fkData) {
        // The database key as hex, each 4-byte group as one number.
        std::vector<char> raw(static_cast<size_t>(DataSize()) + 4, 0);
        if (!GetData(raw.data())) return {};
        std::string text;
        for (size_t i = 0; i + 4 <= d->DataSize; i += 4) {
            uint32_t group;
            std::memcpy(&group, raw.data() + i, 4);
            text += FormatMessage("%-8.8x", {group});
        }
        return text;
    }
    if (!DataSet() || !DataSet()->Active()) return TStringField::GetAsString();
    std::vector<char> buffer(static_cast<size_t>(DataSize()) + 1, 0);
    FReadLength = -1;
    if (!GetData(buffer.data())) return {};
    // 8-bit text is UTF-8 here: the Unicode flag's decoding keeps the bytes. A column value
    // comes with its length; other values end at their zero.
    const size_t length = FReadLength >= 0 ? std::min(static_cast<size_t>(FReadLength), buffer.size() - 1)
                                           : strnlen(buffer.data(), buffer.size());
    return std::string(buffer.data(), length);
}

Variant TFIBStringField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TFIBStringField::SetAsString(const std::string& Value) {
    std::string text = Value.size() > static_cast<size_t>(Size()) ? Value.substr(0, static_cast<size_t>(Size())) : Value;
    std::vector<char> buffer(static_cast<size_t>(std::max(DataSize(), 1)) + text.size(), 0);
    std::memcpy(buffer.data(), text.data(), text.size());
    FRawLength = static_cast<int>(text.size());
    Guarded([&] { SetData(buffer.data()); }, [&] { FRawLength = -1; });
}

// ---- TFIBWideStringField ----

TFIBWideStringField::TFIBWideStringField(TComponent* AOwner) : TWideStringField(AOwner) {}

void TFIBWideStringField::SetDataSet(TDataSet* Value) {
    TWideStringField::SetDataSet(Value);
    EmptyStrToNull = AllowsEmptyStrToNull(Value);
}

int TFIBWideStringField::DataSize() const {
    auto* ds = dynamic_cast<TFIBCustomDataSet*>(DataSet());
    if (FieldKind() == fkData && ds) {
        if (const TFIBFieldDescr* d = ds->FieldDescr(this)) return (d->DataSize + 1) * 2;
    }
    // Without a column: enough for Size characters of UTF-8 and the terminator, in UTF-16.
    return (Size() * 3 + 1) * 2;
}

std::u16string TFIBWideStringField::GetAsWideString() {
    std::vector<char16_t> buffer(static_cast<size_t>(DataSize() / 2) + 1, 0);
    if (!GetData(buffer.data())) return {};
    size_t length = 0;
    while (length + 1 < buffer.size() && buffer[length] != 0) ++length;
    return std::u16string(buffer.data(), length);
}

std::string TFIBWideStringField::GetAsString() { return WideToUtf8(GetAsWideString()); }

// ---- TFIBLargeIntField ----

void TFIBLargeIntField::SetVarValue(const Variant& Value) {
    if (Value.VarType() == varString || Value.VarType() == varOleStr) {
        SetAsLargeInt(StrToInt64(Trim(VarToStr(Value))));
        return;
    }
    long double number;
    if (!VarToNumber(Value, number)) ConvertError(VarToStr(Value), "Largeint");
    SetAsLargeInt(static_cast<int64_t>(std::llround(number)));
}

// ---- TFIBFloatField ----

void TFIBFloatField::SetAsFloat(double Value) {
    TFIBCustomDataSet* ds = OwningDataSet(this);
    const TFIBFieldDescr* d = ds && FieldKind() == fkData ? ds->FieldDescr(this) : nullptr;
    if (d) {
        const double unit = std::pow(10.0, d->Scale);
        double limit = 0;
        if (d->SqlType == SQL_LONG) limit = 2147483647.0 * unit;
        if (d->SqlType == SQL_SHORT) limit = 32767.0 * unit;
        if (limit != 0 && (Value < -limit || Value > limit)) RangeError(Value, -limit, limit);
        if (RoundByScale && d->Scale != 0) Value = static_cast<double>(RoundExtended(Value, -d->Scale));
    }
    TFloatField::SetAsFloat(Value);
}

std::string TFIBFloatField::GetText(bool DisplayText) {
    double value = 0;
    if (!GetData(&value)) return {};
    const std::string& format = DisplayText || EditFormat.empty() ? DisplayFormat : EditFormat;
    std::string result;
    if (!format.empty())
        FormatNumericStr(format, GetAsString(), false, result);
    else if (IsCurrency)
        result = CurrToStrF(GetAsCurrency(), DisplayText ? ffCurrency : ffFixed, FormatSettings.CurrencyDecimals);
    else
        result = GetAsString();
    return Trim(result);
}

std::string TFIBFloatField::GetAsString() {
    double value = 0;
    if (!GetData(&value)) return {};
    TFIBCustomDataSet* ds = OwningDataSet(this);
    const TFIBFieldDescr* d = ds && FieldKind() == fkData ? ds->FieldDescr(this) : nullptr;
    return FloatToShortestStr(value, d && d->SqlType == SQL_FLOAT);
}

// ---- TFIBBCDField ----

TFIBBCDField::TFIBBCDField(TComponent* AOwner) : TBCDField(AOwner) { TField::SetSize(8); }

bool TFIBBCDField::ReadRaw(int64_t& Value) {
    Value = 0;
    return GetData(&Value);
}

void TFIBBCDField::WriteRaw(int64_t Value) { SetData(&Value); }

namespace {

int64_t Pow10(int N) {
    int64_t p = 1;
    for (int i = 0; i < N; ++i) p *= 10;
    return p;
}

} // namespace

Currency TFIBBCDField::GetAsCurrency() {
    int64_t raw;
    if (!ReadRaw(raw)) return Currency{};
    const int scale = Size();
    if (scale == 4) return Currency::FromScaled(raw);
    auto overflow = [&] { RangeError(static_cast<double>(raw) / static_cast<double>(Pow10(scale)), -922337203685477.5807, 922337203685477.5807); };
    if (scale < 4) {
        const int64_t factor = Pow10(4 - scale);
        int64_t result;
        if (__builtin_mul_overflow(raw, factor, &result)) overflow();
        return Currency::FromScaled(result);
    }
    return Currency::FromScaled(static_cast<int64_t>(std::llround(static_cast<double>(raw) / static_cast<double>(Pow10(scale - 4)))));
}

void TFIBBCDField::SetAsCurrency(Currency Value) {
    TBcd bcd;
    CurrToBCD(Value, bcd);
    SetAsBCD(bcd);
}

TBcd TFIBBCDField::GetAsBCD() {
    int64_t raw;
    TBcd bcd;
    if (!ReadRaw(raw)) return bcd;
    Int64ToBCD(Size(), bcd, raw);
    return bcd;
}

void TFIBBCDField::SetAsBCD(const TBcd& Value) {
    int64_t raw;
    int scale;
    if (!BCDToInt64(Value, raw, scale)) ConvertError(BcdToStr(Value), "BCD");
    if (scale != Size()) {
        const double scaled = std::nearbyint(static_cast<double>(raw) * std::pow(10.0, Size() - scale));
        if (!(std::fabs(scaled) < 9.2233720368547758e18)) ConvertError(BcdToStr(Value), "BCD");
        raw = static_cast<int64_t>(scaled);
    }
    WriteRaw(raw);
}

double TFIBBCDField::GetAsFloat() {
    int64_t raw;
    if (!ReadRaw(raw)) return 0;
    return static_cast<double>(raw) / static_cast<double>(Pow10(Size()));
}

void TFIBBCDField::SetAsFloat(double Value) {
    const double scaled = std::nearbyint(Value * static_cast<double>(Pow10(Size())));
    if (!(std::fabs(scaled) < 9.2233720368547758e18)) RangeError(Value, -9.2e18, 9.2e18);
    WriteRaw(static_cast<int64_t>(scaled));
}

int64_t TFIBBCDField::GetAsLargeInt() {
    int64_t raw;
    if (!ReadRaw(raw)) return 0;
    return raw / Pow10(Size());
}

void TFIBBCDField::SetAsLargeInt(int64_t Value) {
    int64_t raw;
    if (__builtin_mul_overflow(Value, Pow10(Size()), &raw)) RangeError(static_cast<double>(Value), -9.2e18, 9.2e18);
    WriteRaw(raw);
}

std::string TFIBBCDField::GetAsString() {
    int64_t raw;
    if (!ReadRaw(raw)) return {};
    if (Size() == 0) return std::to_string(raw);
    std::string text;
    ScaledInt64ToStr(Size(), FormatSettings.DecimalSeparator, text, raw);
    return text;
}

void TFIBBCDField::SetAsString(const std::string& Value) {
    if (Value.empty()) {
        Clear();
        return;
    }
    if (Size() == 0) {
        int64_t v;
        if (!TryStrToInt64(Trim(Value), v)) ConvertError(Value, "BCD");
        WriteRaw(v);
        return;
    }
    TBcd bcd;
    if (!TryStrToBcd(Trim(Value), bcd, FormatSettings.DecimalSeparator)) ConvertError(Value, "BCD");
    SetAsBCD(bcd);
}

Variant TFIBBCDField::GetAsVariant() {
    int64_t raw;
    if (!ReadRaw(raw)) return Variant::Null();
    if (Size() == 0) return Variant(raw);
    if (Size() == 4) return Variant(Currency::FromScaled(raw));
    TBcd bcd;
    Int64ToBCD(Size(), bcd, raw);
    return Variant(bcd);
}

void TFIBBCDField::SetVarValue(const Variant& Value) {
    switch (Value.VarType()) {
    case varInt64:
    case varInteger:
    case varSmallint: SetAsLargeInt(Value.AsInt64()); break;
    case varFMTBcd: SetAsBCD(Value.AsBcd()); break;
    case varCurrency: SetAsCurrency(Value.AsCurrency()); break;
    case varString: SetAsString(Value.AsString()); break;
    default: {
        long double number;
        if (!VarToNumber(Value, number)) ConvertError(VarToStr(Value), "BCD");
        SetAsFloat(static_cast<double>(number));
        break;
    }
    }
}

void TFIBBCDField::Assign(TField* Source) {
    // Through the BCD's text: the framework's own way, a currency, would keep four decimals.
    if (auto* bcd = dynamic_cast<TBCDField*>(Source); bcd && FieldKind() != fkCalculated && !bcd->IsNull()) {
        SetAsString(BcdToStr(bcd->GetAsBCD(), FormatSettings.DecimalSeparator));
        return;
    }
    TBCDField::Assign(Source);
}

std::string TFIBBCDField::GetText(bool DisplayText) {
    int64_t raw;
    if (!ReadRaw(raw)) return {};
    const int scale = Size();
    if (scale == 0) {
        if (DisplayFormat.empty()) return std::to_string(raw);
        TBcd bcd;
        Int64ToBCD(0, bcd, raw);
        return FormatBcd(DisplayFormat, bcd);
    }
    const std::string& format = DisplayText || EditFormat.empty() ? DisplayFormat : EditFormat;
    if (!format.empty() && scale == 4) return FormatCurr(format, Currency::FromScaled(raw));
    if (format.empty() && IsCurrency)
        return CurrToStrF(GetAsCurrency(), DisplayText ? ffCurrency : ffFixed, FormatSettings.CurrencyDecimals);
    std::string text;
    ScaledInt64ToStr(scale, FormatSettings.DecimalSeparator, text, raw);
    if (format.empty()) return text;
    std::string result;
    FormatNumericStr(format, text, false, result);
    return result;
}

// ---- TFIBBlobField ----

bool TFIBBlobField::GetIsNull() { return IsClientField ? BlobSize() == 0 : TBlobField::GetIsNull(); }

// ---- TFIBBooleanField ----

TFIBBooleanField::TFIBBooleanField(TComponent* AOwner) : TBooleanField(AOwner) {}

int TFIBBooleanField::DataSize() const {
    auto* ds = dynamic_cast<TFIBCustomDataSet*>(DataSet());
    if (FieldKind() == fkData && ds) {
        if (const TFIBFieldDescr* d = ds->FieldDescr(this)) return d->DataSize;
    }
    return TBooleanField::DataSize();
}

bool TFIBBooleanField::GetAsBoolean() {
    uint32_t value = 0;   // a column may be one, two or four bytes wide
    if (!GetData(&value)) return false;
    return value != 0;
}

void TFIBBooleanField::SetAsBoolean(bool Value) {
    const int16_t flag = Value ? 1 : 0;
    SetData(&flag);
}

std::string TFIBBooleanField::GetAsString() {
    if (IsNull()) return {};
    return GetAsBoolean() ? StringTrue : StringFalse;
}

void TFIBBooleanField::SetAsString(const std::string& Value) {
    if (Value == "1" || Value == "T" || SameText(Value, StringTrue)) {
        SetAsBoolean(true);
        return;
    }
    if (Value == "0" || Value == "F" || SameText(Value, StringFalse)) {
        SetAsBoolean(false);
        return;
    }
    TBooleanField::SetAsString(Value);
}

Variant TFIBBooleanField::GetAsVariant() {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsBoolean());
}

void TFIBBooleanField::SetVarValue(const Variant& Value) {
    if (Value.VarType() == varSingle) {
        SetAsString(VarToStr(Value));
        return;
    }
    TBooleanField::SetVarValue(Value);
}

// ---- Times ----

namespace {

std::string WithMilliseconds(const std::string& Text, TDateTime Value) {
    const auto ms = static_cast<int64_t>(std::llround(std::fabs(Value - std::trunc(Value)) * 86400000.0)) % 1000;
    return ms > 0 ? Text + "." + std::to_string(ms) : Text;
}

} // namespace

std::string TFIBTimeField::GetText(bool DisplayText) {
    std::string text = TTimeField::GetText(DisplayText);
    if (ShowMsec && !IsNull()) text = WithMilliseconds(text, GetAsDateTime());
    return text;
}

std::string TFIBDateTimeField::GetText(bool DisplayText) {
    std::string text = TDateTimeField::GetText(DisplayText);
    if (ShowMsec && !IsNull()) text = WithMilliseconds(text, GetAsDateTime());
    return text;
}

// ---- TFIBArrayField ----

TFIBArrayField::TFIBArrayField(TComponent* AOwner) : TBytesField(AOwner) { TField::SetSize(8); }

Variant TFIBArrayField::GetAsVariant() {
    TFIBCustomDataSet* ds = OwningDataSet(this);
    if (!ds) return Variant(int32_t{0});
    // Firebird 3 refuses to read an array before a statement stores it ("Invalid BLOB ID").
    if (FWritten && (ds->State() == dsEdit || ds->State() == dsInsert)) return FWrittenValue;
    return ds->GetArrayFieldValues(this);
}

void TFIBArrayField::SetVarValue(const Variant& Value) {
    TFIBCustomDataSet* ds = OwningDataSet(this);
    if (!ds) return;
    const bool editing = ds->State() == dsEdit || ds->State() == dsInsert;
    ds->SetArrayFieldValues(this, Value);
    if (!editing || Value.IsNull() || Value.IsEmpty()) return;
    FWrittenValue = Value;
    FWritten = true;
}

void TFIBArrayField::Clear() {
    FWritten = false;
    FWrittenValue = Variant();
    TBytesField::Clear();
}

std::string TFIBArrayField::GetText(bool) { return IsNull() ? "(Array)" : "(ARRAY)"; }

void TFIBArrayField::BeginEditing() {
    FWritten = false;
    FWrittenValue = Variant();
}

void TFIBArrayField::RewriteAfterFailedPost() {
    if (!FWritten) return;
    const Variant value = FWrittenValue;
    SetVarValue(value);
}

} // namespace qnl
