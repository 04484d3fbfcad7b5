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

} // namespace qnl
