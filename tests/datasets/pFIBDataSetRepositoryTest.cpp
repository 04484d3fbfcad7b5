// The extended data set and the repository tables against real Firebird 3: field settings from
// the columns and from FIB$FIELDS_INFO rows written by isql, statements and options from the
// FIB$DATASETS_INFO row of DataSet_ID, and that row written back (read again by isql).
#include "datasets/pFIBDataInfo.h"
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorOf;
using Rows = std::vector<std::string>;

const char* const Tables = R"(
CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20) DEFAULT 'it''s' NOT NULL,
  PRICE NUMERIC(9,2) DEFAULT 1.5, AMOUNT NUMERIC(15,3), MADE DATE DEFAULT CURRENT_DATE, NOTE VARCHAR(10) DEFAULT '',
  CODE VARCHAR(10) NOT NULL, TOTAL COMPUTED BY (PRICE * 2), OTHER INTEGER);
CREATE TABLE CATS (CID INTEGER NOT NULL PRIMARY KEY, CNAME VARCHAR(10));
INSERT INTO ITEMS (ID, NAME, PRICE, CODE) VALUES (1, 'one', 2, 'c1');
INSERT INTO CATS VALUES (1, 'cat');
CREATE TABLE FIB$FIELDS_INFO (TABLE_NAME VARCHAR(31) NOT NULL, FIELD_NAME VARCHAR(31) NOT NULL,
  DISPLAY_LABEL VARCHAR(25), DISPLAY_FORMAT VARCHAR(15), EDIT_FORMAT VARCHAR(15), VISIBLE SMALLINT, TRIGGERED SMALLINT,
  DISPLAY_WIDTH INTEGER DEFAULT 0, FIB$VERSION INTEGER);
INSERT INTO FIB$FIELDS_INFO VALUES ('ITEMS', 'PRICE', 'Price ''net''', '#0.00', '0.0#', 1, 0, 12, 1);
INSERT INTO FIB$FIELDS_INFO VALUES ('ITEMS', 'OTHER', 'Hidden', NULL, NULL, 0, 0, 0, 2);
INSERT INTO FIB$FIELDS_INFO VALUES ('ITEMS', 'CODE', NULL, NULL, NULL, 1, 1, 0, 3);
INSERT INTO FIB$FIELDS_INFO VALUES ('ALIAS', 'CNAME', 'Category', NULL, NULL, 1, 0, 0, 4);
)";

// The newer layout (as the upgrade leaves it) and the older one.
const char* const NewerInfoTable = R"(
CREATE DOMAIN FIB$BOOLEAN AS SMALLINT DEFAULT 1 NOT NULL CHECK (VALUE IN (0,1));
CREATE TABLE FIB$DATASETS_INFO (DS_ID INTEGER NOT NULL PRIMARY KEY, DESCRIPTION VARCHAR(60),
  SELECT_SQL BLOB SUB_TYPE 1, UPDATE_SQL BLOB SUB_TYPE 1, INSERT_SQL BLOB SUB_TYPE 1, DELETE_SQL BLOB SUB_TYPE 1,
  REFRESH_SQL BLOB SUB_TYPE 1, NAME_GENERATOR VARCHAR(68), KEY_FIELD VARCHAR(68), UPDATE_TABLE_NAME VARCHAR(68),
  UPDATE_ONLY_MODIFIED_FIELDS FIB$BOOLEAN NOT NULL, CONDITIONS BLOB SUB_TYPE 1 SEGMENT SIZE 80, FIB$VERSION INTEGER);
INSERT INTO FIB$DATASETS_INFO VALUES (7, 'Items ''all''', 'SELECT ID, NAME FROM ITEMS', 'UPDATE ITEMS SET NAME = ?NAME WHERE ID = ?OLD_ID',
  'INSERT INTO ITEMS (ID, NAME, CODE) VALUES (?ID, ?NAME, ''x'')', 'DELETE FROM ITEMS WHERE ID = ?OLD_ID',
  'SELECT ID, NAME FROM ITEMS WHERE ID = ?ID', 'GEN_ITEMS', 'ID', 'ITEMS', 1, 'CHEAP#$#$PRICE < 5#$#$1', 5);
COMMIT;
)";
const char* const OlderInfoTable = R"(
CREATE TABLE FIB$DATASETS_INFO (DS_ID INTEGER NOT NULL PRIMARY KEY, DESCRIPTION VARCHAR(60),
  SELECT_SQL BLOB SUB_TYPE 1, UPDATE_SQL BLOB SUB_TYPE 1, INSERT_SQL BLOB SUB_TYPE 1, DELETE_SQL BLOB SUB_TYPE 1,
  REFRESH_SQL BLOB SUB_TYPE 1, NAME_GENERATOR VARCHAR(68), KEY_FIELD VARCHAR(68));
INSERT INTO FIB$DATASETS_INFO VALUES (7, 'Items ''all''', 'SELECT ID, NAME FROM ITEMS', 'UPDATE ITEMS SET NAME = ?NAME WHERE ID = ?OLD_ID',
  'INSERT INTO ITEMS (ID, NAME, CODE) VALUES (?ID, ?NAME, ''x'')', 'DELETE FROM ITEMS WHERE ID = ?OLD_ID',
  'SELECT ID, NAME FROM ITEMS WHERE ID = ?ID', 'GEN_ITEMS', 'ID');
COMMIT;
)";

class pFIBDataSetRepositoryTest : public test::DataSetKit {
protected:
    void Open(const char* InfoTable) {
        TableInfoCache().Clear();
        DataSetInfoCache().Clear();
        DataSetInfoCache().ValidateOnUse = false;
        OpenDatabase(std::string(Tables) + InfoTable);
        DS = NewDataSet("DS");
        DS->SetUpdateTransaction(&UpdateTr);
    }
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
        DataSetInfoCache().Clear();
        TableInfoCache().Clear();
    }
    std::unique_ptr<TpFIBDataSet> DS;
};

TEST_F(pFIBDataSetRepositoryTest, FieldsTakeColumnAndRepositorySettings) {
    Open(NewerInfoTable);
    DS->SetSelectSQL("SELECT I.ID, I.NAME, I.PRICE, I.AMOUNT, I.MADE, I.NOTE, I.CODE, I.TOTAL, I.OTHER, C.CNAME "
                     "FROM ITEMS I LEFT JOIN CATS C ON C.CID = I.ID ORDER BY I.ID");
    DS->UpdateSQL().SetText("UPDATE ITEMS SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->InsertSQL().SetText("INSERT INTO ITEMS (ID, NAME, CODE) VALUES (?ID, ?NAME, ?CODE)");
    DS->SetPrepareOptions(DS->PrepareOptions() | SetOf<TpPrepareOptions>(pfSetRequiredFields) |
                          SetOf<TpPrepareOptions>(pfSetReadOnlyFields) | SetOf<TpPrepareOptions>(psApplyRepositary));
    DS->Open();
    struct Expect {
        const char* Field;
        bool ReadOnly, Required, Visible;
        const char* Label;
        const char* Default;
        int Width;
    };
    // CNAME is another table's (read-only) and takes the ALIAS row; TOTAL is computed; CODE
    // is NOT NULL without default but set by a trigger (TRIGGERED), so not required.
    const Expect expected[] = {
        {"ID", false, true, true, "ID", "", 0},
        {"NAME", false, false, true, "NAME", "'it''s'", 0},
        {"PRICE", false, false, true, "Price 'net'", "1.5", 12},
        {"AMOUNT", false, false, true, "AMOUNT", "", 0},
        {"MADE", false, false, true, "MADE", "CURRENT_DATE", 0},
        {"NOTE", false, false, true, "NOTE", "", 0},
        {"CODE", false, false, true, "CODE", "", 0},
        {"TOTAL", true, false, true, "TOTAL", "", 0},
        {"OTHER", false, false, false, "Hidden", "", 0},
        {"CNAME", true, false, true, "Category", "", 0},
    };
    for (const Expect& e : expected) {
        TField* f = DS->FieldByName(e.Field);
        EXPECT_EQ(f->ReadOnly(), e.ReadOnly) << e.Field;
        EXPECT_EQ(f->Required(), e.Required) << e.Field;
        EXPECT_EQ(f->Visible, e.Visible) << e.Field;
        EXPECT_EQ(f->DisplayName(), e.Label) << e.Field;
        EXPECT_EQ(f->DefaultExpression, e.Default) << e.Field;
        EXPECT_EQ(f->DisplayWidth, e.Width) << e.Field;
    }
    // DEFAULT '' is the string field's flag; a quoted text is not.
    EXPECT_TRUE(dynamic_cast<TFIBStringField&>(*DS->FieldByName("NOTE")).DefaultIsEmptyString);
    EXPECT_FALSE(dynamic_cast<TFIBStringField&>(*DS->FieldByName("NAME")).DefaultIsEmptyString);
    // Formats: the repository's, else the default ones widened to the scale.
    auto* price = dynamic_cast<TNumericField*>(DS->FieldByName("PRICE"));
    auto* amount = dynamic_cast<TNumericField*>(DS->FieldByName("AMOUNT"));
    ASSERT_TRUE(price && amount);
    EXPECT_EQ(price->DisplayFormat, "#0.00");
    EXPECT_EQ(price->EditFormat, "0.0#");
    EXPECT_EQ(amount->DisplayFormat, "#,##0.000");
    EXPECT_EQ(amount->EditFormat, "0.000");
    EXPECT_EQ(dynamic_cast<TDateTimeField*>(DS->FieldByName("MADE"))->DisplayFormat, "dd.mm.yyyy");

    // The imported defaults reach a new record: the doubled quote is one quote of the value,
    // and an empty-string default is a value, not null (unless empty strings are stored as null).
    DS->Insert();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "it's");
    EXPECT_TRUE(DS->FieldByName("NOTE")->IsNull());
    DS->Cancel();
    DS->Close();
    DS->SetPrepareOptions(DS->PrepareOptions() & ~SetOf<TpPrepareOptions>(psSetEmptyStrToNull));
    DS->Open();
    DS->Insert();
    EXPECT_FALSE(DS->FieldByName("NOTE")->IsNull());
    EXPECT_DOUBLE_EQ(DS->FieldByName("PRICE")->AsFloat(), 1.5);
    DS->Cancel();
    DS->Close();

    // The global container hears of each field first, then the own one, then the data set's
    // handler; a global container that is also the own one hears once.
    std::vector<std::string> heard;
    TDataSetsContainer global, own;
    global.SetIsGlobalContainer(true);
    global.OnApplyFieldRepository = [&](TDataSet*, TField* F, TpFIBFieldInfo*) { heard.push_back("global " + F->FieldName()); };
    own.OnApplyFieldRepository = [&](TDataSet*, TField* F, TpFIBFieldInfo*) { heard.push_back("own " + F->FieldName()); };
    DS->OnApplyFieldRepository = [&](TDataSet*, TField* F, TpFIBFieldInfo*) { heard.push_back("handler " + F->FieldName()); };
    DS->SetSelectSQL("SELECT ID FROM ITEMS");
    for (TDataSetsContainer* container : {&own, &global}) {
        heard.clear();
        DS->SetContainer(container);
        DS->Open();
        DS->Close();
        EXPECT_EQ(heard, container == &own ? (Rows{"global ID", "own ID", "handler ID"}) : (Rows{"global ID", "handler ID"}));
    }
    DS->SetContainer(nullptr);
    global.SetIsGlobalContainer(false);

    // Without psApplyRepositary the repository rows are not read.
    auto plain = NewDataSet("Plain");
    plain->SetSelectSQL("SELECT ID, PRICE, OTHER FROM ITEMS");
    plain->Open();
    EXPECT_EQ(plain->FieldByName("PRICE")->DisplayName(), "PRICE");
    EXPECT_TRUE(plain->FieldByName("OTHER")->Visible);
    EXPECT_EQ(plain->FieldByName("PRICE")->DefaultExpression, "1.5");
    // Nor when the database does not use FIB$FIELDS_INFO; switching the option on for an open
    // data set applies the rows at once.
    Database.UseRepositories = SetOf<TFIBUseRepositories>(urDataSetInfo);
    TableInfoCache().Clear();
    plain->SetPrepareOptions(plain->PrepareOptions() | SetOf<TpPrepareOptions>(psApplyRepositary));
    EXPECT_EQ(plain->FieldByName("PRICE")->DisplayName(), "PRICE");
    plain->Close();
    plain->SetPrepareOptions(plain->PrepareOptions() & ~SetOf<TpPrepareOptions>(psApplyRepositary));
    Database.UseRepositories = SetOf<TFIBUseRepositories>(urFieldsInfo);
    TableInfoCache().Clear();
    plain->Open();
    plain->SetPrepareOptions(plain->PrepareOptions() | SetOf<TpPrepareOptions>(psApplyRepositary));
    EXPECT_EQ(plain->FieldByName("PRICE")->DisplayName(), "Price 'net'");
    EXPECT_FALSE(plain->FieldByName("OTHER")->Visible);
}

TEST_F(pFIBDataSetRepositoryTest, DataSetIdAppliesItsRowInBothLayouts) {
    for (const char* layout : {NewerInfoTable, OlderInfoTable}) {
        SCOPED_TRACE(layout == NewerInfoTable ? "newer layout" : "older layout");
        Open(layout);
        EXPECT_FALSE(InSet(DS->PrepareOptions(), psApplyRepositary));
        DS->SetDataSet_ID(7);
        EXPECT_TRUE(InSet(DS->PrepareOptions(), psApplyRepositary));
        DS->Open();
        EXPECT_EQ(DS->SelectSQL().Text(), "SELECT ID, NAME FROM ITEMS\r\n");
        EXPECT_EQ(DS->UpdateSQL().Text(), "UPDATE ITEMS SET NAME = ?NAME WHERE ID = ?OLD_ID\r\n");
        EXPECT_EQ(DS->DeleteSQL().Text(), "DELETE FROM ITEMS WHERE ID = ?OLD_ID\r\n");
        EXPECT_EQ(DS->RefreshSQL().Text(), "SELECT ID, NAME FROM ITEMS WHERE ID = ?ID\r\n");
        EXPECT_EQ(DS->Description, "Items 'all'");
        const TAutoUpdateOptions& au = DS->AutoUpdateOptions();
        EXPECT_EQ(au.KeyFields(), "ID");
        EXPECT_EQ(au.GeneratorName, "GEN_ITEMS");
        EXPECT_TRUE(au.SelectGenID());
        const bool newer = layout == NewerInfoTable;
        EXPECT_EQ(au.UpdateTableName(), newer ? "ITEMS" : "");
        EXPECT_EQ(DS->Conditions().Count(), newer ? 1 : 0);
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "one");
        EXPECT_ANY_THROW(DS->SetDataSet_ID(8));
        EXPECT_EQ(DS->DataSet_ID(), 7);
        // The row is read once per id: changing it on the server does not reach a reopen.
        DS->Close();
        DS->SetDataSet_ID(0);
        DS->SetDataSet_ID(7);
        DS->Open();
        EXPECT_EQ(DS->Description, "Items 'all'");
        DS->Close();
        DS.reset();
        TearDown();
    }
}

TEST_F(pFIBDataSetRepositoryTest, SaveWritesTheRowAndUpgradesAnOlderTable) {
    for (const char* layout : {NewerInfoTable, OlderInfoTable}) {
        SCOPED_TRACE(layout == NewerInfoTable ? "newer layout" : "older layout");
        Open(layout);
        DS->SetDataSet_ID(9);
        DS->SetSelectSQL("SELECT ID, CODE FROM ITEMS");
        DS->UpdateSQL().SetText("UPDATE ITEMS SET CODE = ?CODE WHERE ID = ?OLD_ID");
        DS->AutoUpdateOptions().SetKeyFields("ID");
        DS->AutoUpdateOptions().GeneratorName = "G";
        DS->AutoUpdateOptions().SetUpdateTableName("ITEMS");
        DS->Conditions().AddCondition("ONE", "ID = 1", true);
        EXPECT_TRUE(SaveDataSetInfo(*DS, nullptr, "it's mine"));
        // A second save updates the same row; an empty description keeps the stored one.
        DS->InsertSQL().SetText("INSERT INTO ITEMS (ID, CODE) VALUES (?ID, ?CODE)");
        EXPECT_TRUE(SaveDataSetInfo(*DS));
        TpDataSetInfo read;
        EXPECT_TRUE(SaveDataSetInfo(*DS, &read));
        EXPECT_EQ(read.InsertSQL.Text(), "INSERT INTO ITEMS (ID, CODE) VALUES (?ID, ?CODE)\r\n");
        EXPECT_EQ(read.Conditions, DS->Conditions().SaveConditionsToText());
        // Line ends show as "~" (isql's rows are lines).
        EXPECT_EQ(IsqlRows("SELECT '<<' || REPLACE(DS_ID || '|' || DESCRIPTION || '|' || CAST(SELECT_SQL AS VARCHAR(100)) || '|' || "
                           "CAST(UPDATE_SQL AS VARCHAR(100)) || '|' || KEY_FIELD || '|' || NAME_GENERATOR || '|' || "
                           "COALESCE(UPDATE_TABLE_NAME, '-') || '|' || UPDATE_ONLY_MODIFIED_FIELDS || '|' || "
                           "COALESCE(CAST(CONDITIONS AS VARCHAR(100)), '-'), ASCII_CHAR(13) || ASCII_CHAR(10), '~') || '>>' FROM FIB$DATASETS_INFO ORDER BY DS_ID"),
                  (Rows{"7|Items 'all'|SELECT ID, NAME FROM ITEMS|UPDATE ITEMS SET NAME = ?NAME WHERE ID = ?OLD_ID|ID|"
                        "GEN_ITEMS|" +
                            std::string(layout == NewerInfoTable ? "ITEMS|1|CHEAP#$#$PRICE < 5#$#$1" : "-|1|-"),
                        "9|it's mine|SELECT ID, CODE FROM ITEMS~|UPDATE ITEMS SET CODE = ?CODE WHERE ID = ?OLD_ID~|"
                        "ID|G|ITEMS|0|ONE#$#$ID = 1#$#$1"}));
        TearDown();
    }
}

TEST_F(pFIBDataSetRepositoryTest, SaveRefusesWhatItCannotWrite) {
    Open(NewerInfoTable);
    EXPECT_EQ(ErrorOf([&] { SaveDataSetInfo(*DS); }), "DS.DataSet_ID should be greater than 0");
    DS->SetDataSet_ID(3);
    Database.UseRepositories = SetOf<TFIBUseRepositories>(urFieldsInfo);
    EXPECT_EQ(ErrorOf([&] { SaveDataSetInfo(*DS); }),
              "Can't use FIB$DATASETS_INFO.\r\nurDataSetInfo not included into Database.UseRepositories.");
    DS->SetDatabase(nullptr);
    EXPECT_EQ(ErrorOf([&] { SaveDataSetInfo(*DS); }), "Database is not assigned");
}

TEST_F(pFIBDataSetRepositoryTest, ACachedRowWhoseVersionChangedIsReadAgain) {
    Open(NewerInfoTable);
    DS->SetDataSet_ID(7);
    // As loaded from a cache file: an older version of the row.
    auto stale = std::make_unique<TpDataSetInfo>();
    stale->DBName = Database.DBName();
    stale->FIBVersion = 4;
    stale->Description = "stale";
    stale->NeedsCheck = true;
    DataSetInfoCache().AddInfo(7, std::move(stale));
    DataSetInfoCache().ValidateOnUse = false;
    EXPECT_EQ(DataSetInfoCache().GetInfo(*DS)->Description, "stale");
    DataSetInfoCache().ValidateOnUse = true;
    TpDataSetInfo* info = DataSetInfoCache().GetInfo(*DS);
    EXPECT_EQ(info->Description, "Items 'all'");
    EXPECT_EQ(info->FIBVersion, 5);
    EXPECT_FALSE(info->NeedsCheck);
    // An id without a row gets an empty entry.
    DS->SetDataSet_ID(8);
    ASSERT_NE(DataSetInfoCache().GetInfo(*DS), nullptr);
    EXPECT_EQ(DataSetInfoCache().GetInfo(*DS)->SelectSQL.Count(), 0);
}

} // namespace
} // namespace qnl
