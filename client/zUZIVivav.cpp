#include "zUZIVivav.h"

#include "platform/Assertions.h"
#include "platform/StringList.h"

#include <algorithm>
#include <cstring>

namespace qnl {

namespace {
const char* const UnitName = "zUZIVivav";
}

// --- TObjStringList ---

TObjStringList::TObjStringList(TObject* Owner, bool Hashed) : FOwner(Owner), FHashed(Hashed) {}

int32_t TObjStringList::HashOf(std::string_view S) {
    uint32_t h = 0;   // wraps
    if (S.size() < 16) {
        for (char c : S) h = h * 37 + static_cast<unsigned char>(c) - 32;
    } else {
        // Long texts (whole SQL statements) sample every (length div 8)-th character.
        const size_t step = S.size() / 8;
        for (size_t i = 0; i < S.size(); i += step) h = h * 39 + static_cast<unsigned char>(S[i]) - 32;
    }
    return static_cast<int32_t>(h);
}

bool TObjStringList::Find(std::string_view S, int& Index) const {
    const int count = Count();
    if (!FHashed) {
        int lo = 0, hi = count - 1;
        bool found = false;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int c = CompareText(FItems[static_cast<size_t>(mid)], S);
            if (c < 0) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
                if (c == 0) found = true;
            }
        }
        Index = lo;
        return found;
    }
    const int32_t h = HashOf(S);
    int lo = 0, hi = count - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        if (FHashes[static_cast<size_t>(mid)] < h) {
            lo = mid + 1;
            continue;
        }
        if (FHashes[static_cast<size_t>(mid)] == h) {
            // Different strings with the same hash stand together; tell them apart by text.
            int first = mid;
            while (first > 0 && FHashes[static_cast<size_t>(first - 1)] == h) --first;
            int i = first;
            for (; i < count && FHashes[static_cast<size_t>(i)] == h; ++i)
                if (FItems[static_cast<size_t>(i)] == S) {
                    Index = i;
                    return true;
                }
            Index = i == count ? count : first;
            return false;
        }
        hi = mid - 1;
    }
    Index = lo;
    return false;
}

void TObjStringList::Insert(int Index, std::string_view S, std::unique_ptr<TObject> Obj) {
    const auto at = static_cast<ptrdiff_t>(Index);
    FItems.insert(FItems.begin() + at, std::string(S));
    FObjects.insert(FObjects.begin() + at, std::move(Obj));
    if (FHashed) FHashes.insert(FHashes.begin() + at, HashOf(S));
}

int TObjStringList::AddObject(std::string_view S, std::unique_ptr<TObject> Obj) {
    int index;
    if (!Find(S, index)) Insert(index, S, std::move(Obj));
    return index;
}

std::unique_ptr<TObject> TObjStringList::Take(int Index) {
    const auto at = static_cast<ptrdiff_t>(Index);
    std::unique_ptr<TObject> obj = std::move(FObjects.at(static_cast<size_t>(Index)));
    FItems.erase(FItems.begin() + at);
    FObjects.erase(FObjects.begin() + at);
    if (FHashed) FHashes.erase(FHashes.begin() + at);
    return obj;
}

std::unique_ptr<TObject> TObjStringList::Remove(std::string_view S) {
    int index;
    if (!Find(S, index)) return nullptr;
    return Take(index);
}

std::unique_ptr<TObject> TObjStringList::Delete(int Index) { return Take(Index); }

// --- TSortedList ---

bool TSortedList::Find(int32_t Value, int& Index) const {
    int lo = 0, hi = GetCount() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        if (FValues[static_cast<size_t>(mid)] >= Value) {
            hi = mid - 1;
            if (FValues[static_cast<size_t>(mid)] == Value) found = true;
        } else {
            lo = mid + 1;
        }
    }
    Index = lo;
    return found;
}

int TSortedList::Add(int32_t Value) {
    int index;
    if (!Find(Value, index)) FValues.insert(FValues.begin() + index, Value);
    return index;
}

void TSortedList::Remove(int32_t Value) {
    int index;
    if (Find(Value, index)) FValues.erase(FValues.begin() + index);
}

void TSortedList::IncValuesInRange(int32_t A, int32_t B, int32_t Delta) {
    if (FValues.empty()) return;
    const int32_t low = std::min(A, B), high = std::max(A, B);
    int i1, i2;
    Find(low, i1);
    Find(high, i2);
    i2 = std::min(i2, GetCount() - 1);
    if (FValues[static_cast<size_t>(i2)] > high) --i2;
    for (int i = i2; i >= i1; --i) FValues[static_cast<size_t>(i)] += Delta;
}

void TSortedList::IncValuesFrom(int32_t Value, int32_t Delta) {
    int index;
    Find(Value, index);
    for (size_t i = static_cast<size_t>(index); i < FValues.size(); ++i) FValues[i] += Delta;
}

// --- TStringCollection ---

TStringCollection::TStringCollection(int XCount) : FColumns(static_cast<size_t>(std::max(XCount, 0))), FXCount(XCount) {}

int TStringCollection::AddRecord() {
    if (FYCount == FCapacity) {
        FCapacity = FCapacity == 0 ? 128 : FCapacity + FCapacity / 2;
        for (auto& column : FColumns) column.resize(static_cast<size_t>(FCapacity));
    }
    return ++FYCount;
}

std::string TStringCollection::GetValue(int X, int Y) const {
    Assert(X < FXCount, "Can't read value to StrCollection. Bad X-Index", UnitName);
    Assert(Y < FYCount, "Can't read value to StrCollection. Bad Y-Index", UnitName);
    return FColumns[static_cast<size_t>(X)][static_cast<size_t>(Y)];
}

void TStringCollection::CheckWrite(int X, int Y) const {
    Assert(X < FXCount, "Can't write value to StrCollection. Bad X-Index", UnitName);
    Assert(Y < FYCount, "Can't write value to StrCollection. Bad Y-Index", UnitName);
}

void TStringCollection::SetValue(int X, int Y, std::string_view S) {
    CheckWrite(X, Y);
    FColumns[static_cast<size_t>(X)][static_cast<size_t>(Y)].assign(S);
}

void TStringCollection::SetValueBuf(int X, int Y, int Len, const char* Buffer) {
    CheckWrite(X, Y);
    std::string& cell = FColumns[static_cast<size_t>(X)][static_cast<size_t>(Y)];
    if (Len < 0) Len = Buffer ? static_cast<int>(std::strlen(Buffer)) : 0;
    if (Len == 0) cell.clear();
    else cell.assign(Buffer, static_cast<size_t>(Len));
}

std::string* TStringCollection::GetValuePtr(int X, int Y) {
    if (X < 0 || Y < 0 || X >= FXCount || Y >= FYCount) return nullptr;
    return &FColumns[static_cast<size_t>(X)][static_cast<size_t>(Y)];
}

void TStringCollection::DeleteRecord(int Y) {
    if (Y < 0 || Y >= FYCount) return;
    for (auto& column : FColumns) {
        auto at = column.begin() + Y;
        std::move(at + 1, column.begin() + FYCount, at);
        column[static_cast<size_t>(FYCount - 1)].clear();   // the vacated slot is empty
    }
    --FYCount;
}

void TStringCollection::Clear() {
    for (auto& column : FColumns) std::vector<std::string>().swap(column);
    FYCount = 0;
    FCapacity = 0;
}

} // namespace qnl
