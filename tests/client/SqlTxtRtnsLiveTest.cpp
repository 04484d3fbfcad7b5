// Every text the editors make from realistic SELECTs must still be a statement the server
// accepts: each is prepared on a real database of the embedded engine.
#include "client/SqlTxtRtns.h"
#include "client/fib.h"

#include "fixtures/FbFixture.h"
#include "tests/client/LiveAttachment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace qnl {
namespace {

const char* const kSchema = R"(
CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) CHARACTER SET ISO8859_1);
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUST_ID INTEGER, TOTAL NUMERIC(10,2));
CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, ORDER_ID INTEGER, QTY INTEGER);
CREATE TABLE "Odd Table" ("Note" VARCHAR(20), "first" INTEGER);
CREATE TABLE "Join Table" (ID INTEGER, "Last, First" VARCHAR(40), "Unit Price" NUMERIC(10,2), "DESC" INTEGER);
CREATE TABLE "On Hand" (ID INTEGER, QTY INTEGER, NOTE VARCHAR(20));
SET TERM ^;
CREATE PROCEDURE GET_VALUES (N INTEGER) RETURNS (V INTEGER) AS
BEGIN
  V = N;
  SUSPEND;
END^
CREATE PROCEDURE GET_TEXT (S VARCHAR(10)) RETURNS (V VARCHAR(10)) AS
BEGIN
  V = S;
  SUSPEND;
END^
SET TERM ;^
)";

// The statement object hands named parameters (":NAME") to the server as "?"; the texts here are
// prepared the same way. Literals, quoted names and comments are left alone.
std::string PositionalParams(const std::string& Sql) {
    std::string r;
    for (size_t i = 0; i < Sql.size();) {
        const char c = Sql[i];
        size_t end = i + 1;
        if (c == '\'' || c == '"') {
            end = Sql.find(c, i + 1);
            end = end == std::string::npos ? Sql.size() : end + 1;
        } else if (Sql.compare(i, 2, "--") == 0) {
            end = Sql.find_first_of("\r\n", i);
            end = end == std::string::npos ? Sql.size() : end;
        } else if (Sql.compare(i, 2, "/*") == 0) {
            end = Sql.find("*/", i + 2);
            end = end == std::string::npos ? Sql.size() : end + 2;
        } else if (c == ':' && i + 1 < Sql.size() && (std::isalpha(static_cast<unsigned char>(Sql[i + 1])) != 0)) {
            end = i + 1;
            while (end < Sql.size() && (std::isalnum(static_cast<unsigned char>(Sql[end])) != 0 || Sql[end] == '_')) ++end;
            r += '?';
            i = end;
            continue;
        }
        r.append(Sql, i, end - i);
        i = end;
    }
    return r;
}

// One attachment that prepares statements and answers the server's error text ("" when the
// text prepares).
class TPreparer : public test::TLiveAttachment {
public:
    TPreparer(IIBClientLibrary& Lib, const std::string& Path) : TLiveAttachment(Lib, Path, AsSysdba()) {
        StartTransaction();
    }

    std::string Prepare(const std::string& Sql) {
        isc_stmt_handle stmt = 0;
        std::string error;
        try {
            Check(FLib.isc_dsql_alloc_statement2(ThreadStatusVector(), &FDb, &stmt));
            Check(FLib.isc_dsql_prepare(ThreadStatusVector(), &FTr, &stmt, static_cast<unsigned short>(0),
                                        PositionalParams(Sql).c_str(), static_cast<unsigned short>(3), nullptr));
        } catch (const EFIBError& e) {
            error = e.what();
        }
        if (stmt) FLib.isc_dsql_free_statement(ThreadStatusVector(), &stmt, static_cast<unsigned short>(DSQL_drop));
        return error;
    }
};

struct TSelectCase {
    const char* Sql;
    const char* Plan;   // a plan the statement accepts, or nullptr
};

const TSelectCase kSelects[] = {
    {"SELECT C.ID, C.NAME FROM CUSTOMER C WHERE C.NAME LIKE 'A%' ORDER BY C.NAME", "(C NATURAL)"},
    {"SELECT O.ID, C.NAME, O.TOTAL\r\nFROM ORDERS O\r\n  JOIN CUSTOMER C ON C.ID = O.CUST_ID\r\n"
     "  LEFT JOIN ITEMS I ON I.ORDER_ID = O.ID AND I.QTY IN (1, 2)\r\nWHERE O.TOTAL > 10\r\nORDER BY O.ID DESC",
     nullptr},
    {"SELECT C.ID, (SELECT COUNT(*) FROM ORDERS O WHERE O.CUST_ID = C.ID) AS N FROM CUSTOMER C "
     "WHERE C.ID IN (SELECT CUST_ID FROM ORDERS WHERE TOTAL > 5)",
     nullptr},
    {"SELECT C.ID, (SELECT COUNT(*) FROM ORDERS O WHERE O.CUST_ID = C.ID) AS N FROM CUSTOMER C", "(C NATURAL)"},
    {"SELECT ID, 'FROM WHERE ORDER BY PLAN' AS NOTE FROM CUSTOMER WHERE NAME <> 'x WHERE y' "
     "AND NAME <> '-- no comment' AND NAME <> '/* nor this */'",
     "(CUSTOMER NATURAL)"},
    {"-- customers\r\nSELECT ID /* , NAME */ FROM CUSTOMER -- the table\r\nWHERE ID > 0 -- positive\r\n"
     "ORDER BY ID -- by id",
     "(CUSTOMER NATURAL)"},
    {"-- customers\nSELECT ID FROM CUSTOMER -- the table\nWHERE ID > 0 -- positive\nORDER BY ID", "(CUSTOMER NATURAL)"},
    {"SELECT ID FROM CUSTOMER WHERE ID > 0 -- trailing note", "(CUSTOMER NATURAL)"},
    {"SELECT CUST_ID, SUM(TOTAL) FROM ORDERS GROUP BY CUST_ID HAVING SUM(TOTAL) > 0 ORDER BY 2 DESC", nullptr},
    {"SELECT DISTINCT CUST_ID FROM ORDERS", nullptr},
    {"SELECT DISTINCT C.* FROM CUSTOMER C", nullptr},
    {"SELECT ID * 2, 'a,b', COALESCE(NAME, 'x') FROM CUSTOMER UNION ALL SELECT QTY, 'c', 'd' FROM ITEMS", nullptr},
    {"SELECT FIRST (2) SKIP 1 * FROM CUSTOMER", "(CUSTOMER NATURAL)"},
    {"SELECT ID FROM CUSTOMER UNION SELECT CUST_ID FROM ORDERS ORDER BY 1", nullptr},
    {"SELECT * FROM ORDERS WHERE TOTAL > 0 ORDER BY ID ROWS 5", "(ORDERS NATURAL)"},
    {"SELECT * FROM ORDERS WHERE ID = 1 FOR UPDATE WITH LOCK", "(ORDERS NATURAL)"},
    {"SELECT * FROM ORDERS ORDER BY ID OFFSET 2 ROWS FETCH NEXT 3 ROWS ONLY", "(ORDERS NATURAL)"},
    {"SELECT * FROM CUSTOMER C WHERE C.ID > 0 PLAN (C NATURAL) ORDER BY C.NAME", "(C NATURAL)"},
    {"SELECT * FROM CUSTOMER C WHERE C.ID > 0 PLAN\r\n  (C NATURAL)", "(C NATURAL)"},
    {"SELECT \"Note\", \"t\".\"first\" FROM \"Odd Table\" \"t\" WHERE \"t\".\"Note\" <> 'WHERE' ORDER BY \"Note\" DESC",
     "(\"t\" NATURAL)"},
    {"SELECT X.N FROM (SELECT COUNT(*) AS N FROM ORDERS WHERE TOTAL > 0) X", nullptr},
    {"SELECT * FROM CUSTOMER ORDER BY NAME NULLS FIRST, ID DESC", "(CUSTOMER NATURAL)"},
    {"SELECT FIRST 3 SKIP 1 ID FROM CUSTOMER ORDER BY ID", "(CUSTOMER NATURAL)"},
    {"SELECT P.V FROM GET_VALUES(3) P WHERE P.V > 1", nullptr},
    {"SELECT * FROM CUSTOMER ORDER BY COALESCE(NAME, 'x'), UPPER(NAME) DESC, ID + 1", "(CUSTOMER NATURAL)"},
    {"select * from orders o where o.cust_id in (select id from customer)", nullptr},
    {"SELECT NAME FROM CUSTOMER ORDER BY NAME COLLATE DE_DE", nullptr},
    // Joins of every kind, quoted names holding keywords and commas, comments touching keywords,
    // common table expressions, aggregates, UNION with ORDER BY; their answers are checked in
    // the unit tests.
    {"SELECT C.NAME, O.TOTAL FROM CUSTOMER C CROSS JOIN ORDERS O WHERE O.CUST_ID = C.ID AND O.TOTAL >= :MIN_TOTAL "
     "ORDER BY C.NAME, O.TOTAL DESC",
     nullptr},
    {"SELECT NAME, TOTAL FROM CUSTOMER NATURAL JOIN ORDERS WHERE TOTAL BETWEEN :LO AND :HI", nullptr},
    {"SELECT O.ID, I.QTY FROM ORDERS O JOIN ITEMS I USING (ID) WHERE I.QTY IN (:Q1, :Q2) ORDER BY 1", nullptr},
    {"SELECT J.ID, H.QTY, J.\"Last, First\" FROM \"Join Table\" J\r\n"
     "  LEFT OUTER JOIN \"On Hand\" H ON H.ID = J.ID AND H.NOTE <> 'a, b'\r\n"
     "WHERE J.\"Unit Price\" > :PRICE\r\nORDER BY J.\"Last, First\", COALESCE(J.\"DESC\", 0) DESC NULLS LAST",
     nullptr},
    {"SELECT P.V FROM GET_TEXT(')') P, CUSTOMER C WHERE C.NAME STARTING WITH :PREFIX AND UPPER(P.V) = UPPER(:V)", nullptr},
    {"SELECT C.ID FROM CUSTOMER C/* all */WHERE C.ID > :ID/* positive */ORDER BY C.ID", "(C NATURAL)"},
    {"WITH BIG AS (SELECT CUST_ID, SUM(TOTAL) AS S FROM ORDERS GROUP BY CUST_ID)\r\n"
     "SELECT C.NAME, B.S FROM CUSTOMER C JOIN BIG B ON B.CUST_ID = C.ID WHERE B.S > :S ORDER BY B.S DESC",
     nullptr},
    {"SELECT ID FROM CUSTOMER WHERE NAME LIKE :MASK UNION SELECT CUST_ID FROM ORDERS ORDER BY 1 DESC", nullptr},
    {"SELECT MAX(O.TOTAL) FROM ORDERS O WHERE O.CUST_ID = :CUST", "(O NATURAL)"},
    {"SELECT * FROM \"Join Table\" ORDER BY \"DESC\"", nullptr},
};

TEST(SqlTxtRtnsLive, EditedSelectsPrepare) {
    test::PrepareFirebirdEnvironment();
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    test::TempDatabase fixture(kSchema);
    TPreparer db(*lib, fixture.Path());

    int prepared = 0;
    for (const TSelectCase& c : kSelects) {
        const std::string sql = c.Sql;
        ASSERT_EQ(db.Prepare(sql), "") << "the case itself: " << sql;
        std::vector<std::pair<std::string, std::string>> edits;
        TSQLParser parser(sql);
        edits.emplace_back("CountSelect", CountSelect(sql));
        edits.emplace_back("AddFirstClause", AddFirstClause(sql, 10));
        edits.emplace_back("SetOrderClause", SetOrderClause(sql, "1 DESC"));
        edits.emplace_back("SetOrderClause empty", SetOrderClause(sql, ""));
        edits.emplace_back("SetOrderByClause", parser.SetOrderByClause("1"));
        edits.emplace_back("SetOrderByClause empty", parser.SetOrderByClause(""));
        const std::string order = parser.GetOrderByText();
        if (!Trim(order).empty()) {
            edits.emplace_back("InvertOrderClause", SetOrderClause(sql, InvertOrderClause(order)));
            edits.emplace_back("InvertOrderClause twice",
                               parser.SetOrderByClause(InvertOrderClause(InvertOrderClause(order))));
        }
        edits.emplace_back("AddWhereCondition", AddWhereCondition(sql, "1=1", false));
        edits.emplace_back("AddWhereCondition indented", AddWhereCondition(sql, "1 = 1 OR 2 = 2", true));
        edits.emplace_back("SetMainWhereClause", parser.SetMainWhereClause("2=2"));
        edits.emplace_back("SetMainWhereClause empty", parser.SetMainWhereClause(""));
        const int whereCount = parser.WhereCount();
        for (int n = 1; n <= whereCount; ++n) {
            edits.emplace_back("SetWhereClause " + std::to_string(n), parser.SetWhereClause(n, "3=3"));
            edits.emplace_back("SetWhereClause empty " + std::to_string(n), parser.SetWhereClause(n, ""));
        }
        edits.emplace_back("SetPlanClause empty", parser.SetPlanClause(""));
        if (c.Plan) edits.emplace_back("SetPlanClause", parser.SetPlanClause(c.Plan));
        for (const auto& [editor, text] : edits) {
            if (text.empty()) continue;
            EXPECT_EQ(db.Prepare(text), "") << editor << " of:\n" << sql << "\ngave:\n" << text;
            ++prepared;
        }
    }
    EXPECT_GT(prepared, 300);
}

// The count query counts the rows the statement gives, also where they are grouped, distinct,
// united or limited.
TEST(SqlTxtRtnsLive, CountSelectCountsTheStatementsRows) {
    test::PrepareFirebirdEnvironment();
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    test::TempDatabase fixture(std::string(kSchema) + R"(
INSERT INTO CUSTOMER VALUES (1, 'Ann');
INSERT INTO CUSTOMER VALUES (2, 'Bob');
INSERT INTO CUSTOMER VALUES (3, 'Cid');
INSERT INTO CUSTOMER VALUES (4, NULL);
INSERT INTO ORDERS VALUES (1, 1, 10);
INSERT INTO ORDERS VALUES (2, 1, 20);
INSERT INTO ORDERS VALUES (3, 2, 5);
INSERT INTO ORDERS VALUES (4, 3, 50);
INSERT INTO ORDERS VALUES (5, 3, 1);
COMMIT;
)");
    TPreparer db(*lib, fixture.Path());
    struct Case {
        const char* Sql;
        int64_t Rows;
    } cases[] = {
        {"SELECT * FROM ORDERS ORDER BY ID", 5},
        {"SELECT * FROM ORDERS O WHERE O.TOTAL >= 10 -- big ones", 3},
        {"SELECT CUST_ID, SUM(TOTAL) FROM ORDERS GROUP BY CUST_ID ORDER BY 2", 3},
        {"SELECT CUST_ID FROM ORDERS GROUP BY CUST_ID HAVING COUNT(*) > 1", 2},
        {"SELECT DISTINCT CUST_ID FROM ORDERS", 3},
        {"SELECT ID FROM CUSTOMER UNION SELECT CUST_ID FROM ORDERS", 4},
        {"SELECT FIRST 2 * FROM ORDERS ORDER BY ID", 2},
        {"SELECT * FROM ORDERS WHERE TOTAL > 5 ORDER BY ID ROWS 2", 2},
        {"SELECT MAX(ID) FROM ORDERS", 1},
        {"SELECT COALESCE(SUM(TOTAL), 0) FROM ORDERS WHERE TOTAL > 1000", 1},
        {"WITH BIG AS (SELECT * FROM ORDERS WHERE TOTAL >= 10) SELECT B.ID FROM BIG B ORDER BY B.ID", 3},
        {"SELECT C.ID FROM CUSTOMER C/* all */WHERE C.ID > 1/* c */ORDER BY C.ID", 3},
    };
    for (const Case& c : cases) {
        const std::string count = CountSelect(c.Sql);
        EXPECT_EQ(db.QueryInt(count), c.Rows) << c.Sql << "\ngave:\n" << count;
    }
}

} // namespace
} // namespace qnl
