#include "core/qnlIBKeywords.h"
#include "core/qnlQuote.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace qnl;

namespace {

struct QuoteCase {
    TServerType type;
    std::string name, expected;
};

// InterBase/Firebird cases go through QuoteNameForServer with dialect 3 and Firebird 3.
std::string Quote(TServerType Type, const std::string& Name) {
    return QuoteNameForServer(Name, Type, st_Firebird_30, 3);
}

} // namespace

TEST(Quote, EachDialectsRules) {
    const QuoteCase cases[] = {
        // ASA: keywords come out upper-cased; lower case alone needs no quotes.
        {stASA, "order", "\"ORDER\""},
        {stASA, "Order", "\"ORDER\""},
        {stASA, "backup", "\"BACKUP\""},  // reserved-word list
        {stASA, "My Table", "\"My Table\""},
        {stASA, "customer", "customer"},
        {stASA, "@var#1", "@var#1"},
        {stASA, "1abc", "\"1abc\""},
        {stASA, "", ""},
        // MySQL: back-quotes for lower case and reserved words.
        {stMySQL, "Customer", "`Customer`"},
        {stMySQL, "CUSTOMER", "CUSTOMER"},
        {stMySQL, "SELECT", "`SELECT`"},
        {stMySQL, "select", "`select`"},
        {stMySQL, "FIELD", "`FIELD`"},
        {stMySQL, "TEXT", "TEXT"},  // a keyword of the conversion table, not reserved
        // DB2: upper-case names only; keywords quoted.
        {stDB2, "CUSTOMER", "CUSTOMER"},
        {stDB2, "Customer", "\"Customer\""},
        {stDB2, "_X", "\"_X\""},
        {stDB2, "TABLE", "\"TABLE\""},
        {stDB2, "A@B#1$", "A@B#1$"},
        {stDB2, "", ""},
        // MSSQL: brackets; operator and label tokens pass unchanged.
        {stMSSQL, "Order Details", "[Order Details]"},
        {stMSSQL, "customer", "customer"},
        {stMSSQL, "user", "[user]"},
        {stMSSQL, "DUMMY", "[DUMMY]"},  // only in the reserved-word list
        {stMSSQL, "#temp", "#temp"},
        {stMSSQL, "@x", "[@x]"},
        {stMSSQL, "<::>", "<::>"},
        {stMSSQL, "", ""},
        // Local SQL (both server types): keywords only.
        {stLocalSQL1, "order", "\"order\""},
        {stLocalSQL2, "COMMITED", "\"COMMITED\""},
        {stLocalSQL2, "Customer", "Customer"},
        // PostgreSQL: lower-case names only; keywords and operator tokens quoted.
        {stPostgreSQL, "customer", "customer"},
        {stPostgreSQL, "Customer", "\"Customer\""},
        {stPostgreSQL, "user", "\"user\""},
        {stPostgreSQL, "_a$1", "_a$1"},
        {stPostgreSQL, "1a", "\"1a\""},
        // Oracle: upper-case names only, no "@".
        {stOracle, "CUSTOMER", "CUSTOMER"},
        {stOracle, "customer", "\"customer\""},
        {stOracle, "NUMBER", "\"NUMBER\""},
        {stOracle, "A@B", "\"A@B\""},
        {stOracle, "A#B$_1", "A#B$_1"},
        // InterBase/Firebird dialect 3.
        {stInterBase, "Name", "\"Name\""},
        {stInterBase, "NAME", "NAME"},
        {stInterBase, "1A", "\"1A\""},
        {stInterBase, "A$1_", "A$1_"},
        {stInterBase, "TABLE", "\"TABLE\""},
        {stInterBase, "", ""},
        // No rules: nothing, ASE, the generic type.
        {stNone, "a b", "a b"},
        {stASE, "select", "select"},
        {stGeneric, "Name", "Name"},
    };
    for (const auto& c : cases) EXPECT_EQ(Quote(c.type, c.name), c.expected) << int(c.type) << " " << c.name;
}

// A quote character inside a name is doubled and such a name is always quoted, so the name can
// neither break the statement nor smuggle text into the script.
TEST(Quote, QuoteCharacterInsideNameIsDoubled) {
    const QuoteCase cases[] = {
        {stInterBase, "A\"B", "\"A\"\"B\""},
        {stInterBase, "X\" INTEGER); DROP TABLE T; --", "\"X\"\" INTEGER); DROP TABLE T; --\""},
        {stASA, "A\"B", "\"A\"\"B\""},
        {stMySQL, "A`B", "`A``B`"},
        {stMySQL, "`", "````"},
        {stDB2, "A\"B", "\"A\"\"B\""},
        {stMSSQL, "A]B", "[A]]B]"},
        {stMSSQL, "<x]; DROP TABLE t", "[<x]]; DROP TABLE t]"},
        {stMSSQL, "A[B", "[A[B]"},
        {stLocalSQL1, "A\"B", "\"A\"\"B\""},
        {stPostgreSQL, "a\"b", "\"a\"\"b\""},
        {stOracle, "A\"B", "\"A\"\"B\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Quote(c.type, c.name), c.expected) << int(c.type) << " " << c.name;
}

// MySQL and local SQL have no character rule of their own; a name that is not plain letters,
// digits, "_" and "$" would otherwise be written bare.
TEST(Quote, MySQLAndLocalSQLQuoteNamesWithOtherCharacters) {
    EXPECT_EQ(MySQLQuoteName("ORDER DETAILS"), "`ORDER DETAILS`");
    EXPECT_EQ(MySQLQuoteName("A;B"), "`A;B`");
    EXPECT_EQ(MySQLQuoteName("A_1$"), "A_1$");
    EXPECT_EQ(LocalSQLQuoteName("MY TABLE"), "\"MY TABLE\"");
    EXPECT_EQ(LocalSQLQuoteName("customer.db"), "\"customer.db\"");
    EXPECT_EQ(LocalSQLQuoteName("CUST_1"), "CUST_1");
}

TEST(Quote, InterBaseDialectsAndVersions) {
    // Dialects 1 and 2 have no quoted names at all.
    for (uint8_t dialect : {1, 2}) {
        for (const char* name : {"Name", "TABLE", "1A", "A B"})
            EXPECT_EQ(QuoteNameForServer(name, stInterBase, st_Firebird_30, dialect), name) << name;
    }
    struct Case {
        const char* name;
        TIBSQLServerVersionType version;
        bool quoted;
    } cases[] = {
        {"ACTION", st_InterBase_6x, true},  {"ACTION", st_Firebird_30, false},
        {"NAME", st_InterBase_2020, true},  {"NAME", st_Firebird_40, false}, {"NAME", st_InterBase_7x, false},
        {"DOMAIN", st_Firebird_25, true},   {"DOMAIN", st_Firebird_30, false},
        {"KEY", st_Firebird_30, false},     {"KEY", st_Firebird_40, true},
        {"BINARY", st_Firebird_30, false},  {"BINARY", st_Firebird_40, true},
        {"DESCRIBE", st_InterBase_4x, false}, {"DESCRIPTOR", st_Firebird_40, false},
        {"DESCRIPTOR", st_FireBird_1x, true},  // an extra word of that version
        {"TIME", st_InterBase_4x, false},   {"TIME", st_InterBase_6x, true},
        {"RESTRICT", st_InterBase_4x, false}, {"RESTRICT", st_InterBase_5x, true},
        {"WEEKDAY", st_InterBase_6x, true}, {"WEEKDAY", st_Yaffil_1x, false},
        {"OVER", st_Firebird_21, false},    {"OVER", st_Firebird_25, true},
        {"WITHOUT", st_Firebird_30, false}, {"WITHOUT", st_Firebird_40, true},
        {"USING", st_Firebird_30, true},    // not a reserved keyword, but an extra word
        {"RDB$DB_KEY", st_Firebird_30, true},
        // Reserved by Firebird 3 and 4 beyond the parser's keywords.
        {"START", st_Firebird_30, true},    {"START", st_Firebird_40, true},
        {"CONNECT", st_Firebird_30, true},  {"DISCONNECT", st_Firebird_40, true},
        {"INSENSITIVE", st_Firebird_30, true}, {"SENSITIVE", st_Firebird_30, true},
        {"RECURSIVE", st_Firebird_40, true},
        {"CUSTOMER", st_Firebird_30, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IBNeedQuote(c.name, c.version), c.quoted) << c.name << " version " << int(c.version);
        std::string expected = c.quoted ? std::string("\"") + c.name + "\"" : c.name;
        EXPECT_EQ(QuoteNameForServer(c.name, stInterBase, c.version, 3), expected) << c.name;
    }
    EXPECT_FALSE(IBNeedQuote("", st_Firebird_30));
    EXPECT_TRUE(IBNeedQuote("Name", st_Firebird_30));
}

TEST(Quote, GenericTypeQuotesByOption) {
    EXPECT_EQ(QuoteNameForOption("O'Brien", 2), "'O''Brien'");
    EXPECT_EQ(QuoteNameForOption("A\"B", 3), "\"A\"\"B\"");
    EXPECT_EQ(QuoteNameForOption("A]B", 4), "[A]]B]");
    EXPECT_EQ(QuoteNameForOption("Name", 0), "Name");
    EXPECT_EQ(QuoteNameForOption("Name", 5), "Name");
}

TEST(Quote, KeywordTokens) {
    EXPECT_EQ(GetMySQLKeywordToken("integer"), 30);
    EXPECT_EQ(GetMySQLKeywordToken("INT"), 30);
    EXPECT_EQ(GetMySQLKeywordToken("bit"), 100);
    // The introducer's entry is looked up by upper-cased words, so no name can hit it.
    EXPECT_EQ(GetMySQLKeywordToken("_<charset>"), 1);
    EXPECT_EQ(GetMySQLKeywordToken("customer"), 1);
    EXPECT_NE(GetASAKeywordToken("remame"), 1);
    EXPECT_NE(GetLocalSQLKeywordToken("iactive"), 1);
    EXPECT_NE(GetDB2KeywordToken("years"), 1);
    EXPECT_NE(GetMSSQLKeywordToken("end conversation"), 1);
    EXPECT_NE(GetPGKeywordToken("::"), 1);
    EXPECT_NE(GetOracleKeywordToken("varchar2"), 1);
    EXPECT_EQ(GetOracleKeywordToken("customer"), 1);
}

TEST(IBKeywords, TokenCodesAndReservedSets) {
    // Synonyms share a code; every other word has a code of its own in the keyword range.
    std::map<TIBToken, std::set<std::string_view>> byCode;
    for (const TIBKeyword& k : IBKeywords()) {
        EXPECT_GE(k.Token, 30) << k.Word;
        EXPECT_LE(k.Token, kwLastIBToken) << k.Word;
        byCode[k.Token].insert(k.Word);
    }
    const std::set<std::set<std::string_view>> synonyms = {
        {"INT", "INTEGER"}, {"CHAR", "CHARACTER"}, {"DEC", "DECIMAL"}, {"ASC", "ASCENDING"}, {"DESC", "DESCENDING"}};
    for (const auto& entry : byCode) {
        const auto& words = entry.second;
        if (words.size() > 1) {
            EXPECT_TRUE(synonyms.count(words)) << *words.begin();
        }
    }
    EXPECT_EQ(byCode.size(), IBKeywords().size() - synonyms.size());

    EXPECT_EQ(GetIBKeywordToken("integer", st_Firebird_30), kwINT);
    EXPECT_EQ(GetIBKeywordToken("Character", st_InterBase_4x), kwCHAR);
    EXPECT_EQ(GetIBKeywordToken("ascending", st_Firebird_25), kwASC);
    EXPECT_EQ(GetIBKeywordToken("ascending", st_Firebird_30), IBIdentToken);
    EXPECT_EQ(GetIBKeywordToken("CUSTOMER", st_Firebird_30), IBIdentToken);
    EXPECT_EQ(GetIBKeywordToken("START", st_Firebird_30), IBIdentToken);  // an extra word, not a keyword
    EXPECT_EQ(GetIBKeywordToken("_<charset>", st_Yaffil_1x), IBIdentToken);
    EXPECT_EQ(IBKeywords().back().Word, "_<charset>");
    EXPECT_EQ(IBKeywords().back().Token, kwCharsetIntroducer);
    for (int v = st_InterBase_4x; v <= st_InterBase_2020; ++v) {
        auto version = static_cast<TIBSQLServerVersionType>(v);
        EXPECT_FALSE(IBIsReserved(kwDESCRIBE, version)) << v;
        EXPECT_FALSE(IBIsReserved(kwDESCRIPTOR, version)) << v;
        EXPECT_TRUE(IBIsReserved(kwSELECT, version)) << v;
    }
    // The Firebird 4 set is Firebird 3's plus four words.
    TIBTokenSet diff = IBReservedTokens(st_Firebird_40) ^ IBReservedTokens(st_Firebird_30);
    EXPECT_EQ(diff.count(), 4u);
    for (TIBToken t : {kwBINARY, kwKEY, kwPRIVILEGES, kwVARBINARY}) EXPECT_TRUE(diff.test(t));

    EXPECT_EQ(IBExtraReservedWords(st_InterBase_4x).size(), 35u);
    EXPECT_EQ(IBExtraReservedWords(st_Firebird_20).size(), 60u);
    EXPECT_EQ(IBExtraReservedWords(st_Firebird_25).size(), 61u);
    EXPECT_TRUE(IBExtraReservedWords(st_Yaffil_1x).empty());
}
