// The integer text conversions: the edges of the ranges in decimal and hexadecimal.
#include "platform/IntText.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

TEST(IntText, SixtyFourBitTexts) {
    struct TCase {
        const char* Text;
        bool Ok;
        int64_t Value;
    } cases[] = {
        {"4294967296", true, 4294967296LL},
        {"  -12", true, -12},
        {"+7", true, 7},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999", false, 0},
        {"$FFFFFFFFFFFFFFFF", true, -1},
        {"0x7fffffffffffffff", true, INT64_MAX},
        {"$10000000000000000", false, 0},
        {"5.0", false, 0},
        {"12 ", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"$", false, 0},
    };
    for (const TCase& c : cases) {
        int64_t value = 0;
        EXPECT_EQ(c.Ok, TryStrToInt64(c.Text, value)) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(c.Value, value) << c.Text;
        }
    }
}

TEST(IntText, ThirtyTwoBitTexts) {
    struct TCase {
        const char* Text;
        bool Ok;
        int32_t Value;
    } cases[] = {
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"$FFFFFFFF", true, -1},   // hexadecimal covers the whole 32-bit pattern
        {"-$1", true, -1},
        {"0x80000000", true, INT32_MIN},
        {"$100000000", false, 0},
        {" 42", true, 42},
        {"42 ", false, 0},
        {"0x", false, 0},
        {"1e3", false, 0},
    };
    for (const TCase& c : cases) {
        int32_t value = 0;
        EXPECT_EQ(c.Ok, TryStrToInt(c.Text, value)) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(c.Value, value) << c.Text;
        }
    }
}

} // namespace
} // namespace qnl
