// Implements TpFIBArray; see pFIBArray.h.
#include "client/pFIBArray.h"

#include "client/StdFuncs.h"
#include "client/StrUtil.h"
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
constexpr const char* SFIBArrayShapeDiffers = "Array value of shape %s does not fit \"%s\" (%s)";
constexpr const char* SFIBArrayBoundsBeyond16Bits =
    "Array \"%s\" has bounds %s: the array slice calls carry bounds from -32768 to 32767 only";
constexpr const char* SFIBArrayTooLarge = "Array \"%s\" holds more than the 2147483647 bytes one slice call moves";

// Bytes one slice call moves at most: its length is a signed 32-bit number.
constexpr int64_t MaxSliceBytes = std::numeric_limits<ISC_LONG>::max();

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

// Frees a statement of the catalogue lookup however the lookup ends.
class TStatementGuard {
public:
    TStatementGuard(IIBClientLibrary& Library, isc_stmt_handle& Handle) : FLibrary(Library), FHandle(Handle) {}
    ~TStatementGuard() {
        if (FHandle) {
            ISC_STATUS_ARRAY status{};
            FLibrary.isc_dsql_free_statement(status, &FHandle, static_cast<unsigned short>(DSQL_drop));
        }
    }
    TStatementGuard(const TStatementGuard&) = delete;
    TStatementGuard& operator=(const TStatementGuard&) = delete;

private:
    IIBClientLibrary& FLibrary;
    isc_stmt_handle& FHandle;
};

// The column's bounds as the catalogue holds them (32 bits each; the descriptor's are cut to
// 16) and its length in characters (0 for a column that is no text).
void LookupCatalogue(IIBClientLibrary& Library, isc_db_handle* DBHandle, isc_tr_handle* TRHandle,
                     const std::string& Relation, const std::string& Field, std::vector<ISC_LONG>& Bounds,
                     int& CharLength) {
    const std::string sql =
        "SELECT D.RDB$LOWER_BOUND, D.RDB$UPPER_BOUND, CAST(COALESCE(F.RDB$CHARACTER_LENGTH, 0) AS INTEGER) "
        "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "JOIN RDB$FIELD_DIMENSIONS D ON D.RDB$FIELD_NAME = F.RDB$FIELD_NAME "
        "WHERE RF.RDB$RELATION_NAME = " + SQLQuoted(Relation) + " AND RF.RDB$FIELD_NAME = " + SQLQuoted(Field) +
        " ORDER BY D.RDB$DIMENSION";
    isc_stmt_handle handle = 0;
    const TStatementGuard guard(Library, handle);
    if (Library.isc_dsql_alloc_statement2(ThreadStatusVector(), DBHandle, &handle) != 0 ||
        Library.isc_dsql_prepare(ThreadStatusVector(), TRHandle, &handle, static_cast<unsigned short>(sql.size()),
                                 sql.c_str(), SQL_DIALECT_V6, nullptr) != 0 ||
        Library.isc_dsql_execute(ThreadStatusVector(), TRHandle, &handle, SQL_DIALECT_V6, nullptr) != 0)
        RaiseStatusVectorError(Library, nullptr);
    alignas(XSQLDA) char area[XSQLDA_LENGTH(3)] = {};
    auto* da = reinterpret_cast<XSQLDA*>(area);
    da->version = SQLDA_VERSION1;
    da->sqln = da->sqld = 3;
    ISC_LONG values[3] = {};
    short nulls[3] = {};
    for (int i = 0; i < 3; ++i) {
        da->sqlvar[i].sqltype = SQL_LONG + 1;
        da->sqlvar[i].sqllen = sizeof(ISC_LONG);
        da->sqlvar[i].sqldata = reinterpret_cast<ISC_SCHAR*>(&values[i]);
        da->sqlvar[i].sqlind = &nulls[i];
    }
    ISC_STATUS fetched = 0;
    while ((fetched = Library.isc_dsql_fetch(ThreadStatusVector(), &handle, SQL_DIALECT_V6, da)) == 0) {
        Bounds.push_back(values[0]);
        Bounds.push_back(values[1]);
        CharLength = values[2];
    }
    if (fetched != 100) RaiseStatusVectorError(Library, nullptr);
}

// "2x3" for a shape of 2 by 3 elements.
std::string ShapeText(const std::vector<int64_t>& Counts) {
    std::string text;
    for (size_t i = 0; i < Counts.size(); ++i) text += (i ? "x" : "") + std::to_string(Counts[i]);
    return text;
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
    LookupCatalogue(*FClientLibrary, DBHandle, TRHandle, RelationName, FieldName, FBounds, FCharLength);
    if (FBounds.size() != static_cast<size_t>(2 * GetDimensions())) {
        // Not the catalogue's column (a lookup that succeeded names one): keep the descriptor's.
        FBounds.clear();
        for (int d = 0; d < GetDimensions(); ++d) {
            FBounds.push_back(FDescriptor.array_desc_bounds[d].array_bound_lower);
            FBounds.push_back(FDescriptor.array_desc_bounds[d].array_bound_upper);
        }
    }
    if (FCharLength <= 0) FCharLength = FDescriptor.array_desc_length;
    FSliceDescriptor = FDescriptor;
    // A text element travels in the connection's character set: room for its characters there,
    // and never less than the column's own bytes (which a single-byte connection passes as they are).
    if (IsText())
        FSliceDescriptor.array_desc_length = static_cast<unsigned short>(
            std::min(std::max<int>(FDescriptor.array_desc_length, FCharLength * FCharBytes), 32765));
}

void TpFIBArray::CheckBounds() const {
    const bool fit = std::all_of(FBounds.begin(), FBounds.end(), [](ISC_LONG Bound) {
        return Bound >= std::numeric_limits<short>::min() && Bound <= std::numeric_limits<short>::max();
    });
    if (fit) return;
    std::string bounds;
    for (size_t d = 0; d + 1 < FBounds.size(); d += 2)
        bounds += (d ? "," : "") + std::to_string(FBounds[d]) + ":" + std::to_string(FBounds[d + 1]);
    RaiseClientErrorMsg(SFIBArrayBoundsBeyond16Bits, {QualifiedName(), "[" + bounds + "]"});
}

std::vector<int64_t> TpFIBArray::Shape() const {
    std::vector<int64_t> counts;
    for (size_t d = 0; d + 1 < FBounds.size(); d += 2) counts.push_back(int64_t{FBounds[d + 1]} - FBounds[d] + 1);
    return counts;
}

int64_t TpFIBArray::ArraySize() const {
    CheckBounds();
    // At most 16 dimensions of at most 65536 elements: the product is bounded step by step, so
    // that it never wraps.
    int64_t size = ElementStride();
    for (const int64_t count : Shape()) {
        if (count <= 0) return 0;
        if (size > MaxSliceBytes / count) RaiseClientErrorMsg(SFIBArrayTooLarge, {QualifiedName()});
        size *= count;
    }
    return size;
}

void TpFIBArray::GetDimension(int Index, int& Lower, int& Upper) const {
    if (Index < 0 || Index >= GetDimensions()) RaiseClientError(cecDimensionMissing, {Index, QualifiedName()});
    Lower = FBounds[static_cast<size_t>(2 * Index)];
    Upper = FBounds[static_cast<size_t>(2 * Index + 1)];
}

int64_t TpFIBArray::ElementStride() const {
    return FSliceDescriptor.array_desc_length + (FDescriptor.array_desc_dtype == blr_varying ? 2 : 0);
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
    if (GetDimensions() == 0) RaiseClientError(cecDimensionMissing, {0, QualifiedName()});
    const bool written = ArrayID.gds_quad_high != 0 || ArrayID.gds_quad_low != 0;
    int64_t size = 0;
    try {
        size = ArraySize();
    } catch (const EFIBClientError&) {
        // A NULL array of a column whose arrays cannot be moved is simply Null: nothing to
        // allocate, nothing to refuse.
        if (!written) return Variant::Null();
        throw;
    }
    std::vector<TVarArrayBound> bounds;
    const std::vector<int64_t> shape = Shape();
    for (size_t d = 0; d < shape.size(); ++d)
        bounds.push_back({static_cast<int>(FBounds[2 * d]), static_cast<int>(shape[d])});
    Variant result = Variant::CreateArray(bounds, varVariant);
    std::vector<char> buffer;   // a NULL array reads as Nulls without one
    ISC_LONG sliceLength = 0;
    if (written) {
        buffer.assign(static_cast<size_t>(size) + 1, '\0');
        sliceLength = static_cast<ISC_LONG>(size);
        ISC_QUAD id = ArrayID;
        if (FClientLibrary->isc_array_get_slice(ThreadStatusVector(), DBHandle, TRHandle, &id, &FSliceDescriptor,
                                                buffer.data(), &sliceLength) != 0)
            RaiseStatusVectorError(*FClientLibrary, nullptr);
    }
    const auto stride = static_cast<size_t>(ElementStride());
    size_t position = 0;
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
        // The element's limit in characters: a multi-byte connection or column counts
        // characters, else bytes.
        const size_t size = FCharBytes > 1 || FCharLength < length ? Utf8ToWide(text).size() : text.size();
        const auto slice = static_cast<size_t>(FSliceDescriptor.array_desc_length);
        if (size > static_cast<size_t>(FCharLength) || text.size() > slice)
            RaiseClientErrorMsg(SFIBArrayElementTooLong, {IndexText(Indexes), QualifiedName(), FCharLength});
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
    // Elements go to the slice in order, so the value must have the column's shape, or else they
    // land in other cells; only the first dimension may hold fewer (the cells after stay empty).
    const std::vector<int64_t> shape = Shape();
    std::vector<int64_t> valueShape;
    for (int d = 1; d <= Value.DimCount(); ++d) valueShape.push_back(Value.HighBound(d) - Value.LowBound(d) + 1);
    bool fits = valueShape.size() == shape.size();
    for (size_t d = 0; fits && d < shape.size(); ++d)
        fits = d == 0 ? valueShape[d] <= shape[d] : valueShape[d] == shape[d];
    if (!fits) RaiseClientErrorMsg(SFIBArrayShapeDiffers, {ShapeText(valueShape), QualifiedName(), ShapeText(shape)});
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
