#pragma once
// Exceptions (InterBase/Firebird: a named error message) and events (ASA: a named handler with a
// trigger condition and schedules), their texts and the script passes that create, alter and
// drop them.
#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCustomQuarnel;

class TExcData : public TDbObj {
public:
    explicit TExcData(TCustomObjs* AContainer);
    std::string ClassName() const override { return "TExcData"; }

    std::string Message;

    // "CREATE EXCEPTION name 'message'" with the message's quotes doubled.
    std::string GetCreateSQL() override;
    // "ALTER EXCEPTION name 'message'".
    std::string GetAlterSQL() override;
    TObjListKind GetObjList() const override { return olExceptions; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcException}; }

private:
    std::string MessageLiteral() const;
};

class TEvtData;

// One SCHEDULE clause of an event. Zero counts are not set.
class TEvtSdlData {
public:
    explicit TEvtSdlData(TEvtData* AEvent) : Event(AEvent) {}

    TEvtData* Event;  // the owning event, which quotes the name
    std::string Name;
    std::string StartTime;
    std::string EndTime;
    std::string StartDate;
    int32_t EveryHours = 0;
    int32_t EveryMinutes = 0;
    int32_t EverySeconds = 0;
    // Days of the month: bit n-1 is day n (1..31); the sign bit is day 0.
    uint32_t Days = 0;

    void GetText(std::string& Text) const;
};

class TEvtData : public TDbObj {
public:
    explicit TEvtData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboEvent; }
    std::string ClassName() const override { return "TEvtData"; }

    std::vector<std::unique_ptr<TEvtSdlData>> Schedules;
    std::string AtText;
    bool Enabled = false;
    std::string EventType;
    std::string WhereText;  // the trigger condition
    // The handler body is the inherited Source.

    // Adds a schedule owned by this event and answers it.
    TEvtSdlData* AddSchedule();

    std::string GetCreateSQL() override;
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olEvents; }
};

// Exception passes: they match master and target exceptions by key in the two exception lists
// (not by counterpart) and do not look at NoScript.
void WriteCreateExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteAlterExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteDropExceptions(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);

// Event passes: over the comparer's master and target event lists, matched by counterpart.
void WriteCreateEvents(TCustomQuarnel& Q);
void WriteAlterEvents(TCustomQuarnel& Q);
void WriteDropEvents(TCustomQuarnel& Q);

} // namespace qnl
