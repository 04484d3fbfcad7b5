#include "client/zUZIVivav.h"
#include "platform/Assertions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qnl;

namespace {

// Counts its own destruction, so the tests see which objects the list frees.
class Counted : public TObject {
public:
    explicit Counted(int& Freed) : FFreed(Freed) {}
    ~Counted() override { ++FFreed; }

private:
    int& FFreed;
};

std::vector<int32_t> Values(const TSortedList& l) {
    std::vector<int32_t> r;
    for (int i = 0; i < l.GetCount(); ++i) r.push_back(l.GetValue(i));
    return r;
}

} // namespace

TEST(ObjStringList, HashedModeFindsStringsThatShareAHash) {
    // (66 - 32) * 37 + (97 - 32) == (67 - 32) * 37 + (60 - 32)
    ASSERT_EQ(TObjStringList::HashOf("Ba"), TObjStringList::HashOf("C<"));
    int freed = 0;
    {
        TObjStringList list(nullptr, true);
        Counted* ba = new Counted(freed);
        Counted* c = new Counted(freed);
        list.AddObject("Ba", std::unique_ptr<TObject>(ba));
        list.AddObject("zz", std::make_unique<Counted>(freed));
        list.AddObject("C<", std::unique_ptr<TObject>(c));
        int index = -1;
        ASSERT_TRUE(list.Find("Ba", index));
        EXPECT_EQ(list.GetObject(index), ba);
        ASSERT_TRUE(list.Find("C<", index));
        EXPECT_EQ(list.GetObject(index), c);
        const int cIndex = index;
        EXPECT_FALSE(list.Find("ba", index));   // case counts
        // A string already there keeps its object; the newcomer is freed.
        EXPECT_EQ(list.AddObject("C<", std::make_unique<Counted>(freed)), cIndex);
        EXPECT_EQ(freed, 1);
        EXPECT_EQ(list.Count(), 3);
        // Taking a line out hands its object back instead of freeing it.
        std::unique_ptr<TObject> taken = list.Remove("Ba");
        EXPECT_EQ(taken.get(), ba);
        EXPECT_FALSE(list.Find("Ba", index));
        EXPECT_TRUE(list.Find("C<", index));
        EXPECT_EQ(freed, 1);
    }
    EXPECT_EQ(freed, 4);   // the list freed the two it still held, "taken" its own
}

TEST(ObjStringList, HashedModeKeepsManySqlTextsFindable) {
    TObjStringList list(nullptr, true);
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) {
        // Long texts that differ only where the hash does not sample collide often.
        texts.push_back("SELECT GEN_ID(GEN_" + std::to_string(i % 7) + ", 1) FROM RDB$DATABASE /*" + std::to_string(i) + "*/");
        texts.push_back("S" + std::to_string(i));
    }
    for (const std::string& t : texts) list.AddObject(t, nullptr);
    ASSERT_EQ(list.Count(), static_cast<int>(texts.size()));
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LE(TObjStringList::HashOf(list.Strings(i - 1)), TObjStringList::HashOf(list.Strings(i)));
    for (const std::string& t : texts) {
        int index = -1;
        ASSERT_TRUE(list.Find(t, index)) << t;
        EXPECT_EQ(list.Strings(index), t);
    }
}

TEST(ObjStringList, PlainModeIsSortedWithoutCase) {
    TObjStringList list(nullptr, false);
    list.AddObject("b", nullptr);
    list.AddObject("A", nullptr);
    EXPECT_EQ(list.AddObject("B", nullptr), 1);   // already there
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Strings(0), "A");
    int index;
    EXPECT_FALSE(list.Find("c", index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(list.Remove("a"), nullptr);
    EXPECT_EQ(list.Count(), 1);
}

TEST(SortedList, AddFindAndShiftRanges) {
    TSortedList l;
    EXPECT_EQ(l.LastValue(), -1);
    for (int v : {5, 3, 9, 3}) l.Add(v);
    EXPECT_EQ(Values(l), (std::vector<int32_t>{3, 5, 9}));
    EXPECT_EQ(l.Add(3), 0);
    EXPECT_EQ(l.LastValue(), 9);
    int index;
    EXPECT_FALSE(l.Find(6, index));
    EXPECT_EQ(index, 2);
    l.Remove(5);
    l.Remove(4);
    EXPECT_EQ(Values(l), (std::vector<int32_t>{3, 9}));

    struct Case {
        int32_t A, B, Delta;
        std::vector<int32_t> Result;
    } cases[] = {
        {4, 9, 1, {3, 6, 10, 12}},  {9, 4, 1, {3, 6, 10, 12}},  {4, 8, -1, {3, 4, 9, 12}},
        {13, 20, 1, {3, 5, 9, 12}}, {0, 2, 1, {3, 5, 9, 12}},   {0, 100, 2, {5, 7, 11, 14}},
        {12, 12, 1, {3, 5, 9, 13}},
    };
    for (const Case& c : cases) {
        TSortedList r;
        for (int v : {3, 5, 9, 12}) r.Add(v);
        r.IncValuesInRange(c.A, c.B, c.Delta);
        EXPECT_EQ(Values(r), c.Result) << c.A << ".." << c.B;
    }
    TSortedList empty;
    empty.IncValuesInRange(1, 2, 1);
    EXPECT_EQ(empty.GetCount(), 0);

    TSortedList from;
    for (int v : {3, 5, 9, 12}) from.Add(v);
    from.IncValuesFrom(6, 1);
    EXPECT_EQ(Values(from), (std::vector<int32_t>{3, 5, 10, 13}));
    from.IncValuesFrom(5, -1);
    EXPECT_EQ(Values(from), (std::vector<int32_t>{3, 4, 9, 12}));
}

TEST(StringCollection, GrowsByHalfAndChecksIndexes) {
    TStringCollection c(2);
    EXPECT_EQ(c.AddRecord(), 1);
    EXPECT_EQ(c.Capacity(), 128);
    for (int i = 2; i <= 128; ++i) c.AddRecord();
    EXPECT_EQ(c.Capacity(), 128);
    EXPECT_EQ(c.AddRecord(), 129);
    EXPECT_EQ(c.Capacity(), 192);

    c.SetValue(1, 128, "last");
    EXPECT_EQ(c.GetValue(1, 128), "last");
    try {
        c.GetValue(2, 0);
        FAIL() << "bad X accepted";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Can't read value to StrCollection. Bad X-Index (zUZIVivav)");
    }
    EXPECT_THROW(c.GetValue(0, 129), EAssertionFailed);
    try {
        c.SetValue(0, 129, "x");
        FAIL() << "bad Y accepted";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Can't write value to StrCollection. Bad Y-Index (zUZIVivav)");
    }
    EXPECT_THROW(c.SetValueBuf(2, 0, 1, "x"), EAssertionFailed);
    EXPECT_EQ(c.GetValuePtr(2, 0), nullptr);
    EXPECT_EQ(c.GetValuePtr(0, 129), nullptr);
    ASSERT_NE(c.GetValuePtr(1, 128), nullptr);
    EXPECT_EQ(*c.GetValuePtr(1, 128), "last");

    const char buffer[] = "abc\0def";
    c.SetValueBuf(0, 0, -1, buffer);
    EXPECT_EQ(c.GetValue(0, 0), "abc");
    c.SetValueBuf(0, 0, 7, buffer);
    EXPECT_EQ(c.GetValue(0, 0), std::string(buffer, 7));
    c.SetValueBuf(0, 0, 0, buffer);
    EXPECT_EQ(c.GetValue(0, 0), "");
}

TEST(StringCollection, DeleteRecordMovesLaterRecordsDown) {
    TStringCollection c(2);
    for (int y = 0; y < 3; ++y) {
        c.AddRecord();
        c.SetValue(0, y, "a" + std::to_string(y));
        c.SetValue(1, y, "b" + std::to_string(y));
    }
    c.DeleteRecord(0);
    ASSERT_EQ(c.YCount(), 2);
    EXPECT_EQ(c.GetValue(0, 0), "a1");
    EXPECT_EQ(c.GetValue(1, 1), "b2");
    EXPECT_EQ(c.AddRecord(), 3);
    EXPECT_EQ(c.GetValue(0, 2), "");
    EXPECT_EQ(c.GetValue(1, 2), "");
    c.Clear();
    EXPECT_EQ(c.YCount(), 0);
    EXPECT_EQ(c.Capacity(), 0);
    EXPECT_EQ(c.XCount(), 2);
    EXPECT_EQ(c.AddRecord(), 1);
    EXPECT_EQ(c.GetValue(0, 0), "");
}
