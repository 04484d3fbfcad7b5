// Trigger and view texts of the dialects the Firebird tests do not run: heads, CREATE, ALTER and
// DROP texts, placeholder bodies, one line per case.
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <functional>

namespace qnl::test {
namespace {

struct TriggerCase {
    const char* Name;
    TServerType Type;
    std::function<void(TTrgData&)> Set;
    std::string Create;
};

// A trigger TRG (trg for PostgreSQL and MySQL) on T, body "body".
void Trigger(TTrgData& T, TServerType Type) {
    const bool lower = Type == stPostgreSQL || Type == stMySQL;
    T.Name = lower ? "trg" : "TRG";
    T.SetTableName(lower ? "t" : "T");
    T.SetSource("body");
}

TEST(TriggerText, HeadsOfEveryDialect) {
    const std::vector<TriggerCase> cases{
        {"Firebird table trigger", stInterBase,
         [](TTrgData& t) { t.TriggerType = 17; },
         "CREATE TRIGGER TRG FOR T\r\nACTIVE BEFORE INSERT OR UPDATE POSITION 0 \r\nbody"},
        {"Firebird database trigger", stInterBase,
         [](TTrgData& t) {
             t.SetTableName("DATABASE");
             t.EventText = "CONNECT";
             t.Active = false;
             t.TriggerPosition = 3;
         },
         "CREATE TRIGGER TRG\r\nINACTIVE ON CONNECT\r\n POSITION 3 \r\nbody"},
        {"MySQL takes the last event", stMySQL,
         [](TTrgData& t) {
             t.Timing = tmAfter;
             t.Events = evInsert | evUpdate | evDelete;
         },
         "CREATE TRIGGER `trg` AFTER DELETE ON `t`\r\n     FOR EACH ROW\r\nbody"},
        {"ASA", stASA,
         [](TTrgData& t) {
             t.Timing = tmBefore;
             t.Events = evInsert | evUpdate;
             t.UpdateColumns.AddColumn("A");
             t.UpdateColumns.AddColumn("B");
             t.TriggerPosition = 2;
             t.SetDbOwner("DBA");
             t.OldAlias = "O";
             t.NewAlias = "NW";
             t.ForEachRow = true;
         },
         "CREATE TRIGGER \r\nTRG BEFORE INSERT, UPDATE OF A, B ORDER 2 ON\r\nDBA.T\r\nREFERENCING OLD AS O NEW AS NW\r\n"
         "FOR EACH ROW\r\nbody"},
        {"ASA in Transact-SQL form", stASA,
         [](TTrgData& t) {
             t.TransactSqlStyle = true;
             t.Events = evInsert | evDelete;
         },
         "CREATE TRIGGER \r\nTRG ON T\r\n  FOR INSERT, DELETE\r\n  AS\r\nbody"},
        {"MSSQL", stMSSQL,
         [](TTrgData& t) {
             t.Schema = "dbo";
             t.Timing = tmAfter;
             t.Events = evInsert | evUpdate;
             t.NotForReplication = true;
         },
         "CREATE TRIGGER dbo.TRG ON dbo.T\r\n AFTER INSERT, UPDATE\r\n NOT FOR REPLICATION\r\n AS\r\nbody"},
        {"MSSQL database trigger", stMSSQL,
         [](TTrgData& t) {
             t.SetTableName("DATABASE");
             t.EventText = "CREATE_TABLE";
             t.Timing = tmFor;
             t.WithAppend = true;
         },
         "CREATE TRIGGER TRG ON DATABASE\r\n FOR CREATE_TABLE\r\n WITH APPEND\r\n AS\r\nbody"},
        // A BEFORE trigger of another dialect: the plain form, never events run into the table.
        {"MSSQL before", stMSSQL,
         [](TTrgData& t) {
             t.Schema = "S";
             t.Timing = tmBefore;
             t.Events = evInsert | evUpdate;
         },
         "CREATE TRIGGER S.TRG ON S.T\r\n FOR INSERT, UPDATE\r\n AS\r\nbody"},
        {"MSSQL without body", stMSSQL, [](TTrgData& t) { t.SetSource(""); }, ""},
        {"Oracle", stOracle,
         [](TTrgData& t) {
             t.Schema = "S";
             t.Timing = tmBefore;
             t.Events = evUpdate | evDelete;
             t.UpdateColumns.AddColumn("A");
             t.UpdateColumns.AddColumn("B");
             t.NewAlias = "NW";
             t.ForEachRow = true;
             t.WhenCondition = "(NW.A > 0)";
         },
         "CREATE OR REPLACE TRIGGER S.TRG\r\n  BEFORE UPDATE  OF A, B OR DELETE ON S.T\r\n  REFERENCING NEW AS NW\r\n"
         "  FOR EACH ROW\r\n  WHEN (NW.A > 0)\r\nbody"},
        {"Oracle single event", stOracle,
         [](TTrgData& t) {
             t.Timing = tmInsteadOf;
             t.Events = evInsert;
         },
         "CREATE OR REPLACE TRIGGER TRG\r\n  INSTEAD OF INSERT ON T\r\nbody"},
        {"PostgreSQL", stPostgreSQL,
         [](TTrgData& t) {
             t.Schema = "public";
             t.Timing = tmAfter;
             t.Events = evInsert;
             t.ForEachStatement = true;
         },
         "CREATE TRIGGER trg\r\n  AFTER INSERT\r\n  ON public.t\r\n  FOR EACH STATEMENT\r\nbody"},
        {"DB2", stDB2,
         [](TTrgData& t) {
             t.Timing = tmBefore;
             t.Events = evUpdate;
             t.UpdateColumns.AddColumn("A");
             t.NewAlias = "NW";
             t.OldTableAlias = "OT";
             t.ForEachRow = true;
             t.TriggerMode = "DB2SQL";
             t.WhenCondition = "(NW.A > 0)";
         },
         "CREATE TRIGGER TRG\r\n  NO CASCADE BEFORE UPDATE OF A ON T\r\n  REFERENCING\r\n  NEW AS NW\r\n  OLD_TABLE AS OT\r\n"
         "  FOR EACH ROW MODE DB2SQL\r\n  WHEN (NW.A > 0)\r\nbody"},
    };
    for (const TriggerCase& c : cases) {
        OneSide side(c.Type);
        TTrgData t(&side.Objs());
        Trigger(t, c.Type);
        c.Set(t);
        EXPECT_EQ(t.GetCreateSQL(), c.Create) << c.Name;
    }
}

TEST(TriggerText, AlterDropAndPlaceholderBodies) {
    struct Case {
        TServerType Type;
        std::function<void(TTrgData&)> Set;
        std::string Alter, Drop, Empty;
    };
    const std::vector<Case> cases{
        {stInterBase, [](TTrgData&) {}, "ALTER TRIGGER TRG\r\nbody", "DROP TRIGGER TRG",
         " AS Declare variable I integer;\r\nBEGIN I = 0; END"},
        {stMSSQL, [](TTrgData& t) { t.Schema = "dbo"; t.Timing = tmAfter; t.Events = evDelete; },
         "ALTER TRIGGER dbo.TRG ON dbo.T\r\n AFTER DELETE\r\n AS\r\nbody", "DROP TRIGGER dbo.TRG",
         " declare @i integer;\r\nbegin set @i = 0; end"},
        {stMSSQL, [](TTrgData& t) { t.SetTableName("ALL SERVER"); t.Timing = tmFor; t.EventText = "CREATE_LOGIN"; },
         "ALTER TRIGGER TRG ON ALL SERVER\r\n FOR CREATE_LOGIN\r\n AS\r\nbody", "DROP TRIGGER TRG ON ALL SERVER",
         " declare @i integer;\r\nbegin set @i = 0; end"},
        {stMySQL, [](TTrgData&) {}, "ALTER TRIGGER `trg`\r\nbody", "DROP TRIGGER `trg`", " BEGIN END"},
        {stASA, [](TTrgData& t) { t.SetDbOwner("DBA"); }, "ALTER TRIGGER TRG\r\nbody", "DROP TRIGGER DBA.T.TRG",
         " AS Declare variable I integer;\r\nBEGIN I = 0; END"},
        {stPostgreSQL, [](TTrgData& t) { t.Schema = "public"; }, "ALTER TRIGGER trg\r\nbody",
         "DROP TRIGGER trg ON public.t", " AS Declare variable I integer;\r\nBEGIN I = 0; END"},
        {stOracle, [](TTrgData& t) { t.Schema = "S"; }, "ALTER TRIGGER TRG\r\nbody", "DROP TRIGGER S.TRG",
         " AS Declare variable I integer;\r\nBEGIN I = 0; END"},
    };
    for (const Case& c : cases) {
        OneSide side(c.Type);
        TTrgData t(&side.Objs());
        Trigger(t, c.Type);
        c.Set(t);
        EXPECT_EQ(t.GetAlterSQL(), c.Alter) << int(c.Type);
        EXPECT_EQ(t.GetDropSQL(), c.Drop) << int(c.Type);
        EXPECT_EQ(t.GetEmptyBody(), c.Empty) << int(c.Type);
    }
}

struct ViewCase {
    const char* Name;
    TServerType Type;
    std::function<void(TViwData&)> Set;
    std::string Create, Drop;
};

TEST(ViewText, CreateAndDropOfEveryDialect) {
    const std::vector<ViewCase> cases{
        {"Firebird with columns", stInterBase,
         [](TViwData& v) {
             v.AddColumn("A");
             v.AddColumn("B");
         },
         "CREATE VIEW V(\r\nA,\r\nB)\r\n AS \r\nSELECT 1", "DROP VIEW V"},
        {"Firebird without columns: no brackets", stInterBase, [](TViwData&) {}, "CREATE VIEW V\r\n AS \r\nSELECT 1",
         "DROP VIEW V"},
        {"Firebird without script", stInterBase, [](TViwData& v) { v.NoScript = true; },
         "CREATE VIEW V\r\n AS \r\nSELECT 1", ""},
        {"Oracle object view", stOracle,
         [](TViwData& v) {
             v.Schema = "S";
             v.OfType = "TY";
             v.ObjectIdColumns.Add("ID");
             v.ObjectIdColumns.Add("K");
             v.AddColumn("A");
         },
         "CREATE OR REPLACE VIEW S.V OF TY\r\n   WITH OBJECT IDENTIFIER(ID, K)(\r\nA)\r\n   AS \r\nSELECT 1",
         "DROP VIEW S.V"},
        {"Oracle with its own object id word", stOracle,
         [](TViwData& v) {
             v.ObjectIdKind = "OID";
             v.ObjectIdColumns.Add("ID");
         },
         "CREATE OR REPLACE VIEW V\r\n   WITH OBJECT OID(ID)\r\n   AS \r\nSELECT 1", "DROP VIEW V"},
        {"MSSQL options", stMSSQL,
         [](TViwData& v) {
             v.Schema = "dbo";
             v.WithEncryption = true;
             v.ViewMetadata = true;
         },
         "CREATE VIEW dbo.V\r\n  WITH ENCRYPTION, VIEW_METADATA\r\n AS \r\nSELECT 1", "DROP VIEW dbo.V"},
        {"MSSQL schema binding", stMSSQL, [](TViwData& v) { v.SchemaBinding = true; },
         "CREATE VIEW V\r\n  WITH SCHEMABINDING\r\n AS \r\nSELECT 1", "DROP VIEW V"},
        {"MSSQL without source", stMSSQL, [](TViwData& v) { v.SetSource(""); }, "", "DROP VIEW V"},
        {"MySQL", stMySQL,
         [](TViwData& v) {
             v.Algorithm = "MERGE";
             v.SqlSecurity = "DEFINER";
         },
         "CREATE ALGORITHM=MERGE SQL SECURITY DEFINER VIEW V\r\n AS \r\nSELECT 1", "DROP VIEW V"},
        {"PostgreSQL", stPostgreSQL, [](TViwData& v) { v.Schema = "public"; }, "CREATE VIEW public.\"V\"\r\n AS \r\nSELECT 1",
         "DROP VIEW public.\"V\""},
    };
    for (const ViewCase& c : cases) {
        OneSide side(c.Type);
        TViwData v(&side.Objs());
        v.Name = "V";
        v.SetSource("SELECT 1");
        c.Set(v);
        EXPECT_EQ(v.GetCreateSQL(), c.Create) << c.Name;
        EXPECT_EQ(v.GetDropSQL(), c.Drop) << c.Name;
    }
}

// Views, their columns and triggers tell the description writer what they are.
TEST(ViewText, ViewsTheirColumnsAndTriggersAnswerTheirDescriptionClass) {
    OneSide side;
    auto* t = new TTblData(&side.Objs());
    t->Name = "T";
    side.Objs().AddDbObject(t);
    TViwData v(&side.Objs());
    v.Name = "V";
    v.SetDescription("it's");
    TFldData* c = v.AddColumn("C");
    c->SetDescription("col");
    TTrgData trg(&side.Objs());
    trg.Name = "TRG";
    trg.SetTableName("T");
    trg.SetDescription("trg");
    EXPECT_EQ(v.GetDescriptionSQL(), "COMMENT ON VIEW V IS\r\n'it''s'");
    EXPECT_EQ(c->GetDescriptionSQL(), "COMMENT ON COLUMN V.C IS\r\n'col'");
    EXPECT_EQ(trg.GetDescriptionSQL(), "COMMENT ON TRIGGER TRG IS\r\n'trg'");
    const TDescriptionSubject subject = trg.GetDescriptionSubject();
    EXPECT_EQ(subject.OwnerName, "T");
    EXPECT_EQ(subject.Owner, t);
    side.Objs().IBServerOptions.SQLServerVersion = st_Firebird_25;
    EXPECT_EQ(c->GetDescriptionSQL(), "UPDATE RDB$RELATION_FIELDS SET RDB$DESCRIPTION = \r\n'col'\r\nWHERE RDB$RELATION_NAME = 'V' AND RDB$FIELD_NAME = 'C'");
}

} // namespace
} // namespace qnl::test
