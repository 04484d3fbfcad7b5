#pragma once
// Rules: an MSSQL rule (a condition bound to columns) and a PostgreSQL rule (a command run on an
// event of a table), their texts, and the passes that create, alter and drop them.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"

#include <cstdint>
#include <string>

namespace qnl {

// Rule events.
inline constexpr uint8_t reInsert = 1, reUpdate = 2, reDelete = 3, reSelect = 5;

class TRulData : public TDbObj {
public:
    explicit TRulData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboRule; }
    std::string ClassName() const override { return "TRulData"; }

    std::string Body;  // the MSSQL condition or the PostgreSQL command
    uint8_t RuleEvent = 0;
    std::string TableName;
    std::string TableSchema;
    std::string DoKind;  // the word after DO (INSTEAD, ALSO)
    bool DoNothing = false;

    std::string GetCreateSQL() override;
    std::string GetCreateStatement() override { return GetCreateSQL(); }
    // PostgreSQL: "DROP RULE IF EXISTS name ON table"; the other dialects the base's text.
    std::string GetDropSQL() override;
    TObjListKind GetObjList() const override { return olRules; }
};

void WriteCreateRules(TCustomQuarnel& Q);
void WriteAlterRules(TCustomQuarnel& Q);
void WriteDropRules(TCustomQuarnel& Q);

} // namespace qnl
