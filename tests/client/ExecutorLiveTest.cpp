// The script executor of the comparison library running statements on a real database through a
// binding of its abstract connection to the database and transaction objects.
#include "client/FIBDatabase.h"
#include "core/qnlSQL_Exec.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

// A connection over one database object and one transaction; every text runs as an immediate
// statement in that transaction, and failures raise the server's error.
class FibConnection : public TQNLCustomConnection {
public:
    FibConnection() {
        Db.SynchronizeTime = false;
        Db.ConnectParams().SetUserName("SYSDBA");
        Tr.SetDefaultDatabase(&Db);
    }
    ~FibConnection() override { FibConnection::SetConnected(false); }

    bool GetConnected() override { return Db.Connected(); }
    void SetConnected(bool Value) override {
        if (Value && !Db.Connected()) {
            Db.SetDBName(ConnectionOptions.DatabaseName);
            Db.Open();
        } else if (!Value && Db.Connected()) {
            if (Tr.Active()) Tr.Commit();
            Db.Close();
        }
    }
    std::unique_ptr<TQNLQuery> CreateQuery(TComponent*) override;
    void StartTransaction() override { Tr.StartTransaction(); }
    void Commit() override { Tr.Commit(); }
    void Rollback() override { Tr.Rollback(); }
    bool InTransaction() override { return Tr.Active(); }

    TFIBDatabase Db;
    TFIBTransaction Tr;
};

class FibQuery : public TQNLQuery {
public:
    explicit FibQuery(FibConnection& AConnection) : FConnection(AConnection) { Connection = &AConnection; }
    void ExecQuery() override { FConnection.Tr.ExecSQLImmediate(SQLText()); }

private:
    FibConnection& FConnection;
};

std::unique_ptr<TQNLQuery> FibConnection::CreateQuery(TComponent*) { return std::make_unique<FibQuery>(*this); }

TEST(ExecutorLive, EveryDataChangeTheLogShowsAsExecutedIsInTheDatabase) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER);\n");
    FibConnection connection;
    connection.ConnectionOptions.DatabaseName = db.Path();
    TSQLExec exec;
    exec.ServerType = stInterBase;
    exec.SetQNLConnection(&connection);
    std::vector<std::string> log, errors;
    exec.OnLogNextLine = [&](TObject*, const std::string& Text) { log.push_back(Text); };
    exec.OnErrorMessage = [&](TObject*, const std::string& Text) { errors.push_back(Text); };
    const auto insert = [&](const std::string& Values) {
        exec.AddStatement("INSERT INTO T VALUES (" + Values + ")", skInsert, "T", dboTable, saInsert);
    };
    insert("1, 1");
    insert("2, 1");
    // Fails on the two equal values: it must not take the two inserts before it along.
    exec.AddStatement("CREATE UNIQUE INDEX UQ_V ON T (V)", skStatement, "UQ_V", dboIndex, saCreate);
    insert("3, 3");
    insert("3, 4");  // a duplicate key: fails alone
    insert("4, 4");

    EXPECT_FALSE(exec.Execute());
    EXPECT_FALSE(connection.GetConnected());
    EXPECT_EQ(errors.size(), 2u) << ::testing::PrintToString(errors);
    EXPECT_FALSE(exec.Statements(2)->ErrorText.empty());
    EXPECT_FALSE(exec.Statements(4)->ErrorText.empty());
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& L) { return L.starts_with("< Rolled back"); }),
              0);
    EXPECT_EQ(log.back(), "< Script executed: 2 errors... >");
    EXPECT_EQ(test::QueryRows(db, "SELECT '<<' || ID || '|' || V || '>>' FROM T ORDER BY ID;"),
              (std::vector<std::string>{"1|1", "2|1", "3|3", "4|4"}));
    EXPECT_EQ(test::QueryRows(db, "SELECT '<<' || COUNT(*) || '>>' FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'UQ_V';"),
              std::vector<std::string>{"0"});
}

} // namespace
} // namespace qnl
