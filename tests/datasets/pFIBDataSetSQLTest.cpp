// The extended data set's generated modify statements against real Firebird 3: their exact
// texts, every text run on the server with isql confirming which rows changed, values written
// into statements as literals read back exactly, and the update objects.
#include "datasets/pFIBDataSet.h"

#include "DataSetKit.h"
#include "client/StrUtil.h"
#include "client/fib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorOf;
using Rows = std::vector<std::string>;

const char* const Ddl = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));
INSERT INTO T VALUES (1, 'one');
INSERT INTO T VALUES (2, 'two');
INSERT INTO T VALUES (3, 'three');
CREATE TABLE K2 (A INTEGER NOT NULL, B INTEGER NOT NULL, V VARCHAR(10), PRIMARY KEY (A, B));
INSERT INTO K2 VALUES (1, 1, 'a');
INSERT INTO K2 VALUES (1, 2, 'b');
INSERT INTO K2 VALUES (2, 1, 'c');
CREATE TABLE "my table" ("Id" INTEGER NOT NULL PRIMARY KEY, "Name" VARCHAR(20));
INSERT INTO "my table" VALUES (1, 'one');
INSERT INTO "my table" VALUES (2, 'two');
CREATE TABLE C (ID INTEGER NOT NULL PRIMARY KEY, X INTEGER, CX COMPUTED BY (X * 2), MEMO BLOB SUB_TYPE TEXT);
INSERT INTO C (ID, X, MEMO) VALUES (1, 10, 'memo one');
INSERT INTO C (ID, X, MEMO) VALUES (2, 20, 'memo two');
CREATE TABLE NK (K INTEGER, NAME VARCHAR(10));
INSERT INTO NK VALUES (NULL, 'a');
INSERT INTO NK VALUES (1, 'x');
INSERT INTO NK VALUES (1, 'x');
INSERT INTO NK VALUES (7, 'd');
CREATE TABLE "lc" ("id" INTEGER NOT NULL PRIMARY KEY, "val" VARCHAR(10));
INSERT INTO "lc" VALUES (1, 'a');
CREATE TABLE J (ID INTEGER NOT NULL PRIMARY KEY, T_ID INTEGER, NOTE VARCHAR(10));
INSERT INTO J VALUES (1, 1, 'j1');
INSERT INTO J VALUES (2, 2, 'j2');
CREATE TABLE ALLV (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(30), D DATE, TM TIME, TS TIMESTAMP, B BOOLEAN,
  N NUMERIC(18,4), DP DOUBLE PRECISION, FL FLOAT, SI SMALLINT, BI BIGINT, N92 NUMERIC(9,2), M BLOB SUB_TYPE TEXT,
  OCT CHAR(4) CHARACTER SET OCTETS, BIN BLOB SUB_TYPE 0);
INSERT INTO ALLV VALUES (1, 'O''Brien''s '' OR ''1''=''1', '2020-12-25', '23:59:58.1234', '1858-11-17 00:00:01.5678',
  TRUE, -99999999999999.9999, 0.1, -3.5, -32768, -9223372036854775808, -0.01, 'memo with '' quote', x'00410042',
  x'000102');
INSERT INTO ALLV VALUES (2, '01/02/2020', '0001-01-01', '00:00:00', '9999-12-31 23:59:59.9999', FALSE, 12.0001,
  -1.0E300, 1.0E-30, 7, 9223372036854775807, 1234567.89, NULL, NULL, NULL);
COMMIT;
)";

const std::string N = "\r\n";

// Shows the record buffer the statements take their values from.
class TShownDataSet : public TpFIBDataSet {
public:
    using TpFIBDataSet::TpFIBDataSet;
    TRecordBuffer Current() const { return ActiveBuffer(); }
};

const std::vector<std::string> AllColumns = {"S", "D", "TM", "TS", "B", "N", "DP", "FL", "SI", "BI", "N92", "M", "OCT", "BIN"};

// The query that names the columns in which rows A and B of ALLV differ.
std::string DifferingColumns(int A, int B) {
    std::string select = "SELECT '<<' ";
    for (const std::string& c : AllColumns)
        select += "|| IIF(A." + c + " IS NOT DISTINCT FROM B." + c + ", '', '" + c + " ') ";
    return select + "|| '>>' FROM ALLV A JOIN ALLV B ON A.ID = " + std::to_string(A) + " AND B.ID = " + std::to_string(B);
}

class pFIBDataSetSQLTest : public test::DataSetKit {
protected:
    void SetUp() override { OpenDatabase(Ddl); }
    void TearDown() override {
        DS.reset();
        DataSetKit::TearDown();
    }
    // A data set over Select with the update table and keys given; generated on open only with
    // Generate.
    TpFIBDataSet& Open(const std::string& Select, const std::string& Table, const std::string& Keys,
                       bool Generate = false) {
        DS = std::make_unique<TShownDataSet>(&Form);
        DS->SetName("DS");
        DS->SetDatabase(&Database);
        DS->SetTransaction(&Transaction);
        DS->SetUpdateTransaction(&UpdateTr);
        TAutoUpdateOptions& au = DS->AutoUpdateOptions();
        au.AutoReWriteSqls = Generate;
        au.CanChangeSQLs = true;
        au.SetUpdateTableName(Table);
        au.SetKeyFields(Keys);
        DS->SetSelectSQL(Select);
        DS->Open();
        return *DS;
    }
    // Runs Text in the update transaction with its parameters from the current record.
    void Run(const std::string& Text) {
        TFIBQuery q;
        q.SetDatabase(&Database);
        q.SetTransaction(&UpdateTr);
        q.SQL().SetText(Text);
        if (!UpdateTr.Active()) UpdateTr.StartTransaction();
        q.Prepare();
        DS->SetQueryParams(q, DS->Current());
        q.ExecQuery();
    }
    std::unique_ptr<TShownDataSet> DS;
};

// Texts as the generation writes them, for the kinds, keys, names and options that shape them.
TEST_F(pFIBDataSetSQLTest, GeneratedTextsAreExact) {
    struct Case {
        const char* Name;
        const char* Select;
        const char* Table;
        const char* Keys;
        uint8_t Kind, FieldsKind;
        TSetReturningFields Returning;
        bool RowsClause;
        std::string Expected;
    };
    const TSetReturningFields all = SetOf<TSetReturningFields>(rfAll);
    const TSetReturningFields keys = SetOf<TSetReturningFields>(rfKeyFields);
    const Case cases[] = {
        {"update", "SELECT ID, NAME FROM T", "T", "ID", 0, 0, 0, false,
         "Update T T Set" + N + "     ID=?NEW_ID," + N + "     NAME=?NEW_NAME" + N + "where T.ID=?OLD_ID"},
        {"insert", "SELECT ID, NAME FROM T", "T", "ID", 1, 0, 0, false,
         "Insert into T(" + N + "     ID," + N + "     NAME" + N + ")" + N + "values (" + N + "     ?NEW_ID," + N +
             "     ?NEW_NAME" + N + ")"},
        {"delete", "SELECT ID, NAME FROM T", "T", "ID", 2, 0, 0, false, "Delete from T T" + N + "where T.ID=?OLD_ID"},
        {"refresh without the order", "SELECT ID, NAME FROM T ORDER BY NAME", "T", "ID", 3, 0, 0, false,
         "SELECT ID, NAME FROM T " + N + " WHERE " + N + "    T.ID=?OLD_ID" + N + " "},
        // In dialect 3 a lower-case name is one created in quotes, and so is written.
        {"lower-case names", "select \"id\", \"val\" from \"lc\"", "lc", "id", 0, 0, 0, false,
         "Update \"lc\" \"lc\" Set" + N + "     \"id\"=?\"NEW_id\"," + N + "     \"val\"=?\"NEW_val\"" + N +
             "where \"lc\".\"id\"=?\"OLD_id\""},
        {"reversed keys", "SELECT A, B, V FROM K2", "K2", "A;B", 2, 0, 0, false,
         "Delete from K2 K2" + N + "where K2.B=?OLD_B and K2.A=?OLD_A"},
        {"quoted mixed case", "SELECT \"Id\", \"Name\" FROM \"my table\"", "\"my table\"", "Id", 0, 0, 0, false,
         "Update \"my table\" \"my table\" Set" + N + "     \"Id\"=?\"NEW_Id\"," + N + "     \"Name\"=?\"NEW_Name\"" + N +
             "where \"my table\".\"Id\"=?\"OLD_Id\""},
        {"update with rows and returning", "SELECT ID, NAME FROM T", "T", "ID", 0, 0, all, true,
         "Update T T Set" + N + "     ID=?NEW_ID," + N + "     NAME=?NEW_NAME" + N + "where T.ID=?OLD_ID" + N + " ROWS 1" +
             N + "RETURNING ID,NAME"},
        {"insert never has rows", "SELECT ID, NAME FROM T", "T", "ID", 1, 0, keys, true,
         "Insert into T(" + N + "     ID," + N + "     NAME" + N + ")" + N + "values (" + N + "     ?NEW_ID," + N +
             "     ?NEW_NAME" + N + ")" + N + "RETURNING ID"},
        {"delete with rows", "SELECT ID, NAME FROM T", "T", "ID", 2, 0, 0, true,
         "Delete from T T" + N + "where T.ID=?OLD_ID" + N + " ROWS 1"},
        {"no blob to write", "SELECT ID, NAME FROM T", "T", "ID", 0, 2, 0, false, "No Action"},
        {"computed column left out", "SELECT ID, X, CX FROM C", "C", "ID", 0, 0, 0, false,
         "Update C C Set" + N + "     ID=?NEW_ID," + N + "     X=?NEW_X" + N + "where C.ID=?OLD_ID"},
        {"blobs only", "SELECT ID, X, MEMO FROM C", "C", "ID", 0, 2, 0, false,
         "Update C C Set" + N + "     MEMO=?NEW_MEMO" + N + "where C.ID=?OLD_ID"},
        {"joined table left out", "SELECT a.ID, a.NOTE, b.NAME FROM J a JOIN T b ON b.ID = a.T_ID", "J", "ID", 0, 0, 0,
         false, "Update J A Set" + N + "     ID=?NEW_ID," + N + "     NOTE=?NEW_NOTE" + N + "where A.ID=?OLD_ID"},
        {"row key", "SELECT n.RDB$DB_KEY, n.K, n.NAME FROM NK n", "NK N", "DB_KEY", 2, 0, 0, false,
         "Delete from NK N" + N + "where N.RDB$DB_KEY=?OLD_DB_KEY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Open(c.Select, c.Table, c.Keys).AutoUpdateOptions().UseRowsClause = c.RowsClause;
        EXPECT_EQ(DS->GenerateSQLText(c.Table, c.Keys, c.Kind, c.FieldsKind, c.Returning), c.Expected);
    }
    // Keys that are not fields of the table: an error naming the data set, the kind and the table.
    Open("SELECT a.ID, a.NOTE, b.NAME FROM J a JOIN T b ON b.ID = a.T_ID", "T", "NOTE");
    EXPECT_EQ(ErrorOf([&] { DS->GenerateSQLText("T", "NOTE", 0, 0, 0); }),
              "Form1.DS: unable to generate UpdateSQL because fields for \"T\" do not exist in dataset.");
    EXPECT_EQ(DS->GenerateSQLText("T", "NOSUCH", 0, 0, 0), "");
}

// Edits, inserts and deletes through the texts generated on open: the first record's text
// column becomes "edited", the second record is deleted and a new one appended; isql shows the
// whole table, so a statement that reached another row shows too.
TEST_F(pFIBDataSetSQLTest, EveryGeneratedTextChangesExactlyItsRow) {
    struct Case {
        const char* Name;
        const char* Select;
        const char* Table;
        const char* Keys;
        TSetReturningFields Returning;
        bool RowsClause;
        const char* EditColumn;
        std::vector<std::pair<const char*, const char*>> Inserted;
        const char* Dump;
        Rows Expected;
    };
    const Case cases[] = {
        {"plain", "SELECT ID, NAME FROM T ORDER BY ID", "T", "", SetOf<TSetReturningFields>(rfAll), true, "NAME",
         {{"ID", "9"}, {"NAME", "nine"}}, "SELECT '<<' || ID || '|' || NAME || '>>' FROM T ORDER BY ID",
         {"1|edited", "3|three", "9|nine"}},
        {"composite key", "SELECT A, B, V FROM K2 ORDER BY A, B", "K2", "", 0, false, "V",
         {{"A", "5"}, {"B", "5"}, {"V", "new"}}, "SELECT '<<' || A || '|' || B || '|' || V || '>>' FROM K2 ORDER BY A, B",
         {"1|1|edited", "2|1|c", "5|5|new"}},
        {"quoted mixed case", "SELECT \"Id\", \"Name\" FROM \"my table\" ORDER BY 1", "\"my table\"", "", 0, true,
         "Name", {{"Id", "7"}, {"Name", "seven"}},
         "SELECT '<<' || \"Id\" || '|' || \"Name\" || '>>' FROM \"my table\" ORDER BY 1", {"1|edited", "7|seven"}},
        {"row key of a keyless table", "SELECT t.RDB$DB_KEY, t.K, t.NAME FROM NK t ORDER BY t.NAME", "NK T", "DB_KEY", 0,
         true, "NAME", {{"K", "8"}, {"NAME", "h"}},
         "SELECT '<<' || COALESCE(K, '-') || '|' || NAME || '>>' FROM NK ORDER BY NAME",
         {"-|edited", "8|h", "1|x", "1|x"}},
        {"keys the user chose", "SELECT K, NAME FROM NK ORDER BY NAME", "NK", "NAME", 0, false, "NAME",
         {{"K", "8"}, {"NAME", "h"}}, "SELECT '<<' || COALESCE(K, '-') || '|' || NAME || '>>' FROM NK ORDER BY NAME",
         {"-|edited", "8|h", "1|x", "1|x"}},
        {"computed column and a joined table",
         "SELECT c.ID, c.X, c.CX, c.MEMO, j.NOTE FROM C c LEFT JOIN J j ON j.ID = c.ID ORDER BY c.ID", "C C", "",
         SetOf<TSetReturningFields>(rfKeyFields), true, "MEMO", {{"ID", "5"}, {"X", "50"}, {"MEMO", "m"}},
         "SELECT '<<' || ID || '|' || X || '|' || CX || '|' || CAST(MEMO AS VARCHAR(20)) || '>>' FROM C ORDER BY ID",
         {"1|10|20|edited", "5|50|100|m"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        if (Database.Connected()) Database.Close();
        OpenDatabase(Ddl);
        Open(c.Select, c.Table, c.Keys, true);
        DS->AutoUpdateOptions().UseRowsClause = c.RowsClause;
        DS->AutoUpdateOptions().SetUseReturningFields(c.Returning);
        DS->Close();
        DS->Open();
        DS->Edit();
        DS->FieldByName(c.EditColumn)->SetAsString("edited");
        DS->Post();
        DS->Next();
        DS->Delete();
        DS->Append();
        for (const auto& [field, value] : c.Inserted) DS->FieldByName(field)->SetAsString(value);
        DS->Post();
        if (UpdateTr.Active()) UpdateTr.Commit();
        DS->Close();
        EXPECT_EQ(IsqlRows(c.Dump), c.Expected);
    }
}

// Each value as the literal the server reads back exactly (isql compares the copies column by
// column): quotes doubled, ISO dates and times to the ten-thousandth, exact decimals, the
// shortest text of a double, TRUE / FALSE, octets in hexadecimal.
TEST_F(pFIBDataSetSQLTest, ValuesWrittenAsLiteralsReadBackExactly) {
    const std::vector<std::pair<const char*, const char*>> literals = {
        {"S", "'O''Brien''s '' OR ''1''=''1'"}, {"D", "'2020-12-25'"}, {"TM", "'23:59:58.1234'"},
        {"TS", "'1858-11-17 00:00:01.5678'"}, {"B", "TRUE"}, {"N", "-99999999999999.9999"}, {"DP", "0.1"},
        {"FL", "-3.5"}, {"SI", "-32768"}, {"BI", "-9223372036854775808"}, {"N92", "-0.01"},
        {"M", "'memo with '' quote'"}, {"OCT", "X'00410042'"}};
    Open("SELECT * FROM ALLV ORDER BY ID", "ALLV", "ID", true);
    for (const auto& [field, literal] : literals) EXPECT_EQ(DS->SQLValueLiteral(DS->FieldByName(field), false), literal) << field;
    EXPECT_NE(ErrorOf([&] { DS->SQLValueLiteral(DS->FieldByName("BIN"), false); }), "no error");
    // Each row copied under a new key through the insert of its values: the binary blob goes as
    // a parameter, everything else in the text.
    for (int id : {1, 2}) {
        SCOPED_TRACE(id);
        if (id == 2) DS->Next();
        DS->Edit();
        DS->FieldByName("ID")->SetAsInteger(id * 100);
        const std::string text = DS->GenerateValuesSQLText("ALLV", "ID", 1);
        EXPECT_EQ(text.find("?NEW_BIN") != std::string::npos, id == 1) << text;   // row 2's is null
        Run(text);
        DS->Cancel();
    }
    UpdateTr.Commit();
    DS->Close();
    Rows differing = IsqlRows(DifferingColumns(1, 100) + " UNION ALL " + DifferingColumns(2, 200));
    for (std::string& row : differing) row = Trim(row);   // isql pads IIF's answers
    EXPECT_EQ(differing, Rows({"", ""}));
}

// A null key is matched with IS NULL; the value of a key the user changed is the old one.
TEST_F(pFIBDataSetSQLTest, ANullKeyIsMatchedWithIsNull) {
    Open("SELECT K, NAME FROM NK ORDER BY NAME", "NK", "K;NAME", true);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("O'Neil");
    const std::string update = DS->GenerateValuesSQLText("NK", "K;NAME", 0);
    EXPECT_EQ(update, "Update NK NK Set K=NULL, NAME='O''Neil' where NK.NAME='a' and NK.K IS NULL");
    Run(update);
    DS->Cancel();
    DS->Next();   // 7, 'd'
    EXPECT_EQ(DS->GenerateValuesSQLText("NK", "K;NAME", 2), "Delete from NK NK" + N + "where NK.NAME='d' and NK.K=7");
    Run(DS->GenerateValuesSQLText("NK", "K;NAME", 2));
    UpdateTr.Commit();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || COALESCE(K, '-') || '|' || NAME || '>>' FROM NK ORDER BY NAME"),
              Rows({"-|O'Neil", "1|x", "1|x"}));
}

// Every column as the key could change or delete all duplicates of a row: a table without a
// primary key, or a key the data set does not show whole, is refused; keys the user names are
// taken, and a statement that still reaches two rows is undone.
TEST_F(pFIBDataSetSQLTest, ModifyStatementsThatCouldMatchSeveralRowsAreRefused) {
    EXPECT_EQ(ErrorOf([&] { Open("SELECT K, NAME FROM NK", "NK", "", true); }),
              "Form1.DS: unable to generate modify statements for \"NK\": the table has no primary key; name the key "
              "fields in AutoUpdateOptions.KeyFields");
    EXPECT_EQ(ErrorOf([&] { Open("SELECT A, V FROM K2", "K2", "", true); }),
              "Form1.DS: unable to generate modify statements for \"K2\": its primary key (A;B) is not among the data "
              "set's fields");
    Open("SELECT K, NAME FROM NK ORDER BY NAME DESC", "NK", "K;NAME", true);   // 1 x, 1 x first
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("y");
    EXPECT_NE(ErrorOf([&] { DS->Post(); }), "no error");
    DS->Cancel();
    if (UpdateTr.Active()) UpdateTr.Commit();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || COALESCE(K, '-') || '|' || NAME || '>>' FROM NK ORDER BY NAME"),
              Rows({"-|a", "7|d", "1|x", "1|x"}));
}

// Only the changed columns are written: a change another transaction committed to another
// column stays; a post without a change runs nothing.
TEST_F(pFIBDataSetSQLTest, OnlyModifiedFieldsAreWrittenAndAnotherUsersChangeStays) {
    Open("SELECT ID, S, SI FROM ALLV ORDER BY ID", "ALLV", "ID", false);
    TAutoUpdateOptions& au = DS->AutoUpdateOptions();
    au.AutoReWriteSqls = true;
    au.SetUpdateOnlyModifiedFields(true);
    DS->Close();
    DS->Open();
    EXPECT_TRUE(DS->UpdateSQL().Text().empty());
    {
        TFIBTransaction other;
        other.SetDefaultDatabase(&Database);
        other.StartTransaction();
        Database.QueryValue("UPDATE ALLV SET SI = 5 WHERE ID = 1 RETURNING SI", 0, {}, &other);
        other.Commit();
    }
    DS->Edit();
    DS->FieldByName("S")->SetAsString("changed");
    DS->Post();
    EXPECT_EQ(DS->UpdateSQL().Text(), "Update ALLV ALLV Set" + N + "     S=?NEW_S" + N + "where ALLV.ID=?OLD_ID" + N);
    DS->Edit();
    DS->Post();
    EXPECT_EQ(DS->UpdateSQL()[0], "No Action");
    UpdateTr.Commit();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || S || '|' || SI || '>>' FROM ALLV ORDER BY ID"),
              Rows({"1|changed|5", "2|01/02/2020|7"}));
}

// Update objects live in one list per kind, ordered by OrderInList; the blob fields written apart
// go through the data set's own object after its statement.
TEST_F(pFIBDataSetSQLTest, UpdateObjectsAreListedPerKindAndTheBlobObjectWritesTheBlobs) {
    Open("SELECT ID, X, MEMO FROM C ORDER BY ID", "C", "ID", false);
    TFIBDataSet plain(&Form);
    plain.SetName("Plain");
    TpFIBUpdateObject first(&Form), second(&Form);
    EXPECT_EQ(ErrorOf([&] { first.SetDataSet(&plain); }), "Plain is not TpFIBDataSet");
    first.SetDataSet(DS.get());
    second.SetDataSet(DS.get());
    second.SetOrderInList(0);
    EXPECT_EQ(DS->UpdateObjects(ukModify), (std::vector<TpFIBUpdateObject*>{&second, &first}));
    EXPECT_EQ(first.OrderInList(), 1);
    second.SetKindUpdate(ukDelete);
    EXPECT_EQ(DS->UpdateObjects(ukModify), (std::vector<TpFIBUpdateObject*>{&first}));
    EXPECT_EQ(DS->UpdateObjects(ukDelete), (std::vector<TpFIBUpdateObject*>{&second}));
    EXPECT_EQ(first.OrderInList(), 0);
    first.SetDataSet(nullptr);
    second.SetDataSet(nullptr);
    EXPECT_TRUE(DS->UpdateObjects(ukDelete).empty());

    TAutoUpdateOptions& au = DS->AutoUpdateOptions();
    au.AutoReWriteSqls = true;
    au.SeparateBlobUpdate = true;
    DS->Close();
    DS->Open();
    EXPECT_EQ(DS->UpdateSQL().Text(), "Update C C Set" + N + "     ID=?NEW_ID," + N + "     X=?NEW_X" + N + "where C.ID=?OLD_ID" + N);
    ASSERT_NE(DS->BlobUpdateObject(), nullptr);
    EXPECT_EQ(DS->BlobUpdateObject()->SQL().Text(), "Update C C Set" + N + "     MEMO=?NEW_MEMO" + N + "where C.ID=?OLD_ID" + N);
    DS->Edit();
    DS->FieldByName("X")->SetAsInteger(11);
    DS->FieldByName("MEMO")->SetAsString("new memo");
    DS->Post();
    UpdateTr.Commit();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || X || '|' || CAST(MEMO AS VARCHAR(20)) || '>>' FROM C ORDER BY ID"),
              Rows({"1|11|new memo", "2|20|memo two"}));
}

// Dialect 1 upper-cases every name; the texts run there too.
TEST_F(pFIBDataSetSQLTest, DialectOneUpperCasesNamesAndItsTextsRun) {
    Database.Close();
    Db = std::make_unique<test::TempDatabase>(
        "CREATE TABLE t (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(10));\nINSERT INTO t VALUES (1, 'a');\n"
        "INSERT INTO t VALUES (2, 'b');\nCOMMIT;",
        "NONE", 1);
    Database.SetDBName(Db->Path());
    Database.SetSQLDialect(1);
    Database.Open();
    Open("select id, name from t order by id", "t", "id", true);
    EXPECT_EQ(DS->UpdateSQL().Text(),
              "Update T T Set" + N + "     ID=?NEW_ID," + N + "     NAME=?NEW_NAME" + N + "where T.ID=?OLD_ID" + N);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("x");
    DS->Post();
    DS->Next();
    DS->Delete();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(3);
    DS->FieldByName("NAME")->SetAsString("c");
    DS->Post();
    UpdateTr.Commit();
    DS->Close();
    EXPECT_EQ(IsqlRows("SELECT '<<' || ID || '|' || NAME || '>>' FROM T ORDER BY ID"), Rows({"1|x", "3|c"}));
}

} // namespace
} // namespace qnl
