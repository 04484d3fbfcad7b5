// The limited cache model against real Firebird 3: walks forward and backward through 250 rows
// with at most 100 held visit exactly isql's order for ORDER BYs over nullable columns of several
// types, a bookmark is found again after its row left the window, and the locate by SELECT
// takes its keys as values, never as SQL.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qnl {
namespace {

constexpr int Rows = 250;

// Nullable sort columns full of NULLs and ties; ID breaks them.
std::string Ddl() {
    std::string ddl = "CREATE TABLE W (ID INTEGER NOT NULL PRIMARY KEY, I INTEGER, N NUMERIC(18,4), D DATE,\n"
                      "  V VARCHAR(12), B BOOLEAN, T TIME);\n";
    uint32_t seed = 4711;
    auto next = [&](uint32_t Range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % Range;
    };
    const char* const words[] = {"O'Brien", "alpha", "Beta", "", "x", "x' or '1'='1"};
    for (int id = 1; id <= Rows; ++id) {
        auto value = [&](const std::string& Text) { return next(5) == 0 ? std::string("NULL") : Text; };
        const int k = static_cast<int>(next(9)) - 4;
        const std::string word = words[next(5)];   // the injection text is never stored
        std::string quoted;
        for (char c : word) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        ddl += "INSERT INTO W VALUES (" + std::to_string(id) + ", " + value(std::to_string(k)) + ", " +
               value(std::to_string(k * 1234567) + ".5678") + ", " +
               value("'" + std::to_string(1 + next(3) * 700) + "-0" + std::to_string(1 + next(9)) + "-01'") + ", " +
               value("'" + quoted + "'") + ", " + value(next(2) ? "TRUE" : "FALSE") + ", " +
               value("'1" + std::to_string(next(3)) + ":00:00." + std::to_string(1000 + next(9000)) + "'") + ");\n";
    }
    return ddl + "COMMIT;\n";
}

class LimitedCacheTest : public test::DataSetKit {
protected:
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
    }
    void OpenLimited(const std::string& Select) {
        DS = NewDataSet("DS");
        DS->SetUpdateTransaction(&Transaction);
        DS->SetSelectSQL(Select);
        DS->CacheModelOptions().SetBufferChunks(100);
        DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize);
        DS->Open();
    }
    int Id() { return DS->FieldByName("ID")->AsInteger(); }
    // The window never holds more than BufferChunks rows.
    void ExpectWindowBounded(const std::string& Where) {
        EXPECT_LE(DS->RecordCount(), 100) << Where;
        EXPECT_LE(DS->WindowLast() - DS->WindowFirst() + 1, 100) << Where;
    }

    std::unique_ptr<TpFIBDataSet> DS;
};

TEST_F(LimitedCacheTest, WalksVisitIsqlsOrderHoldingOnlyTheWindow) {
    const char* const orders[] = {
        "I, ID", "N DESC, ID", "D, ID DESC", "V DESC, ID", "B, I DESC, ID", "I NULLS LAST, ID",
        "V, N DESC NULLS FIRST, ID", "B DESC, D, V, ID", "T DESC, ID",
        // Orders that leave rows tied: the primary key completes them.
        "I", "B DESC, V",
    };
    OpenDatabase(Ddl());
    std::vector<std::vector<int>> expected;
    for (const std::string order : orders) {
        std::vector<int> ids;
        const std::string complete = order.find("ID") == std::string::npos ? order + ", ID" : order;
        for (const std::string& r : IsqlRows("SELECT '<<' || ID || '>>' FROM W ORDER BY " + complete))
            ids.push_back(std::stoi(r));
        ASSERT_EQ(ids.size(), static_cast<size_t>(Rows)) << order;
        expected.push_back(ids);
    }
    Attach();
    for (size_t c = 0; c < std::size(orders); ++c) {
        OpenLimited(std::string("SELECT ID, I, N, D, V, B, T FROM W ORDER BY ") + orders[c]);
        // Each walk turns at an end of the window: the rows beyond it come through the
        // statements that continue after (or before) the row at its edge.
        const std::vector<int> reversed(expected[c].rbegin(), expected[c].rend());
        auto walk = [&](bool Forward) {
            std::vector<int> ids;
            while (Forward ? !DS->Eof() : !DS->Bof()) {
                ids.push_back(Id());
                ExpectWindowBounded(orders[c]);
                if (Forward) DS->Next();
                else DS->Prior();
            }
            return ids;
        };
        DS->First();
        EXPECT_EQ(walk(true), expected[c]) << orders[c] << ": forward";
        EXPECT_EQ(walk(false), reversed) << orders[c] << ": back from the end";
        EXPECT_EQ(walk(true), expected[c]) << orders[c] << ": forward from the start";
        DS->Last();
        EXPECT_EQ(walk(false), reversed) << orders[c] << ": Last, then back";
        EXPECT_EQ(walk(true), expected[c]) << orders[c] << ": forward after Last";
        DS->First();
        EXPECT_EQ(Id(), expected[c].front()) << orders[c];
        DS.reset();
    }
}

TEST_F(LimitedCacheTest, BookmarkIsFoundAfterItsRowLeftTheWindow) {
    OpenDatabase(Ddl());
    OpenLimited("SELECT ID, I, N, V, T FROM W ORDER BY T DESC, N DESC, V, ID");   // row 10 has a time
    DS->MoveBy(9);   // row 10
    const int tenth = Id();
    const TBookmark mark = DS->GetBookmark();
    DS->MoveBy(230);   // row 240
    ASSERT_GT(DS->WindowFirst(), 9);
    DS->GotoBookmark(mark);
    EXPECT_EQ(Id(), tenth);
    DS->Next();   // and the walk goes on from there
    DS->Prior();
    EXPECT_EQ(Id(), tenth);
    ExpectWindowBounded("after the bookmark");
}

TEST_F(LimitedCacheTest, LocateTakesKeysAsValues) {
    OpenDatabase(Ddl());
    std::vector<int> order, obriens;
    for (const std::string& r : IsqlRows("SELECT '<<' || ID || '>>' FROM W ORDER BY I DESC, ID")) order.push_back(std::stoi(r));
    for (const std::string& r : IsqlRows("SELECT '<<' || ID || '>>' FROM W WHERE V = 'O''Brien' ORDER BY I DESC, ID"))
        obriens.push_back(std::stoi(r));
    ASSERT_GT(obriens.size(), 2u);
    Attach();
    OpenLimited("SELECT ID, I, N, V FROM W ORDER BY I DESC, ID");
    DS->Last();
    EXPECT_TRUE(DS->Locate("V", Variant("O'Brien"), 0));
    EXPECT_EQ(DS->FieldByName("V")->AsString(), "O'Brien");
    const int first = Id();
    // Every next match after the current record, and back.
    std::vector<int> matches{first};
    while (DS->LocateForPartialCache("V", {Variant("O'Brien")}, 0, ldNext, nullptr)) matches.push_back(Id());
    EXPECT_EQ(matches, obriens);
    std::vector<int> back;
    while (DS->LocateForPartialCache("V", {Variant("O'Brien")}, 0, ldPrior, nullptr)) back.push_back(Id());
    EXPECT_EQ(back, std::vector<int>(obriens.rbegin() + 1, obriens.rend()));
    // The window was fetched around the row found: the rows before it come back in order.
    ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(order[200])), 0));
    std::vector<int> before;
    for (; !DS->Bof(); DS->Prior()) before.push_back(Id());
    EXPECT_EQ(before, std::vector<int>(order.rend() - 201, order.rend()));
    ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(first)), 0));
    EXPECT_FALSE(DS->Locate("V", Variant("x' or '1'='1"), 0));
    EXPECT_FALSE(DS->Locate("V", Variant("x' or '1'='1"), loPartialKey));
    EXPECT_EQ(Id(), first);   // not found: the cursor stays
    EXPECT_TRUE(DS->Locate("V", Variant("o'b"), loPartialKey | loCaseInsensitive));
    EXPECT_EQ(DS->FieldByName("V")->AsString(), "O'Brien");
    Variant keys = Variant::CreateArray({{0, 2}}, varVariant);
    keys.PutElement({0}, Variant(int32_t(2)));
    keys.PutElement({1}, Variant("2469134.5678"));
    EXPECT_TRUE(DS->Locate("I;N", keys, 0));
    EXPECT_EQ(DS->FieldByName("N")->AsString(), "2469134.5678");
    ExpectWindowBounded("after the locates");
    // Lookup does not move the cursor.
    const int here = Id();
    EXPECT_EQ(VarToStr(DS->Lookup("ID", Variant(int32_t(Rows)), "ID")), std::to_string(Rows));
    EXPECT_EQ(Id(), here);
}

TEST_F(LimitedCacheTest, EditedRowsTakeTheirPlaceInTheOrder) {
    OpenDatabase(Ddl());
    DS = NewDataSet("DS");
    DS->SetUpdateTransaction(&Transaction);
    DS->SetSelectSQL("SELECT ID, I, V FROM W ORDER BY I, ID");
    DS->UpdateSQL().SetText("UPDATE W SET I = ?I, V = ?V WHERE ID = ?OLD_ID");
    DS->InsertSQL().SetText("INSERT INTO W (ID, I, V) VALUES (?ID, ?I, ?V)");
    DS->DeleteSQL().SetText("DELETE FROM W WHERE ID = ?OLD_ID");
    DS->RefreshSQL().SetText("SELECT ID, I, V FROM W WHERE ID = ?ID");
    DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize);
    DS->Open();
    EXPECT_NE(test::ErrorOf([&] { DS->SetCachedUpdates(true); }), "no error");

    DS->MoveBy(49);
    const int moved = Id();
    DS->Edit();
    DS->FieldByName("I")->SetAsInteger(100);   // after every other row: far beyond the window
    DS->Post();
    EXPECT_EQ(Id(), moved);
    DS->Next();
    EXPECT_TRUE(DS->Eof());

    DS->Insert();
    DS->FieldByName("ID")->SetAsInteger(1000);
    DS->FieldByName("I")->SetAsInteger(-100);   // after the NULLs, before every value
    DS->FieldByName("V")->SetAsString("new");
    DS->Post();
    EXPECT_EQ(Id(), 1000);
    DS->Prior();
    EXPECT_TRUE(DS->FieldByName("I")->IsNull());
    DS->Next();
    DS->Next();
    EXPECT_FALSE(DS->FieldByName("I")->IsNull());

    ASSERT_TRUE(DS->Locate("ID", Variant(int32_t(7)), 0));
    DS->Delete();
    EXPECT_NE(Id(), 7);
    ExpectWindowBounded("after the edits");

    std::vector<int> walk;
    for (DS->First(); !DS->Eof(); DS->Next()) walk.push_back(Id());
    Transaction.Commit();
    std::vector<int> isql;
    for (const std::string& r : IsqlRows("SELECT '<<' || ID || '>>' FROM W ORDER BY I, ID")) isql.push_back(std::stoi(r));
    EXPECT_EQ(walk, isql);
    EXPECT_EQ(std::count(isql.begin(), isql.end(), 1000), 1);
    EXPECT_EQ(isql.back(), moved);
    EXPECT_EQ(std::count(isql.begin(), isql.end(), 7), 0);
}

TEST_F(LimitedCacheTest, NeedsAnOrderBy) {
    OpenDatabase(Ddl());
    DS = NewDataSet("DS");
    DS->SetUpdateTransaction(&Transaction);
    DS->SetSelectSQL("SELECT ID FROM W");
    EXPECT_NE(test::ErrorOf([&] { DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize); })
                  .find("Can't use limited cache"),
              std::string::npos);
    DS->SetSelectSQL("SELECT ID FROM W ORDER BY ID");
    DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize);
    EXPECT_EQ(DS->CacheModelOptions().BufferChunks(), 100);
    DS->SetSelectSQL("SELECT ID FROM W");
    EXPECT_EQ(test::ErrorOf([&] { DS->Open(); }), "Form1.DS:Can't find or parse ORDER BY statement.");
}

} // namespace
} // namespace qnl
