// Views and triggers brought to the master on real Firebird 3 databases. Both sides are read
// through the database reader: the target from the database the script runs on, the master
// from a reference database built from the master's DDL. After the script, the target's
// catalogue and `isql -x` extract must equal the reference's, and a second comparison must write
// only the header.
#include "tests/objects/FirebirdCompare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl::test {
namespace {

std::string SourceColumn(const char* Column) {
    return std::string("CAST(REPLACE(REPLACE(") + Column + ", ASCII_CHAR(13), ''), ASCII_CHAR(10), '~') AS VARCHAR(8000))";
}

using Rows = std::vector<std::string>;

// The rows the updated target must share with the reference, from one isql run over the
// catalogue: triggers (G: relation, type, sequence, inactive flag, source), view sources (S) and
// view relations (R).
Rows ViewsAndTriggers(const TempDatabase& Db) {
    return QueryRows(
        Db,
        "SELECT '<<S|' || TRIM(RDB$RELATION_NAME) || '|' || " + SourceColumn("RDB$VIEW_SOURCE") +
        " || '>>' FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NOT NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
        "ORDER BY RDB$RELATION_NAME;\n"
        "SELECT '<<G|' || TRIM(RDB$TRIGGER_NAME) || '|' || COALESCE(TRIM(RDB$RELATION_NAME), '') || '|' || "
        "RDB$TRIGGER_TYPE || '|' || RDB$TRIGGER_SEQUENCE || '|' || COALESCE(RDB$TRIGGER_INACTIVE, 0) || '|' || " +
        SourceColumn("RDB$TRIGGER_SOURCE") +
        " || '>>' FROM RDB$TRIGGERS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY RDB$TRIGGER_NAME;\n"
        "SELECT '<<R|' || TRIM(RDB$VIEW_NAME) || '|' || TRIM(RDB$RELATION_NAME) || '|' || RDB$VIEW_CONTEXT || "
        "'|' || TRIM(RDB$CONTEXT_NAME) || '>>' FROM RDB$VIEW_RELATIONS ORDER BY RDB$VIEW_NAME, RDB$VIEW_CONTEXT");
}

// Compares the target database with the master's reference database, runs the script on the
// target and checks the result; answers the script's statements and comments.
std::string BringToMaster(const TempDatabase& Target, const TempDatabase& Reference) {
    const Rows master = ViewsAndTriggers(Reference);
    EXPECT_GT(master.size(), 10u) << master.front();
    std::string flow;
    {
        FirebirdComparison c(Target.Path());
        c.ReadMaster(Reference.Path());
        c.ReadTarget();
        c.q.Compare();
        EXPECT_TRUE(c.errors.empty());
        flow = c.Flow();
        std::string out;
        EXPECT_EQ(RunConnectingScript(Target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    }
    EXPECT_EQ(ViewsAndTriggers(Target), master);
    EXPECT_EQ(ExtractSchema(Target.Path()), ExtractSchema(Reference.Path()));

    FirebirdComparison again(Target.Path());
    again.ReadMaster(Reference.Path());
    again.ReadTarget();
    again.q.Compare();
    EXPECT_EQ(again.Statements(), HeaderOnly(Target.Path()))
        << again.Script();
    return flow;
}

// Tables, the two views V2 -> V1 -> T, and the triggers both sides share in some form.
const char* const CommonTables = "CREATE TABLE LOG_T (N INTEGER);\n";

const char* const TargetDdl =
    "CREATE EXCEPTION E_GONE 'gone';\n"
    "CREATE TABLE T (ID INTEGER NOT NULL, A INTEGER, B INTEGER);\n"
    "CREATE VIEW V1 (ID, A, B) AS SELECT ID, A, B FROM T;\n"
    "CREATE VIEW V2 (ID, A) AS SELECT ID, A FROM V1;\n"
    "SET TERM ^ ;\n"
    "CREATE TRIGGER V2_BI FOR V2 ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  INSERT INTO T (ID, A) VALUES (NEW.ID, NEW.A);\nEND^\n"
    // Only the target has it; its body uses an exception only the target has.
    "CREATE TRIGGER V1_GONE FOR V1 ACTIVE BEFORE DELETE POSITION 0 AS\nBEGIN\n  EXCEPTION E_GONE;\nEND^\n"
    "CREATE TRIGGER T_BODY FOR T ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  NEW.A = COALESCE(NEW.A, 0);\nEND^\n"
    "CREATE TRIGGER T_POS FOR T ACTIVE AFTER INSERT POSITION 1 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (NEW.ID);\nEND^\n"
    "CREATE TRIGGER T_ACT FOR T ACTIVE AFTER UPDATE POSITION 0 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (OLD.ID);\nEND^\n"
    "CREATE TRIGGER T_TYPE FOR T ACTIVE BEFORE UPDATE POSITION 0 AS\nBEGIN\n  NEW.A = NEW.A + 1;\nEND^\n"
    "CREATE TRIGGER DB_CONNECT ACTIVE ON CONNECT POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 1;\nEND^\n"
    "CREATE TRIGGER DDL_T ACTIVE BEFORE CREATE TABLE POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 1;\nEND^\n"
    "SET TERM ; ^\n";

// The master's triggers; V1Select is V1's query.
std::string MasterDdl(const std::string& Table, const std::string& V1Columns, const std::string& V1Select) {
    return Table +
           // V0 comes first in the script too: isql -x lists views in their order of creation.
           "CREATE VIEW V0 (N) AS SELECT N FROM LOG_T;\n"
           "CREATE VIEW V1 " + V1Columns + " AS " + V1Select + ";\n"
           "CREATE VIEW V2 (ID, A) AS SELECT ID, A FROM V1;\n"
           "SET TERM ^ ;\n"
           "CREATE TRIGGER V2_BI FOR V2 ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  INSERT INTO T (ID, A) VALUES (NEW.ID, NEW.A);\nEND^\n"
           "CREATE TRIGGER V0_BI FOR V0 ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (NEW.N);\nEND^\n"
           "CREATE TRIGGER T_BODY FOR T ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  NEW.A = COALESCE(NEW.A, -1);\nEND^\n"
           "CREATE TRIGGER T_POS FOR T ACTIVE AFTER INSERT POSITION 5 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (NEW.ID);\nEND^\n"
           "CREATE TRIGGER T_ACT FOR T INACTIVE AFTER UPDATE POSITION 0 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (OLD.ID);\nEND^\n"
           "CREATE TRIGGER T_TYPE FOR T ACTIVE BEFORE INSERT OR UPDATE POSITION 0 AS\nBEGIN\n  NEW.A = NEW.A + 1;\nEND^\n"
           "CREATE TRIGGER T_NEW FOR T ACTIVE AFTER DELETE POSITION 0 AS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (OLD.ID);\nEND^\n"
           "CREATE TRIGGER DB_CONNECT ACTIVE ON CONNECT POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 2;\nEND^\n"
           "CREATE TRIGGER DB_COMMIT ACTIVE ON TRANSACTION COMMIT POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 3;\nEND^\n"
           "CREATE TRIGGER DDL_T ACTIVE BEFORE CREATE TABLE OR ALTER TABLE POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 1;\nEND^\n"
           "CREATE TRIGGER DDL_ANY ACTIVE AFTER ANY DDL STATEMENT POSITION 0 AS\nDECLARE I INTEGER;\nBEGIN\n  I = 4;\nEND^\n"
           "SET TERM ; ^\n";
}

// What both scenarios write for the triggers.
void ExpectTriggerSteps(const std::string& S) {
    // The target-only trigger of a view is emptied before anything is dropped, then dropped,
    // and only then its exception.
    const size_t emptyGone = At(S, "/* Empty trigger body before drop... */\nALTER TRIGGER V1_GONE\nAS Declare variable I integer;\nBEGIN I = 0; END\n");
    const size_t dropGone = At(S, "DROP TRIGGER V1_GONE\n");
    EXPECT_LT(emptyGone, dropGone);
    EXPECT_LT(dropGone, At(S, "DROP EXCEPTION E_GONE\n"));
    // A body change is one ALTER.
    EXPECT_EQ(Count(S, "T_BODY"), 1u) << S;
    At(S, "/* Alter exist trigger... */\nALTER TRIGGER T_BODY\nAS\nBEGIN\n  NEW.A = COALESCE(NEW.A, -1);\nEND\n");
    At(S, "ALTER TRIGGER DB_CONNECT\nAS\nDECLARE I INTEGER;\nBEGIN\n  I = 2;\nEND\n");
    // Position, activity and type changes are a drop and a create.
    EXPECT_LT(At(S, "DROP TRIGGER T_POS\n"), At(S, "CREATE TRIGGER T_POS FOR T\nACTIVE AFTER INSERT POSITION 5 \nAS"));
    EXPECT_LT(At(S, "DROP TRIGGER T_ACT\n"), At(S, "CREATE TRIGGER T_ACT FOR T\nINACTIVE AFTER UPDATE POSITION 0 \nAS"));
    EXPECT_LT(At(S, "DROP TRIGGER T_TYPE\n"),
              At(S, "CREATE TRIGGER T_TYPE FOR T\nACTIVE BEFORE INSERT OR UPDATE POSITION 0 \nAS"));
    EXPECT_LT(At(S, "DROP TRIGGER DDL_T\n"),
              At(S, "CREATE TRIGGER DDL_T\nACTIVE BEFORE CREATE TABLE OR ALTER TABLE POSITION 0 \nAS"));
    // New triggers: on a table, on the database, for every DDL statement.
    At(S, "/* Create trigger... */\n");
    At(S, "CREATE TRIGGER T_NEW FOR T\nACTIVE AFTER DELETE POSITION 0 \nAS");
    At(S, "CREATE TRIGGER DB_COMMIT\nACTIVE ON TRANSACTION COMMIT\n POSITION 0 \nAS");
    At(S, "CREATE TRIGGER DDL_ANY\nACTIVE AFTER ANY DDL STATEMENT POSITION 0 \nAS");
    // A new view's trigger comes with an empty body right after the view and gets its body
    // back in the trigger alter pass.
    const size_t v0 = At(S, "CREATE VIEW V0(\nN)\n AS \nSELECT N FROM LOG_T\n");
    const size_t v0Empty = At(S, "CREATE TRIGGER V0_BI FOR V0\nACTIVE BEFORE INSERT POSITION 0 \nAS Declare variable I integer;\nBEGIN I = 0; END\n");
    const size_t v0Body = At(S, "/* Alter created trigger... */\nALTER TRIGGER V0_BI\nAS\nBEGIN\n  INSERT INTO LOG_T (N) VALUES (NEW.N);\nEND\n");
    EXPECT_LT(v0, v0Empty);
    EXPECT_LT(v0Empty, v0Body);
}

// V2 (with its trigger) is dropped before V1, and Between comes next (what made V1 go); V1 is
// created before V2, and V2's trigger comes back empty right after V2 and whole afterwards.
void ExpectViewOrder(const std::string& S, const std::string& Between) {
    const size_t dropV2Trigger = At(S, "DROP TRIGGER V2_BI\n");
    const size_t dropV2 = At(S, "DROP VIEW V2\n");
    const size_t dropV1 = At(S, "DROP VIEW V1\n");
    const size_t between = At(S, Between);
    const size_t createV1 = At(S, "CREATE VIEW V1(\nID,\nA)\n AS \nSELECT ID, A FROM T WHERE ID > 0\n");
    const size_t createV2 = At(S, "CREATE VIEW V2(\nID,\nA)\n AS \nSELECT ID, A FROM V1\n");
    const size_t emptyV2Trigger = At(S, "CREATE TRIGGER V2_BI FOR V2\nACTIVE BEFORE INSERT POSITION 0 \nAS Declare variable I integer;\nBEGIN I = 0; END\n");
    const size_t restoreV2Trigger = At(S, "ALTER TRIGGER V2_BI\nAS\nBEGIN\n  INSERT INTO T (ID, A) VALUES (NEW.ID, NEW.A);\nEND\n");
    EXPECT_LT(dropV2Trigger, dropV2);
    EXPECT_LT(dropV2, dropV1);
    EXPECT_LT(dropV1, between);
    EXPECT_LT(between, createV1);
    EXPECT_LT(createV1, createV2);
    EXPECT_LT(createV2, emptyV2Trigger);
    EXPECT_LT(emptyV2Trigger, restoreV2Trigger);
    EXPECT_EQ(Count(S, "CREATE VIEW V1"), 1u) << S;
    EXPECT_EQ(Count(S, "CREATE VIEW V2"), 1u) << S;
}

TEST(ViewTriggerFirebird, ColumnDroppedUnderTwoViewsWithTheirTriggersAndDatabaseAndDDLTriggers) {
    TempDatabase target(std::string(CommonTables) + TargetDdl);
    TempDatabase reference(std::string(CommonTables) +
                           MasterDdl("CREATE TABLE T (ID INTEGER NOT NULL, A INTEGER);\n", "(ID, A)",
                                     "SELECT ID, A FROM T WHERE ID > 0"));
    const std::string s = BringToMaster(target, reference);
    // The views reading the column go before it, and come back after.
    ExpectViewOrder(s, "ALTER TABLE T DROP B\n");
    ExpectTriggerSteps(s);
}

TEST(ViewTriggerFirebird, ChangedViewTextRecreatesTheViewsReadingIt) {
    TempDatabase target(std::string(CommonTables) + TargetDdl);
    TempDatabase reference(std::string(CommonTables) +
                           MasterDdl("CREATE TABLE T (ID INTEGER NOT NULL, A INTEGER, B INTEGER);\n", "(ID, A)",
                                     "SELECT ID, A FROM T WHERE ID > 0"));
    const std::string s = BringToMaster(target, reference);
    EXPECT_LT(At(s, "/* Alter View (Drop, Create)... */\n/* Drop altered view: V1 */\n"), At(s, "DROP TRIGGER V2_BI\n"));
    ExpectViewOrder(s, "/* Create altered view: V1 */\n");
    ExpectTriggerSteps(s);
}

// Why a dropped view marks the grants to it as well as those on it: Firebird 3 removes both.
TEST(ViewTriggerFirebird, DropViewRemovesTheGrantsOnItAndToIt) {
    TempDatabase db("CREATE TABLE T (A INTEGER);\nCREATE VIEW V AS SELECT A FROM T;\n"
                    "GRANT SELECT ON T TO VIEW V;\nGRANT SELECT ON V TO U1;\nCOMMIT;\n");
    const std::string privileges = "SELECT '<<' || TRIM(RDB$USER) || '|' || TRIM(RDB$RELATION_NAME) || '>>' FROM "
                                   "RDB$USER_PRIVILEGES WHERE RDB$USER IN ('V', 'U1') ORDER BY 1";
    EXPECT_EQ(QueryRows(db, privileges), (Rows{"U1|V", "V|T"}));
    std::string out;
    ASSERT_EQ(RunSql(db, "DROP VIEW V;\nCOMMIT;\n", out), 0) << out;
    EXPECT_EQ(QueryRows(db, privileges), Rows{});
}

} // namespace
} // namespace qnl::test
