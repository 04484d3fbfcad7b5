#include "client/StdFuncs.h"
#include "platform/DataSet.h"
#include "platform/Exceptions.h"

#include "../platform/VectorDataSet.h"

#include <gtest/gtest.h>

#include <limits>

namespace qnl {
namespace {

TEST(ScaledInt64ToStr, ImpliedDecimals) {
    struct Case {
        int Decimals;
        char Separator;
        int64_t Value;
        const char* Expected;
    };
    const Case cases[] = {
        {2, '.', 123, "1.23"},
        {2, '.', 120, "1.2"},
        {2, '.', 100, "1"},
        {2, '.', -5, "-0.05"},
        {2, '.', 0, "0"},
        {0, '.', 1234, "1234"},
        {-2, '.', -1234, "-1234"},
        {3, ',', 1500, "1,5"},
        {4, '.', std::numeric_limits<int64_t>::min(), "-922337203685477.5808"},
        {18, '.', std::numeric_limits<int64_t>::max(), "9.223372036854775807"},
        {19, '.', 1, "0.0000000000000000001"},
    };
    for (const Case& c : cases) {
        std::string text;
        ScaledInt64ToStr(c.Decimals, c.Separator, text, c.Value);
        EXPECT_EQ(c.Expected, text) << c.Value << " with " << c.Decimals;
    }
}

TEST(BCDConversions, RoundTripThroughScaledIntegers) {
    struct Case {
        int Decimals;
        int64_t Value;
        const char* Text;
    };
    const Case cases[] = {
        {2, -125, "-1.25"},
        {0, 0, "0"},
        {4, 10000, "1"},
        {3, 5, "0.005"},
        {0, std::numeric_limits<int64_t>::max(), "9223372036854775807"},
        {0, std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
        {18, std::numeric_limits<int64_t>::min(), "-9.223372036854775808"},
    };
    for (const Case& c : cases) {
        TBcd bcd;
        ASSERT_TRUE(Int64ToBCD(c.Decimals, bcd, c.Value));
        EXPECT_EQ(c.Text, BcdToStr(bcd)) << c.Value;
        int64_t value = 1;
        int decimals = -1;
        ASSERT_TRUE(BCDToInt64(bcd, value, decimals)) << c.Text;
        EXPECT_EQ(c.Value, value);
        EXPECT_EQ(c.Decimals, decimals);
    }
}

TEST(BCDConversions, EdgesOfTheRange) {
    TBcd bcd;
    int64_t value;
    int decimals;
    ASSERT_TRUE(TryStrToBcd("-12.345", bcd));
    ASSERT_TRUE(BCDToInt64(bcd, value, decimals));
    EXPECT_EQ(-12345, value);
    EXPECT_EQ(3, decimals);
    // Precision 0 is zero.
    EXPECT_TRUE(BCDToInt64(TBcd{}, value, decimals));
    EXPECT_EQ(0, value);
    // Digits beyond 64 bits do not convert.
    ASSERT_TRUE(TryStrToBcd("9223372036854775808", bcd));
    EXPECT_FALSE(BCDToInt64(bcd, value, decimals));
    ASSERT_TRUE(TryStrToBcd("-9223372036854775808", bcd));
    EXPECT_TRUE(BCDToInt64(bcd, value, decimals));
    EXPECT_EQ(std::numeric_limits<int64_t>::min(), value);
    ASSERT_TRUE(TryStrToBcd("123456789012345678901234567890", bcd));
    EXPECT_FALSE(BCDToInt64(bcd, value, decimals));

    long double extended = 0;
    ASSERT_TRUE(TryStrToBcd("1.25", bcd));
    ASSERT_TRUE(BCDToExtended(bcd, extended));
    EXPECT_DOUBLE_EQ(1.25, static_cast<double>(extended));
    ASSERT_TRUE(TryStrToBcd("0.000000000000000001", bcd));   // 18 places
    EXPECT_TRUE(BCDToExtended(bcd, extended));
    ASSERT_TRUE(TryStrToBcd("0.0000000000000000001", bcd));  // 19 places: beyond the table
    EXPECT_FALSE(BCDToExtended(bcd, extended));
}

TEST(TimeStamps, DateZeroIsTheTimeOfDayAlone) {
    EXPECT_DOUBLE_EQ(0.5, SafeTimeStampToDateTime({43200000, 0}));
    EXPECT_DOUBLE_EQ(0.25, TimeMSecsToDateTime(21600000));
    EXPECT_DOUBLE_EQ(0.0, SafeTimeStampToDateTime({0, DateDelta}));
    EXPECT_DOUBLE_EQ(1.5, SafeTimeStampToDateTime({43200000, DateDelta + 1}));
    // Before 1899-12-30 the time of day counts away from zero.
    EXPECT_DOUBLE_EQ(-1.5, SafeTimeStampToDateTime({43200000, DateDelta - 1}));
    EXPECT_THROW(SafeTimeStampToDateTime({-1, DateDelta}), EConvertError);
}

TEST(Numbers, SmallHelpers) {
    EXPECT_EQ(4294967298LL, MakeInt64(1, 2));
    EXPECT_EQ(-1, MakeInt64(-1, -1));
    EXPECT_EQ(4294967295LL, MakeInt64(0, -1));

    // The fraction is rounded with ties to even; the integer part stays.
    EXPECT_DOUBLE_EQ(2.12, static_cast<double>(RoundExtended(2.125L, 2)));
    EXPECT_DOUBLE_EQ(2.38, static_cast<double>(RoundExtended(2.375L, 2)));
    EXPECT_DOUBLE_EQ(-1.12, static_cast<double>(RoundExtended(-1.125L, 2)));
    EXPECT_DOUBLE_EQ(2.0, static_cast<double>(RoundExtended(2.5L, 0)));
    EXPECT_DOUBLE_EQ(1e-18, E10(-18));
    EXPECT_DOUBLE_EQ(1e18, E10(18));

    EXPECT_EQ(31, HexToInt("1F"));
    EXPECT_EQ(16, HexToInt("1f"));   // a lower-case letter counts as 0
    EXPECT_EQ(255, HexToInt("FF"));
    EXPECT_EQ(0, HexToInt(""));
    EXPECT_EQ(8, SetBit(0, 3, true));
    EXPECT_EQ(0xFE, SetBit(0xFF, 0, false));

    EXPECT_TRUE(IsZeroNumberText("0.00"));
    EXPECT_FALSE(IsZeroNumberText(""));
    EXPECT_FALSE(IsZeroNumberText("0.01"));
}

TEST(Numbers, RandomDigitsAndRanges) {
    for (int length : {1, 12, 40}) {
        std::string digits = RandomDigits(length);
        EXPECT_EQ(static_cast<size_t>(length), digits.size());
        EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789")) << digits;
    }
    for (int i = 0; i < 200; ++i) {
        int r = RandomInRange(5, 8);
        EXPECT_GE(r, 5);
        EXPECT_LE(r, 7);
    }
}

TEST(ComponentFullName, OuterOwnerFirstUnnamedSkipped) {
    TComponent dm;
    dm.SetName("DM");
    TComponent* unnamed = new TComponent(&dm);
    TComponent* q1 = new TComponent(unnamed);
    q1->SetName("Q1");
    EXPECT_EQ("DM.Q1", ComponentFullName(q1));
    EXPECT_EQ("DM", ComponentFullName(&dm));
    EXPECT_EQ("", ComponentFullName(nullptr));
}

TEST(FormatNumericStr, DisplayFormats) {
    struct Case {
        const char* Format;
        const char* Number;
        const char* Expected;
    };
    const Case cases[] = {
        {"#,##0.00", "1234.5", "1,234.50"},
        {"#,##0.00", "1234567.891", "1,234,567.89"},
        {"#,##0.00", "-1234567", "-1,234,567.00"},
        {"#,##0", "-1234.5", "-1,235"},
        {"0.00;(0.00)", "-3.4", "(3.40)"},
        {"0.00;(0.00)", "3.4", "3.40"},
        {"0.00;(0.00);zero", "0", "zero"},
        {"0.00;(0.00);zero", "0.5", "0.50"},
        {"0.00;(0.00)", "0", "0.00"},
        {".00", "0.5", ".50"},
        {".00", "-0.5", "-.50"},
        {"0.00", "2.345", "2.35"},
        {"0.00", "9.999", "10.00"},
        {"$0.00", "5", "$5.00"},
        {"0.00 EUR", "5", "5.00 EUR"},
        {"0.00 EUR", "2.345", "2.35 EUR"},
        {"0.00;(0.00)", "-123.456789", "(123.46)"},
        {"0.00;", "5", "5.00"},
        {"0", "7.5", "8"},
        {"no digits", "5", "no digits"},
        {"", "5", ""},
        {"0.00", "", ""},
    };
    for (const Case& c : cases) {
        std::string result = "stale";
        FormatNumericStr(c.Format, c.Number, false, result);
        EXPECT_EQ(c.Expected, result) << c.Format << " with " << c.Number;
    }
}

// Money and fixed texts of a currency: rounded half away from zero at the digits asked for,
// the symbol placed as the settings say, the lowest currency without overflow.
TEST(CurrToStrF, MoneyAndFixedForms) {
    struct Case {
        int64_t Scaled;
        TFloatFormat Format;
        int Digits;
        uint8_t CurrencyFormat, NegCurrFormat;
        const char* Expected;
    };
    const Case cases[] = {
        {12345678, ffCurrency, 2, 0, 0, "$1,234.57"},
        {-12345678, ffCurrency, 2, 0, 0, "($1,234.57)"},
        {-12345678, ffFixed, 2, 0, 0, "-1234.57"},
        {12345, ffCurrency, 0, 3, 0, "1 $"},
        {-5000, ffCurrency, 0, 0, 1, "-$1"},
        {-49, ffCurrency, 2, 0, 1, "$0.00"},
        {-12345, ffCurrency, 1, 0, 15, "(1.2 $)"},
        {-12345, ffCurrency, 3, 0, 8, "-1.235 $"},
        {10001, ffFixed, 6, 0, 0, "1.000100"},
        {INT64_MIN, ffFixed, 4, 0, 0, "-922337203685477.5808"},
        {INT64_MIN, ffCurrency, 0, 0, 0, "($922,337,203,685,478)"},
    };
    for (const Case& c : cases) {
        FormatSettings.CurrencyFormat = c.CurrencyFormat;
        FormatSettings.NegCurrFormat = c.NegCurrFormat;
        const std::string text = CurrToStrF(Currency::FromScaled(c.Scaled), c.Format, c.Digits);
        FormatSettings = TFormatSettings{};
        EXPECT_EQ(text, c.Expected) << c.Scaled << " " << c.Digits;
    }
    // Every digit of a BCD, and a currency's four decimals, reach the format.
    TBcd bcd;
    ASSERT_TRUE(TryStrToBcd("-12345678901234567890.125", bcd));
    EXPECT_EQ(FormatBcd("#,##0.00", bcd), "-12,345,678,901,234,567,890.13");
    EXPECT_EQ(FormatCurr("0.000", Currency::FromScaled(-5)), "-0.001");
}

// A data set whose old values cannot be read.
class TNoOldValues : public test::TVectorDataSet {
public:
    using TVectorDataSet::GetFieldData;
    bool GetFieldData(TField* Field, void* Buffer) override {
        if (State() == dsOldValue) throw EDatabaseError("no old values");
        return TVectorDataSet::GetFieldData(Field, Buffer);
    }
};

TEST(StdFuncs, RawFieldDataReadsTheOldValueInItsState) {
    TNoOldValues ds;
    ds.Columns = {{"ID", ftInteger}, {"PRICE", ftBCD, 2}};
    TBcd price;
    ASSERT_TRUE(TryStrToBcd("12.34", price));
    ds.Source = {{Variant(int32_t{1}), Variant(price)}, {Variant(int32_t{2}), Variant::Null()}};
    ds.Open();
    TField* field = ds.FieldByName("PRICE");
    ds.Edit();
    field->SetAsString("56.78");
    Variant value;
    BCDFieldValueToVariant(field, false, value);
    EXPECT_EQ("56.78", value.AsString());
    EXPECT_THROW(BCDFieldValueToVariant(field, true, value), EDatabaseError);
    EXPECT_EQ(dsEdit, ds.State()) << "the state comes back after a read that raised";
    ds.Cancel();

    test::TVectorDataSet plain;
    plain.Columns = ds.Columns;
    plain.Source = ds.Source;
    plain.Open();
    TField* stored = plain.FieldByName("PRICE");
    plain.Edit();
    stored->SetAsString("56.78");
    BCDFieldValueToVariant(stored, true, value);
    EXPECT_EQ("12.34", value.AsString());
    EXPECT_EQ(dsEdit, plain.State());
    plain.Cancel();
    plain.Next();
    BCDFieldValueToVariant(stored, false, value);
    EXPECT_TRUE(value.IsEmpty()) << "no data";
}

} // namespace
} // namespace qnl
