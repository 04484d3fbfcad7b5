// The database extractor's readers of views (with the domains and table columns their columns
// rest on) and of triggers: table triggers, database triggers and DDL triggers.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace qnl {

using namespace dbrow;

void TIBDBExtract::ExtractViews() {
    LogLine("Extracting views...");
    std::string where = "where (R.Rdb$System_Flag <> 1 or R.Rdb$System_Flag is Null) "
                        "and not R.Rdb$View_BLR is null and R.Rdb$Flags = 1 ";
    if (IgnoreIBEObjects()) where += " and R.Rdb$relation_name not like 'IBE$%' ";
    // A field source the server made for a view column is shared with the column it was taken
    // from: the row of a table (not that of the view itself, nor of another view) names it.
    // The first such row per source, for every view column whose source the server made.
    std::unordered_map<std::string, std::pair<std::string, std::string>> tableColumns;
    ForEachRow("Select V.Rdb$Field_Source, F.Rdb$Relation_Name, F.Rdb$Field_Name "
               "from Rdb$Relation_Fields V join Rdb$Relations R on R.Rdb$Relation_Name = V.Rdb$Relation_Name "
               "join Rdb$Relation_Fields F on F.Rdb$Field_Source = V.Rdb$Field_Source "
               "join Rdb$Relations T on T.Rdb$Relation_Name = F.Rdb$Relation_Name " +
                   where + " and T.Rdb$View_Blr is null and V.Rdb$Field_Source like '%RDB$%' "
                           "order by V.Rdb$Field_Source, F.Rdb$Relation_Name, F.Rdb$Field_Name",
               [&tableColumns](TQNLQuery& Q) {
                   tableColumns.emplace(NameOf(Q, "RDB$FIELD_SOURCE"),
                                        std::make_pair(NameOf(Q, "RDB$RELATION_NAME"), NameOf(Q, "RDB$FIELD_NAME")));
               });
    // The columns of every view, by view and position.
    std::unordered_map<std::string, std::vector<std::unique_ptr<TFldData>>> columns;
    std::unordered_map<const TFldData*, std::string> sources;
    ForEachRow("Select V.Rdb$Relation_Name, V.Rdb$Field_Name, V.Rdb$Field_Source, V.Rdb$Description "
               "from Rdb$Relation_Fields V join Rdb$Relations R on R.Rdb$Relation_Name = V.Rdb$Relation_Name " +
                   where + "order by V.Rdb$Relation_Name, V.Rdb$Field_Position, V.Rdb$Field_Name",
               [&](TQNLQuery& Q) {
                   auto column = std::make_unique<TFldData>(Objs(), nullptr);
                   column->SetName(NameOf(Q, "RDB$FIELD_NAME"));
                   column->SetDescription(TextOf(Q, "RDB$DESCRIPTION"));
                   sources.emplace(column.get(), NameOf(Q, "RDB$FIELD_SOURCE"));
                   columns[NameOf(Q, "RDB$RELATION_NAME")].push_back(std::move(column));
               });

    std::unique_ptr<TQNLQuery> q = NewQuery();
    q->SetSQLText("select R.Rdb$Relation_Name, R.Rdb$View_Source, R.Rdb$Description from Rdb$Relations R " + where +
                  "Order by R.Rdb$Relation_Name ");
    q->Open();
    while (!q->GetEof()) {
        auto view = std::make_unique<TViwData>(Objs());
        view->SetName(NameOf(*q, "RDB$RELATION_NAME"));
        view->SetDescription(TextOf(*q, "RDB$DESCRIPTION"));
        std::string source = Trim(NormalizeLineBreaks(TextOf(*q, "RDB$VIEW_SOURCE")));
        if (source.size() >= 10 && UpperCase(source.substr(source.size() - 10)) == "WITH CHECK")
            source = source.substr(0, source.size() - 10) + "WITH CHECK OPTION";
        view->SetSource(source);
        if (ShowFullLog) LogLine("---" + view->Name);
        if (const auto own = columns.find(view->Name); own != columns.end())
            for (std::unique_ptr<TFldData>& column : own->second) {
                column->OwnerName = view->Name;
                column->Owner = view.get();
                const std::string fieldSource = sources[column.get()];
                view->AddColumn(std::move(column));
                if (fieldSource.find("RDB$") == std::string::npos) {
                    if (TDbObj* domain = Objs()->FindDomain(fieldSource)) RegisterDependency(Objs(), view.get(), domain);
                } else if (const auto from = tableColumns.find(fieldSource); from != tableColumns.end()) {
                    if (TDbObj* t = Objs()->FindTable(from->second.first))
                        RegisterDependency(Objs(), view.get(), t, from->second.second);
                }
            }
        if (AcceptObjName(view->Name, dboView)) Objs()->AddDbObject(view.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q->Next();
    }
    q->Close();
    q->ClearSQL();
}

namespace {

// The trigger's timing, events and table as its 64-bit type code tells them (Firebird 3 keeps
// DDL triggers' event bits above bit 31).
void DecodeTriggerType(TTrgData& Trigger) {
    const int64_t type = Trigger.TriggerType;
    if (IsIBDatabaseTriggerType(type)) {
        static const char* const events[] = {"CONNECT", "DISCONNECT", "TRANSACTION START", "TRANSACTION COMMIT",
                                             "TRANSACTION ROLLBACK"};
        const int64_t event = type & 0x1FFF;
        Trigger.SetTableName("DATABASE");
        Trigger.EventText = event < 5 ? events[event] : "";
        Trigger.Timing = 0;
        Trigger.Events = 0;
        return;
    }
    if (IsIBDDLTriggerType(type)) {
        Trigger.SetTableName("DATABASE");
        Trigger.EventText.clear();
        Trigger.Timing = (type & 1) ? tmAfter : tmBefore;
        Trigger.Events = 0;
        return;
    }
    // A table trigger: type + 1 holds AFTER in bit 0 and up to three events (INSERT 1, UPDATE
    // 2, DELETE 3) in the bit pairs from bit 1 on.
    const int64_t code = type + 1;
    Trigger.Timing = (code & 1) ? tmAfter : tmBefore;
    Trigger.Events = 0;
    for (int shift = 1; shift <= 5; shift += 2)
        if (const int event = static_cast<int>((code >> shift) & 3); event != 0)
            Trigger.Events |= static_cast<uint8_t>(1u << event);
}

} // namespace

void TIBDBExtract::ExtractTriggers() {
    LogLine("Extracting triggers...");
    TQNLQuery& q = MainQuery();
    const bool ibe = IgnoreIBEObjects();
    // Database and DDL triggers have no relation: the outer join keeps them (in the count too,
    // so that the progress of the last trigger does not run past its maximum).
    const char* const conditions[] = {
        " where (R.rdb$system_flag <> 1 or R.rdb$system_flag is Null) ",
        " and NOT EXISTS (SELECT * FROM RDB$CHECK_CONSTRAINTS CHK WHERE ",
        " T.RDB$TRIGGER_NAME = CHK.RDB$TRIGGER_NAME) ",
        " and not (R.rdb$view_blr is not null",
        " and T.rdb$trigger_name like 'CHECK_%' ",
        " and T.rdb$trigger_source is null)"};
    int triggerCount = 0;
    if (OnProgressStep) {
        q.AddSQL(" select Count(*)");
        q.AddSQL(" from rdb$triggers T ");
        q.AddSQL(" left join rdb$relations R on R.rdb$relation_name = T.rdb$relation_name");
        for (const char* line : conditions) q.AddSQL(line);
        if (ibe) q.AddSQL(" and T.rdb$trigger_name not like 'IBE$%' ");
        q.Open();
        triggerCount = static_cast<int>(q.GetFields()->Fields(0)->AsInteger());
        q.Close();
        q.ClearSQL();
        OnProgressStep(this, 1, "Triggers", 0, triggerCount);
    }
    q.AddSQL(" select T.RDB$TRIGGER_NAME, T.RDB$RELATION_NAME, T.RDB$TRIGGER_SOURCE, T.RDB$DESCRIPTION,");
    q.AddSQL(" T.RDB$TRIGGER_TYPE, T.RDB$TRIGGER_BLR, T.RDB$TRIGGER_SEQUENCE, T.RDB$TRIGGER_INACTIVE,");
    q.AddSQL(" T.RDB$SYSTEM_FLAG ");
    // Firebird 3 triggers may run in an external engine: no source, a name and an engine instead.
    if (HasProcedurePackage) q.AddSQL(" , T.RDB$ENGINE_NAME, T.RDB$ENTRYPOINT ");
    q.AddSQL(" from rdb$triggers T ");
    q.AddSQL(" left join rdb$relations R on R.rdb$relation_name = T.rdb$relation_name");
    for (const char* line : conditions) q.AddSQL(line);
    if (ibe) q.AddSQL(" and T.rdb$trigger_name not like 'IBE$%' ");
    q.AddSQL(" order by T.rdb$trigger_name ");
    q.Open();
    int counter = 0;
    while (!q.GetEof()) {
        auto trigger = std::make_unique<TTrgData>(Objs());
        trigger->SetName(NameOf(q, "RDB$TRIGGER_NAME"));
        trigger->SetTableName(NameOf(q, "RDB$RELATION_NAME"));
        trigger->TriggerPosition = static_cast<int32_t>(IntOf(q, "RDB$TRIGGER_SEQUENCE"));
        trigger->SetSource(Trim(NormalizeLineBreaks(TextOf(q, "RDB$TRIGGER_SOURCE"))));
        if (HasProcedurePackage && !NameOf(q, "RDB$ENGINE_NAME").empty()) {
            trigger->ExternalName = NameOf(q, "RDB$ENTRYPOINT");
            trigger->EngineName = NameOf(q, "RDB$ENGINE_NAME");
            trigger->SetSource(ExternalEngineClause(trigger->ExternalName, trigger->EngineName));
        }
        trigger->StoredBody = trigger->Source();
        trigger->Active = IntOf(q, "RDB$TRIGGER_INACTIVE") == 0;
        trigger->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        trigger->TriggerType = IntOf(q, "RDB$TRIGGER_TYPE");
        DecodeTriggerType(*trigger);
        if (trigger->Relation) RegisterDependency(Objs(), trigger.get(), trigger->Relation);
        ++counter;
        if (OnProgressStep) OnProgressStep(this, 1, trigger->Name, counter, triggerCount);
        if (ShowFullLog) LogLine("---" + trigger->Name);
        if (AcceptObjName(trigger->Name, dboTrigger)) Objs()->AddDbObject(trigger.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

} // namespace qnl
