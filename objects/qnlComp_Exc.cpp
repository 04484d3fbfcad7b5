#include "objects/qnlComp_Exc.h"

#include "core/qnlCustomQuarnel.h"
#include "objects/qnlPassSection.h"

namespace qnl {

namespace {
const char* const CRLF = "\r\n";

} // namespace

// ---- TExcData ----

TExcData::TExcData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboException; }

std::string TExcData::MessageLiteral() const { return QuotedStr(Message); }

std::string TExcData::GetCreateSQL() { return "CREATE EXCEPTION " + QuoteName(Name) + " " + MessageLiteral(); }

std::string TExcData::GetAlterSQL() { return "ALTER EXCEPTION " + QuoteName(Name) + " " + MessageLiteral(); }

// ---- TEvtSdlData ----

void TEvtSdlData::GetText(std::string& Text) const {
    Text = "SCHEDULE";
    if (!Name.empty()) Text += " " + (Event ? Event->QuoteName(Name) : Name);
    if (!StartTime.empty() && !EndTime.empty())
        Text += " BETWEEN " + QuotedStr(StartTime) + " AND " + QuotedStr(EndTime);
    else if (!StartTime.empty())
        Text += " START TIME " + QuotedStr(StartTime);
    if (EveryHours != 0)
        Text += " EVERY " + std::to_string(EveryHours) + " HOURS";
    else if (EveryMinutes != 0)
        Text += " EVERY " + std::to_string(EveryMinutes) + " MINUTES";
    else if (EverySeconds != 0)
        Text += " EVERY " + std::to_string(EverySeconds) + " SECONDS";
    if (Days != 0) {
        std::string list;
        if (Days & 0x80000000u) list = "0";
        for (int day = 1; day <= 31; ++day) {
            if (!(Days & (1u << (day - 1)))) continue;
            if (!list.empty()) list += ", ";
            list += std::to_string(day);
        }
        Text += " ON(" + list + ")";
    }
    if (!StartDate.empty()) Text += " START DATE " + QuotedStr(StartDate);
}

// ---- TEvtData ----

TEvtSdlData* TEvtData::AddSchedule() {
    Schedules.push_back(std::make_unique<TEvtSdlData>(this));
    return Schedules.back().get();
}

std::string TEvtData::GetCreateSQL() {
    std::string s = "CREATE EVENT " + QuoteName(Name);
    if (!EventType.empty()) s += CRLF + std::string(" TYPE ") + EventType;
    if (!WhereText.empty()) s += CRLF + std::string(" WHERE ") + WhereText;
    for (size_t i = 0; i < Schedules.size(); ++i) {
        s += i == 0 ? std::string(CRLF) + " " : "," + std::string(CRLF) + " ";
        std::string clause;
        Schedules[i]->GetText(clause);
        s += clause;
    }
    s += CRLF + std::string(" ") + (Enabled ? "ENABLE" : "DISABLE");
    if (!AtText.empty()) s += " AT " + AtText;
    if (!Source().empty()) s += CRLF + std::string("HANDLER") + CRLF + Source();
    return s;
}

std::string TEvtData::GetDropSQL() { return "DROP EVENT " + QuoteName(Name); }

// ---- exception passes ----

void WriteCreateExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    TPassSection section(Exec, "/* Create Exception... */");
    const TDbObjList& list = Master.List(olExceptions);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* e = list.Obj(i);
        if (Target.FindException(e->GetKeyName())) continue;
        section.Open();
        Exec.AddStatement(e->GetCreateSQL(), skStatement, e->Name, dboException, saCreate);
        if (Compare.Contains(coDescription) && !e->Description().empty()) Exec.AddDescription(e);
    }
    section.Close();
}

void WriteAlterExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    TPassSection section(Exec, "/* Alter Exception... */");
    const TDbObjList& list = Master.List(olExceptions);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* m = list.Obj(i);
        TDbObj* t = Target.FindException(m->GetKeyName());
        if (!t) continue;
        if (m->GetCreateSQL() != t->GetCreateSQL()) {
            section.Open();
            Exec.AddStatement(m->GetAlterSQL(), skStatement, m->Name, dboException, saAlter);
        }
        if (Compare.Contains(coDescription) && m->Description() != t->Description()) Exec.AddDescription(m);
    }
    section.Close();
}

void WriteDropExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType /*Compare*/) {
    TPassSection section(Exec, "/* Drop Exception... */");
    const TDbObjList& list = Target.List(olExceptions);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* t = list.Obj(i);
        if (Master.FindException(t->GetKeyName())) continue;
        section.Open();
        t->DoDrop();
    }
    section.Close();
}

// ---- event passes ----

void WriteCreateEvents(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Create event... */");
    const TDbObjList& list = master->List(olEvents);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* e = list.Obj(i);
        if (e->NoScript || (e->Counterpart && e->GetExists())) continue;
        section.Open();
        e->CreateDependDef();
        if (Q.CompareObjects.Contains(coDescription) && !e->Description().empty()) exec->AddDescription(e);
    }
    section.Close();
}

void WriteAlterEvents(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Alter event... */");
    const TDbObjList& list = master->List(olEvents);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* m = list.Obj(i);
        TDbObj* t = m->Counterpart;
        if (m->NoScript || !t) continue;
        if (m->GetCreateSQL() != t->GetCreateSQL()) {
            section.Open();
            t->DoDrop();
            m->CreateDependDef();
        }
        if (Q.CompareObjects.Contains(coDescription) && m->Description() != t->Description()) exec->AddDescription(m);
    }
    section.Close();
}

void WriteDropEvents(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec) return;
    DropTargetOnly(*exec, target->List(olEvents), "/* Drop event... */");
}

} // namespace qnl
