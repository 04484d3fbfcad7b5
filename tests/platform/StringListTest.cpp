#include "platform/StringList.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(StringList, SortedCaseInsensitiveIgnoresDuplicatesAndOrdersByAsciiBytes) {
    TStringList l;
    l.SetSorted(true);
    for (const char* s : {"b", "_x", "A", "a", "Z", "\xe4"}) l.Add(s);
    // "a" is a duplicate of "A"; '_' (0x5F) sorts after the folded letters 'A'..'Z'; 0xE4 is last.
    ASSERT_EQ(l.Count(), 5);
    EXPECT_EQ(l.Text(), "A\r\nb\r\nZ\r\n_x\r\n\xe4\r\n");
    int idx = -1;
    EXPECT_TRUE(l.Find("B", idx));
    EXPECT_EQ(idx, 1);
    EXPECT_FALSE(l.Find("c", idx));
    EXPECT_EQ(idx, 2);  // where "c" would go
}

TEST(StringList, CaseSensitiveSortedKeepsBothCasesInByteOrder) {
    TStringList l;
    l.SetCaseSensitive(true);
    l.SetSorted(true);
    l.Add("b");
    l.Add("B");
    l.Add("a");
    EXPECT_EQ(l.Text(), "B\r\na\r\nb\r\n");
    EXPECT_EQ(l.IndexOf("A"), -1);
}

TEST(StringList, TextSplitsEveryLineBreakStyleAndNameValuePairs) {
    TStringList l;
    l.SetText("one\r\ntwo\nthree\rfour\n");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l[3], "four");
    l.SetText("MasterDB=/a/b.fdb\nFlag=1");
    EXPECT_EQ(l.Values("masterdb"), "/a/b.fdb");
    l.SetValue("Flag", "0");
    EXPECT_EQ(l.Values("Flag"), "0");
    l.SetValue("Flag", "");
    EXPECT_EQ(l.IndexOfName("Flag"), -1);
}
