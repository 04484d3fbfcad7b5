// The script of a whole structure on Firebird 3: a structure read from a script or from a
// database writes itself as one DDL script; isql-fb builds a new database from it without a
// single error, and isql's extract of the new database is the source database's.
#include "fixtures/LiveSide.h"

#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"

#include "core/qnlDBStructure.h"
#include "interbase/qnlScriptExtract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::TempDatabase;
using test::TempDir;
using Lines = std::vector<std::string>;

std::string Joined(const TStringList& L) {
    std::string s;
    for (int i = 0; i < L.Count(); ++i) s += L[i] + "\r\n";
    return s;
}

// The blocks of isql's extract only one side has; empty when the schemas agree.
std::string ExtractDiff(const std::string& Built, const std::string& Source) {
    const Lines b = test::ComparableExtract(Built, true), s = test::ComparableExtract(Source, true);
    Lines onlyBuilt, onlySource;
    std::set_difference(b.begin(), b.end(), s.begin(), s.end(), std::back_inserter(onlyBuilt));
    std::set_difference(s.begin(), s.end(), b.begin(), b.end(), std::back_inserter(onlySource));
    std::string d;
    for (const std::string& x : onlyBuilt) d += "--- built only:\n" + x + "\n";
    for (const std::string& x : onlySource) d += "--- source only:\n" + x + "\n";
    return d;
}

std::string DatabaseDescription(const std::string& Path) {
    TempDir dir;
    std::string out;
    test::RunIsqlScript(dir, "-q '" + Path + "'",
                        "SELECT '<<' || COALESCE(RDB$DESCRIPTION, '') || '>>' FROM RDB$DATABASE;\n", out);
    const Lines rows = test::Marked(out);
    return rows.size() == 1 ? rows[0] : "isql: " + out;
}

// Builds a database from the structure's script and compares it with the source database.
void ExpectScriptRebuilds(TObjs& Objs, const std::string& SourcePath) {
    TempDir dir;
    const std::string built = dir.File("built.fdb");
    Objs.ConnectionOptions.DatabaseName = built;
    Objs.ConnectionOptions.UserName = "SYSDBA";
    TStringList lines;
    Objs.GetScript(lines);
    EXPECT_EQ(Objs.ScriptLines.Count(), 0);
    const std::string script = Joined(lines);
    // The container's own start password is nobody's: the script does not write it.
    EXPECT_EQ(script.find("PASSWORD"), std::string::npos);
    std::string out;
    const int rc = test::RunIsqlScript(dir, "-q", script, out);
    ASSERT_TRUE(rc == 0 && out.find("Statement failed") == std::string::npos) << out << "\n=== script:\n" << script;
    EXPECT_EQ(ExtractDiff(built, SourcePath), "") << script;
    EXPECT_EQ(DatabaseDescription(built), DatabaseDescription(SourcePath));
}

struct Fixture {
    const char* Name;
    std::string Text;
};

std::vector<Fixture> Fixtures() {
    std::vector<Fixture> f;
    std::string why;
    if (std::string employee = test::EmployeeScript(why); !employee.empty()) f.push_back({"employee.sql", employee});
    f.push_back({"fb3_features.sql and fb3_structure.sql",
                 test::FixtureScript("fb3_features.sql") + "\n" + test::FixtureScript("fb3_structure.sql")});
    return f;
}

TEST(StructureScript, AScriptReadRebuildsItsDatabase) {
    test::PrepareFirebirdEnvironment();
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.Name);
        const TempDatabase source(test::CompleteScript{f.Text});
        const std::string file = source.Dir().File("source.sql");
        std::ofstream(file, std::ios::binary) << f.Text;
        TDBStructure structure;
        structure.Objs()->IBServerOptions.SQLServerVersion = st_Firebird_30;
        TIBScriptExtract reader;
        Lines errors;
        reader.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
        reader.SetDBStructure(&structure);
        reader.SetScriptFileName(file);
        ASSERT_TRUE(reader.ExtractDatabase()) << testing::PrintToString(errors);
        // The source ran without SET NAMES, and a computed column of no declared type takes its
        // length from the connection's character set.
        structure.Objs()->ScriptOptions.DBCharSet = false;
        ExpectScriptRebuilds(*structure.Objs(), source.Path());
        EXPECT_EQ(errors, Lines{});
    }
}

TEST(StructureScript, ADatabaseReadRebuildsItself) {
    test::PrepareFirebirdEnvironment();
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.Name);
        const TempDatabase source(test::CompleteScript{f.Text});
        test::LiveSide side(source.Path());
        ASSERT_TRUE(side.Extract()) << side.ErrorText();
        ExpectScriptRebuilds(side.Objs(), source.Path());
        EXPECT_EQ(side.ErrorText(), "");
    }
}

TEST(StructureScript, AFileThatCannotBeWrittenReachesTheReadersErrorEvent) {
    TempDir dir;
    const std::string file = dir.File("source.sql");
    std::ofstream(file, std::ios::binary) << "CREATE TABLE T (ID INTEGER);\n";
    TDBStructure structure;
    TIBScriptExtract reader;
    Lines errors;
    reader.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
    reader.SetDBStructure(&structure);
    reader.SetScriptFileName(file);
    ASSERT_TRUE(reader.ExtractDatabase());
    TObjs& objs = *structure.Objs();
    TStringList plain, withFiles;
    objs.GetScript(plain);
    objs.ObjectFilesDir = dir.File("missing");
    objs.GetScript(withFiles);
    EXPECT_EQ(Joined(withFiles), Joined(plain));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Cannot create the file " + dir.File("missing") + "/table_T_body.sql"), std::string::npos)
        << errors[0];
}

} // namespace
} // namespace qnl
