#pragma once
// A list of strings with an object pointer per entry, sorted or not, case-sensitive or not,
// with name=value access and CR LF text. Sorting compares bytes (or ASCII-folded bytes), never
// the locale, because the order of sorted lists decides the order of generated statements.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
    TStringList() = default;
    virtual ~TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int Index) const { return FItems.at(static_cast<size_t>(Index)).S; }
    const std::string& operator[](int Index) const { return Strings(Index); }
    void SetString(int Index, const std::string& S);
    void* Objects(int Index) const { return FItems.at(static_cast<size_t>(Index)).Obj; }
    void SetObject(int Index, void* Obj) { FItems.at(static_cast<size_t>(Index)).Obj = Obj; }

    // Add answers the index of the new entry; a sorted list that ignores duplicates answers
    // the index of the entry already there (and -1 is never answered).
    int Add(const std::string& S) { return AddObject(S, nullptr); }
    int AddObject(const std::string& S, void* Obj);
    void Insert(int Index, const std::string& S, void* Obj = nullptr);
    void Delete(int Index);
    void Clear() { FItems.clear(); }
    void AddStrings(const TStringList& Other);
    void Assign(const TStringList& Other);

    // IndexOf compares with the list's case rule; Find is the binary search of a sorted list and
    // also answers where a missing string would go.
    int IndexOf(std::string_view S) const;
    bool Find(std::string_view S, int& Index) const;
    int IndexOfObject(const void* Obj) const;

    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
    void Sort();

    // Every line followed by CR LF; setting splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view Value);

    std::string Names(int Index) const;
    std::string ValueFromIndex(int Index) const;
    int IndexOfName(std::string_view Name) const;
    std::string Values(std::string_view Name) const;
    void SetValue(std::string_view Name, const std::string& Value);

    bool LoadFromFile(const std::string& FileName);
    bool SaveToFile(const std::string& FileName) const;

    int CompareStrings(std::string_view A, std::string_view B) const;

private:
    struct Item {
        std::string S;
        void* Obj = nullptr;
    };
    std::vector<Item> FItems;
    bool FSorted = false;
    bool FCaseSensitive = false;
    TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

// A string list that tells its owner before and after every change made through it: OnChanging
// runs first (and may refuse by throwing), OnChange after. A change made through a plain
// TStringList reference to it bypasses both.
class THookedStringList : public TStringList {
public:
    std::function<void()> OnChanging;
    std::function<void()> OnChange;

    int Add(const std::string& S) { return AddObject(S, nullptr); }
    int AddObject(const std::string& S, void* Obj) {
        Changing();
        const int index = TStringList::AddObject(S, Obj);
        Changed();
        return index;
    }
    void Insert(int Index, const std::string& S, void* Obj = nullptr) { Change([&] { TStringList::Insert(Index, S, Obj); }); }
    void Delete(int Index) { Change([&] { TStringList::Delete(Index); }); }
    void Clear() { Change([&] { TStringList::Clear(); }); }
    void SetString(int Index, const std::string& S) { Change([&] { TStringList::SetString(Index, S); }); }
    void AddStrings(const TStringList& Other) { Change([&] { TStringList::AddStrings(Other); }); }
    void Assign(const TStringList& Other) { Change([&] { TStringList::Assign(Other); }); }
    void SetText(std::string_view Value) { Change([&] { TStringList::SetText(Value); }); }
    void SetValue(std::string_view Name, const std::string& Value) { Change([&] { TStringList::SetValue(Name, Value); }); }

private:
    void Changing() const {
        if (OnChanging) OnChanging();
    }
    void Changed() const {
        if (OnChange) OnChange();
    }
    template <class F>
    void Change(F Apply) {
        Changing();
        Apply();
        Changed();
    }
};

// Byte-wise comparisons that ignore the locale.
int CompareStr(std::string_view A, std::string_view B);
int CompareText(std::string_view A, std::string_view B);   // ASCII letters folded
bool SameText(std::string_view A, std::string_view B);
std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);
std::string Trim(std::string_view S);        // drops blanks and control characters at both ends
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
// Splits at CR LF, LF or CR; a trailing line break does not make an empty last line.
std::vector<std::string> SplitLines(std::string_view Text);

} // namespace qnl
