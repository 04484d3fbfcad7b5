// Implements packages and their passes; see qnlComp_Pkg.h.
#include "objects/qnlComp_Pkg.h"

#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlPassSection.h"

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

TPkgData* AsPackage(TDbObj* Obj) { return dynamic_cast<TPkgData*>(Obj); }

bool HeadersDiffer(const TPkgData& M, const TPkgData& T) {
    return NormalizeLineBreaks(M.HeaderSource) != NormalizeLineBreaks(T.HeaderSource);
}

bool TextsDiffer(const TPkgData& M, const TPkgData& T) { return HeadersDiffer(M, T) || M.Source() != T.Source(); }

void AddPackageStatement(TCustomSQLExec& Exec, const std::string& Text, const TPkgData& P, TStatementAction Action) {
    Exec.AddStatement(Text, skPackage, P.Name, dboPackage, Action);
}

} // namespace

// ---- TPkgData ----

// An Oracle container keeps InterBase/Firebird options too; they never make its text Firebird's.
bool TPkgData::FirebirdForm() const {
    const TIBServerOptions* o = GetIBServerOptions();
    return GetServerType() == stInterBase && o && AtLeast(o->SQLServerVersion, st_Firebird_30);
}

std::string TPkgData::GetHeaderSQL() {
    if (FirebirdForm()) return "CREATE OR ALTER PACKAGE " + QuoteName(Name) + CRLF + "    AS" + CRLF + HeaderSource;
    return "CREATE OR REPLACE PACKAGE " + QuoteName(Name) + CRLF + HeaderSource;
}

std::string TPkgData::GetBodySQL() {
    if (FirebirdForm()) return "RECREATE PACKAGE BODY " + QuoteName(Name) + CRLF + "    AS" + CRLF + Source();
    return "CREATE OR REPLACE PACKAGE BODY " + QuoteName(Name) + CRLF + Source();
}

std::string TPkgData::GetCreateSQL() {
    std::string s = GetHeaderSQL();
    if (!Source().empty())
        s += std::string(CRLF) + (GetServerType() == stInterBase ? "^" : "/") + CRLF + CRLF + GetBodySQL();
    return s;
}

std::string TPkgData::GetDropSQL() { return "DROP PACKAGE " + QuoteName(Name); }

void TPkgData::SetMemberDescription(const TMemberDescription& Description) {
    std::erase_if(MemberDescriptions, [&](const TMemberDescription& d) { return d.Describes(Description); });
    if (!Description.Text.empty()) MemberDescriptions.push_back(Description);
}

std::string TPkgData::MemberDescription(const TMemberDescription& Like) const {
    for (const TMemberDescription& d : MemberDescriptions)
        if (d.Describes(Like)) return d.Text;
    return {};
}

std::string TPkgData::MemberDescriptionSQL(const TMemberDescription& Description) {
    std::string s = std::string("COMMENT ON ") + (Description.Function ? "FUNCTION " : "PROCEDURE ");
    if (!Description.Parameter.empty()) s += "PARAMETER ";
    s += QuoteName(Name) + "." + QuoteName(Description.Routine);
    if (!Description.Parameter.empty()) s += "." + QuoteName(Description.Parameter);
    return s + " IS" + CRLF + (Description.Text.empty() ? std::string("NULL") : QuotedStr(Description.Text));
}

namespace {

void AddMemberDescription(TCustomSQLExec& Exec, TPkgData& Package, const TMemberDescription& Description) {
    const bool parameter = !Description.Parameter.empty();
    TStatement* st = Exec.AddStatement(Package.MemberDescriptionSQL(Description), skDescription,
                                       parameter ? Description.Parameter : Description.Routine,
                                       parameter ? dboParam : dboProcedure, saDescription,
                                       parameter ? Description.Routine : std::string());
    if (st) st->DescriptionText = Description.Text;
}

} // namespace

void TPkgData::WriteLostMemberDescriptions(TCustomSQLExec& Exec, TPkgData& Target) {
    if (!GetCompareObjects().Contains(coDescription)) return;
    const std::vector<TMemberDescription> held = Target.MemberDescriptions;
    for (TMemberDescription d : held) {
        if (!MemberDescription(d).empty()) continue;
        d.Text.clear();
        AddMemberDescription(Exec, *this, d);
        Target.SetMemberDescription(d);
    }
}

void TPkgData::WriteMemberDescriptions(TCustomSQLExec& Exec, TPkgData* Target) {
    if (!GetCompareObjects().Contains(coDescription)) return;
    for (const TMemberDescription& d : MemberDescriptions) {
        if (Target && Target->MemberDescription(d) == d.Text) continue;
        AddMemberDescription(Exec, *this, d);
        if (Target) Target->SetMemberDescription(d);
    }
}

void TPkgData::PrepareForCaller() {
    TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr;
    TCustomSQLExec* exec = GetSQLExec();
    if (!target || !exec || Container->GetMasterObjs() != Container) return;
    TPkgData* t = AsPackage(target->List(olPackages).FindObj(GetKeyName()));
    const std::string header = GetHeaderSQL();
    if (!t) {
        if (GetExists()) return;
        AddPackageStatement(*exec, header, *this, saCreate);
        if (GetCompareObjects().Contains(coDescription) && !Description().empty()) exec->AddDescription(this);
        WriteMemberDescriptions(*exec, nullptr);
        SetExists(true);
    } else {
        if (!HeadersDiffer(*this, *t) || t->CurrentSQL == header) return;
        t->DropDependents();
        WriteLostMemberDescriptions(*exec, *t);
        AddPackageStatement(*exec, header, *this, saAlter);
        t->CurrentSQL = header;
    }
}

// ---- passes ----

void WriteCreatePackages(TCustomQuarnel& Q, TPackagePart Part) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const bool header = Part == TPackagePart::Header;
    TPassSection section(*exec, header ? "/* Create package... */" : "/* Create package body... */");
    const TDbObjList& list = master->List(olPackages);
    for (int i = 0; i < list.Count(); ++i) {
        TPkgData* m = AsPackage(list.Obj(i));
        if (!m || target->List(olPackages).FindObj(m->GetKeyName())) continue;
        if (header) {
            if (m->GetExists()) continue;  // written before a computed column that calls it
            section.Open();
            AddPackageStatement(*exec, m->GetHeaderSQL(), *m, saCreate);
            if (Q.CompareObjects.Contains(coDescription) && !m->Description().empty()) exec->AddDescription(m);
            m->WriteMemberDescriptions(*exec, nullptr);
        } else if (!m->Source().empty()) {
            section.Open();
            AddPackageStatement(*exec, m->GetBodySQL(), *m, saCreate);
        }
    }
    section.Close();
}

void WriteAlterPackages(TCustomQuarnel& Q, TPackagePart Part) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const bool header = Part == TPackagePart::Header;
    TPassSection section(*exec, header ? "/* Alter package... */" : "/* Alter package body... */");
    const TDbObjList& list = master->List(olPackages);
    for (int i = 0; i < list.Count(); ++i) {
        TPkgData* m = AsPackage(list.Obj(i));
        TPkgData* t = m ? AsPackage(target->List(olPackages).FindObj(m->GetKeyName())) : nullptr;
        if (!t) continue;
        const bool changed = TextsDiffer(*m, *t);
        if (header) {
            m->WriteLostMemberDescriptions(*exec, *t);
            // Unless written before a computed column that calls it.
            if (changed && t->CurrentSQL != m->GetHeaderSQL()) {
                section.Open();
                // A caller of a routine the new header leaves out would make it fail.
                if (HeadersDiffer(*m, *t)) t->DropDependents();
                AddPackageStatement(*exec, m->GetHeaderSQL(), *m, saAlter);
            }
            if (Q.CompareObjects.Contains(coDescription) && m->Description() != t->Description())
                exec->AddDescription(m);
            m->WriteMemberDescriptions(*exec, t);
        } else if (changed) {
            section.Open();
            if (!m->Source().empty())
                AddPackageStatement(*exec, m->GetBodySQL(), *m, saAlter);
            else if (!t->Source().empty())
                exec->AddStatement("DROP PACKAGE BODY " + m->QuoteName(m->Name), skStatement, m->Name, dboPackage,
                                   saDrop);
        }
    }
    section.Close();
}

void WriteDropPackages(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    TPassSection section(*exec, "/* Drop package... */");
    const TDbObjList& list = target->List(olPackages);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* t = list.Obj(i);
        if (master->List(olPackages).FindObj(t->GetKeyName()) || !t->GetExists()) continue;
        section.Open();
        t->DoDrop();
    }
    section.Close();
}

} // namespace qnl
