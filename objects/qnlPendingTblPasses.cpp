// PLACEHOLDERS: see the header. Each does nothing until its kind unit replaces it.
#include "objects/qnlPendingTblPasses.h"

namespace qnl {

void MatchTables(TCustomQuarnel&) {}
void WriteCreateSchemas(TCustomQuarnel&) {}
void WriteAlterSchemas(TCustomQuarnel&) {}
void WriteDropSchemas(TCustomQuarnel&) {}
void WriteCreateTables(TCustomQuarnel&) {}
void WriteCreateFields(TCustomQuarnel&) {}
void WriteAlterTables(TCustomQuarnel&) {}
void WriteDropTables(TCustomQuarnel&) {}
void WriteColumnPositions(TCustomQuarnel&) {}
void WriteCreatePublications(TCustomQuarnel&) {}
void WriteAlterPublications(TCustomQuarnel&) {}
void WriteDropPublications(TCustomQuarnel&) {}

void WriteCreateIndices(TCustomQuarnel&) {}
void WriteAlterIndices(TCustomQuarnel&) {}
void WriteDropIndices(TCustomQuarnel&) {}

void WriteCreateConstraints(TCustomQuarnel&, uint32_t) {}
void WriteDropConstraints(TCustomQuarnel&) {}

void MergeMySQLTableOptions(TDbObj&, TDbObj&) {}
void MergeOracleTableStorage(TDbObj&, TDbObj&) {}

} // namespace qnl
