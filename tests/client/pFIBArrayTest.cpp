// Array columns against real Firebird 3: arrays written through a parameter are read back by the
// layer and by isql-fb element by element; a never-written array reads as Nulls; values that do
// not fit the column are refused before the server sees them.
#include "ErrorText.h"

#include "client/FIBQuery.h"
#include "fixtures/FbFixture.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include "../platform/VectorDataSet.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorText;

const char* ArrayDdl = R"(
CREATE TABLE A (ID INTEGER NOT NULL PRIMARY KEY, IA INTEGER[1:3], NA NUMERIC(9,2)[3], VA VARCHAR(5)[3],
  TA TIMESTAMP[2], MA INTEGER[1:2, 1:3], FA FLOAT[2], CA CHAR(3)[2], BA BIGINT[2], DA DATE[0:1], SA SMALLINT[-1:0]);
INSERT INTO A (ID) VALUES (1);
INSERT INTO A (ID) VALUES (2);
INSERT INTO A (ID) VALUES (3);
)";

Variant ArrayOf(int Low, const std::vector<Variant>& Elements) {
    Variant a = Variant::CreateArray({{Low, static_cast<int>(Elements.size())}}, varVariant);
    for (size_t i = 0; i < Elements.size(); ++i) a.PutElement({Low + static_cast<int>(i)}, Elements[i]);
    return a;
}

class pFIBArrayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareFirebirdEnvironment(); }

    void Connect(const std::string& Path) {
        Database.SetDBName(Path);
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.ConnectParams().SetCharSet("UTF8");
        Database.SynchronizeTime = false;
        Database.Open();
        Transaction.SetDefaultDatabase(&Database);
        Transaction.StartTransaction();
    }

    TFIBDatabase Database;
    TFIBTransaction Transaction;
};

TEST_F(pFIBArrayTest, WrittenArraysMatchIsqlElementByElement) {
    test::TempDatabase db(ArrayDdl);
    Connect(db.Path());
    TFIBQuery q;
    q.SetDatabase(&Database);
    q.SetTransaction(&Transaction);
    auto open = [&q](const char* Sql) {
        q.Close();
        q.SQL().SetText(Sql);
        q.ExecQuery();
    };

    // Never written: every element Null, within the column's own bounds.
    open("SELECT IA, MA, SA FROM A WHERE ID = 1");
    const Variant unwritten = q.FieldByName("IA").GetArrayValues();
    ASSERT_EQ(1, unwritten.DimCount());
    EXPECT_EQ(1, unwritten.LowBound(1));
    EXPECT_EQ(3, unwritten.HighBound(1));
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(unwritten.GetElement({i}).IsNull());
    const Variant matrix = q.FieldByName("MA").GetArrayValues();
    ASSERT_EQ(2, matrix.DimCount());
    EXPECT_EQ(2, matrix.HighBound(1));
    EXPECT_EQ(3, matrix.HighBound(2));
    EXPECT_EQ(-1, q.FieldByName("SA").GetArrayValues().LowBound(1));
    EXPECT_EQ(12, q.FieldByName("IA").GetArraySize());

    const TDateTime ts1 = EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 123);
    const TDateTime ts2 = EncodeDate(1858, 11, 17);
    Variant ma = Variant::CreateArray({{1, 2}, {1, 3}}, varVariant);
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 3; ++c) ma.PutElement({r, c}, Variant(int32_t{10 * r + c}));
    q.Close();
    q.SQL().SetText("UPDATE A SET IA = :IA, NA = :NA, VA = :VA, TA = :TA, MA = :MA, FA = :FA, CA = :CA, BA = :BA, "
                    "DA = :DA, SA = :SA WHERE ID = 2");
    q.Prepare();
    q.Params()[0].SetArrayValues(ArrayOf(1, {Variant(int32_t{10}), Variant(int32_t{-20}), Variant(int32_t{30})}));
    // 0.29 is 0.28999... as a double: rounded, not cut to 28.
    q.Params()[1].SetAsVariant(ArrayOf(1, {Variant(12.34), Variant(0.29), Variant(-0.05)}));
    q.Params()[2].SetArrayValues(ArrayOf(1, {Variant("ab"), Variant::Null(), Variant("fghij")}));
    q.Params()[3].SetArrayValues(ArrayOf(1, {Variant::FromDate(ts1), Variant::FromDate(ts2)}));
    q.Params()[4].SetArrayValues(ma);
    q.Params()[5].SetArrayValues(ArrayOf(1, {Variant(1.5), Variant(-0.1)}));
    q.Params()[6].SetArrayValues(ArrayOf(1, {Variant("x"), Variant("yz")}));
    q.Params()[7].SetArrayValues(ArrayOf(1, {Variant((int64_t{1} << 60) + 1), Variant(int64_t{-1})}));
    q.Params()[8].SetArrayValues(ArrayOf(0, {Variant::FromDate(EncodeDate(2000, 1, 1)), Variant::FromDate(0)}));
    q.Params()[9].SetArrayValues(ArrayOf(-1, {Variant(int16_t{-32768}), Variant(int16_t{32767})}));
    q.ExecQuery();

    // The same statement, its columns at other places: each array reads its own column's bounds.
    open("SELECT * FROM A WHERE ID = 2");
    const Variant na = q.FieldByName("NA").GetArrayValues();
    EXPECT_EQ(12.34, na.GetElement({1}).AsDouble());
    EXPECT_EQ(0.29, na.GetElement({2}).AsDouble());
    EXPECT_EQ(-0.05, na.GetElement({3}).AsDouble());
    const Variant va = q.FieldByName("VA").GetArrayValues();
    EXPECT_EQ("ab", va.GetElement({1}).AsString());
    EXPECT_EQ("", va.GetElement({2}).AsString());
    EXPECT_EQ("fghij", va.GetElement({3}).AsString());
    const Variant ta = q.FieldByName("TA").GetArrayValues();
    EXPECT_NEAR(ts1, ta.GetElement({1}).AsDouble(), 1e-9);
    EXPECT_NEAR(ts2, ta.GetElement({2}).AsDouble(), 1e-9);
    const Variant maBack = q.FieldByName("MA").GetArrayValues();
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 3; ++c) EXPECT_EQ(10 * r + c, maBack.GetElement({r, c}).AsInt64());
    EXPECT_EQ(-0.1f, static_cast<float>(q.FieldByName("FA").GetArrayValues().GetElement({2}).AsDouble()));
    EXPECT_EQ("yz", q.FieldByName("CA").GetArrayValues().GetElement({2}).AsString());
    EXPECT_EQ((int64_t{1} << 60) + 1, q.FieldByName("BA").GetArrayValues().GetElement({1}).AsInt64());
    EXPECT_EQ(-32768, q.FieldByName("SA").GetArrayValues().GetElement({-1}).AsInt64());

    // What does not fit is refused, naming the column.
    q.Close();
    q.SQL().SetText("UPDATE A SET VA = :VA, IA = :IA WHERE ID = 1");
    q.Prepare();
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.Params()[0].SetArrayValues(ArrayOf(1, {Variant("abcdef")})); }),
              "Element [1] of array \"A.VA\" is longer than its 5 characters");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] {
                  q.Params()[1].SetArrayValues(ArrayOf(0, {Variant(1), Variant(2), Variant(3), Variant(4)}));
              }),
              "Array value of 4 elements does not fit \"A.IA\" (3 elements)");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.Params()[1].SetArrayValues(ma); }), "Dimension 1 don't exist in \"A.IA\" ");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] {
                  int lower, upper;
                  q.Params()[1].ArrayInfo()->GetDimension(1, lower, upper);
              }),
              "Dimension 1 don't exist in \"A.IA\" ");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.Params()[1].SetArrayValues(ArrayOf(1, {Variant(1e10)})); }),
              "Invalid data conversion.");
    open("SELECT ID FROM A WHERE ID = 1");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.FieldByName("ID").GetArrayValues(); }),
              "Column types \"A.ID\" is not array field");

    // A data-set field that holds the array id: written through the field, stored by a
    // statement, read again through a field that holds the stored id.
    EXPECT_THROW(TpFIBArray(Database.ClientLibraryPtr(), nullptr, Database.HandleAddress(),
                            Transaction.HandleAddress(), "A", "NOPE"),
                 EFIBInterBaseError);
    const TpFIBArray ia(Database.ClientLibraryPtr(), nullptr, Database.HandleAddress(), Transaction.HandleAddress(), "A",
                        "IA");
    EXPECT_EQ(ftInteger, ia.FieldType());
    test::TVectorDataSet edited;
    edited.Columns = {{"IA", ftLargeint}};
    edited.Source = {{Variant(int64_t{0})}};
    edited.Open();
    TField* field = edited.FieldByName("IA");
    edited.Edit();
    ia.SetFieldArrayValues(field, ArrayOf(1, {Variant(7), Variant(8), Variant(9)}), Database.HandleAddress(),
                           Transaction.HandleAddress());
    ISC_QUAD written{};
    ASSERT_TRUE(field->GetData(&written));
    q.Close();
    q.SQL().SetText("UPDATE A SET IA = :IA WHERE ID = 3");
    q.ParamByName("IA").SetAsQuad(written);   // before the prepare: the server says it is an array
    q.ExecQuery();
    open("SELECT IA FROM A WHERE ID = 3");
    const ISC_QUAD stored = q.FieldByName("IA").GetAsQuad();
    q.Close();
    int64_t storedBits = 0;
    std::memcpy(&storedBits, &stored, sizeof stored);
    test::TVectorDataSet fetched;
    fetched.Columns = {{"IA", ftLargeint}};
    fetched.Source = {{Variant(storedBits)}, {Variant::Null()}};
    fetched.Open();
    const Variant back = ia.GetFieldArrayValues(fetched.FieldByName("IA"), Database.HandleAddress(),
                                                Transaction.HandleAddress());
    EXPECT_EQ(8, back.GetElement({2}).AsInt64());
    fetched.Next();
    EXPECT_TRUE(ia.GetFieldArrayValues(fetched.FieldByName("IA"), Database.HandleAddress(), Transaction.HandleAddress())
                    .GetElement({1})
                    .IsNull());
    edited.Cancel();

    Transaction.Commit();
    Database.Close();

    const std::vector<std::string> rows = test::QueryRows(
        db,
        "SELECT '<<' || IA[1] || ',' || IA[2] || ',' || IA[3] || '>>' FROM A WHERE ID = 2 UNION ALL "
        "SELECT '<<' || NA[1] || ',' || NA[2] || ',' || NA[3] || '>>' FROM A WHERE ID = 2 UNION ALL "
        "SELECT '<<' || VA[1] || ',' || VA[2] || ',' || VA[3] || ',' || OCTET_LENGTH(VA[1]) || '>>' "
        "FROM A WHERE ID = 2 UNION ALL "
        "SELECT '<<' || TA[1] || ',' || TA[2] || '>>' FROM A WHERE ID = 2 UNION ALL "
        "SELECT '<<' || MA[1,1] || MA[1,2] || MA[1,3] || MA[2,1] || MA[2,2] || MA[2,3] || '>>' FROM A WHERE ID = 2 "
        "UNION ALL SELECT '<<' || FA[1] || ',' || CA[1] || '|' || BA[1] || ',' || DA[0] || ',' || SA[-1] || '>>' "
        "FROM A WHERE ID = 2 UNION ALL "
        "SELECT '<<' || COALESCE(IA[1], 'null') || COALESCE(VA[3], 'null') || '>>' FROM A WHERE ID = 1");
    const std::vector<std::string> expected = {
        "10,-20,30",
        "12.34,0.29,-0.05",
        "ab,,fghij,2",
        "2024-02-29 13:14:15.1230,1858-11-17 00:00:00.0000",
        "111213212223",
        "1.5000000,x  |1152921504606846977,2000-01-01,-32768",
        "nullnull",
    };
    EXPECT_EQ(expected, rows);
}

// Values of another shape, bounds the 16-bit descriptor cannot carry, arrays beyond what one
// slice call moves, and UTF8 text elements, whose limit is their characters.
TEST_F(pFIBArrayTest, ShapesBoundsSizesAndCharactersAreTheColumns) {
    test::TempDatabase db(R"(
CREATE TABLE U (ID INTEGER NOT NULL PRIMARY KEY, MA INTEGER[1:2, 1:3], B INTEGER[1:40000], W INTEGER[1:70000],
  E INTEGER[1:30000, 1:30000], CU CHAR(3)[2] CHARACTER SET UTF8, VU VARCHAR(3)[2] CHARACTER SET UTF8);
INSERT INTO U (ID) VALUES (1);
INSERT INTO U (ID) VALUES (2);
)");
    Connect(db.Path());
    TFIBQuery q;
    q.SetDatabase(&Database);
    q.SetTransaction(&Transaction);
    q.SQL().SetText("UPDATE U SET MA = :MA, B = :B, W = :W, E = :E, CU = :CU, VU = :VU WHERE ID = 2");
    q.Prepare();
    TFIBXSQLVAR& ma = q.Params()[0];
    auto matrix = [](int Rows, int Columns) {
        Variant m = Variant::CreateArray({{1, Rows}, {1, Columns}}, varVariant);
        for (int r = 1; r <= Rows; ++r)
            for (int c = 1; c <= Columns; ++c) m.PutElement({r, c}, Variant(int32_t{10 * r + c}));
        return m;
    };
    // Elements of another shape would land in other cells ([2,1] in [1,3]).
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { ma.SetArrayValues(matrix(2, 2)); }),
              "Array value of shape 2x2 does not fit \"U.MA\" (2x3)");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { ma.SetArrayValues(ArrayOf(1, std::vector<Variant>(6, Variant(1)))); }),
              "Array value of shape 6 does not fit \"U.MA\" (2x3)");
    ma.SetArrayValues(matrix(1, 3));   // a shorter first dimension leaves the rows after it empty

    // Bounds beyond 16 bits: the descriptor holds 40000 as -25536 and 70000 as 4464, which the
    // catalogue's bounds show.
    const std::vector<std::pair<int, std::string>> wide = {
        {1, "Array \"U.B\" has bounds [1:40000]: the array slice calls carry bounds from -32768 to 32767 only"},
        {2, "Array \"U.W\" has bounds [1:70000]: the array slice calls carry bounds from -32768 to 32767 only"},
    };
    for (const auto& [index, message] : wide) {
        TFIBXSQLVAR& param = q.Params()[index];
        int lower = 0, upper = 0;
        param.ArrayInfo()->GetDimension(0, lower, upper);
        EXPECT_EQ(index == 1 ? 40000 : 70000, upper);
        EXPECT_EQ(ErrorText<EFIBClientError>([&] { param.GetArraySize(); }), message);
        EXPECT_EQ(ErrorText<EFIBClientError>([&] { param.SetArrayValues(ArrayOf(1, {Variant(1)})); }), message);
    }

    // 3.6 GB: refused before anything is allocated; a NULL one reads as Null.
    const std::string tooLarge = "Array \"U.E\" holds more than the 2147483647 bytes one slice call moves";
    TFIBXSQLVAR& e = q.Params()[3];
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { e.GetArraySize(); }), tooLarge);
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { e.SetArrayValues(matrix(1, 1)); }), tooLarge);
    EXPECT_TRUE(e.ArrayInfo()->ReadArrayValues(Database.HandleAddress(), Transaction.HandleAddress(), ISC_QUAD{}).IsNull());
    EXPECT_EQ(ErrorText<EFIBClientError>([&] {
                  e.ArrayInfo()->ReadArrayValues(Database.HandleAddress(), Transaction.HandleAddress(), ma.GetAsQuad());
              }),
              tooLarge);

    // CHAR(3) and VARCHAR(3) in UTF8: 12 bytes each, 3 characters.
    TFIBXSQLVAR& cu = q.Params()[4];
    TFIBXSQLVAR& vu = q.Params()[5];
    for (TFIBXSQLVAR* text : {&cu, &vu}) {
        const std::string name = text == &cu ? "CU" : "VU";
        EXPECT_EQ(ErrorText<EFIBClientError>([&] { text->SetArrayValues(ArrayOf(1, {Variant("abcd")})); }),
                  "Element [1] of array \"U." + name + "\" is longer than its 3 characters");
        EXPECT_EQ(ErrorText<EFIBClientError>([&] { text->SetArrayValues(ArrayOf(1, {Variant("\u00e9\u00e9\u00e9\u00e9")})); }),
                  "Element [1] of array \"U." + name + "\" is longer than its 3 characters");
    }
    cu.SetArrayValues(ArrayOf(1, {Variant("x"), Variant("\u00e9\u00e9\u00e9")}));
    vu.SetArrayValues(ArrayOf(1, {Variant("y"), Variant("\u00e9\u00e9\u00e9")}));
    q.Params()[1].SetIsNull(true);
    q.Params()[2].SetIsNull(true);
    e.SetIsNull(true);
    q.ExecQuery();

    q.Close();
    q.SQL().SetText("SELECT CU, VU, E FROM U WHERE ID = 2");
    q.ExecQuery();
    const Variant cuBack = q.FieldByName("CU").GetArrayValues();
    EXPECT_EQ("x", cuBack.GetElement({1}).AsString());
    EXPECT_EQ("\u00e9\u00e9\u00e9", cuBack.GetElement({2}).AsString());
    EXPECT_EQ("\u00e9\u00e9\u00e9", q.FieldByName("VU").GetArrayValues().GetElement({2}).AsString());
    EXPECT_TRUE(q.FieldByName("E").GetArrayValues().IsNull());
    q.Close();
    Transaction.Commit();
    Database.Close();

    EXPECT_EQ(test::QueryRows(db, "SELECT '<<' || MA[1,1] || MA[1,2] || MA[1,3] || ',' || MA[2,1] || MA[2,3] || ',' || "
                                  "TRIM(CU[1]) || '|' || TRIM(CU[2]) || ',' || VU[1] || '|' || VU[2] || '>>' "
                                  "FROM U WHERE ID = 2"),
              std::vector<std::string>{"111213,00,x|\u00e9\u00e9\u00e9,y|\u00e9\u00e9\u00e9"});
}

} // namespace
} // namespace qnl
