#pragma once
// The record cache of a data set: the fetched rows as fixed-size cache records packed into
// memory blocks, long character columns in a string collection, an optional order list that
// lets records be sorted, inserted and moved without copying them, and in log mode a second
// store (the log) with the first saved version of every changed record.
//
// A cache record mirrors the data set's record buffer from its sixth byte on (the "mirrored
// buffer"), without the contiguous area of string slots: the part before the first string
// slot is stored first, then the part after the last one. A string slot in the mirrored buffer
// is a 32-bit length followed by as many characters as the column's size; the characters live
// in the string collection, row (physical number - 1).
//
// Record numbers are 1-based and logical (mapped through the order list) unless said
// otherwise; physical numbers address the blocks. A number below 1, or one whose block does
// not exist, is refused with EMemManagerError (the Find / IsValid / index lookups answer
// nothing instead).
#include "client/zUZIVivav.h"
#include "platform/Exceptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qnl {

class EMemManagerError : public Exception {
public:
    using Exception::Exception;
};

// A record buffer keeps a pointer-sized slot per blob field for the field's stream; the cache
// copies these slots with the rest of the record.
inline constexpr uint32_t BlobStreamSlotSize = sizeof(void*);

class TRecordsCache {
public:
    // RecordsPerBlock is the data set's BufferChunks; FullRecordSize the size of the record
    // buffer the cache mirrors (string slots included); RecordSize the size of a cache record.
    // "Incompatible Sizes" when a block cannot hold one record.
    TRecordsCache(int32_t RecordsPerBlock, uint32_t FullRecordSize, uint32_t RecordSize, int16_t StringColumnCount);
    TRecordsCache(const TRecordsCache&) = delete;
    TRecordsCache& operator=(const TRecordsCache&) = delete;
    TRecordsCache(TRecordsCache&&) = default;
    TRecordsCache& operator=(TRecordsCache&&) = default;

    int BlockCount() const { return static_cast<int>(FBlocks.size()); }
    int LogBlockCount() const { return static_cast<int>(FLogBlocks.size()); }
    // Appends a zero-filled block; answers the new count.
    int AddBlock();
    // Index 1-based; ignored without strings or outside 1..column count. Offset is the slot's
    // offset in the mirrored buffer, Size the column's capacity in characters.
    void SetStringField(int Index, uint32_t Offset, uint32_t Size);

    // The physical number of a logical one: itself without an order list, -1 beyond the list
    // or below 1.
    int32_t PhysicalNo(int32_t RecNo) const;
    // Makes room for logical record RecNo (the next one after the last, normally) and answers
    // its address.
    char* PrepareRecordForWrite(int32_t RecNo);
    // The record's address; "Can't read Buffer.Incorrect RecordNo" when its block is missing.
    char* GetRecordPtr(int32_t RecNo);
    // The same, nil instead of the error.
    char* FindRecordPtr(int32_t RecNo);
    // Copies a record into a mirrored buffer. FromLog: the logged version when there is one.
    void ReadRecord(int32_t RecNo, char* Buffer, bool FromLog);
    // Copies a mirrored buffer into a record (nil zero-fills the record's block part); Extend
    // makes room first as PrepareRecordForWrite does.
    void WriteRecord(int32_t RecNo, const char* Buffer, bool Extend);
    // The address of a field's data: RecordPtr + Offset, or with StringIndex not -1 (and
    // strings present) the std::string cell of that column. RecordPtr is set to the record.
    // "Can't read  FieldData .Incorrect RecordNo" when the block or the string row is missing.
    void* GetFieldDataPtr(int32_t RecNo, uint32_t Offset, char*& RecordPtr, int32_t StringIndex);
    // The same for a 0-based logical index, without strings.
    void* GetFieldPtr(int32_t Index, uint32_t Offset, char*& RecordPtr);
    // The string cell of a 0-based logical index; nil outside the collection.
    std::string* GetStringCellPtr(int32_t Index, int Column);
    // Stores a column's text for a 0-based logical index: an empty text on a new row stores
    // nothing, a text ending in blanks that fits the column is stored right-trimmed; a longer
    // text is kept and cut when read.
    void SetStringValue(int Column, int32_t Index, const std::string& S);
    // Stores Len characters from P (negative Len: the zero-terminated text). Trim: a negative
    // Len is the column's size, trailing blanks are dropped, and a zero byte is written at
    // P[Len] when that is below the size.
    void SetStringBuffer(int Column, int32_t Index, bool Trim, int32_t Len, char* P);

    // Saving and restoring the version before an edit. Outside log mode one saved version is
    // kept in the work buffer; in log mode SaveOldBuffer logs the record.
    void SaveOldBuffer(int32_t RecNo);
    // The saved version of RecNo (a work buffer of FullRecordSize bytes); for a number beyond
    // the record count a buffer filled with the byte 1.
    const char* GetOldBuffer(int32_t RecNo);
    // Puts the saved version back.
    void RestoreFromOld(int32_t RecNo);
    // Copies the record's current version into the log (again: overwrites the logged one).
    void SaveToLog(int32_t RecNo);
    // Drops the log (its string rows stay for reuse).
    void ClearLog();

    // The order list (logical position -> physical number), made on first reordering.
    void EnsureOrderList();
    // A new physical record at the 0-based position Index.
    void InsertRecord(int32_t Index);
    // Takes back the record at the 1-based position Index (only with an order list).
    void RemoveRecord(int32_t Index);
    void ExchangeRecords(int32_t I, int32_t J);
    void MoveRecord(int32_t From, int32_t To);
    int32_t PhysicalNoAt(int32_t Index) const { return PhysicalNo(Index + 1); }
    // The 0-based position of a physical number; -1 when it has none.
    int32_t LogicalIndexOf(int32_t PhysNo) const;
    bool IsValidPhysicalNo(int32_t PhysNo) const;

    int32_t RecordCount() const { return FRecordCount; }
    int32_t LogCount() const { return static_cast<int32_t>(FLogIndex.size()); }
    int32_t RecordsPerBlock() const { return FRecordsPerBlock; }
    int64_t BlockSize() const { return FBlockSize; }
    uint32_t RecordSize() const { return FRecordSize; }
    uint32_t FullRecordSize() const { return FFullRecordSize; }
    bool LogMode() const { return FLogMode; }
    // Set by the data set right after creation (its CachedUpdates).
    void SetLogMode(bool Value) { FLogMode = Value; }
    bool HasOrderList() const { return FOrderList.has_value(); }

private:
    struct Source {
        const char* Record;
        TStringCollection* Strings;
        int32_t Row;
    };
    // Block index and offset of a physical number (>= 1).
    size_t BlockOf(int32_t PhysNo) const { return static_cast<size_t>((PhysNo - 1) / FRecordsPerBlock); }
    size_t OffsetOf(int32_t PhysNo) const {
        return static_cast<size_t>((PhysNo - 1) % FRecordsPerBlock) * FRecordSize;
    }
    char* RecordIn(std::vector<std::unique_ptr<char[]>>& Blocks, int32_t PhysNo, const char* Error);
    void CopyOut(const Source& From, char* Buffer);
    int32_t RowFor(int32_t Index);   // physical row of a 0-based index, rows added as needed
    void AddStringRows(TStringCollection& Strings, int32_t Rows);
    void FillWork() { std::fill(FWorkBuffer.begin(), FWorkBuffer.end(), char(1)); }
    // The string area: first slot's offset, and the offset after the last slot.
    uint32_t StringAreaStart() const { return FStringOffsets.empty() ? 0 : FStringOffsets.front(); }
    uint32_t StringAreaEnd() const { return FStringOffsets.back() + 4 + FStringSizes.back(); }

    std::optional<std::vector<int32_t>> FOrderList;
    std::unique_ptr<TStringCollection> FStrings;
    std::unique_ptr<TStringCollection> FLogStrings;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::vector<std::unique_ptr<char[]>> FLogBlocks;
    std::vector<std::pair<int32_t, int32_t>> FLogIndex;   // (physical number, log record), sorted
    int32_t FBufferedRecord = -1;
    std::vector<char> FWorkBuffer;
    std::vector<char> FOnesBuffer;   // the answer for records beyond the cache
    int64_t FBlockSize = 0;   // 64-bit: rows of 96 KB times thousands of records per block
    uint32_t FRecordSize;
    uint32_t FFullRecordSize;
    int32_t FRecordCount = 0;
    std::vector<uint32_t> FStringOffsets;
    std::vector<uint32_t> FStringSizes;
    int32_t FRecordsPerBlock = 0;
    int16_t FStringColumnCount;
    bool FLogMode = false;
};

} // namespace qnl
