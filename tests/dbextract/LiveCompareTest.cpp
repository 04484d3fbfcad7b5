// The tool's main road on Firebird 3: master and target databases read through the binding,
// compared, the script executed on the target through the same connection. Firebird is the
// judge: afterwards isql's extract of the target is the master's, and a second comparison
// writes nothing but the header.
#include "fixtures/LiveSide.h"

#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"
#include "interbase/IBExReader.h"

#include "interbase/qnlIBSQLExec.h"
#include "objects/FirebirdCompare.h"
#include "objects/qnlComp_Viw.h"
#include "objects/qnlQuarnel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::LiveSide;
using test::TempDatabase;

// The blocks of isql's extract that only one of the two databases has; empty when they agree.
std::string ExtractDiff(const std::string& TargetPath, const std::string& MasterPath, bool WithoutGaps = false) {
    const std::vector<std::string> target = test::ComparableExtract(TargetPath, WithoutGaps),
                                   master = test::ComparableExtract(MasterPath, WithoutGaps);
    std::vector<std::string> onlyTarget, onlyMaster;
    std::set_difference(target.begin(), target.end(), master.begin(), master.end(), std::back_inserter(onlyTarget));
    std::set_difference(master.begin(), master.end(), target.begin(), target.end(), std::back_inserter(onlyMaster));
    std::string s;
    for (const std::string& b : onlyTarget) s += "only in the target:\n" + b + "\n";
    for (const std::string& b : onlyMaster) s += "only in the master:\n" + b + "\n";
    return s;
}

// A comparison whose target is a live database; the master is live too unless a test fills it
// from a script.
class LiveComparison {
public:
    explicit LiveComparison(const std::string& TargetPath) : Target(TargetPath) {
        q.SetDBStructureMaster(&Master);
        q.SetDBStructureTarget(&Target.Structure);
        q.SetSQLExec(&exec);
        exec.ServerType = stInterBase;
        exec.SetQNLConnection(&Target.Connection);
        q.OnErrorMessage = [this](TObject*, const std::string& Text) { errors.push_back(Text); };
        exec.OnErrorMessage = [this](TObject*, const std::string& Text) { errors.push_back(Text); };
        exec.OnLogNextLine = [this](TObject*, const std::string& Text) { log += Text + "\n"; };
    }
    ~LiveComparison() {
        exec.SetQNLConnection(nullptr);
        MasterSide.reset();
    }

    // Reads the master from a database.
    bool ReadMaster(const std::string& Path) {
        MasterSide = std::make_unique<LiveSide>(Path);
        MasterSide->Extractor.SetDBStructure(&Master);
        // As the comparer does before it extracts: the texts kept from the read follow its options.
        Master.Objs()->IBServerOptions.IBCompareOptions.Assign(q.IBCompareOptions());
        if (MasterSide->Extract()) return true;
        errors.insert(errors.end(), MasterSide->Errors.begin(), MasterSide->Errors.end());
        return false;
    }
    // Reads the target, compares; the statements that change something.
    std::vector<std::string> Compare() {
        Target.Structure.Objs()->IBServerOptions.IBCompareOptions.Assign(q.IBCompareOptions());
        if (!Target.Extract()) errors.insert(errors.end(), Target.Errors.begin(), Target.Errors.end());
        q.Compare();
        std::vector<std::string> changes;
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (!test::IsHeaderOrComment(*exec.Statements(i))) changes.push_back(exec.Statements(i)->Lines.Text());
        return changes;
    }
    std::string Script() {
        TStringList lines;
        exec.GetScriptText(lines, false);
        return lines.Text();
    }
    std::string Errors() const {
        std::string s;
        for (const std::string& e : errors) s += e + "\n";
        return s;
    }

    TDBStructure Master;
    std::unique_ptr<LiveSide> MasterSide;
    LiveSide Target;
    TQuarnel q;
    TIBSQLExec exec;
    std::vector<std::string> errors;
    std::string log;
};

// Master database against target database: the script runs on the target without an error,
// the target's extract becomes the master's, and comparing again finds nothing to do.
// FeatureSchema: our Firebird 3 feature schema, whose columns' character sets are compared and
// whose known gaps are left out of both extracts.
void ExpectTargetBecomesMaster(const TempDatabase& Master, const TempDatabase& Target, bool ExpectChanges = true,
                               bool FeatureSchema = false) {
    {
        LiveComparison c(Target.Path());
        c.q.IBCompareOptions().FldCharsetCompare = FeatureSchema;
        ASSERT_TRUE(c.ReadMaster(Master.Path())) << c.Errors();
        const std::vector<std::string> changes = c.Compare();
        ASSERT_EQ(c.Errors(), "");
        EXPECT_EQ(!changes.empty(), ExpectChanges) << c.Script();
        EXPECT_TRUE(c.exec.Execute()) << c.Errors() << c.log << c.Script();
        EXPECT_EQ(c.Errors(), "") << c.Script();
        EXPECT_EQ(c.exec.ErrorCount, 0);
    }
    EXPECT_EQ(ExtractDiff(Target.Path(), Master.Path(), FeatureSchema), "");
    LiveComparison again(Target.Path());
    again.q.IBCompareOptions().FldCharsetCompare = FeatureSchema;
    ASSERT_TRUE(again.ReadMaster(Master.Path())) << again.Errors();
    EXPECT_EQ(again.Compare(), std::vector<std::string>{}) << again.Script();
    EXPECT_EQ(again.Errors(), "");
}

TempDatabase Employee() {
    std::string why;
    const std::string script = test::EmployeeScript(why);
    if (script.empty()) throw std::runtime_error(why);
    return TempDatabase(test::CompleteScript{script});
}

TEST(LiveCompare, EmptyTargetBecomesTheEmployeeDatabase) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    if (test::EmployeeScript(why).empty()) GTEST_SKIP() << why;
    const TempDatabase master = Employee();
    const TempDatabase target("", "NONE");
    ExpectTargetBecomesMaster(master, target);
}

// Our Firebird 3 feature schema read from its database: computed columns with their declared
// types, named NOT NULL constraints and explicit NO ACTION rules come over as they are.
TEST(LiveCompare, EmptyTargetBecomesTheFirebird3FeaturesDatabase) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase master(test::CompleteScript{test::FixtureScript("fb3_features.sql")});
    const TempDatabase target("", "UTF8");
    ExpectTargetBecomesMaster(master, target, true, true);
}

TEST(LiveCompare, IdenticalDatabasesWriteOnlyTheHeader) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    if (test::EmployeeScript(why).empty()) GTEST_SKIP() << why;
    const TempDatabase master = Employee();
    const TempDatabase target = Employee();
    ExpectTargetBecomesMaster(master, target, false);
}

// The employee database against an older variant of itself: tables, columns, domains,
// procedures, triggers, views, generators, grants and descriptions changed.
TEST(LiveCompare, OlderEmployeeVariantIsBroughtUpToDate) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    if (test::EmployeeScript(why).empty()) GTEST_SKIP() << why;
    const TempDatabase master = Employee();
    const TempDatabase target = Employee();
    std::string out;
    const char* const older = R"(
DROP VIEW PHONE_LIST;
ALTER TABLE SALES DROP AGED;
ALTER TABLE COUNTRY ADD CAPITAL VARCHAR(20);
CREATE TABLE OBSOLETE (ID INTEGER NOT NULL PRIMARY KEY, NOTE VARCHAR(10));
CREATE INDEX IX_OBSOLETE ON OBSOLETE (NOTE);
ALTER DOMAIN PONUMBER DROP CONSTRAINT;
CREATE DOMAIN D_UNUSED AS INTEGER;
DROP TRIGGER POST_NEW_ORDER;
SET TERM ^ ;
ALTER PROCEDURE GET_EMP_PROJ (EMP_NO SMALLINT) RETURNS (PROJ_ID CHAR(5)) AS
BEGIN
  SUSPEND;
END^
ALTER TRIGGER SET_CUST_NO AS BEGIN NEW.CUST_NO = 0; END^
CREATE PROCEDURE OLD_ONE AS BEGIN END^
SET TERM ; ^
ALTER SEQUENCE EMP_NO_GEN INCREMENT BY 3;
CREATE SEQUENCE OLD_SEQ;
REVOKE ALL ON CUSTOMER FROM PUBLIC;
GRANT SELECT ON COUNTRY TO PUBLIC;
COMMENT ON TABLE COUNTRY IS 'Old countries';
COMMENT ON COLUMN EMPLOYEE.SALARY IS 'Old salary';
COMMIT;
)";
    ASSERT_EQ(test::RunSql(target, older, out), 0) << out;
    ExpectTargetBecomesMaster(master, target);
}

// Master and target of different default character sets, with and without the database's own
// set compared. Every column and domain of the master gets the master's character set on the
// target; with the default changed too the target's extract becomes the master's, and a second
// comparison finds nothing either way.
TEST(LiveCompare, DifferentDefaultCharacterSetsGiveTheMastersColumnSets) {
    test::PrepareFirebirdEnvironment();
    std::string why;
    if (test::EmployeeScript(why).empty()) GTEST_SKIP() << why;
    const std::string features = test::FixtureScript("fb3_features.sql");
    struct Case {
        const char* Name;
        bool FeaturesMaster;  // else the employee database against an empty UTF8 one
        bool DbCharsetCompare;
    };
    const Case cases[] = {
        {"UTF8 master, NONE target", true, false},
        {"UTF8 master, NONE target, default changed", true, true},
        {"NONE master, UTF8 target", false, false},
        {"NONE master, UTF8 target, default changed", false, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        const TempDatabase master = k.FeaturesMaster ? TempDatabase(test::CompleteScript{features}) : Employee();
        const TempDatabase target = k.FeaturesMaster ? Employee() : TempDatabase("", "UTF8");
        std::string out;
        // A database setting of the master's, not a schema object: the target gets it by hand.
        if (k.FeaturesMaster) {
            ASSERT_EQ(test::RunSql(target, "ALTER CHARACTER SET ISO8859_1 SET DEFAULT COLLATION PT_BR;\nCOMMIT;\n", out), 0)
                << out;
        }
        auto compare = [&](LiveComparison& c) {
            c.q.IBCompareOptions().FldCharsetCompare = true;
            c.q.IBCompareOptions().DbCharsetCompare = k.DbCharsetCompare;
            EXPECT_TRUE(c.ReadMaster(master.Path())) << c.Errors();
            return c.Compare();
        };
        {
            LiveComparison c(target.Path());
            compare(c);
            ASSERT_EQ(c.Errors(), "");
            EXPECT_TRUE(c.exec.Execute()) << c.Errors() << c.log << c.Script();
            EXPECT_EQ(c.exec.ErrorCount, 0) << c.Script();
        }
        EXPECT_EQ(test::CharacterSets(target), test::CharacterSets(master));
        if (k.DbCharsetCompare) {
            // A computed column's type follows its expression, whose literals take the
            // connection's character set: UTF8 once the script has set it, NONE where isql
            // built the master.
            auto extract = [](const TempDatabase& Db) {
                std::vector<std::string> blocks = test::ComparableExtract(Db.Path(), true);
                for (std::string& b : blocks)
                    for (size_t at = b.find("DISPLAY_NAME "); at != std::string::npos; at = b.find("DISPLAY_NAME ", at + 1))
                        if (const size_t open = b.find("VARCHAR(", at); open != std::string::npos && open < b.find('\n', at))
                            b.erase(open + 8, b.find(')', open) - open - 8);
                return blocks;
            };
            const std::vector<std::string> updated = extract(target), wanted = extract(master);
            std::vector<std::string> onlyUpdated, onlyWanted;
            std::set_difference(updated.begin(), updated.end(), wanted.begin(), wanted.end(), std::back_inserter(onlyUpdated));
            std::set_difference(wanted.begin(), wanted.end(), updated.begin(), updated.end(), std::back_inserter(onlyWanted));
            EXPECT_EQ(onlyUpdated, onlyWanted);
        }
        LiveComparison again(target.Path());
        EXPECT_EQ(compare(again), std::vector<std::string>{}) << again.Script();
    }
}

// A master read from a script against the database built from that script: nothing to do.
TEST(LiveCompare, ScriptMasterAgainstItsDatabaseWritesOnlyTheHeader) {
    test::PrepareFirebirdEnvironment();
    for (const char* name : {"fb3_features.sql", "fb3_forms.sql"}) {
        SCOPED_TRACE(name);
        const std::string script = test::FixtureScript(name);
        const TempDatabase target(test::CompleteScript{script});
        LiveComparison c(target.Path());
        // The database's character set comes with the CREATE DATABASE line the reader hands on.
        c.Master.Objs()->IBServerOptions.SetDBCharSet("UTF8");
        // Read as the script extractor reads, with the body reader: a view without a column list
        // gets the names its query gives.
        ASSERT_EQ(test::ReadWithBodies(*c.Master.Objs(), script, name), "");
        c.Master.Objs()->SourceKind = 2;
        EXPECT_EQ(c.Compare(), std::vector<std::string>{}) << c.Script();
        EXPECT_EQ(c.Errors(), "");
    }
}

// A database built by a script that sends its names and texts as UTF-8, whatever the
// database's default character set.
TempDatabase Utf8Built(const std::string& CharSet, const std::string& Ddl) {
    return TempDatabase(test::CompleteScript{"SET NAMES UTF8;\nCREATE DATABASE 'test.fdb' USER 'SYSDBA' DEFAULT "
                                             "CHARACTER SET " +
                                             CharSet + ";\n" + Ddl});
}

// Rows as isql shows them over a UTF-8 connection.
std::vector<std::string> Utf8Rows(const TempDatabase& Db, const std::string& Select) {
    std::string out;
    if (test::RunIsqlScript(Db.Dir(), "-q -b -ch UTF8 -user SYSDBA '" + Db.Path() + "'", Select + ";\n", out) != 0)
        return {"isql failed: " + out};
    return test::Marked(out);
}

// Databases of different default character sets with names outside ASCII: both are read in
// UTF-8, so their tables pair and the one holding rows is altered, never dropped.
TEST(LiveCompare, NamesOutsideAsciiPairAcrossDefaultCharacterSets) {
    test::PrepareFirebirdEnvironment();
    const std::string table = "CREATE TABLE \"ÄÖÜ\" (ID INTEGER NOT NULL PRIMARY KEY, \"Straße\" VARCHAR(20));\n";
    const std::string master = table +
                               "ALTER TABLE \"ÄÖÜ\" ADD \"Größe\" INTEGER DEFAULT 5;\n"
                               "CREATE VIEW \"Übersicht\" AS SELECT ID, \"Straße\" FROM \"ÄÖÜ\";\n"
                               "SET TERM ^;\n"
                               "CREATE PROCEDURE \"Prüfe\" (\"Wert\" INTEGER) RETURNS (\"Ergebnis\" INTEGER) AS\n"
                               "BEGIN \"Ergebnis\" = \"Wert\"; SUSPEND; END^\n"
                               "SET TERM ;^\n";
    const std::string target = table + "INSERT INTO \"ÄÖÜ\" VALUES (1, 'Grüße');\n"
                                       "INSERT INTO \"ÄÖÜ\" VALUES (2, 'Öl');\n";
    for (const auto& [masterSet, targetSet] : {std::pair{"UTF8", "WIN1252"}, std::pair{"WIN1252", "UTF8"}}) {
        SCOPED_TRACE(std::string(masterSet) + " master, " + targetSet + " target");
        const TempDatabase m = Utf8Built(masterSet, master), t = Utf8Built(targetSet, target);
        ExpectTargetBecomesMaster(m, t);
        EXPECT_EQ(Utf8Rows(t, "SELECT '<<' || ID || '|' || \"Straße\" || '|' || COALESCE(\"Größe\", '-') || '>>' "
                              "FROM \"ÄÖÜ\" ORDER BY ID"),
                  (std::vector<std::string>{"1|Grüße|-", "2|Öl|-"}));
    }
}

// A database compared with isql's extract of itself: its names and texts, read over UTF-8,
// are the script's, also those its default character set cannot hold.
TEST(LiveCompare, Win1252DatabaseAgainstItsOwnExtractWritesOnlyTheHeader) {
    test::PrepareFirebirdEnvironment();
    const TempDatabase db = Utf8Built("WIN1252", "CREATE DOMAIN \"Größe\" AS VARCHAR(10) DEFAULT 'Grüß';\n"
                                                 "CREATE TABLE \"ÄÖÜ\" (ID INTEGER NOT NULL PRIMARY KEY, G \"Größe\","
                                                 " N VARCHAR(10) DEFAULT 'Öl');\n"
                                                 "CREATE TABLE \"Пример\" (\"Имя\" INTEGER);\n"
                                                 "CREATE EXCEPTION \"Fehler\" 'Ungültig: ä';\n"
                                                 "COMMENT ON TABLE \"ÄÖÜ\" IS 'Übung';\n"
                                                 "SET TERM ^;\n"
                                                 "CREATE PROCEDURE \"Prüfe\" AS DECLARE S VARCHAR(5) = 'ß'; BEGIN END^\n"
                                                 "SET TERM ;^\n");
    const std::string script = test::ExtractSchema(db.Path());
    LiveComparison c(db.Path());
    c.Master.Objs()->IBServerOptions.SetDBCharSet("WIN1252");
    ASSERT_EQ(test::ReadWithBodies(*c.Master.Objs(), script, "extract.sql"), "");
    c.Master.Objs()->SourceKind = 2;
    EXPECT_EQ(c.Compare(), std::vector<std::string>{}) << c.Script();
    EXPECT_EQ(c.Errors(), "");
    EXPECT_NE(c.Target.Objs().FindTable("Пример"), nullptr);
}

// Names Firebird keeps with leading blanks, and stored defaults with a line comment before the
// value: the database reads as the script that built it, so comparing the two finds nothing.
TEST(LiveCompare, LeadingBlanksAndCommentedDefaultsReadAsTheirScript) {
    test::PrepareFirebirdEnvironment();
    const std::string script = "CREATE DOMAIN \" d\" AS INTEGER DEFAULT -- the domain's\n 3;\n"
                               "CREATE TABLE \" lead\" (\" c\" INTEGER NOT NULL, \" e\" \" d\","
                               " D INTEGER DEFAULT -- why four\n 4,\n"
                               " CONSTRAINT \" pk\" PRIMARY KEY (\" c\"));\n"
                               "CREATE INDEX \" ix\" ON \" lead\" (D);\n"
                               "CREATE VIEW \" v\" AS SELECT \" c\", D FROM \" lead\";\n"
                               "CREATE ROLE \" r\";\n"
                               "GRANT SELECT ON \" lead\" TO \" r\";\n"
                               "SET TERM ^;\n"
                               "CREATE TRIGGER \" tr\" FOR \" lead\" BEFORE INSERT AS BEGIN NEW.D = 1; END^\n"
                               "SET TERM ;^\n";
    const TempDatabase target(script);
    LiveComparison c(target.Path());
    ASSERT_EQ(test::ReadWithBodies(*c.Master.Objs(), script, "lead.sql"), "");
    c.Master.Objs()->SourceKind = 2;
    EXPECT_EQ(c.Compare(), std::vector<std::string>{}) << c.Script();
    EXPECT_EQ(c.Errors(), "");
    const auto* table = dynamic_cast<const TTblData*>(c.Target.Objs().FindTable(" lead"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->GetColumnCount(), 3);
    EXPECT_EQ(table->Column(0)->Name, " c");
    EXPECT_NE(c.Target.Objs().FindTrigger(" tr"), nullptr);
    EXPECT_NE(c.Target.Objs().FindIndex(" ix"), nullptr);
}

// Views written without a column list: the script reader names their columns as Firebird does
// (each item's alias, else the column it reads), which the database built from the script shows;
// such a view pairs with its database view. A query whose names it cannot tell for certain ("*")
// keeps its list empty, and the view is still dropped and created as before.
TEST(LiveCompare, ViewsWithoutAColumnListPairWithTheNamesFirebirdGives) {
    test::PrepareFirebirdEnvironment();
    struct Case {
        const char* View;
        const char* Query;
        const char* Names;  // the names the reader derives, "|"-separated; "" for none
    };
    const Case cases[] = {
        {"V_ALIAS", "SELECT A, B AS X FROM T", "A|X"},
        {"V_QUALIFIED", "SELECT T.A, T.B Y, \"c\", T.\"c\" AS \"d e\" FROM T", "A|Y|c|d e"},
        {"V_UNION", "SELECT A, 1 AS ONE FROM T UNION SELECT A, 2 FROM T", "A|ONE"},
        {"V_CTE", "WITH W AS (SELECT A AS Q FROM T) SELECT Q, (SELECT MAX(A) FROM T) AS M FROM W", "Q|M"},
        {"V_DERIVED", "SELECT FIRST 5 DISTINCT D.A, D.N FROM (SELECT A, COUNT(*) AS N FROM T GROUP BY A) D", "A|N"},
        {"V_STAR", "SELECT * FROM T", ""},
        {"V_TABLE_STAR", "SELECT T.* FROM T", ""},
    };
    std::string script = "CREATE TABLE T (A INTEGER, B VARCHAR(10), \"c\" INTEGER);\n";
    for (const Case& k : cases) script += std::string("CREATE VIEW ") + k.View + " AS " + k.Query + ";\n";
    const TempDatabase target(script);
    LiveComparison c(target.Path());
    ASSERT_EQ(test::ReadWithBodies(*c.Master.Objs(), script, "views.sql"), "");
    const std::vector<std::string> changes = c.Compare();
    ASSERT_EQ(c.Errors(), "");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.View);
        const auto* master = dynamic_cast<const TViwData*>(c.Master.Objs()->FindView(k.View));
        const auto* stored = dynamic_cast<const TViwData*>(c.Target.Objs().FindView(k.View));
        ASSERT_TRUE(master && stored);
        const std::string derived = test::DerivedNames(*master);
        std::string firebird;
        for (int i = 0; i < stored->Columns.Count(); ++i) firebird += (i ? "|" : "") + stored->Columns[i];
        EXPECT_EQ(derived, k.Names);
        if (*k.Names) {
            EXPECT_EQ(derived, firebird);
        }
        // Only the views without derived names are dropped and created again.
        // (No view's name begins another's.)
        const std::string drop = std::string("DROP VIEW ") + k.View;
        const bool dropped = std::any_of(changes.begin(), changes.end(),
                                         [&](const std::string& Change) { return Change.rfind(drop, 0) == 0; });
        EXPECT_EQ(dropped, !*k.Names) << c.Script();
    }
}

// A database view whose column list renames a column differs from the script's view without a
// list, although their queries are the same: the script drops and creates it, after which the
// two agree.
TEST(LiveCompare, ADatabaseViewThatRenamesAColumnIsCreatedAgain) {
    test::PrepareFirebirdEnvironment();
    const std::string table = "CREATE TABLE T (A INTEGER, B VARCHAR(10));\n";
    const std::string master = table + "CREATE VIEW V AS SELECT A, B AS X FROM T;\n";
    const TempDatabase target(table + "CREATE VIEW V (A, RENAMED) AS SELECT A, B AS X FROM T;\n");
    {
        LiveComparison c(target.Path());
        ASSERT_EQ(test::ReadWithBodies(*c.Master.Objs(), master, "master.sql"), "");
        const std::vector<std::string> changes = c.Compare();
        ASSERT_EQ(c.Errors(), "");
        const std::string script = c.Script();
        EXPECT_NE(script.find("DROP VIEW V"), std::string::npos) << script;
        EXPECT_NE(script.find("CREATE VIEW V\r\n AS \r\nSELECT A, B AS X FROM T"), std::string::npos) << script;
        EXPECT_TRUE(c.exec.Execute()) << c.Errors() << c.log << script;
    }
    LiveComparison again(target.Path());
    ASSERT_EQ(test::ReadWithBodies(*again.Master.Objs(), master, "master.sql"), "");
    EXPECT_EQ(again.Compare(), std::vector<std::string>{}) << again.Script();
    const auto* stored = dynamic_cast<const TViwData*>(again.Target.Objs().FindView("V"));
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->Columns.Count(), 2);
    EXPECT_EQ(stored->Columns[1], "X");
}


// Routines that run in an external engine have no body: the catalogue keeps their external name
// and engine, and the update script writes them (packaged ones with their package's body).
// Firebird 3 loads the module when such a routine is created and refuses the declaration
// without it, so the databases are built, and the script run, by isql under the engine
// configuration that finds the test module.
TEST(LiveCompare, ExternalEngineRoutinesAreWrittenWithTheirNameAndEngine) {
    const test::UdrEngine udr;
    const std::string rows = "'" + std::string(test::UdrModule) + "!rows' ENGINE UDR";
    const std::string answer = "'" + std::string(test::UdrModule) + "!answer' ENGINE UDR";
    const TempDatabase master(test::CompleteScript{test::FixtureScript("fb3_external.sql")});
    const TempDatabase target("", "UTF8");
    {
        LiveComparison c(target.Path());
        ASSERT_TRUE(c.ReadMaster(master.Path())) << c.Errors();
        const std::vector<std::string> changes = c.Compare();
        ASSERT_EQ(c.Errors(), "");
        std::string script;
        for (const std::string& change : changes) script += change + "\n";
        // Routines are created with a stub body first, then altered to what they are.
        for (const std::string& routine :
             {"ALTER PROCEDURE P_ROWS(N INTEGER)\r\n RETURNS(R INTEGER)\r\n\r\nEXTERNAL NAME " + rows,
              "ALTER FUNCTION F_ANSWER(N INTEGER)\r\n RETURNS INTEGER\r\n\r\nEXTERNAL NAME " + answer,
              "PROCEDURE PP RETURNS (R INTEGER) EXTERNAL NAME " + rows})
            EXPECT_NE(script.find(routine), std::string::npos) << routine << "\nin:\n" << script;
        std::string out;
        ASSERT_EQ(test::RunSql(target, c.Script(), out), 0) << out << c.Script();
    }
    EXPECT_EQ(ExtractDiff(target.Path(), master.Path()), "");
    LiveComparison again(target.Path());
    ASSERT_TRUE(again.ReadMaster(master.Path())) << again.Errors();
    EXPECT_EQ(again.Compare(), std::vector<std::string>{}) << again.Script();
    EXPECT_EQ(again.Errors(), "");
}

} // namespace
} // namespace qnl
