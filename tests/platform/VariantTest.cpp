#include "platform/Variant.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace qnl {
namespace {

TEST(Bcd, CurrencyConversionsBothWays) {
    struct Case {
        int64_t Scaled;
        int Decimals;
        const char* Text;
    };
    const Case cases[] = {
        {12500, 4, "1.25"},
        {-12500, 4, "-1.25"},
        {0, 4, "0"},
        {5, 4, "0.0005"},
        {12345, 2, "1.23"},   // rounded half away from zero at 2 places
        {12355, 2, "1.24"},
        {-12355, 2, "-1.24"},
        {10000, 6, "1"},
        {std::numeric_limits<int64_t>::max(), 4, "922337203685477.5807"},
        {std::numeric_limits<int64_t>::min(), 4, "-922337203685477.5808"},
    };
    for (const Case& c : cases) {
        TBcd bcd;
        ASSERT_TRUE(CurrToBCD(Currency::FromScaled(c.Scaled), bcd, 32, c.Decimals)) << c.Text;
        EXPECT_EQ(32, bcd.Precision);
        EXPECT_EQ(c.Decimals, bcd.Places());
        EXPECT_EQ(c.Text, BcdToStr(bcd));
        if (c.Decimals == 4) {
            Currency back;
            ASSERT_TRUE(BCDToCurr(bcd, back));
            EXPECT_EQ(c.Scaled, back.Scaled);
        }
    }
    // Integer digits beyond the precision do not fit.
    TBcd bcd;
    EXPECT_FALSE(CurrToBCD(Currency::FromScaled(1000000), bcd, 4, 4));
    EXPECT_TRUE(CurrToBCD(Currency::FromScaled(10000), bcd, 5, 4));
}

TEST(Bcd, TextAndCurrencyLimits) {
    TBcd bcd;
    ASSERT_TRUE(TryStrToBcd("-0012.3400", bcd));
    EXPECT_TRUE(bcd.IsNegative());
    EXPECT_EQ(4, bcd.Places());
    EXPECT_EQ("-12.34", BcdToStr(bcd));
    EXPECT_EQ("-12,34", BcdToStr(bcd, ','));
    ASSERT_TRUE(TryStrToBcd(".5", bcd));
    EXPECT_EQ("0.5", BcdToStr(bcd));
    ASSERT_TRUE(TryStrToBcd("-0", bcd));
    EXPECT_EQ("0", BcdToStr(bcd));
    for (const char* bad : {"", "-", "1.2.3", "1e5", " 1", "12a"}) EXPECT_FALSE(TryStrToBcd(bad, bcd)) << bad;

    Currency c;
    ASSERT_TRUE(TryStrToBcd("1.23456", bcd));
    ASSERT_TRUE(BCDToCurr(bcd, c));
    EXPECT_EQ(12346, c.Scaled);
    ASSERT_TRUE(TryStrToBcd("922337203685477.5808", bcd));
    EXPECT_FALSE(BCDToCurr(bcd, c));
    ASSERT_TRUE(TryStrToBcd("-922337203685477.5808", bcd));
    ASSERT_TRUE(BCDToCurr(bcd, c));
    EXPECT_EQ(std::numeric_limits<int64_t>::min(), c.Scaled);
}

TEST(Variant, KindsAndValues) {
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_TRUE(Variant::Null().IsNull());
    EXPECT_EQ(varInteger, Variant(int32_t{5}).VarType());
    EXPECT_EQ(varSmallint, Variant(int16_t{5}).VarType());
    EXPECT_EQ(varInt64, Variant(int64_t{1} << 40).VarType());
    EXPECT_EQ(int64_t{1} << 40, Variant(int64_t{1} << 40).AsInt64());
    EXPECT_EQ(varDouble, Variant(1.5).VarType());
    EXPECT_EQ(varDate, Variant::FromDate(2.5).VarType());
    EXPECT_EQ(2.5, Variant::FromDate(2.5).AsDouble());
    EXPECT_EQ(varCurrency, Variant(Currency{12500}).VarType());
    EXPECT_EQ(varBoolean, Variant(true).VarType());
    EXPECT_EQ(varString, Variant("abc").VarType());
    EXPECT_EQ("abc", Variant("abc").AsString());
    EXPECT_EQ(varOleStr, Variant(std::u16string(u"w")).VarType());
    EXPECT_EQ(varByte, Variant::FromInteger(200, varByte).VarType());
    TBcd bcd;
    ASSERT_TRUE(TryStrToBcd("1.5", bcd));
    EXPECT_EQ(varFMTBcd, Variant(bcd).VarType());
    EXPECT_EQ("1.5", BcdToStr(Variant(bcd).AsBcd()));
    EXPECT_THROW(Variant("abc").AsInt64(), std::bad_variant_access);
}

TEST(Variant, ArraysKeepTheirBounds) {
    Variant a = Variant::CreateArray({{1, 3}, {-2, 2}}, varInteger);
    EXPECT_TRUE(a.IsArray());
    EXPECT_EQ(varArray | varInteger, a.VarType());
    EXPECT_EQ(2, a.DimCount());
    EXPECT_EQ(1, a.LowBound(1));
    EXPECT_EQ(3, a.HighBound(1));
    EXPECT_EQ(-2, a.LowBound(2));
    EXPECT_EQ(-1, a.HighBound(2));
    EXPECT_EQ(6, a.ElementCount());
    EXPECT_EQ(0, a.GetElement({3, -1}).AsInt64());
    a.PutElement({3, -1}, Variant(int32_t{7}));
    a.PutElement({1, -2}, Variant(int32_t{1}));
    EXPECT_EQ(7, a.GetElement({3, -1}).AsInt64());
    EXPECT_EQ(1, a.GetElement({1, -2}).AsInt64());
    EXPECT_EQ(0, a.GetElement({1, -1}).AsInt64());
    EXPECT_THROW(a.GetElement({0, -1}), std::out_of_range);
    EXPECT_THROW(a.GetElement({3, 0}), std::out_of_range);
    EXPECT_THROW(a.GetElement({3}), std::out_of_range);
    Variant mixed = Variant::CreateArray({{0, 2}}, varVariant);
    EXPECT_TRUE(mixed.GetElement({1}).IsEmpty());
    // An element count beyond an int is refused before anything is allocated, however the
    // product of the dimensions would wrap.
    EXPECT_THROW(Variant::CreateArray({{1, 65536}, {1, 65536}}, varVariant), std::length_error);
    EXPECT_THROW(Variant::CreateArray(std::vector<TVarArrayBound>(16, {1, 65536}), varVariant), std::length_error);
}

} // namespace
} // namespace qnl
