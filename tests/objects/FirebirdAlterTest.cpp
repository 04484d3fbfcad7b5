// Columns and domains both sides have, changed in place on real Firebird 3 databases whose
// tables hold rows. Both sides are read from databases: the target from the one the script runs
// on, the master from a reference database built from the master's DDL. Where the server can
// make a change, the updated target's catalogue, rows and `isql -x` extract equal the reference's
// and a second comparison writes only the header; where it cannot, the script says so in a
// comment and the column keeps its definition and its rows.
#include "tests/objects/FirebirdCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl::test {
namespace {

using Rows = std::vector<std::string>;

// A text column flattened to one line ("~" for each line break) and cut to fit the row.
std::string Flat(const std::string& Column) {
    return "COALESCE(CAST(REPLACE(REPLACE(" + Column + ", ASCII_CHAR(13), ''), ASCII_CHAR(10), '~') AS VARCHAR(1000)), '')";
}

// The RDB$FIELDS part of a row: F is the field, CS its character set, FC its collation.
std::string FieldColumns() {
    return "F.RDB$FIELD_TYPE || '|' || COALESCE(F.RDB$FIELD_SUB_TYPE, 0) || '|' || F.RDB$FIELD_LENGTH || '|' || "
           "COALESCE(F.RDB$CHARACTER_LENGTH, 0) || '|' || COALESCE(F.RDB$FIELD_PRECISION, 0) || '|' || "
           "COALESCE(F.RDB$FIELD_SCALE, 0) || '|' || COALESCE(F.RDB$SEGMENT_LENGTH, 0) || '|' || "
           "COALESCE(F.RDB$NULL_FLAG, 0) || '|' || COALESCE(F.RDB$CHARACTER_SET_ID, -1) || '|' || "
           "COALESCE(TRIM(CS.RDB$CHARACTER_SET_NAME), '') || '|' || COALESCE(F.RDB$COLLATION_ID, -1) || '|' || "
           "COALESCE(TRIM(FC.RDB$COLLATION_NAME), '') || '|' || " +
           Flat("F.RDB$DEFAULT_SOURCE") + " || '|' || " + Flat("F.RDB$VALIDATION_SOURCE") + " || '|' || " +
           Flat("F.RDB$COMPUTED_SOURCE");
}

std::string FieldJoins() {
    return " LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID"
           " LEFT JOIN RDB$COLLATIONS FC ON FC.RDB$COLLATION_ID = F.RDB$COLLATION_ID"
           " AND FC.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID";
}

// The catalogue rows of every column of a table and of every domain, one text per row: what
// a change made of a column or domain, compared between two databases.
Rows FieldRows(const TempDatabase& Db) {
    return QueryRows(
        Db, "SELECT '<<D|' || TRIM(F.RDB$FIELD_NAME) || '|' || " + FieldColumns() + " || '>>' FROM RDB$FIELDS F" +
                FieldJoins() +
                " WHERE COALESCE(F.RDB$SYSTEM_FLAG, 0) = 0 AND F.RDB$FIELD_NAME NOT LIKE 'RDB$%' ORDER BY 1;\n"
                "SELECT '<<C|' || TRIM(R.RDB$RELATION_NAME) || '.' || TRIM(R.RDB$FIELD_NAME) || '|' || "
                "IIF(R.RDB$FIELD_SOURCE STARTING WITH 'RDB$', '-', TRIM(R.RDB$FIELD_SOURCE)) || '|' || "
                "COALESCE(R.RDB$NULL_FLAG, 0) || '|' || " +
                Flat("R.RDB$DEFAULT_SOURCE") + " || '|' || COALESCE(R.RDB$COLLATION_ID, -1) || '|' || " + FieldColumns() +
                " || '>>' FROM RDB$RELATION_FIELDS R JOIN RDB$RELATIONS REL ON REL.RDB$RELATION_NAME = "
                "R.RDB$RELATION_NAME JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE" +
                FieldJoins() +
                " WHERE COALESCE(REL.RDB$SYSTEM_FLAG, 0) = 0 AND REL.RDB$VIEW_BLR IS NULL ORDER BY 1");
}

// One column case: table T_<Name> (ID, C) with C as Target on the target side and as Master on
// the master side. Values are the target's rows (an empty text inserts the ID alone); the
// reference holds Expected, by default the same values.
struct ColumnCase {
    const char* Name;
    const char* Target;
    const char* Master;
    Rows Values;
    Rows Expected = {};
};

// A domain the target and the master both have, in two versions.
struct DomainCase {
    const char* Name;
    const char* Target;
    const char* Master;
};

std::string Table(const ColumnCase& C) { return std::string("T_") + C.Name; }

std::string TablesDdl(const std::vector<ColumnCase>& Cases, bool Master) {
    std::string s;
    for (const ColumnCase& c : Cases)
        s += "CREATE TABLE " + Table(c) + " (ID INTEGER NOT NULL, C " + (Master ? c.Master : c.Target) + ");\n";
    return s;
}

std::string RowsDml(const std::vector<ColumnCase>& Cases, bool Master) {
    std::string s;
    for (const ColumnCase& c : Cases) {
        const Rows& values = Master && !c.Expected.empty() ? c.Expected : c.Values;
        for (size_t i = 0; i < values.size(); ++i) {
            const std::string id = std::to_string(i + 1);
            s += values[i].empty() ? "INSERT INTO " + Table(c) + " (ID) VALUES (" + id + ");\n"
                                   : "INSERT INTO " + Table(c) + " (ID, C) VALUES (" + id + ", " + values[i] + ");\n";
        }
    }
    return s + "COMMIT;\n";
}

std::string DomainsDdl(const std::vector<DomainCase>& Cases, bool Master) {
    std::string s;
    for (const DomainCase& d : Cases) s += std::string("CREATE DOMAIN ") + d.Name + " AS " + (Master ? d.Master : d.Target) + ";\n";
    return s;
}

// Every row of the given tables, as text; TD's rows with all their columns.
Rows Data(const TempDatabase& Db, const std::vector<std::string>& Tables) {
    std::string script = "SELECT '<<TD' || LIST(COALESCE(CAST(ID AS VARCHAR(20)), '-') || '|' || COALESCE(S, '-') || "
                         "'|' || COALESCE(L, '-') || '|' || COALESCE(N, '-') || '|' || COALESCE(K, '-') || '|' || "
                         "COALESCE(F, '-') || '|' || COALESCE(Z, '-') || '|' || COALESCE(NN, '-') || '|' || "
                         "COALESCE(NL, '-') || '|' || COALESCE(CAST(B AS VARCHAR(20)), '-') || '|' || COALESCE(G, '-'), "
                         "' ') || '>>' FROM (SELECT * FROM TD ORDER BY ID);\n";
    for (const std::string& t : Tables)
        script += "SELECT '<<" + t + "|' || ID || '|' || COALESCE(CAST(C AS VARCHAR(200)), '<null>') || '>>' FROM " +
                  t + " ORDER BY ID;\n";
    return QueryRows(Db, script);
}

std::vector<std::string> Tables(const std::vector<ColumnCase>& Cases) {
    std::vector<std::string> r;
    for (const ColumnCase& c : Cases) r.push_back(Table(c));
    return r;
}

// The comparison of the master (read from Reference) with the target (read from Target).
struct Comparison : FirebirdComparison {
    Comparison(const TempDatabase& Target, const TempDatabase& Reference,
               TIBSQLServerVersionType Version = st_Firebird_30)
        : FirebirdComparison(Target.Path()) {
        ReadMaster(Reference.Path());
        ReadTarget();
        target.Objs()->IBServerOptions.SQLServerVersion = Version;
    }
    void Run() {
        q.Compare();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
    // The statements past the script's header (connect, dialect, names, autocommit).
    std::vector<std::string> Changes() const {
        std::vector<std::string> r;
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (!IsHeaderOrComment(*exec.Statements(i))) r.push_back(Trim(exec.Statements(i)->Lines.Text()));
        return r;
    }
};

std::string Lower(std::string S) {
    std::transform(S.begin(), S.end(), S.begin(), [](unsigned char c) { return std::tolower(c); });
    return S;
}

// Firebird 4 refuses updates of its system tables as Firebird 3 does: with every option that
// could call for them, the same pair of databases gets none.
void ExpectNoSystemTableUpdateOnFirebird4(const TempDatabase& Target, const TempDatabase& Reference) {
    Comparison c(Target, Reference, st_Firebird_40);
    c.q.IBCompareOptions().AllowDataTypeConversion = true;
    c.q.IBCompareOptions().FldCharsetCompare = true;
    c.Run();
    EXPECT_EQ(Lower(c.Flow()).find("update rdb$"), std::string::npos) << c.Flow();
    EXPECT_NE(c.Flow().find("ALTER"), std::string::npos) << c.Flow();
}

// ---- changes the server can make ----

const std::vector<DomainCase> PossibleDomains = {
    // The collation stays: only the default changes.
    {"D_CS", "VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR",
     "VARCHAR(20) CHARACTER SET WIN1252 DEFAULT 'x' COLLATE WIN_PTBR"},
    // The character set stays through a type change although it is not the database's.
    {"D_LEN", "VARCHAR(20) CHARACTER SET WIN1252", "VARCHAR(40) CHARACTER SET WIN1252"},
    {"D_NUM", "NUMERIC(9,2)", "NUMERIC(12,2)"},
    {"D_CHECK", "INTEGER CHECK (VALUE > 0)", "INTEGER CHECK(VALUE >= 0)"},
    {"D_DEF", "VARCHAR(10) DEFAULT 'a'", "VARCHAR(10) DEFAULT 'b'"},
    {"D_NODEF", "INTEGER DEFAULT 5", "INTEGER"},
    // Rows holding NULL get the new default before the domain turns NOT NULL.
    {"D_NN", "INTEGER", "INTEGER DEFAULT 0 NOT NULL"},
    {"D_NULL", "INTEGER NOT NULL", "INTEGER"},
    {"D_BLOB", "BLOB SUB_TYPE TEXT", "BLOB SUB_TYPE TEXT DEFAULT 'none'"},
};

// Columns on domains: TD holds rows; the view and the procedure use its domains.
const char* const DomainUsersTarget =
    "CREATE DOMAIN D_GONE AS INTEGER;\n"
    "CREATE TABLE TD (ID INTEGER NOT NULL, S D_CS, L D_LEN, N D_NUM, K D_CHECK, F D_DEF, Z D_NODEF, NN D_NN, "
    "NL D_NULL, B D_BLOB, G D_GONE);\n"
    "CREATE VIEW V_TD (ID, L, N) AS SELECT ID, L, N FROM TD;\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P_NUM (A D_NUM) RETURNS (R D_NUM) AS BEGIN R = A; SUSPEND; END^\n"
    "CREATE PROCEDURE P_GONE (A D_GONE) RETURNS (R INTEGER) AS BEGIN R = A; SUSPEND; END^\n"
    "SET TERM ; ^\n"
    "COMMIT;\n"
    "INSERT INTO TD VALUES (1, 'e', 'long', 1234567.89, 1, 'f', 1, NULL, 1, 'text', 3);\n"
    "INSERT INTO TD VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, 4, 2, NULL, NULL);\n"
    "COMMIT;\n";

const char* const DomainUsersMaster =
    "CREATE DOMAIN D_NEW AS VARCHAR(10) DEFAULT 'n';\n"
    "CREATE TABLE TD (ID INTEGER NOT NULL, S D_CS, L D_LEN, N D_NUM, K D_CHECK, F D_DEF, Z D_NODEF, NN D_NN, "
    "NL D_NULL, B D_BLOB, G INTEGER);\n"
    "CREATE VIEW V_TD (ID, L, N) AS SELECT ID, L, N FROM TD;\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P_NUM (A D_NUM) RETURNS (R D_NUM) AS BEGIN R = A; SUSPEND; END^\n"
    "CREATE PROCEDURE P_GONE (A INTEGER) RETURNS (R INTEGER) AS BEGIN R = A; SUSPEND; END^\n"
    "SET TERM ; ^\n"
    "COMMIT;\n"
    "INSERT INTO TD VALUES (1, 'e', 'long', 1234567.89, 1, 'f', 1, 0, 1, 'text', 3);\n"
    "INSERT INTO TD VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, 4, 2, NULL, NULL);\n"
    "COMMIT;\n";

const std::vector<ColumnCase> PossibleColumns = {
    {"WIDEN", "VARCHAR(20)", "VARCHAR(40)", {"'abc'", "NULL"}},
    {"BIGGER", "INTEGER", "BIGINT", {"2147483647"}},
    {"SCALE", "NUMERIC(9,2)", "NUMERIC(15,4)", {"1234567.89"}},
    {"SMALL", "SMALLINT", "INTEGER", {"-32768"}},
    // Firebird 3 gives a column that becomes text the character set NONE, whatever it is told.
    {"TEXT", "INTEGER", "VARCHAR(11) CHARACTER SET NONE", {"-2147483648"}},
    {"STAMP", "DATE", "TIMESTAMP", {"'2024-02-29'"}},
    {"DEF_SET", "INTEGER", "INTEGER DEFAULT 1", {"5"}},
    {"DEF_CHG", "VARCHAR(10) DEFAULT 'a'", "VARCHAR(10) DEFAULT 'b'", {"'x'"}},
    {"DEF_DROP", "INTEGER DEFAULT 3", "INTEGER", {"3"}},
    {"NN_SET", "INTEGER", "INTEGER NOT NULL", {"1", "2"}},
    {"NN_FILL", "INTEGER", "INTEGER DEFAULT 7 NOT NULL", {"1", "NULL"}, {"1", "7"}},
    {"NN_DROP", "INTEGER NOT NULL", "INTEGER", {"1"}},
    {"COMP", "COMPUTED BY (ID * 2)", "COMPUTED BY (ID * 3)", {"", ""}},
    {"TO_PLAIN", "D_DEF", "VARCHAR(10)", {"'d'", "NULL"}},
    {"TO_DOMAIN", "VARCHAR(10)", "D_NEW", {"'p'"}},
    {"KEEP_CS", "VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR",
     "VARCHAR(30) CHARACTER SET WIN1252 COLLATE WIN_PTBR", {"'cao'"}},
};

// A view on a changed column, created after the tables in both databases.
const char* const ColumnViews = "CREATE VIEW V_WIDEN (ID, C) AS SELECT ID, C FROM T_WIDEN;\nCOMMIT;\n";

std::string PossibleDdl(bool Master) {
    return DomainsDdl(PossibleDomains, Master) + (Master ? DomainUsersMaster : DomainUsersTarget) +
           TablesDdl(PossibleColumns, Master) + "COMMIT;\n" + RowsDml(PossibleColumns, Master) + ColumnViews;
}

TEST(FirebirdAlter, ColumnsAndDomainsTheServerCanChangeEndEqualToTheMaster) {
    TempDatabase target(PossibleDdl(false), "UTF8");
    TempDatabase reference(PossibleDdl(true), "UTF8");
    const std::vector<std::string> tables = Tables(PossibleColumns);
    ExpectNoSystemTableUpdateOnFirebird4(target, reference);

    std::string script;
    {
        Comparison c(target, reference);
        c.Run();
        script = c.Flow();
        std::string out;
        ASSERT_EQ(RunConnectingScript(target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    }
    // The steps that matter, in their order.
    EXPECT_EQ(Count(script, "ALTER DOMAIN D_CS"), 1u) << script;  // only its default
    At(script, "ALTER DOMAIN D_LEN TYPE VARCHAR(40) CHARACTER SET WIN1252\n");
    EXPECT_LT(At(script, "UPDATE TD SET NN = 0 WHERE NN IS NULL\n"), At(script, "ALTER DOMAIN D_NN SET NOT NULL\n"));
    EXPECT_LT(At(script, "UPDATE T_NN_FILL SET C = 7 WHERE C IS NULL\n"), At(script, "ALTER TABLE T_NN_FILL ALTER C SET NOT NULL"));
    // A procedure parameter on the dropped domain takes the master's type before the drop.
    EXPECT_LT(At(script, "ALTER PROCEDURE P_GONE(A INTEGER)"), At(script, "DROP DOMAIN D_GONE\n"));
    EXPECT_EQ(script.find("WARNING"), std::string::npos) << script;

    EXPECT_EQ(FieldRows(target), FieldRows(reference));
    EXPECT_EQ(Data(target, tables), Data(reference, tables));
    EXPECT_EQ(QueryRows(target, "SELECT '<<' || COUNT(*) || '>>' FROM V_WIDEN;\nSELECT '<<' || COUNT(*) || '>>' FROM V_TD"),
              (Rows{"2", "2"}));
    EXPECT_EQ(ExtractSchema(target.Path()), ExtractSchema(reference.Path()));

    Comparison again(target, reference);
    again.Run();
    EXPECT_EQ(again.Changes(), Rows{}) << again.Flow();
}

// ---- changes it cannot make ----

const std::vector<DomainCase> RefusedDomains = {
    {"D_SHORT", "VARCHAR(20)", "VARCHAR(10)"},
    {"D_SUB", "BLOB SUB_TYPE 0", "BLOB SUB_TYPE 1"},
};

const std::vector<ColumnCase> RefusedColumns = {
    {"NARROW", "BIGINT", "INTEGER", {"9000000000000000000"}},
    {"SHORT", "VARCHAR(20)", "VARCHAR(10)", {"'twenty characters!!'"}},
    {"CUT", "CHAR(20)", "VARCHAR(10)", {"'x'"}},
    {"DAY", "TIMESTAMP", "DATE", {"'2024-02-29 13:14:15'"}},
    {"FLAG", "BOOLEAN", "INTEGER", {"TRUE"}},
    {"CLOCK", "TIME", "TIMESTAMP", {"'13:14:15'"}},
    {"INT_TEXT", "INTEGER", "VARCHAR(5)", {"-2147483648"}},
    {"SMALL_TEXT", "SMALLINT", "VARCHAR(5)", {"-32768"}},
    {"DIGITS", "NUMERIC(9,2)", "NUMERIC(9,4)", {"1234567.89"}},
    {"SUB", "BLOB SUB_TYPE 0", "BLOB SUB_TYPE 1", {"'bytes'"}},
    {"TO_BLOB", "VARCHAR(10)", "BLOB SUB_TYPE 1", {"'v'"}},
};

// Only the target holds rows: they would not fit the master's types.
std::string RefusedDdl(bool Master) {
    const std::string ddl = DomainsDdl(RefusedDomains, Master) + TablesDdl(RefusedColumns, Master) +
                            "CREATE TABLE TR (ID INTEGER NOT NULL, C D_SHORT, B D_SUB);\nCOMMIT;\n";
    if (Master) return ddl;
    return ddl + RowsDml(RefusedColumns, false) + "INSERT INTO TR VALUES (1, 'twenty characters!!', 'x');\nCOMMIT;\n";
}

// Every refused change writes its comment; the rows and the catalogue stay as they were, and the
// script runs. With conversions allowed the result is the same on Firebird 3, whose system
// tables cannot be written.
void ExpectRefusedChangesStay(bool AllowConversion) {
    TempDatabase target(RefusedDdl(false), "UTF8");
    TempDatabase reference(RefusedDdl(true), "UTF8");
    const std::vector<std::string> tables = Tables(RefusedColumns);
    const Rows catalogueBefore = FieldRows(target);
    const Rows dataBefore = Data(target, tables);
    if (AllowConversion) ExpectNoSystemTableUpdateOnFirebird4(target, reference);

    Comparison c(target, reference);
    c.q.IBCompareOptions().AllowDataTypeConversion = AllowConversion;
    c.Run();
    const std::string script = c.Flow();
    std::string out;
    ASSERT_EQ(RunConnectingScript(target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;

    for (const char* column : {"T_NARROW", "T_SHORT", "T_DAY", "T_FLAG", "T_CLOCK", "T_INT_TEXT", "T_SMALL_TEXT",
                               "T_DIGITS", "T_TO_BLOB"})
        At(script, std::string("WARNING:\nCannot perform safe conversion of ") + column + ".C datatype from ");
    At(script, "/* BLOB-datatype conversion not supported:\nALTER TABLE T_SUB ALTER COLUMN C TYPE BLOB SUB_TYPE 1 */");
    At(script, "the blob sub-type of T_SUB.C is not changed (0 -> 1)");
    At(script, "the blob sub-type of domain D_SUB is not changed (0 -> 1)");
    // A shorter text: only the system tables could make it, and they are read-only.
    if (AllowConversion) {
        At(script, "WARNING:\nCannot perform safe conversion of T_CUT.C datatype from CHAR(20) to VARCHAR(10)");
        At(script, "the length of domain D_SHORT is not changed (VARCHAR(20) -> VARCHAR(10))");
    } else {
        At(script, "/* String-length truncation not supported:\nALTER TABLE T_CUT ALTER COLUMN C TYPE VARCHAR(10) */");
        At(script, "Cannot perform safe conversion of domain D_SHORT datatype from VARCHAR(20) to VARCHAR(10)");
    }
    EXPECT_EQ(Lower(script).find("update rdb$"), std::string::npos) << script;
    EXPECT_EQ(c.Changes(), Rows{}) << script;

    EXPECT_EQ(FieldRows(target), catalogueBefore);
    EXPECT_EQ(Data(target, tables), dataBefore);
}

TEST(FirebirdAlter, RefusedConversionsAreCommentsAndTheColumnsKeepTheirRows) { ExpectRefusedChangesStay(false); }

TEST(FirebirdAlter, AllowedConversionsWriteNoSystemTableUpdateOnFirebird3) { ExpectRefusedChangesStay(true); }

// ---- character sets and collations compared ----

// A column or domain whose rows could hold a character its new set lacks (WIN1252 to ISO8859_1:
// the euro sign) keeps its set with a warning, on every comparison: the server would convert the
// rows only when it reads them, and fail then. Its collation, the set of a column that becomes
// text and a set that turns Unicode change; a domain whose type changes keeps its collation
// (6: WIN_PTBR).
TEST(FirebirdAlter, ComparedCharacterSetsChangeDomainsAndColumnsWhereNoRowCanBeLost) {
    const std::string common = "CREATE TABLE TC (ID INTEGER NOT NULL, C D_SET, U D_UTF, P D_SETC);\nCOMMIT;\n";
    TempDatabase target("CREATE DOMAIN D_SET AS VARCHAR(20) CHARACTER SET WIN1252;\n"
                        "CREATE DOMAIN D_UTF AS VARCHAR(20) CHARACTER SET WIN1252;\n"
                        "CREATE DOMAIN D_SETC AS VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
                        "CREATE DOMAIN D_COLL AS VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
                        "CREATE TABLE T (ID INTEGER, S VARCHAR(10) CHARACTER SET WIN1252, "
                        "K VARCHAR(10) CHARACTER SET WIN1252, I INTEGER);\n" + common +
                            "INSERT INTO T VALUES (1, _UTF8 '€', 'k', 7);\n"
                            "INSERT INTO TC VALUES (1, _UTF8 '€', _UTF8 '€', _UTF8 '€');\nCOMMIT;\n",
                        "UTF8");
    TempDatabase reference("CREATE DOMAIN D_SET AS VARCHAR(20) CHARACTER SET ISO8859_1;\n"
                           "CREATE DOMAIN D_UTF AS VARCHAR(20) CHARACTER SET UTF8;\n"
                           "CREATE DOMAIN D_SETC AS VARCHAR(20) CHARACTER SET ISO8859_1 COLLATE PT_PT;\n"
                           "CREATE DOMAIN D_COLL AS VARCHAR(40) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
                           "CREATE TABLE T (ID INTEGER, S VARCHAR(10) CHARACTER SET ISO8859_1, "
                           "K VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR, I VARCHAR(11));\n" + common,
                           "UTF8");
    Comparison c(target, reference);
    c.q.IBCompareOptions().FldCharsetCompare = true;
    c.Run();
    const std::string script = c.Flow();
    std::string out;
    ASSERT_EQ(RunConnectingScript(target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;

    const std::string kept = "WARNING: the character set of domain D_SET is not changed (WIN1252 -> ISO8859_1): the "
                             "server converts the rows of its columns only as it reads them, and a character "
                             "ISO8859_1 lacks would make its row unreadable";
    At(script, kept);
    EXPECT_EQ(script.find("DOMAIN D_SET TYPE"), std::string::npos) << script;
    // ... nor by a new domain of its whole definition.
    At(script, "WARNING: the character set of domain D_SETC is not changed (WIN1252 -> ISO8859_1)");
    EXPECT_EQ(script.find("TYPE QTMDOMAIN"), std::string::npos) << script;
    At(script, "ALTER DOMAIN D_UTF TYPE VARCHAR(20) CHARACTER SET UTF8\n");
    // A type change would reset the collation: a new domain of the whole definition replaces it.
    At(script, "CREATE DOMAIN QTMDOMAIN AS VARCHAR(40) CHARACTER SET WIN1252 COLLATE WIN_PTBR\n"
               "DROP DOMAIN D_COLL\nALTER DOMAIN QTMDOMAIN TO D_COLL\n");
    EXPECT_EQ(script.find("is lost"), std::string::npos) << script;
    At(script, "the character set of T.S is not changed (WIN1252 -> ISO8859_1)");
    At(script, "CREATE DOMAIN QTMCHARSET AS VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR\n"
               "ALTER TABLE T ALTER COLUMN K TYPE QTMCHARSET\nALTER TABLE T ALTER COLUMN K TYPE VARCHAR(10)\n"
               "DROP DOMAIN QTMCHARSET\n");
    At(script, "CREATE DOMAIN QTMCHARSET AS VARCHAR(11)\nALTER TABLE T ALTER COLUMN I TYPE QTMCHARSET\n"
               "ALTER TABLE T ALTER COLUMN I TYPE VARCHAR(11)\nDROP DOMAIN QTMCHARSET\n");
    EXPECT_EQ(QueryRows(target, "SELECT '<<' || TRIM(RF.RDB$FIELD_NAME) || '|' || TRIM(C.RDB$CHARACTER_SET_NAME) || "
                                "'|' || COALESCE(TRIM(CO.RDB$COLLATION_NAME), '-') || '>>' FROM RDB$RELATION_FIELDS RF "
                                "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE JOIN RDB$CHARACTER_SETS C "
                                "ON C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID LEFT JOIN RDB$COLLATIONS CO ON "
                                "CO.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID AND CO.RDB$COLLATION_ID = "
                                "COALESCE(RF.RDB$COLLATION_ID, F.RDB$COLLATION_ID, 0) WHERE RF.RDB$RELATION_NAME = 'T' "
                                "AND RF.RDB$FIELD_NAME <> 'ID' ORDER BY 1"),
              (Rows{"I|UTF8|UTF8", "K|WIN1252|WIN_PTBR", "S|WIN1252|WIN1252"}));
    EXPECT_EQ(QueryRows(target, "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE S = _UTF8 '€' AND K = 'K' AND I = '7'"),
              Rows{"1"});
    EXPECT_EQ(QueryRows(target, "SELECT '<<' || TRIM(C.RDB$CHARACTER_SET_NAME) || '|' || F.RDB$COLLATION_ID || '|' || "
                                "F.RDB$CHARACTER_LENGTH || '>>' FROM RDB$FIELDS F JOIN RDB$CHARACTER_SETS C ON "
                                "C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID WHERE F.RDB$FIELD_NAME IN "
                                "('D_SET', 'D_COLL', 'D_UTF', 'D_SETC') ORDER BY F.RDB$FIELD_NAME"),
              (Rows{"WIN1252|6|40", "WIN1252|0|20", "WIN1252|6|20", "UTF8|0|20"}));
    // Both rows read, the euro sign of the UTF8 domain in its three bytes.
    EXPECT_EQ(QueryRows(target, "SELECT '<<' || OCTET_LENGTH(C) || '|' || OCTET_LENGTH(U) || '>>' FROM TC WHERE "
                                "C = _UTF8 '€' AND U = _UTF8 '€' AND P = _UTF8 '€'"),
              Rows{"1|3"});

    Comparison again(target, reference);
    again.q.IBCompareOptions().FldCharsetCompare = true;
    again.Run();
    At(again.Flow(), kept);
}

} // namespace
} // namespace qnl::test
