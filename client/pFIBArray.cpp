// Implements TpFIBArray; see pFIBArray.h.
#include "client/pFIBArray.h"

#include "client/StdFuncs.h"
#include "client/VariantRtn.h"
#include "client/fib.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace qnl {

namespace {

// Our own texts: the client's message table has none for a value too large for its column.
constexpr const char* SFIBArrayTooManyElements = "Array value of %d elements does not fit \"%s\" (%d elements)";
constexpr const char* SFIBArrayElementTooLong = "Element %s of array \"%s\" is longer than its %d characters";

TFieldType FieldTypeOf(uint8_t BlrType) {
    switch (BlrType) {
    case blr_short: return ftSmallint;
    case blr_long: return ftInteger;
    case blr_float: case blr_d_float: case blr_double: return ftFloat;
    case blr_sql_date: return ftDate;
    case blr_sql_time: return ftTime;
    case blr_text: case blr_varying: return ftString;
    case blr_int64: return ftBCD;
    case blr_timestamp: return ftDateTime;
    default: return ftUnknown;
    }
}

void CopyName(char (&Field)[32], const std::string& Name) {
    std::memset(Field, 0, sizeof Field);
    std::memcpy(Field, Name.data(), std::min(Name.size(), sizeof Field - 1));
}

template <class T>
T Load(const char* Data) {
    T value;
    std::memcpy(&value, Data, sizeof value);
    return value;
}

template <class T>
void Store(char* Data, T Value) {
    std::memcpy(Data, &Value, sizeof Value);
}

// A scaled integer element as the number it stands for; scale 0 keeps the integer.
Variant ScaledElement(int64_t Raw, int Decimals, Variant Integer) {
    if (Decimals <= 0) return Integer;
    return Variant(static_cast<double>(static_cast<long double>(Raw) / static_cast<long double>(IntE10(Decimals))));
}

// The number an element Variant holds; texts are read as numbers, or as date-times for date
// kinds. Anything else is client error 33.
long double NumberOf(const Variant& Element, bool DateKind) {
    long double number = 0;
    if (VarToNumber(Element, number)) return number;
    try {
        const std::string text = VarToStr(Element);
        return DateKind ? StrToDateTime(text) : StrToFloat(text);
    } catch (const Exception&) {
        RaiseClientError(cecInvalidDataConversion);
    }
}

// Value * 10^Decimals rounded to the nearest integer within [Low, High]; client error 33 outside.
int64_t ScaledInteger(const Variant& Element, int Decimals, int64_t Low, int64_t High) {
    int64_t value = 0;
    switch (Element.VarType()) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64:
        if (Decimals == 0) {
            value = Element.AsInt64();
            break;
        }
        [[fallthrough]];
    default:
        if (!TryRoundToInt64(NumberOf(Element, false) * static_cast<long double>(IntE10(Decimals)), value))
            RaiseClientError(cecInvalidDataConversion);
    }
    if (value < Low || value > High) RaiseClientError(cecInvalidDataConversion);
    return value;
}

} // namespace

TpFIBArray::TpFIBArray(IIBClientLibraryPtr ClientLibrary, XSQLVAR* SQLVar, isc_db_handle* DBHandle,
                       isc_tr_handle* TRHandle, const std::string& RelationName, const std::string& FieldName,
                       int CharBytes)
    : FClientLibrary(std::move(ClientLibrary)), FSQLVar(SQLVar), FRelationName(RelationName), FFieldName(FieldName),
      FCharBytes(std::max(CharBytes, 1)) {
    char relation[32];
    char field[32];
    CopyName(relation, RelationName);
    CopyName(field, FieldName);
    // A failed lookup leaves a descriptor of no dimensions, whose array would read as empty:
    // a wrong column must say so.
    if (FClientLibrary->isc_array_lookup_bounds(ThreadStatusVector(), DBHandle, TRHandle, relation, field,
                                                &FDescriptor) != 0)
        RaiseStatusVectorError(*FClientLibrary, nullptr);
    FFieldType = FieldTypeOf(FDescriptor.array_desc_dtype);
    FSliceDescriptor = FDescriptor;
    if (IsText())
        FSliceDescriptor.array_desc_length =
            static_cast<unsigned short>(std::min(FDescriptor.array_desc_length * FCharBytes, 32765));
}

void TpFIBArray::GetDimension(int Index, int& Lower, int& Upper) const {
    if (Index < 0 || Index >= GetDimensions()) RaiseClientError(cecDimensionMissing, {Index, QualifiedName()});
    Lower = FDescriptor.array_desc_bounds[Index].array_bound_lower;
    Upper = FDescriptor.array_desc_bounds[Index].array_bound_upper;
}

int64_t TpFIBArray::ElementStride() const {
    return FSliceDescriptor.array_desc_length + (FDescriptor.array_desc_dtype == blr_varying ? 2 : 0);
}

int64_t TpFIBArray::ArraySize() const {
    int64_t elements = 1;
    for (int d = 0; d < GetDimensions(); ++d) {
        const ISC_ARRAY_BOUND& b = FDescriptor.array_desc_bounds[d];
        elements *= b.array_bound_upper - b.array_bound_lower + 1;
    }
    return elements * ElementStride();
}

Variant TpFIBArray::ReadElement(const char* Data) const {
    const int decimals = GetScale();
    switch (FFieldType) {
    case ftSmallint: {
        const auto raw = Load<int16_t>(Data);
        return ScaledElement(raw, decimals, Variant(raw));
    }
    case ftInteger: {
        const auto raw = Load<int32_t>(Data);
        return ScaledElement(raw, decimals, Variant(raw));
    }
    case ftBCD: {
        const auto raw = Load<int64_t>(Data);
        return ScaledElement(raw, decimals, Variant(raw));
    }
    case ftFloat:
        if (FDescriptor.array_desc_length == sizeof(float)) return Variant::FromSingle(Load<float>(Data));
        return Variant(Load<double>(Data));
    case ftDate:
        return Variant::FromDate(SafeTimeStampToDateTime(TTimeStamp{0, Load<ISC_DATE>(Data) + IscDateDelta}));
    case ftTime:
        return Variant::FromDate(
            TimeMSecsToDateTime(static_cast<int32_t>(Load<ISC_TIME>(Data) / IscTimeUnitsPerMSec)));
    case ftDateTime: {
        const auto stamp = Load<ISC_TIMESTAMP>(Data);
        return Variant::FromDate(SafeTimeStampToDateTime(TTimeStamp{
            static_cast<int32_t>(stamp.timestamp_time / IscTimeUnitsPerMSec), stamp.timestamp_date + IscDateDelta}));
    }
    case ftString: {
        // The text ends at its zero byte; the blanks that pad a CHAR element are no part of it.
        std::string text(Data, strnlen(Data, static_cast<size_t>(ElementStride())));
        if (FDescriptor.array_desc_dtype == blr_text)
            while (!text.empty() && text.back() == ' ') text.pop_back();
        return Variant(std::move(text));
    }
    default: break;   // kinds without a conversion stay unset
    }
    return Variant();
}

Variant TpFIBArray::ReadArrayValues(isc_db_handle* DBHandle, isc_tr_handle* TRHandle, const ISC_QUAD& ArrayID) const {
    std::vector<TVarArrayBound> bounds;
    for (int d = 0; d < GetDimensions(); ++d) {
        const ISC_ARRAY_BOUND& b = FDescriptor.array_desc_bounds[d];
        bounds.push_back({b.array_bound_lower, b.array_bound_upper - b.array_bound_lower + 1});
    }
    if (bounds.empty()) RaiseClientError(cecDimensionMissing, {0, QualifiedName()});
    Variant result = Variant::CreateArray(bounds, varVariant);
    const int64_t size = ArraySize();
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    ISC_LONG sliceLength = 0;
    if (ArrayID.gds_quad_high != 0 || ArrayID.gds_quad_low != 0) {
        sliceLength = static_cast<ISC_LONG>(size);
        ISC_QUAD id = ArrayID;
        if (FClientLibrary->isc_array_get_slice(ThreadStatusVector(), DBHandle, TRHandle, &id, &FSliceDescriptor,
                                                buffer.data(), &sliceLength) != 0)
            RaiseStatusVectorError(*FClientLibrary, nullptr);
    }
    const int64_t stride = ElementStride();
    int64_t position = 0;
    std::vector<int> indexes;
    for (int d = 1; d <= result.DimCount(); ++d) indexes.push_back(result.LowBound(d));
    do {
        result.PutElement(indexes, sliceLength == 0 ? Variant::Null()
                                                    : ReadElement(buffer.data() + position));
        position += stride;
    } while (VarArrayNextIndex(result, indexes));
    return result;
}

namespace {

// "[1,2]" for the element at those indexes.
std::string IndexText(const std::vector<int>& Indexes) {
    std::string text = "[";
    for (size_t i = 0; i < Indexes.size(); ++i) text += (i ? "," : "") + std::to_string(Indexes[i]);
    return text + "]";
}

} // namespace

void TpFIBArray::WriteElement(char* Data, const Variant& Element, const std::vector<int>& Indexes) const {
    if (Element.IsEmpty()) return;   // the zero bytes stay
    const int decimals = GetScale();
    const int length = FDescriptor.array_desc_length;
    if (IsText()) {
        const std::string text = Element.IsNull() ? std::string() : VarToStr(Element);
        // The element's limit in characters: through a multi-byte connection the server sees
        // characters (and checks a multi-byte column's own limit itself), else bytes.
        const size_t size = FCharBytes > 1 ? Utf8ToWide(text).size() : text.size();
        const auto slice = static_cast<size_t>(FSliceDescriptor.array_desc_length);
        if (size > static_cast<size_t>(length) || text.size() > slice)
            RaiseClientErrorMsg(SFIBArrayElementTooLong, {IndexText(Indexes), QualifiedName(), length});
        std::memcpy(Data, text.data(), text.size());
        // A CHAR element is padded with blanks as the server pads it; a varying one ends with
        // its zero byte (never with a line feed, which the server would keep as data).
        if (FDescriptor.array_desc_dtype == blr_text) std::memset(Data + text.size(), ' ', slice - text.size());
        return;
    }
    if (Element.IsNull()) return;   // zero numbers; 1858-11-17 00:00 for dates and times
    switch (FFieldType) {
    case ftSmallint:
        Store(Data, static_cast<int16_t>(ScaledInteger(Element, decimals, std::numeric_limits<int16_t>::min(),
                                                        std::numeric_limits<int16_t>::max())));
        break;
    case ftInteger:
        Store(Data, static_cast<int32_t>(ScaledInteger(Element, decimals, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max())));
        break;
    case ftBCD:
        Store(Data, ScaledInteger(Element, decimals, std::numeric_limits<int64_t>::min(),
                                  std::numeric_limits<int64_t>::max()));
        break;
    case ftFloat:
        if (length == sizeof(float))
            Store(Data, static_cast<float>(NumberOf(Element, false)));
        else
            Store(Data, static_cast<double>(NumberOf(Element, false)));
        break;
    case ftDate:
    case ftTime:
    case ftDateTime: {
        const TTimeStamp stamp = DateTimeToTimeStamp(static_cast<TDateTime>(NumberOf(Element, true)));
        const ISC_DATE day = stamp.Date - IscDateDelta;
        const auto time = static_cast<ISC_TIME>(stamp.Time) * IscTimeUnitsPerMSec;
        if (FFieldType == ftDate)
            Store(Data, day);
        else if (FFieldType == ftTime)
            Store(Data, time);
        else
            Store(Data, ISC_TIMESTAMP{day, time});
        break;
    }
    default: break;   // text was written above
    }
}

void TpFIBArray::WriteArrayValues(isc_db_handle* DBHandle, isc_tr_handle* TRHandle, ISC_QUAD& ArrayID,
                                  const Variant& Value) const {
    if (!Value.IsArray()) RaiseClientError(cecInvalidDataConversion);
    if (Value.DimCount() > GetDimensions()) RaiseClientError(cecDimensionMissing, {Value.DimCount() - 1, QualifiedName()});
    const int64_t size = ArraySize();
    const int64_t stride = ElementStride();
    const int64_t capacity = stride > 0 ? size / stride : 0;
    if (Value.ElementCount() > capacity)
        RaiseClientErrorMsg(SFIBArrayTooManyElements, {Value.ElementCount(), QualifiedName(), capacity});
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (Value.ElementCount() > 0) {
        std::vector<int> indexes;
        for (int d = 1; d <= Value.DimCount(); ++d) indexes.push_back(Value.LowBound(d));
        int64_t number = 0;
        do {
            WriteElement(buffer.data() + number * stride, Value.GetElement(indexes), indexes);
            ++number;
        } while (VarArrayNextIndex(Value, indexes));
    }
    ISC_QUAD id{};
    auto sliceLength = static_cast<ISC_LONG>(size);
    if (FClientLibrary->isc_array_put_slice(ThreadStatusVector(), DBHandle, TRHandle, &id, &FSliceDescriptor, buffer.data(),
                                            &sliceLength) != 0)
        RaiseStatusVectorError(*FClientLibrary, nullptr);
    ArrayID = id;
}

ISC_QUAD TpFIBArray::FieldArrayID(TField* Field) const {
    if (Field->DataSize() != static_cast<int>(sizeof(ISC_QUAD))) RaiseClientError(cecNotArray, {Field->FieldName()});
    ISC_QUAD id{};
    if (!Field->GetData(&id)) id = ISC_QUAD{};
    return id;
}

Variant TpFIBArray::GetFieldArrayValues(TField* Field, isc_db_handle* DBHandle, isc_tr_handle* TRHandle) const {
    return ReadArrayValues(DBHandle, TRHandle, FieldArrayID(Field));
}

void TpFIBArray::SetFieldArrayValues(TField* Field, const Variant& Value, isc_db_handle* DBHandle,
                                     isc_tr_handle* TRHandle) const {
    ISC_QUAD id = FieldArrayID(Field);
    WriteArrayValues(DBHandle, TRHandle, id, Value);
    Field->SetData(&id);
}

} // namespace qnl
