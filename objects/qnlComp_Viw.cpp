// Implements views and their passes; see qnlComp_Viw.h.
#include "objects/qnlComp_Viw.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlPassSection.h"

#include <algorithm>
#include <vector>

namespace qnl {

namespace {
const char* const CRLF = "\r\n";

TViwData* AsView(TDbObj* Obj) { return Obj && Obj->Kind == dboView ? dynamic_cast<TViwData*>(Obj) : nullptr; }

// "(" CR LF A "," CR LF B ")"; empty without names.
std::string ColumnListText(const TViwData& View, const TStringList& Names) {
    if (Names.Count() == 0) return {};
    std::string s = "(";
    for (int i = 0; i < Names.Count(); ++i) s += (i ? "," : "") + (CRLF + View.QuoteName(Names[i]));
    return s + ")";
}

} // namespace

// ---- TViwData ----

TViwData::TViwData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboView; }

TViwData::~TViwData() { Columns.ClearColumns(); }

TFldData* TViwData::AddColumn(std::unique_ptr<TFldData> AColumn) {
    if (!AColumn) return nullptr;
    AColumn->Owner = this;
    AColumn->OwnerName = Name;
    TFldData* c = AColumn.get();
    const std::string name = c->Name;
    Columns.AddColumn(name, std::move(AColumn));
    return c;
}

TFldData* TViwData::AddColumn(const std::string& AName) {
    auto c = std::make_unique<TFldData>(Container, this);
    c->Name = AName;
    return AddColumn(std::move(c));
}

std::string TViwData::GetColumnListSQL() { return ColumnListText(*this, Columns); }

std::string TViwData::GetCapturedSQL() {
    if (Columns.Count() > 0 || DerivedColumns.Count() == 0) return GetCreateSQL();
    return CreateText(ColumnListText(*this, DerivedColumns));
}

void TViwData::SetRecreate(bool Value) {
    Recreate = Value;
    if (TViwData* other = AsView(Counterpart); other && other->Recreate != Value) other->SetRecreate(Value);
}

std::string TViwData::GetCreateSQL() { return CreateText(GetColumnListSQL()); }

std::string TViwData::CreateText(const std::string& ColumnList) {
    const std::string body = ColumnList + CRLF + " AS " + CRLF + Source();
    switch (GetServerType()) {
    case stOracle: {
        std::string s = "CREATE OR REPLACE VIEW " + GetQualifiedName();
        if (!OfType.empty()) s += " OF " + OfType;
        if (ObjectIdColumns.Count() > 0) {
            std::string names;
            for (int i = 0; i < ObjectIdColumns.Count(); ++i) names += (i ? ", " : "") + ObjectIdColumns[i];
            s += CRLF + std::string("   WITH OBJECT ") + (ObjectIdKind.empty() ? "IDENTIFIER" : ObjectIdKind) + "(" +
                 names + ")";
        }
        return s + ColumnList + CRLF + "   AS " + CRLF + Source();
    }
    case stMSSQL: {
        if (Source().empty()) return {};
        std::string s = "CREATE VIEW " + GetQualifiedName() + ColumnList + CRLF;
        std::string options;
        if (WithEncryption) options = "  WITH ENCRYPTION";
        for (auto [set, word] : {std::pair{SchemaBinding, "SCHEMABINDING"}, {ViewMetadata, "VIEW_METADATA"}})
            if (set) options += (options.empty() ? "  WITH " : ", ") + std::string(word);
        if (!options.empty()) s += options + CRLF;
        return s + " AS " + CRLF + Source();
    }
    case stMySQL: {
        std::string s = "CREATE";
        if (!Algorithm.empty()) s += " ALGORITHM=" + Algorithm;
        if (!SqlSecurity.empty()) s += " SQL SECURITY " + SqlSecurity;
        return s + " VIEW " + QuoteName(Name) + body;
    }
    case stPostgreSQL:
    case stDB2: return "CREATE VIEW " + GetQualifiedName() + body;
    default: return "CREATE VIEW " + QuoteName(Name) + body;
    }
}

std::string TViwData::GetDropSQL() { return NoScript ? std::string() : "DROP VIEW " + GetQualifiedName(); }

void TViwData::CreateDependDef() {
    // A cycle of views comes back here while this one is still being handled: it is written once.
    if (GetExists() || FCreating) return;
    const TWalkMark mark(FCreating);
    CreateDependencies();
    TCustomSQLExec* exec = GetSQLExec();
    if (GetServerType() == stDB2 && Container && !Schema.empty() && Schema != Container->CurrentSchema) {
        Container->CurrentSchema = Schema;
        AddOwnStatement("SET CURRENT SCHEMA = " + QuoteName(Schema), skStatement, {}, dboSchema, saConnectSet);
    }
    if (exec) {
        exec->SetSchemaName(Schema);
        exec->AddComment(MakeComment("Create view: " + Name + " (ViwData.CreateDependDef)"));
    }
    AddOwnStatement(GetCreateStatement(), skStatement, Name, dboView, saCreate);
    // Its description and its columns' come with every CREATE, whichever pass or walk writes it,
    // and only then: the view pass runs twice.
    if (exec && GetCompareObjects().Contains(coDescription)) {
        if (!Description().empty()) exec->AddDescription(this);
        for (int i = 0; i < GetColumnCount(); ++i)
            if (!Column(i)->Description().empty()) exec->AddDescription(Column(i));
    }
    SetExists(true);
    // Its columns come back with it (a drop marked them gone), so what reads them is complete.
    for (int i = 0; i < GetColumnCount(); ++i) GetColumn(i)->SetExists(true);
    // The target's view has the master's text now, so a view that reads this one does not
    // drop and create it a second time.
    if (Counterpart && Container && Container->GetMasterObjs() == Container) Counterpart->CurrentSQL = CurrentSQL;
    // The view's triggers come right after it, with empty bodies; the trigger alter pass
    // restores them once everything their bodies use exists.
    if (TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr) {
        for (TDbObj* on : master->TriggersOn(this)) {
            auto* trg = dynamic_cast<TTrgData*>(on);
            if (!trg || trg->GetExists()) continue;
            const std::string text = trg->GetEmptyCreateSQL();
            AddOwnStatement(text, skTrigger, trg->Name, dboTrigger, saCreateEmpty);
            trg->SetBodyEmptied(true);
            trg->SetExists(true);
            if (trg->Counterpart) trg->Counterpart->CurrentSQL = text;
        }
    }
    MarkCreated();
    RestoreComputedColumns();
}

void TViwData::RestoreComputedColumns() {
    std::vector<TDbObj*> tables;
    auto collect = [&](const TDbObj& Used) {
        for (int i = 0; i < Used.UsedBy.Count(); ++i) {
            TDbObj* ref = Used.UsedBy.Items(i)->Ref;
            if (!ref || ref->Kind != dboField || ref->Source().empty() || ref->GetExists()) continue;
            TDbObj* table = ref->GetOwner();
            if (table && table->Kind == dboTable && table->GetExists() &&
                std::find(tables.begin(), tables.end(), table) == tables.end())
                tables.push_back(table);
        }
    };
    collect(*this);
    for (int i = 0; i < GetColumnCount(); ++i) collect(*GetColumn(i));
    // The computed phase of a table adds each of its computed columns that can be written now.
    for (TDbObj* table : tables) {
        const TCreatePhase phase(*table, false);
        table->CreateDependDef();
    }
}

void CreateViewFor(TDbObj& User, TDbObj& View, const std::string& UserWord) {
    TCustomSQLExec* exec = User.GetSQLExec();
    auto comment = [&](const std::string& Text) {
        if (exec) exec->AddComment(User.MakeComment(Text));
    };
    const std::string what = View.Name + " for " + UserWord + ": " + User.Name;
    if (!View.GetExists()) {
        comment("Create view: " + what);
        View.CreateDependDef();
    }
    TCustomObjs* master = User.Container ? User.Container->GetMasterObjs() : nullptr;
    TCustomObjs* target = User.Container ? User.Container->GetTargetObjs() : nullptr;
    // Both sides file their views under their keys (schema, name prefix).
    TDbObj* mv = master ? master->FindView(View.GetKeyName()) : nullptr;
    TDbObj* tv = target ? target->FindView(View.GetKeyName()) : nullptr;
    if (!mv || !tv || mv->CurrentSQL == tv->CurrentSQL) return;
    comment("Alter view (drop/create): " + what);
    comment("Alter view (drop): " + what);
    tv->DoDrop();
    comment("Alter view (create): " + what);
    mv->CreateDependDef();
    tv->CurrentSQL = mv->CurrentSQL;
}

void TViwData::CreateDependencies() {
    TDbObj::CreateDependencies();
    for (int i = 0; i < DependsOn.Count(); ++i) {
        TDbObj* ref = DependsOn.Items(i)->Ref;
        if (!ref) continue;
        if (ref->Kind == dboView && ref != this)
            CreateViewFor(*this, *ref, "view");
        else if (ref->Kind == dboGenerator)
            ref->CreateDependDef();
    }
}

void TViwData::MarkCreated() {
    TDbObj::MarkCreated();
    // Whatever reads this view is handled again when the view is dropped again.
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!ref || (ref->Kind != dboView && ref->Kind != dboDomain)) continue;
        e->Active = true;
        for (int j = 0; j < ref->DependsOn.Count(); ++j)
            if (TDependObj* back = ref->DependsOn.Items(j); back->Ref == this) back->Active = true;
    }
}

bool TViwData::ReadsItself() const {
    std::vector<const TDbObj*> seen, todo{this};
    while (!todo.empty()) {
        const TDbObj* v = todo.back();
        todo.pop_back();
        for (int i = 0; i < v->DependsOn.Count(); ++i) {
            const TDbObj* ref = v->DependsOn.Items(i)->Ref;
            if (!ref || ref->Kind != dboView || !ref->GetExists()) continue;
            if (ref == this) return true;
            if (std::find(seen.begin(), seen.end(), ref) != seen.end()) continue;
            seen.push_back(ref);
            todo.push_back(ref);
        }
    }
    return false;
}

void TViwData::BreakViewCycle() {
    if (GetServerType() != stInterBase || Columns.Count() == 0 || !ReadsItself()) return;
    std::string nulls;
    for (int i = 0; i < Columns.Count(); ++i) nulls += i ? ", NULL" : "NULL";
    const std::string text = "ALTER VIEW " + QuoteName(Name) + GetColumnListSQL() + CRLF + " AS " + CRLF + "SELECT " +
                             nulls + " FROM RDB$DATABASE";
    if (CurrentSQL == text) return;
    if (TCustomSQLExec* exec = GetSQLExec()) {
        exec->AddComment(MakeComment("View " + Name + " reads itself through other views: it reads none before the drop"));
        AddOwnStatement(text, skStatement, Name, dboView, saAlter);
    }
    CurrentSQL = text;
    // It reads no view now: the links go, so that no drop walk follows them back to it.
    std::vector<TDbObj*> views;
    for (int i = 0; i < DependsOn.Count(); ++i)
        if (TDbObj* ref = DependsOn.Items(i)->Ref; ref && ref->Kind == dboView) views.push_back(ref);
    for (TDbObj* v : views) {
        DependsOn.RemoveRef(v);
        v->UsedBy.RemoveRef(this);
    }
}

void TViwData::DropDependents() {
    const bool ase = GetServerType() == stASE;
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!e->Active || !ref) continue;
        if (ref == this) {
            e->Active = false;
        } else if (ref->Kind == dboTrigger || ref->Kind == dboProcedure) {
            if (ase)
                ref->DoDrop();
            else
                ref->EmptyBody(true);
            e->Active = false;
        } else if (ref->GetObjList() == olConstraints) {
            ref->DoDrop();
            e->Active = false;
        }
    }
    if (TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr) {
        // Collected first: the list is not walked while its objects are dropped.
        std::vector<TDbObj*> triggers = target->TriggersOn(this);
        std::erase_if(triggers, [](const TDbObj* Trg) { return !Trg->GetExists(); });
        for (TDbObj* trg : triggers) trg->DoDrop();
    }
    BreakViewCycle();
    TDbObj::DropDependents();
}

void TViwData::MarkDropped() {
    TDbObj::MarkDropped();
    // The grants on the view and those it holds itself (its privileges on the tables it reads)
    // went with the DROP.
    GrantsGoWith(*this);
}

// ---- passes ----

void WriteCreateViews(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Create Views... */");
    const TDbObjList& list = master->List(olViews);
    for (int i = 0; i < list.Count(); ++i) {
        TViwData* v = AsView(list.Obj(i));
        if (!v || v->NoScript || (v->Counterpart && v->GetExists())) continue;
        section.Open();
        v->CreateDependDef();
        v->SetRecreate(false);
        if (v->Counterpart) v->Counterpart->CurrentSQL = v->CurrentSQL;
    }
    section.Close();
}

void WriteAlterViews(TCustomObjs& Master, TCustomObjs& /*Target*/, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    const bool descriptions = Compare.Contains(coDescription);
    // The section has no closing comment.
    TPassSection section(Exec, "/* Alter View (Drop, Create)... */");
    const TDbObjList& list = Master.List(olViews);
    for (int i = 0; i < list.Count(); ++i) {
        TViwData* m = AsView(list.Obj(i));
        TViwData* t = m ? AsView(m->Counterpart) : nullptr;
        if (!t || m->NoScript) continue;
        if (m->CurrentSQL != t->CurrentSQL || m->GetRecreate()) {
            const std::string why = m->GetRecreate() ? " (recreate)" : "";
            section.Open();
            Exec.AddComment(t->MakeComment("Drop altered view: " + t->Name + why));
            t->DoDrop();
            t->CurrentSQL.clear();
            m->SetExists(false);
            Exec.AddComment(t->MakeComment("Create altered view: " + t->Name + why));
            m->CreateDependDef();
            t->CurrentSQL = m->CurrentSQL;
            m->SetRecreate(false);
        } else if (descriptions) {
            if (m->Description() != t->Description()) {
                Exec.AddDescription(m);
                Exec.AddComment("\r\n");
            }
            for (int c = 0; c < m->GetColumnCount(); ++c) {
                TDbObj* mc = m->Column(c);
                if (mc->Counterpart && mc->Counterpart->Description() != mc->Description()) Exec.AddDescription(mc);
            }
        }
    }
}

void WriteDropViews(TCustomObjs& /*Master*/, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType /*Compare*/) {
    DropTargetOnly(Exec, Target.List(olViews), "/* Drop View... */", [](TDbObj& View) { View.CurrentSQL.clear(); });
}

} // namespace qnl
