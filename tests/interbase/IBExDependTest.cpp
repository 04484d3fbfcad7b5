// The body reader against Firebird itself: the databases built from employee.sql and from our
// Firebird 3 feature script say in RDB$DEPENDENCIES what every view, trigger, procedure, function
// and package needs; reading the same scripts must record each of those dependencies, and every
// dependency it records beyond them must be one of the kinds explained below.
#include "IBExReader.h"

#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"

#include "objects/qnlComp_Prc.h"

#include <gtest/gtest.h>

#include <set>

namespace qnl {
namespace {

using test::CompleteScript;
using test::TempDatabase;

// One row of RDB$DEPENDENCIES between user objects: dependent|type|referenced|type|field|package.
// Dependents: views (1), user triggers (2; not the server's check triggers), procedures (5), functions (15), packages (18, 19).
// Referenced: relations (0, 1), procedures (5), exceptions (7), generators (14), functions (15).
// Domains, collations and character sets are no part of what the bodies name.
const char* const DependencyQuery =
    "SELECT '<<' || TRIM(D.RDB$DEPENDENT_NAME) || '|' || D.RDB$DEPENDENT_TYPE || '|' || "
    "TRIM(D.RDB$DEPENDED_ON_NAME) || '|' || D.RDB$DEPENDED_ON_TYPE || '|' || COALESCE(TRIM(D.RDB$FIELD_NAME), '') "
    "|| '|' || COALESCE(TRIM(D.RDB$PACKAGE_NAME), '') || '>>' FROM RDB$DEPENDENCIES D "
    "WHERE D.RDB$DEPENDENT_TYPE IN (1, 2, 5, 15, 18, 19) AND D.RDB$DEPENDED_ON_TYPE IN (0, 1, 5, 7, 14, 15) "
    "AND D.RDB$DEPENDENT_NAME NOT STARTING WITH 'RDB$' AND D.RDB$DEPENDED_ON_NAME NOT STARTING WITH 'RDB$' "
    "AND NOT EXISTS (SELECT 1 FROM RDB$TRIGGERS T WHERE T.RDB$TRIGGER_NAME = D.RDB$DEPENDENT_NAME "
    "AND COALESCE(T.RDB$SYSTEM_FLAG, 0) <> 0)";

struct Row {
    std::string Dependent, DependentType, Ref, RefType, Field, Package;
};

Row Split(const std::string& Line) {
    std::vector<std::string> p;
    size_t at = 0;
    for (;;) {
        const size_t bar = Line.find('|', at);
        p.push_back(Line.substr(at, bar - at));
        if (bar == std::string::npos) break;
        at = bar + 1;
    }
    p.resize(6);
    return {p[0], p[1], p[2], p[3], p[4], p[5]};
}

TDbObj* FindDependent(const TObjs& Objs, const Row& R) {
    if (R.DependentType == "1") return Objs.FindView(R.Dependent);
    if (R.DependentType == "2") return Objs.FindTrigger(R.Dependent);
    if (R.DependentType == "5" || R.DependentType == "15") return Objs.FindProcedure(R.Dependent);
    return Objs.FindPackage(R.Dependent);
}

// The kind word a recorded dependency is compared by.
std::string KindOf(const TDbObj* O) {
    switch (O->Kind) {
    case dboTable:
    case dboView:
    case dboField: return "relation";
    case dboProcedure: return static_cast<const TPrcData*>(O)->IsFunction ? "function" : "procedure";
    case dboFunction: return "function";
    case dboException: return "exception";
    case dboGenerator: return "generator";
    case dboPackage: return "package";
    default: return {};
    }
}

std::string KindOf(const std::string& RefType) {
    if (RefType == "0" || RefType == "1") return "relation";
    if (RefType == "5") return "procedure";
    if (RefType == "7") return "exception";
    if (RefType == "14") return "generator";
    return "function";
}

// "dependent -> kind referenced[.field]"
std::string Key(const std::string& Dependent, const std::string& Kind, const std::string& Ref, const std::string& Field) {
    return Dependent + " -> " + Kind + " " + Ref + (Field.empty() ? "" : "." + Field);
}

// A column is recorded as the column object itself: its relation with its name.
std::string RecordedKey(const TDbObj* Dependent, const TDependObj* D) {
    if (D->Ref->Kind == dboField) return Key(Dependent->Name, "relation", D->Ref->GetOwnerName(), D->Ref->Name);
    return Key(Dependent->Name, KindOf(D->Ref), D->Ref->Name, {});
}

void CompareWithFirebird(const std::string& Script, const std::string& Name, const std::vector<std::string>& rows,
                         const std::set<std::string>& Explained);

} // namespace

void test::ExpectDependenciesAsFirebird(const std::string& Script, const std::string& Name,
                                        const std::set<std::string>& Explained) {
    SCOPED_TRACE(Name);
    const TempDatabase db(CompleteScript{Script});
    const std::vector<std::string> rows = test::QueryRows(db, DependencyQuery);
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(rows[0].rfind("isql failed", 0), std::string::npos) << rows[0];

    // The script itself, then isql's extract of its database.
    const std::string extract = test::ExtractSchema(db.Path());
    for (const std::string* text : {&Script, &extract}) {
        SCOPED_TRACE(text == &Script ? "script" : "isql extract");
        CompareWithFirebird(*text, Name, rows, Explained);
    }
}

namespace {

void CompareWithFirebird(const std::string& Script, const std::string& Name, const std::vector<std::string>& rows,
                         const std::set<std::string>& Explained) {
    TObjs objs;
    EXPECT_EQ(test::ReadWithBodies(objs, Script, Name), "");

    std::set<std::string> firebird, missing;
    for (const std::string& line : rows) {
        const Row r = Split(line);
        // A member routine of a package is reached through its package; one that calls a
        // sibling needs nothing outside its own package.
        const bool packaged = !r.Package.empty();
        if (packaged && r.Package == r.Dependent) continue;
        // Nor does a recursive routine depend on itself: ordering statements needs no such edge.
        if (r.Ref == r.Dependent && r.RefType == r.DependentType) continue;
        // The structure keeps a procedure's output columns as the procedure itself.
        const std::string field = r.RefType == "5" ? std::string() : r.Field;
        const std::string key = packaged ? Key(r.Dependent, "package", r.Package, {})
                                         : Key(r.Dependent, KindOf(r.RefType), r.Ref, field);
        firebird.insert(key);
        const TDbObj* dependent = FindDependent(objs, r);
        bool found = false;
        for (int i = 0; dependent && !found && i < dependent->DependsOn.Count(); ++i) {
            const TDependObj* d = dependent->DependsOn.Items(i);
            found = RecordedKey(dependent, d) == key;
        }
        if (!found) missing.insert(key);
    }
    EXPECT_EQ(missing, std::set<std::string>{});

    // What the reader records beyond Firebird.
    std::set<std::string> extra;
    for (TObjListKind list : {olViews, olTriggers, olProcedures, olPackages}) {
        for (int i = 0; i < objs.List(list).Count(); ++i) {
            const TDbObj* o = objs.List(list).Obj(i);
            for (int j = 0; j < o->DependsOn.Count(); ++j) {
                const TDependObj* d = o->DependsOn.Items(j);
                const std::string kind = KindOf(d->Ref);
                if (kind.empty()) continue;  // domains, collations, indices: not compared here
                // A table trigger needs its table whatever its body reads; Firebird records the
                // columns the body names only.
                if (o->Kind == dboTrigger && d->Ref == static_cast<const TTrgData*>(o)->Relation)
                    continue;
                const std::string key = RecordedKey(o, d);
                if (!firebird.count(key) && !Explained.count(key)) extra.insert(key);
            }
        }
    }
    EXPECT_EQ(extra, std::set<std::string>{});
}

TEST(IbExParserDepends, EmployeeScriptRecordsWhatFirebirdRecords) {
    std::string why;
    const std::string script = test::EmployeeScript(why);
    if (script.empty()) GTEST_SKIP() << why;
    test::ExpectDependenciesAsFirebird(script, "employee.sql");
}

TEST(IbExParserDepends, Firebird3FeaturesRecordWhatFirebirdRecords) {
    test::ExpectDependenciesAsFirebird(test::FixtureScript("fb3_features.sql"), "fb3_features.sql");
}

TEST(IbExParserDepends, Firebird3FormsRecordWhatFirebirdRecords) {
    test::ExpectDependenciesAsFirebird(test::FixtureScript("fb3_forms.sql"), "fb3_forms.sql");
}

} // namespace
} // namespace qnl
