// The filter evaluator over a real Firebird 3 table: each expression against the IDs it
// accepts, and, where the expression is also SQL with the same meaning, against the IDs that
// isql-fb's WHERE accepts; then the error texts and the limits that odd input cannot move.
#include "datasets/DBParsers.h"

#include "client/StrUtil.h"
#include "datasets/FIBDataSet.h"
#include "fixtures/FbFixture.h"
#include "platform/VariantOps.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

const char* const Ddl = R"(
CREATE TABLE FLT (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), QTY INTEGER, PRICE NUMERIC(9,2),
  RATE DOUBLE PRECISION, BORN DATE, STAMP TIMESTAMP, CODE CHAR(5), FLAG BOOLEAN, U VARCHAR(10) CHARACTER SET UTF8);
INSERT INTO FLT VALUES (1, 'Jones', 5, 12.50, 0.5, '1990-03-15', '1990-03-15 08:30:15', 'AB', TRUE, 'a');
INSERT INTO FLT VALUES (2, 'jo', 10, 0.10, 1.5, '2001-12-31', '2001-12-31 23:59:59', 'abc', FALSE, 'b');
INSERT INTO FLT VALUES (3, 'Smith', NULL, 99.99, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO FLT VALUES (4, NULL, 0, NULL, -2.25, '1970-01-01', '1970-01-01 00:00:00', 'X', TRUE, 'c');
INSERT INTO FLT VALUES (5, 'Adams', 7, 7.00, 3.0, '1985-07-04', '1985-07-04 12:00:00', '  pad', FALSE, 'd');
INSERT INTO FLT VALUES (6, '  Anna ', 3, 1.23, 0.0, '2024-02-29', '2024-02-29 00:00:01', 'zz', NULL, 'e');
COMMIT;
)";

using Ids = std::vector<int>;

struct Case {
    const char* Expression;
    Ids Accepted;
    // True where the expression is SQL with the same meaning: isql's WHERE must accept the same
    // rows. The local Null rules differ from SQL's (Null < 1 is true here), so rows with Null
    // operands are compared only where both agree.
    bool Sql;
    TFilterOptions Options = 0;
};

const Case Cases[] = {
    // Comparisons; constants take the field's type.
    {"ID = 3", {3}, true},
    {"ID <> 3", {1, 2, 4, 5, 6}, true},
    {"ID != 3", {1, 2, 4, 5, 6}, false},
    {"QTY > 5", {2, 5}, true},
    {"QTY >= 5", {1, 2, 5}, true},
    {"NAME = 'Smith'", {3}, true},
    {"PRICE = 0.10", {2}, true},
    {"PRICE > 12.5", {3}, true},
    {"RATE >= 0", {1, 2, 5, 6}, true},
    {"ID = '5'", {5}, true},
    {"ID = 5.5", {}, true},
    {"BORN > '01.01.2000'", {2, 6}, true},
    {"STAMP = '15.03.1990 08:30:15'", {1}, true},
    {"FLAG = TRUE", {1, 4}, true},
    {"CODE = 'AB'", {1}, true},
    {"'Smith' = NAME", {3}, true},
    // LIKE, IN, IS NULL.
    {"NAME LIKE 'J%'", {1}, true},
    {"NAME LIKE '%o%'", {1, 2}, true},
    {"NAME LIKE '_o%'", {1, 2}, true},
    {"ID IN (1, 3, 5)", {1, 3, 5}, true},
    {"NAME IN ('jo', 'Smith')", {2, 3}, true},
    {"ID IN (4)", {4}, true},
    {"QTY IN (0, 7)", {4, 5}, true},
    {"NAME IS NULL", {4}, true},
    {"QTY IS NOT NULL", {1, 2, 4, 5, 6}, true},
    // AND, OR, NOT and their precedence; keywords and field names in any case.
    {"NAME LIKE 'J%' OR ID > 4", {1, 5, 6}, true},
    {"QTY > 2 AND PRICE < 10", {2, 5, 6}, true},
    {"NOT (ID < 3)", {3, 4, 5, 6}, true},
    {"(ID = 1 OR ID = 2) AND NOT NAME = 'jo'", {1}, true},
    {"id in (2) and name like 'j%'", {2}, true},
    {"ID = 1 OR ID = 2 AND QTY = 0", {1}, true},
    // The local Null rules: Null equals Null and lies below every value; arithmetic with Null
    // gives Null; LIKE and the text functions read Null as empty text.
    {"QTY < 5", {3, 4, 6}, false},
    {"QTY <= 0", {3, 4}, false},
    {"NAME <> 'Smith'", {1, 2, 4, 5, 6}, false},
    {"RATE < 1", {1, 3, 4, 6}, false},
    {"NOT (QTY > 5)", {1, 3, 4, 6}, false},
    {"NAME = NAME", {1, 2, 3, 4, 5, 6}, false},
    {"QTY + 1 > 5", {1, 2, 5}, false},
    {"QTY + 1 < 5", {3, 4, 6}, false},
    {"NAME LIKE '%'", {1, 2, 3, 4, 5, 6}, false},
    {"UPPER(NAME) = ''", {4}, false},
    // Arithmetic.
    {"QTY * 2 = 20", {2}, false},
    {"QTY - 3 = 0", {6}, false},
    {"QTY / 2 = 2.5", {1}, false},
    {"QTY MOD 3 = 1", {2, 5}, false},
    {"-QTY < -6", {2, 3, 5}, false},
    {"PRICE * 2 = 25", {1}, false},
    {"PRICE + 0.01 = 0.11", {2}, false},
    {"NAME + 'x' = 'jox'", {2}, false},
    {"2147483647 + QTY > 2147483650", {1, 2, 5}, false},
    // Functions.
    {"UPPER(NAME) = 'JO'", {2}, true},
    {"LOWER(NAME) = 'jones'", {1}, true},
    {"TRIM(NAME) = 'Anna'", {6}, true},
    {"TRIMLEFT(NAME) = 'Anna'", {6}, false},
    {"TRIMRIGHT(NAME + ' ') = '  Anna'", {6}, false},
    {"SUBSTRING(NAME, 2, 3) = 'mit'", {3}, false},
    {"SUBSTRING(NAME, '2,3') = 'mit'", {3}, false},
    {"SUBSTRING(NAME, 4, 1000) = 'es'", {1}, false},
    {"SUBSTRING(NAME, -5, 2) = 'Jo'", {1}, false},
    {"SUBSTRING(NAME, 100, 2) = ''", {1, 2, 3, 4, 5, 6}, false},
    {"SUBSTRING(NAME, 2147483647, 2147483647) = ''", {1, 2, 3, 4, 5, 6}, false},
    {"SUBSTRING(NAME, 1, -3) = ''", {1, 2, 3, 4, 5, 6}, false},
    {"SUBSTRING(NAME, '9999999999999,1') = ''", {1, 2, 3, 4, 5, 6}, false},
    {"YEAR(BORN) = 1990", {1}, false},
    {"MONTH(BORN) = 12", {2}, false},
    {"DAY(BORN) = 29", {6}, false},
    {"HOUR(STAMP) = 8", {1}, false},
    {"MINUTE(STAMP) = 59", {2}, false},
    {"SECOND(STAMP) = 15", {1}, false},
    {"YEAR(BORN) IS NULL", {3}, false},
    {"DATE(BORN) = 32947", {1}, false},
    {"DATE('15.03.1990', 'dd.mm.yyyy') = BORN", {1}, false},
    {"GETDATE() > STAMP AND STAMP IS NOT NULL", {1, 2, 4, 5, 6}, false},
    // Case-insensitive and partial compares of text fields.
    {"NAME = 'JO'", {2}, false, foCaseInsensitive},
    {"NAME <> 'JO'", {1, 3, 4, 5, 6}, false, foCaseInsensitive},
    {"NAME LIKE 'j%'", {1, 2}, false, foCaseInsensitive},
    {"NAME > 'a'", {2}, false, foCaseInsensitive},
    {"NAME = 'Jo*'", {1}, false},
    {"NAME = 'Jo*'", {1, 2}, false, foCaseInsensitive},
    {"NAME <> 'Jo*'", {2, 3, 4, 5, 6}, false},
    {"NAME = 'Jo*'", {}, false, foNoPartialCompare},
};

class FilterTest : public ::testing::Test {
protected:
    // isql runs before the tests attach: the embedded engine keeps the file to itself.
    static void SetUpTestSuite() {
        Db = new test::TempDatabase(Ddl);
        ByIsql = new std::map<size_t, Ids>;
        IsqlError = new std::string;
        std::string script;
        for (size_t i = 0; i < std::size(Cases); ++i)
            if (Cases[i].Sql)
                script += "SELECT '<<" + std::to_string(i) + ":' || ID || '>>' FROM FLT WHERE " + Cases[i].Expression +
                          " ORDER BY ID;\n";
        for (const std::string& row : test::QueryRows(*Db, script)) {
            const size_t colon = row.find(':');
            if (colon == std::string::npos || !std::isdigit(static_cast<unsigned char>(row[0]))) {
                *IsqlError = row;
                break;
            }
            (*ByIsql)[std::stoul(row.substr(0, colon))].push_back(std::stoi(row.substr(colon + 1)));
        }
    }
    static void TearDownTestSuite() {
        delete Db;
        Db = nullptr;
        delete ByIsql;
        ByIsql = nullptr;
        delete IsqlError;
        IsqlError = nullptr;
    }

    void SetUp() override {
        Database.SetDBName(Db->Path());
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.SetSQLDialect(3);
        Database.Open();
        Transaction.SetDefaultDatabase(&Database);
        DS = std::make_unique<TFIBDataSet>(&Form);
        DS->SetName("DS");
        DS->SetDatabase(&Database);
        DS->SetTransaction(&Transaction);
        DS->SetSelectSQL("SELECT * FROM FLT ORDER BY ID");
        DS->Open();
    }
    void TearDown() override {
        DS.reset();
        if (Transaction.Active()) Transaction.Rollback();
        Database.Close();
    }

    std::unique_ptr<TExpressionParser> Parse(const std::string& Text, TFilterOptions Options = 0) {
        return std::make_unique<TExpressionParser>(DS.get(), SQLMaskCompare, StrToDateTimeFmt, FilterFieldMap, Options, Text);
    }
    // The IDs whose records the expression accepts, asked of the evaluator record by record.
    Ids Accepted(const std::string& Text, TFilterOptions Options = 0) {
        auto parser = Parse(Text, Options);
        DS->SetFiltered(false);
        Ids ids;
        for (DS->First(); !DS->Eof(); DS->Next())
            if (parser->Evaluate()) ids.push_back(DS->FieldByName("ID")->AsInteger());
        return ids;
    }
    // The IDs of the records the data set shows.
    Ids Shown() {
        Ids ids;
        for (DS->First(); !DS->Eof(); DS->Next()) ids.push_back(DS->FieldByName("ID")->AsInteger());
        return ids;
    }
    // The same through the data set's filter.
    Ids Filtered(const std::string& Text, TFilterOptions Options) {
        DS->SetFiltered(false);
        DS->SetFilterOptions(Options);
        DS->SetFilterText(Text);
        DS->SetFiltered(true);
        return Shown();
    }
    std::string ErrorOf(const std::string& Text) {
        try {
            Accepted(Text);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }

    static test::TempDatabase* Db;
    static std::map<size_t, Ids>* ByIsql;   // case index -> the IDs isql's WHERE accepts
    static std::string* IsqlError;
    TComponent Form;
    TFIBDatabase Database{&Form};
    TFIBTransaction Transaction{&Form};
    std::unique_ptr<TFIBDataSet> DS;
};

test::TempDatabase* FilterTest::Db = nullptr;
std::map<size_t, Ids>* FilterTest::ByIsql = nullptr;
std::string* FilterTest::IsqlError = nullptr;

TEST_F(FilterTest, EveryCaseAcceptsItsIdsAndSqlCasesAgreeWithIsql) {
    ASSERT_TRUE(IsqlError->empty()) << *IsqlError;
    for (size_t i = 0; i < std::size(Cases); ++i) {
        const Case& c = Cases[i];
        try {
            EXPECT_EQ(Accepted(c.Expression, c.Options), c.Accepted) << c.Expression << " options " << int(c.Options);
            EXPECT_EQ(Filtered(c.Expression, c.Options), c.Accepted) << "filtered: " << c.Expression;
        } catch (const std::exception& e) {
            ADD_FAILURE() << c.Expression << ": " << e.what();
        }
        if (c.Sql) {
            EXPECT_EQ((*ByIsql)[i], c.Accepted) << "isql: " << c.Expression;
        }
    }
}

TEST_F(FilterTest, NulInsideATextIsPartOfIt) {
    const char withNul[] = "NAME = 'jo\0'";
    EXPECT_EQ(Accepted(std::string(withNul, sizeof withNul - 1)), Ids{});
    const char inList[] = "NAME IN ('x\0', 'jo')";
    EXPECT_EQ(Accepted(std::string(inList, sizeof inList - 1)), Ids{2});
}

TEST_F(FilterTest, ErrorTexts) {
    const std::string parse = "Can't parse Filter for: \r\n";
    const struct {
        std::string Expression;
        std::string Error;
    } cases[] = {
        {"ID = ", parse + "Expression expected but nothing found at position 6"},
        {"NAME = 'abc", parse + "Unterminated string constant at position 8"},
        {"[NAME = 1", parse + "Unterminated field name at position 1"},
        {"ID # 3", parse + "Invalid filter expression character: '#' at position 4"},
        {std::string("ID = 1\0", 7), parse + "Invalid filter expression character: '#0' at position 7"},
        {"(ID = 1", parse + "')' expected but nothing found at position 8"},
        {"ID = 1 2", parse + "Filter expression incorrectly terminated at position 8"},
        {"NOPE = 1", parse + "Field 'NOPE' not found at position 1"},
        {"NAME IS 5", parse + "NULL expected but 5 found at position 9"},
        {"ID IN 1", parse + "'(' expected but 1 found at position 7"},
        {"ID = NULL", parse + "Expression expected but NULL found at position 6"},
        {"ID = 1e999", parse + "Constant out of range at position 6"},
        {"FOO(ID) = 1", "Expression expected but FOO found"},
        {"U = 'a'", "Incorrectly formed filter expression"},
        {"SUBSTRING(NAME) = 'a'", "Incorrectly formed filter expression"},
        {"SUBSTRING(NAME, 2) = 'a'", "Incorrectly formed filter expression"},
        {"QTY / 0 > 1", "Division by zero"},
        {"QTY MOD 0 = 1", "Division by zero"},
        {"RATE / 0 > 1", "Division by zero"},
        {"ID = 'abc'", "'abc' is not a valid floating point value"},
        {"YEAR(RATE * 1e300) = 1", "'5E299' is not a valid date"},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.Expression), c.Error) << c.Expression;
}

TEST_F(FilterTest, DepthIsBoundedAndLongListsStayFlat) {
    auto repeat = [](const std::string& S, int N) {
        std::string r;
        for (int i = 0; i < N; ++i) r += S;
        return r;
    };
    const std::string tooDeep = "Can't parse Filter for: \r\nExpression nested too deeply (maximum depth 1000)";
    EXPECT_EQ(ErrorOf(repeat("(", 10000) + "ID = 1" + repeat(")", 10000)).substr(0, tooDeep.size()), tooDeep);
    EXPECT_EQ(ErrorOf(repeat("NOT ", 10000) + "ID = 1").substr(0, tooDeep.size()), tooDeep);
    EXPECT_EQ(ErrorOf(repeat("-", 10000) + "ID = 1").substr(0, tooDeep.size()), tooDeep);
    EXPECT_EQ(ErrorOf("ID" + repeat(" + ID", 10000) + " > 0").substr(0, tooDeep.size()), tooDeep);
    EXPECT_EQ(ErrorOf(repeat("UPPER(", 10000) + "NAME" + repeat(")", 10000) + " = 'X'").substr(0, tooDeep.size()), tooDeep);

    // Just inside the limit the expression still works.
    EXPECT_EQ(Accepted(repeat("(", 900) + "ID = 1" + repeat(")", 900)), Ids{1});
    EXPECT_EQ(Accepted("ID" + repeat(" + 0", 900) + " = 2"), Ids{2});
    // A list is as flat as it is long.
    std::string list = "ID IN (0";
    for (int i = 10; i < 5000; ++i) list += ", " + std::to_string(i);
    EXPECT_EQ(Accepted(list + ", 3)"), Ids{3});
}

// --- The data set's Filter, Filtered, FilterOptions and OnFilterRecord -----------------------

TEST_F(FilterTest, FilteredDataSetShowsTheAcceptedRecordsBothWays) {
    DS->SetFilterText("QTY > 5 OR NAME IS NULL");
    EXPECT_EQ(Shown(), (Ids{1, 2, 3, 4, 5, 6}));   // not Filtered yet
    DS->SetFiltered(true);
    EXPECT_EQ(Shown(), (Ids{2, 4, 5}));
    Ids backwards;
    for (DS->Last(); !DS->Bof(); DS->Prior()) backwards.push_back(DS->FieldByName("ID")->AsInteger());
    EXPECT_EQ(backwards, (Ids{5, 4, 2}));

    // A new text or new options apply at once and put the data set on its first record.
    DS->Last();
    DS->SetFilterText("NAME = 'JO'");
    EXPECT_TRUE(DS->IsEmpty());
    DS->SetFilterOptions(foCaseInsensitive);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(Shown(), Ids{2});
    DS->SetFilterText("  ");
    EXPECT_EQ(Shown(), (Ids{1, 2, 3, 4, 5, 6}));

    // The record shown stays when it passes the new filter, else the first one shown is current.
    DS->SetFiltered(false);
    DS->SetFilterText("ID > 2");
    DS->First();
    DS->MoveBy(4);
    DS->SetFiltered(true);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 5);
    DS->SetFiltered(false);
    DS->First();
    DS->SetFiltered(true);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    DS->SetFiltered(false);
    EXPECT_EQ(Shown(), (Ids{1, 2, 3, 4, 5, 6}));
}

TEST_F(FilterTest, OnFilterRecordDecidesAfterTheText) {
    Ids asked;
    DS->OnFilterRecord = [&](TDataSet* DataSet, bool& Accept) {
        const int id = DataSet->FieldByName("ID")->AsInteger();
        asked.push_back(id);
        Accept = id != 2;
    };
    DS->SetFilterText("ID < 5");
    DS->SetFiltered(true);
    EXPECT_EQ(Shown(), (Ids{1, 3, 4}));
    for (int id : asked) EXPECT_LT(id, 5) << "asked about a record the text rejected";
    DS->SetFilterText("");
    EXPECT_EQ(Shown(), (Ids{1, 3, 4, 5, 6}));
}

TEST_F(FilterTest, FilterSetWhileClosedAppliesAtOpenAndABadTextChangesNothing) {
    DS->Close();
    DS->SetFilterText(" NAME LIKE '%n%' ");
    DS->SetFiltered(true);
    DS->Open();
    EXPECT_EQ(Shown(), (Ids{1, 6}));
    // Closed and opened again with new default fields, the evaluator finds the new ones.
    DS->Close();
    DS->Open();
    EXPECT_EQ(Shown(), (Ids{1, 6}));

    EXPECT_THROW(DS->SetFilterText("NAME LIKE"), EDatabaseError);
    EXPECT_EQ(DS->Filter(), " NAME LIKE '%n%' ");
    EXPECT_EQ(Shown(), (Ids{1, 6}));
    // An evaluation error reaches the caller that moves the data set.
    EXPECT_THROW(DS->SetFilterText("QTY / (QTY - 5) > 0"), EZeroDivide);
}

} // namespace
} // namespace qnl
