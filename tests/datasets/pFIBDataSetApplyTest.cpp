// The extended data set's record locks, generator values, defaults, server record count and the
// apply of cached changes through execute blocks, against real Firebird 3; what the server holds
// is read back with isql.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "platform/DateTime.h"

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
COMMIT;
)";

class pFIBDataSetApplyTest : public test::DataSetKit {
protected:
    void SetUp() override { OpenDatabase(Ddl); }
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
    }
    TpFIBDataSet& OpenW() {
        DS = std::make_unique<TpFIBDataSet>(&Form);
        DS->SetName("DS");
        DS->SetDatabase(&Database);
        DS->SetTransaction(&Transaction);
        DS->SetUpdateTransaction(&UpdateTr);
        DS->SetCachedUpdates(true);
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

} // namespace
} // namespace qnl
