#include "pFIBEventLists.h"

#include <algorithm>

namespace qnl {

void TBlobFilterTable::Add(int32_t Key, TBlobFilterProc First, TBlobFilterProc Second) {
    FEntries.push_back({Key, First, Second});
    FSorted = false;
}

bool TBlobFilterTable::Find(int32_t Key, int& Index) {
    if (!FSorted) {
        std::stable_sort(FEntries.begin(), FEntries.end(), [](const Entry& a, const Entry& b) { return a.Key < b.Key; });
        FSorted = true;
    }
    auto it = std::lower_bound(FEntries.begin(), FEntries.end(), Key,
                               [](const Entry& e, int32_t k) { return e.Key < k; });
    Index = static_cast<int>(it - FEntries.begin());
    return it != FEntries.end() && it->Key == Key;
}

TBlobFilterProc TBlobFilterTable::Get(int32_t Key, bool Which) {
    int index;
    if (!Find(Key, index)) return nullptr;
    const Entry& e = FEntries[static_cast<size_t>(index)];
    return Which ? e.First : e.Second;
}

void TBlobFilterTable::Dispatch(char** Buffer, int32_t* Size, bool Which, int32_t Key) {
    if (Key >= 0 || !Size || *Size <= 0 || !Buffer || !*Buffer) return;
    if (TBlobFilterProc filter = Get(Key, Which)) filter(Buffer, Size);
}

} // namespace qnl
