// The statement component's error handler against real Firebird 3: it decides after each failed
// execution whether to raise, end silently or run again.
#include "client/pFIBQuery.h"

#include "fixtures/FbFixture.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

TEST(pFIBQuery, ExecuteErrorHandlerRetriesFailsOrAborts) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase db("CREATE GENERATOR G;\nCREATE EXCEPTION E 'boom';\n");
    TFIBDatabase database;
    database.SetDBName(db.Path());
    database.ConnectParams().SetUserName("SYSDBA");
    database.SetSQLDialect(3);
    database.Open();
    TFIBTransaction transaction;
    transaction.SetDefaultDatabase(&database);
    transaction.StartTransaction();
    TpFIBQuery q;
    q.SetDatabase(&database);
    q.SetTransaction(&transaction);
    q.SQL().SetText("execute block as declare i bigint; begin i = gen_id(g, 1); exception e; end");
    const auto generator = [&] {
        return database.QueryValue("SELECT GEN_ID(G, 0) FROM RDB$DATABASE", 0, {}, &transaction).AsInt64();
    };

    std::vector<TDataAction> answers = {daRetry, daRetry, daFail};
    std::vector<std::string> seen;
    q.OnExecuteError = [&](TpFIBQuery* Query, const EFIBError& E, TDataAction& Action) {
        EXPECT_EQ(Query, &q);
        EXPECT_EQ(Action, daFail);
        seen.push_back(E.IBMessage());
        Action = answers[seen.size() - 1];
    };
    EXPECT_THROW(q.ExecQuery(), EFIBInterBaseError);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_NE(seen.back().find("Boom"), std::string::npos) << seen.back();
    EXPECT_EQ(generator(), 3);

    answers = {daAbort};
    seen.clear();
    EXPECT_THROW(q.ExecQuery(), EAbort);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(generator(), 4);

    q.OnExecuteError = nullptr;
    EXPECT_THROW(q.ExecQuery(), EFIBInterBaseError);
    EXPECT_EQ(generator(), 5);
    transaction.Rollback();
    database.Close();
}

} // namespace
} // namespace qnl
