// The comparer's scripts run on real Firebird databases: isql-fb is the witness.
#include "objects/qnlQuarnel.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/objects/FirebirdCompare.h"
#include "tests/objects/StructureBuilder.h"

#include <gtest/gtest.h>

#include <utility>

namespace qnl::test {
namespace {

const char* const ExceptionRows =
    "SELECT '<<' || TRIM(RDB$EXCEPTION_NAME) || '|' || RDB$MESSAGE || '>>' FROM RDB$EXCEPTIONS "
    "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY RDB$EXCEPTION_NAME";

std::vector<std::string> Statements(const TSQLExec& Exec) {
    std::vector<std::string> r;
    for (int i = 0; i < Exec.StatementCount(); ++i) r.push_back(Trim(Exec.Statements(i)->Lines.Text()));
    return r;
}

TEST(QuarnelFirebird, IdenticalSidesGiveTheHeaderOnlyAndItRuns) {
    TempDatabase db("CREATE EXCEPTION E1 'm';\nCREATE SEQUENCE G1;\n");
    FirebirdComparison c(db.Path());
    for (TObjs* o : {c.master.Objs(), c.target.Objs()}) {
        StructureBuilder b(*o);
        b.Exception("E1", "m");
        b.Generator("G1");
    }
    TIBServerOptions& o = c.target.Objs()->IBServerOptions;
    o.SetDBCharSet("UTF8");
    o.IBDatabaseOptions.ServerVersion = "LI-V3.0";
    o.IBDatabaseOptions.ODSMajor = 12;
    c.master.Objs()->IBServerOptions.SetDBCharSet("UTF8");
    c.q.Compare();
    EXPECT_TRUE(c.errors.empty());
    EXPECT_EQ(Statements(c.exec), (std::vector<std::string>{
                                      Trim(o.GetDatabaseInfoComment()), "SET NAMES UTF8", "SET SQL DIALECT 3",
                                      "CONNECT '" + db.Path() + "' USER 'SYSDBA' PASSWORD 'plumtrees'",
                                      "SET AUTODDL ON"}));
    std::string out;
    EXPECT_EQ(RunConnectingScript(db, c.Script(), out), 0) << c.Script() << out;
}

TEST(QuarnelFirebird, ExceptionScriptBringsTheTargetToTheMaster) {
    TempDatabase db("CREATE EXCEPTION E2 'old';\nCREATE EXCEPTION E3 'bye';\n");
    {
        FirebirdComparison c(db.Path());
        StructureBuilder m(*c.master.Objs()), t(*c.target.Objs());
        m.Exception("E1", "it's");
        m.Exception("E2", "new");
        t.Exception("E2", "old");
        t.Exception("E3", "bye");
        c.q.Compare();
        const std::string script = c.Script();
        EXPECT_NE(script.find("/* Create Exception... */\nCREATE EXCEPTION E1 'it''s';\n"), std::string::npos) << script;
        EXPECT_NE(script.find("/* Alter Exception... */\nALTER EXCEPTION E2 'new';\n"), std::string::npos) << script;
        EXPECT_NE(script.find("/* Drop Exception... */\n/* Drop: E3 (TExcData) */\nDROP EXCEPTION E3;\n"),
                  std::string::npos)
            << script;
        std::string out;
        ASSERT_EQ(RunConnectingScript(db, script + "COMMIT;\n", out), 0) << script << out;
    }
    const std::vector<std::string> rows = QueryRows(db, ExceptionRows);
    ASSERT_EQ(rows, (std::vector<std::string>{"E1|it's", "E2|new"}));

    // The target read back from the database now equals the master.
    FirebirdComparison again(db.Path());
    StructureBuilder m(*again.master.Objs()), t(*again.target.Objs());
    m.Exception("E1", "it's");
    m.Exception("E2", "new");
    for (const std::string& row : rows) {
        const size_t bar = row.find('|');
        t.Exception(row.substr(0, bar), row.substr(bar + 1));
    }
    again.q.Compare();
    EXPECT_EQ(Statements(again.exec),
              (std::vector<std::string>{"SET SQL DIALECT 3",
                                        "CONNECT '" + db.Path() + "' USER 'SYSDBA' PASSWORD 'plumtrees'",
                                        "SET AUTODDL ON"}));
}

TEST(QuarnelFirebird, DatabaseCharsetChangesOnFirebird3) {
    TempDatabase db("", "NONE");
    FirebirdComparison c(db.Path());
    c.q.IBCompareOptions().DbCharsetCompare = true;
    c.master.Objs()->IBServerOptions.SetDBCharSet("UTF8");
    c.q.Compare();
    const std::vector<std::string> texts = Statements(c.exec);
    ASSERT_GE(texts.size(), 7u);
    EXPECT_EQ(texts[3], "ALTER DATABASE SET DEFAULT CHARACTER SET UTF8");
    EXPECT_EQ(texts.back(), "RECONNECT");
    // isql has no RECONNECT; the executor runs it by connecting again.
    c.exec.Statements(c.exec.StatementCount() - 1)->Skip = true;
    std::string out;
    ASSERT_EQ(RunConnectingScript(db, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    EXPECT_EQ(QueryRows(db, "SELECT '<<' || TRIM(RDB$CHARACTER_SET_NAME) || '>>' FROM RDB$DATABASE"),
              (std::vector<std::string>{"UTF8"}));
}

} // namespace
} // namespace qnl::test
