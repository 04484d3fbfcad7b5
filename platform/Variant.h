#pragma once
// Currency, packed BCD and the Variant of the data-access layer.
//
// Currency is a 64-bit integer scaled by 10^4. TBcd is the framework's packed decimal: a
// precision (number of digits), a byte whose top bit is the sign and whose low six bits are the
// number of decimal places, and up to 64 digits packed two per byte, the first digit in the high
// nibble of the first byte. A Variant holds one value of a small set of kinds, or an array of
// Variants with bounds per dimension.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qnl {

// The separators and formats the framework takes from the locale; numbers here always use these.
// The date and time fields are read and written by platform/DateTime.h.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '.';
    std::string ShortDateFormat = "dd.mm.yyyy";
    std::string LongDateFormat = "d mmmm yyyy";
    char TimeSeparator = ':';
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    // Money: the symbol, where it goes around a positive value (0 "$1", 1 "1$", 2 "$ 1",
    // 3 "1 $") and a negative one (0 "($1)" to 15 "(1 $)"), and the decimals shown.
    std::string CurrencyString = "$";
    uint8_t CurrencyFormat = 0;
    uint8_t NegCurrFormat = 0;
    uint8_t CurrencyDecimals = 2;
};
extern TFormatSettings FormatSettings;

struct Currency {
    int64_t Scaled = 0;   // value * 10000
    static constexpr int64_t Scale = 10000;
    static Currency FromScaled(int64_t Value) { return Currency{Value}; }
    friend bool operator==(const Currency&, const Currency&) = default;
};

struct TBcd {
    uint8_t Precision = 0;
    uint8_t SignSpecialPlaces = 0;   // bit 7: negative; bits 0-5: decimal places
    uint8_t Fraction[32] = {};

    static constexpr uint8_t SignBit = 0x80;
    static constexpr uint8_t PlacesMask = 0x3F;
    bool IsNegative() const { return (SignSpecialPlaces & SignBit) != 0; }
    int Places() const { return SignSpecialPlaces & PlacesMask; }
    // Digit Index (0-based from the first, most significant digit).
    int Digit(int Index) const;
    void SetDigit(int Index, int Value);
    friend bool operator==(const TBcd&, const TBcd&) = default;
};

// The currency's value as a BCD with the given precision and places (the framework gives 32 and
// 4). False when the value's integer digits do not fit the precision.
bool CurrToBCD(Currency Curr, TBcd& Bcd, int Precision = 32, int Decimals = 4);
// The BCD's value rounded half away from zero at 4 places; false when it is beyond Currency.
bool BCDToCurr(const TBcd& Bcd, Currency& Curr);
// The framework's BCD text: optional "-", integer digits (at least "0"), then the separator and
// the fraction without trailing zeros when it has one.
std::string BcdToStr(const TBcd& Bcd, char DecimalSeparator = '.');
// Reads "[-+]digits[.digits]"; false for anything else or more than 64 digits.
bool TryStrToBcd(const std::string& Text, TBcd& Bcd, char DecimalSeparator = '.');

// Kinds of Variant values; the numbers are the framework's.
using TVarType = uint16_t;
inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;    // wide text
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;   // element kind of an array of mixed values
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varString = 0x0100;    // 8-bit text
inline constexpr TVarType varFMTBcd = 0x0102;
inline constexpr TVarType varArray = 0x2000;     // flag: an array of the kind in the low bits

// TDateTime: days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

struct TVarArrayBound {
    int LowBound = 0;
    int ElementCount = 0;
};

class Variant {
public:
    Variant() = default;   // Empty
    static Variant Null();
    Variant(bool V) : FType(varBoolean), FValue(V) {}
    Variant(int16_t V) : FType(varSmallint), FValue(int64_t{V}) {}
    Variant(int32_t V) : FType(varInteger), FValue(int64_t{V}) {}
    Variant(int64_t V) : FType(varInt64), FValue(V) {}
    Variant(double V) : FType(varDouble), FValue(V) {}
    Variant(Currency V) : FType(varCurrency), FValue(V) {}
    Variant(const TBcd& V) : FType(varFMTBcd), FValue(V) {}
    Variant(std::string V) : FType(varString), FValue(std::move(V)) {}
    Variant(const char* V) : Variant(std::string(V)) {}
    Variant(std::u16string V) : FType(varOleStr), FValue(std::move(V)) {}
    static Variant FromDate(TDateTime V);
    static Variant FromSingle(float V);
    // Integers of a chosen kind (varShortInt, varByte, varWord, varLongWord, ...).
    static Variant FromInteger(int64_t V, TVarType Kind);

    TVarType VarType() const { return FType; }
    bool IsEmpty() const { return FType == varEmpty; }
    bool IsNull() const { return FType == varNull; }
    bool IsArray() const { return (FType & varArray) != 0; }

    // The stored value of the matching kind; std::bad_variant_access for another kind.
    bool AsBoolean() const { return std::get<bool>(FValue); }
    int64_t AsInt64() const { return std::get<int64_t>(FValue); }     // every integer kind
    double AsDouble() const { return std::get<double>(FValue); }      // varDouble, varSingle, varDate
    Currency AsCurrency() const { return std::get<Currency>(FValue); }
    const TBcd& AsBcd() const { return std::get<TBcd>(FValue); }
    const std::string& AsString() const { return std::get<std::string>(FValue); }
    const std::u16string& AsWideString() const { return std::get<std::u16string>(FValue); }

    // Arrays: every element starts Empty (or 0 for a numeric element kind).
    static Variant CreateArray(const std::vector<TVarArrayBound>& Bounds, TVarType ElementType);
    int DimCount() const { return static_cast<int>(FBounds.size()); }
    // Dimensions are numbered from 1, as the framework does.
    int LowBound(int Dim) const;
    int HighBound(int Dim) const;
    int ElementCount() const { return static_cast<int>(FElements.size()); }
    // Indexes are the bounded ones, one per dimension.
    const Variant& GetElement(const std::vector<int>& Indexes) const;
    void PutElement(const std::vector<int>& Indexes, Variant Value);

private:
    size_t FlatIndex(const std::vector<int>& Indexes) const;

    TVarType FType = varEmpty;
    std::variant<std::monostate, bool, int64_t, double, Currency, TBcd, std::string, std::u16string> FValue;
    std::vector<TVarArrayBound> FBounds;
    std::vector<Variant> FElements;
};

} // namespace qnl
