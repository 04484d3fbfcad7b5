#pragma once
// The database and transaction components that programs place on their forms. They add to
// TFIBDatabase and TFIBTransaction: database aliases kept in the per-user registry, a login
// event, handling of a lost connection with timed reconnect attempts, start and end events of
// transactions on both objects, preset transaction parameter sets and named transaction kinds
// from the registry.
//
// Registry layout under the current user:
//   Software\ZERA_Vezoduri\Aliases\<alias>: "Database Name", "user_name", "lc_ctype",
//     "sql_role_name", "SQL_DIALECT" (decimal text), "CLIENT_LIB" (all strings);
//   Software\ZERA_Vezoduri\Transation Kinds\<any>: "Name" and "Params" (the TRParams text).
#include "client/FIBDatabase.h"

#include <functional>
#include <memory>
#include <string>

namespace qnl {

class EFIBError;
class TFIBQuery;
enum TFIBSQLTypes : uint8_t;

enum class TOnLostConnectActions : uint8_t { laTerminateApp, laCloseConnect, laIgnore, laWaitRestore };

class TpFIBDatabase;
using TFIBLoginEvent = std::function<void(TFIBDatabase* Database, TStringList& LoginParams, bool& DoConnect)>;
using TFIBLostConnectEvent =
    std::function<void(TFIBDatabase* Database, const EFIBError& E, TOnLostConnectActions& Actions, bool& DoRaise)>;
using TFIBRestoreConnectEvent = std::function<void(TFIBDatabase* Database)>;
using TEndTransactionEvent = std::function<void(TFIBTransaction* Transaction, TTransactionAction Action, bool Force)>;
using TpFIBAcceptCacheSchema = std::function<void(const std::string& ObjName, bool& Accept)>;

// The registry key path of an alias.
std::vector<std::string> AliasKeyPath(const std::string& AliasName);
// The key path under which each transaction kind has a subkey.
std::vector<std::string> TransactionKindsKeyPath();

class TpFIBDatabase : public TFIBDatabase {
public:
    explicit TpFIBDatabase(TComponent* AOwner = nullptr);
    ~TpFIBDatabase() override;
    std::string ClassName() const override { return "TpFIBDatabase"; }

    // Client error 13 while connected. A non-empty name loads the alias's stored values.
    const std::string& AliasName() const { return FAliasName; }
    void SetAliasName(const std::string& Value);
    // Applies every stored value of the alias that exists (DBName, user name, lc_ctype, role,
    // SQLDialect, LibraryName). False when the alias key is missing or has no "Database Name".
    virtual bool LoadAliasParams();
    // Writes the six values of the alias named by AliasName (nothing without a name).
    void SaveAlias() override;
    void SaveAliasParams() { SaveAlias(); }

    // Milliseconds between reconnect attempts after a lost connection; 0: no attempts.
    uint32_t WaitForRestoreConnect() const;
    void SetWaitForRestoreConnect(uint32_t Value);
    // The restore timer; nil while WaitForRestoreConnect is 0.
    TFIBCustomTimer* RestoreTimer() const { return FRestoreTimer.get(); }

    // Connects only when not connected: BeforeConnect may cancel silently; after a connect with
    // SaveAliasParamsAfterConnect and an alias name the alias is saved.
    void Connect(bool RaiseOnError = true) override;
    void Disconnect(bool Force) override;

    // By the action (which OnLostConnect may change): laTerminateApp closes all and asks the
    // main loop to quit; laCloseConnect closes all; laIgnore does nothing; laWaitRestore closes
    // all and starts the restore timer. DoRaise false makes the failed call end in a silent
    // abort instead of the error.
    virtual void DoLostConnect(const EFIBError& E, TOnLostConnectActions& Actions, bool& DoRaise);
    virtual void DoErrorRestoreConnect(const EFIBError& E, TOnLostConnectActions& Actions);
    virtual void DoAfterRestoreConnect();

    TCacheSchemaOptions& CacheSchemaOptions() { return *FCacheSchemaOptions; }
    bool SaveAliasParamsAfterConnect = true;
    // Also known as OnLogin.
    TFIBLoginEvent BeforeConnect;
    TFIBLostConnectEvent OnLostConnect;
    TFIBLostConnectEvent OnErrorRestoreConnect;
    TFIBRestoreConnectEvent AfterRestoreConnect;
    TNotifyEvent BeforeStartTransaction;
    TNotifyEvent AfterStartTransaction;
    TEndTransactionEvent BeforeEndTransaction;
    TEndTransactionEvent AfterEndTransaction;
    TpFIBAcceptCacheSchema OnAcceptCacheSchema;

protected:
    void ConnectionLost() override;

private:
    // After a connect, with AutoLoadFromFile and an existing LocalCacheFile: the three cache
    // files, checked against the server as ValidateAfterLoad and OnAcceptCacheSchema say.
    void LoadCacheFiles();
    void RestoreTimerEvent(TObject* Sender);

    std::unique_ptr<TFIBCustomTimer> FRestoreTimer;
    std::string FAliasName;
    std::unique_ptr<TCacheSchemaOptions> FCacheSchemaOptions;
};

using TOnSQLExecute = std::function<void(TFIBQuery* Query, TFIBSQLTypes SQLType)>;

inline constexpr const char* NoUserKind = "NoUserKind";

class TpFIBTransaction : public TFIBTransaction {
public:
    explicit TpFIBTransaction(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TpFIBTransaction"; }

    // Nothing when active. tpbReadCommitted and tpbRepeatableRead replace TRParams with their
    // preset lines first; tpbDefault starts with TRParams as they are.
    void StartTransaction() override;
    void EndTransaction(TTransactionAction Action, bool Force) override;
    void NotifySQLExecute(TObject* Query, int Phase) override;

    TTPBMode TPBMode = tpbReadCommitted;
    // A kind other than NoUserKind is looked up among the registry's transaction kinds; when
    // one of that name has "Params", TPBMode becomes tpbDefault and TRParams take that text.
    const std::string& UserKindTransaction() const { return FUserKindTransaction; }
    void SetUserKindTransaction(const std::string& Value);

    TNotifyEvent BeforeStart;
    TNotifyEvent AfterStart;
    TEndTransactionEvent BeforeEnd;
    TEndTransactionEvent AfterEnd;
    TOnSQLExecute BeforeSQLExecute;
    TOnSQLExecute AfterSQLExecute;

private:
    TpFIBDatabase* ExtendedDatabase() const;

    std::string FUserKindTransaction = NoUserKind;
};

} // namespace qnl
