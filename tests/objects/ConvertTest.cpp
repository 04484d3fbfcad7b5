// The conversion of a master of another dialect into the target's: the helpers case by case,
// and an MSSQL master turned into a Firebird 3 database that isql-fb builds without an error.
#include "objects/qnlConvert.h"

#include "objects/qnlComp_Dmn.h"
#include "tests/objects/CompareKit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

using test::Comparison;
using test::TempDatabase;
using Lines = std::vector<std::string>;

uint8_t Code(const char* Word) {
    for (int i = 0; i < DataTypeNameCount; ++i)
        if (std::string(DataTypeNames[static_cast<size_t>(i)]) == Word) return static_cast<uint8_t>(i);
    return dtUnknown;
}

TEST(ConvertToIB, Defaults) {
    struct Case {
        const char* Text;
        TIBSQLServerVersionType Version;
        const char* Expected;
        bool Logged;
    } const cases[] = {
        {"((1))", st_Firebird_30, "1", false},
        {"(-2.5)", st_Firebird_30, "-2.5", false},
        {"(getdate())", st_Firebird_30, "CURRENT_TIMESTAMP", false},
        {"(GETDATE())", st_InterBase_5x, "'NOW'", false},
        {"(newid())", st_Firebird_30, "", false},
        {"(N'abc')", st_Firebird_30, "'abc'", false},
        {"('it''s')", st_Firebird_30, "'it''s'", false},
        {"(CURRENT_USER)", st_Firebird_30, "CURRENT_USER", false},
        {"((1)+(2))", st_Firebird_30, "", true},
        {"(getutcdate())", st_Firebird_30, "", true},
        {"('a')+('b')", st_Firebird_30, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        Lines log;
        EXPECT_EQ(ConvertDefaultToIB(c.Text, c.Version, "T.C", [&](const std::string& t) { log.push_back(t); }),
                  c.Expected);
        EXPECT_EQ(log.size(), c.Logged ? 1u : 0u) << testing::PrintToString(log);
    }
    // Only a pair around all of the text is taken off.
    EXPECT_EQ(StripEnclosingParentheses("((1)+(2))"), "(1)+(2)");
    EXPECT_EQ(StripEnclosingParentheses("(1)+(2)"), "(1)+(2)");
    EXPECT_EQ(StripEnclosingParentheses("(')(')"), "')('");
    Lines log;
    EXPECT_EQ(ConvertDefaultToIB("((1)+(2))", st_Firebird_30, "T.C", [&](const std::string& t) { log.push_back(t); }), "");
    EXPECT_EQ(log, (Lines{"Default (1)+(2) of T.C has no InterBase/Firebird form and is left out"}));
}

TEST(ConvertToIB, UnicodeCharacterSets) {
    for (auto v : {st_Firebird_20, st_Firebird_25, st_Firebird_30, st_Firebird_40}) EXPECT_EQ(UnicodeCharSetForIB(v), "UTF8");
    for (auto v : {st_InterBase_6x, st_FireBird_15, st_InterBase_2020}) EXPECT_EQ(UnicodeCharSetForIB(v), "UNICODE_FSS");
}

TEST(ConvertToIB, ColumnTypes) {
    struct Case {
        const char* Type;
        int32_t Length, Precision;
        std::string Default;
        // What the column becomes in Firebird 3.
        std::string Text;
        bool Logged;
    } const cases[] = {
        {"NVARCHAR", -1, 0, "", "BLOB SUB_TYPE 1 CHARACTER SET UTF8", false},
        {"NVARCHAR", 20, 0, "(N'abc')", "VARCHAR(20) CHARACTER SET UTF8 DEFAULT 'abc'", false},
        {"VARCHAR", -1, 0, "", "BLOB SUB_TYPE 1", false},
        {"NCHAR", 3, 0, "", "CHAR(3) CHARACTER SET UTF8", false},
        {"TEXT", 0, 0, "", "BLOB SUB_TYPE 1", false},
        {"NTEXT", 0, 0, "", "BLOB SUB_TYPE 1 CHARACTER SET UTF8", false},
        {"XML", 0, 0, "", "BLOB SUB_TYPE 1 CHARACTER SET UTF8", false},
        {"IMAGE", 0, 0, "", "BLOB", false},
        {"VARBINARY", 10, 0, "", "BLOB", false},
        {"MONEY", 0, 0, "", "NUMERIC(18,4)", false},
        {"SMALLMONEY", 0, 0, "", "NUMERIC(9,4)", false},
        {"BIT", 0, 0, "((1))", "SMALLINT DEFAULT 1", false},
        {"BIT", 0, 0, "('true')", "SMALLINT", false},
        {"DATETIME", 0, 0, "(getdate())", "TIMESTAMP DEFAULT CURRENT_TIMESTAMP", false},
        {"TINYINT", 0, 0, "", "SMALLINT", false},
        {"REAL", 0, 0, "", "FLOAT", false},
        {"UNIQUEIDENTIFIER", 0, 0, "(newid())", "VARCHAR(38)", false},
        {"DECIMAL", 0, 38, "", "DECIMAL(18)", true},
        {"DATETIME2", 0, 0, "", "DATETIME2", true},
        {"SMALLDATETIME", 0, 0, "", "SMALLDATETIME", true},
        {"INTEGER", 0, 0, "((1)+(2))", "INTEGER", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Default);
        Comparison cmp;  // Firebird 3
        TTblData* t = test::AddTable(cmp.M(), "T");
        TFldData& col = test::AddCol(t, "C", Code(c.Type), c.Length);
        col.Precision = c.Precision;
        col.DefaultValue = c.Default;
        Lines log;
        const TFullDefinition full;  // the character set whatever is compared
        ConvertFieldTypeToIB(col, true, "UTF8", st_Firebird_30, [&](const std::string& s) { log.push_back(s); });
        std::string text = col.GetColumnSQL();
        if (text.size() > 5 && text.compare(text.size() - 5, 5, " NULL") == 0) text.resize(text.size() - 5);
        EXPECT_EQ(text, c.Text);
        EXPECT_EQ(log.size(), c.Logged ? 1u : 0u) << testing::PrintToString(log);
    }
}

// An MSSQL master as its reader would fill it.
struct MSSQLMaster {
    static constexpr const char* Table40 = "ORDER_LINES_OF_THE_NORTHERN_WAREHOUSE_X";  // 39 + 1
    static constexpr const char* Column40 = "DESCRIPTION_AS_THE_CUSTOMER_WROTE_IT_XY";

    static TDmnData* Domain(TObjs& O, const std::string& Name, const char* Type) {
        auto* d = new TDmnData(&O);
        d->Name = Name;
        d->Schema = "dbo";
        d->TypeField->DataType = Code(Type);
        O.AddDbObject(d);
        return d;
    }

    static void Fill(TObjs& O) {
        Domain(O, "D_IMAGE", "IMAGE");
        Domain(O, "D_XML", "XML");
        TTblData* t = test::AddTable(O, std::string(Table40) + "Z");
        t->Schema = "dbo";
        test::AddCol(t, "ID", dtInteger).Nullable = false;
        test::AddCol(t, std::string(Column40) + "Z", dtNVarChar, -1);
        TFldData& owner = test::AddCol(t, "OWNER_NAME", dtDomain);
        owner.DomainName = "sysname";
        test::AddCol(t, "PRICE", Code("MONEY"));
        test::AddCol(t, "FLAG", Code("BIT")).DefaultValue = "((1))";
        test::AddCol(t, "CREATED", Code("DATETIME")).DefaultValue = "(getdate())";
        test::AddCol(t, "GUID", Code("UNIQUEIDENTIFIER")).DefaultValue = "(newid())";
        test::AddCol(t, "SUM_COL", dtInteger).DefaultValue = "((1)+(2))";
        test::AddCol(t, "LABEL", dtNVarChar, 20).DefaultValue = "(N'abc')";
        TFldData& picture = test::AddCol(t, "PICTURE", dtDomain);
        picture.DomainName = "D_IMAGE";
        TFldData& doc = test::AddCol(t, "DOC", dtDomain);
        doc.DomainName = "D_XML";
        test::AddCol(t, "NOTE", dtNVarChar, 10);
        TCtrData* pk = test::AddKey(O, ctPrimaryKey, "PK_LINES", t->Name, {"ID"});
        pk->Schema = "dbo";
        TCtrData* df = test::AddKey(O, ctDefault, "DF_NOTE", t->Name, {"NOTE"});
        df->SetSource("('x')");
        test::AddIndex(O, "IX_SAME", t->Name, {"ID"});
        TTblData* b = test::AddTable(O, "B_OTHER");
        b->Schema = "dbo";
        test::AddCol(b, "ID", dtInteger);
        test::AddIndex(O, "IX_SAME", "B_OTHER", {"ID"});
    }
};

const char* const ReferenceDDL = R"(
CREATE DOMAIN D_IMAGE AS BLOB SUB_TYPE 0;
CREATE DOMAIN D_XML AS BLOB SUB_TYPE 1 CHARACTER SET UTF8;
CREATE TABLE ORDER_LINES_OF_THE_NORTHERN_WAR (
    ID INTEGER NOT NULL,
    DESCRIPTION_AS_THE_CUSTOMER_WRO BLOB SUB_TYPE 1 CHARACTER SET UTF8,
    OWNER_NAME VARCHAR(256) CHARACTER SET UTF8,
    PRICE NUMERIC(18,4),
    FLAG SMALLINT DEFAULT 1,
    CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP,
    GUID VARCHAR(38),
    SUM_COL INTEGER,
    LABEL VARCHAR(20) CHARACTER SET UTF8 DEFAULT 'abc',
    PICTURE D_IMAGE,
    DOC D_XML,
    NOTE VARCHAR(10) CHARACTER SET UTF8 DEFAULT 'x',
    CONSTRAINT PK_LINES PRIMARY KEY (ID));
CREATE TABLE B_OTHER (ID INTEGER);
CREATE INDEX IX_SAME ON B_OTHER (ID);
CREATE INDEX IX_SAME_2 ON ORDER_LINES_OF_THE_NORTHERN_WAR (ID);
)";

TEST(ConvertToIB, AnMSSQLMasterBuildsItsFirebirdDatabase) {
    Comparison c;
    c.M().SetServerType(stMSSQL);
    MSSQLMaster::Fill(c.M());
    Lines log;
    c.q.OnLogNextLine = [&](TObject*, const std::string& t) { log.push_back(t); };
    c.q.ConvertMasterToTarget();
    EXPECT_EQ(c.M().ServerType(), stInterBase);
    EXPECT_FALSE(c.q.CompareObjects.Contains(coView));
    EXPECT_EQ(log, (Lines{"Convert master-database to IB/FB-database...",
                          "Default (1)+(2) of ORDER_LINES_OF_THE_NORTHERN_WAR.SUM_COL has no InterBase/Firebird form "
                          "and is left out",
                          "Index IX_SAME is named IX_SAME_2: its name cut to 31 characters is taken"}));

    const TempDatabase target("");
    const TempDatabase reference(ReferenceDDL);
    std::string out;
    c.q.CompareObjects.Exclude(coDescription);
    ASSERT_EQ(c.RunOn(target, out), 0) << out << c.ScriptText();
    // The default constraint lives on in its column only: not even its section title is left.
    EXPECT_EQ(c.ScriptText().find("Default"), std::string::npos) << c.ScriptText();
    EXPECT_EQ(test::SortedBlocks(test::ExtractSchema(target.Path())), test::SortedBlocks(test::ExtractSchema(reference.Path()))) << c.ScriptText();

    // Text beyond the basic plane and bytes of every value come back as they went in.
    const std::string rows = R"(SET NAMES UTF8;
INSERT INTO ORDER_LINES_OF_THE_NORTHERN_WAR (ID, LABEL, PICTURE) VALUES (1, _UTF8 x'F09F9880', x'00FF80');
SELECT '<<' || IIF(CAST(LABEL AS VARCHAR(20) CHARACTER SET OCTETS) = x'F09F9880', 'same', 'diff') || ' ' ||
       IIF(CAST(PICTURE AS VARCHAR(3) CHARACTER SET OCTETS) = x'00FF80', 'same', 'diff') || '>>'
FROM ORDER_LINES_OF_THE_NORTHERN_WAR)";
    EXPECT_EQ(test::QueryRows(target, rows), (Lines{"same same"}));
}

TEST(ConvertToIB, RemovedKindsComeBackForTheNextExtraction) {
    Comparison c;
    c.M().SetServerType(stMSSQL);
    c.q.OnErrorMessage = [](TObject*, const std::string&) {};
    c.q.ConvertMasterToTarget();
    EXPECT_FALSE(c.q.CompareObjects.Contains(coProcedure));
    c.q.Extract();  // fails at once: no extractors
    EXPECT_EQ(c.q.CompareObjects, TCmpObjSetType::All());
}

// A column of a table in a container of that dialect.
struct Column {
    Comparison Cmp;
    TFldData* C;
    Column(TServerType Type, const char* DataType, int32_t Length = 0) {
        Cmp.M().SetServerType(Type);
        C = &test::AddCol(test::AddTable(Cmp.M(), "T"), "C", Code(DataType), Length);
    }
};

TEST(ConvertToOtherDialects, MySQL) {
    EXPECT_EQ(GetMySQLName("Order"), "Order_");
    EXPECT_EQ(GetMySQLName("First Name"), "First_Name");
    EXPECT_EQ(GetMySQLName("PLAIN"), "PLAIN");
    struct Case {
        const char* Type;
        int32_t SubType;
        std::string Default;
        bool TimestampUsed;
        const char* TypeAfter;
        std::string DefaultAfter;
        bool Nullable;
    } const cases[] = {
        {"NUMERIC", 0, "", false, "DECIMAL", "", true},
        {"DOUBLE PRECISION", 0, "3.0", false, "DOUBLE", "'3'", true},
        {"MONEY", 0, "", false, "DOUBLE", "", true},
        {"NVARCHAR", 0, "'x'", false, "VARCHAR", "'x'", true},
        {"IMAGE", 0, "", false, "LONGBLOB", "", true},
        {"BIT", 0, "1", false, "TINYINT", "'1'", true},
        {"BLOB", 1, "", false, "LONGTEXT", "", true},
        {"BLOB", 0, "", false, "LONGBLOB", "", true},
        {"TIMESTAMP", 0, "CURRENT_TIMESTAMP", false, "TIMESTAMP", "CURRENT_TIMESTAMP", false},
        {"TIMESTAMP", 0, "'NOW'", true, "DATETIME", "", true},
        {"TIMESTAMP", 0, "", false, "DATETIME", "", true},
        {"DATE", 0, "'TODAY'", false, "DATE", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Default);
        Column col(stInterBase, c.Type);
        col.C->SubType = c.SubType;
        col.C->DefaultValue = c.Default;
        bool used = c.TimestampUsed;
        ConvertFieldTypeToMySQL(*col.C, true, used);
        EXPECT_EQ(DataTypeName(col.C->DataType), std::string(c.TypeAfter));
        EXPECT_EQ(ConvertDefaultToMySQL(*col.C, c.Default, used), c.DefaultAfter);
        EXPECT_EQ(col.C->Nullable, c.Nullable);
    }
    // The numbers of a DECIMAL keep the column's scale.
    Column dec(stInterBase, "DECIMAL");
    dec.C->Scale = 2;
    bool used = false;
    EXPECT_EQ(ConvertDefaultToMySQL(*dec.C, "1.5", used), "'1.50'");

    // Keys and indices follow their renamed tables and columns.
    Comparison c;
    c.M().SetServerType(stInterBase);
    c.T().SetServerType(stMySQL);
    TTblData* t = test::AddTable(c.M(), "Order");
    test::AddCol(t, "First Name", dtInteger);
    test::AddKey(c.M(), ctPrimaryKey, "PK_ORDER", "Order", {"First Name"});
    test::AddIndex(c.M(), "IX_ORDER", "Order", {"First Name"});
    c.q.ConvertMasterToTarget();
    const auto* key = dynamic_cast<TCtrData*>(c.M().List(olConstraints).Obj(0));
    const auto* index = dynamic_cast<TIdxData*>(c.M().List(olIndices).Obj(0));
    EXPECT_EQ(t->Name, "order_");
    EXPECT_EQ(key->TableName, "order_");
    EXPECT_EQ(key->Fields[0], "First_Name");
    EXPECT_EQ(key->Name, "");
    EXPECT_FALSE(t->Column(0)->Nullable);
    EXPECT_EQ(index->TableName, "order_");
    EXPECT_EQ(index->Fields[0], "First_Name");
}

TEST(ConvertToOtherDialects, MSSQLAndASA) {
    struct Case {
        TServerType To;
        const char* Type;
        int32_t SubType;
        const char* CharSet;
        const char* TypeAfter;
    } const cases[] = {
        {stMSSQL, "DOUBLE PRECISION", 0, "", "FLOAT"},
        {stMSSQL, "TIMESTAMP", 0, "", "DATETIME"},
        {stMSSQL, "BLOB", 1, "UNICODE_FSS", "NTEXT"},
        {stMSSQL, "BLOB", 1, "UTF8", "NTEXT"},
        {stMSSQL, "BLOB", 1, "WIN1252", "TEXT"},
        {stMSSQL, "BLOB", 0, "", "IMAGE"},
        {stMSSQL, "VARCHAR", 0, "UTF8", "NVARCHAR"},
        {stMSSQL, "VARCHAR", 0, "", "NVARCHAR"},  // the master database's set is UTF8
        {stMSSQL, "VARCHAR", 0, "WIN1252", "VARCHAR"},
        {stASA, "DOUBLE PRECISION", 0, "", "DOUBLE"},
        {stASA, "BLOB", 1, "UNICODE_FSS", "NTEXT"},
        {stASA, "BLOB", 1, "", "LONG VARCHAR"},
        {stASA, "BLOB", 0, "", "LONG BINARY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.CharSet);
        Column col(stInterBase, c.Type, 10);
        col.C->SubType = c.SubType;
        col.C->CharSetName = c.CharSet;
        col.C->Precision = 7;
        if (c.To == stMSSQL)
            ConvertFieldTypeToMSSQL(*col.C, true, "UTF8");
        else
            ConvertFieldTypeToASA(*col.C);
        EXPECT_EQ(DataTypeName(col.C->DataType), std::string(c.TypeAfter));
        EXPECT_EQ(col.C->CharSetName, "");
        EXPECT_EQ(col.C->Precision, 0);
    }
    struct Source {
        const char* Default;
        const char* Constraint;
    } const sources[] = {{"CURRENT_TIMESTAMP", "(getdate())"}, {"CURRENT_DATE", "(getdate())"}, {"((1))", "1"},
                         {"-1", "((-1))"}, {"'x'", "('x')"}};
    for (const Source& s : sources) EXPECT_EQ(DefaultConstraintSource(s.Default), s.Constraint) << s.Default;
    // User types keep their length and precision.
    Column num(stInterBase, "NUMERIC");
    num.C->Precision = 15;
    num.C->Scale = 2;
    EXPECT_EQ(UserTypeText(*num.C), "NUMERIC(15,2)");
    Column nv(stInterBase, "NVARCHAR", 40);
    EXPECT_EQ(UserTypeText(*nv.C), "NVARCHAR(40)");
    Column i(stInterBase, "INTEGER");
    EXPECT_EQ(UserTypeText(*i.C), "INT");

    // A column's default becomes a default constraint of the MSSQL master.
    Comparison c;
    c.T().SetServerType(stMSSQL);
    TTblData* t = test::AddTable(c.M(), "T");
    test::AddCol(t, "C", dtTimeStamp).DefaultValue = "CURRENT_TIMESTAMP";
    c.q.ConvertMasterToTarget();
    ASSERT_EQ(c.M().List(olConstraints).Count(), 1);
    const TDbObj* d = c.M().List(olConstraints).Obj(0);
    EXPECT_EQ(d->GetConstraintType(), ctDefault);
    EXPECT_EQ(d->Source(), "(getdate())");
    EXPECT_EQ(t->Column(0)->DefaultValue, "");
    EXPECT_EQ(DataTypeName(t->Column(0)->DataType), std::string("DATETIME"));
}

TEST(ConvertToOtherDialects, PostgreSQL) {
    struct Case {
        const char* Type;
        int32_t Precision, Scale, SubType;
        const char* TypeAfter;
    } const cases[] = {
        {"VARCHAR2", 0, 0, 0, "VARCHAR"}, {"LONGTEXT", 0, 0, 0, "TEXT"},    {"BLOB", 0, 0, 1, "TEXT"},
        {"BLOB", 0, 0, 0, "BYTEA"},       {"NUMBER", 5, 2, 0, "NUMERIC"},   {"NUMBER", 9, 0, 0, "INTEGER"},
        {"NUMBER", 12, 0, 0, "BIGINT"},   {"NUMBER", 30, 0, 0, "NUMERIC"},  {"NUMBER", 0, 0, 0, "NUMERIC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + std::to_string(c.Precision));
        Column col(stOracle, c.Type);
        col.C->Precision = c.Precision;
        col.C->Scale = c.Scale;
        col.C->SubType = c.SubType;
        ConvertFieldTypeToPG(*col.C);
        EXPECT_EQ(DataTypeName(col.C->DataType), std::string(c.TypeAfter));
    }
    Comparison c;
    c.M().SetServerType(stInterBase);
    c.T().SetServerType(stPostgreSQL);
    TTblData* plain = test::AddTable(c.M(), "ORDERS");
    test::AddCol(plain, "CREATED", dtTimeStamp).DefaultValue = "'NOW'";
    TTblData* quoted = test::AddTable(c.M(), "Mixed Case");
    c.q.ConvertMasterToTarget();
    EXPECT_EQ(plain->Name, "orders");
    EXPECT_EQ(plain->Schema, "public");
    EXPECT_EQ(plain->Column(0)->Name, "created");
    EXPECT_EQ(plain->Column(0)->DefaultValue, "current_timestamp");
    EXPECT_EQ(quoted->Name, "Mixed Case");
    EXPECT_EQ(c.M().ServerType(), stPostgreSQL);
    EXPECT_NE(c.M().FindTable("public.orders"), nullptr);
}

TEST(ConvertToOtherDialects, SameDialectOracleDB2AndASELeaveTheMasterAlone) {
    for (auto [from, to] : {std::pair{stInterBase, stInterBase}, std::pair{stMSSQL, stOracle}, std::pair{stMSSQL, stDB2},
                            std::pair{stMSSQL, stASE}}) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        Comparison c;
        c.M().SetServerType(from);
        c.T().SetServerType(to);
        TTblData* t = test::AddTable(c.M(), "A_TABLE_NAME_LONGER_THAN_THIRTY_ONE");
        test::AddCol(t, "C", Code("MONEY"));
        c.q.ConvertMasterToTarget();
        EXPECT_EQ(c.M().ServerType(), from);
        EXPECT_EQ(t->Name, "A_TABLE_NAME_LONGER_THAN_THIRTY_ONE");
        EXPECT_EQ(DataTypeName(t->Column(0)->DataType), std::string("MONEY"));
        EXPECT_EQ(c.q.CompareObjects, TCmpObjSetType::All());
    }
}

} // namespace
} // namespace qnl
