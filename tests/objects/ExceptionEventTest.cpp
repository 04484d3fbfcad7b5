#include "objects/qnlComp_Exc.h"
#include "objects/qnlQuarnel.h"
#include "tests/objects/ObjectsKit.h"
#include "tests/objects/StructureBuilder.h"

#include <gtest/gtest.h>

namespace qnl::test {
namespace {

using Texts = std::vector<std::string>;

TEST(ExceptionText, QuotesAreDoubledAndNamesQuotedForTheDialect) {
    OneSide side;
    StructureBuilder b(side.Objs());
    TExcData* e = b.Exception("E1", "it's 'quoted'");
    EXPECT_EQ(e->GetCreateSQL(), "CREATE EXCEPTION E1 'it''s ''quoted'''");
    EXPECT_EQ(e->GetAlterSQL(), "ALTER EXCEPTION E1 'it''s ''quoted'''");
    TExcData* lower = b.Exception("e lower", "");
    EXPECT_EQ(lower->GetCreateSQL(), "CREATE EXCEPTION \"e lower\" ''");
}

TEST(ExceptionText, DescriptionPerMode) {
    OneSide side;
    side.Objs().CompareObjects = TCmpObjSetType::All();
    TExcData* e = StructureBuilder(side.Objs()).Exception("E1", "m", "it's");
    // The three modes are those of the versions before Firebird 3.
    side.Objs().IBServerOptions.SQLServerVersion = st_Firebird_25;
    TIBCompareOptions& o = side.Objs().IBServerOptions.IBCompareOptions;
    o.UpdateDescriptionMode = udSysTables;
    EXPECT_EQ(e->GetDescriptionSQL(),
              "UPDATE RDB$EXCEPTIONS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$EXCEPTION_NAME = 'E1'");
    o.UpdateDescriptionMode = udDescribe;
    EXPECT_EQ(e->GetDescriptionSQL(), "DESCRIBE EXCEPTION E1\r\n'it''s'");
    o.UpdateDescriptionMode = udComment;
    EXPECT_EQ(e->GetDescriptionSQL(), "COMMENT ON EXCEPTION E1 IS\r\n'it''s'");
    side.Objs().IBServerOptions.SQLServerVersion = st_InterBase_2020;
    EXPECT_EQ(e->GetDescriptionSQL(), "ALTER DESCRIPTION FOR EXCEPTION E1 SET\r\n'it''s'");
    side.Objs().CompareObjects.Exclude(coDescription);
    EXPECT_EQ(e->GetDescriptionSQL(), "");
}

TEST(EventText, ScheduleClauses) {
    OneSide side(stASA);
    TEvtData* e = StructureBuilder(side.Objs()).Event("EV");
    struct Case {
        const char* name;
        const char* start;
        const char* end;
        int hours, minutes, seconds;
        uint32_t days;
        const char* startDate;
        const char* expected;
    } cases[] = {
        {"", "08:00", "17:00", 0, 30, 0, (1u << 0) | (1u << 14), "",
         "SCHEDULE BETWEEN '08:00' AND '17:00' EVERY 30 MINUTES ON(1, 15)"},
        {"", "08:00", "17:00", 0, 30, 0, 0x80000000u | (1u << 0) | (1u << 14), "",
         "SCHEDULE BETWEEN '08:00' AND '17:00' EVERY 30 MINUTES ON(0, 1, 15)"},
        {"nightly", "01:00", "", 2, 30, 5, 1u << 30, "2024-01-01",
         "SCHEDULE nightly START TIME '01:00' EVERY 2 HOURS ON(31) START DATE '2024-01-01'"},
        {"", "", "", 0, 0, 10, 0, "", "SCHEDULE EVERY 10 SECONDS"},
        {"", "", "17:00", 0, 0, 0, 0x80000000u, "", "SCHEDULE ON(0)"},
    };
    for (const Case& c : cases) {
        TEvtSdlData s(e);
        s.Name = c.name;
        s.StartTime = c.start;
        s.EndTime = c.end;
        s.EveryHours = c.hours;
        s.EveryMinutes = c.minutes;
        s.EverySeconds = c.seconds;
        s.Days = c.days;
        s.StartDate = c.startDate;
        std::string text;
        s.GetText(text);
        EXPECT_EQ(text, c.expected);
    }
}

TEST(EventText, CreateAndDrop) {
    OneSide side(stASA);
    StructureBuilder b(side.Objs());
    TEvtData* bare = b.Event("Bare", false);
    bare->AtText = "ALL";
    EXPECT_EQ(bare->GetCreateSQL(), "CREATE EVENT Bare\r\n DISABLE AT ALL");

    TEvtData* e = b.Event("EV_FULL", true, "BEGIN\nMESSAGE 'x';\nEND");
    e->EventType = "Connect";
    e->WhereText = "event_parameter('User') = 'DBA'";
    e->AddSchedule()->StartTime = "01:00";
    TEvtSdlData* second = e->AddSchedule();
    second->Name = "weekly";
    second->EveryHours = 168;
    EXPECT_EQ(e->GetCreateSQL(),
              "CREATE EVENT EV_FULL\r\n TYPE Connect\r\n WHERE event_parameter('User') = 'DBA'\r\n"
              " SCHEDULE START TIME '01:00',\r\n SCHEDULE weekly EVERY 168 HOURS\r\n ENABLE\r\n"
              "HANDLER\r\nBEGIN\r\nMESSAGE 'x';\r\nEND");
    EXPECT_EQ(e->GetDropSQL(), "DROP EVENT EV_FULL");
}

TEST(ExceptionPasses, CreateAlterDropByKeyWithSections) {
    LinkedSides s;
    StructureBuilder m(s.M()), t(s.T());
    m.Exception("A_NEW", "it's new", "about A");
    m.Exception("B_SAME", "same");
    m.Exception("C_CHANGED", "new text", "changed note");
    t.Exception("B_SAME", "same");
    t.Exception("C_CHANGED", "old text", "old note");
    t.Exception("D_GONE", "bye");
    for (TObjs* o : {&s.M(), &s.T()}) o->IBServerOptions.IBCompareOptions.UpdateDescriptionMode = udComment;
    const TCmpObjSetType co = TCmpObjSetType::All();

    WriteDropExceptions(s.M(), s.T(), s.exec, co);
    WriteCreateExceptions(s.M(), s.T(), s.exec, co);
    WriteAlterExceptions(s.M(), s.T(), s.exec, co);
    EXPECT_EQ(s.exec.Texts(), (Texts{"/* Drop Exception... */", "/* Drop: D_GONE (TExcData) */\r\nDROP EXCEPTION D_GONE",
                                     "", "/* Create Exception... */", "CREATE EXCEPTION A_NEW 'it''s new'",
                                     "COMMENT ON EXCEPTION A_NEW IS\r\n'about A'", "", "/* Alter Exception... */",
                                     "ALTER EXCEPTION C_CHANGED 'new text'",
                                     "COMMENT ON EXCEPTION C_CHANGED IS\r\n'changed note'", ""}));
    EXPECT_EQ(s.exec.Statements(4)->Action, saCreate);
    EXPECT_EQ(s.exec.Statements(4)->ObjKind, dboException);
    EXPECT_EQ(s.exec.Statements(8)->Action, saAlter);
    EXPECT_EQ(s.exec.Statements(8)->ObjName, "C_CHANGED");
}

TEST(ExceptionPasses, NothingToDoWritesNoSection) {
    LinkedSides s;
    StructureBuilder(s.M()).Exception("E", "m", "note");
    StructureBuilder(s.T()).Exception("E", "m", "note");
    const TCmpObjSetType co = TCmpObjSetType::All();
    WriteDropExceptions(s.M(), s.T(), s.exec, co);
    WriteCreateExceptions(s.M(), s.T(), s.exec, co);
    WriteAlterExceptions(s.M(), s.T(), s.exec, co);
    EXPECT_EQ(s.exec.StatementCount(), 0);
}

// Events: created when missing, dropped and created again when their texts differ, dropped when
// only the target has them.
TEST(EventPasses, CreateAlterDropThroughTheComparer) {
    TDBStructure master, target;
    master.Objs()->SetServerType(stASA);
    target.Objs()->SetServerType(stASA);
    StructureBuilder m(*master.Objs()), t(*target.Objs());
    m.Event("E_NEW", true, "BEGIN END");
    m.Event("E_SAME");
    m.Event("E_CHANGED", true);
    t.Event("E_SAME");
    t.Event("E_CHANGED", false);
    t.Event("E_GONE");
    RecordingExec exec;
    exec.ServerType = stASA;
    TQuarnel q;
    q.SetDBStructureMaster(&master);
    q.SetDBStructureTarget(&target);
    q.SetSQLExec(&exec);
    q.Compare();
    EXPECT_EQ(exec.Texts(), (Texts{"/* Create event... */", "CREATE EVENT E_NEW\r\n ENABLE\r\nHANDLER\r\nBEGIN END",
                                   "", "/* Alter event... */", "DROP EVENT E_CHANGED",
                                   "CREATE EVENT E_CHANGED\r\n ENABLE", "", "/* Drop event... */",
                                   "DROP EVENT E_GONE", ""}));
    EXPECT_EQ(exec.Statements(4)->Action, saDrop);
    EXPECT_EQ(exec.Statements(5)->Action, saCreate);
    EXPECT_EQ(exec.Statements(5)->ObjKind, dboEvent);
}

} // namespace
} // namespace qnl::test
