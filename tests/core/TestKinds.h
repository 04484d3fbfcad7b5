#pragma once
// Small stand-ins for the object kinds, just enough to drive the core's walks and container.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qnl::test {

class Obj : public TDbObj {
public:
    Obj(TCustomObjs* C, TDbObject K, TObjListKind L, std::string AName) : TDbObj(C), FList(L) {
        Kind = K;
        Name = std::move(AName);
    }
    std::string ClassName() const override { return "T" + std::to_string(int(Kind)) + "Data"; }
    TObjListKind GetObjList() const override { return FList; }
    std::string GetCreateSQL() override { return "CREATE " + Name; }

private:
    TObjListKind FList;
};

class Column : public TDbObj {
public:
    Column(TCustomObjs* C, TDbObj* AOwner, std::string AName) : TDbObj(C), FOwner(AOwner) {
        Kind = dboField;
        Name = std::move(AName);
    }
    TDbObj* GetOwner() const override { return FOwner; }
    std::string GetOwnerName() const override { return FOwner->Name; }
    std::string GetCreateSQL() override { return "ADD " + FOwner->Name + "." + Name; }

private:
    TDbObj* FOwner;
};

class Table : public Obj {
public:
    Table(TCustomObjs* C, const std::string& AName, std::vector<std::string> Cols) : Obj(C, dboTable, olTables, AName) {
        for (auto& c : Cols) FCols.push_back(std::make_unique<Column>(C, this, c));
    }
    int GetColumnCount() const override { return static_cast<int>(FCols.size()); }
    TDbObj* GetColumn(int I) const override { return FCols.at(static_cast<size_t>(I)).get(); }

private:
    std::vector<std::unique_ptr<Column>> FCols;
};

// Routines and triggers: their body is Source; the placeholder body is "BEGIN END".
class Body : public Obj {
public:
    Body(TCustomObjs* C, TDbObject K, const std::string& AName) : Obj(C, K, K == dboProcedure ? olProcedures : olTriggers, AName) {
        SetSource("BEGIN work; END");
    }
    std::string GetEmptyBody() const override { return "BEGIN END"; }
    std::string GetStubCreateSQL() override { return "CREATE " + Name + " STUB"; }
    std::string GetAlterSQL() override { return "ALTER " + Name + " " + Source(); }
    void SetBodyEmptied(bool V) override { BodyEmptied = V; }
    void EmptyBody(bool AddStatement) override {
        SetSource(GetEmptyBody());
        BodyEmptied = true;
        if (AddStatement) GetSQLExec()->AddStatement(GetAlterSQL(), skProcedure, Name, dboProcedure, saEmptyBody);
    }
    bool BodyEmptied = false;
};

class Grant : public Obj {
public:
    Grant(TCustomObjs* C, std::string On, std::string To, std::vector<std::string> Privs)
        : Obj(C, dboGrant, olGrants, On + "->" + To), ObjectName(std::move(On)), Grantee(std::move(To)),
          Privileges(std::move(Privs)) {}
    bool MergeGrant(TDbObj* Other) override {
        auto* g = dynamic_cast<Grant*>(Other);
        if (!g || g->ObjectName != ObjectName || g->Grantee != Grantee) return false;
        for (auto& p : g->Privileges)
            if (std::find(Privileges.begin(), Privileges.end(), p) == Privileges.end()) Privileges.push_back(p);
        return true;
    }
    std::string ObjectName, Grantee;
    std::vector<std::string> Privileges;
};

// The statements an executor holds, one "caption" per line, for compact expectations.
inline std::vector<std::string> Captions(const TCustomSQLExec& Exec) {
    std::vector<std::string> r;
    for (int i = 0; i < Exec.StatementCount(); ++i) r.push_back(Exec.Statements(i)->GetCaption());
    return r;
}

} // namespace qnl::test
