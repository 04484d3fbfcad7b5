#include "StringList.h"

#include "Files.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace qnl {

namespace {
unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
} // namespace

int CompareStr(std::string_view A, std::string_view B) {
    int r = A.compare(B);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareText(std::string_view A, std::string_view B) {
    size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = Fold(static_cast<unsigned char>(A[i]));
        unsigned char b = Fold(static_cast<unsigned char>(B[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    if (A.size() == B.size()) return 0;
    return A.size() < B.size() ? -1 : 1;
}

bool SameText(std::string_view A, std::string_view B) { return A.size() == B.size() && CompareText(A, B) == 0; }

std::string UpperCase(std::string_view S) {
    std::string r(S);
    for (char& c : r) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return r;
}

std::string LowerCase(std::string_view S) {
    std::string r(S);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

std::string TrimLeft(std::string_view S) {
    size_t i = 0;
    while (i < S.size() && static_cast<unsigned char>(S[i]) <= ' ') ++i;
    return std::string(S.substr(i));
}

std::string TrimRight(std::string_view S) {
    size_t n = S.size();
    while (n > 0 && static_cast<unsigned char>(S[n - 1]) <= ' ') --n;
    return std::string(S.substr(0, n));
}

std::string Trim(std::string_view S) { return TrimLeft(TrimRight(S)); }

std::vector<std::string> SplitLines(std::string_view Text) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < Text.size()) {
        char c = Text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(Text.substr(start, i - start));
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < Text.size()) lines.emplace_back(Text.substr(start));
    return lines;
}

int TStringList::CompareStrings(std::string_view A, std::string_view B) const {
    return FCaseSensitive ? CompareStr(A, B) : CompareText(A, B);
}

void TStringList::SetString(int Index, const std::string& S) {
    FItems.at(static_cast<size_t>(Index)).S = S;
    if (FSorted) Sort();
}

int TStringList::AddObject(const std::string& S, void* Obj) {
    if (!FSorted) {
        FItems.push_back({S, Obj});
        return Count() - 1;
    }
    int index;
    if (Find(S, index)) {
        if (FDuplicates == TDuplicates::dupIgnore) return index;
        if (FDuplicates == TDuplicates::dupError) throw std::runtime_error("String list does not allow duplicates");
    }
    FItems.insert(FItems.begin() + index, Item{S, Obj});
    return index;
}

void TStringList::Insert(int Index, const std::string& S, void* Obj) {
    if (FSorted) throw std::logic_error("Operation not allowed on sorted list");
    if (Index < 0 || Index > Count()) throw std::out_of_range("List index out of bounds");
    FItems.insert(FItems.begin() + Index, Item{S, Obj});
}

void TStringList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("List index out of bounds");
    FItems.erase(FItems.begin() + Index);
}

void TStringList::AddStrings(const TStringList& Other) {
    for (const Item& it : Other.FItems) AddObject(it.S, it.Obj);
}

void TStringList::Assign(const TStringList& Other) {
    if (&Other == this) return;
    Clear();
    AddStrings(Other);
}

int TStringList::IndexOf(std::string_view S) const {
    if (FSorted) {
        int index;
        return Find(S, index) ? index : -1;
    }
    for (size_t i = 0; i < FItems.size(); ++i)
        if (CompareStrings(FItems[i].S, S) == 0) return static_cast<int>(i);
    return -1;
}

bool TStringList::Find(std::string_view S, int& Index) const {
    // Binary search; with duplicates accepted it lands on the first equal entry.
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = CompareStrings(FItems[static_cast<size_t>(mid)].S, S);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (FDuplicates != TDuplicates::dupAccept) lo = mid;
            }
        }
    }
    Index = lo;
    return found;
}

int TStringList::IndexOfObject(const void* Obj) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].Obj == Obj) return static_cast<int>(i);
    return -1;
}

void TStringList::SetSorted(bool Value) {
    if (Value && !FSorted) {
        FSorted = true;
        Sort();
    } else {
        FSorted = Value;
    }
}

void TStringList::SetCaseSensitive(bool Value) {
    if (Value == FCaseSensitive) return;
    FCaseSensitive = Value;
    if (FSorted) Sort();
}

void TStringList::Sort() {
    std::stable_sort(FItems.begin(), FItems.end(),
                     [this](const Item& a, const Item& b) { return CompareStrings(a.S, b.S) < 0; });
}

std::string TStringList::Text() const {
    std::string r;
    for (const Item& it : FItems) {
        r += it.S;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(std::string_view Value) {
    Clear();
    for (std::string& line : SplitLines(Value)) AddObject(line, nullptr);
}

std::string TStringList::Names(int Index) const {
    const std::string& s = Strings(Index);
    size_t p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStringList::ValueFromIndex(int Index) const {
    const std::string& s = Strings(Index);
    size_t p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStringList::IndexOfName(std::string_view Name) const {
    for (size_t i = 0; i < FItems.size(); ++i) {
        const std::string& s = FItems[i].S;
        size_t p = s.find('=');
        if (p != std::string::npos && CompareStrings(std::string_view(s).substr(0, p), Name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::Values(std::string_view Name) const {
    int i = IndexOfName(Name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view Name, const std::string& Value) {
    int i = IndexOfName(Name);
    std::string line = std::string(Name) + "=" + Value;
    if (Value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(line);
    } else {
        SetString(i, line);
    }
}

bool TStringList::LoadFromFile(const std::string& FileName) {
    std::string bytes;
    if (!ReadFileBytes(FileName, bytes)) return false;
    SetText(bytes);
    return true;
}

bool TStringList::SaveToFile(const std::string& FileName) const {
    std::ofstream f(FileName, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    std::string t = Text();
    f.write(t.data(), static_cast<std::streamsize>(t.size()));
    return static_cast<bool>(f);
}

} // namespace qnl
