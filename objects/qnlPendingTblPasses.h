#pragma once
// PLACEHOLDERS, to be replaced: the passes and fix-ups of tables (with schemas and publications),
// indices and constraints, whose kinds are being built at the same time in their own units.
// The comparer calls them in its fixed order; until those units land, each does nothing. When
// they land, this header and its .cpp go and the comparer includes the kind units instead.
#include <cstdint>

namespace qnl {

class TCustomQuarnel;
class TDbObj;

// Tables, schemas and publications.
void MatchTables(TCustomQuarnel& Q);
void WriteCreateSchemas(TCustomQuarnel& Q);
void WriteAlterSchemas(TCustomQuarnel& Q);
void WriteDropSchemas(TCustomQuarnel& Q);
void WriteCreateTables(TCustomQuarnel& Q);
void WriteCreateFields(TCustomQuarnel& Q);
void WriteAlterTables(TCustomQuarnel& Q);
void WriteDropTables(TCustomQuarnel& Q);
void WriteColumnPositions(TCustomQuarnel& Q);
void WriteCreatePublications(TCustomQuarnel& Q);
void WriteAlterPublications(TCustomQuarnel& Q);
void WriteDropPublications(TCustomQuarnel& Q);

// Indices.
void WriteCreateIndices(TCustomQuarnel& Q);
void WriteAlterIndices(TCustomQuarnel& Q);
void WriteDropIndices(TCustomQuarnel& Q);

// Constraints. Types: bit n set = constraint type n.
void WriteCreateConstraints(TCustomQuarnel& Q, uint32_t Types);
void WriteDropConstraints(TCustomQuarnel& Q);

// The dialect fix-ups of a master table and its target counterpart after extraction: for a
// MySQL target each of Engine, DefaultCharset (through SetDefaultCharSet) and DefaultCollate set
// on one side only is copied to the other; for an Oracle target the two table spaces fill each
// other's empty items (TTableSpace::Merge) and a STORAGE clause or tablespace name that only one
// side has is cleared on that side.
void MergeMySQLTableOptions(TDbObj& MasterTable, TDbObj& TargetTable);
void MergeOracleTableStorage(TDbObj& MasterTable, TDbObj& TargetTable);

} // namespace qnl
