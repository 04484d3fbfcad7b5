#pragma once
// Reads a Firebird 3 database's domains, tables with their typed columns, views and procedures
// into a structure, as the database reader will: the catalogue's field rows become TFldData
// through the model's own routines (IBTypeToDataType, SetCharSetCollation), and the dependencies
// the body parser would record come from RDB$DEPENDENCIES. Also the catalogue rows of columns
// and domains, for comparing two databases.
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Viw.h"
#include "tests/fixtures/FbFixture.h"
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qnl::test {

namespace catalogue {

// A text column flattened to one line ("~" for each line break) and cut to fit the row.
inline std::string Flat(const std::string& Column) {
    return "COALESCE(CAST(REPLACE(REPLACE(" + Column + ", ASCII_CHAR(13), ''), ASCII_CHAR(10), '~') AS VARCHAR(1000)), '')";
}

inline std::string Unfold(std::string Text) {
    for (char& c : Text)
        if (c == '~') c = '\n';
    return Text;
}

// The RDB$FIELDS part of a row: F is the field, CS its character set, FC its collation.
inline std::string FieldColumns() {
    return "F.RDB$FIELD_TYPE || '|' || COALESCE(F.RDB$FIELD_SUB_TYPE, 0) || '|' || F.RDB$FIELD_LENGTH || '|' || "
           "COALESCE(F.RDB$CHARACTER_LENGTH, 0) || '|' || COALESCE(F.RDB$FIELD_PRECISION, 0) || '|' || "
           "COALESCE(F.RDB$FIELD_SCALE, 0) || '|' || COALESCE(F.RDB$SEGMENT_LENGTH, 0) || '|' || "
           "COALESCE(F.RDB$NULL_FLAG, 0) || '|' || COALESCE(F.RDB$CHARACTER_SET_ID, -1) || '|' || "
           "COALESCE(TRIM(CS.RDB$CHARACTER_SET_NAME), '') || '|' || COALESCE(F.RDB$COLLATION_ID, -1) || '|' || "
           "COALESCE(TRIM(FC.RDB$COLLATION_NAME), '') || '|' || " +
           Flat("F.RDB$DEFAULT_SOURCE") + " || '|' || " + Flat("F.RDB$VALIDATION_SOURCE") + " || '|' || " +
           Flat("F.RDB$COMPUTED_SOURCE");
}

inline std::string FieldJoins() {
    return " LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID"
           " LEFT JOIN RDB$COLLATIONS FC ON FC.RDB$COLLATION_ID = F.RDB$COLLATION_ID"
           " AND FC.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID";
}

struct FieldRow {
    int Type = 0, SubType = 0, Length = 0, CharLength = 0, Precision = 0, Scale = 0, Segment = 0, NullFlag = 0,
        CharSetId = -1, CollationId = -1;
    std::string CharSet, Collation, Default, Check, Computed;

    // The fields of a row from index At on, in FieldColumns order.
    static FieldRow Parse(const std::vector<std::string>& F, size_t At) {
        FieldRow r;
        int* numbers[] = {&r.Type, &r.SubType, &r.Length, &r.CharLength, &r.Precision, &r.Scale, &r.Segment, &r.NullFlag};
        for (int* n : numbers) *n = std::stoi(F.at(At++));
        r.CharSetId = std::stoi(F.at(At++));
        r.CharSet = F.at(At++);
        r.CollationId = std::stoi(F.at(At++));
        r.Collation = F.at(At++);
        r.Default = Unfold(F.at(At++));
        r.Check = Unfold(F.at(At++));
        r.Computed = Unfold(F.at(At++));
        return r;
    }
};

inline bool StartsWithNoCase(const std::string& Text, const std::string& Word) {
    return Text.size() >= Word.size() && SameText(Text.substr(0, Word.size()), Word);
}

// A stored default clause as the bare default text.
inline std::string CleanDefault(std::string S) {
    S = Trim(S);
    if (StartsWithNoCase(S, "DEFAULT "))
        S = S.substr(8);
    else if (!S.empty() && S[0] == '=')
        S = S.substr(1);
    return Trim(S);
}

// A stored check as the condition in brackets.
inline std::string CleanCheck(std::string S) {
    S = Trim(S);
    if (StartsWithNoCase(S, "CONSTRAINT")) S = Trim(S.substr(10));
    if (StartsWithNoCase(S, "CHECK")) S = S.substr(5);
    return Trim(S);
}

// Type, lengths, precision and scale of a field row.
inline void FillType(TFldData& F, const FieldRow& R) {
    F.IBFieldType = R.Type;
    F.DataType = F.IBTypeToDataType(R.Type, R.SubType);
    F.FieldLength = R.Length;
    F.CharLength = R.CharLength;
    if ((F.DataType == dtVarChar || F.DataType == dtChar || F.DataType == dtCString) && F.CharLength == 0)
        F.CharLength = F.FieldLength;
    F.SubType = R.SubType;
    if (F.DataType == dtBlob) F.SubTypeName = R.SubType == 1 ? "TEXT" : R.SubType == 2 ? "BLR" : "";
    F.SegmentLength = R.Segment;
    // Integer-stored types carry NUMERIC and DECIMAL with their precision and scale.
    const std::map<int, int> maxPrecision = {{7, 4}, {8, 9}, {16, 18}, {27, 15}};
    const auto max = maxPrecision.find(R.Type);
    bool done = false;
    F.Precision = R.Precision;
    if (max != maxPrecision.end() && R.Precision > 0) {
        F.Precision = std::min(R.Precision, max->second);
        F.BaseDataType = F.DataType;
        if (R.SubType == 1 || R.SubType == 2) {
            F.DataType = R.SubType == 1 ? dtNumeric : dtDecimal;
            F.Scale = -R.Scale;
            done = true;
        }
    }
    if (!done && R.Scale < 0) {
        if (max != maxPrecision.end()) F.Precision = max->second;
        F.Scale = -R.Scale;
        if (R.SubType == 0) {
            F.BaseDataType = F.DataType;
            F.DataType = dtNumeric;
        }
    }
}

// A column, parameter or domain type declared on a user domain.
inline bool OnDomain(const std::string& FieldSource) { return !FieldSource.starts_with("RDB$"); }

inline void MarkDomainTyped(TObjs& O, TFldData& F, const std::string& Domain) {
    F.DomainName = Domain;
    if (TDbObj* d = O.FindDomain(Domain)) {
        auto* type = dynamic_cast<TFldData*>(d->GetTypeField());
        if (type && !F.GetDefault().empty() && F.GetDefault() == type->GetDefault()) F.DefaultValue.clear();
    }
    F.DataType = dtDomain;
    F.CheckSource.clear();
}

inline std::string Script() {
    return "SELECT '<<B|' || COALESCE(TRIM(RDB$CHARACTER_SET_NAME), '') || '>>' FROM RDB$DATABASE;\n"
           "SELECT '<<D|' || TRIM(F.RDB$FIELD_NAME) || '|' || " +
           FieldColumns() + " || '>>' FROM RDB$FIELDS F" + FieldJoins() +
           " WHERE COALESCE(F.RDB$SYSTEM_FLAG, 0) = 0 AND F.RDB$FIELD_NAME NOT LIKE 'RDB$%' ORDER BY F.RDB$FIELD_NAME;\n"
           "SELECT '<<C|' || TRIM(R.RDB$RELATION_NAME) || '|' || IIF(REL.RDB$VIEW_BLR IS NULL, 'T', 'V') || '|' || "
           "TRIM(R.RDB$FIELD_NAME) || '|' || TRIM(R.RDB$FIELD_SOURCE) || '|' || COALESCE(R.RDB$FIELD_POSITION, 0) || "
           "'|' || COALESCE(R.RDB$NULL_FLAG, 0) || '|' || IIF(R.RDB$DEFAULT_VALUE IS NULL, 0, 1) || '|' || " +
           Flat("R.RDB$DEFAULT_SOURCE") +
           " || '|' || COALESCE(R.RDB$COLLATION_ID, F.RDB$COLLATION_ID, -1) || '|' || "
           "COALESCE(TRIM(RC.RDB$COLLATION_NAME), '') || '|' || " +
           FieldColumns() +
           " || '>>' FROM RDB$RELATION_FIELDS R JOIN RDB$RELATIONS REL ON REL.RDB$RELATION_NAME = R.RDB$RELATION_NAME "
           "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE" +
           FieldJoins() +
           " LEFT JOIN RDB$COLLATIONS RC ON RC.RDB$COLLATION_ID = COALESCE(R.RDB$COLLATION_ID, F.RDB$COLLATION_ID)"
           " AND RC.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID"
           " WHERE COALESCE(REL.RDB$SYSTEM_FLAG, 0) = 0 ORDER BY R.RDB$RELATION_NAME, R.RDB$FIELD_POSITION;\n"
           "SELECT '<<V|' || TRIM(RDB$RELATION_NAME) || '|' || " +
           Flat("RDB$VIEW_SOURCE") +
           " || '>>' FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NOT NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
           "ORDER BY RDB$RELATION_NAME;\n"
           "SELECT '<<P|' || TRIM(RDB$PROCEDURE_NAME) || '|' || " +
           Flat("RDB$PROCEDURE_SOURCE") +
           " || '>>' FROM RDB$PROCEDURES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$PACKAGE_NAME IS NULL "
           "ORDER BY RDB$PROCEDURE_NAME;\n"
           "SELECT '<<A|' || TRIM(P.RDB$PROCEDURE_NAME) || '|' || P.RDB$PARAMETER_TYPE || '|' || "
           "TRIM(P.RDB$PARAMETER_NAME) || '|' || TRIM(P.RDB$FIELD_SOURCE) || '|' || COALESCE(P.RDB$NULL_FLAG, 0) || "
           "'|' || " +
           Flat("P.RDB$DEFAULT_SOURCE") + " || '|' || " + FieldColumns() +
           " || '>>' FROM RDB$PROCEDURE_PARAMETERS P JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE" +
           FieldJoins() +
           " WHERE P.RDB$PACKAGE_NAME IS NULL ORDER BY P.RDB$PROCEDURE_NAME, P.RDB$PARAMETER_TYPE, "
           "P.RDB$PARAMETER_NUMBER;\n"
           // Dependent types 1 view, 5 procedure; depended-on types 0 table, 1 view, 5 procedure.
           "SELECT DISTINCT '<<d|' || TRIM(RDB$DEPENDENT_NAME) || '|' || TRIM(RDB$DEPENDED_ON_NAME) || '|' || "
           "RDB$DEPENDED_ON_TYPE || '|' || COALESCE(TRIM(RDB$FIELD_NAME), '') || '>>' FROM RDB$DEPENDENCIES "
           "WHERE RDB$DEPENDENT_TYPE IN (1, 5) AND RDB$DEPENDED_ON_TYPE IN (0, 1, 5)";
}

} // namespace catalogue

// Fills O (empty, of a Firebird 3 comparison) from Db's catalogue. A column's collation is its
// own or, where the catalogue leaves that NULL (no COLLATE clause), its field's.
inline void ReadStructure(const TempDatabase& Db, TObjs& O) {
    using namespace catalogue;
    std::vector<std::vector<std::string>> columns, deps;
    for (const std::string& row : QueryRows(Db, Script())) {
        const auto f = SplitBars(row);
        const std::string& tag = f.at(0);
        if (tag == "B") {
            O.IBServerOptions.SetDBCharSet(f.at(1));
        } else if (tag == "D") {
            auto* d = new TDmnData(&O);
            d->Name = f.at(1);
            TFldData& t = *d->TypeField;
            t.SystemName = d->Name;
            const FieldRow r = FieldRow::Parse(f, 2);
            FillType(t, r);
            t.Nullable = r.NullFlag == 0;
            t.DefaultValue = CleanDefault(r.Default);
            t.CheckSource = CleanCheck(r.Check);
            t.SetCharSetCollation(r.CharSetId, r.CharSet, r.CollationId, r.Collation);
            O.AddDbObject(d);
        } else if (tag == "C" || tag == "V" || tag == "P" || tag == "A" || tag == "d") {
            (tag == "d" ? deps : columns).push_back(f);
        } else {
            ADD_FAILURE() << row;
        }
    }
    // Tables and views with their columns, then the view sources, procedures and parameters.
    for (const auto& f : columns) {
        const std::string& tag = f[0];
        if (tag == "C" && f.at(2) == "T") {
            auto* table = dynamic_cast<TTblData*>(O.FindTable(f[1]));
            if (!table) {
                table = new TTblData(&O);
                table->Name = f[1];
                O.AddDbObject(table);
            }
            auto c = std::make_unique<TFldData>(&O, table);
            c->Name = f.at(3);
            c->SystemName = f.at(4);
            c->OwnerName = table->Name;
            c->FieldPosition = std::stoi(f.at(5));
            c->Position = table->GetColumnCount();
            const FieldRow r = FieldRow::Parse(f, 11);
            FillType(*c, r);
            c->DefaultValue = CleanDefault(f.at(7) == "0" ? r.Default : Unfold(f.at(8)));
            c->Nullable = f.at(6) == "0";
            c->CheckSource = r.Check;
            c->SetSource(Trim(r.Computed));
            if (c->CheckSource.size() > 5) c->CheckSource = Trim(c->CheckSource.substr(5));
            if (OnDomain(c->SystemName)) MarkDomainTyped(O, *c, c->SystemName);
            if (r.CharSetId >= 0 && f.at(9) != "-1")
                c->SetCharSetCollation(r.CharSetId, r.CharSet, std::stoi(f.at(9)), f.at(10));
            TFldData* filed = table->AddColumn(std::move(c));
            if (const std::string domain = filed->GetDomainName(); !domain.empty())
                RegisterDependency(&O, table, O.FindDomain(domain), filed->Name);
        } else if (tag == "C") {
            auto* view = dynamic_cast<TViwData*>(O.FindView(f[1]));
            if (!view) {
                view = new TViwData(&O);
                view->Name = f[1];
                O.AddDbObject(view);
            }
            view->AddColumn(f.at(3));
        } else if (tag == "V") {
            if (TDbObj* v = O.FindView(f.at(1))) v->SetSource(Trim(Unfold(f.at(2))));
        } else if (tag == "P") {
            auto* p = new TPrcData(&O);
            p->Name = f.at(1);
            p->SetSource(Trim(Unfold(f.at(2))));
            O.AddDbObject(p);
        } else if (tag == "A") {
            auto* p = dynamic_cast<TPrcData*>(O.FindProcedure(f.at(1)));
            ASSERT_TRUE(p) << f.at(1);
            auto a = std::make_unique<TFldData>(&O, p);
            a->Kind = dboParam;
            a->Name = f.at(3);
            a->SystemName = f.at(4);
            const FieldRow r = FieldRow::Parse(f, 7);
            FillType(*a, r);
            a->Nullable = f.at(5) == "0";
            a->DefaultValue = CleanDefault(Unfold(f.at(6)));
            if (OnDomain(a->SystemName)) {
                MarkDomainTyped(O, *a, a->SystemName);
                RegisterDependency(&O, p, O.FindDomain(a->SystemName));
            }
            a->SetCharSetCollation(r.CharSetId, r.CharSet, r.CollationId, r.Collation);
            if (f.at(2) == "0")
                p->AddInputParam(std::move(a));
            else
                p->AddOutputParam(std::move(a));
        }
    }
    for (const auto& f : deps) {
        TDbObj* obj = O.FindView(f.at(1));
        if (!obj) obj = O.FindProcedure(f.at(1));
        TDbObj* other = f.at(3) == "5" ? O.FindProcedure(f.at(2)) : O.FindTable(f.at(2));
        if (!other) other = O.FindView(f.at(2));
        ASSERT_TRUE(obj && other) << f.at(1) << " -> " << f.at(2);
        RegisterDependency(&O, obj, other);
        if (f.at(4).empty()) continue;
        RegisterDependency(&O, obj, other, f.at(4));
        // A view reading a table also needs the domains of all that table's columns.
        if (obj->Kind == dboView && other->Kind == dboTable)
            for (int i = 0; i < other->GetColumnCount(); ++i)
                if (const std::string domain = other->GetColumn(i)->GetDomainName(); !domain.empty())
                    RegisterDependency(&O, obj, O.FindDomain(domain));
    }
}

// The catalogue rows of every column of a table and of every domain, one text per row: what
// a change made of a column or domain, compared between two databases.
inline std::vector<std::string> FieldRows(const TempDatabase& Db) {
    using namespace catalogue;
    return QueryRows(
        Db, "SELECT '<<D|' || TRIM(F.RDB$FIELD_NAME) || '|' || " + FieldColumns() + " || '>>' FROM RDB$FIELDS F" +
                FieldJoins() +
                " WHERE COALESCE(F.RDB$SYSTEM_FLAG, 0) = 0 AND F.RDB$FIELD_NAME NOT LIKE 'RDB$%' ORDER BY 1;\n"
                "SELECT '<<C|' || TRIM(R.RDB$RELATION_NAME) || '.' || TRIM(R.RDB$FIELD_NAME) || '|' || "
                "IIF(R.RDB$FIELD_SOURCE STARTING WITH 'RDB$', '-', TRIM(R.RDB$FIELD_SOURCE)) || '|' || "
                "COALESCE(R.RDB$NULL_FLAG, 0) || '|' || " +
                Flat("R.RDB$DEFAULT_SOURCE") + " || '|' || COALESCE(R.RDB$COLLATION_ID, -1) || '|' || " + FieldColumns() +
                " || '>>' FROM RDB$RELATION_FIELDS R JOIN RDB$RELATIONS REL ON REL.RDB$RELATION_NAME = "
                "R.RDB$RELATION_NAME JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE" +
                FieldJoins() +
                " WHERE COALESCE(REL.RDB$SYSTEM_FLAG, 0) = 0 AND REL.RDB$VIEW_BLR IS NULL ORDER BY 1");
}

} // namespace qnl::test
