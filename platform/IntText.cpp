#include "platform/IntText.h"

#include <cstdint>

namespace qnl {

bool TryStrToInt(std::string_view S, int32_t& Value) {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ') ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) negative = S[i++] == '-';
    int base = 10;
    if (i < S.size() && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= S.size()) return false;
    int64_t value = 0;
    for (; i < S.size(); ++i) {
        char c = S[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        value = value * base + d;
        if (value > int64_t{UINT32_MAX}) return false;
    }
    if (base == 16) {
        Value = static_cast<int32_t>(static_cast<uint32_t>(negative ? 0 - value : value));
        return true;
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    Value = static_cast<int32_t>(value);
    return true;
}

bool TryStrToInt64(std::string_view S, int64_t& Value) {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ') ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) negative = S[i++] == '-';
    int base = 10;
    if (i < S.size() && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= S.size()) return false;
    uint64_t value = 0;
    const uint64_t limit = base == 16 ? UINT64_MAX : uint64_t{INT64_MAX} + (negative ? 1 : 0);
    for (; i < S.size(); ++i) {
        char c = S[i];
        uint64_t d;
        if (c >= '0' && c <= '9') d = static_cast<uint64_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<uint64_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<uint64_t>(c - 'A' + 10);
        else return false;
        if (value > (limit - d) / static_cast<uint64_t>(base)) return false;
        value = value * static_cast<uint64_t>(base) + d;
    }
    Value = static_cast<int64_t>(negative ? 0 - value : value);
    return true;
}

} // namespace qnl
