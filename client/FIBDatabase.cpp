#include "FIBDatabase.h"

#include "client/FIBMiscellaneous.h"
#include "client/FIBQuery.h"
#include "client/FIBSQLMonitor.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/pFIBCacheQueries.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"
#include "platform/Assertions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace qnl {

TDatabaseLoginDialog DatabaseLoginDialog;
TFIBDatabase* GlobalDefaultDatabase = nullptr;
uint32_t TFIBTransaction::DefaultTimeout = 0;

namespace {

constexpr const char* SFIBErrorAfterDisconnect =
    "Error of %s.AfterDisconnect. Probably you are trying to get access to destroyed components. %s";
constexpr const char* SFIBErrorBeforeDisconnectShort = "Error of %s.BeforeDisconnect. %s";
constexpr const char* SFIBErrorAfterDisconnectShort = "Error of %s.AfterDisconnect. %s";

std::recursive_mutex& DatabaseConnectLock() {
    static auto* lock = new std::recursive_mutex;   // outlives every database, even at exit
    return *lock;
}


// The failures that say the attachment itself is gone; the first code of the vector decides.
bool IsLostConnectionStatus(const ISC_STATUS* Status) {
    if (Status[0] != 1) return false;
    switch (Status[1]) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_att_shutdown:
    case isc_shutdown: return true;
    default: return false;
    }
}

bool IsUnicodeCharSetName(const std::string& Name) {
    return Name == "UNICODE_FSS" || Name == "UTF8";
}

TTransactionAction HardAction(TTransactionAction Action) {
    if (Action == TARollbackRetaining) return TARollback;
    if (Action == TACommitRetaining) return TACommit;
    return Action;
}

// Leaves a link list: the last entry moves into the freed slot and learns its new index.
template <class IndexOf>
void LeaveLinkList(std::vector<TFIBBase*>& Links, int Index, IndexOf SetIndex) {
    if (Index < 0 || Index >= static_cast<int>(Links.size())) return;
    const int last = static_cast<int>(Links.size()) - 1;
    if (Index != last) {
        Links[static_cast<size_t>(Index)] = Links[static_cast<size_t>(last)];
        if (TFIBBase* moved = Links[static_cast<size_t>(Index)]) SetIndex(moved, Index);
    }
    Links.pop_back();
}

} // namespace

// Registered with atexit once the client library is loaded, so that it runs before the
// library's own clean-up at exit.
void TFIBDatabase::CloseAllAtExit() {
    TDatabaseList& list = DatabaseList();
    std::lock_guard lk(list.Lock());
    for (TFIBDatabase* db : list.Items()) db->CloseSurely();
}

void TFIBDatabase::CloseSurely() {
    if (!Connected()) return;
    try {
        Close();
    } catch (...) {
        try {
            ForceClose();
        } catch (...) {
        }
    }
    if (!Connected()) return;
    // A disconnect handler failed before the transactions heard of it. The server refuses to
    // detach an attachment with open transactions, and the client library crashes at exit with
    // an attachment left: end them here, then detach.
    for (TFIBTransaction* tr : std::vector<TFIBTransaction*>(FTransactions))
        if (tr) tr->Abandon();
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks)) {
        try {
            if (link) link->DoDatabaseDisconnecting();
        } catch (...) {
        }
    }
    FClientLibrary->isc_detach_database(ThreadStatusVector(), &FHandle);
    FHandle = 0;
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks)) {
        try {
            if (link) link->DoDatabaseDisconnected();
        } catch (...) {
        }
    }
}

// --- TDatabaseList -------------------------------------------------------------------------

TDatabaseList& DatabaseList() {
    static auto* list = new TDatabaseList;   // outlives every database, even at exit
    return *list;
}

std::vector<TFIBDatabase*> TDatabaseList::Items() {
    std::lock_guard lk(FLock);
    return FItems;
}

int TDatabaseList::Count() {
    std::lock_guard lk(FLock);
    return static_cast<int>(FItems.size());
}

void TDatabaseList::Add(TFIBDatabase* Database) {
    std::lock_guard lk(FLock);
    FItems.push_back(Database);
}

void TDatabaseList::Remove(TFIBDatabase* Database) {
    std::lock_guard lk(FLock);
    FItems.erase(std::remove(FItems.begin(), FItems.end(), Database), FItems.end());
}

// --- TFIBDatabase: life ---------------------------------------------------------------------

TFIBDatabase::TFIBDatabase(TComponent* AOwner)
    : TComponent(AOwner),
      FLibraryName(DefaultClientLibraryName),
      FBlobSwapSupport(std::make_unique<TBlobSwapSupport>()),
      FGeneratorsCache(std::make_unique<TGeneratorsCache>(this)),
      FMemoSubtypes(std::make_unique<TMemoSubtypes>(this)),
      FDBParams(std::make_unique<TDBParams>(this)) {
    FDBParams->OnChanging = [this] { CheckInactive(); };
    FConnectParams = std::make_unique<TConnectParams>(this, FDBParams.get());
    FInternalTransaction = new TFIBTransaction(this);
    FInternalTransaction->FInternal = true;
    FInternalTransaction->SetDefaultDatabase(this);
    FInternalTransaction->TimeoutAction = TACommit;
    FInternalTransaction->SetTimeout(1000);
    FInternalTransaction->FMDTTransactionRole = TFIBMDTTransactionRole::mtrSeparateTransaction;
    FInternalTransaction->TRParams().SetText("write\r\nisc_tpb_nowait\r\nread_committed\r\nrec_version\r\n");
    DatabaseList().Add(this);
    FAfterConnectEvents = std::make_unique<TNotifyEventList>();
    FBeforeDisconnectEvents = std::make_unique<TNotifyEventList>();
    FBeforeDestroyEvents = std::make_unique<TNotifyEventList>();
}

TFIBDatabase::~TFIBDatabase() {
    FDestroying = true;
    CloseSurely();
    SetTimeout(0);
    DatabaseList().Remove(this);
    if (FInternalTransaction) {
        try {
            if (FInternalTransaction->Active()) FInternalTransaction->Commit();
        } catch (...) {
        }
        delete FInternalTransaction;
        FInternalTransaction = nullptr;
    }
    if (GlobalDefaultDatabase == this) GlobalDefaultDatabase = nullptr;
    CloseSurely();
    for (int i = FBeforeDestroyEvents->GetCount() - 1; i >= 0; --i)
        if (auto event = FBeforeDestroyEvents->GetEvent(i)) event(this);
    for (int i = static_cast<int>(FLinks.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FLinks.size()) && FLinks[static_cast<size_t>(i)])
            FLinks[static_cast<size_t>(i)]->DoDatabaseFree();
    while (!FLinks.empty()) {
        TFIBBase* link = FLinks.back();
        if (link) link->SetDatabase(nullptr);
        else FLinks.pop_back();
    }
    for (TFIBTransaction* tr : std::vector<TFIBTransaction*>(FTransactions))
        if (tr) {
            const int index = tr->FindDatabase(this);
            tr->Abandon();   // a transaction never stays active without its database
            if (index >= 0) tr->RemoveDatabase(index);
            else RemoveTransaction(tr);
        }
}

void TFIBDatabase::Loaded() {
    if (InSet<TDesignDBOptions>(FDesignDBOptions, ddoIsDefaultDatabase)) GlobalDefaultDatabase = this;
    if (FInternalTransaction) FInternalTransaction->SetName(Name() + "_InternalTransaction");
}

void TFIBDatabase::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    // The logger is being destroyed: compare with the component noted when it was assigned,
    // never call into it.
    if (Operation == TOperation::opRemove && FSQLLogger && AComponent == FSQLLoggerComponent) {
        FSQLLogger = nullptr;
        FSQLLoggerComponent = nullptr;
    }
}

// --- TFIBDatabase: properties ---------------------------------------------------------------

void TFIBDatabase::SetConnected(bool Value) {
    if (Value) Connect(true);
    else Close();
}

void TFIBDatabase::SetDBName(const std::string& Value) {
    if (Value == FDBName) return;
    if (Connected()) RaiseClientError(cecDatabaseOpen);
    FDBName = Value;
}

void TFIBDatabase::SetSQLDialect(int Value) {
    if (Value < 1 || (Connected() && Value > GetDBSQLDialect())) RaiseClientError(cecSQLDialectInvalid);
    FSQLDialect = Value;
}

uint32_t TFIBDatabase::Timeout() const {
    return FTimer ? FTimer->Interval() : 0;
}

void TFIBDatabase::SetTimeout(uint32_t Value) {
    if (Value == 0) {
        FTimer.reset();
        return;
    }
    if (!FTimer) {
        FTimer = std::make_unique<TFIBCustomTimer>();
        FTimer->OnTimer = [this](TObject* Sender) { IdleTimer(Sender); };
    }
    FTimer->SetInterval(Value);
    FTimer->SetEnabled(true);
}

void TFIBDatabase::SetDefaultTransaction(TFIBTransaction* Value) {
    if (Value && Value != FDefaultTransaction) {
        Value->AddDatabase(this);
        AddTransaction(Value);
        if (!Value->DefaultDatabase()) Value->SetDefaultDatabase(this);
    }
    FDefaultTransaction = Value;
}

void TFIBDatabase::SetDefaultUpdateTransaction(TFIBTransaction* Value) {
    if (Value && Value != FDefaultUpdateTransaction) {
        Value->AddDatabase(this);
        AddTransaction(Value);
        if (!Value->DefaultDatabase()) Value->SetDefaultDatabase(this);
    }
    FDefaultUpdateTransaction = Value;
}

void TFIBDatabase::SetDesignDBOptions(TDesignDBOptions Value) {
    FDesignDBOptions = Value;
    if (InSet<TDesignDBOptions>(Value, ddoIsDefaultDatabase)) {
        if (GlobalDefaultDatabase && GlobalDefaultDatabase != this)
            GlobalDefaultDatabase->FDesignDBOptions &= static_cast<TDesignDBOptions>(~SetOf<TDesignDBOptions>(ddoIsDefaultDatabase));
        GlobalDefaultDatabase = this;
    } else if (GlobalDefaultDatabase == this) {
        GlobalDefaultDatabase = nullptr;
    }
}

void TFIBDatabase::SetSQLLogger(ISQLLogger* Value) {
    if (FSQLLoggerComponent && FSQLLogger != Value) RemoveFreeNotification(FSQLLoggerComponent);
    FSQLLoggerComponent = nullptr;
    if (Value) {
        Value->SetDatabase(this);
        FSQLLoggerComponent = dynamic_cast<TComponent*>(Value->GetInstance());
        if (FSQLLoggerComponent) FSQLLoggerComponent->FreeNotification(this);
    }
    FSQLLogger = Value;
}

// --- TFIBDatabase: checks -------------------------------------------------------------------

void TFIBDatabase::Close() {
    if (Connected()) Disconnect(false);
    FAttachmentID = -1;
    if (FInternalTransaction) FInternalTransaction->SetTimeout(0);
}

void TFIBDatabase::CheckActive(bool Reconnect) {
    if (FHandle != 0) return;
    // Reconnect matters only while designing, which this program never does.
    (void)Reconnect;
    if (!AutoReconnect) RaiseClientError(cecDatabaseClosed, {ComponentFullName(this)});
    // Reconnect: without a password through the login dialog, else as configured and, when
    // that fails, once more through the dialog. Without a dialog installed the prompt could
    // only fail, so the connect goes ahead without it (an embedded attachment needs no
    // password). A failed reconnect raises its own error: the caller must not go on as if
    // connected.
    const bool savedPrompt = UseLoginPrompt;
    const bool dialog = static_cast<bool>(DatabaseLoginDialog);
    const bool noPassword = FConnectParams->Password().empty();
    try {
        UseLoginPrompt = dialog && noPassword;
        try {
            SetConnected(true);
        } catch (...) {
            if (!dialog || noPassword) throw;
            UseLoginPrompt = true;
            SetConnected(true);
        }
    } catch (...) {
        UseLoginPrompt = savedPrompt;
        throw;
    }
    UseLoginPrompt = savedPrompt;
}

void TFIBDatabase::CheckInactive() {
    if (FHandle != 0) RaiseClientError(cecDatabaseOpen);
}

void TFIBDatabase::CheckDatabaseName() {
    if (FDBName.empty()) RaiseClientError(cecDatabaseNameMissing);
}

void TFIBDatabase::CheckClientLibrary() {
    if (!FClientLibrary) FClientLibrary = FindOrLoadClientLibrary(FLibraryName);
    if (!FClientLibrary->IsLoaded()) FClientLibrary->Load();
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(CloseAllAtExit); });
}

ISC_STATUS TFIBDatabase::CheckStatus(ISC_STATUS Status, bool RaiseOnError) {
    if (FTimer && FTimer->Enabled()) {
        FTimer->SetEnabled(false);
        FTimer->SetEnabled(true);
        FLastActiveTime = TickCount();
    }
    if (Status > 0 && FHandle != 0 && FLostConnectState == 0 && IsLostConnectionStatus(ThreadStatusVector()))
        ConnectionLost();
    if (RaiseOnError && Status > 0) RaiseStatusVectorError(*FClientLibrary, this);
    return Status;
}

void TFIBDatabase::CloseAfterLostConnection() {
    if (FHandle == 0) return;
    FLostConnectState |= 1;
    struct TClearClosing {
        uint8_t& State;
        ~TClearClosing() { State &= static_cast<uint8_t>(~1u); }
    } clear{FLostConnectState};
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks))
        if (auto* query = link ? dynamic_cast<TFIBQuery*>(link->Owner()) : nullptr) query->ForgetHandle();
    for (TFIBTransaction* tr : std::vector<TFIBTransaction*>(FTransactions)) {
        if (!tr || !tr->Active()) continue;
        tr->FSharedHandle = true;
        try {
            tr->EndTransaction(TACommit, true);
        } catch (...) {
            // Only its end handlers can fail here; the handle is forgotten all the same.
            tr->FHandle = 0;
            tr->FSharedHandle = false;
            tr->FState = 1;
        }
    }
    // The client library keeps its side of the attachment (and of every statement and
    // transaction under it) until the detach; a process must detach every attachment before it
    // exits. The server has dropped the attachment, so the detach may fail: that is ignored.
    ISC_STATUS_ARRAY status = {};
    FClientLibrary->isc_detach_database(status, &FHandle);
    FHandle = 0;
    FAttachmentID = -1;
}

// --- TFIBDatabase: one-row queries ---------------------------------------------------------

Variant TFIBDatabase::QueryValue(const std::string& SQL, int FieldNo, const std::vector<Variant>& ParamValues,
                                 TFIBTransaction* Transaction, bool KeepInPool) {
    TFIBTransaction* tr = Transaction ? Transaction : FInternalTransaction;
    TFIBQuery* query = GetQueryForUse(tr, SQL);
    if (!query) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(tr)});
    int copied = 0;
    // The statement goes back to the pool only when it took values: a text without parameters
    // is most likely made for this one call.
    auto release = [&] {
        if (copied > 0 && KeepInPool)
            FreeQueryForUse(query);
        else
            delete query;
    };
    Variant result;
    try {
        if (!tr->Active()) tr->StartTransaction();
        TFIBXSQLDA& params = query->Params();
        const int count = std::min(params.Count(), static_cast<int>(ParamValues.size()));
        for (int i = 0; i < count; ++i) {
            if (ParamValues[static_cast<size_t>(i)].IsEmpty()) continue;
            params.GetVar(i).SetAsVariant(ParamValues[static_cast<size_t>(i)]);
            ++copied;
        }
        query->ExecQuery();
        TFIBXSQLDA& fields = query->Fields();
        if (fields.Count() > 0) {
            if (FieldNo < 0) {
                result = Variant::CreateArray({{0, fields.Count()}}, varVariant);
                for (int i = 0; i < fields.Count(); ++i) result.PutElement({i}, fields.GetVar(i).GetAsVariant());
            } else {
                result = fields.GetVar(FieldNo).GetAsVariant();
            }
        }
    } catch (...) {
        release();
        if (!Transaction && tr->Active()) {
            try {
                tr->Commit();
            } catch (...) {
                // The query's own failure is the one to report.
            }
        }
        throw;
    }
    release();
    if (!Transaction && tr->Active()) tr->Commit();
    return result;
}

std::string TFIBDatabase::QueryValueAsStr(const std::string& SQL, int FieldNo, const std::vector<Variant>& ParamValues,
                                          TFIBTransaction* Transaction, bool KeepInPool) {
    const Variant value = QueryValue(SQL, FieldNo, ParamValues, Transaction, KeepInPool);
    return value.IsNull() ? std::string() : VarToStr(value);
}

Variant TFIBDatabase::QueryValueOrEmpty(const std::string& SQL) {
    try {
        return QueryValue(SQL, 0);
    } catch (...) {
        return Variant();
    }
}

TDateTime TFIBDatabase::GetServerTime() {
    const Variant value = QueryValue(FSQLDialect >= 2 ? "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE"
                                                      : "SELECT CAST('NOW' AS DATE) from RDB$DATABASE",
                                     0);
    long double number = 0;
    return VarToNumber(value, number) ? static_cast<TDateTime>(number) : 0;
}

int64_t TFIBDatabase::Gen_Id(const std::string& GeneratorName, int64_t Step, TFIBTransaction* Transaction) {
    std::string name;
    if (FSQLDialect == 1) {
        name = UpperCase(Trim(GeneratorName));
    } else if (GeneratorName.empty() || GeneratorName.front() == '"') {
        name = GeneratorName;
    } else {
        const bool quote = NeedUpperNames() ? NeedQuoteNoCase(GeneratorName) : NeedQuote(GeneratorName);
        name = quote ? "\"" + GeneratorName + "\"" : UpperCase(GeneratorName);
    }
    bool refill = false;
    if (!Transaction && Step == 1 && FGeneratorsCache->IsCached(name)) {
        const int64_t cached = FGeneratorsCache->GetNextValue(name);
        if (cached != -1) return cached;
        // The cached block is used up: one server call reserves the next.
        refill = true;
        Step = FGeneratorsCache->GetStep(name);
    }
    TFIBTransaction* tr = Transaction ? Transaction : FInternalTransaction;
    TFIBQuery* query =
        GetQueryForUse(tr, "select gen_id(" + name + ", " + std::to_string(Step) + ") from RDB$DATABASE");
    if (!query) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(tr)});
    const bool startedHere = !tr->Active();
    int64_t value = 0;
    try {
        if (startedHere) tr->StartTransaction();
        query->ExecQuery();
        value = query->Fields().GetVar(0).GetAsInt64();
    } catch (...) {
        FreeQueryForUse(query);
        if (startedHere && tr->Active()) {
            try {
                tr->Commit();
            } catch (...) {
            }
        }
        throw;
    }
    FreeQueryForUse(query);
    if (startedHere) tr->Commit();
    if (!refill) return value;
    FGeneratorsCache->SetGeneratorBlock(name, value, static_cast<int32_t>(Step));
    return FGeneratorsCache->GetNextValue(name);
}

// --- TFIBDatabase: connect and disconnect ---------------------------------------------------

bool TFIBDatabase::Login() {
    if (!DatabaseLoginDialog) throw Exception(std::string(SFIBLoginDialogNotFound) + SFIBAddLoginDialogUnit);
    std::string user = ReadDBParam(dpbUserName);
    std::string password = ReadDBParam(dpbPassword);
    std::string role = ReadDBParam(dpbSqlRoleName);
    const bool result = DatabaseLoginDialog(FDBName, user, password, role);
    if (result) {
        // Written back as they came: an empty answer leaves an empty value, not a missing line.
        // The line is found by its whole name, as in reading: "password_enc" is not "password".
        auto writeBack = [this](int Code, const std::string& Value) {
            const std::string name = DPBItemName(Code);
            const int i = FDBParams->IndexOfParam(name);
            if (i >= 0) FDBParams->SetString(i, name + "=" + Value);
            else FDBParams->Add(name + "=" + Value);
        };
        writeBack(dpbUserName, user);
        writeBack(dpbPassword, password);
        writeBack(dpbSqlRoleName, role);
    }
    return result;
}

void TFIBDatabase::Connect(bool RaiseOnError) {
    FServerMajor = FServerMinor = FServerRelease = FServerBuild = -1;
    ISC_STATUS status = 0;
    {
        std::lock_guard lk(DatabaseConnectLock());
        CheckInactive();
        CheckDatabaseName();
        CheckClientLibrary();
        for (TFIBBase* link : std::vector<TFIBBase*>(FLinks))
            if (link) link->DoDatabaseConnecting();
        if (UseLoginPrompt && !Login()) RaiseClientError(cecCancelled);
        const std::string params = FDBParams->Text();
        if (!FDPBBuilt || params != FDPBSource) {
            TStringList lines;
            lines.Assign(*FDBParams);
            BuildDPB(lines, FDPB, FDPBLength, FConnectParams->IsFirebird);
            FDPBSource = params;
            FDPBBuilt = true;
        }
        const auto nameLength = static_cast<short>(ClientTextLength(FDBName, INT16_MAX, "Database name"));
        status = CheckStatus(FClientLibrary->isc_attach_database(ThreadStatusVector(), nameLength, FDBName.c_str(),
                                                                 &FHandle, FDPBLength, FDPB.data()),
                             false);
    }
    if (status > 0) {
        FHandle = 0;
        if (RaiseOnError) RaiseStatusVectorError(*FClientLibrary, this);
        return;
    }
    if (FInternalTransaction) FInternalTransaction->SetTimeout(1000);
    FAttachmentID = -1;
    GetAttachmentID();
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceConnect(*this); });
    FDifferenceTime = 0;
    if (GetDBSQLDialect() < FSQLDialect) FSQLDialect = GetDBSQLDialect();
    if (SynchronizeTime) {
        // A server that cannot answer its time (a read-only database refuses the internal
        // transaction, which writes) leaves the difference at 0 rather than failing the connect.
        try {
            FDifferenceTime = Now() - GetServerTime();
        } catch (const std::exception&) {
            FDifferenceTime = 0;
        }
    }
    FRemoteFlag = 0;
    DoAfterConnect();
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks)) {
        if (!Connected()) break;
        if (link) link->DoDatabaseConnected();
    }
    if (FSQLLogger) FSQLLogger->WriteData(ComponentFullName(this), "Connect", "", lfConnect);
}

void TFIBDatabase::SetCharSetFlagsFromParams() {
    const std::string charSet = FConnectParams->CharSet();
    FUnicodeConnect = IsUnicodeCharSetName(charSet);
    FNoneCharSet = charSet == "NONE" || charSet.empty();
    FUnicodeOrNone = FUnicodeConnect || FNoneCharSet;
    FNeedUnicodeFieldTranslation = false;
}

void TFIBDatabase::SetCharSetFlagsFromServer() {
    const int64_t id = GetAttachmentCharSetID();
    const std::vector<int> unicode = GetUnicodeCharSets();
    FUnicodeConnect = id >= 0 && id <= 255 && std::find(unicode.begin(), unicode.end(), id) != unicode.end();
    FNoneCharSet = id == 0;
    FUnicodeOrNone = FUnicodeConnect || FNoneCharSet;
    FIsFB21OrLater = FServerMajor > 2 || FServerMinor >= 1;
    const int64_t odsMajor = GetODSMajorVersion();
    FNeedUnicodeFieldTranslation =
        FUnicodeOrNone && FIsFB21OrLater && (odsMajor > 11 || (odsMajor == 11 && GetODSMinorVersion() >= 1));
}

void TFIBDatabase::DoAfterConnect() {
    FIsFirebird = !GetFirebirdVersionText().empty();
    const int major = GetServerMajorVersion();
    if (!FIsFirebird) FIsIB2007OrLater = major >= 8;
    if (!FIsFirebird || major < 2) SetCharSetFlagsFromParams();
    else SetCharSetFlagsFromServer();
    if (FBlobSwapSupport->Active && FBlobSwapSupport->AutoValidateSwap && !FBlobSwapSupport->GetExpandedSwapDir().empty())
        StartValidateBlobCache(this);
    if (OnConnect) OnConnect(this);
    FireNotifyList(*FAfterConnectEvents, false, true);
}

void TFIBDatabase::FireNotifyList(TNotifyEventList& List, bool Reverse, bool WhileConnected) {
    const int count = List.GetCount();
    for (int n = 0; n < count; ++n) {
        if (WhileConnected && !Connected()) break;
        if (auto event = List.GetEvent(Reverse ? count - 1 - n : n)) event(this);
    }
}

void TFIBDatabase::RunDisconnectEvent(const TNotifyEvent& Event, const char* EventName) {
    if (!Event) return;
    try {
        Event(this);
    } catch (const std::exception& e) {
        const bool before = std::string(EventName) == "BeforeDisconnect";
        const char* format = FDestroying ? (before ? SFIBErrorBeforeDisconnect : SFIBErrorAfterDisconnect)
                                         : (before ? SFIBErrorBeforeDisconnectShort : SFIBErrorAfterDisconnectShort);
        throw Exception(FormatMessage(format, {ComponentFullName(this), e.what()}));
    }
}

void TFIBDatabase::Disconnect(bool Force) {
    CheckActive(false);
    RunDisconnectEvent(BeforeDisconnect, "BeforeDisconnect");
    FireNotifyList(*FBeforeDisconnectEvents, false, false);
    for (TFIBTransaction* tr : std::vector<TFIBTransaction*>(FTransactions)) {
        if (!tr) continue;
        try {
            tr->DatabaseGoing();
        } catch (...) {
            if (!Force) throw;
            // Its end handlers failed before the server heard of the end: the detach would be
            // refused with the transaction open.
            tr->Abandon();
        }
    }
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks)) {
        if (!link) continue;
        try {
            link->DoDatabaseDisconnecting();
        } catch (...) {
            if (!Force) throw;
        }
    }
    // A failed detach is never raised: the attachment is gone for this object either way.
    FClientLibrary->isc_detach_database(ThreadStatusVector(), &FHandle);
    FHandle = 0;
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceDisconnect(*this); });
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks))
        if (link) link->DoDatabaseDisconnected();
    RunDisconnectEvent(AfterDisconnect, "AfterDisconnect");
    if (FSQLLogger) FSQLLogger->WriteData(ComponentFullName(this), "Disconnect", "", lfConnect);
}

void TFIBDatabase::IdleTimer(TObject*) {
    if (!Connected()) return;
    if (OnIdleConnect) {
        TActionOnIdle action = TActionOnIdle::aiCloseConnect;
        OnIdleConnect(this, TickCount() - FLastActiveTime, action);
        if (action == TActionOnIdle::aiKeepLiveConnect) return;
    }
    ForceClose();
    if (OnTimeout) OnTimeout(this);
}

TSchemaCacheFiles& SchemaCacheFiles() {
    static TSchemaCacheFiles files;
    return files;
}

void TFIBDatabase::SaveSchemaCacheFiles(const std::string& FileName) {
    if (SchemaCacheFiles().Save) SchemaCacheFiles().Save(FileName);
}

bool TFIBDatabase::LoadSchemaCacheFiles(const std::string& FileName, bool Validate, TFIBDatabase* Database) {
    return SchemaCacheFiles().Load && SchemaCacheFiles().Load(FileName, Validate, Database);
}

void TFIBDatabase::CreateDatabase() {
    CheckInactive();
    CheckClientLibrary();
    const std::string sql = "CREATE DATABASE " + SQLQuoted(FDBName) + " " + FDBParams->Text();
    isc_tr_handle tr = 0;
    const auto length = static_cast<unsigned short>(ClientTextLength(sql, UINT16_MAX, "Statement"));
    CheckStatus(FClientLibrary->isc_dsql_execute_immediate(ThreadStatusVector(), &FHandle, &tr, length, sql.c_str(),
                                                           static_cast<unsigned short>(FSQLDialect), nullptr),
                true);
    FServerMajor = FServerMinor = FServerBuild = -1;
    FIsFirebird = !GetFirebirdVersionText().empty();
    if (FIsFirebird && GetServerMajorVersion() >= 2) SetCharSetFlagsFromServer();
}

void TFIBDatabase::DropDatabase() {
    CheckActive(false);
    CheckClientLibrary();
    CheckStatus(FClientLibrary->isc_drop_database(ThreadStatusVector(), &FHandle), true);
    FHandle = 0;
}

// --- TFIBDatabase: server facts -------------------------------------------------------------

void TFIBDatabase::DatabaseInfo(char Item, std::string& Buffer, size_t Size) {
    CheckActive(false);
    const char items[] = {Item, static_cast<char>(isc_info_end)};
    Buffer.assign(Size, '\0');
    CheckStatus(FClientLibrary->isc_database_info(ThreadStatusVector(), &FHandle, static_cast<short>(1), items,
                                                  static_cast<short>(Size), Buffer.data()),
                true);
}

bool TFIBDatabase::InfoInteger(char Item, int64_t& Value) {
    std::string buffer;
    DatabaseInfo(Item, buffer, 512);
    if (buffer[0] != Item) return false;
    const auto length = static_cast<short>(FClientLibrary->isc_vax_integer(buffer.data() + 1, static_cast<short>(2)));
    if (length < 0 || length > 8) return false;
    Value = FClientLibrary->isc_vax_integer(buffer.data() + 3, length);
    return true;
}

int TFIBDatabase::GetImplementationNo() {
    CheckActive(false);
    std::string buffer;
    DatabaseInfo(isc_info_implementation, buffer, 512);
    // Item, two length bytes, the count of pairs, then number and class of the first pair.
    return static_cast<uint8_t>(buffer[4]);
}

int TFIBDatabase::GetImplementationClass() {
    std::string buffer;
    DatabaseInfo(isc_info_implementation, buffer, 512);
    return static_cast<uint8_t>(buffer[5]);
}

#define QNL_INFO_INTEGER(Getter, Item)      \
    int64_t TFIBDatabase::Getter() {        \
        int64_t value = 0;                  \
        InfoInteger(Item, value);           \
        return value;                       \
    }
QNL_INFO_INTEGER(GetODSMinorVersion, isc_info_ods_minor_version)
QNL_INFO_INTEGER(GetODSMajorVersion, isc_info_ods_version)
QNL_INFO_INTEGER(GetPageSize, isc_info_page_size)
QNL_INFO_INTEGER(GetForcedWrites, isc_info_forced_writes)
QNL_INFO_INTEGER(GetNumBuffers, isc_info_num_buffers)
QNL_INFO_INTEGER(GetSweepInterval, isc_info_sweep_interval)
QNL_INFO_INTEGER(GetReadOnly, isc_info_db_read_only)
#undef QNL_INFO_INTEGER

int32_t TFIBDatabase::GetAttachmentID() {
    if (!Connected()) return -1;
    if (FAttachmentID == -1) {
        int64_t value = -1;
        if (InfoInteger(isc_info_attachment_id, value)) FAttachmentID = static_cast<int32_t>(value);
    }
    return FAttachmentID;
}

int16_t TFIBDatabase::GetDBSQLDialect() {
    int64_t value = 0;
    if (!InfoInteger(isc_info_db_sql_dialect, value)) return 1;
    return static_cast<int16_t>(value);
}

std::string TFIBDatabase::InfoVersionString(char Item, size_t Size) {
    std::string buffer;
    DatabaseInfo(Item, buffer, Size);
    if (buffer[0] != Item) return {};
    // Item, two length bytes, the count of strings, then each string with its length byte.
    const auto length = static_cast<uint8_t>(buffer[4]);
    return buffer.substr(5, std::min<size_t>(length, Size - 5));
}

std::string TFIBDatabase::GetVersionText() {
    return InfoVersionString(isc_info_isc_version, 1024);
}

std::string TFIBDatabase::GetFirebirdVersionText() {
    return InfoVersionString(isc_info_firebird_version, 512);
}

int64_t TFIBDatabase::GetAttachmentCharSetID() {
    int64_t value = -1;
    if (!InfoInteger(frb_info_att_charset, value)) return -1;
    return value;
}

bool TFIBDatabase::IsRemoteConnect() {
    if (FRemoteFlag == 0) {
        std::string buffer;
        DatabaseInfo(isc_info_db_id, buffer, 512);
        FRemoteFlag = static_cast<uint8_t>(buffer[3]);
    }
    return FRemoteFlag == 4;
}

void ParseServerVersion(const std::string& Text, int (&Numbers)[4]) {
    std::fill(std::begin(Numbers), std::end(Numbers), 0);
    int stored = 0;
    int64_t number = 0;
    // The platform code and "-V" come first; a number that ends the text counts too.
    for (size_t i = 4; i <= Text.size() && stored < 4; ++i) {
        if (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') {
            number = std::min<int64_t>(number * 10 + (Text[i] - '0'), INT32_MAX);
            continue;
        }
        Numbers[stored++] = static_cast<int>(number);
        number = 0;
    }
}

void TFIBDatabase::ReadServerVersion() {
    CheckActive(false);
    int numbers[4];
    ParseServerVersion(FIsFirebird ? GetFirebirdVersionText() : GetVersionText(), numbers);
    FServerMajor = numbers[0];
    FServerMinor = numbers[1];
    FServerRelease = numbers[2];
    FServerBuild = numbers[3];
}

int TFIBDatabase::GetServerMajorVersion() {
    if (FServerMajor == -1) ReadServerVersion();
    return FServerMajor;
}

int TFIBDatabase::GetServerMinorVersion() {
    if (FServerMajor == -1) ReadServerVersion();
    return FServerMinor;
}

int TFIBDatabase::GetServerRelease() {
    if (FServerMajor == -1) ReadServerVersion();
    return FServerRelease;
}

int TFIBDatabase::GetServerBuild() {
    if (FServerMajor == -1) ReadServerVersion();
    return FServerBuild;
}

bool TFIBDatabase::IsPreFirebird2Connect() {
    return !Connected() || !FIsFirebird || GetServerMajorVersion() < 2;
}

bool TFIBDatabase::HasBlobFilter(int32_t Key) const {
    return FBlobFilters && (FBlobFilters->Get(Key, true) || FBlobFilters->Get(Key, false));
}

void TFIBDatabase::ApplyBlobFilter(int32_t Key, char** Buffer, int32_t* Size, bool BeforeWrite) {
    if (FBlobFilters) FBlobFilters->Dispatch(Buffer, Size, BeforeWrite, Key);
}

// --- TFIBDatabase: character sets -----------------------------------------------------------

std::vector<int> TFIBDatabase::GetUnicodeCharSets() const {
    std::vector<int> result{3};
    if (Connected() && FIsFirebird) result.push_back(4);
    if (Connected() && FIsIB2007OrLater) result.insert(result.end(), {8, 59, 64});
    return result;
}

int TFIBDatabase::BytesPerCharacter(int CharSetId) const {
    if (CharSetId == 3) return 3;
    if (!Connected()) return 1;
    if (FIsFirebird) return CharSetId == 4 ? 4 : 1;
    if (FIsIB2007OrLater) {
        if (CharSetId == 8 || CharSetId == 64) return 2;
        if (CharSetId == 59) return 4;
    }
    return 1;
}

bool TFIBDatabase::IsUnicodeCharSet(int CharSetId) const {
    if (FNeedUnicodeFieldTranslation || FNoneCharSet) {
        const std::vector<int> unicode = GetUnicodeCharSets();
        return CharSetId >= 0 && CharSetId <= 255 && std::find(unicode.begin(), unicode.end(), CharSetId) != unicode.end();
    }
    return FUnicodeConnect && CharSetId >= 2;
}

bool TFIBDatabase::IsUnicodeConnect() const {
    return Connected() ? FUnicodeConnect : IsUnicodeCharSetName(FConnectParams->CharSet());
}

bool TFIBDatabase::IsUnicodeOrNoneCharSet() const {
    if (Connected()) return FUnicodeOrNone;
    const std::string charSet = FConnectParams->CharSet();
    return IsUnicodeCharSetName(charSet) || charSet == "NONE" || charSet.empty();
}

// --- TFIBDatabase: transactions and links ---------------------------------------------------

void TFIBDatabase::CommitDefaultTransaction() {
    if (!FDefaultTransaction) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    FDefaultTransaction->Commit();
}

int TFIBDatabase::ActiveTransactionCount() const {
    return static_cast<int>(std::count_if(FTransactions.begin(), FTransactions.end(),
                                          [](const TFIBTransaction* tr) { return tr && tr->Active(); }));
}

TFIBTransaction* TFIBDatabase::FindActiveTransaction() const {
    for (TFIBTransaction* tr : FTransactions)
        if (tr && tr->Active() && (tr->GetDatabaseCount() == 1 || tr->DefaultDatabase() == this)) return tr;
    return nullptr;
}

int TFIBDatabase::FindTransaction(const TFIBTransaction* Transaction) const {
    const auto it = std::find(FTransactions.begin(), FTransactions.end(), Transaction);
    return it == FTransactions.end() ? -1 : static_cast<int>(it - FTransactions.begin());
}

int TFIBDatabase::AddTransaction(TFIBTransaction* Transaction) {
    int index = FindTransaction(Transaction);
    if (index >= 0) return index;
    index = FindTransaction(nullptr);
    if (index >= 0) {
        FTransactions[static_cast<size_t>(index)] = Transaction;
        return index;
    }
    FTransactions.push_back(Transaction);
    return static_cast<int>(FTransactions.size()) - 1;
}

void TFIBDatabase::RemoveTransaction(TFIBTransaction* Transaction) {
    const int index = FindTransaction(Transaction);
    if (index >= 0) FTransactions[static_cast<size_t>(index)] = nullptr;
    if (FDefaultTransaction == Transaction) FDefaultTransaction = nullptr;
    if (FDefaultUpdateTransaction == Transaction) FDefaultUpdateTransaction = nullptr;
}

int TFIBDatabase::AddLink(TFIBBase* Link) {
    FLinks.push_back(Link);
    return static_cast<int>(FLinks.size()) - 1;
}

void TFIBDatabase::RemoveLink(int Index) {
    LeaveLinkList(FLinks, Index, [](TFIBBase* Moved, int NewIndex) { Moved->FIndexInDatabase = NewIndex; });
}

// --- TFIBTransaction ------------------------------------------------------------------------

TFIBTransaction::TFIBTransaction(TComponent* AOwner) : TComponent(AOwner) {
    SetTimeout(DefaultTimeout);
    FDestroyEvents = std::make_unique<TNotifyEventList>();
    FBeforeStartEvents = std::make_unique<TNotifyEventList>();
    FAfterStartEvents = std::make_unique<TNotifyEventList>();
    FBeforeEndEvents = std::make_unique<TEndTrEventList>();
    FAfterEndEvents = std::make_unique<TEndTrEventList>();
}

TFIBTransaction::~TFIBTransaction() {
    Abandon();
    for (int i = FDestroyEvents->GetCount() - 1; i >= 0; --i)
        if (auto event = FDestroyEvents->GetEvent(i)) event(this);
    for (int i = static_cast<int>(FLinks.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FLinks.size()) && FLinks[static_cast<size_t>(i)])
            FLinks[static_cast<size_t>(i)]->DoTransactionFree();
    for (TFIBBase* link : FLinks)
        if (link && link->FTransaction == this) {
            link->FTransaction = nullptr;
            link->FIndexInTransaction = -1;
        }
    FLinks.clear();
    while (!FDatabases.empty()) RemoveDatabase(static_cast<int>(FDatabases.size()) - 1);
}

void TFIBTransaction::SetActive(bool Value) {
    if (Value && !Active()) StartTransaction();
    else if (!Value && Active()) Rollback();
}

void TFIBTransaction::SetDefaultDatabase(TFIBDatabase* Value) {
    if (Active()) RaiseClientError(cecInTransaction, {ComponentFullName(this)});
    if (Value == FDefaultDatabase) return;
    if (FDefaultDatabase) {
        const int index = FindDatabase(FDefaultDatabase);
        if (index >= 0) RemoveDatabase(index);
    }
    if (Value) AddDatabase(Value);
    FDefaultDatabase = Value;
}

uint32_t TFIBTransaction::Timeout() const {
    return FTimer ? FTimer->Interval() : 0;
}

void TFIBTransaction::SetTimeout(uint32_t Value) {
    if (Value == 0) {
        FTimer.reset();
        return;
    }
    if (!FTimer) {
        FTimer = std::make_unique<TFIBCustomTimer>();
        FTimer->OnTimer = [this](TObject* Sender) { TimeoutHandler(Sender); };
    }
    FTimer->SetInterval(Value);
    if (Active()) FTimer->SetEnabled(true);
}

void TFIBTransaction::SetMDTTransactionRole(TFIBMDTTransactionRole Value) {
    CheckNotInTransaction();
    FMDTTransactionRole = Value;
}

void TFIBTransaction::SetSharedHandle(isc_tr_handle Value) {
    CheckNotInTransaction();
    FHandle = Value;
    FSharedHandle = Value != 0;
    if (Value != 0) FState = 0;
}

int TFIBTransaction::FindDatabase(const TFIBDatabase* Database) const {
    const auto it = std::find(FDatabases.begin(), FDatabases.end(), Database);
    return it == FDatabases.end() ? -1 : static_cast<int>(it - FDatabases.begin());
}

int TFIBTransaction::AddDatabase(TFIBDatabase* Database) {
    if (!Database) return -1;
    const int index = FindDatabase(Database);
    if (index >= 0) return index;
    if (!FDatabases.empty() && FDatabases.front()->LibraryName() != Database->LibraryName())
        throw Exception(FormatMessage(SFIBDifferentClientLibrary, {ComponentFullName(this)}));
    Database->AddTransaction(this);
    FDatabases.push_back(Database);
    FDatabaseTRParams.emplace_back();
    FDatabaseTPBs.emplace_back();
    return static_cast<int>(FDatabases.size()) - 1;
}

void TFIBTransaction::RemoveDatabase(int Index) {
    if (Index < 0 || Index >= static_cast<int>(FDatabases.size())) return;
    // The running transaction spans this database: without it no end could reach the server.
    CheckNotInTransaction();
    TFIBDatabase* db = FDatabases[static_cast<size_t>(Index)];
    FDatabases.erase(FDatabases.begin() + Index);
    if (Index < static_cast<int>(FDatabaseTRParams.size())) FDatabaseTRParams.erase(FDatabaseTRParams.begin() + Index);
    if (Index < static_cast<int>(FDatabaseTPBs.size())) FDatabaseTPBs.erase(FDatabaseTPBs.begin() + Index);
    db->RemoveTransaction(this);
    if (FDefaultDatabase == db) FDefaultDatabase = nullptr;
}

void TFIBTransaction::ReplaceDatabase(TFIBDatabase* OldDatabase, TFIBDatabase* NewDatabase) {
    RemoveDatabase(FindDatabase(OldDatabase));
    AddDatabase(NewDatabase);
}

TFIBDatabase* TFIBTransaction::GetMainDatabase() const {
    if (FDefaultDatabase) return FDefaultDatabase;
    return FDatabases.empty() ? nullptr : FDatabases.front();
}

void TFIBTransaction::AddEvent(const TMethod<TObject*>& Event, int Kind) {
    Assert(Kind == tekBeforeStart || Kind == tekAfterStart || Kind == tekDestroy, "Wrong event kind", "FIBDatabase");
    (Kind == tekBeforeStart ? *FBeforeStartEvents : Kind == tekAfterStart ? *FAfterStartEvents : *FDestroyEvents).Add(Event);
}

void TFIBTransaction::RemoveEvent(const TMethod<TObject*>& Event, int Kind) {
    Assert(Kind == tekBeforeStart || Kind == tekAfterStart || Kind == tekDestroy, "Wrong event kind", "FIBDatabase");
    (Kind == tekBeforeStart ? *FBeforeStartEvents : Kind == tekAfterStart ? *FAfterStartEvents : *FDestroyEvents)
        .Remove(Event);
}

void TFIBTransaction::AddEndEvent(const TEndTrEvent& Event, int Kind) {
    Assert(Kind == tekBeforeEnd || Kind == tekAfterEnd, "Wrong event kind", "FIBDatabase");
    (Kind == tekBeforeEnd ? *FBeforeEndEvents : *FAfterEndEvents).Add(Event);
}

void TFIBTransaction::RemoveEndEvent(const TEndTrEvent& Event, int Kind) {
    Assert(Kind == tekBeforeEnd || Kind == tekAfterEnd, "Wrong event kind", "FIBDatabase");
    (Kind == tekBeforeEnd ? *FBeforeEndEvents : *FAfterEndEvents).Remove(Event);
}

void TFIBTransaction::CheckDatabasesInList() {
    if (FDatabases.empty()) RaiseClientError(cecNoDatabasesInTransaction, {ComponentFullName(this)});
}

void TFIBTransaction::CheckInTransaction() {
    if (Active()) return;
    const bool allReconnect = !FDatabases.empty() &&
                              std::all_of(FDatabases.begin(), FDatabases.end(), [](TFIBDatabase* db) { return db->AutoReconnect; });
    if (allReconnect) StartTransaction();
    else RaiseClientError(cecNotInTransaction, {ComponentFullName(this)});
}

void TFIBTransaction::CheckNotInTransaction() {
    if (Active()) RaiseClientError(cecInTransaction, {ComponentFullName(this)});
}

ISC_STATUS TFIBTransaction::CheckStatus(ISC_STATUS Status, bool RaiseOnError) {
    FIdle = false;
    for (TFIBDatabase* db : FDatabases) db->CheckStatus(Status, false);
    if (RaiseOnError && Status > 0) {
        if (FDatabases.empty() || !FDatabases.front()->ClientLibrary())
            RaiseClientError(cecNoDatabasesInTransaction, {ComponentFullName(this)});
        RaiseStatusVectorError(*FDatabases.front()->ClientLibrary(), this);
    }
    return Status;
}

void TFIBTransaction::FireStartList(TNotifyEventList& List) {
    for (int i = List.GetCount() - 1; i >= 0; --i)
        if (auto event = List.GetEvent(i)) event(this);
}

void TFIBTransaction::LogTransaction(const std::string& Operation) {
    TFIBDatabase* main = GetMainDatabase();
    if (main && main->SQLLogger())
        main->SQLLogger()->WriteData(ComponentFullName(this), Operation,
                                     "TransactionParams:\r\n" + FTRParams.Text(), lfTransact);
}

void TFIBTransaction::StartTransaction() {
    CheckNotInTransaction();
    CheckDatabasesInList();
    for (TFIBDatabase* db : FDatabases) {
        db->CheckActive(false);
        // Never go on without a transaction as if one had started.
        if (!db->Connected()) RaiseClientError(cecDatabaseClosed, {ComponentFullName(db)});
    }
    TFIBDatabase* main = GetMainDatabase();
    const bool lockTimeoutForm = main->IsFB21OrLater();
    FTransactionID = 0;
    const std::string params = FTRParams.Text();
    if (!FTPBBuilt || params != FTPBSource) {
        TStringList lines;
        lines.Assign(FTRParams);
        BuildTPB(lines, FTPB, FTPBLength, lockTimeoutForm);
        FTPBSource = params;
        FTPBBuilt = true;
    }
    // One transaction-existence block per database: its handle, TPB length and TPB.
    struct TEB {
        isc_db_handle* Db;
        intptr_t TPBLength;
        const char* TPB;
    };
    std::vector<TEB> teb(FDatabases.size());
    FDatabaseTRParams.resize(FDatabases.size());
    FDatabaseTPBs.resize(FDatabases.size());
    for (size_t i = 0; i < FDatabases.size(); ++i) {
        teb[i] = {FDatabases[i]->HandleAddress(), FTPBLength, FTPB.data()};
        if (FDatabaseTRParams[i].empty()) continue;
        TStringList lines;
        lines.SetText(FDatabaseTRParams[i]);
        int32_t length = 0;
        BuildTPB(lines, FDatabaseTPBs[i], length, lockTimeoutForm);
        if (length > 0) teb[i] = {FDatabases[i]->HandleAddress(), length, FDatabaseTPBs[i].data()};
    }
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks))
        if (link) link->DoTransactionStarting();
    FireStartList(*FBeforeStartEvents);
    IIBClientLibrary& lib = MainLibrary();
    const ISC_STATUS status = CheckStatus(
        lib.isc_start_multiple(ThreadStatusVector(), &FHandle, static_cast<short>(teb.size()), teb.data()), false);
    if (status > 0) {
        FHandle = 0;
        RaiseStatusVectorError(lib, this);
    }
    FireStartList(*FAfterStartEvents);
    for (TFIBBase* link : std::vector<TFIBBase*>(FLinks))
        if (link) link->DoTransactionStarted();
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceStartTransaction(*this); });
    FState = 0;
    if (main->SQLLogger()) LogTransaction("StartTransaction(TransactionID=" + std::to_string(GetTransactionID()) + ")");
    if (FTimer && FTimer->Interval() > 0) FTimer->SetEnabled(true);
}

void TFIBTransaction::BeforeEndNotify(TTransactionAction Action, bool Force) {
    for (int i = static_cast<int>(FLinks.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FLinks.size()) && FLinks[static_cast<size_t>(i)])
            FLinks[static_cast<size_t>(i)]->DoTransactionEnding();
    for (int i = 0; i < FBeforeEndEvents->GetCount(); ++i)
        if (auto event = FBeforeEndEvents->GetEvent(i)) event(this, Action, Force);
}

void TFIBTransaction::AfterEndNotify(TTransactionAction Action, bool Force) {
    for (int i = static_cast<int>(FLinks.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FLinks.size()) && FLinks[static_cast<size_t>(i)])
            FLinks[static_cast<size_t>(i)]->DoTransactionEnded();
    for (int i = 0; i < FAfterEndEvents->GetCount(); ++i)
        if (auto event = FAfterEndEvents->GetEvent(i)) event(this, Action, Force);
    FUncommittedUpdates = false;
}

void TFIBTransaction::EndTransaction(TTransactionAction Action, bool Force) {
    CheckInTransaction();
    TFIBDatabase* main = GetMainDatabase();
    // The trace names the transaction after it ended: its id is read while it runs.
    MonitorTrace([this](TFIBSQLMonitorHook&) { GetTransactionID(); });
    if (main && main->SQLLogger()) {
        static const char* const names[] = {"RollBack", "RollBackRetaining", "Commit", "CommitRetaining"};
        LogTransaction(std::string(names[Action]) + "(TransactionID=" + std::to_string(GetTransactionID()) + ") ");
    }
    switch (Action) {
    case TARollback:
    case TACommit: {
        if (FSharedHandle && !Force && Action != TimeoutAction) RaiseClientError(cecCantEndSharedTransaction);
        FState = static_cast<uint8_t>(Action + 2);
        BeforeEndNotify(Action, Force);
        ISC_STATUS status = 0;
        if (FSharedHandle) {
            FHandle = 0;
            FSharedHandle = false;
        } else {
            IIBClientLibrary& lib = MainLibrary();
            status = CheckStatus(Action == TACommit ? lib.isc_commit_transaction(ThreadStatusVector(), &FHandle)
                                                    : lib.isc_rollback_transaction(ThreadStatusVector(), &FHandle),
                                 false);
            if (Force && status > 0) lib.isc_rollback_transaction(ThreadStatusVector(), &FHandle);
        }
        if (Force) {
            FHandle = 0;
        } else if (status > 0) {
            FState = 0;
            RaiseStatusVectorError(MainLibrary(), this);
        }
        AfterEndNotify(Action, Force);
        break;
    }
    case TARollbackRetaining:
    case TACommitRetaining: {
        FState = static_cast<uint8_t>(Action + 2);
        BeforeEndNotify(Action, Force);
        IIBClientLibrary& lib = MainLibrary();
        const ISC_STATUS status =
            CheckStatus(Action == TACommitRetaining ? lib.isc_commit_retaining(ThreadStatusVector(), &FHandle)
                                                    : lib.isc_rollback_retaining(ThreadStatusVector(), &FHandle),
                        false);
        if (status > 0) {
            FState = 0;
            RaiseStatusVectorError(lib, this);
        }
        AfterEndNotify(Action, Force);
        break;
    }
    }
    MonitorTrace([this, Action](TFIBSQLMonitorHook& Hook) {
        switch (Action) {
        case TACommit: Hook.TraceCommit(*this); break;
        case TARollback: Hook.TraceRollback(*this); break;
        case TACommitRetaining: Hook.TraceCommitRetaining(*this); break;
        case TARollbackRetaining: Hook.TraceRollbackRetaining(*this); break;
        }
    });
    if (Active()) {
        FState = 0;
    } else {
        FState = 1;
        if (FTimer) FTimer->SetEnabled(false);
    }
    FTransactionID = 0;
}

void TFIBTransaction::TimeoutHandler(TObject*) {
    if (!Active()) return;
    if (!FIdle) {
        FIdle = true;
        return;
    }
    EndTransaction(TimeoutAction, true);
    if (OnTimeout) OnTimeout(this);
}

void TFIBTransaction::DatabaseGoing() {
    if (Active()) EndTransaction(HardAction(TimeoutAction), true);
}

void TFIBTransaction::Abandon() noexcept {
    if (!Active()) return;
    try {
        EndTransaction(HardAction(TimeoutAction), true);
    } catch (...) {
        // The forced end clears the handle unless a handler failed before the server heard
        // of it; then the server is told here.
    }
    if (!Active()) return;
    if (!FSharedHandle) {
        TFIBDatabase* main = GetMainDatabase();
        if (main && main->ClientLibrary()) main->ClientLibrary()->isc_rollback_transaction(ThreadStatusVector(), &FHandle);
    }
    FHandle = 0;
    FSharedHandle = false;
    FState = 1;
    FTransactionID = 0;
    if (FTimer) FTimer->SetEnabled(false);
}

IIBClientLibrary& TFIBTransaction::MainLibrary() const {
    TFIBDatabase* main = GetMainDatabase();
    if (!main || !main->ClientLibrary()) RaiseClientError(cecNoDatabasesInTransaction, {ComponentFullName(this)});
    return *main->ClientLibrary();
}

void TFIBTransaction::ExecSQLImmediate(const std::string& SQL) {
    CheckInTransaction();
    IIBClientLibrary& lib = MainLibrary();
    TFIBDatabase* main = GetMainDatabase();
    // Text is held as UTF-8 already, which is what a Unicode connection expects. A statement of
    // 64 KB or more goes whole, up to its terminating zero: its length does not fit the call's.
    const auto length = static_cast<unsigned short>(ClientTextLength(SQL, UINT16_MAX, "Statement"));
    CheckStatus(lib.isc_dsql_execute_immediate(ThreadStatusVector(), main->HandleAddress(), &FHandle, length,
                                               SQL.c_str(), static_cast<unsigned short>(main->SQLDialect()), nullptr),
                true);
}

int32_t TFIBTransaction::GetTransactionID() {
    if (FTransactionID > 0) return FTransactionID;
    TFIBDatabase* main = GetMainDatabase();
    if (FHandle == 0 || !main || main->LostConnectState() != 0) return 0;
    const char items[] = {static_cast<char>(isc_info_tra_id), static_cast<char>(isc_info_end)};
    char buffer[32] = {};
    IIBClientLibrary& lib = MainLibrary();
    CheckStatus(lib.isc_transaction_info(ThreadStatusVector(), &FHandle, static_cast<short>(sizeof items), items,
                                         static_cast<short>(sizeof buffer), buffer),
                true);
    if (buffer[0] != isc_info_tra_id) return 0;
    const auto length = static_cast<short>(lib.isc_vax_integer(buffer + 1, static_cast<short>(2)));
    FTransactionID = static_cast<int32_t>(lib.isc_vax_integer(buffer + 3, length));
    return FTransactionID;
}

bool TFIBTransaction::IsReadOnly() const {
    for (int i = 0; i < FTRParams.Count(); ++i) {
        const std::string line = Trim(FTRParams.Strings(i));
        if (SameText(line, "read") || SameText(line, "isc_tpb_read")) return true;
    }
    return false;
}

void TFIBTransaction::NotifySQLExecute(TObject* Query, int Phase) {
    if (!WatchUncommitedUpdates || FUncommittedUpdates) return;
    auto* query = dynamic_cast<TFIBQuery*>(Query);
    if (!query) return;
    // After an execution of anything but a SELECT, and when a SELECT closes (a selectable
    // procedure may have changed rows while it was read).
    const bool select = query->SQLType() == SQLSelect;
    if (!((Phase == 1 && !select) || (Phase == 2 && select))) return;
    const TRecordCounts counts = query->GetRecordCounts();
    FUncommittedUpdates = counts.Inserted + counts.Updated + counts.Deleted > 0;
}

int TFIBTransaction::AddLink(TFIBBase* Link) {
    for (size_t i = 0; i < FLinks.size(); ++i)
        if (!FLinks[i]) {
            FLinks[i] = Link;
            return static_cast<int>(i);
        }
    FLinks.push_back(Link);
    return static_cast<int>(FLinks.size()) - 1;
}

void TFIBTransaction::RemoveLink(int Index) {
    LeaveLinkList(FLinks, Index, [](TFIBBase* Moved, int NewIndex) { Moved->FIndexInTransaction = NewIndex; });
}

// --- TFIBBase -------------------------------------------------------------------------------

TFIBBase::~TFIBBase() {
    SetDatabase(nullptr);
    SetTransaction(nullptr);
}

std::string TFIBBase::OwnerName() const {
    if (auto* component = dynamic_cast<const TComponent*>(FOwner)) return ComponentFullName(component);
    return {};
}

void TFIBBase::CheckDatabase() {
    if (!FDatabase) RaiseClientError(cecDatabaseNotAssigned, {OwnerName()});
    FDatabase->CheckActive(false);
}

void TFIBBase::CheckTransaction() {
    if (!FTransaction) RaiseClientError(cecTransactionNotAssigned, {OwnerName()});
    FTransaction->CheckInTransaction();
}

isc_db_handle* TFIBBase::GetDBHandle() {
    CheckDatabase();
    return FDatabase->HandleAddress();
}

isc_tr_handle* TFIBBase::GetTRHandle() {
    CheckTransaction();
    return FTransaction->HandleAddress();
}

void TFIBBase::SetDatabase(TFIBDatabase* Value) {
    if (Value == FDatabase) return;
    if (FDatabase) {
        FDatabase->RemoveLink(FIndexInDatabase);
        FIndexInDatabase = -1;
    }
    FDatabase = Value;
    if (Value) {
        FIndexInDatabase = Value->AddLink(this);
        if (!FTransaction && FOwner && Value->DefaultTransaction()) SetTransaction(Value->DefaultTransaction());
    }
}

void TFIBBase::SetTransaction(TFIBTransaction* Value) {
    if (Value == FTransaction) return;
    if (FTransaction) {
        FTransaction->RemoveLink(FIndexInTransaction);
        FIndexInTransaction = -1;
    }
    FTransaction = Value;
    if (Value) {
        FIndexInTransaction = Value->AddLink(this);
        if ((!FDatabase || Value->FindDatabase(FDatabase) < 0) && Value->GetDatabaseCount() > 0)
            SetDatabase(Value->GetMainDatabase());
    }
}

void TFIBBase::DoDatabaseFree() {
    Fire(OnDatabaseFree, this);
    SetDatabase(nullptr);
    SetTransaction(nullptr);
}

void TFIBBase::DoTransactionFree() {
    Fire(OnTransactionFree, this);
    // The transaction's list is being destroyed: only the reference goes.
    FTransaction = nullptr;
    FIndexInTransaction = -1;
}

} // namespace qnl
