#include "objects/qnlComp_Gnr.h"

#include "objects/qnlComp_Tbl.h"

namespace qnl {

TGnrData::TGnrData(TCustomObjs* AContainer, TDbObj* AOwner) : TDbObj(AContainer), Owner(AOwner) {
    Kind = dboGenerator;
    if (!dynamic_cast<TFldData*>(AOwner)) TypeField = std::make_unique<TFldData>(AContainer, this);
}

TGnrData::~TGnrData() = default;

TDbObj* TGnrData::GetTypeField() const { return TypeField.get(); }

void TGnrData::SetMaxValue(const std::string& Value) {
    if (Value == "999999999999999999999999999") {
        MaxValue.clear();
        NoMaxValue = true;
    } else {
        MaxValue = Value;
    }
}

void TGnrData::SetCache(const std::string& Value) {
    if (Value == "0") {
        Cache.clear();
        NoCache = true;
    } else {
        Cache = Value;
    }
}

void TGnrData::SetNoCache(bool Value) {
    NoCache = Value;
    if (Value) Cache.clear();
}

void TGnrData::GetDB2IdentityText(std::string& Text) const {
    if (GetServerType() == stDB2)
        Text = "(START WITH " + StartWith + ", INCREMENT BY " + IncrementBy + ", CACHE " + Cache + ")";
    else
        Text.clear();
}

std::string TGnrData::GetCreateSQL() {
    const std::string crlf = "\r\n";
    switch (GetServerType()) {
    case stOracle: {
        std::string s = "CREATE SEQUENCE " + (Schema.empty() ? QuoteName(Name) : QuoteName(Schema) + "." + QuoteName(Name));
        if (!MinValue.empty() && MinValue != "1") s += crlf + "minvalue " + MinValue;
        if (!MaxValue.empty()) s += crlf + "maxvalue " + MaxValue;
        if (!IncrementBy.empty() && IncrementBy != "1") s += crlf + "increment by " + IncrementBy;
        if (!Cache.empty())
            s += crlf + "cache " + Cache;
        else if (NoCache)
            s += crlf + "nocache";
        if (Order) s += crlf + "order";
        if (Cycle) s += crlf + "cycle";
        return s;
    }
    case stMSSQL: {
        std::string s = "CREATE SEQUENCE " + GetQualifiedName();
        if (TypeField && TypeField->DataType != dtUnknown) s += crlf + "    AS " + TypeField->GetTypeSQL();
        if (!StartWith.empty()) s += crlf + "    START WITH " + StartWith;
        if (!IncrementBy.empty() && IncrementBy != "1") s += crlf + "    INCREMENT BY " + IncrementBy;
        if (!MinValue.empty() && MinValue != "1") s += crlf + "    MINVALUE " + MinValue;
        if (!MaxValue.empty()) s += crlf + "    MAXVALUE " + MaxValue;
        if (Cycle) s += crlf + "    CYCLE";
        if (!Cache.empty())
            s += crlf + "    CACHE " + Cache;
        else if (NoCache)
            s += crlf + "    NOCACHE";
        return s;
    }
    case stPostgreSQL: {
        std::string s = std::string("CREATE ") + (Temporary ? "TEMPORARY " : "") + "SEQUENCE " + GetQualifiedName();
        if (!IncrementBy.empty()) s += " INCREMENT BY " + IncrementBy;
        if (!MinValue.empty()) s += " MINVALUE " + MinValue;
        if (!MaxValue.empty()) s += " MAXVALUE " + MaxValue;
        if (!StartWith.empty()) s += " START WITH " + StartWith;
        if (!Cache.empty()) s += " CACHE " + Cache;
        if (Cycle) s += " CYCLE";
        if (!OwnedBy.empty()) s += " OWNED BY " + OwnedBy;
        return s;
    }
    default: {
        // From Firebird 3 on a sequence keeps its start value and increment.
        const TIBServerOptions* o = GetIBServerOptions();
        std::string options;
        if (GetServerType() == stInterBase && o && IsFirebird3OrLater(o->SQLServerVersion)) {
            if (!StartWith.empty() && StartWith != "0") options += " START WITH " + StartWith;
            if (!IncrementBy.empty() && IncrementBy != "1") options += " INCREMENT BY " + IncrementBy;
        }
        if (!options.empty()) return "CREATE SEQUENCE " + QuoteName(Name) + options;
        return "CREATE GENERATOR " + QuoteName(Name);
    }
    }
}

std::string TGnrData::GetDropSQL() {
    switch (GetServerType()) {
    case stInterBase: {
        const TIBServerOptions* o = GetIBServerOptions();
        if (o && Before(o->SQLServerVersion, st_FireBird_1x))
            // These versions have no DROP GENERATOR: the catalogue row goes.
            return "/* Drop generator: " + QuoteName(Name) + " */" + "\r\n" +
                   "DELETE FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = " + QuoteSQLString(Name, stInterBase);
        return "DROP GENERATOR " + QuoteName(Name);
    }
    case stPostgreSQL:
    case stOracle:
        return "DROP SEQUENCE " + GetQualifiedName();
    default:
        return {};
    }
}

// ---- passes ----

namespace {

// The section title of a pass for the target's dialect; empty where none is written.
std::string SectionTitle(const TCustomObjs& Target, const char* Generator, const char* Sequence) {
    switch (Target.ServerType()) {
    case stInterBase: return Generator;
    case stOracle:
    case stPostgreSQL: return Sequence;
    default: return {};
    }
}

void OpenSection(TCustomSQLExec& Exec, const std::string& Title, bool& Opened) {
    if (!Opened && !Title.empty()) Exec.AddComment(Title);
    Opened = true;
}

void CloseSection(TCustomSQLExec& Exec, bool Opened) {
    if (Opened) Exec.AddComment("\r\n");
}

} // namespace

void WriteCreateGenerators(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    const std::string title = SectionTitle(Target, "/* Create generator... */", "/* Create sequence... */");
    bool opened = false;
    const TDbObjList& list = Master.List(olGenerators);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* g = list.Obj(i);
        if (g->NoScript || g->Counterpart || g->GetExists()) continue;
        OpenSection(Exec, title, opened);
        Exec.AddStatement(g->GetCreateStatement(), skStatement, g->Name, dboGenerator, saCreate);
        if (Compare.Contains(coDescription) && !g->Description().empty()) Exec.AddDescription(g);
    }
    CloseSection(Exec, opened);
}

void WriteAlterSequence(TCustomSQLExec& Exec, TGnrData& M, const TGnrData& T) {
    auto alter = [&](const std::string& Clause) {
        Exec.AddStatement("ALTER SEQUENCE " + M.GetQualifiedName() + Clause, skStatement, M.Name, dboGenerator, saAlter);
    };
    if (!M.IncrementBy.empty() && M.IncrementBy != T.IncrementBy) alter(" increment by " + M.IncrementBy);
    if (!M.MaxValue.empty() && M.MaxValue != T.MaxValue) alter(" maxvalue " + M.MaxValue);
    if (M.Cycle != T.Cycle) alter(M.Cycle ? " cycle" : " nocycle");
    if (M.Order != T.Order) alter(M.Order ? " order" : " noorder");
    if (M.NoCache && !T.NoCache) {
        alter(" nocache");
        return;
    }
    if (!M.Cache.empty() && M.Cache != T.Cache) alter(" cache " + M.Cache);
}

namespace {

// Firebird 3 and later: a generator both sides keep takes the master's increment.
void WriteAlterFirebirdIncrement(TCustomSQLExec& Exec, TGnrData& M, const TGnrData& T) {
    const auto increment = [](const TGnrData& G) { return G.IncrementBy.empty() ? std::string("1") : G.IncrementBy; };
    if (increment(M) == increment(T)) return;
    // Only the step changes: the generator's current value stays as it is.
    Exec.AddStatement("ALTER SEQUENCE " + M.QuoteName(M.Name) + " INCREMENT BY " + increment(M), skStatement, M.Name,
                      dboGenerator, saAlter);
}

} // namespace

void WriteAlterGenerators(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    const bool sequences = Target.ServerType() == stOracle || Target.ServerType() == stPostgreSQL;
    const bool firebird3 =
        Target.ServerType() == stInterBase && IsFirebird3OrLater(Target.IBServerOptions.SQLServerVersion);
    const TDbObjList& list = Master.List(olGenerators);
    for (int i = 0; i < list.Count(); ++i) {
        auto* m = dynamic_cast<TGnrData*>(list.Obj(i));
        if (!m || m->NoScript || !m->Counterpart) continue;
        if (auto* t = dynamic_cast<TGnrData*>(m->Counterpart)) {
            if (sequences) WriteAlterSequence(Exec, *m, *t);
            if (firebird3) WriteAlterFirebirdIncrement(Exec, *m, *t);
        }
        if (Compare.Contains(coDescription) && m->Description() != m->Counterpart->Description())
            Exec.AddDescription(m);
    }
}

void WriteDropGenerators(TCustomObjs& /*Master*/, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType /*Compare*/) {
    const std::string title = SectionTitle(Target, "/* Drop generator... */", "/* Drop sequence... */");
    bool opened = false;
    const TDbObjList& list = Target.List(olGenerators);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* g = list.Obj(i);
        if (g->NoScript || g->Counterpart || !g->GetExists()) continue;
        OpenSection(Exec, title, opened);
        g->DoDrop();
    }
    CloseSection(Exec, opened);
}

} // namespace qnl
