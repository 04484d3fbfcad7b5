// The database extractor's readers of routines, views, triggers, generators, exceptions and
// grants on what Firebird 3 stores and isql's extract cannot show: names with quotes, a package
// routine named like a standalone one, stored function arguments with their domains, defaults
// and collations, DDL triggers, and the grants of an owner other than SYSDBA.
#include "fixtures/LiveSide.h"

#include "fixtures/FbFixture.h"
#include "interbase/IBExReader.h"
#include "interbase/IbReader.h"

#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::LiveSide;
using test::TempDatabase;

// Run as ALICE on a database SYSDBA created.
const char* const RoutinesScript = R"(
CREATE DOMAIN D_QTY AS INTEGER CHECK (VALUE >= 0);
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, QTY D_QTY, NAME VARCHAR(20) CHARACTER SET ISO8859_1);
CREATE SEQUENCE "SEQ'S" START WITH 10 INCREMENT BY 5;
CREATE EXCEPTION "E'X" 'It''s wrong';
CREATE VIEW V AS SELECT ID, QTY FROM T;
SET TERM ^;
CREATE FUNCTION "IT'S" (A D_QTY, C TYPE OF COLUMN T.NAME NOT NULL,
    B VARCHAR(10) CHARACTER SET ISO8859_1 COLLATE PT_BR DEFAULT 'x') RETURNS NUMERIC(5,2) DETERMINISTIC AS
BEGIN
  RETURN A;
END^
CREATE PROCEDURE PLAIN (X INTEGER) AS BEGIN END^
CREATE PACKAGE PK AS
BEGIN
  PROCEDURE PLAIN (Y VARCHAR(5), Z DATE);
  FUNCTION "IT'S" (Q INTEGER) RETURNS INTEGER;
END^
CREATE PACKAGE BODY PK AS
BEGIN
  PROCEDURE PLAIN (Y VARCHAR(5), Z DATE) AS BEGIN END
  FUNCTION "IT'S" (Q INTEGER) RETURNS INTEGER AS BEGIN RETURN Q; END
END^
CREATE TRIGGER ON_ANY_DDL AFTER ANY DDL STATEMENT AS BEGIN END^
CREATE TRIGGER ON_CONNECT ON CONNECT AS BEGIN IF (0 = 1) THEN EXCEPTION "E'X"; END^
SET TERM ;^
GRANT USAGE ON SEQUENCE "SEQ'S" TO PUBLIC;
GRANT USAGE ON SEQUENCE "SEQ'S" TO PROCEDURE PLAIN;
GRANT USAGE ON EXCEPTION "E'X" TO FUNCTION "IT'S";
GRANT USAGE ON EXCEPTION "E'X" TO PACKAGE PK;
GRANT USAGE ON EXCEPTION "E'X" TO TRIGGER ON_CONNECT;
GRANT SELECT ON T TO TRIGGER ON_CONNECT;
GRANT EXECUTE ON FUNCTION "IT'S" TO PUBLIC;
COMMIT;
)";

TEST(DBExtractReaders, RoutinesTriggersAndGrantsOfAnotherOwnerReadAsTheirIsqlExtract) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db("", "UTF8");
    std::string out;
    ASSERT_EQ(test::RunSql(db,
                           "GRANT CREATE DOMAIN TO USER ALICE; GRANT CREATE TABLE TO USER ALICE; GRANT CREATE SEQUENCE "
                           "TO USER ALICE; GRANT CREATE EXCEPTION TO USER ALICE; GRANT CREATE VIEW TO USER ALICE; "
                           "GRANT CREATE FUNCTION TO USER ALICE; GRANT CREATE PROCEDURE TO USER ALICE; GRANT CREATE "
                           "PACKAGE TO USER ALICE; GRANT ALTER DATABASE TO USER ALICE; GRANT DROP ANY COLLATION TO PUBLIC "
                           "WITH GRANT OPTION; GRANT ALTER ANY SEQUENCE TO USER BOB GRANTED BY ALICE;\n",
                           out),
              0)
        << out;
    ASSERT_EQ(test::RunIsqlScript(db.Dir(), "-q -b -user ALICE '" + db.Path() + "'", RoutinesScript, out), 0) << out;
    LiveSide side(db.Path(), "ALICE");
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    EXPECT_EQ(side.ErrorText(), "");
    TObjs script;
    script.IBServerOptions.SetDBCharSet(side.Objs().IBServerOptions.DBCharSet());
    EXPECT_EQ(test::ReadWholeScript(script, test::ExtractSchema(db.Path()), "isql's extract"), "");
    const std::vector<TObjListKind> lists = {olProcedures, olPackages, olViews, olTriggers, olGenerators, olExceptions,
                                             olGrants};
    EXPECT_EQ(test::ObjectsDiff(test::ObjectTexts(side.Objs(), lists), test::ObjectTexts(script, lists)), "");

    // The stored function: its arguments' domain, collation, column type, NOT NULL and default,
    // its result's precision and DETERMINISTIC; not the arguments of the package's function.
    auto* function = dynamic_cast<TPrcData*>(side.Objs().FindProcedure("IT'S"));
    ASSERT_NE(function, nullptr);
    ASSERT_TRUE(function->IsFunction);
    ASSERT_EQ(function->InputCount(), 3);
    EXPECT_EQ(function->InputParam(0)->DomainName, "D_QTY");
    EXPECT_EQ(function->InputParam(1)->Rare().TypeOfTable, "T");
    EXPECT_EQ(function->InputParam(1)->Rare().TypeOfColumn, "NAME");
    EXPECT_FALSE(function->InputParam(1)->Nullable);
    EXPECT_EQ(function->InputParam(2)->CollationName, "PT_BR");
    EXPECT_EQ(function->InputParam(2)->DefaultValue, "'x'");
    ASSERT_EQ(function->OutputCount(), 1);
    EXPECT_TRUE(function->OutputParam(0)->Deterministic);
    EXPECT_EQ(function->OutputParam(0)->Precision, 5);
    auto* procedure = dynamic_cast<TPrcData*>(side.Objs().FindProcedure("PLAIN"));
    ASSERT_NE(procedure, nullptr);
    ASSERT_EQ(procedure->InputCount(), 1);
    EXPECT_EQ(procedure->InputParam(0)->Name, "X");

    auto* generator = dynamic_cast<TGnrData*>(side.Objs().FindGenerator("SEQ'S"));
    ASSERT_NE(generator, nullptr);
    EXPECT_EQ(generator->StartWith, "10");
    EXPECT_EQ(generator->IncrementBy, "5");

    auto* ddl = dynamic_cast<TTrgData*>(side.Objs().FindTrigger("ON_ANY_DDL"));
    ASSERT_NE(ddl, nullptr);
    EXPECT_TRUE(IsIBDDLTriggerType(ddl->TriggerType));
    EXPECT_GT(ddl->TriggerType, int64_t{0xFFFFFFFF});
    EXPECT_EQ(ddl->TableName, "DATABASE");
    EXPECT_EQ(ddl->Timing, tmAfter);

    // The view's columns rest on the table's column (its field source is the table's) and on the
    // domain (the column of the table is typed by it).
    TDbObj* view = side.Objs().FindView("V");
    TDbObj* table = side.Objs().FindTable("T");
    ASSERT_TRUE(view && table);
    const auto dependsOn = [&](const TDbObj* Other) {
        for (int i = 0; i < view->DependsOn.Count(); ++i)
            if (view->DependsOn.Items(i)->Ref == Other) return true;
        return false;
    };
    EXPECT_TRUE(dependsOn(table->FindColumn("ID")));
    EXPECT_TRUE(dependsOn(side.Objs().FindDomain("D_QTY")));

    // None of ALICE's own rows (on her objects and on the domains the server made) is a grant;
    // the DDL privileges she was given are, as the other two.
    const TDbObjList& grants = side.Objs().List(olGrants);
    int ddlGrants = 0;
    for (int i = 0; i < grants.Count(); ++i) {
        auto* g = dynamic_cast<TGntData*>(grants.Obj(i));
        ASSERT_NE(g, nullptr);
        if (!g->DdlPrivilege.empty()) {
            ++ddlGrants;
            continue;
        }
        EXPECT_NE(g->Grantee, "ALICE") << g->GetCreateSQL();
        EXPECT_NE(g->ObjectName.compare(0, 4, "RDB$"), 0) << g->GetCreateSQL();
    }
    EXPECT_EQ(grants.Count() - ddlGrants, 7);
    EXPECT_EQ(ddlGrants, 11);
    EXPECT_NE(grants.FindObj("GRANT ALTER ANY GENERATOR TO BOB GRANTED BY ALICE"), nullptr);
    EXPECT_NE(grants.FindObj("GRANT DROP ANY COLLATION TO PUBLIC WITH GRANT OPTION"), nullptr);
}

TEST(DBExtractReaders, ARoutineThatCannotBeReadFailsTheRun) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db(R"(
SET TERM ^;
CREATE FUNCTION TWIN RETURNS INTEGER AS BEGIN RETURN 1; END^
CREATE PROCEDURE TWIN AS BEGIN END^
CREATE FUNCTION LATER RETURNS INTEGER AS BEGIN RETURN 2; END^
SET TERM ;^
)",
                          "UTF8");
    // A function and a procedure of one name: the structure keeps one routine per name, so the
    // procedure is reported, never dropped without a word.
    {
        LiveSide side(db.Path());
        EXPECT_FALSE(side.Extract());
        EXPECT_NE(side.ErrorText().find("Procedure TWIN has the name of a function read before"), std::string::npos)
            << side.ErrorText();
        EXPECT_TRUE(side.Extractor.GetMsgManager().HasErrors());
        auto* twin = dynamic_cast<TPrcData*>(side.Objs().FindProcedure("TWIN"));
        ASSERT_NE(twin, nullptr);
        EXPECT_TRUE(twin->IsFunction);
    }
    // A function whose reading fails: the functions after it would be missing, so the run
    // says it failed.
    LiveSide side(db.Path());
    side.Extractor.ExtractObjects.Exclude(coProcedure);
    side.Extractor.OnAcceptObj = [](TObject*, const std::string& Name, TDbObject, bool& Accept) {
        if (Name == "LATER") throw std::runtime_error("cannot take LATER");
        Accept = true;
    };
    EXPECT_FALSE(side.Extract());
    EXPECT_NE(side.ErrorText().find("Extracting functions: cannot take LATER"), std::string::npos) << side.ErrorText();
    EXPECT_TRUE(side.Extractor.GetMsgManager().HasErrors());
}

// What the readers must not lose: a column's character set declared without COLLATE, a
// whole-table privilege next to a column privilege of the same grantee, and the domain of a
// routine's parameter, which the routine needs as long as it exists.
TEST(DBExtractReaders, CharacterSetsWithoutCollationGrantsNextToColumnGrantsAndParameterDomains) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db(R"(
CREATE DOMAIN D_ARG AS INTEGER;
CREATE TABLE T (A VARCHAR(10) CHARACTER SET WIN1252, B VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR,
    C VARCHAR(10) CHARACTER SET NONE, D VARCHAR(10));
SET TERM ^;
CREATE PROCEDURE P (X D_ARG) AS BEGIN END^
CREATE FUNCTION F RETURNS D_ARG AS BEGIN RETURN 1; END^
SET TERM ;^
GRANT UPDATE ON T TO U4;
GRANT UPDATE (A) ON T TO U4;
GRANT REFERENCES (A) ON T TO U5;
GRANT REFERENCES ON T TO U5;
COMMIT;
)",
                          "UTF8");
    LiveSide side(db.Path());
    ASSERT_TRUE(side.Extract()) << side.ErrorText();

    auto* t = dynamic_cast<TTblData*>(side.Objs().FindTable("T"));
    ASSERT_NE(t, nullptr);
    const struct {
        const char* Column;
        const char* CharSet;
        const char* Collation;
    } columns[] = {{"A", "WIN1252", ""}, {"B", "WIN1252", "WIN_PTBR"}, {"C", "NONE", ""}, {"D", "UTF8", ""}};
    for (const auto& c : columns) {
        const TFldData* f = t->ColumnByName(c.Column);
        ASSERT_NE(f, nullptr) << c.Column;
        EXPECT_EQ(f->GetCharSet(), c.CharSet) << c.Column;
        EXPECT_EQ(f->CollationName, c.Collation) << c.Column;
    }

    std::vector<std::string> grants;
    const TDbObjList& list = side.Objs().List(olGrants);
    for (int i = 0; i < list.Count(); ++i) grants.push_back(list.Obj(i)->GetCreateSQL());
    std::sort(grants.begin(), grants.end());
    EXPECT_EQ(grants, (std::vector<std::string>{"GRANT REFERENCES (A) ON T TO U5", "GRANT REFERENCES ON T TO U5",
                                                "GRANT UPDATE (A) ON T TO U4", "GRANT UPDATE ON T TO U4"}));

    TDbObj* domain = side.Objs().FindDomain("D_ARG");
    ASSERT_NE(domain, nullptr);
    for (const char* routine : {"P", "F"}) {
        TDbObj* r = side.Objs().FindProcedure(routine);
        ASSERT_NE(r, nullptr) << routine;
        bool uses = false;
        for (int i = 0; i < r->DependsOn.Count(); ++i) uses = uses || r->DependsOn.Items(i)->Ref == domain;
        EXPECT_TRUE(uses) << routine;
    }
}

// The script reader and the database reader record alike what expressions and bodies read: the
// columns of computed columns, checks and expression indices, array elements, and the domains
// of local variables and casts.
TEST(DBExtractReaders, ExpressionsAndBodiesNeedWhatTheScriptReaderRecords) {
    const std::string script = "CREATE DOMAIN D_TXT AS VARCHAR(10);\n"
                               "CREATE TABLE T (ID INTEGER, A INTEGER, B INTEGER, ARR INTEGER [5],\n"
                               "  C COMPUTED BY (A + 1), CONSTRAINT CK_B CHECK (B > A));\n"
                               "CREATE INDEX IX_B ON T COMPUTED BY (B * 2);\n"
                               "CREATE VIEW V (E) AS SELECT ARR[1] FROM T;\n"
                               "SET TERM ^;\n"
                               "CREATE PROCEDURE P AS DECLARE Y D_TXT; DECLARE W TYPE OF D_TXT; BEGIN Y = W; END^\n"
                               "CREATE PROCEDURE Q AS DECLARE Y VARCHAR(10); BEGIN Y = CAST(1 AS D_TXT); END^\n"
                               "SET TERM ;^\n";
    test::PrepareFirebirdEnvironment();
    const TempDatabase db(script + "COMMIT;\n");
    LiveSide side(db.Path());
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    TObjs fromScript;
    ASSERT_EQ(test::ReadWithBodies(fromScript, script, "x.sql"), "");
    for (TObjs* objs : {&side.Objs(), &fromScript}) {
        SCOPED_TRACE(objs == &fromScript ? "script" : "database");
        const TDbObj* t = objs->FindTable("T");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(test::DependText(t->FindColumn("C")), "T.A");
        EXPECT_EQ(test::DependText(objs->List(olConstraints).FindObj("CK_B")), "T T.A T.B");
        EXPECT_EQ(test::DependText(objs->FindIndex("IX_B")), "T T.B");
        EXPECT_EQ(test::DependText(objs->FindView("V")), "T T.ARR");
        EXPECT_EQ(test::DependText(objs->FindProcedure("P")), "D_TXT");
        EXPECT_EQ(test::DependText(objs->FindProcedure("Q")), "D_TXT");
    }
}

} // namespace
} // namespace qnl
