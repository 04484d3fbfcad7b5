#pragma once
// What the data sets know about database tables beyond a prepared statement: per table the
// columns with their domain, default, computed flag and character set, the primary key and, on
// request, the display settings users keep in the repository table FIB$FIELDS_INFO of their
// database; kept process-wide per database name and table name.
#include "client/FIBDatabase.h"
#include "client/pFIBDatabase.h"
#include "platform/Component.h"
#include "platform/DataSet.h"
#include "platform/StringList.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qnl {

class TFIBCustomDataSet;
class TStream;

class TpFIBFieldInfo {
public:
    bool IsComputed = false;
    std::string DefaultValue;         // without DEFAULT and without enclosing quotes
    bool UsableInWhere = false;       // not a blob, not QUAD, not an array
    std::string DomainName;
    bool DefaultIsEmptyString = false;
    int32_t CharSetID = 0;
    // From the column's FIB$FIELDS_INFO row, when one was found.
    bool HasRepositoryInfo = false;
    std::string DisplayLabel;
    bool Visible = false;
    std::string EditFormat;
    std::string DisplayFormat;
    bool Triggered = false;
    int32_t DisplayWidth = 0;
    TStringList OtherInfo;            // name=value of the row's further columns
    // The domain's name holds BOOLEAN / GUID (upper-cased).
    bool IsBoolean() const;
    bool IsGuid() const;
    // The field record of the table-information cache file: the six flags (one byte each), the
    // display width and character set (32-bit little-endian), then DefaultValue, DomainName,
    // DisplayLabel, EditFormat, DisplayFormat and the text of OtherInfo, each a 32-bit length and
    // its bytes. A record cut short raises EStreamError.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);
};

class TpFIBTableInfo {
public:
    const std::string& DBName() const { return FDBName; }
    const std::string& TableName() const { return FTableName; }
    // RDB$FORMAT of a table, RDB$RELATION_ID of a view.
    int32_t FormatNumber() const { return FFormatNumber; }
    // The highest FIB$VERSION of the table's repository rows.
    int32_t FIBVersion() const { return FFIBVersion; }
    // Whether the repository settings were asked for when loading.
    bool WithFieldRepository() const { return FWithFieldRepository; }
    void SetWithFieldRepository(bool Value) { FWithFieldRepository = Value; }
    // Loads the columns of the table (or the output parameters of a procedure of that name) in
    // an active transaction of the database, or else in Transaction.
    void Initialize(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& TableName);
    // Nil when the table has no such column.
    TpFIBFieldInfo* FieldInfo(const std::string& ColumnName) const;
    int FieldCount() const { return static_cast<int>(FFields.size()); }
    // The primary-key columns joined by ";", read once in the database's internal transaction.
    std::string GetPrimaryKeys(TFIBDatabase* Database);
    // Reads the repository settings again for the columns already known (for "ALIAS": the
    // rows themselves).
    void ReloadRepositoryInfo(TFIBTransaction* Transaction);
    // Whether the server still has the table as it was loaded: the same database, format
    // number (a view's relation id) and, with repository settings, the same repository version.
    // Asked in an active transaction of the database or its internal one; sets NeedsCheck to
    // the opposite of the answer.
    bool IsActual(TFIBDatabase* Database);
    void ClearFieldInfos() { FFields.clear(); }
    // Read from a cache file or found stale: compared with the server before use when the
    // collection validates on use.
    bool NeedsCheck = false;

private:
    void LoadFieldInfos(TFIBTransaction* Transaction);
    // Opens the table's repository rows in Repository (ordered by OrderBy) and reads their
    // version; false when the repository cannot be read.
    bool OpenRepository(TFIBTransaction* Transaction, TFIBCustomDataSet& Repository, const std::string& OrderBy);

    std::string FDBName;
    std::string FTableName;
    std::string FPrimaryKeyFields = "@FIB_DEFERRED";
    std::vector<std::pair<std::string, std::unique_ptr<TpFIBFieldInfo>>> FFields;   // in position order
    int32_t FFormatNumber = 0;
    int32_t FFIBVersion = 0;
    bool FWithFieldRepository = false;
};

// Fills Info from Repository's row of the field (looked for when the current row is another
// one); nothing when there is none. Failures are swallowed: what was read before stays.
void ReadRepositoryRow(TDataSet& Repository, const std::string& FieldName, TpFIBFieldInfo& Info);

// Whether a repository table is in the database: Kind 1 FIB$FIELDS_INFO, 2 FIB$DATASETS_INFO,
// 3 FIB$ERROR_MESSAGES. Asked once per database and only for the kinds in its UseRepositories
// (false for the others without asking).
bool RepositoryTableExists(TFIBDatabase* Database, int Kind);
// Adds the newer columns, the version generator and the version triggers to FIB$FIELDS_INFO;
// each step that fails is passed over.
void UpgradeFieldsInfoTable(TFIBTransaction* Transaction);
// Adds the newer columns (UPDATE_TABLE_NAME, UPDATE_ONLY_MODIFIED_FIELDS on the FIB$BOOLEAN
// domain, which is created when missing, CONDITIONS, FIB$VERSION) and the version triggers to
// FIB$DATASETS_INFO; only the domain's creation raises when it fails.
void UpgradeDataSetsInfoTable(TFIBTransaction* Transaction);
// Whether the domain FIB$BOOLEAN exists (asked in a transaction of its own).
bool BooleanDomainExists(TFIBDatabase* Database);

class TpFIBTableInfoCollect : public TComponent {
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
    // Drops the cached tables of Database that are stale: those Accept (false on entry) does
    // not keep when it is given, else those whose format number or repository version the
    // server no longer has (asked per table up to ten tables, with two queries for more). Stamp
    // becomes the id of the database's internal transaction (started when inactive).
    void ValidateSchemaCache(TFIBDatabase* Database, const TpFIBAcceptCacheSchema& Accept);
    // Set by the database's cache load: a table read from the file is checked on its first use.
    bool ValidateOnUse = false;
    int32_t Stamp = 0;

protected:
    // A database that goes takes its repository flags along.
    void Notification(TComponent* AComponent, TOperation Operation) override;

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
