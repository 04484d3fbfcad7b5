#pragma once
// The interfaces through which an outside multi-database transaction component ("MDT") could
// take over attachments, transactions and statement execution. Nothing in this program
// implements them: a database is in MDT mode only while it holds an IMDTDatabase, and nothing
// sets one, so databases, transactions and statements keep their normal paths.
#include "platform/Variant.h"

#include <ibase.h>

#include <cstdint>
#include <string>

namespace qnl {

// Where a statement runs: on the server, through the MDT, or through the MDT after the server.
// A statement changes it only while closed.
using TMDTSQLExecutor = uint8_t;
inline constexpr TMDTSQLExecutor se_Server = 0;
inline constexpr TMDTSQLExecutor se_Local = 1;
inline constexpr TMDTSQLExecutor se_ServerAfterLocal = 2;

// Anything of the MDT family; the MDT database passes itself as one in its notifications.
class IMDTChieldObject {
public:
    virtual ~IMDTChieldObject() = default;
};

// What the MDT database tells the databases that joined it. Freed: the database closes and
// drops it; before-connect and after-disconnect: ignored; connected: the database connects
// unless connected or in an MDT connect state; disconnected: the database disconnects when it
// is connected through the MDT.
using TMDTNotifyKind = uint8_t;
inline constexpr TMDTNotifyKind mnFreed = 0;
inline constexpr TMDTNotifyKind mnBeforeConnect = 1;
inline constexpr TMDTNotifyKind mnAfterDisconnect = 2;
inline constexpr TMDTNotifyKind mnConnected = 3;
inline constexpr TMDTNotifyKind mnDisconnected = 4;

class IMDTNotifyTarget {
public:
    virtual ~IMDTNotifyTarget() = default;
    virtual void MDTNotify(IMDTChieldObject* Sender, TMDTNotifyKind Kind) = 0;
};

// User name, password and role of a channel; the login reads and writes them.
class IMDTDatabaseConnectParams {
public:
    virtual ~IMDTDatabaseConnectParams() = default;
    virtual std::string UserName() = 0;
    virtual void SetUserName(const std::string& Value) = 0;
    virtual std::string Password() = 0;
    virtual void SetPassword(const std::string& Value) = 0;
    virtual std::string RoleName() = 0;
    virtual void SetRoleName(const std::string& Value) = 0;
};

// A transaction that the MDT runs on one real database.
class IMDTIBRealDBTransaction {
public:
    virtual ~IMDTIBRealDBTransaction() = default;
    virtual isc_tr_handle Handle() = 0;
    virtual bool InTransaction() = 0;
    // Action as the transaction's end actions: 0 rollback, 1 rollback retaining, 2 commit,
    // 3 commit retaining.
    virtual void EndTransaction(uint8_t Action) = 0;
};

// The MDT's channel to one real database: the client library it uses, its attachment handle,
// its login parameters and its transactions.
class IMDTIBRealDBCanal : public virtual IMDTChieldObject {
public:
    virtual std::string LibraryName() = 0;
    virtual isc_db_handle Handle() = 0;
    virtual IMDTDatabaseConnectParams* ConnectParams() = 0;
    // Starts a transaction with the transaction parameter text; Separate asks for one of the
    // caller's own rather than the channel's shared one.
    virtual IMDTIBRealDBTransaction* StartTransaction(const std::string& TRParams, bool Separate) = 0;
};

class IMDTDatabase : public virtual IMDTChieldObject {
public:
    virtual void AddChild(IMDTNotifyTarget* Child) = 0;
    virtual void RemoveChild(IMDTNotifyTarget* Child) = 0;
    virtual int ChannelCount() = 0;
    // The database takes the first channel that is an IMDTIBRealDBCanal.
    virtual IMDTChieldObject* Channel(int Index) = 0;
    virtual bool Connected() = 0;
    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    // The MDT database's own transaction (nil when it has none).
    virtual IMDTIBRealDBTransaction* Transaction() = 0;
};

// A row exchanged between a descriptor area and the MDT.
class IMDTDataRecord {
public:
    virtual ~IMDTDataRecord() = default;
    virtual int FieldCount() = 0;
    virtual Variant FieldValue(int Index) = 0;
    virtual void SetFieldValue(int Index, const Variant& Value) = 0;
};

} // namespace qnl
