// Implements rules and their passes; see qnlComp_Rul.h.
#include "objects/qnlComp_Rul.h"

#include "core/qnlQuote.h"
#include "objects/qnlComp_Def.h"

namespace qnl {

namespace {

const char* EventWord(uint8_t Event) {
    switch (Event) {
    case reSelect: return "SELECT ";
    case reInsert: return "INSERT ";
    case reUpdate: return "UPDATE ";
    case reDelete: return "DELETE ";
    default: return "";
    }
}

} // namespace

std::string TRulData::GetCreateSQL() {
    switch (GetServerType()) {
    case stMSSQL: {
        if (Body.empty()) return {};
        // The name is always bracketed, a "]" inside doubled so it cannot end the name.
        return "CREATE RULE " + QuoteIdentifier(Name, '[', ']') + " AS " + Body;
    }
    case stPostgreSQL: {
        std::string s = "CREATE RULE " + QuoteName(Name) + " AS ON " + EventWord(RuleEvent) + "TO " +
                        QualifiedName(TableSchema, TableName) + " DO";
        if (!DoKind.empty()) s += " " + DoKind;
        if (DoNothing) s += " NOTHING";
        if (!Body.empty()) s += "\r\n " + Body;
        return s;
    }
    default: return "CREATE RULE " + GetQualifiedName() + " AS " + Body;
    }
}

std::string TRulData::GetDropSQL() {
    if (GetServerType() == stPostgreSQL)
        return "DROP RULE IF EXISTS " + QuoteName(Name) + " ON " + QualifiedName(Schema, TableName);
    return TDbObj::GetDropSQL();
}

void WriteCreateRules(TCustomQuarnel& Q) { WriteCreateByKey(Q, olRules, "Create Rule..."); }
void WriteAlterRules(TCustomQuarnel& Q) { WriteAlterByKey(Q, olRules, "Alter Rule..."); }
void WriteDropRules(TCustomQuarnel& Q) { WriteDropByKey(Q, olRules, "Drop Rule..."); }

} // namespace qnl
