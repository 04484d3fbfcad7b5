// Implements the description statements of every dialect; see qnlDescription.h.
#include "core/qnlDescription.h"

#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"

#include <array>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

// The words of one description class. An empty word means the form does not exist for the class.
struct TDescriptionWords {
    TDescriptionClass Class;
    // InterBase/Firebird, system-table updates: the table, its name column and (columns and
    // parameters) its owner column. Without a table the description becomes a comment line.
    const char* SysTable;
    const char* SysName;
    const char* SysOwner;
    // DESCRIBE word, and for columns and parameters the word naming the owner's kind.
    const char* Describe;
    const char* DescribeOwner;
    // COMMENT ON word of the comment mode, and of Firebird 3 and later (every mode).
    const char* Comment;
    const char* CommentFB3;
    // InterBase 2020, every mode: ALTER DESCRIPTION FOR word; without one the mode's text stands.
    const char* AlterFor;
    // COMMENT ON words of the other dialects (their columns are written with the owner).
    const char* ASA;
    const char* Oracle;
    const char* PostgreSQL;
};

// clang-format off
constexpr std::array<TDescriptionWords, DescriptionClassCount> Words{{
//   class                 system table                 name column             owner column          DESCRIBE      owner        COMMENT ON           from Firebird 3        InterBase 2020       ASA          Oracle       PostgreSQL
    {dcNone,               "",                          "",                     "",                   "",           "",          "",                  "",                    "",                  "",          "",          ""},
    {dcDomain,             "RDB$FIELDS",                "RDB$FIELD_NAME",       "",                   "DOMAIN",     "",          "DOMAIN",            "DOMAIN",              "DOMAIN",            "DOMAIN",    "TYPE",      "DOMAIN"},
    {dcTable,              "RDB$RELATIONS",             "RDB$RELATION_NAME",    "",                   "TABLE",      "",          "TABLE",             "TABLE",               "TABLE",             "TABLE",     "TABLE",     "TABLE"},
    {dcView,               "RDB$RELATIONS",             "RDB$RELATION_NAME",    "",                   "VIEW",       "",          "VIEW",              "VIEW",                "VIEW",              "VIEW",      "VIEW",      "VIEW"},
    {dcProcedure,          "RDB$PROCEDURES",            "RDB$PROCEDURE_NAME",   "",                   "PROCEDURE",  "",          "PROCEDURE",         "PROCEDURE",           "PROCEDURE",         "PROCEDURE", "PROCEDURE", "FUNCTION"},
    {dcFunction,           "RDB$PROCEDURES",            "RDB$PROCEDURE_NAME",   "",                   "PROCEDURE",  "",          "FUNCTION",          "FUNCTION",            "PROCEDURE",         "FUNCTION",  "FUNCTION",  "FUNCTION"},
    {dcTrigger,            "RDB$TRIGGERS",              "RDB$TRIGGER_NAME",     "",                   "TRIGGER",    "",          "TRIGGER",           "TRIGGER",             "TRIGGER",           "TRIGGER",   "TRIGGER",   "TRIGGER"},
    {dcException,          "RDB$EXCEPTIONS",            "RDB$EXCEPTION_NAME",   "",                   "EXCEPTION",  "",          "EXCEPTION",         "EXCEPTION",           "EXCEPTION",         "",          "",          ""},
    {dcIndex,              "RDB$INDICES",               "RDB$INDEX_NAME",       "",                   "INDEX",      "",          "INDEX",             "INDEX",               "INDEX",             "INDEX",     "INDEX",     "INDEX"},
    {dcExternalFunction,   "RDB$FUNCTIONS",             "RDB$FUNCTION_NAME",    "",                   "FUNCTION",   "",          "EXTERNAL FUNCTION", "EXTERNAL FUNCTION",   "EXTERNAL FUNCTION", "",          "",          ""},
    {dcGenerator,          "RDB$GENERATORS",            "RDB$GENERATOR_NAME",   "",                   "GENERATOR",  "",          "GENERATOR",         "GENERATOR",           "GENERATOR",         "SEQUENCE",  "SEQUENCE",  "SEQUENCE"},
    {dcRole,               "RDB$ROLES",                 "RDB$ROLE_NAME",        "",                   "ROLE",       "",          "ROLE",              "ROLE",                "ROLE",              "ROLE",      "ROLE",      ""},
    {dcCollation,          "",                          "",                     "",                   "",           "",          "COLLATION",         "COLLATION",           "COLLATION",         "",          "",          ""},
    {dcPackage,            "",                          "",                     "",                   "",           "",          "",                  "PACKAGE",             "",                  "PACKAGE",   "PACKAGE",   ""},
    {dcTableColumn,        "RDB$RELATION_FIELDS",       "RDB$FIELD_NAME",       "RDB$RELATION_NAME",  "FIELD",      "TABLE",     "COLUMN",            "COLUMN",              "COLUMN",            "COLUMN",    "COLUMN",    "COLUMN"},
    {dcViewColumn,         "RDB$RELATION_FIELDS",       "RDB$FIELD_NAME",       "RDB$RELATION_NAME",  "FIELD",      "VIEW",      "COLUMN",            "COLUMN",              "COLUMN",            "COLUMN",    "COLUMN",    ""},
    {dcProcedureParameter, "RDB$PROCEDURE_PARAMETERS",  "RDB$PARAMETER_NAME",   "RDB$PROCEDURE_NAME", "PARAMETER",  "PROCEDURE", "PARAMETER",         "PROCEDURE PARAMETER", "PARAMETER",         "",          "",          ""},
    {dcFunctionParameter,  "RDB$PROCEDURE_PARAMETERS",  "RDB$PARAMETER_NAME",   "RDB$PROCEDURE_NAME", "PARAMETER",  "PROCEDURE", "PARAMETER",         "FUNCTION PARAMETER",  "PARAMETER",         "",          "",          ""},
    {dcConstraint,         "",                          "",                     "",                   "",           "",          "",                  "",                    "",                  "",          "",          "CONSTRAINT"},
    {dcSchema,             "",                          "",                     "",                   "",           "",          "",                  "",                    "",                  "",          "",          "SCHEMA"},
}};
// clang-format on

constexpr bool RowsInClassOrder() {
    for (size_t i = 0; i < Words.size(); ++i)
        if (Words[i].Class != static_cast<TDescriptionClass>(i)) return false;
    return true;
}
static_assert(RowsInClassOrder(), "one row per description class, in the order of the enumeration");

bool IsColumn(TDescriptionClass C) { return C == dcTableColumn || C == dcViewColumn; }
bool IsRoutine(TDescriptionClass C) { return C == dcProcedure || C == dcFunction; }

std::string OwnerSchema(const TDescriptionSubject& S) { return S.Owner ? S.Owner->Schema : std::string(); }

std::string FirebirdText(TDbObj& O, const TDescriptionSubject& S, const TDescriptionWords& W) {
    const std::string text = QuotedStr(O.Description());
    const bool owned = IsOwnedDescriptionClass(S.Class);
    const std::string name = O.QuoteName(O.Name);
    // Columns and parameters are named "owner.name" by the ALTER DESCRIPTION and COMMENT ON forms.
    const std::string dotted = owned ? O.QuoteName(S.OwnerName) + "." + name : name;
    const TIBServerOptions* ib = O.GetIBServerOptions();
    const TIBSQLServerVersionType version = ib ? ib->SQLServerVersion : st_Firebird_25;

    if (version == st_InterBase_2020 && *W.AlterFor)
        return std::string("ALTER DESCRIPTION FOR ") + W.AlterFor + " " + dotted + " SET" + CRLF + text;
    // Firebird 3 refuses writes to its system tables and has no DESCRIBE statement.
    if (IsFirebird3OrLater(version))
        return *W.CommentFB3 ? std::string("COMMENT ON ") + W.CommentFB3 + " " + dotted + " IS" + CRLF + text
                             : std::string();
    switch (O.GetUpdateDescriptionMode()) {
    case udSysTables: {
        if (!*W.SysTable) return O.MakeComment(O.Description());
        std::string where = "WHERE ";
        if (owned) where += std::string(W.SysOwner) + " = " + QuotedStr(S.OwnerName) + " AND ";
        return std::string("UPDATE ") + W.SysTable + " SET RDB$DESCRIPTION = " + CRLF + text + CRLF + where +
               W.SysName + " = " + QuotedStr(O.Name);
    }
    case udDescribe:
        if (!*W.Describe) return {};
        if (owned)
            return std::string("DESCRIBE ") + W.Describe + " " + name + " " + W.DescribeOwner + " " +
                   O.QuoteName(S.OwnerName) + CRLF + text;
        return std::string("DESCRIBE ") + W.Describe + " " + name + CRLF + text;
    case udComment:
        if (!*W.Comment) return {};
        return std::string("COMMENT ON ") + W.Comment + " " + dotted + " IS" + CRLF + text;
    }
    return {};
}

std::string ASAText(TDbObj& O, const TDescriptionSubject& S, const TDescriptionWords& W) {
    if (IsColumn(S.Class)) {
        if (S.OwnerName.empty()) return {};
        return std::string("COMMENT ON ") + W.ASA + " " + O.QuoteName(S.OwnerName) + "." + O.QuoteName(O.Name) +
               " IS" + CRLF + QuoteSQLString(O.Description(), stASA);
    }
    if (!*W.ASA) return {};
    return std::string("COMMENT ON ") + W.ASA + " " + O.QuoteName(O.Name) + " IS" + CRLF + QuotedStr(O.Description());
}

std::string OracleText(TDbObj& O, const TDescriptionSubject& S, const TDescriptionWords& W) {
    const std::string literal = QuoteSQLString(O.Description(), stOracle);
    if (IsColumn(S.Class)) {
        const std::string schema = OwnerSchema(S);
        const std::string table = (schema.empty() ? std::string() : O.QuoteName(schema) + ".") + O.QuoteName(S.OwnerName);
        return std::string("COMMENT ON ") + W.Oracle + " " + table + "." + O.QuoteName(O.Name) + " IS" + CRLF + literal;
    }
    if (S.Class == dcTrigger && !S.OwnerName.empty()) {
        const std::string table = S.Owner && !S.Owner->Schema.empty()
                                      ? O.QuoteName(S.Owner->Schema) + "." + O.QuoteName(S.Owner->Name)
                                      : O.QuoteName(S.OwnerName);
        return std::string("COMMENT ON ") + W.Oracle + " " + table + "." + O.QuoteName(O.Name) + " IS" + CRLF + literal;
    }
    if (*W.Oracle)
        return std::string("COMMENT ON ") + W.Oracle + " " + O.GetQualifiedName() + " IS" + CRLF +
               QuotedStr(O.Description());
    // Oracle has no comment for such an object: a placeholder comment stands in.
    return "/* COMMENT ON... */";
}

// One level of an MSSQL extended-property address.
struct TLevel {
    std::string Type;
    std::string Name;
};

std::string MSSQLText(TDbObj& O, const TDescriptionSubject& S) {
    const TMSSQLServerOptions* ms = O.GetMSSQLServerOptions();
    if (!ms || ms->SQLServerVersion == st_MSSQL2000) return {};
    std::array<TLevel, 3> l;
    const char* routine = S.Class == dcFunction || S.Class == dcFunctionParameter ? "FUNCTION" : "PROCEDURE";
    switch (S.Class) {
    case dcSchema: l[0] = {"SCHEMA", O.Name}; break;
    case dcDomain:
        l[0] = {"SCHEMA", O.Schema};
        l[1] = {S.XmlSchemaCollection ? "XML SCHEMA COLLECTION" : "TYPE", O.Name};
        break;
    case dcTable:
    case dcView:
        l[0] = {"SCHEMA", O.Schema};
        l[1] = {S.Class == dcView ? "VIEW" : "TABLE", O.Name};
        break;
    case dcProcedure:
    case dcFunction:
        l[0] = {"SCHEMA", O.Schema};
        l[1] = {routine, O.Name};
        break;
    case dcTableColumn:
    case dcViewColumn:
        l[0] = {"SCHEMA", OwnerSchema(S)};
        l[1] = {S.Class == dcViewColumn ? "VIEW" : "TABLE", S.OwnerName};
        l[2] = {"COLUMN", O.Name};
        break;
    case dcProcedureParameter:
    case dcFunctionParameter:
        l[0] = {"SCHEMA", OwnerSchema(S)};
        l[1] = {routine, S.OwnerName};
        l[2] = {"PARAMETER", O.Name};
        break;
    case dcTrigger:
        if (O.Schema.empty()) {
            l[0] = {"TRIGGER", O.Name};
        } else {
            l[0] = {"SCHEMA", O.Schema};
            l[1] = {"TABLE", S.OwnerName};
            l[2] = {"TRIGGER", O.Name};
        }
        break;
    case dcIndex: {
        const bool onView = O.Container && O.Container->FindView(O.Schema + "." + S.OwnerName);
        l[0] = {"SCHEMA", O.Schema};
        l[1] = {onView ? "VIEW" : "TABLE", S.OwnerName};
        l[2] = {"INDEX", O.Name};
        break;
    }
    default: return {};
    }
    if (l[0].Type.empty() || l[0].Name.empty()) return {};
    const auto lit = [](const std::string& Text) { return QuoteSQLString(Text, stMSSQL); };
    const int32_t level = ms->MSSQLDatabaseOptions.DatabaseLevel;
    std::string s = level == 0 || level > 90 ? "exec sys.sp_addextendedproperty " : "exec dbo.sp_addextendedproperty ";
    s += "@name=N" + lit("MS_Description") + ", @value=N" + lit(O.Description()) + ", @level0type=N" +
         lit(l[0].Type) + ", @level0name=N" + lit(l[0].Name);
    if (!l[1].Type.empty() && !l[1].Name.empty())
        s += ", @level1type=N" + lit(l[1].Type) + ", @level1name=N" + lit(l[1].Name);
    if (!l[2].Type.empty()) s += ", @level2type=N" + lit(l[2].Type) + ", @level2name=N" + lit(l[2].Name);
    return s;
}

std::string PostgreSQLText(TDbObj& O, const TDescriptionSubject& S, const TDescriptionWords& W) {
    if (!*W.PostgreSQL) return {};
    const auto prefix = [&O](const std::string& Schema) {
        return Schema.empty() ? std::string() : O.QuoteName(Schema) + ".";
    };
    std::string what;
    if (S.Class == dcTableColumn)
        what = prefix(OwnerSchema(S)) + O.QuoteName(S.OwnerName) + "." + O.QuoteName(O.Name);
    else if (S.Class == dcConstraint)
        what = O.QuoteName(O.Name) + " ON " + prefix(O.Schema) + O.QuoteName(S.OwnerName);
    else if (S.Class == dcTrigger)
        what = O.QuoteName(O.Name) + " ON " + prefix(OwnerSchema(S)) + O.QuoteName(S.OwnerName);
    else if (IsRoutine(S.Class))
        what = prefix(O.Schema) + O.QuoteName(O.Name) + S.Signature;
    else
        what = O.GetQualifiedName();
    return std::string("COMMENT ON ") + W.PostgreSQL + " " + what + " IS " + QuoteSQLString(O.Description(), stPostgreSQL);
}

std::string MySQLText(TDbObj& O, const TDescriptionSubject& S) {
    const std::string literal = QuoteSQLString(O.Description(), stMySQL);
    if (S.Class == dcTable) return "ALTER TABLE " + O.QuoteName(O.Name) + " COMMENT = " + literal;
    // A view's column cannot be modified: only a table's column gets its comment.
    if (S.Class == dcTableColumn)
        return "ALTER TABLE " + O.QuoteName(S.OwnerName) + " MODIFY COLUMN " + O.QuoteName(O.Name) + " " +
               S.Signature + " COMMENT " + literal;
    return {};
}

} // namespace

std::string DescriptionStatement(TDbObj& Obj, const TDescriptionSubject& Subject) {
    const TDescriptionWords& w = Words[Subject.Class];
    switch (Obj.GetServerType()) {
    case stInterBase: return FirebirdText(Obj, Subject, w);
    case stASA: return ASAText(Obj, Subject, w);
    case stMySQL: return MySQLText(Obj, Subject);
    case stOracle: return OracleText(Obj, Subject, w);
    case stMSSQL: return MSSQLText(Obj, Subject);
    case stPostgreSQL: return PostgreSQLText(Obj, Subject, w);
    default: return {};
    }
}

} // namespace qnl
