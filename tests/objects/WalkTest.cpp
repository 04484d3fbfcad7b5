// The create and drop walks over the real object kinds: objects are found in the other side by
// the keys the containers file them under, and a walk that fails half-way leaves nothing
// behind that would stop the next one.
#include "ObjectsKit.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace qnl;
using namespace qnl::test;

namespace {

// Files a named object of a kind class in one side (target objects exist, master ones do not).
template <class K>
K* Named(LinkedSides& S, TObjs& Side, const std::string& Name, const std::string& Schema = {}) {
    auto* o = new K(&Side);
    o->Name = Name;
    o->Schema = Schema;
    return S.File(Side, o);
}

template <>
TGnrData* Named<TGnrData>(LinkedSides& S, TObjs& Side, const std::string& Name, const std::string& Schema) {
    auto* o = new TGnrData(&Side, nullptr);
    o->Name = Name;
    o->Schema = Schema;
    return S.File(Side, o);
}

struct KeyCase {
    const char* Label;
    TServerType Type;
    const char* MasterPrefix;
    const char* TargetPrefix;
    const char* Schema;
    const char* MasterName;
    const char* TargetName;
};

// Schema-qualified keys (MSSQL), and keys without the name prefix of each side (Firebird).
const KeyCase KeyCases[] = {
    {"MSSQL schema", stMSSQL, "", "", "DBO", "ORDERS", "ORDERS"},
    {"Firebird name prefixes", stInterBase, "PRD_", "DEV_", "", "PRD_ORDERS", "DEV_ORDERS"},
};

// One case; a failed assertion ends this case only.
void CheckKeys(const KeyCase& c) {
    LinkedSides s(c.Type);
    s.master.NamePrefix = c.MasterPrefix;
    s.target.NamePrefix = c.TargetPrefix;

    // A table and a generator both sides keep are never dropped, so their rows and values
    // survive.
    Named<TTblData>(s, s.M(), c.MasterName, c.Schema);
    TTblData* table = Named<TTblData>(s, s.T(), c.TargetName, c.Schema);
    Named<TGnrData>(s, s.M(), c.MasterName, c.Schema);
    TGnrData* generator = Named<TGnrData>(s, s.T(), c.TargetName, c.Schema);
    table->DoDrop();
    generator->DoDrop();
    EXPECT_TRUE(table->GetExists());
    EXPECT_TRUE(generator->GetExists());

    // A called procedure that the target holds gets no stub: the procedure passes handle it.
    TPrcData* caller = Named<TPrcData>(s, s.M(), std::string(c.MasterPrefix) + "CALLER", c.Schema);
    TPrcData* called = Named<TPrcData>(s, s.M(), std::string(c.MasterPrefix) + "CALLED", c.Schema);
    Named<TPrcData>(s, s.T(), std::string(c.TargetPrefix) + "CALLED", c.Schema);
    caller->SetSource("BEGIN RETURN END");
    RegisterDependency(&s.M(), caller, called);
    caller->CreateDependDef();
    ASSERT_EQ(s.exec.Texts().size(), 1u) << ::testing::PrintToString(s.exec.Texts());
    EXPECT_EQ(s.exec.Statements(0)->ObjName, caller->Name);
    EXPECT_TRUE(caller->DependsOn.Items(0)->Active);

    // A view the caller reads, whose text differs between the sides, is dropped and created again.
    auto* masterView = Named<TViwData>(s, s.M(), std::string(c.MasterPrefix) + "V", c.Schema);
    auto* targetView = Named<TViwData>(s, s.T(), std::string(c.TargetPrefix) + "V", c.Schema);
    LinkedSides::Pair(masterView, targetView);
    masterView->CurrentSQL = "SELECT 2 FROM RDB$DATABASE";
    targetView->CurrentSQL = "SELECT 1 FROM RDB$DATABASE";
    CreateViewFor(*caller, *masterView, "procedure");
    EXPECT_EQ(targetView->CurrentSQL, masterView->CurrentSQL);
    EXPECT_TRUE(targetView->GetExists());

    // A target trigger whose body is emptied marks its master partner, so the trigger pass
    // restores the master's body.
    auto* masterTrigger = Named<TTrgData>(s, s.M(), std::string(c.MasterPrefix) + "TRG", c.Schema);
    auto* targetTrigger = Named<TTrgData>(s, s.T(), std::string(c.TargetPrefix) + "TRG", c.Schema);
    targetTrigger->SetSource("AS BEGIN NEW.ID = 1; END");
    targetTrigger->EmptyBody(false);
    EXPECT_TRUE(masterTrigger->BodyEmptied);

    // Dropping a trigger of a view empties the view's other triggers that read it.
    auto* dropped = Named<TTrgData>(s, s.T(), std::string(c.TargetPrefix) + "TRG_OLD", c.Schema);
    dropped->Relation = targetView;
    dropped->TableName = targetView->Name;
    targetTrigger->Relation = targetView;
    targetTrigger->TableName = targetView->Name;
    targetTrigger->SetSource("AS BEGIN NEW.ID = (SELECT 1 FROM RDB$DATABASE); END");
    RegisterDependency(&s.T(), targetTrigger, targetView);
    dropped->DoDrop();
    EXPECT_TRUE(targetTrigger->BodyIsEmpty());

    // A trigger finds its table, and a column its domain, by the key the name is filed under.
    auto* onTable = Named<TTrgData>(s, s.T(), std::string(c.TargetPrefix) + "TRG_T", c.Schema);
    onTable->SetTableName(c.TargetName);
    EXPECT_EQ(onTable->Relation, table);
    auto* domain = Named<TDmnData>(s, s.T(), std::string(c.TargetPrefix) + "D", c.Schema);
    TFldData typed(&s.T(), table);
    typed.DataType = dtDomain;
    typed.DomainName = domain->Name;
    typed.SetDialect().DomainSchema = c.Schema;
    EXPECT_EQ(typed.GetDomain(), domain);
}

TEST(WalkKeys, WhatBothSidesHaveIsFoundByItsKey) {
    for (const KeyCase& c : KeyCases) {
        SCOPED_TRACE(c.Label);
        CheckKeys(c);
    }
}

// A kind whose text writers fail a given number of times, as any writer may (out of memory).
template <class Base>
class FailsFirst : public Base {
public:
    using Base::Base;
    int CreateFailures = 0;
    int DropFailures = 0;
    std::string GetCreateStatement() override {
        Fail(CreateFailures);
        return Base::GetCreateStatement();
    }
    std::string GetDropSQL() override {
        Fail(DropFailures);
        return Base::GetDropSQL();
    }

private:
    static void Fail(int& Failures) {
        if (Failures == 0) return;
        --Failures;
        throw std::runtime_error("text writer failed");
    }
};

TEST(WalkMarks, AWalkThatFailedOnceRunsAgain) {
    LinkedSides s;
    auto* exception = Named<FailsFirst<TExcData>>(s, s.M(), "E_NEW");
    auto* table = Named<FailsFirst<TTblData>>(s, s.M(), "T_NEW");
    auto* gone = Named<FailsFirst<TExcData>>(s, s.T(), "E_GONE");
    // An unnamed Firebird primary key is dropped through its own walk (a block that finds its name).
    auto* key = Named<FailsFirst<TCtrData>>(s, s.T(), "");
    key->SetConstraintType(ctPrimaryKey);
    key->SetTableName("T_OLD");
    key->AddField("ID");
    exception->CreateFailures = table->CreateFailures = 1;
    gone->DropFailures = key->DropFailures = 1;

    auto* view = Named<FailsFirst<TViwData>>(s, s.M(), "V_NEW");
    view->CreateFailures = 1;

    struct Step {
        const char* Label;
        TDbObj* Obj;
        bool Create;
        int Before;   // lines the walk writes ahead of the object's text (a view's comment)
        int Written;  // lines of a walk that succeeds (a table adds a blank line)
    };
    for (const Step& step : {Step{"exception", exception, true, 0, 1}, Step{"table", table, true, 0, 2},
                             Step{"view", view, true, 1, 2}, Step{"dropped exception", gone, false, 0, 1},
                             Step{"unnamed key", key, false, 0, 1}}) {
        SCOPED_TRACE(step.Label);
        int before = s.exec.StatementCount();
        auto walk = [&] { step.Create ? step.Obj->CreateDependDef() : step.Obj->DoDrop(); };
        EXPECT_THROW(walk(), std::runtime_error);
        EXPECT_EQ(s.exec.StatementCount(), before + step.Before);
        before = s.exec.StatementCount();
        walk();
        EXPECT_EQ(s.exec.StatementCount(), before + step.Written);
        EXPECT_EQ(step.Obj->GetExists(), step.Create);
    }

    // A computed column's walk sets its table's creation phase; a failed creation of the table
    // must not leave the table writing its plain columns only.
    auto* later = Named<FailsFirst<TTblData>>(s, s.M(), "Z_LATER");
    auto* first = Named<TTblData>(s, s.M(), "A_FIRST");
    auto column = std::make_unique<TFldData>(&s.M(), first);
    column->Name = "N";
    column->OwnerName = "A_FIRST";
    column->SetSource("((SELECT COUNT(*) FROM Z_LATER))");
    TFldData* computed = first->AddColumn(std::move(column));
    RegisterDependency(&s.M(), computed, later);
    later->CreateFailures = 1;
    EXPECT_THROW(computed->CreateDependencies(), std::runtime_error);
    EXPECT_FALSE(later->PlainColumnsOnly);

    // A view brings back the computed columns that read it through their table's full create;
    // a failure there must not leave the table out of its plain-columns phase.
    auto* kept = Named<TTblData>(s, s.M(), "T_KEPT");
    kept->Exists = true;
    kept->SetCreatePhase(true);
    auto reader = std::make_unique<FailsFirst<TFldData>>(&s.M(), kept);
    reader->Name = "FROM_VIEW";
    reader->OwnerName = "T_KEPT";
    reader->SetSource("((SELECT COUNT(*) FROM V_READ))");
    reader->CreateFailures = 1;
    TFldData* fromView = kept->AddColumn(std::move(reader));
    fromView->Exists = false;
    auto* read = Named<TViwData>(s, s.M(), "V_READ");
    RegisterDependency(&s.M(), fromView, read);
    EXPECT_THROW(read->CreateDependDef(), std::runtime_error);
    EXPECT_TRUE(kept->PlainColumnsOnly);

    // A domain whose drop failed is no longer being dropped: a later change of it leaves the
    // routines typed by it as they are (only a drop gives them a new parameter list).
    auto* dropping = Named<FailsFirst<TDmnData>>(s, s.T(), "D_FAIL");
    dropping->DropFailures = 1;
    auto* typedBy = Named<TPrcData>(s, s.T(), "P_TYPED");
    typedBy->AddInputParam("A", dtDomain)->DomainName = "D_FAIL";
    Named<TPrcData>(s, s.M(), "P_TYPED")->AddInputParam("A", dtInteger);
    RegisterDependency(&s.T(), typedBy, dropping);
    EXPECT_THROW(dropping->DoDrop(), std::runtime_error);
    const int before = s.exec.StatementCount();
    dropping->DropDependents();
    EXPECT_EQ(s.exec.StatementCount(), before) << ::testing::PrintToString(s.exec.Texts());
}

} // namespace
