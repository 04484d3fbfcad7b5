// Implements the table-information cache; see pFIBDataInfo.h.
#include "datasets/pFIBDataInfo.h"

#include "client/FIBQuery.h"
#include "client/StrUtil.h"
#include "client/pFIBCacheQueries.h"
#include "platform/StringList.h"

#include <algorithm>

namespace qnl {

namespace {

const char* const DeferredKeys = "@FIB_DEFERRED";

const char* const FormatSQL =
    "select a1.RDB$RELATION_ID VER  from RDB$RELATIONS a1\r\nwhere a1.RDB$SYSTEM_FLAG = 0  and "
    "a1.rdb$relation_name=?TN\r\nand not  a1.rdb$view_blr is null\r\nunion\r\nselect RDB$FORMAT from RDB$RELATIONS "
    "R\r\nwhere R.RDB$SYSTEM_FLAG = 0    and R.rdb$relation_name=?TN\r\nand  R.rdb$view_blr is null";

const char* const FieldsSQL =
    "Select R.RDB$FIELD_NAME,R.RDB$FIELD_SOURCE,F.RDB$COMPUTED_BLR, \r\nR.RDB$DEFAULT_SOURCE DS,F.RDB$DEFAULT_SOURCE "
    "DS1, \r\nF.RDB$FIELD_TYPE, \r\nF.RDB$CHARACTER_SET_ID, F. RDB$DIMENSIONS\r\nfrom  RDB$RELATION_FIELDS R "
    "\r\nJOIN RDB$FIELDS F ON (R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME) \r\nwhere  R.RDB$RELATION_NAME=:TN \r\norder "
    "by R.RDB$FIELD_POSITION";

const char* const ProcedureFieldsSQL =
    "Select P.RDB$PARAMETER_NAME,F.RDB$FIELD_NAME,0,0,0,\r\nP.RDB$PARAMETER_TYPE,\r\nF.RDB$CHARACTER_SET_ID, "
    "NULL\r\nfrom RDB$PROCEDURE_PARAMETERS P\r\nJOIN RDB$FIELDS F ON (P.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME)WHERE "
    "P.RDB$PROCEDURE_NAME=:PN\r\nAND P.RDB$PARAMETER_TYPE=1";

const char* const PrimaryKeySQL =
    "select i.rdb$field_name\r\nfrom    rdb$relation_constraints r, rdb$index_segments i\r\nwhere   "
    "r.rdb$relation_name=:TN and\r\nr.rdb$constraint_type='PRIMARY KEY' and\r\nr.rdb$index_name=i.rdb$index_name\r\norder "
    "by i.rdb$field_position";

std::string DropDoubleQuotes(const std::string& Name) {
    std::string s;
    for (char c : Name)
        if (c != '"') s += c;
    return Trim(s);
}

// A pooled statement of the text in Transaction, given back to the pool on every way out.
class TPooledQuery {
public:
    TPooledQuery(TFIBTransaction* Transaction, const std::string& SQL, TpFIBQueryOptions Options)
        : FQuery(GetQueryForUse(Transaction, SQL)) {
        if (!FQuery) throw Exception("No pooled statement for " + SQL);
        FQuery->SetOptions(Options);
    }
    ~TPooledQuery() { FreeQueryForUse(FQuery); }
    TPooledQuery(const TPooledQuery&) = delete;
    TPooledQuery& operator=(const TPooledQuery&) = delete;
    TFIBQuery* operator->() const { return FQuery; }

private:
    TFIBQuery* FQuery;
};

constexpr TpFIBQueryOptions StartOption = SetOf<TpFIBQueryOptions>(qoStartTransaction);

} // namespace

bool TpFIBFieldInfo::IsBoolean() const { return UpperCase(DomainName).find("BOOLEAN") != std::string::npos; }
bool TpFIBFieldInfo::IsGuid() const { return UpperCase(DomainName).find("GUID") != std::string::npos; }

// ---- TpFIBTableInfo ----

void TpFIBTableInfo::Initialize(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& TableName) {
    FTableName = TableName;
    FPrimaryKeyFields = DeferredKeys;
    FDBName = Database ? Database->DBName() : std::string();
    TFIBTransaction* active = Database ? Database->FindActiveTransaction() : nullptr;
    if (!TableName.empty()) LoadFieldInfos(active ? active : Transaction);
}

void TpFIBTableInfo::LoadFieldInfos(TFIBTransaction* Transaction) {
    if (FTableName != "ALIAS") {
        TPooledQuery format(Transaction, FormatSQL, StartOption);
        format->Prepare();
        format->ParamByName("TN").SetAsString(FTableName);
        format->ExecQuery();
        if (!format->Eof()) FFormatNumber = format->Fields()[0].GetAsInteger();
    }
    const TpFIBQueryOptions options = StartOption | SetOf<TpFIBQueryOptions>(qoTrimCharFields);
    std::vector<std::pair<std::string, std::unique_ptr<TpFIBFieldInfo>>> fields;
    auto read = [&](const char* SQL, const char* Param) {
        TPooledQuery q(Transaction, SQL, options);
        q->SetMDTSQLExecutor(se_Server);
        q->ParamByName(Param).SetAsString(FTableName);
        q->ExecQuery();
        // The statement stands on its first row after the execute.
        for (; !q->Eof(); q->Next()) {
            auto info = std::make_unique<TpFIBFieldInfo>();
            TFIBXSQLDA& r = q->Fields();
            info->DomainName = Trim(r[1].GetAsString());
            info->IsComputed = r[2].GetSQLType() == SQL_BLOB && !r[2].GetIsNull();
            if (r[3].GetSQLType() == SQL_BLOB) {
                std::string def = r[3].GetIsNull() ? std::string() : Trim(r[3].GetAsString());
                if (def.empty() && !r[4].GetIsNull()) def = Trim(r[4].GetAsString());
                if (!def.empty()) {
                    def = Trim(def.size() > 7 ? def.substr(7) : std::string());
                    const size_t quote = def.find_first_of("'\"");
                    if (quote != std::string::npos) def = StripQuotes(Trim(def.substr(quote)));
                    info->DefaultValue = def;
                    info->DefaultIsEmptyString = def.empty();
                }
            }
            const int64_t type = r[5].GetAsInt64();
            info->UsableInWhere = type != 9 && type != 261 && r[7].GetIsNull();
            info->CharSetID = r[6].GetAsInteger();
            fields.emplace_back(Trim(r[0].GetAsString()), std::move(info));
        }
    };
    read(FieldsSQL, "TN");
    if (fields.empty()) read(ProcedureFieldsSQL, "PN");
    FFields = std::move(fields);
}

TpFIBFieldInfo* TpFIBTableInfo::FieldInfo(const std::string& ColumnName) const {
    const std::string name = DropDoubleQuotes(ColumnName);
    for (const auto& [n, info] : FFields)
        if (n == name) return info.get();
    return nullptr;
}

std::string TpFIBTableInfo::GetPrimaryKeys(TFIBDatabase* Database) {
    if (FPrimaryKeyFields == DeferredKeys)
        FPrimaryKeyFields = GetPrimaryKeyFields(FTableName, Database ? Database->GetInternalTransaction() : nullptr);
    return FPrimaryKeyFields;
}

std::string GetPrimaryKeyFields(const std::string& TableName, TFIBTransaction* Transaction) {
    if (TableName.empty()) return {};
    if (!Transaction || Transaction->GetDatabaseCount() == 0) return DeferredKeys;
    std::string name = TableName;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    TPooledQuery q(Transaction, PrimaryKeySQL, StartOption);
    q->ParamByName("TN").SetAsString(name);
    q->ExecQuery();
    std::string result;
    for (; !q->Eof(); q->Next()) result += (result.empty() ? "" : ";") + Trim(q->Fields()[0].GetAsString());
    return result;
}

// ---- TpFIBTableInfoCollect ----

TpFIBTableInfo* TpFIBTableInfoCollect::FindTableInfo(const std::string& DBName, const std::string& TableName) {
    std::lock_guard lock(FLock);
    for (const auto& info : FTables)
        if (info->TableName() == TableName && info->DBName() == DBName) return info.get();
    return nullptr;
}

TpFIBTableInfo* TpFIBTableInfoCollect::GetTableInfo(TFIBDatabase* Database, const std::string& TableName, bool) {
    if (!Database) return nullptr;
    const std::string name = DropDoubleQuotes(TableName);
    std::lock_guard lock(FLock);
    if (TpFIBTableInfo* found = FindTableInfo(Database->DBName(), name)) return found;
    auto info = std::make_unique<TpFIBTableInfo>();
    info->Initialize(Database, Database->GetInternalTransaction(), name);
    FTables.push_back(std::move(info));
    return FTables.back().get();
}

TpFIBFieldInfo* TpFIBTableInfoCollect::GetFieldInfo(TFIBDatabase* Database, const std::string& TableName,
                                                    bool WithFieldRepository, const std::string& ColumnName) {
    TpFIBTableInfo* table = GetTableInfo(Database, TableName, WithFieldRepository);
    return table ? table->FieldInfo(ColumnName) : nullptr;
}

void TpFIBTableInfoCollect::RemoveTable(const std::string& TableName) {
    std::lock_guard lock(FLock);
    std::erase_if(FTables, [&](const auto& info) { return info->TableName() == TableName; });
}

void TpFIBTableInfoCollect::ClearForDatabase(TFIBDatabase* Database) {
    if (!Database) return;
    std::lock_guard lock(FLock);
    std::erase_if(FTables, [&](const auto& info) { return info->DBName() == Database->DBName(); });
}

void TpFIBTableInfoCollect::Clear() {
    std::lock_guard lock(FLock);
    FTables.clear();
}

int TpFIBTableInfoCollect::Count() {
    std::lock_guard lock(FLock);
    return static_cast<int>(FTables.size());
}

TpFIBTableInfoCollect& TableInfoCache() {
    static TpFIBTableInfoCollect cache;
    return cache;
}

} // namespace qnl
