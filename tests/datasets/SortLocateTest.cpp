// The data set's local sort, locate and lookup against real Firebird 3: a local sort on every
// sortable type gives isql's ORDER BY order, a table of locate cases, lookups, and a posted
// record that keeps its sorted place.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qnl {
namespace {

// Rows with NULLs and ties in every column: small pseudo-random values from a fixed seed.
std::string SortDdl() {
    std::string ddl =
        "CREATE TABLE S (ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, I INTEGER, BI BIGINT, N92 NUMERIC(9,2),\n"
        "  N184 NUMERIC(18,4), DP DOUBLE PRECISION, FL FLOAT, D DATE, T TIME, TS TIMESTAMP,\n"
        "  V VARCHAR(12) CHARACTER SET UTF8 COLLATE UNICODE, C CHAR(6), B BOOLEAN);\n";
    const char* const words[] = {"apple", "Apple", "banana", "Éclair", "eclair", "zebra", "Zebra", "ähnlich", "b", ""};
    uint32_t seed = 12345;
    auto next = [&](uint32_t Range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % Range;
    };
    for (int id = 1; id <= 60; ++id) {
        auto value = [&](const std::string& Text) { return next(6) == 0 ? std::string("NULL") : Text; };
        const int n = static_cast<int>(next(7)) - 3;
        ddl += "INSERT INTO S VALUES (" + std::to_string(id) + ", " + value(std::to_string(n * 1000)) + ", " +
               value(std::to_string(n * 100000)) + ", " + value(std::to_string(int64_t(n) * 4000000000000LL)) + ", " +
               value(std::to_string(n) + ".0" + std::to_string(next(3))) + ", " +
               value(std::to_string(n * 123456789LL) + "." + std::to_string(1000 + next(3))) + ", " +
               value(std::to_string(n) + ".5e" + std::to_string(next(3))) + ", " + value(std::to_string(n) + ".25") +
               ", " + value("'" + std::to_string(1900 + 40 * (n + 3)) + "-0" + std::to_string(1 + next(3)) + "-15'") +
               ", " + value("'1" + std::to_string(next(3)) + ":0" + std::to_string(next(3)) + ":00.1234'") + ", " +
               value("'2020-01-0" + std::to_string(1 + next(2)) + " 1" + std::to_string(next(3)) + ":00:00.5'") + ", " +
               value("'" + std::string(words[next(10)]) + "'") + ", " + value("'c" + std::to_string(next(4)) + "'") +
               ", " + value(next(2) ? "TRUE" : "FALSE") + ");\n";
    }
    return ddl + "COMMIT;\n";
}

class SortLocateTest : public test::DataSetKit {
protected:
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
    }
    // A data set with its default options, plus Add and less Remove.
    void OpenDataSet(const std::string& Select, TpFIBDsOptions Add = 0, TpFIBDsOptions Remove = 0) {
        DS = NewDataSet("DS");
        DS->SetOptions(static_cast<TpFIBDsOptions>((DS->Options() | Add) & ~Remove));
        DS->SetSelectSQL(Select);
        DS->Open();
    }
    // The IDs of the shown records, first to last; the cursor goes back to where it was.
    std::vector<int> Ids() {
        std::vector<int> ids;
        const TBookmark here = DS->GetBookmark();
        for (DS->First(); !DS->Eof(); DS->Next()) ids.push_back(DS->FieldByName("ID")->AsInteger());
        if (!here.empty()) DS->GotoBookmark(here);
        return ids;
    }
    int CurrentId() { return DS->FieldByName("ID")->AsInteger(); }

    std::unique_ptr<TpFIBDataSet> DS;
};

std::vector<int> ToInts(const std::vector<std::string>& Rows) {
    std::vector<int> ids;
    for (const std::string& r : Rows) ids.push_back(std::stoi(r));
    return ids;
}

TEST_F(SortLocateTest, LocalSortGivesIsqlsOrderOnEverySortableType) {
    struct Case {
        std::vector<TSortElement> Fields;
        std::vector<bool> Ascending;
        const char* OrderBy;
    };
    const std::vector<Case> cases = {
        {{"SI", "ID"}, {true, true}, "SI, ID"},
        {{"I", "ID"}, {false, true}, "I DESC, ID"},
        {{"BI", "ID"}, {true, false}, "BI, ID DESC"},
        {{"N92", "ID"}, {true, true}, "N92, ID"},
        {{"N184", "ID"}, {false, true}, "N184 DESC, ID"},
        {{"DP", "ID"}, {true, true}, "DP, ID"},
        {{"FL", "ID"}, {true, true}, "FL, ID"},
        {{"D", "ID"}, {false, false}, "D DESC, ID DESC"},
        {{"T", "ID"}, {true, true}, "T, ID"},
        {{"TS", "ID"}, {true, true}, "TS, ID"},
        {{"V", "ID"}, {true, true}, "V, ID"},
        {{"V", "ID"}, {false, true}, "V DESC, ID"},
        {{"C", "ID"}, {true, true}, "C, ID"},
        {{"B", "ID"}, {true, true}, "B, ID"},
        // Several fields in mixed directions; an element by index and one by field.
        {{"B", "SI", "V", "ID"}, {false, true, false, true}, "B DESC, SI, V DESC, ID"},
        {{"D", 0}, {true, false}, "D, ID DESC"},
    };
    OpenDatabase(SortDdl());
    std::vector<std::vector<int>> expected;
    for (const Case& c : cases)
        expected.push_back(ToInts(IsqlRows(std::string("SELECT '<<' || ID || '>>' FROM S ORDER BY ") + c.OrderBy)));
    Database.Open();
    OpenDataSet("SELECT * FROM S");
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<TSortElement> fields = cases[i].Fields;
        for (TSortElement& e : fields)
            if (std::holds_alternative<int>(e)) e = DS->FieldByName("ID");
        DS->DoSortEx(fields, cases[i].Ascending);
        EXPECT_EQ(Ids(), expected[i]) << cases[i].OrderBy;
        EXPECT_TRUE(DS->IsSorted());
    }
}

TEST_F(SortLocateTest, SortKeepsTheCursorAndRefusesWhatNamesNoField) {
    OpenDatabase("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, Q INTEGER);\n"
                 "INSERT INTO P VALUES (1, 2); INSERT INTO P VALUES (2, 1); INSERT INTO P VALUES (3, 3); COMMIT;");
    OpenDataSet("SELECT ID, Q FROM P ORDER BY ID");
    DS->Next();   // ID 2
    DS->DoSortEx({"Q"}, {false});
    EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(CurrentId(), 2);
    DS->DoSortEx({std::string("Q")}, {true});
    EXPECT_EQ(Ids(), (std::vector<int>{2, 1, 3}));

    std::unique_ptr<TpFIBDataSet> other = NewDataSet("Other");
    other->SetSelectSQL("SELECT ID FROM P");
    other->Open();
    EXPECT_EQ(test::ErrorOf([&] { DS->DoSortEx({other->FieldByName("ID")}, {true}); }),
              "Can't sort. Invalid parameter: Fields[0]");
    EXPECT_FALSE(DS->IsSorted());
    EXPECT_EQ(test::ErrorOf([&] { DS->DoSortEx({"Q", "NOPE"}, {true, true}); }),
              "Can't sort. Invalid parameter: Fields[1]");
    EXPECT_EQ(test::ErrorOf([&] { DS->DoSortEx({7}, {true}); }), "Can't sort. Invalid parameter: Fields[0]");
    DS->Close();
    EXPECT_NE(test::ErrorOf([&] { DS->DoSortEx({"Q"}, {true}); }).find("do local sorting"), std::string::npos);
}

TEST_F(SortLocateTest, ReopenKeepsALocalSortOnlyWhenPersistent) {
    OpenDatabase("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, Q INTEGER);\n"
                 "INSERT INTO P VALUES (1, 2); INSERT INTO P VALUES (2, 1); INSERT INTO P VALUES (3, 3); COMMIT;");
    for (const bool persistent : {false, true}) {
        OpenDataSet("SELECT ID, Q FROM P ORDER BY ID", persistent ? SetOf<TpFIBDsOptions>(poPersistentSorting) : 0);
        DS->DoSortEx({"Q"}, {false});
        DS->Close();
        DS->Open();
        EXPECT_EQ(Ids(), (persistent ? std::vector<int>{3, 1, 2} : std::vector<int>{1, 2, 3}));
        // The sort state is the local sort's, or the ORDER BY's again.
        ASSERT_TRUE(DS->IsSorted());
        EXPECT_EQ(VarToStr(DS->SortFields().GetElement({0, 0})), persistent ? "Q" : "ID");
        DS.reset();
    }
}

TEST_F(SortLocateTest, LocateCases) {
    OpenDatabase("CREATE TABLE L (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), CODE CHAR(10), K INTEGER,\n"
                 "  PRICE NUMERIC(18,4), D DATE);\n"
                 "INSERT INTO L VALUES (1, 'Anna', 'abc', 10, 12.1234, '2020-01-01');\n"
                 "INSERT INTO L VALUES (2, 'ABCDE', 'x', NULL, 5, '2021-06-30');\n"
                 "INSERT INTO L VALUES (3, 'bob', 'abc', 20, NULL, NULL);\n"
                 "INSERT INTO L VALUES (4, 'O''Brien', 'y', 20, 7.5, '2020-01-01');\n"
                 "INSERT INTO L VALUES (5, NULL, 'abc', 30, 12.1234, '2022-02-02');\n"
                 "INSERT INTO L VALUES (6, 'Bobby', 'z', 10, 99999999999999.9999, '2019-12-31');\n"
                 "COMMIT;");
    struct Case {
        const char* Name;
        bool Trim;   // poTrimCharFields
        int StartId;   // the record the cursor is on first
        const char* Keys;
        std::vector<Variant> Values;
        TLocateExOptions Options;
        bool FromFirst;
        TLocateExDirection Direction;
        bool Found;
        int EndId;     // the record the cursor is on afterwards
    };
    const bool trim = true;   // the default
    const Case cases[] = {
        {"exact", trim, 1, "NAME", {Variant("bob")}, 0, true, ldFirst, true, 3},
        {"exact is case-sensitive", trim, 1, "NAME", {Variant("BOB")}, 0, true, ldFirst, false, 1},
        {"exact does not take a prefix", trim, 1, "NAME", {Variant("Bo")}, 0, true, ldFirst, false, 1},
        {"CHAR padded, untrimmed", false, 1, "CODE", {Variant("abc")}, 0, true, ldFirst, false, 1},
        {"CHAR padded, value padded", false, 2, "CODE", {Variant("abc       ")}, 0, true, ldFirst, true, 1},
        {"CHAR with poTrimCharFields", trim, 2, "CODE", {Variant("abc")}, 0, true, ldFirst, true, 1},
        {"case-insensitive partial", trim, 1, "NAME", {Variant("ab")}, lxCaseInsensitive | lxPartialKey, true, ldFirst,
         true, 2},
        {"case-insensitive", trim, 1, "NAME", {Variant("BOBBY")}, lxCaseInsensitive, true, ldFirst, true, 6},
        {"LIKE mask", trim, 1, "NAME", {Variant("_o%")}, lxSqlMask, true, ldFirst, true, 3},
        {"LIKE mask, quote inside", trim, 1, "NAME", {Variant("O'%")}, lxSqlMask, true, ldFirst, true, 4},
        {"NULL key", trim, 1, "NAME", {Variant::Null()}, 0, true, ldFirst, true, 5},
        {"NULL key of several", false, 1, "K;CODE", {Variant::Null(), Variant("x         ")}, 0, true, ldFirst, true, 2},
        {"several keys", false, 1, "K;CODE", {Variant(int32_t(20)), Variant("y         ")}, 0, true, ldFirst, true, 4},
        {"several keys, one differs", trim, 1, "K;NAME", {Variant(int32_t(10)), Variant("bob")}, 0, true, ldFirst, false,
         1},
        {"ldNext skips the current record", trim, 3, "K", {Variant(int32_t(20))}, 0, false, ldNext, true, 4},
        {"ldNext finds none after", trim, 4, "K", {Variant(int32_t(20))}, 0, false, ldNext, false, 4},
        {"ldPrior goes backward", trim, 6, "K", {Variant(int32_t(20))}, 0, false, ldPrior, true, 4},
        {"ldPrior finds none before", trim, 1, "K", {Variant(int32_t(10))}, 0, false, ldPrior, false, 1},
        {"scaled number, rounded", trim, 1, "PRICE", {Variant(12.1234)}, 0, true, ldFirst, true, 1},
        {"scaled number as text", trim, 1, "PRICE", {Variant("99999999999999.9999")}, 0, true, ldFirst, true, 6},
        {"date", trim, 1, "D", {Variant::FromDate(43830.0)}, 0, true, ldFirst, true, 6},   // 2019-12-31
        {"number key as text", trim, 1, "K", {Variant("30")}, 0, true, ldFirst, true, 5},
    };
    for (const Case& c : cases) {
        OpenDataSet("SELECT * FROM L ORDER BY ID", 0, c.Trim ? 0 : SetOf<TpFIBDsOptions>(poTrimCharFields));
        ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(c.StartId)), 0));
        EXPECT_EQ(DS->ExtLocate(c.Keys, c.Values, c.Options, c.FromFirst, c.Direction, true), c.Found) << c.Name;
        EXPECT_EQ(CurrentId(), c.EndId) << c.Name;
        DS.reset();
    }

    // A sorted search with lxNearest stops where a missing value would be.
    OpenDataSet("SELECT * FROM L ORDER BY ID");
    DS->DoSortEx({"K", "ID"}, {true, true});   // NULL(2), 10(1), 10(6), 20(3), 20(4), 30(5)
    const TLocateExOptions sorted = lxSortedSearch | lxNearest;
    const struct {
        std::vector<Variant> Values;
        bool Found;
        int EndId;
    } nearest[] = {
        {{Variant(int32_t(20)), Variant(int32_t(4))}, true, 4},
        {{Variant(int32_t(15)), Variant(int32_t(0))}, false, 3},
        {{Variant(int32_t(10)), Variant(int32_t(5))}, false, 6},
        {{Variant(int32_t(5)), Variant(int32_t(0))}, false, 1},
        {{Variant::Null(), Variant(int32_t(2))}, true, 2},
    };
    for (const auto& n : nearest) {
        DS->Last();
        EXPECT_EQ(DS->ExtLocate("K;ID", n.Values, sorted, true, ldFirst, true), n.Found) << VarToStr(n.Values[0]);
        EXPECT_EQ(CurrentId(), n.EndId) << VarToStr(n.Values[0]);
    }
    // A key past the last record goes to the end; the first of a run of equal keys is found.
    EXPECT_FALSE(DS->ExtLocate("K;ID", {Variant(int32_t(99)), Variant(int32_t(0))}, sorted, true, ldFirst, true));
    EXPECT_TRUE(DS->Eof());
    EXPECT_TRUE(DS->ExtLocate("K", {Variant(int32_t(20))}, lxSortedSearch, true, ldFirst, true));
    EXPECT_EQ(CurrentId(), 3);
    // Locate never bisects: on a sorted data set it still finds a case-insensitive prefix.
    EXPECT_TRUE(DS->Locate("NAME", Variant("anN"), loCaseInsensitive | loPartialKey));
    EXPECT_EQ(CurrentId(), 1);
    EXPECT_THROW(DS->Locate("NOPE", Variant(int32_t(1)), 0), std::exception);
}

TEST_F(SortLocateTest, LookupAnswersTheValuesOrNullAndKeepsTheCursor) {
    OpenDatabase("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), PRICE NUMERIC(18,4));\n"
                 "INSERT INTO P VALUES (1, 'Ann', 1.5); INSERT INTO P VALUES (2, 'Bob', NULL);\n"
                 "INSERT INTO P VALUES (3, 'Cid', 12.1234); COMMIT;");
    OpenDataSet("SELECT * FROM P ORDER BY ID");
    DS->Next();
    EXPECT_EQ(VarToStr(DS->Lookup("ID", Variant(int32_t(3)), "NAME")), "Cid");
    EXPECT_EQ(VarToStr(DS->Lookup("NAME", Variant("Cid"), "PRICE")), "12.1234");
    const Variant both = DS->Lookup("ID", Variant(int32_t(1)), "NAME;PRICE");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(VarToStr(both.GetElement({0})), "Ann");
    EXPECT_EQ(VarToStr(both.GetElement({1})), "1.5");
    EXPECT_TRUE(DS->Lookup("ID", Variant(int32_t(2)), "PRICE").IsNull());   // a null value
    EXPECT_TRUE(DS->Lookup("ID", Variant(int32_t(9)), "NAME").IsNull());    // no record
    EXPECT_TRUE(DS->Lookup("ID", Variant(int32_t(1)), " ").IsNull());
    EXPECT_EQ(CurrentId(), 2);
}

TEST_F(SortLocateTest, PostedRecordKeepsItsSortedPlace) {
    OpenDatabase("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, Q INTEGER);\n"
                 "INSERT INTO P VALUES (1, 10); INSERT INTO P VALUES (2, 20); INSERT INTO P VALUES (3, 30);\n"
                 "INSERT INTO P VALUES (4, 40); INSERT INTO P VALUES (5, 50); COMMIT;");
    for (const bool keep : {true, false}) {
        OpenDataSet("SELECT ID, Q FROM P ORDER BY ID", keep ? SetOf<TpFIBDsOptions>(poKeepSorting) : 0);
        DS->SetUpdateTransaction(&UpdateTr);
        DS->UpdateSQL().SetText("UPDATE P SET Q = ?Q WHERE ID = ?OLD_ID");
        DS->InsertSQL().SetText("INSERT INTO P (ID, Q) VALUES (?ID, ?Q)");
        DS->RefreshSQL().SetText("SELECT ID, Q FROM P WHERE ID = ?ID");
        DS->SetRefreshTransactionKind(tkUpdateTransaction);
        DS->DoSortEx({"Q"}, {true});
        const std::vector<std::pair<int, int>> edits = {{2, 45}, {5, 5}, {1, 35}};   // ID, new Q
        for (const auto& [id, q] : edits) {
            ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(id)), 0));
            DS->Edit();
            DS->FieldByName("Q")->SetAsInteger(q);
            DS->Post();
            EXPECT_EQ(CurrentId(), id);
        }
        if (keep) {
            EXPECT_EQ(Ids(), (std::vector<int>{5, 3, 1, 4, 2}));
            // A new record goes to its place too.
            DS->Insert();
            DS->FieldByName("ID")->SetAsInteger(6);
            DS->FieldByName("Q")->SetAsInteger(32);
            DS->Post();
            EXPECT_EQ(CurrentId(), 6);
            EXPECT_EQ(Ids(), (std::vector<int>{5, 3, 6, 1, 4, 2}));
            EXPECT_TRUE(DS->IsSorted());
            // A record whose sort value the server changed moves when it is read again.
            TFIBQuery change;
            change.SetDatabase(&Database);
            change.SetTransaction(&UpdateTr);
            change.SQL().SetText("UPDATE P SET Q = 1 WHERE ID = 4");
            change.ExecQuery();
            ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(4)), 0));
            DS->Refresh();
            EXPECT_EQ(CurrentId(), 4);
            EXPECT_EQ(Ids(), (std::vector<int>{4, 5, 3, 6, 1, 2}));
        } else {
            EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5}));   // where they were
            EXPECT_FALSE(DS->IsSorted());
        }
        UpdateTr.Rollback();
        DS.reset();
    }
}

} // namespace
} // namespace qnl
