#pragma once
// A DDL reader on its own container for the reader tests: what it handed on, one readable line
// per statement, and its messages with their places.
#include "interbase/qnlIBParser.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"

#include <string>
#include <vector>

namespace qnl::test {

inline std::string ObjectKindWord(TDbObject Kind) {
    switch (Kind) {
    case dboTable: return "table";
    case dboField: return "field";
    case dboIndex: return "index";
    case dboPKey: return "primary key";
    case dboUnique: return "unique";
    case dboFKey: return "foreign key";
    case dboCheck: return "check";
    case dboConstraint: return "constraint";
    case dboGenerator: return "generator";
    case dboProcedure: return "procedure";
    case dboTrigger: return "trigger";
    case dboView: return "view";
    case dboDomain: return "domain";
    case dboException: return "exception";
    case dboGrant: return "grant";
    case dboRole: return "role";
    case dboPackage: return "package";
    case dboPackageBody: return "package body";
    case dboFunction: return "external function";
    default: return "-";
    }
}

class IbReader {
public:
    explicit IbReader(TIBSQLServerVersionType Version = st_Firebird_30) {
        Objs.IBServerOptions.SQLServerVersion = Version;
        Parser.OnError = [this](TObject*, const std::string& Text) { Shown.push_back(Text); };
        Parser.OnStatement = [this](TObject*, const std::string& Text, TStatementKind Kind, const std::string& Name,
                                    TDbObject ObjKind, uint8_t Action, const std::string& FieldName, TObject*&) {
            std::string line = std::string(StatementKindNames[Kind]) + " " + (Name.empty() ? "-" : Name) + " " +
                               ObjectKindWord(ObjKind) + StatementActionCaption(Action);
            if (Action == saConnectSet) line += ": set";
            if (!FieldName.empty()) line += " of " + FieldName;
            Statements.push_back(line + " | " + Text);
        };
    }

    // Reads Script as isql would (its own lines, dialect 3 until it says otherwise).
    IbReader& Read(const std::string& Script) {
        TStringList lines;
        lines.SetText(Script);
        Parser.ParseScript(lines, &Objs);
        return *this;
    }

    // "line:column text" per message, warnings marked.
    std::vector<std::string> Messages() const {
        std::vector<std::string> m;
        for (int i = 0; i < Parser.MsgManager->Count(); ++i) {
            const TMsgData& d = Parser.MsgManager->Items(i);
            m.push_back(std::to_string(d.Line) + ":" + std::to_string(d.Column) + (d.Kind == mkWarning ? " warning " : " ") +
                        d.Text);
        }
        return m;
    }

    TTblData* Table(const std::string& Name) const { return dynamic_cast<TTblData*>(Objs.FindTable(Name)); }
    TFldData* Column(const std::string& Table, const std::string& Name) const {
        TTblData* t = this->Table(Table);
        return t ? t->ColumnByName(Name) : nullptr;
    }
    TCtrData* Constraint(const std::string& Key) const {
        return dynamic_cast<TCtrData*>(Objs.List(olConstraints).FindObj(Key));
    }
    TIdxData* Index(const std::string& Name) const { return dynamic_cast<TIdxData*>(Objs.FindIndex(Name)); }

    TObjs Objs;
    TIbParser Parser;
    std::vector<std::string> Statements;
    std::vector<std::string> Shown;
};

} // namespace qnl::test
