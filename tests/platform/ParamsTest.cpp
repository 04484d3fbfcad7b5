#include "platform/Params.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(Params, ParseSQLFindsNamedPlaces) {
    struct Case {
        const char* Name;
        const char* SQL;
        const char* Parsed;
        std::vector<std::string> Params;
    };
    const Case cases[] = {
        {"plain", "SELECT * FROM T WHERE ID = :ID AND NAME = :name", "SELECT * FROM T WHERE ID = ? AND NAME = ?", {"ID", "name"}},
        {"a name twice is one parameter", ":A + :a + :B", "? + ? + ?", {"A", "B"}},
        {"string literal", "WHERE S = ':NOT' || 'it''s :NO' AND X=:X", "WHERE S = ':NOT' || 'it''s :NO' AND X=?", {"X"}},
        {"quoted identifier", "SELECT \":NOT\" FROM T", "SELECT \":NOT\" FROM T", {}},
        {"comments", "-- :C\r\nSELECT :P /* :D */ FROM T", "-- :C\r\nSELECT ? /* :D */ FROM T", {"P"}},
        {"quoted name", "WHERE X = :\"my name\"", "WHERE X = ?", {"my name"}},
        {"no name after the colon", "SELECT A::INTEGER, B[1:3], : X, :_x$1", "SELECT A::INTEGER, B[1:3], : X, ?", {"_x$1"}},
        {"colon at the end", "SELECT 1 :", "SELECT 1 :", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TParams params;
        EXPECT_EQ(params.ParseSQL(c.SQL, true), c.Parsed);
        std::vector<std::string> names;
        for (int i = 0; i < params.Count(); ++i) names.push_back(params[i]->Name);
        EXPECT_EQ(names, c.Params);
        TParams untouched;
        EXPECT_EQ(untouched.ParseSQL(c.SQL, false), c.Parsed);
        EXPECT_EQ(untouched.Count(), 0);
    }
    TParams params;
    EXPECT_THROW(params.ParseSQL("WHERE X = :\"open", true), EDatabaseError);
}

TEST(Params, ValuesAndLookups) {
    TParams params;
    params.ParseSQL("WHERE A = :A AND B = :B", true);
    EXPECT_EQ(params.ParamByName("a")->ParamType, ptInput);
    EXPECT_THROW(params.ParamByName("Z"), EDatabaseError);
    EXPECT_EQ(params.FindParam("Z"), nullptr);

    TParam* a = params.ParamByName("A");
    EXPECT_FALSE(a->Bound());
    EXPECT_EQ(a->AsInteger(), 0);   // no value reads as 0
    a->SetAsInteger(5);
    EXPECT_EQ(a->DataType, ftInteger);
    EXPECT_EQ(a->AsString(), "5");
    a->SetValue(Variant("7"));
    EXPECT_EQ(a->AsInteger(), 7);
    EXPECT_DOUBLE_EQ(a->AsFloat(), 7.0);
    a->SetValue(Variant("seven"));
    EXPECT_THROW(a->AsInteger(), EConvertError);
    a->SetAsFloat(1e10);
    EXPECT_THROW(a->AsInteger(), EConvertError);   // beyond 32 bits
    EXPECT_EQ(a->AsLargeInt(), 10000000000);
    a->Clear();
    EXPECT_TRUE(a->IsNull());
    EXPECT_TRUE(a->Bound());

    TParam* b = params.ParamByName("B");
    b->SetValue(Variant(true));
    EXPECT_EQ(b->DataType, ftBoolean);   // an untyped parameter takes the value's type
    EXPECT_TRUE(b->AsBoolean());
}
