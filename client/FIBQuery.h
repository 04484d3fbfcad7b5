#pragma once
// The statement object TFIBQuery and its descriptor areas.
//
// TFIBQuery owns one SQL text, prepares it once on the server, executes it by the statement type
// the server reports (DDL runs through execute-immediate without a prepare), walks the rows of a
// cursor and closes it again. Named parameters (":NAME", "?NAME", quoted names keep their case)
// and macros ("@NAME" or "@@NAME%default@") are found in the text; the text the server gets has
// every parameter replaced by "?", every macro by its value and, unless qoNoForceIsNull is set,
// "= :P" with P null rewritten as IS NULL. Parameter values are bound by name.
//
// The descriptor areas and their typed entries: TFIBXSQLDA owns one client-API
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
#include "client/FIBMDTInterface.h"
#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/dAZIRadur.h"
#include "client/pFIBArray.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
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

// The body of a blob read whole in Transaction, and a new blob written whole through a blob
// stream (segments of at most 65535 bytes) answering its id. The database must be attached and
// the transaction active (client errors 12 and 15 otherwise); server failures of the read raise
// through Owner's status check, or the status vector when there is no owner.
std::string ReadBlobBody(TFIBDatabase& Database, TFIBTransaction& Transaction, const ISC_QUAD& BlobID,
                         IXSQLDAOwner* Owner = nullptr);
ISC_QUAD WriteNewBlob(TFIBDatabase& Database, TFIBTransaction& Transaction, std::string_view Body);

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
    // Where the occurrence stands in the statement's text: its mark, name and macro default,
    // 0-based, end exclusive.
    size_t TextStart = 0;
    size_t TextEnd = 0;

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
    // The client API's own TIMESTAMP and TIME, in ten-thousandths of a second: nothing rounded.
    void SetAsISCTimeStamp(const ISC_TIMESTAMP& Value);
    void SetAsISCTime(ISC_TIME Value);
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
    // The statement's own moves, without telling it and without reaching same-named entries:
    // the whole value of an entry of an area being replaced (type, data, null state, pending
    // blob content); and, for a parameter that holds no value, the type the server described
    // for it (it stays null).
    void TakeValue(const TFIBXSQLVAR& Source);
    void TakeDescribedType(const TFIBXSQLVAR& Described);

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
    // FindByName in this area alone, never in the statement's described input area.
    TFIBXSQLVAR* FindLocal(const std::string& Name);
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

// --- The statement ---------------------------------------------------------------------------

// The statement types as the server reports them (isc_info_sql_stmt_type).
enum TFIBSQLTypes : uint8_t {
    SQLUnknown,
    SQLSelect,
    SQLInsert,
    SQLUpdate,
    SQLDelete,
    SQLDDL,
    SQLGetSegment,
    SQLPutSegment,
    SQLExecProcedure,
    SQLStartTransaction,
    SQLCommit,
    SQLRollback,
    SQLSelectForUpdate,
    SQLSetGenerator,
    SQLSavePointOperation,
};

// Batch events: published for the components that handle batches; this layer never fires them.
enum class TBatchOperation : uint8_t { boInput, boOutput, boOutputToQuery };
enum class TBatchAction : uint8_t { baContinue, baStop, baSkip };
enum class TBatchErrorAction : uint8_t { beFail, beAbort, beRetry, beIgnore };
using TOnBatching = std::function<void(TBatchOperation BatchOperation, int RecNumber, TBatchAction& BatchAction)>;
using TOnBatchError = std::function<void(const EFIBError& E, TBatchErrorAction& BatchErrorAction)>;

// Called before every fetch with the rows fetched so far; Stop skips the fetch.
using TBeforeFetchHook = std::function<void(int RecordNumber, bool& Stop)>;

// The rows the last execution read, inserted, updated and deleted.
struct TRecordCounts {
    int64_t Selected = 0;
    int64_t Inserted = 0;
    int64_t Updated = 0;
    int64_t Deleted = 0;
};

class TFIBQuery : public TComponent, public IXSQLDAOwner, public ISQLObject, public IConditionsStatement {
public:
    // An owner that is a database becomes Database, one that is a transaction Transaction.
    explicit TFIBQuery(TComponent* AOwner = nullptr);
    ~TFIBQuery() override;
    std::string ClassName() const override { return "TFIBQuery"; }

    // --- Links
    TFIBDatabase* Database() const override { return FBase.Database(); }
    virtual void SetDatabase(TFIBDatabase* Value);
    TFIBTransaction* Transaction() const override { return FBase.Transaction(); }
    void SetTransaction(TFIBTransaction* Value) { FBase.SetTransaction(Value); }
    TFIBBase& Base() { return FBase; }

    // --- Text
    THookedStringList& SQL() { return FSQL; }
    const THookedStringList& SQL() const { return FSQL; }
    void SetSQL(const TStringList& Value) { FSQL.Assign(Value); }
    void SetSQLText(const std::string& Text) override { FSQL.SetText(Text); }
    std::string SQLText() override { return FSQL.Text(); }
    // The text after macros, conditions and NULL rewriting, with "?" for every parameter: what
    // logs and statistics show. The server gets the same text.
    const std::string& ProcessedSQL() const { return FProcessedSQL; }
    const std::string& ServerSQL() const { return FServerSQL; }
    // Changes of the text between these two are taken in once, at the end.
    void BeginSQLChange() override;
    void EndSQLChange() override;
    uint32_t SQLChangeCount() const { return FSQLChangeCount; }
    TSQLParser& Parser() { return FParser; }

    // --- Options
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool Value);
    TpFIBQueryOptions Options() const override { return FOptions; }
    // A change of qoNoForceIsNull makes the text be expanded again.
    void SetOptions(TpFIBQueryOptions Value);
    char MacroChar() const { return FMacroChar; }
    void SetMacroChar(char Value);
    bool GoToFirstRecordOnExecute = true;
    // An open cursor closes when its transaction ends by a hard commit or rollback.
    bool CloseOnTransactionEnd() const { return FCloseOnTransactionEnd; }
    void SetCloseOnTransactionEnd(bool Value) { FCloseOnTransactionEnd = Value; }
    TMDTSQLExecutor MDTSQLExecutor() const { return FMDTSQLExecutor; }
    void SetMDTSQLExecutor(TMDTSQLExecutor Value);
    TConditions& Conditions() { return FConditions; }
    void SetConditions(const TConditions& Value) { FConditions.Assign(Value); }
    TCondition& AddCondition(const std::string& Name, const std::string& Text, bool Enabled) {
        return FConditions.AddCondition(Name, Text, Enabled);
    }

    // --- Events (TransactionEnding, TransactionEnded and the batch events are never fired here)
    TNotifyEvent BeforeExecute;
    TNotifyEvent AfterExecute;
    TNotifyEvent OnSQLChanging;
    TNotifyEvent TransactionEnding;
    TNotifyEvent TransactionEnded;
    TOnBatching OnBatching;
    TOnBatchError OnBatchError;
    TBeforeFetchHook BeforeFetch;

    // --- Life cycle
    void Prepare();
    virtual void ExecQuery();
    // Fetches the next row; the fields area when a row came, nil at the end.
    TFIBXSQLDA* Next();
    void Close();
    void FreeHandle();
    // The attachment is gone: the handle is forgotten without a client call, the statement
    // closed and left unprepared.
    void ForgetHandle();
    // Runs each text in the transaction, one after the other; the first failure is raised.
    void ExecBatchImmediate(const std::vector<std::string>& Texts);
    // Prepares the text, connecting the database and starting the transaction for that when
    // needed (and undoing both afterwards); a failed prepare is client error 27.
    void CheckValidStatement();

    // --- State
    bool Prepared() const override { return FPrepared; }
    bool Open() const { return FOpen; }
    bool Bof() const { return FBOF; }
    // The end of the rows was reached (GetEof may also free the handle).
    bool EofReached() const { return FEOF; }
    bool GetEof();
    bool Eof() { return GetEof(); }
    int GetRecordCount() const { return FRecordCount; }
    TFIBSQLTypes SQLType() const { return FSQLType; }
    bool ProcExecuted() const { return FProcExecuted; }
    isc_stmt_handle Handle() const { return FHandle; }
    // Milliseconds the last execution took.
    uint32_t ExecutionTime() const { return FExecutionTime; }
    const std::string& CursorName() const { return FCursorName; }
    void SetCursorName(const std::string& Value) { FCursorName = Value; }
    void CheckOpen(const std::string& Operation);
    void CheckClosed(const std::string& Operation);
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError) override;

    // --- Parameters
    // The parameters as the program sets them: one entry per occurrence in the text.
    TFIBXSQLDA& Params();
    // The input area the server described for the text it got.
    TFIBXSQLDA& BindParams() { return *FBindArea; }
    TFIBXSQLVAR* FindParam(const std::string& Name);
    // The parameter, or for an EXECUTE text the output column of that name.
    TFIBXSQLVAR& ParamByName(const std::string& Name);
    bool ParamExists(const std::string& Name, int& Index);
    Variant GetParamValue(const std::string& Name) { return ParamByName(Name).GetAsVariant(); }
    Variant GetParamValueByIndex(int Index) { return Params().GetVar(Index).GetAsVariant(); }
    // Names separated by ";", one value each.
    void SetParamValues(const std::string& Names, const std::vector<Variant>& Values);
    void SetParamValuesInOrder(const std::vector<Variant>& Values);
    std::string GetMacroDefaultValue(const std::string& Name);
    // Rebuilds the text from the current macro values.
    void ApplyMacros();
    // The text with macro values in place and, unless qoNoForceIsNull is set, comparisons with
    // null parameters rewritten as IS NULL / IS NOT NULL.
    std::string ExpandedSQLText() { return ExpandText(false); }
    // Names of parameters that only a macro's value brought into the text.
    const TStringList& PendingConversions() const { return FPendingConversions; }

    // --- Clauses of the text
    int MainWhereIndex() { return FParser.MainWhereIndex(); }
    std::string MainWhereClause() override;
    void SetMainWhereClause(const std::string& Condition) override;
    std::string GetWhereClause(int N);
    std::string GetOrderClause() { return FParser.GetOrderByText(); }
    void SetOrderClause(const std::string& Order);
    void SetPlanClause(const std::string& Plan);

    // --- Columns, aliases, plan, rows
    TFIBXSQLDA& Fields() { return *FFieldsArea; }
    TFIBXSQLDA& GetFields() { return *FFieldsArea; }
    int GetFieldCount() const { return FFieldsArea->Count(); }
    TFIBXSQLVAR& FieldByName(const std::string& Name);
    TFIBXSQLVAR* FindField(const std::string& Name) { return FFieldsArea->FindByName(Name); }
    int FieldIndex(const std::string& Name);
    TFIBXSQLVAR& GetFieldByIndex(int Index);
    TFIBXSQLVAR* FindFieldByOrigin(const std::string& Table, const std::string& Column);
    std::string GetFieldTableAlias(int Index);
    std::string GetFieldTableAliasByName(const std::string& Name);
    std::string Plan();
    int64_t GetRowsAffected();
    TRecordCounts GetRecordCounts();
    std::string GetFirstTableName();

    // --- ISQLObject
    int ParamCount() override { return Params().Count(); }
    std::string ParamName(int ParamIndex) override { return Params().GetVar(ParamIndex).Name(); }
    int FieldsCount() override { return GetFieldCount(); }
    bool FieldExist(const std::string& Name, int& Index) override;
    bool ParamExist(const std::string& Name, int& Index) override { return ParamExists(Name, Index); }
    Variant FieldValue(const std::string& Name, bool Old) override;
    Variant FieldValue(int Index, bool Old) override;
    Variant ParamValue(const std::string& Name) override { return GetParamValue(Name); }
    Variant ParamValue(int Index) override { return GetParamValueByIndex(Index); }
    void SetParamValue(int Index, const Variant& Value) override;
    std::string FieldName(int Index) override { return GetFieldByIndex(Index).Name(); }
    bool IEof() override { return GetEof(); }
    void INext() override { Next(); }

    // --- IXSQLDAOwner
    bool HasOutputRow() const override { return FRecordCount > 0 || FProcExecuted; }
    TFIBXSQLDA* ParamsArea() const override { return FParamsArea.get(); }
    TFIBXSQLDA* BindArea() const override { return FBindArea.get(); }
    bool MacroChangesPending() const override { return FNeedsReExpansion; }
    void ApplyPendingMacroChanges() override { ApplyMacros(); }
    void ParamNullStateChanged() override { FNullStateDiffers = true; }
    void MacroValueChanged() override { FNeedsReExpansion = true; }
    void BlobParamsPending() override { FPendingBlobParams = true; }
    void WritePendingBlobs(TFIBXSQLDA& Area) override;

private:
    enum class TScanMode : uint8_t { Parameters, Text };
    static constexpr uint8_t StatePreparing = 1;
    static constexpr uint8_t StateExecuting = 2;
    static constexpr uint8_t StateClosing = 4;

    // The text's hooks.
    void SQLChanging();
    void SQLChanged();
    bool HasParamMarks(const std::string& Text) const;
    // Finds the parameters and macros of Text and builds the params area (parameter mode) or
    // the processed text and the bind area (text mode).
    void ScanText(const std::string& Text, TScanMode Mode);
    bool ExpansionNeeded() const;
    // Expands the text for the server and scans it: the processed text and the bind area. Notes
    // the macro values and null states it was built from.
    void RebuildProcessedText();
    // The expansion; Record notes what it was built from (PreparedValue, the rewritten flag).
    std::string ExpandText(bool Record);
    void MakeServerText();
    void EmptyInputAreas();

    // Prepare and execute.
    void PrepareOnServer();
    void ReadStatementType();
    void DescribeInput();
    void DescribeOutput();
    void AttachArrays(TFIBXSQLDA& Area);
    void RecordPendingConversions();
    void SaveBindValues();
    void RestoreBindValues();
    void SaveParamValues();
    void DoBeforeExecute();
    void DoAfterExecute();
    void ExecImmediate();
    XSQLDA* InputXSQLDA();
    void WritePendingBlobParams();
    void ExecuteOnServer(XSQLDA* Input);
    void DropBlobStreams();
    void DoFreeHandle() noexcept;
    void HandleDatabaseDisconnecting();
    void HandleTransactionEnding();
    IIBClientLibrary& Library() const;
    unsigned short Dialect() const;

    // Statistics and log lines.
    ISQLStatMaker* ActiveStatistics() const;
    void PrepareStatistics();
    void ExecuteStatisticsStart();
    void ExecuteStatisticsEnd();
    std::string ParamLine(int Index);
    void LogExecute(const std::string& ErrorMessage, bool Failed);
    void LogFetch();
    void LogPrepare(bool Failed);
    // Inside a handler: the caught error's text to the trace channel.
    void TraceError(uint8_t Category) noexcept;
    bool LogFlag(TLogFlag Flag) const;

    // Column information.
    void FillTableAliases();
    std::string SqlInfo(char Item, size_t Size);

    bool FParamCheckInForce = true;
    TSQLParser FParser;
    TFIBBase FBase;
    bool FBOF = false;
    bool FEOF = false;
    bool FOpen = false;
    bool FPrepared = false;
    int FRecordCount = 0;
    isc_stmt_handle FHandle = 0;
    THookedStringList FSQL;
    bool FParamCheck = true;
    std::string FProcessedSQL;
    std::string FServerSQL;
    std::unique_ptr<TFIBXSQLDA> FBindArea;
    std::unique_ptr<TFIBXSQLDA> FFieldsArea;
    TFIBSQLTypes FSQLType = SQLUnknown;
    std::unique_ptr<TFIBXSQLDA> FParamsArea;
    bool FProcExecuted = false;
    char FMacroChar = '@';
    bool FParamsParsed = false;
    int FSQLChangeLock = 0;
    std::string FFirstTableName = "-1";
    TpFIBQueryOptions FOptions = 0;
    bool FRewritten = false;
    TStringList FPendingConversions;
    uint32_t FExecutionTime = 0;
    bool FHasMacroParams = false;
    bool FNullStateDiffers = false;
    bool FNeedsReExpansion = false;
    uint32_t FSQLChangeCount = 0;
    bool FPendingBlobParams = false;
    uint8_t FState = 0;
    bool FServerTextReady = false;
    bool FCloseOnTransactionEnd = true;
    bool FTableAliasesRead = false;
    std::vector<std::string> FTableAliases;
    std::string FCursorName;
    TConditions FConditions;
    TMDTSQLExecutor FMDTSQLExecutor = se_ServerAfterLocal;
};

// Fills every parameter of Target from the first... last source that has a field of the
// parameter's name without its NEW_ / OLD_ prefix (OLD_ takes old values), or else a parameter
// of the whole name: every source is asked, so the last one that answers wins.
void AssignParamsFromFieldSources(ISQLObject& Target, std::initializer_list<ISQLObject*> Sources);

// Text with every positional parameter mark ("?" outside string literals, quoted names and
// comments) replaced by ":" + Prefix + a counter from 0, in text order; Count gets the number.
std::string NamePositionalParams(const std::string& Text, const std::string& Prefix, int* Count = nullptr);

} // namespace qnl
