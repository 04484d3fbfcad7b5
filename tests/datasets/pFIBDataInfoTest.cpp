// The table-information cache against real Firebird 3: what it reads equals the catalogue as
// isql shows it, it notices schema and repository changes, and the repository upgrade brings
// older repository tables to the newer layout (read back with isql).
#include "datasets/pFIBDataInfo.h"

#include "DataSetKit.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorOf;
using Rows = std::vector<std::string>;

const char* const Ddl = R"(
CREATE DOMAIN DM_TEXT AS VARCHAR(10) DEFAULT 'dom''s';
CREATE TABLE DEFS (
  ID INTEGER NOT NULL PRIMARY KEY,
  A VARCHAR(10) CHARACTER SET UTF8 DEFAULT _UTF8 'x y',
  B VARCHAR(10) DEFAULT 'it''s',
  C INTEGER DEFAULT 5,
  D DATE DEFAULT CURRENT_DATE,
  E VARCHAR(5) DEFAULT '',
  G TIMESTAMP DEFAULT TIMESTAMP '2020-01-02 03:04:05',
  H CHAR(2) CHARACTER SET OCTETS DEFAULT X'4142',
  I BOOLEAN DEFAULT TRUE,
  J VARCHAR(10) DEFAULT q'{a'b}',
  K DM_TEXT,
  L VARCHAR(10) DEFAULT NULL,
  CMP COMPUTED BY (C * 2),
  ARR INTEGER[3],
  MEMO BLOB SUB_TYPE TEXT);
CREATE VIEW V_DEFS (ID, B, CMP) AS SELECT ID, B, CMP FROM DEFS;
SET TERM ^;
CREATE PROCEDURE P_DEFS (N INTEGER) RETURNS (X INTEGER, Y VARCHAR(10)) AS
BEGIN
  X = N; Y = 'y'; SUSPEND;
END^
SET TERM ;^
CREATE TABLE "it's" (A INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE "it" (A INTEGER);
CREATE TABLE FIB$FIELDS_INFO (TABLE_NAME VARCHAR(31) NOT NULL, FIELD_NAME VARCHAR(31) NOT NULL,
  DISPLAY_LABEL VARCHAR(25), DISPLAY_FORMAT VARCHAR(15), EDIT_FORMAT VARCHAR(15), VISIBLE SMALLINT, TRIGGERED SMALLINT,
  DISPLAY_WIDTH INTEGER DEFAULT 0, FIB$VERSION INTEGER);
INSERT INTO FIB$FIELDS_INFO VALUES ('it''s', 'A', 'mine', '', '', 1, 0, 0, 1);
INSERT INTO FIB$FIELDS_INFO VALUES ('it', 'A', 'other', '', '', 1, 0, 0, 2);
INSERT INTO FIB$FIELDS_INFO VALUES ('it'' OR TABLE_NAME<>''', 'A', 'crafted', '', '', 1, 0, 0, 3);
INSERT INTO FIB$FIELDS_INFO VALUES ('DEFS', 'B', 'Bee', '', '', 1, 0, 0, 4);
COMMIT;
)";

class pFIBDataInfoTest : public test::DataSetKit {
protected:
    void SetUp() override {
        OpenDatabase(Ddl);
        TableInfoCache().ClearForDatabase(&Database);
    }
    void Reopen() {
        if (!Database.Connected()) Database.Open();
    }
    // Each column of a cached table as "name|domain|character set" in position order.
    static Rows Columns(TpFIBTableInfo& Info, const Rows& Names) {
        Rows rows;
        for (const std::string& name : Names) {
            const TpFIBFieldInfo* f = Info.FieldInfo(name);
            rows.push_back(f ? name + "|" + f->DomainName + "|" + std::to_string(f->CharSetID) : name + " missing");
        }
        return rows;
    }
};

// The default is the value the column takes, whatever form Firebird 3 stored it in.
TEST_F(pFIBDataInfoTest, FieldInfosOfATableAViewAndAProcedureAreTheCatalogues) {
    struct Case {
        const char* Column;
        const char* Default;
        bool EmptyDefault, Computed, UsableInWhere;
    };
    const Case cases[] = {
        {"ID", "", false, false, true},
        {"A", "x y", false, false, true},          // stored as _UTF8 X'782079'
        {"B", "it's", false, false, true},
        {"C", "5", false, false, true},
        {"D", "CURRENT_DATE", false, false, true},
        {"E", "", true, false, true},
        {"G", "2020-01-02 03:04:05", false, false, true},
        {"H", "AB", false, false, true},
        {"I", "TRUE", false, false, true},
        {"J", "a'b", false, false, true},
        {"K", "dom's", false, false, true},        // the domain's default
        {"L", "NULL", false, false, true},
        {"CMP", "", false, true, true},
        {"ARR", "", false, false, false},
        {"MEMO", "", false, false, false},
    };
    TpFIBTableInfo* defs = TableInfoCache().GetTableInfo(&Database, "DEFS", false);
    ASSERT_NE(defs, nullptr);
    EXPECT_EQ(defs->FieldCount(), static_cast<int>(std::size(cases)));
    Rows names;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Column);
        names.push_back(c.Column);
        const TpFIBFieldInfo* f = defs->FieldInfo(c.Column);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->DefaultValue, c.Default);
        EXPECT_EQ(f->DefaultIsEmptyString, c.EmptyDefault);
        EXPECT_EQ(f->IsComputed, c.Computed);
        EXPECT_EQ(f->UsableInWhere, c.UsableInWhere);
    }
    TpFIBTableInfo* view = TableInfoCache().GetTableInfo(&Database, "V_DEFS", false);
    ASSERT_NE(view, nullptr);
    TpFIBTableInfo* proc = TableInfoCache().GetTableInfo(&Database, "P_DEFS", false);
    ASSERT_NE(proc, nullptr);
    ASSERT_EQ(proc->FieldCount(), 2);
    for (const char* p : {"X", "Y"}) EXPECT_TRUE(proc->FieldInfo(p)->UsableInWhere) << p;

    const Rows ours = Columns(*defs, names), ourView = Columns(*view, {"ID", "B", "CMP"});
    const Rows ourProc = Columns(*proc, {"X", "Y"});
    const std::string formats = std::to_string(defs->FormatNumber()) + "|" + std::to_string(view->FormatNumber());
    EXPECT_EQ(IsqlRows("SELECT '<<' || TRIM(R.RDB$FIELD_NAME) || '|' || TRIM(R.RDB$FIELD_SOURCE) || '|' || "
                       "COALESCE(F.RDB$CHARACTER_SET_ID, 0) || '>>' FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON "
                       "F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE R.RDB$RELATION_NAME = 'DEFS' ORDER BY "
                       "R.RDB$FIELD_POSITION"),
              ours);
    EXPECT_EQ(IsqlRows("SELECT '<<' || TRIM(R.RDB$FIELD_NAME) || '|' || TRIM(R.RDB$FIELD_SOURCE) || '|' || "
                       "COALESCE(F.RDB$CHARACTER_SET_ID, 0) || '>>' FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON "
                       "F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE R.RDB$RELATION_NAME = 'V_DEFS' ORDER BY "
                       "R.RDB$FIELD_POSITION"),
              ourView);
    EXPECT_EQ(IsqlRows("SELECT '<<' || TRIM(P.RDB$PARAMETER_NAME) || '|' || TRIM(P.RDB$FIELD_SOURCE) || '|' || "
                       "COALESCE(F.RDB$CHARACTER_SET_ID, 0) || '>>' FROM RDB$PROCEDURE_PARAMETERS P JOIN RDB$FIELDS F "
                       "ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE WHERE P.RDB$PROCEDURE_NAME = 'P_DEFS' AND "
                       "P.RDB$PARAMETER_TYPE = 1 ORDER BY P.RDB$PARAMETER_NUMBER"),
              ourProc);
    // A table's format number is its RDB$FORMAT, a view's its relation id.
    EXPECT_EQ(IsqlRows("SELECT '<<' || T.RDB$FORMAT || '|' || V.RDB$RELATION_ID || '>>' FROM RDB$RELATIONS T, "
                       "RDB$RELATIONS V WHERE T.RDB$RELATION_NAME = 'DEFS' AND V.RDB$RELATION_NAME = 'V_DEFS'"),
              Rows{formats});
}

// The name goes to the catalogue and the repository as a parameter: a quote in it is a quote.
TEST_F(pFIBDataInfoTest, ANameHoldingAQuoteReadsItsOwnRowsOnly) {
    const TpFIBFieldInfo* mine = TableInfoCache().GetFieldInfo(&Database, "\"it's\"", true, "A");
    ASSERT_NE(mine, nullptr);
    EXPECT_TRUE(mine->HasRepositoryInfo);
    EXPECT_EQ(mine->DisplayLabel, "mine");
    EXPECT_EQ(TableInfoCache().GetTableInfo(&Database, "it's", true)->GetPrimaryKeys(&Database), "A");
    const TpFIBFieldInfo* other = TableInfoCache().GetFieldInfo(&Database, "it", true, "A");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->DisplayLabel, "other");
    // A name crafted to widen the repository's WHERE finds no table and no rows.
    EXPECT_EQ(TableInfoCache().GetTableInfo(&Database, "it' OR TABLE_NAME<>'", true)->FieldCount(), 0);
}

// A schema change another attachment committed (isql) makes the cached information stale, and
// so does a change of the repository rows; the stale table is read again.
TEST_F(pFIBDataInfoTest, AfterAlterTableTheCachedInformationIsNoLongerActualAndIsReadAgain) {
    TpFIBTableInfoCollect& cache = TableInfoCache();
    TpFIBTableInfo* defs = cache.GetTableInfo(&Database, "DEFS", true);
    const int columns = defs->FieldCount();
    ASSERT_TRUE(cache.GetTableInfo(&Database, "V_DEFS", true)->IsActual(&Database));
    ASSERT_TRUE(cache.GetTableInfo(&Database, "it", true)->IsActual(&Database));
    ASSERT_TRUE(defs->IsActual(&Database));
    EXPECT_FALSE(defs->NeedsCheck);

    Database.Close();
    std::string out;
    ASSERT_EQ(test::RunSql(*Db, "ALTER TABLE DEFS ADD NEWCOL INTEGER; UPDATE FIB$FIELDS_INFO SET FIB$VERSION = 9 "
                                "WHERE TABLE_NAME = 'it'; COMMIT;",
                           out),
              0)
        << out;
    Reopen();
    EXPECT_FALSE(defs->IsActual(&Database));
    EXPECT_TRUE(defs->NeedsCheck);
    EXPECT_TRUE(cache.GetTableInfo(&Database, "V_DEFS", true)->IsActual(&Database));
    EXPECT_FALSE(cache.GetTableInfo(&Database, "it", true)->IsActual(&Database));

    // Without validation on use the cached information is handed out as it is.
    EXPECT_EQ(cache.GetTableInfo(&Database, "DEFS", true)->FieldCount(), columns);
    cache.ValidateOnUse = true;
    EXPECT_EQ(cache.GetTableInfo(&Database, "DEFS", true)->FieldCount(), columns + 1);
    EXPECT_NE(cache.GetFieldInfo(&Database, "DEFS", true, "NEWCOL"), nullptr);
    cache.ValidateOnUse = false;
}

// Up to ten tables are asked one by one, more with two queries; both drop the same tables.
TEST_F(pFIBDataInfoTest, ValidatingTheCacheDropsExactlyTheStaleTables) {
    std::string ddl;
    for (int i = 0; i < 12; ++i) ddl += "CREATE TABLE T" + std::to_string(i) + " (A INTEGER);\n";
    Database.Close();
    std::string out;
    ASSERT_EQ(test::RunSql(*Db, ddl + "COMMIT;", out), 0) << out;
    Reopen();
    TpFIBTableInfoCollect& cache = TableInfoCache();
    for (int tables : {5, 12}) {
        SCOPED_TRACE(std::to_string(tables) + " tables");
        cache.ClearForDatabase(&Database);
        for (int i = 0; i < tables; ++i) cache.GetTableInfo(&Database, "T" + std::to_string(i), i % 2 == 0);
        cache.GetTableInfo(&Database, "it", true);
        Database.Close();
        const std::string column = "B" + std::to_string(tables);
        ASSERT_EQ(test::RunSql(*Db, "ALTER TABLE T1 ADD " + column + " INTEGER; ALTER TABLE T4 ADD " + column +
                                        " INTEGER; COMMIT;"
                                    "INSERT INTO FIB$FIELDS_INFO (TABLE_NAME, FIELD_NAME, FIB$VERSION) VALUES ('T2', 'A', " +
                                        std::to_string(50 + tables) + ");"
                                    "UPDATE FIB$FIELDS_INFO SET FIB$VERSION = FIB$VERSION + 10 WHERE TABLE_NAME = 'it';"
                                    "COMMIT;",
                               out),
                  0)
            << out;
        Reopen();
        cache.ValidateSchemaCache(&Database, nullptr);
        EXPECT_GT(cache.Stamp, 0);
        Rows kept;
        for (int i = 0; i < tables; ++i)
            if (cache.FindTableInfo(Database.DBName(), "T" + std::to_string(i))) kept.push_back("T" + std::to_string(i));
        Rows expected;
        for (int i = 0; i < tables; ++i)
            if (i != 1 && i != 4 && i != 2) expected.push_back("T" + std::to_string(i));
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(cache.FindTableInfo(Database.DBName(), "it"), nullptr);
        EXPECT_NE(cache.FindTableInfo(Database.DBName(), "T0"), nullptr);
    }
    // A handler decides alone: what it does not accept goes.
    cache.ClearForDatabase(&Database);
    for (const char* t : {"T0", "T3", "DEFS"}) cache.GetTableInfo(&Database, t, false);
    cache.ValidateSchemaCache(&Database, [](const std::string& Name, bool& Accept) { Accept = Name != "T3"; });
    EXPECT_NE(cache.FindTableInfo(Database.DBName(), "T0"), nullptr);
    EXPECT_EQ(cache.FindTableInfo(Database.DBName(), "T3"), nullptr);
    EXPECT_NE(cache.FindTableInfo(Database.DBName(), "DEFS"), nullptr);
}

// Repository tables made before the newer columns, holding rows or empty: the upgrade adds the
// columns, the domain, the generator and the triggers in one transaction, and a second run
// changes nothing.
TEST_F(pFIBDataInfoTest, UpgradeBringsOlderRepositoryTablesToTheNewerLayout) {
    for (const bool withRows : {true, false}) {
        SCOPED_TRACE(withRows ? "with rows" : "empty");
        if (Database.Connected()) Database.Close();
        OpenDatabase(std::string("CREATE TABLE FIB$FIELDS_INFO (TABLE_NAME VARCHAR(31) NOT NULL, FIELD_NAME VARCHAR(31) "
                                 "NOT NULL, DISPLAY_LABEL VARCHAR(25));\n"
                                 "CREATE TABLE FIB$DATASETS_INFO (DS_ID INTEGER NOT NULL PRIMARY KEY, SELECT_SQL BLOB "
                                 "SUB_TYPE 1, DESCRIPTION VARCHAR(40));\n") +
                     (withRows ? "INSERT INTO FIB$FIELDS_INFO VALUES ('T', 'A', 'x');\n"
                                 "INSERT INTO FIB$DATASETS_INFO (DS_ID) VALUES (1);\n"
                               : "") +
                     "COMMIT;");
        EXPECT_FALSE(BooleanDomainExists(&Database));
        for (int run = 0; run < 2; ++run) {
            TFIBTransaction tr;
            tr.SetDefaultDatabase(&Database);
            EXPECT_EQ(ErrorOf([&] {
                          UpgradeFieldsInfoTable(&tr);
                          UpgradeDataSetsInfoTable(&tr);
                          tr.Commit();
                      }),
                      "no error");
        }
        EXPECT_TRUE(BooleanDomainExists(&Database));
        Database.Close();
        const std::string schema = test::ExtractSchema(Db->Path());
        for (const char* piece :
             {"CREATE DOMAIN FIB$BOOLEAN AS SMALLINT", "DEFAULT 1 NOT NULL;", "ALTER DOMAIN FIB$BOOLEAN ADD CONSTRAINT",
              "CHECK (VALUE IN (0,1));",
              "CREATE GENERATOR FIB$FIELD_INFO_VERSION;",
              "CREATE TABLE FIB$FIELDS_INFO (TABLE_NAME VARCHAR(31) NOT NULL,\n        FIELD_NAME VARCHAR(31) NOT "
              "NULL,\n        DISPLAY_LABEL VARCHAR(25),\n        DISPLAY_WIDTH INTEGER DEFAULT 0,\n        FIB$VERSION "
              "INTEGER);",
              "UPDATE_TABLE_NAME VARCHAR(68),\n        UPDATE_ONLY_MODIFIED_FIELDS FIB$BOOLEAN NOT NULL,\n        "
              "CONDITIONS BLOB SUB_TYPE TEXT SEGMENT SIZE 80,\n        FIB$VERSION INTEGER,",
              "CREATE TRIGGER FIB$FIELDS_INFO_BI FOR FIB$FIELDS_INFO \nACTIVE BEFORE INSERT POSITION 0",
              "CREATE TRIGGER FIB$FIELDS_INFO_BU FOR FIB$FIELDS_INFO \nACTIVE BEFORE UPDATE POSITION 0",
              "CREATE TRIGGER FIB$DATASETS_INFO_BI FOR FIB$DATASETS_INFO \nACTIVE BEFORE INSERT POSITION 0",
              "CREATE TRIGGER FIB$DATASETS_INFO_BU FOR FIB$DATASETS_INFO \nACTIVE BEFORE UPDATE POSITION 0"})
            EXPECT_NE(schema.find(piece), std::string::npos) << piece << "\nin\n" << schema;
        std::string out;
        ASSERT_EQ(test::RunSql(*Db, "INSERT INTO FIB$DATASETS_INFO (DS_ID) VALUES (2); INSERT INTO FIB$FIELDS_INFO "
                                    "(TABLE_NAME, FIELD_NAME) VALUES ('T', 'B'); COMMIT;",
                               out),
                  0)
            << out;
        // The old rows take the domain's default; new rows get versions from the triggers.
        EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || DS_ID || '|' || UPDATE_ONLY_MODIFIED_FIELDS || '|' || "
                                       "COALESCE(FIB$VERSION, '-') || '>>' FROM FIB$DATASETS_INFO ORDER BY DS_ID"),
                  withRows ? Rows({"1|1|-", "2|1|1"}) : Rows({"2|1|1"}));
        EXPECT_EQ(test::QueryRows(*Db, "SELECT '<<' || FIELD_NAME || '|' || COALESCE(FIB$VERSION, '-') || '>>' FROM "
                                       "FIB$FIELDS_INFO ORDER BY FIELD_NAME"),
                  withRows ? Rows({"A|-", "B|2"}) : Rows({"B|2"}));
    }
}

// The field record of the cache file, with texts holding zero bytes and line breaks.
TEST_F(pFIBDataInfoTest, AFieldRecordReadsBackFromItsStreamAndACutRecordIsRefused) {
    TpFIBFieldInfo info;
    info.IsComputed = true;
    info.UsableInWhere = true;
    info.DefaultIsEmptyString = false;
    info.HasRepositoryInfo = true;
    info.Visible = false;
    info.Triggered = true;
    info.DisplayWidth = -7;
    info.CharSetID = 0x12345678;
    info.DefaultValue = std::string("a\0b", 3);
    info.DomainName = "RDB$12";
    info.DisplayLabel = "Label";
    info.EditFormat = "";
    info.DisplayFormat = "#,##0.00";
    info.OtherInfo.Add("HINT=it's");
    info.OtherInfo.Add("X=");
    TMemoryStream stream;
    info.SaveToStream(stream);
    stream.SetPosition(0);
    TpFIBFieldInfo back;
    back.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), stream.Size());
    EXPECT_EQ(std::vector<bool>({back.IsComputed, back.UsableInWhere, back.DefaultIsEmptyString, back.HasRepositoryInfo,
                                 back.Visible, back.Triggered}),
              std::vector<bool>({true, true, false, true, false, true}));
    EXPECT_EQ(back.DisplayWidth, -7);
    EXPECT_EQ(back.CharSetID, 0x12345678);
    EXPECT_EQ(Rows({back.DefaultValue, back.DomainName, back.DisplayLabel, back.EditFormat, back.DisplayFormat}),
              Rows({std::string("a\0b", 3), "RDB$12", "Label", "", "#,##0.00"}));
    EXPECT_EQ(back.OtherInfo.Text(), info.OtherInfo.Text());
    // The layout: six flag bytes, then the width little-endian.
    stream.SetPosition(6);
    unsigned char width[4];
    stream.ReadBuffer(width, 4);
    EXPECT_EQ(std::vector<int>(width, width + 4), std::vector<int>({0xF9, 0xFF, 0xFF, 0xFF}));

    // Cut anywhere, or a length beyond the end: an error, never a read past the data.
    for (int64_t cut : {int64_t{3}, int64_t{15}, stream.Size() - 1}) {
        TMemoryStream part;
        stream.SetPosition(0);
        part.CopyFrom(stream, cut);
        part.SetPosition(0);
        TpFIBFieldInfo partial;
        EXPECT_NE(ErrorOf([&] { partial.LoadFromStream(part); }), "no error") << cut;
    }
}

} // namespace
} // namespace qnl
