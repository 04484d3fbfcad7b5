// Implements the table-information cache; see pFIBDataInfo.h.
#include "datasets/pFIBDataInfo.h"

#include "client/FIBQuery.h"
#include "client/StrUtil.h"
#include "client/pFIBCacheQueries.h"
#include "client/fib.h"
#include "datasets/FIBDataSet.h"
#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <mutex>

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

const char* const RepositoryVersionSQL = "Select Max(fib$version) From FIB$FIELDS_INFO Where table_name=?TN";

const char* const RepositoryNames[3] = {"FIB$FIELDS_INFO", "FIB$DATASETS_INFO", "FIB$ERROR_MESSAGES"};

// Per database three characters, one per repository table: "0" absent, "1" present, "2" not
// yet known.
struct TRepositoryFlags {
    std::mutex Lock;
    std::vector<std::pair<TFIBDatabase*, std::string>> Lines;
};

TRepositoryFlags& RepositoryFlags() {
    static TRepositoryFlags flags;
    return flags;
}

// Runs Text on Transaction's database, passing over a failure.
void ExecIgnoringFailure(TFIBTransaction* Transaction, const std::string& Text) {
    try {
        TFIBQuery q;
        q.SetDatabase(Transaction->GetMainDatabase());
        q.SetTransaction(Transaction);
        q.SetParamCheck(false);
        q.SQL().SetText(Text);
        q.ExecQuery();
    } catch (const Exception&) {
        // the column or object is there already, or cannot be made: the upgrade goes on
    }
}

} // namespace

bool RepositoryTableExists(TFIBDatabase* Database, int Kind) {
    if (!Database || Kind < 1 || Kind > 3) return false;
    TRepositoryFlags& flags = RepositoryFlags();
    std::lock_guard lock(flags.Lock);
    auto line = std::find_if(flags.Lines.begin(), flags.Lines.end(), [&](const auto& l) { return l.first == Database; });
    const auto at = static_cast<size_t>(Kind - 1);
    char state = line == flags.Lines.end() ? '2' : line->second[at];
    if (state != '0' && state != '1' && (Database->UseRepositories & (1u << (Kind - 1)))) {
        TFIBTransaction tr;
        tr.SetDefaultDatabase(Database);
        TFIBQuery q;
        q.SetDatabase(Database);
        q.SetTransaction(&tr);
        q.SetParamCheck(true);
        q.SQL().SetText("select COUNT(RDB$RELATION_NAME)\r\nfrom RDB$RELATIONS where RDB$FLAGS = 1\r\nand RDB$RELATION_NAME=?RT");
        tr.StartTransaction();
        q.ParamByName("RT").SetAsString(RepositoryNames[at]);
        q.ExecQuery();
        state = q.Fields()[0].GetAsInteger() < 1 ? '0' : '1';
        q.Close();
        tr.Commit();
        if (line == flags.Lines.end()) {
            flags.Lines.emplace_back(Database, "222");
            line = flags.Lines.end() - 1;
            Database->FreeNotification(&TableInfoCache());
        }
        line->second[at] = state;
    }
    return state == '1';
}

void UpgradeFieldsInfoTable(TFIBTransaction* Transaction) {
    if (!Transaction || !Transaction->GetMainDatabase()) return;
    if (!Transaction->Active()) Transaction->StartTransaction();
    for (const char* text :
         {"CREATE GENERATOR FIB$FIELD_INFO_VERSION", "ALTER TABLE FIB$FIELDS_INFO ADD DISPLAY_WIDTH INTEGER DEFAULT 0",
          "ALTER TABLE FIB$FIELDS_INFO ADD FIB$VERSION INTEGER",
          "CREATE TRIGGER FIB$FIELDS_INFO_BI FOR FIB$FIELDS_INFO ACTIVE BEFORE INSERT POSITION 0 as \r\nbegin "
          "\r\nnew.fib$version=gen_id(fib$field_info_version,1);\r\nend",
          "CREATE TRIGGER FIB$FIELDS_INFO_BU FOR FIB$FIELDS_INFO ACTIVE BEFORE UPDATE POSITION 0 as \r\nbegin "
          "\r\nnew.fib$version=gen_id(fib$field_info_version,1);\r\nend"})
        ExecIgnoringFailure(Transaction, text);
    Transaction->CommitRetaining();
}

void ReadRepositoryRow(TDataSet& Repository, const std::string& FieldName, TpFIBFieldInfo& Info) {
    try {
        TField* nameField = Repository.FindField("FIELD_NAME");
        if (!nameField) return;
        const std::string wanted = TrimRight(FieldName);
        if (nameField->AsString() != FieldName) {
            // The rows are few: the first one of that name is looked for from the start.
            bool found = false;
            for (Repository.First(); !Repository.Eof(); Repository.Next())
                if (nameField->AsString() == wanted) {
                    found = true;
                    break;
                }
            if (!found) return;
        }
        Info.HasRepositoryInfo = true;
        for (TField* f : Repository.Fields()) {
            const std::string name = UpperCase(f->FieldName());
            if (name == "TABLE_NAME" || name == "FIELD_NAME" || name == "FIB$VERSION") continue;
            if (name == "DISPLAY_LABEL")
                Info.DisplayLabel = f->AsString();
            else if (name == "DISPLAY_WIDTH")
                Info.DisplayWidth = f->AsInteger();
            else if (name == "DISPLAY_FORMAT")
                Info.DisplayFormat = f->AsString();
            else if (name == "EDIT_FORMAT")
                Info.EditFormat = f->AsString();
            else if (name == "TRIGGERED")
                Info.Triggered = f->AsInteger() == 1;
            else if (name == "VISIBLE")
                Info.Visible = f->AsInteger() == 1;
            else
                Info.OtherInfo.Add(f->FieldName() + "=" + f->AsString());
        }
    } catch (const std::exception&) {
        // a row that cannot be read leaves what was read before it
    }
}

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

bool TpFIBTableInfo::OpenRepository(TFIBTransaction* Transaction, TFIBCustomDataSet& Repository, const std::string& OrderBy) {
    TFIBDatabase* db = Transaction ? Transaction->GetMainDatabase() : nullptr;
    if (!db || !RepositoryTableExists(db, 1)) return false;
    try {
        TPooledQuery version(Transaction, RepositoryVersionSQL, StartOption);
        version->ParamByName("TN").SetAsString(FTableName);
        version->ExecQuery();
        FFIBVersion = version->Eof() ? 0 : version->Fields()[0].GetAsInteger();
        version->Close();
    } catch (const EFIBError&) {
        // A repository from before the version column: it gets the column and starts at 0.
        UpgradeFieldsInfoTable(Transaction);
        FFIBVersion = 0;
    }
    TFIBCustomDataSet& repo = Repository;
    repo.SetDatabase(db);
    repo.SetTransaction(Transaction);
    repo.SetPrepareOptions(0);
    // The name goes in as a parameter: a quoted table name may hold a quote.
    repo.SetSelectSQL("Select * from FIB$FIELDS_INFO where TABLE_NAME=:TN ORDER BY " + OrderBy);
    try {
        repo.Prepare();
        repo.ParamByName("TN").SetAsString(FTableName);
        repo.Open();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void TpFIBTableInfo::ReloadRepositoryInfo(TFIBTransaction* Transaction) {
    TFIBDataSet repo;
    if (!OpenRepository(Transaction, repo, "TABLE_NAME,FIELD_NAME")) return;
    if (FTableName == "ALIAS") {
        FFields.clear();
        for (repo.First(); !repo.Eof(); repo.Next()) {
            auto info = std::make_unique<TpFIBFieldInfo>();
            ReadRepositoryRow(repo, repo.Fields()[1]->AsString(), *info);
            FFields.emplace_back(Trim(repo.Fields()[1]->AsString()), std::move(info));
        }
        return;
    }
    for (auto& [name, info] : FFields) ReadRepositoryRow(repo, name, *info);
}

void TpFIBTableInfo::LoadFieldInfos(TFIBTransaction* Transaction) {
    TFIBDataSet repo;
    const bool useRepo = FWithFieldRepository && OpenRepository(Transaction, repo, "FIELD_NAME");
    if (FTableName == "ALIAS") {
        FFields.clear();
        if (!useRepo) return;
        for (repo.First(); !repo.Eof(); repo.Next()) {
            auto info = std::make_unique<TpFIBFieldInfo>();
            ReadRepositoryRow(repo, repo.Fields()[1]->AsString(), *info);
            FFields.emplace_back(Trim(repo.Fields()[1]->AsString()), std::move(info));
        }
        return;
    }
    {
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
        // The writer frees the prepared statement every time; a pooled statement keeps it.
        if (q->MDTSQLExecutor() != se_Server) q->SetMDTSQLExecutor(se_Server);
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
            const std::string column = Trim(r[0].GetAsString());
            if (useRepo) ReadRepositoryRow(repo, column, *info);
            fields.emplace_back(column, std::move(info));
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

TpFIBTableInfo* TpFIBTableInfoCollect::GetTableInfo(TFIBDatabase* Database, const std::string& TableName,
                                                    bool WithFieldRepository) {
    if (!Database) return nullptr;
    const std::string name = DropDoubleQuotes(TableName);
    std::lock_guard lock(FLock);
    if (TpFIBTableInfo* found = FindTableInfo(Database->DBName(), name)) {
        if (WithFieldRepository && !found->WithFieldRepository()) {
            found->ReloadRepositoryInfo(Database->GetInternalTransaction());
            found->SetWithFieldRepository(true);
        }
        return found;
    }
    auto info = std::make_unique<TpFIBTableInfo>();
    info->SetWithFieldRepository(WithFieldRepository);
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

void TpFIBTableInfoCollect::Notification(TComponent* AComponent, TOperation Operation) {
    // The database is half gone here: only its address is compared.
    if (Operation == TOperation::opRemove) {
        TRepositoryFlags& flags = RepositoryFlags();
        std::lock_guard lock(flags.Lock);
        std::erase_if(flags.Lines, [&](const auto& l) { return static_cast<TComponent*>(l.first) == AComponent; });
    }
    TComponent::Notification(AComponent, Operation);
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
