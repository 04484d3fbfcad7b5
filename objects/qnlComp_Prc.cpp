#include "objects/qnlComp_Prc.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlMsgManager.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Viw.h"
#include "objects/qnlPassSection.h"

namespace qnl {

namespace {
const char* const CRLF = "\r\n";

// Drops the separator "," CR LF after the last item of a list.
void RemoveTrailingSeparator(std::string& S) {
    if (S.size() >= 3) S.resize(S.size() - 3);
}

const char* DirectionWord(uint8_t Direction, bool WithVariadic) {
    switch (Direction) {
    case pdIn: return "IN ";
    case pdOut: return "OUT ";
    case pdInOut: return "INOUT ";
    case pdVariadic: return WithVariadic ? "VARIADIC " : "";
    default: return "";
    }
}

TPrcData* AsProcedure(TDbObj* Obj) { return Obj && Obj->Kind == dboProcedure ? dynamic_cast<TPrcData*>(Obj) : nullptr; }

} // namespace

// ---- TPrcData ----

TPrcData::TPrcData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboProcedure; }

TPrcData::~TPrcData() {
    FInputs.clear();
    FOutputs.clear();
}

TFldData* TPrcData::AddInputParam(std::unique_ptr<TFldData> Param) {
    if (!Param) return nullptr;
    Param->Owner = this;
    FInputs.push_back(std::move(Param));
    return FInputs.back().get();
}

TFldData* TPrcData::AddOutputParam(std::unique_ptr<TFldData> Param) {
    if (!Param) return nullptr;
    Param->Owner = this;
    FOutputs.push_back(std::move(Param));
    return FOutputs.back().get();
}

TFldData* TPrcData::AddInputParam(const std::string& AName, uint8_t DataType) {
    auto p = std::make_unique<TFldData>(Container, this);
    p->Name = AName;
    p->DataType = DataType;
    p->ParamDirection = pdIn;
    return AddInputParam(std::move(p));
}

TFldData* TPrcData::AddOutputParam(const std::string& AName, uint8_t DataType) {
    auto p = std::make_unique<TFldData>(Container, this);
    p->Name = AName;
    p->DataType = DataType;
    p->ParamDirection = pdOut;
    return AddOutputParam(std::move(p));
}

void TPrcData::ClearParams() {
    FInputs.clear();
    FOutputs.clear();
}

TFldData* TPrcData::InputParam(int Index) const {
    if (Index < 0 || Index >= InputCount()) return nullptr;
    return FInputs[static_cast<size_t>(Index)].get();
}

TFldData* TPrcData::OutputParam(int Index) const {
    if (Index < 0 || Index >= OutputCount()) return nullptr;
    return FOutputs[static_cast<size_t>(Index)].get();
}

TFldData* TPrcData::FindInputParam(const std::string& AName) const {
    for (const auto& p : FInputs)
        if (p->Name == AName) return p.get();
    return nullptr;
}

TFldData* TPrcData::FindOutputParam(const std::string& AName) const {
    for (const auto& p : FOutputs)
        if (p->Name == AName) return p.get();
    return nullptr;
}

bool TPrcData::ReturnsTable() const { return InlineTable || (!FOutputs.empty() && FOutputs[0]->DataType == dtTable); }

void TPrcData::SetBodyEmptied(bool Value) {
    BodyEmptied = Value;
    if (auto* other = dynamic_cast<TPrcData*>(Counterpart)) other->BodyEmptied = Value;
}

std::string TPrcData::GetKeyName() const {
    switch (GetServerType()) {
    case stPostgreSQL: {
        // Overloads differ by their input types.
        std::string key = Schema.empty() ? Name : Schema + "." + Name;
        std::string types;
        for (const auto& p : FInputs) types += (types.empty() ? "" : ", ") + LowerCase(p->GetTypeSQL());
        return key + "(" + types + ")";
    }
    case stMSSQL: {
        std::string key = TDbObj::GetKeyName();
        return ProcNumber != 0 ? key + ";" + std::to_string(ProcNumber) : key;
    }
    default:
        return TDbObj::GetKeyName();
    }
}

std::string TPrcData::GetParamsSQL(bool WithReturns) {
    std::string s;
    switch (GetServerType()) {
    case stASA: {
        s = "(";
        for (const auto& p : FInputs) {
            switch (p->ParamDirection) {
            case pdIn: s += "In "; break;
            case pdOut: s += "Out "; break;
            case pdInOut: s += "InOut "; break;
            default: break;
            }
            s += QuoteName(p->Name) + " " + p->GetTypeSQL() + "," + CRLF;
        }
        if (!FInputs.empty()) RemoveTrailingSeparator(s);
        s += std::string(")") + CRLF;
        if (!FOutputs.empty()) {
            if (IsFunction) {
                s += "RETURNS " + FOutputs[0]->GetTypeSQL();
            } else {
                s += " Result(";
                for (const auto& p : FOutputs) s += QuoteName(p->Name) + " " + p->GetTypeSQL() + "," + CRLF;
                RemoveTrailingSeparator(s);
                s += std::string(")") + CRLF;
            }
        }
        return s;
    }
    case stPostgreSQL:
    case stMySQL: {
        const bool pg = GetServerType() == stPostgreSQL;
        for (const auto& p : FInputs) {
            s += DirectionWord(p->ParamDirection, pg);
            if (!p->Name.empty()) s += QuoteName(p->Name) + " ";
            s += p->GetTypeSQL() + "," + CRLF;
        }
        if (!FInputs.empty()) RemoveTrailingSeparator(s);
        s = "(" + s + ")";
        if (!WithReturns) return s;
        if (pg) {
            std::string type = !ReturnType.empty() ? ReturnType : FOutputs.empty() ? std::string() : FOutputs[0]->GetTypeSQL();
            // Without a type there is nothing to return: no clause rather than a bare keyword.
            if (!type.empty()) s += CRLF + std::string("RETURNS ") + (ReturnsSet ? "SETOF " : "") + type;
        } else if (!FOutputs.empty()) {
            s += CRLF + std::string("RETURNS ") + FOutputs[0]->GetTypeSQL();
        }
        return s;
    }
    case stMSSQL:
    case stASE: {
        const bool brackets = IsFunction || !Language.empty();
        s = " ";
        if (brackets) s += "(";
        std::string list;
        for (const auto& p : FInputs) list += p->GetCreateSQL() + "," + CRLF;
        if (!FInputs.empty()) RemoveTrailingSeparator(list);
        s += list;
        if (brackets) s += ")";
        s += CRLF;
        if (InlineTable)
            s += std::string(" RETURNS TABLE") + CRLF;
        else if (FOutputs.size() == 1)
            s += " RETURNS " + FOutputs[0]->GetCreateSQL() + CRLF;
        return s;
    }
    default: {
        // InterBase/Firebird, Oracle, DB2 and the rest.
        if (!FInputs.empty()) {
            std::string list;
            for (const auto& p : FInputs) list += p->GetCreateSQL() + "," + CRLF;
            RemoveTrailingSeparator(list);
            s += "(" + list + ")" + CRLF;
        }
        if (!FOutputs.empty()) {
            s += IsFunction ? " RETURNS " : " RETURNS(";
            std::string list;
            for (const auto& p : FOutputs) list += p->GetCreateSQL() + (p->Deterministic ? " DETERMINISTIC" : "") + "," + CRLF;
            RemoveTrailingSeparator(list);
            s += list;
            if (!IsFunction) s += ")";
            s += CRLF;
        }
        return s;
    }
    }
}

std::string ExternalEngineClause(const std::string& ExternalName, const std::string& EngineName) {
    return "EXTERNAL NAME " + QuotedStr(ExternalName) + " ENGINE " + EngineName;
}

std::string TPrcData::GetHead(const std::string& Body) {
    const std::string word = RoutineWord();
    switch (GetServerType()) {
    case stInterBase:
        // An external-engine routine has no body of its own: also its stub is what it is.
        if (!EngineName.empty())
            return word + QuoteName(Name) + GetParamsSQL() + CRLF + ExternalEngineClause(ExternalName, EngineName);
        return word + QuoteName(Name) + GetParamsSQL() + " AS" + CRLF + Body;
    case stASA:
        return word + GetQualifiedName() + GetParamsSQL() + Body;
    case stMySQL: {
        std::string s = word + GetQualifiedName() + GetParamsSQL() + CRLF;
        if (!Description().empty()) s += "     COMMENT " + QuotedStr(Description()) + CRLF;
        static const char* const Characteristics[] = {
            "LANGUAGE SQL", "DETERMINISTIC", "NOT DETERMINISTIC", nullptr, "NO SQL", "READS SQL DATA",
            "MODIFIES SQL DATA", "SQL SECURITY DEFINER", "SQL SECURITY INVOKER"};
        for (int bit = 0; bit < 9; ++bit)
            if ((MySQLCharacteristics & (1u << bit)) && Characteristics[bit])
                s += std::string("     ") + Characteristics[bit] + CRLF;
        return s + Body;
    }
    case stOracle:
        // The body carries the parameter list and everything after the name.
        return word + Name + CRLF + Body;
    case stMSSQL:
    case stASE: {
        std::string s = word + GetQualifiedName();
        if (ProcNumber != 0) s += ";" + std::to_string(ProcNumber);
        s += GetParamsSQL();
        if (!Language.empty()) {
            if (ModifiesSqlData) s += std::string("  modifies sql data") + CRLF;
            if (ReturnsNullOnNull) s += std::string("  returns null on null input") + CRLF;
            if (DynamicResultSets > 0) s += "  dynamic result sets " + std::to_string(DynamicResultSets) + CRLF;
            if (IsDeterministic) s += std::string("  deterministic") + CRLF;
            if (Exportable) s += std::string("  exportable") + CRLF;
            s += "  language " + Language + CRLF + "  parameter style " + ParameterStyle + CRLF +
                 "  external name " + QuotedStr(ExternalName);
            return s;
        }
        if (!WithOptions.empty()) s += " WITH " + WithOptions + CRLF;
        if (Body != GetEmptyBody())
            s += " " + Body;
        else
            s += " AS " + Trim(Body);
        return s;
    }
    case stPostgreSQL: {
        std::string s = word + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(Name) + GetParamsSQL();
        if (!Body.empty())
            s += CRLF + std::string("AS ") + "$$" + Body + "$$";
        else
            s += CRLF + std::string("AS ") + QuoteSQLString(ObjFile, stPostgreSQL) + ", " +
                 QuoteSQLString(LinkSymbol, stPostgreSQL);
        if (!Language.empty()) s += CRLF + std::string("LANGUAGE ") + QuotedStr(Language);
        if (!TrailingClause.empty()) s += " " + TrailingClause;
        if (ReturnsNullOnNull) s += " STRICT";
        return s;
    }
    default:
        return word + QuoteName(Name) + GetParamsSQL() + " AS" + CRLF + Body;
    }
}

std::string TPrcData::GetCreateSQL() {
    switch (GetServerType()) {
    case stInterBase:
    case stASA:
    case stMySQL:
    case stPostgreSQL: return "CREATE " + GetHead(Source());
    case stOracle: return "CREATE OR REPLACE " + GetHead(Source());
    case stMSSQL:
    case stASE: return Source().empty() && Language.empty() ? std::string() : "CREATE " + GetHead(Source());
    default: return {};
    }
}

std::string TPrcData::GetAlterSQL() {
    switch (GetServerType()) {
    case stInterBase:
    case stASA:
    case stMySQL: return "ALTER " + GetHead(Source());
    case stOracle: return "CREATE OR REPLACE " + GetHead(Source());
    case stMSSQL:
    case stASE:
        if (UpperCase(Source().substr(0, 6)) == "CREATE") return "ALTER" + Source().substr(6);
        return "ALTER " + GetHead(Source());
    case stPostgreSQL:
        if (TCustomSQLExec* exec = GetSQLExec()) exec->SetSchemaName(Schema);
        return "CREATE OR REPLACE " + GetHead(Source());
    default: return {};
    }
}

std::string TPrcData::GetDropSQL() {
    if (NoScript) return {};
    std::string s = IsFunction ? "DROP FUNCTION " : "DROP PROCEDURE ";
    const TServerType type = GetServerType();
    if (type == stMySQL) s += " IF EXISTS ";
    switch (type) {
    case stASA: return s + GetQualifiedName();
    case stPostgreSQL:
        return s + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(Name) + GetParamsSQL(false);
    case stOracle:
    case stMSSQL: return s + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(Name);
    default: return s + QuoteName(Name);
    }
}

std::string TPrcData::GetEmptyBody() const {
    switch (GetServerType()) {
    case stMSSQL:
    case stASE:
        if (InlineTable) return "Return (select 0 as Result)";
        if (FOutputs.size() == 1 && FOutputs[0]->DataType == dtTable) return "begin Return end";
        if (FOutputs.size() == 1 && DataTypeName(FOutputs[0]->DataType) == std::string("UNIQUEIDENTIFIER"))
            return "begin Return Null end";
        return "begin Return 0 end";
    case stASA: return " begin Return end";
    case stMySQL: return " BEGIN END";
    case stOracle:
        // PL/SQL knows neither SUSPEND nor EXIT: a procedure's placeholder does nothing.
        return IsFunction ? " BEGIN RETURN NULL; END;" : " BEGIN NULL; END;";
    default:
        if (IsFunction) return " BEGIN RETURN NULL; END";
        return FOutputs.empty() ? " BEGIN EXIT; END" : " BEGIN SUSPEND; END";
    }
}

std::string TPrcData::GetStubCreateSQL() {
    if (NoScript) return {};
    const TServerType type = GetServerType();
    const std::string empty = GetEmptyBody();
    if (IsFunction) {
        std::string s = "CREATE FUNCTION ";
        if (type == stMSSQL || type == stASE) return s + GetQualifiedName() + GetParamsSQL() + "as" + CRLF + empty;
        if (type == stASA) {
            // A function with a result already ends its parameter text with RETURNS and the type.
            return s + GetQualifiedName() + GetParamsSQL() + (FOutputs.empty() ? "returns integer " : CRLF) + "as" +
                   CRLF + empty;
        }
        return s + QuoteName(Name) + GetParamsSQL() + " AS" + CRLF + empty;
    }
    std::string s = type == stOracle ? "CREATE OR REPLACE PROCEDURE " : "CREATE PROCEDURE ";
    if (type == stASA) return s + GetQualifiedName() + GetParamsSQL() + "as" + CRLF + empty;
    if (type == stMySQL) return s + GetQualifiedName() + GetParamsSQL() + CRLF + empty;
    return s + GetQualifiedName() + GetParamsSQL() + " AS" + CRLF + empty;
}

std::string GetProcStubAlterSQL(TPrcData& P) {
    return std::string(P.IsFunction ? "ALTER FUNCTION " : "ALTER PROCEDURE ") + P.GetQualifiedName() + P.GetParamsSQL() +
           " AS" + CRLF + P.GetEmptyBody();
}

void TPrcData::EmptyBody(bool AddStatement) {
    if (!GetExists() || BodyIsEmpty()) return;
    SetSource(GetEmptyBody());
    // An empty body uses nothing.
    for (int i = 0; i < DependsOn.Count(); ++i) DependsOn.Items(i)->Active = false;
    // The master routine (and so this one) is marked for restoring. It is looked up by key,
    // which is the name except where keys carry schema or parameter types.
    if (TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr)
        if (TDbObj* m = master->FindProcedure(GetKeyName())) m->SetBodyEmptied(true);
    if (AddStatement) {
        AddOwnStatement(GetAlterSQL(), skProcedure, Name, dboProcedure, saEmptyBody);
        CurrentSQL = GetCreateSQL();
    }
}

void TPrcData::PrepareForCaller() {
    auto* t = dynamic_cast<TPrcData*>(Counterpart);
    TCustomSQLExec* exec = GetSQLExec();
    if (!t || !exec || !Container || Container->GetMasterObjs() != Container || !t->GetExists() ||
        GetServerType() != stInterBase || GetParamsSQL() == t->GetParamsSQL())
        return;
    const std::string source = Source();
    SetSource(GetEmptyBody());
    const std::string stub = GetCreateSQL();
    SetSource(source);
    // Once: the partner has the new list already, empty or whole.
    if (t->CurrentSQL == stub || t->CurrentSQL == GetCreateSQL()) return;
    for (int i = 0; i < t->UsedBy.Count(); ++i) {
        TDbObj* caller = t->UsedBy.Items(i)->Ref;
        if (caller && (caller->Kind == dboProcedure || caller->Kind == dboTrigger) && caller->GetExists())
            caller->EmptyBody(true);
    }
    exec->AddComment(MakeComment("Alter empty procedure " + Name + " with new param-list for its callers"));
    exec->AddStatement(GetProcStubAlterSQL(*this), skProcedure, Name, dboProcedure, saEmptyBody);
    t->EmptyBody(false);
    SetBodyEmptied(true);
    t->CurrentSQL = stub;
}

void TPrcData::CreateDependencies() {
    TDbObj::CreateDependencies();
    for (int i = 0; i < DependsOn.Count(); ++i)
        if (TDbObj* view = DependsOn.Items(i)->Ref; view && view->Kind == dboView) CreateViewFor(*this, *view, "procedure");
}

void TPrcData::DropDependents() {
    TDbObj::DropDependents();
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        if (e->Active && e->Ref && e->Ref->Kind == dboField && !e->Ref->Source().empty()) {
            e->Ref->DoDrop();
            e->Active = false;
        }
    }
}

TDescriptionSubject TPrcData::GetDescriptionSubject() {
    TDescriptionSubject s{IsFunction ? dcFunction : dcProcedure};
    // PostgreSQL names a routine by its parameters alone: a RETURNS clause there is a syntax error.
    s.Signature = GetParamsSQL(false);
    return s;
}

// ---- TMemberPrcData ----

std::string TMemberPrcData::GetCreateSQL() {
    std::string s = "   " + (Directive ? Directive->GetText() : std::string()) + "MEMBER " + RoutineWord() + Name + Signature;
    if (IsFunction && OutputCount() > 0) s += " RETURN " + OutputParam(0)->GetCreateSQL();
    return s;
}

// ---- passes ----

namespace {

// The description of a routine or parameter, unless the script already sets the same text on
// it: the alter pass runs twice, and an ALTER of the routine keeps its descriptions.
void DescribeOnce(TCustomSQLExec& Exec, TDbObj* Obj) {
    const TDescriptionSubject subject = Obj->GetDescriptionSubject();
    const std::string owner = IsOwnedDescriptionClass(subject.Class) ? subject.OwnerName : std::string();
    for (int i = 0; i < Exec.StatementCount(); ++i) {
        const TStatement* st = Exec.Statements(i);
        if (st->Kind == skDescription && st->ObjKind == Obj->Kind && st->ObjName == Obj->Name &&
            st->FieldName == owner && st->DescriptionText == Obj->Description())
            return;
    }
    Exec.AddDescription(Obj);
}

} // namespace

void WriteParamDescriptions(TCustomSQLExec& Exec, TPrcData& P) {
    for (int i = 0; i < P.InputCount(); ++i)
        if (!P.InputParam(i)->Description().empty()) DescribeOnce(Exec, P.InputParam(i));
    for (int i = 0; i < P.OutputCount(); ++i)
        if (!P.OutputParam(i)->Description().empty()) DescribeOnce(Exec, P.OutputParam(i));
}

void WriteCreateProcedures(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TServerType type = target->ServerType();
    const bool descriptions = Q.CompareObjects.Contains(coDescription);
    TPassSection section(*exec, "/* Create Procedure... */");
    const TDbObjList& list = master->List(olProcedures);
    for (int i = 0; i < list.Count(); ++i) {
        TPrcData* m = AsProcedure(list.Obj(i));
        if (!m || m->Counterpart || m->GetExists()) continue;
        if (type == stPostgreSQL || type == stASE) {
            // These dialects take no stub: the whole routine is created at once.
            exec->AddStatement(m->GetCreateStatement(), skProcedure, m->GetQualifiedName(), dboProcedure, saCreate);
            m->SetExists(true);
        } else if (type == stMSSQL && m->ReturnsTable()) {
            exec->AddComment("/* Create Procedure (returns table)... */");
            m->CreateDependDef();
        } else {
            section.Open();
            exec->AddStatement(m->GetStubCreateSQL(), skProcedure, m->GetQualifiedName(), dboProcedure, saCreateEmpty);
            m->SetBodyEmptied(true);
            m->SetExists(true);
            if (descriptions) {
                if (!m->Description().empty()) exec->AddDescription(m);
                WriteParamDescriptions(*exec, *m);
            }
        }
    }
    section.Close();
}

namespace {

// One run of the alter pass over the comparer's two procedure lists.
class TAlterProcedures {
public:
    TAlterProcedures(TCustomQuarnel& AQ, TCustomObjs& AMaster, TCustomObjs& ATarget, TCustomSQLExec& AExec)
        : Q(AQ), Master(AMaster), Target(ATarget), Exec(AExec), Type(ATarget.ServerType()),
          Descriptions(AQ.CompareObjects.Contains(coDescription)) {}

    void Run() {
        ReplaceOrEmptyCallers();
        AlterParamLists();
        AlterTexts();
        RestoreBodies();
    }

private:
    TCustomQuarnel& Q;
    TCustomObjs& Master;
    TCustomObjs& Target;
    TCustomSQLExec& Exec;
    const TServerType Type;
    const bool Descriptions;

    static bool ParamsDiffer(TPrcData& A, TPrcData& B) { return A.GetParamsSQL() != B.GetParamsSQL(); }
    static bool Exists(TDbObj* Obj) { return Obj && Obj->GetExists(); }

    void Statement(const std::string& Text, const std::string& ObjName, uint8_t Action) {
        Exec.AddStatement(Text, skProcedure, ObjName, dboProcedure, Action);
    }

    // Phase 1: routines that cannot be altered into the master's form are re-created; before a
    // parameter list changes, the routines and triggers calling the old one are emptied.
    void ReplaceOrEmptyCallers() {
        const TDbObjList& list = Master.List(olProcedures);
        for (int i = 0; i < list.Count(); ++i) {
            TPrcData* m = AsProcedure(list.Obj(i));
            TPrcData* t = m ? AsProcedure(m->Counterpart) : nullptr;
            if (!t) continue;
            // A pair re-created by the first run of the pass has the master's text by now.
            const bool replaced = m->GetCreateSQL() == t->CurrentSQL;
            if (Type == stMySQL || Type == stASE) {
                if (m->GetCreateSQL() != t->GetCreateSQL() && !replaced) Recreate(*m, *t);
                continue;
            }
            if (m->IsFunction != t->IsFunction) {
                if (!replaced) Recreate(*m, *t);
            } else if (ParamsDiffer(*m, *t) && m->CurrentSQL != t->CurrentSQL) {
                for (int j = 0; j < t->UsedBy.Count(); ++j) {
                    TDependObj* e = t->UsedBy.Items(j);
                    TDbObj* ref = e->Ref;
                    if (!ref) continue;
                    if (e->Active && ref->Kind == dboProcedure && !ref->BodyIsEmpty()) {
                        Exec.AddComment(ref->MakeComment(" Empty " + ref->Name + " for " + t->Name + "(param list change) "));
                        ref->EmptyBody(true);
                        ref->CurrentSQL = ref->GetCreateSQL();
                        e->Active = false;
                    }
                    if (e->Active && ref->Kind == dboTrigger) {
                        ref->EmptyBody(true);
                        ref->CurrentSQL = ref->GetCreateSQL();
                        e->Active = false;
                    }
                }
            }
        }
    }

    // Drops the target routine and creates the master's whole; the target then has the
    // master's text, so the later phases do not write it a second time.
    void Recreate(TPrcData& M, TPrcData& T) {
        T.DoDrop();
        M.CreateDependDef();
        T.CurrentSQL = M.GetCreateSQL();
    }

    // Phase 2: a routine that other routines call gets its new parameter list with an empty body.
    void AlterParamLists() {
        const TDbObjList& list = Target.List(olProcedures);
        for (int i = 0; i < list.Count(); ++i) {
            TPrcData* t = AsProcedure(list.Obj(i));
            TPrcData* m = t ? AsProcedure(t->Counterpart) : nullptr;
            if (!m || !ParamsDiffer(*m, *t) || m->CurrentSQL == t->CurrentSQL) continue;
            bool called = false;
            for (int j = 0; j < m->UsedBy.Count(); ++j)
                if (TDbObj* r = m->UsedBy.Items(j)->Ref; r && r->Kind == dboProcedure) called = true;
            if (!called) continue;
            const std::string source = m->Source();
            m->SetSource(m->GetEmptyBody());
            const std::string stub = m->GetCreateSQL();
            m->SetSource(source);
            // A computed column or check took the new list already.
            if (t->CurrentSQL == stub) continue;
            Exec.AddComment(m->MakeComment("Alter empty procedure " + m->Name + " with new param-list"));
            Statement(GetProcStubAlterSQL(*m), m->Name, saEmptyBody);
            t->EmptyBody(false);
            t->CurrentSQL = stub;
            if (Descriptions) WriteParamDescriptions(Exec, *m);
        }
    }

    // Phase 3: every routine whose text differs gets the master's text.
    void AlterTexts() {
        TPassSection section(Exec, "/* Alter Procedure... */");
        const TDbObjList& list = Master.List(olProcedures);
        for (int i = 0; i < list.Count(); ++i) {
            TPrcData* m = AsProcedure(list.Obj(i));
            if (!m) continue;
            TPrcData* t = AsProcedure(m->Counterpart);
            if (!t || m->GetCreateSQL() != t->CurrentSQL) {
                section.Open();
                AlterText(*m, t);
            }
            if (t && Exists(t) && Descriptions) WriteDescriptionChanges(*m, *t);
        }
    }

    void AlterText(TPrcData& M, TPrcData* T) {
        if (Exists(T)) {
            // What T calls with a parameter list about to change: T's body goes first.
            for (int j = 0; j < T->DependsOn.Count(); ++j) {
                TDbObj* ref = T->DependsOn.Items(j)->Ref;
                if (!ref || ref->Kind != dboProcedure) continue;
                TPrcData* mp = AsProcedure(Master.FindProcedure(ref->GetKeyName()));
                TPrcData* tp = AsProcedure(Target.FindProcedure(ref->GetKeyName()));
                if (!mp || !tp || !ParamsDiffer(*mp, *tp) || T->BodyIsEmpty()) continue;
                Exec.AddComment(mp->MakeComment("Params list changed into " + Q.QuoteName(mp->Name) + "... "));
                Exec.AddComment(mp->MakeComment("Empty: " + T->Name));
                T->EmptyBody(true);
                T->CurrentSQL = T->GetCreateSQL();
            }
            // What calls T is emptied while T changes.
            for (int j = 0; j < T->UsedBy.Count(); ++j) {
                TDbObj* ref = T->UsedBy.Items(j)->Ref;
                if (!ref) continue;
                if (ref->Kind == dboProcedure) {
                    TPrcData* tp = AsProcedure(Target.FindProcedure(ref->GetKeyName()));
                    TPrcData* mp = tp ? AsProcedure(Master.FindProcedure(tp->GetKeyName())) : nullptr;
                    if (!tp || !mp || tp->BodyIsEmpty()) continue;
                    const std::string note = "Clear: " + tp->Name + " for: " + M.Name;
                    Exec.AddComment(tp->MakeComment("empty dependent procedure body"));
                    Exec.AddComment(tp->MakeComment(note));
                    Note(note);
                    tp->EmptyBody(true);
                    tp->CurrentSQL = tp->GetCreateSQL();
                } else if (Type == stMSSQL && ref->GetObjList() == olConstraints) {
                    ref->DoDrop();
                }
            }
        }
        // What M needs comes first.
        for (int j = 0; j < M.DependsOn.Count(); ++j) {
            TDependObj* e = M.DependsOn.Items(j);
            TDbObj* ref = e->Ref;
            if (!ref || !e->Active) continue;
            if ((ref->Kind == dboView || ref->Kind == dboTable) && !ref->GetExists()) {
                ref->CreateDependDef();
            } else if (TPrcData* p = AsProcedure(ref)) {
                TPrcData* tp = AsProcedure(Target.FindProcedure(p->GetKeyName()));
                if (tp && ParamsDiffer(*tp, *p) && tp->CurrentSQL != p->CurrentSQL) {
                    Statement(p->GetAlterSQL(), p->Name, saAlter);
                    tp->CurrentSQL = p->CurrentSQL;
                }
            }
        }
        if (Exists(T) && M.GetCreateSQL() != T->CurrentSQL) {
            M.CreateDependencies();
            Exec.AddComment(M.MakeComment("Alter (" + M.Name + ")"));
            if (Type == stASE) {
                T->DoDrop();
                M.CreateDependDef();
            } else {
                Statement(M.GetAlterSQL(), M.Name, saAlter);
            }
            T->CurrentSQL = M.GetCreateSQL();
            M.SetBodyEmptied(false);
            M.SetExists(true);
        }
        if (Descriptions) WriteParamDescriptions(Exec, M);
    }

    void WriteDescriptionChanges(TPrcData& M, TPrcData& T) {
        if (M.Description() != T.Description()) {
            if (M.GetServerType() == stASA)
                Exec.AddStatement("COMMENT ON PROCEDURE " + M.Name + " IS " + "'" + M.Description() + "'", skStatement,
                                  M.Name, dboProcedure, saDescription);
            else if (M.GetServerType() == stInterBase)
                DescribeOnce(Exec, &M);
        }
        for (int j = 0; j < M.InputCount(); ++j) {
            TFldData* p = M.InputParam(j);
            TFldData* tp = T.FindInputParam(p->Name);
            if (tp && tp->Description() != p->Description() && p->GetServerType() == stInterBase) DescribeOnce(Exec, p);
        }
        for (int j = 0; j < M.OutputCount(); ++j) {
            TFldData* p = M.OutputParam(j);
            TFldData* tp = T.FindOutputParam(p->Name);
            if (tp && tp->Description() != p->Description() && p->GetServerType() == stInterBase) DescribeOnce(Exec, p);
        }
    }

    // Phase 4: every body emptied on the way (stubs included) gets the master's text back.
    void RestoreBodies() {
        const TDbObjList& list = Master.List(olProcedures);
        for (int i = 0; i < list.Count(); ++i) {
            TPrcData* m = AsProcedure(list.Obj(i));
            if (!m || !m->BodyEmptied) continue;
            TPrcData* t = AsProcedure(m->Counterpart);
            if (t && m->GetCreateSQL() == t->CurrentSQL) continue;
            Exec.AddComment(m->MakeComment("Restore proc. body: " + m->Name));
            if (Type == stMySQL) {
                Statement(m->GetDropSQL(), m->Name, saDrop);
                Statement(m->GetCreateStatement(), m->Name, saRestoreBody);
            } else {
                Statement(m->GetAlterSQL(), m->Name, saRestoreBody);
            }
            // The target routine now has the master's text.
            if (t) t->CurrentSQL = m->GetCreateSQL();
            m->SetBodyEmptied(false);
            if (Descriptions) WriteParamDescriptions(Exec, *m);
        }
    }
};

} // namespace

void WriteAlterProcedures(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    TAlterProcedures(Q, *master, *target, *exec).Run();
}

void WriteDropProcedures(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec) return;
    const TDbObjList& list = target->List(olProcedures);
    // Target-only routines that still use something are emptied first, so that two of them
    // calling each other can be dropped in any order.
    if (target->ServerType() != stASE) {
        TPassSection section(*exec, "/* Alter Procedure (Before Drop)... */");
        for (int i = 0; i < list.Count(); ++i) {
            TDbObj* t = list.Obj(i);
            if (t->Counterpart) continue;
            bool uses = false;
            for (int j = 0; j < t->DependsOn.Count(); ++j) uses = uses || t->DependsOn.Items(j)->Active;
            if (!uses) continue;
            if (Trim(t->CurrentSQL) != Trim(t->GetStubCreateSQL())) {
                section.Open();
                t->EmptyBody(true);
            }
            for (int j = 0; j < t->DependsOn.Count(); ++j) t->DependsOn.Items(j)->Active = false;
        }
        section.Close();
    }
    TPassSection section(*exec, "/* Drop Procedure... */");
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* t = list.Obj(i);
        if (t->NoScript || t->Counterpart) continue;
        section.Open();
        t->DoDrop();
    }
    section.Close();
}

} // namespace qnl
