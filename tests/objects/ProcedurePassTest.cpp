// The procedure passes through the comparer, for the dialects and paths the Firebird tests do
// not reach: texts and actions of the statements written, and the walks' effects on the flags.
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlQuarnel.h"
#include "tests/core/TestKinds.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qnl::test {
namespace {

using Steps = std::vector<std::string>;

struct Comparison : RecordedComparison {
    using RecordedComparison::RecordedComparison;
    Steps Run() { return RecordedComparison::Run({dboProcedure, dboView, dboField, dboTrigger}); }
};

TPrcData* Routine(TObjs& Objs, const std::string& Name, const std::string& Body, bool Function = false) {
    auto* p = new TPrcData(&Objs);
    p->Name = Name;
    p->IsFunction = Function;
    p->AddInputParam("a", dtInteger);
    if (Function) p->AddOutputParam("", dtInteger);
    p->SetSource(Body);
    Objs.AddDbObject(p);
    return p;
}

class TestView : public TDbObj {
public:
    TestView(TCustomObjs* C, const std::string& AName, const std::string& Select) : TDbObj(C) {
        Kind = dboView;
        Name = AName;
        SetSource(Select);
    }
    TObjListKind GetObjList() const override { return olViews; }
    std::string GetCreateSQL() override { return "CREATE VIEW " + Name + " AS " + Source(); }
    std::string GetDropSQL() override { return "DROP VIEW " + Name; }
};

TEST(ProcedurePass, MySQLRecreatesAChangedRoutineOnceAndDoesNotAlterItAfter) {
    Comparison c(stMySQL);
    Routine(c.M(), "p", "BEGIN SELECT 2; END");
    Routine(c.T(), "p", "BEGIN SELECT 1; END");
    EXPECT_EQ(c.Run(), (Steps{"[3] DROP PROCEDURE  IF EXISTS `p`", "[1] CREATE PROCEDURE `p`(IN `a` INTEGER)\r\nBEGIN SELECT 2; END"}));
}

TEST(ProcedurePass, MySQLNewRoutineStubThenDropAndCreateToRestore) {
    Comparison c(stMySQL);
    Routine(c.M(), "n", "BEGIN SELECT 1; END");
    const Steps steps = c.Run();
    EXPECT_EQ(steps, (Steps{"/* Create Procedure... */", "[6] CREATE PROCEDURE `n`(IN `a` INTEGER)\r\n BEGIN END",
                            "/* Alter Procedure... */", "/* Restore proc. body: n */",
                            "[3] DROP PROCEDURE  IF EXISTS `n`",
                            "[5] CREATE PROCEDURE `n`(IN `a` INTEGER)\r\nBEGIN SELECT 1; END",
                            // The second alter pass finds the new routine again, with nothing left to do.
                            "/* Alter Procedure... */"}));
}

TEST(ProcedurePass, DialectsWithoutStubsCreateWholeRoutines) {
    {
        Comparison c(stPostgreSQL);
        Routine(c.M(), "f", "BEGIN RETURN a; END", true)->Language = "plpgsql";
        const Steps steps = c.Run();
        ASSERT_FALSE(steps.empty());
        EXPECT_EQ(steps[0], "[1] CREATE FUNCTION f(IN a integer)\r\nRETURNS integer\r\nAS $$BEGIN RETURN a; END$$\r\n"
                            "LANGUAGE 'plpgsql'");
    }
    {
        Comparison c(stMSSQL);
        TPrcData* f = Routine(c.M(), "f", "AS RETURN (SELECT 1 AS x)", true);
        f->InlineTable = true;
        const Steps steps = c.Run();
        ASSERT_GE(steps.size(), 2u);
        EXPECT_EQ(steps[0], "/* Create Procedure (returns table)... */");
        EXPECT_EQ(steps[1], "[1] CREATE FUNCTION f (a INTEGER)\r\n RETURNS TABLE\r\n AS RETURN (SELECT 1 AS x)");
    }
}

TEST(ProcedurePass, EmptyingABodyHappensOnceAndMarksTheMasterForRestoring) {
    LinkedSides s;
    const auto routine = [&](TObjs& Side, const std::string& Name, const std::string& Body) {
        auto* p = new TPrcData(&Side);
        p->Name = Name;
        p->SetSource(Body);
        return s.File(Side, p);
    };
    TPrcData* m = routine(s.M(), "P", "BEGIN work(); END");
    TPrcData* t = routine(s.T(), "P", "BEGIN work(); END");
    TPrcData* other = routine(s.T(), "Q", "BEGIN END");
    RegisterDependency(&s.T(), t, other);

    t->EmptyBody(true);
    t->EmptyBody(true);
    EXPECT_EQ(s.exec.Texts(), (Steps{"ALTER PROCEDURE P AS\r\nBEGIN EXIT; END"}));
    EXPECT_EQ(s.exec.Statements(0)->Action, saEmptyBody);
    EXPECT_EQ(t->CurrentSQL, "CREATE PROCEDURE P AS\r\nBEGIN EXIT; END");
    EXPECT_TRUE(m->BodyEmptied);
    EXPECT_FALSE(t->DependsOn.Items(0)->Active);

    // A routine that is not there at this point of the script is left alone.
    TPrcData* gone = routine(s.T(), "G", "BEGIN work(); END");
    gone->SetExists(false);
    gone->EmptyBody(true);
    EXPECT_EQ(s.exec.StatementCount(), 1);
    EXPECT_EQ(gone->Source(), "BEGIN work(); END");
}

TEST(ProcedurePass, NewRoutineDescriptionsFollowItsStub) {
    Comparison c(stInterBase);
    c.q.IBCompareOptions().UpdateDescriptionMode = udDescribe;
    TPrcData* n = Routine(c.M(), "N", "BEGIN END");
    n->SetDescription("new");
    const Steps steps = c.Run();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[1], "[6] CREATE PROCEDURE N(\"a\" INTEGER)\r\n AS\r\n BEGIN EXIT; END");
    const Steps all = c.exec.Texts();
    const auto stub = std::find(all.begin(), all.end(), "CREATE PROCEDURE N(\"a\" INTEGER)\r\n AS\r\n BEGIN EXIT; END");
    ASSERT_NE(stub, all.end());
    ASSERT_NE(stub + 1, all.end());
    // Firebird 3 has no DESCRIBE: every mode writes COMMENT ON.
    EXPECT_EQ(*(stub + 1), "COMMENT ON PROCEDURE N IS\r\n'new'");
}

TEST(ProcedurePass, ChangedCalleeEmptiesTriggersThatUseIt) {
    Comparison c(stInterBase);
    TPrcData* m = Routine(c.M(), "P", "BEGIN END");
    m->AddInputParam("b", dtInteger);
    TPrcData* t = Routine(c.T(), "P", "BEGIN END");
    TTrgData* trigger[2];
    for (TObjs* side : {&c.M(), &c.T()}) {
        auto* trg = new TTrgData(side);
        trg->Name = "TRG";
        trg->SetTableName("X");
        trg->TriggerType = 1;
        trg->SetSource("AS BEGIN EXECUTE PROCEDURE P(1); END");
        side->AddDbObject(trg);
        trigger[side == &c.T()] = trg;
    }
    RegisterDependency(&c.T(), trigger[1], t);
    const Steps steps = c.Run();
    // The trigger loses its call of P(a) before P changes, and gets it back after.
    const std::string emptied = "[2] ALTER TRIGGER TRG\r\nAS Declare variable I integer;\r\nBEGIN I = 0; END";
    const std::string restored = "[2] ALTER TRIGGER TRG\r\nAS BEGIN EXECUTE PROCEDURE P(1); END";
    const auto at = [&](const std::string& S) { return std::find(steps.begin(), steps.end(), S) - steps.begin(); };
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps[0], emptied);
    EXPECT_LT(at("[2] ALTER PROCEDURE P(\"a\" INTEGER,\r\n\"b\" INTEGER)\r\n AS\r\nBEGIN END"), at(restored));
    EXPECT_LT(at(restored), static_cast<long>(steps.size()));
    EXPECT_FALSE(trigger[0]->BodyEmptied);
}

TEST(ProcedurePass, ViewAProcedureUsesIsReplacedBeforeTheProcedureChanges) {
    Comparison c(stInterBase);
    TPrcData* m = Routine(c.M(), "P", "BEGIN SELECT 2 FROM V; END");
    Routine(c.T(), "P", "BEGIN SELECT 1 FROM V; END");
    auto* mv = new TestView(&c.M(), "V", "SELECT 2 X FROM RDB$DATABASE");
    auto* tv = new TestView(&c.T(), "V", "SELECT 1 X FROM RDB$DATABASE");
    c.M().AddDbObject(mv);
    c.T().AddDbObject(tv);
    RegisterDependency(&c.M(), m, mv);
    const Steps steps = c.Run();
    const Steps expected{
        "/* Alter Procedure... */",
        "/* Alter view (drop/create): V for procedure: P */",
        "/* Alter view (drop): V for procedure: P */",
        "[3] DROP VIEW V",
        "/* Alter view (create): V for procedure: P */",
        "[1] CREATE VIEW V AS SELECT 2 X FROM RDB$DATABASE",
        "/* Alter (P) */",
        "[2] ALTER PROCEDURE P(\"a\" INTEGER)\r\n AS\r\nBEGIN SELECT 2 FROM V; END",
    };
    ASSERT_GE(steps.size(), expected.size());
    EXPECT_EQ(Steps(steps.begin(), steps.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(tv->CurrentSQL, mv->CurrentSQL);
}

TEST(ProcedurePass, TargetOnlyRoutineTakesTheComputedColumnsThatCallIt) {
    Comparison c(stInterBase);
    auto* x = Routine(c.T(), "X", "BEGIN RETURN a; END", true);
    for (TObjs* o : {&c.M(), &c.T()}) {
        auto* tbl = new TTblData(o);
        tbl->Name = "T1";
        auto col = std::make_unique<TFldData>(o, tbl);
        col->Name = "C";
        if (o == &c.T()) col->SetSource("(X(1))");
        else col->DataType = dtInteger;
        tbl->AddColumn(std::move(col));
        o->AddDbObject(tbl);
    }
    RegisterDependency(&c.T(), c.T().FindTableField("T1", "C"), x);
    const Steps steps = c.Run();
    const auto at = [&](const std::string& Text) {
        return std::find(steps.begin(), steps.end(), Text) - steps.begin();
    };
    EXPECT_LT(at("[3] ALTER TABLE T1 DROP C"), at("[3] DROP FUNCTION X"));
    EXPECT_LT(at("[3] DROP FUNCTION X"), static_cast<long>(steps.size()));
}

TEST(ProcedurePass, RoutinesOfTheOtherSideAreFoundByTheirSchemaKeys) {
    // MSSQL files routines under schema.name: a caller of a changed routine is emptied while the
    // routine changes, and gets its text back afterwards.
    Comparison c(stMSSQL);
    for (TObjs* o : {&c.M(), &c.T()}) {
        for (const char* name : {"A", "B"}) {
            auto* p = new TPrcData(o);
            p->Name = name;
            p->Schema = "DBO";
            p->SetSource(std::string(name) == "B" ? "AS EXEC DBO.A" : o == &c.M() ? "AS SELECT 2" : "AS SELECT 1");
            o->AddDbObject(p);
        }
        RegisterDependency(o, o->FindProcedure("DBO.B"), o->FindProcedure("DBO.A"));
    }
    const Steps steps = c.Run();
    const auto at = [&](const std::string& Text) {
        return std::find(steps.begin(), steps.end(), Text) - steps.begin();
    };
    const long emptyB = at("[4] ALTER PROCEDURE DBO.B \r\n AS begin Return 0 end");
    const long alterA = at("[2] ALTER PROCEDURE DBO.A \r\n AS SELECT 2");
    const long fullB = at("[2] ALTER PROCEDURE DBO.B \r\n AS EXEC DBO.A");
    EXPECT_EQ(at("/* Clear: B for: A */") + 1, emptyB);
    EXPECT_LT(emptyB, alterA);
    EXPECT_LT(alterA, fullB);
    EXPECT_LT(fullB, static_cast<long>(steps.size())) << ::testing::PrintToString(steps);
}

} // namespace
} // namespace qnl::test
