#include "client/VariantRtn.h"

#include "platform/Exceptions.h"
#include "platform/VariantConv.h"

namespace qnl {

namespace {

template <class T>
int Sign(const T& A, const T& B) {
    return A < B ? -1 : (B < A ? 1 : 0);
}

int WithTolerance(long double Difference) {
    if ((Difference < 0 ? -Difference : Difference) < VariantFloatTolerance) return 0;
    return Difference < 0 ? -1 : 1;
}

bool IsIntegerKind(TVarType T) {
    switch (T) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return true;
    default: return false;
    }
}

bool IsTextKind(TVarType T) { return T == varString || T == varOleStr; }

long double BcdValue(const Variant& B) {
    long double v = 0;
    VarToNumber(B, v);
    return v;
}

// The left value of a numeric comparer: a whole number (with Int64Text telling that text on the
// right is read as a 64-bit integer) or a floating-point value.
struct TLeft {
    bool IsInteger;
    int64_t Int;
    long double Float;
    bool Int64Text;
};

TLeft IntegerLeft(int64_t V, bool Int64Text = false) { return {true, V, static_cast<long double>(V), Int64Text}; }
TLeft FloatLeft(double V) { return {false, 0, V, false}; }

int CompareNumberWithVariant(const TLeft& L, const Variant& B) {
    const TVarType t = B.VarType();
    if (IsIntegerKind(t)) {
        if (L.IsInteger) return Sign(L.Int, B.AsInt64());
        return Sign(L.Float, static_cast<long double>(B.AsInt64()));
    }
    switch (t) {
    case varSingle:
    case varDouble: return WithTolerance(L.Float - static_cast<long double>(B.AsDouble()));
    case varCurrency:
        if (L.IsInteger) return Sign(static_cast<__int128>(L.Int) * Currency::Scale, static_cast<__int128>(B.AsCurrency().Scaled));
        return Sign(L.Float * Currency::Scale, static_cast<long double>(B.AsCurrency().Scaled));
    case varDate: return Sign(L.Float, static_cast<long double>(B.AsDouble()));
    case varString:
    case varOleStr: {
        const std::string text = VarToStr(B);
        if (L.Int64Text) return Sign(L.Int, StrToInt64(text));
        return Sign(L.Float, static_cast<long double>(StrToFloat(text)));
    }
    case varFMTBcd: return Sign(L.Float, BcdValue(B));
    case varNull: return 1;
    default: return 0;
    }
}

} // namespace

int CompareSmallintWithVariant(int16_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareIntegerWithVariant(int32_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareShortIntWithVariant(int8_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareByteWithVariant(uint8_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareWordWithVariant(uint16_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareLongWordWithVariant(uint32_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value), B); }
int CompareInt64WithVariant(int64_t Value, const Variant& B) { return CompareNumberWithVariant(IntegerLeft(Value, true), B); }
int CompareSingleWithVariant(float Value, const Variant& B) { return CompareNumberWithVariant(FloatLeft(Value), B); }
int CompareDoubleWithVariant(double Value, const Variant& B) { return CompareNumberWithVariant(FloatLeft(Value), B); }
int CompareDateWithVariant(TDateTime Value, const Variant& B) { return CompareNumberWithVariant(FloatLeft(Value), B); }

int CompareCurrencyWithVariant(Currency Value, const Variant& B) {
    const TVarType t = B.VarType();
    const long double scaled = static_cast<long double>(Value.Scaled);
    if (IsIntegerKind(t))
        return Sign(static_cast<__int128>(Value.Scaled), static_cast<__int128>(B.AsInt64()) * Currency::Scale);
    switch (t) {
    case varSingle:
    case varDouble: return WithTolerance((scaled - static_cast<long double>(B.AsDouble()) * Currency::Scale) / Currency::Scale);
    case varCurrency: return Sign(Value.Scaled, B.AsCurrency().Scaled);
    case varDate: return Sign(scaled, static_cast<long double>(B.AsDouble()) * Currency::Scale);
    case varString:
    case varOleStr: return Sign(scaled, static_cast<long double>(StrToFloat(VarToStr(B))) * Currency::Scale);
    case varFMTBcd: return Sign(scaled, BcdValue(B) * Currency::Scale);
    case varNull: return 1;
    default: return 0;
    }
}

int CompareStrWithVariant(const std::string& Value, const Variant& B) {
    switch (B.VarType()) {
    case varNull: return 1;
    case varString: return Sign(Value.compare(B.AsString()), 0);
    case varOleStr: return Sign(VarToWideStr(Variant(Value)).compare(B.AsWideString()), 0);
    default: return Sign(Value.compare(VarToStr(B)), 0);
    }
}

int CompareWideStrWithVariant(const std::u16string& Value, const Variant& B) {
    if (B.IsNull()) return 1;
    return Sign(Value.compare(VarToWideStr(B)), 0);
}

int VarCompareValues(const Variant& A, const Variant& B) {
    if (A.IsArray() || B.IsArray()) throw EVariantError("Invalid variant operation");
    if (A.IsNull() || B.IsNull()) return A.IsNull() ? (B.IsNull() ? 0 : -1) : 1;
    const TVarType ta = A.VarType(), tb = B.VarType();
    if (ta == varEmpty && tb == varEmpty) return 0;
    long double a = 0, b = 0;
    const bool aNumber = VarToNumber(A, a), bNumber = VarToNumber(B, b);
    if (aNumber && bNumber) return Sign(a, b);
    if (IsTextKind(ta) && IsTextKind(tb)) {
        if (ta == varString && tb == varString) return Sign(A.AsString().compare(B.AsString()), 0);
        return Sign(VarToWideStr(A).compare(VarToWideStr(B)), 0);
    }
    // Empty against a number is 0, against text "".
    if (ta == varEmpty) return IsTextKind(tb) ? Sign(std::u16string().compare(VarToWideStr(B)), 0) : Sign(0.0L, b);
    if (tb == varEmpty) return IsTextKind(ta) ? Sign(VarToWideStr(A).compare(std::u16string()), 0) : Sign(a, 0.0L);
    if (aNumber && IsTextKind(tb)) return Sign(a, static_cast<long double>(StrToFloat(VarToStr(B))));
    if (bNumber && IsTextKind(ta)) return Sign(static_cast<long double>(StrToFloat(VarToStr(A))), b);
    throw EVariantError("Invalid variant operation");
}

int CompareVariants(const Variant& A, const Variant& B) {
    switch (A.VarType()) {
    case varSmallint: return CompareSmallintWithVariant(static_cast<int16_t>(A.AsInt64()), B);
    case varInteger: return CompareIntegerWithVariant(static_cast<int32_t>(A.AsInt64()), B);
    case varSingle: return CompareSingleWithVariant(static_cast<float>(A.AsDouble()), B);
    case varDouble: return CompareDoubleWithVariant(A.AsDouble(), B);
    case varCurrency: return CompareCurrencyWithVariant(A.AsCurrency(), B);
    case varDate: return CompareDateWithVariant(A.AsDouble(), B);
    case varOleStr: return CompareWideStrWithVariant(A.AsWideString(), B);
    case varShortInt: return CompareShortIntWithVariant(static_cast<int8_t>(A.AsInt64()), B);
    case varByte: return CompareByteWithVariant(static_cast<uint8_t>(A.AsInt64()), B);
    case varWord: return CompareWordWithVariant(static_cast<uint16_t>(A.AsInt64()), B);
    case varLongWord: return CompareLongWordWithVariant(static_cast<uint32_t>(A.AsInt64()), B);
    case varInt64: return CompareInt64WithVariant(A.AsInt64(), B);
    case varString: return CompareStrWithVariant(A.AsString(), B);
    default: return VarCompareValues(A, B);
    }
}

bool VarArraysEqual(const Variant& A, const Variant& B, int HighIndex) {
    try {
        for (int i = HighIndex; i >= 0; --i) {
            Variant a = A.GetElement({i});
            Variant b = B.GetElement({i});
            if (a.IsEmpty()) a = Variant::Null();
            if (b.IsEmpty()) b = Variant::Null();
            if (a.IsNull() != b.IsNull()) return false;
            if (!a.IsNull() && VarCompareValues(a, b) != 0) return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool VarArrayNextIndex(const Variant& A, std::vector<int>& Indices) {
    for (int d = A.DimCount(); d >= 1; --d) {
        int& index = Indices.at(static_cast<size_t>(d - 1));
        if (index < A.HighBound(d)) {
            ++index;
            return true;
        }
        index = A.LowBound(d);
    }
    return false;
}

namespace {

std::vector<int> FirstIndices(const Variant& A) {
    std::vector<int> indices;
    for (int d = 1; d <= A.DimCount(); ++d) indices.push_back(A.LowBound(d));
    return indices;
}

} // namespace

bool VarArrayForEach(const Variant& A, const TVarArrayVisit& Visit) {
    if (!Visit || !A.IsArray()) return false;
    if (A.ElementCount() == 0) return true;
    std::vector<int> indices = FirstIndices(A);
    bool next = true;
    do {
        next = true;
        Visit(A.GetElement(indices), indices, next, A.DimCount() - 1);
    } while (next && VarArrayNextIndex(A, indices));
    return next;
}

bool VarArrayForEachModify(Variant& A, const TVarArrayModifyVisit& Visit) {
    if (!Visit) return false;
    if (A.IsArray() && A.ElementCount() == 0) return true;
    std::vector<int> indices = FirstIndices(A);
    Variant newValue;
    bool next = true;
    do {
        next = true;
        Visit(A.GetElement(indices), indices, next, newValue);
        if (next) A.PutElement(indices, newValue);
    } while (next && VarArrayNextIndex(A, indices));
    return next;
}

} // namespace qnl
