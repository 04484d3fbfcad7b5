// The extended data set's record locks, generator values, defaults, server record count and the
// apply of cached changes through execute blocks, against real Firebird 3; what the server holds
// is read back with isql.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "datasets/pFIBDataInfo.h"
#include "platform/DateTime.h"

#include <cmath>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorOf;
using Rows = std::vector<std::string>;

const char* const Ddl = R"(
CREATE TABLE W (ID INTEGER NOT NULL PRIMARY KEY, GRP INTEGER, S VARCHAR(40) CHECK (S <> 'bad'), TS TIMESTAMP,
  M BLOB SUB_TYPE TEXT);
SET TERM ^;
EXECUTE BLOCK AS
DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= 320) DO BEGIN
    INSERT INTO W VALUES (:I, IIF(MOD(:I, 3) = 0, NULL, MOD(:I, 3)), 'row ' || :I, NULL, NULL);
    I = I + 1;
  END
END^
SET TERM ;^
CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), GID INTEGER);
INSERT INTO P VALUES (1, 'Ann', 10);
INSERT INTO P VALUES (2, 'Bob', 20);
INSERT INTO P VALUES (3, 'Cid', 10);
CREATE TABLE D (ID INTEGER NOT NULL PRIMARY KEY, DT DATE DEFAULT CURRENT_DATE, S VARCHAR(10) DEFAULT 'it''s',
  N VARCHAR(10) DEFAULT NULL, SI SMALLINT);
CREATE SEQUENCE GEN_D;
ALTER SEQUENCE GEN_D RESTART WITH 40;
CREATE SEQUENCE GEN_BIG;
ALTER SEQUENCE GEN_BIG RESTART WITH 3000000000;
COMMIT;
)";

class pFIBDataSetApplyTest : public test::DataSetKit {
protected:
    void SetUp() override { OpenDatabase(Ddl); }
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
    }
    // A data set over W that keeps its changes until they are applied through UpdateTr.
    TpFIBDataSet& CachedW() {
        DS = NewDataSet("DS");
        DS->SetUpdateTransaction(&UpdateTr);
        DS->SetCachedUpdates(true);
        return *DS;
    }
    TpFIBDataSet& OpenW() {
        CachedW();
        TAutoUpdateOptions& au = DS->AutoUpdateOptions();
        au.AutoReWriteSqls = true;
        au.CanChangeSQLs = true;
        au.UseExecuteBlock = true;
        au.SetUpdateTableName("W");
        au.SetKeyFields("ID;GRP");   // GRP is null in every third row
        DS->SetSelectSQL("SELECT ID, GRP, S, TS, M FROM W ORDER BY ID");
        DS->Open();
        return *DS;
    }
    // Edits the first Count rows (row Bad gets a value the table refuses; every fiftieth a memo,
    // row 100's too long for a literal with LongMemo), deletes rows 301 to 305 and inserts row
    // 400.
    void Change(int Count, int Bad, bool LongMemo) {
        DS->First();
        for (int id = 1; id <= Count; ++id, DS->Next()) {
            DS->Edit();
            DS->FieldByName("S")->SetAsString(id == Bad ? "bad" : "it's " + std::to_string(id));
            DS->FieldByName("TS")->SetAsDateTime(EncodeDate(2020, 2, 3) + EncodeTime(4, 5, 6, 789));
            if (id % 50 == 0) DS->FieldByName("M")->SetAsString(id == 100 && LongMemo ? std::string(40000, 'm') : "memo's " + std::to_string(id));
            DS->Post();
        }
        for (int id = 301; id <= 305; ++id) {
            while (DS->FieldByName("ID")->AsInteger() < id) DS->Next();
            DS->Delete();
        }
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(400);
        DS->FieldByName("S")->SetAsString("new");
        DS->Post();
    }
    // isql's count of the rows that hold what Change wrote, the rows left and the memos.
    Rows ServerState() {
        return IsqlRows(
            "SELECT '<<' || (SELECT COUNT(*) FROM W WHERE S = 'it''s ' || ID AND TS = '2020-02-03 04:05:06.789') || '|' || "
            "(SELECT COUNT(*) FROM W) || '|' || (SELECT COUNT(*) FROM W WHERE ID BETWEEN 301 AND 305) || '|' || "
            "(SELECT COUNT(*) FROM W WHERE M = 'memo''s ' || ID) || '|' || (SELECT CHAR_LENGTH(M) FROM W WHERE ID = 100) "
            "|| '|' || COALESCE((SELECT S FROM W WHERE ID = 400), '-') || '>>' FROM RDB$DATABASE");
    }
    std::unique_ptr<TpFIBDataSet> DS;
};

// 300 edits (quotes, null keys, time stamps, memos; one memo too long for a literal), five
// deletes and an insert: exactly those rows change.
TEST_F(pFIBDataSetApplyTest, CachedChangesGoThroughExecuteBlocksAndChangeExactlyTheirRows) {
    OpenW();
    Change(300, 0, true);
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_FALSE(DS->UpdatesPending());
    DS->Close();
    // 300 edited; 320 - 5 + 1 rows; the memos of rows 50, 150, ... 300; the long one whole.
    EXPECT_EQ(ServerState(), Rows({"300|316|0|5|40000|new"}));
}

// A block the server refuses changes nothing of its rows; skipped, they stay pending, and the
// other blocks stay applied. Firebird 3 compiles at most 256 relation contexts in a block and
// an UPDATE takes two: edits go 128 to a block, so the refused 200th edit takes rows 129 to 256
// with it. Inserts take one: 255 go to a block, the 256th opens the second.
TEST_F(pFIBDataSetApplyTest, ARefusedBlockLeavesItsRowsUnappliedAndPending) {
    std::vector<TUpdateKind> kinds;
    auto skip = [&](TDataSet*, EFIBError&, TUpdateKind Kind, TFIBUpdateAction& Action) {
        kinds.push_back(Kind);
        Action = uaSkip;
    };
    OpenW();
    DS->OnUpdateError = skip;
    Change(300, 200, false);
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_EQ(kinds, std::vector<TUpdateKind>{ukModify});
    EXPECT_TRUE(DS->UpdatesPending());
    Rows statuses;
    for (int id : {128, 129, 256, 257}) {
        DS->First();
        DS->MoveBy(id - 1);
        statuses.push_back(std::to_string(DS->FieldByName("ID")->AsInteger()) + (DS->UpdateStatus() == usModified ? " pending" : " applied"));
    }
    EXPECT_EQ(statuses, Rows({"128 applied", "129 pending", "256 pending", "257 applied"}));
    DS->Close();
    // Edits 1-128 and 257-300, the deletes and the insert written; memos of 50, 100 and 300.
    EXPECT_EQ(ServerState(), Rows({"172|316|0|3|10|new"}));

    OpenDatabase(Ddl);
    OpenW();
    DS->OnUpdateError = skip;
    kinds.clear();
    for (int id = 1001; id <= 1300; ++id) {
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(id);
        DS->FieldByName("S")->SetAsString(id == 1270 ? "bad" : "it's " + std::to_string(id));
        DS->Post();
    }
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_EQ(kinds, std::vector<TUpdateKind>{ukInsert});
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || COUNT(*) || '|' || MIN(ID) || '|' || MAX(ID) || '>>' FROM W WHERE ID > 1000"),
              Rows({"255|1001|1255"}));
}

// Without an update table the blocks cannot be written: the program's own statements apply.
TEST_F(pFIBDataSetApplyTest, WithoutAnUpdateTableTheProgramsStatementsApply) {
    CachedW();
    DS->AutoUpdateOptions().UseExecuteBlock = true;
    DS->UpdateSQL().SetText("UPDATE W SET S = ?S WHERE ID = ?OLD_ID");
    DS->SetSelectSQL("SELECT ID, S FROM W WHERE ID <= 2 ORDER BY ID");
    DS->Open();
    DS->Edit();
    DS->FieldByName("S")->SetAsString("own");
    DS->Post();
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || S || '>>' FROM W WHERE ID <= 2 ORDER BY ID"),
              Rows({"1|own", "2|row 2"}));
}

class pFIBDataSetLockTest : public pFIBDataSetApplyTest {
protected:
    // P with generated statements in a NO WAIT read-committed update transaction.
    TpFIBDataSet& OpenP(const std::string& Select = "SELECT ID, NAME, GID FROM P ORDER BY ID", bool Generate = true) {
        UpdateTr.TRParams().SetText("write\nread_committed\nrec_version\nnowait");
        DS = std::make_unique<TpFIBDataSet>(&Form);
        DS->SetName("DS");
        DS->SetDatabase(&Database);
        DS->SetTransaction(&Transaction);
        DS->SetUpdateTransaction(&UpdateTr);
        DS->AutoUpdateOptions().AutoReWriteSqls = Generate;
        DS->AutoUpdateOptions().SetUpdateTableName("P");
        // The refresh reads what the lock sees: the committed rows of now.
        DS->SetRefreshTransactionKind(tkUpdateTransaction);
        DS->SetSelectSQL(Select);
        DS->Open();
        return *DS;
    }
    // A second attachment, as another user's program.
    void OpenOther() {
        Other.SetDBName(Db->Path());
        Other.ConnectParams().SetUserName("SYSDBA");
        Other.SetSQLDialect(3);
        Other.Open();
        OtherTr.SetDefaultDatabase(&Other);
        OtherTr.TRParams().SetText("write\nread_committed\nrec_version\nnowait");
        OtherTr.StartTransaction();
    }
    void TearDown() override {
        DS.reset();
        if (OtherTr.Active()) OtherTr.Rollback();
        if (Other.Connected()) Other.Close();
        pFIBDataSetApplyTest::TearDown();
    }
    TFIBDatabase Other;
    TFIBTransaction OtherTr;
};

// A row another attachment holds answers lsDeadLock, a row it deleted lsNotExist; a change it
// committed survives the lock, and the protected edit starts from it.
TEST_F(pFIBDataSetLockTest, LocksAnswerByTheServersStateAndKeepAnotherUsersCommittedChange) {
    OpenP();
    OpenOther();
    Other.QueryValue("UPDATE P SET NAME = 'held' WHERE ID = 1 RETURNING ID", 0, {}, &OtherTr);
    EXPECT_EQ(DS->LockRecord(false), lsDeadLock);
    EXPECT_EQ(ErrorOf([&] { DS->LockRecord(true); }), "Error of record updating:Deadlock detected");
    int asked = 0;
    DS->OnLockError = [&](TDataSet*, TLockStatus Status, std::string& Message, TDataAction& Action) {
        EXPECT_EQ(Status, lsDeadLock);
        EXPECT_EQ(Message, "Error of record updating:Deadlock detected");
        // The other user gives in after the second refusal.
        if (++asked == 2) OtherTr.Rollback();
        Action = daRetry;
    };
    EXPECT_EQ(DS->LockRecord(true), lsSuccess);
    EXPECT_EQ(asked, 2);
    UpdateTr.Rollback();
    DS->OnLockError = nullptr;

    OtherTr.StartTransaction();
    Other.QueryValue("DELETE FROM P WHERE ID = 2 RETURNING ID", 0, {}, &OtherTr);
    Other.QueryValue("UPDATE P SET NAME = 'theirs' WHERE ID = 3 RETURNING ID", 0, {}, &OtherTr);
    OtherTr.Commit();
    DS->Next();
    EXPECT_EQ(DS->LockRecord(false), lsNotExist);
    EXPECT_EQ(ErrorOf([&] { DS->LockRecord(true); }), "Error of record updating:Record does not exist");
    DS->Next();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cid");   // the copy read before their change
    DS->SetOptions(DS->Options() | SetOf<TpFIBDsOptions>(poProtectedEdit));
    DS->Edit();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "theirs");
    DS->FieldByName("GID")->SetAsInteger(30);
    DS->Post();
    UpdateTr.Commit();
    DS->Close();
    Other.Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || NAME || '|' || GID || '>>' FROM P ORDER BY ID"),
              Rows({"1|Ann|10", "3|theirs|30"}));
}

// A post whose generated UPDATE finds its row deleted by another user is an error, and the
// record stays in edit with the user's values.
TEST_F(pFIBDataSetLockTest, APostOfARowAnotherUserDeletedRaisesAndStaysInEdit) {
    OpenP();
    OpenOther();
    Other.QueryValue("DELETE FROM P WHERE ID = 1 RETURNING ID", 0, {}, &OtherTr);
    OtherTr.Commit();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("mine");
    const std::string error = ErrorOf([&] { DS->Post(); });
    EXPECT_EQ(error, "Error of record updating:Record does not exist (Form1.DS)");
    EXPECT_EQ(DS->State(), dsEdit);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "mine");
    DS->Cancel();
}

// An edit in a block whose row another user deleted meanwhile reaches no row: the whole block
// is undone and its records stay pending, never counted as saved.
TEST_F(pFIBDataSetLockTest, ABlockWhoseEditFindsItsRowGoneIsUndone) {
    OpenW();
    OpenOther();
    Other.QueryValue("DELETE FROM W WHERE ID = 5 RETURNING ID", 0, {}, &OtherTr);
    OtherTr.Commit();
    DS->First();
    for (int id = 1; id <= 10; ++id, DS->Next()) {
        DS->Edit();
        DS->FieldByName("S")->SetAsString("it's " + std::to_string(id));
        DS->Post();
    }
    Rows errors;
    DS->OnUpdateError = [&](TDataSet*, EFIBError& E, TUpdateKind, TFIBUpdateAction& Action) {
        errors.push_back(E.what());
        Action = uaSkip;
    };
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_EQ(errors, Rows({"Error of record updating:Record does not exist (Form1.DS, record 5)"}));
    EXPECT_TRUE(DS->UpdatesPending());
    DS->Close();
    Other.Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || COUNT(*) || '|' || (SELECT COUNT(*) FROM W WHERE S STARTING WITH 'it''s') || '>>' "
                       "FROM W"),
              Rows({"319|0"}));
}

// The server's count of the SELECT's rows, for texts whose columns a derived table could not
// name by themselves; isql's COUNT(*) of the same text is the expected answer.
TEST_F(pFIBDataSetLockTest, RecordCountsEqualTheServersCountOfTheSameText) {
    const char* const selects[] = {
        "SELECT a.ID, b.ID FROM P a JOIN P b ON a.GID = b.GID",
        "SELECT GID, COUNT(*) FROM P GROUP BY GID",
        "SELECT ID FROM P UNION SELECT ID + 10 FROM P",
        "SELECT ID * 2, UPPER(NAME), 'x' FROM P WHERE ID > ?LOW",
    };
    for (const char* select : selects) {
        SCOPED_TRACE(select);
        OpenP(select, false);
        DS->Close();
        DS->SetPrepareOptions(DS->PrepareOptions() | SetOf<TpPrepareOptions>(psAskRecordCount));
        DS->Prepare();
        if (DS->Params().Count() > 0) DS->ParamByName("LOW").SetAsInteger(1);
        DS->Open();
        const int64_t ours = DS->AskRecordCount();
        DS->Close();
        std::string text = select;
        if (const size_t mark = text.find("?LOW"); mark != std::string::npos) text.replace(mark, 4, "1");
        EXPECT_EQ(IsqlRows("SELECT '<<' || COUNT(*) || '>>' FROM (" + text + ") X (" +
                           std::string(text.find("'x'") != std::string::npos ? "A, B, C" : text.find("COUNT") != std::string::npos || text.find("b.ID") != std::string::npos ? "A, B" : "A") + ")"),
                  Rows({std::to_string(ours)}));
        Database.Open();
    }
}

// A new record takes the generator's next value and the defaults its fields carry; a value
// beyond a SMALLINT is refused, not cut.
TEST_F(pFIBDataSetLockTest, NewRecordsTakeGeneratorValuesAndDefaults) {
    DS = std::make_unique<TpFIBDataSet>(&Form);
    DS->SetName("DS");
    DS->SetDatabase(&Database);
    DS->SetTransaction(&Transaction);
    DS->SetUpdateTransaction(&UpdateTr);
    TAutoUpdateOptions& au = DS->AutoUpdateOptions();
    au.AutoReWriteSqls = true;
    au.SetUpdateTableName("D");
    au.SetKeyFields("ID");
    au.GeneratorName = "GEN_D";
    au.WhenGetGenID = wgOnNewRecord;
    DS->SetSelectSQL("SELECT ID, DT, S, N, SI FROM D ORDER BY ID");
    DS->Open();
    // The defaults as the catalogue gives them.
    for (const char* column : {"DT", "S", "N"}) {
        const TpFIBFieldInfo* info = TableInfoCache().GetFieldInfo(&Database, "D", false, column);
        ASSERT_NE(info, nullptr);
        DS->FieldByName(column)->DefaultExpression =
            std::string(column) == "S" ? "'" + info->DefaultValue + "'" : info->DefaultValue;
    }
    EXPECT_EQ(DS->FieldByName("S")->DefaultExpression, "'it's'");
    DS->FieldByName("S")->DefaultExpression = "'it''s'";
    DS->Append();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 41);
    EXPECT_EQ(DS->FieldByName("DT")->AsDateTime(), std::floor(Now() - Database.ServerTimeDifference()));
    EXPECT_EQ(DS->FieldByName("S")->AsString(), "it's");
    EXPECT_TRUE(DS->FieldByName("N")->IsNull());
    DS->Post();
    UpdateTr.Commit();

    DS->Close();
    au.GeneratorName = "GEN_BIG";
    au.SetKeyFields("SI");
    DS->Open();
    EXPECT_NE(ErrorOf([&] { DS->Append(); }), "no error");
    DS->Cancel();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || IIF(DT = CURRENT_DATE, 'today', DT) || '|' || S || '|' || "
                       "COALESCE(N, '-') || '>>' FROM D"),
              Rows({"41|today|it's|-"}));
}

} // namespace
} // namespace qnl
