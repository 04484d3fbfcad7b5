// Implements external functions and their passes; see qnlComp_Fnc.h.
#include "objects/qnlComp_Fnc.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Viw.h"
#include "objects/qnlPassSection.h"

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

// A table check or an index: Firebird records a check's or an expression index's use of the
// function like a view's, and refuses to drop the function while it stands.
bool IsCheckOrIndex(const TDbObj& Obj) {
    const TObjListKind list = Obj.GetObjList();
    return list == olConstraints || list == olIndices;
}

// The view alter pass creates it again.
void DropView(TDbObj& View) {
    View.DoDrop();
    if (auto* v = dynamic_cast<TViwData*>(&View)) v->SetRecreate(true);
}

// Everything that uses the target's function T is emptied or dropped before T's DROP; the later
// passes restore bodies, create views marked for re-creation again, and add the dropped computed
// columns, checks and indices back.
void EmptyOrDropUsers(const TDbObj& M, TDbObj& T, TCustomObjs& Target, TCustomSQLExec& Exec) {
    for (int i = 0; i < T.UsedBy.Count(); ++i) {
        TDependObj* e = T.UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!ref) continue;
        if (ref->Kind == dboProcedure || ref->Kind == dboTrigger) {
            const bool procedure = ref->Kind == dboProcedure;
            TDbObj* routine = procedure ? Target.FindProcedure(ref->GetKeyName()) : Target.FindTrigger(ref->GetKeyName());
            if (!routine) continue;
            if (routine->GetExists() && !routine->BodyIsEmpty()) {
                Exec.AddComment(procedure ? "/* Empty dependent procedure body before Function Alter (Drop/Create) */"
                                          : "/* Empty dependent trigger body before Function Alter (Drop/Create) */");
                routine->EmptyBody(true);
            }
            e->Active = false;
        } else if (ref->Kind == dboField) {
            if (!ref->Source().empty()) {
                if (ref->GetExists()) {
                    Exec.AddComment(M.MakeComment("drop calc-field for UDF alter"));
                    ref->DoDrop();
                }
            } else if (TDbObj* view = Target.FindView(ref->GetOwnerName()); view && view->GetExists()) {
                Exec.AddComment(M.MakeComment("drop view (field) for UDF alter"));
                DropView(*view);
            }
        } else if (ref->Kind == dboView && ref->GetExists()) {
            Exec.AddComment(M.MakeComment("drop view for UDF alter"));
            DropView(*ref);
        } else if (IsCheckOrIndex(*ref) && ref->GetExists()) {
            Exec.AddComment(M.MakeComment(ref->GetObjList() == olIndices ? "drop index for UDF alter"
                                                                         : "drop check for UDF alter"));
            ref->DoDrop();
            e->Active = false;
        }
    }
}

} // namespace

// ---- TUdfData ----

TUdfData::TUdfData(TCustomObjs* AContainer)
    : TDbObj(AContainer), ReturnField(std::make_unique<TFldData>(AContainer, this)) {
    Kind = dboFunction;
}

TUdfData::~TUdfData() {
    Arguments.ClearColumns();
    ReturnField.reset();
}

TFldData* TUdfData::AddArgument(std::unique_ptr<TFldData> AArgument) {
    if (!AArgument) return nullptr;
    AArgument->Owner = this;
    TFldData* a = AArgument.get();
    const std::string name = a->Name;
    Arguments.AddColumn(name, std::move(AArgument));
    return a;
}

TFldData* TUdfData::AddArgument(uint8_t DataType, int32_t CharLength) {
    auto a = std::make_unique<TFldData>(Container, this);
    a->DataType = DataType;
    a->CharLength = CharLength;
    return AddArgument(std::move(a));
}

std::string TUdfData::GetCreateSQL() {
    std::string s = "DECLARE EXTERNAL FUNCTION " + QuoteName(Name) + CRLF;
    for (int i = 0; i < Arguments.Count(); ++i) s += (i ? ", " : "") + Argument(i)->GetCreateSQL();
    if (Arguments.Count() > 0) s += CRLF;
    s += "RETURNS " + ReturnField->GetCreateSQL();
    if (FreeIt) s += " FREE_IT";
    // Both names are literals: a quote inside the module name is doubled like one in the entry
    // point, or the statement would end there.
    return s + CRLF + "ENTRY_POINT " + QuotedStr(EntryPoint) + " MODULE_NAME " + QuotedStr(ModuleName);
}

void TUdfData::DropDependents() {
    TDbObj::DropDependents();
    TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr;
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!ref) continue;
        if (ref->Kind == dboField) {
            if (TDbObj* view = target ? target->FindView(ref->GetOwnerName()) : nullptr) {
                view->DoDrop();
                e->Active = false;
            }
            if (!ref->Source().empty() && ref->GetExists()) {
                ref->DoDrop();
                e->Active = false;
            }
        } else if (IsCheckOrIndex(*ref) && ref->GetExists()) {
            ref->DoDrop();
            e->Active = false;
        }
    }
}

void TUdfData::MarkDropped() {
    TDbObj::MarkDropped();
    GrantsGoWith(*this);
    TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr;
    if (!master) return;
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDbObj* ref = UsedBy.Items(i)->Ref;
        if (!ref || ref->Kind != dboField) continue;
        if (TDbObj* view = master->FindView(ref->GetOwnerName()); view && !view->GetExists()) view->CreateDependDef();
        if (ref->Source().empty()) continue;
        if (TDbObj* column = master->FindTableField(ref->GetOwnerName(), ref->Name); column && !column->GetExists())
            column->CreateDependDef();
    }
}

// ---- passes ----

void WriteDeclareUDFs(TCustomObjs& Master, TCustomObjs& /*Target*/, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    TPassSection section(Exec, "/* Declare UDF */");
    const TDbObjList& list = Master.List(olUDFs);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* f = list.Obj(i);
        if (f->Counterpart || f->NoScript) continue;
        section.Open();
        f->CreateDependDef();
        if (Compare.Contains(coDescription) && !f->Description().empty()) Exec.AddDescription(f);
    }
    section.Close();
}

void WriteAlterUDFs(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    TPassSection section(*exec, "/* Alter UDF(Drop/Declare) */");
    const TDbObjList& list = master->List(olUDFs);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* m = list.Obj(i);
        TDbObj* t = target->FindUDF(m->GetKeyName());
        if (!t) continue;
        // Both functions go on existing: the DROP and the DECLARE follow each other.
        if (m->GetCreateSQL() != t->GetCreateSQL()) {
            section.Open();
            EmptyOrDropUsers(*m, *t, *target, *exec);
            exec->AddStatement("DROP EXTERNAL FUNCTION " + Q.QuoteName(t->Name), skStatement, t->Name, dboFunction,
                               saDrop);
            GrantsGoWith(*t);
            exec->AddStatement(m->GetCreateSQL(), skStatement, m->Name, dboFunction, saCreate);
        }
        if (Q.CompareObjects.Contains(coDescription) && m->Description() != t->Description()) exec->AddDescription(m);
    }
    section.Close();
}

void WriteDropUDFs(TCustomObjs& /*Master*/, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType /*Compare*/) {
    DropTargetOnly(Exec, Target.List(olUDFs), "/* Drop UDF */");
}

} // namespace qnl
