#include "platform/AnsiText.h"

namespace qnl {

unsigned char AnsiUpperChar(unsigned char C) {
    if (C >= 'a' && C <= 'z') return static_cast<unsigned char>(C - 32);
    // à..þ except the division sign.
    if (C >= 0xE0 && C <= 0xFE && C != 0xF7) return static_cast<unsigned char>(C - 32);
    switch (C) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return C;
    }
}

int AnsiCompareText(std::string_view A, std::string_view B) {
    const size_t n = A.size() < B.size() ? A.size() : B.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = AnsiUpperChar(static_cast<unsigned char>(A[i]));
        const unsigned char b = AnsiUpperChar(static_cast<unsigned char>(B[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    if (A.size() == B.size()) return 0;
    return A.size() < B.size() ? -1 : 1;
}

} // namespace qnl
