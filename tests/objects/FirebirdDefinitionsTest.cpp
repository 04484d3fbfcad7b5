// Definitions whose texts Firebird 3 is strict about, run through the comparer on real
// databases: procedure parameters with defaults, an unnamed primary key of a dialect-1 database,
// an index that a dropped column takes along, and sequences with their start and step. The
// updated target's schema must equal a database made from the master's DDL, and a second
// comparison must write nothing.
#include "CompareKit.h"
#include "FirebirdCompare.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Prc.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qnl;
using namespace qnl::test;

namespace {

// The schema as isql extracts it, without carriage returns: the script writes bodies with CR LF
// where the reference DDL has LF.
std::string Schema(const TempDatabase& Db) {
    std::string s = ExtractSchema(Db.Path());
    std::erase(s, '\r');
    return s;
}

size_t Count(const std::string& Text, const std::string& What) {
    size_t n = 0;
    for (size_t p = Text.find(What); p != std::string::npos; p = Text.find(What, p + 1)) ++n;
    return n;
}

// ---- procedure parameters ----

TPrcData* AddProc(TObjs& O, const std::string& Name, const std::string& Body) {
    auto* p = new TPrcData(&O);
    p->Name = Name;
    p->SetSource(Body);
    O.AddDbObject(p);
    return p;
}

const char* const PBody = "BEGIN\n  R = X;\n  SUSPEND;\nEND";
const char* const QBody = "BEGIN\n  N = N + 1;\nEND";

// P gets NOT NULL, COLLATE and defaults on parameters it had without; Q is new.
void BuildParamsMaster(TObjs& O) {
    O.IBServerOptions.SetDBCharSet("UTF8");
    TPrcData* p = AddProc(O, "P", PBody);
    TFldData* x = p->AddInputParam("X", dtInteger);
    x->Nullable = false;
    x->DefaultValue = "5";
    TFldData* s = p->AddInputParam("S", dtVarChar);
    s->CharLength = 10;
    s->CharSetName = "UTF8";
    s->CollationName = "UNICODE";
    s->DefaultValue = "'a'";
    p->AddOutputParam("R", dtInteger);
    TFldData* n = AddProc(O, "Q", QBody)->AddInputParam("N", dtInteger);
    n->Nullable = false;
    n->DefaultValue = "1";
}

void BuildParamsTarget(TObjs& O) {
    O.IBServerOptions.SetDBCharSet("UTF8");
    TPrcData* p = AddProc(O, "P", PBody);
    p->AddInputParam("X", dtInteger);
    p->AddOutputParam("R", dtInteger);
}

// Character sets and collations of columns are compared; the sides carry the comparer's options
// as its extraction hands them over.
void ParamOptions(Comparison& C) {
    C.q.IBCompareOptions().FldCharsetCompare = true;
    for (TObjs* o : {&C.M(), &C.T()}) o->IBServerOptions.IBCompareOptions.FldCharsetCompare = true;
}

TEST(FirebirdDefinitions, ParametersTakeNotNullAndCollateBeforeTheirDefault) {
    TempDatabase db("SET TERM ^ ;\n"
                    "CREATE PROCEDURE P (X INTEGER) RETURNS (R INTEGER) AS\nBEGIN\n  R = X;\n  SUSPEND;\nEND^\n"
                    "SET TERM ; ^\n",
                    "UTF8");
    TempDatabase reference("SET TERM ^ ;\n"
                           "CREATE PROCEDURE P (X INTEGER NOT NULL = 5, S VARCHAR(10) COLLATE UNICODE = 'a') "
                           "RETURNS (R INTEGER) AS\nBEGIN\n  R = X;\n  SUSPEND;\nEND^\n"
                           "CREATE PROCEDURE Q (N INTEGER NOT NULL = 1) AS\nBEGIN\n  N = N + 1;\nEND^\n"
                           "SET TERM ; ^\n",
                           "UTF8");
    Comparison cmp;
    ParamOptions(cmp);
    BuildParamsMaster(cmp.M());
    BuildParamsTarget(cmp.T());
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();
    At(s, "X INTEGER NOT NULL = 5,");
    At(s, "S VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE = 'a')");
    At(s, "CREATE PROCEDURE Q(N INTEGER NOT NULL = 1)");
    EXPECT_EQ(Schema(db), Schema(reference));
    ExpectMasterComparesClean(BuildParamsMaster, ParamOptions);
}

// ---- an unnamed primary key in dialect 1 ----

void BuildDialect1Master(TObjs& O, bool Named) {
    O.IBServerOptions.SQLDialect = 1;
    TTblData* t = AddTable(O, "P");
    AddCol(t, "ID", dtInteger).Nullable = false;
    AddKey(O, ctPrimaryKey, Named ? "PK_P" : "", "P", {"ID"});
}

void Dialect1(Comparison& C) {
    for (TObjs* o : {&C.M(), &C.T()}) o->IBServerOptions.SQLDialect = 1;
}

TEST(FirebirdDefinitions, UnnamedPrimaryKeyOfADialect1DatabaseIsDroppedByItsServerName) {
    TempDatabase db("CREATE TABLE P (ID INTEGER NOT NULL, PRIMARY KEY (ID));\n", "NONE", 1);
    TempDatabase reference("CREATE TABLE P (ID INTEGER NOT NULL, CONSTRAINT PK_P PRIMARY KEY (ID));\n", "NONE", 1);
    Comparison cmp;
    Dialect1(cmp);
    BuildDialect1Master(cmp.M(), true);
    BuildDialect1Master(cmp.T(), false);
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();
    EXPECT_LT(At(s, "EXECUTE BLOCK AS"), At(s, "ALTER TABLE P ADD CONSTRAINT PK_P PRIMARY KEY (ID);"));
    EXPECT_EQ(Schema(db), Schema(reference));
    ExpectMasterComparesClean([](TObjs& O) { BuildDialect1Master(O, true); }, Dialect1);
}

// ---- an index that goes with a dropped column ----

// The target's IDX is on column C, which the master no longer has; the master's IDX is on D.
void BuildIndexSide(TObjs& O, bool Master) {
    TTblData* t = AddTable(O, "T");
    AddCol(t, "ID", dtInteger);
    if (!Master) AddCol(t, "C", dtInteger);
    AddCol(t, "D", dtInteger);
    TIdxData* idx = AddIndex(O, "IDX", "T", {Master ? "D" : "C"});
    RegisterDependency(&O, idx, t);
    RegisterDependency(&O, idx, t->ColumnByName(Master ? "D" : "C"));
}

TEST(FirebirdDefinitions, AnIndexTakenAlongByADroppedColumnIsBuiltOnce) {
    TempDatabase db("CREATE TABLE T (ID INTEGER, C INTEGER, D INTEGER);\nCREATE INDEX IDX ON T (C);\n");
    TempDatabase reference("CREATE TABLE T (ID INTEGER, D INTEGER);\nCREATE INDEX IDX ON T (D);\n");
    Comparison cmp;
    BuildIndexSide(cmp.M(), true);
    BuildIndexSide(cmp.T(), false);
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();
    EXPECT_LT(At(s, "DROP INDEX IDX;"), At(s, "ALTER TABLE T DROP C;"));
    EXPECT_EQ(Count(s, "CREATE INDEX IDX ON T(D);"), 1u) << s;
    EXPECT_EQ(Count(s, "DROP INDEX IDX;"), 1u) << s;
    EXPECT_EQ(Schema(db), Schema(reference));
    ExpectMasterComparesClean([](TObjs& O) { BuildIndexSide(O, true); });
}

// ---- sequences ----

// Start value and step as Firebird 3 keeps them (0 and 1 by default).
TGnrData* AddSequence(TObjs& O, const std::string& Name, const std::string& Start, const std::string& Step) {
    auto* g = new TGnrData(&O, nullptr);
    g->Name = Name;
    g->StartWith = Start;
    g->IncrementBy = Step;
    O.AddDbObject(g);
    return g;
}

void BuildSequencesMaster(TObjs& O) {
    AddSequence(O, "K", "0", "5");
    AddSequence(O, "S", "100", "10");
    AddSequence(O, "SAME", "0", "1");
}

TEST(FirebirdDefinitions, SequencesKeepTheirStartAndStepAndKeptOnesTheirValue) {
    TempDatabase db("CREATE SEQUENCE K;\nCREATE SEQUENCE SAME;\nCOMMIT;\nSET GENERATOR K TO 7;\n");
    TempDatabase reference("CREATE SEQUENCE K INCREMENT BY 5;\nCREATE SEQUENCE S START WITH 100 INCREMENT BY 10;\n"
                           "CREATE SEQUENCE SAME;\n");
    Comparison cmp;
    BuildSequencesMaster(cmp.M());
    AddSequence(cmp.T(), "K", "0", "1");
    AddSequence(cmp.T(), "SAME", "0", "1");
    std::string out;
    ASSERT_EQ(cmp.RunOn(db, out), 0) << cmp.ScriptText() << out;
    const std::string s = cmp.ScriptText();
    At(s, "CREATE SEQUENCE S START WITH 100 INCREMENT BY 10;");
    At(s, "ALTER SEQUENCE K INCREMENT BY 5;");
    EXPECT_EQ(s.find("SAME"), std::string::npos) << s;
    EXPECT_EQ(Schema(db), Schema(reference));
    EXPECT_EQ(QueryRows(db, "SELECT '<<' || GEN_ID(K, 0) || '|' || GEN_ID(S, 0) || '>>' FROM RDB$DATABASE;"),
              (std::vector<std::string>{"7|100"}));
    ExpectMasterComparesClean(BuildSequencesMaster);
}

} // namespace
