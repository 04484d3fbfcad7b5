// The framework's Variant operators: the loose Null rules, mixed kinds, and arithmetic that
// neither overflows in the machine nor divides by zero.
#include "platform/VariantOps.h"

#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace qnl {
namespace {

TEST(VariantOps, CompareTable) {
    const Variant null = Variant::Null(), empty;
    const struct {
        Variant A, B;
        int Result;
    } cases[] = {
        {null, null, 0},
        {null, Variant(int32_t{1}), -1},
        {Variant(int32_t{-5}), null, 1},
        {null, empty, -1},
        {empty, empty, 0},
        {empty, Variant(int32_t{0}), 0},
        {empty, Variant(""), 0},
        {empty, Variant(false), 0},
        {Variant(int16_t{3}), Variant(int64_t{3}), 0},
        {Variant(int64_t{INT64_MAX}), Variant(int64_t{INT64_MAX - 1}), 1},
        {Variant(Currency::FromScaled(1000)), Variant(0.1), 0},
        {Variant(Currency::FromScaled(1000)), Variant(int32_t{0}), 1},
        {Variant("abc"), Variant("abd"), -1},
        {Variant("B"), Variant("a"), -1},
        {Variant("\xC3\xA9"), Variant("z"), 1},
        {Variant("10"), Variant(int32_t{9}), 1},
        {Variant("true"), Variant(true), 0},
        {Variant(false), Variant(true), -1},
        {Variant("01.01.2000"), Variant::FromDate(EncodeDate(2000, 1, 1)), 0},
        {Variant(std::u16string(u"b")), Variant("a"), 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VarCompare(c.A, c.B), c.Result) << VarToStr(c.A) << " against " << VarToStr(c.B);
    EXPECT_THROW(VarCompare(Variant("x"), Variant(int32_t{1})), EConvertError);
}

TEST(VariantOps, ArithmeticTable) {
    using Op = TVarArithOp;
    const struct {
        Op Operation;
        Variant A, B;
        Variant Result;
    } cases[] = {
        {Op::Add, Variant::Null(), Variant(int32_t{1}), Variant::Null()},
        {Op::Multiply, Variant(int32_t{2}), Variant::Null(), Variant::Null()},
        {Op::Add, Variant(int32_t{2}), Variant(int32_t{3}), Variant(int32_t{5})},
        {Op::Add, Variant(int32_t{INT32_MAX}), Variant(int32_t{1}), Variant(int64_t{int64_t{INT32_MAX} + 1})},
        {Op::Multiply, Variant(int64_t{INT64_MAX}), Variant(int32_t{2}), Variant(2.0 * static_cast<double>(INT64_MAX))},
        {Op::Divide, Variant(int32_t{7}), Variant(int32_t{2}), Variant(3.5)},
        {Op::Modulo, Variant(int32_t{-7}), Variant(int32_t{3}), Variant(int32_t{-1})},
        {Op::Modulo, Variant(int64_t{INT64_MIN}), Variant(int32_t{-1}), Variant(int64_t{0})},
        {Op::Multiply, Variant(Currency::FromScaled(12500)), Variant(int32_t{2}), Variant(Currency::FromScaled(25000))},
        {Op::Subtract, Variant(Currency::FromScaled(INT64_MIN)), Variant(int32_t{1}),
         Variant(static_cast<double>(INT64_MIN) / 10000 - 1)},
        {Op::Add, Variant("ab"), Variant("cd"), Variant("abcd")},
        {Op::Subtract, Variant("5"), Variant(int32_t{2}), Variant(3.0)},
        {Op::Add, Variant::FromDate(10), Variant(int32_t{2}), Variant::FromDate(12)},
        {Op::Subtract, Variant::FromDate(10), Variant::FromDate(4), Variant(6.0)},
    };
    for (const auto& c : cases) {
        const Variant r = VarArith(c.Operation, c.A, c.B);
        EXPECT_EQ(r.VarType(), c.Result.VarType()) << VarToStr(c.A) << " op " << int(c.Operation) << " " << VarToStr(c.B);
        EXPECT_EQ(VarCompare(r, c.Result), 0) << VarToStr(r) << " against " << VarToStr(c.Result);
    }
    for (const Op op : {Op::Divide, Op::Modulo}) {
        EXPECT_THROW(VarArith(op, Variant(int32_t{1}), Variant(int32_t{0})), EZeroDivide);
        EXPECT_THROW(VarArith(op, Variant(1.5), Variant(0.0)), EZeroDivide);
    }
    EXPECT_TRUE(VarArith(Op::Divide, Variant::Null(), Variant(int32_t{0})).IsNull());
    EXPECT_THROW(VarArith(Op::Modulo, Variant(1e300), Variant(int32_t{7})), EVariantError);
}

TEST(VariantOps, NegateAndConversions) {
    EXPECT_EQ(VarNegate(Variant(int32_t{5})).AsInt64(), -5);
    EXPECT_EQ(VarNegate(Variant(int64_t{INT64_MIN})).VarType(), varDouble);
    EXPECT_TRUE(VarNegate(Variant::Null()).IsNull());
    EXPECT_EQ(VarNegate(Variant(Currency::FromScaled(5))).AsCurrency().Scaled, -5);
    EXPECT_FALSE(VarToBool(Variant::Null()));
    EXPECT_TRUE(VarToBool(Variant("TRUE")));
    EXPECT_TRUE(VarToBool(Variant(int32_t{-1})));
    EXPECT_FALSE(VarToBool(Variant("0")));
    EXPECT_THROW(VarToBool(Variant("maybe")), EVariantError);
    EXPECT_DOUBLE_EQ(VarToDateTime(Variant("02.01.1900")), 3.0);
    EXPECT_THROW(VarToDateTime(Variant::Null()), EVariantError);
}

} // namespace
} // namespace qnl
