#include "core/qnlTypes.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(Types, StatementTerminatorPerServerType) {
    EXPECT_EQ(GetStatementTerminator(stASA), "\r\ngo\r\n");
    EXPECT_EQ(GetStatementTerminator(stASE), GetStatementTerminator(stASA));
    EXPECT_EQ(GetStatementTerminator(stMSSQL), "\r\nGO\r\n");
    for (TServerType t : {0, 1, 3, 4, 6, 7, 11, 12, 13}) EXPECT_EQ(GetStatementTerminator(t), ";\r\n") << int(t);
}

TEST(Types, QuoteSQLStringPerDialect) {
    struct Case {
        TServerType type;
        std::string in, out;
    } cases[] = {
        {stMySQL, "", "''"},
        {stMySQL, "O'Brien", "'O\\'Brien'"},
        {stMySQL, "a\r\nb\\\"\t", "'a\\r\\nb\\\\\\\"\\t'"},
        {stMySQL, std::string("z\x1a\0\b", 4), "'z\\z\\0\\b'"},
        {stPostgreSQL, "O'Brien", "'O''Brien'"},
        {stPostgreSQL, "\\", "'\\x5c'"},
        {stPostgreSQL, "a\r\nb", "'a\r\nb'"},
        {stPostgreSQL, std::string("\0\t", 2), "'\\x00\\t'"},
        {stOracle, "a\\b\r\n'", "'a\\b\r\n'''"},
        {stInterBase, "", "''"},
        {stInterBase, "it's", "'it''s'"},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteSQLString(c.in, c.type), c.out) << int(c.type) << " " << c.in;
}

TEST(Types, HoldersAndSmallHelpers) {
    TTableSpace ts;
    EXPECT_EQ(ts.GetStorageText(), "");
    ts.TableSpace = "tablespace USERS";
    EXPECT_EQ(ts.GetStorageText(), "tablespace USERS");
    ts.pctfree = 10;
    ts.Storage = " (initial 1M)";
    EXPECT_EQ(ts.GetStorageText(), "pctfree 10\r\n   storage (initial 1M)\r\n   tablespace USERS");

    TTableSpace a, b;
    a.pctused = 5;
    b.maxtrans = 7;
    b.TableSpace = "T";
    TTableSpace::Merge(a, b);
    EXPECT_EQ(b.pctused, 5);
    EXPECT_EQ(a.maxtrans, 7);
    EXPECT_EQ(a.TableSpace, "");

    TTypeDirective d;
    EXPECT_EQ(d.GetText(), "");
    d.Overriding = true;
    EXPECT_EQ(d.GetText(), "OVERRIDING ");
    d.NotFinal = true;
    d.Instantiable = true;
    EXPECT_EQ(d.GetText(), "OVERRIDING NOT FINALINSTANTIABLE ");

    EXPECT_EQ(QualifiedName("", "T"), "T");
    EXPECT_EQ(QualifiedName("dbo", "T x"), "dbo.T x");
    int v = 0;
    EXPECT_TRUE(TryStrToInteger("-42", v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(TryStrToInteger("$FF", v));
    EXPECT_EQ(v, 255);
    EXPECT_FALSE(TryStrToInteger("12a", v));
    EXPECT_FALSE(TryStrToInteger("", v));
    EXPECT_FALSE(TryStrToInteger("99999999999", v));
    EXPECT_EQ(TCmpObjSetType::All().Bits(), 8388607u);
    EXPECT_STREQ(StatementKindNames[19], "Package");
}
