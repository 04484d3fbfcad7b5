// Generators and sequences: their texts per dialect and the create, alter and drop passes,
// the Firebird script run against a real database.
#include "ObjectsKit.h"
#include "tests/fixtures/FbFixture.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

namespace {

TGnrData* Gen(TObjs& Side, const std::string& Name) {
    auto* g = new TGnrData(&Side, nullptr);
    g->Name = Name;
    Side.AddDbObject(g);
    // As the comparer prepares the sides: an unpaired master object is missing in the target.
    g->Exists = Side.Side != sideMaster;
    return g;
}

TEST(Generator, OptionSettersKeepTheNoValueFlags) {
    TGnrData g(nullptr, nullptr);
    EXPECT_EQ(g.Cache, "20");
    EXPECT_TRUE(g.NoMinValue && g.NoMaxValue);
    g.SetMaxValue("999999999999999999999999999");
    EXPECT_EQ(g.MaxValue, "");
    EXPECT_TRUE(g.NoMaxValue);
    g.SetMaxValue("1000");
    EXPECT_EQ(g.MaxValue, "1000");
    g.SetCache("0");
    EXPECT_EQ(g.Cache, "");
    EXPECT_TRUE(g.NoCache);
    g.SetCache("50");
    EXPECT_EQ(g.Cache, "50");
    g.SetNoCache(true);
    EXPECT_EQ(g.Cache, "");
}

TEST(Generator, TypeColumnUnlessOwnedByAColumn) {
    OneSide side;
    TGnrData plain(&side.Objs(), nullptr);
    ASSERT_NE(plain.TypeField, nullptr);
    EXPECT_EQ(plain.GetTypeField(), plain.TypeField.get());
    EXPECT_EQ(plain.TypeField->Owner, &plain);
    TFldData column(&side.Objs(), nullptr);
    TGnrData identity(&side.Objs(), &column);
    EXPECT_EQ(identity.TypeField, nullptr);
}

TEST(Generator, CreateAndDropTextsPerDialect) {
    OneSide ora(stOracle);
    TGnrData* o = Gen(ora.Objs(), "SEQ_A");
    o->Schema = "HR";
    o->MinValue = "5";
    o->SetMaxValue("999999999999999999999999999");
    o->IncrementBy = "1";
    o->SetCache("0");
    o->Cycle = true;
    EXPECT_EQ(o->GetCreateSQL(), "CREATE SEQUENCE HR.SEQ_A\r\nminvalue 5\r\nnocache\r\ncycle");
    EXPECT_EQ(o->GetDropSQL(), "DROP SEQUENCE HR.SEQ_A");
    o->IncrementBy = "2";
    o->SetMaxValue("99");
    o->SetCache("10");
    o->Order = true;
    EXPECT_EQ(o->GetCreateSQL(),
              "CREATE SEQUENCE HR.SEQ_A\r\nminvalue 5\r\nmaxvalue 99\r\nincrement by 2\r\ncache 10\r\norder\r\ncycle");

    OneSide ms(stMSSQL);
    TGnrData* m = Gen(ms.Objs(), "SEQ_B");
    m->Schema = "dbo";
    m->TypeField->DataType = dtBigInt;
    m->StartWith = "100";
    m->IncrementBy = "1";
    m->MinValue = "1";
    m->Cycle = true;
    EXPECT_EQ(m->GetCreateSQL(), "CREATE SEQUENCE dbo.SEQ_B\r\n    AS BIGINT\r\n    START WITH 100\r\n    CYCLE\r\n    CACHE 20");
    EXPECT_EQ(m->GetDropSQL(), "");

    OneSide pg(stPostgreSQL);
    TGnrData* p = Gen(pg.Objs(), "seq_c");
    p->Temporary = true;
    p->IncrementBy = "1";
    p->StartWith = "7";
    p->OwnedBy = "t.id";
    EXPECT_EQ(p->GetCreateSQL(), "CREATE TEMPORARY SEQUENCE seq_c INCREMENT BY 1 START WITH 7 CACHE 20 OWNED BY t.id");
    EXPECT_EQ(p->GetDropSQL(), "DROP SEQUENCE seq_c");

    OneSide db2(stDB2);
    TGnrData* d = Gen(db2.Objs(), "G");
    d->StartWith = "1";
    d->IncrementBy = "1";
    std::string text = "stale";
    d->GetDB2IdentityText(text);
    EXPECT_EQ(text, "(START WITH 1, INCREMENT BY 1, CACHE 20)");
    o->GetDB2IdentityText(text);
    EXPECT_EQ(text, "");
}

TEST(Generator, InterBaseTextsByVersion) {
    OneSide fb(stInterBase, st_Firebird_25);
    TGnrData* g = Gen(fb.Objs(), "gen_id");
    g->StartWith = "10";
    g->IncrementBy = "2";
    EXPECT_EQ(g->GetCreateSQL(), "CREATE GENERATOR \"gen_id\"");
    EXPECT_EQ(g->GetDropSQL(), "DROP GENERATOR \"gen_id\"");
    fb.Objs().IBServerOptions.SQLServerVersion = st_FireBird_1x;
    EXPECT_EQ(g->GetDropSQL(), "DROP GENERATOR \"gen_id\"");
    // From Firebird 3 on the start value and the increment are written, the defaults (0 and 1) not.
    fb.Objs().IBServerOptions.SQLServerVersion = st_Firebird_30;
    EXPECT_EQ(g->GetCreateSQL(), "CREATE SEQUENCE \"gen_id\" START WITH 10 INCREMENT BY 2");
    g->StartWith = "0";
    EXPECT_EQ(g->GetCreateSQL(), "CREATE SEQUENCE \"gen_id\" INCREMENT BY 2");
    g->IncrementBy = "1";
    EXPECT_EQ(g->GetCreateSQL(), "CREATE GENERATOR \"gen_id\"");
    fb.Objs().IBServerOptions.SQLServerVersion = st_InterBase_2020;
    g->StartWith = "10";
    EXPECT_EQ(g->GetCreateSQL(), "CREATE GENERATOR \"gen_id\"");

    OneSide ib6(stInterBase, st_InterBase_6x);
    TGnrData* old = Gen(ib6.Objs(), "GEN_O'K");
    EXPECT_EQ(old->GetDropSQL(),
              "/* Drop generator: \"GEN_O'K\" */\r\n"
              "DELETE FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'GEN_O''K'");
    ib6.Objs().IBServerOptions.SQLDialect = 1;
    TGnrData* plain = Gen(ib6.Objs(), "GEN_A");
    EXPECT_EQ(plain->GetDropSQL(),
              "/* Drop generator: GEN_A */\r\nDELETE FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'GEN_A'");
}

TEST(GeneratorPasses, FirebirdCreatesMasterOnlyAndDropsTargetOnly) {
    LinkedSides s;
    Gen(s.M(), "G_NEW")->StartWith = "100";
    TGnrData* mb = Gen(s.M(), "G_BOTH");
    TGnrData* tb = Gen(s.T(), "G_BOTH");
    LinkedSides::Pair(mb, tb);
    Gen(s.T(), "G_OLD");
    Gen(s.M(), "G_SKIP")->NoScript = true;

    const TCmpObjSetType co = TCmpObjSetType::All();
    WriteCreateGenerators(s.M(), s.T(), s.exec, co);
    WriteAlterGenerators(s.M(), s.T(), s.exec, co);
    WriteDropGenerators(s.M(), s.T(), s.exec, co);
    EXPECT_EQ(s.exec.Texts(), (std::vector<std::string>{"/* Create generator... */", "CREATE SEQUENCE G_NEW START WITH 100", "",
                                                        "/* Drop generator... */", "DROP GENERATOR G_OLD", ""}));
    EXPECT_EQ(s.exec.Statements(1)->Action, saCreate);
    EXPECT_EQ(s.exec.Statements(1)->ObjKind, dboGenerator);
    EXPECT_EQ(s.exec.Statements(4)->Action, saDrop);
    EXPECT_FALSE(s.T().FindGenerator("G_OLD")->GetExists());

    // Nothing left to do: no section titles.
    s.exec.ClearStatements();
    WriteDropGenerators(s.M(), s.T(), s.exec, co);
    WriteAlterGenerators(s.M(), s.T(), s.exec, co);
    EXPECT_EQ(s.exec.StatementCount(), 0);
}

TEST(GeneratorPasses, MSSQLTargetHasNoSectionsAndNoAlters) {
    LinkedSides s(stMSSQL);
    Gen(s.M(), "S_NEW");
    TGnrData* m = Gen(s.M(), "S_BOTH");
    TGnrData* t = Gen(s.T(), "S_BOTH");
    m->IncrementBy = "5";
    LinkedSides::Pair(m, t);
    WriteCreateGenerators(s.M(), s.T(), s.exec, TCmpObjSetType::All());
    WriteAlterGenerators(s.M(), s.T(), s.exec, TCmpObjSetType::All());
    EXPECT_EQ(s.exec.Texts(), (std::vector<std::string>{"CREATE SEQUENCE S_NEW\r\n    CACHE 20", ""}));
}

TEST(GeneratorPasses, SequenceAlterStatements) {
    LinkedSides pg(stPostgreSQL);
    TGnrData* m = Gen(pg.M(), "s");
    TGnrData* t = Gen(pg.T(), "s");
    LinkedSides::Pair(m, t);
    m->SetNoCache(true);
    WriteAlterGenerators(pg.M(), pg.T(), pg.exec, TCmpObjSetType::All());
    EXPECT_EQ(pg.exec.Texts(), std::vector<std::string>{"ALTER SEQUENCE s nocache"});
    EXPECT_EQ(pg.exec.Statements(0)->Action, saAlter);

    LinkedSides ora(stOracle);
    TGnrData* om = Gen(ora.M(), "SEQ");
    TGnrData* ot = Gen(ora.T(), "SEQ");
    LinkedSides::Pair(om, ot);
    om->IncrementBy = "2";
    ot->IncrementBy = "1";
    om->SetMaxValue("500");
    ot->Cycle = true;
    om->Order = true;
    om->SetCache("40");
    om->StartWith = "9";  // start and minimum are never altered
    om->MinValue = "3";
    WriteAlterSequence(ora.exec, *om, *ot);
    EXPECT_EQ(ora.exec.Texts(), (std::vector<std::string>{"ALTER SEQUENCE SEQ increment by 2",
                                                          "ALTER SEQUENCE SEQ maxvalue 500", "ALTER SEQUENCE SEQ nocycle",
                                                          "ALTER SEQUENCE SEQ order", "ALTER SEQUENCE SEQ cache 40"}));
}

TEST(GeneratorPasses, FirebirdScriptRunsOnTheTarget) {
    TempDatabase db("CREATE SEQUENCE G_BOTH;\nCREATE SEQUENCE G_OLD;\nCREATE SEQUENCE \"g_old lower\";\n"
                    "COMMIT;\nSET GENERATOR G_BOTH TO 5;\n");
    LinkedSides s;
    Gen(s.M(), "G_NEW");
    Gen(s.M(), "g new");
    TGnrData* mb = Gen(s.M(), "G_BOTH");
    TGnrData* tb = Gen(s.T(), "G_BOTH");
    LinkedSides::Pair(mb, tb);
    Gen(s.T(), "G_OLD");
    Gen(s.T(), "g_old lower");

    const TCmpObjSetType co = TCmpObjSetType::All();
    WriteCreateGenerators(s.M(), s.T(), s.exec, co);
    WriteAlterGenerators(s.M(), s.T(), s.exec, co);
    WriteDropGenerators(s.M(), s.T(), s.exec, co);
    std::string out;
    ASSERT_EQ(RunSql(db, s.exec.Script() + "COMMIT;\n", out), 0) << s.exec.Script() << out;
    ASSERT_EQ(RunSql(db,
                        "SELECT '<<' || TRIM(RDB$GENERATOR_NAME) || '|' || GEN_ID(G_BOTH, 0) || '>>' FROM RDB$GENERATORS "
                        "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1;\n",
                        out),
              0)
        << out;
    // The generator both sides have keeps its value.
    EXPECT_EQ(Marked(out), (std::vector<std::string>{"G_BOTH|5", "G_NEW|5", "g new|5"}));
}

} // namespace
