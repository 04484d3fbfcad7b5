// The descriptor areas and their entries without a server: the area's layout and growth, column
// names, lookups by name, what each setter stores, one assignment reaching every parameter of
// its name, and what the entries tell their statement. Records are filled as the client's
// describe fills them.
#include "ErrorText.h"

#include "client/FIBQuery.h"
#include "client/StdFuncs.h"
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorText;

// Entry Index's record as a describe leaves it (the nullable bit in Type).
void Describe(TFIBXSQLDA& Area, int Index, int Type, int Length, const std::string& Alias = "", int Scale = 0,
              int Subtype = 0) {
    XSQLVAR& r = *Area[Index].GetXSQLVAR();
    r.sqltype = static_cast<ISC_SHORT>(Type);
    r.sqllen = static_cast<ISC_SHORT>(Length);
    r.sqlscale = static_cast<ISC_SHORT>(Scale);
    r.sqlsubtype = static_cast<ISC_SHORT>(Subtype);
    std::memcpy(r.aliasname, Alias.data(), Alias.size());
    r.aliasname_length = static_cast<ISC_SHORT>(Alias.size());
}

std::string Alias(const XSQLVAR& R) { return std::string(R.aliasname, static_cast<size_t>(R.aliasname_length)); }

// What a statement answers its areas, and what it heard from them.
class TAreaOwner : public IXSQLDAOwner {
public:
    TFIBDatabase* Database() const override { return nullptr; }
    TFIBTransaction* Transaction() const override { return nullptr; }
    TpFIBQueryOptions Options() const override { return QueryOptions; }
    bool Prepared() const override { return IsPrepared; }
    bool HasOutputRow() const override { return true; }
    TFIBXSQLDA* ParamsArea() const override { return Params; }
    TFIBXSQLDA* BindArea() const override { return Bind; }
    bool MacroChangesPending() const override { return MacroChanges > 0; }
    void ApplyPendingMacroChanges() override {}
    void ParamNullStateChanged() override { ++NullChanges; }
    void MacroValueChanged() override { ++MacroChanges; }
    void BlobParamsPending() override { ++BlobNotices; }
    void WritePendingBlobs(TFIBXSQLDA&) override {}
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool) override { return Status; }

    TpFIBQueryOptions QueryOptions = 0;
    bool IsPrepared = true;
    TFIBXSQLDA* Params = nullptr;
    TFIBXSQLDA* Bind = nullptr;
    int NullChanges = 0;
    int MacroChanges = 0;
    int BlobNotices = 0;
};

TEST(FIBXSQLDA, LayoutIsTheHeadersAndGrowthKeepsTheEntries) {
    TFIBXSQLDA area(false);
    area.SetCount(2);
    XSQLDA* buffer = area.AsXSQLDA();
    EXPECT_EQ(SQLDA_VERSION1, buffer->version);
    EXPECT_EQ(2, buffer->sqln);
    EXPECT_EQ(2, buffer->sqld);
    // 64-bit Linux: a 24-byte header and 160-byte records.
    EXPECT_EQ(reinterpret_cast<char*>(buffer) + 24 + 160, reinterpret_cast<char*>(area[1].GetXSQLVAR()));
    Describe(area, 0, SQL_LONG + 1, 4, "A");
    Describe(area, 1, SQL_VARYING, 10, "B");
    area.InitializeVars();
    area[0].SetAsInteger(42);
    TFIBXSQLVAR* first = &area[0];
    TFIBXSQLVAR* second = &area[1];

    area.SetCount(1);
    EXPECT_EQ(2, area.Allocated());
    EXPECT_EQ(1, area.AsXSQLDA()->sqld);
    EXPECT_EQ(first, &area[0]);
    EXPECT_EQ("XSQLDA index out of range.", ErrorText<EFIBClientError>([&] { area.GetVar(1); }));

    area.SetCount(3);
    EXPECT_EQ(3, area.Allocated());
    EXPECT_EQ(first, &area[0]);
    EXPECT_EQ(second, &area[1]);
    EXPECT_EQ(42, area[0].GetAsInteger()) << "the buffer moved, the value stays";
    EXPECT_EQ(reinterpret_cast<char*>(area.AsXSQLDA()) + 24 + 2 * 160, reinterpret_cast<char*>(area[2].GetXSQLVAR()));
    EXPECT_EQ("XSQLDA index out of range.", ErrorText<EFIBClientError>([&] { area.GetVar(3); }));
    EXPECT_EQ("XSQLDA index out of range.", ErrorText<EFIBClientError>([&] { area.GetVar(-1); }));
}

TEST(FIBXSQLDA, ColumnsGetUniqueNames) {
    const std::string long32(32, 'L');
    const std::vector<std::string> aliases = {"", "NAME", "", "NAME", "NAME", long32, long32, "NEXT", ""};
    const std::vector<std::string> expected = {"F_1",  "NAME", "F_2", "NAME1", "NAME2", long32,
                                               long32.substr(0, 31) + "1", "NEXT", "F_3"};
    TFIBXSQLDA area(false);
    area.SetCount(static_cast<int>(aliases.size()));
    for (size_t i = 0; i < aliases.size(); ++i) Describe(area, static_cast<int>(i), SQL_LONG, 4, aliases[i]);
    area.InitializeVars();
    for (size_t i = 0; i < aliases.size(); ++i) {
        EXPECT_EQ(expected[i], area[static_cast<int>(i)].Name()) << i;
        EXPECT_EQ(expected[i], Alias(*area[static_cast<int>(i)].GetXSQLVAR())) << "written into the record " << i;
    }
    // Describing again without a count change keeps the names.
    area.InitializeVars();
    EXPECT_EQ("NAME2", area[4].Name());
}

TEST(FIBXSQLDA, FindByNameQuotedOrCaseBlind) {
    TFIBXSQLDA area(false);
    area.SetCount(2);
    Describe(area, 0, SQL_LONG, 4, "Name");
    Describe(area, 1, SQL_LONG, 4, "NAME");
    area.InitializeVars();
    EXPECT_EQ(&area[0], area.FindByName("\"Name\""));
    EXPECT_EQ(&area[0], area.FindByName("Name"));
    EXPECT_EQ(&area[1], area.FindByName("name"));
    EXPECT_EQ(&area[1], area.ByName("NAME"));
    EXPECT_EQ(nullptr, area.FindByName("\"name\""));
    EXPECT_EQ(nullptr, area.FindByName("OTHER"));
}

TEST(FIBXSQLDA, UnknownTypesAreRefused) {
    TFIBXSQLDA area(false);
    area.SetCount(1);
    Describe(area, 0, 1000, 4, "X");
    EXPECT_EQ("Unknown SQL Data type (1000).", ErrorText<EFIBClientError>([&] { area.InitializeVars(); }));
    area.SetCount(1);
    Describe(area, 0, 0, 0, "X");
    EXPECT_EQ("Unknown SQL Data type (0).", ErrorText<EFIBClientError>([&] { area.InitializeVars(); }));

    // The statement's own parameter area holds entries of no type until it is prepared.
    TAreaOwner owner;
    TFIBXSQLDA params(true);
    params.SetQuery(&owner);
    owner.Params = &params;
    params.SetCount(1);
    params.AddName("X", 0, false);
    EXPECT_NO_THROW(params.InitializeVars());
    EXPECT_TRUE(params[0].GetIsNull());
}

// One parameter described as Type; Check sees it after Set.
struct TStoreCase {
    const char* What;
    int Type;
    int Length;
    std::function<void(TFIBXSQLVAR&)> Set;
    std::function<void(const TFIBXSQLVAR&)> Check;
};

TEST(FIBXSQLVAR, SettersStoreThese) {
    const TDateTime stamp = EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 123);
    const std::string longText(40000, 'x');
    const TStoreCase cases[] = {
        {"Boolean as SMALLINT", SQL_LONG, 4, [](TFIBXSQLVAR& v) { v.SetAsBoolean(true); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_SHORT, v.GetSQLType());
             EXPECT_EQ(1, v.GetAsInteger());
         }},
        {"Boolean natively", SQL_BOOLEAN, 1, [](TFIBXSQLVAR& v) { v.SetAsBoolean(true); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_BOOLEAN, v.GetSQLType());
             EXPECT_EQ(1, v.GetSize());
             EXPECT_TRUE(v.GetAsBoolean());
         }},
        {"Boolean variant as INTEGER", SQL_LONG, 4, [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(true)); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_LONG, v.GetSQLType());
             EXPECT_EQ(1, v.GetAsInteger());
         }},
        {"2 is no true", SQL_LONG, 4, [](TFIBXSQLVAR& v) { v.SetAsInteger(2); },
         [](const TFIBXSQLVAR& v) { EXPECT_FALSE(v.GetAsBoolean()); }},
        {"empty text on a number is null", SQL_LONG + 1, 4, [](TFIBXSQLVAR& v) { v.SetAsString(""); },
         [](const TFIBXSQLVAR& v) { EXPECT_TRUE(v.GetIsNull()); }},
        {"empty text on a text", SQL_VARYING, 10, [](TFIBXSQLVAR& v) { v.SetAsString(""); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_FALSE(v.GetIsNull());
             EXPECT_EQ(SQL_TEXT, v.GetSQLType());
             EXPECT_EQ(0, v.GetSize());
         }},
        {"a comma is sent as a point", SQL_DOUBLE, 8, [](TFIBXSQLVAR& v) { v.SetAsString("1,5"); },
         [](const TFIBXSQLVAR& v) { EXPECT_EQ("1.5", v.GetAsString()); }},
        {"currency as scaled INT64", SQL_LONG, 4, [](TFIBXSQLVAR& v) { v.SetAsCurrency(Currency::FromScaled(123400)); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_INT64, v.GetSQLType());
             EXPECT_EQ(-4, v.GetScale());
             EXPECT_EQ("12.34", v.GetAsString());
         }},
        {"an array id stays an array", SQL_ARRAY, 8, [](TFIBXSQLVAR& v) { v.SetAsQuad(ISC_QUAD{1, 2}); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_ARRAY, v.GetSQLType());
             EXPECT_EQ(2u, v.GetAsQuad().gds_quad_low);
         }},
        {"long text becomes blob content", SQL_VARYING, 10, [&](TFIBXSQLVAR& v) { v.SetAsString(longText); },
         [&](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_BLOB, v.GetSQLType());
             EXPECT_EQ(longText, v.GetAsString());
         }},
        {"blob parameter without content", SQL_BLOB, 8, [](TFIBXSQLVAR& v) { v.SetAsQuad(ISC_QUAD{}); },
         [](const TFIBXSQLVAR& v) { EXPECT_EQ("(BLOB)", v.GetAsString()); }},
        {"GUID as its 16 bytes", SQL_TEXT, 16, [](TFIBXSQLVAR& v) { v.SetAsGUID(StringAsGUID("{00112233-4455-6677-8899-AABBCCDDEEFF}")); },
         [](const TFIBXSQLVAR& v) {
             TGUID g;
             v.GetAsGUID(g);
             EXPECT_EQ("{00112233-4455-6677-8899-AABBCCDDEEFF}", GUIDAsString(g));
         }},
        {"time stamp day 0 is 1858-11-17", SQL_TIMESTAMP, 8, [](TFIBXSQLVAR& v) { v.SetAsTimeStamp(TTimeStamp{0, IscDateDelta}); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(0, *reinterpret_cast<const ISC_DATE*>(v.GetXSQLVAR()->sqldata));
             EXPECT_EQ(EncodeDate(1858, 11, 17), v.GetAsDateTime());
         }},
        {"time stamps keep milliseconds only", SQL_TIMESTAMP, 8,
         [&](TFIBXSQLVAR& v) { v.SetAsDateTime(stamp + 0.4 / MSecsPerDay); },
         [&](const TFIBXSQLVAR& v) {
             EXPECT_EQ(DateTimeToTimeStamp(stamp).Time, v.GetAsTimeStamp().Time);
             EXPECT_NEAR(stamp, v.GetAsDateTime(), 1e-10);
         }},
        {"null on a parameter described not nullable", SQL_LONG, 4, [](TFIBXSQLVAR& v) { v.SetIsNull(true); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(SQL_LONG + 1, v.GetXSQLVAR()->sqltype);
             EXPECT_EQ(-1, *v.GetXSQLVAR()->sqlind);
             EXPECT_TRUE(v.GetIsNull());
         }},
        {"64-bit integers never cut", SQL_INT64, 8, [](TFIBXSQLVAR& v) { v.SetAsInt64(int64_t{1} << 40); },
         [](const TFIBXSQLVAR& v) {
             EXPECT_EQ(int64_t{1} << 40, v.GetAsInt64());
             EXPECT_EQ("Invalid data conversion.", ErrorText<EFIBClientError>([&] { v.GetAsInteger(); }));
         }},
    };
    for (const TStoreCase& c : cases) {
        SCOPED_TRACE(c.What);
        TFIBXSQLDA area(true);
        area.SetCount(1);
        Describe(area, 0, c.Type, c.Length);
        area.InitializeVars();
        c.Set(area[0]);
        c.Check(area[0]);
    }
}

TEST(FIBXSQLVAR, OneAssignmentReachesEveryParameterOfItsName) {
    TAreaOwner owner;
    TFIBXSQLDA area(true);
    area.SetQuery(&owner);
    area.SetCount(3);
    for (int i = 0; i < 3; ++i) Describe(area, i, SQL_LONG + 1, 4);
    area.AddName("x", 0, false);
    area.AddName("Y", 1, false);
    area.AddName("X", 2, false);
    area.InitializeVars();
    area[1].SetAsInteger(9);
    area[2].SetAsInteger(7);
    EXPECT_EQ(7, area[0].GetAsInteger());
    EXPECT_EQ(9, area[1].GetAsInteger());
    area[0].SetIsNull(true);
    EXPECT_TRUE(area[2].GetIsNull());
    area[1].SetAsString(std::string(40000, 'b'));
    EXPECT_EQ(1, owner.BlobNotices);

    // The statement hears of null changes of a parameter its text depends on, unless it
    // compares nulls itself.
    area[0].NullDependent = true;
    area[0].SetAsInteger(1);
    area[0].SetAsInteger(2);
    EXPECT_EQ(1, owner.NullChanges);
    owner.QueryOptions = SetOf<TpFIBQueryOptions>(qoNoForceIsNull);
    area[0].SetIsNull(true);
    EXPECT_EQ(1, owner.NullChanges);

    // A macro reports a value that differs from the one the text was prepared with, once.
    area[1].IsMacro = true;
    area[1].PreparedValue = Variant("T1");
    area[1].SetAsString("T1");
    EXPECT_EQ(0, owner.MacroChanges);
    area[1].SetAsString("T2");
    area[1].SetAsString("T3");
    EXPECT_EQ(1, owner.MacroChanges);
}

TEST(FIBXSQLDA, TheParameterAreaLearnsTypesFromTheDescribedOne) {
    TAreaOwner owner;
    TFIBXSQLDA params(true), bind(true);
    owner.Params = &params;
    owner.Bind = &bind;
    params.SetQuery(&owner);
    bind.SetQuery(&owner);
    bind.SetCount(3);
    Describe(bind, 0, SQL_LONG + 1, 4);
    Describe(bind, 1, SQL_TYPE_DATE + 1, 4);
    Describe(bind, 2, SQL_LONG + 1, 4);
    bind.AddName("ID", 0, false);
    bind.AddName("DAY", 1, false);
    bind.AddName("FROM_MACRO", 2, false);
    bind.InitializeVars();
    params.SetCount(2);
    params.AddName("ID", 0, false);
    params.AddName("DAY", 1, false);
    params.InitializeVars();

    // Before the prepare nothing is known: the values wait untyped.
    owner.IsPrepared = false;
    params[0].SetAsVariant(Variant("5"));
    EXPECT_TRUE(params[0].Untyped());
    EXPECT_TRUE(params.HasUntyped);
    params[1].SetAsVariant(Variant(int32_t{36526}));
    owner.IsPrepared = true;
    EXPECT_EQ(SQL_LONG, params[0].GetServerSQLType());
    EXPECT_EQ(&bind[2], params.FindByName("from_macro")) << "a name only the described text has";
    params.ConvertUntyped();
    EXPECT_FALSE(params.HasUntyped);
    EXPECT_EQ(SQL_TIMESTAMP, params[1].GetSQLType()) << "a number for a date became that date";

    bind.AssignValues(params);
    EXPECT_EQ(5, bind[0].GetAsInt64());
    EXPECT_EQ(EncodeDate(2000, 1, 1), bind[1].GetAsDateTime());
    params[0].SetAsString("");
    EXPECT_TRUE(params[0].GetIsNull()) << "an empty text for a number";
}

TEST(FIBXSQLVAR, AssignCopiesTypeAndValue) {
    TFIBXSQLDA from(false), to(true);
    from.SetCount(2);
    Describe(from, 0, SQL_INT64 + 1, 8, "A", -2);
    Describe(from, 1, SQL_VARYING + 1, 10, "B");
    from.InitializeVars();
    int64_t raw = -12345;
    std::memcpy(from[0].GetXSQLVAR()->sqldata, &raw, sizeof raw);
    *from[0].GetXSQLVAR()->sqlind = 0;
    *from[1].GetXSQLVAR()->sqlind = -1;
    to.SetCount(2);
    Describe(to, 0, SQL_LONG, 4);
    Describe(to, 1, SQL_LONG, 4);
    to.InitializeVars();
    to[0].Assign(from[0]);
    EXPECT_EQ(SQL_INT64, to[0].GetSQLType());
    EXPECT_EQ("-123.45", to[0].GetAsString());
    to[1].SetAsInteger(3);
    to[1].Assign(from[1]);
    EXPECT_TRUE(to[1].GetIsNull());
}

TEST(StdFuncs, DateTimeToTimeStampCountsTheDatePartTowardsZeroAndKeepsTheTimeInItsDay) {
    struct Case {
        TDateTime Value;
        int32_t Date;
        int32_t Time;
    };
    const Case cases[] = {
        {0, DateDelta, 0},
        {-1.25, DateDelta - 1, 6 * 3600 * 1000},          // 1899-12-29 06:00
        {2.0 - 0.1 / MSecsPerDay, DateDelta + 1, 86399999},   // stays on its day
        {EncodeDate(1858, 11, 17), IscDateDelta, 0},
    };
    for (const Case& c : cases) {
        const TTimeStamp stamp = DateTimeToTimeStamp(c.Value);
        EXPECT_EQ(c.Date, stamp.Date) << c.Value;
        EXPECT_EQ(c.Time, stamp.Time) << c.Value;
    }
}

TEST(StdFuncs, VariantToStreamWritesTheArraysBytes) {
    Variant bytes = Variant::CreateArray({{0, 3}}, varByte);
    bytes.PutElement({0}, Variant::FromInteger(1, varByte));
    bytes.PutElement({1}, Variant::FromInteger(0, varByte));
    bytes.PutElement({2}, Variant::FromInteger(255, varByte));
    TMemoryStream stream;
    stream.WriteString("old content, longer");
    EXPECT_EQ(3, VariantToStream(bytes, &stream));
    EXPECT_EQ(std::string("\x01\x00\xFF", 3), stream.Bytes());

    Variant words = Variant::CreateArray({{1, 2}}, varSmallint);
    words.PutElement({1}, Variant(int16_t{-2}));
    EXPECT_EQ(4, VariantToStream(words, &stream));
    EXPECT_EQ(std::string("\xFE\xFF\x00\x00", 4), stream.Bytes());

    EXPECT_EQ(0, VariantToStream(Variant(int32_t{5}), &stream));
    EXPECT_EQ(0, VariantToStream(bytes, nullptr));
    EXPECT_THROW(VariantToStream(Variant::CreateArray({{0, 1}}, varString), &stream), EVariantError);
}

} // namespace
} // namespace qnl
