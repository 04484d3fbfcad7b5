#pragma once
// PLACEHOLDERS, to be replaced: the passes of the object kinds that later work builds
// (operators and operator classes). The comparer calls each in its fixed order; until its kind
// unit lands, it does nothing. Each kind unit takes its routines out of here when it lands.
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

} // namespace qnl
