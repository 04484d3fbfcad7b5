// Constraint texts per dialect, their keys and the constraint passes on a recording executor.
#include "CompareKit.h"
#include "ObjectsKit.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

namespace {

TCtrData* Fk(TObjs& O, const std::string& Name) {
    TCtrData* c = AddKey(O, ctForeignKey, Name, "CHILD", {"PID"});
    c->SetRefTableName("PARENT");
    c->AddRefField("ID");
    c->UpdateRule = raCascade;
    c->DeleteRule = raSetNull;
    return c;
}

} // namespace

TEST(ConstraintText, ForeignKeyPerDialect) {
    struct Case {
        TServerType type;
        const char* create;
        const char* drop;
    };
    const Case cases[] = {
        {stInterBase, "ALTER TABLE CHILD ADD CONSTRAINT FK FOREIGN KEY (PID) REFERENCES PARENT (ID) ON UPDATE CASCADE ON "
                      "DELETE SET NULL\r\nUSING DESC INDEX IX_FK",
         "ALTER TABLE CHILD DROP CONSTRAINT FK"},
        {stASA, "ALTER TABLE OWN.CHILD ADD CONSTRAINT FK FOREIGN KEY ROLE_1 (PID) REFERENCES REF_OWN.PARENT (ID) ON "
                "UPDATE CASCADE ON DELETE SET NULL IX_FK CHECK ON COMMIT",
         "ALTER TABLE OWN.CHILD DROP CONSTRAINT FK"},
        {stMSSQL, "ALTER TABLE S.CHILD ADD CONSTRAINT FK FOREIGN KEY (PID) REFERENCES RS.PARENT (ID) ON UPDATE CASCADE ON "
                  "DELETE SET NULL NOT FOR REPLICATION IX_FK",
         "ALTER TABLE S.CHILD DROP CONSTRAINT FK"},
        {stPostgreSQL, "ALTER TABLE s.child ADD CONSTRAINT fk FOREIGN KEY (pid) REFERENCES s.parent (id) MATCH FULL ON "
                       "UPDATE CASCADE ON DELETE SET NULL IX_FK DEFERRABLE INITIALLY DEFERRED",
         "ALTER TABLE s.child DROP CONSTRAINT fk"},
        {stMySQL, "ALTER TABLE `child` ADD CONSTRAINT `fk` FOREIGN KEY (`pid`) REFERENCES `parent` (`id`) ON UPDATE "
                  "CASCADE ON DELETE SET NULL",
         "ALTER TABLE `child` DROP FOREIGN KEY `fk`"},
    };
    for (const Case& c : cases) {
        OneSide side(c.type);
        const bool lower = c.type == stPostgreSQL || c.type == stMySQL;
        TCtrData* k = AddKey(side.Objs(), ctForeignKey, lower ? "fk" : "FK", lower ? "child" : "CHILD",
                             {lower ? "pid" : "PID"});
        k->SetRefTableName(lower ? "parent" : "PARENT");
        k->AddRefField(lower ? "id" : "ID");
        k->UpdateRule = raCascade;
        k->DeleteRule = raSetNull;
        k->IndexName = "IX_FK";
        k->DescIndex = true;
        k->Schema = c.type == stPostgreSQL ? "s" : "S";
        k->SetDbOwner("OWN");
        k->RefOwner = "REF_OWN";
        k->RoleName = "ROLE_1";
        k->SetRefSchema("RS");
        k->MatchType = 1;
        k->Deferrable = k->InitiallyDeferred = true;
        k->NotForReplication = c.type == stMSSQL;
        k->CheckOnCommit = c.type == stASA;
        EXPECT_EQ(k->GetCreateSQL(), c.create) << int(c.type);
        EXPECT_EQ(k->GetDropSQL(), c.drop) << int(c.type);
    }
}

TEST(ConstraintText, TableNameQuotedTheSameWayForAddAndDrop) {
    for (TServerType type : {stMSSQL, stOracle, stPostgreSQL}) {
        OneSide side(type);
        TCtrData* k = AddKey(side.Objs(), ctCheck, "CK", "my table", {});
        k->SetSource("(A > 0)");
        k->Schema = "S";
        const std::string create = k->GetCreateSQL();
        const std::string drop = k->GetDropSQL();
        const std::string head = drop.substr(0, drop.find(" DROP "));
        EXPECT_EQ(create.substr(0, head.size()), head) << int(type);
        EXPECT_NE(head.find(k->QuoteName(k->TableName)), std::string::npos) << create << "\n" << drop;
        EXPECT_NE(k->QuoteName(k->TableName), k->TableName);
        if (type == stMSSQL) continue;  // which names the referenced table's own schema
        // The referenced table likewise.
        k->SetConstraintType(ctForeignKey);
        k->SetRefTableName("my parent");
        EXPECT_NE(k->GetCreateSQL().find("REFERENCES " + k->QuoteName("S") + "." + k->QuoteName(k->RefTableName)),
                  std::string::npos)
            << k->GetCreateSQL();
    }
}

TEST(ConstraintText, OtherTypes) {
    OneSide ms(stMSSQL);
    TCtrData* pk = AddKey(ms.Objs(), ctPrimaryKey, "PK", "T", {"A", "B"});
    EXPECT_EQ(pk->GetCreateSQL(), "ALTER TABLE T ADD CONSTRAINT PK PRIMARY KEY NONCLUSTERED (A, B)");
    TCtrData* uq = AddKey(ms.Objs(), ctUnique, "UQ", "T", {"A"});
    uq->IsClustered = true;
    EXPECT_EQ(uq->GetCreateSQL(), "ALTER TABLE T ADD CONSTRAINT UQ UNIQUE CLUSTERED (A)");
    TCtrData* df = AddKey(ms.Objs(), ctDefault, "DF", "T", {"A"});
    df->SetSource("(0)");
    EXPECT_EQ(df->GetConstraintText(true), "CONSTRAINT DF DEFAULT (0)");
    EXPECT_EQ(df->GetCreateSQL(), "ALTER TABLE T ADD CONSTRAINT DF DEFAULT (0) FOR A");
    EXPECT_EQ(df->GetKind(), dboDefault);
    TCtrData* ref = AddKey(ms.Objs(), ctReferences, "", "T", {"A"});
    ref->SetRefTableName("P");
    ref->AddRefField("ID");
    EXPECT_EQ(ref->GetConstraintText(true), "REFERENCES P(ID)");
    // MSSQL names fold to upper case unless identifiers are case-sensitive.
    ref->SetTableName("lower");
    EXPECT_EQ(ref->TableName, "LOWER");

    OneSide asa(stASA);
    TCtrData* apk = AddKey(asa.Objs(), ctPrimaryKey, "", "T", {"A"});
    apk->IsClustered = true;
    apk->SetDbOwner("DBA");
    EXPECT_EQ(apk->GetCreateSQL(), "ALTER TABLE DBA.T ADD PRIMARY KEY CLUSTERED (A)");
    EXPECT_EQ(apk->GetDropSQL(), "ALTER TABLE DBA.T DROP PRIMARY KEY");

    OneSide my(stMySQL);
    TCtrData* muq = AddKey(my.Objs(), ctUnique, "", "t", {"a"});
    muq->IndexName = "uk_a";
    EXPECT_EQ(muq->GetCreateSQL(), "ALTER TABLE `t` ADD UNIQUE uk_a (`a`)");
    EXPECT_EQ(muq->GetDropSQL(), "ALTER TABLE `t` DROP KEY `uk_a`");

    OneSide ora(stOracle);
    TCtrData* nn = AddKey(ora.Objs(), ctNotNull, "NN_A", "T", {"A"});
    EXPECT_EQ(nn->GetCreateSQL(), "ALTER TABLE T MODIFY (A CONSTRAINT NN_A NOT NULL)");
    TCtrData* ck = AddKey(ora.Objs(), ctCheck, "CK", "T", {});
    ck->SetSource("(A > 0)");
    ck->DeferredLine = true;
    EXPECT_EQ(ck->GetCreateSQL(), "ALTER TABLE T ADD CONSTRAINT CK CHECK(A > 0)\r\nDEFERRABLE INITIALLY DEFERRED");
}

TEST(ConstraintText, ReferentialActionsNeedODS9OnTheTarget) {
    for (auto [ods, rules] : {std::pair{8, false}, std::pair{0, true}, std::pair{11, true}}) {
        Comparison c;
        c.T().IBServerOptions.IBDatabaseOptions.ODSMajor = ods;
        TCtrData* k = Fk(c.M(), "FK");
        EXPECT_EQ(k->GetCreateSQL().find(" ON UPDATE CASCADE ON DELETE SET NULL") != std::string::npos, rules) << ods;
    }
}

TEST(ConstraintText, UnnamedFirebirdKeysDropByVersion) {
    struct Case {
        TIBSQLServerVersionType version;
        std::string system;
        const char* drop;
    };
    const char* oldText = "Delete from Rdb$Relation_Constraints\r\nwhere Rdb$Relation_Name = 'it''s'\r\n"
                          "and Rdb$Constraint_Type = 'PRIMARY KEY'";
    const std::string head = "EXECUTE BLOCK AS\r\nDECLARE VARIABLE N VARCHAR(100);\r\nBEGIN\r\n"
                             "  SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS\r\n"
                             "  WHERE RDB$RELATION_NAME = 'it''s' AND RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'\r\n"
                             "  INTO :N;\r\n";
    const std::string drop = "  IF (N IS NOT NULL) THEN\r\n"
                             "    EXECUTE STATEMENT 'ALTER TABLE \"it''s\" DROP CONSTRAINT ' || N";
    const std::string fb20 = head + drop + ";\r\nEND";
    const std::string fb25 = head +
                             "  IF (N NOT SIMILAR TO '[A-Z][A-Z0-9_$]*') THEN\r\n"
                             "    N = '\"' || REPLACE(N, '\"', '\"\"') || '\"';\r\n" +
                             drop + "\r\n    WITH AUTONOMOUS TRANSACTION;\r\nEND";
    const Case cases[] = {
        {st_InterBase_6x, "", oldText},
        {st_InterBase_75, "", oldText},
        {st_InterBase_2020, "", oldText},
        {st_Firebird_20, "", fb20.c_str()},
        {st_Firebird_30, "", fb25.c_str()},
        {st_Firebird_30, "INTEG_7", "ALTER TABLE \"it's\" DROP CONSTRAINT INTEG_7"},
    };
    for (const Case& c : cases) {
        Comparison cmp(stInterBase, c.version);
        TCtrData* k = AddKey(cmp.T(), ctPrimaryKey, "", "it's", {"A"});
        k->SetSystemName(c.system);
        EXPECT_EQ(k->GetDropSQL(), c.drop) << int(c.version);
        cmp.PairAndMark();
        k->DoDrop();
        ASSERT_GE(cmp.exec.StatementCount(), 1);
        const TStatement* last = cmp.exec.Statements(cmp.exec.StatementCount() - 1);
        EXPECT_EQ(last->Kind, std::string(c.drop).starts_with("EXECUTE") ? skExecuteBlock : skStatement);
        EXPECT_FALSE(k->GetExists());
    }
}

// Unique and foreign keys are looked up from 2.0 on, checks (by their text) from 2.5 on; where no
// lookup runs a key keeps the comment and a check says it must be dropped by hand. The texts are
// proved on a real database by the Firebird key tests.
TEST(ConstraintText, OtherUnnamedFirebirdConstraintsDropByVersion) {
    struct Case {
        TIBSQLServerVersionType version;
        uint8_t type;
        const char* drop;  // how the text begins; a block also names what it matches
        TStatementKind kind;
    };
    const char* block = "EXECUTE BLOCK AS\r\nDECLARE VARIABLE N VARCHAR(100);\r\nBEGIN\r\n  SELECT FIRST 1";
    const Case cases[] = {
        {st_InterBase_75, ctForeignKey,
         "/* drop constraint: ALTER TABLE T ADD FOREIGN KEY (A, B) REFERENCES \"it's\" (X, \"Y * /\") */\r\n", skStatement},
        {st_InterBase_75, ctUnique, "/* drop constraint: ALTER TABLE T ADD UNIQUE (A, B) */\r\n", skStatement},
        {st_Firebird_20, ctForeignKey, block, skExecuteBlock},
        {st_Firebird_30, ctForeignKey, block, skExecuteBlock},
        {st_Firebird_30, ctUnique, block, skExecuteBlock},
        {st_Firebird_21, ctCheck,
         "/* WARNING: a check of table T has no name known here and is not dropped; drop it by hand: ALTER TABLE T "
         "ADD CHECK(A > 0 /* it's * /) */",
         skComment},
        {st_Firebird_30, ctCheck, block, skExecuteBlock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.version) << " type " << int(c.type));
        Comparison cmp(stInterBase, c.version);
        auto k = std::make_unique<TCtrData>(&cmp.T());
        k->SetConstraintType(c.type);
        k->SetTableName("T");
        if (c.type != ctCheck) k->AddField("A"), k->AddField("B");
        if (c.type == ctForeignKey) {
            // A clause that ends a comment stays inside the one around it.
            k->SetRefTableName("it's");
            k->AddRefField("X");
            k->AddRefField("Y */");
        }
        k->SetSource("(A > 0 /* it's */)");
        TCtrData* filed = k.get();
        cmp.T().AddDbObject(k.release());
        const std::string drop = filed->GetDropSQL();
        EXPECT_TRUE(drop.starts_with(c.drop)) << drop;
        if (c.kind == skExecuteBlock) {
            const bool from25 = AtLeast(c.version, st_Firebird_25);
            EXPECT_EQ(drop.find("WITH AUTONOMOUS TRANSACTION") != std::string::npos, from25) << drop;
            EXPECT_NE(drop.find("EXECUTE STATEMENT 'ALTER TABLE T DROP CONSTRAINT ' || N"), std::string::npos) << drop;
            std::vector<std::string> matches;
            if (c.type == ctCheck) {
                matches = {"C.RDB$CONSTRAINT_TYPE = 'CHECK'", "= '(A>0/*it''s*/)')"};
            } else {
                matches = {"S.RDB$FIELD_POSITION = 0 AND S.RDB$FIELD_NAME = 'A'\r\n"
                           "      OR S.RDB$FIELD_POSITION = 1 AND S.RDB$FIELD_NAME = 'B')) = 2"};
                if (c.type == ctUnique)
                    matches.push_back("C.RDB$CONSTRAINT_TYPE = 'UNIQUE'");
                else
                    matches.insert(matches.end(), {"C.RDB$CONSTRAINT_TYPE = 'FOREIGN KEY'",
                                                   "P.RDB$RELATION_NAME = 'it''s'", "S.RDB$FIELD_NAME = 'Y */'"});
            }
            for (const std::string& m : matches) EXPECT_NE(drop.find(m), std::string::npos) << m << "\n" << drop;
        }
        cmp.PairAndMark();
        WriteDropConstraints(cmp.q);
        ASSERT_GE(cmp.exec.StatementCount(), 1);
        const TStatement* last = cmp.exec.Statements(cmp.exec.StatementCount() - 1);
        EXPECT_EQ(last->Kind, c.kind);
        EXPECT_FALSE(filed->GetExists());
    }
}

TEST(ConstraintPasses, ACheckToBeDroppedByHandIsLogged) {
    Comparison c(stInterBase, st_Firebird_21);
    std::vector<std::string> log;
    c.q.OnLogNextLine = [&log](TObject*, const std::string& Text) { log.push_back(Text); };
    AddKey(c.T(), ctCheck, "", "T", {})->SetSource("(A > 0)");
    AddKey(c.T(), ctCheck, "CK_NAMED", "T", {})->SetSource("(A > 1)");
    c.PairAndMark();
    WriteDropConstraints(c.q);
    EXPECT_EQ(log, std::vector<std::string>{"WARNING: a check of table T has no name known here and is not dropped; drop it by hand: "
                                            "ALTER TABLE T ADD CHECK(A > 0)"});
}

TEST(ConstraintKeys, UnnamedFirebirdKeysMatchByTheirDialect1Text) {
    Comparison c;
    c.M().IBServerOptions.SQLDialect = 3;
    c.T().IBServerOptions.SQLDialect = 1;
    TCtrData* m = AddKey(c.M(), ctUnique, "", "order", {"A"});
    TCtrData* t = AddKey(c.T(), ctUnique, "", "order", {"A"});
    EXPECT_EQ(m->GetCreateSQL(), "ALTER TABLE \"order\" ADD UNIQUE (A)");
    EXPECT_EQ(m->GetKeyName(), t->GetKeyName());
    EXPECT_EQ(c.M().IBServerOptions.SQLDialect, 3);  // restored
    c.PairAndMark();
    EXPECT_EQ(m->Counterpart, t);
}

TEST(ConstraintPasses, DropWalksBackwardsKeepsEqualKeysAndHonoursTheComparedKinds) {
    Comparison c;
    c.exec.ConnectionOptions.DatabaseName = "db.fdb";
    for (TObjs* o : {&c.M(), &c.T()}) AddKey(*o, ctCheck, "A_SAME", "T", {})->SetSource("(A > 0)");
    AddKey(c.M(), ctCheck, "B_CHANGED", "T", {})->SetSource("(A > 1)");
    AddKey(c.T(), ctCheck, "B_CHANGED", "T", {})->SetSource("(A > 2)");
    AddKey(c.T(), ctUnique, "C_GONE", "T", {"A"});
    TCtrData* pk = AddKey(c.T(), ctPrimaryKey, "D_PK", "P", {"ID"});
    TCtrData* fk = Fk(c.T(), "E_FK");
    RegisterDependency(&c.T(), fk, pk);
    c.PairAndMark();

    c.q.CompareObjects = TCmpObjSetType::All();
    c.q.CompareObjects.Exclude(coUnique);
    WriteDropConstraints(c.q);
    std::vector<std::string> drops;
    for (int i = 0; i < c.exec.StatementCount(); ++i) drops.push_back(c.exec.Statements(i)->ObjName);
    // From the end: the foreign key, the primary key (a reconnect first), the changed check.
    EXPECT_EQ(drops, (std::vector<std::string>{"E_FK", "", "D_PK", "B_CHANGED"}));
    EXPECT_EQ(c.exec.Statements(1)->Kind, skConnect);
    EXPECT_TRUE(c.T().List(olConstraints).FindObj("C_GONE")->GetExists());

    // Without any constraint kind nothing is dropped.
    Comparison none;
    AddKey(none.T(), ctCheck, "X", "T", {})->SetSource("(A > 0)");
    none.PairAndMark();
    none.q.CompareObjects = TCmpObjSetType();
    WriteDropConstraints(none.q);
    EXPECT_EQ(none.exec.StatementCount(), 0);
}

TEST(ConstraintPasses, DroppingAPrimaryKeyDropsItsForeignKeysFirstAfterAReconnect) {
    Comparison c;
    c.exec.ConnectionOptions.DatabaseName = "db.fdb";
    TCtrData* pk = AddKey(c.T(), ctPrimaryKey, "PK", "PARENT", {"ID"});
    RegisterDependency(&c.T(), Fk(c.T(), "FK"), pk);
    c.PairAndMark();
    pk->DoDrop();
    ASSERT_EQ(c.exec.StatementCount(), 3);
    EXPECT_EQ(c.exec.Statements(0)->Kind, skConnect);
    EXPECT_EQ(c.exec.Statements(1)->Lines.Text(), "ALTER TABLE CHILD DROP CONSTRAINT FK\r\n");
    EXPECT_EQ(c.exec.Statements(2)->Lines.Text(), "ALTER TABLE PARENT DROP CONSTRAINT PK\r\n");
}

TEST(ConstraintPasses, CreateSectionsInTheirOrder) {
    Comparison c;
    c.exec.ConnectionOptions.DatabaseName = "db.fdb";
    AddKey(c.M(), ctCheck, "CK", "T", {})->SetSource("(A > 0)");
    Fk(c.M(), "FK");
    AddKey(c.M(), ctUnique, "UQ", "T", {"A"});
    AddKey(c.M(), ctPrimaryKey, "PK", "T", {"ID"});
    AddKey(c.M(), ctPrimaryKey, "PK_THERE", "U", {"ID"});
    AddKey(c.T(), ctPrimaryKey, "PK_THERE", "U", {"ID"});
    c.PairAndMark();
    WriteCreateConstraints(c.q, AllConstraintTypesButDefault);
    EXPECT_EQ(c.All(), (std::vector<std::string>{
                           "/* Create Primary Key... */\r\n", "ALTER TABLE T ADD CONSTRAINT PK PRIMARY KEY (ID)\r\n",
                           "/* Create Unique... */\r\n", "ALTER TABLE T ADD CONSTRAINT UQ UNIQUE (A)\r\n",
                           "/* Create Foreign Key... */\r\n", "CONNECT 'db.fdb' USER 'SYSDBA'\r\n",
                           "ALTER TABLE CHILD ADD CONSTRAINT FK FOREIGN KEY (PID) REFERENCES PARENT (ID) ON UPDATE "
                           "CASCADE ON DELETE SET NULL\r\n",
                           "/* Create Check... */\r\n", "ALTER TABLE T ADD CONSTRAINT CK CHECK(A > 0)\r\n"}));
}

TEST(ConstraintPasses, DefaultsNeedCheckAndComeFromTheMSSQLSectionFirst) {
    auto build = [](Comparison& c) {
        AddKey(c.M(), ctDefault, "DF", "T", {"A"})->SetSource("(0)");
        c.PairAndMark();
    };
    {
        Comparison ms(stMSSQL);
        build(ms);
        WriteCreateConstraints(ms.q, DefaultConstraintsOnly);
        EXPECT_EQ(ms.All(), (std::vector<std::string>{"/* Create Default... */\r\n",
                                                      "ALTER TABLE T ADD CONSTRAINT DF DEFAULT (0) FOR A\r\n"}));
    }
    {
        Comparison ase(stASE);
        build(ase);
        WriteCreateConstraints(ase.q, DefaultConstraintsOnly);
        EXPECT_EQ(ase.All(), (std::vector<std::string>{"/* Create Default... */\r\n",
                                                       "ALTER TABLE T ADD CONSTRAINT DF DEFAULT (0) FOR A\r\n", "\r\n"}));
    }
    {
        Comparison ms(stMSSQL);
        build(ms);
        ms.q.CompareObjects = TCmpObjSetType::All();
        ms.q.CompareObjects.Exclude(coCheck);  // coCtrDefault alone does not write defaults
        WriteCreateConstraints(ms.q, DefaultConstraintsOnly);
        EXPECT_EQ(ms.exec.StatementCount(), 0);
    }
}
