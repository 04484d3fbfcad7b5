#pragma once
// Columns both sides have whose definitions differ, changed in place: the rating of a type
// change, the InterBase/Firebird alteration (ALTER COLUMN statements, system-table updates where
// the target's version allows them, or a drop and re-create of a computed column), the other
// dialects' alteration texts, the MySQL column move and the MSSQL table re-creation. A change the
// script does not make is written as a comment line that names the column and what was kept.
#include "core/qnlCustomQuarnel.h"
#include "objects/qnlComp_Tbl.h"

namespace qnl {

// System-table updates are written only when the user allows conversions and the target's
// version lets its system tables be changed (not Firebird 3 and later).
bool IBUseSysTableUpdates(const TCustomQuarnel& Q);

// With character sets compared on an InterBase/Firebird target: two plain character columns whose
// character sets differ once each side's database default is taken into account.
bool IBCharSetsDiffer(const TCustomQuarnel& Q, const TFldData& M, const TFldData& T);

// Firebird converts the rows of a column or domain whose character set changes only as it reads
// them: a character the new set lacks makes its row unreadable, long after the script ran. True
// where no row can hold one: the set stays, the old type was not text (numbers and dates are
// written in ASCII), or the new set is Unicode and the old one held characters, not bytes.
bool CharSetChangeKeepsRows(bool WasText, const std::string& OldSet, const std::string& NewSet);

// 0 the same type, 1 a safe conversion, -1 a conversion the server refuses or that loses data.
// Domain-typed columns are rated by their domains' types; a domain that cannot be found rates 1.
int CompareColumnTypes(TFldData& NewColumn, TFldData& OldColumn);

// The InterBase/Firebird alteration of one pair of columns of Table (the master table).
void IBAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T, bool& BlankLineNeeded);
// ALTER TABLE ... ALTER COLUMN ... TYPE, or the comment saying why it is not written.
void IBAlterColumnTypeDDL(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
// Direct updates of RDB$FIELDS, RDB$RELATION_FIELDS and RDB$FIELD_DIMENSIONS.
void IBAlterColumnTypeBySysTables(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);

// The other dialects (DB2 alters nothing).
void OracleAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
void MSSQLAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
void MySQLAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
void PGAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
void ASAAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);
void ASEAlterColumnDefault(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T);

// Two MySQL tables of the same column count: every master column whose place differs is moved
// there (FIRST or AFTER its predecessor in the master).
void MySQLMoveColumn(TCustomQuarnel& Q, TTblData& Master, TTblData& Target);

// MSSQL changes a column's type in place only between types it converts implicitly.
bool MSSQLCanConvertType(const TFldData& NewColumn, const TFldData& OldColumn);

// MSSQL tables whose columns must be reordered are copied, dropped, created in the master's
// column order and filled back from the copy.
void WriteMSSQLRecreateTables(TCustomQuarnel& Q);

} // namespace qnl
