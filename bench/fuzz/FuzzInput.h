#pragma once
// What the fuzz targets share: the input as script lines, and the inputs no target reads.
#include "platform/StringList.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qnl::fuzz {

inline std::string Text(const uint8_t* Data, size_t Size) { return std::string(reinterpret_cast<const char*>(Data), Size); }

// INPUT names a file the reader opens: a fuzzed name could be any file of the machine (a device
// that never ends), so such inputs are passed over.
inline bool NamesAFile(const std::string& Text) {
    for (size_t i = 0; i + 5 <= Text.size(); ++i) {
        bool match = true;
        for (size_t k = 0; k < 5 && match; ++k) match = (Text[i + k] & ~0x20) == "INPUT"[k];
        if (match) return true;
    }
    return false;
}

} // namespace qnl::fuzz
