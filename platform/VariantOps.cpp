// Implements the framework's Variant operators; see VariantOps.h.
#include "platform/VariantOps.h"

#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace qnl {

namespace {

enum class TKind : uint8_t { Empty, Null, Boolean, Integer, Exact, Float, Date, Text, WideText };

TKind KindOf(const Variant& V) {
    if (V.IsArray()) throw EVariantError("Invalid variant operation");
    switch (V.VarType()) {
    case varEmpty: return TKind::Empty;
    case varNull: return TKind::Null;
    case varBoolean: return TKind::Boolean;
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return TKind::Integer;
    case varCurrency: case varFMTBcd: return TKind::Exact;
    case varSingle: case varDouble: return TKind::Float;
    case varDate: return TKind::Date;
    case varString: return TKind::Text;
    case varOleStr: return TKind::WideText;
    default: throw EVariantError("Invalid variant operation");
    }
}

bool IsNumeric(TKind K) { return K == TKind::Integer || K == TKind::Exact || K == TKind::Float || K == TKind::Date; }
bool IsText(TKind K) { return K == TKind::Text || K == TKind::WideText; }

// The zero of the kind an Empty operand takes against K.
Variant ZeroOf(TKind K) {
    switch (K) {
    case TKind::Boolean: return Variant(false);
    case TKind::Text: return Variant(std::string());
    case TKind::WideText: return Variant(std::u16string());
    case TKind::Date: return Variant::FromDate(0);
    default: return Variant(int32_t{0});
    }
}

[[noreturn]] void CannotConvert(const char* Into) {
    throw EVariantError(std::string("Could not convert variant into type (") + Into + ")");
}

double ToDouble(const Variant& V) {
    if (V.VarType() == varString) return StrToFloat(V.AsString());
    if (V.VarType() == varOleStr) return StrToFloat(WideToUtf8(V.AsWideString()));
    if (V.VarType() == varFMTBcd) {
        const std::string text = BcdToStr(V.AsBcd(), '.');
        double d = 0;
        std::from_chars(text.data(), text.data() + text.size(), d);
        return d;
    }
    long double value = 0;
    if (!VarToNumber(V, value)) CannotConvert("Double");
    return static_cast<double>(value);
}

bool TextToBool(const std::string& Text) {
    std::string upper;
    for (char c : Text) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (upper == "TRUE") return true;
    if (upper == "FALSE") return false;
    double d = 0;
    if (TryStrToFloat(Text, d)) return d != 0;
    CannotConvert("Boolean");
}

template <class T>
int Sign(const T& A, const T& B) { return A < B ? -1 : (B < A ? 1 : 0); }

// Both numeric (Booleans count as 0 and 1).
int CompareNumbers(const Variant& A, TKind KA, const Variant& B, TKind KB) {
    auto isInt = [](TKind K) { return K == TKind::Integer || K == TKind::Boolean; };
    if (isInt(KA) && isInt(KB)) {
        auto value = [](const Variant& V) { return V.VarType() == varBoolean ? int64_t{V.AsBoolean()} : V.AsInt64(); };
        return Sign(value(A), value(B));
    }
    if (KA == TKind::Float || KB == TKind::Float || KA == TKind::Date || KB == TKind::Date)
        return Sign(ToDouble(A), ToDouble(B));
    long double a = 0, b = 0;
    VarToNumber(A, a);
    VarToNumber(B, b);
    return Sign(a, b);
}

bool FitsInt32(int64_t V) { return V >= INT32_MIN && V <= INT32_MAX; }
bool IsNarrowInteger(const Variant& V) { return V.VarType() != varInt64 && V.VarType() != varLongWord; }

Variant IntegerResult(int64_t Value, bool Narrow) {
    return Narrow && FitsInt32(Value) ? Variant(static_cast<int32_t>(Value)) : Variant(Value);
}

// The value as Currency; false when it is beyond its range.
bool ToCurrency(const Variant& V, Currency& C) {
    switch (V.VarType()) {
    case varCurrency: C = V.AsCurrency(); return true;
    case varFMTBcd: return BCDToCurr(V.AsBcd(), C);
    case varBoolean: C = Currency::FromScaled(V.AsBoolean() ? Currency::Scale : 0); return true;
    default: {
        int64_t scaled = 0;
        if (__builtin_mul_overflow(V.AsInt64(), Currency::Scale, &scaled)) return false;
        C = Currency::FromScaled(scaled);
        return true;
    }
    }
}

int64_t RoundToInt64(const Variant& V) {
    if (V.VarType() == varBoolean) return V.AsBoolean() ? 1 : 0;
    if (KindOf(V) == TKind::Integer) return V.AsInt64();
    const long double value = std::round(static_cast<long double>(ToDouble(V)));
    if (!(value > -9.2e18L && value < 9.2e18L)) throw EVariantError("Invalid variant operation");
    return static_cast<int64_t>(value);
}

Variant FloatArith(TVarArithOp Op, double A, double B) {
    switch (Op) {
    case TVarArithOp::Add: return Variant(A + B);
    case TVarArithOp::Subtract: return Variant(A - B);
    case TVarArithOp::Multiply: return Variant(A * B);
    default:
        if (B == 0) throw EZeroDivide();
        return Variant(A / B);
    }
}

} // namespace

int VarCompare(const Variant& A, const Variant& B) {
    TKind ka = KindOf(A), kb = KindOf(B);
    if (ka == TKind::Null || kb == TKind::Null) return ka == kb ? 0 : (ka == TKind::Null ? -1 : 1);
    if (ka == TKind::Empty && kb == TKind::Empty) return 0;
    if (ka == TKind::Empty) return VarCompare(ZeroOf(kb), B);
    if (kb == TKind::Empty) return VarCompare(A, ZeroOf(ka));
    if (IsText(ka) && IsText(kb)) {
        if (ka == TKind::Text && kb == TKind::Text) {
            const int c = A.AsString().compare(B.AsString());
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        return Sign(VarToWideStr(A), VarToWideStr(B));
    }
    if (IsText(ka) || IsText(kb)) {
        const Variant& text = IsText(ka) ? A : B;
        const TKind other = IsText(ka) ? kb : ka;
        const int flip = IsText(ka) ? 1 : -1;
        const Variant& value = IsText(ka) ? B : A;
        if (other == TKind::Boolean)
            return flip * Sign(TextToBool(VarToStr(text)), value.AsBoolean());
        if (other == TKind::Date)
            return flip * Sign(StrToDateTime(VarToStr(text)), value.AsDouble());
        return flip * Sign(ToDouble(text), ToDouble(value));
    }
    return CompareNumbers(A, ka, B, kb);
}

Variant VarArith(TVarArithOp Op, const Variant& A, const Variant& B) {
    TKind ka = KindOf(A), kb = KindOf(B);
    if (ka == TKind::Null || kb == TKind::Null) return Variant::Null();
    if (ka == TKind::Empty && kb == TKind::Empty) return Variant();
    if (ka == TKind::Empty) return VarArith(Op, ZeroOf(kb), B);
    if (kb == TKind::Empty) return VarArith(Op, A, ZeroOf(ka));
    if (Op == TVarArithOp::Add && IsText(ka) && IsText(kb)) {
        if (ka == TKind::Text && kb == TKind::Text) return Variant(A.AsString() + B.AsString());
        return Variant(VarToWideStr(A) + VarToWideStr(B));
    }
    if (IsText(ka)) return VarArith(Op, Variant(ToDouble(A)), B);
    if (IsText(kb)) return VarArith(Op, A, Variant(ToDouble(B)));

    if (Op == TVarArithOp::Modulo) {
        const int64_t a = RoundToInt64(A), b = RoundToInt64(B);
        if (b == 0) throw EZeroDivide();
        // INT64_MIN % -1 overflows in the machine; the remainder is 0.
        const int64_t r = b == -1 ? 0 : a % b;
        return IntegerResult(r, ka != TKind::Exact && kb != TKind::Exact && IsNarrowInteger(A) && IsNarrowInteger(B));
    }
    if (Op == TVarArithOp::Divide) return FloatArith(Op, ToDouble(A), ToDouble(B));
    if (ka == TKind::Date || kb == TKind::Date) {
        Variant r = FloatArith(Op, ToDouble(A), ToDouble(B));
        const bool bothDates = ka == TKind::Date && kb == TKind::Date;
        if (!bothDates && (Op == TVarArithOp::Add || (Op == TVarArithOp::Subtract && ka == TKind::Date)))
            return Variant::FromDate(r.AsDouble());
        return r;
    }
    if (ka == TKind::Float || kb == TKind::Float) return FloatArith(Op, ToDouble(A), ToDouble(B));
    if (ka == TKind::Exact || kb == TKind::Exact) {
        Currency a, b;
        if (ToCurrency(A, a) && ToCurrency(B, b)) {
            int64_t r = 0;
            bool overflow = false;
            if (Op == TVarArithOp::Add) overflow = __builtin_add_overflow(a.Scaled, b.Scaled, &r);
            else if (Op == TVarArithOp::Subtract) overflow = __builtin_sub_overflow(a.Scaled, b.Scaled, &r);
            else {
                const __int128 p = static_cast<__int128>(a.Scaled) * b.Scaled;
                const __int128 q = (p + (p < 0 ? -Currency::Scale / 2 : Currency::Scale / 2)) / Currency::Scale;
                overflow = q > std::numeric_limits<int64_t>::max() || q < std::numeric_limits<int64_t>::min();
                r = static_cast<int64_t>(q);
            }
            if (!overflow) return Variant(Currency::FromScaled(r));
        }
        return FloatArith(Op, ToDouble(A), ToDouble(B));
    }
    // Integers and Booleans.
    const int64_t a = RoundToInt64(A), b = RoundToInt64(B);
    int64_t r = 0;
    bool overflow = false;
    if (Op == TVarArithOp::Add) overflow = __builtin_add_overflow(a, b, &r);
    else if (Op == TVarArithOp::Subtract) overflow = __builtin_sub_overflow(a, b, &r);
    else overflow = __builtin_mul_overflow(a, b, &r);
    if (overflow) return FloatArith(Op, static_cast<double>(a), static_cast<double>(b));
    return IntegerResult(r, IsNarrowInteger(A) && IsNarrowInteger(B));
}

Variant VarNegate(const Variant& V) {
    switch (KindOf(V)) {
    case TKind::Empty:
    case TKind::Null: return V;
    case TKind::Integer:
        if (V.AsInt64() == std::numeric_limits<int64_t>::min()) return Variant(-static_cast<double>(V.AsInt64()));
        return IntegerResult(-V.AsInt64(), IsNarrowInteger(V));
    case TKind::Exact: {
        Currency c;
        if (ToCurrency(V, c) && c.Scaled != std::numeric_limits<int64_t>::min()) return Variant(Currency::FromScaled(-c.Scaled));
        return Variant(-ToDouble(V));
    }
    case TKind::Float: return Variant(-V.AsDouble());
    case TKind::Date: return Variant::FromDate(-V.AsDouble());
    case TKind::Text:
    case TKind::WideText: return Variant(-ToDouble(V));
    default: throw EVariantError("Invalid variant operation");
    }
}

bool VarToBool(const Variant& V) {
    switch (KindOf(V)) {
    case TKind::Empty:
    case TKind::Null: return false;
    case TKind::Boolean: return V.AsBoolean();
    case TKind::Text:
    case TKind::WideText: return TextToBool(VarToStr(V));
    default: return ToDouble(V) != 0;
    }
}

TDateTime VarToDateTime(const Variant& V) {
    const TKind k = KindOf(V);
    if (IsText(k)) return StrToDateTime(VarToStr(V));
    if (IsNumeric(k)) return ToDouble(V);
    CannotConvert("Date");
}

} // namespace qnl
