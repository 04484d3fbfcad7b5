// What the comparer writes for a Firebird 3 target reads back into what it was written from: the
// structure read from our feature script is compared with an empty target, and the script that
// creates everything, read again, must hold the same objects.
#include "IbReader.h"

#include "fixtures/SchemaFacts.h"
#include "fixtures/ScriptFixtures.h"
#include "objects/qnlQuarnel.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

// The comparer's script that brings Target to Master, as it is saved.
std::string UpdateScript(TDBStructure& Master, TDBStructure& Target) {
    for (TObjs* o : {Master.Objs(), Target.Objs()}) {
        o->SetServerType(stInterBase);
        o->IBServerOptions.SQLServerVersion = st_Firebird_30;
        o->IBServerOptions.SetDBCharSet("UTF8");
    }
    Target.Objs()->ConnectionOptions.DatabaseName = "target.fdb";
    TSQLExec exec;
    exec.ServerType = stInterBase;
    TQuarnel q;
    // Column and parameter character sets are written only when they are compared.
    q.IBCompareOptions().FldCharsetCompare = true;
    std::vector<std::string> errors;
    q.OnErrorMessage = [&errors](TObject*, const std::string& Text) { errors.push_back(Text); };
    q.SetDBStructureMaster(&Master);
    q.SetDBStructureTarget(&Target);
    q.SetSQLExec(&exec);
    q.Compare();
    EXPECT_EQ(errors, std::vector<std::string>{});
    TStringList lines;
    exec.GetScriptText(lines, false);
    std::string s;
    for (int i = 0; i < lines.Count(); ++i) s += lines[i] + "\n";
    return s;
}

void Read(TObjs& Objs, const std::string& Script, const std::string& Name) {
    EXPECT_EQ(test::ReadWholeScript(Objs, Script, Name), "") << Name;
}

// The facts of the kinds the reader fills beside tables. Left out, as the writers of those
// kinds do not write them yet: generators' START WITH and INCREMENT (Firebird 3 gets a bare
// CREATE GENERATOR) and the descriptions of view columns. Tables are the table reader's
// round trip; their writer leaves out an identity's START WITH and a computed column's type.
test::SchemaFacts RoutineFacts(const TObjs& Objs, const std::vector<std::string>& ViewColumns) {
    test::SchemaFacts settings;
    settings.DatabaseCharSet = "UTF8";
    test::SchemaFacts all = test::StructureFacts(Objs, settings), facts;
    for (const char* kind : {"procedure", "parameter", "package", "trigger", "view", "exception", "collation", "domain",
                             "external function", "argument", "role", "grant"})
        facts.Objects[kind] = all.Objects[kind];
    for (const std::string& line : all.Objects["description"]) {
        bool viewColumn = false;
        for (const std::string& v : ViewColumns) viewColumn = viewColumn || line.compare(0, v.size(), v) == 0;
        if (!viewColumn) facts.Objects["description"].push_back(line);
    }
    return facts;
}

TEST(IbParserRoundTrip, TheComparersCreateScriptReadsBackIntoTheSameObjects) {
    TDBStructure master, target, reread;
    Read(*master.Objs(), test::FixtureScript("fb3_features.sql"), "fb3_features.sql");
    const std::string script = UpdateScript(master, target);
    Read(*reread.Objs(), script, "update script");
    std::vector<std::string> viewColumns;
    const TDbObjList& views = master.Objs()->List(olViews);
    for (int i = 0; i < views.Count(); ++i) viewColumns.push_back("COLUMN " + views.Obj(i)->Name + ".");
    const test::SchemaFacts expected = RoutineFacts(*master.Objs(), viewColumns);
    EXPECT_GT(expected.Objects.at("trigger").size(), 5u);
    EXPECT_EQ(test::FactsDiff(RoutineFacts(*reread.Objs(), viewColumns), expected), "") << script;
}

TEST(IbParserRoundTrip, TheComparersAlterScriptReadOverTheTargetGivesTheMaster) {
    // The target differs from the master in bodies, heads, messages and descriptions, and has
    // objects the master lacks; the update script read over the target's script must give the
    // master's objects.
    const std::string masterScript = test::FixtureScript("fb3_features.sql");
    std::string targetScript = masterScript;
    const std::pair<std::string, std::string> changes[] = {
        {"RETURN X * 2;", "RETURN X * 3;"},
        {"AFTER INSERT OR UPDATE OR DELETE POSITION 5", "AFTER INSERT OR UPDATE POSITION 6"},
        {"'No such customer'", "'Gone'"},
        {"COMMENT ON PROCEDURE ADD_CUSTOMER IS 'Adds one'", "COMMENT ON PROCEDURE ADD_CUSTOMER IS 'Adds'"},
        {"REDEFINED (B VARCHAR(5), C DATE) RETURNS (R INTEGER)", "REDEFINED (B VARCHAR(6)) RETURNS (R BIGINT)"},
        {"WHERE QTY > 10", "WHERE QTY > 20"},
        {"RETURN GROSS * 0.75;", "RETURN GROSS;"},
        {"CREATE EXCEPTION E_CHANGED 'old';", "CREATE EXCEPTION E_CHANGED 'old';\nCREATE EXCEPTION E_TARGET_ONLY 'x';"},
    };
    for (const auto& [from, to] : changes) {
        const size_t at = targetScript.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        targetScript.replace(at, from.size(), to);
    }
    TDBStructure master, target, reread;
    Read(*master.Objs(), masterScript, "fb3_features.sql");
    Read(*target.Objs(), targetScript, "target");
    const std::string script = UpdateScript(master, target);
    for (const char* statement : {"DROP EXCEPTION E_TARGET_ONLY", "ALTER EXCEPTION E_NO_CUSTOMER", "ALTER PROCEDURE REDEFINED",
                                  "DROP TRIGGER ORDERS_AIUD", "DROP VIEW V_BIG_ORDERS"})
        EXPECT_NE(script.find(statement), std::string::npos) << statement << "\n" << script;
    Read(*reread.Objs(), targetScript + "\n" + script, "target and update script");
    std::vector<std::string> viewColumns;
    const TDbObjList& views = master.Objs()->List(olViews);
    for (int i = 0; i < views.Count(); ++i) viewColumns.push_back("COLUMN " + views.Obj(i)->Name + ".");
    EXPECT_EQ(test::FactsDiff(RoutineFacts(*reread.Objs(), viewColumns), RoutineFacts(*master.Objs(), viewColumns)), "")
        << script;
}

} // namespace
} // namespace qnl
