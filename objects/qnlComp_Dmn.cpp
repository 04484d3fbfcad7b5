// Implements domains, user types and conversions with their passes; see qnlComp_Dmn.h. The
// InterBase/Firebird alteration of a domain is in qnlComp_DmnAlter.cpp.
#include "objects/qnlComp_Dmn.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Viw.h"
#include "objects/qnlPassSection.h"

#include <vector>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

TDmnData* AsDomain(TDbObj* Obj) { return Obj && Obj->Kind == dboDomain ? dynamic_cast<TDmnData*>(Obj) : nullptr; }

} // namespace

// ---- TPGTypeOptions ----

std::string TPGTypeOptions::GetText() const {
    if (Attributes.Count() > 0) {
        std::string s = " AS (" + std::string(CRLF);
        for (int i = 0; i < Attributes.Count(); ++i)
            s += (i ? "," + std::string(CRLF) : std::string()) + Attributes.Column(i)->GetCreateSQL();
        return s + ")";
    }
    std::string s;
    auto option = [&s](const std::string& Text) { s += Text + "," + CRLF; };
    auto text = [&option](const char* Keyword, const std::string& Value) {
        if (!Value.empty()) option(Keyword + Value);
    };
    text("INPUT = ", Input);
    text("OUTPUT = ", Output);
    text("RECEIVE = ", Receive);
    text("SEND = ", Send);
    text("ANALYZE = ", Analyze);
    if (InternalLength >= 0) option("INTERNALLENGTH = " + std::to_string(InternalLength));
    if (ExternalLength >= 0) option("EXTERNALLENGTH = " + std::to_string(ExternalLength));
    if (PassedByValue) option("PASSEDBYVALUE");
    if (Alignment != 0) option("ALIGNMENT = " + LowerCase(DataTypeName(Alignment)));
    text("STORAGE = ", Storage);
    text("DEFAULT = ", Default);
    if (Element) option("ELEMENT = " + Element->GetCreateSQL());
    if (!Delimiter.empty()) option("DELIMITER = " + QuoteSQLString(Delimiter, stPostgreSQL));
    if (s.size() >= 3) s.resize(s.size() - 3);
    return "(" + std::string(CRLF) + s + ")";
}

// ---- TDmnData ----

TDmnData::TDmnData(TCustomObjs* AContainer) : TDbObj(AContainer) {
    Kind = dboDomain;
    TypeField = std::make_unique<TFldData>(AContainer, this);
}

TDmnData::~TDmnData() {
    Methods.clear();
    Attributes.ClearColumns();
    AddedAttributes.ClearColumns();
    PGOptions.Attributes.ClearColumns();
    TypeField.reset();
}

TDescriptionSubject TDmnData::GetDescriptionSubject() {
    TDescriptionSubject s{dcDomain};
    s.XmlSchemaCollection = IsXmlSchemaCollection();
    return s;
}

std::string TDmnData::AttributeList(const TColumnNameList& List, bool WithMethods) {
    if (List.Count() == 0) return {};
    const bool methodsClose = WithMethods && !Methods.empty();
    std::string s = "  (";
    for (int i = 0; i < List.Count(); ++i) {
        if (i > 0) s += "   ";
        s += List.Column(i)->GetCreateSQL();
        if (i + 1 < List.Count() || methodsClose) s += "," + std::string(CRLF);
    }
    return methodsClose ? s : s + ")";
}

std::string TDmnData::OracleTypeText() {
    std::string methods;
    for (size_t i = 0; i < Methods.size(); ++i)
        methods += (i ? "," + std::string(CRLF) : std::string()) + Methods[i]->GetCreateSQL();
    if (!Methods.empty()) methods += ")";

    std::string s = "CREATE OR REPLACE TYPE " + Name;
    if (!TimeStamp.empty() || !Oid.empty()) {
        s += CRLF;
        if (!TimeStamp.empty()) s += "   TIMESTAMP " + QuotedStr(TimeStamp);
        if (!Oid.empty()) s += " OID " + QuotedStr(Oid);
        s += CRLF;
    }
    const std::string type = TypeField->GetCreateSQL();
    if (!SuperType.empty()) {
        // A subtype lists its own attributes and methods after UNDER.
        s += " UNDER " + SuperType + CRLF + AttributeList(Attributes, true) + methods;
    } else {
        s += TypeKind == 5 ? " IS " : " AS ";
        switch (TypeKind) {
        case 2: s += "OBJECT" + std::string(CRLF) + AttributeList(Attributes, true) + methods; break;
        case 3: s += "VARRAY(" + std::to_string(VarrayLimit) + ") OF " + type; break;
        case 4:
        case 5: s += "TABLE OF " + type; break;
        default: break;
        }
    }
    if (const std::string directive = Directive.GetText(); !directive.empty()) s += CRLF + std::string("   ") + directive;
    if (AddedAttributes.Count() > 0) {
        s += ";" + std::string(CRLF) + CRLF + "ALTER TYPE " + Name + " ADD ATTRIBUTE" + CRLF +
             AttributeList(AddedAttributes, false);
        if (Cascade) s += CRLF + std::string("   CASCADE");
    }
    return s;
}

std::string TDmnData::GetCreateSQL() {
    switch (GetServerType()) {
    case stMSSQL:
    case stASE:
        if (IsAliasType)
            return "CREATE TYPE " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(Name) +
                   " FROM " + TypeField->GetColumnSQL();
        if (!IsXmlSchemaCollection())
            return "EXEC sp_addtype N" + QuotedStr(Name) + ", N" + QuotedStr(BaseType) + ", N" +
                   QuotedStr(TypeField->Nullable ? "NULL" : "NOT NULL");
        return "CREATE " + BaseType + " " + GetQualifiedName() + " AS N" + QuoteSQLString(Source(), stMSSQL);
    case stOracle: return OracleTypeText();
    case stPostgreSQL:
        if (PGOptions.IsType) return "CREATE TYPE " + GetQualifiedName() + PGOptions.GetText();
        return "CREATE DOMAIN " + GetQualifiedName() + " " + TypeField->GetCreateSQL();
    case stInterBase: return "CREATE DOMAIN " + QuoteName(Name) + " AS " + TypeField->GetCreateSQL();
    default: return "CREATE DOMAIN " + QuoteName(Name) + " " + TypeField->GetCreateSQL();
    }
}

std::string TDmnData::GetCreateStatement() {
    const TFullDefinition full;
    return TDbObj::GetCreateStatement();
}

std::string TDmnData::GetDropSQL() {
    switch (GetServerType()) {
    case stOracle: return "DROP TYPE " + Name;
    case stASE: return "exec sp_droptype " + QuotedStr(Name);
    case stPostgreSQL: return (PGOptions.IsType ? "DROP TYPE " : "DROP DOMAIN ") + GetQualifiedName();
    case stMSSQL: {
        const TMSSQLServerOptions* o = GetMSSQLServerOptions();
        if (o && o->SQLServerVersion == st_MSSQL2000) return "exec sp_droptype " + QuotedStr(Name);
        if (!IsXmlSchemaCollection()) return "DROP TYPE " + GetQualifiedName();
        return "DROP " + BaseType + " " + GetQualifiedName();
    }
    default: return TDbObj::GetDropSQL();
    }
}

void TDmnData::CreateDependencies() {
    TDbObj::CreateDependencies();
    for (int i = 0; i < DependsOn.Count(); ++i) {
        TDependObj* e = DependsOn.Items(i);
        if (!e->Active || !AsDomain(e->Ref)) continue;
        e->Ref->CreateDependDef();
        e->Active = false;
    }
}

void TDmnData::DoDrop() {
    const TWalkMark mark(FDropping);
    TDbObj::DoDrop();
}

void TDmnData::ReleaseProcedure(TDbObj& Procedure) {
    auto* t = dynamic_cast<TPrcData*>(&Procedure);
    if (!t || !t->GetExists()) return;
    bool typed = false;
    for (int i = 0; i < t->InputCount(); ++i) typed = typed || t->InputParam(i)->DomainName == Name;
    for (int i = 0; i < t->OutputCount(); ++i) typed = typed || t->OutputParam(i)->DomainName == Name;
    if (!typed) return;
    TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr;
    auto* m = master ? dynamic_cast<TPrcData*>(master->FindProcedure(t->GetKeyName())) : nullptr;
    TCustomSQLExec* exec = GetSQLExec();
    if (!m || !exec) {
        t->DoDrop();
        return;
    }
    // What calls the routine does not run while its parameter list changes.
    for (int i = 0; i < t->UsedBy.Count(); ++i) {
        TDbObj* caller = t->UsedBy.Items(i)->Ref;
        if (caller && caller->Kind == dboProcedure && caller->GetExists()) caller->EmptyBody(true);
    }
    exec->AddComment(MakeComment("Alter empty procedure " + m->Name + " with new param-list for drop domain " + Name));
    exec->AddStatement(GetProcStubAlterSQL(*m), skProcedure, m->Name, dboProcedure, saEmptyBody);
    t->EmptyBody(false);
    m->SetBodyEmptied(true);
    const std::string source = m->Source();
    m->SetSource(m->GetEmptyBody());
    t->CurrentSQL = m->GetCreateSQL();
    m->SetSource(source);
}

void TDmnData::DropDependents() {
    if (FDropping)
        for (int i = 0; i < UsedBy.Count(); ++i)
            if (TDbObj* ref = UsedBy.Items(i)->Ref; ref && ref->Kind == dboProcedure) ReleaseProcedure(*ref);
    TDbObj::DropDependents();
    // A column that uses the domain is its own entry (dependencies on a column are filed on it).
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!e->Active || !ref) continue;
        if (AsDomain(ref) || ref->Kind == dboView) {
            ref->DoDrop();
            e->Active = false;
        } else if (ref->Kind == dboField) {
            ref->DropDependents();
        }
    }
}

// ---- TCnvData ----

std::string TCnvData::GetCreateSQL() {
    return "CREATE " + std::string(IsDefault ? "DEFAULT " : "") + "CONVERSION " + QuoteName(Schema) + "." +
           QuoteName(Name) + " FOR " + QuotedStr(SourceEncoding) + " TO " + QuotedStr(DestEncoding) + " FROM " +
           QuoteName(Schema) + "." + QuoteName(FunctionName);
}

std::string TCnvData::GetDropSQL() { return "DROP CONVERSION " + QuoteName(Schema) + "." + QuoteName(Name); }

// ---- passes ----

namespace {

// The section title of the domain passes, by the target's dialect.
std::string DomainSection(const TCustomObjs& Target, bool Create) {
    switch (Target.ServerType()) {
    case stMSSQL: return Create ? "/* Create User datatypes... */" : "/* Drop user datatypes... */";
    case stOracle: return Create ? "/* Create types... */" : "/* Drop types... */";
    default: return Create ? "/* Create Domains... */" : "/* Drop domains... */";
    }
}

// "T.C" for the first column of an existing target table that keeps its type, domain Domain,
// because the script refused to change it; empty when there is none.
std::string KeptColumnOfDomain(TCustomObjs& Target, const std::string& Domain) {
    const TDbObjList& tables = Target.List(olTables);
    for (int i = 0; i < tables.Count(); ++i) {
        TDbObj* table = tables.Obj(i);
        if (!table->GetExists()) continue;
        for (int c = 0; c < table->GetColumnCount(); ++c) {
            auto* column = dynamic_cast<TFldData*>(table->GetColumn(c));
            if (column && column->KeepsType && column->DataType == dtDomain && column->DomainName == Domain &&
                column->GetExists())
                return table->QuoteName(table->Name) + "." + column->QuoteName(column->Name);
        }
    }
    return {};
}

// "P.A" for the first parameter typed by domain Domain of an existing target routine that the
// comparison leaves alone (routines not compared, or the routine ignored); empty when there is
// none. Neither a new parameter list nor a drop may touch such a routine.
std::string KeptParameterOfDomain(const TCustomQuarnel& Q, TCustomObjs& Target, const std::string& Domain) {
    const TDbObjList& routines = Target.List(olProcedures);
    for (int i = 0; i < routines.Count(); ++i) {
        auto* r = dynamic_cast<TPrcData*>(routines.Obj(i));
        if (!r || !r->GetExists() || (Q.CompareObjects.Contains(coProcedure) && !r->NoScript)) continue;
        for (int p = 0; p < r->InputCount() + r->OutputCount(); ++p) {
            TFldData* f = p < r->InputCount() ? r->InputParam(p) : r->OutputParam(p - r->InputCount());
            if (f && f->DomainName == Domain) return r->QuoteName(r->Name) + "." + f->QuoteName(f->Name);
        }
    }
    return {};
}

} // namespace

void WriteCreateDomains(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TDbObjList& list = master->List(olDomains);
    bool opened = false;
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* d = list.Obj(i);
        if (d->Counterpart || d->NoScript || d->GetExists()) continue;
        if (!opened) exec->AddComment(DomainSection(*target, true));
        opened = true;
        d->CreateDependDef();
        if (Q.CompareObjects.Contains(coDescription) && !d->Description().empty()) exec->AddDescription(d);
    }
}

void WriteAlterDomains(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TDbObjList& list = master->List(olDomains);
    for (int i = 0; i < list.Count(); ++i) {
        TDmnData* m = AsDomain(list.Obj(i));
        TDmnData* t = m ? AsDomain(m->Counterpart) : nullptr;
        if (!t || m->NoScript) continue;
        if (target->ServerType() == stInterBase)
            AlterDomain(Q, m, t);
        else if (target->ServerType() == stPostgreSQL)
            AlterDomainCheck(Q, m, t);
        if (Q.CompareObjects.Contains(coDescription) && m->Description() != t->Description()) exec->AddDescription(m);
    }
}

void WriteDropDomains(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    std::vector<TDbObj*> drops;
    const TDbObjList& list = target->List(olDomains);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* d = list.Obj(i);
        if (d->NoScript || d->Counterpart || !d->GetExists()) continue;
        // A column whose change to the master's type was refused still uses the domain: the
        // server would refuse the drop on every run.
        if (const std::string user = KeptColumnOfDomain(*target, d->Name); !user.empty()) {
            exec->AddComment(d->MakeComment("WARNING: domain " + Q.QuoteName(d->Name) + " is not dropped: " + user +
                                            " keeps its type and still uses it"));
            continue;
        }
        if (const std::string user = KeptParameterOfDomain(Q, *target, d->Name); !user.empty()) {
            exec->AddComment(d->MakeComment("WARNING: domain " + Q.QuoteName(d->Name) + " is not dropped: parameter " +
                                            user + " of a routine the comparison leaves alone still uses it"));
            continue;
        }
        drops.push_back(d);
    }
    // The master's views that read a dropped domain come back right after it.
    for (TDbObj* d : drops)
        for (int i = 0; i < d->UsedBy.Count(); ++i)
            if (auto* v = dynamic_cast<TViwData*>(d->UsedBy.Items(i)->Ref); v && master->FindView(v->GetKeyName()))
                v->SetRecreate(true);
    TPassSection section(*exec, DomainSection(*target, false));
    for (TDbObj* d : drops) {
        section.Open();
        d->DoDrop();
    }
    // Views flagged by a column change alone are left to the view alter pass.
    if (drops.empty()) return;
    const TDbObjList& views = target->List(olViews);
    for (int i = 0; i < views.Count(); ++i) {
        auto* v = dynamic_cast<TViwData*>(views.Obj(i));
        if (!v || !v->GetRecreate()) continue;
        v->DoDrop();
        if (auto* m = dynamic_cast<TViwData*>(v->Counterpart)) {
            m->CreateDependDef();
            v->CurrentSQL = m->CurrentSQL;
            m->SetRecreate(false);
        }
        v->SetRecreate(false);
    }
}

void AlterDomainCheck(TCustomQuarnel& Q, TDmnData* Master, TDmnData* Target) {
    TCustomSQLExec* exec = Q.SQLExec();
    if (!Master || !Target || !exec) return;
    const std::string& m = Master->TypeField->Rare().CheckSource;
    if (m == Target->TypeField->Rare().CheckSource) return;
    const std::string head = "ALTER DOMAIN " + Master->GetQualifiedName();
    exec->AddStatement(m.empty() ? head + " DROP CONSTRAINT" : head + " ADD CHECK" + m, skStatement, Master->Name,
                       dboDomain, saAlter);
}

void WriteCreateConversions(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olConversions);
    for (int i = 0; i < list.Count(); ++i)
        if (TDbObj* c = list.Obj(i); !c->Counterpart && !c->GetExists()) c->CreateDependDef();
}

void WriteAlterConversions(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master) return;
    const TDbObjList& list = master->List(olConversions);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* c = list.Obj(i);
        if (!c->Counterpart || c->GetCreateSQL() == c->Counterpart->GetCreateSQL()) continue;
        c->Counterpart->DoDrop();
        c->CreateDependDef();
    }
}

void WriteDropConversions(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    if (!target) return;
    const TDbObjList& list = target->List(olConversions);
    for (int i = 0; i < list.Count(); ++i)
        if (TDbObj* c = list.Obj(i); !c->Counterpart && c->GetExists()) c->DoDrop();
}

} // namespace qnl
