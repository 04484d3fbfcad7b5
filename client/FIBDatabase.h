#pragma once
// The database object (one attachment through the client library), the transaction object that
// runs one client transaction over one or more databases, and the link through which a statement
// or data set hangs on one database and one transaction and hears of their connects, ends and
// destruction.
//
// Every attach of every database in the process runs under one connect lock. Every database
// still attached when the process exits is closed first: an embedded attachment left open
// crashes the client library at exit.
#include "client/IB_Intf.h"
#include "client/dAZIRadur.h"
#include "client/FIBSafeTimer.h"
#include "client/fib.h"
#include "client/pFIBEventLists.h"
#include "client/pFIBInterfaces.h"
#include "platform/Component.h"
#include "platform/StringList.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qnl {

class TFIBDatabase;
class TFIBTransaction;
class TFIBBase;

using TFIBUseRepository = uint8_t;
inline constexpr TFIBUseRepository urFieldsInfo = 0;
inline constexpr TFIBUseRepository urDataSetInfo = 1;
inline constexpr TFIBUseRepository urErrorMessagesInfo = 2;
using TFIBUseRepositories = uint8_t;

using TDesignDBOption = uint8_t;
inline constexpr TDesignDBOption ddoIsDefaultDatabase = 0;
inline constexpr TDesignDBOption ddoStoreConnected = 1;
inline constexpr TDesignDBOption ddoNotSavePassword = 2;
using TDesignDBOptions = uint8_t;

class TFIBBlobStream;

enum class TActionOnIdle : uint8_t { aiCloseConnect, aiKeepLiveConnect };
using TIdleConnectEvent = std::function<void(TFIBDatabase* Sender, uint32_t IdleTicks, TActionOnIdle& Action)>;

enum TTransactionAction : uint8_t { TARollback, TARollbackRetaining, TACommit, TACommitRetaining };
enum class TFIBMDTTransactionRole : uint8_t { mtrNone, mtrSeparateTransaction, mtrAutoDefine };

// The swap-file events of blob streams: the blob's table, column and key values and its swap
// file, whose name the before-events may change and whose use they may refuse.
using TBeforeSaveBlobToSwapEvent =
    std::function<void(const std::string& TableName, const std::string& FieldName, const std::vector<Variant>& KeyValues,
                       TFIBBlobStream* Stream, std::string& FileName, bool& CanSave)>;
using TBeforeLoadBlobFromSwapEvent =
    std::function<void(const std::string& TableName, const std::string& FieldName, const std::vector<Variant>& KeyValues,
                       std::string& FileName, bool& CanLoad)>;
using TAfterBlobSwapEvent = std::function<void(const std::string& TableName, const std::string& FieldName,
                                               const std::vector<Variant>& KeyValues, const std::string& FileName)>;

// The login dialog a program may install: database name in, user name, password and role in
// and out; false cancels the connect.
using TDatabaseLoginDialog =
    std::function<bool(const std::string& DBName, std::string& UserName, std::string& Password, std::string& RoleName)>;
extern TDatabaseLoginDialog DatabaseLoginDialog;

// How the database object reaches the local schema cache files, whose collections belong to the
// data sets: they install these when the program links them. Without them nothing is saved and
// nothing loads.
struct TSchemaCacheFiles {
    std::function<void(const std::string& FileName)> Save;
    std::function<bool(const std::string& FileName, bool Validate, TFIBDatabase* Database)> Load;
    // Drops the cached tables of Database that Accept (or, without it, the server) says are stale.
    std::function<void(TFIBDatabase* Database, const std::function<void(const std::string&, bool&)>& Accept)>
        Validate;
};
TSchemaCacheFiles& SchemaCacheFiles();

// The database whose DesignDBOptions holds ddoIsDefaultDatabase; nil when none.
extern TFIBDatabase* GlobalDefaultDatabase;

// Every TFIBDatabase in existence, under its own lock.
class TDatabaseList {
public:
    std::recursive_mutex& Lock() { return FLock; }
    // A copy taken under the lock.
    std::vector<TFIBDatabase*> Items();
    int Count();

private:
    friend class TFIBDatabase;
    void Add(TFIBDatabase* Database);
    void Remove(TFIBDatabase* Database);
    std::recursive_mutex FLock;
    std::vector<TFIBDatabase*> FItems;
};
TDatabaseList& DatabaseList();

// Major, minor, release and build from a server version text ("LI-V3.0.11.33703 Firebird 3.0"):
// the numbers after the first four characters, each ended by any other character or by the end
// of the text; 0 for a number that is not there.
void ParseServerVersion(const std::string& Text, int (&Numbers)[4]);

class TFIBDatabase : public TComponent {
public:
    explicit TFIBDatabase(TComponent* AOwner = nullptr);
    ~TFIBDatabase() override;
    std::string ClassName() const override { return "TFIBDatabase"; }

    // --- Connection
    bool Connected() const { return FHandle != 0; }
    // True connects (raising on failure); false closes.
    void SetConnected(bool Value);
    virtual void Connect(bool RaiseOnError = true);
    virtual void Disconnect(bool Force);
    virtual void SaveAlias() {}
    void Open() { SetConnected(true); }
    void Close();
    void ForceClose() { Disconnect(true); }
    // Raises client error 12 when closed, unless AutoReconnect (or Reconnect) lets it reconnect.
    void CheckActive(bool Reconnect = false);
    void CheckInactive();
    void CheckDatabaseName();
    void CheckClientLibrary();
    // After every client call: restarts the idle timer; raises the status vector when asked and
    // Status is an error. Answers Status.
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError);
    // Names the internal transaction after the database and makes it the global default when
    // the options say so.
    void Loaded();

    // Creates the database named DBName with the DBParams text as the rest of the statement and
    // stays attached to it.
    void CreateDatabase();
    void DropDatabase();

    // --- Properties
    const std::string& DBName() const { return FDBName; }
    void SetDBName(const std::string& Value);
    TDBParams& DBParams() { return *FDBParams; }
    const TDBParams& DBParams() const { return *FDBParams; }
    void SetDBParams(const TStringList& Value) { FDBParams->Assign(Value); }
    TConnectParams& ConnectParams() { return *FConnectParams; }
    int SQLDialect() const { return FSQLDialect; }
    void SetSQLDialect(int Value);
    // The idle timeout in milliseconds; 0: none.
    uint32_t Timeout() const;
    void SetTimeout(uint32_t Value);
    TFIBTransaction* DefaultTransaction() const { return FDefaultTransaction; }
    void SetDefaultTransaction(TFIBTransaction* Value);
    TFIBTransaction* DefaultUpdateTransaction() const { return FDefaultUpdateTransaction; }
    void SetDefaultUpdateTransaction(TFIBTransaction* Value);
    TDesignDBOptions DesignDBOptions() const { return FDesignDBOptions; }
    void SetDesignDBOptions(TDesignDBOptions Value);
    ISQLLogger* SQLLogger() const { return FSQLLogger; }
    void SetSQLLogger(ISQLLogger* Value);
    const std::string& LibraryName() const { return FLibraryName; }
    void SetLibraryName(const std::string& Value) { FLibraryName = Value; }
    std::string MemoSubtypesText() const { return FMemoSubtypes->Subtypes(); }
    void SetMemoSubtypesText(const std::string& Value) { FMemoSubtypes->SetSubtypes(Value); }
    TMemoSubtypes& MemoSubtypes() { return *FMemoSubtypes; }
    TGeneratorsCache& GeneratorsCache() { return *FGeneratorsCache; }
    TBlobSwapSupport& BlobSwapSupport() { return *FBlobSwapSupport; }
    void SetBlobSwapSupport(const TBlobSwapSupport& Value) { FBlobSwapSupport->Assign(Value); }

    bool AutoReconnect = false;
    bool UseLoginPrompt = false;
    bool UpperOldNames = false;
    bool SynchronizeTime = true;
    bool UseBlrToTextFilter = false;
    TFIBUseRepositories UseRepositories = 7;

    TNotifyEvent OnConnect;
    TNotifyEvent OnTimeout;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;
    TIdleConnectEvent OnIdleConnect;
    TBeforeSaveBlobToSwapEvent BeforeSaveBlobToSwap;
    TAfterBlobSwapEvent AfterSaveBlobToSwap;
    TAfterBlobSwapEvent AfterLoadBlobFromSwap;
    TBeforeLoadBlobFromSwapEvent BeforeLoadBlobFromSwap;

    // --- Shared facts
    isc_db_handle& Handle() { return FHandle; }
    isc_db_handle* HandleAddress() { return &FHandle; }
    // The resolved client library; nil before CheckClientLibrary.
    IIBClientLibrary* ClientLibrary() const { return FClientLibrary.get(); }
    IIBClientLibraryPtr ClientLibraryPtr() const { return FClientLibrary; }
    TFIBTransaction* GetInternalTransaction() const { return FInternalTransaction; }
    bool IsFirebird() const { return FIsFirebird; }
    bool IsFB21OrLater() const { return FIsFB21OrLater; }
    bool IsIB2007OrLater() const { return FIsIB2007OrLater; }
    bool NeedUnicodeFieldTranslation() const { return FNeedUnicodeFieldTranslation; }
    bool UnicodeConnect() const { return FUnicodeConnect; }
    bool UnicodeOrNone() const { return FUnicodeOrNone; }
    bool NoneCharSet() const { return FNoneCharSet; }
    // Local Now minus the server's time, in days; 0 when not measured.
    double ServerTimeDifference() const { return FDifferenceTime; }
    // Bit 0 closing after a lost connection, bit 1 restoring; written by the extended database.
    uint8_t LostConnectState() const { return FLostConnectState; }
    void SetLostConnectState(uint8_t Value) { FLostConnectState = Value; }

    // --- Server facts
    int GetImplementationNo();
    int GetImplementationClass();
    int64_t GetODSMinorVersion();
    int64_t GetODSMajorVersion();
    int64_t GetPageSize();
    int64_t GetForcedWrites();
    int64_t GetNumBuffers();
    int64_t GetSweepInterval();
    int64_t GetReadOnly();
    // Cached per connection; -1 without attachment.
    int32_t GetAttachmentID();
    // 1 when the server does not answer the item.
    int16_t GetDBSQLDialect();
    std::string GetVersionText();
    // Empty when the server is not Firebird.
    std::string GetFirebirdVersionText();
    // -1 when the server does not answer the item.
    int64_t GetAttachmentCharSetID();
    bool IsRemoteConnect();
    int GetServerMajorVersion();
    int GetServerMinorVersion();
    int GetServerRelease();
    int GetServerBuild();

    bool IsFirebirdConnect() const { return FIsFirebird; }
    bool IsPreFirebird2Connect();
    bool NeedUpperNames() const { return FSQLDialect < 3 || UpperOldNames; }
    bool HasExtraMemoSubtypes() const { return FMemoSubtypes->AnyNotOne(); }
    bool IsMemoSubtype(uint8_t Subtype) const { return FMemoSubtypes->IsMemoSubtype(Subtype); }
    // No client-side blob filter is ever registered, so no body is changed.
    bool HasBlobFilter(int32_t Key) const;
    void ApplyBlobFilter(int32_t Key, char** Buffer, int32_t* Size, bool BeforeWrite);

    // --- Character sets
    std::vector<int> GetUnicodeCharSets() const;
    int BytesPerCharacter(int CharSetId) const;
    bool IsUnicodeCharSet(int CharSetId) const;
    bool IsUnicodeConnect() const;
    bool IsUnicodeOrNoneCharSet() const;

    // --- One-row queries (each runs on a pooled statement)
    // The value of column FieldNo of the first row (all columns as a Variant array when FieldNo
    // is below 0; Empty for a statement without columns) of SQL, run in Transaction or, when
    // nil, in the internal transaction, which is committed afterwards. ParamValues go to the
    // parameters in order (Empty ones are skipped). A statement that took parameter values goes
    // back to the pool when KeepInPool; any other is freed.
    Variant QueryValue(const std::string& SQL, int FieldNo, const std::vector<Variant>& ParamValues = {},
                       TFIBTransaction* Transaction = nullptr, bool KeepInPool = true);
    // The same as text; Null gives an empty text.
    std::string QueryValueAsStr(const std::string& SQL, int FieldNo, const std::vector<Variant>& ParamValues = {},
                                TFIBTransaction* Transaction = nullptr, bool KeepInPool = true);
    // QueryValue(SQL, 0), Empty when it fails.
    Variant QueryValueOrEmpty(const std::string& SQL);
    TDateTime GetServerTime();
    // The generator's next value by Step: from the generators cache while its block lasts (no
    // transaction given, Step 1), else from the server in Transaction (or the internal one).
    int64_t Gen_Id(const std::string& GeneratorName, int64_t Step, TFIBTransaction* Transaction = nullptr);

    // The outside statistics maker that statements report to; nil at creation.
    ISQLStatMaker* StatisticsMaker() const { return FStatisticsMaker; }
    void SetStatisticsMaker(ISQLStatMaker* Value) { FStatisticsMaker = Value; }

    // The table information to FileName, the data-set information to FileName with the
    // extension ".dt", the error messages with ".err". A failed write keeps the old file.
    static void SaveSchemaCacheFiles(const std::string& FileName);
    // Reads the three files back and marks the collections to validate their entries on use;
    // false when the table-information file is missing or unreadable. Never raises.
    static bool LoadSchemaCacheFiles(const std::string& FileName, bool Validate, TFIBDatabase* Database);

    // --- Database parameters as name=value lines
    std::string ReadDBParam(int Code) const { return FDBParams->ReadParam(Code); }
    void WriteDBParam(int Code, const std::string& Value) { FDBParams->WriteParam(Code, Value); }

    // --- Transactions and links
    void CommitDefaultTransaction();
    int ActiveTransactionCount() const;
    TFIBTransaction* FindActiveTransaction() const;
    // A transaction that left the list leaves a nil slot, which the next one takes.
    int TransactionCount() const { return static_cast<int>(FTransactions.size()); }
    TFIBTransaction* Transactions(int Index) const { return FTransactions.at(static_cast<size_t>(Index)); }
    int FindTransaction(const TFIBTransaction* Transaction) const;
    int LinkCount() const { return static_cast<int>(FLinks.size()); }
    TFIBBase* Links(int Index) const { return FLinks.at(static_cast<size_t>(Index)); }

    // --- Callback lists: after connect, before disconnect, before destroy (database as sender)
    TNotifyEventList& AfterConnectEvents() { return *FAfterConnectEvents; }
    TNotifyEventList& BeforeDisconnectEvents() { return *FBeforeDisconnectEvents; }
    TNotifyEventList& BeforeDestroyEvents() { return *FBeforeDestroyEvents; }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // Called by CheckStatus when a client call of this attachment failed because the attachment
    // is gone (killed by an administrator, the database shut down, the network lost), once per
    // loss: the calling thread's status vector still holds the failure. Nothing by default.
    virtual void ConnectionLost() {}
    // Lets go of everything that hung on a lost attachment without asking the server for it:
    // statements forget their handles, active transactions are ended as shared ones (which
    // only forgets them), then the attachment is detached, any error of the detach ignored, and
    // its handle forgotten. The status vector of the calling thread is left as it was.
    void CloseAfterLostConnection();

private:
    friend class TFIBTransaction;
    friend class TFIBBase;

    static void CloseAllAtExit();
    // Close, else ForceClose, else a bare detach: afterwards the database is not attached.
    void CloseSurely();
    // isc_database_info of one item into Buffer (status raised).
    void DatabaseInfo(char Item, std::string& Buffer, size_t Size);
    // The integer answer of a one-item request; false when the server did not answer the item.
    bool InfoInteger(char Item, int64_t& Value);
    std::string InfoVersionString(char Item, size_t Size);
    void ReadServerVersion();
    void DoAfterConnect();
    void SetCharSetFlagsFromParams();
    void SetCharSetFlagsFromServer();
    bool Login();
    void IdleTimer(TObject* Sender);
    void RunDisconnectEvent(const TNotifyEvent& Event, const char* EventName);
    void FireNotifyList(TNotifyEventList& List, bool Reverse, bool WhileConnected);

    int AddLink(TFIBBase* Link);
    void RemoveLink(int Index);
    int AddTransaction(TFIBTransaction* Transaction);
    void RemoveTransaction(TFIBTransaction* Transaction);

    ISQLLogger* FSQLLogger = nullptr;
    TComponent* FSQLLoggerComponent = nullptr;   // the logger's GetInstance, when a component
    ISQLStatMaker* FStatisticsMaker = nullptr;
    std::string FLibraryName;
    std::unique_ptr<TBlobSwapSupport> FBlobSwapSupport;
    std::unique_ptr<TGeneratorsCache> FGeneratorsCache;
    std::unique_ptr<TMemoSubtypes> FMemoSubtypes;
    IIBClientLibraryPtr FClientLibrary;
    std::vector<TFIBBase*> FLinks;
    std::vector<TFIBTransaction*> FTransactions;
    std::string FDBName;
    std::unique_ptr<TDBParams> FDBParams;
    std::unique_ptr<TConnectParams> FConnectParams;
    // The DBParams text the DPB was built from; the DPB is rebuilt when the text differs.
    std::string FDPBSource;
    bool FDPBBuilt = false;
    std::string FDPB;
    int16_t FDPBLength = 0;
    isc_db_handle FHandle = 0;
    TFIBTransaction* FDefaultTransaction = nullptr;
    TFIBTransaction* FDefaultUpdateTransaction = nullptr;
    std::unique_ptr<TFIBCustomTimer> FTimer;
    int FSQLDialect = 1;
    TDesignDBOptions FDesignDBOptions = 1 << ddoStoreConnected;
    double FDifferenceTime = 0;
    TFIBTransaction* FInternalTransaction = nullptr;   // owned as a component
    std::unique_ptr<TNotifyEventList> FAfterConnectEvents;
    std::unique_ptr<TNotifyEventList> FBeforeDisconnectEvents;
    std::unique_ptr<TNotifyEventList> FBeforeDestroyEvents;
    int32_t FAttachmentID = -1;
    std::unique_ptr<TBlobFilterTable> FBlobFilters;   // nothing registers filters: stays nil
    int32_t FRemoteFlag = 0;
    bool FUnicodeOrNone = false;
    bool FUnicodeConnect = false;
    bool FNoneCharSet = false;
    uint8_t FLostConnectState = 0;
    uint32_t FLastActiveTime = 0;
    int FServerMajor = -1;
    int FServerMinor = -1;
    int FServerRelease = -1;
    int FServerBuild = -1;
    bool FNeedUnicodeFieldTranslation = false;
    bool FIsFB21OrLater = false;
    bool FIsFirebird = false;
    bool FIsIB2007OrLater = false;
    bool FDestroying = false;
};

using TEndTrEvent = TMethod<TFIBTransaction*, TTransactionAction, bool>;
using TEndTrEventList = TCallBackList<TFIBTransaction*, TTransactionAction, bool>;

// Kinds of the transaction's callback lists.
inline constexpr int tekBeforeStart = 0;
inline constexpr int tekAfterStart = 1;
inline constexpr int tekBeforeEnd = 2;
inline constexpr int tekAfterEnd = 3;
inline constexpr int tekDestroy = 4;

class TFIBTransaction : public TComponent {
public:
    // Process-wide default of Timeout for new transactions.
    static uint32_t DefaultTimeout;

    explicit TFIBTransaction(TComponent* AOwner = nullptr);
    ~TFIBTransaction() override;
    std::string ClassName() const override { return "TFIBTransaction"; }

    bool Active() const { return FHandle != 0; }
    void SetActive(bool Value);
    virtual void StartTransaction();
    virtual void EndTransaction(TTransactionAction Action, bool Force);
    virtual void NotifySQLExecute(TObject* Query, int Phase);
    virtual void Commit() { EndTransaction(TACommit, false); }
    virtual void CommitRetaining() { EndTransaction(TACommitRetaining, false); }
    virtual void Rollback() { EndTransaction(TARollback, false); }
    virtual void RollbackRetaining() { EndTransaction(TARollbackRetaining, false); }

    TFIBDatabase* DefaultDatabase() const { return FDefaultDatabase; }
    void SetDefaultDatabase(TFIBDatabase* Value);
    uint32_t Timeout() const;
    void SetTimeout(uint32_t Value);
    TTransactionAction TimeoutAction = TARollback;
    TStringList& TRParams() { return FTRParams; }
    void SetTRParams(const TStringList& Value) { FTRParams.Assign(Value); }
    TNotifyEvent OnTimeout;
    bool WatchUncommitedUpdates = false;
    TFIBMDTTransactionRole MDTTransactionRole() const { return FMDTTransactionRole; }
    void SetMDTTransactionRole(TFIBMDTTransactionRole Value);

    int AddDatabase(TFIBDatabase* Database);
    void RemoveDatabase(int Index);
    void ReplaceDatabase(TFIBDatabase* OldDatabase, TFIBDatabase* NewDatabase);
    int GetDatabaseCount() const { return static_cast<int>(FDatabases.size()); }
    TFIBDatabase* Databases(int Index) const { return FDatabases.at(static_cast<size_t>(Index)); }
    int FindDatabase(const TFIBDatabase* Database) const;
    TFIBDatabase* GetMainDatabase() const;
    // One TRParams text per listed database; an empty one uses the common TPB.
    std::vector<std::string>& DatabaseTRParams() { return FDatabaseTRParams; }

    // Kinds tekBeforeStart, tekAfterStart, tekDestroy.
    void AddEvent(const TMethod<TObject*>& Event, int Kind);
    void RemoveEvent(const TMethod<TObject*>& Event, int Kind);
    // Kinds tekBeforeEnd, tekAfterEnd.
    void AddEndEvent(const TEndTrEvent& Event, int Kind);
    void RemoveEndEvent(const TEndTrEvent& Event, int Kind);

    void CheckDatabasesInList();
    void CheckInTransaction();
    void CheckNotInTransaction();
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError);
    void ExecSQLImmediate(const std::string& SQL);
    // 0 without a transaction; cached until the transaction ends.
    int32_t GetTransactionID();
    bool IsReadOnly() const;

    isc_tr_handle& Handle() { return FHandle; }
    isc_tr_handle* HandleAddress() { return &FHandle; }
    // 0 active, 1 inactive, 2..5 ending with action + 2.
    uint8_t State() const { return FState; }
    bool UncommittedUpdates() const { return FUncommittedUpdates; }
    void SetUncommittedUpdates(bool Value) { FUncommittedUpdates = Value; }
    bool IsInternal() const { return FInternal; }
    // A handle that belongs to someone else: ending the transaction only forgets it.
    void SetSharedHandle(isc_tr_handle Value);
    int LinkCount() const { return static_cast<int>(FLinks.size()); }
    TFIBBase* Links(int Index) const { return FLinks.at(static_cast<size_t>(Index)); }

private:
    friend class TFIBDatabase;
    friend class TFIBBase;

    void TimeoutHandler(TObject* Sender);
    void DatabaseGoing();
    // Ends an active transaction with its TimeoutAction (retaining ones as their hard form),
    // forced; when a handler fails before the server heard of the end, rolls it back directly.
    // Afterwards the transaction is inactive, whatever failed.
    void Abandon() noexcept;
    // The main database's client library; client error 18 when no database is listed.
    IIBClientLibrary& MainLibrary() const;
    void BeforeEndNotify(TTransactionAction Action, bool Force);
    void AfterEndNotify(TTransactionAction Action, bool Force);
    void FireStartList(TNotifyEventList& List);
    void LogTransaction(const std::string& Operation);
    int AddLink(TFIBBase* Link);
    void RemoveLink(int Index);
    void ForgetDatabase(TFIBDatabase* Database);

    bool FIdle = false;
    std::vector<TFIBDatabase*> FDatabases;
    std::vector<TFIBBase*> FLinks;
    TFIBDatabase* FDefaultDatabase = nullptr;
    isc_tr_handle FHandle = 0;
    bool FSharedHandle = false;
    std::string FTPB;
    int32_t FTPBLength = 0;
    // The TRParams text the TPB was built from; the TPB is rebuilt when the text differs.
    std::string FTPBSource;
    bool FTPBBuilt = false;
    std::unique_ptr<TFIBCustomTimer> FTimer;
    TStringList FTRParams;
    uint8_t FState = 1;
    int32_t FTransactionID = 0;
    std::unique_ptr<TNotifyEventList> FDestroyEvents;
    std::unique_ptr<TNotifyEventList> FBeforeStartEvents;
    std::unique_ptr<TNotifyEventList> FAfterStartEvents;
    std::unique_ptr<TEndTrEventList> FBeforeEndEvents;
    std::unique_ptr<TEndTrEventList> FAfterEndEvents;
    std::vector<std::string> FDatabaseTRParams;
    std::vector<std::string> FDatabaseTPBs;
    bool FUncommittedUpdates = false;
    TFIBMDTTransactionRole FMDTTransactionRole = TFIBMDTTransactionRole::mtrAutoDefine;
    bool FInternal = false;
};

// The link of one statement or data set to its database and transaction.
class TFIBBase : public TObject {
public:
    explicit TFIBBase(TObject* AOwner = nullptr) : FOwner(AOwner) {}
    ~TFIBBase() override;
    TFIBBase(const TFIBBase&) = delete;
    TFIBBase& operator=(const TFIBBase&) = delete;
    std::string ClassName() const override { return "TFIBBase"; }

    virtual void CheckDatabase();
    virtual void CheckTransaction();
    isc_db_handle* GetDBHandle();
    isc_tr_handle* GetTRHandle();

    TFIBDatabase* Database() const { return FDatabase; }
    void SetDatabase(TFIBDatabase* Value);
    TFIBTransaction* Transaction() const { return FTransaction; }
    void SetTransaction(TFIBTransaction* Value);
    TObject* Owner() const { return FOwner; }

    // The database callbacks get the link as Sender; the four transaction start and end
    // callbacks get the link's transaction; transaction-freed gets the link.
    TNotifyEvent OnDatabaseConnecting;
    TNotifyEvent OnDatabaseConnected;
    TNotifyEvent OnDatabaseDisconnecting;
    TNotifyEvent OnDatabaseDisconnected;
    TNotifyEvent OnDatabaseFree;
    TNotifyEvent OnTransactionEnding;
    TNotifyEvent OnTransactionEnded;
    TNotifyEvent OnTransactionStarting;
    TNotifyEvent OnTransactionStarted;
    TNotifyEvent OnTransactionFree;

    void DoDatabaseConnecting() { Fire(OnDatabaseConnecting, this); }
    void DoDatabaseConnected() { Fire(OnDatabaseConnected, this); }
    void DoDatabaseDisconnecting() { Fire(OnDatabaseDisconnecting, this); }
    void DoDatabaseDisconnected() { Fire(OnDatabaseDisconnected, this); }
    void DoDatabaseFree();
    void DoTransactionEnding() { Fire(OnTransactionEnding, FTransaction); }
    void DoTransactionEnded() { Fire(OnTransactionEnded, FTransaction); }
    void DoTransactionStarting() { Fire(OnTransactionStarting, FTransaction); }
    void DoTransactionStarted() { Fire(OnTransactionStarted, FTransaction); }
    void DoTransactionFree();

private:
    friend class TFIBDatabase;
    friend class TFIBTransaction;
    static void Fire(const TNotifyEvent& Event, TObject* Sender) {
        if (Event) Event(Sender);
    }
    std::string OwnerName() const;

    TFIBDatabase* FDatabase = nullptr;
    int FIndexInDatabase = -1;
    TFIBTransaction* FTransaction = nullptr;
    int FIndexInTransaction = -1;
    TObject* FOwner;
};

} // namespace qnl
