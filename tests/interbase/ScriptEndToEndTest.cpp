// Scripts compared end to end on Firebird 3: master and target are script files read by the
// script extractor, the comparer writes the update script into the script executor, isql-fb (or
// the data-access layer's script runner) runs it on a database built from the target, and isql-fb -x of that database must equal the one of
// a database built from the master.
#include "interbase/qnlIBSQLExec.h"
#include "interbase/qnlScriptExtract.h"

#include "client/pFIBScripter.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"
#include "fixtures/ScriptFixtures.h"
#include "objects/qnlQuarnel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::CompleteScript;
using test::TempDatabase;
using test::TempDir;
using Lines = std::vector<std::string>;

void Write(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

// Equal extracts; a difference is shown as the blocks only one side has.
void ExpectSameBlocks(const Lines& Updated, const Lines& Master, const std::string& Script) {
    if (Updated == Master) return;
    Lines onlyUpdated, onlyMaster;
    std::set_difference(Updated.begin(), Updated.end(), Master.begin(), Master.end(), std::back_inserter(onlyUpdated));
    std::set_difference(Master.begin(), Master.end(), Updated.begin(), Updated.end(), std::back_inserter(onlyMaster));
    std::string shown;
    for (const std::string& b : onlyUpdated) shown += "--- updated target only:\n" + b + "\n";
    for (const std::string& b : onlyMaster) shown += "--- master only:\n" + b + "\n";
    ADD_FAILURE() << shown << "=== update script:\n" << Script;
}

// Two script extractors, the comparer and the Firebird executor, as the window wires them.
struct ScriptComparison {
    TDBStructure Master, Target;
    TIBScriptExtract MasterX, TargetX;
    TIBSQLExec Exec;
    TQuarnel Q;
    Lines Errors;

    ScriptComparison(const std::string& MasterFiles, const std::string& TargetFiles) {
        for (TObjs* o : {Master.Objs(), Target.Objs()}) {
            o->SetServerType(stInterBase);
            o->IBServerOptions.SQLServerVersion = st_Firebird_30;
        }
        Exec.IBServerOptions.SQLServerVersion = st_Firebird_30;
        MasterX.SetScriptFileName(MasterFiles);
        TargetX.SetScriptFileName(TargetFiles);
        for (TCustomExtract* x : {static_cast<TCustomExtract*>(&MasterX), static_cast<TCustomExtract*>(&TargetX)})
            x->SetOnErrorMessage([this](TObject*, const std::string& t) { Errors.push_back(t); });
        Q.OnErrorMessage = [this](TObject*, const std::string& t) { Errors.push_back(t); };
        Q.SetDBStructureMaster(&Master);
        Q.SetDBStructureTarget(&Target);
        Q.SetExtractorMaster(&MasterX);
        Q.SetExtractorTarget(&TargetX);
        Q.SetSQLExec(&Exec);
        // The character sets and collations of columns are part of the schema isql shows.
        Q.IBCompareOptions().FldCharsetCompare = true;
    }

    // Reads both sides and writes the update script for the database at TargetPath.
    bool Run(const std::string& TargetPath) {
        if (!Q.Extract()) return false;
        Target.Objs()->ConnectionOptions.DatabaseName = TargetPath;
        Target.Objs()->ConnectionOptions.UserName = "SYSDBA";
        Q.Compare();
        return Errors.empty();
    }

    // The script as it is saved. isql has no RECONNECT: the executor runs it by connecting
    // again, and so does the saved script.
    std::string Script() {
        const TObjs& t = *Target.Objs();
        for (int i = 0; i < Exec.StatementCount(); ++i)
            if (Exec.Statements(i)->Kind == skReConnect)
                Exec.Statements(i)->Lines.SetText(t.IBServerOptions.GetConnectStatement(t.ConnectionOptions));
        TStringList lines;
        Exec.GetScriptText(lines, false);
        std::string s;
        for (int i = 0; i < lines.Count(); ++i) s += lines[i] + "\n";
        return s;
    }

    // The statements that change something: neither the header nor comments.
    Lines Changes() const {
        Lines r;
        for (int i = 0; i < Exec.StatementCount(); ++i) {
            const TStatement& s = *Exec.Statements(i);
            switch (s.Kind) {
            case skComment:
            case skConnect:
            case skSet:
            case skSqlDialect:
            case skSetNames: break;
            default: r.push_back(Trim(s.Lines.Text()));
            }
        }
        return r;
    }
};

// The character set a complete script gives its database.
std::string DatabaseCharSet(const TempDatabase& Db) {
    const Lines rows = test::QueryRows(Db, "SELECT '<<' || TRIM(COALESCE(RDB$CHARACTER_SET_NAME, 'NONE')) || '>>' FROM RDB$DATABASE");
    return rows.size() == 1 ? rows[0] : "NONE";
}

// The master script against a target script: the update script run on a database built from
// the target makes it equal to one built from the master.
// Runs an update script on Target with the data-access layer's script runner, as isql would.
void RunWithScriptRunner(const std::string& Script) {
    TpFIBScripter runner;
    runner.Script().SetText(Script);
    runner.OnExecuteError = [](TObject*, int No, int Line, const TStringList& Statement, int, const std::string& Msg,
                               bool&, bool&) {
        ADD_FAILURE() << "statement " << No << " at line " << Line << ":\n" << Statement.Text() << Msg;
    };
    runner.ExecuteScript();
}

void ExpectUpdateBringsTargetToMaster(const std::string& MasterPath, const std::string& MasterText,
                                      const std::string& TargetPath, const std::string& TargetText,
                                      bool WithoutGaps = false, bool ByScriptRunner = false) {
    const TempDatabase reference(CompleteScript{MasterText});
    const TempDatabase target = TargetText.empty() ? TempDatabase("", DatabaseCharSet(reference))
                                                   : TempDatabase(CompleteScript{TargetText});
    ScriptComparison c(MasterPath, TargetPath);
    ASSERT_TRUE(c.Run(target.Path())) << testing::PrintToString(c.Errors);
    const std::string script = c.Script();
    if (ByScriptRunner) {
        RunWithScriptRunner(script + "COMMIT;\n");
    } else {
        std::string out;
        ASSERT_EQ(test::RunConnectingScript(target, script + "COMMIT;\n", out), 0) << script << out;
    }
    ExpectSameBlocks(test::ComparableExtract(target.Path(), WithoutGaps), test::ComparableExtract(reference.Path(), WithoutGaps),
                     script);
}

TEST(ScriptEndToEnd, EmployeeScriptAgainstAnEmptyScript) {
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    if (employee.empty()) GTEST_SKIP() << why;
    TempDir dir;
    Write(dir.File("employee.sql"), employee);
    Write(dir.File("empty.sql"), "");
    ExpectUpdateBringsTargetToMaster(dir.File("employee.sql"), employee, dir.File("empty.sql"), "");
}

TEST(ScriptEndToEnd, Firebird3FeaturesAgainstAnEmptyScript) {
    TempDir dir;
    Write(dir.File("empty.sql"), "");
    ExpectUpdateBringsTargetToMaster(test::FixtureScriptPath("fb3_features.sql"), test::FixtureScript("fb3_features.sql"),
                                     dir.File("empty.sql"), "", true);
}

TEST(ScriptEndToEnd, Firebird3FormsAgainstAnEmptyScript) {
    TempDir dir;
    Write(dir.File("empty.sql"), "");
    ExpectUpdateBringsTargetToMaster(test::FixtureScriptPath("fb3_forms.sql"), test::FixtureScript("fb3_forms.sql"),
                                     dir.File("empty.sql"), "", true);
}

// A target script that creates its keys without names: only the server knows their names, and
// the update script still drops the ones the master changes or lacks.
TEST(ScriptEndToEnd, Firebird3FeaturesOverTheEmployeeScript) {
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    if (employee.empty()) GTEST_SKIP() << why;
    // The script is read as shipped; its database is built in the master's default character
    // set, as for an empty target (databases whose defaults differ are a gap of their own).
    std::string database = employee;
    const std::string create = "create database 'employee.fdb'";
    const size_t at = database.find(create);
    ASSERT_NE(at, std::string::npos);
    database.insert(at + create.size(), " default character set UTF8");
    TempDir dir;
    Write(dir.File("employee.sql"), employee);
    for (bool byScriptRunner : {false, true}) {
        SCOPED_TRACE(byScriptRunner ? "run by the script runner" : "run by isql");
        ExpectUpdateBringsTargetToMaster(test::FixtureScriptPath("fb3_features.sql"),
                                         test::FixtureScript("fb3_features.sql"), dir.File("employee.sql"), database,
                                         true, byScriptRunner);
    }
}

// An older variant of employee.sql: a domain, a column, a view, a trigger, a procedure and grants
// as they were, and a table and a column since dropped.
TEST(ScriptEndToEnd, EmployeeScriptAgainstAnOlderVariant) {
    std::string why;
    const std::string employee = test::EmployeeScript(why);
    if (employee.empty()) GTEST_SKIP() << why;
    struct Edit {
        const char* Now;
        const char* Then;
    };
    const Edit edits[] = {
        {"CREATE DOMAIN firstname     AS VARCHAR(15);", "CREATE DOMAIN firstname     AS VARCHAR(15) DEFAULT 'N.N.';"},
        {"    currency        VARCHAR(10) NOT NULL", "    currency        VARCHAR(10),\n    old_code        CHAR(2)"},
        {"emp_no, first_name, last_name, phone_ext, location, phone_no\n",
         "emp_no, first_name, last_name, phone_ext, location\n"},
        {"new.emp_no = gen_id(emp_no_gen, 1);", "new.emp_no = gen_id(emp_no_gen, 2);"},
        {"RETURNS (proj_id CHAR(5)) AS", "RETURNS (proj_id CHAR(4)) AS"},
        {"GRANT ALL PRIVILEGES ON job TO PUBLIC WITH GRANT OPTION;", "GRANT SELECT ON job TO PUBLIC;"},
        {"GRANT EXECUTE ON PROCEDURE show_langs TO PUBLIC WITH GRANT OPTION;",
         "CREATE TABLE retired (id INTEGER);\nGRANT SELECT ON retired TO PUBLIC;"},
    };
    std::string older = employee;
    for (const Edit& e : edits) {
        const size_t at = older.find(e.Now);
        ASSERT_NE(at, std::string::npos) << e.Now;
        ASSERT_EQ(older.find(e.Now, at + 1), std::string::npos) << e.Now;
        older.replace(at, std::string(e.Now).size(), e.Then);
    }
    TempDir dir;
    Write(dir.File("employee.sql"), employee);
    Write(dir.File("older.sql"), older);
    ExpectUpdateBringsTargetToMaster(dir.File("employee.sql"), employee, dir.File("older.sql"), older);
}

// A target script whose computed column, check, expression index, view and routine read
// columns and a domain that the master no longer has: each of them goes (or changes) before
// what it reads is dropped, so Firebird runs the update script without an error.
TEST(ScriptEndToEnd, WhatReadsAColumnOrADomainGoesBeforeIt) {
    const std::string target = "CREATE DATABASE 'target.fdb';\nCREATE DOMAIN D_TXT AS VARCHAR(10);\n"
                               "CREATE TABLE T (ID INTEGER, A INTEGER, B INTEGER, ARR INTEGER [5],\n"
                               "  C COMPUTED BY (A + 1), CONSTRAINT CK_B CHECK (B > 0));\n"
                               "CREATE INDEX IX_B ON T COMPUTED BY (B * 2);\n"
                               "CREATE VIEW V (E) AS SELECT ARR[1] FROM T;\n"
                               "SET TERM ^;\n"
                               "CREATE PROCEDURE P AS DECLARE Y D_TXT; DECLARE W TYPE OF D_TXT; BEGIN Y = W; END^\n"
                               "CREATE PROCEDURE Q AS DECLARE Y VARCHAR(10); BEGIN Y = CAST(1 AS D_TXT); END^\n"
                               "SET TERM ;^\n";
    const std::string master = "CREATE DATABASE 'master.fdb';\nCREATE TABLE T (ID INTEGER);\n"
                               "CREATE VIEW V (E) AS SELECT ID FROM T;\n"
                               "SET TERM ^;\n"
                               "CREATE PROCEDURE P AS BEGIN END^\n"
                               "CREATE PROCEDURE Q AS BEGIN END^\n"
                               "SET TERM ;^\n";
    TempDir dir;
    Write(dir.File("master.sql"), master);
    Write(dir.File("target.sql"), target);
    ExpectUpdateBringsTargetToMaster(dir.File("master.sql"), master, dir.File("target.sql"), target);
}

// Scripts of different default character sets (a script without one has NONE), with and without
// the target's default changed by the update: every character column and domain of the master
// gets its character set on the target, and with the default changed the extracts are equal.
TEST(ScriptEndToEnd, DifferentDefaultCharacterSets) {
    const std::string body = "CREATE DOMAIN D_TEXT AS VARCHAR(10);\n"
                             "CREATE DOMAIN D_1252 AS VARCHAR(10) CHARACTER SET WIN1252;\n"
                             "CREATE TABLE T (K INTEGER, A VARCHAR(10), B VARCHAR(10) CHARACTER SET WIN1252,\n"
                             "  C BLOB SUB_TYPE TEXT, E D_TEXT, F D_1252);\n";
    const std::string utf8 = "CREATE DATABASE 'utf8.fdb' DEFAULT CHARACTER SET UTF8;\n" + body +
                             "CREATE TABLE U (N VARCHAR(5) COLLATE UNICODE_CI_AI, O VARCHAR(5) CHARACTER SET NONE);\n";
    const std::string none = "CREATE DATABASE 'none.fdb';\n" + body + "CREATE TABLE U (O VARCHAR(5) CHARACTER SET UTF8);\n";
    struct Case {
        const char* Name;
        const std::string& Master;
        const char* TargetDefault;
        bool DbCharsetCompare;
    };
    const Case cases[] = {
        {"UTF8 master, NONE target", utf8, "NONE", false},
        {"UTF8 master, NONE target, default changed", utf8, "NONE", true},
        {"NONE master, UTF8 target", none, "UTF8", false},
        {"NONE master, UTF8 target, default changed", none, "UTF8", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        TempDir dir;
        Write(dir.File("master.sql"), k.Master);
        const std::string targetText = std::string("CREATE DATABASE 'target.fdb'") +
                                       (std::string(k.TargetDefault) == "NONE" ? "" : " DEFAULT CHARACTER SET UTF8") +
                                       ";\nCREATE TABLE T (K INTEGER);\n";
        Write(dir.File("target.sql"), targetText);
        const TempDatabase reference(CompleteScript{k.Master});
        const TempDatabase target(CompleteScript{targetText});
        ScriptComparison c(dir.File("master.sql"), dir.File("target.sql"));
        c.Q.IBCompareOptions().DbCharsetCompare = k.DbCharsetCompare;
        ASSERT_TRUE(c.Run(target.Path())) << testing::PrintToString(c.Errors);
        const std::string script = c.Script();
        std::string out;
        ASSERT_EQ(test::RunConnectingScript(target, script + "COMMIT;\n", out), 0) << script << out;
        EXPECT_EQ(test::CharacterSets(target), test::CharacterSets(reference)) << script;
        if (k.DbCharsetCompare)
            ExpectSameBlocks(test::ComparableExtract(target.Path()), test::ComparableExtract(reference.Path()), script);
    }
}

TEST(ScriptEndToEnd, IdenticalScriptsGiveTheHeaderOnlyAlsoSplitIntoFiles) {
    const std::string text = test::FixtureScript("fb3_features.sql");
    // The same text in two files, cut after a statement.
    const size_t cut = text.find("CREATE TABLE ORDER_LINES");
    ASSERT_NE(cut, std::string::npos);
    TempDir dir;
    Write(dir.File("whole.sql"), text);
    std::filesystem::create_directory(dir.File("split"));
    Write(dir.File("split/1.sql"), text.substr(0, cut));
    Write(dir.File("split/2.sql"), text.substr(cut));
    const std::string whole = dir.File("whole.sql");
    for (const std::string& target :
         {whole, "\"" + dir.File("split/1.sql") + "\" \"" + dir.File("split/2.sql") + "\"", dir.File("split/*.sql")}) {
        SCOPED_TRACE(target);
        ScriptComparison c(whole, target);
        ASSERT_TRUE(c.Run(dir.File("none.fdb"))) << testing::PrintToString(c.Errors);
        EXPECT_EQ(c.Changes(), Lines{}) << c.Script();
        EXPECT_EQ(c.TargetX.ScriptFiles().Count(), target == whole ? 1 : 2);
    }
}

} // namespace
} // namespace qnl
