// Column texts against a real Firebird 3 database: a table built from the column objects must
// be accepted, and the catalogue must hold exactly what the objects describe.
#include "ObjectsKit.h"
#include "tests/fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <map>

using namespace qnl;
using namespace qnl::test;

namespace {

// One line per column of the table: name | type | sub-type | length | characters | precision |
// scale | segment | character set | collation | not null | default | computed | domain | dimensions | identity.
const char* const CatalogueQuery = R"(
SELECT '<<' || TRIM(RF.RDB$FIELD_NAME)
  || '|' || F.RDB$FIELD_TYPE || '|' || COALESCE(F.RDB$FIELD_SUB_TYPE, '')
  || '|' || F.RDB$FIELD_LENGTH || '|' || COALESCE(F.RDB$CHARACTER_LENGTH, '')
  || '|' || COALESCE(F.RDB$FIELD_PRECISION, '') || '|' || COALESCE(F.RDB$FIELD_SCALE, '')
  || '|' || COALESCE(F.RDB$SEGMENT_LENGTH, '')
  || '|' || COALESCE(TRIM(CS.RDB$CHARACTER_SET_NAME), '')
  || '|' || COALESCE(TRIM(CO.RDB$COLLATION_NAME), '')
  || '|' || COALESCE(RF.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0)
  || '|' || COALESCE(CAST(RF.RDB$DEFAULT_SOURCE AS VARCHAR(100)), '')
  || '|' || COALESCE(CAST(F.RDB$COMPUTED_SOURCE AS VARCHAR(100)), '')
  || '|' || IIF(RF.RDB$FIELD_SOURCE STARTING WITH 'RDB$', '', TRIM(RF.RDB$FIELD_SOURCE))
  || '|' || COALESCE((SELECT LIST(D.RDB$LOWER_BOUND || ':' || D.RDB$UPPER_BOUND, ',')
                      FROM (SELECT * FROM RDB$FIELD_DIMENSIONS D0
                            WHERE D0.RDB$FIELD_NAME = F.RDB$FIELD_NAME ORDER BY D0.RDB$DIMENSION) D), '')
  || '|' || COALESCE(RF.RDB$IDENTITY_TYPE, '') || '>>'
FROM RDB$RELATION_FIELDS RF
JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE
LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID
LEFT JOIN RDB$COLLATIONS CO ON CO.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID
  AND CO.RDB$COLLATION_ID = COALESCE(RF.RDB$COLLATION_ID, F.RDB$COLLATION_ID)
WHERE RF.RDB$RELATION_NAME = 'ALL_TYPES'
ORDER BY RF.RDB$FIELD_POSITION;
)";

struct FirebirdColumns : ::testing::Test {
    OneSide side{stInterBase, st_Firebird_30};
    TObjs& O() { return side.Objs(); }
    TTblData* table = nullptr;

    void SetUp() override {
        O().IBServerOptions.SetDBCharSet("UTF8");
        O().IBServerOptions.IBCompareOptions.FldCharsetCompare = true;
        table = new TTblData(&O());
        table->Name = "ALL_TYPES";
        O().AddDbObject(table);
    }
    TFldData& Col(const std::string& Name, uint8_t Code, int32_t Length = 0) {
        auto c = std::make_unique<TFldData>(&O(), table);
        c->Name = Name;
        c->OwnerName = table->Name;
        c->DataType = Code;
        c->CharLength = Length;
        c->Position = table->GetColumnCount();
        return *table->AddColumn(std::move(c));
    }
    // CREATE TABLE from the columns' own texts.
    std::string CreateTable() {
        std::string s = "CREATE TABLE " + table->QuoteName(table->Name) + " (\n";
        for (int i = 0; i < table->GetColumnCount(); ++i)
            s += std::string(i ? ",\n" : "") + "  " + table->Column(i)->GetCreateSQL();
        return s + "\n)";
    }
};

TEST_F(FirebirdColumns, EveryFirebird3TypeRunsAndLandsInTheCatalogueAsDescribed) {
    auto* money = NewDomain(&O(), "D_MONEY");
    O().AddDbObject(money);
    TFldData& mt = *money->TypeField;
    mt.DataType = dtNumeric;
    mt.Precision = 15;
    mt.Scale = 2;
    mt.DefaultValue = "0";
    mt.Nullable = false;

    TFldData& id = Col("ID", dtInteger);
    id.Identity = true;
    id.Nullable = false;
    Col("C_SMALL", dtSmallInt).Nullable = false;
    Col("C_INT", dtInteger).DefaultValue = "7";
    Col("C_BIG", dtBigInt);
    Col("C_FLOAT", dtFloat);
    Col("C_DOUBLE", dtDoublePrecision);
    TFldData& num = Col("C_NUM", dtNumeric);
    num.Precision = 15;
    num.Scale = 2;
    num.DefaultValue = "0";
    Col("C_NUM4", dtNumeric).Precision = 4;
    TFldData& dec = Col("C_DEC", dtDecimal);
    dec.Precision = 18;
    dec.Scale = 4;
    Col("C_DATE", dtDate).DefaultValue = "CURRENT_DATE";
    Col("C_TIME", dtTime);
    Col("C_TS", dtTimeStamp).DefaultValue = "CURRENT_TIMESTAMP";
    Col("C_CHAR1", dtChar, 1);
    TFldData& ch = Col("C_CHAR", dtChar, 10);
    ch.SetCharSetCollation(53, "WIN1252", 5, "PXW_SWEDFIN");
    TFldData& vc = Col("C_VC", dtVarChar, 40);
    vc.Nullable = false;
    vc.DefaultValue = "\"it's\"";
    Col("C_VC_OCT", dtVarChar, 16).SetCharSetCollation(1, "OCTETS", 0, "OCTETS");
    TFldData& uni = Col("C_VC_CI", dtVarChar, 20);
    uni.SetCharSetCollation(4, "UTF8", 0, "UNICODE_CI");
    Col("C_BOOL", dtBoolean).DefaultValue = "FALSE";
    TFldData& memo = Col("C_MEMO", dtBlob);
    memo.SubType = 1;
    memo.SegmentLength = 100;
    memo.SetCharSetCollation(53, "WIN1252", 0, "");
    Col("C_BIN", dtBlob).SegmentLength = 80;
    Col("C_ARR", dtInteger).ArrayBounds = {{1, 10}, {0, 3}};
    TFldData& arrn = Col("C_ARR_N", dtNumeric);
    arrn.Precision = 9;
    arrn.Scale = 2;
    arrn.ArrayBounds = {{1, 3}};
    TFldData& arrc = Col("C_ARR_C", dtChar, 5);
    arrc.ArrayBounds = {{-1, 1}};
    arrc.SetCharSetCollation(53, "WIN1252", 0, "");
    TFldData& dom = Col("C_DOM", dtDomain);
    dom.DomainName = "D_MONEY";
    dom.DefaultValue = "0";  // the domain's: not repeated
    TFldData& dom2 = Col("C_DOM2", dtDomain);
    dom2.DomainName = "D_MONEY";
    dom2.DefaultValue = "5";
    TFldData& chk = Col("C_CHECK", dtInteger);
    chk.SetRare().CheckSource = " (C_CHECK > 0)";
    Col("C_CALC", dtUnknown).SetSource("(C_INT * 2)");
    // A declared type holds against the expression's.
    Col("C_CALC_INT", dtInteger).SetSource("(C_INT * 2)");
    TFldData& upper = Col("C_CALC_UP", dtVarChar, 40);
    upper.CharSetName = "WIN1252";
    upper.SetSource("(UPPER(C_VC))");
    Col("order", dtVarChar, 5);

    const std::string ddl = money->GetCreateSQL() + ";\n" + CreateTable() + ";\n";
    EXPECT_EQ(money->GetCreateSQL(), "CREATE DOMAIN D_MONEY AS NUMERIC(15,2) DEFAULT 0 NOT NULL");
    TempDatabase db("", "UTF8");
    std::string out;
    ASSERT_EQ(RunSql(db, ddl + "COMMIT;\n", out), 0) << ddl << "\n" << out;
    ASSERT_EQ(RunSql(db, CatalogueQuery, out), 0) << out;

    // name | type | sub | length | chars | precision | scale | segment | charset | collation |
    // not null | default | computed | domain | dimensions | identity
    const std::vector<std::string> expected = {
        "ID|8|0|4||0|0||||1|||||1",  // identity by default, NOT NULL by itself
        "C_SMALL|7|0|2||0|0||||1|||||",
        "C_INT|8|0|4||0|0||||0|DEFAULT 7||||",
        "C_BIG|16|0|8||0|0||||0|||||",
        "C_FLOAT|10||4|||0||||0|||||",
        "C_DOUBLE|27||8|||0||||0|||||",
        "C_NUM|16|1|8||15|-2||||0|DEFAULT 0||||",
        "C_NUM4|7|1|2||4|0||||0|||||",
        "C_DEC|16|2|8||18|-4||||0|||||",
        "C_DATE|12||4|||0||||0|DEFAULT CURRENT_DATE||||",
        "C_TIME|13||4|||0||||0|||||",
        "C_TS|35||8|||0||||0|DEFAULT CURRENT_TIMESTAMP||||",
        "C_CHAR1|14|0|4|1||0||UTF8|UTF8|0|||||",
        "C_CHAR|14|0|10|10||0||WIN1252|PXW_SWEDFIN|0|||||",
        "C_VC|37|0|160|40||0||UTF8|UTF8|1|DEFAULT 'it''s'||||",
        "C_VC_OCT|37|0|16|16||0||OCTETS|OCTETS|0|||||",
        "C_VC_CI|37|0|80|20||0||UTF8|UNICODE_CI|0|||||",
        "C_BOOL|23||1|||0||||0|DEFAULT FALSE||||",
        "C_MEMO|261|1|8|||0|100|WIN1252|WIN1252|0|||||",
        "C_BIN|261|0|8|||0|80|||0|||||",
        "C_ARR|8|0|4||0|0||||0||||1:10,0:3|",
        "C_ARR_N|8|1|4||9|-2||||0||||1:3|",
        "C_ARR_C|14|0|5|5||0||WIN1252|WIN1252|0||||-1:1|",
        "C_DOM|16|1|8||15|-2||||1|||D_MONEY||",
        "C_DOM2|16|1|8||15|-2||||1|DEFAULT 5||D_MONEY||",
        "C_CHECK|8|0|4||0|0||||0|||||",
        "C_CALC|16|0|8||18|0||||0||(C_INT * 2)|||",  // without a type the engine types the expression
        "C_CALC_INT|8|0|4||9|0||||0||(C_INT * 2)|||",
        "C_CALC_UP|37|0|40|40||0||WIN1252|WIN1252|0||(UPPER(C_VC))|||",
        "order|37|0|20|5||0||UTF8|UTF8|0|||||",
    };
    std::vector<std::string> rows = Marked(out);
    ASSERT_EQ(rows.size(), expected.size()) << out;
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], expected[i]);

    // The defaults, the identity and the check work on rows.
    ASSERT_EQ(RunSql(db,
                        "INSERT INTO ALL_TYPES (C_SMALL, C_CHECK) VALUES (1, 1);\n"
                        "SELECT '<<' || ID || '|' || C_INT || '|' || C_VC || '|' || C_DOM || '|' || C_DOM2 || '|' || "
                        "C_CALC || '|' || C_BOOL || '>>' FROM ALL_TYPES;\n",
                        out),
              0)
        << out;
    EXPECT_EQ(Marked(out), std::vector<std::string>{"1|7|it's|0.00|5.00|14|FALSE"});
    EXPECT_NE(RunSql(db, "INSERT INTO ALL_TYPES (C_SMALL, C_CHECK) VALUES (1, 0);\n", out), 0);
    EXPECT_NE(out.find("CHECK"), std::string::npos) << out;

    // ADD and DROP of a column on the filled table.
    TFldData& added = Col("C_NEW", dtVarChar, 10);
    added.DefaultValue = "'x'";
    added.Nullable = false;
    const std::string add = added.GetCreateStatement();
    EXPECT_EQ(add, "ALTER TABLE ALL_TYPES ADD C_NEW VARCHAR(10) DEFAULT 'x' NOT NULL");
    ASSERT_EQ(RunSql(db, add + ";\nCOMMIT;\nSELECT '<<' || C_NEW || '>>' FROM ALL_TYPES;\n", out), 0) << out;
    EXPECT_EQ(Marked(out), std::vector<std::string>{"x"});
    ASSERT_EQ(RunSql(db, added.GetDropSQL() + ";\nCOMMIT;\n", out), 0) << out;
    EXPECT_EQ(ExtractSchema(db.Path()).find("C_NEW"), std::string::npos);
}

} // namespace
