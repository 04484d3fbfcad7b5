// Implements defaults, collations and the passes matched by key; see qnlComp_Def.h.
#include "objects/qnlComp_Def.h"

#include "core/qnlDBStructure.h"
#include "core/qnlQuote.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Tbl.h"

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

} // namespace

// ---- TDefData ----

std::string TDefData::GetCreateSQL() {
    // The name is always bracketed, a "]" inside doubled so it cannot end the name.
    if (GetServerType() == stMSSQL)
        return Value.empty() ? std::string() : "CREATE DEFAULT " + QuoteIdentifier(Name, '[', ']') + " AS " + Value;
    return "CREATE DEFAULT " + QuoteName(Name) + " AS " + Value;
}

// ---- TCltData ----

std::string TCltData::CreateText(const std::string& Base, const std::string& External, const std::string& Attrs) {
    if (GetServerType() != stInterBase) return {};
    std::string s = "CREATE COLLATION " + QuoteName(Name) + CRLF + "FOR " + CharacterSet + CRLF;
    if (!Base.empty())
        s += "FROM " + Base + CRLF;
    else if (!External.empty())
        s += "FROM EXTERNAL(" + QuotedStr(External) + ")" + CRLF;
    s += std::string(PadSpace ? "PAD SPACE" : "NO PAD") + CRLF;
    s += std::string(CaseSensitive ? "CASE SENSITIVE" : "CASE INSENSITIVE") + CRLF;
    s += std::string(AccentSensitive ? "ACCENT SENSITIVE" : "ACCENT INSENSITIVE") + CRLF;
    if (!Attrs.empty()) s += QuotedStr(Attrs) + CRLF;
    return s;
}

std::string TCltData::GetCreateSQL() { return CreateText(BaseCollation, ExternalName, Attributes); }

std::string TCltData::GetCompareSQL() {
    std::string kept;
    size_t start = 0;
    while (start <= Attributes.size()) {
        size_t end = Attributes.find(';', start);
        if (end == std::string::npos) end = Attributes.size();
        const std::string item = Attributes.substr(start, end - start);
        if (!item.empty() && !SameText(item.substr(0, 13), "COLL-VERSION=")) kept += (kept.empty() ? "" : ";") + item;
        start = end + 1;
    }
    // The catalogue keeps the collation a new one is made FROM under the same name as an
    // external one: FROM X and FROM EXTERNAL ('X') make the same collation.
    return CreateText({}, BaseCollation.empty() ? ExternalName : BaseCollation, kept);
}

// ---- the passes matched by key ----

namespace {

struct TKeyedPass {
    TCustomObjs* Master;
    TCustomObjs* Target;
    TCustomSQLExec* Exec;
    bool Descriptions;

    explicit TKeyedPass(TCustomQuarnel& Q)
        : Master(Q.GetMasterObjs()), Target(Q.GetTargetObjs()), Exec(Q.SQLExec()),
          Descriptions(Q.CompareObjects.Contains(coDescription)) {}
    bool Ready() const { return Master && Target && Exec; }
};

// The section comment, made by the first object the pass acts on; the closing CR LF comment.
class TObjSection {
public:
    TObjSection(TCustomSQLExec& AExec, std::string ATitle) : FExec(AExec), FTitle(std::move(ATitle)) {}
    void Open(const TDbObj& By) {
        if (!FOpened) FExec.AddComment(By.MakeComment(FTitle));
        FOpened = true;
    }
    void Close() {
        if (FOpened) FExec.AddComment(CRLF);
    }

private:
    TCustomSQLExec& FExec;
    std::string FTitle;
    bool FOpened = false;
};

} // namespace

namespace {

// Runs Act on each object of From's list that To's list of the same kind does not hold, the
// section opened by the first of them.
template <class Act>
void ForEachUnmatched(TCustomSQLExec& Exec, const TCustomObjs& From, const TCustomObjs& To, TObjListKind List,
                      const std::string& Title, Act&& Action) {
    TObjSection section(Exec, Title);
    const TDbObjList& list = From.List(List);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* o = list.Obj(i);
        if (To.List(List).FindObj(o->GetKeyName())) continue;
        section.Open(*o);
        Action(*o);
    }
    section.Close();
}

} // namespace

void WriteCreateByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title) {
    TKeyedPass p(Q);
    if (!p.Ready()) return;
    ForEachUnmatched(*p.Exec, *p.Master, *p.Target, List, Title, [&](TDbObj& M) {
        const bool existed = M.GetExists();
        M.CreateDependDef();
        if (!existed && p.Descriptions && !M.Description().empty()) p.Exec->AddDescription(&M);
    });
}

void WriteAlterByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title, TKeepTargetCheck KeepTarget) {
    TKeyedPass p(Q);
    if (!p.Ready()) return;
    TObjSection section(*p.Exec, Title);
    const TDbObjList& list = p.Master->List(List);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* m = list.Obj(i);
        TDbObj* t = p.Target->List(List).FindObj(m->GetKeyName());
        if (!t) continue;
        if (m->GetCompareSQL() == t->GetCompareSQL()) {
            if (p.Descriptions && m->Description() != t->Description()) p.Exec->AddDescription(m);
            continue;
        }
        section.Open(*t);
        if (KeepTarget && KeepTarget(Q, *m, *t)) continue;
        t->DoDrop();
        m->CreateDependDef();
        // The object was created anew: the target's description went with it.
        if (p.Descriptions && !m->Description().empty()) p.Exec->AddDescription(m);
    }
    section.Close();
}

void WriteDropByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title) {
    TKeyedPass p(Q);
    if (!p.Ready()) return;
    ForEachUnmatched(*p.Exec, *p.Target, *p.Master, List, Title, [](TDbObj& T) { T.DoDrop(); });
}

// ---- defaults ----

void WriteCreateDefaults(TCustomQuarnel& Q) { WriteCreateByKey(Q, olDefaults, "Create Default..."); }
void WriteAlterDefaults(TCustomQuarnel& Q) { WriteAlterByKey(Q, olDefaults, "Alter Default..."); }
void WriteDropDefaults(TCustomQuarnel& Q) { WriteDropByKey(Q, olDefaults, "Drop Default..."); }

// ---- collations ----

namespace {

bool UsesCollation(const TDbObj* TypedName, const std::string& Collation) {
    const auto* f = dynamic_cast<const TFldData*>(TypedName);
    return f && f->GetExists() && f->CollationName == Collation;
}

// True when something that exists in the target uses the collation: a column of a table or
// view, the type of a domain, a routine's parameter, or an object registered as its dependant.
bool CollationInUse(const TCustomObjs& Target, const TDbObj& Collation) {
    const std::string& name = Collation.Name;
    for (TObjListKind kind : {olTables, olViews}) {
        const TDbObjList& list = Target.List(kind);
        for (int i = 0; i < list.Count(); ++i)
            for (int c = 0; c < list.Obj(i)->GetColumnCount(); ++c)
                if (UsesCollation(list.Obj(i)->GetColumn(c), name)) return true;
    }
    const TDbObjList& domains = Target.List(olDomains);
    for (int i = 0; i < domains.Count(); ++i)
        if (domains.Obj(i)->GetExists() && UsesCollation(domains.Obj(i)->GetTypeField(), name)) return true;
    const TDbObjList& routines = Target.List(olProcedures);
    for (int i = 0; i < routines.Count(); ++i) {
        const TDbObj* r = routines.Obj(i);
        for (int j = 0; j < r->GetInputParamCount(); ++j)
            if (UsesCollation(r->GetInputParam(j), name)) return true;
        for (int j = 0; j < r->GetOutputParamCount(); ++j)
            if (UsesCollation(r->GetOutputParam(j), name)) return true;
    }
    for (int i = 0; i < Collation.UsedBy.Count(); ++i)
        if (const TDbObj* ref = Collation.UsedBy.Items(i)->Ref; ref && ref->GetExists()) return true;
    return false;
}

// A DROP COLLATION of a collation in use fails: the target keeps its collation, and the script
// says so.
bool KeepCollationInUse(TCustomQuarnel& Q, TDbObj& /*Master*/, TDbObj& Target) {
    const TCustomObjs* target = Q.GetTargetObjs();
    if (!target || !CollationInUse(*target, Target)) return false;
    Q.SQLExec()->AddComment(Target.MakeComment("WARNING: collation " + Target.Name +
                                               " differs from the master's but is in use; it is not dropped and "
                                               "created again"));
    return true;
}

} // namespace

void WriteCreateCollations(TCustomQuarnel& Q) { WriteCreateByKey(Q, olCollations, "Create Collation..."); }
void WriteAlterCollations(TCustomQuarnel& Q) {
    WriteAlterByKey(Q, olCollations, "Alter Collation...", KeepCollationInUse);
}
void WriteDropCollations(TCustomQuarnel& Q) { WriteDropByKey(Q, olCollations, "Drop Collation..."); }

} // namespace qnl
