#include "TestKinds.h"

#include "core/qnlExtract.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

TEST(Extract, NameMasks) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"EMPLOYEE", "EMP%", true},   {"EMPLOYEE", "EMP*", true},  {"XEMP", "EMP%", false},
        {"EMPLOYEE", "EMPLOYEE", false}, {"A_LOG", "%_LOG", true}, {"ALOG", "%_LOG", false},
        {"ABCABC", "%ABC", true},    {"ANY", "%", false},          {"ANY", "", false},
        {"ABC", "A%C", false},       {"ABC", "%B%", false},        {"emp", "EMP%", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchObjNameMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(Extract, IncludeExcludePrefixAndEvents) {
    TDBStructure s;
    TCustomExtract x;
    x.SetDBStructure(&s);
    TStringList inc, exc;
    inc.SetText("%LOG\n");
    exc.SetText("  %_LOG  \n");
    x.SetIncludeObjsNames(inc);
    x.SetExcludeObjsNames(exc);
    EXPECT_FALSE(x.AcceptObjName("APP_LOG", dboTable));
    EXPECT_TRUE(x.AcceptObjName("APPLOG", dboTable));
    EXPECT_FALSE(x.AcceptObjName("ORDERS", dboTable));

    x.OnAcceptObj = [](TObject*, const std::string& n, TDbObject, bool& a) { a = a || n == "ORDERS"; };
    EXPECT_TRUE(x.AcceptObjName("ORDERS", dboTable));

    // An index is judged by its table, whatever its own name.
    TObjs& o = *s.Objs();
    Obj table(&o, dboTable, olTables, "APPLOG");
    struct Index : Obj {
        using Obj::Obj;
        std::string GetOwnerName() const override { return "APPLOG"; }
    } idx(&o, dboIndex, olIndices, "IX_WHATEVER");
    EXPECT_TRUE(x.AcceptDbObject(&idx));
    x.OnAccept_Obj = [](TObject*, TDbObj* obj, bool& a) { a = obj->Name == "ONLY"; };
    EXPECT_FALSE(x.AcceptDbObject(&idx));

    // The prefix narrows the named kinds.
    x.OnAccept_Obj = nullptr;
    x.OnAcceptObj = nullptr;
    x.SetIncludeObjsNames(TStringList());
    x.SetExcludeObjsNames(TStringList());
    s.NamePrefix = "DEV_";
    EXPECT_FALSE(x.AcceptObjName("T1", dboTable));
    EXPECT_TRUE(x.AcceptObjName("DEV_T1", dboTable));
    EXPECT_TRUE(x.AcceptObjName("IX1", dboIndex));
}

TEST(Extract, LinksAreClearedWhenEitherSideGoes) {
    auto* s = new TDBStructure;
    auto* x = new TCustomExtract;
    x->SetDBStructure(s);
    EXPECT_EQ(s->Extractor, x);
    delete s;
    EXPECT_EQ(x->DBStructure(), nullptr);

    s = new TDBStructure;
    x->SetDBStructure(s);
    delete x;
    EXPECT_EQ(s->Extractor, nullptr);
    EXPECT_FALSE(static_cast<bool>(s->Objs()->OnAcceptDbObj));
    // With the link gone, objects are judged by the container alone.
    s->Objs()->AddDbObject(new Obj(s->Objs(), dboTable, olTables, "T"));
    EXPECT_NE(s->Objs()->FindTable("T"), nullptr);

    auto* exec = new TCustomSQLExec;
    s->Objs()->SetSQLExec(exec);
    delete exec;
    EXPECT_EQ(s->Objs()->SQLExec(), nullptr);
    delete s;
}

TEST(Extract, SettingAnotherStructureUnlinksTheFirst) {
    TDBStructure a, b;
    TCustomExtract x;
    x.SetDBStructure(&a);
    x.SetDBStructure(&b);
    EXPECT_EQ(a.Extractor, nullptr);
    EXPECT_EQ(b.Extractor, &x);
    x.SetDBStructure(nullptr);
    EXPECT_EQ(b.Extractor, nullptr);
    EXPECT_FALSE(static_cast<bool>(b.Objs()->OnAcceptDbObj));
}
