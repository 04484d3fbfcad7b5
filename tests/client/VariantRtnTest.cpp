// Variant comparison across kinds, Null and text, and the array walks.
#include "client/VariantRtn.h"

#include "platform/Exceptions.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

Variant Int(int32_t V) { return Variant(V); }
Variant I64(int64_t V) { return Variant(V); }
Variant Dbl(double V) { return Variant(V); }
Variant Curr(double V) { return Variant(Currency::FromScaled(static_cast<int64_t>(V * 10000))); }
Variant Kind(int64_t V, TVarType T) { return Variant::FromInteger(V, T); }
Variant Wide(const char16_t* S) { return Variant(std::u16string(S)); }

TBcd Bcd(const char* Text) {
    TBcd b;
    EXPECT_TRUE(TryStrToBcd(Text, b));
    return b;
}

struct TCase {
    const char* What;
    Variant A;
    Variant B;
    int Expected;
};

TEST(CompareVariants, AnswersByValueAcrossKinds) {
    const TCase cases[] = {
        {"Integer 3 and Double 3.0", Int(3), Dbl(3.0), 0},
        {"Double 1 and 1 + 1e-12 (tolerance)", Dbl(1.0), Dbl(1.0 + 1e-12), 0},
        {"Double 1 and 1 + 1e-9", Dbl(1.0), Dbl(1.0 + 1e-9), -1},
        {"Integer 2 and Int64 3", Int(2), I64(3), -1},
        {"Int64 beyond 32 bits", I64(5000000000LL), Int(7), 1},
        {"Smallint and Byte", Kind(-1, varSmallint), Kind(255, varByte), -1},
        {"LongWord is unsigned", Kind(4294967295LL, varLongWord), Int(-1), 1},
        {"ShortInt and Word", Kind(-128, varShortInt), Kind(0, varWord), -1},
        {"Integer 2 and Currency 2.0", Int(2), Curr(2.0), 0},
        {"Integer 2 and Currency 2.0001", Int(2), Curr(2.0001), -1},
        {"Currency 2.0 and Double 2.0", Curr(2.0), Dbl(2.0), 0},
        {"Currency 2.5 and Integer 2", Curr(2.5), Int(2), 1},
        {"Currency and Currency", Curr(-1.25), Curr(-1.5), 1},
        {"Currency and LongWord", Curr(1.0), Kind(4294967295LL, varLongWord), -1},
        {"Currency and text", Curr(1.5), Variant("1.5"), 0},
        {"huge Int64 against Currency does not overflow", I64(INT64_MAX), Curr(1.0), 1},
        {"Single and Double", Variant::FromSingle(0.5f), Dbl(0.5), 0},
        {"Date and Double", Variant::FromDate(45000.5), Dbl(45000.5), 0},
        {"Date and later Date", Variant::FromDate(45000.0), Variant::FromDate(45000.25), -1},
        {"Integer 5 and text 5", Int(5), Variant("5"), 0},
        {"Integer 5 and text 5.0", Int(5), Variant("5.0"), 0},
        {"Integer 5 and wide text 6", Int(5), Wide(u"6"), -1},
        {"Int64 5 and text 5", I64(5), Variant("5"), 0},
        {"Double and text with exponent", Dbl(1500), Variant("1.5E3"), 0},
        {"text b and text a", Variant("b"), Variant("a"), 1},
        {"text and wide text, same letter", Variant("a"), Wide(u"a"), 0},
        {"wide text and text", Wide(u"B"), Variant("a"), -1},                 // ordinal: 'B' < 'a'
        {"text is compared by bytes", Variant("\xC3\xA9"), Variant("z"), 1},
        {"text and Integer: the number as text", Variant("10"), Int(9), -1},  // "10" < "9"
        {"Integer and Boolean: not comparable", Int(1), Variant(true), 0},
        {"Integer and BCD by value", Int(12), Variant(Bcd("12.5")), -1},
        {"BCD and Integer by value", Variant(Bcd("12.5")), Int(12), 1},
        {"Boolean and Boolean", Variant(false), Variant(true), -1},
        {"Integer and Empty", Int(1), Variant(), 0},
    };
    for (const TCase& c : cases) EXPECT_EQ(c.Expected, CompareVariants(c.A, c.B)) << c.What;
}

TEST(CompareVariants, NullSortsBeforeEveryValueFromBothSides) {
    const Variant values[] = {Int(-5), I64(0), Dbl(-1e300), Curr(0), Variant::FromDate(0), Variant(""),
                              Wide(u""), Kind(0, varByte), Variant(false), Variant(Bcd("0"))};
    for (const Variant& v : values) {
        EXPECT_EQ(-1, CompareVariants(Variant::Null(), v)) << v.VarType();
        EXPECT_EQ(1, CompareVariants(v, Variant::Null())) << v.VarType();
    }
    EXPECT_EQ(0, CompareVariants(Variant::Null(), Variant::Null()));
}

TEST(CompareVariants, TextThatIsNotANumberRaisesTheConversionError) {
    EXPECT_THROW(CompareVariants(Int(5), Variant("x")), EConvertError);
    EXPECT_THROW(CompareVariants(Dbl(5), Wide(u"")), EConvertError);
    EXPECT_THROW(CompareVariants(Curr(5), Variant("5,0")), EConvertError);
    // The 64-bit comparer reads text as an integer.
    EXPECT_THROW(CompareVariants(I64(5), Variant("5.0")), EConvertError);
    try {
        CompareVariants(Int(5), Variant("x"));
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'x' is not a valid floating point value", e.what());
    }
    try {
        CompareVariants(I64(5), Variant("5.0"));
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'5.0' is not a valid integer value", e.what());
    }
}

TEST(CompareVariants, TheDecimalSeparatorOfTheSettingsReadsText) {
    const char saved = FormatSettings.DecimalSeparator;
    FormatSettings.DecimalSeparator = ',';
    EXPECT_EQ(0, CompareVariants(Dbl(2.5), Variant("2,5")));
    EXPECT_THROW(CompareVariants(Dbl(2.5), Variant("2.5")), EConvertError);
    EXPECT_EQ(0, CompareVariants(Variant("2,5"), Dbl(2.5)));   // the Double shown with ","
    FormatSettings.DecimalSeparator = saved;
}

Variant Array1(std::initializer_list<Variant> Items) {
    Variant a = Variant::CreateArray({{0, static_cast<int>(Items.size())}}, varVariant);
    int i = 0;
    for (const Variant& v : Items) a.PutElement({i++}, v);
    return a;
}

TEST(VarArraysEqual, ComparesElementsDownFromTheHighIndex) {
    EXPECT_TRUE(VarArraysEqual(Array1({Int(1), Variant(), Variant("x")}),
                               Array1({Dbl(1.0), Variant::Null(), Variant("x")}), 2));   // Empty counts as Null
    EXPECT_FALSE(VarArraysEqual(Array1({Int(1), Variant::Null()}), Array1({Int(1), Int(0)}), 1));
    EXPECT_FALSE(VarArraysEqual(Array1({Int(1), Int(2)}), Array1({Int(1), Int(3)}), 1));
    EXPECT_TRUE(VarArraysEqual(Array1({Int(1), Int(2)}), Array1({Int(1), Int(3)}), 0));   // only index 0
    EXPECT_TRUE(VarArraysEqual(Array1({}), Array1({}), -1));
    // Errors (an index beyond the array, text that is no number) answer false.
    EXPECT_FALSE(VarArraysEqual(Array1({Int(1)}), Array1({Int(1)}), 1));
    EXPECT_FALSE(VarArraysEqual(Array1({Int(1)}), Array1({Variant("x")}), 0));
    EXPECT_FALSE(VarArraysEqual(Int(1), Int(1), 0));
}

TEST(VarArrayWalk, TheOdometerMovesTheLastDimensionFastest) {
    Variant a = Variant::CreateArray({{0, 2}, {0, 3}}, varInteger);
    std::vector<int> indices = {0, 0};
    std::vector<std::vector<int>> seen = {indices};
    while (VarArrayNextIndex(a, indices)) seen.push_back(indices);
    EXPECT_EQ((std::vector<std::vector<int>>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}), seen);
    EXPECT_EQ((std::vector<int>{0, 0}), indices);   // wrapped back to the low bounds
}

TEST(VarArrayWalk, ForEachVisitsWithBoundsAndStopsWhenAsked) {
    Variant a = Variant::CreateArray({{1, 2}, {-1, 2}}, varInteger);
    int n = 0;
    for (int i = 1; i <= 2; ++i)
        for (int j = -1; j <= 0; ++j) a.PutElement({i, j}, Int(n++));
    std::vector<int64_t> values;
    int highDim = -1;
    EXPECT_TRUE(VarArrayForEach(a, [&](const Variant& E, const std::vector<int>&, bool&, int HighDim) {
        values.push_back(E.AsInt64());
        highDim = HighDim;
    }));
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 3}), values);
    EXPECT_EQ(1, highDim);

    std::vector<int> stoppedAt;
    EXPECT_FALSE(VarArrayForEach(a, [&](const Variant& E, const std::vector<int>& Indices, bool& Continue, int) {
        if (E.AsInt64() == 2) {
            Continue = false;
            stoppedAt = Indices;
        }
    }));
    EXPECT_EQ((std::vector<int>{2, -1}), stoppedAt);
    EXPECT_FALSE(VarArrayForEach(Int(1), [](const Variant&, const std::vector<int>&, bool&, int) {}));
    EXPECT_FALSE(VarArrayForEach(a, nullptr));
}

TEST(VarArrayWalk, ForEachModifyWritesTheOneNewValueBack) {
    Variant a = Array1({Int(1), Int(2), Int(3), Int(4)});
    // The visit sets a value only at index 1; index 0 gets the initial Empty and later
    // elements keep receiving what index 1 left.
    EXPECT_FALSE(VarArrayForEachModify(a, [](const Variant&, const std::vector<int>& Indices, bool& Continue,
                                             Variant& NewValue) {
        if (Indices[0] == 1) NewValue = Variant("x");
        if (Indices[0] == 3) Continue = false;
    }));
    EXPECT_TRUE(a.GetElement({0}).IsEmpty());
    EXPECT_EQ("x", a.GetElement({1}).AsString());
    EXPECT_EQ("x", a.GetElement({2}).AsString());
    EXPECT_EQ(4, a.GetElement({3}).AsInt64());   // the stopping visit writes nothing
    Variant notArray = Int(1);
    EXPECT_THROW(VarArrayForEachModify(notArray, [](const Variant&, const std::vector<int>&, bool&, Variant&) {}),
                 std::out_of_range);
}

} // namespace
} // namespace qnl
