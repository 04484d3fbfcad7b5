#pragma once
// Reading the columns of the current catalogue row, for the database extractor's readers. A
// column the query does not have is a fault of the reader's text, not of the database: it is
// raised with the column's name, so the run ends with a message that says which.
#include "core/qnlDBEngine.h"
#include "platform/StringList.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qnl::dbrow {

inline TQNLField& Column(TQNLQuery& Query, const std::string& Name) {
    TQNLField* f = Query.FieldByName(Name);
    if (!f) throw std::runtime_error("Catalogue query has no column " + Name + ".");
    return *f;
}

// The text as read (CHAR values may come back padded).
inline std::string TextOf(TQNLQuery& Query, const std::string& Name) { return Column(Query, Name).AsString(); }
// A name: the text without the blanks CHAR columns pad it with. Only on the right: a quoted name
// may begin with blanks, and Firebird keeps them.
inline std::string NameOf(TQNLQuery& Query, const std::string& Name) { return TrimRight(Column(Query, Name).AsString()); }
inline int64_t IntOf(TQNLQuery& Query, const std::string& Name) { return Column(Query, Name).AsInteger(); }
inline bool NullOf(TQNLQuery& Query, const std::string& Name) { return Column(Query, Name).IsNull(); }
inline TQNLValue ValueOf(TQNLQuery& Query, const std::string& Name) { return Column(Query, Name).AsVariant(); }

// Sets the parameter of that name (the text must hold it).
inline void SetParam(TQNLQuery& Query, const std::string& Name, const std::string& Value) {
    TQNLParam* p = Query.ParamByName(Name);
    if (!p) throw std::runtime_error("Catalogue query has no parameter " + Name + ".");
    p->SetAsString(Value);
}

// Facts several readers look up by a name, each read for the whole database with one query the
// first time a reader asks, and kept until the run ends: the columns of every index in segment
// order, and the bounds of every array field in dimension order.
struct TCatalogueCache {
    bool SegmentsRead = false;
    std::unordered_map<std::string, std::vector<std::string>> Segments;
    bool DimensionsRead = false;
    std::unordered_map<std::string, std::vector<std::pair<int32_t, int32_t>>> Dimensions;
};

// A key made of two names (a relation and its column): a NUL cannot stand in a name.
inline std::string PairKey(const std::string& A, const std::string& B) {
    std::string key;
    key.reserve(A.size() + 1 + B.size());
    key += A;
    key += '\0';
    key += B;
    return key;
}

} // namespace qnl::dbrow
