// The statement object against real Firebird 3. The tests share one database (each leaves it as
// it found it) and let isql-fb witness what the statement did: the embedded engine opens a
// database file for one process at a time, so the database object is closed before isql runs.
#include "client/FIBQuery.h"
#include "client/pFIBCacheQueries.h"

#include "ErrorText.h"
#include "TestLogger.h"
#include "fixtures/FbFixture.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorText;

const char* const Ddl = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, B INTEGER, S VARCHAR(20), M BLOB SUB_TYPE TEXT);
CREATE TABLE L (X INTEGER);
CREATE TABLE BU (ID INTEGER, U BLOB SUB_TYPE TEXT CHARACTER SET UTF8);
CREATE TABLE TMS (T TIME, TS TIMESTAMP);
CREATE GENERATOR G;
SET TERM ^;
CREATE PROCEDURE P_ADD (A INTEGER, B INTEGER) RETURNS (S INTEGER, D INTEGER) AS BEGIN S = A + B; D = A - B; END^
SET TERM ;^
INSERT INTO T (ID, B, S) VALUES (1, 10, 'a');
INSERT INTO T (ID, B, S) VALUES (2, NULL, 'b');
INSERT INTO T (ID, B, S) VALUES (3, NULL, 'c');
INSERT INTO T (ID, B, S) VALUES (4, 20, 'd');
)";

// Every column of every row left, as "value|value|..." with null as "null".
std::vector<std::string> Rows(TFIBQuery& Q) {
    std::vector<std::string> rows;
    for (; !Q.Eof(); Q.Next()) {
        std::string row;
        for (int i = 0; i < Q.GetFieldCount(); ++i) {
            TFIBXSQLVAR& f = Q.Fields()[i];
            row += (i ? "|" : "") + (f.GetIsNull() ? std::string("null") : f.GetAsString());
        }
        rows.push_back(row);
    }
    return rows;
}

// The lines of isql's output for Script run on the database at Path.
std::vector<std::string> IsqlLines(const test::TempDatabase& Db, const std::string& Script) {
    std::string out;
    if (test::RunIsqlScript(Db.Dir(), "-q -user SYSDBA '" + Db.Path() + "'", Script, out) != 0)
        ADD_FAILURE() << "isql-fb failed:\n" << out;
    return SplitLines(out);
}

class FIBQueryTest : public ::testing::Test {
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
        Database.SetSQLDialect(3);
        Database.Open();
        Transaction.SetName("Tr");
        Transaction.SetDefaultDatabase(&Database);
        Transaction.StartTransaction();
        Q.SetName("Q");
        Q.SetDatabase(&Database);
        Q.SetTransaction(&Transaction);
    }
    // Rolls back whatever the test left open and detaches, so that isql can read the file.
    void Detach() {
        if (Transaction.Active()) Transaction.Rollback();
        Database.Close();
    }
    void TearDown() override {
        if (Database.Connected()) Detach();
    }
    int64_t Count(const std::string& Sql) { return Database.QueryValue(Sql, 0, {}, &Transaction).AsInt64(); }

    static test::TempDatabase* Db;
    TComponent Form;
    TFIBDatabase Database{&Form};
    TFIBTransaction Transaction{&Form};
    TFIBQuery Q{&Form};
};

test::TempDatabase* FIBQueryTest::Db = nullptr;

// --- Life cycle -----------------------------------------------------------------------------

TEST_F(FIBQueryTest, DdlRunsWithoutAPreparedStatementAndIsqlSeesIt) {
    test::TempDatabase own("");
    Detach();
    Database.SetDBName(own.Path());
    Database.Open();
    Transaction.StartTransaction();
    Q.SQL().SetText("CREATE TABLE NEW_TABLE (X INTEGER NOT NULL)");
    Q.ExecQuery();
    EXPECT_EQ(Q.Handle(), 0u);
    EXPECT_FALSE(Q.Prepared());
    Transaction.Commit();
    Database.Close();
    EXPECT_NE(test::ExtractSchema(own.Path()).find("CREATE TABLE NEW_TABLE (X INTEGER NOT NULL);"), std::string::npos);
}

TEST_F(FIBQueryTest, OutputColumnsKeepTheirDescribedNullabilityAcrossExecutes) {
    Q.SQL().SetText("SELECT ID, B FROM T ORDER BY ID");
    for (int run = 0; run < 2; ++run) {
        Q.ExecQuery();
        EXPECT_FALSE(Q.Fields()[0].GetIsNullable()) << run;   // ID is NOT NULL
        EXPECT_TRUE(Q.Fields()[1].GetIsNullable()) << run;
        Q.Close();
    }
}

TEST_F(FIBQueryTest, SelectRunsTwiceWithIsqlsRows) {
    Q.SQL().SetText("SELECT ID, B, S FROM T ORDER BY ID");
    Q.ExecQuery();
    EXPECT_TRUE(Q.Open());
    EXPECT_EQ(Q.SQLType(), SQLSelect);
    Q.Next();
    // Executing again closes the first cursor and starts at the first row again.
    Q.ExecQuery();
    const std::vector<std::string> ours = Rows(Q);
    EXPECT_EQ(Q.GetRecordCount(), 4);
    Q.ExecQuery();
    EXPECT_EQ(Rows(Q), ours);
    // At the end a fetch does nothing, however often.
    EXPECT_EQ(Q.Next(), nullptr);
    EXPECT_EQ(Q.Next(), nullptr);
    Q.Close();
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.Next(); }), "Can't fetch next record because Form1.Q dataset closed.");
    Detach();
    EXPECT_EQ(ours, test::QueryRows(*Db, "SELECT '<<' || ID || '|' || COALESCE(B, 'null') || '|' || S || '>>' "
                                         "FROM T ORDER BY ID"));
}

TEST_F(FIBQueryTest, ProcedureAnswersWithoutACursor) {
    Q.SQL().SetText("EXECUTE PROCEDURE P_ADD(:A, :B)");
    Q.ParamByName("A").SetAsInteger(5);
    Q.ParamByName("B").SetAsInteger(3);
    Q.ExecQuery();
    EXPECT_EQ(Q.SQLType(), SQLExecProcedure);
    EXPECT_FALSE(Q.Open());
    EXPECT_TRUE(Q.Eof());
    EXPECT_EQ(Q.FieldByName("S").GetAsInteger(), 8);
    EXPECT_EQ(Q.FieldByName("D").GetAsInteger(), 2);
    // An EXECUTE text also finds its outputs as parameters.
    EXPECT_EQ(Q.ParamByName("D").GetAsInteger(), 2);
    // A failing procedure-type statement raises the server's error.
    Q.SQL().SetText("INSERT INTO T (ID) VALUES (1) RETURNING ID");
    EXPECT_NE(ErrorText<EFIBInterBaseError>([&] { Q.ExecQuery(); }).find("PRIMARY"), std::string::npos);
}

TEST_F(FIBQueryTest, UpdateWhereCurrentOfTheCursorName) {
    Q.SQL().SetText("SELECT ID, S FROM T WHERE ID = 2 FOR UPDATE");
    Q.ExecQuery();
    EXPECT_EQ(Q.SQLType(), SQLSelectForUpdate);
    // Ten digits: the name must be written in double quotes.
    ASSERT_EQ(Q.CursorName().size(), 10u);
    EXPECT_EQ(Q.CursorName().find_first_not_of("0123456789"), std::string::npos);
    TFIBQuery update(&Form);
    update.SetDatabase(&Database);
    update.SetTransaction(&Transaction);
    update.SQL().SetText("UPDATE T SET S = 'cur' WHERE CURRENT OF \"" + Q.CursorName() + "\"");
    update.ExecQuery();
    EXPECT_EQ(update.GetRowsAffected(), 1);
    EXPECT_EQ(Database.QueryValueAsStr("SELECT S FROM T WHERE ID = 2", 0, {}, &Transaction), "cur");
}

TEST_F(FIBQueryTest, DisconnectAndTransactionEndCloseTheStatement) {
    Q.SQL().SetText("SELECT ID FROM T");
    Q.ExecQuery();
    Transaction.Commit();   // a hard commit closes the cursor
    EXPECT_FALSE(Q.Open());
    EXPECT_TRUE(Q.Prepared());
    Transaction.StartTransaction();
    Q.ExecQuery();
    Transaction.CommitRetaining();   // a retaining one keeps it
    EXPECT_TRUE(Q.Open());
    Database.Close();   // disconnecting drops the server statement
    EXPECT_FALSE(Q.Open());
    EXPECT_EQ(Q.Handle(), 0u);
}

TEST_F(FIBQueryTest, OptionsAndTheFetchHook) {
    Transaction.Commit();
    Q.SetOptions(SetOf<TpFIBQueryOptions>(qoStartTransaction) | SetOf<TpFIBQueryOptions>(qoAutoCommit) |
                 SetOf<TpFIBQueryOptions>(qoFreeHandleAfterExecute));
    Q.SQL().SetText("UPDATE T SET S = S WHERE ID = 1");
    Q.ExecQuery();   // starts the transaction, commits it and drops the server statement
    EXPECT_FALSE(Transaction.Active());
    EXPECT_EQ(Q.Handle(), 0u);
    Q.SetOptions(SetOf<TpFIBQueryOptions>(qoStartTransaction) | SetOf<TpFIBQueryOptions>(qoFreeHandleAfterExecute));
    Q.SQL().SetText("SELECT ID FROM T WHERE ID < 3 ORDER BY ID");
    bool stop = false;
    Q.BeforeFetch = [&stop](int, bool& Stop) { Stop = stop; };
    Q.ExecQuery();
    EXPECT_TRUE(Transaction.Active());
    stop = true;
    EXPECT_EQ(Q.Next(), nullptr);   // the hook held the fetch back
    EXPECT_EQ(Q.GetRecordCount(), 1);
    EXPECT_FALSE(Q.Eof());
    stop = false;
    EXPECT_EQ(Rows(Q), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Q.Handle(), 0u);   // reading the end dropped the server statement
}

// --- Server statements: freeing and the pool ------------------------------------------------

// Statements the server holds for one attachment, counted from another one with a fresh
// snapshot each time.
class TStatementCounter {
public:
    TStatementCounter(const std::string& Path, int32_t Attachment) : FAttachment(Attachment) {
        FDatabase.SetDBName(Path);
        FDatabase.ConnectParams().SetUserName("SYSDBA");
        FDatabase.SynchronizeTime = false;
        FDatabase.Open();
        FTransaction.SetDefaultDatabase(&FDatabase);
    }
    int64_t operator()() {
        FTransaction.StartTransaction();
        const Variant n = FDatabase.QueryValue(
            "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$ATTACHMENT_ID = " + std::to_string(FAttachment), 0, {},
            &FTransaction, false);
        FTransaction.Commit();
        return n.AsInt64();
    }

private:
    int32_t FAttachment;
    TFIBDatabase FDatabase;
    TFIBTransaction FTransaction;
};

TEST_F(FIBQueryTest, FreedAndPooledStatementsOnTheServer) {
    TStatementCounter statements(Db->Path(), Database.GetAttachmentID());
    const int64_t before = statements();
    Q.SQL().SetText("SELECT ID FROM T");
    Q.Prepare();
    EXPECT_EQ(statements(), before + 1);
    Q.FreeHandle();
    EXPECT_EQ(statements(), before);

    const std::string text = "SELECT S FROM T WHERE ID = :ID";
    TFIBQuery* a = GetQueryForUse(&Transaction, text);
    a->ParamByName("ID").SetAsInteger(1);
    a->ExecQuery();
    FreeQueryForUse(a);
    const int64_t pooled = statements();
    EXPECT_EQ(pooled, before + 1);
    // The same text, trimmed, gets the same prepared statement back.
    TFIBQuery* b = GetQueryForUse(&Transaction, "  " + text + "\r\n");
    EXPECT_EQ(b, a);
    b->ParamByName("ID").SetAsInteger(2);
    b->ExecQuery();
    EXPECT_EQ(b->Fields()[0].GetAsString(), "b");
    EXPECT_EQ(statements(), pooled);
    // A second user of the text at the same time gets a statement of its own.
    TFIBQuery* c = GetQueryForUse(&Transaction, text);
    EXPECT_NE(c, b);
    c->ParamByName("ID").SetAsInteger(3);
    c->ExecQuery();
    EXPECT_EQ(statements(), pooled + 1);
    // Both back: one stays idle, the other is freed with its server statement.
    FreeQueryForUse(b);
    FreeQueryForUse(c);
    EXPECT_EQ(statements(), pooled);
    EXPECT_EQ(CacheList().GetCacheForDatabase(&Database)->IdleCount(), 1);
    FreeHandleCachedQuery(&Database, text);
    EXPECT_EQ(statements(), before);
}

TEST_F(FIBQueryTest, PoolNeedsOneDatabaseAndGoesWithIt) {
    TFIBDatabase other;
    TFIBTransaction both;
    both.AddDatabase(&Database);
    both.AddDatabase(&other);
    EXPECT_EQ(GetQueryForUse(&both, "SELECT 1 FROM RDB$DATABASE"), nullptr);
    EXPECT_EQ(GetQueryForUse(nullptr, "SELECT 1 FROM RDB$DATABASE"), nullptr);

    // Freeing a database frees its pool and the statements in it.
    struct TWatch : TComponent {
        bool Gone = false;
        void Notification(TComponent* AComponent, TOperation Operation) override {
            TComponent::Notification(AComponent, Operation);
            Gone = Operation == TOperation::opRemove;
        }
    } watch;
    auto db = std::make_unique<TFIBDatabase>();
    TFIBTransaction tr;
    tr.SetDefaultDatabase(db.get());
    TFIBQuery* pooled = GetQueryForUse(&tr, "SELECT 1 FROM RDB$DATABASE");
    pooled->FreeNotification(&watch);
    FreeQueryForUse(pooled);
    EXPECT_EQ(CacheList().GetCacheForDatabase(db.get())->IdleCount(), 1);
    db.reset();
    EXPECT_TRUE(watch.Gone);
}

// --- Parameters -----------------------------------------------------------------------------

// On a UTF8 connection a text parameter holds its value's bytes, not a column's padded
// characters: it reads back whole and survives a new prepare (it came back cut to a quarter).
TEST_F(FIBQueryTest, TextParameterOnAUnicodeConnectionKeepsItsValueWhenPreparedAgain) {
    Detach();
    Database.ConnectParams().SetCharSet("UTF8");
    Database.Open();
    Transaction.StartTransaction();
    Q.SQL().SetText("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ?N");
    for (const char* name : {"T", "RDB$RELATIONS", "L"}) {
        SCOPED_TRACE(name);
        Q.FreeHandle();   // as a changed executor or a data set's closing frees it
        Q.ParamByName("N").SetAsString(name);
        Q.ExecQuery();
        EXPECT_EQ(Q.Fields()[0].GetAsInteger(), 1);
        EXPECT_EQ(Q.ParamByName("N").GetAsString(), name);
        Q.Close();
    }
}

TEST_F(FIBQueryTest, NullParameterComparesLikeIsNull) {
    Q.SQL().SetText("SELECT COUNT(*) FROM T WHERE B = :P");
    auto count = [&] {
        Q.ExecQuery();
        const int64_t n = Q.Fields()[0].GetAsInt64();
        Q.Close();
        return n;
    };
    const int64_t isNull = count();
    EXPECT_NE(Q.ProcessedSQL().find("B  IS NULL "), std::string::npos) << Q.ProcessedSQL();
    Q.ParamByName("P").SetAsInteger(10);
    const int64_t ten = count();
    Q.ParamByName("P").SetIsNull(true);
    EXPECT_EQ(count(), isNull);
    Q.SQL().SetText("SELECT COUNT(*) FROM T WHERE B <> :P");
    const int64_t isNotNull = count();
    // Without the rewrite a null compares with nothing.
    Q.SetOptions(SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(Q.ProcessedSQL(), "SELECT COUNT(*) FROM T WHERE B <> ? \r\n");
    Q.SQL().SetText("SELECT COUNT(*) FROM T WHERE B = :P");
    EXPECT_EQ(count(), 0);
    Detach();
    EXPECT_EQ((std::vector<int64_t>{isNull, ten, isNotNull}), (std::vector<int64_t>{2, 1, 2}));
    EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE B IS NULL UNION ALL "
                                   "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE B = 10 UNION ALL "
                                   "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE B IS NOT NULL"),
              (std::vector<std::string>{"2", "1", "2"}));
}

TEST_F(FIBQueryTest, MacrosAndTheParametersTheyBring) {
    Q.SQL().SetText("SELECT COUNT(*) FROM @TAB WHERE @@COND%1=1@");
    Q.ParamByName("TAB").SetAsString("T");
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsInt64(), 4);
    // A changed macro value is a new text for the server.
    Q.ParamByName("TAB").SetAsString("L");
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsInt64(), 0);
    // A macro value may bring a parameter of its own; it is set by name like the others.
    Q.ParamByName("TAB").SetAsString("T");
    Q.ParamByName("COND").SetAsString("ID > :MINID");
    Q.ApplyMacros();
    Q.ParamByName("MINID").SetAsInteger(2);
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsInt64(), 2);
    EXPECT_EQ(Q.PendingConversions().Text(), "MINID\r\n");
    // A value the macro asks to quote is one string literal, whatever quotes it holds; one that
    // is a literal already is taken as it is.
    Q.Close();
    Q.SQL().SetText("SELECT @@V%#none@ FROM RDB$DATABASE");
    const std::vector<std::pair<std::string, std::string>> quoted = {
        {"it's", "it's"}, {"'", "'"}, {"'a' || (SELECT COUNT(*) FROM T) || 'b'", "'a' || (SELECT COUNT(*) FROM T) || 'b'"},
        {"'it''s'", "it's"}};
    for (const auto& [value, read] : quoted) {
        Q.ParamByName("V").SetAsString(value);
        Q.ExecQuery();
        EXPECT_EQ(Q.Fields()[0].GetAsString(), read);
        Q.Close();
    }
}

TEST_F(FIBQueryTest, BlobParametersAreWrittenBeforeTheExecution) {
    const std::string longText(40000, 'x');
    Q.SQL().SetText("INSERT INTO T (ID, M) VALUES (:ID, :M)");
    // Set before the server described the parameter, and longer than a text parameter can be.
    Q.ParamByName("ID").SetAsInteger(10);
    Q.ParamByName("M").SetAsString(longText);
    Q.ExecQuery();
    Q.ParamByName("ID").SetAsInteger(11);
    Q.ParamByName("M").SetAsString("short");
    Q.ExecQuery();
    TMemoryStream stream;
    stream.WriteString("from a stream");
    Q.ParamByName("ID").SetAsInteger(12);
    Q.ParamByName("M").LoadFromStream(stream);
    Q.ExecQuery();
    // A macro in the text sends the values through the described input area.
    Q.SQL().SetText("INSERT INTO @TAB (ID, M) VALUES (:ID, :M)");
    Q.ParamByName("TAB").SetAsString("T");
    Q.ParamByName("ID").SetAsInteger(13);
    Q.ParamByName("M").SetAsString("through a macro text");
    Q.ExecQuery();
    Q.SQL().SetText("SELECT M FROM T WHERE ID >= 10 ORDER BY ID");
    Q.ExecQuery();
    EXPECT_EQ(Rows(Q), (std::vector<std::string>{longText, "short", "from a stream", "through a macro text"}));
}

// Text values for a UTF8 text blob, set before the first prepare by every setter that takes
// text, and copied from another statement's entry: each row must hold its characters.
TEST_F(FIBQueryTest, TextBlobValuesSetBeforeThePrepareAreStoredWhole) {
    Database.Close();
    Database.ConnectParams().SetCharSet("UTF8");
    Database.Open();
    Transaction.StartTransaction();
    TFIBQuery source(&Form);
    source.SetDatabase(&Database);
    source.SetTransaction(&Transaction);
    source.SQL().SetText("SELECT CAST('copied' AS VARCHAR(10)) FROM RDB$DATABASE");
    source.ExecQuery();
    const std::vector<std::function<void(TFIBXSQLVAR&)>> setters = {
        [](TFIBXSQLVAR& V) { V.SetAsString("some text"); },
        [](TFIBXSQLVAR& V) { V.SetAsWideString(u"wide \u00e9t\u00e9"); },
        [](TFIBXSQLVAR& V) { V.SetAsVariant(Variant(std::string("a variant"))); },
        [](TFIBXSQLVAR& V) { V.SetAsVariant(Variant(std::u16string(u"a wide variant"))); },
        [&](TFIBXSQLVAR& V) { V.Assign(source.Fields()[0]); },
    };
    for (size_t i = 0; i < setters.size(); ++i) {
        TFIBQuery insert(&Form);
        insert.SetDatabase(&Database);
        insert.SetTransaction(&Transaction);
        insert.SQL().SetText("INSERT INTO BU (ID, U) VALUES (:ID, :V)");
        insert.ParamByName("ID").SetAsInteger(static_cast<int>(i));
        setters[i](insert.ParamByName("V"));
        insert.ExecQuery();
    }
    Transaction.Commit();
    Detach();
    EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || ID || ':' || CHAR_LENGTH(U) || ':' || U || '>>' FROM BU ORDER BY ID"),
              (std::vector<std::string>{"0:9:some text", "1:8:wide \u00e9t\u00e9", "2:9:a variant", "3:14:a wide variant",
                                        "4:6:copied"}));
    std::string out;
    test::RunSql(*Db, "DELETE FROM BU; COMMIT;", out);
}

// A zero character inside a text never shortens the statement the server runs.
TEST_F(FIBQueryTest, ZeroCharacterInATextNeverShortensTheStatement) {
    const std::string deleteOne = std::string("DELETE FROM T") + '\0' + " WHERE ID = 1";
    Q.SQL().SetText(deleteOne);
    EXPECT_THROW(Q.ExecQuery(), EFIBError);
    Q.SQL().SetText(std::string("CREATE TABLE Z1 (A INTEGER)") + '\0' + ", X");
    EXPECT_THROW(Q.ExecQuery(), EFIBError);
    EXPECT_THROW(Q.ExecBatchImmediate({deleteOne}), EFIBError);
    EXPECT_THROW(Transaction.ExecSQLImmediate(deleteOne), EFIBError);
    Transaction.Commit();
    Detach();
    EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || COUNT(*) || '>>' FROM T UNION ALL "
                                   "SELECT '<<' || COUNT(*) || '>>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'Z1'"),
              (std::vector<std::string>{"4", "0"}));
}

// Values read and written back keep their day, and texts of numbers keep the digits that make
// them read back the same.
TEST_F(FIBQueryTest, ValuesKeepTheirDayAndTheirDigits) {
    Q.SQL().SetText("SELECT CAST('23:59:59.9997' AS TIME), CAST('2024-02-29 23:59:59.9996' AS TIMESTAMP), "
                    "CAST(0.1 AS FLOAT), CAST(0.1 AS DOUBLE PRECISION), CAST(0.3 AS NUMERIC(9,2)), "
                    "CAST('0001-01-01 00:00:00.0001' AS TIMESTAMP) FROM RDB$DATABASE");
    Q.ExecQuery();
    const TDateTime time = Q.Fields()[0].GetAsDateTime();
    const TDateTime stamp = Q.Fields()[1].GetAsDateTime();
    EXPECT_EQ(Q.Fields()[2].GetAsString(), "0.1");
    EXPECT_EQ(Q.Fields()[3].GetAsString(), "0.1");
    EXPECT_EQ(Q.Fields()[4].GetAsString(), "0.3");
    const TDateTime first = Q.Fields()[5].GetAsDateTime();
    EXPECT_EQ(Q.Fields()[5].GetAsString(), DateToStr(first) + " " + TimeToStr(first));
    Q.Close();
    Q.SQL().SetText("INSERT INTO TMS (T, TS) VALUES (:T, :TS)");
    Q.ParamByName("T").SetAsTime(time);
    Q.ParamByName("TS").SetAsDateTime(stamp);
    Q.ExecQuery();
    Transaction.Commit();
    Detach();
    EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || T || ' ' || TS || '>>' FROM TMS"),
              std::vector<std::string>{"23:59:59.9990 2024-02-29 23:59:59.9990"});
    std::string out;
    test::RunSql(*Db, "DELETE FROM TMS; COMMIT;", out);
}

TEST_F(FIBQueryTest, MarksAreCheckedAgainstTheServer) {
    // Texts whose marks the scanner must pass over: the server takes what it makes of them.
    Q.SQL().SetText("SELECT ':X' || \"S\" FROM T /* :Y ?Z */ WHERE ID = :ID -- :W\n");
    Q.ParamByName("ID").SetAsInteger(1);
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsString(), ":Xa");
    EXPECT_EQ(Q.Params().Count(), 1);
    Q.Close();
    Q.SQL().SetText("EXECUTE BLOCK (HAS INTEGER = :P) RETURNS (R INTEGER) AS DECLARE V INTEGER; "
                    "BEGIN V = :HAS; R = :V * 2; SUSPEND; END");
    ASSERT_EQ(Q.Params().Count(), 1);
    Q.ParamByName("P").SetAsInteger(21);
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsInteger(), 42);
    Q.Close();
    // A parameter name in double quotes keeps its case.
    Q.SQL().SetText("SELECT S FROM T WHERE ID = :\"Key Id\"");
    Q.ParamByName("\"Key Id\"").SetAsInteger(4);
    Q.ExecQuery();
    EXPECT_EQ(Q.Fields()[0].GetAsString(), "d");
    EXPECT_EQ(Q.ProcessedSQL(), "SELECT S FROM T WHERE ID = ?        \r\n");
}

// --- Information ----------------------------------------------------------------------------

TEST_F(FIBQueryTest, RowsAffectedAsIsqlCountsThem) {
    // isql prints "Records affected" for every type but the procedure type (8).
    const std::vector<std::string> counted = {
        "SELECT * FROM T",
        "SELECT * FROM T WHERE ID < 3 FOR UPDATE",
        "INSERT INTO L SELECT ID FROM T",
        "UPDATE T SET S = S WHERE B IS NULL",
        "DELETE FROM L WHERE X > 1",
        "UPDATE OR INSERT INTO T (ID, S) VALUES (1, 'z')",
        "MERGE INTO T USING (SELECT 2 AS ID FROM RDB$DATABASE) X ON T.ID = X.ID "
        "WHEN MATCHED THEN UPDATE SET S = 'm' WHEN NOT MATCHED THEN INSERT (ID) VALUES (X.ID)",
        // A block with outputs is a select, and without SUSPEND it answers no row.
        "EXECUTE BLOCK RETURNS (R INTEGER) AS BEGIN R = 5; END",
    };
    std::vector<std::string> ours;
    for (const std::string& sql : counted) {
        Q.SQL().SetText(sql);
        Q.ExecQuery();
        if (Q.Open()) Rows(Q);
        if (sql.rfind("EXECUTE", 0) == 0) {
            EXPECT_EQ(Q.SQLType(), SQLSelect);
            EXPECT_EQ(Q.GetRecordCount(), 0);
        }
        ours.push_back(std::to_string(Q.GetRowsAffected()));
        Q.Close();
    }
    // Procedure-type statements count the rows they changed (Firebird also counts the rows they
    // read).
    Q.SQL().SetText("UPDATE T SET S = S WHERE ID = 1 RETURNING ID");
    Q.ExecQuery();
    EXPECT_EQ(Q.SQLType(), SQLExecProcedure);
    EXPECT_EQ(Q.GetRowsAffected(), 1);
    Q.SQL().SetText("EXECUTE BLOCK AS BEGIN UPDATE T SET S = S WHERE ID <= 3; END");
    Q.ExecQuery();
    EXPECT_EQ(Q.GetRowsAffected(), 3);
    Detach();

    std::string script = "SET COUNT ON;\nSET TERM ^;\n";
    for (const std::string& sql : counted) script += sql + "^\n";
    script += "ROLLBACK^\n";
    std::vector<std::string> isql;
    for (const std::string& line : IsqlLines(*Db, script))
        if (line.rfind("Records affected: ", 0) == 0) isql.push_back(line.substr(18));
    EXPECT_EQ(ours, isql);
}

TEST_F(FIBQueryTest, PlanAsIsqlShowsIt) {
    const std::vector<std::string> selects = {
        "SELECT * FROM T WHERE ID = 1",
        "SELECT T.S, L.X FROM T JOIN L ON L.X = T.ID ORDER BY T.S",
        "SELECT (SELECT COUNT(*) FROM L) FROM T WHERE T.ID IN (SELECT X FROM L)",
    };
    std::vector<std::string> ours;
    for (const std::string& sql : selects) {
        Q.SQL().SetText(sql);
        Q.Prepare();
        for (const std::string& line : SplitLines(Q.Plan())) ours.push_back(line);
    }
    Q.SQL().SetText("CREATE TABLE X (I INTEGER)");
    EXPECT_EQ(Q.Plan(), "");
    Detach();
    std::string script = "SET PLANONLY ON;\n";
    for (const std::string& sql : selects) script += sql + ";\n";
    std::vector<std::string> isql;
    for (const std::string& line : IsqlLines(*Db, script))
        if (!line.empty()) isql.push_back(line);
    EXPECT_EQ(ours, isql);
}

TEST_F(FIBQueryTest, ColumnsByNameIndexOriginAndAlias) {
    Q.SQL().SetText("SELECT A.ID, A.S AS NAME, A.S AS NAME, 1 + 1, \"b b\".X FROM T A LEFT JOIN L \"b b\" ON 1 = 0");
    Q.Prepare();
    EXPECT_EQ(Q.FieldIndex("NAME1"), 2);
    EXPECT_EQ(Q.GetFieldByIndex(3).Name(), "ADD");
    EXPECT_EQ(Q.FindFieldByOrigin("T", "S"), &Q.Fields()[1]);
    EXPECT_EQ(Q.FindFieldByOrigin("t", "s"), nullptr);   // dialect 3 names keep their case
    EXPECT_EQ(Q.FindFieldByOrigin("L", "ID"), nullptr);
    EXPECT_EQ(Q.GetFieldTableAlias(0), "A");
    EXPECT_EQ(Q.GetFieldTableAlias(3), "");
    EXPECT_EQ(Q.GetFieldTableAlias(4), "\"b b\"");
    EXPECT_EQ(Q.GetFieldTableAlias(5), "");
    EXPECT_EQ(Q.GetFieldTableAliasByName("NAME"), "A");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.FieldByName("NOPE"); }), "Field \"NOPE\" not found.");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.GetFieldByIndex(5); }), "Field \"Field No: 5\" not found.");
    Q.SQL().SetText("UPDATE \"Mixed\" M SET X = 1");
    EXPECT_EQ(Q.GetFirstTableName(), "Mixed");
}

// --- The database's helpers and the transaction's watch -------------------------------------

TEST_F(FIBQueryTest, OneRowQueriesGeneratorsAndServerTime) {
    EXPECT_EQ(Database.QueryValue("SELECT COUNT(*) FROM T", 0).AsInt64(), 4);
    EXPECT_FALSE(Database.GetInternalTransaction()->Active());   // committed after the query
    EXPECT_EQ(Database.QueryValueAsStr("SELECT S FROM T WHERE ID = :ID", 0, {Variant(3)}), "c");
    EXPECT_EQ(Database.QueryValueAsStr("SELECT B FROM T WHERE ID = :ID", 0, {Variant(2)}), "");
    const Variant row = Database.QueryValue("SELECT ID, S FROM T WHERE ID = 1", -1);
    ASSERT_TRUE(row.IsArray());
    EXPECT_EQ(VarToStr(row.GetElement({0})) + VarToStr(row.GetElement({1})), "1a");
    EXPECT_TRUE(Database.QueryValueOrEmpty("SELECT NOPE FROM T").IsEmpty());

    const int64_t first = Database.Gen_Id("G", 1);
    EXPECT_EQ(Database.Gen_Id("G", 10), first + 10);
    EXPECT_EQ(Database.QueryValue("SELECT GEN_ID(G, 0) FROM RDB$DATABASE", 0).AsInt64(), first + 10);
    // With a cache block of 5, five values cost the server one step.
    test::TempDir cacheDir;
    Database.GeneratorsCache().CacheFileName = cacheDir.File("gens.ini");
    Database.GeneratorsCache().UseGeneratorCache = forAll;
    Database.GeneratorsCache().DefaultStep = 5;
    std::vector<int64_t> values;
    for (int i = 0; i < 6; ++i) values.push_back(Database.Gen_Id("G", 1));
    EXPECT_EQ(values, (std::vector<int64_t>{first + 11, first + 12, first + 13, first + 14, first + 15, first + 16}));
    EXPECT_EQ(Database.QueryValue("SELECT GEN_ID(G, 0) FROM RDB$DATABASE", 0).AsInt64(), first + 20);

    const TDateTime server = Database.GetServerTime();
    EXPECT_LT(std::fabs(Now() - server) * 86400, 60.0);
    EXPECT_LT(std::fabs(Database.ServerTimeDifference()) * 86400, 60.0);
}

TEST_F(FIBQueryTest, TransactionWatchesUncommittedUpdates) {
    Transaction.WatchUncommitedUpdates = true;
    Q.SQL().SetText("SELECT * FROM T");
    Q.ExecQuery();
    Q.Close();
    Q.SQL().SetText("UPDATE T SET S = S WHERE ID = 0");
    Q.ExecQuery();
    EXPECT_FALSE(Transaction.UncommittedUpdates());
    Q.SQL().SetText("UPDATE T SET S = S WHERE ID = 1");
    Q.ExecQuery();
    EXPECT_TRUE(Transaction.UncommittedUpdates());
    Transaction.Commit();
    EXPECT_FALSE(Transaction.UncommittedUpdates());
}

// --- Logs, statistics, batches and errors ---------------------------------------------------

TEST_F(FIBQueryTest, LogLinesOfPrepareExecuteAndFetch) {
    test::TTestLogger logger;
    Database.SetSQLLogger(&logger);
    Q.SQL().SetText("SELECT S FROM T WHERE ID = :ID");
    Q.ParamByName("ID").SetAsInteger(1);
    Q.ExecQuery();
    Q.Next();
    Q.Close();
    const std::string processed = "SELECT S FROM T WHERE ID = ?  \r\n";
    const std::string tr = "TrID=" + std::to_string(Transaction.GetTransactionID()) + " ";
    EXPECT_EQ(logger.Lines, (std::vector<std::string>{
                                "Form1.Q|Prepare|" + processed + "|0",
                                "Form1.Q|" + tr + "Execute query:|" + processed + "\r\nParams[0]='1'|1",
                                "Form1.Q|Fetch:|\r\nS = a\r\n|2",
                                "Form1.Q|Fetch:|\r\nS = a\r\n\r\n  End of file reached|2",
                            }));
    logger.Lines.clear();
    Q.SQL().SetText("SELECT NOPE FROM T");
    EXPECT_THROW(Q.ExecQuery(), EFIBInterBaseError);
    EXPECT_EQ(logger.Lines, (std::vector<std::string>{"Form1.Q|Error on Prepare:|SELECT NOPE FROM T\r\n|0"}));
    logger.Lines.clear();
    Q.SQL().SetText("INSERT INTO T (ID) VALUES (:ID)");
    Q.ParamByName("ID").SetAsInteger(1);
    const std::string error = ErrorText<EFIBInterBaseError>([&] { Q.ExecQuery(); });
    ASSERT_EQ(logger.Lines.size(), 2u);
    EXPECT_EQ(logger.Lines[1], "Form1.Q|" + tr + "Error on execute query. Error message:\"" + error + "\"|" +
                                   "INSERT INTO T (ID) VALUES (?  )\r\n\r\nParams[0]='1'|1");
    Database.SetSQLLogger(nullptr);
}

// Keeps what the statement reports, as an outside statistics maker would.
class TTestStatistics : public ISQLStatMaker {
public:
    std::map<std::string, int> Ints;
    std::map<std::string, std::string> Texts;
    TStringList MaxLines;
    int FixStartTime(const std::string&, const std::string&) override { return 0; }
    int FixEndTime(const std::string&, const std::string&) override { return 7; }
    int GetVarInt(const std::string& O, const std::string& V) override { return Ints[O + "/" + V]; }
    std::string GetVarStr(const std::string& O, const std::string& V) override { return Texts[O + "/" + V]; }
    int IncCounter(const std::string& O, const std::string& V) override { return ++Ints[O + "/" + V]; }
    void SetNull(const std::string&, const std::string&) override {}
    void SetStringValue(const std::string& O, const std::string& V, const std::string& S) override { Texts[O + "/" + V] = S; }
    int AddIntValue(const std::string& O, const std::string& V, int N) override { return Ints[O + "/" + V] += N; }
    void SetIntValue(const std::string& O, const std::string& V, int N) override { Ints[O + "/" + V] = N; }
    void AddToStrings(const std::string&, const std::string&, const std::string&) override {}
    void ClearStrings(const std::string&, const std::string&) override {}
    TStringList* GetVarStrings(const std::string&, const std::string&) override { return &MaxLines; }
    void Clear() override {}
    void SetActiveStatistics(bool) override {}
    bool GetActiveStatistics() override { return true; }
};

TEST_F(FIBQueryTest, StatisticsOfPrepareAndExecute) {
    TTestStatistics stats;
    Database.SetStatisticsMaker(&stats);
    Q.SQL().SetText("SELECT S FROM T WHERE ID = :ID");
    Q.ParamByName("ID").SetAsInteger(2);
    Q.ExecQuery();
    Q.ExecQuery();
    Database.SetStatisticsMaker(nullptr);
    const std::string object = Q.ProcessedSQL() + "/";
    EXPECT_EQ(stats.Texts[object + "LastQueryName"], "Form1.Q");
    EXPECT_EQ(stats.Ints[object + "PrepareCount"], 1);
    EXPECT_EQ(stats.Ints[object + "ExecuteCount"], 2);
    EXPECT_EQ(stats.Ints[object + "SumTimeExecute"], 14);
    EXPECT_EQ(stats.Ints[object + "AvgTimeExecute"], 7);
    EXPECT_EQ(stats.Ints[object + "MaxTimeExecute"], 7);
    EXPECT_EQ(stats.MaxLines.Text(), "Params[0]='2'\r\n");
}

TEST_F(FIBQueryTest, BatchRunsEveryTextOnFirebird) {
    Q.ExecBatchImmediate({"INSERT INTO L VALUES (1)", "INSERT INTO L VALUES (2)"});
    EXPECT_EQ(Count("SELECT COUNT(*) FROM L"), 2);
    EXPECT_THROW(Q.ExecBatchImmediate({"INSERT INTO L VALUES (3)", "INSERT INTO NOPE VALUES (4)"}), EFIBInterBaseError);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM L"), 3);
}

TEST_F(FIBQueryTest, StatementErrors) {
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.ExecQuery(); }), "Can't Prepare , because  query is empty");
    Q.SQL().SetText("SELECT ID FROM T");
    Q.ExecQuery();
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.SQL().SetText("SELECT 1 FROM T"); }),
              "Can't change sql text because Form1.Q dataset open.");
    Q.Close();
    Q.SQL().SetText("SET TRANSACTION");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.ExecQuery(); }), "Unsupported feature.");
    EXPECT_EQ(Q.Handle(), 0u);
    Q.SQL().SetText("SELECT NOPE FROM T");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { Q.CheckValidStatement(); }), "Form1.Q:Invalid statement handle.");
    TFIBQuery lonely;
    lonely.SQL().SetText("SELECT 1 FROM RDB$DATABASE");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { lonely.ExecQuery(); }), "Transaction not assigned for .");
}

TEST_F(FIBQueryTest, ConditionsAndClausesRewriteTheText) {
    Q.SQL().SetText("SELECT ID FROM T WHERE B IS NULL OR B > 15");
    Q.AddCondition("High", "ID > 2", true);
    Q.Conditions().Apply();
    Q.SetOrderClause("ID DESC");
    EXPECT_TRUE(Q.Conditions().Applied());
    Q.ExecQuery();
    EXPECT_EQ(Rows(Q), (std::vector<std::string>{"4", "3"}));
    EXPECT_EQ(Trim(Q.GetOrderClause()), "ID DESC");
    Q.Close();
    Q.Conditions().CancelApply();
    Q.ExecQuery();
    EXPECT_EQ(Rows(Q), (std::vector<std::string>{"4", "3", "2"}));
}

} // namespace
} // namespace qnl
