// Posting through hand-written insert and update statements against real Firebird 3: what the
// server stores is read back by isql, not through our code.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/fib.h"
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorOf;
using Rows = std::vector<std::string>;

// Row 1 holds values a double or whole milliseconds cannot carry; row 100 is its copy. Row 2
// holds values a field can write; row 200 will be written through the fields. isql talks to the
// server without a character set, so the WIN1252 texts are given as their bytes (é, Ü).
const char* const Ddl = R"(
CREATE TABLE GRPS (GID INTEGER NOT NULL PRIMARY KEY, LABEL VARCHAR(10));
INSERT INTO GRPS VALUES (7, 'seven');
CREATE TABLE PEOPLE (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), SHOUT VARCHAR(20),
  EDITS INTEGER DEFAULT 0 NOT NULL, GRP INTEGER);
SET TERM ^;
CREATE TRIGGER PEOPLE_BIU FOR PEOPLE BEFORE INSERT OR UPDATE AS
BEGIN
  NEW.SHOUT = UPPER(NEW.NAME);
  IF (UPDATING) THEN NEW.EDITS = OLD.EDITS + 1;
END^
SET TERM ;^
INSERT INTO PEOPLE (ID, NAME) VALUES (1, 'Ann');
INSERT INTO PEOPLE (ID, NAME) VALUES (2, 'Bob');
INSERT INTO PEOPLE (ID, NAME) VALUES (3, 'Cid');
INSERT INTO PEOPLE (ID, NAME) VALUES (4, 'Dee');
INSERT INTO PEOPLE (ID, NAME) VALUES (5, 'Eve');
CREATE TABLE ALLT (
  ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, I INTEGER, N42 NUMERIC(4,2), N92 NUMERIC(9,2), BI BIGINT,
  N184 NUMERIC(18,4), N186 NUMERIC(18,6), DP DOUBLE PRECISION, FL FLOAT, DT DATE, TM TIME, TS TIMESTAMP, C CHAR(10),
  V VARCHAR(40), VU VARCHAR(10) CHARACTER SET UTF8, VW VARCHAR(10) CHARACTER SET WIN1252, BO BOOLEAN,
  OCT CHAR(4) CHARACTER SET OCTETS, MEMO BLOB SUB_TYPE TEXT);
INSERT INTO ALLT VALUES (1, -7, 2147483647, -12.34, 1234567.89, -9223372036854775808, 12.1234, 123456789.123457, 2.5,
  0.25, '2024-02-29', '23:59:58.1234', '1858-11-17 00:00:01.5678', 'abc', 'text', 'Grüße', _WIN1252 x'E9', TRUE, x'41424344',
  'memo one');
INSERT INTO ALLT VALUES (2, 32767, -2147483648, 99.99, -0.01, 9223372036854775807, -99999999999999.9999, -0.000001,
  -1.0E300, -3.5, '0001-01-01', '00:00:00.001', '9999-12-31 23:59:59.999', 'x', 'v2', 'ß', _WIN1252 x'DC', FALSE, 'WXYZ', 'second');
INSERT INTO ALLT SELECT 100, SI, I, N42, N92, BI, N184, N186, DP, FL, DT, TM, TS, C, V, VU, VW, BO, OCT, MEMO FROM ALLT
  WHERE ID = 1;
CREATE TABLE ARR (ID INTEGER NOT NULL PRIMARY KEY, A INTEGER[3], Q INTEGER CHECK (Q >= 0));
INSERT INTO ARR (ID, Q) VALUES (1, 0);
INSERT INTO ARR (ID, Q) VALUES (2, 0);
INSERT INTO ARR (ID, Q) VALUES (3, 0);
COMMIT;
)";

const std::vector<std::string> AllColumns = {"SI", "I",  "N42", "N92", "BI", "N184", "N186", "DP",  "FL",  "DT",
                                             "TM", "TS", "C",   "V",   "VU", "VW",   "BO",   "OCT", "MEMO"};

// The query that names the columns in which rows A and B of ALLT differ.
std::string DifferingColumns(int A, int B) {
    std::string select = "SELECT '<<' ";
    for (const std::string& c : AllColumns)
        select += "|| IIF(A." + c + " IS NOT DISTINCT FROM B." + c + ", '', '" + c + " ') ";
    return select + "|| '>>' FROM ALLT A JOIN ALLT B ON A.ID = " + std::to_string(A) + " AND B.ID = " + std::to_string(B);
}

// The names in isql's one row (IIF pads its answers with blanks).
std::vector<std::string> Words(const std::vector<std::string>& Rows) {
    std::vector<std::string> words;
    std::string word;
    for (const std::string& row : Rows)
        for (char c : row + " ")
            if (c != ' ') {
                word += c;
            } else if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
    return words;
}

class pFIBDataSetPostTest : public test::DataSetKit {
protected:
    void SetUp() override { OpenDatabase(Ddl); }
    void TearDown() override {
        DS.reset();
        Master.reset();
        DataSetKit::TearDown();
    }
    // PEOPLE with statements of every kind; the refresh reads what the trigger wrote.
    void OpenPeople(const std::string& UpdateSql, TDataSource* MasterSource = nullptr) {
        DS = NewDataSet("DS");
        DS->SetDataSource(MasterSource);
        DS->SetUpdateTransaction(&UpdateTr);
        // The refresh after a post reads what the update transaction wrote and the trigger changed.
        DS->SetRefreshTransactionKind(tkUpdateTransaction);
        DS->InsertSQL().SetText("INSERT INTO PEOPLE (ID, NAME) VALUES (?ID, ?NAME)");
        DS->UpdateSQL().SetText(UpdateSql);
        DS->DeleteSQL().SetText("DELETE FROM PEOPLE WHERE ID = ?OLD_ID");
        DS->RefreshSQL().SetText("SELECT ID, NAME, SHOUT, EDITS, GRP FROM PEOPLE WHERE ID = ?ID");
        DS->SetSelectSQL("SELECT ID, NAME, SHOUT, EDITS, GRP FROM PEOPLE ORDER BY ID");
        DS->Open();
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (DS->First(); !DS->Eof(); DS->Next()) names.push_back(DS->FieldByName("NAME")->AsString());
        return names;
    }
    // Another attachment runs Sql and commits.
    void RunElsewhere(const std::string& Sql) {
        TFIBDatabase other;
        other.SetDBName(Db->Path());
        other.ConnectParams().SetUserName("SYSDBA");
        other.Open();
        TFIBTransaction tr;
        tr.SetDefaultDatabase(&other);
        TFIBQuery q;
        q.SetDatabase(&other);
        q.SetTransaction(&tr);
        q.SQL().SetText(Sql);
        tr.StartTransaction();
        q.ExecQuery();
        tr.Commit();
        other.Close();
    }
    Rows PeopleRows() {
        return IsqlRows("SELECT '<<' || ID || '|' || NAME || '|' || SHOUT || '|' || EDITS || '|' || COALESCE(GRP, '-') || "
                        "'>>' FROM PEOPLE ORDER BY ID");
    }

    std::unique_ptr<TpFIBDataSet> DS;
    std::unique_ptr<TpFIBDataSet> Master;
};

TEST_F(pFIBDataSetPostTest, AnInsertBeforeTheThirdRecordGoesThereAndAKeyViolationChangesNothing) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->MoveBy(2);
    const int cached = DS->CachedRecordCount();
    DS->Insert();
    DS->FieldByName("ID")->SetAsInteger(1);
    DS->FieldByName("NAME")->SetAsString("Dup");
    const std::string error = ErrorOf([&] { DS->Post(); });
    EXPECT_NE(error.find("Violation of PRIMARY or UNIQUE KEY"), std::string::npos) << error;
    // Still inserting, with the user's values; the cache as it was.
    EXPECT_EQ(DS->State(), dsInsert);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Dup");
    EXPECT_EQ(DS->CachedRecordCount(), cached);

    DS->FieldByName("ID")->SetAsInteger(10);
    DS->FieldByName("NAME")->SetAsString("Zed");
    DS->Post();
    EXPECT_EQ(DS->RecNo(), 3);
    EXPECT_EQ(DS->FieldByName("SHOUT")->AsString(), "ZED");   // read back after the post
    EXPECT_EQ(Names(), (std::vector<std::string>{"Ann", "Bob", "Zed", "Cid", "Dee", "Eve"}));
    UpdateTr.Commit();
    EXPECT_EQ(PeopleRows(), (Rows{"1|Ann|ANN|0|-", "2|Bob|BOB|0|-", "3|Cid|CID|0|-", "4|Dee|DEE|0|-", "5|Eve|EVE|0|-",
                                  "10|Zed|ZED|0|-"}));
}

TEST_F(pFIBDataSetPostTest, AnUpdateTakesOldNewPlainAndMasterValuesAndShowsWhatTheTriggerWrote) {
    Master = NewDataSet("Master");
    Master->SetSelectSQL("SELECT GID, LABEL FROM GRPS");
    Master->Open();
    TDataSource source(&Form);
    source.SetDataSet(Master.get());
    OpenPeople("UPDATE PEOPLE SET ID = ?NEW_ID, NAME = ?NAME, GRP = ?MAS_GID WHERE ID = ?OLD_ID", &source);
    DS->Next();
    DS->Edit();
    DS->FieldByName("ID")->SetAsInteger(20);
    DS->FieldByName("NAME")->SetAsString("Bobby");
    DS->Post();
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_EQ(DS->FieldByName("SHOUT")->AsString(), "BOBBY");
    EXPECT_EQ(DS->FieldByName("EDITS")->AsInteger(), 1);
    EXPECT_EQ(DS->FieldByName("GRP")->AsInteger(), 7);
    UpdateTr.Commit();
    DS->SetDataSource(nullptr);
    EXPECT_EQ(PeopleRows(), (Rows{"1|Ann|ANN|0|-", "3|Cid|CID|0|-", "4|Dee|DEE|0|-", "5|Eve|EVE|0|-", "20|Bobby|BOBBY|1|7"}));
}

// Another attachment deletes the row meanwhile: the statements change nothing, and neither the
// post nor the delete may pass for done.
TEST_F(pFIBDataSetPostTest, AChangeToARowAnotherAttachmentDeletedIsAnErrorAndTheRecordStays) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->MoveBy(2);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Cyd");
    RunElsewhere("DELETE FROM PEOPLE WHERE ID = 3");
    std::string error = ErrorOf([&] { DS->Post(); });
    EXPECT_NE(error.find("Record does not exist"), std::string::npos) << error;
    EXPECT_EQ(DS->State(), dsEdit);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cyd");
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cid");

    error = ErrorOf([&] { DS->Delete(); });
    EXPECT_NE(error.find("Record does not exist"), std::string::npos) << error;
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cid");
    DS->FetchAll();
    EXPECT_EQ(DS->RecordCount(), 5);
}

// The connection is shut down under a post: the error is the server's, the record stays in edit
// with the user's value and Cancel gives back the cached one; the rows on the server are as they
// were.
TEST_F(pFIBDataSetPostTest, APostOnALostConnectionLeavesTheRecordInEdit) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->MoveBy(2);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Cyd");
    RunElsewhere("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
    const std::string error = ErrorOf([&] { DS->Post(); });
    EXPECT_NE(error.find("Connection shutdown"), std::string::npos) << error;
    EXPECT_EQ(DS->State(), dsEdit);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cyd");
    DS->Cancel();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Cid");
    DS.reset();
    // The engine of this process lets go of the file a while after a shut-down attachment is
    // detached, so isql may not open it yet: a new attachment of our own reads the rows.
    Database.ForceClose();
    Database.Open();
    EXPECT_EQ(Database.QueryValue("SELECT LIST(NAME, ',') FROM (SELECT NAME FROM PEOPLE ORDER BY ID)", 0, {}, &UpdateTr)
                  .AsString(),
              "Ann,Bob,Cid,Dee,Eve");
}

// A row the refresh no longer finds: another attachment deleted it before Refresh, or the
// data set's own delete removed it before the refresh that follows the delete. With
// poRefreshDeletedRecord exactly that record leaves the view; without it the record stays.
TEST_F(pFIBDataSetPostTest, ARowTheRefreshMissesLeavesTheViewOnlyWithRefreshDeletedRecord) {
    struct Case {
        bool RefreshDeleted;
        std::vector<std::string> AfterRefresh, AfterDelete;
    };
    const Case cases[] = {
        {false, {"Ann", "Bob", "Cid", "Dee", "Eve"}, {"Ann", "Bob", "Cid", "Eve"}},
        {true, {"Ann", "Bob", "Dee", "Eve"}, {"Ann", "Bob", "Eve"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.RefreshDeleted);
        if (!Database.Connected()) OpenDatabase(Ddl);   // isql closed the last case's connection
        OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
        TpFIBDsOptions options = DS->Options() | SetOf<TpFIBDsOptions>(poRefreshAfterDelete);
        if (c.RefreshDeleted) options = options | SetOf<TpFIBDsOptions>(poRefreshDeletedRecord);
        DS->SetOptions(options);
        DS->MoveBy(2);
        RunElsewhere("DELETE FROM PEOPLE WHERE ID = 3");
        DS->Refresh();
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), c.RefreshDeleted ? "Dee" : "Cid");
        EXPECT_EQ(Names(), c.AfterRefresh);
        DS->First();
        DS->MoveBy(c.RefreshDeleted ? 2 : 3);
        ASSERT_EQ(DS->FieldByName("NAME")->AsString(), "Dee");
        DS->Delete();
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Eve");
        EXPECT_EQ(Names(), c.AfterDelete);
        UpdateTr.Commit();
        DS.reset();
        EXPECT_EQ(PeopleRows(), (Rows{"1|Ann|ANN|0|-", "2|Bob|BOB|0|-", "5|Eve|EVE|0|-"}));
    }
}

// AutoCommit after a post: with one transaction for reading and writing it commits retaining,
// so the data set stays open; a separate update transaction is committed hard (retaining when
// its TimeoutAction says so) and the read transaction, and with it the data set, carries on.
TEST_F(pFIBDataSetPostTest, AutoCommitKeepsTheDataSetOpenAndTheRowOnTheServer) {
    struct Case {
        bool Separate;
        TTransactionAction Timeout;
        bool UpdateStillActive;
    };
    const Case cases[] = {{false, TARollback, true}, {true, TARollback, false}, {true, TACommitRetaining, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Separate) + " " + std::to_string(c.Timeout));
        if (!Database.Connected()) OpenDatabase(Ddl);   // isql closed the last case's connection
        DS = NewDataSet("DS");
        DS->AutoCommit = true;
        if (c.Separate) DS->SetUpdateTransaction(&UpdateTr);
        UpdateTr.TimeoutAction = c.Timeout;
        DS->InsertSQL().SetText("INSERT INTO PEOPLE (ID, NAME) VALUES (?ID, ?NAME)");
        DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
        DS->Open();
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(6);
        DS->FieldByName("NAME")->SetAsString("Fay");
        DS->Post();
        EXPECT_TRUE(DS->Active());
        EXPECT_TRUE(Transaction.Active());
        EXPECT_EQ(DS->UpdateTransaction()->Active(), c.UpdateStillActive);
        DS->First();
        EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Ann");
        for (TFIBTransaction* tr : {&Transaction, &UpdateTr})   // what the commit kept stays
            if (tr->Active()) tr->Rollback();
        DS.reset();
        EXPECT_EQ(PeopleRows().back(), "6|Fay|FAY|0|-");
    }
}

// A full update of row 1 changes one column: every other value goes back exactly as it came
// (scaled numbers, a NUMERIC(18,6) kept as a double, ten-thousandths of a second, BOOLEAN,
// OCTETS, the memo).
TEST_F(pFIBDataSetPostTest, AFullUpdateGivesBackEveryUntouchedValueExactly) {
    DS = NewDataSet("DS");
    DS->SetUpdateTransaction(&UpdateTr);
    std::string set;
    for (const std::string& c : AllColumns) set += (set.empty() ? "" : ", ") + c + " = ?" + c;
    DS->UpdateSQL().SetText("UPDATE ALLT SET " + set + " WHERE ID = ?OLD_ID");
    DS->SetOptions(DS->Options() & ~SetOf<TpFIBDsOptions>(poTrimCharFields));
    DS->SetSelectSQL("SELECT * FROM ALLT WHERE ID = 1");
    DS->Open();
    DS->Edit();
    DS->FieldByName("V")->SetAsString("changed");
    DS->Post();
    UpdateTr.Commit();
    EXPECT_EQ(Words(IsqlRows(DifferingColumns(1, 100))), Rows{"V"});
}

// Every type written through its field reads back in isql as the values isql wrote.
TEST_F(pFIBDataSetPostTest, EveryTypeWrittenThroughAFieldIsWhatIsqlWrote) {
    DS = NewDataSet("DS");
    DS->SetUpdateTransaction(&UpdateTr);
    std::string names = "ID", values = "?ID";
    for (const std::string& c : AllColumns) {
        names += ", " + c;
        values += ", ?" + c;
    }
    DS->InsertSQL().SetText("INSERT INTO ALLT (" + names + ") VALUES (" + values + ")");
    DS->SetSelectSQL("SELECT * FROM ALLT ORDER BY ID");
    DS->Open();
    DS->Append();
    auto f = [&](const char* Name) { return DS->FieldByName(Name); };
    f("ID")->SetAsInteger(200);
    f("SI")->SetAsInteger(32767);
    f("I")->SetAsInteger(-2147483647 - 1);
    f("N42")->SetAsFloat(99.99);
    f("N92")->SetAsFloat(-0.01);
    f("BI")->SetAsString("9223372036854775807");
    f("N184")->SetAsString("-99999999999999.9999");
    f("N186")->SetAsFloat(-0.000001);
    f("DP")->SetAsFloat(-1.0E300);
    f("FL")->SetAsFloat(-3.5);
    f("DT")->SetAsDateTime(EncodeDate(1, 1, 1));
    f("TM")->SetAsDateTime(EncodeTime(0, 0, 0, 1));
    f("TS")->SetAsDateTime(EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999));
    f("C")->SetAsString("x");
    f("V")->SetAsString("v2");
    f("VU")->SetAsString("ß");
    f("VW")->SetAsString("Ü");
    f("BO")->SetAsBoolean(false);
    f("OCT")->SetAsString("WXYZ");
    f("MEMO")->SetAsString("second");
    DS->Post();
    UpdateTr.Commit();
    EXPECT_EQ(Words(IsqlRows(DifferingColumns(2, 200))), Rows{});
}

// Under cached updates nothing reaches the server, and cancelling gives every record back the
// version it had before its first change: also a record edited (memo included) and then deleted;
// the deleted record shows again and the inserted one is gone.
TEST_F(pFIBDataSetPostTest, CancelUpdatesGivesBackTheFirstVersionOfEveryChangedRecord) {
    DS = NewDataSet("DS");
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE ALLT SET V = ?V, MEMO = ?MEMO WHERE ID = ?OLD_ID");
    DS->InsertSQL().SetText("INSERT INTO ALLT (ID, V) VALUES (?ID, ?V)");
    DS->DeleteSQL().SetText("DELETE FROM ALLT WHERE ID = ?OLD_ID");
    DS->SetSelectSQL("SELECT ID, V, MEMO FROM ALLT ORDER BY ID");
    DS->Open();
    DS->Edit();
    DS->FieldByName("V")->SetAsString("edited");
    DS->FieldByName("MEMO")->SetAsString("edited memo");
    DS->Post();
    DS->Delete();
    ASSERT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
    for (const char* v : {"once", "twice"}) {
        DS->Edit();
        DS->FieldByName("V")->SetAsString(v);
        DS->Post();
    }
    DS->Next();
    ASSERT_EQ(DS->FieldByName("ID")->AsInteger(), 100);
    DS->Delete();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(300);
    DS->FieldByName("V")->SetAsString("new");
    DS->Post();
    DS->CancelUpdates();
    std::vector<std::string> rows;
    for (DS->First(); !DS->Eof(); DS->Next())
        rows.push_back(DS->FieldByName("ID")->AsString() + "|" + DS->FieldByName("V")->AsString() + "|" +
                       DS->FieldByName("MEMO")->AsString());
    const Rows original{"1|text|memo one", "2|v2|second", "100|text|memo one"};
    EXPECT_EQ(rows, original);
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || V || '|' || MEMO || '>>' FROM ALLT ORDER BY ID"), original);
}

// A post the server refuses leaves the record in edit or insert with the user's values, the array
// included: the array the edit began with when the user left it alone, else the user's own (the
// failed statement's array is gone and written anew), or none when the user cleared it. With the
// refused value corrected, the retry stores exactly that array.
TEST_F(pFIBDataSetPostTest, AFailedPostGivesTheArrayFieldItsArrayBack) {
    DS = NewDataSet("DS");
    DS->InsertSQL().SetText("INSERT INTO ARR (ID, A, Q) VALUES (?ID, ?A, ?Q)");
    DS->UpdateSQL().SetText("UPDATE ARR SET A = ?A, Q = ?Q WHERE ID = ?OLD_ID");
    // The stored array has an id of its own: the record learns it from the refresh.
    DS->RefreshSQL().SetText("SELECT ID, A, Q FROM ARR WHERE ID = ?ID");
    DS->SetSelectSQL("SELECT ID, A, Q FROM ARR ORDER BY ID");
    DS->Open();
    auto array = [](int First) {
        Variant v = Variant::CreateArray({TVarArrayBound{1, 3}}, varInteger);
        for (int i = 0; i < 3; ++i) v.PutElement({i + 1}, Variant(int32_t{First + i}));
        return v;
    };
    auto field = [&](const char* Name) { return DS->FieldByName(Name); };
    auto shown = [&] {
        if (field("A")->IsNull()) return std::string("-");
        const Variant v = field("A")->AsVariant();
        std::string text;
        for (int i = 1; i <= 3; ++i) text += (i > 1 ? " " : "") + std::to_string(v.GetElement({i}).AsInt64());
        return text;
    };
    auto go = [&](int Id) {
        for (DS->First(); field("ID")->AsInteger() != Id; DS->Next()) ASSERT_FALSE(DS->Eof());
    };
    for (int id : {1, 3}) {
        go(id);
        DS->Edit();
        field("A")->SetAsVariant(array(1));
        DS->Post();
        ASSERT_EQ(shown(), "1 2 3");
    }
    int errors = 0;
    DS->OnPostError = [&](TDataSet*, EDatabaseError&, TDataAction&) { ++errors; };
    struct Case {
        const char* Name;
        int Id;                           // the row edited; 0 inserts
        std::function<void()> Change;     // the user's values, one of which the server refuses
        const char* Error;
        TDataSetState State;
        int Q;                            // the user's Q, kept after the failure
        std::string Shown;                // the array after the failure
        std::function<void()> Fix;
    };
    const std::vector<Case> cases = {
        {"edit leaving the array", 1, [&] { field("Q")->SetAsInteger(-1); }, "CHECK", dsEdit, -1, "1 2 3",
         [&] { field("Q")->SetAsInteger(1); }},
        {"edit writing an array", 2,
         [&] {
             field("A")->SetAsVariant(array(7));
             field("Q")->SetAsInteger(-1);
         },
         "CHECK", dsEdit, -1, "7 8 9", [&] { field("Q")->SetAsInteger(2); }},
        {"edit clearing the array", 3,
         [&] {
             field("A")->Clear();
             field("Q")->SetAsInteger(-1);
         },
         "CHECK", dsEdit, -1, "-", [&] { field("Q")->SetAsInteger(3); }},
        {"insert with an array and a taken key", 0,
         [&] {
             field("ID")->SetAsInteger(1);
             field("A")->SetAsVariant(array(4));
             field("Q")->SetAsInteger(4);
         },
         "PRIMARY", dsInsert, 4, "4 5 6", [&] { field("ID")->SetAsInteger(4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        errors = 0;
        if (c.Id) {
            go(c.Id);
            DS->Edit();
        } else {
            DS->Append();
        }
        c.Change();
        EXPECT_NE(ErrorOf([&] { DS->Post(); }).find(c.Error), std::string::npos);
        EXPECT_EQ(errors, 1);
        EXPECT_EQ(DS->State(), c.State);
        EXPECT_EQ(field("Q")->AsInteger(), c.Q);
        EXPECT_EQ(shown(), c.Shown);
        c.Fix();
        DS->Post();
        EXPECT_EQ(shown(), c.Shown);
    }
    // An error handler that corrects the key and retries at once stores the user's array too.
    DS->OnPostError = [&](TDataSet*, EDatabaseError&, TDataAction& Action) {
        field("ID")->SetAsInteger(5);
        Action = daRetry;
    };
    DS->Append();
    field("ID")->SetAsInteger(1);
    field("A")->SetAsVariant(array(10));
    field("Q")->SetAsInteger(5);
    DS->Post();
    Transaction.Commit();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || COALESCE(A[1] || ' ' || A[2] || ' ' || A[3], '-') || '|' || Q || "
                       "'>>' FROM ARR ORDER BY ID"),
              (Rows{"1|1 2 3|1", "2|7 8 9|2", "3|-|3", "4|4 5 6|4", "5|10 11 12|5"}));
}

// Cached changes of every kind, applied: exactly those rows change on the server, and a record
// inserted and deleted again since the last apply is never sent.
TEST_F(pFIBDataSetPostTest, AppliedCachedChangesWriteExactlyThoseRows) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->Open();
    std::vector<TUpdateKind> kinds;
    DS->OnUpdateRecord = [&](TDataSet*, TUpdateKind Kind, TFIBUpdateAction& Action) {
        kinds.push_back(Kind);
        Action = uaApply;
    };
    auto edit = [&](const char* Name) {
        DS->Edit();
        DS->FieldByName("NAME")->SetAsString(Name);
        DS->Post();
    };
    edit("Amy");            // 1
    DS->MoveBy(2);
    DS->Delete();           // 3
    edit("Dora");           // 4, then deleted
    DS->Delete();
    for (int id : {6, 7}) {
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(id);
        DS->FieldByName("NAME")->SetAsString(id == 6 ? "Fay" : "Gus");
        DS->Post();
    }
    DS->Delete();           // 7: never reaches the server
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_FALSE(DS->UpdatesPending());
    EXPECT_EQ(kinds, (std::vector<TUpdateKind>{ukModify, ukDelete, ukDelete, ukInsert}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Amy", "Bob", "Eve", "Fay"}));
    EXPECT_EQ(PeopleRows(), (Rows{"1|Amy|AMY|1|-", "2|Bob|BOB|0|-", "5|Eve|EVE|0|-", "6|Fay|FAY|0|-"}));
}

// Cached changes to rows another attachment deleted meanwhile reach no row when applied: each is
// an update error with the reason, and skipped it stays pending after the commit.
TEST_F(pFIBDataSetPostTest, AppliedChangesToRowsAnotherAttachmentDeletedAreUpdateErrors) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->Open();
    DS->MoveBy(2);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Cyd");
    DS->Post();
    DS->Next();
    DS->Delete();
    RunElsewhere("DELETE FROM PEOPLE WHERE ID IN (3, 4)");
    std::vector<std::string> errors;
    DS->OnUpdateError = [&](TDataSet*, EFIBError& E, TUpdateKind Kind, TFIBUpdateAction& Action) {
        errors.push_back(std::to_string(Kind) + " " + E.Message());
        Action = uaSkip;
    };
    DS->ApplyUpdatesToBase();
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_TRUE(DS->UpdatesPending());
    const std::string reason = "Error of record updating:Record does not exist (Form1.DS)";
    EXPECT_EQ(errors, (std::vector<std::string>{std::to_string(ukModify) + " " + reason,
                                                std::to_string(ukDelete) + " " + reason}));
    DS.reset();
    EXPECT_EQ(PeopleRows(), (Rows{"1|Ann|ANN|0|-", "2|Bob|BOB|0|-", "5|Eve|EVE|0|-"}));
}

// What the handlers answer decides each record: a retry after the handler removed the obstacle
// applies it, a skip leaves it pending (also after the commit), uaApplied means the handler did
// it itself, an abort stops the apply with the server's message.
TEST_F(pFIBDataSetPostTest, TheApplyDoesWhatTheUpdateHandlersAnswer) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->Open();
    for (int id : {1, 2, 3}) {   // 1 and 2 collide with rows of the table
        DS->Append();
        DS->FieldByName("ID")->SetAsInteger(id == 3 ? 8 : id);
        DS->FieldByName("NAME")->SetAsString("New" + std::to_string(id));
        DS->Post();
    }
    DS->First();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Ann by hand");
    DS->Post();
    std::vector<std::string> log;
    DS->OnUpdateRecord = [&](TDataSet*, TUpdateKind Kind, TFIBUpdateAction& Action) {
        Action = Kind == ukModify ? uaApplied : uaApply;   // the edit is the handler's
    };
    DS->OnUpdateError = [&](TDataSet*, EFIBError& E, TUpdateKind, TFIBUpdateAction& Action) {
        const std::string key = E.Message().find("\"ID\" = 1") != std::string::npos ? "1" : "2";
        log.push_back("error " + key);
        if (key == "1" && log.size() == 1) {
            TFIBQuery q;
            q.SetDatabase(&Database);
            q.SetTransaction(&UpdateTr);
            q.SQL().SetText("DELETE FROM PEOPLE WHERE ID = 1");
            q.ExecQuery();
            Action = uaRetry;
        } else {
            Action = uaSkip;
        }
    };
    DS->AfterUpdateRecord = [&](TDataSet*, TUpdateKind, bool& Resume) {
        log.push_back("applied");
        Resume = true;
    };
    DS->ApplyUpdatesToBase();
    EXPECT_TRUE(DS->UpdatesPending());
    UpdateTr.Commit();
    DS->MarkCacheCommitted();
    EXPECT_TRUE(DS->UpdatesPending());   // the skipped insert of 2 is still to be applied
    EXPECT_EQ(log, (std::vector<std::string>{"error 1", "applied", "error 2", "applied"}));

    DS->OnUpdateError = [&](TDataSet*, EFIBError&, TUpdateKind, TFIBUpdateAction& Action) { Action = uaAbort; };
    const std::string error = ErrorOf([&] { DS->ApplyUpdatesToBase(); });
    EXPECT_NE(error.find("Violation of PRIMARY or UNIQUE KEY"), std::string::npos) << error;
    UpdateTr.Rollback();
    EXPECT_EQ(PeopleRows(), (Rows{"1|New1|NEW1|0|-", "2|Bob|BOB|0|-", "3|Cid|CID|0|-", "4|Dee|DEE|0|-", "5|Eve|EVE|0|-",
                                  "8|New3|NEW3|0|-"}));
}

// A handler of the apply that closes the data set frees the cache the apply walks: the apply
// stops with an error instead of reading the freed records.
TEST_F(pFIBDataSetPostTest, AnApplyHandlerThatClosesTheDataSetStopsTheApply) {
    OpenPeople("UPDATE PEOPLE SET NAME = ?NAME WHERE ID = ?OLD_ID");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->Open();
    for (int i = 0; i < 2; ++i) {
        DS->Edit();
        DS->FieldByName("NAME")->SetAsString("Changed" + std::to_string(i));
        DS->Post();
        DS->Next();
    }
    DS->AfterUpdateRecord = [&](TDataSet*, TUpdateKind, bool&) { DS->Close(); };
    const std::string error = ErrorOf([&] { DS->ApplyUpdatesToBase(); });
    EXPECT_NE(error.find("AfterUpdateRecord"), std::string::npos) << error;
    EXPECT_FALSE(DS->Active());
    UpdateTr.Rollback();
}

// AllowedUpdateKinds takes kinds away; under cached updates an OnUpdateRecord handler stands in
// for a missing statement. The record's saved version is there to read.
TEST_F(pFIBDataSetPostTest, AllowedKindsAndTheUpdateHandlerDecideWhatMayChange) {
    DS = NewDataSet("DS");
    DS->DeleteSQL().SetText("DELETE FROM PEOPLE WHERE ID = ?OLD_ID");
    DS->AllowedUpdateKinds = SetOf<TUpdateKinds>(ukModify) | SetOf<TUpdateKinds>(ukInsert);
    DS->SetSelectSQL("SELECT ID, NAME FROM PEOPLE ORDER BY ID");
    DS->Open();
    EXPECT_FALSE(DS->CanDelete());
    EXPECT_THROW(DS->Delete(), EAbort);
    EXPECT_FALSE(DS->CanEdit());
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->OnUpdateRecord = [](TDataSet*, TUpdateKind, TFIBUpdateAction& Action) { Action = uaApplied; };
    DS->Open();
    EXPECT_TRUE(DS->CanEdit());
    EXPECT_TRUE(DS->CanInsert());
    EXPECT_FALSE(DS->CanDelete());
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Amy");
    DS->Post();
    TFIBQuery probe;
    probe.SetDatabase(&Database);
    probe.SetTransaction(&Transaction);
    probe.SQL().SetText("SELECT ?NAME FROM RDB$DATABASE");
    std::unique_ptr<char[]> old = DS->GetOldRecordBuffer();
    ASSERT_TRUE(old);
    DS->SetQueryParams(probe, old.get());
    EXPECT_EQ(probe.Params().GetVar(0).GetAsString(), "Ann");
}

// A full refresh opens the data set again and finds the record that was current by its values
// as the server has them now, also when rows before it came and went meanwhile.
TEST_F(pFIBDataSetPostTest, AFullRefreshReturnsToTheRecordThatWasCurrent) {
    Transaction.TRParams().SetText("write\nread_committed\nrec_version\nnowait");
    DS = NewDataSet("DS");
    DS->SetSelectSQL("SELECT ID, NAME, SHOUT FROM PEOPLE ORDER BY ID");
    DS->RefreshSQL().SetText("SELECT ID, NAME, SHOUT FROM PEOPLE WHERE ID = ?OLD_ID");
    DS->Open();
    DS->MoveBy(3);
    ASSERT_EQ(DS->FieldByName("NAME")->AsString(), "Dee");
    {
        TFIBTransaction tr;
        tr.SetDefaultDatabase(&Database);
        TFIBQuery q;
        q.SetDatabase(&Database);
        q.SetTransaction(&tr);
        tr.StartTransaction();
        for (const char* sql : {"INSERT INTO PEOPLE (ID, NAME) VALUES (0, 'Zero')", "DELETE FROM PEOPLE WHERE ID = 2",
                                "UPDATE PEOPLE SET NAME = 'Dina' WHERE ID = 4"}) {
            q.SQL().SetText(sql);
            q.ExecQuery();
        }
        tr.Commit();
    }
    DS->FullRefresh();
    EXPECT_TRUE(DS->Active());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 4);
    EXPECT_EQ(DS->FieldByName("SHOUT")->AsString(), "DINA");
    EXPECT_EQ(DS->RecNo(), 4);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Zero", "Ann", "Cid", "Dina", "Eve"}));

    // Without a refresh statement the data set is only opened again.
    DS->Close();
    DS->RefreshSQL().Clear();
    DS->Open();
    DS->Last();
    DS->FullRefresh();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Zero");
    DS->Close();
    DS->SetUniDirectional(true);
    DS->Open();
    EXPECT_NE(ErrorOf([&] { DS->FullRefresh(); }).find("Data set is uni-directional."), std::string::npos);
}

} // namespace
} // namespace qnl
