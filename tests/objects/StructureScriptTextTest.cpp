// The texts of the whole-structure script: headers and sections per dialect, the description
// forms it writes with, and the per-object files.
#include "core/qnlDBStructure.h"
#include "core/qnlMsgManager.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "platform/AppHooks.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl {
namespace {

using Lines = std::vector<std::string>;

Lines Items(const TStringList& L) {
    Lines r;
    for (int i = 0; i < L.Count(); ++i) r.push_back(L[i]);
    return r;
}

Lines Script(TObjs& Objs) {
    TStringList lines;
    Objs.GetScript(lines);
    return Items(lines);
}

TTblData* AddTable(TObjs& Objs, const std::string& Name, bool QuotedIdentifier = false, bool AnsiNulls = false) {
    auto* t = new TTblData(&Objs);
    t->Name = Name;
    t->QuotedIdentifier = QuotedIdentifier;
    t->AnsiNulls = AnsiNulls;
    auto c = std::make_unique<TFldData>(&Objs, t);
    c->Name = "ID";
    c->DataType = dtInteger;
    t->AddColumn(std::move(c));
    Objs.AddDbObject(t);
    return t;
}

TPrcData* AddRoutine(TObjs& Objs, const std::string& Name, bool Function = false) {
    auto* p = new TPrcData(&Objs);
    p->Name = Name;
    p->IsFunction = Function;
    if (Function) p->AddOutputParam("R", dtInteger);
    p->SetSource(Function ? "BEGIN RETURN 1; END" : "BEGIN END");
    Objs.AddDbObject(p);
    return p;
}

TTrgData* AddTrigger(TObjs& Objs, const std::string& Name) {
    auto* t = new TTrgData(&Objs);
    t->Name = Name;
    t->SetTableName("T");
    t->TriggerType = 1;
    t->SetSource("AS BEGIN END");
    Objs.AddDbObject(t);
    return t;
}

TCtrData* AddConstraint(TObjs& Objs, const std::string& Name, uint8_t Type) {
    auto* c = new TCtrData(&Objs);
    c->Name = Name;
    c->SetTableName("T");
    c->SetConstraintType(Type);
    c->Fields.AddColumn("ID");
    Objs.AddDbObject(c);
    return c;
}

struct HeaderCase {
    const char* Name;
    TServerType Type;
    std::function<void(TObjs&)> Fill;
    // The script's non-empty items in order, each given by its start.
    Lines Starts;
};

TEST(StructureScriptText, HeadersAndSectionsOfEveryDialect) {
    const std::vector<HeaderCase> cases{
        {"Firebird: the dialect alone", stInterBase, [](TObjs&) {}, {"SET SQL DIALECT 3;\r\n"}},
        {"Firebird: routine stubs, their bodies and triggers in SET TERM blocks", stInterBase,
         [](TObjs& o) {
             AddRoutine(o, "B");
             AddRoutine(o, "A");
             AddTrigger(o, "TRG");
         },
         {"SET SQL DIALECT 3;", "SET TERM ^ ;\r\n", "CREATE PROCEDURE A AS\r\n BEGIN EXIT; END\r\n^",
          "CREATE PROCEDURE B AS", "SET TERM ; ^\r\n", "SET TERM ^ ;\r\n", "ALTER PROCEDURE A AS\r\nBEGIN END\r\n^",
          "ALTER PROCEDURE B", "SET TERM ; ^\r\n", "SET TERM ^ ;\r\n", "CREATE TRIGGER TRG FOR T", "SET TERM ; ^\r\n"}},
        {"Firebird: a database to create, with the password the caller gave", stInterBase,
         [](TObjs& o) {
             o.ConnectionOptions.DatabaseName = "/data/new.fdb";
             o.ConnectionOptions.Password = "secret";
             o.IBServerOptions.SetDBCharSet("UTF8");
             o.IBServerOptions.IBDatabaseOptions.PageSize = 8192;
         },
         {"SET NAMES UTF8;\r\n", "SET SQL DIALECT 3;\r\n",
          "CREATE DATABASE '/data/new.fdb'\r\n USER 'SYSDBA' PASSWORD 'secret'\r\nPAGE_SIZE 8192  DEFAULT CHARACTER SET "
          "UTF8;\r\n"}},
        {"Firebird: the container's start password is not written", stInterBase,
         [](TObjs& o) { o.ConnectionOptions.DatabaseName = "new.fdb"; },
         {"SET SQL DIALECT 3;", "CREATE DATABASE 'new.fdb'\r\n USER 'SYSDBA';\r\n"}},
        {"MSSQL: USE, both settings off, then on once for two tables", stMSSQL,
         [](TObjs& o) {
             o.ConnectionOptions.DatabaseName = "sales";
             AddTable(o, "T1", true, true);
             AddTable(o, "T2", true, true);
         },
         {"USE sales\r\ngo\r\n", "SET QUOTED_IDENTIFIER OFF\r\ngo\r\n", "SET ANSI_NULLS OFF\r\ngo\r\n",
          "SET QUOTED_IDENTIFIER ON\r\ngo\r\n", "SET ANSI_NULLS ON\r\ngo\r\n", "CREATE TABLE", "CREATE TABLE"}},
        {"MSSQL: only the setting that changes", stMSSQL, [](TObjs& o) { AddTable(o, "T1", true, false); },
         {"SET QUOTED_IDENTIFIER OFF", "SET ANSI_NULLS OFF", "SET QUOTED_IDENTIFIER ON\r\ngo\r\n", "CREATE TABLE"}},
        {"Oracle: CONNECT without the password", stOracle,
         [](TObjs& o) {
             o.ConnectionOptions.DatabaseName = "orcl";
             o.ConnectionOptions.UserName = "scott";
             o.ConnectionOptions.Password = "tiger";
         },
         {"-- CONNECT scott/*****@orcl;\r\n"}},
        {"Oracle: no password, no CONNECT", stOracle,
         [](TObjs& o) {
             o.ConnectionOptions.DatabaseName = "orcl";
             o.ConnectionOptions.Password.clear();
         },
         {}},
        {"ASE: two database options and a checkpoint", stASE,
         [](TObjs& o) {
             o.ConnectionOptions.DatabaseName = "db";
             o.ScriptOptions.Connect = false;
             o.ASEServerOptions.ASEDatabaseOptions.DBOptionSet.set(0).set(3);
         },
         {"-- Database: db", "exec master.dbo.sp_dboption db, " + QuotedStr(TASEDatabaseOptions::GetOptionName(0)),
          "exec master.dbo.sp_dboption db, " + QuotedStr(TASEDatabaseOptions::GetOptionName(3)), "checkpoint\r\ngo\r\n"}},
        {"ASE: no option, no checkpoint", stASE, [](TObjs& o) { o.ScriptOptions.Connect = false; }, {}},
        {"PostgreSQL: no public schema, the table's owner", stPostgreSQL,
         [](TObjs& o) {
             auto* s = new TSchData(&o);
             s->Name = "public";
             s->SetDbOwner("bob");
             o.AddDbObject(s);
             AddTable(o, "t")->SetDbOwner("alice");
         },
         {"CREATE TABLE", "ALTER TABLE t OWNER TO alice;"}},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TObjs objs;
        objs.SetServerType(c.Type);
        objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
        c.Fill(objs);
        Lines items = Script(objs);
        Lines filled;
        std::copy_if(items.begin(), items.end(), std::back_inserter(filled), [](const std::string& s) { return !s.empty(); });
        ASSERT_EQ(filled.size(), c.Starts.size()) << testing::PrintToString(filled);
        for (size_t i = 0; i < filled.size(); ++i)
            EXPECT_EQ(filled[i].substr(0, c.Starts[i].size()), c.Starts[i]) << "item " << i;
        EXPECT_FALSE(objs.QuotedIdentifierState || objs.AnsiNullsState);
    }
}

TEST(StructureScriptText, AnEmptyFirebirdStructureAndAppending) {
    TObjs objs;
    objs.SetServerType(stInterBase);
    TStringList lines;
    lines.Add("kept");
    objs.GetScript(lines);
    Lines expected{"kept", "SET SQL DIALECT 3;\r\n"};
    expected.resize(expected.size() + 9);
    EXPECT_EQ(Items(lines), expected);
    EXPECT_EQ(objs.ScriptLines.Count(), 0);
}

// A domain whose writer fails.
class TFailingDomain : public TDbObj {
public:
    using TDbObj::TDbObj;
    std::string GetCreateSQL() override { throw std::runtime_error("no text"); }
    TObjListKind GetObjList() const override { return olDomains; }
};

TEST(StructureScriptText, DescriptionsAreStatementsAndTheOptionsComeBack) {
    struct Case {
        TIBSQLServerVersionType Version;
        const char* Statement;
    } const cases[] = {{st_FireBird_15, "DESCRIBE TABLE T\r\n'Kept'"},
                       {st_Firebird_25, "COMMENT ON TABLE T IS\r\n'Kept'"},
                       {st_Firebird_30, "COMMENT ON TABLE T IS\r\n'Kept'"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Statement);
        TObjs objs;
        objs.SetServerType(stInterBase);
        objs.IBServerOptions.SQLServerVersion = c.Version;
        objs.IBServerOptions.IBCompareOptions.UpdateDescriptionMode = udSysTables;
        AddTable(objs, "T")->SetDescription("Kept");
        const Lines items = Script(objs);
        EXPECT_NE(std::find(items.begin(), items.end(), std::string(c.Statement) + ";"), items.end())
            << testing::PrintToString(items);
        EXPECT_EQ(objs.IBServerOptions.IBCompareOptions.UpdateDescriptionMode, udSysTables);
        EXPECT_FALSE(objs.IBServerOptions.IBCompareOptions.FldCharsetCompare);
    }
    // A writer that raises: reported, and the options read as before.
    TObjs objs;
    objs.SetServerType(stInterBase);
    objs.IBServerOptions.IBCompareOptions.UpdateDescriptionMode = udSysTables;
    objs.AddDbObject(new TFailingDomain(&objs));
    Lines shown;
    const TShowErrorTextHook old = SetShowErrorTextHook([&](const std::string& t) { shown.push_back(t); });
    Script(objs);
    SetShowErrorTextHook(old);
    EXPECT_EQ(shown, (Lines{"TObjs.BuildScript: no text"}));
    EXPECT_EQ(objs.IBServerOptions.IBCompareOptions.UpdateDescriptionMode, udSysTables);
    EXPECT_FALSE(objs.IBServerOptions.IBCompareOptions.FldCharsetCompare);
}

Lines FilesIn(const std::string& Dir) {
    Lines names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Dir))
        names.push_back(std::filesystem::relative(e.path(), Dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StructureScriptText, ObjectFilesStayInTheirFolder) {
    test::TempDir dir;
    const std::string folder = dir.File("objects");
    std::filesystem::create_directory(folder);
    TObjs objs;
    objs.SetServerType(stInterBase);
    objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
    AddTable(objs, "../../evil");
    AddTable(objs, "a\\b%2F");
    AddRoutine(objs, "P");
    AddRoutine(objs, "F", true);
    AddConstraint(objs, "NN", 6);  // not in the script, and no file outside MSSQL
    const Lines plain = Script(objs);
    objs.ObjectFilesDir = folder;
    EXPECT_EQ(Script(objs), plain);
    EXPECT_EQ(FilesIn(folder), (Lines{"function_F_body.sql", "function_F_header.sql", "procedure_P_body.sql",
                                      "procedure_P_header.sql", "table_..%2F..%2Fevil_body.sql",
                                      "table_a%5Cb%252F_body.sql"}));
    std::ifstream header(folder + "/procedure_P_header.sql", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(header), {}), "CREATE PROCEDURE P AS\r\n BEGIN EXIT; END");

    // MSSQL saves every constraint's files in its defaults walk; a schema's name has no kind word.
    TObjs mssql;
    mssql.SetServerType(stMSSQL);
    mssql.ObjectFilesDir = dir.File("mssql");
    std::filesystem::create_directory(mssql.ObjectFilesDir);
    AddConstraint(mssql, "NN", 6);
    auto* schema = new TSchData(&mssql);
    schema->Name = "sales";
    mssql.AddDbObject(schema);
    Script(mssql);
    EXPECT_EQ(FilesIn(mssql.ObjectFilesDir), (Lines{"_sales_body.sql", "constraint_NN_body.sql"}));
}

TEST(StructureScriptText, AFileThatCannotBeWrittenIsReportedAndTheScriptStaysWhole) {
    test::TempDir dir;
    TObjs objs;
    objs.SetServerType(stInterBase);
    AddTable(objs, "T");
    const Lines plain = Script(objs);
    objs.ObjectFilesDir = dir.File("missing");
    static Lines notes;
    notes.clear();
    const TNoteProc oldNote = NoteProc;
    NoteProc = [](const std::string& t) { notes.push_back(t); };
    Lines shown;
    const TShowErrorTextHook old = SetShowErrorTextHook([&](const std::string& t) { shown.push_back(t); });
    const Lines script = Script(objs);
    SetShowErrorTextHook(old);
    NoteProc = oldNote;
    EXPECT_EQ(script, plain);
    const Lines expected{"Cannot create the file " + dir.File("missing") + "/table_T_body.sql"};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(notes, expected);
}

} // namespace
} // namespace qnl
