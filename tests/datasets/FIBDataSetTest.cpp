// The data set against real Firebird 3: open, fetch, navigation, bookmarks, field definitions
// and classes, field values, blobs, origins and the reaction to the transaction's end. The
// tests share one database (none changes it); isql-fb writes the rows they compare with.
#include "datasets/FIBDataSet.h"

#include "client/fib.h"
#include "datasets/pFIBDataInfo.h"
#include "fixtures/FbFixture.h"
#include "platform/DateTime.h"
#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include "../platform/VectorDataSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

const char* const Ddl = R"(
CREATE DOMAIN D_BOOLEAN AS INTEGER;
CREATE TABLE T5000 (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));
CREATE TABLE DEFS (
  U VARCHAR(30) CHARACTER SET UTF8, N2 NUMERIC(18,2), N6 NUMERIC(18,6), C20 CHAR(20), C21 CHAR(21),
  FLAG D_BOOLEAN, B BOOLEAN, SI SMALLINT, OCT CHAR(16) CHARACTER SET OCTETS, N92 NUMERIC(9,2), BI BIGINT);
CREATE TABLE BLOBS (ID INTEGER NOT NULL PRIMARY KEY, MEMO BLOB SUB_TYPE TEXT);
CREATE TABLE EMPTY_T (ID INTEGER);
CREATE TABLE STRS (S1 VARCHAR(10) DEFAULT '' NOT NULL, S2 VARCHAR(10) DEFAULT 'x', S3 VARCHAR(10));
CREATE TABLE ALLTYPES (
  ID INTEGER NOT NULL PRIMARY KEY, SI SMALLINT, I INTEGER, BI BIGINT, N92 NUMERIC(9,2), N184 NUMERIC(18,4),
  N186 NUMERIC(18,6), DP DOUBLE PRECISION, FL FLOAT, DT DATE, TM TIME, TS TIMESTAMP, C CHAR(10), V VARCHAR(30),
  VU VARCHAR(10) CHARACTER SET UTF8, VW VARCHAR(10) CHARACTER SET WIN1252, BO BOOLEAN);
SET TERM ^;
EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN
  WHILE (I <= 5000) DO BEGIN INSERT INTO T5000 VALUES (:I, 'row ' || :I); I = I + 1; END
END^
SET TERM ;^
INSERT INTO DEFS VALUES ('жук', 12.34, 1.5, 'ab', 'cd', 1, TRUE, 3, x'41424320202020202020202020202020', 1.25, 900000000000000000);
INSERT INTO ALLTYPES VALUES (1, -7, 2147483647, -9223372036854775808, 1234567.89, -12.3456, 0.000001, 2.5, 0.25,
  '2024-02-29', '23:59:58', '1858-11-17 00:00:01', 'abc', 'Grüße', 'é', 'é', TRUE);
INSERT INTO ALLTYPES VALUES (2, 32767, -2147483648, 9223372036854775807, -0.01, 99999999999999.9999, -123.456789, -1.0E300, -3.5,
  '0001-01-01', '00:00:01', '9999-12-31 23:59:59', 'x         ', '', 'ab', 'Ü', FALSE);
INSERT INTO ALLTYPES (ID) VALUES (3);
INSERT INTO STRS VALUES ('a', 'b', 'c');
COMMIT;
)";

class FIBDataSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Db = new test::TempDatabase(Ddl);
        // A 100 KB text blob written by isql.
        std::string text;
        for (int i = 0; i < 2048; ++i) text += "line " + std::to_string(100000 + i) + " of the memo text .........................\n";
        text.resize(102400);
        Body = new std::string(text);
        std::string script = "INSERT INTO BLOBS VALUES (1, '');\n";
        for (size_t i = 0; i < text.size(); i += 30000)
            script += "UPDATE BLOBS SET MEMO = MEMO || '" + text.substr(i, 30000) + "' WHERE ID = 1;\n";
        script += "INSERT INTO BLOBS VALUES (2, NULL);\nCOMMIT;\n";
        std::string out;
        if (test::RunSql(*Db, script, out) != 0) throw std::runtime_error(out);
    }
    static void TearDownTestSuite() {
        delete Db;
        Db = nullptr;
        delete Body;
        Body = nullptr;
    }

    void SetUp() override { Connect("NONE"); }
    void TearDown() override {
        DS.reset();
        if (Transaction.Active()) Transaction.Rollback();
        Database.Close();
    }
    void Connect(const std::string& CharSet) {
        if (Database.Connected()) {
            DS.reset();
            if (Transaction.Active()) Transaction.Rollback();
            Database.Close();
        }
        Form.SetName("Form1");
        Database.SetName("DB");
        Database.SetDBName(Db->Path());
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.ConnectParams().SetCharSet(CharSet);
        Database.SetSQLDialect(3);
        Database.Open();
        Transaction.SetName("Tr");
        Transaction.SetDefaultDatabase(&Database);
        DS = std::make_unique<TFIBDataSet>(&Form);
        DS->SetName("DS");
        DS->SetDatabase(&Database);
        DS->SetTransaction(&Transaction);
    }
    void OpenSql(const std::string& Sql) {
        DS->SetSelectSQL(Sql);
        DS->Open();
    }

    static test::TempDatabase* Db;
    static std::string* Body;
    TComponent Form;
    TFIBDatabase Database{&Form};
    TFIBTransaction Transaction{&Form};
    std::unique_ptr<TFIBDataSet> DS;
};

test::TempDatabase* FIBDataSetTest::Db = nullptr;
std::string* FIBDataSetTest::Body = nullptr;

std::string ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

// --- Open, fetch and navigation --------------------------------------------------------------

TEST_F(FIBDataSetTest, FiveThousandRowsNavigateByLastPriorRecNoAndABookmarkOnTheKey) {
    DS->AutoUpdateOptions().SetKeyFields("ID");
    OpenSql("SELECT ID, NAME FROM T5000 ORDER BY ID");
    ASSERT_TRUE(DS->Active());
    EXPECT_EQ(DS->BookmarkSize(), 8 + 4 + 1);   // the key part: a null byte and the integer
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(DS->RecNo(), 1);
    EXPECT_EQ(DS->CachedRecordCount(), 1);   // rows come on demand

    DS->MoveBy(1233);
    EXPECT_EQ(DS->RecNo(), 1234);
    const TBookmark mark = DS->GetBookmark();
    ASSERT_EQ(mark.size(), 13u);

    DS->Last();
    EXPECT_TRUE(DS->Eof());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 5000);
    EXPECT_EQ(DS->RecNo(), 5000);
    EXPECT_EQ(DS->RecordCount(), 5000);
    DS->Prior();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 4999);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "row 4999");
    EXPECT_EQ(DS->RecNo(), 4999);

    DS->GotoBookmark(mark);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1234);
    EXPECT_EQ(DS->RecNo(), 1234);
    DS->First();
    EXPECT_TRUE(DS->Bof());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);

    // A bookmark of no record leaves the cursor where it was.
    TBookmark stale = mark;
    const int32_t nowhere = 999999;
    std::memcpy(stale.data(), &nowhere, 4);
    EXPECT_FALSE(DS->BookmarkValid(stale));
    DS->MoveBy(9);
    DS->GotoBookmark(stale);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 10);
}

TEST_F(FIBDataSetTest, UniDirectionalReadsEveryRowOnceInOrderThroughARingOfChunks) {
    DS->SetUniDirectional(true);
    DS->CacheModelOptions().SetBufferChunks(32);
    int fetched = 0;
    DS->AfterFetchRecord = [&](TFIBQuery*, int, bool&) { ++fetched; };
    OpenSql("SELECT ID FROM T5000 WHERE ID <= 1000 ORDER BY ID");
    int expected = 1;
    bool inOrder = true;
    for (; !DS->Eof(); DS->Next()) inOrder = inOrder && DS->FieldByName("ID")->AsInteger() == expected++;
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, 1001);
    EXPECT_EQ(fetched, 1000);
    EXPECT_EQ(DS->RecordCount(), 32);   // the ring never counts more than its chunk
}

// A row that left the ring of a uni-directional data set is gone: moving back to it is refused,
// and a bookmark on it is no bookmark.
TEST_F(FIBDataSetTest, UniDirectionalRefusesRowsThatLeftTheRing) {
    DS->SetUniDirectional(true);
    DS->CacheModelOptions().SetBufferChunks(32);
    OpenSql("SELECT ID FROM T5000 WHERE ID <= 1000 ORDER BY ID");
    DS->MoveBy(9);
    const TBookmark tenth = DS->GetBookmark();
    EXPECT_TRUE(DS->BookmarkValid(tenth));
    DS->MoveBy(10);
    DS->GotoBookmark(tenth);   // still in the ring
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 10);
    DS->MoveBy(90);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 100);
    EXPECT_FALSE(DS->BookmarkValid(tenth));
    DS->GotoBookmark(tenth);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 100);
    EXPECT_EQ(ErrorOf([&] { DS->MoveBy(-50); }), "Data set is uni-directional.");
    while (!DS->Eof()) DS->Next();
    EXPECT_EQ(ErrorOf([&] { DS->First(); }), "Data set is uni-directional.");
    // Within the ring the rows are still there.
    DS->Close();
    OpenSql("SELECT ID FROM T5000 WHERE ID <= 1000 ORDER BY ID");
    DS->MoveBy(20);
    DS->First();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
}

// A bookmark names its record by key too: after a reopen in another order the same place in
// the cache holds another record, and the bookmark is no longer valid.
TEST_F(FIBDataSetTest, ABookmarkWhoseKeyNoLongerMatchesIsInvalid) {
    DS->AutoUpdateOptions().SetKeyFields("ID");
    OpenSql("SELECT ID, NAME FROM T5000 ORDER BY ID");
    DS->MoveBy(9);
    const TBookmark tenth = DS->GetBookmark();
    DS->Close();
    OpenSql("SELECT ID, NAME FROM T5000 ORDER BY ID DESC");
    DS->MoveBy(19);
    EXPECT_FALSE(DS->BookmarkValid(tenth));
    DS->GotoBookmark(tenth);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 4981);
    DS->Close();
    OpenSql("SELECT ID, NAME FROM T5000 ORDER BY ID");
    DS->MoveBy(19);
    EXPECT_TRUE(DS->BookmarkValid(tenth));
    DS->GotoBookmark(tenth);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 10);
}

TEST_F(FIBDataSetTest, SystemTablesReadThroughAUniDirectionalDataSetAsIsqlShowsThem) {
    const std::string where = " FROM RDB$RELATION_FIELDS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY RDB$RELATION_NAME, RDB$FIELD_NAME";
    Database.Close();
    const std::vector<std::string> expected = test::QueryRows(
        *Db, "SELECT '<<' || TRIM(RDB$RELATION_NAME) || '.' || TRIM(RDB$FIELD_NAME) || '.' || RDB$FIELD_POSITION || '>>'" + where);
    Connect("NONE");
    DS->SetUniDirectional(true);
    OpenSql("SELECT RDB$RELATION_NAME, RDB$FIELD_NAME, RDB$FIELD_POSITION" + where);
    EXPECT_EQ(DS->FieldByName("RDB$RELATION_NAME")->DataType(), ftWideString);   // UNICODE_FSS
    std::vector<std::string> rows;
    for (; !DS->Eof(); DS->Next())
        rows.push_back(DS->FieldByName("RDB$RELATION_NAME")->AsString() + "." + DS->FieldByName("RDB$FIELD_NAME")->AsString() +
                       "." + DS->FieldByName("RDB$FIELD_POSITION")->AsString());
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(rows.size(), 36u);
}

TEST_F(FIBDataSetTest, AfterFetchRecordThatStopsKeepsTheRowsSoFarWithoutError) {
    DS->AfterFetchRecord = [&](TFIBQuery*, int Index, bool& Stop) { Stop = Index == 2; };
    OpenSql("SELECT ID FROM T5000 ORDER BY ID");
    DS->Last();
    EXPECT_EQ(DS->CachedRecordCount(), 3);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
}

// A handler that closes the data set while a row is fetched frees the cache and the record
// buffers the fetch holds: the fetch stops with an error and touches neither.
TEST_F(FIBDataSetTest, AHandlerThatClosesTheDataSetStopsTheFetch) {
    struct TCase {
        const char* Handler;
        std::function<void()> Install;
        const char* Error;
    };
    const std::vector<TCase> cases = {
        {"AfterFetchRecord",
         [&] { DS->AfterFetchRecord = [&](TFIBQuery*, int Index, bool&) { if (Index == 40) DS->Close(); }; },
         "Can't continue after AfterFetchRecord because Form1.DS dataset closed."},
        {"OnFilterRecord",
         [&] {
             DS->SetFiltered(true);
             DS->OnFilterRecord = [&](TDataSet*, bool& Accept) {
                 Accept = true;
                 if (DS->FieldByName("ID")->AsInteger() == 41) DS->Close();
             };
         },
         "Can't continue after OnFilterRecord because Form1.DS dataset closed."},
        {"BeforeFetchRecord",
         [&] { DS->SetBeforeFetchRecord([&](TFIBQuery*, int Count, bool&) { if (Count == 40) DS->Close(); }); },
         "Can't fetch next record because Form1.DS.SelectQuery dataset closed."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Handler);
        Connect("NONE");
        c.Install();
        OpenSql("SELECT ID FROM T5000 ORDER BY ID");
        std::string error;
        try {
            for (int i = 0; i < 100 && !DS->Eof(); ++i) DS->Next();
        } catch (const EFIBClientError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.Error);
        EXPECT_FALSE(DS->Active());
        EXPECT_EQ(DS->State(), dsInactive);
        // The data set opens again as if nothing had happened.
        DS->AfterFetchRecord = nullptr;
        DS->OnFilterRecord = nullptr;
        DS->SetBeforeFetchRecord(nullptr);
        DS->Open();
        EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
    }
}

TEST_F(FIBDataSetTest, AnEmptyResultIsEmptyAtBothEnds) {
    OpenSql("SELECT ID FROM EMPTY_T");
    EXPECT_TRUE(DS->Active());
    EXPECT_TRUE(DS->Eof());
    EXPECT_TRUE(DS->Bof());
    EXPECT_TRUE(DS->IsEmpty());
    DS->Last();   // the cursor stands past the end of an empty cache
    DS->Resync(0);
    EXPECT_TRUE(DS->IsEmpty());
    EXPECT_TRUE(DS->FieldByName("ID")->IsNull());
    EXPECT_EQ(DS->RecordCount(), 0);
}

// Exposes the record protocol to ask for the current record with the cursor past an empty cache.
class TCursorDataSet : public TFIBDataSet {
public:
    using TFIBDataSet::TFIBDataSet;
    using TFIBDataSet::AllocRecordBuffer;
    using TFIBDataSet::FreeRecordBuffer;
    using TFIBDataSet::GetRecord;
    using TFIBDataSet::InternalSetToRecord;
};

TEST_F(FIBDataSetTest, TheCurrentRecordOfAnEmptyCacheIsTheEnd) {
    TCursorDataSet ds(&Form);
    ds.SetDatabase(&Database);
    ds.SetTransaction(&Transaction);
    ds.SetSelectSQL("SELECT ID FROM EMPTY_T");
    ds.Open();
    TRecordBuffer buffer = ds.AllocRecordBuffer();
    buffer[4] = static_cast<char>(bfCurrent);   // record number 0: the cursor stands on it
    ds.InternalSetToRecord(buffer);
    EXPECT_EQ(ds.GetRecord(buffer, gmCurrent, false), grEOF);
    ds.FreeRecordBuffer(buffer);
}

TEST_F(FIBDataSetTest, OpeningAnInsertRunsItAndLeavesTheDataSetInactive) {
    OpenSql("INSERT INTO EMPTY_T (ID) VALUES (7)");
    EXPECT_FALSE(DS->Active());
    EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM EMPTY_T", 0, {}, &Transaction).AsInt64(), 1);
}

TEST_F(FIBDataSetTest, ErrorsNameTheDataSet) {
    EXPECT_NE(ErrorOf([&] { DS->Open(); }).find("Can't Prepare Form1.DS , because  query is empty"), std::string::npos);
    OpenSql("SELECT ID FROM EMPTY_T");
    EXPECT_NE(ErrorOf([&] { DS->SetDatabase(&Database); }).find("Can't  change database  because Form1.DS dataset open."),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { DS->SetSelectSQL("SELECT 1 FROM RDB$DATABASE"); }).find(" change SelectSQL "), std::string::npos);
    DS->Close();
    EXPECT_NE(ErrorOf([&] { OpenSql("SELECT NOPE FROM EMPTY_T"); }).find("NOPE"), std::string::npos);
    EXPECT_FALSE(DS->Active());
}

TEST_F(FIBDataSetTest, HardEndOfTheReadTransactionClosesRetainingKeepsOpen) {
    OpenSql("SELECT ID FROM T5000 ORDER BY ID");
    Transaction.CommitRetaining();
    EXPECT_TRUE(DS->Active());
    DS->Next();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
    Transaction.Commit();
    EXPECT_FALSE(DS->Active());

    // Cached updates keep the rows: all are fetched before the cursor goes.
    DS->SetCachedUpdates(true);
    OpenSql("SELECT ID FROM T5000 WHERE ID <= 100 ORDER BY ID");
    Transaction.Rollback();
    EXPECT_TRUE(DS->Active());
    EXPECT_EQ(DS->CachedRecordCount(), 100);
    DS->Last();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 100);
}

TEST_F(FIBDataSetTest, DisconnectClosesTheDataSet) {
    OpenSql("SELECT ID FROM T5000");
    Database.Close();
    EXPECT_FALSE(DS->Active());
    Database.Open();   // the statement is prepared again on the new attachment
    DS->Open();
    EXPECT_EQ(DS->FieldByName("ID")->IsNull(), false);
}

// --- Field definitions and the record layout -------------------------------------------------

TEST_F(FIBDataSetTest, FieldDefinitionsFollowTheColumnTypes) {
    DS->SetSelectSQL("SELECT U, N2, N6, C20, C21, FLAG, B, SI, BI FROM DEFS");
    DS->Prepare();
    struct Case {
        const char* Name;
        TFieldType Type;
        int Size;
    };
    const Case cases[] = {
        {"U", ftWideString, 30}, {"N2", ftBCD, 2}, {"N6", ftFloat, 0}, {"C20", ftString, 20}, {"C21", ftString, 21},
        {"FLAG", ftBoolean, 0},  // an INTEGER of a domain named BOOLEAN
        {"B", ftBoolean, 0},    {"SI", ftSmallint, 0}, {"BI", ftBCD, 0},
    };
    for (const Case& c : cases) {
        TFieldDef* def = DS->FieldDefs().Find(c.Name);
        EXPECT_EQ(def->DataType, c.Type) << c.Name;
        EXPECT_EQ(def->Size, c.Size) << c.Name;
    }
    DS->Open();
    TFIBFieldDescr* c20 = DS->FieldDescr(DS->FieldByName("C20"));
    TFIBFieldDescr* c21 = DS->FieldDescr(DS->FieldByName("C21"));
    EXPECT_FALSE(c20->InStringCollection);
    EXPECT_TRUE(c21->InStringCollection);
    // After the header (9 columns + 6) and the two 8-byte numbers: U lives in the collection.
    EXPECT_EQ(c20->DataOffset, 9u + 6u + 8u + 8u);
}

TEST_F(FIBDataSetTest, SixtyFourBitOptionsChangeTheDefinitions) {
    DS->SetPrepareOptions(DS->PrepareOptions() | SetOf<TpPrepareOptions>(psSQLINT64ToBCD) |
                          SetOf<TpPrepareOptions>(psUseLargeIntField));
    OpenSql("SELECT N6, BI FROM DEFS");
    EXPECT_EQ(DS->FieldByName("N6")->DataType(), ftBCD);
    EXPECT_EQ(DS->FieldByName("N6")->Size(), 6);
    EXPECT_EQ(DS->FieldByName("N6")->AsString(), "1.5");
    EXPECT_EQ(DS->FieldByName("BI")->DataType(), ftLargeint);
    EXPECT_EQ(DS->FieldByName("BI")->AsLargeInt(), 900000000000000000);
}

TEST_F(FIBDataSetTest, ARowOfThreeLongVarcharsIsAboveSixtyFourKilobytes) {
    const std::string wide =
        "SELECT CAST('a' AS VARCHAR(32000)) A, CAST(NULL AS VARCHAR(32000)) B, CAST('c' AS VARCHAR(32000)) C "
        "FROM RDB$DATABASE";
    OpenSql(wide);
    EXPECT_GT(DS->RecordBufferSize(), 96000u);
    EXPECT_EQ(DS->FieldByName("C")->AsString(), "c");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->InsertSQL().SetText("INSERT INTO WIDE VALUES (?A, ?B, ?C)");   // never run: the updates stay cached
    OpenSql(wide + " WHERE 1 = 0");
    DS->Append();
    DS->FieldByName("A")->SetAsString(std::string(32000, 'a'));
    DS->FieldByName("C")->SetAsString(std::string(32000, 'c'));
    DS->Post();
    DS->First();
    EXPECT_EQ(DS->FieldByName("A")->AsString(), std::string(32000, 'a'));
    EXPECT_TRUE(DS->FieldByName("B")->IsNull());
    EXPECT_EQ(DS->FieldByName("C")->AsString(), std::string(32000, 'c'));
}

// --- Field values -------------------------------------------------------------------------------

TEST_F(FIBDataSetTest, OctetsKeepTrailingBlanksAndTheDbKeyAllEightBytes) {
    OpenSql("SELECT OCT, RDB$DB_KEY, C20 FROM DEFS");
    EXPECT_EQ(DS->FieldByName("OCT")->AsString(), std::string("ABC") + std::string(13, ' '));
    EXPECT_EQ(DS->FieldByName("C20")->AsString(), "ab");
    const std::string key = DS->FieldByName("DB_KEY")->AsString();
    EXPECT_EQ(key.size(), 16u);
    DS->Close();
    DS->SetOptions(DS->Options() & ~SetOf<TpFIBDsOptions>(poTrimCharFields));
    OpenSql("SELECT C20 FROM DEFS");
    EXPECT_EQ(DS->FieldByName("C20")->AsString(), "ab" + std::string(18, ' '));
}

// Bytes of OCTETS columns are data, zero bytes too: every reader gives the column's length.
TEST_F(FIBDataSetTest, OctetsKeepTheirZeroBytes) {
    const std::string four("A\0BC", 4);
    const std::string uuid = std::string("0123456789abcde") + '\0';
    const std::string varying("A\0B", 3);
    // Edited under cached updates: the update statement never runs.
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE NOWHERE SET X = 1");
    OpenSql("SELECT CAST(x'41004243' AS CHAR(4) CHARACTER SET OCTETS) AS O4, "
            "CAST(x'30313233343536373839616263646500' AS CHAR(16) CHARACTER SET OCTETS) AS U16, "
            "CAST(x'410042' AS VARCHAR(5) CHARACTER SET OCTETS) AS V5 FROM RDB$DATABASE");
    const std::vector<std::pair<const char*, std::string>> expected = {{"O4", four}, {"U16", uuid}, {"V5", varying}};
    for (const auto& [name, bytes] : expected) {
        SCOPED_TRACE(name);
        TField* f = DS->FieldByName(name);
        EXPECT_EQ(f->AsString(), bytes);
        EXPECT_EQ(f->AsVariant().AsString(), bytes);
        EXPECT_EQ(DS->GetCacheFieldValue(f, 1).AsString(), bytes);
    }
    // Written back through the field, the bytes stay whole.
    DS->Edit();
    DS->FieldByName("V5")->SetAsString(std::string("\0\0x", 3));
    DS->Post();
    EXPECT_EQ(DS->FieldByName("V5")->AsString(), std::string("\0\0x", 3));
}

// A float field shows the shortest text that reads back to its value: all the digits a double
// keeps of a wide NUMERIC, and of a FLOAT the digits of its four bytes.
TEST_F(FIBDataSetTest, FloatFieldsShowTheShortestTextThatReadsBack) {
    OpenSql("SELECT CAST(-9223372036854.775807 AS NUMERIC(18,6)) AS N, CAST(0.1 AS FLOAT) AS F, "
            "CAST(0.1 AS DOUBLE PRECISION) AS D, CAST(1234567.89 AS NUMERIC(9,2)) AS L FROM RDB$DATABASE");
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"N", "-9223372036854.775"}, {"F", "0.1"}, {"D", "0.1"}, {"L", "1234567.89"}};
    for (const auto& [name, text] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DS->FieldByName(name)->DataType(), ftFloat);
        EXPECT_EQ(DS->FieldByName(name)->AsString(), text);
        EXPECT_EQ(DS->FieldByName(name)->DisplayText(), text);
    }
}

TEST_F(FIBDataSetTest, BooleanFieldsOverBooleanAndIntegerColumnsStoreOneOrZeroInTheirWidth) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE DEFS SET FLAG = ?FLAG");   // never run: the updates stay cached
    OpenSql("SELECT FLAG, B, SI FROM DEFS");
    auto* flag = dynamic_cast<TFIBBooleanField*>(DS->FieldByName("FLAG"));
    auto* b = dynamic_cast<TFIBBooleanField*>(DS->FieldByName("B"));
    ASSERT_TRUE(flag && b);
    EXPECT_EQ(flag->DataSize(), 4);
    EXPECT_EQ(b->DataSize(), 1);
    EXPECT_TRUE(flag->AsBoolean());
    EXPECT_EQ(b->AsString(), "True");
    DS->Edit();
    flag->SetAsString("F");
    b->SetAsBoolean(false);
    DS->Post();
    EXPECT_EQ(DS->GetCacheFieldValue(flag, 1).AsInt64(), 0);   // the column's own value
    EXPECT_EQ(flag->AsInteger(), 0);
    DS->Edit();
    flag->SetAsBoolean(true);
    DS->Post();
    int32_t raw = -1;
    ASSERT_TRUE(flag->GetData(&raw));
    EXPECT_EQ(raw, 1);   // all four bytes written
    EXPECT_EQ(b->AsString(), "False");
}

TEST_F(FIBDataSetTest, ScaledValuesOutOfRangeRaiseARangeError) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE DEFS SET N92 = ?N92");
    OpenSql("SELECT N92, BI, N2 FROM DEFS");
    EXPECT_DOUBLE_EQ(DS->FieldByName("N92")->AsFloat(), 1.25);
    DS->Edit();
    DS->FieldByName("N92")->SetAsFloat(21474836.47);
    EXPECT_DOUBLE_EQ(DS->FieldByName("N92")->AsFloat(), 21474836.47);
    EXPECT_NE(ErrorOf([&] { DS->FieldByName("N92")->SetAsFloat(21474836.48); }).find("allowed range"), std::string::npos);
    DS->FieldByName("N92")->SetAsFloat(-0.004);
    EXPECT_DOUBLE_EQ(DS->FieldByName("N92")->AsFloat(), 0.0);
    DS->Cancel();
    // 9e17 as a currency needs 9e21 ten-thousandths.
    EXPECT_NE(ErrorOf([&] { DS->FieldByName("BI")->AsCurrency(); }).find("allowed range"), std::string::npos);
    EXPECT_EQ(DS->FieldByName("N2")->AsCurrency().Scaled, 123400);
}

TEST_F(FIBDataSetTest, WideStringFieldHoldsFourByteCharacters) {
    Connect("UTF8");
    OpenSql("SELECT CAST('😀😀😀' AS VARCHAR(3) CHARACTER SET UTF8) AS E, U FROM DEFS");
    EXPECT_EQ(DS->FieldByName("E")->AsString(), "😀😀😀");
    EXPECT_EQ(DS->FieldByName("U")->AsString(), "жук");
    EXPECT_EQ(DS->FieldByName("U")->Size(), 30);
}

TEST_F(FIBDataSetTest, FieldClassesReadAndWriteTheirTexts) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE ALLTYPES SET BO = ?BO");   // never run: the updates stay cached
    OpenSql("SELECT BO, TM, N184 FROM ALLTYPES ORDER BY ID");
    auto* bo = dynamic_cast<TFIBBooleanField*>(DS->FieldByName("BO"));
    auto* tm = dynamic_cast<TFIBTimeField*>(DS->FieldByName("TM"));
    auto* n = dynamic_cast<TFIBBCDField*>(DS->FieldByName("N184"));
    ASSERT_TRUE(bo && tm && n);
    bo->StringTrue = "Yes";
    bo->StringFalse = "No";
    DS->Edit();
    struct Case {
        const char* Text;
        bool Value;
    };
    for (const Case& c : {Case{"no", false}, Case{"yes", true}, Case{"0", false}, Case{"T", true}, Case{"F", false}, Case{"1", true}}) {
        bo->SetAsString(c.Text);
        EXPECT_EQ(bo->AsBoolean(), c.Value) << c.Text;
    }
    EXPECT_EQ(bo->AsString(), "Yes");
    EXPECT_THROW(bo->SetAsString("maybe"), std::exception);
    n->SetAsString("1.23456");   // four decimals: the fifth rounds half to even
    EXPECT_EQ(n->AsString(), "1.2346");
    EXPECT_EQ(n->AsCurrency().Scaled, 12346);
    DS->Cancel();
    EXPECT_EQ(n->AsString(), "-12.3456");
    tm->ShowMsec = true;
    EXPECT_EQ(tm->Text(), "23:59:58");   // no milliseconds: no suffix
}

// Every digit of a scaled number goes through its display and edit formats; without one, a
// currency field shows money for display and the fixed form for editing.
TEST_F(FIBDataSetTest, ScaledNumbersShowTheirDisplayAndEditFormats) {
    OpenSql("SELECT BI, N184, N186, N92 FROM ALLTYPES WHERE ID = 2");
    struct Case {
        const char* Field;
        const char* DisplayFormat;
        const char* EditFormat;
        bool IsCurrency;
        const char* Display;
        const char* Edit;
    };
    const Case cases[] = {
        {"BI", "#,##0", "0.0", false, "9,223,372,036,854,775,807", "9,223,372,036,854,775,807"},
        {"BI", "", "", true, "9223372036854775807", "9223372036854775807"},
        {"N184", "#,##0.00", "0.0000", false, "100,000,000,000,000.00", "99999999999999.9999"},
        {"N186", "0.00;(0.00)", "", false, "(123.46)", "(123.46)"},
        {"N186", "", "", true, "($123.46)", "-123.46"},
        {"N184", "", "", true, "$100,000,000,000,000.00", "100000000000000.00"},
        {"N92", "", "", true, "($0.01)", "-0.01"},
        {"N186", "", "", false, "-123.456789", "-123.456789"},
    };
    ASSERT_EQ(DS->FieldByName("N186")->ClassName(), "TFIBFloatField");   // six decimals: a double
    for (const Case& c : cases) {
        auto* field = dynamic_cast<TNumericField*>(DS->FieldByName(c.Field));
        ASSERT_TRUE(field) << c.Field;
        field->DisplayFormat = c.DisplayFormat;
        field->EditFormat = c.EditFormat;
        if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->IsCurrency = c.IsCurrency;
        if (auto* number = dynamic_cast<TFloatField*>(field)) number->IsCurrency = c.IsCurrency;
        EXPECT_EQ(field->DisplayText(), c.Display) << c.Field << " " << c.DisplayFormat;
        EXPECT_EQ(field->Text(), c.Edit) << c.Field << " " << c.DisplayFormat;
    }
    FormatSettings.NegCurrFormat = 8;
    FormatSettings.CurrencyString = "EUR";
    const std::string euro = DS->FieldByName("N92")->DisplayText();
    FormatSettings = TFormatSettings{};
    EXPECT_EQ(euro, "-0.01 EUR");

    // A framework BCD field's value is taken whole, through its text: its variant, a currency,
    // holds neither 19 digits nor more than four decimals.
    test::TVectorDataSet source;
    source.Columns = {{"B", ftBCD}};
    source.Source = {{Variant("-9223372036854775807")}, {Variant("1.23456")}};
    source.Open();
    TField* from = source.FieldByName("B");
    ASSERT_EQ(from->ClassName(), "TBCDField");
    DS->Close();
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE ALLTYPES SET BI = ?BI");   // never run: the updates stay cached
    DS->Open();
    DS->Edit();
    DS->FieldByName("BI")->Assign(from);
    EXPECT_EQ(DS->FieldByName("BI")->AsString(), "-9223372036854775807");
    source.Next();
    DS->FieldByName("N184")->Assign(from);
    EXPECT_EQ(DS->FieldByName("N184")->AsString(), "1.2346");
    DS->Cancel();
}

// A client blob field's body is the program's: the data set's OnFillClientBlob fills it once a
// record; an empty body is null; a handler that closes the data set stops the read.
TEST_F(FIBDataSetTest, ClientBlobFieldsAreFilledByTheirHandler) {
    int fills = 0;
    DS->OnFillClientBlob = [&](TFIBCustomDataSet* D, TFIBBlobField* F, TFIBBlobStream* S) {
        ++fills;
        const int id = D->FieldByName("ID")->AsInteger();
        const std::string body = F->FieldName() + " of " + std::to_string(id);
        if (id == 1) S->Write(body.data(), static_cast<int64_t>(body.size()));
    };
    OpenSql("SELECT ID, CAST(NULL AS BLOB SUB_TYPE BINARY) AS PHOTO FROM BLOBS ORDER BY ID");
    auto* photo = dynamic_cast<TFIBBlobField*>(DS->FieldByName("PHOTO"));
    ASSERT_TRUE(photo);
    photo->IsClientField = true;
    EXPECT_FALSE(photo->IsNull());
    EXPECT_EQ(photo->AsString(), "PHOTO of 1");
    EXPECT_TRUE(photo->ReadOnly());
    DS->Next();
    EXPECT_TRUE(photo->IsNull());
    EXPECT_TRUE(photo->AsVariant().IsNull());
    DS->First();
    EXPECT_EQ(photo->AsString(), "PHOTO of 1");
    EXPECT_EQ(fills, 2);   // the body stays with its record

    DS->Close();
    DS->OnFillClientBlob = [](TFIBCustomDataSet* D, TFIBBlobField*, TFIBBlobStream*) { D->Close(); };
    DS->Open();
    photo = dynamic_cast<TFIBBlobField*>(DS->FieldByName("PHOTO"));
    ASSERT_TRUE(photo);
    photo->IsClientField = true;
    EXPECT_NE(ErrorOf([&] { photo->BlobSize(); }).find("OnFillClientBlob"), std::string::npos);
    EXPECT_FALSE(DS->Active());
}

// OnValidate reads the value being assigned; one that raises keeps the old value, and the data
// set cannot be closed under it (the close would free the record and the field being written).
TEST_F(FIBDataSetTest, OnValidateSeesTheNewValueAndMayRefuseIt) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE STRS SET S2 = ?S2");   // never run
    OpenSql("SELECT S1, S2 FROM STRS");
    TField* s2 = DS->FieldByName("S2");
    std::string seen;
    s2->OnValidate = [&](TField* F) {
        seen = F->AsString();
        if (seen == "bad") throw EDatabaseError("refused");
    };
    DS->Edit();
    s2->SetAsString("new");
    EXPECT_EQ(seen, "new");
    EXPECT_EQ(ErrorOf([&] { s2->SetAsString("bad"); }), "refused");
    EXPECT_EQ(s2->AsString(), "new");
    s2->OnValidate = [&](TField*) { DS->Close(); };
    EXPECT_EQ(ErrorOf([&] { s2->SetAsString("gone"); }),
              "Cannot close Form1.DS while the OnValidate handler of field S2 runs");
    EXPECT_TRUE(DS->Active());
    EXPECT_EQ(s2->AsString(), "new");
    s2->OnValidate = nullptr;
    DS->Close();
}

TEST_F(FIBDataSetTest, FetchAllRunsBeforeTheAfterOpenListenersAndAfterThePublishedEvent) {
    DS->SetOptions(DS->Options() | SetOf<TpFIBDsOptions>(poFetchAll));
    int atAfterOpen = -1;
    int atListener = -1;
    DS->AfterOpen = [&](TDataSet*) { atAfterOpen = DS->CachedRecordCount(); };
    struct Listener : TObject {
        TFIBDataSet* DataSet = nullptr;
        int* Seen = nullptr;
        void Opened(TObject*) { *Seen = DataSet->CachedRecordCount(); }
    } listener;
    listener.DataSet = DS.get();
    listener.Seen = &atListener;
    DS->AfterOpenListeners().Add(TMethod<TObject*>(&listener, &Listener::Opened));
    OpenSql("SELECT ID FROM T5000 WHERE ID <= 50");
    EXPECT_EQ(atAfterOpen, 1);
    EXPECT_EQ(atListener, 50);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);   // the cursor is back on the first row
}

// --- Blobs --------------------------------------------------------------------------------------

TEST_F(FIBDataSetTest, AHundredKilobyteTextBlobReadsBackByteEqualAndANullBlobMakesNoStream) {
    OpenSql("SELECT ID, MEMO FROM BLOBS ORDER BY ID");
    TField* memo = DS->FieldByName("MEMO");
    EXPECT_EQ(memo->ClassName(), "TFIBMemoField");
    EXPECT_EQ(memo->AsString(), *Body);
    DS->Next();
    EXPECT_TRUE(memo->IsNull());
    std::unique_ptr<TStream> stream = DS->CreateBlobStream(memo, bmRead);
    auto* ds = dynamic_cast<TFIBDSBlobStream*>(stream.get());
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->BlobStream(), nullptr);
    EXPECT_EQ(memo->AsString(), "");
    char byte;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    EXPECT_NE(ErrorOf([&] { stream->Write("x", 1); }).find("Not editing."), std::string::npos);
}

TEST_F(FIBDataSetTest, ABlobWrittenUnderCachedUpdatesKeepsItsNewBodyInTheRecord) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE BLOBS SET MEMO = ?MEMO WHERE ID = ?ID");   // never run
    OpenSql("SELECT ID, MEMO FROM BLOBS ORDER BY ID");
    TField* memo = DS->FieldByName("MEMO");
    DS->Next();
    DS->Edit();
    memo->SetAsString("a new body");
    DS->Post();
    DS->First();
    EXPECT_EQ(memo->AsString(), *Body);
    DS->Next();
    EXPECT_EQ(memo->AsString(), "a new body");
    EXPECT_FALSE(memo->IsNull());
    EXPECT_TRUE(DS->UpdatesPending());
}

TEST_F(FIBDataSetTest, AnEmptyTextBecomesNullUnlessTheColumnDefaultsToTheEmptyTextAndIsNotNull) {
    DS->SetCachedUpdates(true);
    DS->UpdateSQL().SetText("UPDATE STRS SET S1 = ?S1");   // never run
    OpenSql("SELECT S1, S2, S3 FROM STRS");
    DS->Edit();
    for (const char* name : {"S1", "S2", "S3"}) DS->FieldByName(name)->SetAsString("");
    DS->Post();
    EXPECT_FALSE(DS->FieldDescr(DS->FieldByName("S1"))->Nullable);   // as the server described it
    EXPECT_FALSE(DS->FieldByName("S1")->IsNull());
    EXPECT_EQ(DS->FieldByName("S1")->AsString(), "");
    EXPECT_TRUE(DS->FieldByName("S2")->IsNull());   // a default of its own
    EXPECT_TRUE(DS->FieldByName("S3")->IsNull());   // no default
}

TEST_F(FIBDataSetTest, BlobsStayReadableAfterTheTransactionOfCachedRowsEnded) {
    DS->SetCachedUpdates(true);
    OpenSql("SELECT ID, MEMO FROM BLOBS ORDER BY ID");
    Transaction.Commit();
    ASSERT_TRUE(DS->Active());
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), *Body);
    EXPECT_FALSE(Transaction.Active());   // the load's own transaction ended with it
}

// --- Origins and keys -------------------------------------------------------------------------

TEST_F(FIBDataSetTest, TheOrderByIsReadAsFieldsOrNotAtAll) {
    struct Case {
        const char* Order;
        std::vector<std::string> Fields;   // empty: no field order
    };
    const Case cases[] = {
        {"ORDER BY T.ID DESC", {"NUM:0"}},
        {"ORDER BY NAME, 1", {"NAME:1", "NUM:1"}},
        {"ORDER BY ID", {"NUM:1"}},               // the column's own name
        {"ORDER BY ID + 1", {}},
    };
    for (const Case& c : cases) {
        OpenSql(std::string("SELECT T.ID AS NUM, T.NAME FROM T5000 T ") + c.Order);
        std::vector<std::string> fields;
        const Variant& sort = DS->SortFields();
        if (sort.IsArray())
            for (int i = sort.LowBound(1); i <= sort.HighBound(1); ++i)
                fields.push_back(VarToStr(sort.GetElement({i, 0})) + ":" + (sort.GetElement({i, 1}).AsBoolean() ? "1" : "0"));
        EXPECT_EQ(fields, c.Fields) << c.Order;
        DS->Close();
    }
}

TEST_F(FIBDataSetTest, OriginsAndKeyFieldsFollowTableAndColumn) {
    OpenSql("SELECT T.ID AS NUM, T.NAME FROM T5000 T");
    EXPECT_EQ(DS->FieldByName("NUM")->Origin(), "T5000.ID");
    EXPECT_EQ(DS->FindFieldByOrigin("T5000", "ID"), DS->FieldByName("NUM"));
    EXPECT_EQ(DS->FindFieldByOrigin("t5000", "id"), nullptr);   // dialect 3 keeps case
    EXPECT_EQ(DS->FindFieldByFullName("T5000.NAME"), DS->FieldByName("NAME"));
    EXPECT_EQ(DS->GetTableKeyFields("T5000", false), "NUM");
    EXPECT_EQ(DS->GetTableKeyFields("T5000", true), "ID");
    EXPECT_EQ(DS->GetTableKeyFields("BLOBS", true), "");   // its key column is not selected
    DS->Close();
    DS->FieldOriginRule = forClientFieldName;
    OpenSql("SELECT T.ID AS NUM FROM T5000 T");
    EXPECT_EQ(DS->FieldByName("NUM")->Origin(), "NUM");
}

// --- Every type under three connection character sets, against isql ------------------------

struct ColumnCase {
    const char* Name;
    // Text of CHAR columns is trimmed (poTrimCharFields); floating numbers are compared as
    // numbers (the server writes more digits than the fields' text); Booleans without case.
    enum { Exact, Number, NoCase, Trimmed } Compare;
};

TEST_F(FIBDataSetTest, EveryTypeReadsAsIsqlShowsItUnderThreeCharacterSets) {
    const ColumnCase columns[] = {
        {"SI", ColumnCase::Exact},  {"I", ColumnCase::Exact},     {"BI", ColumnCase::Exact},   {"N92", ColumnCase::Number},
        {"N184", ColumnCase::Exact}, {"N186", ColumnCase::Number}, {"DP", ColumnCase::Number},  {"FL", ColumnCase::Number},
        {"DT", ColumnCase::Exact},  {"TM", ColumnCase::Exact},    {"TS", ColumnCase::Exact},   {"C", ColumnCase::Trimmed},
        {"V", ColumnCase::Exact},   {"VU", ColumnCase::Exact},    {"VW", ColumnCase::Exact},   {"BO", ColumnCase::NoCase},
    };
    const TFormatSettings saved = FormatSettings;
    FormatSettings.ShortDateFormat = "yyyy-mm-dd";
    FormatSettings.DateSeparator = '-';
    FormatSettings.LongTimeFormat = "hh:nn:ss";
    for (const char* charSet : {"NONE", "UTF8", "WIN1252"}) {
        // isql's rows, each value as the server writes it as text.
        std::string script = "SET LIST OFF;\nSET HEADING OFF;\n";
        for (const ColumnCase& c : columns)
            script += std::string("SELECT '<<' || COALESCE(CAST(") + c.Name + " AS VARCHAR(60)), '<null>') || '>>' FROM ALLTYPES ORDER BY ID;\n";
        std::string out;
        Connect(charSet);
        Database.Close();
        ASSERT_EQ(test::RunIsqlScript(Db->Dir(), std::string("-q -ch ") + charSet + " -user SYSDBA '" + Db->Path() + "'", script, out), 0)
            << out;
        const std::vector<std::string> expected = test::Marked(out);
        Connect(charSet);
        std::string select = "SELECT ";
        for (const ColumnCase& c : columns) select += std::string(c.Name) + (&c == &columns[std::size(columns) - 1] ? "" : ", ");
        OpenSql(select + " FROM ALLTYPES ORDER BY ID");
        std::vector<std::string> rows(std::size(columns) * 3);
        for (int row = 0; !DS->Eof(); DS->Next(), ++row)
            for (size_t c = 0; c < std::size(columns); ++c) {
                TField* f = DS->FieldByName(columns[c].Name);
                rows[c * 3 + static_cast<size_t>(row)] = f->IsNull() ? "<null>" : f->AsString();
            }
        ASSERT_EQ(expected.size(), rows.size()) << charSet << "\n" << out;
        for (size_t i = 0; i < rows.size(); ++i) {
            const ColumnCase& c = columns[i / 3];
            std::string want = expected[i];
            // The server writes times to a ten-thousandth; the fields hold milliseconds.
            if (want.size() > 5 && want.compare(want.size() - 5, 5, ".0000") == 0) want.resize(want.size() - 5);
            if (c.Compare == ColumnCase::Number && want != "<null>")
                EXPECT_DOUBLE_EQ(StrToFloat(rows[i]), StrToFloat(want)) << charSet << " " << c.Name << " row " << i % 3 + 1;
            else if (c.Compare == ColumnCase::Trimmed)
                EXPECT_EQ(rows[i], TrimRight(want)) << charSet << " " << c.Name << " row " << i % 3 + 1;
            else if (c.Compare == ColumnCase::NoCase)
                EXPECT_TRUE(SameText(rows[i], want)) << charSet << " " << c.Name << ": " << rows[i] << " vs " << want;
            else
                EXPECT_EQ(rows[i], want) << charSet << " " << c.Name << " row " << i % 3 + 1;
        }
    }
    FormatSettings = saved;
}

} // namespace
} // namespace qnl
