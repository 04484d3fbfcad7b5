// Implements triggers and their passes; see qnlComp_Trg.h.
#include "objects/qnlComp_Trg.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlPassSection.h"

#include <vector>

namespace qnl {

namespace {
const char* const CRLF = "\r\n";

TTrgData* AsTrigger(TDbObj* Obj) { return Obj && Obj->Kind == dboTrigger ? dynamic_cast<TTrgData*>(Obj) : nullptr; }

// Bits 13 and 14 of a Firebird type code: 0 a table trigger, 1 a database trigger, 2 a DDL trigger.
constexpr int64_t IBTypeKindMask = 0x6000;
constexpr int64_t IBDatabaseKind = 0x2000;
constexpr int64_t IBDDLKind = 0x4000;
// Every DDL event: all bits from 1 to 62 but bit 13 (the kind bits are part of it).
constexpr int64_t IBAnyDDLStatement = 0x7FFFFFFFFFFFDFFE;

// The database events by their number (type code - 8192).
constexpr const char* IBDatabaseEvents[] = {"CONNECT", "DISCONNECT", "TRANSACTION START", "TRANSACTION COMMIT",
                                            "TRANSACTION ROLLBACK"};

// The DDL events by their bit in the type code. Bits 13 to 15 hold no event.
struct TDDLEvent {
    int Bit;
    const char* Text;
};
constexpr TDDLEvent IBDDLEvents[] = {
    {1, "CREATE TABLE"},      {2, "ALTER TABLE"},       {3, "DROP TABLE"},          {4, "CREATE PROCEDURE"},
    {5, "ALTER PROCEDURE"},   {6, "DROP PROCEDURE"},    {7, "CREATE FUNCTION"},     {8, "ALTER FUNCTION"},
    {9, "DROP FUNCTION"},     {10, "CREATE TRIGGER"},   {11, "ALTER TRIGGER"},      {12, "DROP TRIGGER"},
    {16, "CREATE EXCEPTION"}, {17, "ALTER EXCEPTION"},  {18, "DROP EXCEPTION"},     {19, "CREATE VIEW"},
    {20, "ALTER VIEW"},       {21, "DROP VIEW"},        {22, "CREATE DOMAIN"},      {23, "ALTER DOMAIN"},
    {24, "DROP DOMAIN"},      {25, "CREATE ROLE"},      {26, "ALTER ROLE"},         {27, "DROP ROLE"},
    {28, "CREATE INDEX"},     {29, "ALTER INDEX"},      {30, "DROP INDEX"},         {31, "CREATE SEQUENCE"},
    {32, "ALTER SEQUENCE"},   {33, "DROP SEQUENCE"},    {34, "CREATE USER"},        {35, "ALTER USER"},
    {36, "DROP USER"},        {37, "CREATE COLLATION"}, {38, "DROP COLLATION"},     {39, "ALTER CHARACTER SET"},
    {40, "CREATE PACKAGE"},   {41, "ALTER PACKAGE"},    {42, "DROP PACKAGE"},       {43, "CREATE PACKAGE BODY"},
    {44, "DROP PACKAGE BODY"}, {45, "CREATE MAPPING"},  {46, "ALTER MAPPING"},      {47, "DROP MAPPING"},
};

// Drops the last Count characters (a trailing " OR ").
std::string DropTail(std::string S, size_t Count) {
    S.resize(S.size() >= Count ? S.size() - Count : 0);
    return S;
}

} // namespace

const char* GetTriggerEventWord(int Code) {
    switch (Code) {
    case 1: return "INSERT";
    case 2: return "UPDATE";
    case 3: return "DELETE";
    default: return "";
    }
}

bool IsIBDatabaseTriggerType(int64_t TypeCode) { return (TypeCode & IBTypeKindMask) == IBDatabaseKind; }

bool IsIBDDLTriggerType(int64_t TypeCode) { return TypeCode > 0 && (TypeCode & IBTypeKindMask) == IBDDLKind; }

std::string GetIBDDLTriggerEvents(int64_t TypeCode) {
    std::string s = (TypeCode & 1) ? "AFTER " : "BEFORE ";
    if ((TypeCode & ~int64_t{1}) == IBAnyDDLStatement) return s + "ANY DDL STATEMENT";
    uint64_t rest = static_cast<uint64_t>(TypeCode) & ~uint64_t{IBTypeKindMask | 1};
    std::string events;
    for (const TDDLEvent& e : IBDDLEvents) {
        const uint64_t bit = uint64_t{1} << e.Bit;
        if (!(rest & bit)) continue;
        events += (events.empty() ? "" : " OR ") + std::string(e.Text);
        rest &= ~bit;
    }
    // A bit this table does not know (a newer server's event) is named so that running the
    // script fails on it, rather than quietly losing the event.
    for (int bit = 1; bit < 64; ++bit)
        if (rest & (uint64_t{1} << bit))
            events += (events.empty() ? "" : " OR ") + std::string("UNKNOWN DDL EVENT ") + std::to_string(bit);
    return s + events;
}

int GetIBDDLEventBit(const std::string& EventText) {
    for (const TDDLEvent& e : IBDDLEvents)
        if (EventText == e.Text) return e.Bit;
    return 0;
}

int64_t GetIBDDLTriggerType(bool After, uint64_t EventBits, bool AnyStatement) {
    const int64_t events = AnyStatement ? IBAnyDDLStatement : static_cast<int64_t>(EventBits) | IBDDLKind;
    return events | (After ? 1 : 0);
}

int64_t GetIBDatabaseTriggerType(const std::string& Event) {
    for (size_t i = 0; i < std::size(IBDatabaseEvents); ++i)
        if (Event == IBDatabaseEvents[i]) return IBDatabaseKind + static_cast<int64_t>(i);
    return 0;
}

// ---- TTrgData ----

TTrgData::TTrgData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboTrigger; }

void TTrgData::SetTableName(const std::string& AName) {
    if (AName == TableName && Relation) {
        TableName = AName;
        return;
    }
    Relation = nullptr;
    if (Container) {
        // The table is the trigger's own schema's (an ASA table its owner's).
        const std::string key = KeyOfName(GetServerType() == stASA ? DbOwner() : Schema, AName);
        Relation = Container->FindTable(key);
        if (!Relation) Relation = Container->FindView(key);
    }
    TableName = AName;
}

bool TTrgData::HasTable() const {
    return !TableName.empty() && TableName != "DATABASE" && TableName != "ALL SERVER" &&
           !IsIBDatabaseTriggerType(TriggerType) && !IsIBDDLTriggerType(TriggerType);
}

std::string TTrgData::GetEmptyBody() const {
    switch (GetServerType()) {
    case stMSSQL: return " declare @i integer;\r\nbegin set @i = 0; end";
    case stMySQL: return " BEGIN END";
    default: return " AS Declare variable I integer;\r\nBEGIN I = 0; END";
    }
}

// The body as SetSource would store it, so that the empty text equals the one an emptied
// trigger writes.
std::string TTrgData::GetEmptyCreateSQL() { return CreateText(NormalizeLineBreaks(GetEmptyBody())); }

void TTrgData::SetBodyEmptied(bool Value) {
    BodyEmptied = Value;
    if (TTrgData* other = AsTrigger(Counterpart)) other->BodyEmptied = Value;
}

void TTrgData::EmptyBody(bool AddStatement) {
    if (!GetExists() || BodyIsEmpty()) return;
    SetSource(GetEmptyBody());
    // An empty body uses nothing.
    for (int i = 0; i < DependsOn.Count(); ++i) DependsOn.Items(i)->Active = false;
    if (TCustomObjs* master = Container ? Container->GetMasterObjs() : nullptr)
        if (TDbObj* m = master->FindTrigger(GetKeyName())) m->SetBodyEmptied(true);
    if (AddStatement && GetExists()) AddOwnStatement(GetAlterSQL(), skTrigger, Name, dboTrigger, saAlter);
}

std::string TTrgData::GetIBTriggerEvents() const {
    if (IsIBDDLTriggerType(TriggerType)) return GetIBDDLTriggerEvents(TriggerType);
    if (TableName == "DATABASE" || IsIBDatabaseTriggerType(TriggerType)) {
        std::string event = EventText;
        const int64_t number = TriggerType - IBDatabaseKind;
        if (event.empty() && IsIBDatabaseTriggerType(TriggerType) && number >= 0 && number < 5)
            event = IBDatabaseEvents[number];
        return "ON " + event + CRLF;
    }
    const int64_t t = TriggerType + 1;
    std::string s = (t & 1) ? "AFTER " : "BEFORE ";
    s += GetTriggerEventWord(static_cast<int>((t >> 1) & 3));
    for (int shift : {3, 5}) {
        const char* word = GetTriggerEventWord(static_cast<int>((t >> shift) & 3));
        if (*word) s += std::string(" OR ") + word;
    }
    return s;
}

std::string TTrgData::EventList(const std::string& Separator) const {
    std::string s;
    for (auto [bit, word] : {std::pair{evInsert, "INSERT"}, {evUpdate, "UPDATE"}, {evDelete, "DELETE"}})
        if (Events & bit) s += (s.empty() ? "" : Separator) + word;
    return s;
}

std::string TTrgData::IBHead() {
    std::string s = "CREATE TRIGGER " + QuoteName(Name);
    s += HasTable() ? " FOR " + QuoteName(TableName) + CRLF : std::string(CRLF);
    s += Active ? "ACTIVE " : "INACTIVE ";
    s += GetIBTriggerEvents();
    return s + " POSITION " + std::to_string(TriggerPosition) + " " + CRLF;
}

std::string TTrgData::MySQLHead() {
    std::string s = "CREATE TRIGGER " + QuoteName(Name) + " ";
    if (Timing == tmBefore) s += "BEFORE ";
    if (Timing == tmAfter) s += "AFTER ";
    // MySQL takes one event: the last one set.
    const char* event = "";
    for (auto [bit, word] : {std::pair{evInsert, "INSERT"}, {evUpdate, "UPDATE"}, {evDelete, "DELETE"}})
        if (Events & bit) event = word;
    return s + event + " ON " + QuoteName(TableName) + CRLF + "     FOR EACH ROW" + CRLF;
}

std::string TTrgData::ASAHead() {
    std::string s = "CREATE TRIGGER \r\n" + Name + " ";
    const std::string owner = DbOwner().empty() ? std::string() : DbOwner() + ".";
    if (TransactSqlStyle)
        return s + "ON " + owner + QuoteName(TableName) + CRLF + "  FOR " + EventList(", ") + CRLF + "  AS" + CRLF;
    if (Timing == tmBefore) s += "BEFORE ";
    if (Timing == tmAfter) s += "AFTER ";
    std::string events;
    for (auto [bit, word] : {std::pair{evInsert, "INSERT"}, {evUpdate, "UPDATE"}, {evDelete, "DELETE"}}) {
        if (!(Events & bit)) continue;
        events += (events.empty() ? "" : ", ") + std::string(word);
        if (bit == evUpdate && UpdateColumns.Count() > 0) {
            events += " OF";
            for (int i = 0; i < UpdateColumns.Count(); ++i) events += (i ? "," : "") + (" " + QuoteName(UpdateColumns[i]));
        }
    }
    s += events;
    if (TriggerPosition != 0) s += " ORDER " + std::to_string(TriggerPosition);
    s += " ON" + std::string(CRLF) + owner + TableName + CRLF;
    if (!OldAlias.empty() || !NewAlias.empty() || !RemoteAlias.empty()) {
        s += "REFERENCING";
        if (!OldAlias.empty()) s += " OLD AS " + QuoteName(OldAlias);
        if (!NewAlias.empty()) s += " NEW AS " + QuoteName(NewAlias);
        if (!RemoteAlias.empty()) s += " REMOTE AS " + QuoteName(RemoteAlias);
        s += CRLF;
    }
    if (ForEachRow) s += "FOR EACH ROW" + std::string(CRLF);
    if (ForEachStatement) s += "FOR EACH STATEMENT" + std::string(CRLF);
    return s;
}

std::string TTrgData::MSSQLHead(const std::string& Word) {
    std::string s = Word + "TRIGGER ";
    std::string events;
    if (TableName == "DATABASE" || TableName == "ALL SERVER") {
        s += QuoteName(Name) + " ON " + TableName;
        events = EventText;
    } else {
        s += GetQualifiedName() + " ON " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") +
             QuoteName(TableName);
        events = EventList(", ");
    }
    if (Timing == tmAfter) s += CRLF + std::string(" AFTER ");
    if (Timing == tmFor) s += CRLF + std::string(" FOR ");
    if (Timing == tmInsteadOf) s += CRLF + std::string(" INSTEAD OF ");
    // A table trigger of another timing (a BEFORE trigger of another dialect) takes the plain
    // form: without a word its events would run into the table's name.
    const bool timed = Timing == tmAfter || Timing == tmFor || Timing == tmInsteadOf;
    if (!timed && TableName != "DATABASE" && TableName != "ALL SERVER") s += CRLF + std::string(" FOR ");
    s += events + CRLF;
    if (WithAppend) s += " WITH APPEND" + std::string(CRLF);
    if (NotForReplication) s += " NOT FOR REPLICATION" + std::string(CRLF);
    return s + " AS" + CRLF;
}

std::string TTrgData::OracleHead() {
    const std::string schema = Schema.empty() ? std::string() : QuoteName(Schema) + ".";
    std::string s = "CREATE OR REPLACE TRIGGER " + schema + QuoteName(Name) + CRLF;
    if (Timing == tmBefore) s += "  BEFORE ";
    if (Timing == tmAfter) s += "  AFTER ";
    if (Timing == tmInsteadOf) s += "  INSTEAD OF ";
    std::string events;
    if (Events & evInsert) events += "INSERT OR ";
    if (Events & evUpdate) {
        events += "UPDATE ";
        if (UpdateColumns.Count() > 0) {
            std::string cols;
            for (int i = 0; i < UpdateColumns.Count(); ++i) cols += (i ? ", " : "") + QuoteName(UpdateColumns[i]);
            events += " OF " + cols + " ";
        }
        events += "OR ";
    }
    if (Events & evDelete) events += "DELETE OR ";
    s += DropTail(events, 4) + " ON " + schema + QuoteName(TableName) + CRLF;
    if (!NewAlias.empty() || !OldAlias.empty() || !ParentAlias.empty()) {
        s += "  REFERENCING";
        if (!NewAlias.empty()) s += " NEW AS " + QuoteName(NewAlias);
        if (!OldAlias.empty()) s += " OLD AS " + QuoteName(OldAlias);
        if (!ParentAlias.empty()) s += " PARENT AS " + QuoteName(ParentAlias);
        s += CRLF;
    }
    if (ForEachRow) s += "  FOR EACH ROW" + std::string(CRLF);
    if (ForEachStatement) s += "  FOR EACH STATEMENT" + std::string(CRLF);
    if (!WhenCondition.empty()) s += "  WHEN " + WhenCondition + CRLF;
    return s;
}

namespace {
// "INSERT OR UPDATE OR DELETE" for the set bits (PostgreSQL and DB2).
std::string OrEvents(uint8_t Events) {
    std::string s;
    if (Events & evInsert) s += "INSERT OR ";
    if (Events & evUpdate) s += "UPDATE OR ";
    if (Events & evDelete) s += "DELETE OR ";
    return DropTail(s, 4);
}
} // namespace

std::string TTrgData::PostgreSQLHead() {
    std::string s = "CREATE TRIGGER " + QuoteName(Name) + CRLF;
    if (Timing == tmBefore) s += "  BEFORE";
    if (Timing == tmAfter) s += "  AFTER";
    s += " " + OrEvents(Events) + CRLF;
    // A table without schema is named alone rather than as ".name".
    s += "  ON " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(TableName) + CRLF;
    if (ForEachRow) s += "  FOR EACH ROW" + std::string(CRLF);
    if (ForEachStatement) s += "  FOR EACH STATEMENT" + std::string(CRLF);
    return s;
}

std::string TTrgData::DB2Head() {
    std::string s = "CREATE TRIGGER " + QuoteName(Name) + CRLF;
    if (Timing == tmBefore) s += "  NO CASCADE BEFORE";
    if (Timing == tmAfter) s += "  AFTER";
    s += " " + OrEvents(Events);
    if (UpdateColumns.Count() > 0) {
        std::string cols;
        for (int i = 0; i < UpdateColumns.Count(); ++i) cols += (i ? ", " : "") + UpdateColumns[i];
        s += " OF " + cols;
    }
    s += " ON " + QuoteName(TableName) + CRLF;
    if (!NewAlias.empty() || !OldAlias.empty() || !NewTableAlias.empty() || !OldTableAlias.empty()) {
        s += "  REFERENCING" + std::string(CRLF);
        if (!NewAlias.empty()) s += "  NEW AS " + NewAlias + CRLF;
        if (!OldAlias.empty()) s += "  OLD AS " + OldAlias + CRLF;
        if (!NewTableAlias.empty()) s += "  NEW_TABLE AS " + NewTableAlias + CRLF;
        if (!OldTableAlias.empty()) s += "  OLD_TABLE AS " + OldTableAlias + CRLF;
    }
    if (ForEachRow) s += "  FOR EACH ROW";
    if (ForEachStatement) s += "  FOR EACH STATEMENT";
    s += " MODE " + TriggerMode + CRLF;
    if (!WhenCondition.empty()) s += "  WHEN " + WhenCondition + CRLF;
    return s;
}

std::string TTrgData::CreateText(const std::string& Body) {
    switch (GetServerType()) {
    case stMSSQL:
    case stASE: return Body.empty() ? std::string() : MSSQLHead("CREATE ") + Body;
    case stOracle: return OracleHead() + Body;
    case stASA: return ASAHead() + Body;
    case stPostgreSQL: return PostgreSQLHead() + Body;
    case stDB2: return DB2Head() + Body;
    case stMySQL: return MySQLHead() + Body;
    default: return IBHead() + Body;
    }
}

std::string TTrgData::GetAlterSQL() {
    if (GetServerType() == stMSSQL) return MSSQLHead("ALTER ") + Source();
    return "ALTER TRIGGER " + QuoteName(Name) + CRLF + Source();
}

std::string TTrgData::GetDropSQL() {
    std::string s = "DROP TRIGGER ";
    const std::string schema = Schema.empty() ? std::string() : QuoteName(Schema) + ".";
    switch (GetServerType()) {
    case stASA: return s + QuoteName(DbOwner()) + "." + QuoteName(TableName) + "." + QuoteName(Name);
    case stPostgreSQL: return s + QuoteName(Name) + " ON " + QuoteName(Schema) + "." + QuoteName(TableName);
    case stMSSQL:
        if (TableName == "DATABASE" || TableName == "ALL SERVER") return s + QuoteName(Name) + " ON " + TableName;
        return s + schema + QuoteName(Name);
    case stOracle: return s + schema + QuoteName(Name);
    default: return s + QuoteName(Name);
    }
}

std::string TTrgData::GetStoredSQL() {
    if (StoredBody.empty()) StoredBody = Source();
    return CreateText(StoredBody);
}

void TTrgData::DropDependents() {
    // A trigger of a view: the other triggers that use that view lose their bodies first.
    TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr;
    // The target files its views under their keys (schema, name prefix).
    const std::string viewKey = Relation ? Relation->GetKeyName() : TableName;
    if (TDbObj* view = target ? target->FindView(viewKey) : nullptr) {
        for (int i = 0; i < view->UsedBy.Count(); ++i) {
            TDependObj* e = view->UsedBy.Items(i);
            TDbObj* other = e->Ref;
            if (!e->Active || !other || other->Kind != dboTrigger || other->Name == Name) continue;
            if (!other->GetExists() || other->BodyIsEmpty()) continue;
            other->EmptyBody(true);
            e->Active = false;
        }
    }
    TDbObj::DropDependents();
}

// ---- passes ----

void WriteUpdateWithoutTriggers(TCustomObjs& Target, TCustomSQLExec& Exec, const std::string& TableName,
                                const std::function<void()>& WriteUpdates) {
    std::vector<TTrgData*> active;
    const TDbObjList& triggers = Target.List(olTriggers);
    for (int i = 0; i < triggers.Count(); ++i) {
        TTrgData* t = AsTrigger(triggers.Obj(i));
        if (t && t->GetExists() && t->Active && t->HasTable() && t->TableName == TableName && (t->Events & evUpdate))
            active.push_back(t);
    }
    auto turn = [&](const char* State) {
        for (TTrgData* t : active)
            Exec.AddStatement("ALTER TRIGGER " + t->QuoteName(t->Name) + " " + State, skStatement, t->Name, dboTrigger,
                              saAlter);
    };
    turn("INACTIVE");
    WriteUpdates();
    Exec.AddCommit();
    turn("ACTIVE");
}

void WriteEmptyTriggerBodies(TCustomObjs& /*Master*/, TCustomObjs& Target, TCustomSQLExec& Exec,
                             TCmpObjSetType /*Compare*/) {
    const TDbObjList& list = Target.List(olTriggers);
    for (int i = 0; i < list.Count(); ++i) {
        TTrgData* t = AsTrigger(list.Obj(i));
        if (!t || t->NoScript || t->Counterpart || !t->Relation || t->Relation->Kind != dboView) continue;
        if (t->BodyIsEmpty()) continue;
        t->SetSource(t->GetEmptyBody());
        Exec.AddComment(t->MakeComment("Empty trigger body before drop..."));
        Exec.AddStatement(t->GetAlterSQL(), skTrigger, t->Name, dboTrigger, saEmptyBeforeDrop);
    }
}

void WriteDropTriggers(TCustomObjs& /*Master*/, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType /*Compare*/) {
    DropTargetOnly(Exec, Target.List(olTriggers), "/* Drop Trigger... */");
}

void WriteCreateTriggers(TCustomObjs& Master, TCustomObjs& /*Target*/, TCustomSQLExec& Exec, TCmpObjSetType Compare) {
    TPassSection section(Exec, "/* Create trigger... */");
    const TDbObjList& list = Master.List(olTriggers);
    for (int i = 0; i < list.Count(); ++i) {
        TTrgData* m = AsTrigger(list.Obj(i));
        if (!m || m->NoScript || m->Counterpart || m->GetExists()) continue;
        section.Open();
        m->CreateDependDef();
        if (!Compare.Contains(coDescription) || m->Description().empty()) continue;
        if (m->GetServerType() == stASA)
            // The description as a literal: a quote inside it must not end the statement.
            Exec.AddStatement("COMMENT ON TRIGGER " + m->QuoteName(m->Name) + " IS " +
                                  QuoteSQLString(m->Description(), stASA),
                              skStatement, m->Name, dboTrigger, saDescription);
        else if (m->GetServerType() == stInterBase)
            Exec.AddDescription(m);
    }
    section.Close();
}

void WriteAlterTriggers(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const bool descriptions = Q.CompareObjects.Contains(coDescription);
    // ALTER TRIGGER with a new body keeps the head; older InterBase versions re-create instead.
    const bool alterBody =
        target->ServerType() == stInterBase && AtLeast(target->IBServerOptions.SQLServerVersion, st_InterBase_6x);
    const TDbObjList& list = master->List(olTriggers);
    for (int i = 0; i < list.Count(); ++i) {
        TTrgData* m = AsTrigger(list.Obj(i));
        if (!m || m->NoScript) continue;
        TTrgData* t = AsTrigger(m->Counterpart);
        const bool tExists = t && t->GetExists();
        // Dropped along the way with its table (a table replaced by a global temporary one,
        // say): the create pass only takes new triggers, so it is created again here.
        const bool dropped = t && !tExists && !m->GetExists();
        bool changed = dropped;
        if (tExists && t->GetCreateSQL() != m->GetCreateSQL()) {
            exec->AddComment(m->MakeComment("Alter exist trigger..."));
            changed = true;
        } else if (tExists && m->BodyEmptied) {
            changed = true;
        } else if (!tExists && m->GetExists() && m->CreatedBody != m->Source()) {
            exec->AddComment(m->MakeComment("Alter created trigger..."));
            changed = true;
        }
        if (!changed) {
            if (descriptions && tExists && m->Description() != t->Description()) exec->AddDescription(m);
            continue;
        }
        if (dropped || (tExists && t->GetEmptyCreateSQL() != m->GetEmptyCreateSQL())) {
            // Gone, or the head changed (table, activity, type, position, ...): only a new
            // trigger has the master's head.
            if (tExists) t->DoDrop();
            m->CreateDependDef();
        } else if (alterBody) {
            if (!tExists || t->Source() != m->Source() || m->BodyEmptied) {
                m->CreateDependencies();
                exec->AddStatement(m->GetAlterSQL(), skTrigger, m->Name, dboTrigger, saAlter);
                m->MarkCreated();
                // The target's trigger has the master's body now, so a later pass that empties
                // it again sees a body to empty.
                if (t) t->SetSource(m->Source());
            }
        } else {
            if (tExists) t->DoDrop();
            m->CreateDependencies();
            if (!m->GetExists()) {
                exec->AddStatement(m->GetCreateSQL(), skTrigger, m->Name, dboTrigger, saCreate);
                m->MarkCreated();
            } else {
                exec->AddStatement(m->GetAlterSQL(), skTrigger, m->Name, dboTrigger, saCreate);
            }
        }
        m->SetBodyEmptied(false);
        if (descriptions && !m->Description().empty()) exec->AddDescription(m);
    }
}

} // namespace qnl
