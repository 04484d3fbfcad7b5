// The view and trigger passes through the comparer, for the paths the Firebird tests do not
// reach: re-creation for a table change, the grants a dropped view takes along, other dialects
// and older servers.
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

namespace qnl::test {
namespace {

using Steps = std::vector<std::string>;

struct Comparison : RecordedComparison {
    using RecordedComparison::RecordedComparison;
    std::vector<TObjs*> Both() { return {&M(), &T()}; }
    Steps Run() { return RecordedComparison::Run({dboView, dboTrigger, dboProcedure}); }
};

TViwData* View(TObjs& O, const std::string& Name, const std::string& Select) {
    auto* v = new TViwData(&O);
    v->Name = Name;
    v->SetSource(Select);
    O.AddDbObject(v);
    return v;
}

TTrgData* Trigger(TObjs& O, const std::string& Name, const std::string& Table, const std::string& Body) {
    auto* t = new TTrgData(&O);
    t->Name = Name;
    t->SetTableName(Table);
    t->TriggerType = 1;
    t->SetSource(Body);
    O.AddDbObject(t);
    if (t->Relation) RegisterDependency(&O, t, t->Relation);
    return t;
}

const std::string EmptyTriggerBody = "AS Declare variable I integer;\r\nBEGIN I = 0; END";

TEST(ViewPass, TableChangeRecreatesTheViewsReadingItAndWhatUsesThem) {
    Comparison c;
    TViwData* view[2];
    for (TObjs* o : c.Both()) {
        auto* t = new TTblData(o);
        t->Name = "T";
        o->AddDbObject(t);
        TViwData* v = View(*o, "V", "SELECT A FROM T");
        RegisterDependency(o, v, t);
        Trigger(*o, "V_BI", "V", "AS BEGIN END");
        auto* p = new TPrcData(o);
        p->Name = "P";
        p->SetSource("BEGIN SELECT A FROM V; END");
        o->AddDbObject(p);
        RegisterDependency(o, p, v);
        view[o == &c.T()] = v;
    }
    // What the column alteration does after a type change of a column the view reads.
    c.q.OnBeforeCompare = [&](TObject*) { dynamic_cast<TTblData*>(c.M().FindTable("T"))->MarkDependentViews(); };
    const Steps steps = c.Run();
    const Steps expected{
        "/* Alter View (Drop, Create)... */",
        "/* Drop altered view: V (recreate) */",
        // The view's users lose their bodies, its trigger goes with it.
        "[2] ALTER TRIGGER V_BI\r\n" + EmptyTriggerBody,
        "[4] ALTER PROCEDURE P AS\r\nBEGIN EXIT; END",
        "[3] DROP TRIGGER V_BI",
        "[3] DROP VIEW V",
        "/* Create altered view: V (recreate) */",
        "/* Create view: V (ViwData.CreateDependDef) */",
        "[1] CREATE VIEW V\r\n AS \r\nSELECT A FROM T",
        "[6] CREATE TRIGGER V_BI FOR V\r\nACTIVE BEFORE INSERT POSITION 0 \r\n" + EmptyTriggerBody,
        // Both get their bodies back once the view is there again.
        "/* Alter Procedure... */",
        "/* Alter (P) */",
        "[2] ALTER PROCEDURE P AS\r\nBEGIN SELECT A FROM V; END",
        "/* Alter exist trigger... */",
        "[2] ALTER TRIGGER V_BI\r\nAS BEGIN END",
    };
    EXPECT_EQ(steps, expected);
    EXPECT_FALSE(view[0]->Recreate);
    EXPECT_FALSE(view[1]->Recreate);
}

TEST(ViewPass, ComputedColumnReadingARecreatedViewComesBack) {
    Comparison c;
    for (TObjs* o : c.Both()) {
        TViwData* v = View(*o, "V", o == &c.M() ? "SELECT 2 X FROM RDB$DATABASE" : "SELECT 1 X FROM RDB$DATABASE");
        v->AddColumn("X");
        auto* t = new TTblData(o);
        t->Name = "T";
        o->AddDbObject(t);
        auto id = std::make_unique<TFldData>(o, t);
        id->Name = "ID";
        id->DataType = dtInteger;
        t->AddColumn(std::move(id));
        auto calc = std::make_unique<TFldData>(o, t);
        calc->Name = "C";
        calc->SetSource("((SELECT MAX(X) FROM V))");
        TFldData* column = t->AddColumn(std::move(calc));
        // What the body parser records: the relation and the column read.
        RegisterDependency(o, column, v);
        RegisterDependency(o, column, v, "X");
    }
    const Steps steps = c.RecordedComparison::Run({dboView, dboField});
    const auto at = [&](const std::string& S) {
        const auto it = std::find(steps.begin(), steps.end(), S);
        EXPECT_NE(it, steps.end()) << S;
        return it - steps.begin();
    };
    const auto dropC = at("[3] ALTER TABLE T DROP C");
    const auto dropV = at("[3] DROP VIEW V");
    const auto createV = at("[1] CREATE VIEW V(\r\nX)\r\n AS \r\nSELECT 2 X FROM RDB$DATABASE");
    const auto addC = at("[1] ALTER TABLE T ADD C COMPUTED BY ((SELECT MAX(X) FROM V))");
    EXPECT_LT(dropC, dropV);
    EXPECT_LT(dropV, createV);
    EXPECT_LT(createV, addC);
    // And it goes back to its place.
    at("[2] ALTER TABLE T ALTER COLUMN C POSITION 2");
}

// A grant kind as the grant readers file it: object and grantee, each with its kind.
class TestGrant : public TDbObj {
public:
    TestGrant(TCustomObjs* C, std::string AName, std::string AObject, TDbObject AObjectKind, std::string AGrantee,
              TDbObject AGranteeKind)
        : TDbObj(C), FObject(std::move(AObject)), FGrantee(std::move(AGrantee)), FObjectKind(AObjectKind),
          FGranteeKind(AGranteeKind) {
        Kind = dboGrant;
        Name = std::move(AName);
    }
    TObjListKind GetObjList() const override { return olGrants; }
    std::string GetGrantObjectName() const override { return FObject; }
    TDbObject GetGrantObjectKind() const override { return FObjectKind; }
    std::string GetGrantee() const override { return FGrantee; }
    TDbObject GetGranteeKind() const override { return FGranteeKind; }

private:
    std::string FObject, FGrantee;
    TDbObject FObjectKind, FGranteeKind;
};

TEST(ViewPass, DroppedViewTakesTheGrantsOnItAndItsOwnGrants) {
    Comparison c;
    View(c.M(), "V", "SELECT 2 X FROM RDB$DATABASE");
    View(c.T(), "V", "SELECT 1 X FROM RDB$DATABASE");
    auto grant = [](TObjs& O, const char* Name, const char* Object, TDbObject ObjectKind, const char* Grantee,
                    TDbObject GranteeKind) {
        auto* g = new TestGrant(&O, Name, Object, ObjectKind, Grantee, GranteeKind);
        O.AddDbObject(g);
        return g;
    };
    TestGrant* on[2]; TestGrant* held[2]; TestGrant* other[2]; TestGrant* procedure[2];
    for (TObjs* o : c.Both()) {
        const int side = o == &c.T();
        on[side] = grant(*o, "G_ON", "V", dboView, "U", dboUser);
        held[side] = grant(*o, "G_HELD", "T", dboTable, "V", dboView);
        other[side] = grant(*o, "G_OTHER", "T", dboTable, "U", dboUser);
        // A procedure may share the view's name.
        procedure[side] = grant(*o, "G_PROC", "V", dboProcedure, "U", dboUser);
    }
    TestGrant* targetOnly = grant(c.T(), "G_OLD", "V", dboView, "OLD_USER", dboUser);
    c.Run();
    // The grant passes write the master's again; no REVOKE is due for what went with the view.
    EXPECT_FALSE(on[0]->GetExists());
    EXPECT_FALSE(held[0]->GetExists());
    EXPECT_FALSE(targetOnly->GetExists());
    EXPECT_TRUE(other[0]->GetExists());
    EXPECT_TRUE(procedure[0]->GetExists());
}

TEST(ViewPass, CreatesEachViewOfACycleOnceAndDB2SetsEachSchemaOnce) {
    {
        Comparison c;
        TViwData* a = View(c.M(), "A", "SELECT X FROM B");
        TViwData* b = View(c.M(), "B", "SELECT X FROM A");
        RegisterDependency(&c.M(), a, b);
        RegisterDependency(&c.M(), b, a);
        const Steps steps = c.Run();
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "[1] CREATE VIEW A\r\n AS \r\nSELECT X FROM B"), 1);
        EXPECT_EQ(std::count(steps.begin(), steps.end(), "[1] CREATE VIEW B\r\n AS \r\nSELECT X FROM A"), 1);
    }
    Comparison c(stDB2);
    for (auto [schema, name] : {std::pair{"S", "V1"}, {"S", "V2"}, {"S2", "V3"}}) {
        TViwData* v = View(c.M(), name, "SELECT 1 FROM SYSIBM.SYSDUMMY1");
        v->Schema = schema;
    }
    c.Run();
    Steps schemas;
    for (int i = 0; i < c.exec.StatementCount(); ++i)
        if (c.exec.Statements(i)->ObjKind == dboSchema) {
            schemas.push_back(c.exec.Text(i));
            EXPECT_EQ(c.exec.Statements(i)->Action, saConnectSet);
        }
    EXPECT_EQ(schemas, (Steps{"SET CURRENT SCHEMA = S", "SET CURRENT SCHEMA = S2"}));
}

TEST(ViewPass, NewViewComesWithItsColumnsDescriptions) {
    Comparison c;
    TViwData* v = View(c.M(), "V", "SELECT 1 FROM RDB$DATABASE");
    v->AddColumn("N")->SetDescription("A number");
    v->SetDescription("One row");
    const Steps all = c.Run();
    Steps descriptions;
    for (int i = 0; i < c.exec.StatementCount(); ++i)
        if (c.exec.Statements(i)->Action == saDescription) descriptions.push_back(Trim(c.exec.Statements(i)->Lines.Text()));
    EXPECT_EQ(descriptions, (Steps{"COMMENT ON VIEW V IS\r\n'One row'", "COMMENT ON COLUMN V.N IS\r\n'A number'"}))
        << testing::PrintToString(all);
}

TEST(TriggerPass, BodyChangeOnTargetsWithoutAlterTriggerIsADropAndCreate) {
    struct Case {
        TServerType Type;
        TIBSQLServerVersionType Version;
        Steps Expected;
    };
    const std::vector<Case> cases{
        {stInterBase, st_Firebird_30,
         {"/* Alter exist trigger... */", "[2] ALTER TRIGGER TRG\r\nAS BEGIN NEW.A = 2; END"}},
        {stInterBase, st_InterBase_5x,
         {"/* Alter exist trigger... */", "[3] DROP TRIGGER TRG",
          "[1] CREATE TRIGGER TRG FOR T\r\nACTIVE BEFORE INSERT POSITION 0 \r\nAS BEGIN NEW.A = 2; END"}},
        {stMySQL, st_Firebird_30,
         {"/* Alter exist trigger... */", "[3] DROP TRIGGER TRG",
          "[1] CREATE TRIGGER TRG BEFORE INSERT ON T\r\n     FOR EACH ROW\r\nAS BEGIN NEW.A = 2; END"}},
    };
    for (const Case& k : cases) {
        Comparison c(k.Type, k.Version);
        for (TObjs* o : c.Both()) {
            TTrgData* t = Trigger(*o, "TRG", "T", o == &c.M() ? "AS BEGIN NEW.A = 2; END" : "AS BEGIN NEW.A = 1; END");
            t->Timing = tmBefore;
            t->Events = evInsert;
        }
        EXPECT_EQ(c.Run(), k.Expected) << int(k.Type) << "/" << int(k.Version);
    }
}

TEST(TriggerPass, TriggerDroppedWithItsTableIsCreatedAgain) {
    Comparison c;
    for (TObjs* o : c.Both()) {
        auto* t = new TTblData(o);
        t->Name = "G";
        t->GlobalTemporary = o == &c.M();
        auto id = std::make_unique<TFldData>(o, t);
        id->Name = "ID";
        id->DataType = dtInteger;
        t->AddColumn(std::move(id));
        o->AddDbObject(t);
        Trigger(*o, "G_BI", "G", "AS BEGIN END");
    }
    c.Run();
    std::string script;
    for (const std::string& s : c.exec.Texts()) script += s + "\n";
    const size_t dropTrigger = script.find("DROP TRIGGER G_BI");
    const size_t create = script.find("CREATE GLOBAL TEMPORARY TABLE G");
    const size_t createTrigger = script.find("CREATE TRIGGER G_BI FOR G\r\nACTIVE BEFORE INSERT POSITION 0 \r\nAS BEGIN END");
    ASSERT_NE(createTrigger, std::string::npos) << script;
    EXPECT_LT(dropTrigger, script.find("DROP TABLE G"));
    EXPECT_LT(create, createTrigger);
}

TEST(TriggerPass, ASADescriptionIsAQuotedLiteral) {
    Comparison c(stASA);
    TTrgData* t = Trigger(c.M(), "TRG", "T", "BEGIN END");
    t->Timing = tmBefore;
    t->Events = evInsert;
    t->SetDescription("it's new");
    c.Run();
    const TStatement* last = c.exec.Statements(c.exec.StatementCount() - 1);
    for (int i = 0; i < c.exec.StatementCount(); ++i)
        if (c.exec.Statements(i)->Action == saDescription) last = c.exec.Statements(i);
    EXPECT_EQ(last->Action, saDescription);
    EXPECT_EQ(Trim(last->Lines.Text()), "COMMENT ON TRIGGER TRG IS 'it''s new'");
}

} // namespace
} // namespace qnl::test
