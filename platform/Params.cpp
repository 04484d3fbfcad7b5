// Implements the parameter list and its SQL parser; see Params.h.
#include "platform/Params.h"

#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <cmath>
#include <limits>

namespace qnl {

namespace {

bool IsNameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }

TFieldType TypeOfValue(const Variant& Value) {
    switch (Value.VarType()) {
    case varSmallint: return ftSmallint;
    case varInteger: case varShortInt: case varByte: return ftInteger;
    case varWord: return ftWord;
    case varLongWord: case varInt64: return ftLargeint;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    case varOleStr: return ftWideString;
    case varFMTBcd: return ftBCD;
    default: return ftUnknown;
    }
}

} // namespace

// ---- TParam ----

void TParam::SetValue(const Variant& Value) {
    FValue = Value;
    FBound = true;
    if (DataType == ftUnknown) DataType = TypeOfValue(Value);
}

void TParam::SetTyped(const Variant& Value, TFieldType Type) {
    DataType = Type;
    FValue = Value;
    FBound = true;
}

void TParam::Clear() {
    FValue = Variant::Null();
    FBound = true;
}

std::string TParam::AsString() const { return VarToStr(FValue); }

int64_t TParam::AsLargeInt() const {
    if (IsNull()) return 0;
    if (FValue.VarType() == varString || FValue.VarType() == varOleStr) return StrToInt64(Trim(VarToStr(FValue)));
    long double number;
    if (!VarToNumber(FValue, number) || !(std::fabs(std::nearbyint(number)) < 9223372036854775808.0L))
        throw EConvertError("Parameter '" + Name + "' holds no integer value");
    return static_cast<int64_t>(std::nearbyint(number));
}

int32_t TParam::AsInteger() const {
    const int64_t value = AsLargeInt();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw EConvertError("Parameter '" + Name + "': " + std::to_string(value) + " is beyond 32 bits");
    return static_cast<int32_t>(value);
}

double TParam::AsFloat() const {
    if (IsNull()) return 0;
    if (FValue.VarType() == varString || FValue.VarType() == varOleStr) return StrToFloat(VarToStr(FValue));
    long double number;
    if (!VarToNumber(FValue, number)) throw EConvertError("Parameter '" + Name + "' holds no number");
    return static_cast<double>(number);
}

bool TParam::AsBoolean() const {
    if (IsNull()) return false;
    if (FValue.VarType() == varBoolean) return FValue.AsBoolean();
    return AsFloat() != 0;
}

// ---- TParams ----

TParam* TParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
    FItems.push_back(std::make_unique<TParam>(Name, DataType, ParamType));
    return FItems.back().get();
}

TParam* TParams::FindParam(std::string_view Name) const {
    for (const auto& param : FItems)
        if (SameText(param->Name, Name)) return param.get();
    return nullptr;
}

TParam* TParams::ParamByName(std::string_view Name) const {
    TParam* param = FindParam(Name);
    if (!param) throw EDatabaseError("Parameter '" + std::string(Name) + "' not found");
    return param;
}

std::string TParams::ParseSQL(const std::string& SQL, bool DoCreate) {
    std::string result;
    result.reserve(SQL.size());
    const size_t n = SQL.size();
    size_t i = 0;
    // Copies from i up to and including the first Close found from i + Skip (or to the end).
    auto copyThrough = [&](std::string_view Close, size_t Skip) {
        size_t end = SQL.find(Close, i + Skip);
        end = end == std::string::npos ? n : end + Close.size();
        result.append(SQL, i, end - i);
        i = end;
    };
    while (i < n) {
        const char c = SQL[i];
        if (c == '\'' || c == '"') {   // a doubled quote inside reads as two literals in a row
            copyThrough(std::string_view(&SQL[i], 1), 1);
        } else if (c == '-' && i + 1 < n && SQL[i + 1] == '-') {
            size_t end = SQL.find_first_of("\r\n", i);
            end = end == std::string::npos ? n : end;
            result.append(SQL, i, end - i);
            i = end;
        } else if (c == '/' && i + 1 < n && SQL[i + 1] == '*') {
            copyThrough("*/", 2);
        } else if (c == ':' && i + 1 < n && SQL[i + 1] == ':') {
            result += "::";
            i += 2;
        } else if (c == ':' && i + 1 < n && (IsNameStart(static_cast<unsigned char>(SQL[i + 1])) || SQL[i + 1] == '"')) {
            std::string name;
            if (SQL[i + 1] == '"') {
                const size_t close = SQL.find('"', i + 2);
                if (close == std::string::npos)
                    throw EDatabaseError("Parameter name without closing quote at position " + std::to_string(i + 1));
                name = SQL.substr(i + 2, close - i - 2);
                i = close + 1;
            } else {
                size_t end = i + 1;
                while (end < n && IsNameChar(static_cast<unsigned char>(SQL[end]))) ++end;
                name = SQL.substr(i + 1, end - i - 1);
                i = end;
            }
            if (DoCreate && !FindParam(name)) CreateParam(ftUnknown, name, ptInput);
            result += '?';
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

} // namespace qnl
