#pragma once
// The conversion of a master of one dialect into the target's: names, types, lengths and
// defaults as the target's server takes them. The comparer's converters (TQuarnel::ConvertTo*)
// apply these helpers to every object of the master; what has no form in the target is logged,
// never passed on silently.
#include "core/qnlDBOptions.h"
#include "core/qnlTypes.h"

#include <functional>
#include <string>

namespace qnl {

class TFldData;

// Where a conversion reports what it cannot carry over.
using TConvertLog = std::function<void(const std::string&)>;

// The name cut to its first 31 characters.
std::string TruncateName31(const std::string& Name);

// The text without the outer pairs of parentheses that enclose all of it: "((1))" is "1",
// "((1)+(2))" is "(1)+(2)", "(1)+(2)" stays.
std::string StripEnclosingParentheses(const std::string& Text);

// The InterBase/Firebird character set of Unicode text on that server version.
std::string UnicodeCharSetForIB(TIBSQLServerVersionType Version);

// A default as InterBase/Firebird takes it: enclosing parentheses removed, GETDATE() the current
// timestamp, NEWID() none, N'x' a plain literal; empty when the text has no form there (an
// expression or a function the server does not know), which Log then names. Column names the
// column for the log.
std::string ConvertDefaultToIB(const std::string& Text, TIBSQLServerVersionType Version, const std::string& Column,
                               const TConvertLog& Log);

// The column's type (and its default) as InterBase/Firebird takes it; Unicode is the character
// set of national types, FromMSSQL tells that VARCHAR(MAX) means a text blob.
void ConvertFieldTypeToIB(TFldData& Column, bool FromMSSQL, const std::string& Unicode,
                          TIBSQLServerVersionType Version, const TConvertLog& Log);

// ---- MySQL ----

// A keyword gets "_" appended; blanks become "_".
std::string GetMySQLName(const std::string& Name);
// A default as MySQL takes it. TimestampUsed tells that the table has its one CURRENT_TIMESTAMP
// column already; the first such default takes it (and makes the column NOT NULL), later ones
// are dropped.
std::string ConvertDefaultToMySQL(TFldData& Column, const std::string& Text, bool& TimestampUsed);
// The column's type as MySQL takes it (the table's timestamp flag as for the default).
void ConvertFieldTypeToMySQL(TFldData& Column, bool FromIB, bool& TimestampUsed);

// ---- MSSQL and ASA ----

// The column's type as MSSQL takes it; MasterCharSet is the master database's default set.
void ConvertFieldTypeToMSSQL(TFldData& Column, bool FromIB, const std::string& MasterCharSet);
// The column's default as the source of an MSSQL default constraint.
std::string DefaultConstraintSource(const std::string& Default);
// The type text of an MSSQL or ASA user type of that column's type.
std::string UserTypeText(const TFldData& Column);
void ConvertFieldTypeToASA(TFldData& Column);

// ---- PostgreSQL ----

void ConvertFieldTypeToPG(TFldData& Column);

} // namespace qnl
