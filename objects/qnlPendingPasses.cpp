// PLACEHOLDERS: see the header. Each does nothing until its kind unit replaces it; the same goes
// for the comparer's converters of a master of another dialect.
#include "objects/qnlPendingPasses.h"

#include "objects/qnlQuarnel.h"

namespace qnl {

void WriteCreateOperators(TCustomQuarnel&) {}
void WriteAlterOperators(TCustomQuarnel&) {}
void WriteDropOperators(TCustomQuarnel&) {}
void WriteCreateOperatorClasses(TCustomQuarnel&) {}
void WriteAlterOperatorClasses(TCustomQuarnel&) {}
void WriteDropOperatorClasses(TCustomQuarnel&) {}

void WriteDeclareUDFs(TCustomObjs&, TCustomObjs&, TCustomSQLExec&, TCmpObjSetType) {}
void WriteAlterUDFs(TCustomQuarnel&) {}
void WriteDropUDFs(TCustomObjs&, TCustomObjs&, TCustomSQLExec&, TCmpObjSetType) {}

void WriteCreateRoles(TCustomQuarnel&) {}
void WriteAlterRoles(TCustomQuarnel&) {}
void WriteDropRoles(TCustomQuarnel&) {}
void WriteCreateGrants(TCustomQuarnel&) {}
void WriteDropGrants(TCustomQuarnel&) {}

// ---- conversion of a master of another dialect ----

void TQuarnel::ConvertToIB() {}
void TQuarnel::ConvertToASA() {}
void TQuarnel::ConvertToMySQL() {}
void TQuarnel::ConvertToMSSQL() {}
void TQuarnel::ConvertToPostgreSQL() {}

} // namespace qnl
