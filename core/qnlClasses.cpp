#include "core/qnlClasses.h"

#include "core/qnlDBStructure.h"
#include "core/qnlQuote.h"
#include "core/qnlSQL_Exec.h"

namespace qnl {

std::string NormalizeLineBreaks(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        char c = Text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return Trim(out);
}

// ---- TDependList ----

TDependObj* TDependList::Add(TDbObj* Ref, int RefColumn, int RefLine) {
    FItems.push_back(TDependObj{Ref, true, RefColumn, RefLine});
    return &FItems.back();
}

const TDependObj* TDependList::FindRef(const TDbObj* Ref) const {
    for (const TDependObj& e : FItems)
        if (e.Ref == Ref) return &e;
    return nullptr;
}

void TDependList::RemoveRef(const TDbObj* Ref) {
    std::erase_if(FItems, [Ref](const TDependObj& e) { return e.Ref == Ref; });
}

// ---- TDbObj ----

TDbObj::TDbObj(TCustomObjs* AContainer) : Container(AContainer) {}

TDbObj::TOwnNames& TDbObj::OwnNames() {
    if (!FOwnNames) FOwnNames = std::make_unique<TOwnNames>();
    return *FOwnNames;
}

const std::string& TDbObj::SystemName() const {
    static const std::string none;
    return FOwnNames ? FOwnNames->SystemName : none;
}

void TDbObj::SetSystemName(std::string Value) {
    if (FOwnNames || !Value.empty()) OwnNames().SystemName = std::move(Value);
}

const std::string& TDbObj::DbOwner() const {
    static const std::string none;
    return FOwnNames ? FOwnNames->DbOwner : none;
}

void TDbObj::SetDbOwner(std::string Value) {
    if (FOwnNames || !Value.empty()) OwnNames().DbOwner = std::move(Value);
}

TDbObj::~TDbObj() {
    for (int i = 0; i < DependsOn.Count(); ++i)
        if (TDbObj* other = DependsOn.Items(i)->Ref) other->UsedBy.RemoveRef(this);
    for (int i = 0; i < UsedBy.Count(); ++i)
        if (TDbObj* other = UsedBy.Items(i)->Ref) other->DependsOn.RemoveRef(this);
    if (Counterpart && Counterpart->Counterpart == this) Counterpart->Counterpart = nullptr;
}

void TDbObj::SetDescription(const std::string& Value) { FDescription = NormalizeLineBreaks(Value); }
void TDbObj::SetSource(const std::string& Value) { FSource = NormalizeLineBreaks(Value); }

namespace {
bool UpperCaseNames(const TDbObj& Obj) {
    return Obj.GetServerType() == stMSSQL && Obj.Container &&
           !Obj.Container->MSSQLServerOptions.MSSQLCompareOptions.CaseSensitiveIdentifiers;
}
} // namespace

void TDbObj::SetName(const std::string& Value) { Name = UpperCaseNames(*this) ? UpperCase(Value) : Value; }
void TDbObj::SetSchema(const std::string& Value) { Schema = UpperCaseNames(*this) ? UpperCase(Value) : Value; }

TCustomObjs* TDbObj::DialectContainer() const {
    if (!Container) return nullptr;
    if (Container->UseCounterpartDialect && Container->CounterpartObjs) return Container->CounterpartObjs;
    return Container;
}

TServerType TDbObj::GetServerType() const {
    TCustomObjs* c = DialectContainer();
    return c ? c->ServerType() : stNone;
}

TIBServerOptions* TDbObj::GetIBServerOptions() const {
    TCustomObjs* c = DialectContainer();
    return c ? &c->IBServerOptions : nullptr;
}

TMSSQLServerOptions* TDbObj::GetMSSQLServerOptions() const {
    TCustomObjs* c = DialectContainer();
    return c ? &c->MSSQLServerOptions : nullptr;
}

TCustomSQLExec* TDbObj::GetSQLExec() const { return Container ? Container->SQLExec() : nullptr; }

TCmpObjSetType TDbObj::GetCompareObjects() const {
    return Container ? Container->CompareObjects : TCmpObjSetType::All();
}

std::string TDbObj::GetNamePrefix() const { return Container ? Container->GetNamePrefix() : std::string(); }

std::string TDbObj::GetNameWithoutPrefix() const {
    std::string prefix = GetNamePrefix();
    if (!prefix.empty() && Name.compare(0, prefix.size(), prefix) == 0) return Name.substr(prefix.size());
    return Name;
}

std::string TDbObj::GetNameForCounterpart() const {
    std::string prefix;
    if (Container && Container->CounterpartObjs) prefix = Container->CounterpartObjs->GetNamePrefix();
    return prefix + GetNameWithoutPrefix();
}

TUpdateDescriptionType TDbObj::GetUpdateDescriptionMode() const {
    if (GetServerType() == stInterBase)
        if (TIBServerOptions* o = GetIBServerOptions()) return o->IBCompareOptions.UpdateDescriptionMode;
    return udDescribe;
}

void TDbObj::SetExists(bool Value) {
    Exists = Value;
    if (Counterpart) Counterpart->Exists = Value;
}

std::string TDbObj::GetKeyName() const {
    const TServerType type = GetServerType();
    // An index is keyed within its table.
    if ((type == stMSSQL || type == stPostgreSQL) && Kind == dboIndex && !GetOwnerName().empty())
        return KeyOfName(Schema, GetOwnerName() + "." + Name);
    return KeyOfName(Schema, Name);
}

std::string TDbObj::KeyOfName(const std::string& ASchema, const std::string& AName) const {
    switch (GetServerType()) {
    case stMSSQL:
    case stPostgreSQL:
    case stASA:
    case stOracle:
    case stDB2:
        return ASchema.empty() ? AName : ASchema + "." + AName;
    default: {
        std::string prefix = GetNamePrefix();
        // The key keeps the prefix's last character, so DEV_T1 with the prefix DEV_ is _T1.
        if (!prefix.empty() && AName.compare(0, prefix.size(), prefix) == 0) return AName.substr(prefix.size() - 1);
        return AName;
    }
    }
}

std::string TDbObj::GetDisplayName() {
    std::string name = GetNameWithoutPrefix();
    if (name.empty()) return !SystemName().empty() ? SystemName() : GetCreateSQL();
    switch (GetServerType()) {
    case stASA:
        return DbOwner().empty() ? name : DbOwner() + "." + name;
    case stMSSQL:
    case stPostgreSQL:
    case stDB2:
        return IsColumn() ? GetName() : GetQualifiedName();
    default:
        return name;
    }
}

std::string TDbObj::QuoteName(const std::string& AName) const {
    if (!Container) return AName;
    TServerType type = GetServerType();
    if (type == stGeneric) return QuoteNameForOption(AName, Container->QuoteOption);
    const TIBServerOptions* ib = GetIBServerOptions();
    return QuoteNameForServer(AName, type, ib->SQLServerVersion, ib->SQLDialect);
}

std::string TDbObj::GetQualifiedName() {
    TServerType type = GetServerType();
    if (type == stASA && (Kind == dboTable || Kind == dboProcedure || Kind == dboView))
        return (DbOwner().empty() ? std::string("DBA") : QuoteName(DbOwner())) + "." + QuoteName(Name);
    if ((type == stOracle || type == stMSSQL || type == stPostgreSQL || type == stDB2) && !IsColumn() && !Schema.empty())
        return QuoteName(Schema) + "." + QuoteName(Name);
    return QuoteName(Name);
}

std::string TDbObj::GetCompareSQL() {
    std::string sql = GetCreateSQL();
    if (Kind != dboView || GetServerType() != stPostgreSQL) return sql;
    std::string flat;
    flat.reserve(sql.size());
    for (size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] == '\r' && i + 1 < sql.size() && sql[i + 1] == '\n') {
            flat += ' ';
            ++i;
        } else if (sql[i] == '\r' || sql[i] == '\n') {
            flat += ' ';
        } else {
            flat += sql[i];
        }
    }
    std::string out;
    for (char c : flat)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
    return out;
}

std::string TDbObj::GetCreateStatement() {
    if (TCustomSQLExec* exec = GetSQLExec()) exec->SetSchemaName(Schema);
    return NoScript ? std::string() : GetCreateSQL();
}

std::string TDbObj::GetDropSQL() {
    std::string sql = "/* Drop: " + Name + " (" + ClassName() + ")" + " */" + "\r\n";
    switch (Kind) {
    case dboFunction: return sql + "DROP EXTERNAL FUNCTION " + QuoteName(Name);
    case dboException: return sql + "DROP EXCEPTION " + QuoteName(Name);
    case dboIndex: return sql + "DROP INDEX " + QuoteName(Name);
    case dboDomain: return sql + "DROP DOMAIN " + QuoteName(Name);
    case dboCollation: return sql + "DROP COLLATION " + QuoteName(Name);
    case dboRule: return sql + "DROP RULE " + QuoteName(Name);
    case dboDefault: return sql + "DROP DEFAULT " + QuoteName(Name);
    case dboField: return sql + "ALTER TABLE " + QuoteName(GetOwnerName()) + " DROP " + QuoteName(Name);
    default: return sql;
    }
}

std::string TDbObj::GetAlterSQL() { return "/* Alter <...> */"; }

std::string TDbObj::GetStoredSQL() { return !StoredSQL.empty() ? StoredSQL : GetCreateSQL(); }

std::string CommentSafe(const std::string& Text) {
    std::string safe;
    safe.reserve(Text.size());
    for (char c : Text) {
        // "*/" would end the comment and run the rest of the text as SQL.
        if (c == '/' && !safe.empty() && safe.back() == '*') safe += ' ';
        safe += c;
    }
    return safe;
}

std::string TDbObj::MakeComment(const std::string& Text) const {
    if (GetServerType() == stASA) return "% " + Text;
    return "/* " + CommentSafe(Text) + " */";
}

std::string TDbObj::GetDescriptionSQL() {
    if (NoScript || !GetCompareObjects().Contains(coDescription)) return {};
    return DescriptionStatement(*this, GetDescriptionSubject());
}

TDbObj* TDbObj::FindColumn(const std::string& AName) const {
    for (int i = 0; i < GetColumnCount(); ++i)
        if (TDbObj* c = GetColumn(i); c && c->Name == AName) return c;
    return nullptr;
}

bool TDbObj::HasMissingDependency() const {
    for (int i = 0; i < DependsOn.Count(); ++i) {
        const TDependObj* e = DependsOn.Items(i);
        if (e->Active && e->Ref && e->Ref != this && !e->Ref->GetExists()) return true;
    }
    return false;
}

bool TDbObj::MasterHolds(TObjListKind List) const {
    TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr;
    if (!master) return false;
    if (master == Container) return true;
    // Filed under keys: schema-qualified for some dialects, without the name prefix for others.
    return master->List(List).FindObj(GetKeyName()) != nullptr;
}

bool TDbObj::BodyIsEmpty() const { return Trim(Source()) == Trim(GetEmptyBody()); }

void TDbObj::AddOwnStatement(const std::string& Text, TStatementKind StKind, const std::string& ObjName,
                             TDbObject ObjKind, uint8_t Action, const std::string& FieldName) {
    if (TCustomSQLExec* exec = GetSQLExec()) exec->AddStatement(Text, StKind, ObjName, ObjKind, Action, FieldName);
}

void TDbObj::CreateDependDef() {
    // A cycle of objects created with their dependencies (views, tables, columns) comes back
    // here while this object is still being handled: stop, it is written once.
    if (FCreating) return;
    const TWalkMark mark(FCreating);
    CreateDependencies();
    TCustomSQLExec* exec = GetSQLExec();
    if (GetServerType() == stPostgreSQL && exec) exec->SetSchemaName(Schema);
    if (!GetExists()) {
        if (Kind == dboProcedure) {
            AddOwnStatement(GetCreateStatement(), skProcedure, Name, dboProcedure, saCreate);
        } else if (Kind == dboTrigger) {
            AddOwnStatement(GetCreateStatement(), skTrigger, Name, dboTrigger, saCreate);
            SetCreatedBody(Source());
            for (int i = 0; i < UsedBy.Count(); ++i) UsedBy.Items(i)->Active = false;
        } else {
            AddOwnStatement(GetCreateStatement(), skStatement, GetQualifiedName(), Kind, saCreate,
                            IsColumn() ? GetOwnerName() : std::string());
        }
        if (exec && GetCompareObjects().Contains(coDescription)) {
            if (IsColumn() && !Description().empty()) {
                exec->AddDescription(this);
            } else if (Kind == dboProcedure) {
                if (!Description().empty()) exec->AddDescription(this);
                for (int i = 0; i < GetInputParamCount(); ++i) exec->AddDescription(GetInputParam(i));
                for (int i = 0; i < GetOutputParamCount(); ++i)
                    if (TDbObj* p = GetOutputParam(i); p && !p->Description().empty()) exec->AddDescription(p);
            }
        }
        SetExists(true);
    }
    MarkCreated();
}

void TDbObj::CreateDependencies() {
    if (IsColumn()) {
        for (int i = 0; i < DependsOn.Count(); ++i)
            if (TDependObj* e = DependsOn.Items(i); e->Ref && e->Ref->Name == GetOwnerName()) e->Active = false;
    }
    for (int i = 0; i < DependsOn.Count(); ++i) {
        TDependObj* e = DependsOn.Items(i);
        TDbObj* ref = e->Ref;
        if (!ref || !e->Active) continue;
        // a. A table: a computed column needs its table's plain columns only, unless it uses
        // another computed column of that table.
        // This rule runs whether or not the table exists yet: an existing table still creates
        // what it needs itself.
        if (ref->Kind == dboTable) {
            e->Active = false;
            if (IsColumn() && !Source().empty()) {
                bool full = false;
                for (int j = 0; j < DependsOn.Count(); ++j) {
                    TDbObj* r = DependsOn.Items(j)->Ref;
                    if (r && r->Kind == dboField && !r->Source().empty() && r->GetOwner() == ref) full = true;
                }
                const TCreatePhase phase(*ref, !full);
                ref->CreateDependDef();
            } else if (!(Kind == dboTable && Name == ref->Name)) {
                ref->CreateDependDef();
            }
            continue;
        }
        // A computed column (or another object that is no routine) calling a routine whose
        // parameter list changes, or a packaged routine, is written against the new form.
        if ((ref->Kind == dboProcedure || ref->Kind == dboPackage) && Kind != dboProcedure && Kind != dboTrigger)
            ref->PrepareForCaller();
        if (ref->GetExists()) continue;
        // b. A column of a table.
        if (ref->Kind == dboField && ref->GetOwner() && ref->GetOwner()->Kind == dboTable) {
            e->Active = false;
            ref->CreateDependDef();
        } else if (Kind == dboTrigger && ref->Kind == dboView) {
            // c. A trigger's view: the entry stays active.
            ref->CreateDependDef();
        } else if (Kind == dboTable && ref->Kind == dboField && ref->GetOwnerName() == Name) {
            // d. A column of this very table.
            e->Active = false;
        } else if (ref->Kind == dboProcedure) {
            // e. A procedure the target does not have: created whole where the dialect needs
            // it, elsewhere as a stub that breaks cycles among procedures.
            // The target files its procedures under their keys (schema, name prefix), the
            // same keys the two sides are paired by.
            TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr;
            if (target && target->FindProcedure(ref->GetKeyName())) continue;
            TServerType type = GetServerType();
            if (type == stPostgreSQL || type == stASE || (type == stMSSQL && ref->GetReturnsTable())) {
                ref->CreateDependDef();
            } else {
                AddOwnStatement(ref->GetStubCreateSQL(), skProcedure, ref->Name, dboProcedure, saCreateEmpty);
                ref->SetBodyEmptied(true);
                ref->SetExists(true);
            }
            e->Active = false;
        } else if (ref->Kind == dboView) {
            // f. A view.
            if (!(Kind == dboView && Name == ref->Name)) ref->CreateDependDef();
            e->Active = false;
        }
    }
}

void TDbObj::DoDrop() {
    if (!GetExists() || FDropping) return;
    // Tables and generators both sides have are altered, never dropped and re-created, so
    // their rows and values survive.
    if ((Kind == dboTable && MasterHolds(olTables)) || (Kind == dboGenerator && MasterHolds(olGenerators))) return;
    const TWalkMark mark(FDropping);
    DropDependents();
    if (GetExists()) {
        if (Kind == dboTable || Kind == dboView)
            for (int i = 0; i < GetColumnCount(); ++i)
                if (TDbObj* c = GetColumn(i)) c->SetExists(false);
        std::string objName = (Kind == dboConstraint || Kind == dboPKey || Kind == dboFKey || Kind == dboUnique ||
                               Kind == dboCheck) && Name.empty()
                                  ? SystemName()
                                  : Name;
        AddOwnStatement(GetDropSQL(), skStatement, objName, Kind, saDrop, IsColumn() ? GetOwnerName() : std::string());
        SetExists(false);
    }
    MarkDropped();
}

void TDbObj::DropDependents() {
    TServerType type = GetServerType();
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!ref) continue;
        if (IsColumn() && ref->Name == GetOwnerName()) e->Active = false;
        if (ref->Kind == dboView && ref->GetExists()) e->Active = true;
        if (!ref->GetExists()) e->Active = false;
        if (!e->Active) continue;
        e->Active = false;
        if (ref->Kind == dboProcedure) {
            if (type != stASE && !ref->BodyIsEmpty()) ref->EmptyBody(true);
        } else if (Kind == dboView && ref->Kind == dboField && !ref->Source().empty()) {
            ref->DoDrop();
        } else if (ref->Kind == dboView) {
            // A view already being dropped further up a cycle writes its own DROP there.
            if (!ref->FDropping) {
                ref->DoDrop();
                ref->SetExists(false);
            }
        } else if (ref->Kind == dboTrigger) {
            if (type == stPostgreSQL || type == stASE) {
                ref->DoDrop();
            } else if (!ref->BodyIsEmpty()) {
                ref->SetSource(ref->GetEmptyBody());
                AddOwnStatement(ref->GetAlterSQL(), skTrigger, ref->Name, dboTrigger, saEmptyBody);
            }
        } else if (ref->Kind == dboGrant) {
            ref->SetExists(false);
        } else {
            e->Active = true;  // no rule took the entry
        }
    }
    if (Kind == dboProcedure) {
        if (!BodyIsEmpty()) {
            SetSource(GetEmptyBody());
            for (int i = 0; i < DependsOn.Count(); ++i) DependsOn.Items(i)->Active = false;
        }
        for (int i = 0; i < UsedBy.Count(); ++i) {
            TDependObj* e = UsedBy.Items(i);
            if (e->Active && e->Ref && e->Ref->GetExists() && e->Ref->Kind != dboField) {
                e->Ref->DoDrop();
                e->Active = false;
            }
        }
    }
}

// ---- RegisterDependency ----

void RegisterDependency(TCustomObjs* Container, TDbObj* Obj, TDbObj* Other, const std::string& FieldName,
                        int RefColumn, int RefLine) {
    if (!Obj || !Other) return;
    std::string field = FieldName;
    if (!field.empty()) {
        if (Other->Kind == dboTable || Other->Kind == dboView) {
            // A reference to one column is recorded on the column itself.
            Other = Other->FindColumn(field);
            if (!Other) return;
            field.clear();
        } else if (Obj->Kind == dboTable && (Other->Kind == dboDomain || Other->GetObjList() == olConstraints)) {
            RegisterDependency(Container, Obj, Other, {}, RefColumn, RefLine);
            Obj = Obj->FindColumn(field);
            if (!Obj) return;
            field.clear();
        } else if (Other->Kind == dboProcedure) {
            field.clear();
        }
    }
    if (Obj->DependsOn.FindRef(Other)) return;
    if (!field.empty()) return;
    Obj->DependsOn.Add(Other, RefColumn, RefLine);
    Other->UsedBy.Add(Obj, RefColumn, RefLine);
}

} // namespace qnl
