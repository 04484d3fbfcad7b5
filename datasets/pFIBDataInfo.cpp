// Implements the table-information cache; see pFIBDataInfo.h.
#include "datasets/pFIBDataInfo.h"

#include "client/FIBQuery.h"
#include "client/StrUtil.h"
#include "client/pFIBCacheQueries.h"
#include "client/fib.h"
#include "datasets/FIBDataSet.h"
#include "platform/StringList.h"
#include "platform/Streams.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <mutex>
#include <optional>

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

const char* const AllFormatsSQL =
    "select a1.rdb$relation_name,a1.RDB$RELATION_ID VER  from RDB$RELATIONS a1\r\nwhere a1.RDB$SYSTEM_FLAG = 0\r\nand "
    "not  a1.rdb$view_blr is null\r\nunion\r\nselect R.rdb$relation_name,RDB$FORMAT from RDB$RELATIONS R\r\nwhere "
    "R.RDB$SYSTEM_FLAG = 0\r\nand  R.rdb$view_blr is null   order by 1";

const char* const AllRepositoryVersionsSQL =
    "Select table_name,Max(fib$version) From FIB$FIELDS_INFO group by table_name order by 1";

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

// Runs Text on Transaction's database, passing over a failure; false when it failed.
bool ExecIgnoringFailure(TFIBTransaction* Transaction, const std::string& Text) {
    try {
        TFIBQuery q;
        q.SetDatabase(Transaction->GetMainDatabase());
        q.SetTransaction(Transaction);
        q.SetParamCheck(false);
        q.SQL().SetText(Text);
        q.ExecQuery();
    } catch (const Exception&) {
        // the column or object is there already, or cannot be made: the upgrade goes on
        return false;
    }
    return true;
}

// The format number of a relation (RDB$FORMAT of a table, RDB$RELATION_ID of a view); -1 when
// the server has no such relation.
int32_t ReadFormatNumber(TFIBTransaction* Transaction, const std::string& TableName) {
    TPooledQuery format(Transaction, FormatSQL, StartOption);
    format->Prepare();
    format->ParamByName("TN").SetAsString(TableName);
    format->ExecQuery();
    return format->Eof() ? -1 : format->Fields()[0].GetAsInteger();
}

// The highest FIB$VERSION of a table's repository rows (0 without rows); raises when the
// repository has no version column.
int32_t ReadRepositoryVersion(TFIBTransaction* Transaction, const std::string& TableName) {
    TPooledQuery version(Transaction, RepositoryVersionSQL, StartOption);
    version->ParamByName("TN").SetAsString(TableName);
    version->ExecQuery();
    const int32_t result = version->Eof() ? 0 : version->Fields()[0].GetAsInteger();
    version->Close();
    return result;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The value of a quoted literal starting at Text[At] (a quote): inner doubled quotes become one.
// Nullopt when the literal is not closed.
std::optional<std::string> QuotedLiteral(const std::string& Text, size_t At) {
    const char quote = Text[At];
    std::string value;
    for (size_t i = At + 1; i < Text.size(); ++i) {
        if (Text[i] != quote) {
            value += Text[i];
            continue;
        }
        if (i + 1 < Text.size() && Text[i + 1] == quote) {
            value += quote;
            ++i;
            continue;
        }
        return value;
    }
    return std::nullopt;
}

// The value of q'<open>...<close>' starting at Text[At] (the quote after Q).
std::optional<std::string> AlternativeQuotedLiteral(const std::string& Text, size_t At) {
    if (At + 1 >= Text.size()) return std::nullopt;
    const char open = Text[At + 1];
    const char close = open == '(' ? ')' : open == '[' ? ']' : open == '{' ? '}' : open == '<' ? '>' : open;
    const size_t end = Text.find(std::string{close, '\''}, At + 2);
    if (end == std::string::npos) return std::nullopt;
    return Text.substr(At + 2, end - At - 2);
}

// The bytes of X'hex' whose quote is at Text[At]; nullopt for an odd count or a non-hex digit.
std::optional<std::string> HexLiteral(const std::string& Text, size_t At) {
    const size_t end = Text.find('\'', At + 1);
    if (end == std::string::npos || (end - At - 1) % 2 != 0) return std::nullopt;
    std::string bytes;
    for (size_t i = At + 1; i < end; i += 2) {
        if (!IsHexDigit(Text[i]) || !IsHexDigit(Text[i + 1])) return std::nullopt;
        bytes += static_cast<char>(std::stoi(Text.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// A column's default as its value: the stored source without the DEFAULT keyword. Firebird 3
// keeps the literal as it was written, and writes an introduced one as hexadecimal
// (DEFAULT _UTF8 X'616263'), so the introducer goes, hexadecimal and Q'...' literals are decoded
// and doubled quotes become one; a typed literal (DATE '...') gives its text; anything else
// (numbers, CURRENT_DATE, TRUE) stays as written.
std::string DefaultFromSource(const std::string& Source) {
    std::string def = Trim(Source.size() > 7 ? Source.substr(7) : std::string());
    const size_t quote = def.find_first_of("'\"");
    if (quote == std::string::npos) return def;
    // The letter right before the quote, standing alone: X'..' or Q'..'.
    const char marker = quote > 0 ? static_cast<char>(std::toupper(static_cast<unsigned char>(def[quote - 1]))) : 0;
    const bool alone = quote < 2 || std::isspace(static_cast<unsigned char>(def[quote - 2])) != 0;
    std::optional<std::string> value;
    if (marker == 'X' && alone && def[quote] == '\'')
        value = HexLiteral(def, quote);
    else if (marker == 'Q' && alone && def[quote] == '\'')
        value = AlternativeQuotedLiteral(def, quote);
    else
        value = QuotedLiteral(def, quote);
    return value ? *value : StripQuotes(Trim(def.substr(quote)));
}

} // namespace

void WriteInt32(TStream& Stream, int32_t Value) {
    const auto u = static_cast<uint32_t>(Value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                    static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    Stream.WriteBuffer(bytes, 4);
}

int32_t ReadInt32(TStream& Stream) {
    unsigned char bytes[4];
    Stream.ReadBuffer(bytes, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

void WriteBool(TStream& Stream, bool Value) {
    const char byte = Value ? 1 : 0;
    Stream.WriteBuffer(&byte, 1);
}

bool ReadBool(TStream& Stream) {
    char byte = 0;
    Stream.ReadBuffer(&byte, 1);
    return byte != 0;
}

void WriteText(TStream& Stream, const std::string& Text) {
    if (Text.size() > static_cast<size_t>(INT32_MAX)) throw EStreamError("A text of the cache is above 2 GB");
    WriteInt32(Stream, static_cast<int32_t>(Text.size()));
    Stream.WriteString(Text);
}

// A length that runs past the stream's end is refused before anything is allocated.
std::string ReadText(TStream& Stream) {
    const int32_t length = ReadInt32(Stream);
    if (length < 0 || length > Stream.Size() - Stream.Position())
        throw EStreamError("A text of the cache claims " + std::to_string(length) + " bytes at position " +
                           std::to_string(Stream.Position() - 4) + ", more than the stream holds");
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0) Stream.ReadBuffer(text.data(), length);
    return text;
}

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

void UpgradeDataSetsInfoTable(TFIBTransaction* Transaction) {
    if (!Transaction || !Transaction->GetMainDatabase()) return;
    if (!Transaction->Active()) Transaction->StartTransaction();
    if (!BooleanDomainExists(Transaction->GetMainDatabase())) {
        TFIBQuery q;
        q.SetDatabase(Transaction->GetMainDatabase());
        q.SetTransaction(Transaction);
        q.SetParamCheck(false);
        q.SQL().SetText("CREATE DOMAIN FIB$BOOLEAN AS SMALLINT DEFAULT 1 NOT NULL CHECK (VALUE IN (0,1))");
        q.ExecQuery();
    }
    for (const char* text : {"ALTER TABLE FIB$DATASETS_INFO ADD UPDATE_TABLE_NAME  VARCHAR(68)",
                             "ALTER TABLE FIB$DATASETS_INFO ADD UPDATE_ONLY_MODIFIED_FIELDS  FIB$BOOLEAN NOT NULL",
                             "ALTER TABLE FIB$DATASETS_INFO ADD CONDITIONS  BLOB sub_type 1 segment size 80",
                             "CREATE GENERATOR FIB$FIELD_INFO_VERSION"})
        ExecIgnoringFailure(Transaction, text);
    // The version column and its triggers come together: the first that fails ends the group.
    for (const char* text :
         {"ALTER TABLE FIB$DATASETS_INFO ADD fib$version  INTEGER",
          "CREATE TRIGGER FIB$DATASETS_INFO_BI FOR FIB$DATASETS_INFO ACTIVE BEFORE INSERT POSITION 0 as \r\nbegin\r\n"
          "new.fib$version=gen_id(fib$field_info_version,1);\r\nend",
          "CREATE TRIGGER FIB$DATASETS_INFO_BU FOR FIB$DATASETS_INFO ACTIVE BEFORE UPDATE POSITION 0 as \r\nbegin\r\n"
          "new.fib$version=gen_id(fib$field_info_version,1);\r\nend"})
        if (!ExecIgnoringFailure(Transaction, text)) break;
    Transaction->CommitRetaining();
}

bool BooleanDomainExists(TFIBDatabase* Database) {
    if (!Database) return false;
    TFIBTransaction tr;
    tr.SetDefaultDatabase(Database);
    TFIBQuery q;
    q.SetDatabase(Database);
    q.SetTransaction(&tr);
    q.SQL().SetText("Select Count(*) FROM RDB$FIELDS FLD\r\nWHERE FLD.RDB$FIELD_NAME = 'FIB$BOOLEAN'");
    tr.StartTransaction();
    q.ExecQuery();
    const bool exists = q.Fields()[0].GetAsInt64() != 0;
    q.Close();
    tr.Commit();
    return exists;
}

bool TpFIBFieldInfo::IsBoolean() const { return UpperCase(DomainName).find("BOOLEAN") != std::string::npos; }
bool TpFIBFieldInfo::IsGuid() const { return UpperCase(DomainName).find("GUID") != std::string::npos; }

void TpFIBFieldInfo::SaveToStream(TStream& Stream) const {
    for (bool flag : {IsComputed, UsableInWhere, DefaultIsEmptyString, HasRepositoryInfo, Visible, Triggered})
        WriteBool(Stream, flag);
    WriteInt32(Stream, DisplayWidth);
    WriteInt32(Stream, CharSetID);
    for (const std::string* text : {&DefaultValue, &DomainName, &DisplayLabel, &EditFormat, &DisplayFormat})
        WriteText(Stream, *text);
    WriteText(Stream, OtherInfo.Text());
}

void TpFIBFieldInfo::LoadFromStream(TStream& Stream) {
    for (bool* flag : {&IsComputed, &UsableInWhere, &DefaultIsEmptyString, &HasRepositoryInfo, &Visible, &Triggered})
        *flag = ReadBool(Stream);
    DisplayWidth = ReadInt32(Stream);
    CharSetID = ReadInt32(Stream);
    for (std::string* text : {&DefaultValue, &DomainName, &DisplayLabel, &EditFormat, &DisplayFormat})
        *text = ReadText(Stream);
    OtherInfo.SetText(ReadText(Stream));
}

// ---- TpFIBTableInfo ----

bool TpFIBTableInfo::IsActual(TFIBDatabase* Database) {
    if (!Database || Database->DBName() != FDBName) return false;
    TFIBTransaction* active = Database->FindActiveTransaction();
    TFIBTransaction* tr = active ? active : Database->GetInternalTransaction();
    bool actual = FTableName == "ALIAS" || ReadFormatNumber(tr, FTableName) == FFormatNumber;
    if (actual && FWithFieldRepository && RepositoryTableExists(Database, 1)) {
        try {
            actual = ReadRepositoryVersion(tr, FTableName) == FFIBVersion;
        } catch (const EFIBError&) {
            // A repository without the version column cannot tell: it gets the column.
            UpgradeFieldsInfoTable(tr);
            return true;
        }
    }
    NeedsCheck = !actual;
    return actual;
}

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
        FFIBVersion = ReadRepositoryVersion(Transaction, FTableName);
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
    if (const int32_t format = ReadFormatNumber(Transaction, FTableName); format >= 0) FFormatNumber = format;
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
                    def = DefaultFromSource(def);
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
    TpFIBTableInfo* found = FindTableInfo(Database->DBName(), name);
    if (found && found->NeedsCheck && ValidateOnUse && !found->IsActual(Database)) {
        RemoveTable(name);
        found = nullptr;
    }
    if (found) {
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

void TpFIBTableInfoCollect::ValidateSchemaCache(TFIBDatabase* Database, const TpFIBAcceptCacheSchema& Accept) {
    if (!Database) return;
    std::lock_guard lock(FLock);
    TFIBTransaction* tr = Database->GetInternalTransaction();
    if (!tr->Active()) tr->StartTransaction();
    Stamp = tr->GetTransactionID();
    // Only this database's tables are judged by its catalogue.
    std::vector<TpFIBTableInfo*> own;
    for (const auto& info : FTables)
        if (info->DBName() == Database->DBName()) own.push_back(info.get());
    std::vector<TpFIBTableInfo*> stale;
    if (Accept) {
        for (TpFIBTableInfo* info : own) {
            bool accept = false;
            Accept(info->TableName(), accept);
            if (!accept) stale.push_back(info);
        }
    } else if (own.size() < 11) {
        for (TpFIBTableInfo* info : own)
            if (!info->TableName().empty() && !info->IsActual(Database)) stale.push_back(info);
    } else {
        // Every relation's format number and every table's repository version at once.
        auto readAll = [&](const char* SQL) {
            std::map<std::string, int32_t> values;
            TPooledQuery q(tr, SQL, StartOption | SetOf<TpFIBQueryOptions>(qoTrimCharFields));
            q->ExecQuery();
            for (; !q->Eof(); q->Next()) values[Trim(q->Fields()[0].GetAsString())] = q->Fields()[1].GetAsInteger();
            return values;
        };
        const std::map<std::string, int32_t> formats = readAll(AllFormatsSQL);
        std::optional<std::map<std::string, int32_t>> versions;
        if (formats.count("FIB$FIELDS_INFO")) versions = readAll(AllRepositoryVersionsSQL);
        for (TpFIBTableInfo* info : own) {
            const auto format = formats.find(info->TableName());
            bool isStale = info->TableName() != "ALIAS" && (format == formats.end() || format->second != info->FormatNumber());
            // A table without repository rows was loaded with version 0, as the per-table
            // check reads it.
            if (!isStale && versions && info->WithFieldRepository()) {
                const auto version = versions->find(info->TableName());
                isStale = (version == versions->end() ? 0 : version->second) != info->FIBVersion();
            }
            if (isStale) stale.push_back(info);
        }
    }
    std::erase_if(FTables, [&](const auto& info) { return std::find(stale.begin(), stale.end(), info.get()) != stale.end(); });
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
