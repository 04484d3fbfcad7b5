// Table texts per dialect, the table passes' decisions and texts on a recording executor.
#include "CompareKit.h"
#include "ObjectsKit.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

TEST(TableText, ClausesPerDialect) {
    {
        OneSide ib(stInterBase, st_Firebird_30);
        TTblData* t = AddTable(ib.Objs(), "EXT");
        t->ExternalFile = "c:\\it's.dat";
        AddCol(t, "A", dtChar, 10);
        EXPECT_EQ(t->GetCreateSQL(), "CREATE TABLE EXT\r\nEXTERNAL FILE 'c:\\it''s.dat'\r\n(A CHAR(10))");
        EXPECT_EQ(t->GetDropSQL(), "DROP TABLE EXT");
        TTblData* g = AddTable(ib.Objs(), "order");
        g->GlobalTemporary = true;
        g->OnCommit = 1;
        AddCol(g, "A", dtInteger);
        EXPECT_EQ(g->GetCreateSQL(), "CREATE GLOBAL TEMPORARY TABLE \"order\"(A INTEGER)\r\n ON COMMIT DELETE ROWS");
    }
    {
        OneSide asa(stASA);
        TTblData* t = AddTable(asa.Objs(), "T");
        t->OnCommit = 1;  // ASA has no ON COMMIT DELETE ROWS clause
        t->GlobalTemporary = true;
        AddCol(t, "A", dtInteger);
        EXPECT_EQ(t->GetCreateSQL(), "CREATE GLOBAL TEMPORARY TABLE DBA.T(A INTEGER NULL)");
    }
    {
        OneSide pg(stPostgreSQL);
        TTblData* t = AddTable(pg.Objs(), "t");
        t->WithOids = true;
        t->OnCommit = 2;
        AddCol(t, "a", dtInteger);
        EXPECT_EQ(t->GetCreateSQL(), "CREATE TABLE t(a integer) WITH OIDS\r\n ON COMMIT PRESERVE ROWS");
    }
    {
        OneSide ora(stOracle);
        TTblData* t = AddTable(ora.Objs(), "T");
        t->OfType = "PERSON_T";
        t->NestedTable = "KIDS STORE AS KIDS_TAB";
        t->TableSpace.pctfree = 10;
        t->TablespaceName = "USERS";
        t->Compress = true;
        t->NoLogging = true;
        t->Storage = "(INITIAL 64K)";
        t->ClusterName = "CL";
        t->ClusterColumns = "(A)";
        t->LobClause = "(B) STORE AS SEG";
        t->StoreAs = "X";
        t->ExtraClause = "PARALLEL 4";
        t->PartitionColumns = "(A)";
        t->PartitionClause = "(PARTITION P1 VALUES LESS THAN (10))";
        EXPECT_EQ(t->GetCreateSQL(),
                  "CREATE TABLE T OF PERSON_T\r\nNESTED TABLE KIDS STORE AS KIDS_TAB\r\npctfree 10\r\nTABLESPACE USERS"
                  "\r\nCOMPRESS\r\nNOLOGGING\r\nSTORAGE(INITIAL 64K)\r\nCLUSTER CL(A)\r\nLOB(B) STORE AS SEG\r\nSTORE AS X"
                  "\r\nPARALLEL 4\r\nPARTITION BY RANGE (A) (PARTITION P1 VALUES LESS THAN (10))");
    }
}

TEST(TableText, MySQLTableCarriesItsKeysAndIndicesAndMarksThem) {
    OneSide my(stMySQL);
    TTblData* t = AddTable(my.Objs(), "t");
    AddCol(t, "id", dtInteger).Nullable = false;
    AddCol(t, "code", dtVarChar, 10);
    TCtrData* pk = AddKey(my.Objs(), ctPrimaryKey, "", "t", {"id"});
    TCtrData* uq = AddKey(my.Objs(), ctUnique, "uq_code", "t", {"code"});
    AddKey(my.Objs(), ctUnique, "other", "u", {"x"});
    TIdxData* x = AddIndex(my.Objs(), "ix_code", "t", {"code"});
    x->UsingOptions.IndexMethod = "BTREE";
    pk->Exists = uq->Exists = x->Exists = false;
    t->MySQLOptions.Engine = "InnoDB";
    EXPECT_EQ(t->GetCreateSQL(), "CREATE TABLE `t`(`id` INTEGER NOT NULL,\r\n`code` VARCHAR(10),\r\nPRIMARY KEY(`id`),\r\n"
                                 "CONSTRAINT `uq_code` UNIQUE(`code`),\r\nKEY `ix_code` USING BTREE (`code`))\r\nENGINE=InnoDB");
    EXPECT_TRUE(pk->GetExists() && uq->GetExists() && x->GetExists());
}

namespace {

TFldData& Pair2(Comparison& C, const std::string& Table, const std::string& Col, uint8_t Type) {
    TTblData* m = static_cast<TTblData*>(C.M().FindTable(Table));
    TTblData* t = static_cast<TTblData*>(C.T().FindTable(Table));
    if (!m) m = AddTable(C.M(), Table);
    if (!t) t = AddTable(C.T(), Table);
    AddCol(t, Col, Type);
    return AddCol(m, Col, Type);
}

} // namespace

TEST(MatchTables, WhatMakesAColumnOrTableDifferent) {
    Comparison c;
    Pair2(c, "SAME", "A", dtInteger);
    TFldData& def = Pair2(c, "DEF", "A", dtInteger);
    def.DefaultValue = "1";
    TFldData& dom = Pair2(c, "DOM", "A", dtDomain);
    dom.DomainName = "D1";
    static_cast<TFldData*>(c.T().FindTable("DOM")->GetColumn(0))->DomainName = "D2";
    TFldData& cs = Pair2(c, "CS", "A", dtVarChar);
    cs.CharSetName = "WIN1252";  // character sets are the column alteration's business
    TFldData& calc = Pair2(c, "CALC", "A", dtInteger);
    calc.SetSource("(1 + 1)");
    c.T().FindTable("CALC")->GetColumn(0)->SetSource("(1 + 1)");
    Pair2(c, "EXTRA", "A", dtInteger);
    AddCol(static_cast<TTblData*>(c.T().FindTable("EXTRA")), "B", dtInteger);
    Pair2(c, "MISSING", "A", dtInteger);
    AddCol(static_cast<TTblData*>(c.M().FindTable("MISSING")), "B", dtInteger);
    Pair2(c, "GTT", "A", dtInteger);
    static_cast<TTblData*>(c.M().FindTable("GTT"))->OnCommit = 2;

    c.PairAndMark();
    MatchTables(c.q);
    auto equal = [&](const char* N) { return static_cast<TTblData*>(c.M().FindTable(N))->Equal; };
    EXPECT_TRUE(equal("SAME"));
    EXPECT_FALSE(equal("DEF"));
    EXPECT_FALSE(equal("DOM"));
    EXPECT_TRUE(equal("CS"));
    EXPECT_TRUE(equal("CALC"));
    EXPECT_TRUE(equal("EXTRA"));
    EXPECT_FALSE(equal("MISSING"));
    EXPECT_FALSE(equal("GTT"));
    EXPECT_TRUE(static_cast<TTblData*>(c.M().FindTable("SAME"))->Matched);
    EXPECT_FALSE(def.Equal);
    EXPECT_TRUE(def.ExistsInTarget);
}

TEST(ColumnPositions, OldVersionsWriteTheCatalogueNewerOnesAlterTheColumn) {
    for (auto [version, first] :
         {std::pair{st_InterBase_5x, "UPDATE RDB$RELATION_FIELDS SET RDB$FIELD_POSITION = 1\r\n WHERE "
                                     "RDB$RELATION_NAME = 'it''s' AND RDB$FIELD_NAME = 'B'"},
          std::pair{st_Firebird_25, "ALTER TABLE \"it's\" ALTER COLUMN B POSITION 1"}}) {
        Comparison c(stInterBase, version);
        for (TObjs* o : {&c.M(), &c.T()}) AddTable(*o, "it's");
        auto* m = static_cast<TTblData*>(c.M().FindTable("it's"));
        auto* t = static_cast<TTblData*>(c.T().FindTable("it's"));
        AddCol(m, "B", dtInteger);
        AddCol(m, "A", dtInteger);
        AddCol(t, "A", dtInteger);
        AddCol(t, "B", dtInteger);
        c.PairAndMark();
        MatchTables(c.q);
        CheckColumnOrder(c.q);
        WriteColumnPositions(c.q);
        ASSERT_EQ(c.exec.StatementCount(), 2);
        EXPECT_EQ(c.Changes()[0], std::string(first) + "\r\n");
        EXPECT_EQ(c.exec.Statements(1)->ObjName, "A");
        EXPECT_EQ(c.exec.Statements(1)->FieldName, "it's");
        EXPECT_FALSE(m->NeedsReorder);

        // Switched off: nothing.
        c.exec.ClearStatements();
        m->SetNeedsReorder(true);
        c.q.IBCompareOptions().UpdateFieldPosition = false;
        WriteColumnPositions(c.q);
        EXPECT_EQ(c.exec.StatementCount(), 0);
    }
}

TEST(TablePasses, MySQLEngineAndCharsetAndOneConnectBeforeDroppedTables) {
    Comparison c(stMySQL);
    Pair2(c, "t", "a", dtInteger);
    auto* m = static_cast<TTblData*>(c.M().FindTable("t"));
    auto* t = static_cast<TTblData*>(c.T().FindTable("t"));
    m->MySQLOptions.Engine = "InnoDB";
    t->MySQLOptions.Engine = "MyISAM";
    t->MySQLOptions.DefaultCharset = "latin1";  // the master names none: no statement
    c.PairAndMark();
    MatchTables(c.q);
    WriteAlterTables(c.q);
    EXPECT_EQ(c.Changes(), std::vector<std::string>{"ALTER TABLE `t` ENGINE=InnoDB\r\n"});
}

TEST(TableFixups, MySQLOptionsFillTheEmptySideOracleStorageKeepsOnlyWhatBothHave) {
    OneSide a(stMySQL), b(stMySQL);
    TTblData* m = AddTable(a.Objs(), "t");
    TTblData* t = AddTable(b.Objs(), "t");
    m->MySQLOptions.Engine = "InnoDB";
    t->MySQLOptions.DefaultCharset = "utf8";
    t->MySQLOptions.DefaultCollate = "utf8_bin";
    m->MySQLOptions.DefaultCollate = "utf8_general_ci";
    MergeMySQLTableOptions(*m, *t);
    EXPECT_EQ(t->MySQLOptions.Engine, "InnoDB");
    EXPECT_EQ(m->MySQLOptions.DefaultCharset, "utf8");
    EXPECT_EQ(m->MySQLOptions.DefaultCollate, "utf8_general_ci");  // both set: each keeps its own
    EXPECT_EQ(t->MySQLOptions.DefaultCollate, "utf8_bin");

    OneSide c(stOracle), d(stOracle);
    TTblData* om = AddTable(c.Objs(), "T");
    TTblData* ot = AddTable(d.Objs(), "T");
    om->Storage = "(INITIAL 64K)";
    om->TablespaceName = "USERS";
    ot->TablespaceName = "DATA";
    ot->TableSpace.pctfree = 10;
    MergeOracleTableStorage(*om, *ot);
    EXPECT_EQ(om->Storage, "");
    EXPECT_EQ(om->TablespaceName, "USERS");
    EXPECT_EQ(ot->TablespaceName, "DATA");
    EXPECT_EQ(om->TableSpace.pctfree, 10);
}
