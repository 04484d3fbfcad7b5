// Implements TFIBXSQLVAR and the whole-blob helpers; see FIBQuery.h.
#include "client/FIBQuery.h"

#include "client/FIBMiscellaneous.h"
#include "client/SqlTxtRtns.h"
#include "client/fib.h"
#include "platform/DateTime.h"
#include "platform/IntText.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qnl {

namespace {

constexpr size_t MaxSegment = 65535;
// Longer texts go to the server as blobs.
constexpr size_t MaxTextLength = 32767;
// The character sets of UTF-8 encoded parameter text. Firebird 3 silently turns a four-byte
// character sent as UNICODE_FSS into another one (U+1F600 arrives as U+F600): its own UTF8 set
// keeps every character.
constexpr int UnicodeFssCharSet = 3;
constexpr int Utf8CharSet = 4;

static_assert(sizeof(TGUID) == 16, "a GUID is stored as its 16 bytes");

[[noreturn]] void ConversionError() { RaiseClientError(cecInvalidDataConversion); }

bool IsIntegerType(int Type) { return Type == SQL_SHORT || Type == SQL_LONG || Type == SQL_INT64; }
bool IsFloatType(int Type) { return Type == SQL_DOUBLE || Type == SQL_FLOAT || Type == SQL_D_FLOAT; }
bool IsNumericType(int Type) { return IsIntegerType(Type) || IsFloatType(Type); }
bool IsDateType(int Type) { return Type == SQL_TIMESTAMP || Type == SQL_TYPE_DATE || Type == SQL_TYPE_TIME; }
bool IsBooleanType(int Type) { return Type == SQL_BOOLEAN || Type == SQL_IB_BOOLEAN; }
bool IsTextType(int Type) { return Type == SQL_TEXT || Type == SQL_VARYING; }

template <class T>
T Load(const char* Data) {
    T value;
    std::memcpy(&value, Data, sizeof value);
    return value;
}

// The bytes a fixed-size type needs, so that a short described length never lets a reader run
// past its buffer; 0 for the others.
size_t TypeWidth(int Type) {
    switch (Type) {
    case SQL_BOOLEAN: return 1;
    case SQL_SHORT: case SQL_IB_BOOLEAN: return 2;
    case SQL_LONG: case SQL_FLOAT: case SQL_TYPE_DATE: case SQL_TYPE_TIME: return 4;
    case SQL_DOUBLE: case SQL_D_FLOAT: case SQL_TIMESTAMP: case SQL_INT64: case SQL_BLOB: case SQL_ARRAY:
    case SQL_QUAD: return 8;
    default: return 0;
    }
}

// Raw * 10^Scale truncated towards zero, in integers (a double would read 1000000 at scale -6
// as 0.999...).
int64_t DescaleTrunc(int64_t Raw, int Scale) {
    if (Scale == 0) return Raw;
    if (Scale < 0) return -Scale > E10MaxExponent ? 0 : Raw / IntE10(-Scale);
    int64_t result = 0;
    if (Scale > E10MaxExponent || __builtin_mul_overflow(Raw, IntE10(Scale), &result)) ConversionError();
    return result;
}

int32_t To32(int64_t Value) {
    if (Value < std::numeric_limits<int32_t>::min() || Value > std::numeric_limits<int32_t>::max()) ConversionError();
    return static_cast<int32_t>(Value);
}

// Text holding a number, with the blanks a fixed-length column pads it with.
std::string_view TrimmedNumber(std::string_view Text) {
    while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
    while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
    return Text;
}

// The first Count characters of UTF-8 text (a fixed UTF-8 text arrives padded to four bytes a
// character).
std::string FirstCharacters(const std::string& Text, size_t Count) {
    size_t chars = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        if ((static_cast<unsigned char>(Text[i]) & 0xC0) == 0x80) continue;   // continuation byte
        if (chars++ == Count) return Text.substr(0, i);
    }
    return Text;
}

void TrimTrailingBlanks(std::string& Text) {
    while (!Text.empty() && Text.back() == ' ') Text.pop_back();
}

bool IsIntegerVariant(TVarType Kind) {
    switch (Kind) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
    case varInt64: return true;
    default: return false;
    }
}

void CheckBlobHandles(TFIBDatabase& Database, TFIBTransaction& Transaction) {
    if (!Database.Connected() || !Database.ClientLibrary())
        RaiseClientError(cecDatabaseClosed, {ComponentFullName(&Database)});
    if (!Transaction.Active()) RaiseClientError(cecNotInTransaction, {ComponentFullName(&Transaction)});
}

void CheckBlobStatus(IXSQLDAOwner* Owner, IIBClientLibrary& Library, ISC_STATUS Status) {
    if (Owner)
        Owner->CheckStatus(Status, true);
    else if (Status != 0)
        RaiseStatusVectorError(Library, nullptr);
}

} // namespace

// --- Whole blobs ------------------------------------------------------------------------------

std::string ReadBlobBody(TFIBDatabase& Database, TFIBTransaction& Transaction, const ISC_QUAD& BlobID,
                         IXSQLDAOwner* Owner) {
    CheckBlobHandles(Database, Transaction);
    IIBClientLibrary& lib = *Database.ClientLibrary();
    isc_blob_handle blob = 0;
    ISC_QUAD id = BlobID;
    CheckBlobStatus(Owner, lib,
                    lib.isc_open_blob2(ThreadStatusVector(), Database.HandleAddress(), Transaction.HandleAddress(),
                                       &blob, &id, static_cast<ISC_USHORT>(0), nullptr));
    std::string body;
    try {
        // Read to the end of the blob, not to its stored length: a text blob transliterated to
        // the connection's character set may be longer or shorter than stored.
        std::vector<char> segment(MaxSegment);
        for (;;) {
            unsigned short length = 0;
            const ISC_STATUS status = lib.isc_get_segment(ThreadStatusVector(), &blob, &length,
                                                          static_cast<unsigned short>(MaxSegment), segment.data());
            if (status == isc_segstr_eof) break;
            if (status != 0 && status != isc_segment) CheckBlobStatus(Owner, lib, status);
            body.append(segment.data(), length);
        }
    } catch (...) {
        lib.isc_close_blob(ThreadStatusVector(), &blob);
        throw;
    }
    CheckBlobStatus(Owner, lib, lib.isc_close_blob(ThreadStatusVector(), &blob));
    return body;
}

ISC_QUAD WriteNewBlob(TFIBDatabase& Database, TFIBTransaction& Transaction, std::string_view Body) {
    CheckBlobHandles(Database, Transaction);
    TFIBBlobStream blob;
    blob.SetDatabase(&Database);
    blob.SetTransaction(&Transaction);
    blob.SetMode(bmWrite);
    blob.WriteBuffer(Body.data(), static_cast<int64_t>(Body.size()));
    // Forced: an empty body is a blob of its own too.
    blob.WriteToServer(false, true);
    return blob.BlobID();
}

// --- TFIBXSQLVAR: life and buffers ------------------------------------------------------------

TFIBXSQLVAR::TFIBXSQLVAR(TFIBXSQLDA* Area) : FArea(Area) {}

TFIBXSQLVAR::~TFIBXSQLVAR() { FreeBuffers(); }

void TFIBXSQLVAR::FreeBuffers() {
    std::free(FData);
    std::free(FIndicator);
    FData = nullptr;
    FIndicator = nullptr;
    FDataSize = 0;
    if (FXSQLVAR) {
        FXSQLVAR->sqldata = nullptr;
        FXSQLVAR->sqlind = nullptr;
    }
}

void TFIBXSQLVAR::SetRecord(XSQLVAR* Record) {
    FXSQLVAR = Record;
    FXSQLVAR->sqldata = FData;
    FXSQLVAR->sqlind = FIndicator;
}

void TFIBXSQLVAR::SetIdentity(const std::string& Name, int Index, bool KeepCase) {
    FName = Name;
    FIndex = Index;
    NameKeptCase = KeepCase;
}

void TFIBXSQLVAR::ResizeData(size_t Size) {
    Size = std::max<size_t>(Size, 1);
    if (Size != FDataSize) {
        void* data = FData;
        ReallocZeroed(data, FDataSize, Size);
        FData = static_cast<char*>(data);
        FDataSize = Size;
    }
    FXSQLVAR->sqldata = FData;
}

void TFIBXSQLVAR::SetIndicator(bool Present) {
    if (Present && !FIndicator) {
        FIndicator = static_cast<short*>(std::malloc(sizeof(short)));
        if (!FIndicator) throw std::bad_alloc();
        *FIndicator = 0;
    } else if (!Present && FIndicator) {
        std::free(FIndicator);
        FIndicator = nullptr;
    }
    FXSQLVAR->sqlind = FIndicator;
}

void TFIBXSQLVAR::InitializeFromDescription(bool SeparateParamsArea) {
    const int type = GetSQLType();
    FDescType = type;
    FDescLength = FXSQLVAR->sqllen;
    FDescScale = FXSQLVAR->sqlscale;
    FDescSubtype = FXSQLVAR->sqlsubtype;
    FHasAttributes = true;
    const auto length = static_cast<size_t>(std::max<ISC_SHORT>(FXSQLVAR->sqllen, 0));
    switch (type) {
    case SQL_VARYING: ResizeData(length + 2); break;
    case SQL_TEXT: ResizeData(length); break;
    case SQL_NULL: break;
    case 0:
        if (!SeparateParamsArea) RaiseClientError(cecUnknownSQLDataType, {type});
        break;
    default:
        if (TypeWidth(type) == 0) RaiseClientError(cecUnknownSQLDataType, {type});
        ResizeData(std::max(length, TypeWidth(type)));
    }
    SetIndicator((FXSQLVAR->sqltype & 1) != 0);
}

// --- TFIBXSQLVAR: the central setter ----------------------------------------------------------

template <class F>
void TFIBXSQLVAR::SetValue(F Apply) {
    const bool wasNull = GetIsNull();
    std::vector<TFIBXSQLVAR*> targets = FArea ? FArea->SameNamed(*this) : std::vector<TFIBXSQLVAR*>{this};
    for (TFIBXSQLVAR* target : targets) {
        Apply(*target);
        target->FHasAttributes = true;
    }
    IXSQLDAOwner* query = Query();
    if (!query) return;
    if (NullDependent && !InSet(query->Options(), qoNoForceIsNull) && wasNull != GetIsNull())
        query->ParamNullStateChanged();
    if (IsMacro && !query->MacroChangesPending() && GetAsString() != VarToStr(PreparedValue)) query->MacroValueChanged();
}

// --- TFIBXSQLVAR: attributes ------------------------------------------------------------------

IXSQLDAOwner* TFIBXSQLVAR::Query() const { return FArea ? FArea->Query() : nullptr; }

TFIBDatabase* TFIBXSQLVAR::Database() const {
    IXSQLDAOwner* query = Query();
    return query ? query->Database() : nullptr;
}

bool TFIBXSQLVAR::IsParam() const { return FArea && FArea->IsInput(); }

bool TFIBXSQLVAR::GetIsNullable() {
    if ((FXSQLVAR->sqltype & 1) == 0) return false;
    if (!FIndicator) SetIndicator(true);
    return true;
}

void TFIBXSQLVAR::SetIsNullable(bool Value) {
    SetValue([Value](TFIBXSQLVAR& v) {
        if (Value)
            v.FXSQLVAR->sqltype = static_cast<ISC_SHORT>(v.FXSQLVAR->sqltype | 1);
        else
            v.FXSQLVAR->sqltype = static_cast<ISC_SHORT>(v.FXSQLVAR->sqltype & ~1);
        v.SetIndicator(Value);
    });
}

void TFIBXSQLVAR::SetScale(int16_t Value) {
    SetValue([Value](TFIBXSQLVAR& v) { v.FXSQLVAR->sqlscale = Value; });
}

void TFIBXSQLVAR::TakeServerAttributes() {
    // A parameter set by name before the prepare learns its type from the described input area.
    TFIBXSQLVAR* described = nullptr;
    if (IXSQLDAOwner* query = Query(); query && query->BindArea() && query->BindArea() != FArea)
        described = query->BindArea()->FindByName(FName);
    if (FDescType == 0 && described) FDescType = described->FDescType ? described->FDescType : described->GetSQLType();
    if (FDescSubtype == 0 && described)
        FDescSubtype = described->FDescSubtype ? described->FDescSubtype : described->GetSQLSubtype();
    if (FDescScale == 0 && described)
        FDescScale = static_cast<int16_t>(described->FDescScale ? described->FDescScale : described->GetScale());
}

namespace {

bool IsSeparateParamsArea(const TFIBXSQLDA* Area) {
    return Area && Area->Query() && Area->Query()->ParamsArea() == Area;
}

bool StatementUnprepared(const TFIBXSQLDA* Area) {
    return Area && Area->Query() && !Area->Query()->Prepared();
}

} // namespace

int TFIBXSQLVAR::GetServerSQLType() {
    if (StatementUnprepared(FArea)) return 0;
    if (IsSeparateParamsArea(FArea)) {
        TakeServerAttributes();
        return FDescType;
    }
    return FHasAttributes ? FDescType : GetSQLType();
}

int TFIBXSQLVAR::GetServerSQLSubtype() {
    if (StatementUnprepared(FArea)) return 0;
    if (IsSeparateParamsArea(FArea)) {
        TakeServerAttributes();
        return FDescSubtype;
    }
    return FHasAttributes ? GetSQLSubtype() : FDescSubtype;
}

int TFIBXSQLVAR::GetServerScale() {
    if (IsSeparateParamsArea(FArea)) {
        TakeServerAttributes();
        return FDescScale;
    }
    return FHasAttributes ? GetScale() : FDescScale;
}

namespace {

std::string RecordName(const char* Text, ISC_SHORT Length, size_t Size) {
    return std::string(Text, std::min(static_cast<size_t>(std::max<ISC_SHORT>(Length, 0)), Size));
}

} // namespace

std::string TFIBXSQLVAR::GetSqlName() const {
    if (IsParam()) return std::string();
    return RecordName(FXSQLVAR->sqlname, FXSQLVAR->sqlname_length, sizeof FXSQLVAR->sqlname);
}

std::string TFIBXSQLVAR::GetRelationName() const {
    if (IsParam()) return std::string();
    return RecordName(FXSQLVAR->relname, FXSQLVAR->relname_length, sizeof FXSQLVAR->relname);
}

std::string TFIBXSQLVAR::GetCharSetName() const {
    const int id = GetSQLSubtype() & 0xFF;
    if (!FArea || id >= CharSetNameCount) return "UNKNOWN";
    return CharSetNames[static_cast<size_t>(id)];
}

// --- TFIBXSQLVAR: reading ---------------------------------------------------------------------

bool TFIBXSQLVAR::GetIsNull() const {
    if (FBlobStream || IsMacro) return false;
    if (!IsParam() && Query() && !Query()->HasOutputRow()) return true;
    if ((FXSQLVAR->sqltype & 1) != 0 && FXSQLVAR->sqlind && *FXSQLVAR->sqlind == -1) return true;
    return GetSQLType() == 0;
}

int64_t TFIBXSQLVAR::RawInteger() const {
    const char* data = FXSQLVAR->sqldata;
    switch (GetSQLType()) {
    case SQL_SHORT: case SQL_IB_BOOLEAN: return Load<int16_t>(data);
    case SQL_LONG: return Load<int32_t>(data);
    case SQL_INT64: return Load<int64_t>(data);
    case SQL_BOOLEAN: return Load<uint8_t>(data);
    default: ConversionError();
    }
}

std::string TFIBXSQLVAR::RawText() const {
    const char* data = FXSQLVAR->sqldata;
    if (!data) return std::string();
    if (GetSQLType() == SQL_VARYING) {
        size_t length = Load<uint16_t>(data);
        length = std::min(length, FDataSize >= 2 ? FDataSize - 2 : 0);
        return std::string(data + 2, length);
    }
    return std::string(data, std::min(static_cast<size_t>(std::max<ISC_SHORT>(FXSQLVAR->sqllen, 0)), FDataSize));
}

std::string TFIBXSQLVAR::TextValue() const {
    std::string text = RawText();
    TFIBDatabase* db = Database();
    // A column arrives padded to its declared characters; a parameter holds the value's bytes.
    if (GetSQLType() == SQL_TEXT && db && !IsParam()) {
        const int bytesPerChar = db->BytesPerCharacter(GetSQLSubtype() & 0xFF);
        if (bytesPerChar > 1) text = FirstCharacters(text, static_cast<size_t>(GetSize() / bytesPerChar));
    }
    if (IXSQLDAOwner* query = Query(); query && InSet(query->Options(), qoTrimCharFields)) TrimTrailingBlanks(text);
    return text;
}

bool TFIBXSQLVAR::IsUnicodeText() const {
    TFIBDatabase* db = Database();
    if (!db) return false;
    const std::vector<int> sets = db->GetUnicodeCharSets();
    return std::find(sets.begin(), sets.end(), GetSQLSubtype() & 0xFF) != sets.end();
}

int64_t TFIBXSQLVAR::GetAsInt64() const {
    if (GetIsNull()) return 0;
    const int type = GetSQLType();
    if (IsIntegerType(type)) return DescaleTrunc(RawInteger(), GetScale());
    if (IsFloatType(type)) {
        int64_t value = 0;
        if (!TryTruncToInt64(GetAsDouble(), value)) ConversionError();
        return value;
    }
    if (IsTextType(type)) {
        int64_t value = 0;
        if (!TryStrToInt64(TrimmedNumber(TextValue()), value)) ConversionError();
        return value;
    }
    if (type == SQL_NULL) return 0;
    ConversionError();
}

int32_t TFIBXSQLVAR::GetAsInteger() const {
    if (GetIsNull()) return 0;
    const int type = GetSQLType();
    if (IsBooleanType(type)) return static_cast<int32_t>(RawInteger());
    if (IsIntegerType(type) || IsFloatType(type) || IsTextType(type)) return To32(GetAsInt64());
    if (type == SQL_NULL) return 0;
    ConversionError();
}

int16_t TFIBXSQLVAR::GetAsShort() const {
    const int32_t value = GetAsInteger();
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) ConversionError();
    return static_cast<int16_t>(value);
}

long double TFIBXSQLVAR::GetAsExtended() const {
    if (GetIsNull()) return 0;
    const char* data = FXSQLVAR->sqldata;
    switch (GetSQLType()) {
    case SQL_DOUBLE: case SQL_D_FLOAT: return Load<double>(data);
    case SQL_FLOAT: return Load<float>(data);
    case SQL_SHORT: case SQL_LONG: case SQL_INT64: {
        const int scale = GetScale();
        const long double raw = static_cast<long double>(RawInteger());
        // Powers of ten are exact in long double up to 10^27, so dividing keeps the value
        // exact where a multiplication by 10^-n would not.
        return scale >= 0 ? raw * std::pow(10.0L, scale) : raw / std::pow(10.0L, -scale);
    }
    case SQL_TEXT: case SQL_VARYING: {
        double value = 0;
        if (!TryStrToFloat(TrimmedNumber(TextValue()), value)) ConversionError();
        return value;
    }
    case SQL_NULL: return 0;
    default: ConversionError();
    }
}

double TFIBXSQLVAR::GetAsDouble() const {
    if (GetIsNull()) return 0;
    const int type = GetSQLType();
    if (IsBooleanType(type)) return RawInteger() == 1 ? 1 : 0;
    if (IsIntegerType(type) && GetScale() < 0) {
        const int64_t raw = RawInteger();
        // Both operands exact: the quotient is the double nearest to the decimal value.
        if (raw >= -(int64_t{1} << 53) && raw <= (int64_t{1} << 53) && GetScale() >= -22)
            return static_cast<double>(raw) / std::pow(10.0, -GetScale());
        // Beyond 2^53 the decimal text is read, which rounds once, correctly.
        std::string text;
        ScaledInt64ToStr(-GetScale(), '.', text, raw);
        double value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }
    return static_cast<double>(GetAsExtended());
}

namespace {

// Raw * 10^(Scale + 4) rounded to the nearest integer, ties to even, in integers.
int64_t ScaledToCurrency(int64_t Raw, int Scale) {
    const int shift = Scale + 4;
    int64_t result = 0;
    if (shift >= 0) {
        if (shift > E10MaxExponent || __builtin_mul_overflow(Raw, IntE10(shift), &result)) ConversionError();
        return result;
    }
    if (-shift > E10MaxExponent) return 0;
    const int64_t divisor = IntE10(-shift);
    result = Raw / divisor;
    const int64_t rest = Raw % divisor;
    const uint64_t twice = 2 * static_cast<uint64_t>(rest < 0 ? -rest : rest);
    if (twice > static_cast<uint64_t>(divisor) || (twice == static_cast<uint64_t>(divisor) && result % 2 != 0))
        result += Raw < 0 ? -1 : 1;
    return result;
}

} // namespace

Currency TFIBXSQLVAR::GetAsCurrency() const {
    if (GetIsNull()) return Currency{};
    if (IsIntegerType(GetSQLType())) return Currency::FromScaled(ScaledToCurrency(RawInteger(), GetScale()));
    int64_t scaled = 0;
    if (!TryRoundToInt64(static_cast<long double>(GetAsDouble()) * Currency::Scale, scaled)) ConversionError();
    return Currency::FromScaled(scaled);
}

TBcd TFIBXSQLVAR::GetAsBCD() const {
    TBcd result;
    TFIBDatabase* db = Database();
    if (GetSQLType() == SQL_INT64 && (!db || db->SQLDialect() >= 3)) {
        if (!Int64ToBCD(-GetScale(), result, GetIsNull() ? 0 : RawInteger())) ConversionError();
        return result;
    }
    if (!CurrToBCD(GetAsCurrency(), result, 32, 4)) ConversionError();
    return result;
}

TTimeStamp TFIBXSQLVAR::GetAsTimeStamp() const {
    if (GetIsNull()) return TTimeStamp{};
    const char* data = FXSQLVAR->sqldata;
    switch (GetSQLType()) {
    case SQL_TIMESTAMP: {
        const auto stamp = Load<ISC_TIMESTAMP>(data);
        return TTimeStamp{static_cast<int32_t>(stamp.timestamp_time / IscTimeUnitsPerMSec),
                          stamp.timestamp_date + IscDateDelta};
    }
    case SQL_TYPE_DATE: return TTimeStamp{0, Load<ISC_DATE>(data) + IscDateDelta};
    case SQL_TYPE_TIME: return TTimeStamp{static_cast<int32_t>(Load<ISC_TIME>(data) / IscTimeUnitsPerMSec), 0};
    case SQL_TEXT: case SQL_VARYING: return DateTimeToTimeStamp(GetAsDateTime());
    default: ConversionError();
    }
}

TDateTime TFIBXSQLVAR::GetAsDateTime() const {
    if (GetIsNull()) return 0;
    const char* data = FXSQLVAR->sqldata;
    switch (GetSQLType()) {
    case SQL_TIMESTAMP: return SafeTimeStampToDateTime(GetAsTimeStamp());
    case SQL_TYPE_DATE: return static_cast<TDateTime>(Load<ISC_DATE>(data) + IscDateDelta - DateDelta);
    case SQL_TYPE_TIME: return Load<ISC_TIME>(data) / (static_cast<double>(MSecsPerDay) * IscTimeUnitsPerMSec);
    case SQL_TEXT: case SQL_VARYING:
        try {
            return StrToDateTime(TrimmedNumber(TextValue()));
        } catch (const EConvertError&) {
            ConversionError();
        }
    default: ConversionError();
    }
}

ISC_QUAD TFIBXSQLVAR::GetAsQuad() const {
    if (GetIsNull()) return ISC_QUAD{};
    const int type = GetSQLType();
    if (type != SQL_BLOB && type != SQL_ARRAY && type != SQL_QUAD) ConversionError();
    return Load<ISC_QUAD>(FXSQLVAR->sqldata);
}

bool TFIBXSQLVAR::GetAsBoolean() const {
    if (GetIsNull()) return false;
    const int type = GetSQLType();
    if (IsIntegerType(type) || IsBooleanType(type)) return RawInteger() == 1;
    ConversionError();
}

void TFIBXSQLVAR::GetAsGUID(TGUID& GUID) const {
    if (GetIsNull()) {
        GUID = TGUID{};
        return;
    }
    if (!IsTextType(GetSQLType())) return;
    const std::string bytes = RawText();
    if (bytes.size() < sizeof GUID) ConversionError();
    std::memcpy(&GUID, bytes.data(), sizeof GUID);
}

std::string TFIBXSQLVAR::BlobText() const {
    if (IsParam()) return FBlobStream ? FBlobStream->Bytes() : std::string("(BLOB)");
    IXSQLDAOwner* query = Query();
    TFIBDatabase* db = query ? query->Database() : nullptr;
    TFIBTransaction* tr = query ? query->Transaction() : nullptr;
    if (!db) RaiseClientError(cecDatabaseNotAssigned, {FName});
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {FName});
    if (InSet(query->Options(), qoStartTransaction) && !tr->Active()) tr->StartTransaction();
    return ReadBlobBody(*db, *tr, GetAsQuad(), query);
}

std::string TFIBXSQLVAR::SingleByteText() const {
    const int type = GetSQLType();
    switch (type) {
    case SQL_SHORT: case SQL_LONG:
        return GetScale() == 0 ? std::to_string(RawInteger()) : FloatToStr(GetAsDouble());
    case SQL_INT64: {
        if (GetScale() == 0) return std::to_string(RawInteger());
        std::string text;
        ScaledInt64ToStr(-GetScale(), FormatSettings.DecimalSeparator, text, RawInteger());
        return text;
    }
    case SQL_DOUBLE: case SQL_FLOAT: case SQL_D_FLOAT: return FloatToStr(GetAsDouble());
    case SQL_TIMESTAMP: return DateTimeToStr(GetAsDateTime());
    case SQL_TYPE_DATE: return DateToStr(GetAsDateTime());
    case SQL_TYPE_TIME: return TimeToStr(GetAsDateTime());
    case SQL_BOOLEAN: case SQL_IB_BOOLEAN: return GetAsBoolean() ? SFIBTrue : SFIBFalse;
    case SQL_BLOB: return BlobText();
    case SQL_ARRAY: return "(ARRAY)";
    case 0:   // a macro that was given no text
    case SQL_NULL: return std::string();
    case SQL_TEXT: case SQL_VARYING: return TextValue();
    default: ConversionError();
    }
}

std::string TFIBXSQLVAR::GetAsString() const {
    if (GetIsNull()) return std::string();
    if (!FWideText.empty()) return WideToUtf8(FWideText);
    return SingleByteText();
}

std::u16string TFIBXSQLVAR::GetAsWideString() const {
    if (GetIsNull()) return std::u16string();
    if (!FWideText.empty()) return FWideText;
    return Utf8ToWide(SingleByteText());
}

Variant TFIBXSQLVAR::GetAsVariant() const {
    if (IsMacro) return Variant(GetAsWideString());
    if (GetIsNull()) return Variant::Null();
    switch (GetSQLType()) {
    case SQL_SHORT: case SQL_LONG:
        if (GetScale() == 0) return Variant(static_cast<int32_t>(RawInteger()));
        return Variant(GetAsDouble());
    case SQL_INT64:
        if (GetScale() == 0) return Variant(RawInteger());
        return Variant(GetAsDouble());
    case SQL_DOUBLE: case SQL_FLOAT: case SQL_D_FLOAT: return Variant(GetAsDouble());
    case SQL_TIMESTAMP: case SQL_TYPE_DATE: case SQL_TYPE_TIME: return Variant::FromDate(GetAsDateTime());
    case SQL_BOOLEAN: case SQL_IB_BOOLEAN: return Variant(GetAsBoolean());
    case SQL_BLOB: return Variant(GetAsString());
    case SQL_ARRAY: return Variant("(Array)");
    case SQL_TEXT: case SQL_VARYING:
        if (IsUnicodeText()) return Variant(GetAsWideString());
        return Variant(GetAsString());
    case SQL_NULL: return Variant::Null();
    default: ConversionError();
    }
}

void TFIBXSQLVAR::ApplyNull(bool Null) {
    if (Null) {
        FWideText.clear();
        FBlobStream.reset();
        if (GetSQLType() == 0) {
            FXSQLVAR->sqltype = static_cast<ISC_SHORT>(SQL_TEXT | (FXSQLVAR->sqltype & 1));
            FXSQLVAR->sqllen = 0;
            ResizeData(1);
        }
        // A parameter described as not nullable (id = ?) can only send a null with the bit set.
        // An output column keeps the nullability the server described: clearing it before an
        // execute must not make a NOT NULL column look nullable.
        if (IsParam() || !FArea) {
            FXSQLVAR->sqltype = static_cast<ISC_SHORT>(FXSQLVAR->sqltype | 1);
            SetIndicator(true);
        }
        if (FIndicator) *FIndicator = -1;
    } else if ((FXSQLVAR->sqltype & 1) != 0 && FIndicator) {
        *FIndicator = 0;
    }
    Modified = true;
}

void TFIBXSQLVAR::ApplyData(int Type, size_t Length, const void* Data, const std::u16string* Wide) {
    if (FIndicator) *FIndicator = 0;
    FXSQLVAR->sqlscale = 0;
    FXSQLVAR->sqllen = static_cast<ISC_SHORT>(Length);
    ResizeData(Length);
    FXSQLVAR->sqltype = static_cast<ISC_SHORT>(Type | (FXSQLVAR->sqltype & 1));
    if (Length > 0) std::memcpy(FData, Data, Length);
    Modified = true;
    if (Wide)
        FWideText = *Wide;
    else
        FWideText.clear();
}

void TFIBXSQLVAR::ApplyRecord(const TFIBXSQLVAR& Source) {
    const XSQLVAR& from = *Source.FXSQLVAR;
    FXSQLVAR->sqltype = from.sqltype;
    FXSQLVAR->sqlscale = from.sqlscale;
    FXSQLVAR->sqlsubtype = from.sqlsubtype;
    FXSQLVAR->sqllen = from.sqllen;
    SetIndicator(from.sqlind != nullptr);
    if (FIndicator) *FIndicator = *from.sqlind;
    size_t length = static_cast<size_t>(std::max<ISC_SHORT>(from.sqllen, 0)) + ((from.sqltype & ~1) == SQL_VARYING ? 2 : 0);
    length = std::min(length, Source.FDataSize);
    ResizeData(length);
    if (length > 0 && from.sqldata) std::memcpy(FData, from.sqldata, length);
    FWideText.clear();
    Modified = true;
}

void TFIBXSQLVAR::SetData(int Type, size_t Length, const void* Data, const std::u16string* Wide) {
    SetValue([&](TFIBXSQLVAR& v) { v.ApplyData(Type, Length, Data, Wide); });
}

// --- TFIBXSQLVAR: writing ---------------------------------------------------------------------

void TFIBXSQLVAR::SetAsInteger(int32_t Value) { SetData(SQL_LONG, sizeof Value, &Value); }

void TFIBXSQLVAR::SetAsShort(int16_t Value) { SetData(SQL_SHORT, sizeof Value, &Value); }

void TFIBXSQLVAR::SetAsBoolean(bool Value) {
    // Firebird 3 refuses a SMALLINT for its BOOLEAN: such a parameter gets its own one byte.
    if (GetServerSQLType() == SQL_BOOLEAN) {
        const uint8_t byte = Value ? 1 : 0;
        SetData(SQL_BOOLEAN, sizeof byte, &byte);
        return;
    }
    SetAsShort(Value ? 1 : 0);
}

namespace {

bool DialectBelow3(TFIBDatabase* Database) { return Database && Database->SQLDialect() < 3; }

} // namespace

void TFIBXSQLVAR::SetAsInt64(int64_t Value) {
    // Dialects 1 and 2 have no 64-bit columns, but Firebird 3 takes a 64-bit value there: only
    // a value that fits goes as 32 bits, a larger one is never cut.
    if (DialectBelow3(Database()) && Value >= std::numeric_limits<int32_t>::min() &&
        Value <= std::numeric_limits<int32_t>::max()) {
        SetAsInteger(static_cast<int32_t>(Value));
        return;
    }
    SetData(SQL_INT64, sizeof Value, &Value);
}

void TFIBXSQLVAR::SetAsCurrency(Currency Value) {
    if (DialectBelow3(Database())) {
        SetAsDouble(static_cast<double>(Value.Scaled) / Currency::Scale);
        return;
    }
    // The data first: storing data resets the scale.
    SetValue([&](TFIBXSQLVAR& v) {
        v.ApplyData(SQL_INT64, sizeof Value.Scaled, &Value.Scaled, nullptr);
        v.FXSQLVAR->sqlscale = -4;
    });
}

void TFIBXSQLVAR::SetAsDouble(double Value) { SetData(SQL_DOUBLE, sizeof Value, &Value); }

void TFIBXSQLVAR::SetAsBCD(const TBcd& Value) {
    if (DialectBelow3(Database())) {
        long double number = 0;
        if (!BCDToExtended(Value, number)) ConversionError();
        SetAsDouble(static_cast<double>(number));
        return;
    }
    int64_t digits = 0;
    int decimals = 0;
    if (!BCDToInt64(Value, digits, decimals)) ConversionError();
    SetValue([&](TFIBXSQLVAR& v) {
        v.ApplyData(SQL_INT64, sizeof digits, &digits, nullptr);
        v.FXSQLVAR->sqlscale = static_cast<ISC_SHORT>(-decimals);
    });
}

void TFIBXSQLVAR::SetAsTimeStamp(const TTimeStamp& Value) {
    const ISC_TIMESTAMP stamp{Value.Date - IscDateDelta, static_cast<ISC_TIME>(Value.Time) * IscTimeUnitsPerMSec};
    SetData(SQL_TIMESTAMP, sizeof stamp, &stamp);
}

void TFIBXSQLVAR::SetAsISCTimeStamp(const ISC_TIMESTAMP& Value) { SetData(SQL_TIMESTAMP, sizeof Value, &Value); }

void TFIBXSQLVAR::SetAsISCTime(ISC_TIME Value) { SetData(SQL_TYPE_TIME, sizeof Value, &Value); }

void TFIBXSQLVAR::SetAsDateTime(TDateTime Value) { SetAsTimeStamp(DateTimeToTimeStamp(Value)); }

void TFIBXSQLVAR::SetAsTime(TDateTime Value) { SetAsTimeStamp(DateTimeToTimeStamp(Value)); }

void TFIBXSQLVAR::SetAsDate(TDateTime Value) { SetAsTimeStamp(DateTimeToTimeStamp(std::trunc(Value))); }

void TFIBXSQLVAR::SetAsQuad(const ISC_QUAD& Value) {
    SetData(GetSQLType() == SQL_ARRAY ? SQL_ARRAY : SQL_BLOB, sizeof Value, &Value);
}

void TFIBXSQLVAR::SetAsGUID(const TGUID& Value) { SetData(SQL_TEXT, sizeof Value, &Value); }

void TFIBXSQLVAR::SetRawText(std::string_view Bytes) {
    SetValue([&](TFIBXSQLVAR& v) {
        v.ApplyData(SQL_TEXT, Bytes.size(), Bytes.data(), nullptr);
        v.FIsRawText = true;
    });
}

void TFIBXSQLVAR::SetBlobContent(const std::string& Bytes, int Subtype, int Scale, bool Nullable) {
    SetValue([&](TFIBXSQLVAR& v) {
        if (!v.FBlobStream) v.FBlobStream = std::make_unique<TMemoryStream>();
        v.FBlobStream->Clear();
        v.FBlobStream->WriteString(Bytes);
        v.FWideText.clear();
        if (v.FIndicator) *v.FIndicator = 0;
        v.FXSQLVAR->sqltype = static_cast<ISC_SHORT>(SQL_BLOB | (Nullable ? v.FXSQLVAR->sqltype & 1 : 0));
        v.FXSQLVAR->sqlsubtype = static_cast<ISC_SHORT>(Subtype);
        v.FXSQLVAR->sqlscale = static_cast<ISC_SHORT>(Scale);
        v.FXSQLVAR->sqllen = sizeof(ISC_QUAD);
        v.ResizeData(sizeof(ISC_QUAD));
        std::memset(v.FData, 0, sizeof(ISC_QUAD));
        v.Modified = true;
    });
    if (IXSQLDAOwner* query = Query()) query->BlobParamsPending();
}

void TFIBXSQLVAR::LoadFromStream(TStream& Stream) {
    Stream.SetPosition(0);
    const std::string bytes = Stream.ReadRest();
    // A blob written from a stream is never null: the nullable bit goes.
    SetBlobContent(bytes, GetSQLSubtype(), GetScale(), false);
}

bool TFIBXSQLVAR::EncodeByAttributes(int Type, int Subtype, int Scale) const {
    TFIBDatabase* db = Database();
    if (!db) return false;
    if (IsTextType(Type)) return (db->IsUnicodeConnect() && Subtype >= 2) || db->IsUnicodeCharSet(Subtype & 0xFF);
    if (Type == SQL_BLOB)
        return (db->NeedUnicodeFieldTranslation() && db->IsUnicodeConnect() && Subtype == 1 && Scale >= 2) ||
               db->IsUnicodeCharSet(Scale & 0xFF);
    return false;
}

namespace {

bool IsDbKeyName(const std::string& Name) { return Name == "DB_KEY" || Name == "RDB$DB_KEY"; }

} // namespace

void TFIBXSQLVAR::AssignText(const std::string& Bytes, const std::u16string* Wide, TTextSource Source) {
    const int serverType = GetServerSQLType();
    const int serverSubtype = GetServerSQLSubtype();
    const int serverScale = GetServerScale();
    TFIBDatabase* db = Database();

    bool encode = false;
    if (Source == TTextSource::Area) {
        encode = EncodeByAttributes(serverType, serverSubtype, serverScale);
    } else if (!IsMacro && db && db->IsUnicodeOrNoneCharSet()) {
        if (serverType == 0) {
            FUntyped = true;
            if (FArea) FArea->HasUntyped = true;
            const int type = GetSQLType();
            if (IsTextType(type) && !FIsRawText)
                encode = db->IsUnicodeCharSet(GetSQLSubtype() & 0xFF);
            else if (type == SQL_BLOB)
                encode = (db->NeedUnicodeFieldTranslation() && db->IsUnicodeConnect() && GetSQLSubtype() == 1) ||
                         db->IsUnicodeCharSet(GetScale() & 0xFF);
        } else if (IsTextType(serverType)) {
            encode = !FIsRawText && EncodeByAttributes(serverType, serverSubtype, serverScale);
        } else if (serverType == SQL_BLOB) {
            encode = EncodeByAttributes(serverType, serverSubtype, serverScale);
        }
    }

    // The system code page is UTF-8: encoding changes no byte, only the character set the
    // server is told the text is in. A wide text held from an earlier assignment is the source
    // of the encoded bytes.
    std::string bytes = Bytes;
    if (Source == TTextSource::Area && encode && !FWideText.empty() && !Wide) bytes = WideToUtf8(FWideText);

    if (serverType == SQL_BLOB || bytes.size() > MaxTextLength) {
        SetBlobContent(bytes, serverSubtype, serverScale, true);
        return;
    }
    if (IsDbKeyName(FName) && IsParam()) {
        // A key keeps the parameter's own type and length.
        if (bytes.size() != static_cast<size_t>(std::max<ISC_SHORT>(GetSize(), 0)) || GetSQLType() == 0)
            ConversionError();
        SetData(GetSQLType(), bytes.size(), bytes.data(), Wide);
        return;
    }
    if (bytes.empty() && (IsNumericType(serverType) || IsDateType(serverType) || IsBooleanType(serverType))) {
        SetIsNull(true);
        return;
    }
    if (IsNumericType(serverType) && !IsMacro) {
        // The server reads a point as the decimal separator, whatever the locale writes.
        for (char& c : bytes)
            if (c == ',' || c == FormatSettings.DecimalSeparator) c = '.';
    }
    const int encodedCharSet = db && db->IsFirebird() ? Utf8CharSet : UnicodeFssCharSet;
    SetValue([&](TFIBXSQLVAR& v) {
        v.ApplyData(SQL_TEXT, bytes.size(), bytes.data(), Wide);
        // The character set the server reads the text in: never the one of an earlier value (a
        // parameter keeps its value from one text of the statement to the next).
        if (encode)
            v.FXSQLVAR->sqlsubtype = static_cast<ISC_SHORT>(encodedCharSet);
        else if (IsTextType(serverType))
            v.FXSQLVAR->sqlsubtype = static_cast<ISC_SHORT>(serverSubtype);
    });
}

void TFIBXSQLVAR::SetAsString(const std::string& Value) { AssignText(Value, nullptr, TTextSource::Bytes); }

void TFIBXSQLVAR::SetAsWideString(const std::u16string& Value) {
    AssignText(WideToUtf8(Value), &Value, TTextSource::Wide);
}

void TFIBXSQLVAR::SetAsAreaText(const std::string& Value) { AssignText(Value, nullptr, TTextSource::Area); }

void TFIBXSQLVAR::SetAsVariant(const Variant& Value) {
    const int serverType = GetServerSQLType();
    if (serverType == 0) {
        FUntyped = true;
        if (FArea) FArea->HasUntyped = true;
    }
    Variant value = Value;
    if ((serverType == SQL_TIMESTAMP || serverType == SQL_TYPE_DATE) && value.VarType() != varByte) {
        long double number = 0;
        const TVarType kind = value.VarType();
        if ((IsIntegerVariant(kind) || kind == varSingle || kind == varDouble || kind == varCurrency) &&
            VarToNumber(value, number))
            value = Variant::FromDate(static_cast<TDateTime>(number));
    }
    if (IsMacro) {
        if (value.VarType() == varOleStr)
            SetAsWideString(value.AsWideString());
        else
            SetAsString(VarToStr(value));
        return;
    }
    if (value.IsArray()) {
        if (IsArray()) {
            SetArrayValues(value);
        } else if (GetSQLType() == SQL_BLOB || serverType == SQL_BLOB || serverType == 0) {
            TMemoryStream stream;
            VariantToStream(value, &stream);
            LoadFromStream(stream);
        }
        return;
    }
    switch (value.VarType()) {
    case varEmpty: case varNull: SetIsNull(true); break;
    case varFMTBcd: SetAsBCD(value.AsBcd()); break;
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: SetAsInteger(To32(value.AsInt64())); break;
    // A long word above the 32-bit range would be cut by SetAsInteger.
    case varLongWord: case varInt64: SetAsInt64(value.AsInt64()); break;
    case varSingle: case varDouble: SetAsDouble(value.AsDouble()); break;
    case varCurrency: SetAsCurrency(value.AsCurrency()); break;
    case varDate:
        if (serverType == SQL_TYPE_TIME)
            SetAsTime(value.AsDouble());
        else if (serverType == SQL_TYPE_DATE)
            SetAsDate(value.AsDouble());
        else
            SetAsDateTime(value.AsDouble());
        break;
    case varOleStr: SetAsWideString(value.AsWideString()); break;
    case varString: SetAsString(value.AsString()); break;
    case varBoolean:
        if (serverType == SQL_BOOLEAN)
            SetAsBoolean(value.AsBoolean());
        else
            SetAsInteger(value.AsBoolean() ? 1 : 0);
        break;
    default: RaiseClientError(cecNotPermitted);
    }
}

void TFIBXSQLVAR::SetIsNull(bool Value) {
    SetValue([Value](TFIBXSQLVAR& v) { v.ApplyNull(Value); });
}

void TFIBXSQLVAR::Assign(const TFIBXSQLVAR& Source) {
    if (IsMacro) {
        SetAsString(Source.GetAsString());
        return;
    }
    if (Source.GetIsNull()) {
        SetIsNull(true);
        return;
    }
    if (IsArray() || Source.IsArray()) return;
    if (GetSQLType() == SQL_BLOB || Source.GetSQLType() == SQL_BLOB) {
        std::string bytes;
        if (Source.GetSQLType() != SQL_BLOB) {
            bytes = IsTextType(Source.GetSQLType()) ? Source.RawText()
                                                    : std::string(Source.FXSQLVAR->sqldata,
                                                                  std::min(Source.FDataSize, static_cast<size_t>(std::max<ISC_SHORT>(Source.GetSize(), 0))));
        } else if (Source.FBlobStream) {
            bytes = Source.FBlobStream->Bytes();
        } else {
            IXSQLDAOwner* from = Source.Query();
            if (!from || !from->Database()) RaiseClientError(cecDatabaseNotAssigned, {Source.FName});
            if (!from->Transaction()) RaiseClientError(cecTransactionNotAssigned, {Source.FName});
            bytes = ReadBlobBody(*from->Database(), *from->Transaction(), Source.GetAsQuad(), from);
        }
        // No blob filter is ever registered, so the bytes pass unchanged in both directions.
        IXSQLDAOwner* query = Query();
        if (query && query->ParamsArea() == FArea && GetServerSQLType() == SQL_BLOB) {
            if (!query->Database()) RaiseClientError(cecDatabaseNotAssigned, {FName});
            if (!query->Transaction()) RaiseClientError(cecTransactionNotAssigned, {FName});
            SetAsQuad(WriteNewBlob(*query->Database(), *query->Transaction(), bytes));
        } else {
            SetData(SQL_TEXT, bytes.size(), bytes.data());
        }
        return;
    }
    SetValue([&](TFIBXSQLVAR& v) { v.ApplyRecord(Source); });
}

void TFIBXSQLVAR::TakeValue(const TFIBXSQLVAR& Source) {
    if (!Source.FHasAttributes && !Source.FBlobStream) return;
    ApplyRecord(Source);
    FWideText = Source.FWideText;
    FIsRawText = Source.FIsRawText;
    FUntyped = Source.FUntyped;
    if (FUntyped && FArea) FArea->HasUntyped = true;
    FBlobStream.reset();
    if (Source.FBlobStream) {
        FBlobStream = std::make_unique<TMemoryStream>();
        FBlobStream->WriteString(Source.FBlobStream->Bytes());
    }
    FHasAttributes = true;
    Modified = Source.Modified;
}

void TFIBXSQLVAR::TakeDescribedType(const TFIBXSQLVAR& Described) {
    const XSQLVAR& from = *Described.FXSQLVAR;
    const int type = from.sqltype & ~1;
    FXSQLVAR->sqltype = static_cast<ISC_SHORT>(type | 1);
    FXSQLVAR->sqlscale = from.sqlscale;
    FXSQLVAR->sqlsubtype = from.sqlsubtype;
    FXSQLVAR->sqllen = from.sqllen;
    const size_t length = static_cast<size_t>(std::max<ISC_SHORT>(from.sqllen, 0));
    ResizeData(std::max(type == SQL_VARYING ? length + 2 : length, TypeWidth(type)));
    SetIndicator(true);
    *FIndicator = -1;
    FWideText.clear();
    FBlobStream.reset();
}

// --- TFIBXSQLVAR: arrays ----------------------------------------------------------------------

void TFIBXSQLVAR::CheckArray() const {
    if (IsArray() && FArrayInfo) return;
    RaiseClientError(cecNotArray, {RecordName(FXSQLVAR->relname, FXSQLVAR->relname_length, sizeof FXSQLVAR->relname) +
                                   "." +
                                   RecordName(FXSQLVAR->sqlname, FXSQLVAR->sqlname_length, sizeof FXSQLVAR->sqlname)});
}

int64_t TFIBXSQLVAR::GetArraySize() const {
    CheckArray();
    return FArrayInfo->ArraySize();
}

namespace {

void ArrayHandles(IXSQLDAOwner* Query, const std::string& Name, TFIBDatabase*& Database, TFIBTransaction*& Transaction) {
    Database = Query ? Query->Database() : nullptr;
    Transaction = Query ? Query->Transaction() : nullptr;
    if (!Database) RaiseClientError(cecDatabaseNotAssigned, {Name});
    if (!Transaction) RaiseClientError(cecTransactionNotAssigned, {Name});
}

} // namespace

Variant TFIBXSQLVAR::GetArrayValues() const {
    CheckArray();
    TFIBDatabase* db = nullptr;
    TFIBTransaction* tr = nullptr;
    ArrayHandles(Query(), FName, db, tr);
    return FArrayInfo->ReadArrayValues(db->HandleAddress(), tr->HandleAddress(), GetAsQuad());
}

void TFIBXSQLVAR::SetArrayValues(const Variant& Value) {
    CheckArray();
    TFIBDatabase* db = nullptr;
    TFIBTransaction* tr = nullptr;
    ArrayHandles(Query(), FName, db, tr);
    ISC_QUAD id{};
    FArrayInfo->WriteArrayValues(db->HandleAddress(), tr->HandleAddress(), id, Value);
    SetAsQuad(id);
}

} // namespace qnl
