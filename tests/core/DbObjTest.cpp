#include "TestKinds.h"

#include "core/qnlExtract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace qnl;
using namespace qnl::test;

namespace {
// A master and a target structure linked as the comparer links them, writing to one executor.
struct Sides : ::testing::Test {
    TDBStructure master, target;
    TCustomSQLExec exec;
    TObjs& M() { return *master.Objs(); }
    TObjs& T() { return *target.Objs(); }
    void SetUp() override {
        for (TObjs* o : {&M(), &T()}) {
            o->SetServerType(stInterBase);
            o->IBServerOptions.SQLServerVersion = st_Firebird_30;
            o->SetSQLExec(&exec);
        }
        M().SetSide(sideMaster);
        T().SetSide(sideTarget);
        M().CounterpartObjs = &T();
        T().CounterpartObjs = &M();
    }
    template <class K, class... A>
    K* Add(TObjs& Side, A&&... Args) {
        auto* o = new K(&Side, std::forward<A>(Args)...);
        Side.AddDbObject(o);
        o->Exists = &Side == &T();  // target objects exist, unpaired master objects do not
        return o;
    }
    Obj* View(TObjs& Side, const std::string& N) { return Add<Obj>(Side, dboView, olViews, N); }
};
} // namespace

TEST_F(Sides, CreateWalkWritesMissingDependencyFirstAndOnceEvenInACycle) {
    Obj* v1 = View(M(), "V1");
    Obj* v2 = View(M(), "V2");
    Obj* v3 = View(M(), "V3");
    RegisterDependency(&M(), v1, v2);
    RegisterDependency(&M(), v1, v3);
    RegisterDependency(&M(), v2, v3);
    RegisterDependency(&M(), v3, v2);  // V2 and V3 need each other
    v1->CreateDependDef();
    v2->CreateDependDef();  // already there: nothing more
    EXPECT_EQ(Captions(exec), (std::vector<std::string>{"V3: create", "V2: create", "V1: create"}));
    EXPECT_TRUE(v1->GetExists() && v2->GetExists() && v3->GetExists());
}

TEST_F(Sides, MissingCalledProcedureBecomesAStubBeforeItsCaller) {
    auto* p1 = Add<Body>(M(), dboProcedure, "P1");
    auto* p2 = Add<Body>(M(), dboProcedure, "P2");
    RegisterDependency(&M(), p1, p2);
    RegisterDependency(&M(), p2, p1);
    p1->CreateDependDef();
    EXPECT_EQ(Captions(exec), (std::vector<std::string>{"P2: create empty", "P1: create"}));
    EXPECT_EQ(exec.Statements(0)->Lines[0], "CREATE P2 STUB");
    EXPECT_EQ(exec.Statements(0)->Kind, skProcedure);
    EXPECT_TRUE(p2->BodyEmptied);
    p2->CreateDependDef();
    EXPECT_EQ(exec.StatementCount(), 2);

    // A procedure the target already has is left to the procedure passes.
    auto* p3 = Add<Body>(M(), dboProcedure, "P3");
    Add<Body>(T(), dboProcedure, "P4");
    auto* p4m = Add<Body>(M(), dboProcedure, "P4");
    RegisterDependency(&M(), p3, p4m);
    p3->CreateDependDef();
    EXPECT_EQ(Captions(exec).back(), "P3: create");
    EXPECT_TRUE(M().FindProcedure("P3")->DependsOn.Items(0)->Active);
}

TEST_F(Sides, DropWalkEmptiesUsersBeforeTheDrop) {
    Obj* e = Add<Obj>(T(), dboException, olExceptions, "E_FAIL");
    auto* p = Add<Body>(T(), dboProcedure, "P");
    auto* t = Add<Body>(T(), dboTrigger, "TRG");
    auto* done = Add<Body>(T(), dboTrigger, "EMPTY_ALREADY");
    done->SetSource(" BEGIN END ");
    RegisterDependency(&T(), p, e);
    RegisterDependency(&T(), t, e);
    RegisterDependency(&T(), done, e);
    e->DoDrop();
    EXPECT_EQ(Captions(exec), (std::vector<std::string>{"P: empty body", "TRG: empty body", "E_FAIL: drop"}));
    EXPECT_EQ(exec.Statements(1)->Kind, skTrigger);
    EXPECT_EQ(exec.Statements(1)->Lines[0], "ALTER TRG BEGIN END");
    EXPECT_EQ(exec.Statements(2)->Lines.Text(), "/* Drop: E_FAIL (T5Data) */\r\nDROP EXCEPTION E_FAIL\r\n");
    EXPECT_FALSE(e->GetExists());
    e->DoDrop();  // gone already
    EXPECT_EQ(exec.StatementCount(), 3);
}

TEST_F(Sides, TablesBothSidesHaveAreNeverDroppedAndViewCyclesDropOnce) {
    Add<Table>(M(), "KEEP", std::vector<std::string>{"A"});
    auto* keep = Add<Table>(T(), "KEEP", std::vector<std::string>{"A"});
    keep->DoDrop();
    EXPECT_EQ(exec.StatementCount(), 0);

    Obj* va = View(T(), "VA");
    Obj* vb = View(T(), "VB");
    RegisterDependency(&T(), va, vb);
    RegisterDependency(&T(), vb, va);
    va->DoDrop();
    EXPECT_EQ(Captions(exec), (std::vector<std::string>{"VB: drop", "VA: drop"}));
}

TEST_F(Sides, ColumnReferencesAreRecordedOnTheColumnAndFreedObjectsLeaveNoEntries) {
    auto* tab = Add<Table>(M(), "T1", std::vector<std::string>{"A", "B"});
    Obj* v = View(M(), "V");
    RegisterDependency(&M(), v, tab, "B", 3, 7);
    RegisterDependency(&M(), v, tab, "B");       // recorded once
    RegisterDependency(&M(), v, tab, "NOPE");    // names no column: nothing
    ASSERT_EQ(v->DependsOn.Count(), 1);
    EXPECT_EQ(v->DependsOn.Items(0)->Ref, tab->GetColumn(1));
    EXPECT_EQ(v->DependsOn.Items(0)->RefLine, 7);
    EXPECT_EQ(tab->GetColumn(1)->UsedBy.Items(0)->Ref, v);

    // A duplicate is freed by the container; whatever it had registered goes with it.
    auto* dup = new Obj(&M(), dboView, olViews, "V");
    RegisterDependency(&M(), dup, tab);
    ASSERT_EQ(tab->UsedBy.Count(), 1);
    M().AddDbObject(dup);
    EXPECT_EQ(tab->UsedBy.Count(), 0);
    EXPECT_EQ(M().FindView("V"), v);
}

TEST(Container, FilesByKeyWithEachDialectsCaseRuleAndTheIbeOption) {
    TDBStructure s;
    TObjs& o = *s.Objs();
    o.SetServerType(stInterBase);
    o.AddDbObject(new Obj(&o, dboTable, olTables, "Orders"));
    o.AddDbObject(new Obj(&o, dboTable, olTables, "ORDERS"));
    o.AddDbObject(new Obj(&o, dboTable, olTables, "IBE$LOG"));
    EXPECT_EQ(o.List(olTables).Count(), 2);
    EXPECT_EQ(o.FindTable("orders"), nullptr);
    o.IBServerOptions.IBCompareOptions.IgnoreIBEObjects = false;
    o.AddDbObject(new Obj(&o, dboTable, olTables, "IBE$LOG"));
    EXPECT_NE(o.FindTable("IBE$LOG"), nullptr);

    o.Clear();
    EXPECT_EQ(o.List(olTables).Count(), 0);
    o.SetServerType(stMSSQL);
    TDbObj* first = new Obj(&o, dboTable, olTables, "Orders");
    o.AddDbObject(first);
    o.AddDbObject(new Obj(&o, dboTable, olTables, "ORDERS"));
    EXPECT_EQ(o.List(olTables).Count(), 1);
    EXPECT_EQ(o.FindTable("oRdErS"), first);
    o.AddDbObject(new Obj(&o, dboEvent, olEvents, "Ev"));
    EXPECT_EQ(o.List(olEvents).Count(), 1);
    EXPECT_EQ(o.List(olEvents).FindObj("EV"), nullptr);  // events stay case-sensitive

    // A name set through SetName is upper-cased for MSSQL without case-sensitive identifiers.
    Obj named(&o, dboTable, olTables, "");
    named.SetName("Orders");
    EXPECT_EQ(named.Name, "ORDERS");
}

// The list against the plain model of a key-sorted vector where a new entry goes before the equal
// ones: random filing, finding, taking and positional reads, so entries waiting to be merged
// and merged ones meet in every order, under both case rules and both duplicate rules.
TEST(Container, ObjectListKeepsTheOrderOfASortedVectorUnderEveryMixOfChanges) {
    struct Case {
        bool CaseSensitive;
        TDuplicates Duplicates;
    };
    for (const Case c : {Case{true, TDuplicates::dupIgnore}, Case{false, TDuplicates::dupIgnore},
                         Case{true, TDuplicates::dupAccept}, Case{false, TDuplicates::dupAccept}}) {
        SCOPED_TRACE(std::to_string(c.CaseSensitive) + " " + std::to_string(int(c.Duplicates)));
        TDBStructure s;
        TObjs& o = *s.Objs();
        std::vector<std::unique_ptr<Obj>> owned;
        TDbObjList list;
        list.SetCaseSensitive(c.CaseSensitive);
        list.SetDuplicates(c.Duplicates);
        std::vector<std::pair<std::string, TDbObj*>> model;
        auto less = [&](const std::string& A, const std::string& B) {
            return (c.CaseSensitive ? CompareStr(A, B) : CompareText(A, B)) < 0;
        };
        auto first = [&](const std::string& Key) {
            return std::partition_point(model.begin(), model.end(), [&](const auto& E) { return less(E.first, Key); });
        };
        auto at = [&](const std::string& Key) {
            auto it = first(Key);
            return it != model.end() && !less(Key, it->first) ? it : model.end();
        };
        std::mt19937 random(7);
        const char* names[] = {"a", "A", "b", "B", "ab", "Ab", "c", "", "a0", "ba"};
        for (int step = 0; step < 3000; ++step) {
            const std::string key = names[random() % 10];
            switch (random() % 6) {
            case 0:
            case 1: {
                owned.push_back(std::make_unique<Obj>(&o, dboTable, olTables, key));
                const bool filed = list.AddObject(key, owned.back().get());
                const bool expected = c.Duplicates == TDuplicates::dupAccept || at(key) == model.end();
                ASSERT_EQ(filed, expected) << step;
                if (expected) model.insert(first(key), {key, owned.back().get()});
                break;
            }
            case 2: {
                const auto it = at(key);
                ASSERT_EQ(list.FindObj(key), it == model.end() ? nullptr : it->second) << step;
                int index = -1;
                ASSERT_EQ(list.Find(key, index), it != model.end()) << step;
                ASSERT_EQ(index, first(key) - model.begin()) << step;
                break;
            }
            case 3: {
                const auto it = at(key);
                TDbObj* expected = it == model.end() ? nullptr : it->second;
                if (it != model.end()) model.erase(it);
                ASSERT_EQ(list.Take(key), expected) << step;
                break;
            }
            case 4:
                if (!model.empty() && random() % 4 == 0) {
                    const size_t i = random() % model.size();
                    list.Delete(static_cast<int>(i));
                    model.erase(model.begin() + static_cast<long>(i));
                }
                break;
            default:
                ASSERT_EQ(list.Count(), static_cast<int>(model.size())) << step;
                for (size_t i = 0; i < model.size(); ++i) {
                    ASSERT_EQ(list.Strings(static_cast<int>(i)), model[i].first) << step;
                    ASSERT_EQ(list.Obj(static_cast<int>(i)), model[i].second) << step;
                }
            }
        }
        // Taking by a test keeps the others in order.
        std::vector<TDbObj*> expected;
        std::erase_if(model, [&](const auto& E) {
            if (E.first.size() != 1) return false;
            expected.push_back(E.second);
            return true;
        });
        EXPECT_EQ(list.TakeIf([](const TDbObj& X) { return X.Name.size() == 1; }), expected);
        ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
        for (size_t i = 0; i < model.size(); ++i) EXPECT_EQ(list.Obj(static_cast<int>(i)), model[i].second);
    }
}

// Which views read a table and which triggers fire on a relation: the same answer, in list
// order, from a scan and from the indices a comparison keeps.
TEST(Container, KeptIndicesAnswerAsTheScanDoes) {
    class Trigger : public Obj {
    public:
        Trigger(TCustomObjs* C, const std::string& AName, TDbObj* On) : Obj(C, dboTrigger, olTriggers, AName), FOn(On) {}
        TDbObj* GetRelation() const override { return FOn; }

    private:
        TDbObj* FOn;
    };
    TDBStructure s;
    TObjs& o = *s.Objs();
    auto* t1 = new Table(&o, "T1", {"A"});
    auto* t2 = new Table(&o, "T2", {"A"});
    auto* v2 = new Obj(&o, dboView, olViews, "V2");
    auto* v1 = new Obj(&o, dboView, olViews, "V1");
    for (TDbObj* x : std::initializer_list<TDbObj*>{t1, t2, v2, v1}) o.AddDbObject(x);
    RegisterDependency(&o, v2, t1);
    RegisterDependency(&o, v1, t2);
    RegisterDependency(&o, v1, t1);
    RegisterDependency(&o, v1, t1, "A");  // a column entry: not a read of the table itself
    auto* tr3 = new Trigger(&o, "TR3", v1);
    auto* tr1 = new Trigger(&o, "TR1", v1);
    auto* tr2 = new Trigger(&o, "TR2", t1);
    for (TDbObj* x : std::initializer_list<TDbObj*>{tr3, tr1, tr2, new Trigger(&o, "TR0", nullptr)}) o.AddDbObject(x);
    for (bool kept : {false, true}) {
        SCOPED_TRACE(kept);
        o.KeepIndices(kept);
        EXPECT_EQ(o.ViewsReadingTable("T1"), (std::vector<TDbObj*>{v1, v2}));
        EXPECT_EQ(o.ViewsReadingTable("T2"), (std::vector<TDbObj*>{v1}));
        EXPECT_EQ(o.ViewsReadingTable("T3"), (std::vector<TDbObj*>{}));
        EXPECT_EQ(o.TriggersOn(v1), (std::vector<TDbObj*>{tr1, tr3}));
        EXPECT_EQ(o.TriggersOn(t1), (std::vector<TDbObj*>{tr2}));
        EXPECT_EQ(o.TriggersOn(v2), (std::vector<TDbObj*>{}));
    }
    o.KeepIndices(false);
}

TEST(Container, UnknownObjectsAreReportedThroughTheExtractorAndFreed) {
    TDBStructure s;
    TCustomExtract x;
    std::vector<std::string> errors;
    x.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    x.SetDBStructure(&s);
    s.Objs()->AddDbObject(new Column(s.Objs(), nullptr, "C"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unknown DbObject to add (TDbObj)");
    EXPECT_TRUE(x.GetMsgManager().HasErrors());
}

TEST(Container, MergeGrantFoldsEqualGrantsOnly) {
    TDBStructure s;
    TObjs& o = *s.Objs();
    auto* g1 = new Grant(&o, "T", "BOB", {"SELECT"});
    EXPECT_EQ(o.MergeGrant(g1), g1);
    auto g2 = std::make_unique<Grant>(&o, "T", "BOB", std::vector<std::string>{"UPDATE"});
    EXPECT_EQ(o.MergeGrant(g2.get()), nullptr);  // merged: the caller frees it
    EXPECT_EQ(g1->Privileges, (std::vector<std::string>{"SELECT", "UPDATE"}));
    auto* g3 = new Grant(&o, "T", "ANN", {"SELECT"});
    EXPECT_EQ(o.MergeGrant(g3), g3);
    EXPECT_EQ(o.List(olGrants).Count(), 2);
}

TEST(DbObj, KeysDisplayNamesAndQuoting) {
    TDBStructure s;
    TObjs& o = *s.Objs();
    o.SetServerType(stInterBase);
    s.NamePrefix = "DEV_";
    Obj a(&o, dboTable, olTables, "DEV_T1"), b(&o, dboTable, olTables, "T1");
    EXPECT_EQ(a.GetKeyName(), "_T1");
    EXPECT_EQ(b.GetKeyName(), "T1");
    EXPECT_EQ(a.GetDisplayName(), "T1");

    o.SetServerType(stMSSQL);
    Obj m(&o, dboTable, olTables, "Orders");
    m.Schema = "dbo";
    EXPECT_EQ(m.GetKeyName(), "dbo.Orders");
    EXPECT_EQ(m.GetQualifiedName(), "dbo.Orders");
    EXPECT_EQ(m.MakeComment("x"), "/* x */");

    o.SetServerType(stGeneric);
    o.QuoteOption = 4;
    EXPECT_EQ(m.QuoteName("A"), "[A]");
    Obj loose(nullptr, dboTable, olTables, "t");
    EXPECT_EQ(loose.QuoteName("a b"), "a b");
    EXPECT_EQ(loose.GetServerType(), stNone);
    loose.NoScript = true;
    EXPECT_EQ(loose.GetCreateStatement(), "");
    EXPECT_EQ(loose.GetDescriptionSQL(), "");
}
