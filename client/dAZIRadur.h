#pragma once
// The option objects that databases, statements and data sets publish: the five SQL texts of a
// data set, default display formats, the options of generated modifying statements, connect
// parameters seen as named values, the client-side generator cache with its ini file, the
// schema-cache file options, blob swapping, switchable WHERE conditions and the blob subtypes
// that count as text; and the enumerations declared with them.
//
// Each object keeps a plain reference to its owner (never owned) and owns what it creates. The
// owners (database, statement, data set) are reached through the small interfaces below, which
// those classes implement.
#include "platform/Component.h"
#include "platform/StringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

// --- Enumerations (ordinals from 0 in the order given); sets are bit masks, bit n for ordinal n

using TWhenGetGenID = uint8_t;
inline constexpr TWhenGetGenID wgNever = 0;
inline constexpr TWhenGetGenID wgOnNewRecord = 1;
inline constexpr TWhenGetGenID wgBeforePost = 2;

using TReturningFields = uint8_t;
inline constexpr TReturningFields rfAll = 0;
inline constexpr TReturningFields rfKeyFields = 1;
inline constexpr TReturningFields rfBlobFields = 2;
using TSetReturningFields = uint8_t;

using TUseGeneratorCache = uint8_t;
inline constexpr TUseGeneratorCache No = 0;
inline constexpr TUseGeneratorCache forAll = 1;
inline constexpr TUseGeneratorCache forGeneratorList = 2;

using TTPBMode = uint8_t;
inline constexpr TTPBMode tpbDefault = 0;
inline constexpr TTPBMode tpbReadCommitted = 1;
inline constexpr TTPBMode tpbRepeatableRead = 2;

using TpPrepareOption = uint8_t;
inline constexpr TpPrepareOption pfSetRequiredFields = 0;
inline constexpr TpPrepareOption pfSetReadOnlyFields = 1;
inline constexpr TpPrepareOption pfImportDefaultValues = 2;
inline constexpr TpPrepareOption psUseBooleanField = 3;
inline constexpr TpPrepareOption psUseGuidField = 4;
inline constexpr TpPrepareOption psSQLINT64ToBCD = 5;
inline constexpr TpPrepareOption psApplyRepositary = 6;
inline constexpr TpPrepareOption psGetOrderInfo = 7;
inline constexpr TpPrepareOption psAskRecordCount = 8;
inline constexpr TpPrepareOption psCanEditComputedFields = 9;
inline constexpr TpPrepareOption psSetEmptyStrToNull = 10;
inline constexpr TpPrepareOption psSupportUnicodeBlobs = 11;
inline constexpr TpPrepareOption psUseLargeIntField = 12;
using TpPrepareOptions = uint16_t;

using TpFIBDsOption = uint8_t;
inline constexpr TpFIBDsOption poTrimCharFields = 0;
inline constexpr TpFIBDsOption poRefreshAfterPost = 1;
inline constexpr TpFIBDsOption poRefreshDeletedRecord = 2;
inline constexpr TpFIBDsOption poStartTransaction = 3;
inline constexpr TpFIBDsOption poAutoFormatFields = 4;
inline constexpr TpFIBDsOption poProtectedEdit = 5;
inline constexpr TpFIBDsOption poUseSelectForLock = 6;
inline constexpr TpFIBDsOption poKeepSorting = 7;
inline constexpr TpFIBDsOption poPersistentSorting = 8;
inline constexpr TpFIBDsOption poVisibleRecno = 9;
inline constexpr TpFIBDsOption poNoForceIsNull = 10;
inline constexpr TpFIBDsOption poFetchAll = 11;
inline constexpr TpFIBDsOption poFreeHandlesAfterClose = 12;
inline constexpr TpFIBDsOption poCacheCalcFields = 13;
inline constexpr TpFIBDsOption poRefreshAfterDelete = 14;
inline constexpr TpFIBDsOption poDontCloseAfterEndTransaction = 15;
using TpFIBDsOptions = uint16_t;

using TpFIBQueryOption = uint8_t;
inline constexpr TpFIBQueryOption qoStartTransaction = 0;
inline constexpr TpFIBQueryOption qoAutoCommit = 1;
inline constexpr TpFIBQueryOption qoTrimCharFields = 2;
inline constexpr TpFIBQueryOption qoNoForceIsNull = 3;
inline constexpr TpFIBQueryOption qoFreeHandleAfterExecute = 4;
using TpFIBQueryOptions = uint8_t;

using TDetailCondition = uint8_t;
inline constexpr TDetailCondition dcForceOpen = 0;
inline constexpr TDetailCondition dcIgnoreMasterClose = 1;
inline constexpr TDetailCondition dcForceMasterRefresh = 2;
inline constexpr TDetailCondition dcWaitEndMasterScroll = 3;
using TDetailConditions = uint8_t;

using TFieldOriginRule = uint8_t;
inline constexpr TFieldOriginRule forNoRule = 0;
inline constexpr TFieldOriginRule forTableAndFieldName = 1;
inline constexpr TFieldOriginRule forClientFieldName = 2;
inline constexpr TFieldOriginRule forTableAliasAndFieldName = 3;

// The set holding one ordinal, and the membership test, for every set type above.
template <class Set>
constexpr Set SetOf(uint8_t Ordinal) { return static_cast<Set>(Set{1} << Ordinal); }
template <class Set>
constexpr bool InSet(Set S, uint8_t Ordinal) { return (S & SetOf<Set>(Ordinal)) != 0; }

// --- What the option objects ask of their owners -------------------------------------------

// The data set's five SQL texts (TSQLs is a view of them).
class ISQLsOwner {
public:
    virtual ~ISQLsOwner() = default;
    virtual TStringList& SelectSQL() = 0;
    virtual TStringList& UpdateSQL() = 0;
    virtual TStringList& DeleteSQL() = 0;
    virtual TStringList& InsertSQL() = 0;
    virtual TStringList& RefreshSQL() = 0;
};

// What the generated modifying statements' options ask of their data set.
class IAutoUpdateOwner {
public:
    virtual ~IAutoUpdateOwner() = default;
    // The alias of TableName in the FROM list of the data set's expanded SELECT text (the table
    // name itself when it has none).
    virtual std::string AliasByTableName(const std::string& TableName) = 0;
    // False when the data set has no database; otherwise the database's SQL dialect and whether
    // it compares names without case (dialect below 3 or upper-cased old names).
    virtual bool DatabaseNameRules(int& SQLDialect, bool& NeedUpperNames) = 0;
};

// What the conditions ask of their statement: the SQL-change lock, the SQL text and its
// top-level WHERE condition (the text between WHERE and the clause that ends it).
class IConditionsStatement {
public:
    virtual ~IConditionsStatement() = default;
    virtual void BeginSQLChange() = 0;
    virtual void EndSQLChange() = 0;
    virtual std::string SQLText() = 0;
    virtual void SetSQLText(const std::string& Text) = 0;
    virtual std::string MainWhereClause() = 0;
    // A blank condition removes the clause.
    virtual void SetMainWhereClause(const std::string& Condition) = 0;
};

// --- TSQLs ---------------------------------------------------------------------------------

class TSQLs {
public:
    explicit TSQLs(ISQLsOwner* Owner) : FOwner(Owner) {}
    ISQLsOwner* Owner() const { return FOwner; }
    const TStringList& SelectSQL() const { return FOwner->SelectSQL(); }
    const TStringList& UpdateSQL() const { return FOwner->UpdateSQL(); }
    const TStringList& DeleteSQL() const { return FOwner->DeleteSQL(); }
    const TStringList& InsertSQL() const { return FOwner->InsertSQL(); }
    const TStringList& RefreshSQL() const { return FOwner->RefreshSQL(); }
    void SetSelectSQL(const TStringList& Value) { FOwner->SelectSQL().Assign(Value); }
    void SetUpdateSQL(const TStringList& Value) { FOwner->UpdateSQL().Assign(Value); }
    void SetDeleteSQL(const TStringList& Value) { FOwner->DeleteSQL().Assign(Value); }
    void SetInsertSQL(const TStringList& Value) { FOwner->InsertSQL().Assign(Value); }
    void SetRefreshSQL(const TStringList& Value) { FOwner->RefreshSQL().Assign(Value); }

private:
    ISQLsOwner* FOwner;
};

// --- TFormatFields -------------------------------------------------------------------------

// The process-wide default formats; with UseGlobalDefaultFormats on, new TFormatFields take
// them (the date-time format as date format + " " + time format).
extern std::string DefaultDateFormat;            // "dd.mm.yyyy"
extern std::string DefaultTimeFormat;            // "hh:mm AMPM"
extern std::string DefaultNumericDisplayFormat;  // "#,##0."
extern std::string DefaultNumericEditFormat;     // "0."
extern bool UseGlobalDefaultFormats;             // false

class TFormatFields {
public:
    explicit TFormatFields(TComponent* Owner);
    TComponent* Owner() const { return FOwner; }
    void Assign(const TFormatFields& Source);

    std::string DateTimeDisplayFormat;
    std::string NumericDisplayFormat;
    std::string NumericEditFormat;
    std::string DisplayFormatDate;
    std::string DisplayFormatTime;

private:
    TComponent* FOwner;
};

// --- TAutoUpdateOptions --------------------------------------------------------------------

// The affixes of generator names made from the update table's name.
extern std::string GeneratorPrefix;   // "GEN_"
extern std::string GeneratorSuffix;   // "_ID"

class TAutoUpdateOptions {
public:
    explicit TAutoUpdateOptions(IAutoUpdateOwner* Owner);
    IAutoUpdateOwner* Owner() const { return FOwner; }

    // Copies the options a user sets; the returning-field set, execute-block and rows-clause
    // switches, the key list's derived state, the cached texts and the quoted names stay.
    void Assign(const TAutoUpdateOptions& Source);

    // A table name, optionally followed by an alias. Empties the cached key condition and the
    // quoted names; with WhenGetGenID not wgNever and no generator name, names the generator
    // GeneratorPrefix + table + GeneratorSuffix (inside the quotes of a quoted table).
    const std::string& UpdateTableName() const { return FUpdateTableName; }
    void SetUpdateTableName(const std::string& Value);
    // Key field names separated by ";".
    const std::string& KeyFields() const { return FKeyFields; }
    void SetKeyFields(const std::string& Value);
    const TStringList& KeyFieldList() const { return FKeyFieldList; }

    bool AutoReWriteSqls = false;
    bool CanChangeSQLs = false;
    std::string GeneratorName;
    int32_t GeneratorStep = 1;
    TWhenGetGenID WhenGetGenID = wgNever;
    bool AutoParamsToFields = false;
    bool SeparateBlobUpdate = false;
    bool UseExecuteBlock = false;
    bool UseRowsClause = false;

    // Stays false unless AutoReWriteSqls and CanChangeSQLs are both on.
    bool UpdateOnlyModifiedFields() const { return FUpdateOnlyModifiedFields; }
    void SetUpdateOnlyModifiedFields(bool Value);
    // Assigned with the empty lines removed.
    const TStringList& ParamsToFieldsLinks() const { return FParamsToFieldsLinks; }
    void SetParamsToFieldsLinks(const TStringList& Value);
    TSetReturningFields UseReturningFields() const { return FUseReturningFields; }
    void SetUseReturningFields(TSetReturningFields Value);
    // True when WhenGetGenID is not wgNever; false sets wgNever, true sets wgBeforePost when it
    // was wgNever.
    bool SelectGenID() const { return WhenGetGenID != wgNever; }
    void SetSelectGenID(bool Value);

    bool HasAlias() const { return FHasAlias; }
    // The update table's name and alias as statements write them: for dialect 1 trimmed and
    // upper-cased; otherwise quoted when the name needs it, upper-cased when not.
    std::string GetQuotedTableName();
    std::string GetQuotedTableAlias();
    // The owner answers the alias and the name rules; the quoted names are made again on the
    // next request (after the SELECT or the database changed).
    void SetOwner(IAutoUpdateOwner* Owner) {
        FOwner = Owner;
        ClearQuotedNames();
    }
    void ClearQuotedNames() {
        FQuotedTableName.clear();
        FQuotedTableAlias.clear();
    }

    // State the data set keeps here while generating statements.
    std::string CachedKeyCondition;
    std::string CachedSelectText;
    bool Changed = false;

private:
    void PrepareTableNames();

    IAutoUpdateOwner* FOwner;
    std::string FUpdateTableName;
    TStringList FKeyFieldList;
    std::string FKeyFields;
    bool FUpdateOnlyModifiedFields = false;
    TStringList FParamsToFieldsLinks;
    TSetReturningFields FUseReturningFields = 0;
    std::string FQuotedTableName;
    std::string FQuotedTableAlias;
    bool FHasAlias = false;
};

// --- Connect parameters --------------------------------------------------------------------

// The database's connect parameters as name=value lines. OnChanging runs before every change
// made through this type (the owner database refuses changes while it is attached).
class TDBParams : public THookedStringList {
public:
    explicit TDBParams(TObject* Owner = nullptr) : FOwner(Owner) {}
    TObject* Owner() const { return FOwner; }
    // The value of the line whose name is the parameter item of Code (1..83), written with or
    // without "isc_dpb_", in any case: the text after its first "=". Empty when there is none.
    std::string ReadParam(int Code) const;
    // The same line becomes item name + "=" + Value (added when absent); an empty Value deletes
    // it. Codes outside 1..83 do nothing.
    void WriteParam(int Code, const std::string& Value);
    // The index of the line whose whole name is ItemName, with or without "isc_dpb_", in any
    // case; -1 when there is none.
    int IndexOfParam(const std::string& ItemName) const;

private:
    TObject* FOwner;
};

// Parameter item codes the connect parameters use.
inline constexpr int dpbUserName = 28;
inline constexpr int dpbPassword = 29;
inline constexpr int dpbLcCtype = 48;
inline constexpr int dpbSqlRoleName = 60;
inline constexpr int dpbInstanceName = 75;

class TIBConnectParams {
public:
    explicit TIBConnectParams(TDBParams* Params) : FParams(Params) {}
    std::string InstanceName() const;
    void SetInstanceName(const std::string& Value);
    void Assign(const TIBConnectParams& Source) { SetInstanceName(Source.InstanceName()); }

private:
    TDBParams* FParams;
};

// Named views of the database's DBParams. Params is the owner database's list; without one
// (an owner that is not a database) the getters answer "" and the setters do nothing.
class TConnectParams {
public:
    TConnectParams(TObject* Owner, TDBParams* Params) : FOwner(Owner), FParams(Params), FIB2007(Params) {}
    TObject* Owner() const { return FOwner; }
    std::string UserName() const { return Read(dpbUserName); }
    void SetUserName(const std::string& Value) { Write(dpbUserName, Value); }
    std::string RoleName() const { return Read(dpbSqlRoleName); }
    void SetRoleName(const std::string& Value) { Write(dpbSqlRoleName, Value); }
    std::string Password() const { return Read(dpbPassword); }
    void SetPassword(const std::string& Value) { Write(dpbPassword, Value); }
    // Stored upper-cased.
    std::string CharSet() const { return Read(dpbLcCtype); }
    void SetCharSet(const std::string& Value);
    bool IsFirebird = true;
    TIBConnectParams& IB2007() { return FIB2007; }
    const TIBConnectParams& IB2007() const { return FIB2007; }
    void SetIB2007(const TIBConnectParams& Value) { FIB2007.Assign(Value); }

private:
    std::string Read(int Code) const { return FParams ? FParams->ReadParam(Code) : std::string(); }
    void Write(int Code, const std::string& Value) {
        if (FParams) FParams->WriteParam(Code, Value);
    }
    TObject* FOwner;
    TDBParams* FParams;
    TIBConnectParams FIB2007;
};

// --- Generator cache -----------------------------------------------------------------------

class TGeneratorsCache;

class TGeneratorParams {
public:
    TGeneratorParams(TGeneratorsCache& Cache, std::string Name);
    const std::string& Name() const { return FName; }
    int32_t StepForCache;   // the owning cache's DefaultStep at creation
    // The next cached value, -1 when none is left; Limit is the last value of the block.
    int64_t NextValue = -1;
    int64_t Limit = -1;

    // Hands out the next cached value (-1 when none): see TGeneratorsCache for the file rule.
    int64_t TakeNextValue();

private:
    TGeneratorsCache& FCache;
    std::string FName;
};

// A client-side cache of generator values, so that a data set takes a value without asking
// the server while a block fetched earlier lasts.
//
// The rule that keeps every value unique: a block in the cache is exactly the range that the
// server's increment reserved (the step used for the fetch is given with the block, and a step
// below 1 is never used), and while CacheFileName is set the file is the one record of every
// generator's remaining block: every take and every new block re-reads the generator's section
// and writes it back under an exclusive lock on the file. So cache objects and processes that
// share one file share its blocks without handing out a value twice; a block replaced before
// it was used up leaves a gap, never a repeat.
//
// The file is an ini file: one section per generator with the keys "StepForCache",
// "NextValue" and "Limit" (64-bit decimal).
class TGeneratorsCache {
public:
    explicit TGeneratorsCache(TObject* Owner = nullptr);
    TGeneratorsCache(const TGeneratorsCache&) = delete;
    TGeneratorsCache& operator=(const TGeneratorsCache&) = delete;
    TObject* GetOwner() const { return FOwner; }

    std::string CacheFileName;
    TUseGeneratorCache UseGeneratorCache = No;
    int32_t DefaultStep = 50;

    int GeneratorCount() const { return static_cast<int>(FGenerators.size()); }
    TGeneratorParams& Generator(int Index) { return *FGenerators.at(static_cast<size_t>(Index)); }
    TGeneratorParams& AddGenerator(const std::string& Name);
    // Copies the names and steps; the copies hold no cached block.
    void SetGeneratorList(const TGeneratorsCache& Source);

    // False without a file name; No: false; forAll: true; forGeneratorList: when listed.
    bool IsCached(const std::string& GeneratorName) const;
    // The generator's item (names compared ASCII-case-insensitively), or nil.
    TGeneratorParams* FindGenerator(const std::string& Name) const;
    // Reads the file first (once); the item's TakeNextValue, or -1 without an item.
    int64_t GetNextValue(const std::string& Name);
    // Stores the block LastValue - Step + 1 .. LastValue that a fetch with increment Step
    // reserved (Step 0: GetStep(Name)); with no item and forAll an item is added first.
    void SetGeneratorBlock(const std::string& Name, int64_t LastValue, int32_t Step = 0);
    // The increment to fetch a block with: the item's StepForCache, else DefaultStep; never
    // below 1.
    int32_t GetStep(const std::string& Name) const;

    // Every section of the file becomes an item (read once, by the first GetNextValue).
    void LoadFromFile();

private:
    friend class TGeneratorParams;
    void ReadItem(TGeneratorParams& Item) const;
    void SaveItem(const TGeneratorParams& Item) const;

    TObject* FOwner;
    std::vector<std::unique_ptr<TGeneratorParams>> FGenerators;
    bool FLoaded = false;
};

// --- Schema cache and blob swapping --------------------------------------------------------

struct TCacheSchemaOptions {
    std::string LocalCacheFile;
    bool AutoSaveToFile = false;
    bool AutoLoadFromFile = false;
    bool ValidateAfterLoad = true;
};

class TBlobSwapSupport {
public:
    bool Active = false;
    bool AutoValidateSwap = false;
    std::string SwapDir = "{APP_PATH}";
    int32_t MinBlobSizeToSwap = 0;
    const TStringList& Tables() const { return FTables; }
    void SetTables(const TStringList& Value) { FTables.Assign(Value); }
    void Assign(const TBlobSwapSupport& Source);
    // Empty when not Active; otherwise SwapDir with a leading "{APP_PATH}" (any case) replaced by
    // the program's folder, ending in "/".
    std::string GetExpandedSwapDir() const;

private:
    TStringList FTables;
};

// --- Conditions ----------------------------------------------------------------------------

class TConditions;

// One named WHERE condition: a line "Name=Text" of its list, switched on or off.
class TCondition {
public:
    TCondition(TConditions& Owner, std::string Line) : FOwner(Owner), FLine(std::move(Line)) {}
    TConditions& Owner() const { return FOwner; }
    const std::string& Line() const { return FLine; }
    // The text before the line's first "=" (empty without one) and the text after it.
    std::string Name() const;
    std::string Text() const;
    // A change rewrites the line as name + "=" + text.
    void SetText(const std::string& Value);
    bool Enabled() const { return FEnabled; }
    // A change takes the list's applied mark away.
    void SetEnabled(bool Value);

private:
    friend class TConditions;
    TConditions& FOwner;
    std::string FLine;
    bool FEnabled = false;
};

// Named conditions that a statement can add to its top-level WHERE clause. Every line owns its
// own TCondition; assigning a list copies each condition (line and Enabled).
class TConditions {
public:
    explicit TConditions(IConditionsStatement* Owner = nullptr) : FOwner(Owner) {}
    TConditions(const TConditions&) = delete;
    TConditions& operator=(const TConditions&) = delete;
    IConditionsStatement* Owner() const { return FOwner; }

    void Assign(const TConditions& Source);

    int Count() const { return static_cast<int>(FConditions.size()); }
    const std::string& Strings(int Index) const { return FConditions.at(static_cast<size_t>(Index))->Line(); }
    // The condition, nil outside 0..Count-1.
    TCondition* GetCondition(int Index) const;
    // The index of the line whose name is Name (ASCII case folded), -1 when none.
    int IndexOfName(std::string_view Name) const;

    // Adds a line with a new, disabled condition; answers its index.
    int Add(const std::string& Line);
    // Index Count adds a line; any other index replaces that line's text.
    void Put(int Index, const std::string& Line);
    void Delete(int Index);
    void Clear();
    // Every line followed by CR LF.
    std::string Text() const;

    // An existing condition of that name gets the new text; otherwise Name=Text is added. Sets
    // Enabled (enabling takes the applied mark away).
    TCondition& AddCondition(const std::string& Name, const std::string& Text, bool Enabled);
    TCondition* FindCondition(std::string_view Name) const;
    void RemoveCondition(std::string_view Name);

    // "(" text ")" CR LF for each enabled condition with a non-blank line, joined by
    // CR LF " and "; empty without one.
    std::string BuildText() const;
    // Adds the enabled conditions to the statement's top-level WHERE clause, starting from the
    // statement's text before the first Apply (or from a text the program set since).
    void Apply();
    // RestoreSQL unless an Apply, cancel or restore is running.
    void CancelApply();
    // Puts the statement's text from before the first Apply back, unless the program has set
    // a text of its own since the last Apply.
    void RestoreSQL();
    bool Applied() const { return FApplied; }
    const std::string& SavedSQL() const { return FSavedSQL; }

    // The repository's form: one line per condition, name "#$#$" text "#$#$" 0 or 1.
    void SaveConditionsToStrings(TStringList& Strings) const;
    std::string SaveConditionsToText() const;
    void LoadConditionsFromStrings(const TStringList& Strings);
    void LoadConditionsFromText(const std::string& Text);

private:
    friend class TCondition;
    static constexpr uint8_t BusyApplying = 1;
    static constexpr uint8_t BusyCancelling = 2;
    static constexpr uint8_t BusyRestoring = 4;

    IConditionsStatement* FOwner;
    std::vector<std::unique_ptr<TCondition>> FConditions;
    bool FApplied = false;
    std::string FSavedSQL;
    std::string FLastSQL;   // the statement's text as the last Apply or restore left it
    uint8_t FBusy = 0;
};

// --- Memo subtypes -------------------------------------------------------------------------

// Blob subtypes besides 1 that hold text.
class TMemoSubtypes {
public:
    explicit TMemoSubtypes(TObject* Owner = nullptr) : FOwner(Owner) {}
    TObject* Owner() const { return FOwner; }
    // The words whose value is not 1, joined by ";".
    const std::string& Subtypes() const { return FText; }
    // Words separated by ";"; a word that is not a number counts as 1; values outside 0..255
    // cannot name a blob subtype byte and are kept in the text only.
    void SetSubtypes(const std::string& Value);
    bool IsMemoSubtype(uint8_t Subtype) const;
    // Some word has a value other than 1.
    bool AnyNotOne() const { return FAnyNotOne; }
    const std::vector<uint8_t>& SubtypeBytes() const { return FBytes; }

private:
    TObject* FOwner;
    bool FAnyNotOne = false;
    std::vector<uint8_t> FBytes;
    std::string FText;
};

} // namespace qnl
