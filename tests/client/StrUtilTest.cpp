#include "client/StrUtil.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(StrUtil, NeedQuoteDecisions) {
    struct Case {
        const char* Id;
        bool Quote;
    } cases[] = {
        {"ORDER", true},    {"ORDERS", false},  {"1A", true},     {"A-B", true},       {"Name", true},
        {"A", false},       {"\"a b\"", false}, {"CHAR", true},   {"CUST_NO", false},  {"", false},
        {"A1", false},      {"A$", false},      {"$A", true},     {"_A", true},        {"ROWS", true},
        {"INT64", true},    {"SUBSTRING", true}, {"GEN_ID", true}, {"X_", false},      {"AA", false},
        {"ZZTOP", false},   {"YEARDAY", true},  {"FREE_IT", true}, {"ACTIVE", true},   {"A B", true},
        {"ORDER\xe4", true},
    };
    for (const Case& c : cases) EXPECT_EQ(NeedQuote(c.Id), c.Quote) << c.Id;
}

TEST(StrUtil, NeedQuoteNoCaseAcceptsLowerCaseLetters) {
    struct Case {
        const char* Id;
        bool Quote;
    } cases[] = {{"order", true}, {"Order", true}, {"Customer", false}, {"cust no", true}, {"rows", true},
                 {"Int64", true}, {"x", false},    {"1a", true}};
    for (const Case& c : cases) EXPECT_EQ(NeedQuoteNoCase(c.Id), c.Quote) << c.Id;
}

TEST(StrUtil, EveryReservedWordIsFoundThroughItsLetterPairIndex) {
    const TStringList& words = ReservedWords();
    ASSERT_EQ(words.Count(), 307);   // ROWS stands twice
    for (int i = 1; i < words.Count(); ++i) EXPECT_LE(CompareText(words[i - 1], words[i]), 0);
    for (int i = 0; i < words.Count(); ++i) {
        const std::string& w = words[i];
        const TReservedWordRange r = ReservedWordRange(w[0], w[1]);
        EXPECT_LE(r.From, i) << w;
        EXPECT_GE(r.To, i) << w;
        EXPECT_TRUE(NeedQuote(w)) << w;
        std::string lower = w;
        LowerCaseInPlace(lower);
        EXPECT_TRUE(NeedQuoteNoCase(lower)) << lower;
        EXPECT_TRUE(NeedQuote(lower)) << lower;   // lower case alone needs quotes
    }
    // Pairs without a word answer an empty range.
    EXPECT_EQ(ReservedWordRange('Q', 'Q').From, 0);
    EXPECT_EQ(ReservedWordRange('Q', 'Q').To, 0);
}

TEST(StrUtil, EqualStrFoldsOnlyAsciiLetters) {
    struct Case {
        const char* A;
        const char* B;
        bool CaseSensitive;
        bool Equal;
    } cases[] = {
        {"Customer", "CUSTOMER", false, true}, {"Customer", "CUSTOMER", true, false}, {"@", "`", false, false},
        {"1", "Q", false, false},              {"[", "{", false, false},              {"abc", "abd", false, false},
        {"ab", "abc", false, false},           {"", "", false, true},                 {"a_1", "A_1", false, true},
        {"\xc4", "\xe4", false, false},
    };
    for (const Case& c : cases) EXPECT_EQ(EqualStr(c.A, c.B, c.CaseSensitive), c.Equal) << c.A << " / " << c.B;
}

TEST(StrUtil, SQLMaskCompareMatchesLike) {
    struct Case {
        const char* S;
        const char* Mask;
        bool Match;
    } cases[] = {
        {"ABC", "A%", true},    {"ABC", "A_C", true},   {"ABC", "%C", true},    {"", "%", true},
        {"ABC", "a%", false},   {"ABC", "%_C", true},   {"ABC", "%B_", true},   {"ABC", "%%C", true},
        {"ABC", "%_", true},    {"ABC", "___", true},   {"ABC", "____", false}, {"ABC", "_", false},
        {"ABC", "%D", false},   {"AB", "A_C", false},   {"A", "A%%", true},     {"", "%%", true},
        {"ABC", "ABC", true},   {"ABC", "AB", false},   {"ABCBC", "%BC", true}, {"ABXC", "A%C", true},
        {"ACXB", "A%C", false}, {"", "_", false},       {"", "A", false},       {"AXBXC", "A%B%C", true},
        {"AXCXB", "A%B%C", false},
        // "*" and "?" are plain characters here, but runs after a "*" are compressed first.
        {"A*B", "A*?*B", true}, {"A**B", "A**B", false}, {"A*", "A**", true},
    };
    for (const Case& c : cases) EXPECT_EQ(SQLMaskCompare(c.S, c.Mask), c.Match) << c.S << " LIKE " << c.Mask;
    EXPECT_TRUE(SQLMaskCompareW(u"\u00c4BC", u"%_C"));
    EXPECT_FALSE(SQLMaskCompareW(u"\u00c4BC", u"\u00e4%"));
}

TEST(StrUtil, WordRoutines) {
    const TCharSet comma = MakeCharSet(",");
    EXPECT_EQ(ExtractWord(2, "a,,b", comma), "b");
    EXPECT_EQ(ExtractWord(3, "a,,b", comma), "");
    EXPECT_EQ(ExtractWord(1, ",,", comma), ",,");
    EXPECT_EQ(ExtractWord(1, "", comma), "");
    EXPECT_EQ(ExtractWord(0, "a,b", comma), "");
    EXPECT_EQ(ExtractWord(1, ",,first,", comma), "first");
    EXPECT_EQ(WordCount("a,,b", comma), 2);
    EXPECT_EQ(WordCount(",,", comma), 0);
    EXPECT_EQ(WordCount(",x,y,z", comma), 3);

    const TCharSet sep = MakeCharSet(" ,()");
    // A rejected occurrence does not stop the search.
    EXPECT_EQ(PosWholeWord("ID", "PID, IDX, ID", sep, sep), 11);
    EXPECT_EQ(PosWholeWord("ID", "ID", sep, sep), 1);
    EXPECT_EQ(PosWholeWord("ID", "IDS", sep, sep), 0);
    EXPECT_EQ(PosWholeWordUpper("id", "select pid, Id from t", sep, sep, false), 13);

    EXPECT_EQ(ReplaceStr("AAA", "AA", "B"), "BA");
    EXPECT_EQ(ReplaceStr("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceStr("abc", "z", "x"), "abc");
    EXPECT_EQ(ReplaceStr("a.b.c", ".", "--"), "a--b--c");
    EXPECT_EQ(ReplaceStr("xAyA", "A", ""), "xy");
    EXPECT_EQ(ReplaceStr("ab", "ab", "cd"), "cd");
    EXPECT_EQ(ReplaceStrNoCase("select a From t", "FROM", "from", false), "select a from t");
    EXPECT_EQ(ReplaceStrNoCase("x\xe4y", "\xc4", "-", false), "x\xe4y");   // no folding beyond ASCII
    EXPECT_EQ(ReplaceInRange("aaaa", "a", "b", 2, 3), "abba");
    EXPECT_EQ(ReplaceInRange("aaaa", "aa", "b", 2, 4), "aba");

    std::string name, value;
    SplitNameValue("Key=a=b", name, value);
    EXPECT_EQ(name, "Key");
    EXPECT_EQ(value, "a=b");
    SplitNameValue("Key", name, value);
    EXPECT_EQ(name, "Key");
    EXPECT_EQ(value, "");
    EXPECT_EQ(ValueAfterEquals("none"), "");
}

TEST(StrUtil, StripQuotes) {
    struct Case {
        const char* S;
        const char* Result;
    } cases[] = {
        {"'abc'", "abc"}, {"  \"a b\" \r\n", "a b"}, {"abc", "abc"},     {"'", "'"},     {"x'", "x'"},
        {"\"'a'\"", "'a'"}, {"\"'a'", "a"},          {"   ", "   "},     {"''", ""},      {"'a'\x01", "'a'\x01"},
        {"'a\"", "'a\""},
    };
    for (const Case& c : cases) EXPECT_EQ(StripQuotes(c.S), c.Result) << c.S;
}

TEST(StrUtil, TrimCopyAndTests) {
    int first = -1, last = -1;
    TrimBounds("", first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    TrimBounds("   ", first, last);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 0);
    TrimBounds(" ab\t", first, last);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 3);
    EXPECT_EQ(FastTrim("\r\n x y \t"), "x y");
    EXPECT_EQ(FastTrim(" \n "), "");
    EXPECT_EQ(FastTrim(""), "");
    std::string s = "ab  ";
    TrimRightSpacesInPlace(s);
    EXPECT_EQ(s, "ab");
    s = "ab\t";
    TrimRightSpacesInPlace(s);   // spaces only
    EXPECT_EQ(s, "ab\t");

    EXPECT_EQ(FastCopy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(FastCopy("abcdef", 5, 10), "ef");
    EXPECT_EQ(FastCopy("abcdef", 7, 1), "");
    EXPECT_EQ(FastCopy("abcdef", 1, 0), "");
    s = "select";
    UpperCaseRangeInPlace(s, 2, 3);
    EXPECT_EQ(s, "sELect");
    UpperCaseRangeInPlace(s, 5, 0);
    EXPECT_EQ(s, "sELeCT");

    struct NumCase {
        const char* S;
        bool Numeric;
    } nums[] = {{"+-12.5", true}, {"-", false}, {"1e5", false}, {"", false}, {"007", true}, {"1-2", false}};
    for (const NumCase& c : nums) EXPECT_EQ(IsNumericStr(c.S), c.Numeric) << c.S;

    EXPECT_TRUE(IsOldParamName("old_x"));
    EXPECT_FALSE(IsOldParamName("OLD_"));
    EXPECT_FALSE(IsOldParamName("OLDX_A"));
    EXPECT_TRUE(IsNewParamName("New_ID"));
    EXPECT_TRUE(IsMasParamName("MaS_ID"));
    EXPECT_FALSE(IsMasParamName("NEW_ID"));
    EXPECT_TRUE(EmptyOrBlank(" \t\r\n"));
    EXPECT_FALSE(IsBlankStr(" x "));
    EXPECT_EQ(CharPosFrom('a', "banana", 3), 4);
    EXPECT_EQ(CharPosFrom('a', "banana", 7), 0);
    EXPECT_EQ(PosFromLimit("na", "banana", 1, 4), 3);
    EXPECT_EQ(PosFromLimit("na", "banana", 4, 5), 0);   // would end past the limit
    EXPECT_EQ(PosFrom("na", "banana", 4), 5);
    EXPECT_EQ(Utf8DecodeStr("a\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80"), u"a\u00e4\u20ac\U0001F600");
}

// Wide text is upper-cased by Unicode's own mapping, whatever the process locale (the 8-bit
// routines fold ASCII only): one code point for one, so the length stays.
TEST(StrUtil, WideUpperCaseIsUnicodeInEveryLocale) {
    struct Case {
        std::u16string Text;
        std::u16string Upper;
    } cases[] = {
        {u"abc xyz 09_", u"ABC XYZ 09_"},
        {u"\u00e4rger \u00f8l \u00e9t\u00e9", u"\u00c4RGER \u00d8L \u00c9T\u00c9"},   // Latin-1
        {u"\u0436\u0443\u043a \u03b1\u03c9", u"\u0416\u0423\u041a \u0391\u03a9"},   // Cyrillic, Greek
        {u"stra\u00dfe i", u"STRA\u00dfE I"},   // no letter for a simple upper sharp s; i is I in every locale
        {u"\U00010428x", u"\U00010400X"},        // a surrogate pair becomes a pair
        {{u'a', char16_t{0xD800}, u'b'}, {u'A', char16_t{0xD800}, u'B'}},   // a lone half stays
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::u16string text = cases[i].Text;
        WideUpperCaseInPlace(text);
        EXPECT_TRUE(text == cases[i].Upper) << "case " << i;
    }
}

TEST(StrUtil, StringListHelpers) {
    TStringList source;
    int objects[3];
    source.AddObject("A", &objects[0]);
    source.AddObject("", nullptr);
    source.AddObject("b", &objects[2]);
    TStringList filter;
    filter.SetSorted(true);
    filter.Add("B");   // case-insensitive sorted filter
    TStringList dest;
    dest.Add("old");
    ExcludeStrings(source, filter, dest);
    ASSERT_EQ(dest.Count(), 2);
    EXPECT_EQ(dest[0], "A");
    EXPECT_EQ(dest.Objects(0), &objects[0]);
    EXPECT_EQ(IndexOfExact(source, "a"), -1);
    EXPECT_EQ(IndexOfExact(source, "b"), 2);
    RemoveEmptyLines(source);
    EXPECT_EQ(source.Count(), 2);
    TStringList blanks;
    EXPECT_TRUE(IsEmptyStrings(blanks));
    blanks.Add("  ");
    EXPECT_TRUE(IsEmptyStrings(blanks));
    blanks.Add(" x");
    EXPECT_FALSE(IsEmptyStrings(blanks));
}

TEST(StrUtil, GuidTextRoundTripAndErrors) {
    TGUID g;
    g.D1 = 0x2CB9280F;
    g.D2 = 0x2324;
    g.D3 = 0x40CD;
    g.D4 = {0xBF, 0xB4, 0x42, 0xC0, 0xFD, 0x36, 0x10, 0x7F};
    const std::string text = GUIDAsString(g);
    EXPECT_EQ(text, "{2CB9280F-2324-40CD-BFB4-42C0FD36107F}");
    EXPECT_TRUE(GUIDsEqual(StringAsGUID(text), g));
    EXPECT_EQ(CompareGUIDWithStr(g, text), 0);
    EXPECT_LT(CompareGUIDWithStr(g, "{1"), 0);

    const char* lower = "{2cb9280f-2324-40cd-bfb4-42c0fd36107f}";
    try {
        StringAsGUID(lower);
        FAIL() << "lower-case hex accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), std::string("'") + lower + "' is not a valid GUID value");
    }
    EXPECT_THROW(StringAsGUID("{2CB9280F-2324-40CD-BFB4-42C0FD36107F"), EConvertError);
    EXPECT_THROW(StringAsGUID("{2CB9280F+2324-40CD-BFB4-42C0FD36107F}"), EConvertError);
    // Characters below 'F' that are not hex digits count as 0.
    EXPECT_EQ(StringAsGUID("{:0000001-0000-0000-0000-000000000000}").D1, 1u);
}

TEST(StrUtil, NormalizeDateTimeTextRewritesLiterals) {
    struct Case {
        const char* S;
        int Kind;
        const char* Result;
    } cases[] = {
        {"25-DEC-2020", 1, "25.12.2020"},      {"2020-12-25", 1, "2020/12/25"},
        {"12/25/2020", 1, "12/25/2020"},       {"5.1.2021", 1, "05.01.2021"},
        {"now", 1, "NOW"},                     {"  ", 0, ""},
        {"25.12.2020 10:30:05", 0, "25.12.2020 10:30:05"}, {"2020-12-25 7:05", 0, "2020/12/25 07:05:00"},
        {"03-MAR-1999 23:59:59", 0, "03.03.1999 23:59:59"}, {"9:5", 2, "09:05:00"},
        {"25.12.2020", 7, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeDateTimeText(c.S, c.Kind), c.Result) << c.S;

    // Settings are put back, also when the text does not convert.
    const TFormatSettings before = FormatSettings;
    EXPECT_THROW(NormalizeDateTimeText("31.02.2020", 1), EConvertError);
    EXPECT_THROW(NormalizeDateTimeText("25-dec-2020", 1), EConvertError);   // abbreviations are upper case
    EXPECT_EQ(FormatSettings.DateSeparator, before.DateSeparator);
    EXPECT_EQ(FormatSettings.ShortDateFormat, before.ShortDateFormat);
    EXPECT_EQ(FormatSettings.ShortTimeFormat, before.ShortTimeFormat);

    // The format decides the order of day and month for the one call only.
    EXPECT_DOUBLE_EQ(StrToDateTimeFmt("12.25.2020 12:00", "mm.dd.yyyy"), EncodeDate(2020, 12, 25) + 0.5);
    EXPECT_THROW(StrToDateTimeFmt("12.25.2020", "dd.mm.yyyy"), EConvertError);
    EXPECT_EQ(FormatSettings.ShortDateFormat, before.ShortDateFormat);
}
