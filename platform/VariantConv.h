#pragma once
// The framework's conversions between Variant values, numbers and text: what a Variant reads
// as text, and the text-to-number conversions that raise EConvertError with the framework's
// messages. Numbers use FormatSettings.DecimalSeparator.
#include "platform/Exceptions.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qnl {

// Leading and trailing blanks are skipped; then an optional sign, digits with at most one
// decimal separator (at least one digit), and an optional exponent "E"/"e" with optional sign
// and digits. Anything else raises "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view S);
bool TryStrToFloat(std::string_view S, double& Value);
// TryStrToInt64 (platform/IntText.h), raising "'<text>' is not a valid integer value" where
// that answers false.
int64_t StrToInt64(std::string_view S);

// At most 15 significant digits, no trailing zeros, exponent form "1E20" / "1.5E-7" for very
// large or small values.
std::string FloatToStr(double Value);
// FloatToStr's form with as many significant digits as it takes for the text to read back to
// Value (at most 17), or, with Single, to Value as a 4-byte float (at most 9): 0.1 stored in a
// FLOAT reads "0.1", not "0.100000001490116".
std::string FloatToShortestStr(double Value, bool Single = false);
// Up to four decimals, no trailing zeros.
std::string CurrToStr(Currency Value);

// Empty and Null give "", Booleans "True" / "False", dates DateTimeToStr, wide text UTF-8.
// Arrays raise EVariantError.
std::string VarToStr(const Variant& V);
std::u16string VarToWideStr(const Variant& V);
// Wide text and its UTF-8 form (the "system code page" of 8-bit text); a malformed UTF-8
// sequence becomes '?'.
std::string WideToUtf8(std::u16string_view W);
std::u16string Utf8ToWide(std::string_view S);
// The value of a numeric, date, Boolean (True is 1) or BCD Variant; false for other kinds.
bool VarToNumber(const Variant& V, long double& Value);


} // namespace qnl
