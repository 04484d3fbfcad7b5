#pragma once
// The body reader over a whole script or over single bodies, for the body reader's tests.
#include "interbase/qnlIBExParser.h"

#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace qnl::test {

inline std::string MessagesText(const TCustomParser& Parser) {
    std::string messages;
    for (int i = 0; i < Parser.MsgManager->Count(); ++i) {
        const TMsgData& m = Parser.MsgManager->Items(i);
        messages += std::to_string(m.Line) + ":" + std::to_string(m.Column) + " " + m.Text + "\n";
    }
    return messages;
}

// Reads a whole script of the given version into Objs as the script extractor does (AfterParse
// included); answers its messages, "line:column text" a line.
inline std::string ReadWithBodies(TObjs& Objs, const std::string& Script, const std::string& Name,
                                  TIBSQLServerVersionType Version = st_Firebird_30) {
    Objs.SetServerType(stInterBase);
    Objs.IBServerOptions.SQLServerVersion = Version;
    TIbExParser parser;
    parser.ScriptName = Name;
    parser.OnError = [](TObject*, const std::string&) {};
    TStringList lines;
    lines.SetText(Script);
    parser.ParseScript(lines, &Objs);
    parser.ParseExpressionSources();
    parser.AfterParse();
    return MessagesText(parser);
}

// The names a view derived from its select list, "|"-separated ("" for none).
inline std::string DerivedNames(const TViwData& View) {
    std::string names;
    for (int i = 0; i < View.DerivedColumns.Count(); ++i) names += (i ? "|" : "") + View.DerivedColumns[i];
    return names;
}

// What an object depends on, sorted: "NAME" or "NAME.FIELD" per entry.
inline std::string DependText(const TDbObj* O) {
    if (!O) return "<none>";
    std::vector<std::string> r;
    for (int i = 0; i < O->DependsOn.Count(); ++i) {
        const TDependObj* d = O->DependsOn.Items(i);
        // A column is recorded as the column object itself.
        r.push_back(d->Ref->Kind == dboField ? d->Ref->GetOwnerName() + "." + d->Ref->Name : d->Ref->Name);
    }
    std::sort(r.begin(), r.end());
    std::string text;
    for (const std::string& s : r) text += (text.empty() ? "" : " ") + s;
    return text;
}

// Builds the database of a complete script and reads the script: every dependency between user
// objects that RDB$DEPENDENCIES holds must be recorded, and nothing beyond Explained
// ("DEPENDENT -> kind NAME[.FIELD]" lines, each explained where it is given).
void ExpectDependenciesAsFirebird(const std::string& Script, const std::string& Name,
                                  const std::set<std::string>& Explained = {});

} // namespace qnl::test
