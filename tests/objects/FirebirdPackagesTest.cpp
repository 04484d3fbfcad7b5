// Packages written by the comparer and run on real Firebird 3 databases, together with the
// routines that call them: a new package (one with a quoted name) with callers, a package only
// the target has with a caller, and a changed package whose old header drops a routine a caller
// used. The catalogue must then hold the master's packages with valid bodies, and a second
// comparison against what the database holds must write nothing.
#include "objects/qnlComp_Pkg.h"
#include "tests/objects/CompareKit.h"
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace qnl;
using namespace qnl::test;

namespace {

struct PackageDef {
    std::string Name;
    std::string Header;
    std::string Body;
    std::string Description;
};

const std::vector<PackageDef> MasterPackages{
    {"PK",
     "BEGIN\n  FUNCTION NEW(A INTEGER) RETURNS INTEGER;\n  FUNCTION KEEP(A INTEGER) RETURNS INTEGER;\nEND",
     "BEGIN\n  FUNCTION NEW(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A + 1; END\n"
     "  FUNCTION KEEP(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END\nEND",
     ""},
    // Its body calls a routine of "pk2", whose header must exist by then.
    {"PKN", "BEGIN\n  FUNCTION H(A INTEGER) RETURNS INTEGER;\nEND",
     "BEGIN\n  FUNCTION H(A INTEGER) RETURNS INTEGER AS BEGIN RETURN \"pk2\".F(A); END\nEND", ""},
    {"pk2", "BEGIN\n  FUNCTION F(A INTEGER) RETURNS INTEGER;\nEND",
     "BEGIN\n  FUNCTION F(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A * 2; END\nEND", "the 'second' package"},
};

const std::vector<PackageDef> TargetPackages{
    {"PK",
     "BEGIN\n  FUNCTION OLD(A INTEGER) RETURNS INTEGER;\n  FUNCTION KEEP(A INTEGER) RETURNS INTEGER;\nEND",
     "BEGIN\n  FUNCTION OLD(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END\n"
     "  FUNCTION KEEP(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END\nEND",
     ""},
    {"PKO", "BEGIN\n  FUNCTION G(A INTEGER) RETURNS INTEGER;\nEND",
     "BEGIN\n  FUNCTION G(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END\nEND", ""},
};

// Routines and the packages each calls (the body parser's findings).
struct Caller {
    RoutineDef Routine;
    std::vector<std::string> Packages;
};

Caller Proc(const std::string& Name, const std::string& Expression, std::vector<std::string> Packages) {
    return {{Name, false, {"X"}, {"Y"}, "BEGIN\n  Y = " + Expression + ";\n  SUSPEND;\nEND", {}}, std::move(Packages)};
}

const std::vector<Caller> MasterCallers{Proc("Q", "PK.NEW(X)", {"PK"}), Proc("S", "X", {}),
                                        Proc("R", "\"pk2\".F(X) + PKN.H(X)", {"pk2", "PKN"})};
const std::vector<Caller> TargetCallers{Proc("Q", "PK.OLD(X)", {"PK"}), Proc("S", "PKO.G(X)", {"PKO"})};

std::string Quoted(const std::string& Name) { return Name == "pk2" ? "\"pk2\"" : Name; }

std::string TargetDdl() {
    std::string s = "SET TERM ^ ;\n";
    for (const PackageDef& p : TargetPackages)
        s += "CREATE PACKAGE " + Quoted(p.Name) + " AS\n" + p.Header + "^\nCREATE PACKAGE BODY " + Quoted(p.Name) +
             " AS\n" + p.Body + "^\n";
    for (const Caller& c : TargetCallers)
        s += "CREATE PROCEDURE " + c.Routine.Name + " (X INTEGER) RETURNS (Y INTEGER) AS\n" + c.Routine.Body + "^\n";
    return s + "SET TERM ; ^\n";
}

void Fill(TObjs& O, const std::vector<PackageDef>& Packages, const std::vector<Caller>& Callers) {
    for (const PackageDef& d : Packages) {
        auto* p = new TPkgData(&O);
        p->Name = d.Name;
        p->HeaderSource = d.Header;
        p->SetSource(d.Body);
        p->SetDescription(d.Description);
        O.AddDbObject(p);
    }
    for (const Caller& c : Callers) {
        TPrcData* r = AddRoutine(O, c.Routine);
        for (const std::string& p : c.Packages) RegisterDependency(&O, r, O.FindPackage(p));
    }
}

// The packages of a database: name, body flag, description, header and body.
std::vector<PackageDef> ReadPackages(const TempDatabase& Db, std::vector<std::string>& Valid) {
    const auto text = [](const char* Column) {
        return std::string("COALESCE(CAST(REPLACE(REPLACE(") + Column +
               ", ASCII_CHAR(13), ''), ASCII_CHAR(10), '~') AS VARCHAR(4000)), '')";
    };
    std::vector<PackageDef> r;
    Valid.clear();
    for (const std::string& row :
         QueryRows(Db, "SELECT '<<' || TRIM(RDB$PACKAGE_NAME) || '|' || COALESCE(RDB$VALID_BODY_FLAG, -1) || '|' || " +
                           text("RDB$DESCRIPTION") + " || '|' || " + text("RDB$PACKAGE_HEADER_SOURCE") + " || '|' || " +
                           text("RDB$PACKAGE_BODY_SOURCE") +
                           " || '>>' FROM RDB$PACKAGES WHERE RDB$SYSTEM_FLAG IS DISTINCT FROM 1 "
                           "ORDER BY RDB$PACKAGE_NAME")) {
        auto f = SplitBars(row);
        if (f.size() != 5) {
            ADD_FAILURE() << row;
            continue;
        }
        for (std::string& s : f)
            for (char& c : s)
                if (c == '~') c = '\n';
        Valid.push_back(f[0] + "|" + f[1]);
        r.push_back({f[0], NormalizeLineBreaks(f[3]), NormalizeLineBreaks(f[4]), f[2]});
    }
    return r;
}

TEST(FirebirdPackages, NewChangedAndDroppedPackagesWithTheirCallers) {
    TempDatabase db(TargetDdl());
    std::string script;
    {
        Comparison c;
        Fill(c.M(), MasterPackages, MasterCallers);
        Fill(c.T(), TargetPackages, TargetCallers);
        std::string out;
        ASSERT_EQ(c.RunOn(db, out), 0) << c.ScriptText() << out;
        script = c.ScriptText();
    }
    // Every header comes before the first body, and the bodies after the routines' texts.
    const size_t lastHeader = script.rfind("CREATE OR ALTER PACKAGE");
    const size_t firstBody = script.find("RECREATE PACKAGE BODY");
    ASSERT_NE(lastHeader, std::string::npos) << script;
    ASSERT_NE(firstBody, std::string::npos) << script;
    EXPECT_LT(lastHeader, firstBody) << script;
    EXPECT_LT(script.find("ALTER PROCEDURE R"), firstBody) << script;
    EXPECT_NE(script.find("CREATE OR ALTER PACKAGE \"pk2\""), std::string::npos) << script;
    EXPECT_NE(script.find("DROP PACKAGE PKO"), std::string::npos) << script;

    std::vector<std::string> valid;
    const std::vector<PackageDef> stored = ReadPackages(db, valid);
    EXPECT_EQ(valid, (std::vector<std::string>{"PK|1", "PKN|1", "pk2|1"}));
    ASSERT_EQ(stored.size(), MasterPackages.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].Name, MasterPackages[i].Name);
        EXPECT_EQ(stored[i].Header, NormalizeLineBreaks(MasterPackages[i].Header)) << stored[i].Name;
        EXPECT_EQ(stored[i].Body, NormalizeLineBreaks(MasterPackages[i].Body)) << stored[i].Name;
        EXPECT_EQ(stored[i].Description, MasterPackages[i].Description) << stored[i].Name;
    }
    const std::vector<RoutineDef> routines = ReadRoutines(db);
    ASSERT_EQ(routines.size(), MasterCallers.size());
    for (const RoutineDef& r : routines) {
        const auto m = std::find_if(MasterCallers.begin(), MasterCallers.end(),
                                    [&](const Caller& c) { return c.Routine.Name == r.Name; });
        ASSERT_NE(m, MasterCallers.end()) << r.Name;
        EXPECT_EQ(NormalizeLineBreaks(r.Body), NormalizeLineBreaks(m->Routine.Body)) << r.Name;
    }

    // The target as the database reader reads it now equals the master.
    FirebirdComparison again(db.Path());
    Fill(*again.master.Objs(), MasterPackages, MasterCallers);
    ASSERT_TRUE(again.ReadTarget());
    again.q.Compare();
    EXPECT_EQ(again.Statements(), HeaderOnly(db.Path())) << again.Script();
}

} // namespace
