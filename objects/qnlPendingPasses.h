#pragma once
// PLACEHOLDERS, to be replaced: the passes of the object kinds that later work builds (domains,
// conversions, external functions, triggers, views, operators, defaults, rules,
// collations, packages, roles and grants). The comparer calls each in its fixed order; until its
// kind unit lands, it does nothing. Each kind unit takes its routines out of here when it lands.
#include "core/qnlTypes.h"

namespace qnl {

class TCustomQuarnel;
class TCustomObjs;
class TCustomSQLExec;

// Collations, defaults and rules.
void WriteCreateCollations(TCustomQuarnel& Q);
void WriteAlterCollations(TCustomQuarnel& Q);
void WriteDropCollations(TCustomQuarnel& Q);
void WriteCreateDefaults(TCustomQuarnel& Q);
void WriteAlterDefaults(TCustomQuarnel& Q);
void WriteDropDefaults(TCustomQuarnel& Q);
void WriteCreateRules(TCustomQuarnel& Q);
void WriteAlterRules(TCustomQuarnel& Q);
void WriteDropRules(TCustomQuarnel& Q);

// Domains and conversions.
void WriteCreateDomains(TCustomQuarnel& Q);
void WriteAlterDomains(TCustomQuarnel& Q);
void WriteDropDomains(TCustomQuarnel& Q);
void WriteCreateConversions(TCustomQuarnel& Q);
void WriteAlterConversions(TCustomQuarnel& Q);
void WriteDropConversions(TCustomQuarnel& Q);

// Operators and operator classes.
void WriteCreateOperators(TCustomQuarnel& Q);
void WriteAlterOperators(TCustomQuarnel& Q);
void WriteDropOperators(TCustomQuarnel& Q);
void WriteCreateOperatorClasses(TCustomQuarnel& Q);
void WriteAlterOperatorClasses(TCustomQuarnel& Q);
void WriteDropOperatorClasses(TCustomQuarnel& Q);

// External functions.
void WriteDeclareUDFs(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);
void WriteAlterUDFs(TCustomQuarnel& Q);
void WriteDropUDFs(TCustomObjs& Master, TCustomObjs& Target, TCustomSQLExec& Exec, TCmpObjSetType Compare);

// Packages.
void WriteDropPackages(TCustomQuarnel& Q);
void WriteAlterPackages(TCustomQuarnel& Q);
void WriteCreatePackages(TCustomQuarnel& Q);

// Roles and grants.
void WriteCreateRoles(TCustomQuarnel& Q);
void WriteAlterRoles(TCustomQuarnel& Q);
void WriteDropRoles(TCustomQuarnel& Q);
void WriteCreateGrants(TCustomQuarnel& Q);
void WriteDropGrants(TCustomQuarnel& Q);

} // namespace qnl
