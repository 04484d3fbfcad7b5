#include "platform/IntText.h"

#include <cstdint>

namespace qnl {

namespace {

struct NumberText {
    bool Negative = false;
    unsigned Base = 10;
    std::string_view Digits;
};

// Leading blanks, a sign and a "$"/"0x" prefix; false when no digit text follows.
bool SplitNumber(std::string_view S, NumberText& N) {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ') ++i;
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) N.Negative = S[i++] == '-';
    if (i < S.size() && S[i] == '$') {
        N.Base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        N.Base = 16;
        i += 2;
    }
    N.Digits = S.substr(i);
    return !N.Digits.empty();
}

// The digits' value; false on a character that is no digit of the base or above Limit.
bool DigitsValue(const NumberText& N, uint64_t Limit, uint64_t& Value) {
    Value = 0;
    for (char c : N.Digits) {
        uint64_t d;
        if (c >= '0' && c <= '9') d = static_cast<uint64_t>(c - '0');
        else if (N.Base == 16 && c >= 'a' && c <= 'f') d = static_cast<uint64_t>(c - 'a' + 10);
        else if (N.Base == 16 && c >= 'A' && c <= 'F') d = static_cast<uint64_t>(c - 'A' + 10);
        else return false;
        if (Value > (Limit - d) / N.Base) return false;
        Value = Value * N.Base + d;
    }
    return true;
}

} // namespace

bool TryStrToInt(std::string_view S, int32_t& Value) {
    NumberText n;
    uint64_t v;
    if (!SplitNumber(S, n) || !DigitsValue(n, UINT32_MAX, v)) return false;
    if (n.Base == 16) {
        Value = static_cast<int32_t>(static_cast<uint32_t>(n.Negative ? 0 - v : v));
        return true;
    }
    const int64_t signedValue = n.Negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) return false;
    Value = static_cast<int32_t>(signedValue);
    return true;
}

bool TryStrToInt64(std::string_view S, int64_t& Value) {
    NumberText n;
    uint64_t v;
    if (!SplitNumber(S, n)) return false;
    const uint64_t limit = n.Base == 16 ? UINT64_MAX : uint64_t{INT64_MAX} + (n.Negative ? 1 : 0);
    if (!DigitsValue(n, limit, v)) return false;
    Value = static_cast<int64_t>(n.Negative ? 0 - v : v);
    return true;
}

} // namespace qnl
