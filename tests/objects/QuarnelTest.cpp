#include "objects/qnlQuarnel.h"
#include "tests/core/TestKinds.h"
#include "tests/objects/ObjectsKit.h"
#include "tests/objects/StructureBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace qnl::test {
namespace {

using Texts = std::vector<std::string>;

// An extractor that fills its structure in code and may report an error.
class StubExtract : public TCustomExtract {
public:
    StubExtract(std::vector<std::string>& ALog, std::string ATag) : Log(ALog), Tag(std::move(ATag)) {}
    bool ExtractDatabase() override {
        TCustomExtract::ExtractDatabase();
        Log.push_back("extract " + Tag);
        if (Fill) Fill(*DBStructure()->Objs());
        if (Fail) GetMsgManager().AddSimpleMessage("broken " + Tag, mkError);
        return !Fail;
    }
    std::vector<std::string>& Log;
    std::string Tag;
    bool Fail = false;
    std::function<void(TObjs&)> Fill;
};

struct Comparer {
    std::vector<std::string> log;
    TDBStructure master, target;
    StubExtract mx{log, "master"}, tx{log, "target"};
    RecordingExec exec;
    TQuarnel q;

    explicit Comparer(TServerType Type = stInterBase) {
        for (TObjs* o : {master.Objs(), target.Objs()}) {
            o->SetServerType(Type);
            o->IBServerOptions.SQLServerVersion = st_Firebird_30;
        }
        exec.ServerType = Type;
        q.SetName("Cmp");
        q.SetDBStructureMaster(&master);
        q.SetDBStructureTarget(&target);
        q.SetExtractorMaster(&mx);
        q.SetExtractorTarget(&tx);
        q.SetSQLExec(&exec);
        auto note = [this](const char* Name) { return [this, Name](TObject*) { log.push_back(Name); }; };
        q.OnBeforeExtract = note("BeforeExtract");
        q.OnBeforeExtractTarget = note("BeforeExtractTarget");
        q.OnAfterExtractTarget = note("AfterExtractTarget");
        q.OnBeforeExtractMaster = note("BeforeExtractMaster");
        q.OnAfterExtractMaster = note("AfterExtractMaster");
        q.OnAfterExtract = note("AfterExtract");
        q.OnBeforeCompare = note("BeforeCompare");
        q.OnAfterCompare = note("AfterCompare");
        q.OnLogNextLine = [this](TObject*, const std::string& Text) { log.push_back("log " + Text); };
        q.OnErrorMessage = [this](TObject*, const std::string& Text) { log.push_back("error " + Text); };
    }
};

TEST(QuarnelExtract, EventsFireInOrderAndCompareFollows) {
    Comparer c;
    c.q.ExtractAndCompare();
    EXPECT_EQ(c.log, (Texts{"BeforeExtract", "BeforeExtractTarget", "extract target", "AfterExtractTarget",
                            "BeforeExtractMaster", "extract master", "AfterExtractMaster", "AfterExtract",
                            "BeforeCompare", "log Comparing databases...", "AfterCompare"}));
    EXPECT_TRUE(c.q.CompareEnabled);
    EXPECT_FALSE(c.master.Objs()->UseCounterpartDialect);
}

TEST(QuarnelExtract, TargetErrorSkipsMasterAndCompare) {
    Comparer c;
    c.tx.Fail = true;
    c.q.ExtractAndCompare();
    EXPECT_EQ(c.log, (Texts{"BeforeExtract", "BeforeExtractTarget", "extract target", "AfterExtractTarget",
                            "BeforeExtractMaster", "AfterExtract"}));
    EXPECT_FALSE(c.q.CompareEnabled);
    ASSERT_EQ(c.q.MsgManager().Count(), 1);
    EXPECT_EQ(c.q.MsgManager().Items(0).Text, "broken target");
    // Compare stays off until the next Extract.
    c.q.Compare();
    EXPECT_EQ(c.exec.StatementCount(), 0);
}

TEST(QuarnelExtract, MasterErrorAnswersFalse) {
    Comparer c;
    c.mx.Fail = true;
    EXPECT_FALSE(c.q.Extract());
    EXPECT_FALSE(c.q.CompareEnabled);
    EXPECT_TRUE(c.q.MsgManager().HasErrors());
}

TEST(QuarnelExtract, HandlerSkipsTheTarget) {
    Comparer c;
    c.master.Objs()->ConnectionOptions.DatabaseName = "master.fdb";
    c.target.Objs()->ConnectionOptions.DatabaseName = "target.fdb";
    c.q.OnBeforeExtractTarget = [&](TObject*) { c.q.ExtractTargetEnabled = false; };
    EXPECT_TRUE(c.q.Extract());
    EXPECT_EQ(c.log, (Texts{"BeforeExtract", "BeforeExtractMaster", "extract master", "AfterExtractMaster",
                            "AfterExtract"}));
    EXPECT_EQ(c.q.ConnectionOptions.DatabaseName, "master.fdb");
}

TEST(QuarnelExtract, MissingPropertiesAreReported) {
    Comparer c;
    c.q.SetExtractorTarget(nullptr);
    EXPECT_FALSE(c.q.Extract());
    EXPECT_EQ(c.log, (Texts{"BeforeExtract", "BeforeExtractTarget",
                            "error TQuarnel(Cmp): property ExtractorTarget not assigned."}));

    Comparer d;
    d.q.SetExtractorMaster(nullptr);
    d.q.SetDBStructureMaster(nullptr);
    EXPECT_FALSE(d.q.Extract());
    EXPECT_EQ(d.log, (Texts{"BeforeExtract", "BeforeExtractTarget", "extract target", "AfterExtractTarget",
                            "BeforeExtractMaster", "error TQuarnel(Cmp): property ExtractorMaster not assigned.",
                            "error TQuarnel(Cmp): property DBStructureMaster not assigned."}));
}

TEST(QuarnelExtract, ExtractorsAndContainersGetTheComparersSettings) {
    Comparer c;
    c.q.CompareObjects = TCmpObjSetType{coException, coGenerator};
    c.q.IBCompareOptions().DbCharsetCompare = true;
    c.q.MSSQLCompareOptions().CaseSensitiveIdentifiers = true;
    c.q.SetShowFullLog(false);
    c.q.Extract();
    EXPECT_EQ(c.tx.DBStructure(), &c.target);
    EXPECT_EQ(c.mx.DBStructure(), &c.master);
    EXPECT_FALSE(c.tx.ShowFullLog);
    EXPECT_EQ(c.tx.ExtractObjects, c.q.CompareObjects);
    EXPECT_EQ(c.target.Objs()->CompareObjects, c.q.CompareObjects);
    EXPECT_TRUE(c.target.Objs()->IBServerOptions.IBCompareOptions.DbCharsetCompare);
    EXPECT_TRUE(c.master.Objs()->MSSQLServerOptions.MSSQLCompareOptions.CaseSensitiveIdentifiers);

    c.q.IBCompareOptions().ExtractOnlyComparedObjects = false;
    c.q.Extract();
    EXPECT_EQ(c.mx.ExtractObjects, TCmpObjSetType::All());
}

TEST(QuarnelCompare, MissingStructuresAreReported) {
    Comparer c;
    c.q.SetDBStructureTarget(nullptr);
    c.q.Compare();
    c.q.SetDBStructureTarget(&c.target);
    c.q.SetDBStructureMaster(nullptr);
    c.q.Compare();
    EXPECT_EQ(c.log, (Texts{"error TQuarnel(Cmp): property DBStructureTarget not assigned.",
                            "error TQuarnel(Cmp): property DBStructureMaster not assigned."}));
}

TEST(QuarnelPairing, ObjectsAndColumnsArePairedAndMarked) {
    Comparer c;
    c.mx.Fill = [](TObjs& o) {
        StructureBuilder b(o);
        b.Exception("E_BOTH", "m");
        b.Exception("E_MASTER", "m");
        TTblData* t = b.Table("T");
        b.Column(*t, "A", dtInteger);
        b.Column(*t, "B", dtInteger);
    };
    c.tx.Fill = [](TObjs& o) {
        StructureBuilder b(o);
        b.Exception("E_BOTH", "m");
        b.Exception("E_TARGET", "m");
        TTblData* t = b.Table("T");
        b.Column(*t, "A", dtInteger);
        b.Column(*t, "C", dtInteger);
    };
    ASSERT_TRUE(c.q.Extract());
    TObjs& m = *c.master.Objs();
    TObjs& t = *c.target.Objs();
    EXPECT_EQ(m.FindException("E_BOTH")->Counterpart, t.FindException("E_BOTH"));
    EXPECT_EQ(t.FindException("E_BOTH")->Counterpart, m.FindException("E_BOTH"));
    EXPECT_FALSE(m.FindException("E_MASTER")->GetExists());
    EXPECT_TRUE(t.FindException("E_TARGET")->GetExists());
    EXPECT_TRUE(m.FindException("E_BOTH")->GetExists());
    TDbObj* mt = m.FindTable("T");
    TDbObj* tt = t.FindTable("T");
    EXPECT_EQ(mt->Counterpart, tt);
    EXPECT_EQ(mt->FindColumn("A")->Counterpart, tt->FindColumn("A"));
    EXPECT_FALSE(mt->FindColumn("B")->GetExists());
    EXPECT_TRUE(tt->FindColumn("C")->GetExists());
    EXPECT_EQ(tt->FindColumn("C")->Counterpart, nullptr);
}

TEST(QuarnelPairing, CheckOptionInAnotherLetterCaseIsNoChange) {
    Comparer c;
    auto* mv = new Obj(c.master.Objs(), dboView, olViews, "V");
    mv->SetSource("SELECT A FROM T WITH CHECK OPTION");
    auto* tv = new Obj(c.target.Objs(), dboView, olViews, "V");
    tv->SetSource("SELECT A FROM T with check option");
    auto* mw = new Obj(c.master.Objs(), dboView, olViews, "W");
    mw->SetSource("SELECT B FROM T WITH CHECK OPTION");
    auto* tw = new Obj(c.target.Objs(), dboView, olViews, "W");
    tw->SetSource("SELECT b FROM T");
    c.master.Objs()->AddDbObject(mv);
    c.master.Objs()->AddDbObject(mw);
    c.target.Objs()->AddDbObject(tv);
    c.target.Objs()->AddDbObject(tw);
    c.q.MatchObjects();
    EXPECT_EQ(tv->Source(), "SELECT A FROM T WITH CHECK OPTION");
    EXPECT_EQ(tw->Source(), "SELECT b FROM T");
}

TEST(QuarnelFixups, OracleTargetPutsTheMasterIntoTheConnectedSchema) {
    Comparer c(stOracle);
    c.target.Objs()->ConnectionOptions.DatabaseName = "HR";
    c.target.Objs()->ConnectionOptions.HostName = "db1";
    c.mx.Fill = [](TObjs& o) {
        StructureBuilder(o).Generator("G1");
        StructureBuilder(o).Exception("E1", "m");
    };
    c.tx.Fill = [](TObjs& o) {
        auto* g = new TGnrData(&o, nullptr);
        g->Name = "G1";
        g->Schema = "HR";
        o.AddDbObject(g);
    };
    ASSERT_TRUE(c.q.Extract());
    TObjs& m = *c.master.Objs();
    TDbObj* g = m.FindGenerator("HR.G1");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Schema, "HR");
    EXPECT_EQ(m.FindGenerator("G1"), nullptr);
    // Exceptions keep their schema.
    EXPECT_EQ(m.FindException("E1")->Schema, "");
    c.q.Compare();
    EXPECT_EQ(g->Counterpart, c.target.Objs()->FindGenerator("HR.G1"));
}

TEST(QuarnelCompare, OwnExecutorCarriesTheTargetsSettings) {
    Comparer c;
    c.q.SetSQLExec(nullptr);
    c.target.Objs()->ConnectionOptions.DatabaseName = "/data/t.fdb";
    c.target.Objs()->IBServerOptions.SetDBCharSet("UTF8");
    c.q.Compare();
    auto* own = dynamic_cast<TSQLExec*>(c.q.SQLExec());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->ConnectionOptions.DatabaseName, "/data/t.fdb");
    EXPECT_EQ(own->IBServerOptions.DBCharSet(), "UTF8");
    EXPECT_EQ(c.master.Objs()->SQLExec(), own);
    EXPECT_EQ(c.q.ConnectionOptions.DatabaseName, "/data/t.fdb");
    ASSERT_GE(own->StatementCount(), 1);
    EXPECT_EQ(own->Statements(0)->Kind, skSetNames);
}

// Exceptions go before the generators are created, new exceptions after them, and the target's
// own generators go last of the three.
TEST(QuarnelCompare, PassesRunInTheirFixedOrder) {
    Comparer c;
    StructureBuilder m(*c.master.Objs()), t(*c.target.Objs());
    m.Exception("E_NEW", "m");
    m.Generator("G_NEW");
    t.Exception("E_OLD", "m");
    t.Generator("G_OLD");
    c.q.Compare();
    EXPECT_EQ(c.exec.Texts(), (Texts{"SET SQL DIALECT 3", "SET AUTODDL ON", "/* Drop Exception... */",
                                     "/* Drop: E_OLD (TExcData) */\r\nDROP EXCEPTION E_OLD", "",
                                     "/* Create generator... */", "CREATE GENERATOR G_NEW", "",
                                     "/* Create Exception... */", "CREATE EXCEPTION E_NEW 'm'", "",
                                     "/* Drop generator... */", "DROP GENERATOR G_OLD", ""}));
}

// A failing pass ends the comparison with a report, not an exception, and the master goes back
// to its own dialect.
TEST(QuarnelCompare, FailingPassIsReported) {
    Comparer c;
    StructureBuilder(*c.master.Objs()).Exception("E_NEW", "m");
    c.exec.OnStatementAdd = [](TStatement* St, bool&) {
        if (St->Kind == skStatement) throw std::runtime_error("disk full");
    };
    EXPECT_NO_THROW(c.q.Compare());
    EXPECT_EQ(c.log, (Texts{"BeforeCompare", "log Comparing databases...", "error disk full"}));
    EXPECT_FALSE(c.master.Objs()->UseCounterpartDialect);
}

TEST(QuarnelCompare, KindsOutsideTheSetAreLeftAlone) {
    Comparer c;
    StructureBuilder(*c.master.Objs()).Exception("E_NEW", "m");
    StructureBuilder(*c.target.Objs()).Exception("E_OLD", "m");
    c.target.Objs()->ConnectionOptions.DatabaseName = "t.fdb";
    c.q.CompareObjects.Exclude(coException);
    c.q.Compare();
    for (const std::string& text : c.exec.Texts()) EXPECT_EQ(text.find("EXCEPTION"), std::string::npos) << text;
}

// ---- script header per dialect ----

struct HeaderCase {
    const char* name;
    TServerType type;
    std::function<void(Comparer&)> setup;
    Texts expected;
    std::vector<TStatementKind> kinds;
};

TEST(QuarnelHeader, PerDialect) {
    const std::string ase0 = TASEDatabaseOptions::GetOptionName(0);
    const std::string ase5 = TASEDatabaseOptions::GetOptionName(5);
    const HeaderCase cases[] = {
        {"MySQL", stMySQL,
         [](Comparer& c) {
             c.target.Objs()->MySQLServerOptions.CharSet = "utf8";
             c.target.Objs()->MySQLServerOptions.Names = "utf8mb4";
             c.target.Objs()->ConnectionOptions.DatabaseName = "shop";
         },
         {"SET CHARACTER SET utf8", "SET NAMES utf8mb4", "USE shop"},
         {skCharSet, skSetNames, skConnect}},
        {"MSSQL", stMSSQL,
         [](Comparer& c) {
             c.target.Objs()->MSSQLServerOptions.DBCharSet = "cp1252";
             c.target.Objs()->MSSQLServerOptions.Collation = "Latin1_General_CI_AS";
             c.target.Objs()->ConnectionOptions.DatabaseName = "shop";
             c.master.Objs()->MSSQLServerOptions.MSSQLDatabaseOptions.RecursiveTriggers = true;
         },
         {"-- Default character set: cp1252", "-- Default collation: Latin1_General_CI_AS", "USE shop",
          "ALTER DATABASE shop SET RECURSIVE_TRIGGERS ON"},
         {skComment, skComment, skConnect, skStatement}},
        {"ASE", stASE,
         [](Comparer& c) {
             TASEDatabaseOptions& t = c.target.Objs()->ASEServerOptions.ASEDatabaseOptions;
             t.Header = "hdr";
             t.Size = "100 MB";
             t.Owner = "sa";
             t.Created = "today";
             t.Options = "opts";
             t.DBOptionSet.set(3).set(5);
             c.master.Objs()->ASEServerOptions.ASEDatabaseOptions.DBOptionSet.set(0).set(3);
             c.target.Objs()->ConnectionOptions.DatabaseName = "shop";
         },
         {"-- hdr", "-- Database: shop", "-- Size    : 100 MB", "-- Owner   : sa", "-- Created : today",
          "-- Options : opts", "", "use shop", "exec master.dbo.sp_dboption shop, '" + ase0 + "', True",
          "exec master.dbo.sp_dboption shop, '" + ase5 + "', False", "checkpoint"},
         {skComment, skComment, skComment, skComment, skComment, skComment, skComment, skConnect, skStatement,
          skStatement, skStatement}},
        {"Oracle", stOracle,
         [](Comparer& c) {
             c.target.Objs()->ConnectionOptions.UserName = "scott";
             c.target.Objs()->ConnectionOptions.DatabaseName = "ORCL";
             c.target.Objs()->ConnectionOptions.HostName = "db1";
         },
         {"-- CONNECT scott/*****@ORCL;", "ALTER SESSION SET CURRENT_SCHEMA = ORCL"},
         {skComment, skSet}},
        {"PostgreSQL", stPostgreSQL,
         [](Comparer& c) { c.target.Objs()->ConnectionOptions.DatabaseName = "shop"; },
         {},
         {}},
    };
    for (const HeaderCase& hc : cases) {
        SCOPED_TRACE(hc.name);
        Comparer c(hc.type);
        hc.setup(c);
        c.q.Compare();
        EXPECT_EQ(c.exec.Texts(), hc.expected);
        std::vector<TStatementKind> kinds;
        for (int i = 0; i < c.exec.StatementCount(); ++i) kinds.push_back(c.exec.Statements(i)->Kind);
        EXPECT_EQ(kinds, hc.kinds);
    }
}

TEST(QuarnelHeader, ASEOptionsUnchangedOrNotComparedWriteNoOptionStatements) {
    Comparer c(stASE);
    c.target.Objs()->ConnectionOptions.DatabaseName = "shop";
    c.master.Objs()->ASEServerOptions.ASEDatabaseOptions.DBOptionSet.set(1);
    c.q.ASECompareOptions().CompareDBOptions = false;
    c.q.Compare();
    EXPECT_EQ(c.exec.Texts(), (Texts{"-- Database: shop", "use shop"}));
}

TEST(QuarnelHeader, FirebirdStatementsAndKinds) {
    Comparer c;
    TObjs& t = *c.target.Objs();
    t.ConnectionOptions.DatabaseName = "/data/t.fdb";
    t.ConnectionOptions.UserName = "SYSDBA";
    t.ConnectionOptions.Password = "pw";
    t.IBServerOptions.SetDBCharSet("WIN1252");
    t.IBServerOptions.IBDatabaseOptions.ServerVersion = "LI-V3.0";
    c.q.Compare();
    EXPECT_EQ(c.exec.Texts(), (Texts{"/* Server version: LI-V3.0 \r\n*/", "SET NAMES WIN1252", "SET SQL DIALECT 3",
                                     "CONNECT '/data/t.fdb' USER 'SYSDBA' PASSWORD 'pw'", "SET AUTODDL ON"}));
    EXPECT_EQ(c.exec.Statements(1)->Kind, skSetNames);
    EXPECT_EQ(c.exec.Statements(1)->ObjName, "WIN1252");
    EXPECT_EQ(c.exec.Statements(2)->Kind, skSqlDialect);
    EXPECT_EQ(c.exec.Statements(2)->ObjName, "3");
    EXPECT_EQ(c.exec.Statements(3)->Kind, skConnect);
    EXPECT_EQ(c.exec.Statements(4)->Kind, skSet);

    // Dialect 1 writes no dialect statement; with COMMITs generated AUTODDL stays as it is.
    Comparer d;
    d.target.Objs()->IBServerOptions.SQLDialect = 1;
    d.target.Objs()->ConnectionOptions.DatabaseName = "t.fdb";
    d.target.Objs()->ConnectionOptions.Password.clear();
    d.q.IBCompareOptions().GenerateCOMMIT = true;
    d.q.Compare();
    EXPECT_EQ(d.exec.Texts(), (Texts{"CONNECT 't.fdb' USER 'SYSDBA'"}));
}

// ---- database character set ----

TEST(QuarnelCharset, StatementsPerVersion) {
    struct Case {
        TIBSQLServerVersionType version;
        const char* master;
        Texts expected;
    } cases[] = {
        {st_Firebird_25, "UTF8", {"UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME = 'UTF8'", "SET NAMES UTF8", "RECONNECT"}},
        {st_Firebird_30, "UTF8",
         {"ALTER DATABASE SET DEFAULT CHARACTER SET UTF8", "/* Database charset: UTF8 */\r\n", "SET NAMES UTF8",
          "RECONNECT"}},
        {st_InterBase_2020, "UTF8",
         {"ALTER DATABASE SET DEFAULT CHARACTER SET UTF8", "/* Database charset: UTF8 */\r\n", "SET NAMES UTF8",
          "RECONNECT"}},
        {st_Firebird_25, "", {"UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME = Null", "SET NAMES NONE", "RECONNECT"}},
        {st_Firebird_30, "",
         {"ALTER DATABASE SET DEFAULT CHARACTER SET NONE", "/* Database charset: <none> */\r\n", "SET NAMES NONE",
          "RECONNECT"}},
        // Firebird 4 refuses system table updates as Firebird 3 does.
        {st_Firebird_40, "",
         {"ALTER DATABASE SET DEFAULT CHARACTER SET NONE", "/* Database charset: <none> */\r\n", "SET NAMES NONE",
          "RECONNECT"}},
        {st_InterBase_2020, "", {"UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME = Null", "SET NAMES NONE", "RECONNECT"}},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(std::string(cs.master) + " " + std::to_string(int(cs.version)));
        Comparer c;
        TSQLExec exec;
        exec.ServerType = stInterBase;
        c.q.SetSQLExec(&exec);
        c.q.IBCompareOptions().DbCharsetCompare = true;
        c.master.Objs()->IBServerOptions.SetDBCharSet(cs.master);
        c.target.Objs()->IBServerOptions.SetDBCharSet(cs.master[0] ? "WIN1252" : "UTF8");
        c.target.Objs()->IBServerOptions.SQLServerVersion = cs.version;
        c.q.WriteDatabaseCharset();
        Texts texts;
        for (int i = 0; i < exec.StatementCount(); ++i) texts.push_back(Trim(exec.Statements(i)->Lines.Text()) +
                                                                       (exec.Statements(i)->Kind == skComment ? "\r\n" : ""));
        EXPECT_EQ(texts, cs.expected);
        for (int i = 0; i < exec.StatementCount(); ++i) {
            const TStatement& st = *exec.Statements(i);
            if (st.Kind == skComment || st.Kind == skReConnect) continue;
            EXPECT_EQ(st.Kind, st.Lines[0].rfind("SET NAMES", 0) == 0 ? skCharSet : skStatement);
        }
        c.q.SetSQLExec(nullptr);
    }
}

TEST(QuarnelCharset, NothingWithoutTheOptionOrADifference) {
    Comparer c;
    c.master.Objs()->IBServerOptions.SetDBCharSet("UTF8");
    c.q.WriteDatabaseCharset();
    c.q.IBCompareOptions().DbCharsetCompare = true;
    c.target.Objs()->IBServerOptions.SetDBCharSet("utf8");
    c.q.WriteDatabaseCharset();
    EXPECT_EQ(c.exec.StatementCount(), 0);
}

} // namespace
} // namespace qnl::test
