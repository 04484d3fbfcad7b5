#pragma once
// Triggers of every dialect: their heads and CREATE, ALTER and DROP texts, the placeholder body
// each dialect accepts, emptying a body while something it uses changes, and the comparer's four
// trigger passes. Firebird's database triggers (ON CONNECT, ...) and DDL triggers (BEFORE CREATE
// TABLE, ...) are triggers without a table; their kind is in the type code, which Firebird 3
// stores as a 64-bit number.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Tbl.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace qnl {

class TCustomQuarnel;

// Timing codes and the Events bits of a trigger.
inline constexpr uint8_t tmBefore = 1, tmAfter = 2, tmFor = 4, tmInsteadOf = 5;
inline constexpr uint8_t evInsert = 1u << 1, evUpdate = 1u << 2, evDelete = 1u << 3;

// The table events of InterBase/Firebird type codes: timing in the low byte of TimingEvents,
// the Events bits in the high byte.
struct TTrgType {
    int64_t TypeCode;
    uint16_t TimingEvents;
    const char* Text;
};
inline constexpr std::array<TTrgType, 14> TriggerTypes{{
    {1, 513, "BEFORE INSERT"},
    {2, 514, "AFTER INSERT"},
    {3, 1025, "BEFORE UPDATE"},
    {4, 1026, "AFTER UPDATE"},
    {5, 2049, "BEFORE DELETE"},
    {6, 2050, "AFTER DELETE"},
    {17, 1537, "BEFORE INSERT OR UPDATE"},
    {18, 1538, "AFTER INSERT OR UPDATE"},
    {25, 2561, "BEFORE INSERT OR DELETE"},
    {26, 2562, "AFTER INSERT OR DELETE"},
    {27, 3073, "BEFORE UPDATE OR DELETE"},
    {28, 3074, "AFTER UPDATE OR DELETE"},
    {113, 3585, "BEFORE INSERT OR UPDATE OR DELETE"},
    {114, 3586, "AFTER INSERT OR UPDATE OR DELETE"},
}};

// 1 "INSERT", 2 "UPDATE", 3 "DELETE"; nothing for 0.
const char* GetTriggerEventWord(int Code);

// Firebird type codes beyond the table events: bits 13 and 14 tell a database trigger (8192 +
// the event number) and a DDL trigger (16384 + one bit per DDL event; bit 0 set for AFTER).
bool IsIBDatabaseTriggerType(int64_t TypeCode);
bool IsIBDDLTriggerType(int64_t TypeCode);
// The event words of a Firebird DDL trigger type: "BEFORE CREATE TABLE OR ALTER TABLE",
// "AFTER ANY DDL STATEMENT", ...
std::string GetIBDDLTriggerEvents(int64_t TypeCode);
// The bit of a DDL event ("CREATE TABLE", "ALTER CHARACTER SET", ...) in a DDL trigger's type
// code; 0 for a text that is no DDL event.
int GetIBDDLEventBit(const std::string& EventText);
// The type code of a DDL trigger BEFORE or AFTER the events of EventBits (bit n for event bit
// n), or of ANY DDL STATEMENT when AnyStatement.
int64_t GetIBDDLTriggerType(bool After, uint64_t EventBits, bool AnyStatement);
// The type code of a database trigger ON Event ("CONNECT", ...); 0 for an unknown event.
int64_t GetIBDatabaseTriggerType(const std::string& Event);

class TTrgData : public TDbObj {
public:
    explicit TTrgData(TCustomObjs* AContainer);
    std::string ClassName() const override { return "TTrgData"; }

    // The table or view; "DATABASE" for an InterBase/Firebird database or DDL trigger (and an
    // MSSQL database DDL trigger), "ALL SERVER" for an MSSQL server DDL trigger.
    std::string TableName;
    // The container's table, else view, of TableName; nullptr when it has neither.
    TDbObj* Relation = nullptr;
    bool BodyEmptied = false;
    std::string StoredBody;
    std::string CreatedBody;
    bool Active = true;
    uint8_t Timing = 0;
    uint8_t Events = 0;
    int32_t TriggerPosition = 0;
    int64_t TriggerType = 0;
    TColumnNameList UpdateColumns;
    std::string NewAlias;
    std::string OldAlias;
    std::string RemoteAlias;    // ASA
    std::string NewTableAlias;  // DB2
    std::string OldTableAlias;  // DB2
    std::string ParentAlias;    // Oracle
    std::string WhenCondition;
    bool ForEachRow = false;
    bool ForEachStatement = false;
    std::string TriggerMode;  // DB2 MODE
    bool TransactSqlStyle = false;
    bool WithAppend = false;
    bool NotForReplication = false;
    // InterBase/Firebird database trigger: the event after "ON "; MSSQL DDL trigger: its events.
    std::string EventText;
    // Firebird 3's external-engine trigger: its source is ExternalEngineClause of these.
    std::string ExternalName;
    std::string EngineName;

    // Stores the name and links the container's table or view of that name.
    void SetTableName(const std::string& AName);
    // The CREATE text with the dialect's placeholder body.
    std::string GetEmptyCreateSQL();
    std::string GetStubCreateSQL() override { return GetEmptyCreateSQL(); }
    // The event part of the InterBase/Firebird head.
    std::string GetIBTriggerEvents() const;
    // A table of the head's FOR clause: not a database, DDL or server trigger.
    bool HasTable() const;

    // Replaces the body of a trigger that exists at this point of the script by the placeholder
    // body and marks the master trigger for restoring; with AddStatement the ALTER is written.
    void EmptyBody(bool AddStatement = true) override;
    void SetBodyEmptied(bool Value) override;
    std::string GetEmptyBody() const override;
    void SetCreatedBody(const std::string& Body) override { CreatedBody = Body; }

    // ---- TDbObj ----
    std::string GetCreateSQL() override { return CreateText(Source()); }
    std::string GetAlterSQL() override;
    std::string GetDropSQL() override;
    std::string GetStoredSQL() override;
    void DropDependents() override;
    TObjListKind GetObjList() const override { return olTriggers; }
    std::string GetOwnerName() const override { return TableName; }
    TDbObj* GetRelation() const override { return Relation; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcTrigger, TableName, Relation}; }

private:
    // The CREATE text of the trigger's dialect around Body.
    std::string CreateText(const std::string& Body);
    std::string IBHead();
    std::string MySQLHead();
    std::string ASAHead();
    std::string MSSQLHead(const std::string& Word);
    std::string OracleHead();
    std::string PostgreSQLHead();
    std::string DB2Head();
    // The set events joined by Separator in the order INSERT, UPDATE, DELETE.
    std::string EventList(const std::string& Separator) const;
};

// Writes the data change of WriteUpdates on the rows of table TableName, committed after it, with
// the table's active UPDATE triggers that exist at this point of the script switched off before
// it and on again after it: a fill of one column must not change the others through a trigger.
void WriteUpdateWithoutTriggers(TCustomObjs& Target, TCustomSQLExec& Exec, const std::string& TableName,
                                const std::function<void()>& WriteUpdates);

// The comparer's trigger passes.
// Target-only triggers of views get the placeholder body before anything is dropped.
void WriteEmptyTriggerBodies(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteDropTriggers(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteCreateTriggers(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
// Changed triggers: one ALTER when only the body differs, else drop and create; bodies emptied
// on the way (and those of triggers created with a view) are restored.
void WriteAlterTriggers(TCustomQuarnel& Q);

} // namespace qnl
