// Implements the record cache; see FIBCacheManage.h.
#include "datasets/FIBCacheManage.h"

#include "platform/StringList.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

namespace qnl {

namespace {

const char* const ReadError = "Can't read Buffer.Incorrect RecordNo";
const char* const ReadLogError = "Can't read LogBuffer.Incorrect RecordNo";
const char* const WriteError = "Can't write to Buffer.Incorrect RecordNo";
const char* const FieldDataError = "Can't read  FieldData .Incorrect RecordNo";

} // namespace

TRecordsCache::TRecordsCache(int32_t RecordsPerBlock, uint32_t FullRecordSize, uint32_t RecordSize,
                             int16_t StringColumnCount)
    : FRecordSize(RecordSize), FFullRecordSize(FullRecordSize), FStringColumnCount(std::max<int16_t>(StringColumnCount, 0)) {
    int64_t blockSize = static_cast<int64_t>(RecordSize) * RecordsPerBlock;
    if (blockSize < 1024) {
        // At least about 1 KB: the least multiple of the full record size above 1024.
        if (FullRecordSize == 0) throw EMemManagerError("Incompatible Sizes");
        blockSize = FullRecordSize + 1024 - (1024 % FullRecordSize);
    }
    if (RecordSize == 0 || blockSize < RecordSize || blockSize / RecordSize > std::numeric_limits<int32_t>::max())
        throw EMemManagerError("Incompatible Sizes");
    FBlockSize = blockSize;
    FRecordsPerBlock = static_cast<int32_t>(blockSize / RecordSize);
    if (FStringColumnCount >= 1) {
        FStrings = std::make_unique<TStringCollection>(FStringColumnCount);
        FStringOffsets.assign(static_cast<size_t>(FStringColumnCount), 0);
        FStringSizes.assign(static_cast<size_t>(FStringColumnCount), 0);
    }
    FWorkBuffer.assign(FullRecordSize, char(1));
}

int TRecordsCache::AddBlock() {
    FBlocks.emplace_back(new char[static_cast<size_t>(FBlockSize)]());
    return BlockCount();
}

void TRecordsCache::SetStringField(int Index, uint32_t Offset, uint32_t Size) {
    if (!FStrings || Index < 1 || Index > FStringColumnCount) return;
    FStringOffsets[static_cast<size_t>(Index - 1)] = Offset;
    FStringSizes[static_cast<size_t>(Index - 1)] = Size;
}

int32_t TRecordsCache::PhysicalNo(int32_t RecNo) const {
    if (RecNo < 1) return -1;
    if (!FOrderList) return RecNo;
    if (RecNo > static_cast<int32_t>(FOrderList->size())) return -1;
    return (*FOrderList)[static_cast<size_t>(RecNo - 1)];
}

char* TRecordsCache::RecordIn(std::vector<std::unique_ptr<char[]>>& Blocks, int32_t PhysNo, const char* Error) {
    // Below 1 the division would give block 0 and a negative offset: before the block.
    if (PhysNo < 1 || BlockOf(PhysNo) >= Blocks.size()) throw EMemManagerError(Error);
    return Blocks[BlockOf(PhysNo)].get() + OffsetOf(PhysNo);
}

char* TRecordsCache::GetRecordPtr(int32_t RecNo) { return RecordIn(FBlocks, PhysicalNo(RecNo), ReadError); }

char* TRecordsCache::FindRecordPtr(int32_t RecNo) {
    const int32_t phys = PhysicalNo(RecNo);
    if (phys < 1 || BlockOf(phys) >= FBlocks.size()) return nullptr;
    return FBlocks[BlockOf(phys)].get() + OffsetOf(phys);
}

void TRecordsCache::AddStringRows(TStringCollection& Strings, int32_t Rows) {
    while (Strings.YCount() < Rows) Strings.AddRecord();
}

char* TRecordsCache::PrepareRecordForWrite(int32_t RecNo) {
    if (RecNo < 1) throw EMemManagerError(WriteError);
    if (FOrderList && RecNo > static_cast<int32_t>(FOrderList->size())) {
        // New physical numbers follow the highest one in use, so none is handed out twice.
        while (static_cast<int32_t>(FOrderList->size()) < RecNo) FOrderList->push_back(++FRecordCount);
        if (FStrings) AddStringRows(*FStrings, FRecordCount);
    } else if (!FOrderList && RecNo > FRecordCount) {
        FRecordCount = RecNo;
    }
    const int32_t phys = PhysicalNo(RecNo);
    while (BlockOf(phys) >= FBlocks.size()) AddBlock();
    return FBlocks[BlockOf(phys)].get() + OffsetOf(phys);
}

void TRecordsCache::CopyOut(const Source& From, char* Buffer) {
    if (!FStrings) {
        std::memcpy(Buffer, From.Record, FRecordSize);
        return;
    }
    const uint32_t first = std::min(StringAreaStart(), FRecordSize);
    std::memcpy(Buffer, From.Record, first);
    for (size_t c = 0; c < FStringOffsets.size(); ++c) {
        std::string* cell = From.Strings ? From.Strings->GetValuePtr(static_cast<int>(c), From.Row) : nullptr;
        if (!cell) continue;   // no cell: the slot stays as it was
        const uint32_t size = FStringSizes[c];
        if (cell->size() > size) cell->resize(size);   // a text longer than the column is cut on reading
        const auto length = static_cast<int32_t>(cell->size());
        char* slot = Buffer + FStringOffsets[c];
        std::memcpy(slot, &length, 4);
        std::memcpy(slot + 4, cell->data(), cell->size());
        if (static_cast<uint32_t>(length) < size) slot[4 + length] = 0;
    }
    std::memcpy(Buffer + StringAreaEnd(), From.Record + first, FRecordSize - first);
}

void TRecordsCache::ReadRecord(int32_t RecNo, char* Buffer, bool FromLog) {
    const int32_t phys = PhysicalNo(RecNo);
    if (FromLog && phys >= 1) {
        const auto it = std::lower_bound(FLogIndex.begin(), FLogIndex.end(), std::make_pair(phys, 0));
        if (it != FLogIndex.end() && it->first == phys) {
            CopyOut({RecordIn(FLogBlocks, it->second, ReadLogError), FLogStrings.get(), it->second - 1}, Buffer);
            return;
        }
    }
    CopyOut({RecordIn(FBlocks, phys, ReadError), FStrings.get(), phys - 1}, Buffer);
}

void TRecordsCache::WriteRecord(int32_t RecNo, const char* Buffer, bool Extend) {
    char* record = Extend ? PrepareRecordForWrite(RecNo) : RecordIn(FBlocks, PhysicalNo(RecNo), WriteError);
    if (!Buffer) {
        std::memset(record, 0, FRecordSize);
        return;
    }
    if (!FStrings) {
        std::memcpy(record, Buffer, FRecordSize);
        return;
    }
    const uint32_t first = std::min(StringAreaStart(), FRecordSize);
    std::memcpy(record, Buffer, first);
    const int32_t row = PhysicalNo(RecNo) - 1;
    AddStringRows(*FStrings, row + 1);
    for (size_t c = 0; c < FStringOffsets.size(); ++c) {
        const char* slot = Buffer + FStringOffsets[c];
        int32_t length;
        std::memcpy(&length, slot, 4);
        // A length outside the slot would copy from beyond it.
        length = std::clamp<int32_t>(length, 0, static_cast<int32_t>(FStringSizes[c]));
        std::string* cell = FStrings->GetValuePtr(static_cast<int>(c), row);
        if (static_cast<int32_t>(cell->size()) != length) cell->resize(static_cast<size_t>(length));
        std::memcpy(cell->data(), slot + 4, static_cast<size_t>(length));
    }
    std::memcpy(record + first, Buffer + StringAreaEnd(), FRecordSize - first);
}

void* TRecordsCache::GetFieldDataPtr(int32_t RecNo, uint32_t Offset, char*& RecordPtr, int32_t StringIndex) {
    const int32_t phys = PhysicalNo(RecNo);
    RecordPtr = RecordIn(FBlocks, phys, FieldDataError);
    if (StringIndex != -1 && FStrings) {
        std::string* cell = FStrings->GetValuePtr(StringIndex, phys - 1);
        if (!cell) throw EMemManagerError(FieldDataError);
        return cell;
    }
    return RecordPtr + Offset;
}

void* TRecordsCache::GetFieldPtr(int32_t Index, uint32_t Offset, char*& RecordPtr) {
    RecordPtr = RecordIn(FBlocks, PhysicalNo(Index + 1), FieldDataError);
    return RecordPtr + Offset;
}

std::string* TRecordsCache::GetStringCellPtr(int32_t Index, int Column) {
    const int32_t phys = PhysicalNo(Index + 1);
    if (!FStrings || phys < 1) return nullptr;
    return FStrings->GetValuePtr(Column, phys - 1);
}

int32_t TRecordsCache::RowFor(int32_t Index) {
    const int32_t phys = PhysicalNo(Index + 1);
    if (phys < 1) throw EMemManagerError(WriteError);
    AddStringRows(*FStrings, phys);
    return phys - 1;
}

void TRecordsCache::SetStringValue(int Column, int32_t Index, const std::string& S) {
    if (!FStrings) return;
    if (Column < 0 || Column >= FStringColumnCount) throw EMemManagerError("Incorrect string column " + std::to_string(Column));
    const bool isNew = PhysicalNo(Index + 1) - 1 >= FStrings->YCount();
    const int32_t row = RowFor(Index);
    if (S.empty()) {
        if (!isNew) FStrings->SetValue(Column, row, "");
        return;
    }
    if (S.back() == ' ' && S.size() <= FStringSizes[static_cast<size_t>(Column)])
        FStrings->SetValue(Column, row, TrimRight(S));
    else
        FStrings->SetValue(Column, row, S);
}

void TRecordsCache::SetStringBuffer(int Column, int32_t Index, bool Trim, int32_t Len, char* P) {
    if (!FStrings) return;
    if (Column < 0 || Column >= FStringColumnCount) throw EMemManagerError("Incorrect string column " + std::to_string(Column));
    const int32_t row = RowFor(Index);
    if (Trim) {
        const auto size = static_cast<int32_t>(FStringSizes[static_cast<size_t>(Column)]);
        if (Len < 0) Len = size;
        while (Len > 0 && P[Len - 1] == ' ') --Len;
        if (Len < size) P[Len] = 0;
    }
    FStrings->SetValueBuf(Column, row, Len, P);
}

// ---- Saved versions and the log ----

void TRecordsCache::SaveOldBuffer(int32_t RecNo) {
    if (FLogMode) {
        SaveToLog(RecNo);
        return;
    }
    if (RecNo > FRecordCount)
        FillWork();
    else
        ReadRecord(RecNo, FWorkBuffer.data(), false);
    FBufferedRecord = RecNo;
}

const char* TRecordsCache::GetOldBuffer(int32_t RecNo) {
    if (RecNo > FRecordCount) {
        // A record not yet in the cache has no saved version. The answer has its own buffer,
        // so the version saved for the buffered record survives the question.
        FOnesBuffer.assign(FFullRecordSize, char(1));
        return FOnesBuffer.data();
    }
    if (FLogMode)
        ReadRecord(RecNo, FWorkBuffer.data(), true);
    else if (RecNo != FBufferedRecord)
        SaveOldBuffer(RecNo);
    return FWorkBuffer.data();
}

void TRecordsCache::RestoreFromOld(int32_t RecNo) { WriteRecord(RecNo, GetOldBuffer(RecNo), false); }

void TRecordsCache::SaveToLog(int32_t RecNo) {
    const int32_t phys = PhysicalNo(RecNo);
    const char* record = RecordIn(FBlocks, phys, ReadError);
    auto it = std::lower_bound(FLogIndex.begin(), FLogIndex.end(), std::make_pair(phys, 0));
    int32_t logNo;
    if (it != FLogIndex.end() && it->first == phys) {
        logNo = it->second;
    } else {
        logNo = LogCount() + 1;
        FLogIndex.insert(it, {phys, logNo});
    }
    while (BlockOf(logNo) >= FLogBlocks.size())
        FLogBlocks.emplace_back(new char[static_cast<size_t>(FBlockSize)]());
    std::memcpy(FLogBlocks[BlockOf(logNo)].get() + OffsetOf(logNo), record, FRecordSize);
    if (!FStrings) return;
    if (!FLogStrings) FLogStrings = std::make_unique<TStringCollection>(FStringColumnCount);
    AddStringRows(*FLogStrings, logNo);
    for (int c = 0; c < FStringColumnCount; ++c) {
        const std::string* cell = FStrings->GetValuePtr(c, phys - 1);
        FLogStrings->SetValue(c, logNo - 1, cell ? *cell : std::string());
    }
}

void TRecordsCache::ClearLog() {
    FLogBlocks.clear();
    FLogIndex.clear();
}

// ---- Order ----

void TRecordsCache::EnsureOrderList() {
    if (FOrderList) return;
    FOrderList.emplace(static_cast<size_t>(FRecordCount));
    std::iota(FOrderList->begin(), FOrderList->end(), 1);
}

void TRecordsCache::InsertRecord(int32_t Index) {
    EnsureOrderList();
    if (Index < 0 || Index > static_cast<int32_t>(FOrderList->size())) throw EMemManagerError(WriteError);
    ++FRecordCount;
    FOrderList->insert(FOrderList->begin() + Index, FRecordCount);
    if (FStrings) AddStringRows(*FStrings, FRecordCount);
}

void TRecordsCache::RemoveRecord(int32_t Index) {
    if (!FOrderList) return;
    if (Index < 1 || Index > static_cast<int32_t>(FOrderList->size())) throw EMemManagerError(WriteError);
    const int32_t phys = (*FOrderList)[static_cast<size_t>(Index - 1)];
    if (phys == FRecordCount) --FRecordCount;
    if (FStrings && phys >= 1 && phys <= FStrings->YCount()) {
        // Rows are addressed by physical number: only the last row may go, an earlier one is
        // emptied so that the rows after it keep their records.
        if (phys == FStrings->YCount())
            FStrings->DeleteRecord(phys - 1);
        else
            for (int c = 0; c < FStringColumnCount; ++c) FStrings->SetValue(c, phys - 1, "");
    }
    FOrderList->erase(FOrderList->begin() + (Index - 1));
}

void TRecordsCache::ExchangeRecords(int32_t I, int32_t J) {
    EnsureOrderList();
    const auto count = static_cast<int32_t>(FOrderList->size());
    if (I < 0 || J < 0 || I >= count || J >= count) throw EMemManagerError(WriteError);
    std::swap((*FOrderList)[static_cast<size_t>(I)], (*FOrderList)[static_cast<size_t>(J)]);
}

void TRecordsCache::MoveRecord(int32_t From, int32_t To) {
    EnsureOrderList();
    const auto count = static_cast<int32_t>(FOrderList->size());
    if (From < 0 || To < 0 || From >= count || To >= count) throw EMemManagerError(WriteError);
    if (From == To) return;
    auto& list = *FOrderList;
    const int32_t entry = list[static_cast<size_t>(From)];
    if (From < To) {
        list.insert(list.begin() + To + 1, entry);
        list.erase(list.begin() + From);
    } else {
        list.insert(list.begin() + To, entry);
        list.erase(list.begin() + From + 1);
    }
}

int32_t TRecordsCache::LogicalIndexOf(int32_t PhysNo) const {
    if (PhysNo < 1) return -1;
    if (!FOrderList) return PhysNo - 1;
    const auto& list = *FOrderList;
    // The entry at PhysNo - 1 is only looked at when the list has it (PhysNo comes from a
    // caller's bookmark).
    if (PhysNo <= static_cast<int32_t>(list.size()) && list[static_cast<size_t>(PhysNo - 1)] == PhysNo) return PhysNo - 1;
    const auto it = std::find(list.begin(), list.end(), PhysNo);
    return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

bool TRecordsCache::IsValidPhysicalNo(int32_t PhysNo) const {
    if (PhysNo < 1) return false;
    if (!FOrderList) return PhysNo <= FRecordCount;
    return LogicalIndexOf(PhysNo) >= 0;
}

} // namespace qnl
