#include "platform/AnsiText.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(AnsiCompareText, FoldsAsciiAndWesternLettersOnly) {
    EXPECT_EQ(AnsiCompareText("Create Index", "CREATE INDEX"), 0);
    EXPECT_EQ(AnsiCompareText("\xE9t\xE9", "\xC9T\xC9"), 0);   // été / ÉTÉ
    EXPECT_EQ(AnsiCompareText("\x9A\xFF", "\x8A\x9F"), 0);      // šÿ / ŠŸ
    EXPECT_NE(AnsiCompareText("\xF7", "\xD7"), 0);              // ÷ and × are no letters
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    EXPECT_GT(AnsiCompareText("abcd", "ABC"), 0);
    EXPECT_LT(AnsiCompareText("", "a"), 0);
    EXPECT_NE(AnsiCompareText("a b", "ab"), 0);
}
