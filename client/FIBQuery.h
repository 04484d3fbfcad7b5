#pragma once
// The statement's descriptor areas and their typed entries: TFIBXSQLDA owns one client-API
// XSQLDA (the installed header's structures, 64-bit sizes) with the data and null-indicator
// buffers of its entries; each TFIBXSQLVAR is one output column or input parameter and converts
// between the server's types and the program's values. One assignment to a parameter reaches
// every parameter of the same name in its area.
//
// The statement that owns the areas answers their questions and hears their news through
// IXSQLDAOwner; an area without an owner works alone (no database: no character-set rules, no
// blob or array access).
//
// 8-bit text is UTF-8 here (the system code page), so widening a text and decoding it from UTF-8
// are one conversion: the text readers give the bytes the server sent, and the wide readers
// their UTF-8 decoding. Firebird 3 BOOLEAN (type 32764, one byte) is read and written natively
// next to the 16-bit BOOLEAN (590) of other servers.
#include "client/FIBDatabase.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/dAZIRadur.h"
#include "client/pFIBArray.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

#include <ibase.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qnl {

class TFIBXSQLDA;
class TFIBXSQLVAR;

// The 16-bit BOOLEAN of other servers; Firebird 3's is SQL_BOOLEAN (32764, one byte).
inline constexpr int SQL_IB_BOOLEAN = 590;

// What a descriptor area needs of the statement that owns it.
class IXSQLDAOwner {
public:
    virtual ~IXSQLDAOwner() = default;

    virtual TFIBDatabase* Database() const = 0;
    virtual TFIBTransaction* Transaction() const = 0;
    virtual TpFIBQueryOptions Options() const = 0;
    virtual bool Prepared() const = 0;
    // An output row can be read: a row was fetched, or a procedure was executed (its outputs
    // come back without a cursor).
    virtual bool HasOutputRow() const = 0;
    // The area of parameters the program sets by name, and the input area the server described.
    virtual TFIBXSQLDA* ParamsArea() const = 0;
    virtual TFIBXSQLDA* BindArea() const = 0;
    // Macro values changed since the text was last expanded; applying them rebuilds the text and
    // the described input area.
    virtual bool MacroChangesPending() const = 0;
    virtual void ApplyPendingMacroChanges() = 0;

    // News from the entries.
    virtual void ParamNullStateChanged() = 0;   // of a parameter the text depends on (NullDependent)
    virtual void MacroValueChanged() = 0;
    virtual void BlobParamsPending() = 0;       // some entry holds blob content to write
    // Writes the blob contents pending in Area as new blobs and gives their entries the ids.
    virtual void WritePendingBlobs(TFIBXSQLDA& Area) = 0;
    // After a client call: the transaction's check; raises the status vector when asked.
    virtual ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError) = 0;
};

// The body of a blob read whole in Transaction, and a new blob written whole (segments of at
// most 65535 bytes) answering its id. The database must be attached and the transaction active
// (client errors 12 and 15 otherwise); server failures raise through Owner's status check, or
// the status vector when there is no owner.
std::string ReadBlobBody(TFIBDatabase& Database, TFIBTransaction& Transaction, const ISC_QUAD& BlobID,
                         IXSQLDAOwner* Owner = nullptr);
ISC_QUAD WriteNewBlob(TFIBDatabase& Database, TFIBTransaction& Transaction, std::string_view Body,
                      IXSQLDAOwner* Owner = nullptr);

class TFIBXSQLVAR {
public:
    explicit TFIBXSQLVAR(TFIBXSQLDA* Area);
    ~TFIBXSQLVAR();
    TFIBXSQLVAR(const TFIBXSQLVAR&) = delete;
    TFIBXSQLVAR& operator=(const TFIBXSQLVAR&) = delete;

    // --- What the statement's parameter analysis sets
    bool IsMacro = false;        // a macro of the statement text, not a bound value
    bool NameKeptCase = false;   // the name was registered as written
    Variant PreparedValue;       // macro value / null state the text was last prepared with
    std::string MacroDefault;    // the text ClearValues gives a macro
    bool InWhere = false;        // the parameter stands in a WHERE clause
    bool NullDependent = false;  // the statement text depends on whether it is null
    bool Modified = false;       // set by every value change, cleared by the area

    int Index() const { return FIndex; }
    const std::string& Name() const { return FName; }
    TFIBXSQLDA* Area() const { return FArea; }
    IXSQLDAOwner* Query() const;
    XSQLVAR* GetXSQLVAR() const { return FXSQLVAR; }

    // --- Attributes
    int GetSQLType() const { return FXSQLVAR->sqltype & ~1; }
    int GetSQLSubtype() const { return FXSQLVAR->sqlsubtype; }
    int GetScale() const { return FXSQLVAR->sqlscale; }
    int GetSize() const { return FXSQLVAR->sqllen; }
    // The nullable bit; when set, an indicator is made if there is none yet.
    bool GetIsNullable();
    void SetIsNullable(bool Value);
    void SetScale(int16_t Value);
    // The attributes the server described (Algorithms of the area and of the parameter area).
    int GetServerSQLType();
    int GetServerSQLSubtype();
    int GetServerScale();
    bool HasAttributes() const { return FHasAttributes; }
    bool Untyped() const { return FUntyped; }
    bool IsRawText() const { return FIsRawText; }
    void SetIsRawText(bool Value) { FIsRawText = Value; }
    bool IsBlobOrArray() const { return GetSQLType() == SQL_BLOB || GetSQLType() == SQL_ARRAY; }
    bool IsArray() const { return GetSQLType() == SQL_ARRAY; }
    bool IsParam() const;
    // Column and table of an output column; empty for a parameter.
    std::string GetSqlName() const;
    std::string GetRelationName() const;
    // The name of the text's character set; "UNKNOWN" for ids 61 and above or without an area.
    std::string GetCharSetName() const;
    const std::u16string& WideText() const { return FWideText; }
    // Blob content waiting to be written when the statement executes; nil when none.
    TMemoryStream* BlobStream() const { return FBlobStream.get(); }
    // The statement drops the content once it is written and executed.
    void FreeBlobStream() { FBlobStream.reset(); }

    // --- Reading: a null value reads as 0, empty, False or Null; a type the reader cannot
    // convert, or a value beyond the result's range, is client error 33.
    bool GetIsNull() const;
    int64_t GetAsInt64() const;
    int32_t GetAsInteger() const;
    int16_t GetAsShort() const;
    double GetAsDouble() const;
    double GetAsFloat() const { return GetAsDouble(); }
    long double GetAsExtended() const;
    Currency GetAsCurrency() const;
    TBcd GetAsBCD() const;
    TTimeStamp GetAsTimeStamp() const;
    TDateTime GetAsDateTime() const;
    ISC_QUAD GetAsQuad() const;
    bool GetAsBoolean() const;
    // Leaves GUID unchanged for types other than TEXT and VARYING.
    void GetAsGUID(TGUID& GUID) const;
    std::string GetAsString() const;
    std::u16string GetAsWideString() const;
    Variant GetAsVariant() const;

    // --- Writing: every setter reaches each parameter of the same name.
    void SetAsInteger(int32_t Value);
    void SetAsShort(int16_t Value);
    void SetAsBoolean(bool Value);
    void SetAsInt64(int64_t Value);
    void SetAsCurrency(Currency Value);
    void SetAsDouble(double Value);
    void SetAsBCD(const TBcd& Value);
    void SetAsTimeStamp(const TTimeStamp& Value);
    void SetAsDateTime(TDateTime Value);
    void SetAsTime(TDateTime Value);
    void SetAsDate(TDateTime Value);
    void SetAsQuad(const ISC_QUAD& Value);
    void SetAsGUID(const TGUID& Value);
    // TEXT of exactly these bytes, never converted.
    void SetRawText(std::string_view Bytes);
    void SetAsString(const std::string& Value);
    void SetAsWideString(const std::u16string& Value);
    // The text setter the areas use: it decides by the described attributes alone.
    void SetAsAreaText(const std::string& Value);
    void SetAsVariant(const Variant& Value);
    // The stream's bytes become blob content to write when the statement executes.
    void LoadFromStream(TStream& Stream);
    void SetIsNull(bool Value);
    void Clear() { SetIsNull(true); }
    // Value and null state of Source (blobs are read and, for a blob parameter, written anew).
    void Assign(const TFIBXSQLVAR& Source);

    // --- Arrays (client error 59 for an entry that is no array or has no array object)
    TpFIBArray* ArrayInfo() const { return FArrayInfo.get(); }
    void SetArrayInfo(std::unique_ptr<TpFIBArray> Value) { FArrayInfo = std::move(Value); }
    int64_t GetArraySize() const;
    // The array in the statement's transaction; a never-written array reads as Nulls.
    Variant GetArrayValues() const;
    // Writes Value as a new array and takes its id.
    void SetArrayValues(const Variant& Value);

private:
    friend class TFIBXSQLDA;

    enum class TTextSource : uint8_t { Bytes, Wide, Area };

    // The record moved with the area's buffer.
    void SetRecord(XSQLVAR* Record);
    void SetIdentity(const std::string& Name, int Index, bool KeepCase);
    // Keeps the described attributes, sizes the buffers for the described type.
    void InitializeFromDescription(bool SeparateParamsArea);
    void ResizeData(size_t Size);
    void SetIndicator(bool Present);
    void FreeBuffers();

    // The central setter: Apply runs on every entry of this name (or on this one), then the
    // statement hears of null-state and macro changes.
    template <class F>
    void SetValue(F Apply);
    void ApplyNull(bool Null);
    void ApplyData(int Type, size_t Length, const void* Data, const std::u16string* Wide);
    void ApplyRecord(const TFIBXSQLVAR& Source);
    void SetData(int Type, size_t Length, const void* Data, const std::u16string* Wide = nullptr);
    void SetBlobContent(const std::string& Bytes, int Subtype, int Scale, bool Nullable);
    void AssignText(const std::string& Bytes, const std::u16string* Wide, TTextSource Source);
    bool EncodeByAttributes(int Type, int Subtype, int Scale) const;
    void TakeServerAttributes();

    TFIBDatabase* Database() const;
    int64_t RawInteger() const;
    // TEXT or VARYING bytes as the server sent them.
    std::string RawText() const;
    // RawText with a fixed text in a multi-byte set cut to its declared characters and, with
    // qoTrimCharFields, trailing blanks removed.
    std::string TextValue() const;
    std::string SingleByteText() const;
    std::string BlobText() const;
    bool IsUnicodeText() const;
    void CheckArray() const;

    int FIndex = 0;
    std::string FName;
    TFIBXSQLDA* FArea;
    XSQLVAR* FXSQLVAR = nullptr;
    char* FData = nullptr;          // the record's data buffer, owned
    size_t FDataSize = 0;
    short* FIndicator = nullptr;    // the record's null indicator, owned
    int FDescType = 0;
    int FDescSubtype = 0;
    int16_t FDescLength = 0;
    int16_t FDescScale = 0;
    bool FHasAttributes = false;
    bool FUntyped = false;
    bool FIsRawText = false;
    std::unique_ptr<TMemoryStream> FBlobStream;
    std::u16string FWideText;
    std::unique_ptr<TpFIBArray> FArrayInfo;
};

class TFIBXSQLDA {
public:
    explicit TFIBXSQLDA(bool IsInput);
    ~TFIBXSQLDA();
    TFIBXSQLDA(const TFIBXSQLDA&) = delete;
    TFIBXSQLDA& operator=(const TFIBXSQLDA&) = delete;

    IXSQLDAOwner* Query() const { return FQuery; }
    void SetQuery(IXSQLDAOwner* Value) { FQuery = Value; }
    bool IsInput() const { return FIsInput; }
    int Count() const { return FCount; }
    // Clears the names; grows the buffer and the entries when Value exceeds what is allocated
    // (entries and records are kept when it shrinks).
    void SetCount(int Value);
    int Allocated() const { return FAllocated; }
    // The client API's view; nil before the first SetCount.
    XSQLDA* AsXSQLDA() const { return FBuffer; }
    bool HasUntyped = false;

    // Client error 23 outside 0 .. Count - 1.
    TFIBXSQLVAR& GetVar(int Index) const;
    TFIBXSQLVAR& operator[](int Index) const { return GetVar(Index); }
    // The entry of Name (in double quotes: exactly; else as written, then upper-cased); nil.
    TFIBXSQLVAR* FindByName(const std::string& Name);
    TFIBXSQLVAR* ByName(const std::string& Name) { return FindByName(Name); }
    void AddName(const std::string& Name, int Index, bool KeepCase);
    // Every entry sharing Var's name, in list order; Var alone when its name is unique.
    std::vector<TFIBXSQLVAR*> SameNamed(TFIBXSQLVAR& Var);

    // After a describe: keeps the described attributes, names the columns uniquely and sizes the
    // data and indicator buffers.
    void InitializeVars();
    // Copies values by name from Source.
    void AssignValues(TFIBXSQLDA& Source);
    // Macros take their default text, every other entry becomes null.
    void ClearValues();
    // Values assigned before the types were known are converted to them.
    void ConvertUntyped();
    void ResetModified();

private:
    TFIBXSQLVAR* FindRegistered(const std::string& Name) const;
    std::string UniqueAlias(const std::string& Alias);

    // Names as registered -> entry index; equal names keep their order of registration.
    std::multimap<std::string, int> FDuplicateNames;
    std::unordered_map<std::string, TFIBXSQLVAR*> FNameCache;
    std::multimap<std::string, int> FAllNames;
    int FCount = 0;
    IXSQLDAOwner* FQuery = nullptr;
    int FAllocated = 0;
    XSQLDA* FBuffer = nullptr;
    std::vector<std::unique_ptr<TFIBXSQLVAR>> FVars;
    bool FIsInput;
};

} // namespace qnl
