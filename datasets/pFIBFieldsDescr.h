#pragma once
// Where each output column of a data set lives: its client type, size and place in the record
// buffer or in the record cache's string collection, and the names it came with. One
// descriptor per column, made when the data set lays out its record buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

struct TFIBFieldDescr {
    uint16_t SqlType = 0;          // client type code, nullable bit cleared
    int16_t Scale = 0;
    uint8_t Nullable = 0;          // 1: the type code had its nullable bit
    uint16_t DataSize = 0;         // bytes of the column's data in the record buffer
    uint32_t DataOffset = 0;       // from the start of the record buffer (string columns: their length)
    uint8_t IsDBKey = 0;           // the column is DB_KEY or RDB$DB_KEY
    uint8_t InStringCollection = 0;
    int32_t StringIndex = -1;      // column of the cache's string collection, -1 for none
    uint8_t FieldKind = 0;         // 2 wide-string field, 1 GUID field, 0 other
    uint16_t SubType = 0;          // character columns: character set id in the low byte
    std::string RelationName;
    std::string SqlName;
    std::string TableAlias;
};

// The text of a character column whose data starts at Data in a record buffer: behind its 32-bit
// length in the string collection's slot, else up to the first zero byte of its place.
inline std::string_view StoredText(const TFIBFieldDescr& D, const char* Data) {
    if (!D.InStringCollection) return std::string_view(Data, strnlen(Data, D.DataSize));
    uint32_t length;
    std::memcpy(&length, Data, sizeof length);
    return std::string_view(Data + 4, std::min<size_t>(length, D.DataSize));
}

class TFIBFieldDescrList {
public:
    // A zero-filled descriptor with these fields; answers its index. The caller fills SubType,
    // the offset or string index and the names.
    int Add(uint16_t SqlType, int16_t Scale, uint16_t DataSize, uint8_t Nullable, uint8_t IsDBKey,
            uint8_t InStringCollection, uint8_t FieldKind);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    // Index 0-based; an index outside the list raises std::out_of_range.
    TFIBFieldDescr& Items(int Index) { return *FItems.at(static_cast<size_t>(Index)); }
    void SetCapacity(int N) { FItems.reserve(static_cast<size_t>(N > 0 ? N : 0)); }

private:
    std::vector<std::unique_ptr<TFIBFieldDescr>> FItems;
};

} // namespace qnl
