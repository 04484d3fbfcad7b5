// The 64-bit integer text conversion: the edges of the range in decimal and hexadecimal.
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

} // namespace
} // namespace qnl
