#pragma once
// One side of a comparison read from a real database: the database object, the binding's
// connection over it, a structure and the database extractor, with what the extractor reported.
// And the objects of a structure as one line of text each, so that two structures are compared
// object by object.
#include "demo/qnlConnection_FIB.h"
#include "interbase/qnlIBDBExtract.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Tbl.h"

#include <map>
#include <string>
#include <vector>

namespace qnl::test {

class LiveSide {
public:
    explicit LiveSide(const std::string& Path, const std::string& User = "SYSDBA") {
        Db.SetDBName(Path);
        Db.ConnectParams().SetUserName(User);
        Db.SynchronizeTime = false;
        Connection.SetDatabase(&Db);
        Connection.OnErrorMessage = [this](TObject*, const std::string& Text) { Errors.push_back(Text); };
        Extractor.SetQNLConnection(&Connection);
        Extractor.SetDBStructure(&Structure);
        Extractor.OnErrorMessage = [this](TObject*, const std::string& Text) { Errors.push_back(Text); };
        Extractor.OnLogNextLine = [this](TObject*, const std::string& Text) { Log.push_back(Text); };
    }
    ~LiveSide() {
        Extractor.SetQNLConnection(nullptr);
        Connection.SetConnected(false);
    }

    TObjs& Objs() { return *Structure.Objs(); }
    // Reads the database; the extractor's answer.
    bool Extract() {
        Errors.clear();
        Log.clear();
        return Extractor.ExtractDatabase();
    }
    std::string ErrorText() const {
        std::string s;
        for (const std::string& e : Errors) s += e + "\n";
        return s;
    }

    TFIBDatabase Db;
    TQNLConnectionFIB Connection;
    TDBStructure Structure;
    TIBDBExtract Extractor;
    std::vector<std::string> Errors;
    std::vector<std::string> Log;
};

inline const char* ListWord(TObjListKind Kind) {
    switch (Kind) {
    case olDomains: return "domain";
    case olUDFs: return "external function";
    case olTriggers: return "trigger";
    case olProcedures: return "procedure";
    case olTables: return "table";
    case olExceptions: return "exception";
    case olGenerators: return "generator";
    case olIndices: return "index";
    case olViews: return "view";
    case olRoles: return "role";
    case olGrants: return "grant";
    case olConstraints: return "constraint";
    case olPackages: return "package";
    case olCollations: return "collation";
    default: return "other";
    }
}

// The kinds an InterBase/Firebird structure holds.
inline const std::vector<TObjListKind>& FirebirdLists() {
    static const std::vector<TObjListKind> lists = {olDomains, olUDFs, olTriggers, olProcedures, olTables,
                                                   olExceptions, olGenerators, olIndices, olViews, olRoles,
                                                   olGrants, olConstraints, olPackages, olCollations};
    return lists;
}

// What the writers make of one object: its CREATE text, its description and those of its
// columns and parameters, and the start value of identity columns (which the CREATE text of
// Firebird 3 leaves out).
inline std::string ObjectText(TDbObj& Obj) {
    std::string s = Obj.GetCreateSQL();
    if (!Obj.Description().empty()) s += "\n  described: " + Obj.Description();
    for (int i = 0; i < Obj.GetColumnCount(); ++i) {
        TDbObj* c = Obj.GetColumn(i);
        if (!c->Description().empty()) s += "\n  column " + c->Name + " described: " + c->Description();
        if (auto* f = dynamic_cast<TFldData*>(c); f && f->Identity)
            s += "\n  column " + c->Name + " identity from " + std::to_string(f->IdentitySeed);
    }
    for (int i = 0; i < Obj.GetInputParamCount(); ++i)
        if (TDbObj* p = Obj.GetInputParam(i); !p->Description().empty())
            s += "\n  input " + p->Name + " described: " + p->Description();
    for (int i = 0; i < Obj.GetOutputParamCount(); ++i)
        if (TDbObj* p = Obj.GetOutputParam(i); !p->Description().empty())
            s += "\n  output " + p->Name + " described: " + p->Description();
    return s;
}

// Every object of the given kinds, under "kind key".
inline std::map<std::string, std::string> ObjectTexts(TObjs& Objs, const std::vector<TObjListKind>& Lists = FirebirdLists()) {
    std::map<std::string, std::string> m;
    for (TObjListKind k : Lists) {
        const TDbObjList& list = Objs.List(k);
        for (int i = 0; i < list.Count(); ++i) m[std::string(ListWord(k)) + " " + list[i]] = ObjectText(*list.Obj(i));
    }
    return m;
}

// One paragraph per object that differs or that only one side holds; empty when all agree.
inline std::string ObjectsDiff(const std::map<std::string, std::string>& Database,
                               const std::map<std::string, std::string>& Script) {
    std::string s;
    for (const auto& [key, text] : Database) {
        auto it = Script.find(key);
        if (it == Script.end())
            s += key + ": only read from the database:\n" + text + "\n\n";
        else if (it->second != text)
            s += key + ":\n database: " + text + "\n script:   " + it->second + "\n\n";
    }
    for (const auto& [key, text] : Script)
        if (!Database.count(key)) s += key + ": only read from the script:\n" + text + "\n\n";
    return s;
}

} // namespace qnl::test
