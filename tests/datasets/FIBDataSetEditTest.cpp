// The data set's edit side against real Firebird 3: deleting through DeleteSQL with parameters
// taken from the record, cancelling cached changes, a master's values at open, the transaction
// and controls events, and the checks of the limited cache model. The tests change their
// database, so it is their own.
#include "datasets/FIBDataSet.h"

#include "client/fib.h"
#include "datasets/pFIBDataInfo.h"
#include "fixtures/FbFixture.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

const char* const Ddl = R"(
CREATE TABLE ALLT (
  ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, N42 NUMERIC(4,2), N92 NUMERIC(9,2), BI BIGINT, N184 NUMERIC(18,4),
  N186 NUMERIC(18,6), DP DOUBLE PRECISION, FL FLOAT, DT DATE, TM TIME, TS TIMESTAMP, C CHAR(10), V VARCHAR(40),
  VU VARCHAR(10) CHARACTER SET UTF8, BO BOOLEAN, OCT CHAR(16) CHARACTER SET OCTETS, MEMO BLOB SUB_TYPE TEXT);
CREATE TABLE PEOPLE (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));
INSERT INTO ALLT VALUES (1, -7, -12.34, 1234567.89, -9223372036854775808, -12.3456, 0.000001, 2.5, 0.25,
  '2024-02-29', '23:59:58.123', '1858-11-17 00:00:01.5', 'abc', 'a text longer than twenty characters', 'Grüße', TRUE,
  x'41424320202020202020202020202020', 'memo one');
INSERT INTO ALLT (ID) VALUES (2);
INSERT INTO ALLT VALUES (3, 32767, 99.99, -0.01, 9223372036854775807, 99999999999999.9999, -123.456789, -1.0E300, -3.5,
  '0001-01-01', '00:00:00', '9999-12-31 23:59:59.999', 'x         ', '', '', FALSE,
  x'00000000000000000000000000000020', '');
INSERT INTO PEOPLE VALUES (1, 'Ann');
INSERT INTO PEOPLE VALUES (2, 'Bob');
INSERT INTO PEOPLE VALUES (3, 'Cid');
INSERT INTO PEOPLE VALUES (4, 'Dee');
INSERT INTO PEOPLE VALUES (5, 'Eve');
CREATE TABLE DOOMED (ID INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE KEEP (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(10));
INSERT INTO KEEP VALUES (1, 'one');
INSERT INTO KEEP VALUES (2, 'two');
INSERT INTO KEEP VALUES (3, 'three');
CREATE TABLE FIB$FIELDS_INFO (TABLE_NAME VARCHAR(31) NOT NULL, FIELD_NAME VARCHAR(31) NOT NULL,
  DISPLAY_LABEL VARCHAR(25), DISPLAY_FORMAT VARCHAR(15), EDIT_FORMAT VARCHAR(15), VISIBLE SMALLINT, TRIGGERED SMALLINT,
  HINT VARCHAR(30));
INSERT INTO FIB$FIELDS_INFO VALUES ('PEOPLE', 'NAME', 'Full name', '', '', 1, 0, 'the person''s name');
INSERT INTO FIB$FIELDS_INFO VALUES ('ALIAS', 'TOTAL', 'Sum', '#,##0.00', '0.00', 0, 1, NULL);
INSERT INTO DOOMED VALUES (1);
CREATE TABLE NK (K INTEGER, NAME VARCHAR(10));
INSERT INTO NK VALUES (NULL, 'a');
INSERT INTO NK VALUES (NULL, 'b');
INSERT INTO NK VALUES (1, 'c');
INSERT INTO NK VALUES (7, 'd');
INSERT INTO NK VALUES (7, 'e');
INSERT INTO DOOMED VALUES (2);
COMMIT;
)";

// Shows the record buffer a modify statement's parameters are taken from.
class TEditedDataSet : public TFIBDataSet {
public:
    using TFIBDataSet::TFIBDataSet;
    TRecordBuffer Current() const { return ActiveBuffer(); }
};

class FIBDataSetEditTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Db = new test::TempDatabase(Ddl); }
    static void TearDownTestSuite() {
        delete Db;
        Db = nullptr;
    }

    void SetUp() override {
        Form.SetName("Form1");
        Database.SetName("DB");
        Database.SetDBName(Db->Path());
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.ConnectParams().SetCharSet("UTF8");
        Database.SetSQLDialect(3);
        Database.Open();
        Transaction.SetName("Tr");
        Transaction.SetDefaultDatabase(&Database);
        UpdateTr.SetName("UpdTr");
        UpdateTr.SetDefaultDatabase(&Database);
        DS = NewDataSet("DS");
    }
    void TearDown() override {
        Detail.reset();
        DS.reset();
        for (TFIBTransaction* tr : {&Transaction, &UpdateTr})
            if (tr->Active()) tr->Rollback();
        Database.Close();
    }
    std::unique_ptr<TEditedDataSet> NewDataSet(const std::string& Name) {
        auto ds = std::make_unique<TEditedDataSet>(&Form);
        ds->SetName(Name);
        ds->SetDatabase(&Database);
        ds->SetTransaction(&Transaction);
        return ds;
    }
    // PEOPLE under cached updates, with a statement of every kind.
    void OpenCachedPeople() {
        DS->SetCachedUpdates(true);
        DS->UpdateSQL().SetText("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
        DS->InsertSQL().SetText("INSERT INTO PEOPLE VALUES (?ID, ?NAME)");
        DS->DeleteSQL().SetText("DELETE FROM PEOPLE WHERE ID = ?OLD_ID");
        DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
        DS->Open();
    }
    int64_t Count(const std::string& Where) {
        TFIBTransaction reader;
        reader.SetDefaultDatabase(&Database);
        const int64_t n = Database.QueryValue("SELECT COUNT(*) FROM " + Where, 0, {}, &reader).AsInt64();
        if (reader.Active()) reader.Commit();
        return n;
    }

    static test::TempDatabase* Db;
    TComponent Form;
    TFIBDatabase Database{&Form};
    TFIBTransaction Transaction{&Form};
    TFIBTransaction UpdateTr{&Form};
    std::unique_ptr<TEditedDataSet> DS;
    std::unique_ptr<TEditedDataSet> Detail;
};

test::TempDatabase* FIBDataSetEditTest::Db = nullptr;

std::string ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

// A delete statement that matches a row only when every column's value went back unchanged:
// each record of a table with every kind of column (one all null) is found and deleted.
TEST_F(FIBDataSetEditTest, DeleteFindsEveryRowByTheValuesItsRecordGivesTheStatement) {
    const std::vector<std::string> columns = {"SI", "N42", "N92", "BI", "N184", "N186", "DP", "FL", "DT", "TM", "TS",
                                              "C",  "V",   "VU",  "BO", "OCT",  "MEMO"};
    std::string where = "ID = ?OLD_ID";
    for (const std::string& c : columns)
        if (c == "MEMO")
            where += " AND ((MEMO IS NULL AND ?MEMO IS NULL) OR MEMO = ?MEMO)";   // a blob id compares as its text
        else
            where += " AND " + c + " IS NOT DISTINCT FROM ?" + c;
    DS->SetUpdateTransaction(&UpdateTr);
    DS->DeleteSQL().SetText("DELETE FROM ALLT WHERE " + where);
    DS->SetSelectSQL("SELECT * FROM ALLT ORDER BY ID");
    DS->SetOptions(DS->Options() & ~SetOf<TpFIBDsOptions>(poTrimCharFields));
    DS->Open();
    DS->FetchAll();
    for (int id = 1; id <= 3; ++id) {
        SCOPED_TRACE("row " + std::to_string(id));
        ASSERT_EQ(DS->FieldByName("ID")->AsInteger(), id);
        DS->Delete();
        EXPECT_EQ(DS->RecordCount(), 3 - id);
        EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM ALLT WHERE ID = " + std::to_string(id), 0, {}, &UpdateTr).AsInt64(), 0);
    }
    EXPECT_TRUE(DS->IsEmpty());
    // The statements ran in the update transaction, which the program ends.
    ASSERT_TRUE(UpdateTr.Active());
    UpdateTr.Rollback();
    EXPECT_EQ(Count("ALLT"), 3);
}

TEST_F(FIBDataSetEditTest, DeleteUnderAutoCommitCommitsAndWithoutDeleteSqlIsRefused) {
    DS->SetSelectSQL("SELECT ID FROM DOOMED ORDER BY ID");
    DS->Open();
    DS->FetchAll();
    EXPECT_THROW(DS->Delete(), EAbort);   // the framework's silent refusal: nothing happens
    EXPECT_EQ(DS->RecordCount(), 2);
    DS->Close();

    DS->DeleteSQL().SetText("DELETE FROM DOOMED WHERE ID = ?ID");
    DS->SetUpdateTransaction(&UpdateTr);
    DS->AutoCommit = true;
    DS->Open();
    DS->Last();
    DS->Delete();
    EXPECT_FALSE(UpdateTr.Active());
    EXPECT_EQ(Count("DOOMED"), 1);
    EXPECT_EQ(DS->RecordCount(), 1);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(FIBDataSetEditTest, OldParametersTakeTheValuesBeforeTheEditNewAndPlainOnesTheEdited) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
    DS->Open();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Amy");
    DS->Post();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Alma");
    DS->Post();
    TFIBQuery probe;
    probe.SetDatabase(&Database);
    probe.SetTransaction(&Transaction);
    probe.SQL().SetText("SELECT ?OLD_NAME, ?NEW_NAME, ?NAME, ?OLD_ID FROM RDB$DATABASE");
    DS->SetQueryParams(probe, DS->Current());
    // Under cached updates the saved version is the one before the first change.
    EXPECT_EQ(probe.Params().GetVar(0).GetAsString(), "Ann");
    EXPECT_EQ(probe.Params().GetVar(1).GetAsString(), "Alma");
    EXPECT_EQ(probe.Params().GetVar(2).GetAsString(), "Alma");
    EXPECT_EQ(probe.Params().GetVar(3).GetAsInteger(), 1);
    EXPECT_NE(ErrorOf([&] { DS->SetQueryParams(probe, nullptr); }).find("Buffer not set."), std::string::npos);
}

TEST_F(FIBDataSetEditTest, CancelUpdatesRestoresEditsHidesInsertsAndShowsDeletes) {
    OpenCachedPeople();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Amy");
    DS->Post();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(6);
    DS->FieldByName("NAME")->SetAsString("Fay");
    DS->Post();
    DS->First();
    DS->MoveBy(2);
    ASSERT_EQ(DS->FieldByName("NAME")->AsString(), "Cid");
    DS->FetchAll();
    DS->Delete();
    EXPECT_EQ(DS->RecordCount(), 5);   // five shown: one more, one less
    EXPECT_TRUE(DS->UpdatesPending());

    DS->CancelUpdates();
    EXPECT_FALSE(DS->UpdatesPending());
    std::vector<std::string> names;
    for (DS->First(); !DS->Eof(); DS->Next()) names.push_back(DS->FieldByName("NAME")->AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Bob", "Cid", "Dee", "Eve"}));
    EXPECT_EQ(DS->RecordCount(), 5);
    EXPECT_EQ(Count("PEOPLE"), 5);   // nothing reached the server

    // Switching cached updates off with changes pending drops them the same way.
    DS->First();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Amy");
    DS->Post();
    DS->SetCachedUpdates(false);
    EXPECT_FALSE(DS->UpdatesPending());
    DS->First();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Ann");
}

// UpdateRecordTypes chooses which records are shown by their cached change (deleted ones too);
// setting it moves an open data set to its first shown record.
TEST_F(FIBDataSetEditTest, UpdateRecordTypesChoosesTheRecordsShown) {
    OpenCachedPeople();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Amy");
    DS->Post();
    DS->MoveBy(2);
    DS->Delete();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(6);
    DS->FieldByName("NAME")->SetAsString("Fay");
    DS->Post();
    auto bit = [](TCachedUpdateStatus S) { return static_cast<TFIBUpdateRecordTypes>(1u << S); };
    auto names = [&] {
        std::vector<std::string> shown;
        for (DS->First(); !DS->Eof(); DS->Next()) shown.push_back(DS->FieldByName("NAME")->AsString());
        return shown;
    };
    const struct {
        TFIBUpdateRecordTypes Types;
        std::vector<std::string> Shown;
    } cases[] = {
        {bit(cusDeleted), {"Cid"}},
        {static_cast<TFIBUpdateRecordTypes>(bit(cusModified) | bit(cusInserted)), {"Amy", "Fay"}},
        {bit(cusUnmodified), {"Bob", "Dee", "Eve"}},
        {static_cast<TFIBUpdateRecordTypes>(bit(cusUnmodified) | bit(cusModified) | bit(cusInserted)),
         {"Amy", "Bob", "Dee", "Eve", "Fay"}},
    };
    for (const auto& c : cases) {
        DS->Last();
        DS->SetUpdateRecordTypes(c.Types);
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), c.Shown.front());
        EXPECT_EQ(names(), c.Shown);
    }
    EXPECT_EQ(Count("PEOPLE WHERE NAME IN ('Amy', 'Fay')"), 0);
}

// Without UpdateSQL a record cannot be edited, except, under cached updates, one inserted since
// the last apply (it is still to be inserted, with its new values).
TEST_F(FIBDataSetEditTest, WithoutUpdateSqlOnlyARecordInsertedUnderCachedUpdatesIsEdited) {
    DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
    DS->Open();
    // With no modify statement at all the data set is read-only.
    EXPECT_NE(ErrorOf([&] { DS->Edit(); }).find("Cannot modify a read-only dataset"), std::string::npos);
    DS->Close();
    DS->InsertSQL().SetText("INSERT INTO PEOPLE VALUES (?ID, ?NAME)");
    DS->Open();
    EXPECT_THROW(DS->Edit(), EAbort);
    EXPECT_EQ(DS->State(), dsBrowse);
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->Open();
    EXPECT_THROW(DS->Edit(), EAbort);
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(6);
    DS->FieldByName("NAME")->SetAsString("Fay");
    DS->Post();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Faye");
    DS->Post();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Faye");
    DS->First();
    EXPECT_THROW(DS->Edit(), EAbort);
    EXPECT_EQ(Count("PEOPLE"), 5);
}

TEST_F(FIBDataSetEditTest, ADetailTakesItsParametersFromTheMasterAtOpen) {
    DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
    DS->Open();
    DS->MoveBy(2);
    TDataSource source(&Form);
    source.SetDataSet(DS.get());
    Detail = NewDataSet("Detail");
    Detail->SetDataSource(&source);
    Detail->SetSelectSQL("SELECT ID, NAME FROM PEOPLE WHERE ID = ?ID OR ID = ?MAS_ID + 1 ORDER BY ID");
    Detail->Open();
    std::vector<int> ids;
    for (; !Detail->Eof(); Detail->Next()) ids.push_back(Detail->FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{3, 4}));

    // A master that would follow its own detail is refused and keeps no source.
    TDataSource detailSource(&Form);
    detailSource.SetDataSet(Detail.get());
    EXPECT_NE(ErrorOf([&] { DS->SetDataSource(&detailSource); }).find("Circular references not permitted.(Form1.DS)"),
              std::string::npos);
    EXPECT_EQ(DS->DataSource(), nullptr);
}

// A modify statement compares a null key as SQL does (it matches no row), and one meant for one
// record that reaches more rows is undone and refused.
TEST_F(FIBDataSetEditTest, ADeleteByANullKeyMatchesNothingAndOneThatReachesMoreRowsIsUndone) {
    DS->SetUpdateTransaction(&UpdateTr);
    DS->DeleteSQL().SetText("DELETE FROM NK WHERE K = ?OLD_K");
    DS->RefreshSQL().SetText("SELECT K, NAME FROM NK WHERE K = ?OLD_K");
    DS->SetSelectSQL("SELECT K, NAME FROM NK ORDER BY NAME");
    DS->Open();
    ASSERT_EQ(DS->FieldByName("NAME")->AsString(), "a");
    EXPECT_THROW(DS->Delete(), EFIBClientError);   // no row of that key
    EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM NK", 0, {}, &UpdateTr).AsInt64(), 5);
    // The refresh statement compares the same way: the record's row is not found.
    DS->First();
    EXPECT_FALSE(DS->RefreshFromQuery(DS->RefreshQuery(), DS->Current()));
    DS->Close();

    DS->Open();
    DS->MoveBy(3);
    ASSERT_EQ(DS->FieldByName("NAME")->AsString(), "d");
    EXPECT_NE(ErrorOf([&] { DS->Delete(); }).find("2 rows"), std::string::npos);
    EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM NK WHERE K = 7", 0, {}, &UpdateTr).AsInt64(), 2);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "d");
    // The transaction lives on, and its earlier work with it.
    ASSERT_TRUE(UpdateTr.Active());
    UpdateTr.Commit();
    EXPECT_EQ(Count("NK"), 5);
}

// A master whose key is null gives its detail no rows (SQL compares nothing with null).
TEST_F(FIBDataSetEditTest, ADetailOfAMasterWithANullKeyIsEmpty) {
    DS->SetSelectSQL("SELECT K, NAME FROM NK ORDER BY NAME");
    DS->Open();
    TDataSource source(&Form);
    source.SetDataSet(DS.get());
    Detail = NewDataSet("Detail");
    Detail->SetDataSource(&source);
    Detail->SetSelectSQL("SELECT NAME FROM NK WHERE K = ?MAS_K ORDER BY NAME");
    auto names = [&] {
        Detail->Close();
        Detail->Open();
        std::vector<std::string> found;
        for (; !Detail->Eof(); Detail->Next()) found.push_back(Detail->FieldByName("NAME")->AsString());
        return found;
    };
    EXPECT_EQ(names(), std::vector<std::string>{});
    DS->MoveBy(2);
    EXPECT_EQ(names(), std::vector<std::string>{"c"});
    DS->First();
    EXPECT_EQ(names(), std::vector<std::string>{});
}

TEST_F(FIBDataSetEditTest, TransactionEventsFollowTheReadAndTheUpdateTransaction) {
    std::vector<std::string> log;
    DS->BeforeStartTransaction = [&](TObject* S) { log.push_back("read start " + ComponentFullName(dynamic_cast<TComponent*>(S))); };
    DS->AfterStartTransaction = [&](TObject*) { log.push_back("read started"); };
    DS->BeforeEndTransaction = [&](TFIBTransaction*, TTransactionAction A, bool) {
        log.push_back("read end " + std::to_string(A));
    };
    DS->AfterEndTransaction = [&](TFIBTransaction*, TTransactionAction, bool) { log.push_back("read ended"); };
    DS->BeforeStartUpdateTransaction = [&](TObject*) { log.push_back("update start"); };
    DS->AfterStartUpdateTransaction = [&](TObject*) { log.push_back("update started"); };
    DS->BeforeEndUpdateTransaction = [&](TFIBTransaction*, TTransactionAction, bool) { log.push_back("update end"); };
    DS->AfterEndUpdateTransaction = [&](TFIBTransaction* T, TTransactionAction, bool) {
        log.push_back("update ended " + T->Name());
    };
    // One transaction for both: both sets fire (the transaction calls its start listeners
    // from the last one added).
    Transaction.StartTransaction();
    Transaction.Commit();
    EXPECT_EQ(log, (std::vector<std::string>{"update start", "read start Form1.Tr", "update started", "read started",
                                             "read end 2", "update end", "read ended", "update ended Tr"}));
    log.clear();
    DS->SetUpdateTransaction(&UpdateTr);
    Transaction.StartTransaction();
    Transaction.Rollback();
    UpdateTr.StartTransaction();
    UpdateTr.Commit();
    EXPECT_EQ(log, (std::vector<std::string>{"read start Form1.Tr", "read started", "read end 0", "read ended",
                                             "update start", "update started", "update end", "update ended UpdTr"}));
    // A data set moved to another transaction hears no more of the old one.
    log.clear();
    TFIBTransaction other(&Form);
    other.SetDefaultDatabase(&Database);
    DS->SetTransaction(&other);
    Transaction.StartTransaction();
    Transaction.Commit();
    EXPECT_TRUE(log.empty());
    other.StartTransaction();
    other.Commit();
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(FIBDataSetEditTest, ControlsEventsFireOnceForEachChangeOfTheDisabledState) {
    int disabled = 0, enabled = 0;
    DS->OnDisableControls = [&](TObject*) { ++disabled; };
    DS->OnEnableControls = [&](TObject*) { ++enabled; };
    DS->DisableControls();
    DS->DisableControls();
    EXPECT_EQ(disabled, 1);
    DS->EnableControls();
    EXPECT_EQ(enabled, 0);
    DS->EnableControls();
    EXPECT_EQ(enabled, 1);
    DS->SetSelectSQL("SELECT ID FROM PEOPLE");
    DS->Open();
    DS->FetchAll();   // runs with controls disabled
    EXPECT_EQ(disabled, 2);
    EXPECT_EQ(enabled, 2);
}

TEST_F(FIBDataSetEditTest, TheLimitedCacheModelIsCheckedThenTaken) {
    DS->SetSelectSQL("SELECT ID FROM PEOPLE");
    EXPECT_NE(ErrorOf([&] { DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize); })
                  .find("Form1.DS. Can't use limited cache. \r\nCachedUpdates must be False,"),
              std::string::npos);
    EXPECT_EQ(DS->CacheModelOptions().CacheModelKind(), cmkStandard);
    DS->SetSelectSQL("SELECT ID FROM PEOPLE ORDER BY ID");
    DS->CacheModelOptions().SetCacheModelKind(cmkLimitedBufferSize);
    EXPECT_EQ(DS->CacheModelOptions().CacheModelKind(), cmkLimitedBufferSize);
    EXPECT_EQ(DS->CacheModelOptions().BufferChunks(), 100);
}

TEST_F(FIBDataSetEditTest, TheDataSetAnswersThroughItsLargerInterface) {
    DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE WHERE ID BETWEEN ?LO AND ?HI ORDER BY ID");
    ISQLDataSetObject& object = *DS;
    object.Prepare();
    EXPECT_TRUE(DS->Prepared());
    object.SetParamValues("HI;LO", {Variant(4), Variant(2)});
    DS->Open();
    int index = -1;
    EXPECT_TRUE(object.FieldExist("NAME", index));
    EXPECT_EQ(object.FieldValue(index, false).AsString(), "Bob");
    EXPECT_EQ(object.GetRelationName(DS->FieldByName("NAME")), "PEOPLE");
    EXPECT_EQ(object.GetFieldOrigin(DS->FieldByName("NAME")), "PEOPLE.NAME");
    int rows = 0;
    for (; !object.IEof(); object.INext()) ++rows;
    EXPECT_EQ(rows, 3);
    TStringList links;
    EXPECT_NE(ErrorOf([&] { object.FillParamsToFieldsLinks(links); }), "no error");   // the extended data sets give it
}

// The statements that read the columns are pooled: every table read after the first one
// gets its columns too (they came back empty).
TEST_F(FIBDataSetEditTest, EveryTableReadInTurnHasItsColumns) {
    TpFIBTableInfoCollect& cache = TableInfoCache();
    cache.ClearForDatabase(&Database);
    const std::vector<std::pair<std::string, int>> tables = {{"PEOPLE", 2}, {"DOOMED", 1}, {"ALLT", 18}};
    for (int round = 0; round < 2; ++round)
        for (const auto& [table, columns] : tables) {
            SCOPED_TRACE(table + " round " + std::to_string(round));
            TpFIBTableInfo* info = cache.GetTableInfo(&Database, table, false);
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(info->FieldCount(), columns);
            if (round == 0) continue;
            cache.RemoveTable(table);   // the second round reads each table again
            EXPECT_EQ(cache.GetTableInfo(&Database, table, false)->FieldCount(), columns);
        }
}

// The repository was made before its version column: the first read gives it the column.
TEST_F(FIBDataSetEditTest, RepositorySettingsAreReadWhenAskedForAndTheDatabaseUsesThem) {
    TpFIBTableInfoCollect& cache = TableInfoCache();
    Database.UseRepositories = 0;
    cache.ClearForDatabase(&Database);
    TpFIBFieldInfo* name = cache.GetFieldInfo(&Database, "PEOPLE", true, "NAME");
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(name->HasRepositoryInfo);

    Database.UseRepositories = 7;
    cache.ClearForDatabase(&Database);
    ASSERT_NE(cache.GetTableInfo(&Database, "PEOPLE", false), nullptr);
    name = cache.GetFieldInfo(&Database, "PEOPLE", false, "NAME");
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(name->HasRepositoryInfo);
    // The same table asked for with the repository reads it.
    name = cache.GetFieldInfo(&Database, "PEOPLE", true, "NAME");
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->HasRepositoryInfo);
    EXPECT_EQ(name->DisplayLabel, "Full name");
    EXPECT_TRUE(name->Visible);
    EXPECT_FALSE(name->Triggered);
    ASSERT_EQ(name->OtherInfo.Count(), 1);
    EXPECT_EQ(name->OtherInfo[0], "HINT=the person's name");
    TpFIBFieldInfo* id = cache.GetFieldInfo(&Database, "PEOPLE", true, "ID");
    ASSERT_NE(id, nullptr);
    EXPECT_FALSE(id->HasRepositoryInfo);
    EXPECT_EQ(Count("RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'FIB$FIELDS_INFO' AND RDB$FIELD_NAME IN "
                    "('FIB$VERSION', 'DISPLAY_WIDTH')"),
              2);

    // Fields described by their name in a data set rather than by a table.
    cache.ClearForDatabase(&Database);
    TpFIBFieldInfo* total = cache.GetFieldInfo(&Database, "ALIAS", true, "TOTAL");
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->DisplayLabel, "Sum");
    EXPECT_EQ(total->DisplayFormat, "#,##0.00");
    EXPECT_TRUE(total->Triggered);
    EXPECT_FALSE(total->Visible);
}

TEST_F(FIBDataSetEditTest, CancelPutsBackTheBlobBodyAndTheCursor) {
    DS->UpdateSQL().SetText("UPDATE ALLT SET MEMO = ?MEMO WHERE ID = ?OLD_ID");
    DS->InsertSQL().SetText("INSERT INTO ALLT (ID) VALUES (?ID)");
    DS->SetSelectSQL("SELECT ID, MEMO FROM ALLT ORDER BY ID");
    DS->Open();
    ASSERT_EQ(DS->FieldByName("MEMO")->AsString(), "memo one");
    DS->Edit();
    DS->FieldByName("MEMO")->SetAsString("changed");
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "memo one");
    DS->Edit();   // a second edit starts from the body as read
    DS->FieldByName("MEMO")->SetAsString("changed again");
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "changed again");
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "memo one");

    // A cancelled insert leaves the cursor on the record it started at, or on the last one.
    DS->Next();
    DS->Insert();
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
    DS->Append();
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(DS->RecordCount(), 3);
}

// The refresh statement asks the server whether a row is still there.
TEST_F(FIBDataSetEditTest, ARowTheRefreshStillFindsStaysAndOneItMissesLeavesTheView) {
    DS->DeleteSQL().SetText("DELETE FROM KEEP WHERE ID = -?OLD_ID");   // deletes nothing
    DS->RefreshSQL().SetText("SELECT ID, NAME FROM KEEP WHERE ID = ?OLD_ID AND ID <> 2");
    DS->SetOptions(DS->Options() | SetOf<TpFIBDsOptions>(poRefreshAfterDelete));
    DS->SetSelectSQL("SELECT ID, NAME FROM KEEP ORDER BY ID");
    DS->Open();
    DS->FetchAll();
    DS->Delete();
    EXPECT_EQ(DS->RecordCount(), 3);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "one");

    DS->Next();
    EXPECT_FALSE(DS->RefreshFromQuery(DS->RefreshQuery(), DS->Current()));
    EXPECT_EQ(DS->RecordCount(), 3);   // without poRefreshDeletedRecord the record stays
    DS->SetOptions(DS->Options() | SetOf<TpFIBDsOptions>(poRefreshDeletedRecord));
    EXPECT_FALSE(DS->RefreshFromQuery(DS->RefreshQuery(), DS->Current()));
    EXPECT_EQ(DS->RecordCount(), 2);
    std::vector<int> ids;
    for (DS->First(); !DS->Eof(); DS->Next()) ids.push_back(DS->FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{1, 3}));
    DS->Close();
    EXPECT_EQ(Count("KEEP"), 3);
}

TEST_F(FIBDataSetEditTest, RefreshReadsTheCurrentRecordAgainThroughRefreshSql) {
    DS->SetSelectSQL("SELECT ID, NAME FROM KEEP ORDER BY ID");
    DS->Open();
    EXPECT_NE(ErrorOf([&] { DS->Refresh(); }).find("Can't refresh row. (Form1.DS)"), std::string::npos);
    DS->Close();
    DS->RefreshSQL().SetText("SELECT NAME || '!' AS NAME, ID FROM KEEP WHERE ID = ?OLD_ID");
    DS->Open();
    DS->Next();
    DS->Refresh();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "two!");
    DS->First();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "one");   // only the current record is read again
}

} // namespace
} // namespace qnl
