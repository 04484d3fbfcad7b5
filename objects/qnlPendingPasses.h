#pragma once
// PLACEHOLDERS, to be replaced: the passes of the object kinds that later work builds (external
// functions, operators, roles and grants). The comparer calls each in its fixed order; until its
// kind unit lands, it does nothing. Each kind unit takes its routines out of here when it lands.
#include "core/qnlTypes.h"

namespace qnl {

class TCustomQuarnel;
class TCustomObjs;
class TCustomSQLExec;

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

// Roles and grants.
void WriteCreateRoles(TCustomQuarnel& Q);
void WriteAlterRoles(TCustomQuarnel& Q);
void WriteDropRoles(TCustomQuarnel& Q);
void WriteCreateGrants(TCustomQuarnel& Q);
void WriteDropGrants(TCustomQuarnel& Q);

} // namespace qnl
