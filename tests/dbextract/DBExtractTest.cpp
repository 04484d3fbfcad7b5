// The database extractor on real Firebird 3 databases: what it reads must be what the DDL reader
// makes of isql's extract of the same database, object by object; and the driver's own
// contract: preconditions, progress, the server's facts, failures and abort.
#include "fixtures/LiveSide.h"

#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"
#include "interbase/IbReader.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Tbl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qnl {
namespace {

using test::LiveSide;
using test::TempDatabase;

// Names that hold quotes, defaults stored the way they were typed, and an owner other than
// SYSDBA: run as ALICE on a database SYSDBA created.
const char* const QuotedNamesScript = R"(
CREATE DOMAIN "D'Q" AS INTEGER DEFAULT
  5 CHECK (VALUE > 0);
CREATE TABLE "T'Q" (
  "ID'" INTEGER NOT NULL,
  V VARCHAR(10) default/*c*/'x',
  W "D'Q",
  Z INTEGER DEFAULT
    7,
  CONSTRAINT "PK'1" PRIMARY KEY ("ID'"),
  CONSTRAINT "UQ'1" UNIQUE (V) USING DESC INDEX "IX'U");
CREATE TABLE "R'Q" (
  ID INTEGER,
  REF INTEGER,
  CONSTRAINT "FK'1" FOREIGN KEY (REF) REFERENCES "T'Q" ("ID'") ON DELETE CASCADE,
  CONSTRAINT "CK'1" CHECK (ID > 0),
  CONSTRAINT "UQ'2" UNIQUE (ID, REF));
CREATE DESC INDEX "IX'Q" ON "R'Q" (ID, REF);
COMMENT ON TABLE "T'Q" IS 'Quoted';
COMMENT ON COLUMN "T'Q".V IS 'With a default';
CREATE SEQUENCE "S'Q" START WITH 3 INCREMENT BY 2;
CREATE EXCEPTION "E'Q" 'It''s wrong';
CREATE VIEW "V'Q" AS SELECT "ID'", V FROM "T'Q";
SET TERM ^ ;
CREATE FUNCTION "IT'S" (X INTEGER = 2) RETURNS INTEGER DETERMINISTIC AS
BEGIN
  RETURN X * 2;
END^
CREATE PROCEDURE "P'Q" (A "D'Q" = 3) RETURNS (B INTEGER) AS
BEGIN
  B = NEXT VALUE FOR "S'Q";
  IF (A < 0) THEN EXCEPTION "E'Q";
  SUSPEND;
END^
CREATE TRIGGER "TR'Q" FOR "T'Q" BEFORE INSERT AS
BEGIN
  NEW.Z = "IT'S"(NEW.Z);
END^
SET TERM ; ^
GRANT SELECT ON "T'Q" TO USER BOB;
GRANT EXECUTE ON PROCEDURE "P'Q" TO USER BOB;
GRANT USAGE ON SEQUENCE "S'Q" TO USER BOB;
COMMIT;
)";

// The database read through the binding must be what the DDL reader reads from isql's extract
// of it; every object compared, every difference named.
void ExpectDatabaseReadsAsItsExtract(const TempDatabase& Db, const std::string& Name,
                                     const std::vector<TObjListKind>& Lists, const std::string& User = "SYSDBA") {
    SCOPED_TRACE(Name);
    LiveSide side(Db.Path(), User);
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    EXPECT_EQ(side.ErrorText(), "");
    TObjs script;
    script.IBServerOptions.SetDBCharSet(side.Objs().IBServerOptions.DBCharSet());
    EXPECT_EQ(test::ReadWholeScript(script, test::ExtractSchema(Db.Path()), Name + " extracted by isql"), "");
    // isql's extract writes no USING INDEX for a foreign key (it does for primary and unique
    // keys), so its script cannot hold one: those are checked against the catalogue instead and
    // left out of the comparison.
    std::vector<std::string> foreignKeyIndices;
    const TDbObjList& constraints = side.Objs().List(olConstraints);
    for (int i = 0; i < constraints.Count(); ++i) {
        auto* ctr = dynamic_cast<TCtrData*>(constraints.Obj(i));
        if (!ctr || ctr->ConstraintType != ctForeignKey || ctr->IndexName.empty()) continue;
        foreignKeyIndices.push_back((ctr->Name.empty() ? ctr->SystemName() : ctr->Name) + "|" + ctr->IndexName + "|" +
                                    (ctr->DescIndex ? "1" : "0"));
        ctr->IndexName.clear();
        ctr->DescIndex = false;
    }
    std::sort(foreignKeyIndices.begin(), foreignKeyIndices.end());
    EXPECT_EQ(foreignKeyIndices,
              test::QueryRows(Db, "SELECT '<<' || TRIM(C.RDB$CONSTRAINT_NAME) || '|' || TRIM(C.RDB$INDEX_NAME) || '|' || "
                                  "COALESCE(I.RDB$INDEX_TYPE, 0) || '>>' FROM RDB$RELATION_CONSTRAINTS C JOIN RDB$INDICES I "
                                  "ON I.RDB$INDEX_NAME = C.RDB$INDEX_NAME WHERE C.RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' "
                                  "AND C.RDB$INDEX_NAME NOT STARTING WITH 'RDB$' AND (C.RDB$INDEX_NAME <> "
                                  "C.RDB$CONSTRAINT_NAME OR I.RDB$INDEX_TYPE = 1) ORDER BY 1"));
    // A role's owner is a comment in isql's extract, which no script reader takes in: checked
    // against the catalogue and left out of the comparison.
    std::vector<std::string> roleOwners;
    const TDbObjList& roles = side.Objs().List(olRoles);
    for (int i = 0; i < roles.Count(); ++i)
        if (auto* role = dynamic_cast<TRolData*>(roles.Obj(i))) {
            roleOwners.push_back(role->Name + "|" + role->Owner);
            role->Owner.clear();
        }
    EXPECT_EQ(roleOwners, test::QueryRows(Db, "SELECT '<<' || TRIM(RDB$ROLE_NAME) || '|' || TRIM(RDB$OWNER_NAME) || '>>' "
                                              "FROM RDB$ROLES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1"));
    const auto read = test::ObjectTexts(side.Objs(), Lists);
    EXPECT_FALSE(read.empty());
    EXPECT_EQ(test::ObjectsDiff(read, test::ObjectTexts(script, Lists)), "");
}

const std::vector<TObjListKind> TableLists = {olDomains, olTables, olIndices, olConstraints};

TEST(DBExtract, EmployeeReadsAsItsIsqlExtract) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    const std::string script = test::EmployeeScript(why);
    if (script.empty()) GTEST_SKIP() << why;
    const TempDatabase db(test::CompleteScript{script});
    ExpectDatabaseReadsAsItsExtract(db, "employee", test::FirebirdLists());
}

TEST(DBExtract, Firebird3FeaturesReadAsTheirIsqlExtract) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db(test::CompleteScript{test::FixtureScript("fb3_features.sql")});
    ExpectDatabaseReadsAsItsExtract(db, "fb3_features", test::FirebirdLists());
}

// Firebird 3 keeps no source for an external-engine routine, only its external name and engine;
// isql writes them, and so must the reader (a function of a library module is something else).
TEST(DBExtract, ExternalEngineRoutinesReadAsTheirIsqlExtract) {
    const test::UdrEngine udr;
    const TempDatabase db(test::CompleteScript{test::FixtureScript("fb3_external.sql")});
    ExpectDatabaseReadsAsItsExtract(db, "fb3_external", test::FirebirdLists());
}

TEST(DBExtract, QuotedNamesAndTypedDefaultsOfAnotherOwnerRead) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("", "UTF8");
    std::string out;
    ASSERT_EQ(test::RunSql(db, "GRANT CREATE DOMAIN TO USER ALICE;\nGRANT CREATE TABLE TO USER ALICE;\n"
                            "GRANT CREATE VIEW TO USER ALICE;\nGRANT CREATE SEQUENCE TO USER ALICE;\n"
                            "GRANT CREATE EXCEPTION TO USER ALICE;\nGRANT CREATE FUNCTION TO USER ALICE;\n"
                            "GRANT CREATE PROCEDURE TO USER ALICE;\n", out), 0) << out;
    ASSERT_EQ(test::RunIsqlScript(db.Dir(), "-q -b -user ALICE '" + db.Path() + "'", QuotedNamesScript, out), 0) << out;
    ExpectDatabaseReadsAsItsExtract(db, "quoted names", test::FirebirdLists(), "ALICE");

    // The keys named with quotes were read (their segment queries take the name as a parameter),
    // and the defaults lost their keyword whatever followed it.
    LiveSide side(db.Path());
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    auto* unique = dynamic_cast<TCtrData*>(side.Objs().List(olConstraints).FindObj("UQ'1"));
    ASSERT_NE(unique, nullptr);
    EXPECT_EQ(unique->Fields.Text(), "V\r\n");
    EXPECT_EQ(unique->IndexName, "IX'U");
    EXPECT_TRUE(unique->DescIndex);
    auto* table = dynamic_cast<TTblData*>(side.Objs().FindTable("T'Q"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->ColumnByName("V")->DefaultValue, "'x'");
    EXPECT_EQ(table->ColumnByName("Z")->DefaultValue, "7");
    auto* domain = dynamic_cast<TDmnData*>(side.Objs().FindDomain("D'Q"));
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(domain->TypeField->DefaultValue, "5");
    EXPECT_EQ(domain->TypeField->Rare().CheckSource, "(VALUE > 0)");
}

// Firebird's own record of what depends on what: every row of RDB$DEPENDENCIES between user
// objects must be a dependency of the structure read from the database (on the column itself
// where the row names one), or the update script could drop or change something in use.
const char* const DependencyRows =
    // A routine of a package is reached through its package.
    "SELECT '<<' || TRIM(D.RDB$DEPENDENT_NAME) || '|' || D.RDB$DEPENDENT_TYPE || '|' || "
    "COALESCE(TRIM(D.RDB$PACKAGE_NAME), TRIM(D.RDB$DEPENDED_ON_NAME)) || '|' || "
    "IIF(D.RDB$PACKAGE_NAME IS NULL, D.RDB$DEPENDED_ON_TYPE, 18) || '|' || COALESCE(TRIM(D.RDB$FIELD_NAME), '') || '|' || "
    "COALESCE((SELECT TRIM(C.RDB$CONSTRAINT_NAME) FROM RDB$CHECK_CONSTRAINTS C WHERE C.RDB$TRIGGER_NAME = "
    "D.RDB$DEPENDENT_NAME ROWS 1), '') || '>>' FROM RDB$DEPENDENCIES D "
    "WHERE D.RDB$DEPENDED_ON_NAME NOT STARTING WITH 'RDB$' AND D.RDB$DEPENDED_ON_NAME NOT STARTING WITH 'MON$' "
    "AND D.RDB$DEPENDED_ON_NAME NOT STARTING WITH 'SEC$' AND D.RDB$DEPENDED_ON_TYPE <> 9 "
    // Character sets and the collations that come with the server are no objects of a schema.
    "AND NOT (D.RDB$DEPENDED_ON_TYPE = 17 AND NOT EXISTS (SELECT 1 FROM RDB$COLLATIONS C WHERE "
    "C.RDB$COLLATION_NAME = D.RDB$DEPENDED_ON_NAME AND COALESCE(C.RDB$SYSTEM_FLAG, 0) = 0)) "
    // The triggers the server makes for a view's WITH CHECK OPTION are part of the view, whose
    // own rows name the same columns.
    "AND NOT EXISTS (SELECT 1 FROM RDB$TRIGGERS T JOIN RDB$RELATIONS R ON R.RDB$RELATION_NAME = T.RDB$RELATION_NAME "
    "WHERE D.RDB$DEPENDENT_TYPE = 2 AND T.RDB$TRIGGER_NAME = D.RDB$DEPENDENT_NAME AND R.RDB$VIEW_BLR IS NOT NULL "
    "AND T.RDB$TRIGGER_SOURCE IS NULL) "
    // A package body needs its own header, which the package object holds.
    "AND NOT (D.RDB$DEPENDENT_TYPE = 19 AND COALESCE(D.RDB$PACKAGE_NAME, '') = D.RDB$DEPENDENT_NAME) "
    // A recursive routine needs nothing but itself.
    "AND NOT (D.RDB$DEPENDENT_NAME = D.RDB$DEPENDED_ON_NAME AND D.RDB$DEPENDENT_TYPE = D.RDB$DEPENDED_ON_TYPE) "
    "ORDER BY 1";

// The object of the structure a catalogue row names: by its RDB$DEPENDENT_TYPE or
// RDB$DEPENDED_ON_TYPE code.
TDbObj* CatalogueObject(TObjs& Objs, int Type, const std::string& Name, const std::string& CheckName) {
    switch (Type) {
    case 0: return Objs.FindTable(Name);
    case 1: return Objs.FindView(Name);
    case 2:
        if (!CheckName.empty()) {
            const TDbObjList& list = Objs.List(olConstraints);
            for (int i = 0; i < list.Count(); ++i)
                if (list.Obj(i)->Name == CheckName || list.Obj(i)->SystemName() == CheckName) return list.Obj(i);
            return nullptr;
        }
        return Objs.FindTrigger(Name);
    case 3: {
        // A computed column: the row names its field source.
        const TDbObjList& tables = Objs.List(olTables);
        for (int t = 0; t < tables.Count(); ++t)
            for (int c = 0; c < tables.Obj(t)->GetColumnCount(); ++c)
                if (tables.Obj(t)->GetColumn(c)->SystemName() == Name) return tables.Obj(t)->GetColumn(c);
        return nullptr;
    }
    case 5: case 15:
        if (TDbObj* r = Objs.FindProcedure(Name)) return r;
        return Objs.FindUDF(Name);
    case 6: case 10: return Objs.FindIndex(Name);
    case 7: return Objs.FindException(Name);
    case 14: return Objs.FindGenerator(Name);
    case 17: return Objs.List(olCollations).FindObj(Name);
    case 18: case 19: return Objs.FindPackage(Name);
    default: return nullptr;
    }
}

// True when Obj (or, for a table or view, one of its columns) depends on Other, on its column
// Field when one is named.
bool DependsOn(TDbObj& Obj, TDbObj& Other, const std::string& Field) {
    // A field of a routine is one of its parameters; the dependency is on the routine.
    const bool onColumn = !Field.empty() && (Other.Kind == dboTable || Other.Kind == dboView);
    auto onTarget = [&](const TDbObj* Ref) {
        if (!onColumn) return Ref == &Other || Ref->GetOwner() == &Other;
        return Ref == Other.FindColumn(Field);
    };
    for (int i = 0; i < Obj.DependsOn.Count(); ++i)
        if (onTarget(Obj.DependsOn.Items(i)->Ref)) return true;
    return false;
}

std::string MissingDependencies(const TempDatabase& Db, TObjs& Objs) {
    std::string missing;
    for (const std::string& row : test::QueryRows(Db, DependencyRows)) {
        std::vector<std::string> f;
        for (size_t at = 0;;) {
            const size_t bar = row.find('|', at);
            f.push_back(row.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
            if (bar == std::string::npos) break;
            at = bar + 1;
        }
        if (f.size() != 6) return "unreadable row: " + row;
        TDbObj* dependent = CatalogueObject(Objs, std::stoi(f[1]), f[0], f[5]);
        TDbObj* used = CatalogueObject(Objs, std::stoi(f[3]), f[2], {});
        if (!dependent || !used || !DependsOn(*dependent, *used, f[4])) missing += row + "\n";
    }
    return missing;
}

// A package body read from a database: what its member routines use is the package's.
const char* const PackageBodyScript = R"(
CREATE TABLE ORDERS (ORDER_NO INTEGER, PRICE NUMERIC(9,2));
CREATE PROCEDURE LOG_IT (A INTEGER) AS BEGIN END;
CREATE SEQUENCE S_ORDER;
SET TERM ^ ;
CREATE PACKAGE PRICING AS
BEGIN
  FUNCTION NET (GROSS NUMERIC(9,2)) RETURNS NUMERIC(9,2);
  PROCEDURE REPRICE (ORDER_NO INTEGER);
END^
CREATE PACKAGE BODY PRICING AS
BEGIN
  FUNCTION NET (GROSS NUMERIC(9,2)) RETURNS NUMERIC(9,2) AS
  BEGIN
    RETURN GROSS * 0.8;
  END
  PROCEDURE REPRICE (ORDER_NO INTEGER) AS
    DECLARE N INTEGER;
  BEGIN
    UPDATE ORDERS SET PRICE = NET(PRICE) WHERE ORDER_NO = :ORDER_NO;
    N = NEXT VALUE FOR S_ORDER;
    EXECUTE PROCEDURE LOG_IT(N);
  END
END^
SET TERM ; ^
)";

TEST(DBExtract, EveryCatalogueDependencyIsInTheStructure) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    auto expectAllIn = [](const TempDatabase& Db, const std::string& Script) {
        LiveSide side(Db.Path());
        ASSERT_TRUE(side.Extract()) << side.ErrorText();
        EXPECT_EQ(side.ErrorText(), "");
        EXPECT_EQ(MissingDependencies(Db, side.Objs()), "") << Script.substr(0, 200);
    };
    for (const std::string& script : {employee, test::FixtureScript("fb3_features.sql")})
        if (!script.empty()) expectAllIn(TempDatabase(test::CompleteScript{script}), script);
    expectAllIn(TempDatabase(PackageBodyScript), PackageBodyScript);
}

TEST(DBExtract, CleanDefaultSourceTakesTheKeywordAsFirebirdStoresIt) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"DEFAULT 5", "5"},
        {"default\n  5", "5"},
        {"DEFAULT/*c*/'x'", "'x'"},
        {"Default'x'", "'x'"},
        {"DEFAULT(1)", "(1)"},
        {"DEFAULT -1", "-1"},
        {"= 5", "5"},
        {"=5", "5"},
        {"/* lead */ DEFAULT 'a /* b */'", "'a /* b */'"},
        {"DEFAULT 'x' -- note", "'x'"},
        {"DEFAULT -- c\n 4", "4"},
        {"DEFAULT -- c\r\n/* d */ '--' -- e", "'--'"},
        {"DEFAULTS", "DEFAULTS"},
        {"DEFAULT_VALUE", "DEFAULT_VALUE"},
        {"", ""},
    };
    for (const auto& [stored, bare] : cases) EXPECT_EQ(CleanDefaultSource(stored), bare) << stored;
}

TEST(DBExtract, ServerVersionComesFromTheServersFacts) {
    auto facts = [](const char* Text, int Major, int Minor) {
        auto f = std::make_unique<TIBDatabaseOptions>();
        f->ServerVersion = Text;
        f->ODSMajor = Major;
        f->ODSMinor = Minor;
        return f;
    };
    EXPECT_EQ(ServerVersionFromFacts(*facts("LI-V3.0.11.33703 Firebird 3.0", 12, 0), st_Firebird_25), st_Firebird_30);
    EXPECT_EQ(ServerVersionFromFacts(*facts("WI-V2.5.9.27139 Firebird 2.5", 11, 2), st_Firebird_30), st_Firebird_25);
    EXPECT_EQ(ServerVersionFromFacts(*facts("LI-V4.0.2 Firebird 4.0", 13, 0), st_Firebird_25), st_Firebird_40);
    EXPECT_EQ(ServerVersionFromFacts(*facts("", 12, 0), st_Firebird_25), st_Firebird_30);
    EXPECT_EQ(ServerVersionFromFacts(*facts("WI-V2020 InterBase", 16, 0), st_InterBase_2020), st_InterBase_2020);
    EXPECT_EQ(ServerVersionFromFacts(*facts("", 0, 0), st_Firebird_21), st_Firebird_21);
}

// The run on a real database: the structure takes the server's version (so the body parser's
// Firebird 3 forms open) and character set, the probe finds Firebird 3's catalogue, progress
// never passes its maximum, and the connection is closed afterwards.
TEST(DBExtract, RunTakesTheServersFactsAndReportsProgressWithinItsMaximum) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);\n", "WIN1252");
    LiveSide side(db.Path());
    side.Objs().IBServerOptions.SQLServerVersion = st_Firebird_25;
    std::vector<std::pair<int, int>> progress;
    std::vector<std::string> steps;
    side.Extractor.OnProgressUpdate = [&](TObject*, int Value, int Max) { progress.emplace_back(Value, Max); };
    side.Extractor.OnProgressStep = [&](TObject*, int Level, const std::string& Caption, int, int) {
        if (Level == 0) steps.push_back(Caption);
    };
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    EXPECT_EQ(side.Objs().IBServerOptions.SQLServerVersion, st_Firebird_30);
    EXPECT_EQ(side.Objs().IBServerOptions.DBCharSet(), "WIN1252");
    EXPECT_EQ(side.Objs().IBServerOptions.IBDatabaseOptions.ODSMajor, 12);
    EXPECT_EQ(side.Objs().SourceKind, 1);
    EXPECT_TRUE(side.Extractor.HasIdentityType && side.Extractor.HasPackages && side.Extractor.HasFunctionOwner &&
                side.Extractor.HasGeneratorInitialValue && side.Extractor.HasDeterministicFlag);
    EXPECT_FALSE(side.Connection.GetConnected());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), std::make_pair(0, 17));
    EXPECT_EQ(progress.back(), std::make_pair(17, 17));
    for (const auto& [value, max] : progress) EXPECT_LE(value, max);
    ASSERT_EQ(steps.size(), 19u);
    EXPECT_EQ(steps.front(), "Starting");
    EXPECT_EQ(steps[17], "Parsing bodies");
    EXPECT_EQ(steps.back(), "Finished");
    ASSERT_NE(side.Objs().FindTable("T"), nullptr);
}

// With no kind to extract the run still probes and parses, and answers True.
TEST(DBExtract, NoKindsReadsNothingButSucceeds) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER);\n");
    LiveSide side(db.Path());
    side.Extractor.ExtractObjects = TCmpObjSetType();
    EXPECT_TRUE(side.Extract()) << side.ErrorText();
    EXPECT_EQ(side.Objs().List(olTables).Count(), 0);
}

// An abort leaves a structure that misses objects: a comparison would drop them from the
// target. The run says it failed.
TEST(DBExtract, AbortAnswersFalse) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("CREATE TABLE T (ID INTEGER);\nCREATE TABLE U (ID INTEGER);\n");
    LiveSide side(db.Path());
    side.Extractor.OnProgressStep = [](TObject*, int Level, const std::string& Caption, int, int) {
        if (Level == 0 && Caption == "Views") AbortRequested = true;
    };
    const bool result = side.Extract();
    AbortRequested = false;
    EXPECT_FALSE(result);
    ASSERT_EQ(side.Errors.size(), 1u) << side.ErrorText();
    EXPECT_NE(side.Errors[0].find("aborted"), std::string::npos);
    EXPECT_TRUE(side.Extractor.GetMsgManager().HasErrors());
    EXPECT_FALSE(side.Connection.GetConnected());
    // And a run after it reads everything again.
    side.Extractor.OnProgressStep = nullptr;
    EXPECT_TRUE(side.Extract()) << side.ErrorText();
    EXPECT_EQ(side.Objs().List(olTables).Count(), 2);
}

TEST(DBExtract, PreconditionsAndAFailedConnectAnswerFalseWithTheirMessage) {
    test::PrepareFirebirdEnvironment();
    TDBStructure structure;
    TIBDBExtract x;
    std::vector<std::string> errors;
    x.OnErrorMessage = [&](TObject*, const std::string& Text) { errors.push_back(Text); };
    EXPECT_FALSE(x.ExtractDatabase());
    TQNLCustomConnection untyped;
    x.SetQNLConnection(&untyped);
    EXPECT_FALSE(x.ExtractDatabase());
    TFIBDatabase db;
    TQNLConnectionFIB connection;
    connection.SetDatabase(&db);
    x.SetQNLConnection(&connection);
    EXPECT_FALSE(x.ExtractDatabase());
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "TIBDBExtract.ExtractDatabase(): Connection property not assigned.",
                          "TIBDBExtract.ExtractDatabase(): ConnectionType in Connection not specified.",
                          "TIBDBExtract.ExtractDatabase(): DBStructure not assigned."}));

    // A database that is not there: the server's message, False, the connection closed, and the
    // structure emptied rather than left with another database's objects.
    test::TempDir dir;
    db.SetDBName(dir.File("missing.fdb"));
    db.ConnectParams().SetUserName("SYSDBA");
    x.SetDBStructure(&structure);
    auto* stale = new TTblData(structure.Objs());
    stale->SetName("STALE");
    structure.Objs()->AddDbObject(stale);
    errors.clear();
    std::vector<std::string> connectionErrors;
    connection.OnErrorMessage = [&](TObject*, const std::string& Text) { connectionErrors.push_back(Text); };
    EXPECT_FALSE(x.ExtractDatabase());
    EXPECT_FALSE(connection.GetConnected());
    ASSERT_FALSE(connectionErrors.empty());
    EXPECT_NE(connectionErrors[0].find("missing.fdb"), std::string::npos) << connectionErrors[0];
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(x.GetMsgManager().HasErrors());
    EXPECT_EQ(structure.Objs()->List(olTables).Count(), 0);
    x.SetQNLConnection(nullptr);
}

} // namespace
} // namespace qnl
