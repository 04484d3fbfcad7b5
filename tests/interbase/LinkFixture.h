#pragma once
// A parser over an InterBase/Firebird container that the dependency-linking tests fill in code,
// with resolvable FROM lists and a short form of what an object depends on.
#include "interbase/qnlParser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qnl::test {

// What an object depends on: "TABLE.COLUMN" for a column or parameter, else the name, in
// registration order.
inline std::vector<std::string> Deps(const TDbObj* O) {
    std::vector<std::string> r;
    for (int i = 0; i < O->DependsOn.Count(); ++i) {
        const TDbObj* ref = O->DependsOn.Items(i)->Ref;
        r.push_back(ref->Kind == dboField || ref->Kind == dboParam ? ref->GetOwnerName() + "." + ref->Name : ref->Name);
    }
    return r;
}

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        P.Objs = &Objs;
        P.SetServerType(stInterBase);
    }
    // A resolvable FROM list of (relation, alias) pairs.
    TParseContext* From(const std::vector<std::pair<std::string, std::string>>& Relations) {
        TParseContext* c = P.PushContext();
        for (auto& [rel, alias] : Relations) {
            c->Tables.Add(rel);
            c->Aliases.Add(alias);
        }
        c->Resolvable = true;
        return c;
    }

    TObjs Objs;
    TCustomSQLParser P;
};

} // namespace qnl::test
