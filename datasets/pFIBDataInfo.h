#pragma once
// What the data sets know about database tables beyond a prepared statement: per table the
// columns with their domain, default, computed flag and character set, and the primary key,
// kept process-wide per database name and table name.
//
// Only the table information from the system tables is built here; the display settings of the
// FIB$FIELDS_INFO repository are not read (a request with the repository gets the same
// information without it).
#include "client/FIBDatabase.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qnl {

class TpFIBFieldInfo {
public:
    bool IsComputed = false;
    std::string DefaultValue;         // without DEFAULT and without enclosing quotes
    bool UsableInWhere = false;       // not a blob, not QUAD, not an array
    std::string DomainName;
    bool DefaultIsEmptyString = false;
    int32_t CharSetID = 0;
    // The domain's name holds BOOLEAN / GUID (upper-cased).
    bool IsBoolean() const;
    bool IsGuid() const;
};

class TpFIBTableInfo {
public:
    const std::string& DBName() const { return FDBName; }
    const std::string& TableName() const { return FTableName; }
    // RDB$FORMAT of a table, RDB$RELATION_ID of a view.
    int32_t FormatNumber() const { return FFormatNumber; }
    // Loads the columns of the table (or the output parameters of a procedure of that name) in
    // an active transaction of the database, or else in Transaction.
    void Initialize(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& TableName);
    // Nil when the table has no such column.
    TpFIBFieldInfo* FieldInfo(const std::string& ColumnName) const;
    int FieldCount() const { return static_cast<int>(FFields.size()); }
    // The primary-key columns joined by ";", read once in the database's internal transaction.
    std::string GetPrimaryKeys(TFIBDatabase* Database);

private:
    void LoadFieldInfos(TFIBTransaction* Transaction);

    std::string FDBName;
    std::string FTableName;
    std::string FPrimaryKeyFields = "@FIB_DEFERRED";
    std::vector<std::pair<std::string, std::unique_ptr<TpFIBFieldInfo>>> FFields;   // in position order
    int32_t FFormatNumber = 0;
};

class TpFIBTableInfoCollect {
public:
    // The table's information, loaded on the first request (in the database's internal
    // transaction); double quotes in the name are dropped. Server errors propagate and add
    // nothing.
    TpFIBTableInfo* GetTableInfo(TFIBDatabase* Database, const std::string& TableName, bool WithFieldRepository);
    TpFIBFieldInfo* GetFieldInfo(TFIBDatabase* Database, const std::string& TableName, bool WithFieldRepository,
                                 const std::string& ColumnName);
    TpFIBTableInfo* FindTableInfo(const std::string& DBName, const std::string& TableName);
    void RemoveTable(const std::string& TableName);
    void ClearForDatabase(TFIBDatabase* Database);
    void Clear();
    int Count();

private:
    std::recursive_mutex FLock;
    std::vector<std::unique_ptr<TpFIBTableInfo>> FTables;
};

// The process-wide table-information cache.
TpFIBTableInfoCollect& TableInfoCache();

// The primary-key columns of a table joined by ";" (read in Transaction); empty for an empty
// name; "@FIB_DEFERRED" without a transaction or database.
std::string GetPrimaryKeyFields(const std::string& TableName, TFIBTransaction* Transaction);

} // namespace qnl
