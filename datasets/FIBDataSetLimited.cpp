// The data set's limited cache model: a window of at most BufferChunks consecutive rows of the
// SelectSQL order, the keyset statements that fetch the rows after and before it, bookmarks
// found again by their keys, and the locate by SELECT; see FIBDataSet.h.
//
// Position p of the order lives in ring slot p mod BufferChunks, so moving the window
// overwrites the slot of the row that leaves it and copies nothing. The statements compare
// every ORDER BY field with the edge row's value; a nullable field is compared as the pair
// (null rank, value), the rank placing NULL where the server's order puts it, so NULLs and
// ties at the window's edges are neither skipped nor read twice whatever the column's type.
#include "datasets/FIBDataSet.h"

#include "client/SqlTxtRtns.h"
#include "client/StdFuncs.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <cmath>
#include <cstring>

namespace qnl {

namespace {

constexpr int LastWindowStart = 1073741822;   // InternalLast fills the window downwards from here

std::string PrefixedParam(const std::string& Prefix, const std::string& FieldName) {
    const std::string name = Prefix + FieldName;
    return NeedQuote(name) ? "\"" + name + "\"" : name;
}

// The parameter Prefix + FieldName of Query, whether the statement names it quoted or not.
TFIBXSQLVAR* FindPrefixedParam(TFIBQuery& Query, const std::string& Prefix, const std::string& FieldName) {
    TFIBXSQLVAR* param = Query.FindParam(PrefixedParam(Prefix, FieldName));
    return param ? param : Query.FindParam(Prefix + FieldName);
}

// The column a field reads, as the statements name it: "alias"."column" (the table when the
// SELECT gives no alias).
std::string ColumnOf(TFIBCustomDataSet& DS, TField* Field) {
    std::string table = DS.GetFieldTableAlias(Field);
    if (table.empty()) table = DS.GetRelationName(Field);
    return FormatFullFieldName(table, DS.GetSqlName(Field));
}

// One component of the order the window statements compare: a column's value, or the null
// rank of a nullable column.
struct TOrderKey {
    std::string Column;   // the expression on the row's side
    std::string Param;    // the edge row's side
    bool Ascending = true;
    bool NullSafe = false;   // equality that holds for two NULLs
};

std::string Equal(const TOrderKey& K) {
    return K.NullSafe ? "(" + K.Column + " IS NOT DISTINCT FROM " + K.Param + ")" : "(" + K.Column + " = " + K.Param + ")";
}

// Rows after (Forward) or before the edge row in the order of Keys: the key at i differs in
// the direction asked and all keys before it are equal.
std::string OrderCondition(const std::vector<TOrderKey>& Keys, bool Forward) {
    std::string condition;
    for (size_t i = Keys.size(); i-- > 0;) {
        const TOrderKey& k = Keys[i];
        const char* op = (k.Ascending == Forward) ? " > " : " < ";
        const std::string step = "(" + k.Column + op + k.Param + ")";
        condition = condition.empty() ? step : "((" + condition + ") and " + Equal(k) + ") or " + step;
    }
    return condition;
}

} // namespace

// ---- The window statements ----

void TFIBCustomDataSet::AddOrderTieBreaker() {
    FTieBreaker.clear();
    if (!IsSorted()) return;
    std::string table;
    for (TField* f : Fields()) {
        if (f->FieldKind() != fkData) continue;
        const std::string relation = GetRelationName(f);
        if (relation.empty() || (!table.empty() && relation != table)) return;   // a join or an expression
        table = relation;
    }
    if (table.empty()) return;
    const std::string keys = GetTableKeyFields(table, false);
    if (keys.empty()) return;
    std::vector<TField*> keyFields, added;
    GetFieldList(keyFields, keys);
    for (TField* f : keyFields) {
        bool sorted = false;
        for (int i = FSortFields.LowBound(1); i <= FSortFields.HighBound(1); ++i)
            if (VarToStr(FSortFields.GetElement({i, 0})) == f->FieldName()) sorted = true;
        if (!sorted) added.push_back(f);
    }
    if (added.empty()) return;
    const int low = FSortFields.LowBound(1);
    const int rows = FSortFields.HighBound(1) - low + 1;
    Variant fields = Variant::CreateArray({{0, rows + static_cast<int>(added.size())}, {0, 3}}, varVariant);
    for (int i = 0; i < rows; ++i)
        for (int c = 0; c < 3; ++c) fields.PutElement({i, c}, FSortFields.GetElement({low + i, c}));
    for (size_t k = 0; k < added.size(); ++k) {
        TField* f = added[k];
        FTieBreaker += ", " + ColumnOf(*this, f);
        const int row = rows + static_cast<int>(k);
        fields.PutElement({row, 0}, Variant(f->FieldName()));
        fields.PutElement({row, 1}, Variant(true));
        fields.PutElement({row, 2}, Variant(true));
    }
    FSortFields = fields;
}

TFIBQuery& TFIBCustomDataSet::FirstRowsQuery() { return FTieBreaker.empty() ? *FSelectQuery : *FSelectFirstQuery; }

void TFIBCustomDataSet::PrepareLimitedCacheQueries() {
    if (!IsSorted()) RaiseClientErrorMsg("%s:Can't find or parse ORDER BY statement.", {FullName()});
    auto make = [&](std::unique_ptr<TFIBQuery>& Query, const char* Name) {
        if (!Query) Query = CreateInternalQuery(Name);
        if (Query->Open()) Query->Close();
        Query->SetDatabase(Database());
        Query->SetTransaction(Transaction());
    };
    make(FSelectDescQuery, "SelectDescQuery");
    make(FSelectPartQuery, "SelectPartQuery");
    make(FSelectPartDescQuery, "SelectPartDescQuery");
    make(FSelectLocate, "SelectLocate");
    if (!FTieBreaker.empty()) make(FSelectFirstQuery, "SelectFirstQuery");

    std::vector<TOrderKey> keys;
    for (int i = FSortFields.LowBound(1); i <= FSortFields.HighBound(1); ++i) {
        TField* f = FindField(VarToStr(FSortFields.GetElement({i, 0})));
        if (!f) continue;
        const bool ascending = FSortFields.GetElement({i, 1}).AsBoolean();
        const bool nullsFirst = FSortFields.GetElement({i, 2}).AsBoolean();
        const std::string column = ColumnOf(*this, f);
        const std::string param = "?" + PrefixedParam("NEW_", f->FieldName());
        const XSQLVAR x = GetFieldXSQLVar(f);
        if (x.sqltype & 1) {
            // NULL ranks below (0) or above (2) every value (1) as the order places it.
            const int rank = (nullsFirst == ascending) ? 0 : 2;
            keys.push_back({"IIF(" + column + " IS NULL, " + std::to_string(rank) + ", 1)",
                            "?" + PrefixedParam("NULLRANK_", f->FieldName()), ascending, false});
            keys.push_back({column, param, ascending, true});
        } else {
            keys.push_back({column, param, ascending, false});
        }
    }
    int orderPos = 0, endPos = 0;
    std::string order;
    GetOrderByPos(FSelectQuery->ExpandedSQLText(), orderPos, endPos, order);
    order = Trim(order) + FTieBreaker;
    const std::string text = FTieBreaker.empty() ? SelectSQL().Text() : SetOrderClause(SelectSQL().Text(), order);
    const std::string inverse = InvertOrderClause(order);
    const std::string plan = FCacheModelOptions.PlanForDescSQLs;
    auto setText = [&](TFIBQuery& Query, const std::string& Text, bool Descending) {
        Query.SQL().SetText(Text);
        if (Descending) {
            Query.SetOrderClause(inverse);
            if (!Trim(plan).empty()) Query.SetPlanClause(plan);
        }
    };
    setText(*FSelectDescQuery, text, true);
    setText(*FSelectPartQuery, AddWhereCondition(text, OrderCondition(keys, true), false), false);
    setText(*FSelectPartDescQuery, AddWhereCondition(text, OrderCondition(keys, false), false), true);
    std::string locate;
    for (int i = 0; i < FBookmarkKeyFields.Count(); ++i) {
        TField* f = FindField(FBookmarkKeyFields[i]);
        if (!f || f->FieldKind() != fkData) continue;
        // A key part may be NULL: the row with a NULL there is the one meant.
        locate += std::string(locate.empty() ? "" : " and ") + "(" + ColumnOf(*this, f) +
                  " IS NOT DISTINCT FROM ?" + PrefixedParam("LOCATE_", f->FieldName()) + ")";
    }
    setText(*FSelectLocate, locate.empty() ? text : AddWhereCondition(text, locate, false), false);
    if (!FTieBreaker.empty()) setText(*FSelectFirstQuery, text, false);
}

void TFIBCustomDataSet::ResetWindow(bool AtBOF) {
    FWindow = TCacheWindow{};
    FWindow.AtBOF = AtBOF;
    FRecordCount = 0;
}

// Fills Query's parameters for the rows after or before the record in Buffer: NEW_ names and
// the null ranks from the record, the names of SelectSQL's own parameters from SelectQuery.
static void FillNullRanks(TFIBCustomDataSet& DS, TFIBQuery& Query) {
    const Variant& sort = DS.SortFields();
    if (!DS.IsSorted()) return;
    for (int i = sort.LowBound(1); i <= sort.HighBound(1); ++i) {
        const std::string name = VarToStr(sort.GetElement({i, 0}));
        TFIBXSQLVAR* rank = FindPrefixedParam(Query, "NULLRANK_", name);
        TFIBXSQLVAR* value = FindPrefixedParam(Query, "NEW_", name);
        if (!rank || !value) continue;
        const bool ascending = sort.GetElement({i, 1}).AsBoolean();
        const bool nullsFirst = sort.GetElement({i, 2}).AsBoolean();
        rank->SetAsInteger(value->GetIsNull() ? ((nullsFirst == ascending) ? 0 : 2) : 1);
    }
}

void TFIBCustomDataSet::StartWindowQuery(TFIBQuery& Query, TRecordBuffer Source) {
    if (Query.Open()) Query.Close();
    // Prepared first, so that every value takes the type the server described.
    if (!Query.Prepared()) Query.Prepare();
    SetQueryParams(Query, Source);
    FillNullRanks(*this, Query);
    Query.Params().AssignValues(FSelectQuery->Params());
    Query.ExecQuery();
}

void TFIBCustomDataSet::SwitchSelectQuery(TFIBQuery& Query, int Position) {
    if (FCurrentSelect && FCurrentSelect->Open()) FCurrentSelect->Close();
    FCurrentSelect = &Query;
    std::vector<char> record(FRecordBufferSize, 0);
    ReadRecordFromCache(Position, record.data(), false);
    StartWindowQuery(Query, record.data());
}

bool TFIBCustomDataSet::FetchWindowRow(TFIBQuery& Query, int Position) {
    if (!Query.Open() || Query.Eof() || !Query.Next()) return false;
    FetchRecordToCache(Query, Position);
    return true;
}

void TFIBCustomDataSet::ShiftWindow() {
    const int n = FCacheModelOptions.BufferChunks();
    FCurrentRecord += n;
    if (FWindow.First >= 0) {
        FWindow.First += n;
        FWindow.Last += n;
    }
    // The framework's buffers name their records by position too.
    for (int i = 0; i <= BufferCount(); ++i) {
        TRecordBuffer buffer = Buffers(i);
        if (!buffer) continue;
        const int32_t number = RecordNumberOf(buffer) + n;
        std::memcpy(buffer, &number, 4);
    }
}

// ---- Moving through the window ----

TGetResult TFIBCustomDataSet::GetLimitedRecord(TRecordBuffer Buffer, TGetMode GetMode) {
    TCacheWindow& w = FWindow;
    const int n = FCacheModelOptions.BufferChunks();
    const bool empty = w.First < 0 || w.First > w.Last;
    auto read = [&](int Position) {
        FCurrentRecord = Position;
        ReadRecordFromCache(Position, Buffer, false);
        return grOK;
    };
    auto inside = [&](int Position) { return !empty && Position >= w.First && Position <= w.Last; };
    auto sync = [&] { FRecordCount = empty && w.First < 0 ? 0 : w.Last - w.First + 1; };
    switch (GetMode) {
    case gmCurrent:
        if (inside(FCurrentRecord)) return read(FCurrentRecord);
        if (!empty && FCurrentRecord < w.First && FCurrentRecord >= 0) return w.AtBOF ? grBOF : grError;
        return w.AtEOF ? grEOF : grError;
    case gmNext: {
        if (inside(FCurrentRecord + 1)) return read(FCurrentRecord + 1);
        if (!empty && FCurrentRecord != w.Last) return grError;
        const bool forward = FCurrentSelect == &FirstRowsQuery() || FCurrentSelect == FSelectPartQuery.get();
        if (!forward) {
            if (w.AtEOF || empty) return grEOF;
            SwitchSelectQuery(*FSelectPartQuery, w.Last);
        }
        const int position = empty ? FCurrentRecord + 1 : w.Last + 1;
        if (!FetchWindowRow(*FCurrentSelect, position)) {
            w.AtEOF = true;
            return grEOF;
        }
        if (empty) w.First = position;
        w.Last = position;
        if (w.Last - w.First >= n) {   // the row took the slot of the window's first
            w.First = w.Last - n + 1;
            w.AtBOF = false;
        }
        FRecordCount = w.Last - w.First + 1;
        return read(position);
    }
    case gmPrior: {
        if (inside(FCurrentRecord - 1)) return read(FCurrentRecord - 1);
        if (empty || FCurrentRecord < 0) {
            w.AtBOF = true;
            return grBOF;
        }
        if (FCurrentRecord != w.First) return grError;
        const bool backward = FCurrentSelect == FSelectDescQuery.get() || FCurrentSelect == FSelectPartDescQuery.get();
        if (!backward) {
            if (w.AtBOF) return grBOF;
            SwitchSelectQuery(*FSelectPartDescQuery, w.First);
        }
        if (w.First == 0) ShiftWindow();
        const int position = w.First - 1;
        if (!FetchWindowRow(*FCurrentSelect, position)) {
            w.AtBOF = true;
            return grBOF;
        }
        w.First = position;
        if (w.Last - w.First >= n) {
            w.Last = w.First + n - 1;
            w.AtEOF = false;
        }
        sync();
        return read(position);
    }
    }
    return grError;
}

void TFIBCustomDataSet::LimitedFirst() {
    TFIBQuery& first = FirstRowsQuery();
    if (FCurrentSelect == &first && FWindow.First <= 0 && !(FWindow.First < 0 && FWindow.Last >= 0)) {
        FCurrentRecord = -1;
        return;
    }
    if (FCurrentSelect && FCurrentSelect->Open()) FCurrentSelect->Close();
    if (FSelectQuery->Open()) FSelectQuery->Close();
    if (&first != FSelectQuery.get()) {
        if (!first.Prepared()) first.Prepare();
        first.Params().AssignValues(FSelectQuery->Params());
    }
    first.ExecQuery();
    FCurrentSelect = &first;
    ResetWindow(true);
    FCurrentRecord = -1;
}

void TFIBCustomDataSet::LimitedLast() {
    if (State() == dsInsert || FWindow.AtEOF) {
        FCurrentRecord = FWindow.Last + 1;
        return;
    }
    FreeOwnedStreams();
    if (FCurrentSelect && FCurrentSelect->Open()) FCurrentSelect->Close();
    TFIBQuery& desc = *FSelectDescQuery;
    if (desc.Open()) desc.Close();
    if (!desc.Prepared()) desc.Prepare();
    desc.Params().AssignValues(FSelectQuery->Params());
    FCurrentSelect = &desc;
    desc.ExecQuery();
    // The last rows, read backwards into the positions below LastWindowStart. A failing fetch
    // is raised, never taken for the end of the rows.
    FWindow.First = LastWindowStart + 1;
    FWindow.Last = LastWindowStart;
    int position = LastWindowStart;
    const int n = FCacheModelOptions.BufferChunks();
    while (FWindow.Last - FWindow.First + 1 < n && FetchWindowRow(desc, position)) FWindow.First = position--;
    FCurrentRecord = FWindow.Last + 1;
    FRecordCount = FWindow.Last - FWindow.First + 1;
    FWindow.AtBOF = false;
    FWindow.AtEOF = true;
}

// ---- Rebuilding the window around one row ----

bool TFIBCustomDataSet::RefetchWindowAround(TFIBQuery& Located, int& Position, bool Execute, bool RequireRow) {
    bool found;
    if (Execute) {
        if (Located.Open()) Located.Close();
        if (!Located.Prepared()) Located.Prepare();
        Located.Params().AssignValues(FSelectQuery->Params());
        Located.ExecQuery();
        found = Located.Next() != nullptr;
    } else {
        // The located statement ran already and its row is the active record now.
        found = Located.GetRecordCount() > 0 && ActiveBuffer();
    }
    if (!found && RequireRow) {
        if (Located.Open()) Located.Close();
        return false;
    }
    const int n = FCacheModelOptions.BufferChunks();
    if (Position < n / 2) Position = n / 2;
    // The rows around are fetched after the located row's keys (or the current record's).
    std::vector<char> source(FRecordBufferSize, 0);
    if (found && Execute) {
        FetchRecordToCache(Located, Position);
        ReadRecordFromCache(Position, source.data(), false);
    } else if (found) {
        WriteRecordToCache(Position, ActiveBuffer());
        ReadRecordFromCache(Position, source.data(), false);
    } else if (TRecordBuffer active = ActiveBuffer()) {
        std::memcpy(source.data(), active, FRecordBufferSize);
    }
    if (FCurrentSelect && FCurrentSelect->Open()) FCurrentSelect->Close();
    FWindow = TCacheWindow{};
    if (found) FWindow.First = FWindow.Last = Position;
    auto size = [&] { return FWindow.First < 0 ? 0 : FWindow.Last - FWindow.First + 1; };
    // Backward into the positions below the located row; a read that would reach below 0
    // first moves every position up.
    auto readBack = [&](int Limit) {
        while (!FWindow.AtBOF && size() < Limit) {
            int below = FWindow.First < 0 ? Position - 1 : FWindow.First - 1;
            if (below < 0) {
                ShiftWindow();
                Position += n;
                below += n;
            }
            if (!FetchWindowRow(*FSelectPartDescQuery, below)) {
                FWindow.AtBOF = true;
                break;
            }
            if (FWindow.First < 0) FWindow.Last = below;
            FWindow.First = below;
        }
    };
    StartWindowQuery(*FSelectPartDescQuery, source.data());
    readBack(found ? n / 2 + 1 : n / 2);
    StartWindowQuery(*FSelectPartQuery, source.data());
    int after = found ? Position + 1 : (FWindow.First < 0 ? Position : FWindow.Last + 1);
    const int firstAfter = after;
    while (size() < n) {
        if (!FetchWindowRow(*FSelectPartQuery, after)) {
            FWindow.AtEOF = true;
            break;
        }
        if (FWindow.First < 0) FWindow.First = after;
        FWindow.Last = after++;
    }
    readBack(n);
    FSelectPartDescQuery->Close();
    if (Located.Open()) Located.Close();
    FCurrentSelect = FSelectPartQuery.get();
    FRecordCount = size();
    if (found) FCurrentRecord = Position;
    else if (HoldsRecord(firstAfter)) FCurrentRecord = firstAfter;
    else FCurrentRecord = FWindow.First < 0 ? -1 : FWindow.Last;
    Position = FCurrentRecord;
    return found;
}

// ---- Bookmarks ----

bool TFIBCustomDataSet::LimitedGotoBookmark(const uint8_t* Bookmark) {
    const size_t size = static_cast<size_t>(BookmarkSize());
    int32_t number;
    std::memcpy(&number, Bookmark, 4);
    const int position = number - 1;
    std::vector<char> record(FRecordBufferSize, 0);
    std::vector<uint8_t> keys(size, 0);
    auto same = [&](int Position) {
        ReadRecordFromCache(Position, record.data(), false);
        std::fill(keys.begin(), keys.end(), 0);
        FillBookmarkKeys(record.data(), keys.data());
        return std::memcmp(keys.data() + 8, Bookmark + 8, size - 8) == 0;
    };
    if (HoldsRecord(position) && same(position)) {
        FCurrentRecord = position;
        return true;
    }
    for (int p = FWindow.First; FWindow.First >= 0 && p <= FWindow.Last; ++p)
        if (same(p)) {
            FCurrentRecord = p;
            return true;
        }
    // Gone from the window: found again by its keys.
    TFIBQuery& locate = *FSelectLocate;
    if (locate.Open()) locate.Close();
    if (!locate.Prepared()) locate.Prepare();
    for (int i = 0; i < FBookmarkKeyFields.Count(); ++i) {
        TField* f = FindField(FBookmarkKeyFields[i]);
        TFIBXSQLVAR* param = f ? FindPrefixedParam(locate, "LOCATE_", f->FieldName()) : nullptr;
        if (!param) continue;
        const auto offset = static_cast<size_t>(reinterpret_cast<intptr_t>(FBookmarkKeyFields.Objects(i)));
        const uint8_t* part = Bookmark + offset;
        if (part[0]) {
            param->SetIsNull(true);
            continue;
        }
        const uint8_t* data = part + 1;
        const int dataSize = f->DataSize();
        auto integer = [&]() -> int64_t {
            switch (dataSize) {
            case 1: return static_cast<int8_t>(data[0]);
            case 2: { int16_t v; std::memcpy(&v, data, 2); return v; }
            case 4: { int32_t v; std::memcpy(&v, data, 4); return v; }
            default: { int64_t v = 0; std::memcpy(&v, data, 8); return v; }
            }
        };
        switch (f->DataType()) {
        case ftString:
            param->SetAsString(std::string(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), static_cast<size_t>(std::max(dataSize - 1, 0)))));
            break;
        case ftWideString: {
            std::u16string text;
            for (int k = 0; k + 1 < dataSize; k += 2) {
                char16_t c;
                std::memcpy(&c, data + k, 2);
                if (c == 0) break;
                text.push_back(c);
            }
            param->SetAsWideString(text);
            break;
        }
        case ftBoolean: param->SetAsBoolean(integer() != 0); break;
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftLargeint: param->SetAsInt64(integer()); break;
        case ftBCD: {
            int64_t raw;
            std::memcpy(&raw, data, 8);
            param->SetAsInt64(raw);
            if (const TFIBFieldDescr* d = FieldDescr(f)) param->SetScale(static_cast<int16_t>(d->Scale));
            break;
        }
        case ftFloat:
        case ftCurrency: {
            double v;
            std::memcpy(&v, data, 8);
            param->SetAsDouble(v);
            break;
        }
        case ftDate: {
            int32_t day;
            std::memcpy(&day, data, 4);
            param->SetAsDate(static_cast<double>(day) - DateDelta);
            break;
        }
        case ftTime: {
            ISC_TIME units;
            std::memcpy(&units, data, 4);
            param->SetAsISCTime(units);
            break;
        }
        case ftDateTime: {
            double ms;
            std::memcpy(&ms, data, 8);
            param->SetAsISCTimeStamp(IscStampOfStored(ms));
            break;
        }
        default: param->SetAsString(std::string(reinterpret_cast<const char*>(data))); break;
        }
    }
    int at = position;
    if (!RefetchWindowAround(locate, at, true, true)) return false;
    return true;
}

// ---- The locate by SELECT ----

bool TFIBCustomDataSet::LocateForPartialCache(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                                              TLocateExOptions Options, TLocateExDirection Direction, TFIBQuery* Query) {
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    if (fields.empty()) RaiseClientError(cecFieldListEmpty, {FullName() + ".LocateForPartialCache"});
    for (TField* f : fields)
        if (f->FieldKind() != fkData) RaiseClientError(cecCantUseField, {FullName() + ".LocateForPartialCache", f->FieldName()});
    DisableControls();
    ++FScrollEventLock;
    return Guarded(
        [&] {
            std::unique_ptr<TFIBQuery> own;
            TFIBQuery* q = Query;
            if (!q) {
                own = CreateInternalQuery("QLocate");
                q = own.get();
            }
            q->SetDatabase(Database());
            q->SetTransaction(Transaction());
            // Every key goes to the server as a parameter: a key is never part of the text.
            std::string condition;
            for (size_t i = 0; i < fields.size(); ++i) {
                TField* f = fields[i];
                std::string column = ColumnOf(*this, f);
                const std::string param = "?" + PrefixedParam("LOCATE_", f->FieldName());
                const Variant key = i < KeyValues.size() ? KeyValues[i] : Variant::Null();
                std::string term;
                const bool text = f->DataType() == ftString || f->DataType() == ftWideString;
                if (key.IsNull() || key.IsEmpty()) {
                    term = "(" + column + " IS NULL)";   // as the engine of the other model matches it
                } else if (text) {
                    std::string value = param;
                    if (Options & lxCaseInsensitive) {
                        column = "UPPER(" + column + ")";
                        value = "UPPER(" + param + ")";
                    }
                    if (Options & lxPartialKey) term = "(" + column + " starting with " + value + ")";
                    else if (Options & lxSqlMask) term = "(" + column + " like " + value + ")";
                    else term = "(" + column + " = " + value + ")";
                } else {
                    term = "(" + column + " = " + param + ")";
                }
                condition += (condition.empty() ? "" : " and ") + term;
            }
            const std::string base = Direction == ldNext    ? FSelectPartQuery->SQL().Text()
                                     : Direction == ldPrior ? FSelectPartDescQuery->SQL().Text()
                                                            : SelectSQL().Text();
            q->SQL().SetText(AddFirstClause(AddWhereCondition(base, condition, false), 1));
            q->Prepare();
            // The edge values of ldNext and ldPrior come from the current record.
            if (TRecordBuffer active = ActiveBuffer(); active && !IsEmpty()) {
                SetQueryParams(*q, active);
                FillNullRanks(*this, *q);
            }
            q->Params().AssignValues(FSelectQuery->Params());
            for (size_t i = 0; i < fields.size(); ++i) {
                TField* f = fields[i];
                const Variant key = i < KeyValues.size() ? KeyValues[i] : Variant::Null();
                if (key.IsNull() || key.IsEmpty()) continue;
                TFIBXSQLVAR* param = FindPrefixedParam(*q, "LOCATE_", f->FieldName());
                if (!param) continue;
                const TFIBFieldDescr* d = FieldDescr(f);
                if (f->DataType() == ftBCD && d && d->Scale < 0) {
                    // The scaled integer, rounded: no digit lost through a double.
                    long double n = 0;
                    if (!VarToNumber(key, n)) n = std::strtold(VarToStr(key).c_str(), nullptr);
                    param->SetAsInt64(std::llround(n * std::pow(10.0L, -d->Scale)));
                    param->SetScale(static_cast<int16_t>(d->Scale));
                } else if (f->DataType() == ftBoolean) {
                    long double n = 0;
                    param->SetAsBoolean(VarToNumber(key, n) ? n != 0 : SameText(Trim(VarToStr(key)), "true"));
                } else {
                    param->SetAsVariant(key);
                }
            }
            if (Query) {
                if (q->Open()) q->Close();
                q->ExecQuery();
                return q->Next() != nullptr;
            }
            int position = FCacheModelOptions.BufferChunks() / 2 + 1;
            const bool found = RefetchWindowAround(*q, position, true, true);
            if (found) Resync(rmCenter);
            return found;
        },
        [&] {
            --FScrollEventLock;
            EnableControls();
        });
}

} // namespace qnl
