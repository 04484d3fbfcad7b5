// Every text the editors make from realistic SELECTs must still be a statement the server
// accepts: each is prepared on a real database of the embedded engine.
#include "client/SqlTxtRtns.h"
#include "client/fib.h"

#include "fixtures/FbFixture.h"
#include "tests/client/LiveAttachment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

const char* const kSchema = R"(
CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) CHARACTER SET ISO8859_1);
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUST_ID INTEGER, TOTAL NUMERIC(10,2));
CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, ORDER_ID INTEGER, QTY INTEGER);
CREATE TABLE "Odd Table" ("Note" VARCHAR(20), "first" INTEGER);
SET TERM ^;
CREATE PROCEDURE GET_VALUES (N INTEGER) RETURNS (V INTEGER) AS
BEGIN
  V = N;
  SUSPEND;
END^
SET TERM ;^
)";

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
                                        Sql.c_str(), static_cast<unsigned short>(3), nullptr));
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
    };
    for (const Case& c : cases) {
        const std::string count = CountSelect(c.Sql);
        EXPECT_EQ(db.QueryInt(count), c.Rows) << c.Sql << "\ngave:\n" << count;
    }
}

} // namespace
} // namespace qnl
