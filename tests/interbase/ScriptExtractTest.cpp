// The script extractor: file names and masks, the failures that must stop a comparison, and
// the parsing of several files into one structure.
#include "interbase/qnlScriptExtract.h"

#include "core/qnlDBStructure.h"
#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qnl {
namespace {

using Lines = std::vector<std::string>;

Lines Files(const TCustomScriptExtract& X) {
    Lines r;
    for (int i = 0; i < X.ScriptFiles().Count(); ++i) r.push_back(X.ScriptFiles()[i]);
    return r;
}

void Write(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

struct Extraction {
    TDBStructure Structure;
    TIBScriptExtract X;
    Lines Errors;
    Extraction() {
        X.SetName("X1");
        X.OnErrorMessage = [this](TObject*, const std::string& t) { Errors.push_back(t); };
        Structure.Objs()->IBServerOptions.SQLServerVersion = st_Firebird_30;
        X.SetDBStructure(&Structure);
    }
    int Tables() const { return Structure.Objs()->List(olTables).Count(); }
};

TEST(ScriptExtract, FileNamesListsAndMasks) {
    test::TempDir dir;
    const std::string d = dir.Path() + "/";
    Write(d + "b.sql", "");
    Write(d + "a one.sql", "");
    Write(d + "c.txt", "");
    std::filesystem::create_directory(d + "sub.sql");  // a directory is no script
    struct Case {
        std::string Text;
        Lines Expected;
    };
    const Case cases[] = {
        {"\"" + d + "b.sql\" \"" + d + "a one.sql\"", {d + "b.sql", d + "a one.sql"}},
        {"\"" + d + "a one.sql\"", {d + "a one.sql"}},
        {d + "b.sql", {d + "b.sql"}},
        {d + "*.sql", {d + "a one.sql", d + "b.sql"}},
        {d + "*", {d + "a one.sql", d + "b.sql", d + "c.txt"}},
        {"\"" + d + "*.txt\" \"" + d + "b.sql", {d + "c.txt"}},  // the unclosed last name is dropped
        {"\"\" \"" + d + "b.sql\"", {d + "b.sql"}},
        {d + "missing.sql", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        TIBScriptExtract x;
        x.SetScriptFileName(c.Text);
        EXPECT_EQ(Files(x), c.Expected) << c.Text;
    }
}

TEST(ScriptExtract, EveryFailureMakesTheResultFalseAndReachesTheComparer) {
    test::TempDir dir;
    const std::string good = dir.File("good.sql"), gone = dir.File("gone.sql"), broken = dir.File("broken.sql");
    Write(good, "CREATE TABLE T1 (ID INTEGER);\n");
    Write(gone, "CREATE TABLE T2 (ID INTEGER);\n");
    Write(broken, "CREATE TABLE T3 (ID INTEGER);\nCREATE TABLE;\n");
    {
        TIBScriptExtract x;
        x.SetName("X0");
        Lines errors;
        x.OnErrorMessage = [&](TObject*, const std::string& t) { errors.push_back(t); };
        EXPECT_FALSE(x.ExtractDatabase());
        EXPECT_EQ(errors, (Lines{"DBStructure not assigned. (TIBScriptExtract) X0"}));
    }
    {
        // Nothing to read: the structure is still cleared.
        Extraction e;
        e.X.SetScriptFileName(good);
        ASSERT_TRUE(e.X.ExtractDatabase());
        EXPECT_EQ(e.Tables(), 1);
        e.X.SetScriptFileName(dir.File("missing.sql"));
        EXPECT_FALSE(e.X.ExtractDatabase());
        EXPECT_EQ(e.Errors, (Lines{"ScriptFileName(s) is empty. (TIBScriptExtract) X1"}));
        EXPECT_EQ(e.Tables(), 0);
        EXPECT_TRUE(e.X.GetMsgManager().HasErrors());
    }
    {
        // A file gone after its name was resolved.
        Extraction e;
        e.X.SetScriptFileName("\"" + good + "\" \"" + gone + "\"");
        std::filesystem::copy_file(gone, dir.File("keep.sql"));
        std::filesystem::remove(gone);
        EXPECT_FALSE(e.X.ExtractDatabase());
        EXPECT_EQ(e.Errors, (Lines{"File not found: " + gone}));
        EXPECT_TRUE(e.X.GetMsgManager().HasErrors());
        EXPECT_EQ(e.Tables(), 1);
        std::filesystem::rename(dir.File("keep.sql"), gone);
    }
    {
        // A file the handler refuses is missing from the structure: never a silent success.
        Extraction e;
        Lines asked;
        e.X.OnLoadScript = [&](TObject*, const std::string& File, TStringList&, bool& Loaded) {
            asked.push_back(File);
            Loaded = File == good;
        };
        e.X.SetScriptFileName("\"" + good + "\" \"" + gone + "\"");
        EXPECT_FALSE(e.X.ExtractDatabase());
        EXPECT_EQ(asked, (Lines{good, gone}));
        EXPECT_EQ(e.Errors, (Lines{"Script not load: " + gone}));
        EXPECT_TRUE(e.X.GetMsgManager().HasErrors());
    }
    {
        // A handler that says a file it cannot open is loaded: reported, never thrown.
        Extraction e;
        e.X.SetScriptFileName(good);
        e.X.OnLoadScript = [&](TObject*, const std::string&, TStringList&, bool& Loaded) { Loaded = true; };
        std::filesystem::remove(good);
        bool result = true;
        EXPECT_NO_THROW(result = e.X.ExtractDatabase());
        EXPECT_FALSE(result);
        ASSERT_EQ(e.Errors.size(), 1u);
        EXPECT_NE(e.Errors[0].find("Cannot open file: " + good), std::string::npos) << e.Errors[0];
        Write(good, "CREATE TABLE T1 (ID INTEGER);\n");
    }
    {
        // A parse error in the first file: the second is still read; no linking afterwards.
        Extraction e;
        e.X.SetScriptFileName("\"" + broken + "\" \"" + good + "\"");
        EXPECT_FALSE(e.X.ExtractDatabase());
        EXPECT_EQ(e.Tables(), 2);
        EXPECT_EQ(e.Errors.size(), 1u);
    }
    {
        // An abort between two statements: the structure misses the rest of the files.
        Extraction e;
        Write(broken, "CREATE TABLE T3 (ID INTEGER);\nCREATE TABLE T4 (ID INTEGER);\n");
        e.X.SetScriptFileName("\"" + broken + "\" \"" + good + "\"");
        e.X.OnProgressUpdate = [](TObject*, int Line, int) {
            if (Line >= 2) AbortRequested = true;
        };
        const bool result = e.X.ExtractDatabase();
        AbortRequested = false;
        EXPECT_FALSE(result);
        EXPECT_EQ(e.Tables(), 1);
        EXPECT_EQ(e.Errors, (Lines{"Extraction aborted; the structure is incomplete. (TIBScriptExtract) X1"}));
        EXPECT_TRUE(e.X.GetMsgManager().HasErrors());
    }
}

TEST(ScriptExtract, AScriptWithoutDialectIsDialect3AndANewStructureGetsANewParser) {
    test::TempDir dir;
    const std::string file = dir.File("q.sql");
    // In dialect 3 a double-quoted text is a name: the table is "Mixed Case".
    Write(file, "CREATE TABLE \"Mixed Case\" (ID INTEGER);\n");
    Extraction e;
    e.Structure.Objs()->IBServerOptions.SQLDialect = 1;
    e.X.SetScriptFileName(file);
    ASSERT_TRUE(e.X.ExtractDatabase()) << (e.Errors.empty() ? "" : e.Errors[0]);
    EXPECT_NE(e.Structure.Objs()->FindTable("Mixed Case"), nullptr);
    EXPECT_EQ(e.Structure.Objs()->SourceKind, 2);

    Write(file, "CREATE TABLE;\n");
    EXPECT_FALSE(e.X.ExtractDatabase());
    EXPECT_TRUE(e.X.GetMsgManager().HasErrors());
    TDBStructure other;
    e.X.SetDBStructure(&other);
    ASSERT_NE(e.X.Parser(), nullptr);
    EXPECT_EQ(e.X.Parser()->Objs, other.Objs());
    EXPECT_FALSE(e.X.GetMsgManager().HasErrors());
}

} // namespace
} // namespace qnl
