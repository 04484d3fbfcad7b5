#pragma once
// Case-ignoring comparison of 8-bit text the way a Western Windows desktop compares it (code
// page 1252): besides ASCII, the accented Latin letters and the few letters above 0x80 fold to
// their capitals. Used where texts from a case-insensitive server must count as equal.
#include <string_view>

namespace qnl {

// The capital of an 8-bit character in code page 1252; other bytes are answered unchanged.
unsigned char AnsiUpperChar(unsigned char C);
// Negative, zero or positive as A sorts before, equal to or after B, letter case ignored.
int AnsiCompareText(std::string_view A, std::string_view B);
inline bool AnsiSameText(std::string_view A, std::string_view B) { return AnsiCompareText(A, B) == 0; }

} // namespace qnl
