// PLACEHOLDERS: see the header. Each does nothing until its kind unit replaces it; the same goes
// for the comparer's converters of a master of another dialect.
#include "objects/qnlPendingPasses.h"

#include "objects/qnlQuarnel.h"

namespace qnl {

// ---- conversion of a master of another dialect ----

void TQuarnel::ConvertToASA() {}
void TQuarnel::ConvertToMySQL() {}
void TQuarnel::ConvertToMSSQL() {}
void TQuarnel::ConvertToPostgreSQL() {}

} // namespace qnl
