#pragma once
// The extended data set: a TFIBDataSet that writes a posted record to the server through its
// insert and update statements (hand-written, or generated from the update table's information
// and the key fields) and re-reads it afterwards, and the update objects: statements it runs
// besides its own for one kind of change.
#include "client/pFIBQuery.h"
#include "datasets/DSContainer.h"
#include "datasets/FIBDataSet.h"
#include "platform/Params.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TpFIBDataSet;

enum TLockStatus : uint8_t { lsSuccess, lsDeadLock, lsNotExist, lsMultiply, lsUnknownError };
using TLockErrorEvent =
    std::function<void(TDataSet* DataSet, TLockStatus LockError, std::string& ErrorMessage, TDataAction& Action)>;
using TOnGetSQLTextProc = std::function<void(TFIBDataSet* DataSet, std::string& SQLText)>;

enum TFIBOrderExecUO : uint8_t { oeBeforeDefault, oeAfterDefault };

// A statement a TpFIBDataSet runs before or after its own modify statement for one kind of
// change, with parameters taken from the record as the data set's own statements take them.
class TpFIBUpdateObject : public TpFIBQuery {
public:
    explicit TpFIBUpdateObject(TComponent* AOwner = nullptr);
    ~TpFIBUpdateObject() override;
    std::string ClassName() const override { return "TpFIBUpdateObject"; }

    TpFIBDataSet* DataSet() const { return FDataSet; }
    // Anything but a TpFIBDataSet (or nil) raises "<name> is not TpFIBDataSet". The object moves
    // from the old data set's list to the new one's; a statement without database takes the
    // data set's, one without transaction its update transaction.
    void SetDataSet(TComponent* Value);
    int OrderInList() const { return FOrderInList; }
    // Moves the object to that place of its kind's list (the end when beyond it).
    void SetOrderInList(int Value);
    // Stores the number only: the data set renumbers its lists through it.
    void SetOrderInListRaw(int Value) { FOrderInList = Value; }
    TUpdateKind KindUpdate() const { return FKindUpdate; }
    // Moves an attached object from the old kind's list to the new one's.
    void SetKindUpdate(TUpdateKind Value);
    bool Active = true;
    TFIBOrderExecUO ExecuteOrder = oeBeforeDefault;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TpFIBDataSet* FDataSet = nullptr;
    int FOrderInList = 0;
    TUpdateKind FKindUpdate = ukModify;
};

class TpFIBDataSet : public TFIBDataSet, private IAutoUpdateOwner {
public:
    explicit TpFIBDataSet(TComponent* AOwner = nullptr);
    ~TpFIBDataSet() override;
    std::string ClassName() const override { return "TpFIBDataSet"; }

    // Can* of the base, or under cached updates with an OnUpdateRecord handler (which decides
    // how a change is applied); and only for the kinds in AllowedUpdateKinds.
    bool CanEdit() override;
    bool CanInsert() override;
    bool CanDelete() override;

    // Writes every cached change to the server in the update transaction, record by record,
    // asking OnUpdateRecord, OnUpdateError and AfterUpdateRecord (TFIBUpdateAction). The
    // records keep their cached statuses until MarkCacheCommitted, so a rollback leaves them
    // pending; a record skipped after an error stays pending after it too.
    void ApplyUpdatesToBase();
    // With AutoUpdateOptions.UseExecuteBlock the changes go to the server as the values
    // statements of GenerateValuesSQLText joined into EXECUTE BLOCKs of up to 255 statements,
    // 256 relation contexts and below 64 KB of text; a statement that needs a parameter (a binary blob) runs on its own,
    // after the block before it. A block runs under a savepoint: when it fails, or one of its
    // UPDATEs or DELETEs reaches no row, it is undone and OnUpdateError decides; a block it
    // skips leaves all its records pending.
    //
    // After the update transaction committed what the apply wrote: edited and inserted records
    // count as unchanged, deleted ones as gone; a record the apply skipped keeps its change.
    void MarkCacheCommitted();
    // After a commit with poProtectedEdit: every changed record counts as unchanged.
    void MarkCacheClean();

    // ---- Record lock, generator, defaults, record count
    // Locks the current record on the server by an UPDATE that sets a column to its own current
    // value (SELECT ... WITH LOCK with poUseSelectForLock) in the update transaction: lsSuccess
    // for one row, lsNotExist for none, lsMultiply for more, lsDeadLock when another
    // transaction holds it. With RaiseOnError a failure raises "Error of record updating:" and
    // its cause unless OnLockError chooses otherwise (daRetry locks again).
    TLockStatus LockRecord(bool RaiseOnError);
    // Puts the next value of GeneratorName into the null numeric key field (WhenGetGenID not
    // wgNever); a value beyond an integer field's width raises the range error.
    virtual void IncGenerator();
    // The rows the SELECT yields, counted by the server; 0 without an active transaction.
    virtual int64_t AskRecordCount();
    virtual void DoApplyDefaultValue(TField* Field, bool& Applied);
    TLockErrorEvent OnLockError;
    TOnGetSQLTextProc OnLockSQLText;
    TOnGetSQLTextProc OnAskRecordCount;
    TOnApplyDefaultValue OnApplyDefaultValue;

    // ---- Update objects
    // Files the object in its kind's list at its OrderInList (the end when beyond it) and
    // numbers the list again; answers its place, -1 for nil.
    int AddUpdateObject(TpFIBUpdateObject* UpdateObject);
    void RemoveUpdateObject(TpFIBUpdateObject* UpdateObject);
    const std::vector<TpFIBUpdateObject*>& UpdateObjects(TUpdateKind Kind) const {
        return FUpdateObjects[static_cast<size_t>(Kind)];
    }
    // Runs the active objects of the kind whose ExecuteOrder is Order, in list order, with
    // parameters from Buffer; a row one returns (RETURNING) becomes the record.
    void ExecUpdateObjects(TUpdateKind Kind, TRecordBuffer Buffer, TFIBOrderExecUO Order);
    // The internal object that writes the blob fields when SeparateBlobUpdate is set; nil until
    // PrepareBlobUpdateObject made it.
    TpFIBUpdateObject* BlobUpdateObject() const { return FBlobUpdateObject.get(); }

    // ---- Generated modify statements
    // The statement of one kind (0 modify, 1 insert, 2 delete, 3 refresh) over TableName
    // (optionally with an alias) for the fields of FieldsKind (0 all, 1 no blobs, 2 only blobs),
    // with parameters NEW_<field> and OLD_<field>; empty when nothing can be generated, "No
    // Action" for a modify or insert without a field to write. Raises when none of the key
    // fields belongs to the table. With UseRowsClause an UPDATE and a DELETE end in ROWS 1,
    // before RETURNING.
    std::string GenerateSQLText(const std::string& TableName, const std::string& KeyFieldNames, uint8_t Kind,
                                uint8_t FieldsKind, TSetReturningFields ReturningFields);
    // The same statement with the record's values written in as literals (OLD values in the
    // key condition, IS NULL for a null key); a value no literal can carry (a binary blob, an
    // array, a text blob too long for a literal) stays a NEW_ parameter. Buffer nil: the active
    // record.
    std::string GenerateValuesSQLText(const std::string& TableName, const std::string& KeyFieldNames, uint8_t Kind,
                                      TRecordBuffer Buffer = nullptr, bool* UsesParameters = nullptr);
    // One value of the record (the saved version with UseOldValue) as an SQL literal: NULL,
    // numbers exactly as stored, TRUE / FALSE, ISO dates and times to the ten-thousandth, text
    // in single quotes with inner quotes doubled, octets as X'..'. Raises for a value no literal
    // can carry (binary blobs, arrays).
    std::string SQLValueLiteral(TField* Field, bool UseOldValue, TRecordBuffer Buffer = nullptr);
    // Fills DeleteSQL, UpdateSQL, InsertSQL and RefreshSQL from AutoUpdateOptions (each only
    // when CanChangeSQLs or empty). KeyFields, when blank, becomes the update table's primary
    // key; a table without one is refused.
    void GenerateModifySQLs();
    // With UpdateOnlyModifiedFields: the update (dsEdit) or insert (dsInsert) statement for the
    // fields the record changed; then the blob update object.
    // Buffer nil: the active record.
    void RegenerateChangedFieldsSQL(TDataSetState ForState, TRecordBuffer Buffer = nullptr);
    void PrepareBlobUpdateObject();
    // Every non-blob field of the table, joined by ";".
    std::string TableFieldsAsKeyFields(const std::string& TableName);

    // For each parameter of the SELECT compared with a field of the data set, Links gets
    // field name = parameter name. With AutoParamsToFields it fills ParamsToFieldsLinks at the
    // first open after the SELECT changed, so that a new record takes the parameters' values.
    void FillParamsToFieldsLinks(TStringList& Links) override;

    // ---- Filter and visible record numbers
    // With poVisibleRecno RecNo counts the records shown (1..n over a filtered data set) and
    // setting it goes to the n-th shown record; RecordCount of a filtered data set counts the
    // fetched records the filter shows.
    void SetRecNo(int Value) override;
    bool IsSequenced() override;
    void SetFiltered(bool Value) override;
    void SetFilterText(const std::string& Value) override;
    void SetFilterOptions(TFilterOptions Value) override;

    // ---- Event reports
    // The data set's own container; each event and error is reported to the thread's global
    // container first (unless it is this one), then to this one, before the user's handler
    // (BeforeCancel: after it).
    TDataSetsContainer* Container() const { return FContainer; }
    void SetContainer(TDataSetsContainer* Value);
    // The containers' OnCompareFieldValues (global first, the own one's answer winning), else
    // the base's comparison.
    int CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2) override;
    // A modify statement or an update object ran in the update transaction since it started;
    // the update transaction rolled back after one had (until the data set closes).
    bool UpdatesExecuted() const { return FUpdatesExecuted; }
    bool UpdatesExecutedBeforeRollback() const { return FUpdatesBeforeRollback; }
    // The SELECT's parameter of that name; raises "Parameter ... does not exist in <data set>"
    // when the statement has none.
    TFIBXSQLVAR& ParamByNameOrRaise(const std::string& Name);

    // The user's handlers of a failed post and delete. The framework's slots of these names
    // (TDataSet::OnPostError, TDataSet::OnDeleteError) hold the data set's own callers, which
    // do the data set's part first and then call these.
    TDataSetErrorEvent OnPostError, OnDeleteError;

    // ---- Repository
    // The row of FIB$DATASETS_INFO the data set takes its statements and update options from (0:
    // none). A new value needs a closed data set, prepares it again and switches
    // psApplyRepositary on.
    int32_t DataSet_ID() const { return FDataSet_ID; }
    void SetDataSet_ID(int32_t Value);
    std::string Description;
    // The formats poAutoFormatFields gives numeric and date-time fields.
    TFormatFields& DefaultFormats() { return FDefaultFormats; }
    // Settings of each field from its column (read-only, required, default, character set) and
    // from FIB$FIELDS_INFO (label, width, visibility, formats), as PrepareOptions ask; run after
    // each open.
    virtual void ApplyFieldsInfo();
    // With psApplyRepositary the FIB$DATASETS_INFO row of DataSet_ID is applied once per id.
    void Prepare() override;
    void ApplyRepositoryInfo() override;
    // Switching psApplyRepositary on applies the field settings of an open data set.
    void SetPrepareOptions(TpPrepareOptions Value) override;
    TOnApplyFieldRepository OnApplyFieldRepository;

    // ---- Provider operations: how another layer runs statements through the data set
    // A double quote in dialect 3, else empty.
    std::string PSGetQuoteChar();
    // Among the tables of the expanded SELECT, UpdateTableName when it is one of them, else the
    // first.
    std::string PSGetTableName();
    std::string PSGetKeyFields() { return AutoUpdateOptions().KeyFields(); }
    bool PSIsSQLBased() const { return true; }
    bool PSIsSQLSupported() const { return true; }
    // The update transaction is active.
    bool PSInTransaction();
    // "FIB$COMMIT", "FIB$ROLLBACK" and "FIB$GET_INTRANSACTION" become the pending command; any
    // other non-empty text becomes SelectSQL.
    void PSSetCommandText(const std::string& CommandText);
    // The pending command, else SelectSQL's text.
    std::string PSGetCommandText();
    // Runs the pending command on the update transaction, else the main statement.
    void PSExecute();
    // With a pending command its parameters (FIB$GET_INTRANSACTION: the output Boolean "Active",
    // the update transaction's state), and the command is done; without, a copy of the data
    // set's parameters typed by their SQL types. The list is the data set's and is refilled by
    // the next call.
    TParams& PSGetParams();
    // Prepares the main statement when needed; each value goes to the parameter of its name.
    void PSSetParams(const TParams& Values);
    // Connects the database when needed and starts the update transaction when inactive
    // (client error 21 without a database, 22 without an update transaction).
    void PSStartTransaction();
    void PSEndTransaction(bool Commit);
    // Runs SQL whose "?" marks (not those in literals or comments) take Params by position.
    // With ResultSet: a new data set on this one's database and read transaction (started when
    // inactive) runs it and is handed out; without: a pooled statement in the update
    // transaction. A SELECT answers the rows fetched to its end, anything else the rows it
    // changed.
    int64_t PSExecuteStatement(const std::string& SQL, const TParams& Params,
                               std::unique_ptr<TpFIBDataSet>* ResultSet = nullptr);
    // Closes and opens an active data set.
    void PSReset();

protected:
    void Notification(TComponent* AComponent, qnl::TOperation Operation) override;
    void DoBeforeOpen() override;
    void InternalOpen() override;
    void DoAfterOpen() override;
    void DoBeforeClose() override;
    void DoAfterClose() override;
    void DoBeforeInsert() override;
    void DoAfterInsert() override;
    void DoBeforeEdit() override;
    void DoAfterEdit() override;
    void DoBeforeCancel() override;
    void DoAfterCancel() override;
    void DoBeforeDelete() override;
    void DoBeforeScroll() override;
    void DoAfterScroll() override;
    void DoOnCalcFields() override;
    void DoBeforeRefresh() override;
    void DoAfterRefresh() override;
    int GetRecNo() override;
    int GetRecordCount() override;
    // The base's answer, noted per record for the visible record numbers.
    bool IsVisibleRecord(TRecordBuffer Buffer) override;
    // A filtered data set tests every record: after the Filter text and OnFilterRecord,
    // DoFilterRecord (while the record is still accepted), in the filter state.
    bool FiltersRecords() override { return true; }
    void FilterRecord(bool& Accept) override;
    // A derived class's own filter, asked for each record the Filter text and OnFilterRecord
    // accepted; the fields read the record being tested. Accepts everything here.
    virtual void DoFilterRecord(TDataSet* DataSet, bool& Accept);
    // Default values of a new record: a generator value, parameter links, an empty-string
    // default, a new GUID and each field's DefaultExpression; then OnNewRecord.
    void DoOnNewRecord() override;
    // With psAskRecordCount the server's count becomes the record count.
    void DoAskRecordCount() override;
    void DoBeforePost() override;
    void DoPostError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) override;
    void DoDeleteError(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action);
    // With AutoCommit and cached updates each post and delete is applied and committed. With
    // poProtectedEdit outside cached updates and AutoCommit, a posted record stays marked
    // changed until the update transaction commits.
    void DoAfterPost() override;
    void DoAfterEndUpdateTransaction(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force) override;
    void DoAfterDelete() override;
    // A new text in any of the statements: the updates-executed flags no longer speak of it,
    // and the provider's parameters of an old SELECT are dropped.
    void SQLChanging(TObject* Sender) override;

private:
    // IAutoUpdateOwner: the update table's alias in the SELECT and the database's name rules.
    std::string AliasByTableName(const std::string& TableName) override;
    bool DatabaseNameRules(int& SQLDialect, bool& NeedUpperNames) override;
    // An identifier as the generated statements write it (dialect 1: upper-cased; else quoted
    // when it needs it, upper-cased when not); TableOrAlias follows the database's rule for
    // names compared without case.
    std::string NormalizedName(const std::string& Name, bool TableOrAlias);
    // A blank KeyFields becomes the fields of the update table's primary key; raises for a
    // table without one, or whose key the data set does not show whole.
    void SettleKeyFields();
    struct TGenField;
    std::vector<TGenField> GenerationFields();
    // Record: the record whose changes and values count (nil: the active one); Values: the
    // values variant, which sets UsesParameters when a value stayed a parameter.
    std::string GenerateText(const std::string& TableName, const std::string& KeyFieldNames, uint8_t Kind,
                             uint8_t FieldsKind, TSetReturningFields ReturningFields, TRecordBuffer Record, bool Values,
                             bool* UsesParameters = nullptr);
    // The execute block being filled by the apply: its statement lines, text length, relation
    // contexts and the cache indexes of the records they write.
    struct TExecuteBlock {
        std::vector<std::string> Lines;
        size_t Length = 0;
        int Contexts = 0;
        std::vector<int> Records;
    };
    TExecuteBlock FBlock;
    // OnUpdateError already answered uaFail for the failure of a block.
    bool FBlockErrorDecided = false;
    // Adds the values statement of the record at Index (in Buffer) to the block, running the
    // block first when it is full; a statement with parameters runs on its own.
    void AddOrFlush(TUpdateKind Kind, int Index, TRecordBuffer Buffer);
    // Runs and empties the block; OnUpdateError decides about a failure (Kind: the record's).
    void FlushExecuteBlock(TUpdateKind Kind);
    void MarkCache(bool Clean);

    std::string LockText();
    void ReportEvent(TKindDataSetEvent Event);
    void ReportError(TKindDataSetError Kind, EDatabaseError& E, TDataAction& Action);

    TDataSetsContainer* FContainer = nullptr;
    bool FUpdatesExecuted = false;
    uint32_t FParamLinkMark = 0;   // the SELECT's change count when the links were last filled
    bool FUpdatesBeforeRollback = false;
    bool FRewritingForRecord = false;   // RegenerateChangedFieldsSQL is writing a statement
    // Per cached record (0-based): -1 not yet tested, 0 hidden, 1 shown; emptied whenever what
    // the filter sees may have changed.
    std::vector<int8_t> FShown;
    bool ShownAt(int Index);
    void ForgetShown() { FShown.clear(); }
    bool VisibleRecNo() { return InSet(Options(), poVisibleRecno); }
    int32_t FDataSet_ID = 0;
    int32_t FAppliedRepositoryID = 0;
    TFormatFields FDefaultFormats{this};
    std::string FPSCommand;
    std::unique_ptr<TParams> FPSCommandParams, FPSParams;

    std::unique_ptr<TFIBQuery> FLockQuery, FCountQuery;
    bool FGeneratorUsed = false;
    bool FDefaultLinksReady = false;
    std::vector<TFIBXSQLVAR*> FDefaultLinks;
    std::array<std::vector<TpFIBUpdateObject*>, 3> FUpdateObjects;
    std::unique_ptr<TpFIBUpdateObject> FBlobUpdateObject;
    bool CanChange(bool BaseAnswer, TUpdateKind Kind);
    void ApplyAndCommit();
    // 0-based cache indexes of the records the last apply skipped.
    std::vector<int> FSkippedRecords;
    // Runs the insert or update statement (Query) with the values of Buffer: the statement's
    // returned row (RETURNING) and, with poRefreshAfterPost, the row RefreshSQL reads replace
    // the record; then the record counts as unchanged. A statement that fails leaves the cache
    // as it was.
    void InternalPostRecord(TFIBQuery* Query, TRecordBuffer Buffer) override;
    // A delete statement whose first line is "No Action" does nothing.
    void InternalDeleteRecord(TFIBQuery& Query, TRecordBuffer Buffer) override;
};

} // namespace qnl
