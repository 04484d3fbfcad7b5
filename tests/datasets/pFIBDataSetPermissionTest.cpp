// What lets the extended data set edit, insert and delete without a statement of its own: an
// active update object of the kind, or statements it writes per record; and never a kind that
// AllowedUpdateKinds leaves out.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"

#include <gtest/gtest.h>

#include <memory>

namespace qnl {
namespace {

class pFIBDataSetPermissionTest : public test::DataSetKit {
protected:
    void TearDown() override {
        Object.reset();
        DS.reset();
        DataSetKit::TearDown();
    }
    std::unique_ptr<TpFIBDataSet> DS;
    std::unique_ptr<TpFIBUpdateObject> Object;
};

TEST_F(pFIBDataSetPermissionTest, UpdateObjectsAndWrittenStatementsAllowAChange) {
    OpenDatabase("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(5)); INSERT INTO T VALUES (1, 'a'); COMMIT;");
    struct Case {
        const char* What;
        TUpdateKind ObjectKind;
        bool ObjectActive;
        bool Writes;   // statements written per record from the update table and key
        TUpdateKinds Allowed;
        bool Edit, Insert, Delete;
    };
    const TUpdateKinds all = 0x7;
    const Case cases[] = {
        {"nothing", ukModify, false, false, all, false, false, false},
        {"an active modify object", ukModify, true, false, all, true, false, false},
        {"an inactive modify object", ukModify, false, false, all, false, false, false},
        {"an active delete object", ukDelete, true, false, all, false, false, true},
        {"an active insert object, inserts not allowed", ukInsert, true, false,
         SetOf<TUpdateKinds>(ukModify) | SetOf<TUpdateKinds>(ukDelete), false, false, false},
        {"written statements", ukModify, false, true, all, true, true, true},
        {"written statements, only edits allowed", ukModify, false, true, SetOf<TUpdateKinds>(ukModify), true, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Object.reset();
        DS = NewDataSet("DS");
        DS->SetSelectSQL("SELECT ID, V FROM T");
        DS->AllowedUpdateKinds = c.Allowed;
        Object = std::make_unique<TpFIBUpdateObject>(&Form);
        Object->SQL().SetText("UPDATE T SET V = V WHERE ID = ?OLD_ID");
        Object->SetKindUpdate(c.ObjectKind);
        Object->Active = c.ObjectActive;
        Object->SetDataSet(DS.get());
        if (c.Writes) {
            TAutoUpdateOptions& au = DS->AutoUpdateOptions();
            au.AutoReWriteSqls = true;
            au.CanChangeSQLs = true;
            au.SetUpdateOnlyModifiedFields(true);
            au.SetKeyFields("ID");
            au.SetUpdateTableName("T");
        }
        DS->Open();
        EXPECT_EQ(DS->CanEdit(), c.Edit);
        EXPECT_EQ(DS->CanInsert(), c.Insert);
        EXPECT_EQ(DS->CanDelete(), c.Delete);
        if (!c.Edit) {
            EXPECT_ANY_THROW(DS->Edit());
            EXPECT_EQ(DS->State(), dsBrowse);
        }
        DS->Close();
    }
}

} // namespace
} // namespace qnl
