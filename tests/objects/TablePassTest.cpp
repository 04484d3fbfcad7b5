// Dropping tables with what depends on them, creating them in two phases, schemas and
// publications, on a recording executor.
#include "CompareKit.h"
#include "ObjectsKit.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

namespace {

class TestTrigger : public TDbObj {
public:
    TestTrigger(TCustomObjs* C, const std::string& AName, const std::string& ATable) : TDbObj(C), Table(ATable) {
        Kind = dboTrigger;
        Name = AName;
    }
    std::string Table;
    TObjListKind GetObjList() const override { return olTriggers; }
    std::string GetOwnerName() const override { return Table; }
    std::string GetDropSQL() override { return "DROP TRIGGER " + Name; }
};

std::vector<std::string> Captions(const TCustomSQLExec& E) {
    std::vector<std::string> r;
    for (int i = 0; i < E.StatementCount(); ++i) r.push_back(E.Statements(i)->GetCaption());
    return r;
}

} // namespace

TEST(TableDrop, DependentsGoFirstAndOneConnectOpensTheSection) {
    Comparison c;
    c.exec.ConnectionOptions.DatabaseName = "db.fdb";
    TTblData* t = AddTable(c.T(), "OLD");
    AddCol(t, "ID", dtInteger);
    auto* trg = new TestTrigger(&c.T(), "OLD_BI", "OLD");
    c.T().AddDbObject(trg);
    AddIndex(c.T(), "IX_OLD", "OLD", {"ID"});
    TCtrData* fk = AddKey(c.T(), ctForeignKey, "FK_OTHER", "OTHER", {"OID"});
    fk->SetRefTableName("OLD");
    RegisterDependency(&c.T(), fk, t);
    TTblData* other = AddTable(c.T(), "OTHER");
    TFldData& calc = AddCol(other, "N", dtInteger);
    calc.SetSource("((SELECT COUNT(*) FROM OLD))");
    RegisterDependency(&c.T(), &calc, t);
    // OTHER stays: the master has it with its plain column only.
    AddCol(AddTable(c.M(), "OTHER"), "OID", dtInteger);
    AddCol(other, "OID", dtInteger);
    c.PairAndMark();

    WriteDropTables(c.q);
    const std::vector<std::string> captions = Captions(c.exec);
    // The computed column of OTHER that the master lacks goes in "Drop table-fields...", then
    // the table section: one connect, the comment, the dependents, the table.
    const std::vector<std::string> expected = {
        "/*  */",       "OTHER (N): alter", "/*  */",  "CONNECT 'db.fdb' USER 'SYSDBA'", "/*  */", "OLD_BI: drop",
        "CONNECT 'db.fdb' USER 'SYSDBA'", "IX_OLD: drop", "FK_OTHER: drop", "OLD: drop", "/*  */"};
    EXPECT_EQ(captions, expected);
    EXPECT_EQ(c.exec.Statements(2)->Lines.Text(), "\r\n");
    EXPECT_EQ(c.exec.Statements(4)->Lines.Text(), "/* Drop tables... */\r\n");
    EXPECT_FALSE(t->GetExists());
    EXPECT_FALSE(t->Column(0)->GetExists());
    EXPECT_TRUE(static_cast<TTblData*>(c.M().FindTable("OTHER"))->NeedsReorder);
}

TEST(TableCreate, NewTableGetsPlainColumnsThenComputedOnes) {
    Comparison c;
    TTblData* t = AddTable(c.M(), "T");
    AddCol(t, "A", dtInteger);
    AddCol(t, "B", dtUnknown).SetSource("(A * 2)");
    c.PairAndMark();
    WriteCreateTables(c.q);
    std::vector<std::string> kinds;
    for (int i = 0; i < c.exec.StatementCount(); ++i) kinds.push_back(c.exec.Statements(i)->Lines.Text());
    ASSERT_GE(kinds.size(), 4u);
    EXPECT_EQ(kinds[0], "/* Create Table... */\r\n");
    EXPECT_EQ(kinds[1], "CREATE TABLE T(A INTEGER)\r\n");
    EXPECT_EQ(kinds[3], "ALTER TABLE T ADD B COMPUTED BY (A * 2)\r\n");
    EXPECT_TRUE(t->GetExists() && t->Column(0)->GetExists() && t->Column(1)->GetExists());
    EXPECT_TRUE(t->NeedsReorder);
    EXPECT_FALSE(t->PlainColumnsOnly);
}

TEST(Schemas, TextsAndTheServersOwnSchemasAreLeftAlone) {
    Comparison ms(stMSSQL);
    auto add = [](TObjs& O, const std::string& N) {
        auto* s = new TSchData(&O);
        s->Name = N;
        O.AddDbObject(s);
        return s;
    };
    TSchData* sales = add(ms.M(), "SALES");
    sales->AuthorizationName = "boss";
    TSchData* dbo = add(ms.M(), "DBO");
    dbo->SetSystemName("DBO");
    EXPECT_EQ(sales->GetCreateSQL(), "CREATE SCHEMA SALES AUTHORIZATION boss");
    EXPECT_EQ(sales->GetDropSQL(), "DROP SCHEMA SALES");
    add(ms.T(), "OLD");
    TSchData* tdbo = add(ms.T(), "DBO");
    tdbo->SetSystemName("DBO");
    ms.q.SetSQLExec(&ms.exec);
    for (TObjs* o : {&ms.M(), &ms.T()})
        for (int i = 0; i < o->List(olSchemas).Count(); ++i) o->List(olSchemas).Obj(i)->Exists = o == &ms.T();
    WriteCreateSchemas(ms.q);
    WriteDropSchemas(ms.q);
    EXPECT_EQ(ms.Changes(), (std::vector<std::string>{"CREATE SCHEMA SALES AUTHORIZATION boss\r\n",
                                                      "DROP SCHEMA OLD\r\n"}));

    // Not for InterBase/Firebird targets; "public" never on PostgreSQL.
    Comparison ib;
    add(ib.M(), "S");
    WriteCreateSchemas(ib.q);
    EXPECT_EQ(ib.exec.StatementCount(), 0);
    Comparison pg(stPostgreSQL);
    add(pg.M(), "public")->Exists = false;
    add(pg.T(), "public")->SetDescription("x");
    WriteCreateSchemas(pg.q);
    WriteDropSchemas(pg.q);
    EXPECT_EQ(pg.exec.StatementCount(), 0);
}

TEST(Publications, TextAndReplacementWhenTheTextDiffers) {
    Comparison c(stASA);
    auto add = [](TObjs& O, const std::vector<std::string>& Cols) {
        auto* p = new TPblData(&O);
        p->Name = "PUB";
        p->SetDbOwner("DBA");
        TPblArtData* a = p->AddArticle("DBA", "T1");
        for (const auto& col : Cols) a->Columns.AddColumn(col);
        p->AddArticle("DBA", "T2");
        O.AddDbObject(p);
        return p;
    };
    TPblData* m = add(c.M(), {"A", "B"});
    TPblData* t = add(c.T(), {"A"});
    EXPECT_EQ(m->GetCreateSQL(), "CREATE PUBLICATION DBA.PUB (\r\n    TABLE DBA.T1(A, B), \r\n    TABLE DBA.T2\r\n)");
    EXPECT_EQ(m->GetDropSQL(), "DROP PUBLICATION DBA.PUB");
    m->SetCounterpart(t);
    t->SetCounterpart(m);
    m->SetExists(true);
    WriteDropPublications(c.q);
    WriteAlterPublications(c.q);
    WriteCreatePublications(c.q);
    EXPECT_EQ(c.Changes(), (std::vector<std::string>{"DROP PUBLICATION DBA.PUB\r\n", m->GetCreateSQL() + "\r\n"}));
}
