#pragma once
// Two structures under the comparer: Run compares them (TQuarnel::Compare, every pass in its
// order) into a script executor whose text isql-fb can run against a real database; the pass
// tests pair and mark by hand (PairAndMark) and call single passes.
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlQuarnel.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/objects/FirebirdCompare.h"

#include <memory>
#include <string>
#include <vector>

namespace qnl::test {

inline TTblData* AddTable(TObjs& O, const std::string& Name) {
    auto* t = new TTblData(&O);
    t->Name = Name;
    O.AddDbObject(t);
    return t;
}

inline TFldData& AddCol(TTblData* T, const std::string& Name, uint8_t Type, int32_t Length = 0) {
    auto c = std::make_unique<TFldData>(T->Container, T);
    c->Name = Name;
    c->OwnerName = T->Name;
    c->DataType = Type;
    c->CharLength = Length;
    c->Position = T->GetColumnCount();
    return *T->AddColumn(std::move(c));
}

inline TIdxData* AddIndex(TObjs& O, const std::string& Name, const std::string& Table,
                          const std::vector<std::string>& Fields) {
    auto* x = new TIdxData(&O);
    x->Name = Name;
    x->TableName = Table;
    for (const auto& f : Fields) x->AddField(f);
    O.AddDbObject(x);
    return x;
}

inline TCtrData* AddKey(TObjs& O, uint8_t Type, const std::string& Name, const std::string& Table,
                        const std::vector<std::string>& Fields) {
    auto* c = new TCtrData(&O);
    c->SetConstraintType(Type);
    c->Name = Name;
    c->SetTableName(Table);
    for (const auto& f : Fields) c->AddField(f);
    TCtrData* filed = c;
    O.AddDbObject(c);
    return filed;
}

class Comparison {
public:
    TDBStructure master, target;
    TQuarnel q;
    TSQLExec exec;

    TObjs& M() { return *master.Objs(); }
    TObjs& T() { return *target.Objs(); }

    explicit Comparison(TServerType Type = stInterBase, TIBSQLServerVersionType Version = st_Firebird_30) {
        for (TObjs* o : {&M(), &T()}) {
            o->SetServerType(Type);
            o->IBServerOptions.SQLServerVersion = Version;
            o->SetSQLExec(&exec);
        }
        q.SetDBStructureMaster(&master);
        q.SetDBStructureTarget(&target);
        q.SetSQLExec(&exec);
        exec.ServerType = Type;
        exec.IBServerOptions.IBCompareOptions.UseRECONNECT = false;
        exec.ConnectionOptions.UserName = "SYSDBA";
        T().ConnectionOptions.UserName = "SYSDBA";
    }

    // Pairs and marks as the comparer does before its passes.
    void PairAndMark() {
        for (TObjListKind k : {olTables, olIndices, olConstraints}) {
            Match(M().List(k), T().List(k), k == olConstraints);
            Match(T().List(k), M().List(k), k == olConstraints);
        }
        for (int i = 0; i < M().List(olTables).Count(); ++i) {
            auto* m = static_cast<TTblData*>(M().List(olTables).Obj(i));
            auto* t = static_cast<TTblData*>(m->Counterpart);
            if (!t) continue;
            for (int c = 0; c < m->GetColumnCount(); ++c)
                if (TFldData* tc = t->ColumnByName(m->Column(c)->Name)) {
                    m->Column(c)->SetCounterpart(tc);
                    tc->SetCounterpart(m->Column(c));
                }
        }
        for (TObjs* o : {&M(), &T()})
            for (TObjListKind k : {olTables, olIndices, olConstraints})
                for (int i = 0; i < o->List(k).Count(); ++i) {
                    TDbObj* obj = o->List(k).Obj(i);
                    const bool exists = o == &T() || obj->Counterpart;
                    obj->SetExists(exists);
                    for (int c = 0; c < obj->GetColumnCount(); ++c) {
                        TDbObj* col = obj->GetColumn(c);
                        col->SetExists(o == &T() || col->Counterpart);
                    }
                }
    }

    // The whole comparison.
    void Run(TCmpObjSetType Co = TCmpObjSetType::All()) {
        q.CompareObjects = Co;
        for (TObjs* o : {&M(), &T()}) o->CompareObjects = Co;
        q.Compare();
    }

    std::string ScriptText() {
        TStringList lines;
        exec.GetScriptText(lines, false);
        return lines.Text();
    }
    // Every statement's text, comment lines included.
    std::vector<std::string> All() const {
        std::vector<std::string> r;
        for (int i = 0; i < exec.StatementCount(); ++i) r.push_back(exec.Statements(i)->Lines.Text());
        return r;
    }
    // Statements that change something (no comments, connects).
    std::vector<std::string> Changes() const {
        std::vector<std::string> r;
        for (int i = 0; i < exec.StatementCount(); ++i) {
            if (!IsHeaderOrComment(*exec.Statements(i))) r.push_back(exec.Statements(i)->Lines.Text());
        }
        return r;
    }
    // Runs the script on the database (its CONNECT statements point there); isql's exit code.
    int RunOn(const TempDatabase& Db, std::string& Output) {
        T().ConnectionOptions.DatabaseName = Db.Path();
        Run();
        // isql has no RECONNECT; the executor runs it by connecting again, and so does isql.
        const std::string connect = T().IBServerOptions.GetConnectStatement(T().ConnectionOptions);
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (exec.Statements(i)->Kind == skReConnect) exec.Statements(i)->Lines.SetText(connect);
        return RunConnectingScript(Db, ScriptText() + "COMMIT;\n", Output);
    }

private:
    static void Match(TDbObjList& A, TDbObjList& B, bool ByText) {
        for (int i = 0; i < A.Count(); ++i) {
            TDbObj* o = A.Obj(i);
            const std::string key = o->GetKeyName();
            TDbObj* p = nullptr;
            if (ByText) {
                if (int j = B.IndexOf(key); j >= 0) p = B.Obj(j);
            } else {
                p = B.FindObj(key);
            }
            if (p) {
                o->SetCounterpart(p);
                p->SetCounterpart(o);
            }
        }
    }
};

} // namespace qnl::test
