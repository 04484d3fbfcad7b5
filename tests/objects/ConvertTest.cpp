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

} // namespace
} // namespace qnl
