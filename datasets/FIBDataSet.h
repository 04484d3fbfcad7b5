#pragma once
// The data set over one SELECT statement: TFIBCustomDataSet fetches the statement's rows on
// demand into its record cache, walks them forward and back, forms and resolves bookmarks and
// reads and writes field values in its record buffers; TFIBDataSet is the class programs use.
// The field classes of the Firebird column kinds and the data set's blob stream live here too.
//
// Record buffer of the data set (sizes fixed at open):
//   record number (4 bytes, the record's 0-based cache index), bookmark flag (1 byte), cached-
//   update status (1 byte, low three bits), one null flag per output column (1 = null), the
//   columns kept in the buffer at their DataOffset, the string slots of the columns kept in the
//   cache's string collection (a 32-bit length and DataSize characters each), one pointer-sized
//   blob-stream slot per blob field, then the calculated-field area.
// A cache record is the buffer from its sixth byte on, without the string slots.
//
// Stored column formats (the native field formats of platform/Fields.h where a field reads
// them, except TIME): TIME as the client's ten-thousandths of a second (a field reads whole
// milliseconds), DATE as the day number from 1 January 0001, TIMESTAMP as a double of
// milliseconds since then (ten-thousandths kept as its fraction), a 64-bit NUMERIC with more than four decimals as a double unless
// psSQLINT64ToBCD, text as the server sent it (a wide-string field decodes it from UTF-8), every
// other type as its client bytes.
//
// Built here: prepare, open and close, fetching, navigation, bookmarks, field definitions and
// classes, field values and blob streams, field origins and key fields, the parameters a master
// data set gives at open, the transaction and controls events, and of the edit side the checks,
// the post of a record into the cache, deleting (cached or through DeleteSQL with parameters
// from the record), re-reading a record through RefreshSQL, cancel, cancelling cached changes
// and the reaction to the end of the read transaction, the local filter (FIBDataSetFilter.cpp), and
// the local sort, locate and lookup (FIBDataSetSort.cpp), following a master
// (FIBDataSetDetail.cpp) and the limited cache model (FIBDataSetLimited.cpp). The insert and
// update statements are run by derived classes.
#include "client/FIBDatabase.h"
#include "client/FIBMiscellaneous.h"
#include "client/FIBQuery.h"
#include "client/FIBSafeTimer.h"
#include "client/dAZIRadur.h"
#include "client/pFIBInterfaces.h"
#include "datasets/FIBCacheManage.h"
#include "datasets/pFIBFieldsDescr.h"
#include "platform/DataSet.h"
#include "platform/Fields.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace qnl {

class TExpressionParser;
class TFIBCustomDataSet;

// True when a line of Lines holds more than blanks (a statement text that counts).
bool HasNonBlankLine(const TStringList& Lines);

// A stored TIMESTAMP (milliseconds from 1 January 0001, the ten-thousandths as the fraction) as
// the client API's value, every ten-thousandth kept.
ISC_TIMESTAMP IscStampOfStored(double Ms);

enum TCachedUpdateStatus : uint8_t {
    cusUnmodified, cusModified, cusInserted, cusDeleted, cusUninserted, cusDeletedApplied
};
using TFIBUpdateRecordTypes = uint8_t;   // bit n: status n
enum TCacheModelKind : uint8_t { cmkStandard, cmkLimitedBufferSize };
enum TTransactionKind : uint8_t { tkReadTransaction, tkUpdateTransaction };
// What the handlers of the cached-changes apply answer for one record.
enum TFIBUpdateAction : uint8_t { uaFail, uaAbort, uaSkip, uaRetry, uaApply, uaApplied };

// The options of ExtLocate (bit n: option n) and where it searches.
using TLocateExOptions = uint8_t;
inline constexpr TLocateExOptions lxCaseInsensitive = 1;
inline constexpr TLocateExOptions lxPartialKey = 2;
inline constexpr TLocateExOptions lxSqlMask = 4;      // the key is a LIKE mask with "%" and "_"
inline constexpr TLocateExOptions lxSortedSearch = 8; // bisect when the data set is sorted on the keys
inline constexpr TLocateExOptions lxNearest = 16;     // not found: stop where the key would be
inline constexpr TLocateExOptions lxFetchedOnly = 32; // never fetch more rows
// ldFirst: from the first record on; ldNext: from the record after the current one on;
// ldPrior: backward from the record before the current one.
enum TLocateExDirection : uint8_t { ldFirst, ldNext, ldPrior };
// A field of a local sort: its index in Fields, its name, or the field itself.
using TSortElement = std::variant<int, std::string, TField*>;
// -1, 0 or 1 for S1 <, =, > S2 (Null before every value).
using TCompareFieldValuesEvent = std::function<int(TField* Field, const Variant& S1, const Variant& S2)>;

// Called after a row is stored in the cache; Stop ends the fetch after that row.
using TOnFetchRecord = std::function<void(TFIBQuery* FromQuery, int RecordNumber, bool& StopFetching)>;
using TOnGetRecordError = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFieldNotify = std::function<void(TField* Field)>;
using TOnBlobFieldProcessing = std::function<void(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop)>;
class TFIBCustomDataSet;
class TFIBBlobField;
// Fills the body of a client blob field (one the program computes) when it is first read.
using TOnFillClientBlob = std::function<void(TFIBCustomDataSet* DataSet, TFIBBlobField* Field, TFIBBlobStream* Stream)>;
using TEndTransactionEvent = std::function<void(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force)>;
using TFIBUpdateErrorEvent =
    std::function<void(TDataSet* DataSet, EFIBError& E, TUpdateKind UpdateKind, TFIBUpdateAction& UpdateAction)>;
using TFIBUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TFIBUpdateAction& UpdateAction)>;
using TFIBAfterUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, bool& Resume)>;

class TCacheModelOptions {
public:
    explicit TCacheModelOptions(TFIBCustomDataSet* Owner) : FOwner(Owner) {}
    static constexpr int32_t MinLimitedBufferChunks = 100;
    TCacheModelKind CacheModelKind() const { return FCacheModelKind; }
    // The owner must be inactive. The limited model (at most BufferChunks rows held, the rows
    // around them fetched by the ORDER BY's keys) needs what CanUseLimitedCache checks (client
    // error 75 otherwise) and at least 100 BufferChunks.
    void SetCacheModelKind(TCacheModelKind Value);
    int32_t BufferChunks() const { return FBufferChunks; }
    // The owner must be inactive; 0 or less stores 32 (in the limited model at least 100).
    void SetBufferChunks(int32_t Value);
    int32_t BlobCacheLimit = 0;
    std::string PlanForDescSQLs;

private:
    TFIBCustomDataSet* FOwner;
    TCacheModelKind FCacheModelKind = cmkStandard;
    int32_t FBufferChunks = 32;
};

// ---- The data set ---------------------------------------------------------------------------

// The data set's link to its master's data source: the detail follows the master's record.
class TFIBDataLink : public TDetailDataLink {
public:
    explicit TFIBDataLink(TFIBCustomDataSet* DataSet) : FDataSet(DataSet) {}
    TDataSet* GetDetailDataSet() override;

protected:
    // The master opened (the detail follows its record) or closed.
    void ActiveChanged() override;
    // A pending edit of the detail is posted before the master moves.
    void CheckBrowseMode() override;
    // The master moved or re-read its record: the detail follows when the values it takes
    // from the master changed.
    void RecordChanged(TField* Field) override;

private:
    TFIBCustomDataSet* FDataSet;
};

class TFIBCustomDataSet : public TDataSet, public ISQLObject, public ISQLDataSetObject {
public:
    explicit TFIBCustomDataSet(TComponent* AOwner = nullptr);
    ~TFIBCustomDataSet() override;
    std::string ClassName() const override { return "TFIBCustomDataSet"; }

    // ---- Links (property writers need a closed data set: client error 28)
    TFIBDatabase* Database() const { return FBase.Database(); }
    void SetDatabase(TFIBDatabase* Value);
    TFIBTransaction* Transaction() const { return FBase.Transaction(); }
    void SetTransaction(TFIBTransaction* Value);
    TFIBTransaction* UpdateTransaction() const { return FUpdateQuery->Transaction(); }
    void SetUpdateTransaction(TFIBTransaction* Value);
    TFIBBase& Base() { return FBase; }

    // ---- Statements and their texts
    TFIBQuery& SelectQuery() { return *FSelectQuery; }
    TFIBQuery& UpdateQuery() { return *FUpdateQuery; }
    TFIBQuery& InsertQuery() { return *FInsertQuery; }
    TFIBQuery& DeleteQuery() { return *FDeleteQuery; }
    TFIBQuery& RefreshQuery() { return *FRefreshQuery; }
    THookedStringList& SelectSQL() { return FSelectQuery->SQL(); }
    THookedStringList& UpdateSQL() { return FUpdateQuery->SQL(); }
    THookedStringList& InsertSQL() { return FInsertQuery->SQL(); }
    THookedStringList& DeleteSQL() { return FDeleteQuery->SQL(); }
    THookedStringList& RefreshSQL() { return FRefreshQuery->SQL(); }
    // Assigns SelectQuery's text (client error 28 while open).
    void SetSelectSQL(const std::string& Text);
    TFIBXSQLDA& Params() { return FSelectQuery->Params(); }
    TFIBXSQLVAR& ParamByName(const std::string& Name) { return FSelectQuery->ParamByName(Name); }
    TConditions& Conditions() { return FSelectQuery->Conditions(); }

    // ---- Options
    TpFIBDsOptions Options() const { return FOptions; }
    void SetOptions(TpFIBDsOptions Value);
    TpPrepareOptions PrepareOptions() const { return FPrepareOptions; }
    virtual void SetPrepareOptions(TpPrepareOptions Value);
    bool UniDirectional() const { return FUniDirectional; }
    void SetUniDirectional(bool Value);
    bool CachedUpdates() const { return FCachedUpdates; }
    void SetCachedUpdates(bool Value);
    // The cached statuses of the records shown (bit n: status n); a change moves an open data
    // set to its first record.
    TFIBUpdateRecordTypes UpdateRecordTypes() const { return FUpdateRecordTypes; }
    void SetUpdateRecordTypes(TFIBUpdateRecordTypes Value);
    TFieldOriginRule FieldOriginRule = forTableAndFieldName;
    // The transaction RefreshSQL runs in: the read one, or the update one (which sees what the
    // data set wrote before it commits).
    TTransactionKind RefreshTransactionKind() const { return FRefreshTransactionKind; }
    void SetRefreshTransactionKind(TTransactionKind Value);
    // Closes the data set; the modify statements never run locally only.
    TMDTSQLExecutor MDTSQLExecutor() const { return FMDTSQLExecutor; }
    void SetMDTSQLExecutor(TMDTSQLExecutor Value);
    // The kinds of change the extended data sets allow (bit n: TUpdateKind n).
    TUpdateKinds AllowedUpdateKinds = 0x7;
    bool AutoCommit = false;
    TCacheModelOptions& CacheModelOptions() { return FCacheModelOptions; }
    TAutoUpdateOptions& AutoUpdateOptions() { return FAutoUpdateOptions; }

    // ---- Master data set (its fields give the SELECT's parameters at open); client error 50
    // when the source's chain of masters leads back to this data set.
    TDataSource* DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource* Value);
    // dcForceOpen: a master change opens a closed detail; dcIgnoreMasterClose: the detail stays
    // open when the master closes; dcForceMasterRefresh: the master re-reads its record after
    // the detail deletes one (without cached updates) or re-reads one; dcWaitEndMasterScroll:
    // the detail follows only once the master stood still for EndScrollInterval.
    TDetailConditions DetailConditions() const;
    void SetDetailConditions(TDetailConditions Value);
    // Milliseconds of the master's stillness that dcWaitEndMasterScroll and OnEndScroll wait for.
    uint32_t EndScrollInterval = 300;
    // Fired once, EndScrollInterval after the last of a series of scrolls.
    const TNotifyEvent& OnEndScroll() const { return FOnEndScroll; }
    void SetOnEndScroll(TNotifyEvent Value);
    // True when a value this data set's SELECT takes from the master differs from the master's
    // current one (or a macro of the SELECT changed).
    virtual bool MasterFieldsChanged();
    // The master moved to other values: the detail refreshes now, or after the wait.
    void MasterChanged();
    // Opens the detail again with the master's current values (a closed detail stays closed
    // unless dcForceOpen).
    void RefreshDetail();
    // The master closed: the detail closes too, unless dcIgnoreMasterClose.
    void MasterClosed();
    // A refresh still waiting for the master to stand still runs now (the masters' first).
    void FinishPendingDetailRefresh();
    // The master re-reads its current record.
    void RefreshMaster();

    // ---- Events
    // The read transaction's (and the update transaction's) start and end, with the transaction
    // as sender.
    TNotifyEvent BeforeStartTransaction, AfterStartTransaction;
    TEndTransactionEvent BeforeEndTransaction, AfterEndTransaction;
    TNotifyEvent BeforeStartUpdateTransaction, AfterStartUpdateTransaction;
    TEndTransactionEvent BeforeEndUpdateTransaction, AfterEndUpdateTransaction;
    // Fired when the framework's controls become disabled or enabled again.
    TNotifyEvent OnEnableControls, OnDisableControls;
    TNotifyEvent DatabaseDisconnecting, DatabaseDisconnected, DatabaseFree;
    TNotifyEvent TransactionEnding, TransactionEnded, TransactionFree;
    TOnFetchRecord AfterFetchRecord;
    // The apply of cached changes (TpFIBDataSet) asks them for each changed record.
    TFIBUpdateErrorEvent OnUpdateError;
    TFIBUpdateRecordEvent OnUpdateRecord;
    TFIBAfterUpdateRecordEvent AfterUpdateRecord;
    void SetBeforeFetchRecord(TOnFetchRecord Value);
    TOnGetRecordError OnGetRecordError;
    TFieldNotify OnFieldChange;
    TOnBlobFieldProcessing OnReadBlobField, OnWriteBlobField;
    TOnFillClientBlob OnFillClientBlob;
    // Listeners called right after the published events, in list order.
    TNotifyEventList& BeforeOpenListeners() { return FBeforeOpenListeners; }
    TNotifyEventList& AfterOpenListeners() { return FAfterOpenListeners; }
    TNotifyEventList& BeforeCloseListeners() { return FBeforeCloseListeners; }

    // ---- Prepare, open, close
    void Prepare() override;
    bool Prepared() const { return FPrepared; }
    void FetchAll();
    // Frees the statements' server handles; the data set is unprepared afterwards.
    void FreeHandles();
    void CloseOpen(bool DoFetchAll);
    // Fetches up to Count more rows into the cache; answers how many came.
    uint32_t FetchNext(uint32_t Count);
    bool UpdatesPending() const { return FUpdatesPending; }
    // Checks with the full component name in their messages.
    void CheckDataSetClosed(const std::string& Reason);
    void CheckDataSetOpen(const std::string& Reason);
    void CheckNotUniDirectional();
    void CheckEditState();
    void CheckInactive() override;

    // ---- Editing tests
    // No cached updates, an ORDER BY, AutoCommit or one transaction for reading and updating,
    // and no NEW_ parameter in SelectSQL.
    bool CanUseLimitedCache();
    virtual bool CanEdit();
    virtual bool CanInsert();
    virtual bool CanDelete();

    // ---- Editing helpers
    // Fills every parameter of Query from Buffer: OLD_ names from the record's saved version,
    // NEW_ and plain names from Buffer, MAS_ names from the master (client error 49 for no
    // buffer).
    void SetQueryParams(TFIBQuery& Query, TRecordBuffer Buffer);
    // Runs Query (RefreshSQL's statement, or another) for the record in Buffer and stores the
    // row it gives as that record, in Buffer and in the cache; false when no row came. With
    // poRefreshDeletedRecord a record whose row is gone leaves the view. Client error 48 for a
    // blank text or a closed data set that holds records.
    bool RefreshFromQuery(TFIBQuery& Query, TRecordBuffer Buffer);
    // Takes the active record out of the view as deleted on the server.
    void DeleteFromCache();
    // Opens the data set again and returns to the record that was current: found by the values
    // of its data fields (no blobs, no arrays) as RefreshSQL reads them now. Without RefreshSQL,
    // or when it finds the row no more, the data set stays on its first record. The limited
    // model fetches its window again around the current record's row (read again through
    // RefreshSQL with ReRead), or around its place when the row is gone; ResyncAfter then
    // rebuilds the buffers.
    void FullRefresh(bool ResyncAfter = true, bool ReRead = true);
    // Keeps the record's version before its first change (OldValue, OLD_ parameters).
    void SaveOldVersion(TRecordBuffer Buffer);
    // For Field's blob stream in Buffer, or every blob field's when Field is nil: Mode 1 writes
    // a changed body to the server (only accepts it when KeepWhenId and the stream has an id),
    // Mode 2 puts back the body from before the edit, Mode 3 forgets that body, Mode 0 does
    // nothing to the stream. In every mode the column takes the stream's id, null when empty.
    void ProcessBlobStreams(TRecordBuffer Buffer, int Mode, TField* Field, bool Force = false, bool KeepWhenId = false);
    // Prepares a modify statement (0 UpdateQuery, 1 InsertQuery, 2 DeleteQuery, 3 RefreshQuery)
    // unless its text is empty, begins with the line "No Action" or it is prepared already.
    void PrepareModifyQuery(int Kind);
    // Runs a modify statement meant for one record; an update or delete that reaches more than
    // one row is undone (its transaction goes on) and raised as an error naming Operation.
    void ExecRecordQuery(TFIBQuery& Query, const char* Operation);
    // Starts UpdateTransaction when assigned, inactive and poStartTransaction is set.
    void StartUpdateTransaction();
    // Client error 22 without UpdateTransaction; client error 15 when it is not active.
    void CheckUpdateTransaction();
    // With AutoCommit: commits an active update transaction (retaining when it is the read
    // transaction or its TimeoutAction is TACommitRetaining).
    void AutoCommitUpdate();
    // Drops every cached change: edited records get their first saved values back, records
    // inserted since the last apply are hidden, deleted ones shown again.
    virtual void CancelUpdates();
    // A new record buffer holding the saved version of a record (0-based cache index; -1: the
    // active record's); nil for -1 without an active record.
    std::unique_ptr<char[]> GetOldRecordBuffer(int RecordNumber = -1);

    // ---- Columns and fields
    TFIBFieldDescrList& FieldDescriptions() { return FFieldDescr; }
    // The descriptor of a data field (nil for other fields or before open).
    TFIBFieldDescr* FieldDescr(const TField* Field);
    TField* FindFieldCached(const std::string& Name);
    TField* FieldByNameCached(const std::string& Name);
    // The output column's XSQLVAR; zero-filled with type 65535 when there is none.
    XSQLVAR GetFieldXSQLVar(TField* Field);
    int GetFieldScale(TField* Field);
    std::string GetRelationName(const std::string& FieldName, int FieldNo);
    std::string GetRelationName(TField* Field) override;
    std::string GetSqlName(TField* Field) override;
    std::string GetFieldTableAlias(TField* Field) override;
    // A field's value read from the cache (record number from 1) without moving the cursor.
    Variant GetCacheFieldValue(TField* Field, int RecordNumber);
    // The ORDER BY as read at open: one row per item (field name, ascending, nulls first), or
    // Null when the order is not one of fields.
    const Variant& SortFields() const { return FSortFields; }
    // Distinct relation names of the data fields, filled after open.
    const TStringList& RelationNames() const { return FRelationNames; }

    // ---- Origins and key fields
    std::string GetFieldOrigin(TField* Field) override;
    TField* FindFieldByOrigin(const std::string& TableName, const std::string& ColumnName);
    TField* FindFieldByFullName(const std::string& Text);
    TField* FindFieldByColumnName(const std::string& ColumnName);
    // The table's primary-key fields (column names or field names) joined by ";"; empty when a
    // key column is missing from the data set.
    std::string GetTableKeyFields(const std::string& TableName, bool AsColumnNames);
    bool GetBlobSwapKey(TField* Field, std::string& TableName, std::string& ColumnName,
                        std::vector<Variant>& KeyValues);
    bool IsDBKeyField(TField* Field);
    bool IsBlobFieldModified(TField* Field);

    // ---- Arrays (the array field's value)
    Variant GetArrayFieldValues(TField* Field);
    void SetArrayFieldValues(TField* Field, const Variant& Value);

    // ---- The framework's field protocol
    using TDataSet::GetFieldData;
    using TDataSet::SetFieldData;
    bool GetFieldData(TField* Field, void* Buffer) override;
    void SetFieldData(TField* Field, const void* Buffer) override;
    void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) override;
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
    Variant GetStateFieldValue(TDataSetState State, TField* Field) override;
    void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) override;
    bool BookmarkValid(const TBookmark& Bookmark) override;
    int CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override;
    bool IsSequenced() override;
    TUpdateStatus UpdateStatus() override;
    void Resync(TResyncMode Mode) override;
    void Post() override;
    TDataSource* GetDataSource() override { return FDataLink.DataSource(); }

    // ---- The local filter
    // Filtered shows only the records that the Filter text (with FilterOptions) and
    // OnFilterRecord accept. The text is parsed when it is set on an open data set (a text that
    // does not parse raises and leaves Filter as it was) or when the data set opens; a blank
    // text accepts every record. A change of Filter or FilterOptions on an open filtered data
    // set goes to its first record; switching Filtered keeps the current record when it stays
    // shown, else goes to the first one.
    void SetFiltered(bool Value) override;
    void SetFilterText(const std::string& Value) override;
    void SetFilterOptions(TFilterOptions Value) override;
    // Rebuilds the window of shown records around the current one (the next one shown when it
    // is hidden now); a data set at its end stays there.
    void RefreshView(bool KeepFlag);
    // RefreshView, then the first record when the current one changed.
    void RefreshViewKeepRecord();

    // ---- Local sort, search and lookup (FIBDataSetSort.cpp)
    // Two values of Field in the order of a local sort: OnCompareFieldValues when assigned;
    // else Null first, text in the Unicode collation's root order (case-sensitive; Firebird's
    // UNICODE collation sorts the same way), other values by value.
    virtual int CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2);
    TCompareFieldValuesEvent OnCompareFieldValues;
    // Sorts the fetched rows (all are fetched first) by Fields, Ascending[i] giving the
    // direction of Fields[i] (missing entries: ascending); the cursor stays on its record. An
    // element that names no field of this data set raises "Can't sort. Invalid parameter:
    // Fields[i]"; client error 29 on a closed data set.
    virtual void DoSortEx(const std::vector<TSortElement>& Fields, const std::vector<bool>& Ascending);
    // True while a sort state holds at least one field (a local sort, or the ORDER BY read).
    bool IsSorted() const;
    // Moves record FromNo to place ToNo (both 1-based) in the cache (refused in the limited
    // model, as the local sort is: client error 1).
    virtual void MoveRecord(int FromNo, int ToNo, bool ResyncAfter);
    // The locate engine: KeyFields separated by ";", one value per field; a Null key matches a
    // null column. Found: the cursor goes to the record (centred when Center). Not found: the
    // cursor stays, except with lxNearest after a bisection, where it goes where the keys
    // would be. Rows are fetched as the search needs them unless lxFetchedOnly.
    virtual bool ExtLocate(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                           TLocateExOptions Options, bool FromFirst, TLocateExDirection Direction, bool Center);
    // KeyValues: a Variant array with one element per key field, or the one value.
    bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;
    bool LocateWithOptions(const std::string& KeyFields, const Variant& KeyValues, TLocateExOptions Options);
    // The value of ResultFields (an array for several) in the first record whose keys match;
    // Null when none does or ResultFields is blank. The cursor stays where it was.
    Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override;
    // The limited model's locate: a SELECT with the keys as conditions (parameters, never text
    // spliced into the statement) finds the first matching row in the SelectSQL order
    // (ldFirst), after the window (ldNext) or before it (ldPrior); the window is then fetched
    // around it. With Query given, Query is run instead and the answer is whether it found a row.
    bool LocateForPartialCache(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                               TLocateExOptions Options, TLocateExDirection Direction, TFIBQuery* Query);
    // The rows the limited model holds: absolute positions in the SelectSQL order.
    int WindowFirst() const { return FWindow.First; }
    int WindowLast() const { return FWindow.Last; }
    void SetRecNo(int Value) override { SetRecNoEx(Value, false); }
    // Goes to record Value (1-based, as RecNo counts); below 1 the first, beyond the last the
    // last record (all rows fetched). The limited model goes to positions of its window only.
    void SetRecNoEx(int Value, bool Center);

    // ---- ISQLObject and ISQLDataSetObject
    int ParamCount() override { return FSelectQuery->Params().Count(); }
    std::string ParamName(int ParamIndex) override { return FSelectQuery->Params().GetVar(ParamIndex).Name(); }
    int FieldsCount() override { return FieldCount(); }
    bool FieldExist(const std::string& FieldName, int& FieldIndex) override;
    bool ParamExist(const std::string& ParamName, int& ParamIndex) override {
        return FSelectQuery->ParamExists(ParamName, ParamIndex);
    }
    Variant FieldValue(const std::string& FieldName, bool Old) override;
    Variant FieldValue(int FieldIndex, bool Old) override;
    Variant ParamValue(const std::string& ParamName) override { return FSelectQuery->GetParamValue(ParamName); }
    Variant ParamValue(int ParamIndex) override { return FSelectQuery->GetParamValueByIndex(ParamIndex); }
    void SetParamValue(int ParamIndex, const Variant& Value) override {
        FSelectQuery->Params().GetVar(ParamIndex).SetAsVariant(Value);
    }
    std::string FieldName(int FieldIndex) override { return Fields()[FieldIndex]->FieldName(); }
    bool IEof() override { return Eof(); }
    void INext() override { Next(); }
    std::string DefMacroValue(const std::string& MacroName) override {
        return FSelectQuery->GetMacroDefaultValue(MacroName);
    }
    void SetParamValues(const std::vector<Variant>& Values) override { FSelectQuery->SetParamValuesInOrder(Values); }
    void SetParamValues(const std::string& Names, const std::vector<Variant>& Values) override {
        FSelectQuery->SetParamValues(Names, Values);
    }
    // Given by the extended data sets; this class has none (calling it raises).
    void FillParamsToFieldsLinks(TStringList& Links) override;
    void ApplyRepositoryInfo() override;

    // The current record (0-based cache index), the rows in the cache and the record size.
    int CurrentRecordIndex() const { return FCurrentRecord; }
    int CachedRecordCount() const { return FRecordCount; }
    uint32_t RecordBufferSize() const { return FRecordBufferSize; }

protected:
    // A handler may close the data set under its caller, freeing the cache and the record
    // buffers the caller holds: client error 29 naming Handler when a close happened since
    // CloseCount was taken.
    void CheckNotClosedBy(uint32_t CloseCount, const char* Handler);
    uint32_t CloseCount() const { return FCloseCount; }
    // SelectSQL changed since the data set last opened.
    bool SelectSQLChanged() const { return FSQLChanged; }
    void SetServerRecordCount(int Value) { FServerRecordCount = Value; }
    // A fetch of every row moves the cursor without the program asking: no scroll events then.
    bool ScrollEventsLocked() const { return FScrollEventLock != 0; }
    // Runs the field's OnValidate with the value at Buffer (nil for null) pending: the handler
    // reads the value being assigned. The data set refuses to close while it runs.
    virtual void DoFieldValidate(TField* Field, const void* Buffer);

    // ---- Record buffers and the cursor
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& Buffer) override;
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
    uint32_t GetRecordSize() override { return FRecordBufferSize; }
    void InternalInitRecord(TRecordBuffer Buffer) override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalSetToRecord(TRecordBuffer Buffer) override;
    void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) override;
    void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
    void InternalGotoBookmark(const uint8_t* Bookmark) override;
    bool GetCurrentRecord(TRecordBuffer Buffer) override;
    int GetRecNo() override;
    int GetRecordCount() override;
    void GetCalcFields(TRecordBuffer Buffer) override;
    void ClearCalcFields(TRecordBuffer Buffer) override;

    // ---- Open and close
    // A data set given only a transaction takes its database, one given only a database its
    // default transaction.
    void ResolveDatabaseAndTransaction();
    // The next open prepares the data set again.
    void ClearPrepared() { FPrepared = false; }
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() override { return FOpen; }
    void InternalInitFieldDefs() override;
    void CloseCursor() override;
    void DoBeforeOpen() override;
    void DoAfterOpen() override;
    void DoBeforeClose() override;
    void DoAfterClose() override;
    void DoBeforeInsert() override;
    void DoBeforeCancel() override;
    void DoBeforeScroll() override;
    void DoAfterScroll() override;
    void DataEvent(TDataEvent Event, intptr_t Info) override;
    TFieldClass GetFieldClass(TFieldType FieldType) override;
    void CheckFieldCompatibility(TField* Field, TFieldDef* FieldDef) override;
    bool GetCanModify() override { return CanEdit() || CanInsert() || CanDelete(); }

    // ---- Editing
    void InternalPost() override;
    void InternalDelete() override;
    void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
    void InternalCancel() override;
    // Re-reads the active record through RefreshSQL.
    void InternalRefresh() override;
    // Re-reads the record in Buffer through Query.
    virtual void InternalRefreshRecord(TFIBQuery& Query, TRecordBuffer Buffer, bool SortChanged);
    void DoBeforeEdit() override;
    void DoBeforeDelete() override;
    void DoBeforePost() override;
    void DoAfterDelete() override;
    // A posted record whose sort values changed moves to its sorted place (poKeepSorting).
    void DoAfterPost() override;
    // True when the record being posted must move: it is sorted with poKeepSorting and a sort
    // field's value differs from its old value.
    bool SortFieldsChanged();
    // Moves the active record to its place in the sort order (a sort without poKeepSorting
    // only stops counting as sorted).
    void ResortRecord();
    // What a failed post does before the error handlers decide: every array field still holds
    // the user's array (see TFIBArrayField::RewriteAfterFailedPost).
    virtual void DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action);
    // Runs the modify statement of a posted record; nothing in this class.
    virtual void InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer);
    // Runs the delete statement for the record in Buffer and marks the record deleted.
    virtual void InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer);
    // After a modify statement for one record: an UPDATE or DELETE (also with RETURNING) that
    // changed no row found the row gone or changed by someone else; that is an error, never a
    // change saved.
    void CheckRecordChanged(TFIBQuery& Query);
    // Fires AfterEndUpdateTransaction.
    virtual void DoAfterEndUpdateTransaction(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force);
    // The read transaction's end and the database's disconnect.
    virtual void DoTransactionEnding(TObject* Sender);
    virtual void DoTransactionEnded(TObject* Sender);
    // Whether a record is shown: its status is in UpdateRecordTypes (any status while a local
    // sort runs, and in the limited model) and, while Filtered, the Filter text's evaluator and
    // then OnFilterRecord accept it (each asked only while the record is still accepted).
    virtual bool IsVisibleRecord(TRecordBuffer Buffer);
    // Whether a filtered data set tests records at all: it has a Filter text or OnFilterRecord.
    virtual bool FiltersRecords();
    // Tests the current record in the filter state (its fields read the record being tested):
    // the Filter text's evaluator, then OnFilterRecord while still accepted.
    virtual void FilterRecord(bool& Accept);
    // IsVisibleRecord of the cached record at Index (0-based), tested as the filter tests the
    // cursor's record.
    bool IsCachedRecordVisible(int Index);
    // A statement's SQL is about to change (Sender: the statement): forgets what was built from
    // the old text; a SELECT change needs a closed data set and unprepares it.
    virtual void SQLChanging(TObject* Sender);
    // Empty here; derived classes ask the server for the count.
    virtual void DoAskRecordCount() {}

    // ---- What the apply of cached changes keeps up to date
    void SetUpdatesPending(bool Value) { FUpdatesPending = Value; }
    void SetPendingChangeCount(int Value) { FPendingChangeCount = Value; }
    TRecordsCache* RecordsCache() { return FRecords.get(); }
    // Blob fields read from this record (0-based cache index) while it is applied; -1 ends it.
    void SetBlobReadRecord(int Index) {
        FBlobReadMode = Index < 0 ? 0 : 1;
        FBlobReadRecord = Index;
    }

    // ---- A record buffer's header: record number (0-based cache index) and cached status
    static int32_t RecordNumberOf(TRecordBuffer Buffer) {
        int32_t number;
        std::memcpy(&number, Buffer, sizeof number);
        return number;
    }
    static TCachedUpdateStatus RecordStatusOf(TRecordBuffer Buffer) {
        return static_cast<TCachedUpdateStatus>(static_cast<uint8_t>(Buffer[5]) & 7);
    }
    static void SetRecordStatus(TRecordBuffer Buffer, TCachedUpdateStatus Status) {
        Buffer[5] = static_cast<char>((static_cast<uint8_t>(Buffer[5]) & ~7) | Status);
    }

    // ---- Fetching
    void FetchRecordToCache(TFIBQuery& Query, int Index);
    void FetchRecord(TFIBQuery& Query, int Index, TRecordBuffer Buffer);
    void ReadRecordFromCache(int Index, TRecordBuffer Buffer, bool Old, int RecordNumberBase = 0);
    void WriteRecordToCache(int Index, TRecordBuffer Buffer);

private:
    friend class TFIBDSBlobStream;
    friend class TFIBStringField;
    friend class TFIBWideStringField;
    friend class TFIBBCDField;
    friend class TFIBBooleanField;
    friend class TFIBBlobField;

    std::unique_ptr<TFIBQuery> CreateInternalQuery(const std::string& Name);
    // The statements that stand for one record (update, delete, refresh): a null parameter is
    // never turned into IS NULL in them.
    bool ComparesOneRecord(const TFIBQuery& Query) const;
    void BuildFieldDefs();
    void LayOutRecord();
    bool DefaultFieldsMode();
    void ChangeFilter(const std::string& Text, TFilterOptions Options);
    void BuildFilterParser(const std::string& Text, TFilterOptions Options);
    void PrepareBookMarkSize();
    void GetOrderInfo();
    void SetCloseOnTransactionEnd();
    void DatabaseDisconnectingHandler(TObject* Sender);
    void FreeOwnedStreams();
    void FireListeners(TNotifyEventList& List);
    // Master field values into SelectSQL's parameters (before the SELECT runs).
    void SetParamsFromMaster();
    // A TIME or TIMESTAMP field's value as the client API holds it, ten-thousandths of a second
    // included (the field itself gives milliseconds); false when null or of another type.
    bool ReadIscTime(TField* Field, ISC_TIMESTAMP& Stamp);
    // The transaction callbacks: the four of the read transaction, the four of the update one.
    void AddReadCallbacks(TFIBTransaction* Tr);
    void AddUpdateCallbacks(TFIBTransaction* Tr);
    void RemoveUpdateCallbacks(TFIBTransaction* Tr);
    void ReadTrBeforeStart(TObject* Sender);
    void ReadTrAfterStart(TObject* Sender);
    void ReadTrBeforeEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force);
    void ReadTrAfterEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force);
    void UpdateTrBeforeStart(TObject* Sender);
    void UpdateTrAfterStart(TObject* Sender);
    void UpdateTrBeforeEnd(TFIBTransaction* Tr, TTransactionAction Action, bool Force);
    // The buffer a field's value is read from (Algorithm of GetFieldData, step 2); Scratch
    // holds a temporary buffer when one was made.
    TRecordBuffer FieldReadBuffer(TField* Field, std::vector<char>& Scratch, bool& HasRecord);
    bool ReadColumn(TField* Field, const TFIBFieldDescr& Descr, const char* Record, void* Dest);
    // A data field's value in a record buffer, as GetCacheFieldValue gives it.
    Variant ColumnValue(TField* Field, const TFIBFieldDescr& Descr, const char* Record);
    // The sort fields' values of record Index (0-based), for the local sort.
    void SortValues(const std::vector<TField*>& Fields, int Index, std::vector<char>& Record, Variant* Values);
    // Text of a character column in a record buffer: the bytes, trimmed by the options.
    std::string ColumnText(const TFIBFieldDescr& Descr, const char* Record);
    bool TrimsText(const TFIBFieldDescr& Descr) const;
    int ReduceIndex(int Index) const;
    bool Limited() const { return FCacheModelOptions.CacheModelKind() == cmkLimitedBufferSize; }
    // True when the cache holds the record at Index (0-based position).
    bool HoldsRecord(int Index) const;
    // ---- The limited model (FIBDataSetLimited.cpp)
    // An ORDER BY that leaves rows tied would let the window statements skip or repeat them:
    // the table's primary key completes the order when the SELECT reads one table.
    void AddOrderTieBreaker();
    // The statement that reads from the first row: SelectQuery, or its copy in the completed order.
    TFIBQuery& FirstRowsQuery();
    // The four statements around the window, built from SelectSQL and the ORDER BY at open.
    void PrepareLimitedCacheQueries();
    // Makes Query the statement that delivers rows: its NEW_ parameters from the record at
    // Position, the rest from SelectQuery's parameters; then it runs.
    void SwitchSelectQuery(TFIBQuery& Query, int Position);
    // Runs Query for the rows after or before the record in Source.
    void StartWindowQuery(TFIBQuery& Query, TRecordBuffer Source);
    // Stores the next row of Query at Position; false when it has none.
    bool FetchWindowRow(TFIBQuery& Query, int Position);
    // Moves every position up by BufferChunks (a backward read reached position 0).
    void ShiftWindow();
    TGetResult GetLimitedRecord(TRecordBuffer Buffer, TGetMode GetMode);
    void LimitedFirst();
    void LimitedLast();
    bool LimitedGotoBookmark(const uint8_t* Bookmark);
    // Rebuilds the window around the row Located delivers (or the current record's place when
    // it delivers none): half the window before it, the rest after.
    bool RefetchWindowAround(TFIBQuery& Located, int& Position, bool Execute, bool RequireRow);
    void ResetWindow(bool AtBOF);
    // A uni-directional data set's ring holds the last BufferChunks rows: true for a record
    // whose slot a later row took.
    bool LeftTheRing(int Index) const;
    // The first part of a bookmark for the record at Index, and back (-1: no such record).
    int32_t BookmarkNumber(int Index) const;
    int BookmarkIndex(int32_t Number) const;
    // The key parts of a bookmark (Data's bytes from 8 on) from the record in Buffer.
    void FillBookmarkKeys(TRecordBuffer Buffer, uint8_t* Data);
    int ColumnCount() const { return FFieldDescr.Count(); }
    char* NullFlags(char* Record) const { return Record + 6; }
    const char* NullFlags(const char* Record) const { return Record + 6; }
    // Offset of a blob field's stream slot in a record buffer.
    uint32_t BlobSlotOffset(TField* Field);
    // The slots need not be aligned: they are read and written byte-wise.
    static TFIBBlobStream* LoadSlot(const char* Slot) {
        TFIBBlobStream* stream;
        std::memcpy(&stream, Slot, sizeof stream);
        return stream;
    }
    static void StoreSlot(char* Slot, TFIBBlobStream* Stream) { std::memcpy(Slot, &Stream, sizeof Stream); }
    TFIBBlobStream* BlobSlot(const char* Record, TField* Field) { return LoadSlot(Record + BlobSlotOffset(Field)); }
    std::vector<TField*> BlobFields();
    TFIBBlobStream* NewBlobStream(TField* Field, const ISC_QUAD& BlobID);
    void EnableRecentStream(TFIBBlobStream* Stream);
    std::string FullName() const;

    TFIBBase FBase;
    TFIBDataLink FDataLink{this};
    struct TCacheWindow {
        int First = -1;     // absolute positions of the rows held; -1 when empty
        int Last = -1;
        bool AtBOF = false; // the window begins at the first row of the result
        bool AtEOF = false; // and ends at its last
    } FWindow;
    std::unique_ptr<TFIBQuery> FSelectDescQuery, FSelectPartQuery, FSelectPartDescQuery, FSelectLocate;
    std::unique_ptr<TFIBQuery> FSelectFirstQuery;   // SelectSQL in the order completed by FTieBreaker
    std::string FTieBreaker;                        // ", " and the key columns added to the ORDER BY
    TFIBQuery* FCurrentSelect = nullptr;   // the statement whose rows come next
    std::unique_ptr<TFIBCustomTimer> FDetailTimer;      // the wait of dcWaitEndMasterScroll
    std::unique_ptr<TFIBCustomTimer> FEndScrollTimer;   // the wait of OnEndScroll
    TNotifyEvent FOnEndScroll;
    TDetailConditions FDetailConditions = 0;
    bool FDetailRefreshByTimer = false;   // a refresh runs from the wait timer
    std::unique_ptr<TFIBQuery> FDeleteQuery, FInsertQuery, FRefreshQuery, FSelectQuery, FUpdateQuery;
    TFIBFieldDescrList FFieldDescr;
    std::unique_ptr<TRecordsCache> FRecords;
    std::vector<TFIBBlobStream*> FOwnedStreams;     // every blob stream of the open data set
    std::vector<TFIBBlobStream*> FRecentStreams;    // kept for BlobCacheLimit
    TCacheModelOptions FCacheModelOptions{this};
    TAutoUpdateOptions FAutoUpdateOptions{nullptr};
    TNotifyEventList FBeforeOpenListeners, FAfterOpenListeners, FBeforeCloseListeners;
    TStringList FRelationNames;
    TStringList FFieldCache;                        // upper-case name -> field
    TStringList FBookmarkKeyFields;                 // key field name -> its offset in a bookmark
    TOnFetchRecord FBeforeFetchRecord;
    std::unique_ptr<TExpressionParser> FFilterParser;   // the Filter text, parsed; nil for none
    Variant FSortFields;
    int FResortPos = -1;            // 1-based record a resort is moving; the locate passes it over
    bool FLocallySorted = false;    // the sort state is a local sort's, not the ORDER BY's
    bool FSorting = false;
    bool FResortPending = false;
    uint32_t FRecordBufferSize = 0;
    uint32_t FCacheRecordSize = 0;
    uint32_t FBlobAreaOffset = 0;
    uint32_t FStringAreaSize = 0;   // the string slots, which a cache record leaves out
    uint32_t FCalcAreaOffset = 0;
    int FCurrentRecord = -1;
    int FRecordCount = 0;
    int FHiddenCount = 0;
    int FServerRecordCount = 0;
    int FStringColumnCount = 0;
    int FResyncCount = 0;
    int FScrollEventLock = 0;
    int FFetchAllCount = 0;
    int FPendingChangeCount = 0;
    int FBlobReadRecord = -1;
    uint32_t FCloseCount = 0;   // closes so far (CheckNotClosedBy)
    TField* FValidatingField = nullptr;   // the field whose OnValidate runs (DoFieldValidate)
    uint8_t FBlobReadMode = 0;
    TpFIBDsOptions FOptions;
    TpPrepareOptions FPrepareOptions;
    TFIBUpdateRecordTypes FUpdateRecordTypes = 0x7;   // cusUnmodified, cusModified, cusInserted
    TTransactionKind FRefreshTransactionKind = tkReadTransaction;
    TMDTSQLExecutor FMDTSQLExecutor = se_ServerAfterLocal;
    bool FUniDirectional = false;
    bool FCachedUpdates = false;
    bool FOpen = false;
    bool FPrepared = false;
    bool FUpdatesPending = false;
    bool FInGetRecord = false;
    bool FFetchingToLast = false;
    bool FDeferredResync = false;
    bool FSQLChanged = false;
    bool FControlsEnabled = true;
    bool FDataSetChangeDispatch = false;
    bool FCacheCalcFields = false;
    bool FRecordRefresh = false;   // RefreshFromQuery runs: the record keeps its blob streams
};

// Publishes the data set's properties; adds nothing else.
class TFIBDataSet : public TFIBCustomDataSet {
public:
    using TFIBCustomDataSet::TFIBCustomDataSet;
    ~TFIBDataSet() override;
    std::string ClassName() const override { return "TFIBDataSet"; }
};

// ---- The data set's blob stream ---------------------------------------------------------------

// A stream over one blob field of the current record, reading and writing the record's
// TFIBBlobStream (nil for a null blob read: reads give no bytes).
class TFIBDSBlobStream : public TStream {
public:
    TFIBDSBlobStream(TField* Field, const ISC_QUAD& BlobID, TBlobStreamMode Mode, TFIBBlobStream* Stream);
    ~TFIBDSBlobStream() override;
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    int64_t GetSize() override;
    TFIBBlobStream* BlobStream() const { return FStream; }
    bool Modified() const { return FModified; }

private:
    TField* FField;
    ISC_QUAD FBlobID;
    TFIBBlobStream* FStream;
    bool FModified;
};

// ---- Field classes ----------------------------------------------------------------------------

// True for a name longer than four characters that begins with "RDB$".
bool IsSystemName(const std::string& Name);

class TFIBStringField : public TStringField {
public:
    explicit TFIBStringField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFIBStringField"; }
    void CheckTypeSize(int) override {}
    void SetDataSet(TDataSet* Value) override;
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;
    void Clear() override { SetData(nullptr); }
    bool EmptyStrToNull = false;
    // The column's declared default is the empty string: a new record gets it.
    bool DefaultIsEmptyString = false;
    // The character set of the column ("UNKNOWN" when the column is not found).
    std::string CharSetName();
    bool IsUnicode();
    // The bytes of the value being assigned, -1 outside an assignment: the data set stores
    // that many (zero bytes of OCTETS are data, not the end of the text).
    int RawLength() const { return FRawLength; }
    // The data set tells the reader how many bytes of a column value it gave.
    void SetReadLength(int Value) { FReadLength = Value; }

private:
    void LoadInfo();
    int FRawLength = -1;
    int FReadLength = -1;
    bool FInfoLoaded = false;
    std::string FCharSetName;
    bool FUnicode = false;
};

class TFIBWideStringField : public TWideStringField {
public:
    explicit TFIBWideStringField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFIBWideStringField"; }
    void SetDataSet(TDataSet* Value) override;
    // The column's bytes plus a UTF-16 terminator for a data field; Size x 3 + 1 otherwise.
    int DataSize() const override;
    std::u16string GetAsWideString() override;
    std::string GetAsString() override;
    bool EmptyStrToNull = false;
};

class TFIBLargeIntField : public TLargeintField {
public:
    using TLargeintField::TLargeintField;
    std::string ClassName() const override { return "TFIBLargeIntField"; }

protected:
    void SetVarValue(const Variant& Value) override;
};

class TFIBIntegerField : public TIntegerField {
public:
    using TIntegerField::TIntegerField;
    std::string ClassName() const override { return "TFIBIntegerField"; }
    bool GetAsBoolean() override { return GetAsInteger() > 0; }
    void SetAsBoolean(bool Value) override { SetAsInteger(Value ? 1 : 0); }
};

class TFIBSmallIntField : public TSmallintField {
public:
    using TSmallintField::TSmallintField;
    std::string ClassName() const override { return "TFIBSmallIntField"; }
    bool GetAsBoolean() override { return GetAsInteger() > 0; }
    void SetAsBoolean(bool Value) override { SetAsInteger(Value ? 1 : 0); }
};

class TFIBFloatField : public TFloatField {
public:
    using TFloatField::TFloatField;
    std::string ClassName() const override { return "TFIBFloatField"; }
    // Scaled INTEGER and SMALLINT columns refuse what they cannot hold (the framework's range
    // error); with RoundByScale the value is rounded to the column's decimals.
    void SetAsFloat(double Value) override;
    // The shortest text that reads back to the value (to the 4-byte value of a FLOAT column).
    std::string GetAsString() override;
    bool RoundByScale = true;

protected:
    // DisplayFormat (Text: EditFormat, else DisplayFormat); without one, with IsCurrency, the
    // money form for display and the fixed one for editing; else AsString.
    std::string GetText(bool DisplayText) override;
};

// The record holds the column's scaled 64-bit integer; Size is the number of decimals.
class TFIBBCDField : public TBCDField {
public:
    explicit TFIBBCDField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFIBBCDField"; }
    void CheckTypeSize(int) override {}
    int DataSize() const override { return 8; }
    Currency GetAsCurrency() override;
    void SetAsCurrency(Currency Value) override;
    TBcd GetAsBCD() override;
    void SetAsBCD(const TBcd& Value) override;
    double GetAsFloat() override;
    void SetAsFloat(double Value) override;
    int64_t GetAsLargeInt() override;
    void SetAsLargeInt(int64_t Value) override;
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;
    // The raw scaled value; false for null.
    bool ReadRaw(int64_t& Value);
    void WriteRaw(int64_t Value);
    // A framework BCD field's value is taken whole, through its BCD text.
    void Assign(TField* Source) override;

protected:
    void SetVarValue(const Variant& Value) override;
    // DisplayFormat (Text: EditFormat, else DisplayFormat) of every digit; without one, with
    // IsCurrency, the money form for display and the fixed one for editing, in
    // FormatSettings.CurrencyDecimals; else AsString.
    std::string GetText(bool DisplayText) override;
};

class TFIBBooleanField : public TBooleanField {
public:
    explicit TFIBBooleanField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFIBBooleanField"; }
    // The column's own size for a data field (1, 2 or 4 bytes).
    int DataSize() const override;
    bool GetAsBoolean() override;
    void SetAsBoolean(bool Value) override;
    int32_t GetAsInteger() override { return GetAsBoolean() ? 1 : 0; }
    void SetAsInteger(int32_t Value) override { SetAsBoolean(Value != 0); }
    std::string GetAsString() override;
    void SetAsString(const std::string& Value) override;
    Variant GetAsVariant() override;
    std::string StringTrue = "True";
    std::string StringFalse = "False";

protected:
    void SetVarValue(const Variant& Value) override;
};

class TFIBDateField : public TDateField {
public:
    using TDateField::TDateField;
    std::string ClassName() const override { return "TFIBDateField"; }
};

class TFIBTimeField : public TTimeField {
public:
    using TTimeField::TTimeField;
    std::string ClassName() const override { return "TFIBTimeField"; }
    bool ShowMsec = false;

protected:
    std::string GetText(bool DisplayText) override;
};

class TFIBDateTimeField : public TDateTimeField {
public:
    using TDateTimeField::TDateTimeField;
    std::string ClassName() const override { return "TFIBDateTimeField"; }
    bool ShowMsec = false;

protected:
    std::string GetText(bool DisplayText) override;
};

class TFIBBlobField : public TBlobField {
public:
    using TBlobField::TBlobField;
    std::string ClassName() const override { return "TFIBBlobField"; }
    // A client field is null while its body (filled by OnFillClientBlob) is empty.
    bool GetIsNull() override;
    int16_t SubType = 0;
    // The body is the program's, never the server's: reading it fills it through the data
    // set's OnFillClientBlob, the field is read-only and writing needs no edit state.
    bool IsClientField = false;
};

class TFIBMemoField : public TMemoField {
public:
    using TMemoField::TMemoField;
    std::string ClassName() const override { return "TFIBMemoField"; }
    int32_t CharSetID = 0;
    int16_t SubType = 1;
};

class TFIBWideMemoField : public TWideMemoField {
public:
    using TWideMemoField::TWideMemoField;
    std::string ClassName() const override { return "TFIBWideMemoField"; }
    int32_t CharSetID = 0;
    int16_t SubType = 1;
};

class TFIBGuidField : public TGuidField {
public:
    using TGuidField::TGuidField;
    std::string ClassName() const override { return "TFIBGuidField"; }
};

// The field of an array column: its data is the array id; its value the whole array.
class TFIBArrayField : public TBytesField {
public:
    explicit TFIBArrayField(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TFIBArrayField"; }
    // While an edit or insert is under way, an array written for it reads as the values kept
    // here (the server gives an array back only once a statement stored it).
    Variant GetAsVariant() override;
    void Clear() override;
    // An edit or insert begins: no array has been written for it yet.
    void BeginEditing();
    // After a post the server refused. Firebird refuses the id of an array the failed statement
    // used, so an array written during this edit or insert is written again, as a new array
    // from the values kept here: the field still shows the user's array and a retry stores it.
    // A field the user left alone keeps the array it named.
    void RewriteAfterFailedPost();

protected:
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) override;

private:
    Variant FWrittenValue;   // the whole array last written during the edit or insert
    bool FWritten = false;
};

} // namespace qnl
