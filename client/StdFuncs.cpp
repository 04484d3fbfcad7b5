#include "client/StdFuncs.h"

#include "platform/DataSet.h"
#include "platform/Exceptions.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace qnl {

const std::array<double, 37> E10Table = {
    1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6,
    1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,  1e5,  1e6,  1e7,
    1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17, 1e18};

double E10(int Exponent) {
    if (Exponent < E10MinExponent || Exponent > E10MaxExponent)
        throw std::out_of_range("power of ten beyond 1e-18..1e18");
    return E10Table[static_cast<size_t>(Exponent - E10MinExponent)];
}

int64_t IntE10(int Exponent) {
    if (Exponent < 0 || Exponent > E10MaxExponent) throw std::out_of_range("power of ten beyond 10^18");
    int64_t result = 1;
    for (int i = 0; i < Exponent; ++i) result *= 10;
    return result;
}

namespace {

// Both ends are powers of two, so exact in long double; NaN fails both comparisons.
bool FitsInt64(long double Value) {
    return Value >= -9223372036854775808.0L && Value < 9223372036854775808.0L;
}

} // namespace

bool TryRoundToInt64(long double Value, int64_t& Result) {
    const long double rounded = std::nearbyint(Value);
    if (!FitsInt64(rounded)) return false;
    Result = static_cast<int64_t>(rounded);
    return true;
}

bool TryTruncToInt64(long double Value, int64_t& Result) {
    const long double truncated = std::trunc(Value);
    if (!FitsInt64(truncated)) return false;
    Result = static_cast<int64_t>(truncated);
    return true;
}

std::string ComponentFullName(const TComponent* Component) {
    std::string result;
    for (const TComponent* c = Component; c; c = c->Owner()) {
        if (c->Name().empty()) continue;
        result = result.empty() ? c->Name() : c->Name() + "." + result;
    }
    return result;
}

TDateTime SafeTimeStampToDateTime(const TTimeStamp& TimeStamp) {
    if (TimeStamp.Date == 0) return static_cast<double>(TimeStamp.Time) / MSecsPerDay;
    if (TimeStamp.Time < 0 || TimeStamp.Date < 0)
        throw EConvertError("'" + std::to_string(TimeStamp.Date) + "." + std::to_string(TimeStamp.Time) +
                            "' is not a valid timestamp");
    return TimeStampToDateTime(TimeStamp);
}

TDateTime TimeMSecsToDateTime(int32_t MSecs) {
    return SafeTimeStampToDateTime(TTimeStamp{MSecs, 0});
}

int64_t MakeInt64(int32_t High, int32_t Low) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(High)) << 32) |
                                static_cast<uint32_t>(Low));
}

long double RoundExtended(long double Value, int Digits) {
    long double power = E10(Digits);
    long double integral;
    long double fraction = std::modf(Value, &integral);
    // nearbyint rounds to nearest with ties to even in the default rounding mode.
    return integral + std::nearbyint(fraction * power) / power;
}

bool Int64ToBCD(int Decimals, TBcd& Bcd, int64_t Value) {
    if (Decimals < 0 || Decimals > 32) return false;
    // The currency conversion writes the digits with 4 places; the places are then relabelled.
    TBcd result;
    if (!CurrToBCD(Currency::FromScaled(Value), result, 32, 4)) return false;
    result.SignSpecialPlaces = static_cast<uint8_t>(Decimals | (Value < 0 ? TBcd::SignBit : 0));
    Bcd = result;
    return true;
}

bool BCDToInt64(const TBcd& Bcd, int64_t& Value, int& Decimals) {
    if (Bcd.Precision == 0 || Bcd.Places() >= 64) {
        Value = 0;
        Decimals = 0;
        return true;
    }
    Decimals = Bcd.Places();
    // Read the digits as a currency with 4 places: its scaled value is the digits' integer. The
    // sign stays on the copy, so the most negative 64-bit value still converts.
    TBcd copy = Bcd;
    copy.SignSpecialPlaces = static_cast<uint8_t>(4 | (Bcd.SignSpecialPlaces & TBcd::SignBit));
    Currency c;
    if (!BCDToCurr(copy, c)) return false;
    Value = c.Scaled;
    return true;
}

bool BCDToExtended(const TBcd& Bcd, long double& Value) {
    int64_t digits;
    int decimals;
    if (!BCDToInt64(Bcd, digits, decimals)) return false;
    if (decimals > E10MaxExponent) return false;
    Value = static_cast<long double>(digits) * E10(-decimals);
    return true;
}

void ScaledInt64ToStr(int Decimals, char DecimalSeparator, std::string& Text, int64_t Value) {
    if (Value == 0) {
        Text = "0";
        return;
    }
    if (Decimals < 1) {
        Text = std::to_string(Value);
        return;
    }
    bool negative = Value < 0;
    std::string digits = std::to_string(negative ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value));
    auto places = static_cast<size_t>(Decimals);
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    std::string intPart = digits.substr(0, digits.size() - places);
    std::string fracPart = digits.substr(digits.size() - places);
    while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
    Text = negative ? "-" : "";
    Text += intPart;
    if (!fracPart.empty()) {
        Text += DecimalSeparator;
        Text += fracPart;
    }
}

bool IsZeroNumberText(const std::string& Text) {
    if (Text.empty()) return false;
    for (char c : Text)
        if (c != '0' && c != FormatSettings.DecimalSeparator) return false;
    return true;
}

namespace {

bool IsPlaceholder(char C) {
    return C == '#' || C == ',' || C == '.' || C == '0';
}

bool IsIgnorableTrailing(char C) {
    return C == '\t' || C == ' ' || C == ';';
}

// Adds one to a text of decimal digits ("999" becomes "1000").
void IncrementDigits(std::string& Digits) {
    for (size_t i = Digits.size(); i-- > 0;) {
        if (Digits[i] != '9') {
            ++Digits[i];
            return;
        }
        Digits[i] = '0';
    }
    Digits.insert(Digits.begin(), '1');
}

std::vector<std::string> SplitSections(const std::string& Format) {
    std::vector<std::string> sections(1);
    for (char c : Format) {
        if (c == ';')
            sections.emplace_back();
        else
            sections.back() += c;
    }
    return sections;
}

} // namespace

void FormatNumericStr(const std::string& Format, const std::string& Number, bool InSection, std::string& Result) {
    Result.clear();
    if (Number.empty()) return;

    if (!InSection && Format.find(';') != std::string::npos) {
        std::vector<std::string> sections = SplitSections(Format);
        char first = Number[0];
        const std::string* section;
        if (first == '+' || (first >= '1' && first <= '9'))
            section = &sections[0];
        else if (first == '0')
            section = (sections.size() > 2 && IsZeroNumberText(Number)) ? &sections[2] : &sections[0];
        else
            section = &sections[1];
        FormatNumericStr(*section, Number, true, Result);
        return;
    }

    std::string f = Format;
    while (!f.empty() && IsIgnorableTrailing(f.back())) f.pop_back();
    if (f.empty()) return;

    size_t firstPh = std::string::npos, lastPh = std::string::npos;
    for (size_t i = 0; i < f.size(); ++i) {
        if (!IsPlaceholder(f[i])) continue;
        if (firstPh == std::string::npos) firstPh = i;
        lastPh = i;
    }
    if (firstPh == std::string::npos) {
        Result = f;
        return;
    }
    std::string suffix = IsPlaceholder(f.back()) ? std::string() : f.substr(lastPh + 1);
    std::string prefix = IsPlaceholder(f.front()) ? std::string() : f.substr(0, firstPh);

    size_t minDecimals = 0, maxDecimals = 0;
    std::string literalBefore, literalAfter;
    size_t dot = f.find('.');
    if (dot != std::string::npos) {
        // The digits a format shows after its point are its digit placeholders there: a
        // literal suffix ("0.00 EUR", "(0.00)") adds none.
        maxDecimals = static_cast<size_t>(std::count_if(f.begin() + static_cast<std::ptrdiff_t>(dot) + 1, f.end(),
                                                        [](char C) { return C == '0' || C == '#'; }));
        size_t lastZero = f.rfind('0');
        if (lastZero != std::string::npos && lastZero > dot) {
            size_t literals = 0;
            for (size_t i = dot + 1; i < lastZero; ++i)
                if (!IsPlaceholder(f[i])) ++literals;
            minDecimals = lastZero - dot - literals;
        }
        size_t j = dot;
        while (j > 0 && !IsPlaceholder(f[j - 1])) --j;
        if (j > 0) literalBefore = f.substr(j, dot - j);
        size_t k = dot + 1;
        while (k < f.size() && !IsPlaceholder(f[k])) ++k;
        if (k < f.size()) literalAfter = f.substr(dot + 1, k - dot - 1);
    }

    // Split the number text into sign, integer digits and fraction digits.
    const char separator = FormatSettings.DecimalSeparator;
    std::string sign, intPart, fracPart;
    size_t pos = 0;
    if (Number[0] == '-' || Number[0] == '+') {
        sign = Number.substr(0, 1);
        pos = 1;
    }
    size_t sepPos = Number.find(separator, pos);
    bool hasSeparator = sepPos != std::string::npos;
    intPart = Number.substr(pos, hasSeparator ? sepPos - pos : std::string::npos);
    if (hasSeparator) fracPart = Number.substr(sepPos + 1);

    if (!hasSeparator && minDecimals >= 1) hasSeparator = true;
    if (fracPart.size() > maxDecimals) {
        bool roundUp = fracPart[maxDecimals] >= '5';
        fracPart.resize(maxDecimals);
        if (roundUp) {
            std::string digits = intPart + fracPart;
            IncrementDigits(digits);
            intPart = digits.substr(0, digits.size() - fracPart.size());
            fracPart = digits.substr(digits.size() - fracPart.size());
        }
    }
    if (fracPart.size() < minDecimals) fracPart.append(minDecimals - fracPart.size(), '0');

    if (f.find(',') != std::string::npos && intPart.size() > 3) {
        std::string grouped;
        for (size_t i = 0; i < intPart.size(); ++i) {
            if (i > 0 && (intPart.size() - i) % 3 == 0) grouped += FormatSettings.ThousandSeparator;
            grouped += intPart[i];
        }
        intPart = grouped;
    }
    // A format whose number starts at "." shows no leading zero.
    if (f[firstPh] == '.' && hasSeparator && intPart == "0") intPart.clear();

    if (InSection && sign == "-") sign.clear();
    Result = sign + intPart + literalBefore;
    if (hasSeparator && !(fracPart.empty() && literalAfter.empty())) {
        Result += separator;
        Result += literalAfter;
        Result += fracPart;
    }
    Result = prefix + Result + suffix;
}

std::string FormatBcd(const std::string& Format, const TBcd& Value) {
    std::string result;
    FormatNumericStr(Format, BcdToStr(Value, FormatSettings.DecimalSeparator), false, result);
    return result;
}

std::string FormatCurr(const std::string& Format, Currency Value) {
    std::string text, result;
    ScaledInt64ToStr(4, FormatSettings.DecimalSeparator, text, Value.Scaled);
    FormatNumericStr(Format, text, false, result);
    return result;
}

std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits) {
    Digits = std::clamp(Digits, 0, 18);
    // Rounded to at most the currency's four decimals, half away from zero.
    const int kept = std::min(Digits, 4);
    int64_t unit = 1;
    for (int i = kept; i < 4; ++i) unit *= 10;
    const bool negative = Value.Scaled < 0;
    // |Scaled| as unsigned: the lowest currency has no positive counterpart.
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(Value.Scaled) : static_cast<uint64_t>(Value.Scaled);
    const uint64_t rest = magnitude % static_cast<uint64_t>(unit);
    magnitude = magnitude / static_cast<uint64_t>(unit) + (rest * 2 >= static_cast<uint64_t>(unit) ? 1 : 0);
    uint64_t scale = 1;
    for (int i = 0; i < kept; ++i) scale *= 10;
    std::string whole = std::to_string(magnitude / scale);
    std::string fraction = kept > 0 ? std::to_string(magnitude % scale) : std::string();
    fraction.insert(0, static_cast<size_t>(kept) - fraction.size(), '0');
    fraction.append(static_cast<size_t>(Digits - kept), '0');
    if (Format == ffCurrency)
        for (size_t i = whole.size(); i > 3; i -= 3) whole.insert(i - 3, 1, FormatSettings.ThousandSeparator);
    std::string number = whole;
    if (Digits > 0) number += FormatSettings.DecimalSeparator + fraction;
    const bool shownNegative = negative && magnitude != 0;
    if (Format == ffFixed) return (shownNegative ? "-" : "") + number;
    const std::string& c = FormatSettings.CurrencyString;
    if (!shownNegative) {
        switch (FormatSettings.CurrencyFormat) {
        case 1: return number + c;
        case 2: return c + " " + number;
        case 3: return number + " " + c;
        default: return c + number;
        }
    }
    switch (FormatSettings.NegCurrFormat) {
    case 1: return "-" + c + number;
    case 2: return c + "-" + number;
    case 3: return c + number + "-";
    case 4: return "(" + number + c + ")";
    case 5: return "-" + number + c;
    case 6: return number + "-" + c;
    case 7: return number + c + "-";
    case 8: return "-" + number + " " + c;
    case 9: return "-" + c + " " + number;
    case 10: return number + " " + c + "-";
    case 11: return c + " " + number + "-";
    case 12: return c + " -" + number;
    case 13: return number + "- " + c;
    case 14: return "(" + c + " " + number + ")";
    case 15: return "(" + number + " " + c + ")";
    default: return "(" + c + number + ")";
    }
}

namespace {

std::mutex& RandomLock() {
    static std::mutex lock;
    return lock;
}

// Seeded once, at first use.
std::mt19937& RandomEngine() {
    static std::mt19937 engine{std::random_device{}()};
    return engine;
}

int Random(int Range) {
    if (Range <= 0) return 0;
    std::lock_guard<std::mutex> guard(RandomLock());
    return std::uniform_int_distribution<int>(0, Range - 1)(RandomEngine());
}

// Bytes of one element of an array of Kind; 0 for kinds without a fixed size.
int ElementSize(TVarType Kind) {
    switch (Kind) {
    case varShortInt: case varByte: return 1;
    case varSmallint: case varWord: case varBoolean: return 2;
    case varInteger: case varLongWord: case varSingle: return 4;
    case varDouble: case varDate: case varCurrency: case varInt64: return 8;
    default: return 0;
    }
}

void AppendLittleEndian(std::string& Bytes, uint64_t Value, int Size) {
    for (int i = 0; i < Size; ++i) Bytes += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

// Integer elements keep their exact value (a 64-bit one would not survive a long double);
// other numbers are rounded.
int64_t IntegerValue(const Variant& Element, long double Number) {
    switch (Element.VarType()) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return Element.AsInt64();
    default: {
        int64_t value = 0;
        if (!TryRoundToInt64(Number, value)) throw EVariantError("Invalid variant type conversion");
        return value;
    }
    }
}

// One element in the form the array stores it: integers cut to the element's width, Booleans as
// the framework's 16-bit -1 / 0, floating values in their IEEE form.
void AppendElement(std::string& Bytes, const Variant& Element, TVarType Kind, int Size) {
    long double number = 0;
    if (!Element.IsEmpty() && !Element.IsNull() && !VarToNumber(Element, number))
        throw EVariantError("Invalid variant type conversion");
    switch (Kind) {
    case varSingle: {
        const float f = static_cast<float>(number);
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        AppendLittleEndian(Bytes, bits, Size);
        break;
    }
    case varDouble: case varDate: {
        const double d = static_cast<double>(number);
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        AppendLittleEndian(Bytes, bits, Size);
        break;
    }
    case varCurrency:
    {
        int64_t scaled = 0;
        if (!TryRoundToInt64(number * Currency::Scale, scaled)) throw EVariantError("Invalid variant type conversion");
        AppendLittleEndian(Bytes, static_cast<uint64_t>(scaled), Size);
        break;
    }
    case varBoolean: AppendLittleEndian(Bytes, number != 0 ? 0xFFFF : 0, Size); break;
    default:
        AppendLittleEndian(Bytes, static_cast<uint64_t>(IntegerValue(Element, number)), Size);
        break;
    }
}

} // namespace

bool GetFieldRawData(TField* Field, bool OldValue, void* Buffer) {
    if (!Field->DataSet()) DatabaseError("Field '" + Field->DisplayName() + "' has no dataset");
    TDataSet& dataSet = *Field->DataSet();
    if (!OldValue || dataSet.State() == dsOldValue) return dataSet.GetFieldData(Field, Buffer);
    const TDataSetState saved = dataSet.SetTempState(dsOldValue);
    bool result = false;
    try {
        result = dataSet.GetFieldData(Field, Buffer);
    } catch (...) {
        dataSet.RestoreState(saved);
        throw;
    }
    dataSet.RestoreState(saved);
    return result;
}

void BCDFieldValueToVariant(TField* Field, bool OldValue, Variant& Value) {
    TBcd bcd;
    if (GetFieldRawData(Field, OldValue, &bcd))
        Value = Variant(BcdToStr(bcd, FormatSettings.DecimalSeparator));
    else
        Value = Variant();
}

int64_t VariantToStream(const Variant& V, TStream* Stream) {
    if (!V.IsArray() || !Stream) return 0;
    const TVarType kind = V.VarType() & ~varArray;
    const int size = ElementSize(kind);
    if (size == 0) throw EVariantError("Invalid variant type conversion");
    const int count = V.HighBound(1) - V.LowBound(1) + 1;
    // The first dimension's count of elements, taken in storage order (the last index fastest).
    std::string bytes;
    bytes.reserve(static_cast<size_t>(count) * static_cast<size_t>(size));
    std::vector<int> indexes;
    for (int d = 1; d <= V.DimCount(); ++d) indexes.push_back(V.LowBound(d));
    for (int n = 0; n < count; ++n) {
        AppendElement(bytes, V.GetElement(indexes), kind, size);
        for (int d = V.DimCount(); d >= 1; --d) {
            int& i = indexes[static_cast<size_t>(d - 1)];
            if (++i <= V.HighBound(d)) break;
            i = V.LowBound(d);
        }
    }
    Stream->SetSize(static_cast<int64_t>(bytes.size()));
    Stream->SetPosition(0);
    Stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return Stream->Size();
}

int RandomInRange(int Low, int High) {
    return Low + Random(High - Low);
}

std::string RandomDigits(int Length) {
    std::string result;
    if (Length <= 0) return result;
    while (static_cast<int>(result.size()) < Length) result += std::to_string(Random(2147483647));
    result.resize(static_cast<size_t>(Length));
    return result;
}

int HexToInt(const std::string& Text) {
    uint32_t result = 0;
    uint32_t weight = 1;
    for (size_t i = Text.size(); i-- > 0;) {
        char c = Text[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        result += digit * weight;
        weight *= 16;
    }
    return static_cast<int>(result);
}

uint8_t SetBit(uint8_t Value, int Bit, bool On) {
    auto mask = static_cast<uint8_t>(1u << (Bit & 7));
    return On ? static_cast<uint8_t>(Value | mask) : static_cast<uint8_t>(Value & ~mask);
}

} // namespace qnl
