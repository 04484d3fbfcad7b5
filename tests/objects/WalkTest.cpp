// The create and drop walks over the real object kinds: objects are found in the other side by
// the keys the containers file them under, and a walk that fails half-way leaves nothing
// behind that would stop the next one.
#include "ObjectsKit.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Prc.h"

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

    struct Step {
        const char* Label;
        TDbObj* Obj;
        bool Create;
    };
    for (const Step& step : {Step{"exception", exception, true}, Step{"table", table, true},
                             Step{"dropped exception", gone, false}, Step{"unnamed key", key, false}}) {
        SCOPED_TRACE(step.Label);
        const int before = s.exec.StatementCount();
        auto walk = [&] { step.Create ? step.Obj->CreateDependDef() : step.Obj->DoDrop(); };
        EXPECT_THROW(walk(), std::runtime_error);
        EXPECT_EQ(s.exec.StatementCount(), before);
        walk();
        EXPECT_EQ(s.exec.StatementCount(), before + (step.Obj == table ? 2 : 1));  // a table adds a blank line
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
}

} // namespace
