#include "platform/Variant.h"

#include <climits>
#include <limits>
#include <stdexcept>

namespace qnl {

TFormatSettings FormatSettings;

int TBcd::Digit(int Index) const {
    uint8_t b = Fraction[Index / 2];
    return (Index % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

void TBcd::SetDigit(int Index, int Value) {
    uint8_t& b = Fraction[Index / 2];
    if (Index % 2 == 0)
        b = static_cast<uint8_t>((b & 0x0F) | (Value << 4));
    else
        b = static_cast<uint8_t>((b & 0xF0) | (Value & 0x0F));
}

namespace {

constexpr int MaxBcdDigits = 64;

// Fills Bcd with Digits right-aligned in Precision digits; false when they do not fit.
bool FillBcd(TBcd& Bcd, std::string Digits, int Precision, int Places, bool Negative) {
    if (Precision < 1 || Precision > MaxBcdDigits || Places < 0 || Places > TBcd::PlacesMask) return false;
    size_t first = Digits.find_first_not_of('0');
    std::string significant = first == std::string::npos ? std::string() : Digits.substr(first);
    if (static_cast<int>(significant.size()) > Precision) return false;
    Digits = std::string(static_cast<size_t>(Precision) - significant.size(), '0') + significant;
    TBcd result;
    result.Precision = static_cast<uint8_t>(Precision);
    result.SignSpecialPlaces = static_cast<uint8_t>(Places | ((Negative && !significant.empty()) ? TBcd::SignBit : 0));
    for (int i = 0; i < Precision; ++i) result.SetDigit(i, Digits[static_cast<size_t>(i)] - '0');
    Bcd = result;
    return true;
}

} // namespace

bool CurrToBCD(Currency Curr, TBcd& Bcd, int Precision, int Decimals) {
    if (Decimals < 0 || Decimals > TBcd::PlacesMask) return false;
    bool negative = Curr.Scaled < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(Curr.Scaled) : static_cast<uint64_t>(Curr.Scaled);
    // The currency carries 4 places: pad or round (half away from zero) to the wanted number.
    std::string digits = std::to_string(magnitude);
    if (Decimals >= 4) {
        digits.append(static_cast<size_t>(Decimals - 4), '0');
    } else {
        uint64_t divisor = 1;
        for (int i = Decimals; i < 4; ++i) divisor *= 10;
        uint64_t q = magnitude / divisor;
        if (magnitude % divisor >= divisor / 2) ++q;
        digits = std::to_string(q);
    }
    return FillBcd(Bcd, digits, Precision, Decimals, negative);
}

bool BCDToCurr(const TBcd& Bcd, Currency& Curr) {
    int places = Bcd.Places();
    int precision = Bcd.Precision;
    if (precision > MaxBcdDigits) return false;
    // Scaled = digits * 10^(4 - places), rounded half away from zero when places exceed 4.
    int keep = precision - (places > 4 ? places - 4 : 0);   // digits that reach the 4th place
    unsigned __int128 value = 0;
    const unsigned __int128 limit = static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + 1;
    for (int i = 0; i < precision && i < keep; ++i) {
        value = value * 10 + static_cast<unsigned>(Bcd.Digit(i));
        if (value > limit) return false;
    }
    if (keep >= 0 && keep < precision && Bcd.Digit(keep) >= 5) ++value;
    for (int i = places; i < 4; ++i) {
        value *= 10;
        if (value > limit) return false;
    }
    bool negative = Bcd.IsNegative();
    if (value == limit && !negative) return false;
    if (value > limit) return false;
    Curr.Scaled = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(value)) : static_cast<int64_t>(value);
    return true;
}

std::string BcdToStr(const TBcd& Bcd, char DecimalSeparator) {
    int precision = Bcd.Precision;
    int places = Bcd.Places();
    std::string intPart, fracPart;
    // Places beyond the precision are leading zeros of the fraction.
    for (int i = 0; i < places - precision; ++i) fracPart += '0';
    for (int i = 0; i < precision; ++i) {
        char c = static_cast<char>('0' + Bcd.Digit(i));
        if (i < precision - places)
            intPart += c;
        else
            fracPart += c;
    }
    size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
    std::string result;
    if (Bcd.IsNegative() && (intPart != "0" || !fracPart.empty())) result = "-";
    result += intPart;
    if (!fracPart.empty()) {
        result += DecimalSeparator;
        result += fracPart;
    }
    return result;
}

bool TryStrToBcd(const std::string& Text, TBcd& Bcd, char DecimalSeparator) {
    size_t i = 0;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '-' || Text[i] == '+')) negative = Text[i++] == '-';
    std::string digits;
    int places = 0;
    bool seenSeparator = false, seenDigit = false;
    for (; i < Text.size(); ++i) {
        char c = Text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            seenDigit = true;
            if (seenSeparator) ++places;
        } else if (c == DecimalSeparator && !seenSeparator) {
            seenSeparator = true;
        } else {
            return false;
        }
    }
    if (!seenDigit) return false;
    size_t first = digits.find_first_not_of('0');
    // Keep at least the fraction's digits; drop leading zeros of the integer part.
    size_t intDigits = digits.size() - static_cast<size_t>(places);
    size_t cut = std::min(first == std::string::npos ? digits.size() : first, intDigits);
    digits = digits.substr(cut);
    if (digits.empty()) digits = "0";
    if (digits.size() > MaxBcdDigits) return false;
    return FillBcd(Bcd, digits, static_cast<int>(digits.size()), places, negative);
}

Variant Variant::Null() {
    Variant v;
    v.FType = varNull;
    return v;
}

Variant Variant::FromDate(TDateTime V) {
    Variant v(V);
    v.FType = varDate;
    return v;
}

Variant Variant::FromSingle(float V) {
    Variant v(static_cast<double>(V));
    v.FType = varSingle;
    return v;
}

Variant Variant::FromInteger(int64_t V, TVarType Kind) {
    Variant v(V);
    v.FType = Kind;
    return v;
}

Variant Variant::CreateArray(const std::vector<TVarArrayBound>& Bounds, TVarType ElementType) {
    if (Bounds.empty()) throw std::invalid_argument("a variant array needs at least one dimension");
    // ElementCount is an int: the product is bounded step by step, so that it never wraps.
    size_t count = 1;
    for (const TVarArrayBound& b : Bounds) {
        if (b.ElementCount < 0) throw std::invalid_argument("negative element count");
        if (b.ElementCount > 0 && count > static_cast<size_t>(INT_MAX) / static_cast<size_t>(b.ElementCount))
            throw std::length_error("a variant array of more than 2147483647 elements");
        count *= static_cast<size_t>(b.ElementCount);
    }
    Variant v;
    v.FType = static_cast<TVarType>(varArray | ElementType);
    v.FBounds = Bounds;
    Variant element;
    switch (ElementType) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64:
        element = FromInteger(0, ElementType);
        break;
    case varSingle: case varDouble:
        element = Variant(0.0);
        element.FType = ElementType;
        break;
    case varDate: element = FromDate(0.0); break;
    case varCurrency: element = Variant(Currency{}); break;
    case varBoolean: element = Variant(false); break;
    case varString: element = Variant(std::string()); break;
    case varOleStr: element = Variant(std::u16string()); break;
    default: break;
    }
    v.FElements.assign(count, element);
    return v;
}

int Variant::LowBound(int Dim) const {
    return FBounds.at(static_cast<size_t>(Dim - 1)).LowBound;
}

int Variant::HighBound(int Dim) const {
    const TVarArrayBound& b = FBounds.at(static_cast<size_t>(Dim - 1));
    return b.LowBound + b.ElementCount - 1;
}

size_t Variant::FlatIndex(const std::vector<int>& Indexes) const {
    if (Indexes.size() != FBounds.size()) throw std::out_of_range("variant array index count");
    size_t flat = 0;
    for (size_t d = 0; d < FBounds.size(); ++d) {
        int offset = Indexes[d] - FBounds[d].LowBound;
        if (offset < 0 || offset >= FBounds[d].ElementCount) throw std::out_of_range("variant array index");
        flat = flat * static_cast<size_t>(FBounds[d].ElementCount) + static_cast<size_t>(offset);
    }
    return flat;
}

const Variant& Variant::GetElement(const std::vector<int>& Indexes) const {
    return FElements.at(FlatIndex(Indexes));
}

void Variant::PutElement(const std::vector<int>& Indexes, Variant Value) {
    FElements.at(FlatIndex(Indexes)) = std::move(Value);
}

} // namespace qnl
