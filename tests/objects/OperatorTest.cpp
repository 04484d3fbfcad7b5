// PostgreSQL operators and operator classes: their texts, and the comparer's passes over them.
#include "objects/qnlComp_Prc.h"

#include "tests/objects/CompareKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::Comparison;
using Lines = std::vector<std::string>;

TOprData* AddOperator(TObjs& O, const std::string& Schema, const std::string& Symbol, const std::string& Left,
                      const std::string& Right, const std::string& Procedure = "f") {
    auto* o = new TOprData(&O);
    o->Schema = Schema;
    o->Name = Symbol;
    o->LeftArg = Left;
    o->RightArg = Right;
    o->ProcedureName = Procedure;
    O.AddDbObject(o);
    return o;
}

TOpcData* AddClass(TObjs& O, const std::string& Name) {
    auto* c = new TOpcData(&O);
    c->Schema = "s";
    c->Name = Name;
    c->ForType = "int4";
    c->IndexMethod = "btree";
    O.AddDbObject(c);
    return c;
}

void AddEntry(TOpcData& C, int Strategy, const std::string& Op, const std::string& Left = {}, const std::string& Right = {}) {
    auto e = std::make_unique<TOpcOprData>();
    e->StrategyNumber = Strategy;
    e->OperatorName = Op;
    e->LeftType = Left;
    e->RightType = Right;
    C.OperatorEntries.push_back(std::move(e));
}

void AddFunction(TOpcData& C, int Support, const std::string& Name, const Lines& Args) {
    auto f = std::make_unique<TOpcFncData>(&C);
    f->SupportNumber = Support;
    f->FunctionName = Name;
    for (const std::string& a : Args) f->ArgTypes.Add(a);
    C.FunctionEntries.push_back(std::move(f));
}

struct TextCase {
    const char* Name;
    std::function<TDbObj*(TObjs&)> Make;
    std::string Key, Create, Drop;
};

TEST(OperatorText, OperatorsAndClasses) {
    const std::vector<TextCase> cases{
        {"only the procedure", [](TObjs& o) { return AddOperator(o, "s", "+", "", "", "add"); }, "s.+ (NONE, NONE)",
         "CREATE OPERATOR s.+(\r\nPROCEDURE = add)", "DROP OPERATOR s.+(NONE, NONE)"},
        {"prefix operator", [](TObjs& o) { return AddOperator(o, "s", "-", "", "int4"); }, "s.- (NONE, int4)",
         "CREATE OPERATOR s.-(\r\nPROCEDURE = f,\r\nRIGHTARG = int4)", "DROP OPERATOR s.-(NONE, int4)"},
        {"postfix operator, every clause",
         [](TObjs& o) {
             TOprData* x = AddOperator(o, "s", "!", "int8", "");
             x->Commutator = "!!";
             x->Negator = "<>";
             x->RestrictProc = "eqsel";
             x->JoinProc = "eqjoinsel";
             x->Hashes = x->Merges = true;
             x->Sort1 = "<";
             x->Sort2 = "<";
             x->LtCmp = "<";
             x->GtCmp = ">";
             return x;
         },
         "s.! (int8, NONE)",
         "CREATE OPERATOR s.!(\r\nPROCEDURE = f,\r\nLEFTARG = int8,\r\nCOMMUTATOR = !!,\r\nNEGATOR = <>,\r\nRESTRICT = "
         "eqsel,\r\nJOIN = eqjoinsel,\r\nHASHES,\r\nMERGES,\r\nSORT1 = <,\r\nSORT2 = <,\r\nLTCMP = <,\r\nGTCMP = >)",
         "DROP OPERATOR s.!(int8, NONE)"},
        {"no schema", [](TObjs& o) { return AddOperator(o, "", "+", "int4", "int4"); }, ".+ (int4, int4)",
         "CREATE OPERATOR +(\r\nPROCEDURE = f,\r\nLEFTARG = int4,\r\nRIGHTARG = int4)", "DROP OPERATOR +(int4, int4)"},
        {"class with one operator entry", [](TObjs& o) {
             TOpcData* c = AddClass(o, "Ops");
             AddEntry(*c, 1, "<");
             return c;
         },
         "Ops(btree)", "CREATE OPERATOR CLASS s.\"Ops\" FOR TYPE int4 USING btree AS\r\nOPERATOR 1 <",
         "DROP OPERATOR CLASS s.\"Ops\" USING btree"},
        {"class with entries, functions and storage", [](TObjs& o) {
             TOpcData* c = AddClass(o, "ops");
             c->IsDefault = true;
             c->ForType = "character varying";
             AddEntry(*c, 1, "<", "int4", "");
             AddFunction(*c, 1, "Cmp", {"int4", "int4"});
             AddFunction(*c, 2, "hash", {});
             c->StorageType = "int8";
             return c;
         },
         "ops(btree)",
         "CREATE OPERATOR CLASS s.ops DEFAULT FOR TYPE character varying USING btree AS\r\nOPERATOR 1 < (int4, NONE),"
         "\r\nFUNCTION 1 \"Cmp\"(int4, int4),\r\nFUNCTION 2 hash(),\r\nSTORAGE int8",
         "DROP OPERATOR CLASS s.ops USING btree"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TObjs objs;
        objs.SetServerType(stPostgreSQL);
        TDbObj* o = c.Make(objs);
        EXPECT_EQ(o->GetKeyName(), c.Key);
        EXPECT_EQ(o->GetCreateSQL(), c.Create);
        EXPECT_EQ(o->GetDropSQL(), c.Drop);
    }
}

TEST(OperatorPasses, CreatedEarlyDroppedLateRecreatedWhenChanged) {
    Comparison c(stPostgreSQL);
    auto* schema = new TSchData(&c.M());
    schema->Name = "s";
    c.M().AddDbObject(schema);
    test::AddTable(c.M(), "t");
    // Two overloads of one symbol, a changed operator, an equal one, and a class.
    AddOperator(c.M(), "s", "+", "int4", "int4", "add4");
    AddOperator(c.M(), "s", "+", "int8", "int8", "add8");
    AddOperator(c.M(), "s", "~", "", "int4", "new_neg");
    AddOperator(c.T(), "s", "~", "", "int4", "old_neg");
    AddOperator(c.M(), "s", "=", "int4", "int4", "eq");
    AddOperator(c.T(), "s", "=", "int4", "int4", "eq");
    AddEntry(*AddClass(c.M(), "ops"), 1, "<");
    AddOperator(c.T(), "s", "#", "int4", "int4", "gone");
    AddEntry(*AddClass(c.T(), "old_ops"), 1, "<");
    c.Run();
    const Lines changes = c.Changes();
    const Lines expected{"CREATE SCHEMA s",
                         "CREATE OPERATOR s.+(\r\nPROCEDURE = add4,\r\nLEFTARG = int4,\r\nRIGHTARG = int4)",
                         "CREATE OPERATOR s.+(\r\nPROCEDURE = add8,\r\nLEFTARG = int8,\r\nRIGHTARG = int8)",
                         "DROP OPERATOR s.~(NONE, int4)",
                         "CREATE OPERATOR s.~(\r\nPROCEDURE = new_neg,\r\nRIGHTARG = int4)",
                         "CREATE OPERATOR CLASS s.ops FOR TYPE int4 USING btree AS\r\nOPERATOR 1 <"};
    ASSERT_GE(changes.size(), expected.size() + 3) << c.ScriptText();
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Trim(changes[i]), expected[i]) << c.ScriptText();
    // The table comes after them; the target's own operator and class go late, class first.
    EXPECT_EQ(Trim(changes[expected.size()]).rfind("CREATE TABLE", 0), 0u) << c.ScriptText();
    const Lines tail{Trim(changes[changes.size() - 2]), Trim(changes.back())};
    EXPECT_EQ(tail, (Lines{"DROP OPERATOR CLASS s.old_ops USING btree", "DROP OPERATOR s.#(int4, int4)"})) << c.ScriptText();
}

TEST(OperatorPasses, AFirebirdTargetWritesNone) {
    Comparison c(stInterBase);
    AddOperator(c.M(), "s", "+", "int4", "int4");
    AddOperator(c.T(), "s", "-", "int4", "int4");
    c.Run();
    EXPECT_EQ(c.Changes(), Lines{}) << c.ScriptText();
}

} // namespace
} // namespace qnl
