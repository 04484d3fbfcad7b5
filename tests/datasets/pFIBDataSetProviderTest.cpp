// The extended data set's provider operations against real Firebird 3: statements with
// positional marks, the transaction commands and the data set's parameters; what the server
// stored is read back by isql.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using Rows = std::vector<std::string>;

const char* const Ddl = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(20), N NUMERIC(18,2), D NUMERIC(18,6));
CREATE TABLE U (UID INTEGER NOT NULL PRIMARY KEY, W VARCHAR(20));
INSERT INTO T VALUES (1, 'one', 1.5, 2);
INSERT INTO T VALUES (2, 'two', 2.5, 3);
INSERT INTO U VALUES (1, 'u');
COMMIT;
)";

class pFIBDataSetProviderTest : public test::DataSetKit {
protected:
    void SetUp() override {
        OpenDatabase(Ddl);
        DS = NewDataSet("DS");
        DS->SetUpdateTransaction(&UpdateTr);
    }
    void TearDown() override {
        Result.reset();
        DS.reset();
        DataSetKit::TearDown();
    }
    Rows TRows() { return IsqlRows("SELECT '<<' || ID || '|' || COALESCE(V, '-') || '>>' FROM T ORDER BY ID"); }

    std::unique_ptr<TpFIBDataSet> DS;
    std::unique_ptr<TpFIBDataSet> Result;
};

TEST(NamePositionalParams, OnlyMarksOutsideLiteralsNamesAndCommentsAreNamed) {
    struct Case {
        const char* Text;
        const char* Expected;
        int Count;
    };
    const Case cases[] = {
        {"select '?' from rdb$database", "select '?' from rdb$database", 0},
        {"select ? from t where a = ?", "select :P0 from t where a = :P1", 2},
        {"select 'it''s ?', ? from t", "select 'it''s ?', :P0 from t", 1},
        {"select \"A?\" from t where x=?", "select \"A?\" from t where x=:P0", 1},
        {"select q'{it's ?}' , ? from t", "select q'{it's ?}' , :P0 from t", 1},
        {"select 1 -- ?\n, ? from t", "select 1 -- ?\n, :P0 from t", 1},
        {"select /* ? */ ? from t", "select /* ? */ :P0 from t", 1},
        {"select 'unclosed ?", "select 'unclosed ?", 0},
        {"?/* ?", ":P0/* ?", 1},
    };
    for (const Case& c : cases) {
        int count = -1;
        EXPECT_EQ(NamePositionalParams(c.Text, "P", &count), c.Expected) << c.Text;
        EXPECT_EQ(count, c.Count) << c.Text;
    }
}

TEST_F(pFIBDataSetProviderTest, ExecuteStatementBindsMarksByPositionAndCountsRows) {
    TParams none;
    // A "?" in a literal is text, not a parameter.
    EXPECT_EQ(DS->PSExecuteStatement("select '?' from rdb$database", none, &Result), 1);
    ASSERT_TRUE(Result->Active());
    EXPECT_EQ(Result->Fields()[0]->AsString(), "?");

    TParams two;
    two.CreateParam(ftInteger, "a", ptInput)->SetAsInteger(3);
    two.CreateParam(ftString, "b", ptInput)->SetAsString("it's ?");
    // Without a result set the update transaction runs it; the comment's mark is no parameter.
    EXPECT_EQ(DS->PSExecuteStatement("insert into T (ID, V) /* ?, ? */ values (?, ?)", two), 1);
    EXPECT_TRUE(DS->PSInTransaction());
    TParams one;
    one.CreateParam(ftInteger, "a", ptInput)->SetAsInteger(1);
    EXPECT_EQ(DS->PSExecuteStatement("update T set V = V || '?' where ID > ?", one), 2);
    // A SELECT without a result set answers the rows it fetched.
    EXPECT_EQ(DS->PSExecuteStatement("select ID from T where V <> ? -- ?", one), 3);
    // With a result set, a statement that is no SELECT answers the rows it changed.
    EXPECT_EQ(DS->PSExecuteStatement("update T set V = V where ID = 1 and '?' = '?'", none, &Result), 1);
    DS->PSEndTransaction(true);
    EXPECT_FALSE(DS->PSInTransaction());
    Result.reset();
    EXPECT_EQ(TRows(), (Rows{"1|one", "2|two?", "3|it's ?" "?"}));
}

TEST_F(pFIBDataSetProviderTest, CommandsDriveTheUpdateTransactionAndLeaveSelectSQLAlone) {
    DS->SetSelectSQL("SELECT ID, V FROM T");
    DS->PSSetCommandText("FIB$GET_INTRANSACTION");
    EXPECT_EQ(DS->PSGetCommandText(), "FIB$GET_INTRANSACTION");
    EXPECT_EQ(DS->SelectSQL().Text(), "SELECT ID, V FROM T\r\n");
    TParams& state = DS->PSGetParams();
    ASSERT_EQ(state.Count(), 1);
    EXPECT_EQ(state[0]->Name, "Active");
    EXPECT_EQ(state[0]->ParamType, ptOutput);
    EXPECT_FALSE(state[0]->AsBoolean());
    // The command was taken: the command text is SelectSQL again.
    EXPECT_EQ(DS->PSGetCommandText(), "SELECT ID, V FROM T\r\n");

    DS->PSStartTransaction();
    TParams none;
    DS->PSExecuteStatement("insert into T (ID, V) values (5, 'five')", none);
    DS->PSSetCommandText("FIB$GET_INTRANSACTION");
    EXPECT_TRUE(DS->PSGetParams()[0]->AsBoolean());
    DS->PSSetCommandText("FIB$ROLLBACK");
    DS->PSExecute();
    EXPECT_FALSE(UpdateTr.Active());
    DS->PSStartTransaction();
    DS->PSExecuteStatement("insert into T (ID, V) values (6, 'six')", none);
    DS->PSSetCommandText("FIB$COMMIT");
    DS->PSExecute();
    EXPECT_FALSE(UpdateTr.Active());
    EXPECT_EQ(DS->SelectSQL().Text(), "SELECT ID, V FROM T\r\n");
    EXPECT_EQ(TRows(), (Rows{"1|one", "2|two", "6|six"}));
}

TEST_F(pFIBDataSetProviderTest, TheDataSetsParametersTableAndQuoteChar) {
    DS->SetSelectSQL("SELECT T.ID, U.W FROM T JOIN U ON U.UID = T.ID WHERE T.V = :V AND T.N > :N AND T.D < :D "
                     "AND T.ID <> :I");
    EXPECT_EQ(DS->PSGetQuoteChar(), "\"");
    EXPECT_EQ(DS->PSGetTableName(), "T");
    DS->AutoUpdateOptions().SetUpdateTableName("U");
    EXPECT_EQ(DS->PSGetTableName(), "U");
    DS->AutoUpdateOptions().SetUpdateTableName("NOT_THERE");
    EXPECT_EQ(DS->PSGetTableName(), "T");

    TParams values;
    values.CreateParam(ftString, "V", ptInput)->SetAsString("one");
    values.CreateParam(ftString, "MISSING", ptInput)->SetAsString("x");
    values.CreateParam(ftInteger, "I", ptInput)->SetAsInteger(7);
    DS->PSSetParams(values);
    TParams& params = DS->PSGetParams();
    ASSERT_EQ(params.Count(), 4);
    const std::vector<std::pair<std::string, TFieldType>> expected = {
        {"V", ftString}, {"N", ftFloat}, {"D", ftBCD}, {"I", ftInteger}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(params[i]->Name, expected[static_cast<size_t>(i)].first);
        EXPECT_EQ(params[i]->DataType, expected[static_cast<size_t>(i)].second) << params[i]->Name;
        EXPECT_EQ(params[i]->ParamType, ptInput);
    }
    EXPECT_EQ(params[0]->AsString(), "one");
    EXPECT_EQ(params[3]->AsInteger(), 7);
    EXPECT_TRUE(params[1]->IsNull());
    // A new SELECT drops the old one's parameters.
    DS->SetSelectSQL("SELECT ID FROM T");
    EXPECT_EQ(params.Count(), 0);

    DS->SetDatabase(nullptr);
    DS->SetTransaction(nullptr);
    EXPECT_NE(test::ErrorOf([&] { DS->PSStartTransaction(); }).find("Database not assigned"), std::string::npos);
}

} // namespace
} // namespace qnl
