// The DDL reader on whole scripts: the Firebird examples' employee.sql, our Firebird 3 feature
// script, and isql's extract of the database each one builds. Every script must read without a
// message, and its tables, columns, constraints and indices must be what the catalogue of the
// database built from that same script holds.
#include "interbase/qnlIBParser.h"

#include "fixtures/FbFixture.h"
#include "fixtures/SchemaFacts.h"
#include "fixtures/ScriptFixtures.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

using test::CatalogueFacts;
using test::CompleteScript;
using test::TempDatabase;

std::string Messages(const TMsgManager& M) {
    std::string s;
    for (int i = 0; i < M.Count(); ++i)
        s += std::to_string(M.Items(i).Line) + ":" + std::to_string(M.Items(i).Column) + " " + M.Items(i).Text + "\n";
    return s;
}

// Reads Script as a Firebird 3 script and compares the result with Db's catalogue, which it
// answers.
test::SchemaFacts ExpectReadsAsCatalogue(const std::string& Script, const std::string& Name, const TempDatabase& Db) {
    SCOPED_TRACE(Name);
    TObjs objs;
    objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
    TIbParser parser;
    parser.ScriptName = Name;
    parser.OnError = [](TObject*, const std::string&) {};
    TStringList lines;
    lines.SetText(Script);
    parser.ParseScript(lines, &objs);
    parser.AfterParse();
    EXPECT_EQ(Messages(*parser.MsgManager), "");
    const test::SchemaFacts catalogue = CatalogueFacts(Db);
    EXPECT_FALSE(catalogue.Columns.empty());
    EXPECT_EQ(test::FactsDiff(test::StructureFacts(objs, catalogue), catalogue), "");
    return catalogue;
}

// The script, then isql's extract of its database against a database built from that extract.
void ExpectScriptAndExtractRead(const std::string& Script, const std::string& Name) {
    const TempDatabase db(CompleteScript{Script});
    const std::string charSet = ExpectReadsAsCatalogue(Script, Name, db).DatabaseCharSet;
    const std::string extract = test::ExtractSchema(db.Path());
    const TempDatabase rebuilt(extract, charSet);
    ExpectReadsAsCatalogue(extract, Name + " extracted by isql", rebuilt);
}

TEST(IbParserFixtures, EmployeeScriptAndItsExtractReadAsTheirCatalogues) {
    std::string why;
    const std::string script = test::EmployeeScript(why);
    if (script.empty()) GTEST_SKIP() << why;
    ExpectScriptAndExtractRead(script, "employee.sql");
}

TEST(IbParserFixtures, Firebird3FeaturesAndTheirExtractReadAsTheirCatalogues) {
    ExpectScriptAndExtractRead(test::FixtureScript("fb3_features.sql"), "fb3_features.sql");
}

} // namespace
} // namespace qnl
