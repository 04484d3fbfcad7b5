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
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

namespace qnl {

class TFIBCustomDataSet;
class TpFIBDataSet;
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
    // The table's entry of the table-information cache file, after its key (pFIBDataInfoFiles.cpp).
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);

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
    // The table-information cache file (pFIBDataInfoFiles.cpp). Saving an empty collection
    // deletes the file. Loading clears the collection first and answers false for a missing or
    // unreadable file (which then leaves the collection empty). With a Database, Stamp becomes
    // the id of its internal transaction, and a file stamped later than that (the database was
    // replaced since) is not read.
    void SaveToFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName, TFIBDatabase* Database);

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

// ---- Cache file encoding ----
// Integers 32-bit little-endian, Booleans one byte, texts a 32-bit length and their bytes. A
// read past the end raises EStreamError; a text longer than what is left is refused before
// anything is allocated.
void WriteInt32(TStream& Stream, int32_t Value);
int32_t ReadInt32(TStream& Stream);
void WriteBool(TStream& Stream, bool Value);
bool ReadBool(TStream& Stream);
void WriteText(TStream& Stream, const std::string& Text);
std::string ReadText(TStream& Stream);

// ---- Data-set information, error messages and the local cache files (pFIBDataInfoFiles.cpp) ----
//
// The cache files are written whole to a new file beside the old one (created for the owner
// alone, 0600) and renamed over it, so a failed write keeps the old file. Loading checks every
// length and count against the bytes left: a truncated, foreign or hostile file is taken as
// absent and never stops a connect.

// The row of FIB$DATASETS_INFO a data set takes its texts and update options from.
class TpDataSetInfo {
public:
    std::string DBName;
    int32_t FIBVersion = 0;
    TStringList SelectSQL;
    TStringList InsertSQL;
    TStringList UpdateSQL;
    TStringList DeleteSQL;
    TStringList RefreshSQL;
    std::string KeyField;
    std::string NameGenerator;
    std::string Description;
    std::string UpdateTableName;
    bool UpdateOnlyModifiedFields = false;
    std::string Conditions;   // SaveConditionsToText's form
    bool NeedsCheck = false;  // read from a cache file

    // The entry of the data-set information file after its key.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);
    // Reads the row of DataSetID (SELECT * FROM FIB$DATASETS_INFO WHERE DS_ID=:DS_ID in
    // Transaction): false when there is none. The newer columns (FIB$VERSION,
    // UPDATE_TABLE_NAME, UPDATE_ONLY_MODIFIED_FIELDS, CONDITIONS) are read when the row has them.
    bool ReadFromRepository(TFIBTransaction& Transaction, int32_t DataSetID);
};

// With Info: reads the data set's FIB$DATASETS_INFO row into Info. Without: writes the data
// set's statements, key, generator, update table, update option, conditions and description
// (Description when not empty) into its row, inserting the row when there is none. Raises for a
// data set without DataSet_ID or database, or when the database does not use or lack the table.
bool SaveDataSetInfo(TFIBCustomDataSet& DataSet, TpDataSetInfo* Info = nullptr, const std::string& Description = {});

// The process-wide cache of FIB$DATASETS_INFO rows: one entry per data-set id and database.
class TpDataSetInfoCollect {
public:
    // The entry of the data set's DataSet_ID and database, read from FIB$DATASETS_INFO on
    // first use (an id without a row gets an empty entry); nil without a database or id. An
    // entry from the cache file whose version the server no longer has is read again when
    // ValidateOnUse is set.
    TpDataSetInfo* GetInfo(TpFIBDataSet& DataSet);
    // Gives the data set the entry's statements, key, generator, update table, conditions and
    // description.
    void ApplyDataSetInfo(TpFIBDataSet& DataSet);
    void RemoveInfo(TpFIBDataSet& DataSet);
    // FIB$VERSION of the data set's row (0 without one), read in its transaction.
    int32_t ReadDataSetVersion(TpFIBDataSet& DataSet);
    // The entry of the id for the database named DBName; nil when none.
    TpDataSetInfo* FindInfo(int32_t DataSetID, const std::string& DBName);
    // Adds Info under the id (an entry of the same id and database is replaced).
    TpDataSetInfo* AddInfo(int32_t DataSetID, std::unique_ptr<TpDataSetInfo> Info);
    void Clear();
    int Count();
    // The ".dt" file: saving an empty collection deletes it; loading clears first, marks every
    // entry NeedsCheck and answers false for a missing or unreadable file.
    void SaveToFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName);
    // Set by the database's cache load.
    bool ValidateOnUse = false;

private:
    std::recursive_mutex FLock;
    std::vector<std::pair<int32_t, std::unique_ptr<TpDataSetInfo>>> FInfos;
};

struct TpErrorMessage {
    std::string Text;
    int32_t Version = 0;
};

// Error messages by group and name (both compared without case).
class TpErrorMessagesCollect {
public:
    // A message that exists takes Text and Version only when its version is lower.
    void AddErrorMessage(const std::string& Group, const std::string& Name, int32_t Version, const std::string& Text);
    // A copy of the message; none when there is none.
    std::optional<TpErrorMessage> FindErrorMessage(const std::string& Group, const std::string& Name);
    void Clear();
    int GroupCount();
    // The ".err" file: saving an empty store deletes it; loading answers false for a missing or
    // unreadable file and then leaves the store as it was.
    void SaveToFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName);
    int32_t Stamp = 0;

private:
    struct TGroup {
        std::string Name;
        std::vector<std::pair<std::string, TpErrorMessage>> Messages;   // sorted by folded name
    };
    std::shared_mutex FLock;
    std::vector<TGroup> FGroups;   // sorted by folded name
};

// The process-wide lists of stored procedures under their lock; the data sets have no operation
// on them.
struct TpStoredProcCollect {
    TpStoredProcCollect() { Names.SetSorted(true); }
    std::mutex Lock;
    TStringList Names;   // sorted, duplicates ignored
    TStringList Texts;
};

TpDataSetInfoCollect& DataSetInfoCache();
TpErrorMessagesCollect& ErrorMessagesCache();
TpStoredProcCollect& StoredProcCache();

// FileName with its file name's extension replaced ("dir.v1/cache" + ".dt" gives
// "dir.v1/cache.dt").
std::string CacheFileName(const std::string& FileName, const std::string& Extension);

// Gives the database object its way to the three cache files; run once when the program links
// the data sets.
bool InstallSchemaCacheFiles();
inline const bool SchemaCacheFilesInstalled = InstallSchemaCacheFiles();

} // namespace qnl
