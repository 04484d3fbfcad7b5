#pragma once
// Routines on real Firebird databases for the procedure tests: a comparison whose target points
// at a database, routines built in code from a short definition, and the same definitions as a
// database's catalogue rows hold them (sources, parameters, and the catalogue's own dependency
// list), for checking what a script left behind.
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlQuarnel.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/objects/FirebirdCompare.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qnl::test {

inline std::vector<std::string> SplitBars(const std::string& Row) {
    std::vector<std::string> r;
    std::string cur;
    for (char c : Row) {
        if (c == '|') {
            r.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    r.push_back(cur);
    return r;
}

// A text column of the catalogue as one line for isql's output: CR dropped, LF as "~".
inline std::string FoldedText(const std::string& Column) {
    return "CAST(REPLACE(REPLACE(" + Column + ", ASCII_CHAR(13), ''), ASCII_CHAR(10), '~') AS VARCHAR(8000))";
}

// A folded text with its line breaks back.
inline std::string Unfold(std::string Text) {
    for (char& c : Text)
        if (c == '~') c = '\n';
    return Text;
}

// A routine in short: INTEGER parameters, a function's result unnamed, and the names of the
// routines and exceptions its body uses.
struct RoutineDef {
    std::string Name;
    bool Function = false;
    std::vector<std::string> In;
    std::vector<std::string> Out;
    std::string Body;
    std::vector<std::string> Uses;
};

inline TPrcData* AddRoutine(TObjs& Objs, const RoutineDef& D) {
    auto* p = new TPrcData(&Objs);
    p->Name = D.Name;
    p->IsFunction = D.Function;
    for (const std::string& n : D.In) p->AddInputParam(n, dtInteger);
    for (const std::string& n : D.Out) p->AddOutputParam(n, dtInteger);
    p->SetSource(D.Body);
    Objs.AddDbObject(p);
    return dynamic_cast<TPrcData*>(Objs.FindProcedure(D.Name));
}

// Files every definition, then registers what each body uses among the filed routines and
// exceptions (the body parser's work).
inline void AddRoutines(TObjs& Objs, const std::vector<RoutineDef>& Defs) {
    for (const RoutineDef& d : Defs) AddRoutine(Objs, d);
    for (const RoutineDef& d : Defs) {
        TDbObj* obj = Objs.FindProcedure(d.Name);
        for (const std::string& u : d.Uses) {
            TDbObj* other = Objs.FindProcedure(u);
            if (!other) other = Objs.FindException(u);
            RegisterDependency(&Objs, obj, other);
        }
    }
}

// Only INTEGER parameters (field type 8) are modelled: any other type is kept in the name, so
// that it shows as a difference instead of passing unseen.
inline std::string ParamName(const std::string& Name, const std::string& FieldType) {
    return FieldType == "8" ? Name : Name + ":" + FieldType;
}

// The routines of a database outside packages as its catalogue holds them: sources, parameters
// by position, and the dependencies the catalogue records between routines and on exceptions.
// One isql run: each query tags its rows.
inline std::vector<RoutineDef> ReadRoutines(const TempDatabase& Db) {
    const std::string script =
        "SELECT '<<P|' || TRIM(RDB$PROCEDURE_NAME) || '|' || " + FoldedText("RDB$PROCEDURE_SOURCE") +
        " || '>>' FROM RDB$PROCEDURES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$PACKAGE_NAME IS NULL;\n"
        "SELECT '<<F|' || TRIM(RDB$FUNCTION_NAME) || '|' || " + FoldedText("RDB$FUNCTION_SOURCE") +
        " || '>>' FROM RDB$FUNCTIONS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$PACKAGE_NAME IS NULL;\n"
        "SELECT '<<p|' || TRIM(p.RDB$PROCEDURE_NAME) || '|' || p.RDB$PARAMETER_TYPE || '|' || "
        "TRIM(p.RDB$PARAMETER_NAME) || '|' || f.RDB$FIELD_TYPE || '>>' FROM RDB$PROCEDURE_PARAMETERS p "
        "JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = p.RDB$FIELD_SOURCE WHERE p.RDB$PACKAGE_NAME IS NULL "
        "ORDER BY p.RDB$PROCEDURE_NAME, p.RDB$PARAMETER_TYPE, p.RDB$PARAMETER_NUMBER;\n"
        "SELECT '<<f|' || TRIM(a.RDB$FUNCTION_NAME) || '|' || a.RDB$ARGUMENT_POSITION || '|' || "
        "COALESCE(TRIM(a.RDB$ARGUMENT_NAME), '') || '|' || f.RDB$FIELD_TYPE || '>>' "
        "FROM RDB$FUNCTION_ARGUMENTS a JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = a.RDB$FIELD_SOURCE "
        "WHERE COALESCE(a.RDB$SYSTEM_FLAG, 0) = 0 AND a.RDB$PACKAGE_NAME IS NULL ORDER BY a.RDB$FUNCTION_NAME, a.RDB$ARGUMENT_POSITION;\n"
        // Dependent and depended-on types: 5 procedure, 15 function, 7 exception.
        "SELECT DISTINCT '<<d|' || TRIM(RDB$DEPENDENT_NAME) || '|' || TRIM(RDB$DEPENDED_ON_NAME) || '>>' "
        "FROM RDB$DEPENDENCIES WHERE RDB$DEPENDENT_TYPE IN (5, 15) AND RDB$DEPENDED_ON_TYPE IN (5, 7, 15)";
    std::map<std::string, RoutineDef> defs;
    for (const std::string& row : QueryRows(Db, script)) {
        const auto f = SplitBars(row);
        const std::string& tag = f.at(0);
        const std::string& name = f.at(1);
        if (tag == "P" || tag == "F") {
            defs[name] = RoutineDef{name, tag == "F", {}, {}, Unfold(f.at(2)), {}};
        } else if (tag == "p") {
            (f.at(2) == "0" ? defs[name].In : defs[name].Out).push_back(ParamName(f.at(3), f.at(4)));
        } else if (tag == "f") {
            (f.at(2) == "0" ? defs[name].Out : defs[name].In).push_back(ParamName(f.at(3), f.at(4)));
        } else if (tag == "d") {
            if (defs.count(name)) defs[name].Uses.push_back(f.at(2));
        } else {
            ADD_FAILURE() << row;
        }
    }
    std::vector<RoutineDef> r;
    for (auto& [name, d] : defs) r.push_back(std::move(d));
    return r;
}

// The exceptions of a database as name and message.
inline std::vector<std::pair<std::string, std::string>> ReadExceptions(const TempDatabase& Db) {
    std::vector<std::pair<std::string, std::string>> r;
    for (const std::string& row :
         QueryRows(Db, "SELECT '<<' || TRIM(RDB$EXCEPTION_NAME) || '|' || RDB$MESSAGE || '>>' FROM RDB$EXCEPTIONS "
                       "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY RDB$EXCEPTION_NAME")) {
        const auto f = SplitBars(row);
        r.emplace_back(f[0], f.at(1));
    }
    return r;
}

} // namespace qnl::test
