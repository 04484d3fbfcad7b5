// Table, column and position passes run on real Firebird 3 databases: the update script must
// run, and the updated target's schema must equal a database made from the master's own DDL.
#include "CompareKit.h"
#include "FirebirdCompare.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

namespace {

// The master of the table tests:
//   T(A, C, B, D computed) against the target's T(A, B, C): columns added and reordered;
//   KEEP_T loses a column; OLD_T exists only in the target;
//   A_FIRST has a computed column reading Z_LATER, a table that sorts (and is created) after it.
void BuildTablesMaster(TObjs& O) {
    TTblData* t = AddTable(O, "T");
    AddCol(t, "A", dtInteger).Nullable = false;
    AddCol(t, "C", dtInteger);
    AddCol(t, "B", dtVarChar, 10);
    TFldData& d = AddCol(t, "D", dtUnknown);  // COMPUTED BY without a type
    d.SetSource("(A + C)");
    RegisterDependency(&O, &d, t, "A");
    RegisterDependency(&O, &d, t, "C");

    AddCol(AddTable(O, "KEEP_T"), "K", dtInteger);

    TTblData* later = AddTable(O, "Z_LATER");
    AddCol(later, "ID", dtInteger);
    TTblData* first = AddTable(O, "A_FIRST");
    AddCol(first, "ID", dtInteger);
    TFldData& n = AddCol(first, "N", dtUnknown);
    n.SetSource("((SELECT COUNT(*) FROM Z_LATER))");
    RegisterDependency(&O, &n, later);
    AddCol(first, "V", dtVarChar, 5);
}

const char* const TablesTargetDdl = "CREATE TABLE T (A INTEGER NOT NULL, B VARCHAR(10), C INTEGER);\n"
                                    "CREATE TABLE KEEP_T (K INTEGER, GONE INTEGER);\n"
                                    "CREATE TABLE OLD_T (X INTEGER);\n"
                                    "COMMIT;\n";

const char* const TablesMasterDdl = "CREATE TABLE T (A INTEGER NOT NULL, C INTEGER, B VARCHAR(10), D COMPUTED BY (A + C));\n"
                                    "CREATE TABLE KEEP_T (K INTEGER);\n"
                                    "CREATE TABLE Z_LATER (ID INTEGER);\n"
                                    "CREATE TABLE A_FIRST (ID INTEGER, N COMPUTED BY ((SELECT COUNT(*) FROM Z_LATER)), "
                                    "V VARCHAR(5));\n"
                                    "COMMIT;\n";

void BuildTablesTarget(TObjs& O) {
    TTblData* t = AddTable(O, "T");
    AddCol(t, "A", dtInteger).Nullable = false;
    AddCol(t, "B", dtVarChar, 10);
    AddCol(t, "C", dtInteger);
    TTblData* k = AddTable(O, "KEEP_T");
    AddCol(k, "K", dtInteger);
    AddCol(k, "GONE", dtInteger);
    AddCol(AddTable(O, "OLD_T"), "X", dtInteger);
}

} // namespace

TEST(FirebirdTables, ColumnsAddedReorderedAndDroppedTablesCreatedInTwoPhases) {
    TempDatabase db(TablesTargetDdl);
    TempDatabase reference(TablesMasterDdl);
    Comparison cmp;
    BuildTablesMaster(cmp.M());
    BuildTablesTarget(cmp.T());
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string script = cmp.ScriptText();

    // A_FIRST is created with its plain columns; its computed column follows once Z_LATER exists.
    const size_t createFirst = script.find("CREATE TABLE A_FIRST(ID INTEGER,\r\nV VARCHAR(5))");
    const size_t createLater = script.find("CREATE TABLE Z_LATER");
    const size_t addN = script.find("ALTER TABLE A_FIRST ADD N COMPUTED BY ((SELECT COUNT(*) FROM Z_LATER))");
    ASSERT_NE(createFirst, std::string::npos) << script;
    ASSERT_NE(createLater, std::string::npos) << script;
    ASSERT_NE(addN, std::string::npos) << script;
    EXPECT_LT(createFirst, createLater);
    EXPECT_LT(createLater, addN);
    EXPECT_NE(script.find("/* Drop table-fields... */"), std::string::npos);
    EXPECT_NE(script.find("ALTER TABLE KEEP_T DROP GONE"), std::string::npos);
    EXPECT_NE(script.find("DROP TABLE OLD_T"), std::string::npos);
    EXPECT_NE(script.find("ALTER TABLE T ALTER COLUMN B POSITION 3"), std::string::npos);

    // The catalogue: positions follow the master.
    ASSERT_EQ(RunSql(db,
                     "SELECT '<<' || TRIM(RDB$RELATION_NAME) || '.' || TRIM(RDB$FIELD_NAME) || '|' || "
                     "RDB$FIELD_POSITION || '>>' FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME IN ('T', "
                     "'A_FIRST') ORDER BY RDB$RELATION_NAME, RDB$FIELD_POSITION;\n",
                     out),
              0)
        << out;
    EXPECT_EQ(Marked(out), (std::vector<std::string>{"A_FIRST.ID|0", "A_FIRST.N|1", "A_FIRST.V|2", "T.A|0", "T.C|1",
                                                     "T.B|2", "T.D|3"}));
    // Independent witness: the updated target's schema is the master's as isql extracts it.
    EXPECT_EQ(ExtractSchema(db.Path()), ExtractSchema(reference.Path()));

    // A second comparison against what the script produced writes no DDL.
    ExpectMasterComparesClean(BuildTablesMaster);
}

namespace {

// Keys and indices. Against the target below: the unnamed primary key of P becomes PK_P with a
// descending index (the foreign key FK_C_P, unchanged, must go before it and come back); the
// unique key and FK_C2 with rules are new; CHK_C changes; IDX_FLAG only turns inactive;
// IDX_CHANGED gets a second column; IDX_NEW is new, descending and inactive; IDX_OLD goes.
void BuildKeysMaster(TObjs& O) {
    TTblData* p = AddTable(O, "P");
    AddCol(p, "ID", dtInteger).Nullable = false;
    AddCol(p, "CODE", dtInteger).Nullable = false;
    AddCol(p, "NAME", dtVarChar, 20);
    TTblData* c = AddTable(O, "C");
    AddCol(c, "ID", dtInteger).Nullable = false;
    AddCol(c, "PID", dtInteger);
    AddCol(c, "PID2", dtInteger);

    TCtrData* pk = AddKey(O, ctPrimaryKey, "PK_P", "P", {"ID"});
    pk->IndexName = "IX_P_ID";
    pk->DescIndex = true;
    AddKey(O, ctUnique, "UQ_P_CODE", "P", {"CODE"});
    AddKey(O, ctPrimaryKey, "PK_C", "C", {"ID"});
    TCtrData* fk = AddKey(O, ctForeignKey, "FK_C_P", "C", {"PID"});
    fk->RefTableName = "P";
    fk->AddRefField("ID");
    RegisterDependency(&O, fk, pk);
    TCtrData* fk2 = AddKey(O, ctForeignKey, "FK_C2", "C", {"PID2"});
    fk2->RefTableName = "P";
    fk2->AddRefField("ID");
    fk2->UpdateRule = raCascade;
    fk2->DeleteRule = raSetNull;
    RegisterDependency(&O, fk2, pk);
    TCtrData* chk = AddKey(O, ctCheck, "CHK_C", "C", {});
    chk->SetSource("(ID > 1)");

    AddIndex(O, "IDX_FLAG", "P", {"NAME"})->Active = false;
    AddIndex(O, "IDX_CHANGED", "P", {"NAME", "CODE"});
    TIdxData* n = AddIndex(O, "IDX_NEW", "C", {"PID2"});
    n->IsDescending = true;
    n->Active = false;
}

void BuildKeysTarget(TObjs& O) {
    TTblData* p = AddTable(O, "P");
    AddCol(p, "ID", dtInteger).Nullable = false;
    AddCol(p, "CODE", dtInteger).Nullable = false;
    AddCol(p, "NAME", dtVarChar, 20);
    TTblData* c = AddTable(O, "C");
    AddCol(c, "ID", dtInteger).Nullable = false;
    AddCol(c, "PID", dtInteger);
    AddCol(c, "PID2", dtInteger);
    TCtrData* pk = AddKey(O, ctPrimaryKey, "", "P", {"ID"});  // its server name is not known
    AddKey(O, ctPrimaryKey, "PK_C", "C", {"ID"});
    TCtrData* fk = AddKey(O, ctForeignKey, "FK_C_P", "C", {"PID"});
    fk->RefTableName = "P";
    fk->AddRefField("ID");
    RegisterDependency(&O, fk, pk);
    AddKey(O, ctCheck, "CHK_C", "C", {})->SetSource("(ID > 0)");
    AddIndex(O, "IDX_FLAG", "P", {"NAME"});
    AddIndex(O, "IDX_CHANGED", "P", {"NAME"});
    AddIndex(O, "IDX_OLD", "P", {"CODE"});
}

const char* const KeysTargetDdl = "CREATE TABLE P (ID INTEGER NOT NULL, CODE INTEGER NOT NULL, NAME VARCHAR(20), "
                                  "PRIMARY KEY (ID));\n"
                                  "CREATE TABLE C (ID INTEGER NOT NULL, PID INTEGER, PID2 INTEGER, "
                                  "CONSTRAINT PK_C PRIMARY KEY (ID), "
                                  "CONSTRAINT FK_C_P FOREIGN KEY (PID) REFERENCES P (ID), "
                                  "CONSTRAINT CHK_C CHECK (ID > 0));\n"
                                  "CREATE INDEX IDX_FLAG ON P (NAME);\n"
                                  "CREATE INDEX IDX_CHANGED ON P (NAME);\n"
                                  "CREATE INDEX IDX_OLD ON P (CODE);\n"
                                  "COMMIT;\n"
                                  "INSERT INTO P VALUES (1, 10, 'one');\n"
                                  "INSERT INTO C VALUES (5, 1, NULL);\n"
                                  "COMMIT;\n";

const char* const KeysMasterDdl = "CREATE TABLE P (ID INTEGER NOT NULL, CODE INTEGER NOT NULL, NAME VARCHAR(20));\n"
                                  "CREATE TABLE C (ID INTEGER NOT NULL, PID INTEGER, PID2 INTEGER);\n"
                                  "ALTER TABLE P ADD CONSTRAINT PK_P PRIMARY KEY (ID) USING DESC INDEX IX_P_ID;\n"
                                  "ALTER TABLE P ADD CONSTRAINT UQ_P_CODE UNIQUE (CODE);\n"
                                  "ALTER TABLE C ADD CONSTRAINT PK_C PRIMARY KEY (ID);\n"
                                  "ALTER TABLE C ADD CONSTRAINT FK_C_P FOREIGN KEY (PID) REFERENCES P (ID);\n"
                                  "ALTER TABLE C ADD CONSTRAINT FK_C2 FOREIGN KEY (PID2) REFERENCES P (ID) "
                                  "ON UPDATE CASCADE ON DELETE SET NULL;\n"
                                  "ALTER TABLE C ADD CONSTRAINT CHK_C CHECK(ID > 1);\n"
                                  "CREATE INDEX IDX_FLAG ON P (NAME);\n"
                                  "ALTER INDEX IDX_FLAG INACTIVE;\n"
                                  "CREATE INDEX IDX_CHANGED ON P (NAME, CODE);\n"
                                  "CREATE DESC INDEX IDX_NEW ON C (PID2);\n"
                                  "ALTER INDEX IDX_NEW INACTIVE;\n"
                                  "COMMIT;\n";

} // namespace

TEST(FirebirdKeys, KeysAndIndicesEndAsInTheMasterAndReferencingKeysGoFirst) {
    TempDatabase db(KeysTargetDdl);
    TempDatabase reference(KeysMasterDdl);
    Comparison cmp;
    BuildKeysMaster(cmp.M());
    BuildKeysTarget(cmp.T());
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();

    // The unchanged foreign key is dropped before the key it references, and comes back.
    const size_t dropFk = At(s, "ALTER TABLE C DROP CONSTRAINT FK_C_P;");
    const size_t dropPk = At(s, "EXECUTE BLOCK AS");
    EXPECT_LT(dropFk, dropPk);
    At(s, "ALTER TABLE C DROP CONSTRAINT CHK_C;");
    At(s, "ALTER TABLE P ADD CONSTRAINT PK_P PRIMARY KEY (ID)\r\nUSING DESC INDEX IX_P_ID;");
    At(s, "ALTER TABLE C ADD CONSTRAINT FK_C_P FOREIGN KEY (PID) REFERENCES P (ID);");
    At(s, "ALTER TABLE C ADD CONSTRAINT FK_C2 FOREIGN KEY (PID2) REFERENCES P (ID) ON UPDATE CASCADE ON DELETE SET "
          "NULL;");
    At(s, "ALTER TABLE C ADD CONSTRAINT CHK_C CHECK(ID > 1);");
    // Only the active flag differs: one ALTER INDEX, no drop or create of IDX_FLAG.
    At(s, "/* Alter index (Drop, Create)... */");
    At(s, "ALTER INDEX IDX_FLAG INACTIVE;");
    EXPECT_EQ(s.find("CREATE INDEX IDX_FLAG"), std::string::npos);
    EXPECT_EQ(s.find("DROP INDEX IDX_FLAG"), std::string::npos);
    const size_t createNew = At(s, "CREATE DESC INDEX IDX_NEW ON C(PID2);");
    EXPECT_LT(createNew, At(s, "ALTER INDEX IDX_NEW INACTIVE;"));
    At(s, "DROP INDEX IDX_OLD;");
    At(s, "CREATE INDEX IDX_CHANGED ON P(NAME, CODE);");

    // The rows survive, and the keys work: a duplicate code is refused.
    ASSERT_EQ(RunSql(db, "SELECT '<<' || P.NAME || '|' || C.ID || '>>' FROM C JOIN P ON P.ID = C.PID;\n", out), 0)
        << out;
    EXPECT_EQ(Marked(out), std::vector<std::string>{"one|5"});
    EXPECT_NE(RunSql(db, "INSERT INTO P VALUES (2, 10, 'two');\n", out), 0);

    // isql's extract leaves out the active flag: the catalogue tells it.
    ASSERT_EQ(RunSql(db,
                     "SELECT '<<' || TRIM(RDB$INDEX_NAME) || '|' || COALESCE(RDB$INDEX_INACTIVE, 0) || '>>' "
                     "FROM RDB$INDICES WHERE RDB$INDEX_NAME STARTING WITH 'IDX_' ORDER BY 1;\n",
                     out),
              0)
        << out;
    EXPECT_EQ(Marked(out), (std::vector<std::string>{"IDX_CHANGED|0", "IDX_FLAG|1", "IDX_NEW|1"}));
    EXPECT_EQ(ExtractSchema(db.Path()), ExtractSchema(reference.Path()));

    ExpectMasterComparesClean(BuildKeysMaster);
}

namespace {

// The constraints of table C, each as "type columns > referenced table.column" or
// "type source" (line breaks shown as '|').
std::vector<std::string> ConstraintsOfC(const TempDatabase& Db) {
    const char* segment = "(SELECT TRIM(S.RDB$FIELD_NAME) FROM RDB$INDEX_SEGMENTS S WHERE S.RDB$INDEX_NAME = ";
    return QueryRows(
        Db, std::string("SELECT '<<' || TRIM(RC.RDB$CONSTRAINT_TYPE)") + " || COALESCE(' ' || " + segment +
                "RC.RDB$INDEX_NAME AND S.RDB$FIELD_POSITION = 0), '')" + " || COALESCE(',' || " + segment +
                "RC.RDB$INDEX_NAME AND S.RDB$FIELD_POSITION = 1), '')" +
                " || COALESCE(' > ' || (SELECT TRIM(P.RDB$RELATION_NAME) || '.' || " + segment +
                "P.RDB$INDEX_NAME AND S.RDB$FIELD_POSITION = 0) FROM RDB$REF_CONSTRAINTS R "
                "JOIN RDB$RELATION_CONSTRAINTS P ON P.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ "
                "WHERE R.RDB$CONSTRAINT_NAME = RC.RDB$CONSTRAINT_NAME), '')"
                " || COALESCE(' ' || (SELECT FIRST 1 REPLACE(CAST(G.RDB$TRIGGER_SOURCE AS VARCHAR(200)), "
                "ASCII_CHAR(10), '|') FROM RDB$CHECK_CONSTRAINTS K JOIN RDB$TRIGGERS G "
                "ON G.RDB$TRIGGER_NAME = K.RDB$TRIGGER_NAME WHERE K.RDB$CONSTRAINT_NAME = RC.RDB$CONSTRAINT_NAME), '')"
                " || '>>' FROM RDB$RELATION_CONSTRAINTS RC WHERE RC.RDB$RELATION_NAME = 'C' "
                "AND RC.RDB$CONSTRAINT_TYPE <> 'NOT NULL' ORDER BY 1");
}

} // namespace

// A script target knows no server-made names: each unnamed key or check is found by what it
// is, and only that one is dropped; one that is not there drops nothing.
TEST(FirebirdKeys, UnnamedKeysAndChecksAreDroppedByWhatTheyAre) {
    TempDatabase db("CREATE TABLE P1 (ID INTEGER NOT NULL PRIMARY KEY, CODE INTEGER NOT NULL UNIQUE);\n"
                    "CREATE TABLE P2 (ID INTEGER NOT NULL PRIMARY KEY);\n"
                    "CREATE TABLE C (A INTEGER NOT NULL, B INTEGER NOT NULL,\n"
                    "  FOREIGN KEY (A) REFERENCES P1 (ID), FOREIGN KEY (A) REFERENCES P2,\n"
                    "  FOREIGN KEY (A) REFERENCES P1 (CODE), UNIQUE (A, B), UNIQUE (B),\n"
                    "  CHECK (A > 0), CHECK (B >\n     0));\n");
    std::vector<std::string> left = {"CHECK CHECK (A > 0)", "CHECK CHECK (B >|     0)", "FOREIGN KEY A > P1.CODE",
                                     "FOREIGN KEY A > P1.ID",  "FOREIGN KEY A > P2.ID",     "UNIQUE A,B",
                                     "UNIQUE B"};
    ASSERT_EQ(ConstraintsOfC(db), left);
    struct Case {
        uint8_t Type;
        std::vector<std::string> Fields;
        const char* RefTable;
        std::vector<std::string> RefFields;
        const char* Source;
        const char* Gone;  // empty: nothing is dropped
    };
    const Case cases[] = {
        {ctForeignKey, {"A"}, "P2", {}, "", "FOREIGN KEY A > P2.ID"},
        {ctForeignKey, {"A"}, "P1", {"CODE"}, "", "FOREIGN KEY A > P1.CODE"},
        {ctUnique, {"B", "A"}, "", {}, "", ""},  // the columns in another order
        {ctUnique, {"B"}, "", {}, "", "UNIQUE B"},
        {ctCheck, {}, "", {}, "(B > 0)", "CHECK CHECK (B >|     0)"},  // written with other white space
        {ctCheck, {}, "", {}, "(A > 1)", ""},
        {ctForeignKey, {"A"}, "P2", {"ID"}, "", ""},  // gone already
        {ctForeignKey, {"A"}, "P1", {}, "", "FOREIGN KEY A > P1.ID"},
    };
    Comparison cmp;
    for (const Case& c : cases) {
        // Not filed: several share the key text of their columns before the rest is set.
        auto k = std::make_unique<TCtrData>(&cmp.T());
        k->SetConstraintType(c.Type);
        k->SetTableName("C");
        for (const std::string& f : c.Fields) k->AddField(f);
        k->SetRefTableName(c.RefTable);
        for (const std::string& f : c.RefFields) k->AddRefField(f);
        k->SetSource(c.Source);
        const std::string drop = k->GetDropSQL();
        SCOPED_TRACE(drop);
        ASSERT_TRUE(drop.starts_with("EXECUTE BLOCK"));
        std::string out;
        ASSERT_EQ(RunSql(db, "SET TERM ^;\n" + drop + "^\nSET TERM ;^\nCOMMIT;\n", out), 0) << out;
        if (*c.Gone) std::erase(left, std::string(c.Gone));
        EXPECT_EQ(ConstraintsOfC(db), left);
    }
}

namespace {

void BuildTemporaryMaster(TObjs& O, bool Temporary) {
    TTblData* g = AddTable(O, "G");
    g->GlobalTemporary = Temporary;
    g->OnCommit = Temporary ? 2 : 0;
    AddCol(g, "ID", dtInteger).Nullable = false;
    AddCol(g, "V", dtVarChar, 10);
    RegisterDependency(&O, AddKey(O, ctPrimaryKey, "PK_G", "G", {"ID"}), g);
    AddIndex(O, "IDX_G_V", "G", {"V"});
}

} // namespace

TEST(FirebirdTables, TableTurnedGlobalTemporaryIsReplacedWithItsKeysAndIndicesAndAWarning) {
    TempDatabase db("CREATE TABLE G (ID INTEGER NOT NULL, V VARCHAR(10), CONSTRAINT PK_G PRIMARY KEY (ID));\n"
                    "CREATE INDEX IDX_G_V ON G (V);\nCOMMIT;\nINSERT INTO G VALUES (1, 'x');\nCOMMIT;\n");
    TempDatabase reference("CREATE GLOBAL TEMPORARY TABLE G (ID INTEGER NOT NULL, V VARCHAR(10), "
                           "CONSTRAINT PK_G PRIMARY KEY (ID)) ON COMMIT PRESERVE ROWS;\n"
                           "CREATE INDEX IDX_G_V ON G (V);\nCOMMIT;\n");
    Comparison cmp;
    BuildTemporaryMaster(cmp.M(), true);
    BuildTemporaryMaster(cmp.T(), false);
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();

    const size_t warning = At(s, "/* WARNING: table G is dropped and created again; the data of the table is lost */");
    const size_t dropIndex = At(s, "DROP INDEX IDX_G_V;");
    const size_t dropKey = At(s, "ALTER TABLE G DROP CONSTRAINT PK_G;");
    const size_t drop = At(s, "DROP TABLE G;");
    const size_t create = At(s, "CREATE GLOBAL TEMPORARY TABLE G(ID INTEGER NOT NULL,\r\nV VARCHAR(10))\r\n ON COMMIT "
                                "PRESERVE ROWS;");
    const size_t index = At(s, "CREATE INDEX IDX_G_V ON G(V);");
    const size_t key = At(s, "ALTER TABLE G ADD CONSTRAINT PK_G PRIMARY KEY (ID);");
    EXPECT_LT(warning, dropIndex);
    EXPECT_LT(dropIndex, drop);
    EXPECT_LT(dropKey, drop);
    EXPECT_LT(drop, create);
    EXPECT_LT(create, index);
    EXPECT_LT(create, key);
    EXPECT_EQ(ExtractSchema(db.Path()), ExtractSchema(reference.Path()));

    ExpectMasterComparesClean([](TObjs& O) { BuildTemporaryMaster(O, true); });
}
