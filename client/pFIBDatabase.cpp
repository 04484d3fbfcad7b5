// Implements the extended database and transaction; see pFIBDatabase.h.
#include "client/pFIBDatabase.h"

#include "client/FIBQuery.h"
#include "client/FIBSafeTimer.h"
#include "client/RegUtils.h"
#include "client/fib.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/IntText.h"
#include "platform/StringList.h"

namespace qnl {

namespace {

constexpr uint8_t LostClosing = 1;
constexpr uint8_t LostRestoring = 2;
constexpr uint32_t DefaultRestoreInterval = 30000;

const std::vector<std::string>& AliasValueNames() {
    static const std::vector<std::string> names = {"Database Name", "user_name", "lc_ctype", "sql_role_name",
                                                   "SQL_DIALECT", "CLIENT_LIB"};
    return names;
}

std::string TextOf(const Variant& Value) {
    if (Value.VarType() == varString) return Value.AsString();
    if (Value.VarType() == varInteger || Value.VarType() == varInt64) return std::to_string(Value.AsInt64());
    return {};
}

} // namespace

std::vector<std::string> AliasKeyPath(const std::string& AliasName) {
    return {"Software", "ZERA_Vezoduri", "Aliases", AliasName};
}

std::vector<std::string> TransactionKindsKeyPath() { return {"Software", "ZERA_Vezoduri", "Transation Kinds"}; }

// --- TpFIBDatabase -------------------------------------------------------------------------

TpFIBDatabase::TpFIBDatabase(TComponent* AOwner)
    : TFIBDatabase(AOwner), FCacheSchemaOptions(std::make_unique<TCacheSchemaOptions>()) {}

TpFIBDatabase::~TpFIBDatabase() {
    // The base destructor closes the database; the restore timer must not fire on the way.
    FRestoreTimer.reset();
}

void TpFIBDatabase::SetAliasName(const std::string& Value) {
    if (Connected()) RaiseClientError(cecDatabaseOpen);
    FAliasName = Value;
    if (!Value.empty()) LoadAliasParams();
}

bool TpFIBDatabase::LoadAliasParams() {
    const Variant values = ReadRegistryValuesHKCU(AliasKeyPath(FAliasName), AliasValueNames());
    if (!values.IsArray()) return false;
    auto exists = [&](int Index) { return values.GetElement({1, Index}).AsBoolean(); };
    auto text = [&](int Index) { return TextOf(values.GetElement({0, Index})); };
    if (exists(0)) SetDBName(text(0));
    if (exists(1)) WriteDBParam(dpbUserName, text(1));
    if (exists(2)) WriteDBParam(dpbLcCtype, text(2));
    if (exists(3)) WriteDBParam(dpbSqlRoleName, text(3));
    if (exists(4)) {
        int32_t dialect = 0;
        if (!TryStrToInt(text(4), dialect))
            throw Exception("Alias \"" + FAliasName + "\": SQL_DIALECT \"" + text(4) + "\" is not a number");
        SetSQLDialect(dialect);
    }
    if (exists(5)) SetLibraryName(text(5));
    return exists(0);
}

void TpFIBDatabase::SaveAlias() {
    if (FAliasName.empty()) return;
    WriteRegistryValuesHKCU(AliasKeyPath(FAliasName), AliasValueNames(),
                            {Variant(DBName()), Variant(ReadDBParam(dpbUserName)), Variant(ReadDBParam(dpbLcCtype)),
                             Variant(ReadDBParam(dpbSqlRoleName)), Variant(std::to_string(SQLDialect())),
                             Variant(LibraryName())});
}

uint32_t TpFIBDatabase::WaitForRestoreConnect() const { return FRestoreTimer ? FRestoreTimer->Interval() : 0; }

void TpFIBDatabase::SetWaitForRestoreConnect(uint32_t Value) {
    if (Value == 0) {
        FRestoreTimer.reset();
        return;
    }
    if (!FRestoreTimer) {
        FRestoreTimer = std::make_unique<TFIBCustomTimer>();
        FRestoreTimer->SetInterval(DefaultRestoreInterval);
        FRestoreTimer->OnTimer = [this](TObject* Sender) { RestoreTimerEvent(Sender); };
    }
    FRestoreTimer->SetInterval(Value);
}

void TpFIBDatabase::Connect(bool RaiseOnError) {
    if (Connected()) return;
    bool doConnect = true;
    if (BeforeConnect) BeforeConnect(this, DBParams(), doConnect);
    if (!doConnect) return;
    TFIBDatabase::Connect(RaiseOnError);
    if (Connected()) LoadCacheFiles();
    if (Connected() && SaveAliasParamsAfterConnect && !FAliasName.empty()) SaveAlias();
}

void TpFIBDatabase::LoadCacheFiles() {
    const TCacheSchemaOptions& options = *FCacheSchemaOptions;
    if (!options.AutoLoadFromFile || !FileExists(options.LocalCacheFile)) return;
    // A cache file never stops a connect: a bad one is taken as absent, and a failed check of
    // the cache against the server leaves it to be checked on use.
    try {
        if (!OnAcceptCacheSchema || !options.ValidateAfterLoad) {
            LoadSchemaCacheFiles(options.LocalCacheFile, options.ValidateAfterLoad, this);
            return;
        }
        if (LoadSchemaCacheFiles(options.LocalCacheFile, true, nullptr) && SchemaCacheFiles().Validate)
            SchemaCacheFiles().Validate(this, OnAcceptCacheSchema);
        SaveSchemaCacheFiles(options.LocalCacheFile);
    } catch (const std::exception&) {
    }
}

void TpFIBDatabase::Disconnect(bool Force) {
    if (FCacheSchemaOptions->AutoSaveToFile && !FCacheSchemaOptions->LocalCacheFile.empty())
        SaveSchemaCacheFiles(FCacheSchemaOptions->LocalCacheFile);
    if (Connected()) TFIBDatabase::Disconnect(Force);
}

void TpFIBDatabase::ConnectionLost() {
    TOnLostConnectActions action = FRestoreTimer ? TOnLostConnectActions::laWaitRestore : TOnLostConnectActions::laCloseConnect;
    bool doRaise = true;
    try {
        RaiseStatusVectorError(*ClientLibrary(), this);
    } catch (const EFIBError& e) {
        DoLostConnect(e, action, doRaise);
    }
    if (!doRaise) throw EAbort();
}

void TpFIBDatabase::DoLostConnect(const EFIBError& E, TOnLostConnectActions& Actions, bool& DoRaise) {
    if (OnLostConnect) OnLostConnect(this, E, Actions, DoRaise);
    switch (Actions) {
    case TOnLostConnectActions::laTerminateApp:
        CloseAfterLostConnection();
        PostQuit();
        break;
    case TOnLostConnectActions::laCloseConnect: CloseAfterLostConnection(); break;
    case TOnLostConnectActions::laIgnore: break;
    case TOnLostConnectActions::laWaitRestore:
        CloseAfterLostConnection();
        if (FRestoreTimer) {
            SetLostConnectState(LostConnectState() | LostRestoring);
            FRestoreTimer->SetEnabled(true);
        }
        break;
    }
}

void TpFIBDatabase::DoErrorRestoreConnect(const EFIBError& E, TOnLostConnectActions& Actions) {
    bool doRaise = false;
    if (OnErrorRestoreConnect) OnErrorRestoreConnect(this, E, Actions, doRaise);
}

void TpFIBDatabase::DoAfterRestoreConnect() {
    if (AfterRestoreConnect) AfterRestoreConnect(this);
}

void TpFIBDatabase::RestoreTimerEvent(TObject*) {
    if (Connected()) return;
    SetLostConnectState(LostConnectState() | LostRestoring);
    TOnLostConnectActions action = TOnLostConnectActions::laIgnore;
    if (FRestoreTimer && FRestoreTimer->Enabled()) {
        FRestoreTimer->SetEnabled(false);
        action = TOnLostConnectActions::laWaitRestore;
    }
    auto failed = [&] {
        if (action == TOnLostConnectActions::laWaitRestore && FRestoreTimer) FRestoreTimer->SetEnabled(true);
        SetLostConnectState(LostConnectState() & static_cast<uint8_t>(~LostRestoring));
    };
    try {
        SetConnected(true);
    } catch (const EFIBError& e) {
        DoErrorRestoreConnect(e, action);
        failed();
        if (action == TOnLostConnectActions::laTerminateApp) PostQuit();
        return;
    } catch (...) {
        failed();
        throw;
    }
    // Reconnected: the restoring mark must not outlive the restore, or the transactions of the
    // new attachment would never learn their ids.
    SetLostConnectState(LostConnectState() & static_cast<uint8_t>(~(LostRestoring | LostClosing)));
    DoAfterRestoreConnect();
}

// --- TpFIBTransaction ----------------------------------------------------------------------

TpFIBTransaction::TpFIBTransaction(TComponent* AOwner) : TFIBTransaction(AOwner) {}

TpFIBDatabase* TpFIBTransaction::ExtendedDatabase() const { return dynamic_cast<TpFIBDatabase*>(DefaultDatabase()); }

void TpFIBTransaction::StartTransaction() {
    if (Active()) return;
    if (TPBMode != tpbDefault) {
        TStringList& params = TRParams();
        params.Clear();
        params.Add("write");
        params.Add("isc_tpb_nowait");
        if (TPBMode == tpbReadCommitted) {
            params.Add("read_committed");
            params.Add("rec_version");
        } else {
            params.Add("concurrency");
        }
    }
    TpFIBDatabase* db = ExtendedDatabase();
    if (db && db->BeforeStartTransaction) db->BeforeStartTransaction(this);
    if (BeforeStart) BeforeStart(this);
    TFIBTransaction::StartTransaction();
    if (AfterStart) AfterStart(this);
    if (db && db->AfterStartTransaction) db->AfterStartTransaction(this);
}

void TpFIBTransaction::EndTransaction(TTransactionAction Action, bool Force) {
    TpFIBDatabase* db = ExtendedDatabase();
    if (db && db->BeforeEndTransaction) db->BeforeEndTransaction(this, Action, Force);
    if (BeforeEnd) BeforeEnd(this, Action, Force);
    TFIBTransaction::EndTransaction(Action, Force);
    if (AfterEnd) AfterEnd(this, Action, Force);
    if (db && db->AfterEndTransaction) db->AfterEndTransaction(this, Action, Force);
}

void TpFIBTransaction::NotifySQLExecute(TObject* Query, int Phase) {
    TFIBTransaction::NotifySQLExecute(Query, Phase);
    auto* query = dynamic_cast<TFIBQuery*>(Query);
    if (!query) return;
    if (Phase == 0 && BeforeSQLExecute) BeforeSQLExecute(query, query->SQLType());
    if (Phase == 1 && AfterSQLExecute) AfterSQLExecute(query, query->SQLType());
}

void TpFIBTransaction::SetUserKindTransaction(const std::string& Value) {
    FUserKindTransaction = Value;
    if (Value == NoUserKind) return;
    const std::string kind = ReadSubKeyStringValues(TransactionKindsKeyPath(), "Name", Value);
    if (kind.empty()) return;
    std::vector<std::string> path = TransactionKindsKeyPath();
    path.push_back(kind);
    const Variant values = ReadRegistryValuesHKCU(path, {"Params"});
    if (!values.IsArray() || !values.GetElement({1, 0}).AsBoolean()) return;
    TPBMode = tpbDefault;
    TRParams().SetText(TextOf(values.GetElement({0, 0})));
}

} // namespace qnl
