// Firebird trigger type codes and the event texts of the heads. The server is the witness: every
// case is created as a trigger, read back through the database reader, and the head written for
// its RDB$TRIGGER_TYPE must be the text the trigger was created with.
#include "objects/qnlComp_Trg.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/fixtures/LiveSide.h"
#include "tests/objects/ObjectsKit.h"
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

namespace qnl::test {
namespace {

enum class Kind { Table, Database, DDL };

struct Case {
    Kind On;
    std::string Events;  // as written after ACTIVE
    int64_t Code;        // 0: only the server tells
};

std::vector<Case> Cases() {
    std::vector<Case> r;
    // Every table code of the type table.
    for (const TTrgType& t : TriggerTypes) r.push_back({Kind::Table, t.Text, t.TypeCode});
    r.push_back({Kind::Database, "ON CONNECT", 8192});
    r.push_back({Kind::Database, "ON DISCONNECT", 8193});
    r.push_back({Kind::Database, "ON TRANSACTION START", 8194});
    r.push_back({Kind::Database, "ON TRANSACTION COMMIT", 8195});
    r.push_back({Kind::Database, "ON TRANSACTION ROLLBACK", 8196});
    r.push_back({Kind::DDL, "BEFORE ANY DDL STATEMENT", 9223372036854767614});
    r.push_back({Kind::DDL, "AFTER ANY DDL STATEMENT", 9223372036854767615});
    r.push_back({Kind::DDL, "BEFORE CREATE TABLE OR ALTER TABLE", 16390});
    r.push_back({Kind::DDL, "AFTER DROP PROCEDURE OR CREATE EXCEPTION OR DROP MAPPING", 0});
    // Every single DDL event, before and after.
    for (const char* verb : {"CREATE", "ALTER", "DROP"})
        for (const char* object : {"TABLE", "PROCEDURE", "FUNCTION", "TRIGGER", "EXCEPTION", "VIEW", "DOMAIN", "ROLE",
                                   "INDEX", "SEQUENCE", "USER", "PACKAGE", "MAPPING"})
            for (const char* when : {"BEFORE ", "AFTER "})
                r.push_back({Kind::DDL, std::string(when) + verb + " " + object, 0});
    for (const char* other : {"CREATE COLLATION", "DROP COLLATION", "ALTER CHARACTER SET", "CREATE PACKAGE BODY",
                              "DROP PACKAGE BODY"})
        r.push_back({Kind::DDL, std::string("BEFORE ") + other, 0});
    return r;
}

TEST(TriggerTypeFirebird, EveryTypeCodeWritesTheEventsItWasCreatedWith) {
    const std::vector<Case> cases = Cases();
    std::string ddl = "CREATE TABLE T (A INTEGER);\nSET TERM ^ ;\n";
    for (size_t i = 0; i < cases.size(); ++i)
        ddl += "CREATE TRIGGER TR" + std::to_string(i) + (cases[i].On == Kind::Table ? " FOR T" : "") + " ACTIVE " +
               cases[i].Events + " POSITION 0 AS BEGIN END^\n";
    ddl += "SET TERM ; ^\n";
    TempDatabase db(ddl);
    const auto rows = QueryRows(db, "SELECT '<<' || SUBSTRING(TRIM(RDB$TRIGGER_NAME) FROM 3) || '|' || "
                                    "RDB$TRIGGER_TYPE || '>>' FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME STARTING 'TR'");
    ASSERT_EQ(rows.size(), cases.size()) << rows.front();

    // The triggers as the database reader files them.
    LiveSide side(db.Path());
    ASSERT_TRUE(side.Extract()) << side.ErrorText();
    for (const std::string& row : rows) {
        const auto f = SplitBars(row);
        const Case& c = cases.at(std::stoul(f.at(0)));
        const int64_t code = std::stoll(f.at(1));
        if (c.Code != 0) {
            EXPECT_EQ(code, c.Code) << c.Events;
        }
        const std::string name = "TR" + f.at(0);
        auto* t = dynamic_cast<TTrgData*>(side.Objs().FindTrigger(name));
        ASSERT_TRUE(t) << name;
        EXPECT_EQ(t->TriggerType, code) << c.Events;
        std::string events = t->GetIBTriggerEvents();
        if (c.On == Kind::Database) {
            EXPECT_EQ(events.substr(events.size() - 2), "\r\n");
        }
        EXPECT_EQ(Trim(events), c.Events) << code;
        if (c.On != Kind::Table) {
            const std::string head = "CREATE TRIGGER " + name + "\r\nACTIVE " + events + " POSITION 0 \r\n";
            EXPECT_EQ(t->GetCreateSQL().substr(0, head.size()), head) << code;
        }
    }
}

// Type codes the table does not know still keep every event: an unknown DDL bit is named so
// that the script fails on it instead of losing it, and a database trigger read without its
// event text takes it from the code.
TEST(TriggerTypeFirebird, EventsTheTextsDoNotName) {
    OneSide side;
    TTrgData t(&side.Objs());
    t.SetTableName("DATABASE");
    t.TriggerType = 16384 | (int64_t{1} << 50) | (int64_t{1} << 1);
    EXPECT_EQ(t.GetIBTriggerEvents(), "BEFORE CREATE TABLE OR UNKNOWN DDL EVENT 50");
    t.TriggerType = 8196;
    EXPECT_EQ(t.GetIBTriggerEvents(), "ON TRANSACTION ROLLBACK\r\n");
    // The script parser files the event text and no code.
    t.TriggerType = 0;
    t.EventText = "CONNECT";
    EXPECT_EQ(t.GetIBTriggerEvents(), "ON CONNECT\r\n");
}

} // namespace
} // namespace qnl::test
