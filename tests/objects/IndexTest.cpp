// Index texts per dialect and the index passes on a recording executor.
#include "CompareKit.h"
#include "ObjectsKit.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

TEST(IndexText, CreateAndDropPerDialect) {
    struct Case {
        TServerType type;
        const char* create;
        const char* drop;
    };
    const Case cases[] = {
        {stInterBase, "CREATE UNIQUE DESC INDEX IX ON \"my tab\"(A, \"b c\")",
         "/* Drop: IX (TIdxData) */\r\nDROP INDEX IX"},
        {stMSSQL, "CREATE UNIQUE CLUSTERED INDEX IX ON dbo.[my tab](A, [b c])\r\n  INCLUDE (I)\r\nWHERE A > 0"
                  "\r\n   WITH (FILLFACTOR = 80)\r\nON FG",
         "DROP INDEX dbo.[my tab].IX"},
        {stASA, "CREATE UNIQUE INDEX IX ON OWN.\"my tab\"(A, \"b c\")\r\n  INCLUDE (I)", "DROP INDEX OWN.\"my tab\".IX"},
        {stPostgreSQL, "CREATE UNIQUE INDEX ix ON dbo.\"my tab\"(a, \"b c\")\r\n  INCLUDE (i)", "DROP INDEX dbo.ix"},
        {stOracle, "CREATE UNIQUE INDEX \"dbo\".IX ON \"dbo\".\"my tab\"(A, \"b c\")\r\n  INCLUDE (I)\r\n   INDEXTYPE IS "
                   "CTXSYS.CONTEXT\r\nCOMPRESS\r\nNOLOGGING\r\nTABLESPACE IDX",
         "/* Drop: IX (TIdxData) */\r\nDROP INDEX IX"},
        {stMySQL, "CREATE UNIQUE INDEX IX USING HASH ON `my tab`(A(10), `b c` DESC)\r\n  INCLUDE (I)",
         "DROP INDEX IX ON `my tab`"},
        {stDB2, "CREATE UNIQUE INDEX IX ON \"my tab\"(A, \"b c\")\r\n  INCLUDE (I)\r\n  ALLOW REVERSE SCANS",
         "/* Drop: IX (TIdxData) */\r\nDROP INDEX IX"},
        // ASE names are written as they are.
        {stASE, "CREATE UNIQUE INDEX IX ON my tab(A, b c)\r\n  INCLUDE (I)", "DROP INDEX my tab.IX"},
    };
    for (const Case& c : cases) {
        OneSide side(c.type);
        auto* x = new TIdxData(&side.Objs());
        x->Name = c.type == stPostgreSQL ? "ix" : "IX";
        x->TableName = "my tab";
        x->IsUnique = true;
        x->IsDescending = c.type == stInterBase;
        x->IsClustered = true;
        x->Schema = c.type == stMSSQL || c.type == stPostgreSQL || c.type == stOracle ? "dbo" : "";
        x->SetDbOwner("OWN");
        x->AddField(c.type == stPostgreSQL ? "a" : "A");
        x->AddField("b c", c.type == stMySQL ? 2 : 0);
        if (c.type == stMySQL) {
            auto prefix = std::make_unique<TFldData>(&side.Objs(), nullptr);
            prefix->CharLength = 10;
            x->Fields.Delete(0);
            x->Fields.Insert(0, "A", prefix.release());
            x->UsingOptions.IndexMethod = "HASH";
        }
        if (c.type != stInterBase) x->IncludeFields.AddColumn(c.type == stPostgreSQL ? "i" : "I");
        x->FilterText = "A > 0";
        x->WithText = "WITH (FILLFACTOR = 80)";
        x->FileGroup = "FG";
        x->IndexTypeText = "CTXSYS.CONTEXT";
        x->Compress = true;
        x->NoLogging = true;
        x->TableSpaceName = "IDX";
        x->AllowReverseScans = true;
        side.Objs().AddDbObject(x);
        EXPECT_EQ(x->GetCreateSQL(), c.create) << int(c.type);
        EXPECT_EQ(x->GetDropSQL(), c.drop) << int(c.type);
    }
}

TEST(IndexText, ExpressionIndexAndMySQLKey) {
    OneSide ib;
    TIdxData* x = AddIndex(ib.Objs(), "IX_UP", "T", {});
    x->SetSource("(UPPER(NAME))");
    EXPECT_EQ(x->GetCreateSQL(), "CREATE INDEX IX_UP ON T COMPUTED BY(UPPER(NAME))");

    // MySQL indices are matched per table.
    OneSide my(stMySQL);
    AddIndex(my.Objs(), "ix", "a", {"x"});
    AddIndex(my.Objs(), "ix", "b", {"x"});
    EXPECT_EQ(my.Objs().List(olIndices).Count(), 2);
    EXPECT_NE(my.Objs().FindIndex("b.ix"), nullptr);
}

TEST(IndexPasses, ActiveFlagAloneGivesOneAlterAndTheTargetFollows) {
    Comparison c;
    AddIndex(c.M(), "IX", "T", {"A"})->Active = false;
    TIdxData* t = AddIndex(c.T(), "IX", "T", {"A"});
    c.PairAndMark();
    WriteCreateIndices(c.q);
    WriteAlterIndices(c.q);
    WriteDropIndices(c.q);
    EXPECT_EQ(c.All(), (std::vector<std::string>{"/* Alter index (Drop, Create)... */\r\n", "ALTER INDEX IX INACTIVE\r\n",
                                                 "\r\n"}));
    EXPECT_FALSE(t->Active);
}

TEST(IndexPasses, NothingToDoWritesNoComments) {
    Comparison c;
    AddIndex(c.M(), "IX", "T", {"A"});
    AddIndex(c.T(), "IX", "T", {"A"});
    c.PairAndMark();
    WriteCreateIndices(c.q);
    WriteAlterIndices(c.q);
    WriteDropIndices(c.q);
    EXPECT_EQ(c.exec.StatementCount(), 0);
}

TEST(IndexPasses, LetterCaseCountsOnlyOutsideMSSQL) {
    for (TServerType type : {stMSSQL, stPostgreSQL}) {
        Comparison c(type);
        AddIndex(c.M(), "IX", "T", {"Name"});
        AddIndex(c.T(), "IX", "T", {"NAME"});
        c.PairAndMark();
        WriteAlterIndices(c.q);
        if (type == stMSSQL)
            EXPECT_TRUE(c.Changes().empty());
        else
            EXPECT_EQ(c.Changes(), (std::vector<std::string>{"DROP INDEX \"IX\"\r\n",  // no schema
                                                             "CREATE INDEX \"IX\" ON \"T\"(\"Name\")\r\n"}));
    }
}

TEST(IndexPasses, ChangedInactiveIndexIsSwitchedOffAfterItsNewCreate) {
    Comparison c;
    TIdxData* m = AddIndex(c.M(), "IX", "T", {"A", "B"});
    m->Active = false;
    AddIndex(c.T(), "IX", "T", {"A"});
    c.PairAndMark();
    WriteAlterIndices(c.q);
    EXPECT_EQ(c.Changes(), (std::vector<std::string>{"/* Drop: IX (TIdxData) */\r\nDROP INDEX IX\r\n",
                                                     "CREATE INDEX IX ON T(A, B)\r\n", "ALTER INDEX IX INACTIVE\r\n"}));
}

TEST(IndexPasses, DroppingAnIndexOnFirebirdReconnectsAfterItsDependents) {
    Comparison c;
    c.exec.ConnectionOptions.DatabaseName = "db.fdb";
    AddIndex(c.T(), "IX", "T", {"A"});
    c.PairAndMark();
    WriteDropIndices(c.q);
    ASSERT_EQ(c.exec.StatementCount(), 4);
    EXPECT_EQ(c.exec.Statements(0)->Lines.Text(), "/* Drop Index... */\r\n");
    EXPECT_EQ(c.exec.Statements(1)->Kind, skConnect);
    EXPECT_EQ(c.exec.Statements(2)->Action, saDrop);
}
