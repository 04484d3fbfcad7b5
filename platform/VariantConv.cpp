#include "platform/VariantConv.h"

#include "platform/DateTime.h"
#include "platform/IntText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>

namespace qnl {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view S) {
    while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
    return S;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendUtf8(std::string& Out, uint32_t Cp) {
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

} // namespace

std::string WideToUtf8(std::u16string_view W) {
    std::string out;
    for (size_t i = 0; i < W.size(); ++i) {
        uint32_t cp = W[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < W.size() && W[i + 1] >= 0xDC00 && W[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (W[i + 1] - 0xDC00u);
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view S) {
    std::u16string out;
    size_t i = 0;
    while (i < S.size()) {
        const auto c = static_cast<unsigned char>(S[i]);
        uint32_t cp;
        size_t extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1Fu; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0Fu; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07u; extra = 3; }
        else { out += u'?'; ++i; continue; }
        if (i + extra >= S.size()) {   // cut short at the end
            out += u'?';
            break;
        }
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(S[i + k]);
            if ((t & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (t & 0x3Fu);
        }
        if (!ok) { out += u'?'; ++i; continue; }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool TryStrToFloat(std::string_view S, double& Value) {
    std::string_view t = TrimBlanks(S);
    std::string norm;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) norm += t[i++];
    int digits = 0;
    bool separator = false;
    for (; i < t.size(); ++i) {
        if (IsDigit(t[i])) {
            norm += t[i];
            ++digits;
        } else if (t[i] == FormatSettings.DecimalSeparator && !separator) {
            norm += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        norm += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) norm += t[i++];
        int expDigits = 0;
        for (; i < t.size() && IsDigit(t[i]); ++i, ++expDigits) norm += t[i];
        if (expDigits == 0) return false;
    }
    if (i != t.size()) return false;
    const char* begin = norm.c_str();
    if (*begin == '+') ++begin;
    double v = 0;
    auto [end, ec] = std::from_chars(begin, norm.c_str() + norm.size(), v);
    if (ec != std::errc() || end != norm.c_str() + norm.size()) return false;
    Value = v;
    return true;
}

double StrToFloat(std::string_view S) {
    double v = 0;
    if (!TryStrToFloat(S, v)) throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
    return v;
}

int64_t StrToInt64(std::string_view S) {
    int64_t v = 0;
    if (!TryStrToInt64(S, v)) throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
    return v;
}

namespace {

// Value printed with Digits significant digits in FloatToStr's form.
std::string FloatText(double Value, int Digits) {
    char buffer[512];   // "%G" of a double at any precision fits
    std::snprintf(buffer, sizeof buffer, "%.*G", Digits, Value);
    std::string s = buffer;
    std::string mantissa = s, exponent;
    if (size_t e = s.find('E'); e != std::string::npos) {
        mantissa = s.substr(0, e);
        std::string digits = s.substr(e + 1);
        std::string sign;
        if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
            if (digits[0] == '-') sign = "-";
            digits.erase(0, 1);
        }
        while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
        exponent = "E" + sign + digits;
    }
    if (size_t dot = mantissa.find('.'); dot != std::string::npos) {
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        else mantissa[dot] = FormatSettings.DecimalSeparator;
    }
    return mantissa + exponent;
}

} // namespace

std::string FloatToStr(double Value) { return FloatText(Value, 15); }

std::string FloatToShortestStr(double Value, bool Single) {
    if (!std::isfinite(Value)) return FloatText(Value, 15);
    const int most = Single ? 9 : 17;
    for (int digits = 1; digits < most; ++digits) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, "%.*G", digits, Value);
        const bool same = Single ? std::strtof(buffer, nullptr) == static_cast<float>(Value)
                                 : std::strtod(buffer, nullptr) == Value;
        if (same) return FloatText(Value, digits);
    }
    return FloatText(Value, most);
}

std::string CurrToStr(Currency Value) {
    const bool negative = Value.Scaled < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(Value.Scaled) : static_cast<uint64_t>(Value.Scaled);
    std::string s = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) s += FormatSettings.DecimalSeparator + fraction;
    return s;
}

std::string VarToStr(const Variant& V) {
    if (V.IsArray()) throw EVariantError("Invalid variant type conversion");
    switch (V.VarType()) {
    case varEmpty: case varNull: return "";
    case varBoolean: return V.AsBoolean() ? "True" : "False";
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return std::to_string(V.AsInt64());
    case varSingle: return FloatToStr(static_cast<float>(V.AsDouble()));
    case varDouble: return FloatToStr(V.AsDouble());
    case varCurrency: return CurrToStr(V.AsCurrency());
    case varDate: return DateTimeToStr(V.AsDouble());
    case varString: return V.AsString();
    case varOleStr: return WideToUtf8(V.AsWideString());
    case varFMTBcd: return BcdToStr(V.AsBcd(), FormatSettings.DecimalSeparator);
    default: throw EVariantError("Invalid variant type conversion");
    }
}

std::u16string VarToWideStr(const Variant& V) {
    if (V.VarType() == varOleStr) return V.AsWideString();
    return Utf8ToWide(VarToStr(V));
}

bool VarToNumber(const Variant& V, long double& Value) {
    switch (V.VarType()) {
    case varBoolean: Value = V.AsBoolean() ? 1 : 0; return true;
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: Value = static_cast<long double>(V.AsInt64()); return true;
    case varSingle: case varDouble: case varDate: Value = V.AsDouble(); return true;
    case varCurrency: Value = static_cast<long double>(V.AsCurrency().Scaled) / 10000; return true;
    case varFMTBcd: {
        std::string text = BcdToStr(V.AsBcd(), '.');
        long double v = 0;
        std::from_chars(text.data(), text.data() + text.size(), v);   // never the C library's locale
        Value = v;
        return true;
    }
    default: return false;
    }
}

} // namespace qnl
