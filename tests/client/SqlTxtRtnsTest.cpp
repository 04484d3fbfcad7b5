// Statement analysis and editing over SQL text: scanning past strings, names and comments,
// clause positions, table lists and aliases, and the exact texts of the editors.
#include "client/SqlTxtRtns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qnl;

namespace {

std::vector<std::string> Lines(const TStringList& List) {
    std::vector<std::string> r;
    for (int i = 0; i < List.Count(); ++i) r.push_back(List[i]);
    return r;
}

} // namespace

// --- Scanning ---

TEST(SqlScan, KeywordTest) {
    struct Case {
        const char* Text;
        int Pos;
        bool Hit;
    } cases[] = {
        {"SELECT A FROM(T)", 10, true},      // an opening bracket may follow
        {"SELECT A.FROM T", 10, false},      // a dot may not precede
        {"SELECT A\"FROM\"", 10, true},      // a double quote may precede and follow
        {"select a from t", 10, true},       // lower-case text
        {"SELECT A FROMS", 10, false},       // part of a longer word
        {"SELECT A FROM_", 10, false},
        {"SELECT A FROM", 10, true},         // at the end of the text
        {"SELECT A)FROM T", 10, true},
        {"SELECT A,FROM T", 10, false},
        {"FROM", 1, true},
        {"FRO", 1, false},
        {"FROM", 6, false},                  // past the end: nothing before it is read
    };
    for (const Case& c : cases) EXPECT_EQ(IsKeywordAt("FROM", c.Text, c.Pos), c.Hit) << c.Text;
    EXPECT_EQ(PosKeyword("where", "SELECT 1 FROM T\r\nWHERE(A=1)"), 18);
    EXPECT_EQ(PosKeyword("FIRST", "SELECT FIRSTNAME FROM T"), 0);
    EXPECT_EQ(PosKeyword("JOIN", "A.JOIN JOIN"), 8);
}

TEST(SqlScan, StatementKindAndStart) {
    struct Case {
        const char* Text;
        uint8_t Kind;
        int Start;
    } cases[] = {
        {"SELECT * FROM T", sqkSelect, 1},
        {"  merge into T using S on 1=1", sqkSelect, 3},
        {"update T set A=1", sqkUpdate, 1},
        {"UPDATE /* c */ OR INSERT INTO T (A) VALUES (1)", sqkUpdateOrInsert, 1},
        {"DELETE FROM T", sqkDelete, 1},
        {"insert into T values (1)", sqkInsert, 1},
        {"EXECUTE\r\n PROCEDURE P", sqkExecProc, 1},
        {"execute block as begin end", sqkExecBlock, 1},
        {"EXECUTE STATEMENT 'x'", sqkOther, 1},
        {"CREATE TABLE T (A INT)", sqkDDL, 1},
        {"comment on table T is 'x'", sqkDDL, 1},
        {"SET GENERATOR G TO 5", sqkDDL, 1},
        {"SET TERM ^", sqkOther, 1},
        {"SET", sqkOther, 1},   // the GENERATOR test looks past the end of the text
        {"GRANT SELECT ON T TO U", sqkDDL, 1},
        {"RECREATE VIEW V AS SELECT 1 FROM T", sqkDDL, 1},
        {"-- note\r\nSELECT 1 FROM T", sqkSelect, 10},
        {"-- note\nSELECT 1 FROM T", sqkSelect, 9},
        {"/* note */ SELECT 1 FROM T", sqkSelect, 12},
        {"/* note */SELECT 1 FROM T", sqkOther, 11},   // no blank after the comment
        {"(SELECT 1 FROM T)", sqkOther, 2},   // "(" may not stand before a keyword
        {"-SELECT", sqkOther, 1},
        {"/SELECT", sqkOther, 1},
        {"WITH X AS (SELECT 1 A FROM T) SELECT A FROM X", sqkOther, 1},
        {"", sqkOther, 1},
    };
    for (const Case& c : cases) {
        TSQLParser parser(c.Text);
        EXPECT_EQ(parser.StatementKind(), c.Kind) << c.Text;
        EXPECT_EQ(parser.StartPos(), c.Start) << c.Text;
        EXPECT_EQ(parser.NotDDL(), c.Kind != sqkDDL) << c.Text;
    }
}

TEST(SqlScan, KeywordsInStringsNamesAndCommentsAreNotSeen) {
    struct Case {
        const char* Text;
        int FromPos;
    } cases[] = {
        {"SELECT 'FROM' FROM T", 15},
        {"SELECT \"FROM\" FROM T", 15},
        {"SELECT /* FROM */ A FROM T", 21},
        {"SELECT -- FROM\r\nA FROM T", 19},
        {"SELECT -- FROM\nA FROM T", 18},           // a line feed alone ends the comment
        {"SELECT EXTRACT(YEAR FROM D) FROM T", 29},  // inside brackets
        {"SELECT 'it''s FROM' FROM T", 21},
        // Firebird 3's Q strings hold quotes: their text ends at the partner of the opening character.
        {"SELECT q'{it's FROM}' FROM T", 23},
        {"SELECT Q'(it's)' A, Q'!x'!' B FROM T", 31},
        {"SELECT Q'<'>' FROM T", 15},
        {"SELECT 'a' || aq'x' FROM T", 21},  // AQ is a name before a plain string
        {"SELECT A FROM", 10},
        {"SELECT 1", 0},
    };
    for (const Case& c : cases) {
        TSQLParser parser(c.Text);
        int fromPos = -1, endPos = -1;
        parser.GetFromClausePos(fromPos, endPos);
        EXPECT_EQ(fromPos, c.FromPos) << c.Text;
    }
}

TEST(SqlScan, FromClauseEnd) {
    struct Case {
        const char* Text;
        int EndPos;
    } cases[] = {
        {"SELECT * FROM T WHERE A=1", 16},    // the blank before WHERE
        {"SELECT * FROM T", 15},
        {"SELECT * FROM T\r\nORDER BY A", 17},
        {"SELECT * FROM T ROWS 10", 16},
        {"SELECT * FROM T WITH LOCK", 16},
        {"SELECT * FROM T WITHX", 21},
        {"SELECT * FROM T X WHERE X.A IN (SELECT B FROM U WHERE C=1)", 18},
        {"SELECT A FROM T/* c */WHERE A = 1", 22},   // the comment ends the list
    };
    for (const Case& c : cases) {
        TSQLParser parser(c.Text);
        int fromPos = 0, endPos = 0;
        parser.GetFromClausePos(fromPos, endPos);
        EXPECT_EQ(endPos, c.EndPos) << c.Text;
    }
}

TEST(SqlScan, WhereCountAndMainWhere) {
    struct Case {
        const char* Text;
        int Count;
        int Main;
    } cases[] = {
        {"SELECT (SELECT MAX(B) FROM U WHERE U.A = T.A) FROM T WHERE T.C = 1", 2, 2},
        {"SELECT (SELECT MAX(B) FROM U WHERE U.A = T.A) FROM T", 1, -1},
        {"SELECT * FROM T", 0, -1},
        {"SELECT * FROM T WHERE A = 'WHERE'", 1, 1},
        {"SELECT * FROM T -- a /* comment\r\nWHERE A = 1", 1, 1},
        {"SELECT * FROM T -- a /* comment\nWHERE A = 1", 1, 1},
        {"SELECT * FROM T /* WHERE */", 0, -1},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C = 1)", 2, 1},
        {"SELECT A FROM T/* c */WHERE A = 1", 1, 1},   // a comment touching the keyword
        {"SELECT A FROM T/**/WHERE A IN (SELECT B FROM U/**/WHERE C = 1)", 2, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WhereCount(c.Text), c.Count) << c.Text;
        EXPECT_EQ(MainWhereIndex(c.Text), c.Main) << c.Text;
    }
}

TEST(SqlScan, WhereClauseText) {
    struct Case {
        const char* Text;
        int N;
        int Start;
        int End;
        const char* Where;
    } cases[] = {
        {"SELECT * FROM T WHERE A = 1", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1\r\nORDER BY B", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1 GROUP BY A", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1 ROWS 5", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1 FOR UPDATE", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1 WITH LOCK", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C = 1) AND D = 2", 2, 45, 55, "C = 1"},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C = 1)", 2, 45, 55, "C = 1"},   // ")" last
        {"SELECT * FROM T WHERE A = 1 -- note", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 1 /* note */\r\n", 1, 17, 27, "A = 1"},
        {"SELECT * FROM T WHERE A = 'x;'", 1, 17, 30, "A = 'x;'"},
        {"SELECT * FROM T WHERE\r\n  A = 1;", 1, 17, 30, "A = 1"},
        {"SELECT * FROM T/**/WHERE A = 1/* c */ORDER BY B", 1, 20, 30, "A = 1"},
    };
    for (const Case& c : cases) {
        int start = 0, end = 0;
        std::string where;
        GetWhereClause(c.Text, c.N, start, end, where);
        EXPECT_EQ(start, c.Start) << c.Text;
        EXPECT_EQ(end, c.End) << c.Text;
        EXPECT_EQ(where, c.Where) << c.Text;
    }
    int start = 0, end = 0;
    std::string where;
    GetWhereClause("SELECT * FROM T WHERE A = 'open", 1, start, end, where);
    EXPECT_EQ(start, 0);   // the text ends inside a string
    GetWhereClause("SELECT * FROM T", 1, start, end, where);
    EXPECT_EQ(start, 0);
}

TEST(SqlScan, PlanClause) {
    struct Case {
        const char* Text;
        int Main;
        const char* Plan;
    } cases[] = {
        {"SELECT * FROM T PLAN (T NATURAL)", 1, "(T NATURAL)"},
        {"SELECT * FROM T PLAN (T NATURAL)\r\nORDER BY A", 1, "(T NATURAL)"},
        {"SELECT * FROM T PLAN  (T ORDER T_PK)  \r\nORDER BY A", 1, "(T ORDER T_PK)"},
        {"SELECT * FROM T PLAN (T NATURAL) ROWS 5", 1, "(T NATURAL)"},
        {"SELECT * FROM T PLAN (T NATURAL) -- plan", 1, "(T NATURAL)"},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U PLAN (U NATURAL)) PLAN (T NATURAL)", 2, "(T NATURAL)"},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U PLAN (U NATURAL))", -1, ""},
        {"SELECT * FROM T", -1, ""},
    };
    for (const Case& c : cases) {
        TSQLParser parser(c.Text);
        EXPECT_EQ(parser.MainPlanIndex(), c.Main) << c.Text;
        int start = 0, end = 0;
        std::string plan;
        parser.GetPlanClause(start, end, plan);
        EXPECT_EQ(plan, c.Plan) << c.Text;
        if (*c.Plan) {
            EXPECT_EQ(std::string(c.Text).substr(static_cast<size_t>(start - 1), plan.size()), plan);
        }
    }
    // The sub-query's own plan ends at its closing bracket.
    TSQLParser parser("SELECT * FROM T WHERE A IN (SELECT B FROM U PLAN (U NATURAL))");
    int start = 0, end = 0;
    std::string plan;
    parser.GetPlanClauseN(1, start, end, plan);
    EXPECT_EQ(plan, "(U NATURAL)");
}

TEST(SqlScan, OrderByPosition) {
    struct Case {
        const char* Text;
        int OrderPos;
        int EndPos;
        const char* Order;
    } cases[] = {
        {"SELECT * FROM T ORDER BY A, B DESC", 17, 34, " A, B DESC"},
        {"SELECT * FROM T\r\norder by A", 18, 27, " A"},
        {"SELECT * FROM T ORDER BY A ROWS 1 TO 10", 17, 26, " A"},
        {"SELECT * FROM T ORDER BY A DESC FOR UPDATE", 17, 31, " A DESC"},
        {"SELECT * FROM T ORDER BY A /* x */ WITH LOCK", 17, 26, " A"},
        {"SELECT * FROM T ORDER BY A OFFSET 5 ROWS FETCH NEXT 5 ROWS ONLY", 17, 26, " A"},
        {"SELECT * FROM T ORDER BY A OFFSET (2 + 3) ROWS", 17, 26, " A"},
        {"SELECT * FROM T ORDER BY OFFSET", 17, 31, " OFFSET"},   // a field called OFFSET
        {"SELECT * FROM T ORDER BY OFFSET, B", 17, 34, " OFFSET, B"},
        {"SELECT * FROM (SELECT A FROM T ORDER BY A ROWS 1) X", 0, 0, ""},
        {"SELECT LIST(A) OVER (ORDER BY B) FROM T", 0, 0, ""},
        {"SELECT * FROM T/* c */ORDER/* c */BY A", 23, 38, " A"},
    };
    for (const Case& c : cases) {
        int orderPos = -1, endPos = -1;
        std::string order;
        GetOrderByPos(c.Text, orderPos, endPos, order);
        EXPECT_EQ(orderPos, c.OrderPos) << c.Text;
        EXPECT_EQ(endPos, c.EndPos) << c.Text;
        EXPECT_EQ(order, c.Order) << c.Text;
    }
}

TEST(SqlScan, AnswersDoNotDependOnEarlierQuestions) {
    const char* text = "SELECT (SELECT MAX(X) FROM U WHERE U.A = 1) FROM T WHERE B = 2 ORDER BY C";
    TSQLParser parser(text);
    int start = 0, end = 0;
    std::string where;
    parser.GetWhereClause(1, start, end, where);   // the sub-query's WHERE
    EXPECT_EQ(where, "U.A = 1");
    int orderPos = 0, orderEnd = 0;
    std::string order;
    parser.GetOrderByPos(orderPos, orderEnd, order);
    EXPECT_EQ(orderPos, 64);
    EXPECT_EQ(parser.MainWhereIndex(), 2);
    int fromPos = 0, fromEnd = 0;
    parser.GetFromClausePos(fromPos, fromEnd);
    EXPECT_EQ(fromPos, 45);
    EXPECT_EQ(parser.WhereCount(), 2);
    parser.GetWhereClause(2, start, end, where);
    EXPECT_EQ(where, "B = 2");
    EXPECT_EQ(parser.WhereCount(), 2);
}

// --- Tables ---

TEST(SqlTables, ModifiedAndMainTable) {
    struct Case {
        const char* Text;
        const char* Modified;
        const char* Main;
        const char* MainAsIs;
    } cases[] = {
        {"UPDATE T1 A SET F = 1", "T1 A", "T1", "T1 A"},
        {"update t1 set f = 1", "t1", "T1", "t1"},
        {"UPDATE \"My Table\" SET F = 1", "\"My Table\"", "My Table", "\"My Table\""},
        {"INSERT T1 VALUES (1)", "Unknown", "UNKNOWN", "Unknown"},
        {"INSERT INTO T1 (A) VALUES (1)", "T1", "T1", "T1"},
        {"INSERT INTO T1(A) VALUES (1)", "T1", "T1", "T1"},
        {"DELETE FROM T1 X WHERE X.A = 1", "T1 X", "T1", "T1 X"},
        {"DELETE FROM T1 WHERE A = 1", "T1", "T1", "T1"},
        {"DELETE FROM /* c */ t1\r\nwhere A = 1", "t1", "T1", "t1"},
        {"UPDATE OR INSERT INTO T1 (A) VALUES (1) MATCHING (A)", "T1", "T1", "T1"},
        {"SELECT * FROM T1", "", "", ""},
    };
    for (const Case& c : cases) {
        TSQLParser parser(c.Text);
        EXPECT_EQ(parser.GetModifiedTableName(), c.Modified) << c.Text;
        EXPECT_EQ(GetMainTableName(c.Text, false), c.Main) << c.Text;
        EXPECT_EQ(GetMainTableName(c.Text, true), c.MainAsIs) << c.Text;
    }
}

TEST(SqlTables, TableLists) {
    struct Case {
        const char* Text;
        bool Keep;
        std::vector<std::string> Tables;
    } cases[] = {
        {"select * from t1 a, t2 b where a.x = b.x", true, {"T1 A", "T2 B"}},
        {"SELECT * FROM T1 A LEFT OUTER JOIN T2 B ON A.X = B.X JOIN T3 ON T3.Y = B.Y WHERE 1=1", true,
         {"T1 A", "T2 B", "T3"}},
        {"SELECT * FROM T1 A JOIN T2 B ON A.X = B.X AND A.Y IN (1, 2) JOIN T3 C ON C.Z = B.Z", true,
         {"T1 A", "T2 B", "T3 C"}},
        {"SELECT * FROM T1, PROC_X(1, 2)", true, {"T1", "PROC_X"}},
        {"SELECT * FROM T1, PROC_X(1, 2)", false, {"T1"}},
        {"SELECT * FROM PROC_X(1) P, T1", false, {"T1"}},
        {"SELECT * FROM T1 AS A /* c */, -- line\r\n \"My Table\" m", true, {"T1 AS A", "\"My Table\" M"}},
        {"SELECT * FROM t1 \"Alias\"", true, {"T1 \"Alias\""}},
        {"SELECT * FROM T1 -- note", true, {"T1"}},
        {"SELECT 1", true, {}},
        // Every kind of join separates two entries; its words and conditions are no alias.
        {"SELECT * FROM T1 A CROSS JOIN T2 B", true, {"T1 A", "T2 B"}},
        {"SELECT * FROM T1 NATURAL JOIN T2", true, {"T1", "T2"}},
        {"SELECT * FROM T1 A NATURAL LEFT OUTER JOIN T2 B", true, {"T1 A", "T2 B"}},
        {"SELECT * FROM T1 A JOIN T2 B USING (X, Y) FULL JOIN T3 C ON C.X = A.X", false, {"T1 A", "T2 B", "T3 C"}},
        {"SELECT * FROM T1 A LEFT JOIN T2 B ON LEFT(A.X, 2) = B.X", true, {"T1 A", "T2 B"}},   // LEFT()
        // JOIN and ON inside quoted names, commas and brackets inside literals and names.
        {"SELECT * FROM \"Join Table\" J JOIN \"On Hand\" H ON H.ID = J.ID AND H.NOTE <> 'a, b', T3", true,
         {"\"Join Table\" J", "\"On Hand\" H", "T3"}},
        {"SELECT * FROM P(')') X, T1 Y", true, {"P X", "T1 Y"}},
        {"SELECT * FROM P(')') X, T1 Y", false, {"T1 Y"}},
        {"SELECT * FROM \"Odd (Name), Too\" O", false, {"\"Odd (Name), Too\" O"}},
        {"SELECT * FROM T1 A/* c */WHERE A.X = 1", true, {"T1 A"}},
    };
    for (const Case& c : cases) {
        TStringList list;
        GetSelectTableNames(c.Text, list, c.Keep, true);
        EXPECT_EQ(Lines(list), c.Tables) << c.Text;
    }
    TStringList list;
    GetSelectTableNames("SELECT * FROM T1 A, T2 AS B", list, true, false);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"T1", "T2"}));
    GetTableNames("UPDATE T1 A SET X = 1", list, true, true);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"T1 A"}));
    GetTableNames("SELECT * FROM T1 A", list, true, false);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"T1"}));
}

TEST(SqlTables, EntryParts) {
    struct Case {
        const char* Entry;
        const char* Table;
        const char* Alias;
    } cases[] = {
        {"T1 A", "T1", "A"},
        {"T1 AS A", "T1", "A"},
        {"T1 as A", "T1", "A"},
        {"T1 ASSETS", "T1", "ASSETS"},
        {"T1", "T1", "T1"},
        {"\"My Table\" M", "\"My Table\"", "M"},
        {"\"My Table\"", "\"My Table\"", "\"My Table\""},
        {"T1   B", "T1", "B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractTableName(c.Entry, 0), c.Table) << c.Entry;
        EXPECT_EQ(ExtractTableAlias(c.Entry, 0), c.Alias) << c.Entry;
    }
    EXPECT_EQ(TableAliasPos("T1   B"), 6);
    EXPECT_EQ(TableAliasPos("T1"), 0);
}

TEST(SqlTables, SameIdentifiers) {
    struct Case {
        const char* A;
        const char* B;
        bool Same;
    } cases[] = {
        {"", "X", true},          {"X", "", true},          {"abc", "ABC", true},     {"\"ABC\"", "abc", true},
        {"\"abc\"", "abc", false}, {"\"abc\"", "\"abc\"", true}, {"\"abc\"", "\"ABC\"", false},
        {"abc", "\"ABC\"", true}, {"abc", "\"abc\"", true},  {"abc", "\"Abc\"", false}, {"A", "B", false},
    };
    for (const Case& c : cases) EXPECT_EQ(SameIdentifiers(c.A, c.B), c.Same) << c.A << " / " << c.B;
}

TEST(SqlTables, AliasesAndTables) {
    const char* sql = "SELECT * FROM CUSTOMER C JOIN \"Orders\" O ON O.CUST = C.ID, PROJECT";
    EXPECT_EQ(AliasByTableName(sql, "customer"), "C");
    EXPECT_EQ(AliasByTableName(sql, "\"Orders\""), "O");
    EXPECT_EQ(AliasByTableName(sql, "PROJECT"), "PROJECT");
    EXPECT_EQ(AliasByTableName(sql, "MISSING"), "MISSING");
    EXPECT_EQ(TableByAlias(sql, "c"), "CUSTOMER");
    EXPECT_EQ(TableByAlias(sql, "O"), "\"Orders\"");
    EXPECT_EQ(TableByAlias(sql, "PROJECT"), "PROJECT");
    EXPECT_EQ(TableByAlias(sql, "CUSTOMER"), "CUSTOMER");   // a table named like itself
    EXPECT_EQ(TableByAlias(sql, "Z"), "");
    EXPECT_EQ(AliasFieldToTableField(sql, "c.name"), "CUSTOMER.NAME");
    EXPECT_EQ(AliasFieldToTableField(sql, "O.\"Total\""), "Orders.Total");
    EXPECT_EQ(AliasFieldToTableField(sql, "Z.NAME"), "Z.NAME");
    EXPECT_EQ(AliasFieldToTableField(sql, "NAME"), "NAME");

    const char* cross = "SELECT * FROM CUSTOMER C CROSS JOIN \"Orders\" O, T3 USING_IT";
    EXPECT_EQ(TableByAlias(cross, "C"), "CUSTOMER");
    EXPECT_EQ(AliasByTableName(cross, "\"Orders\""), "O");
    EXPECT_EQ(AliasByTableName(cross, "T3"), "USING_IT");
}

// --- Small routines ---

TEST(SqlText, StripComments) {
    struct Case {
        const char* Text;
        const char* Stripped;
    } cases[] = {
        {"A/* x */B", "A B"},
        {"A-- x\r\nB", "A B"},
        {"A-- x\nB", "A B"},               // a line feed alone ends the comment
        {"A-- x\rB", "A B"},
        {"A -- x", "A "},                  // an unterminated comment drops the rest
        {"A /* x", "A "},
        {"'--' \"/*\" x", "'--' \"/*\" x"},
        {"'it''s' -- x\r\nB", "'it''s'  B"},
        {"q'{it's -- x}' -- y\nB", "q'{it's -- x}'  B"},
        {"Q'[/*]' /* x */B", "Q'[/*]'  B"},
        {"A - B / C", "A - B / C"},
    };
    for (const Case& c : cases) EXPECT_EQ(StripComments(c.Text), c.Stripped) << c.Text;
}

TEST(SqlText, SplitMacro) {
    struct Case {
        const char* Text;
        const char* Name;
        const char* Default;
    } cases[] = {
        {"@MACRO%1=1", "@MACRO", "1=1"},
        {"MACRO%x", "@MACRO", "x"},
        {"@MACRO", "@MACRO", "(unchanged)"},
        {"@M%", "@M", ""},
    };
    for (const Case& c : cases) {
        std::string def = "(unchanged)", name;
        SplitMacro(c.Text, '@', def, name);
        EXPECT_EQ(name, c.Name) << c.Text;
        EXPECT_EQ(def, c.Default) << c.Text;
    }
}

TEST(SqlText, CharSetNames) {
    EXPECT_STREQ(CharSetNames[0], "NONE");
    EXPECT_STREQ(CharSetNames[4], "UTF8");
    EXPECT_STREQ(CharSetNames[21], "ISO8859_1");
    EXPECT_STREQ(CharSetNames[33], "UNKNOWN");
    EXPECT_STREQ(CharSetNames[34], "ISO8859_4");
    EXPECT_STREQ(CharSetNames[52], "WIN1251");
    EXPECT_STREQ(CharSetNames[60], "WIN1257");
}

TEST(SqlText, OrderFields) {
    Variant fields;
    GetOrderFields("SELECT * FROM T ORDER BY a.name DESC, \"Qty\" NULLS FIRST, c collate UNICODE ASC, d -- x\r\n "
                   "ROWS 10",
                   false, fields);
    ASSERT_TRUE(fields.IsArray());
    ASSERT_EQ(fields.HighBound(1), 3);
    ASSERT_EQ(fields.HighBound(2), 2);
    auto at = [&](int Row, int Col) { return fields.GetElement({Row, Col}); };
    EXPECT_EQ(at(0, 0).AsString(), "A.NAME");
    EXPECT_FALSE(at(0, 1).AsBoolean());
    EXPECT_FALSE(at(0, 2).AsBoolean());
    EXPECT_EQ(at(1, 0).AsString(), "\"Qty\"");
    EXPECT_TRUE(at(1, 1).AsBoolean());
    EXPECT_TRUE(at(1, 2).AsBoolean());
    EXPECT_EQ(at(2, 0).AsString(), "c");
    EXPECT_TRUE(at(2, 1).AsBoolean());
    EXPECT_EQ(at(3, 0).AsString(), "d");
    GetOrderFields("SELECT * FROM T ORDER BY A NULLS LAST", true, fields);
    EXPECT_FALSE(fields.GetElement({0, 2}).AsBoolean());
    GetOrderFields("SELECT * FROM T ORDER BY A", true, fields);
    EXPECT_TRUE(fields.GetElement({0, 2}).AsBoolean());
    GetOrderFields("SELECT * FROM T", true, fields);
    EXPECT_TRUE(fields.IsNull());
}

namespace {

// The ORDER BY items as "field asc|desc" (NULLS handling left out).
std::vector<std::string> OrderItems(const std::string& Sql) {
    Variant fields;
    GetOrderFields(Sql, false, fields);
    std::vector<std::string> items;
    if (!fields.IsArray()) return items;
    for (int row = 0; row <= fields.HighBound(1); ++row)
        items.push_back(fields.GetElement({row, 0}).AsString() + (fields.GetElement({row, 1}).AsBoolean() ? " asc" : " desc"));
    return items;
}

} // namespace

TEST(SqlText, OrderFieldsRespectBracketsAndQuotes) {
    struct Case {
        const char* Order;
        std::vector<std::string> Items;
    } cases[] = {
        {"COALESCE(A, B) DESC, C", {"COALESCE(A, B) desc", "C asc"}},
        {"\"Last, First\", \"DESC\"", {"\"Last, First\" asc", "\"DESC\" asc"}},
        {"\"DESC\" DESC", {"\"DESC\" desc"}},
        {"t.\"a.b\" desc", {"T.\"a.b\" desc"}},
        {"a.x + b.y", {"A.X + B.Y asc"}},
        {"SUBSTRING(NAME FROM 1 FOR 3) COLLATE UNICODE", {"SUBSTRING(NAME FROM 1 FOR 3) asc"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OrderItems(std::string("SELECT * FROM T ORDER BY ") + c.Order), c.Items) << c.Order;
}

TEST(SqlText, FieldNameForParam) {
    struct Case {
        const char* Text;
        const char* Param;
        const char* Field;
    } cases[] = {
        {"SELECT * FROM T WHERE T.ID = :ID", "ID", "ID"},
        {"SELECT * FROM T WHERE T.ID=:id", "ID", "ID"},
        {"SELECT * FROM T WHERE (A.CODE >= :LOW) AND B < :HIGH", "HIGH", "B"},
        {"SELECT * FROM T WHERE A.CODE >= :LOW", "LOW", "CODE"},
        {"SELECT * FROM T WHERE NAME = :\"Mixed\"", "Mixed", "NAME"},
        {"SELECT * FROM T WHERE A.NAME = ?NAME", "NAME", "A.NAME"},
        {"SELECT * FROM T WHERE X = :IDX", "ID", ""},
        {"SELECT * FROM T WHERE :ID = X", "ID", ""},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE U.C = :P)", "P", "C"},
        {"SELECT * FROM T", "ID", ""},
        // The field, not a word next to the parameter; nothing where no field is compared.
        {"SELECT * FROM T WHERE \"Unit Price\" = :P", "P", "\"Unit Price\""},
        {"SELECT * FROM T WHERE O.\"Unit Price\" = ?P", "P", "O.\"Unit Price\""},
        {"SELECT * FROM T WHERE A BETWEEN :LO AND :HI", "LO", "A"},
        {"SELECT * FROM T WHERE A NOT BETWEEN :LO AND :HI", "HI", "A"},
        {"SELECT * FROM T WHERE X.A IN (:P1, :P2)", "P2", "A"},
        {"SELECT * FROM T WHERE A NOT LIKE :P", "P", "A"},
        {"SELECT * FROM T WHERE A STARTING WITH :P", "P", "A"},
        {"SELECT * FROM T WHERE A IS NOT DISTINCT FROM :P", "P", "A"},
        {"SELECT * FROM T WHERE UPPER(NAME) = UPPER(:N)", "N", ""},
        {"SELECT * FROM T WHERE A = 1 AND :P = 1", "P", ""},
        {"SELECT * FROM T WHERE A = ':P' -- B = :P\r\n AND C = :P", "P", "C"},
    };
    for (const Case& c : cases) EXPECT_EQ(FieldNameForParam(c.Text, c.Param), c.Field) << c.Text;
}

// The answers for realistic SELECTs (each also prepares on a real database, with every edit, in
// the live tests): tables with aliases, ORDER BY items, and the field each parameter is compared
// with.
TEST(SqlText, AnswersForRealisticSelects) {
    struct Case {
        const char* Sql;
        std::vector<std::string> Tables;
        std::vector<std::string> Order;
        std::vector<std::pair<std::string, std::string>> Params;
    } cases[] = {
        {"SELECT C.NAME, O.TOTAL FROM CUSTOMER C CROSS JOIN ORDERS O WHERE O.CUST_ID = C.ID AND O.TOTAL >= :MIN_TOTAL "
         "ORDER BY C.NAME, O.TOTAL DESC",
         {"CUSTOMER C", "ORDERS O"}, {"C.NAME asc", "O.TOTAL desc"}, {{"MIN_TOTAL", "TOTAL"}}},
        {"SELECT NAME, TOTAL FROM CUSTOMER NATURAL JOIN ORDERS WHERE TOTAL BETWEEN :LO AND :HI",
         {"CUSTOMER", "ORDERS"}, {}, {{"LO", "TOTAL"}, {"HI", "TOTAL"}}},
        {"SELECT O.ID, I.QTY FROM ORDERS O JOIN ITEMS I USING (ID) WHERE I.QTY IN (:Q1, :Q2) ORDER BY 1",
         {"ORDERS O", "ITEMS I"}, {"1 asc"}, {{"Q1", "QTY"}, {"Q2", "QTY"}}},
        {"SELECT J.ID, H.QTY, J.\"Last, First\" FROM \"Join Table\" J\r\n"
         "  LEFT OUTER JOIN \"On Hand\" H ON H.ID = J.ID AND H.NOTE <> 'a, b'\r\n"
         "WHERE J.\"Unit Price\" > :PRICE\r\nORDER BY J.\"Last, First\", COALESCE(J.\"DESC\", 0) DESC NULLS LAST",
         {"\"Join Table\" J", "\"On Hand\" H"}, {"J.\"Last, First\" asc", "COALESCE(J.\"DESC\", 0) desc"},
         {{"PRICE", "\"Unit Price\""}}},
        {"SELECT P.V FROM GET_TEXT(')') P, CUSTOMER C WHERE C.NAME STARTING WITH :PREFIX AND UPPER(P.V) = UPPER(:V)",
         {"GET_TEXT P", "CUSTOMER C"}, {}, {{"PREFIX", "NAME"}, {"V", ""}}},
        {"SELECT C.ID FROM CUSTOMER C/* all */WHERE C.ID > :ID/* positive */ORDER BY C.ID", {"CUSTOMER C"}, {"C.ID asc"},
         {{"ID", "ID"}}},
        {"WITH BIG AS (SELECT CUST_ID, SUM(TOTAL) AS S FROM ORDERS GROUP BY CUST_ID)\r\n"
         "SELECT C.NAME, B.S FROM CUSTOMER C JOIN BIG B ON B.CUST_ID = C.ID WHERE B.S > :S ORDER BY B.S DESC",
         {"CUSTOMER C", "BIG B"}, {"B.S desc"}, {{"S", "S"}}},
        {"SELECT ID FROM CUSTOMER WHERE NAME LIKE :MASK UNION SELECT CUST_ID FROM ORDERS ORDER BY 1 DESC", {"CUSTOMER"},
         {"1 desc"}, {{"MASK", "NAME"}}},
        {"SELECT MAX(O.TOTAL) FROM ORDERS O WHERE O.CUST_ID = :CUST", {"ORDERS O"}, {}, {{"CUST", "CUST_ID"}}},
        {"SELECT * FROM \"Join Table\" ORDER BY \"DESC\"", {"\"Join Table\""}, {"\"DESC\" asc"}, {}},
    };
    for (const Case& c : cases) {
        TStringList tables;
        GetSelectTableNames(c.Sql, tables, true, true);
        EXPECT_EQ(Lines(tables), c.Tables) << c.Sql;
        EXPECT_EQ(OrderItems(c.Sql), c.Order) << c.Sql;
        for (const auto& [param, field] : c.Params) EXPECT_EQ(FieldNameForParam(c.Sql, param), field) << c.Sql << " :" << param;
    }
}

// --- Editing ---

TEST(SqlEdit, CountSelect) {
    struct Case {
        const char* Text;
        const char* Count;
    } cases[] = {
        {"SELECT A, B FROM T", "Select Count(*) FROM T"},
        {"SELECT A, B FROM T WHERE A = 1 ORDER BY B", "Select Count(*) FROM T \r\n WHERE A = 1"},
        {"SELECT A FROM T X JOIN U Y ON X.A = Y.A WHERE (SELECT COUNT(*) FROM V WHERE V.A = X.A) > 0 PLAN (X NATURAL)",
         "Select Count(*) FROM T X JOIN U Y ON X.A = Y.A \r\n WHERE (SELECT COUNT(*) FROM V WHERE V.A = X.A) > 0"},
        {"SELECT (SELECT MAX(B) FROM U WHERE U.A = T.A) FROM T", "Select Count(*) FROM T"},
        {"UPDATE T SET A = 1", ""},
        {"SELECT 1", ""},
        {"SELECT EXTRACT(YEAR FROM D)", ""},
        {"SELECT A, COUNT(*) FROM T GROUP BY A ORDER BY 2", "Select Count(*) FROM (\r\nSELECT A, COUNT(*) FROM T GROUP BY A \r\n) Q (C1, C2)"},
        {"SELECT DISTINCT A FROM T", "Select Count(*) FROM (\r\nSELECT DISTINCT A FROM T\r\n) Q (C1)"},
        {"SELECT A FROM T UNION SELECT B FROM U", "Select Count(*) FROM (\r\nSELECT A FROM T UNION SELECT B FROM U\r\n) Q (C1)"},
        {"SELECT FIRST 5 A FROM T", "Select Count(*) FROM (\r\nSELECT FIRST 5 A FROM T\r\n) Q (C1)"},
        {"SELECT A FROM T ORDER BY A ROWS 5", "Select Count(*) FROM (\r\nSELECT A FROM T  ROWS 5\r\n) Q (C1)"},
        {"SELECT DISTINCT A * 2, 'x,y', F(B, C) FROM T", "Select Count(*) FROM (\r\nSELECT DISTINCT A * 2, 'x,y', F(B, C) FROM T\r\n) Q (C1, C2, C3)"},
        {"SELECT DISTINCT T.* FROM T", "Select Count(*) FROM (\r\nSELECT DISTINCT T.* FROM T\r\n)"},
        {"SELECT FIRST (2) SKIP :S * FROM T", "Select Count(*) FROM (\r\nSELECT FIRST (2) SKIP :S * FROM T\r\n)"},
        {"SELECT A FROM T -- note", "Select Count(*) FROM T -- note"},
        {"SELECT A FROM T/* c */WHERE A = 1", "Select Count(*) FROM T/* c */\r\n WHERE A = 1"},
        // One row per group, and one row in all without GROUP BY.
        {"SELECT MAX(ID) FROM T", "Select Count(*) FROM (\r\nSELECT MAX(ID) FROM T\r\n) Q (C1)"},
        {"SELECT COALESCE(SUM(A), 0), 'MAX(' FROM T", "Select Count(*) FROM (\r\nSELECT COALESCE(SUM(A), 0), 'MAX(' FROM T\r\n) Q (C1, C2)"},
        {"WITH X AS (SELECT A FROM T) SELECT A, B FROM X ORDER BY A",
         "Select Count(*) FROM (\r\nWITH X AS (SELECT A FROM T) SELECT A, B FROM X \r\n) Q (C1, C2)"},
    };
    for (const Case& c : cases) EXPECT_EQ(CountSelect(c.Text), c.Count) << c.Text;
}

TEST(SqlEdit, AddFirstClause) {
    struct Case {
        const char* Text;
        const char* Result;
    } cases[] = {
        {"SELECT * FROM T", "SELECT FIRST 10  * FROM T"},
        {"  select a from t", "  select FIRST 10  a from t"},
        {"SELECT FIRSTNAME, FIRST_X FROM T", "SELECT FIRST 10  FIRSTNAME, FIRST_X FROM T"},
        {"SELECT FIRST 5 * FROM T", "SELECT FIRST 5 * FROM T"},
        {"SELECT \"FIRST\" FROM T", "SELECT \"FIRST\" FROM T"},   // FIRST anywhere leaves the text alone
        {"MERGE INTO T USING U ON T.A = U.A WHEN MATCHED THEN DELETE", "MERGE INTO T USING U ON T.A = U.A WHEN MATCHED THEN DELETE"},
        {"DELETE FROM T", "DELETE FROM T"},
        {"SELECT * FROM T ROWS 5", "SELECT * FROM T ROWS 5"},   // the server refuses FIRST beside ROWS
        {"SELECT * FROM T FETCH FIRST 5 ROWS ONLY", "SELECT * FROM T FETCH FIRST 5 ROWS ONLY"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddFirstClause(c.Text, 10), c.Result) << c.Text;
}

TEST(SqlEdit, OrderByClause) {
    struct Case {
        const char* Text;
        const char* NewOrder;
        const char* Parser;   // TSQLParser::SetOrderByClause
        const char* Free;     // SetOrderClause
    } cases[] = {
        {"SELECT * FROM T", "A", "SELECT * FROM T\r\nORDER BY A", "SELECT * FROM T ORDER BY A"},
        {"SELECT * FROM T  ", "", "SELECT * FROM T  ", "SELECT * FROM T  "},
        {"SELECT * FROM T ORDER BY B", "A DESC", "SELECT * FROM T \r\nORDER BY A DESC", "SELECT * FROM T ORDER BY A DESC "},
        {"SELECT * FROM T\r\nORDER BY B", "A", "SELECT * FROM T\r\nORDER BY A", "SELECT * FROM T\r\nORDER BY A "},
        {"SELECT * FROM T ORDER BY B", "", "SELECT * FROM T ", "SELECT * FROM T  "},
        {"SELECT * FROM T ORDER BY B ROWS 5", "A", "SELECT * FROM T \r\nORDER BY A ROWS 5", "SELECT * FROM T ORDER BY A  ROWS 5"},
        {"SELECT * FROM T ORDER BY B FOR UPDATE WITH LOCK", "", "SELECT * FROM T  FOR UPDATE WITH LOCK",
         "SELECT * FROM T   FOR UPDATE WITH LOCK"},
        {"SELECT * FROM T ROWS 5", "A", "SELECT * FROM T\r\nORDER BY A\r\nROWS 5", "SELECT * FROM T ORDER BY A ROWS 5"},
        {"SELECT * FROM T -- note", "A", "SELECT * FROM T -- note\r\nORDER BY A", "SELECT * FROM T -- note\r\nORDER BY A"},
        {"SELECT * FROM T ORDER", "A", "SELECT * FROM T \r\nORDER BY A", "SELECT * FROM T ORDER"},
        {"SELECT * FROM T ORDER", "", "SELECT * FROM T ", "SELECT * FROM T  "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TSQLParser(c.Text).SetOrderByClause(c.NewOrder), c.Parser) << c.Text;
        EXPECT_EQ(SetOrderClause(c.Text, c.NewOrder), c.Free) << c.Text;
    }
}

TEST(SqlEdit, WhereClause) {
    struct Case {
        const char* Text;
        int N;
        const char* Condition;
        const char* Result;
    } cases[] = {
        {"SELECT * FROM T WHERE A = 1", 1, "B = 2", "SELECT * FROM T \r\nWHERE B = 2\r\n"},
        {"SELECT * FROM T\r\nWHERE A = 1\r\nORDER BY C", 1, "B = 2", "SELECT * FROM T\r\nWHERE B = 2\r\nORDER BY C"},
        {"SELECT * FROM T WHERE A = 1 ORDER BY C", 1, " ", "SELECT * FROM T \r\n ORDER BY C"},
        {"SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C = 1)", 2, "C = 2",
         "SELECT * FROM T WHERE A IN (SELECT B FROM U \r\nWHERE C = 2\r\n)"},
        {"SELECT * FROM T", 1, "B = 2", "SELECT * FROM T"},
    };
    for (const Case& c : cases) EXPECT_EQ(TSQLParser(c.Text).SetWhereClause(c.N, c.Condition), c.Result) << c.Text;

    // The top-level WHERE is replaced, or one is added after the FROM list.
    EXPECT_EQ(TSQLParser("SELECT * FROM T WHERE A IN (SELECT B FROM U WHERE C = 1) AND D = 1").SetMainWhereClause("X = 1"),
              "SELECT * FROM T \r\nWHERE X = 1\r\n");
    EXPECT_EQ(TSQLParser("SELECT * FROM T ORDER BY A").SetMainWhereClause("X = 1"),
              "SELECT * FROM T \r\n WHERE X = 1\r\nORDER BY A");
}

TEST(SqlEdit, AddCondition) {
    struct Case {
        const char* Text;
        bool Indent;
        const char* Result;
    } cases[] = {
        {"SELECT * FROM T WHERE A = 1 ORDER BY B", false, "SELECT * FROM T WHERE(  A = 1 ) and ( X = 2 ) ORDER BY B"},
        {"SELECT * FROM T WHERE A = 1", true, "SELECT * FROM T WHERE(  A = 1\r\n     ) and ( X = 2 )\r\n    "},
        {"SELECT * FROM T ORDER BY B", false, "SELECT * FROM T \r\n WHERE X = 2\r\nORDER BY B"},
        {"SELECT * FROM T", true, "SELECT * FROM T\r\n WHERE \r\n    X = 2\r\n"},
        {"SELECT (SELECT MAX(B) FROM U WHERE U.A = T.A) FROM T", false,
         "SELECT (SELECT MAX(B) FROM U WHERE U.A = T.A) FROM T\r\n WHERE X = 2\r\n"},
        {"SELECT * FROM T WHERE A = 1 -- note", false, "SELECT * FROM T WHERE(  A = 1 ) and ( X = 2 ) -- note"},
        {"SELECT * FROM T WHERE A = 1 ROWS 3", false, "SELECT * FROM T WHERE(  A = 1 ) and ( X = 2 ) ROWS 3"},
        {"SELECT * FROM T/**/WHERE A = 1", false, "SELECT * FROM T/**/WHERE(  A = 1 ) and ( X = 2 )"},
    };
    for (const Case& c : cases) EXPECT_EQ(AddWhereCondition(c.Text, "X = 2", c.Indent), c.Result) << c.Text;
    EXPECT_EQ(AddWhereCondition("SELECT * FROM T", " \r\n", false), "SELECT * FROM T");
}

TEST(SqlEdit, PlanClause) {
    struct Case {
        const char* Text;
        const char* Plan;
        const char* Result;
    } cases[] = {
        {"SELECT * FROM T PLAN (T NATURAL)", "(T ORDER PK)", "SELECT * FROM T PLAN (T ORDER PK)"},
        {"SELECT * FROM T PLAN (T NATURAL)", "", "SELECT * FROM T "},
        {"SELECT * FROM T PLAN\r\n  (T NATURAL)\r\nORDER BY A", "", "SELECT * FROM T \r\nORDER BY A"},
        {"SELECT * FROM T", "", "SELECT * FROM T"},
        {"SELECT * FROM T", "(T NATURAL)", "SELECT * FROM T\r\nPLAN (T NATURAL)"},
        {"SELECT * FROM T\r\n", "(T NATURAL)", "SELECT * FROM T\r\nPLAN (T NATURAL)"},
        {"SELECT * FROM T ORDER BY A", "(T NATURAL)", "SELECT * FROM T \r\nPLAN (T NATURAL)\r\nORDER BY A"},
        {"SELECT * FROM T ROWS 2", "(T NATURAL)", "SELECT * FROM T \r\nPLAN (T NATURAL)\r\nROWS 2"},
        {"SELECT * FROM T PLAN (T NATURAL) ROWS 2", "(T ORDER PK)", "SELECT * FROM T PLAN (T ORDER PK) ROWS 2"},
    };
    for (const Case& c : cases) EXPECT_EQ(TSQLParser(c.Text).SetPlanClause(c.Plan), c.Result) << c.Text;
}

TEST(SqlEdit, InvertOrderClause) {
    struct Case {
        const char* List;
        const char* Inverted;
    } cases[] = {
        {"A", "A desc"},
        {"A, B DESC", "A desc,B"},
        {" A DESC , B", "A,B desc"},
        {"A NULLS FIRST", "A desc  NULLS LAST"},
        {"A DESC NULLS LAST, B", "A NULLS FIRST,B desc"},
        {"A ASC", "A desc"},
        {"A COLLATE UNICODE, B", "A COLLATE UNICODE desc,B desc"},
        {"A COLLATE UNICODE DESC", "A COLLATE UNICODE"},
        {"\"Odd, Name\" DESC", "\"Odd, Name\""},
        {"A /* c */ DESC, B -- c\r\n", "A,B desc"},
        {"A/* c */DESC", "A"},
        {"COALESCE(A, B) DESC, C", "COALESCE(A, B),C desc"},
        {"A + B", "A + B desc"},
        {"A DESCENDING, B ASCENDING", "A,B desc"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(InvertOrderClause(c.List), c.Inverted) << c.List;
}

TEST(SqlEdit, FormatFullFieldName) {
    struct Case {
        const char* Table;
        const char* Field;
        const char* Full;
    } cases[] = {
        {"T", "A", "T.A"},
        {"", "A", "A"},
        {"My Table", "Name", "\"My Table\".\"Name\""},
        {"ORDER", "ROWS", "\"ORDER\".\"ROWS\""},
        {"T", "A\"B", "T.\"A\"\"B\""},
        {"\"T\"", "A", "\"T\".A"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFullFieldName(c.Table, c.Field), c.Full) << c.Table << "." << c.Field;
}
