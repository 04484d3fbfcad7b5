// The alteration of columns both sides have, on a recording executor: the rating of type
// changes, the InterBase/Firebird statements of the versions without a server here (system-table
// updates, the temporary domain QTMXXX), and the other dialects' texts, the MySQL move and the
// MSSQL conversion matrix and table re-creation.
#include "ObjectsKit.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_TblAlter.h"

#include <gtest/gtest.h>

#include <functional>

namespace qnl::test {
namespace {

using Steps = std::vector<std::string>;
using Shape = std::function<void(TFldData&)>;

// Column shapes.
Shape Type(uint8_t Code, int32_t Length = 0) {
    return [=](TFldData& C) {
        C.DataType = Code;
        C.CharLength = Length;
        C.FieldLength = Length;
    };
}
Shape Numeric(int32_t Precision, int32_t Scale) {
    return [=](TFldData& C) {
        C.DataType = dtNumeric;
        C.Precision = Precision;
        C.Scale = Scale;
    };
}
Shape Domain(const char* Name) {
    return [=](TFldData& C) {
        C.DataType = dtDomain;
        C.DomainName = Name;
    };
}
Shape With(Shape Base, std::function<void(TFldData&)> More) {
    return [=](TFldData& C) {
        Base(C);
        More(C);
    };
}

// One table "T" on each side with one column C of the given shape; a domain D_INT (INTEGER) and
// D_TEXT (VARCHAR(30)) on both sides.
TFldData* AddTableWithColumn(TObjs& O, const std::string& Table, const Shape& S) {
    for (auto [name, type, length] : {std::tuple{"D_INT", dtInteger, 0}, {"D_TEXT", dtVarChar, 30}}) {
        TDmnData* d = NewDomain(&O, name);
        Type(type, length)(*d->TypeField);
        O.AddDbObject(d);
    }
    auto* t = new TTblData(&O);
    t->Name = Table;
    O.AddDbObject(t);
    auto c = std::make_unique<TFldData>(&O, t);
    c->Name = "C";
    c->OwnerName = Table;
    S(*c);
    return t->AddColumn(std::move(c));
}

TEST(ColumnTypes, RatingOfTypeChanges) {
    struct Case {
        const char* Name;
        Shape New, Old;
        int Rating;
    };
    const Case cases[] = {
        {"same", Type(dtInteger), Type(dtInteger), 0},
        {"longer text", Type(dtVarChar, 20), Type(dtVarChar, 10), 1},
        {"shorter text", Type(dtVarChar, 10), Type(dtVarChar, 20), -1},
        {"integer widened", Type(dtBigInt), Type(dtInteger), 1},
        {"integer narrowed", Type(dtInteger), Type(dtBigInt), -1},
        {"smallint widened", Type(dtInteger), Type(dtSmallInt), 1},
        {"float to double", Type(dtDoublePrecision), Type(dtFloat), 1},
        {"double to anything", Type(dtFloat), Type(dtDoublePrecision), -1},
        {"text to number", Type(dtInteger), Type(dtVarChar, 20), -1},
        {"char to shorter varchar is a text change", Type(dtVarChar, 10), Type(dtChar, 20), 1},
        {"blob to text", Type(dtVarChar, 20), Type(dtBlob), -1},
        // What Firebird 3 refuses or loses although the families allow it.
        {"timestamp to date loses the time", Type(dtDate), Type(dtTimeStamp), -1},
        {"date to timestamp", Type(dtTimeStamp), Type(dtDate), 1},
        {"time to timestamp is refused", Type(dtTimeStamp), Type(dtTime), -1},
        {"boolean to integer", Type(dtInteger), Type(dtBoolean), -1},
        {"integer to boolean", Type(dtBoolean), Type(dtInteger), -1},
        {"integer to date", Type(dtDate), Type(dtInteger), -1},
        {"integer to a short text", Type(dtVarChar, 10), Type(dtInteger), -1},
        {"integer to a text of 11", Type(dtVarChar, 11), Type(dtInteger), 1},
        {"smallint to a text of 5", Type(dtVarChar, 5), Type(dtSmallInt), -1},
        {"smallint to any text, by its family", Type(dtChar, 6), Type(dtSmallInt), -1},
        {"timestamp to a text of 24", Type(dtVarChar, 24), Type(dtTimeStamp), -1},
        {"numeric to a text of its width", Type(dtVarChar, 12), Numeric(9, 2), 1},
        {"numeric to a text one short", Type(dtVarChar, 11), Numeric(9, 2), -1},
        {"more decimals, fewer integer digits", Numeric(9, 4), Numeric(9, 2), -1},
        {"fewer decimals", Numeric(9, 1), Numeric(9, 2), -1},
        {"more digits", Numeric(18, 2), Numeric(9, 2), 0},
        {"fewer digits", Numeric(15, 2), Numeric(18, 2), -1},
        {"integer into NUMERIC(18,2)", Numeric(18, 2), Type(dtInteger), 1},
        {"integer into NUMERIC(9,2)", Numeric(9, 2), Type(dtInteger), -1},
        {"decimals into a double", Type(dtDoublePrecision), Numeric(4, 2), -1},
        {"smallint into a float", Type(dtFloat), Type(dtSmallInt), 1},
        {"domain of the same type", Domain("D_INT"), Type(dtInteger), 0},
        {"domain of a longer text", Domain("D_TEXT"), Type(dtVarChar, 20), 1},
        {"domain not found", Domain("D_NONE"), Type(dtInteger), 1},
        {"arrays of other bounds", With(Type(dtInteger), [](TFldData& C) { C.ArrayBounds = {{1, 10}}; }),
         With(Type(dtInteger), [](TFldData& C) { C.ArrayBounds = {{1, 5}}; }), -1},
    };
    for (const Case& c : cases) {
        OneSide side;
        TFldData* n = AddTableWithColumn(side.Objs(), "N", c.New);
        auto* t = new TTblData(&side.Objs());
        t->Name = "O";
        side.Objs().AddDbObject(t);
        auto oc = std::make_unique<TFldData>(&side.Objs(), t);
        c.Old(*oc);
        TFldData* o = t->AddColumn(std::move(oc));
        EXPECT_EQ(CompareColumnTypes(*n, *o), c.Rating) << c.Name;
    }
}

TEST(ColumnTypes, DomainNameForTheDependencyLinking) {
    OneSide side;
    TFldData c(&side.Objs(), nullptr);
    Domain("D_INT")(c);
    EXPECT_EQ(c.GetDomainName(), "D_INT");
    c.SetRare().TypeOfTable = "T";
    c.SetRare().TypeOfColumn = "C";
    EXPECT_EQ(c.GetDomainName(), "");  // TYPE OF COLUMN names a column, not a domain
    Type(dtInteger)(c);
    c.SetRare().TypeOfTable.clear();
    EXPECT_EQ(c.GetDomainName(), "");
}

// ---- InterBase/Firebird ----

struct IBCase {
    const char* Name;
    TIBSQLServerVersionType Version;
    bool Allow;
    Shape Target, Master;
    Steps Expected;
    const char* Table = "T";
};

Steps AlterIB(const IBCase& C) {
    RecordedComparison r(stInterBase, C.Version);
    r.q.IBCompareOptions().AllowDataTypeConversion = C.Allow;
    AddTableWithColumn(r.T(), C.Table, C.Target);
    AddTableWithColumn(r.M(), C.Table, C.Master);
    return r.Run({dboField});
}

const Shape Int = Type(dtInteger);
Shape NotNull(Shape S) {
    return With(S, [](TFldData& C) { C.Nullable = false; });
}
Shape Default(Shape S, const char* Value) {
    return With(S, [=](TFldData& C) { C.DefaultValue = Value; });
}
Shape Computed(const char* Source, uint8_t DataType = dtUnknown) {
    return [=](TFldData& C) {
        C.DataType = DataType;
        C.SetSource(Source);
    };
}
Shape NamedNotNull(Shape S, const char* Name) {
    return With(S, [=](TFldData& C) {
        C.Nullable = false;
        C.SetRare().NotNullName = Name;
    });
}

const std::string W = "  WHERE RDB$FIELD_NAME=(SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\n";
const std::string Warning = "/* WARNING:\r\nCannot perform safe conversion of T.C datatype from ";

const IBCase IBCases[] = {
    {"a longer text is one ALTER COLUMN TYPE", st_Firebird_25, false, Type(dtVarChar, 10), Type(dtVarChar, 20),
     {"[2] ALTER TABLE T ALTER COLUMN C TYPE VARCHAR(20)"}},
    {"a shorter text without conversions is a warning", st_Firebird_25, false, Type(dtVarChar, 20),
     Type(dtVarChar, 10), {Warning + "VARCHAR(20) to VARCHAR(10) */"}},
    {"a shorter text with conversions updates RDB$FIELDS", st_Firebird_25, true, Type(dtVarChar, 20),
     Type(dtVarChar, 10),
     {"/* Alter Field: T.C: (VARCHAR(20) -> VARCHAR(10)) */",
      "[2] UPDATE RDB$FIELDS SET\r\n RDB$FIELD_LENGTH=10, RDB$CHARACTER_LENGTH=10,\r\n RDB$FIELD_TYPE=37\r\n" + W +
          "  WHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='T')"}},
    {"char to a shorter varchar is a truncation", st_Firebird_25, false, Type(dtChar, 20), Type(dtVarChar, 10),
     {"/* String-length truncation not supported:\r\nALTER TABLE T ALTER COLUMN C TYPE VARCHAR(10) */"}},
    {"bigint to integer is a warning", st_Firebird_25, false, Type(dtBigInt), Int,
     {Warning + "BIGINT to INTEGER */"}},
    {"double to timestamp goes through the system tables", st_Firebird_25, true, Type(dtDoublePrecision),
     Type(dtTimeStamp),
     {"/* Alter Field: T.C: (DOUBLE PRECISION -> TIMESTAMP) */",
      "[2] UPDATE RDB$FIELDS\r\n SET RDB$FIELD_LENGTH=8,\r\n  RDB$FIELD_TYPE = 35\r\n  WHERE RDB$FIELD_NAME = (SELECT "
      "RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\n  WHERE RDB$FIELD_NAME = 'C' AND RDB$RELATION_NAME = 'T')"}},
    {"double to timestamp on Firebird 3 is a warning", st_Firebird_30, true, Type(dtDoublePrecision),
     Type(dtTimeStamp), {Warning + "DOUBLE PRECISION to TIMESTAMP */"}},
    {"a former NUMERIC loses its scale in the system tables", st_Firebird_25, true, Numeric(9, 2),
     Type(dtDoublePrecision),
     {"/* Alter Field: T.C: (NUMERIC(9,2) -> DOUBLE PRECISION) */",
      "[2] UPDATE RDB$FIELDS SET\r\n RDB$FIELD_LENGTH=8, RDB$FIELD_TYPE=27\r\n" + W +
          "  WHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='T')",
      "[2] UPDATE RDB$FIELDS SET RDB$FIELD_PRECISION = 0, RDB$FIELD_SCALE = 0, RDB$FIELD_SUB_TYPE = 0\r\n  WHERE "
      "RDB$FIELD_NAME = (SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\n  WHERE RDB$FIELD_NAME = 'C' AND "
      "RDB$RELATION_NAME = 'T')"}},
    {"NOT NULL on Firebird 3", st_Firebird_30, false, Int, NotNull(Int),
     {"/* Alter Field (Null / Not Null)... */", "[2] ALTER TABLE T ALTER C SET NOT NULL"}},
    {"NOT NULL with a default fills the NULLs first", st_Firebird_30, false, Int, Default(NotNull(Int), "0"),
     {"/* Alter Field (Null / Not Null)... */", "[13] UPDATE T SET C = 0 WHERE C IS NULL",
      "[2] ALTER TABLE T ALTER C SET NOT NULL", "[2] ALTER TABLE T ALTER COLUMN C SET DEFAULT 0"}},
    {"NOT NULL on Firebird 2.5 with conversions", st_Firebird_25, true, Int, NotNull(Int),
     {"/* Alter Field (Null / Not Null)... */",
      "[2] UPDATE RDB$RELATION_FIELDS SET RDB$NULL_FLAG = 1 WHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='T'"}},
    {"NOT NULL on Firebird 2.5 without conversions is not made", st_Firebird_25, false, Int, NotNull(Int),
     {"/* Alter Field (Null / Not Null)... */",
      "/* WARNING: NOT NULL of T.C is not changed (NULL -> NOT NULL): the target's server has no statement for it */"}},
    {"a default from Firebird 2.1 on", st_Firebird_21, false, Int, Default(Int, "5"),
     {"[2] ALTER TABLE T ALTER COLUMN C SET DEFAULT 5"}},
    {"a default on InterBase 7.5 through QTMXXX", st_InterBase_75, true, Int, Default(Int, "5"),
     {"[2] CREATE DOMAIN QTMXXX INTEGER DEFAULT 5",
      "[2] UPDATE RDB$RELATION_FIELDS SET RDB$DEFAULT_SOURCE=\r\n(SELECT RDB$DEFAULT_SOURCE FROM RDB$FIELDS where "
      "RDB$FIELD_NAME='QTMXXX'),\r\nRDB$DEFAULT_VALUE=\r\n(SELECT RDB$DEFAULT_VALUE FROM RDB$FIELDS where "
      "RDB$FIELD_NAME='QTMXXX')\r\nWHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='T'",
      "[2] DROP DOMAIN QTMXXX",
      "[2] UPDATE RDB$FIELDS SET RDB$DEFAULT_VALUE = NULL,\r\nRDB$DEFAULT_SOURCE = '' WHERE RDB$FIELD_NAME "
      "=\r\n(SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\nWHERE RDB$FIELD_NAME = 'C' AND RDB$RELATION_NAME = 'T')"}},
    {"a changed computed column is dropped and added", st_Firebird_30, false, Computed("(ID * 2)"),
     Computed("(ID * 3)"),
     {"/* Alter Field (Computed)... */", "[3] ALTER TABLE T DROP C", "[1] ALTER TABLE T ADD C COMPUTED BY (ID * 3)",
      "[2] ALTER TABLE T ALTER COLUMN C POSITION 1"}},
    {"a computed column of another declared type is dropped and added", st_Firebird_30, false,
     Computed("(ID * 2)", dtInteger), Computed("(ID * 2)", dtBigInt),
     {"/* Alter Field (Computed)... */", "[3] ALTER TABLE T DROP C", "[1] ALTER TABLE T ADD C BIGINT COMPUTED BY (ID * 2)",
      "[2] ALTER TABLE T ALTER COLUMN C POSITION 1"}},
    {"a named NOT NULL constraint keeps the target's name", st_Firebird_30, false, NamedNotNull(Int, "NN_OLD"),
     NamedNotNull(Int, "NN_NEW"),
     {"/* WARNING: the name of the NOT NULL constraint of T.C is not changed (NN_OLD -> NN_NEW): the target's server "
      "has no statement for it */"}},
    {"a named NOT NULL on a nullable column gets the server's name", st_Firebird_30, false, Int,
     NamedNotNull(Int, "NN_C"),
     {"/* Alter Field (Null / Not Null)... */", "[2] ALTER TABLE T ALTER C SET NOT NULL",
      "/* WARNING: the name of the NOT NULL constraint of T.C is not changed (none -> NN_C): the target's server "
      "has no statement for it */"}},
    {"a column turning computed is dropped and added", st_Firebird_30, false, Int, Computed("(ID * 3)"),
     {"/* Alter Field (Computed)... */", "[3] ALTER TABLE T DROP C", "[1] ALTER TABLE T ADD C COMPUTED BY (ID * 3)",
      "[2] ALTER TABLE T ALTER COLUMN C POSITION 1"}},
    {"a type change on InterBase 4 without conversions is a warning", st_InterBase_4x, false, Int,
     Type(dtVarChar, 20), {Warning + "INTEGER to VARCHAR(20) */"}},
    {"a column onto a domain on Firebird 2.5 with conversions", st_Firebird_25, true, Int, Domain("D_INT"),
     {"[2] ALTER TABLE T ALTER COLUMN C TYPE D_INT"}},
    {"a column onto a domain on InterBase 5 with conversions", st_InterBase_5x, true, Int, Domain("D_INT"),
     {"[2] Update rdb$Relation_Fields set Rdb$Field_Source = 'D_INT'\r\nWHERE RDB$FIELD_NAME='C' AND "
      "RDB$RELATION_NAME='T'"}},
    {"a column off a domain on InterBase 5 through QTMTEMP", st_InterBase_5x, true, Domain("D_INT"),
     Type(dtBigInt),
     {"[2] Alter Table T ADD QTMTEMP BIGINT",
      "[2] Update Rdb$Relation_Fields Set Rdb$Field_Source=\r\n(Select R.Rdb$Field_Source from Rdb$Relation_Fields "
      "R\r\nwhere R.Rdb$Relation_Name = 'T' and R.Rdb$Field_Name='QTMTEMP')\r\nWHERE RDB$FIELD_NAME='C' AND "
      "RDB$RELATION_NAME='T'",
      "[2] Alter Table T DROP QTMTEMP"}},
    {"another domain on Firebird 3 with conversions is DDL", st_Firebird_30, true, Domain("D_INT"),
     Domain("D_TEXT"), {"[2] ALTER TABLE T ALTER COLUMN C TYPE D_TEXT"}},
    {"another domain of a refused type is a warning", st_Firebird_30, true, Domain("D_TEXT"), Domain("D_INT"),
     {Warning + "D_TEXT to D_INT */"}},
    {"a quote in the table name is doubled in literals", st_Firebird_25, true, Int, NotNull(Int),
     {"/* Alter Field (Null / Not Null)... */",
      "[2] UPDATE RDB$RELATION_FIELDS SET RDB$NULL_FLAG = 1 WHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='O''T'"},
     "O'T"},
};

class IBColumnAlter : public ::testing::TestWithParam<IBCase> {};

TEST_P(IBColumnAlter, Writes) {
    Steps steps = AlterIB(GetParam());
    for (std::string& s : steps)
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r') && s != "\r\n") s.pop_back();
    EXPECT_EQ(steps, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IBColumnAlter, ::testing::ValuesIn(IBCases),
                         [](const auto& Info) { return "Case" + std::to_string(Info.index); });

TEST(IBColumnAlter, NoSystemTableUpdateFromFirebird3On) {
    for (TIBSQLServerVersionType v : {st_Firebird_30, st_Firebird_40})
        for (const IBCase& c : IBCases) {
            IBCase onVersion = c;
            onVersion.Version = v;
            onVersion.Allow = true;
            for (const std::string& s : AlterIB(onVersion))
                EXPECT_EQ(UpperCase(s).find("UPDATE RDB$"), std::string::npos) << c.Name << ": " << s;
        }
}

// ---- databases whose default character sets differ ----

// A VARCHAR(10) column as a reader stores it: its character set is left out when it is the
// database's default.
Shape Text(const char* CharSet, const char* Collation = "") {
    return With(Type(dtVarChar, 10), [=](TFldData& C) {
        C.CharSetName = CharSet;
        C.CollationName = Collation;
    });
}

struct CharSetCase {
    const char* Name;
    const char* MasterDefault;
    const char* TargetDefault;
    bool DbCharsetCompare;
    Shape Master;
    Shape Target;  // nullptr: the target has no table T
    Steps Expected;
    TIBSQLServerVersionType Version = st_Firebird_30;
};

const std::string NotChangedUtf8 =
    "/* WARNING: the character set of T.C is not changed (NONE -> UTF8): the target's server has no statement for it */";

const std::string DomainKeptUtf8 =
    "/* WARNING: the character set of domain D_TEXT is not changed (NONE -> UTF8): the server converts the rows of its "
    "columns only as it reads them, and a character UTF8 lacks would make its row unreadable */";

const CharSetCase CharSetCases[] = {
    {"a new column names the master's default", "UTF8", "", false, Text(""), nullptr,
     {"[1] CREATE TABLE T(C VARCHAR(10) CHARACTER SET UTF8)"}},
    {"... and before its collation", "UTF8", "", false, Text("", "UNICODE_CI_AI"), nullptr,
     {"[1] CREATE TABLE T(C VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE_CI_AI)"}},
    {"... NONE included", "", "UTF8", false, Text(""), nullptr, {"[1] CREATE TABLE T(C VARCHAR(10) CHARACTER SET NONE)"}},
    {"the default changed first is the master's", "UTF8", "", true, Text(""), nullptr,
     {"[1] CREATE TABLE T(C VARCHAR(10))"}},
    {"a set equal to the target's old default is named", "", "WIN1252", true, Text("WIN1252"), nullptr,
     {"[1] CREATE TABLE T(C VARCHAR(10) CHARACTER SET WIN1252)"}},
    {"equal defaults write what they always wrote", "UTF8", "UTF8", false, Text(""), nullptr,
     {"[1] CREATE TABLE T(C VARCHAR(10))"}},
    // On Firebird 3 the fixture's domain D_TEXT, in each database's default, keeps its set too.
    {"a column equal only in text is not changed on Firebird 3", "UTF8", "", true, Text(""), Text(""),
     {DomainKeptUtf8, NotChangedUtf8}},
    {"... nor with the default left as it is", "UTF8", "", false, Text(""), Text(""), {DomainKeptUtf8, NotChangedUtf8}},
    {"... and gets the system-table update before", "UTF8", "", true, Text(""), Text(""),
     {"[2] UPDATE RDB$FIELDS SET RDB$Character_Set_ID =\r\n(Select C.Rdb$Character_Set_ID from Rdb$Character_Sets "
      "C\r\nwhere C.Rdb$Character_Set_Name='UTF8')\r\n" +
      W + "  WHERE RDB$FIELD_NAME='C' AND RDB$RELATION_NAME='T')"},
     st_Firebird_25},
    {"the same set under both defaults is left alone", "UTF8", "", false, Text(""), Text("UTF8"), {DomainKeptUtf8}},
};

TEST(IBColumnCharSets, AgainstTheDefaultInForceOnTheTarget) {
    for (const CharSetCase& c : CharSetCases) {
        SCOPED_TRACE(c.Name);
        RecordedComparison r(stInterBase, c.Version);
        r.q.IBCompareOptions().FldCharsetCompare = true;
        r.q.IBCompareOptions().DbCharsetCompare = c.DbCharsetCompare;
        r.q.IBCompareOptions().AllowDataTypeConversion = true;
        r.M().IBServerOptions.SetDBCharSet(c.MasterDefault);
        r.T().IBServerOptions.SetDBCharSet(c.TargetDefault);
        if (c.Target) AddTableWithColumn(r.T(), "T", c.Target);
        AddTableWithColumn(r.M(), "T", c.Master);
        Steps steps;
        for (std::string& s : r.Run({dboTable, dboField})) {
            while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
            if (s.starts_with("[") || s.starts_with("/* WARNING")) steps.push_back(s);
        }
        EXPECT_EQ(steps, c.Expected);
    }
}

// ---- other dialects ----

struct DialectCase {
    const char* Name;
    TServerType Type;
    Shape Target, Master;
    Steps Expected;
};

const DialectCase DialectCases[] = {
    {"Oracle type and default", stOracle, Type(dtVarChar2, 10), Default(Type(dtVarChar2, 20), "'x'"),
     {"[2] ALTER TABLE T MODIFY(C VARCHAR2(20))", "[2] ALTER TABLE T MODIFY(C DEFAULT 'x')"}},
    {"Oracle default removed", stOracle, Default(Int, "1"), Int, {"[2] ALTER TABLE T MODIFY(C DEFAULT NULL)"}},
    {"MSSQL INT to VARCHAR", stMSSQL, Int, Type(dtVarChar, 10), {"[2] ALTER TABLE T ALTER COLUMN C VARCHAR(10) NULL"}},
    {"MSSQL DATETIME to INT is not converted", stMSSQL, Type(23), Int,
     {"/* Datatype conversion is not allowed: DATETIME -> INTEGER\r\nALTER TABLE T ALTER COLUMN C INTEGER NULL */"}},
    {"MSSQL NOT NULL with a collation", stMSSQL, Type(dtVarChar, 10),
     With(NotNull(Type(dtVarChar, 10)), [](TFldData& C) { C.CollationName = "Latin1_General_CI_AS"; }),
     {"[2] ALTER TABLE T ALTER COLUMN C VARCHAR(10) COLLATE Latin1_General_CI_AS NOT NULL"}},
    {"MSSQL ROWGUIDCOL", stMSSQL, Type(79), With(Type(79), [](TFldData& C) { C.SetDialect().RowGuidCol = true; }),
     {"[2] ALTER TABLE T ALTER COLUMN C ADD ROWGUIDCOL"}},
    {"MySQL definition", stMySQL, Int, Default(NotNull(Int), "0"),
     {"[2] ALTER TABLE T MODIFY COLUMN C INTEGER NOT NULL DEFAULT 0"}},
    {"PostgreSQL type, default and nullability", stPostgreSQL, NotNull(Int), Default(Type(dtBigInt), "1"),
     {"[2] ALTER TABLE \"T\" ALTER COLUMN \"C\" TYPE bigint", "[2] ALTER TABLE \"T\" ALTER COLUMN \"C\" SET DEFAULT 1",
      "[2] ALTER TABLE \"T\" ALTER COLUMN \"C\" DROP NOT NULL"}},
    {"ASA type, nullability and a new default", stASA, Int, Default(NotNull(Type(dtBigInt)), "1"),
     {"[2] ALTER TABLE T MODIFY C BIGINT", "[2] ALTER TABLE T MODIFY C NOT NULL", "[2] ALTER TABLE T ALTER C SET DEFAULT 1"}},
    {"ASA changed default", stASA, Default(Int, "1"), Default(Int, "2"), {"[2] ALTER TABLE T MODIFY C DEFAULT 2"}},
    {"ASA default removed", stASA, Default(Int, "1"), Int, {"[2] ALTER TABLE T ALTER C DROP DEFAULT"}},
    {"ASE default removed", stASE, Default(Int, "1"), Int, {"[2] ALTER TABLE T REPLACE C DEFAULT NULL"}},
    {"DB2 alters nothing", stDB2, Int, Type(dtBigInt), {}},
};

class DialectColumnAlter : public ::testing::TestWithParam<DialectCase> {};

TEST_P(DialectColumnAlter, Writes) {
    const DialectCase& c = GetParam();
    RecordedComparison r(c.Type);
    AddTableWithColumn(r.T(), "T", c.Target);
    AddTableWithColumn(r.M(), "T", c.Master);
    Steps steps = r.Run({dboField});
    std::erase_if(steps, [](const std::string& S) { return S.starts_with("--"); });  // Oracle's header
    EXPECT_EQ(steps, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DialectColumnAlter, ::testing::ValuesIn(DialectCases),
                         [](const auto& Info) { return "Case" + std::to_string(Info.index); });

// A table "T" whose INTEGER columns are named by the letters of Order, in that order; the
// column "I" is an identity column.
void AddLetterTable(TObjs& O, const char* Order) {
    auto* t = new TTblData(&O);
    t->Name = "T";
    O.AddDbObject(t);
    for (const char* p = Order; *p; ++p) {
        auto c = std::make_unique<TFldData>(&O, t);
        c->Name = std::string(1, *p);
        c->DataType = dtInteger;
        c->Identity = *p == 'I';
        c->Position = static_cast<int32_t>(p - Order);
        t->AddColumn(std::move(c));
    }
}

TEST(MySQLMove, ColumnsTakeTheMastersPlaces) {
    RecordedComparison r(stMySQL);
    AddLetterTable(r.M(), "ABC");
    AddLetterTable(r.T(), "ACB");
    EXPECT_EQ(r.Run({dboField}), (Steps{"[2] ALTER TABLE T MODIFY COLUMN B INTEGER AFTER A",
                                        "[2] ALTER TABLE T MODIFY COLUMN C INTEGER AFTER B"}));
}

TEST(MSSQLConversion, MatrixRowsAndTheirOwnMembers) {
    OneSide side(stMSSQL);
    TFldData n(&side.Objs(), nullptr), o(&side.Objs(), nullptr);
    struct Case {
        uint8_t Old, New;
        bool Allowed;
    };
    for (const Case& c : {Case{dtInteger, dtVarChar, true}, {23, dtInteger, false}, {dtTimeStamp, 77, true},
                          {77, dtTimeStamp, true}, {77, dtVarChar, false}, {48, 52, true}, {52, 48, true},
                          {52, dtVarChar, false}, {73, 74, true}, {79, dtInteger, false}, {85, 85, true},
                          {85, dtVarChar, false}, {dtFloat, dtReal, true}, {dtReal, dtDate, false}}) {
        o.DataType = c.Old;
        n.DataType = c.New;
        EXPECT_EQ(MSSQLCanConvertType(n, o), c.Allowed) << int(c.Old) << " -> " << int(c.New);
    }
}

TEST(MSSQLAlter, DefaultConstraintComesBeforeNotNullAndARemovedDefaultIsOnlyDropped) {
    RecordedComparison r(stMSSQL);
    TFldData* m = AddTableWithColumn(r.M(), "T", NotNull(Int));
    AddTableWithColumn(r.T(), "T", Default(Int, "0"));
    auto* ctr = new TCtrData(&r.M());
    ctr->SetConstraintType(5);
    ctr->Name = "DF_T_C";
    ctr->SetTableName("T");
    ctr->AddField("C");
    ctr->SetSource("(1)");
    r.M().AddDbObject(ctr);
    RegisterDependency(&r.M(), ctr, m->Owner, "C");
    const Steps steps = r.Run({dboField, dboDefault});
    ASSERT_GE(steps.size(), 2u);
    EXPECT_NE(steps.front().find("DF_T_C"), std::string::npos) << steps.front();
    EXPECT_EQ(steps.back(), "[2] ALTER TABLE T ALTER COLUMN C INTEGER NOT NULL");
    for (const std::string& s : steps) EXPECT_EQ(s.find("ADD DEFAULT"), std::string::npos) << s;
}

TEST(MSSQLRecreate, CopyDropCreateAndCopyBackWithIdentityInserts) {
    RecordedComparison r(stMSSQL);
    r.q.MSSQLCompareOptions().UpdateColumnPosition = true;
    std::vector<std::string> log;
    r.q.OnLogNextLine = [&](TObject*, const std::string& Text) { log.push_back(Text); };
    AddLetterTable(r.M(), "IAB");
    AddLetterTable(r.T(), "IBA");
    const Steps steps = r.Run({dboTable});
    const Steps expected{
        "[1] CREATE TABLE QNL$T(I INTEGER IDENTITY NULL,\r\nA INTEGER NULL,\r\nB INTEGER NULL)",
        "[0] SET IDENTITY_INSERT QNL$T ON",
        "[12] insert into QNL$T(I, A, B)\r\nselect I, A, B from T",
        "[0] SET IDENTITY_INSERT QNL$T OFF",
        "[3] DROP TABLE T",
        "[1] CREATE TABLE T(I INTEGER IDENTITY NULL,\r\nA INTEGER NULL,\r\nB INTEGER NULL)",
        "[0] SET IDENTITY_INSERT T ON",
        "[12] insert into T(I, A, B)\r\nselect I, A, B from QNL$T",
        "[0] SET IDENTITY_INSERT T OFF",
        "[3] DROP TABLE QNL$T",
    };
    EXPECT_EQ(steps, expected);
    EXPECT_NE(std::find(log.begin(), log.end(), "ReCreate table (upd. column position): T"), log.end());
}

} // namespace
} // namespace qnl::test
