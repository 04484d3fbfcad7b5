// PostgreSQL operators and operator classes, and their passes; see qnlComp_Prc.h.
#include "objects/qnlComp_Prc.h"

#include "core/qnlCustomQuarnel.h"

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

std::string OrNone(const std::string& Type) { return Type.empty() ? std::string("NONE") : Type; }

// "schema." with the schema quoted; nothing without a schema (".name" is not PostgreSQL).
std::string SchemaPrefix(const TDbObj& Obj) {
    return Obj.Schema.empty() ? std::string() : Obj.QuoteName(Obj.Schema) + ".";
}

bool PostgreSQLTarget(TCustomQuarnel& Q) {
    const TCustomObjs* target = Q.GetTargetObjs();
    return Q.GetMasterObjs() && target && Q.SQLExec() && target->ServerType() == stPostgreSQL;
}

void CreateMissing(TCustomQuarnel& Q, TObjListKind Kind) {
    if (!PostgreSQLTarget(Q)) return;
    const TDbObjList& list = Q.GetMasterObjs()->List(Kind);
    for (int i = 0; i < list.Count(); ++i)
        if (TDbObj* m = list.Obj(i); !m->NoScript && !m->Counterpart && !m->GetExists()) m->CreateDependDef();
}

// Neither kind has an ALTER form: a changed one is dropped and created again.
void RecreateChanged(TCustomQuarnel& Q, TObjListKind Kind) {
    if (!PostgreSQLTarget(Q)) return;
    const TDbObjList& list = Q.GetMasterObjs()->List(Kind);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* m = list.Obj(i);
        TDbObj* t = m->Counterpart;
        if (m->NoScript || !t || m->GetCreateSQL() == t->GetCreateSQL()) continue;
        t->DoDrop();
        m->CreateDependDef();
    }
}

void DropUnpaired(TCustomQuarnel& Q, TObjListKind Kind) {
    if (!PostgreSQLTarget(Q)) return;
    const TDbObjList& list = Q.GetTargetObjs()->List(Kind);
    for (int i = 0; i < list.Count(); ++i)
        if (TDbObj* t = list.Obj(i); !t->NoScript && !t->Counterpart && t->GetExists()) t->DoDrop();
}

} // namespace

// ---- TOprData ----

std::string TOprData::GetArgsText() const {
    return "(" + OrNone(LeftArg) + ", " + OrNone(RightArg) + ")";
}

std::string TOprData::GetKeyName() const { return Schema + "." + Name + " " + GetArgsText(); }

std::string TOprData::GetCreateSQL() {
    std::string s =
        "CREATE OPERATOR " + SchemaPrefix(*this) + Name + "(" + CRLF + "PROCEDURE = " + QuoteName(ProcedureName);
    const std::pair<const char*, const std::string*> valued[] = {
        {"LEFTARG = ", &LeftArg},       {"RIGHTARG = ", &RightArg}, {"COMMUTATOR = ", &Commutator},
        {"NEGATOR = ", &Negator},       {"RESTRICT = ", &RestrictProc}, {"JOIN = ", &JoinProc}};
    for (const auto& [clause, value] : valued)
        if (!value->empty()) s += "," + std::string(CRLF) + clause + *value;
    if (Hashes) s += "," + std::string(CRLF) + "HASHES";
    if (Merges) s += "," + std::string(CRLF) + "MERGES";
    const std::pair<const char*, const std::string*> sorts[] = {
        {"SORT1 = ", &Sort1}, {"SORT2 = ", &Sort2}, {"LTCMP = ", &LtCmp}, {"GTCMP = ", &GtCmp}};
    for (const auto& [clause, value] : sorts)
        if (!value->empty()) s += "," + std::string(CRLF) + clause + *value;
    return s + ")";
}

std::string TOprData::GetDropSQL() { return "DROP OPERATOR " + SchemaPrefix(*this) + Name + GetArgsText(); }

// ---- operator classes ----

std::string TOpcOprData::GetText() const {
    std::string s = "OPERATOR " + std::to_string(StrategyNumber) + " " + OperatorName;
    if (!LeftType.empty() || !RightType.empty()) s += " (" + OrNone(LeftType) + ", " + OrNone(RightType) + ")";
    return s;
}

std::string TOpcFncData::GetText() const {
    std::string args;
    for (int i = 0; i < ArgTypes.Count(); ++i) args += (i ? ", " : "") + ArgTypes[i];
    return "FUNCTION " + std::to_string(SupportNumber) + " " + (Owner ? Owner->QuoteName(FunctionName) : FunctionName) +
           "(" + args + ")";
}

std::string TOpcData::GetKeyName() const { return Name + "(" + IndexMethod + ")"; }

std::string TOpcData::GetCreateSQL() {
    // A type name is no identifier to quote (int4, character varying, numeric(10,2)).
    std::string s = "CREATE OPERATOR CLASS " + SchemaPrefix(*this) + QuoteName(Name) + (IsDefault ? " DEFAULT" : "") +
                    " FOR TYPE " + ForType + " USING " + IndexMethod + " AS" + CRLF;
    std::vector<std::string> items;
    for (const auto& o : OperatorEntries) items.push_back(o->GetText());
    for (const auto& f : FunctionEntries) items.push_back(f->GetText());
    if (!StorageType.empty()) items.push_back("STORAGE " + StorageType);
    for (size_t i = 0; i < items.size(); ++i) s += items[i] + (i + 1 < items.size() ? "," + std::string(CRLF) : "");
    return s;
}

std::string TOpcData::GetDropSQL() {
    return "DROP OPERATOR CLASS " + SchemaPrefix(*this) + QuoteName(Name) + " USING " + IndexMethod;
}

// ---- passes ----

void WriteCreateOperators(TCustomQuarnel& Q) { CreateMissing(Q, olOperators); }
void WriteCreateOperatorClasses(TCustomQuarnel& Q) { CreateMissing(Q, olOperatorClasses); }
void WriteAlterOperators(TCustomQuarnel& Q) { RecreateChanged(Q, olOperators); }
void WriteAlterOperatorClasses(TCustomQuarnel& Q) { RecreateChanged(Q, olOperatorClasses); }
void WriteDropOperators(TCustomQuarnel& Q) { DropUnpaired(Q, olOperators); }
void WriteDropOperatorClasses(TCustomQuarnel& Q) { DropUnpaired(Q, olOperatorClasses); }

} // namespace qnl
