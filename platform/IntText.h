#pragma once
// The framework's integer conversion, shared by the comparison library and the data-access layer.
#include <cstdint>
#include <string_view>

namespace qnl {

// Optional leading blanks and sign, then decimal digits, or "$"/"0x" and hexadecimal digits
// (a hexadecimal text covers the whole 32-bit pattern, so $FFFFFFFF is -1), and nothing after
// the number; decimal values must fit in 32 bits. Answers false and leaves Value alone otherwise.
bool TryStrToInt(std::string_view S, int32_t& Value);
// The same for 64 bits: decimal values must fit in 64 bits; a hexadecimal text covers the whole
// 64-bit pattern.
bool TryStrToInt64(std::string_view S, int64_t& Value);

} // namespace qnl
