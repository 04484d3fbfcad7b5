#pragma once
// Three small containers of the data-access layer: a string list that owns one object per
// string and is searched through a sorted list or through hash values (the statement pool keys
// its statements by SQL text with it); an ascending list of distinct 32-bit values with range
// shifting (record numbers that move when rows are inserted or removed); and a table of string
// cells that grows by records (long text columns of the record cache). None is thread-safe.
#include "platform/Component.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

class TObjStringList {
public:
    // Owner is remembered only; Hashed chooses the search (fixed for the list's life).
    TObjStringList(TObject* Owner, bool Hashed);
    TObjStringList(const TObjStringList&) = delete;
    TObjStringList& operator=(const TObjStringList&) = delete;

    // Adds S with its object unless S is there already (then that line keeps its object and Obj
    // is freed); answers the position of S. Plain mode keeps the lines sorted (ASCII case
    // folded); hashed mode keeps them in the order of ascending hash values.
    int AddObject(std::string_view S, std::unique_ptr<TObject> Obj);
    // Take the line out and hand back its object.
    [[nodiscard]] std::unique_ptr<TObject> Remove(std::string_view S);
    [[nodiscard]] std::unique_ptr<TObject> Delete(int Index);
    // True with the position of S, or false with the position where S would go.
    bool Find(std::string_view S, int& Index) const;

    TObject* GetObject(int Index) const { return FObjects.at(static_cast<size_t>(Index)).get(); }
    const std::string& Strings(int Index) const { return FItems.at(static_cast<size_t>(Index)); }
    int Count() const { return static_cast<int>(FItems.size()); }
    bool Hashed() const { return FHashed; }
    TObject* Owner() const { return FOwner; }

    // The case-sensitive hash the hashed mode orders by.
    static int32_t HashOf(std::string_view S);

private:
    void Insert(int Index, std::string_view S, std::unique_ptr<TObject> Obj);
    std::unique_ptr<TObject> Take(int Index);

    TObject* FOwner;
    std::vector<std::string> FItems;
    std::vector<std::unique_ptr<TObject>> FObjects;
    std::vector<int32_t> FHashes;   // parallel to FItems in hashed mode
    bool FHashed;
};

class TSortedList {
public:
    // Inserts Value at its place unless present; answers its index either way.
    int Add(int32_t Value);
    void Remove(int32_t Value);
    // True with the value's position, or false with the position where it would be inserted.
    bool Find(int32_t Value, int& Index) const;
    // Adds Delta to every value between min(A, B) and max(A, B) inclusive.
    void IncValuesInRange(int32_t A, int32_t B, int32_t Delta);
    // Adds Delta to every value from Value (or the first above it) to the end.
    void IncValuesFrom(int32_t Value, int32_t Delta);
    int32_t GetValue(int Index) const { return FValues.at(static_cast<size_t>(Index)); }
    int GetCount() const { return static_cast<int>(FValues.size()); }
    void Clear() { FValues.clear(); }
    // The greatest value, -1 when empty.
    int32_t LastValue() const { return FValues.empty() ? -1 : FValues.back(); }

private:
    std::vector<int32_t> FValues;
};

class TStringCollection {
public:
    explicit TStringCollection(int XCount);

    // Appends an empty record, growing by half the capacity (128 records at first); answers
    // the new record count.
    int AddRecord();
    // Out-of-range indexes fail with EAssertionFailed and leave the cell alone.
    std::string GetValue(int X, int Y) const;
    void SetValue(int X, int Y, std::string_view S);
    // Stores Len characters of Buffer; a negative Len takes the zero-terminated text.
    void SetValueBuf(int X, int Y, int Len, const char* Buffer);
    // The cell, nil outside the table.
    std::string* GetValuePtr(int X, int Y);
    // Removes record Y; later records move one place down.
    void DeleteRecord(int Y);
    // Removes every record and the storage; the columns stay.
    void Clear();

    int XCount() const { return FXCount; }
    int YCount() const { return FYCount; }
    int Capacity() const { return FCapacity; }

private:
    void CheckWrite(int X, int Y) const;
    std::vector<std::vector<std::string>> FColumns;
    int FXCount;
    int FYCount = 0;
    int FCapacity = 0;
};

} // namespace qnl
