// The DDL reader on whole scripts: the Firebird examples' employee.sql, our Firebird 3 feature
// script, and isql's extract of the database each one builds. Every script must read without a
// message, and its tables, columns, constraints and indices must be what the catalogue of the
// database built from that same script holds.
#include "IbReader.h"

#include "fixtures/FbFixture.h"
#include "fixtures/SchemaFacts.h"
#include "fixtures/ScriptFixtures.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

using test::CatalogueFacts;
using test::CompleteScript;
using test::TempDatabase;

// Reads Script as a Firebird 3 script and compares the result with Db's catalogue, which it
// answers.
test::SchemaFacts ExpectReadsAsCatalogue(const std::string& Script, const std::string& Name, const TempDatabase& Db) {
    SCOPED_TRACE(Name);
    TObjs objs;
    EXPECT_EQ(test::ReadWholeScript(objs, Script, Name), "");
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

TEST(IbParserFixtures, Firebird3FormsAndTheirExtractReadAsTheirCatalogues) {
    ExpectScriptAndExtractRead(test::FixtureScript("fb3_forms.sql"), "fb3_forms.sql");
}

} // namespace
} // namespace qnl
