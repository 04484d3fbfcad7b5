#pragma once
// Helpers for the object-kind tests: a structure of one dialect, two linked sides, an executor
// that keeps comment lines, a stand-in domain and a plain rendering of the statements.
#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlQuarnel.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace qnl::test {

// Keeps comment lines as statements of kind "Comment", as the script executor does.
class RecordingExec : public TCustomSQLExec {
public:
    TStatement* AddComment(const std::string& Text) override {
        return AddStatement(Text, skComment, {}, dboUnknown, saComment);
    }
    // Every statement's text in order, comment lines included.
    std::vector<std::string> Texts() const {
        std::vector<std::string> r;
        for (int i = 0; i < StatementCount(); ++i) r.push_back(Text(i));
        return r;
    }
    // One statement's lines joined by CR LF.
    std::string Text(int Index) const {
        const TStringList& l = Statements(Index)->Lines;
        std::string s;
        for (int i = 0; i < l.Count(); ++i) s += (i > 0 ? "\r\n" : "") + l[i];
        return s;
    }
    // The statements (no comments) joined into a script that isql-fb can run.
    std::string Script() const {
        std::string s;
        for (int i = 0; i < StatementCount(); ++i)
            if (Statements(i)->Kind != skComment) s += Text(i) + ";\n";
        return s;
    }
};

// A domain with its name; its type column is TypeField.
inline TDmnData* NewDomain(TCustomObjs* C, const std::string& AName) {
    auto* d = new TDmnData(C);
    d->Name = AName;
    return d;
}

// One structure of a dialect.
struct OneSide {
    TDBStructure structure;
    TObjs& Objs() { return *structure.Objs(); }
    explicit OneSide(TServerType Type = stInterBase, TIBSQLServerVersionType Version = st_Firebird_30) {
        Objs().SetServerType(Type);
        Objs().IBServerOptions.SQLServerVersion = Version;
    }
};

// Two structures linked as the comparer links them, both writing to one executor.
struct LinkedSides {
    TDBStructure master, target;
    RecordingExec exec;
    TObjs& M() { return *master.Objs(); }
    TObjs& T() { return *target.Objs(); }
    LinkedSides(TServerType Type = stInterBase, TIBSQLServerVersionType Version = st_Firebird_30) {
        for (TObjs* o : {&M(), &T()}) {
            o->SetServerType(Type);
            o->IBServerOptions.SQLServerVersion = Version;
            o->SetSQLExec(&exec);
        }
        exec.ServerType = Type;
        M().SetSide(sideMaster);
        T().SetSide(sideTarget);
        M().CounterpartObjs = &T();
        T().CounterpartObjs = &M();
    }
    // Files Obj in its side; target objects exist, unpaired master objects do not.
    template <class K>
    K* File(TObjs& Side, K* Obj) {
        Side.AddDbObject(Obj);
        Obj->Exists = &Side == &T();
        return Obj;
    }
    static void Pair(TDbObj* A, TDbObj* B) {
        A->SetCounterpart(B);
        B->SetCounterpart(A);
        A->Exists = B->Exists = true;
    }
};

// Two structures of one dialect under the comparer, writing to a recording executor.
struct RecordedComparison {
    TDBStructure master, target;
    RecordingExec exec;
    TQuarnel q;

    explicit RecordedComparison(TServerType Type = stInterBase, TIBSQLServerVersionType Version = st_Firebird_30) {
        for (TObjs* o : {master.Objs(), target.Objs()}) {
            o->SetServerType(Type);
            o->IBServerOptions.SQLServerVersion = Version;
        }
        exec.ServerType = Type;
        q.SetDBStructureMaster(&master);
        q.SetDBStructureTarget(&target);
        q.SetSQLExec(&exec);
    }
    TObjs& M() { return *master.Objs(); }
    TObjs& T() { return *target.Objs(); }

    // Compares; answers every comment and every statement about an object of one of Kinds, the
    // statements led by their action code. Section closings carry no information and are left out.
    std::vector<std::string> Run(std::initializer_list<TDbObject> Kinds) {
        q.Compare();
        std::vector<std::string> r;
        for (int i = 0; i < exec.StatementCount(); ++i) {
            const TStatement* st = exec.Statements(i);
            if (st->Kind == skComment)
                r.push_back(exec.Text(i));
            else if (std::find(Kinds.begin(), Kinds.end(), st->ObjKind) != Kinds.end())
                r.push_back("[" + std::to_string(st->Action) + "] " + exec.Text(i));
        }
        std::erase_if(r, [](const std::string& S) { return Trim(S).empty(); });
        return r;
    }
};

} // namespace qnl::test
