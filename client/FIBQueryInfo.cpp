// Implements what TFIBQuery tells of a prepared statement: its columns by name, index and
// origin, their table aliases, the plan, the rows the last execution touched and the main table
// of the text; see FIBQuery.h.
#include "client/FIBQuery.h"

#include "client/StrUtil.h"
#include "client/fib.h"

namespace qnl {

namespace {

constexpr int cecUnknownError = 0;
constexpr int cecFieldNotFound = 41;

constexpr size_t AliasLength = 31;
constexpr size_t AliasReplySize = 32766;
constexpr size_t PlanReplySize = 16385;
constexpr size_t RecordsReplySize = 255;

// Item codes of the statement information the server answers.
constexpr char InfoRelationAlias = 25;   // isc_info_sql_relation_alias

} // namespace

std::string TFIBQuery::SqlInfo(char Item, size_t Size) {
    std::string reply(Size, '\0');
    CheckStatus(Library().isc_dsql_sql_info(ThreadStatusVector(), &FHandle, static_cast<short>(1), &Item,
                                            static_cast<short>(Size), reply.data()),
                true);
    return reply;
}

// --- Columns --------------------------------------------------------------------------------

TFIBXSQLVAR& TFIBQuery::FieldByName(const std::string& Name) {
    TFIBXSQLVAR* field = FindField(Name);
    if (!field) RaiseClientError(cecFieldNotFound, {Name});
    return *field;
}

int TFIBQuery::FieldIndex(const std::string& Name) {
    TFIBXSQLVAR* field = FindField(Name);
    return field ? field->Index() : -1;
}

TFIBXSQLVAR& TFIBQuery::GetFieldByIndex(int Index) {
    if (Index < 0 || Index >= FFieldsArea->Count()) RaiseClientError(cecFieldNotFound, {"Field No: " + std::to_string(Index)});
    return FFieldsArea->GetVar(Index);
}

TFIBXSQLVAR* TFIBQuery::FindFieldByOrigin(const std::string& Table, const std::string& Column) {
    TFIBDatabase* db = Database();
    const bool upper = !db || db->NeedUpperNames();
    const std::string table = upper ? FastUpperCase(Table) : Table;
    const std::string column = upper ? FastUpperCase(Column) : Column;
    for (int i = 0; i < FFieldsArea->Count(); ++i) {
        TFIBXSQLVAR& field = FFieldsArea->GetVar(i);
        if (field.GetRelationName() == table && field.GetSqlName() == column) return &field;
    }
    return nullptr;
}

std::string TFIBQuery::GetFirstTableName() {
    if (FFirstTableName == "-1") FFirstTableName = GetMainTableName(FParser.Text(), false);
    return FFirstTableName;
}

// --- Table aliases --------------------------------------------------------------------------

void TFIBQuery::FillTableAliases() {
    FTableAliases.assign(static_cast<size_t>(FFieldsArea->Count()), std::string());
    FTableAliasesRead = true;
    TFIBDatabase* db = Database();
    if (db->IsFirebird() && db->GetServerMajorVersion() >= 2 && FHandle) {
        const char items[] = {isc_info_sql_select, isc_info_sql_describe_vars, isc_info_sql_sqlda_seq,
                              InfoRelationAlias, isc_info_sql_describe_end};
        std::string reply(AliasReplySize, '\0');
        CheckStatus(Library().isc_dsql_sql_info(ThreadStatusVector(), &FHandle, static_cast<short>(sizeof items), items,
                                                static_cast<short>(reply.size()), reply.data()),
                    true);
        if (reply[0] != isc_info_sql_select || reply[1] != isc_info_sql_describe_vars) return;
        IIBClientLibrary& lib = Library();
        auto integer = [&](size_t Pos, size_t& Length) {
            Length = static_cast<size_t>(lib.isc_vax_integer(reply.data() + Pos, static_cast<short>(2)));
            return lib.isc_vax_integer(reply.data() + Pos + 2, static_cast<short>(Length));
        };
        size_t length = 0;
        integer(2, length);   // the column count
        size_t pos = 4 + length;
        int column = -1;
        while (pos < reply.size() && reply[pos] != isc_info_end) {
            const char item = reply[pos];
            if (item == isc_info_sql_sqlda_seq) {
                column = static_cast<int>(integer(pos + 1, length)) - 1;
                pos += 3 + length;
            } else if (item == InfoRelationAlias) {
                length = static_cast<size_t>(lib.isc_vax_integer(reply.data() + pos + 1, static_cast<short>(2)));
                std::string alias = reply.substr(pos + 3, std::min(length, AliasLength));
                if (column >= 0 && column < FFieldsArea->Count()) {
                    if (alias.empty()) alias = FFieldsArea->GetVar(column).GetRelationName();
                    FTableAliases[static_cast<size_t>(column)] = alias;
                }
                pos += 3 + length;
            } else if (item == isc_info_sql_describe_end) {
                ++pos;
            } else {
                break;   // truncated or unknown: the rest stays empty
            }
        }
        return;
    }
    const std::string text = ExpandedSQLText();
    for (int i = 0; i < FFieldsArea->Count(); ++i) {
        std::string relation = FFieldsArea->GetVar(i).GetRelationName();
        if (relation.empty()) continue;
        if (NeedQuote(relation)) relation = "\"" + relation + "\"";
        FTableAliases[static_cast<size_t>(i)] = AliasByTableName(text, relation);
    }
}

std::string TFIBQuery::GetFieldTableAlias(int Index) {
    if (!FPrepared) Prepare();
    if (!FTableAliasesRead) FillTableAliases();
    if (Index < 0 || Index >= static_cast<int>(FTableAliases.size())) return {};
    const std::string& alias = FTableAliases[static_cast<size_t>(Index)];
    return NeedQuote(alias) ? "\"" + alias + "\"" : alias;
}

std::string TFIBQuery::GetFieldTableAliasByName(const std::string& Name) {
    if (!FPrepared) Prepare();
    TFIBXSQLVAR* field = FindField(Name);
    return field ? GetFieldTableAlias(field->Index()) : std::string();
}

// --- Plan and rows --------------------------------------------------------------------------

std::string TFIBQuery::Plan() {
    switch (FSQLType) {
    case SQLSelect: case SQLInsert: case SQLUpdate: case SQLDelete: case SQLExecProcedure: case SQLSelectForUpdate:
        break;
    default:
        return {};
    }
    if (!FPrepared) return {};
    const std::string reply = SqlInfo(isc_info_sql_get_plan, PlanReplySize);
    if (reply[0] != isc_info_sql_get_plan) return {};
    const auto length =
        static_cast<size_t>(Library().isc_vax_integer(reply.data() + 1, static_cast<short>(2)));
    std::string plan = reply.substr(3, std::min(length, reply.size() - 3));
    size_t first = 0;
    while (first < plan.size() && (plan[first] == '\0' || plan[first] == '\t' || plan[first] == '\n' ||
                                   plan[first] == '\r' || plan[first] == ' '))
        ++first;
    return plan.substr(first);
}

TRecordCounts TFIBQuery::GetRecordCounts() {
    if (!FPrepared) {
        // A DDL text runs without a prepared statement and counts no rows.
        if (FParser.StatementKind() == sqkDDL) return {};
        Prepare();
    }
    std::string reply = SqlInfo(isc_info_sql_records, RecordsReplySize);
    if (reply[0] == isc_info_end) return {};
    if (reply[0] != isc_info_sql_records) RaiseClientError(cecUnknownError);
    IIBClientLibrary& lib = Library();
    const auto announced = static_cast<size_t>(lib.isc_vax_integer(reply.data() + 1, static_cast<short>(2)));
    if (announced + 3 > reply.size()) reply = SqlInfo(isc_info_sql_records, announced + 3);
    TRecordCounts counts;
    size_t pos = 3;
    while (pos < reply.size() && reply[pos] != isc_info_end) {
        const char item = reply[pos];
        const auto length = static_cast<short>(lib.isc_vax_integer(reply.data() + pos + 1, static_cast<short>(2)));
        const int64_t value = length > 4 ? lib.isc_portable_integer(reinterpret_cast<const ISC_UCHAR*>(reply.data() + pos + 3), length)
                                         : lib.isc_vax_integer(reply.data() + pos + 3, length);
        switch (item) {
        case isc_info_req_select_count: counts.Selected = value; break;
        case isc_info_req_insert_count: counts.Inserted = value; break;
        case isc_info_req_update_count: counts.Updated = value; break;
        case isc_info_req_delete_count: counts.Deleted = value; break;
        default: RaiseClientError(cecUnknownError);
        }
        pos += 3 + static_cast<size_t>(length);
    }
    return counts;
}

int64_t TFIBQuery::GetRowsAffected() {
    const TRecordCounts c = GetRecordCounts();
    switch (FSQLType) {
    case SQLSelect: return c.Selected;
    // The server reports MERGE and UPDATE OR INSERT as inserts, whatever rows they update; and
    // it counts the rows a changing statement reads as selected (an UPDATE ... RETURNING that
    // changed one row reports one selected row as well). The rows changed are what counts.
    case SQLInsert:
    case SQLUpdate:
    case SQLDelete:
    case SQLExecProcedure: return c.Inserted + c.Updated + c.Deleted;
    default: return c.Selected + c.Inserted + c.Updated + c.Deleted;
    }
}

} // namespace qnl
