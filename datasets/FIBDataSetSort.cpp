// The data set's local sort, the locate engine, Locate, Lookup, moving to a record number and
// keeping a posted record in its sorted place; see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/StrUtil.h"
#include "client/fib.h"
#include "client/VariantRtn.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"
#include "platform/VariantOps.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>

namespace qnl {

namespace {

// The Unicode collation's root order (Firebird's UNICODE collation sorts the same way), the
// same whatever locale the process runs in; ICU's comparisons on one collator may run on
// several threads at once.
const UCollator* Collator() {
    static const std::unique_ptr<UCollator, void (*)(UCollator*)> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* c = ucol_open("", &status);
        return std::unique_ptr<UCollator, void (*)(UCollator*)>(U_SUCCESS(status) ? c : nullptr, ucol_close);
    }();
    return collator.get();
}

int FromCollation(UCollationResult R) { return R == UCOL_LESS ? -1 : (R == UCOL_GREATER ? 1 : 0); }

int CollateWide(const std::u16string& A, const std::u16string& B) {
    const UCollator* c = Collator();
    if (!c) return A < B ? -1 : (A > B ? 1 : 0);
    return FromCollation(ucol_strcoll(c, reinterpret_cast<const UChar*>(A.data()), static_cast<int32_t>(A.size()),
                                      reinterpret_cast<const UChar*>(B.data()), static_cast<int32_t>(B.size())));
}

int CollateUtf8(const std::string& A, const std::string& B) {
    const UCollator* c = Collator();
    if (!c) return A < B ? -1 : (A > B ? 1 : 0);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = ucol_strcollUTF8(c, A.data(), static_cast<int32_t>(A.size()), B.data(),
                                                static_cast<int32_t>(B.size()), &status);
    if (U_FAILURE(status)) return A < B ? -1 : (A > B ? 1 : 0);
    return FromCollation(r);
}

bool IsTextField(const TField* Field) {
    const TFieldType t = Field->DataType();
    return t == ftString || t == ftWideString || t == ftGuid;
}

// One key of a locate, and a record's value of the same field, in the form they are compared
// in: text (upper-cased for a case-insensitive search), or a whole number (integers, scaled
// decimals as their scaled integer, days, milliseconds of the day or of the time stamp), or
// a floating-point number.
struct TLocateValue {
    enum TKind : uint8_t { lvNone, lvText, lvWide, lvInt, lvFloat };
    TKind Kind = lvNone;
    bool Null = true;
    std::string Text;
    std::u16string Wide;
    int64_t Int = 0;
    double Float = 0;
};

struct TLocateKey {
    TField* Field = nullptr;
    Variant Value;          // as given (for the collation order of text)
    TLocateValue Key;
    int Scale = 0;          // decimals of a scaled decimal field
    bool KeyNotDate = false;   // a date-time key given as something else: compare whole seconds
    int SortPosition = 0;   // 1-based row of the sort state
    bool Ascending = true;
    bool NullsFirst = false;
};

// A key as a number: numbers as they are, text read as a decimal number.
long double KeyNumber(const Variant& Value) {
    long double n = 0;
    if (VarToNumber(Value, n)) return n;
    const std::string text = Trim(VarToStr(Value));
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw EConvertError("'" + text + "' is not a valid number");
    return n;
}

long double Pow10(int N) {
    long double p = 1;
    for (int i = 0; i < N; ++i) p *= 10;
    return p;
}

// Value (a key, or a record's value of the same field) in the form of Key's field.
TLocateValue ToLocateValue(const TLocateKey& Key, const Variant& Value, TLocateExOptions Options, bool IsKey,
                           bool NarrowText) {
    TLocateValue v;
    if (Value.IsNull() || Value.IsEmpty()) return v;
    v.Null = false;
    Variant value = Value;
    if (value.VarType() == varBoolean) value = Variant(static_cast<int32_t>(value.AsBoolean() ? 1 : 0));
    TField* f = Key.Field;
    const bool ci = (Options & lxCaseInsensitive) != 0;
    switch (f->DataType()) {
    case ftString:
    case ftGuid:
    case ftWideString:
        if (ci || !NarrowText) {
            v.Kind = TLocateValue::lvWide;
            v.Wide = VarToWideStr(value);
            if (ci) WideUpperCaseInPlace(v.Wide);
        } else {
            v.Kind = TLocateValue::lvText;
            v.Text = VarToStr(value);
        }
        return v;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
    case ftBoolean: {
        v.Kind = TLocateValue::lvInt;
        const TVarType t = value.VarType();
        if (t == varSmallint || t == varInteger || t == varInt64 || t == varShortInt || t == varByte || t == varWord ||
            t == varLongWord) {
            v.Int = value.AsInt64();
            return v;
        }
        v.Int = std::llround(KeyNumber(value));
        return v;
    }
    case ftBCD: {
        // The scaled integer the record holds: rounded, so 12.1234 is 121234 and not 121233.
        v.Kind = TLocateValue::lvInt;
        v.Int = std::llround(KeyNumber(value) * Pow10(Key.Scale));
        return v;
    }
    case ftFloat:
    case ftCurrency: {
        v.Kind = TLocateValue::lvFloat;
        v.Float = static_cast<double>(KeyNumber(value));
        return v;
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
        v.Kind = TLocateValue::lvInt;
        const TDateTime dt = VarToDateTime(value);
        if (f->DataType() == ftDate) v.Int = static_cast<int64_t>(std::floor(dt));
        else if (f->DataType() == ftTime) v.Int = std::llround((dt - std::floor(dt)) * MSecsPerDay);
        else v.Int = std::llround(dt * MSecsPerDay);
        if (!IsKey && Key.KeyNotDate && f->DataType() == ftDateTime) v.Int -= ((v.Int % 1000) + 1000) % 1000;
        return v;
    }
    default: return TLocateValue{};   // not compared
    }
}

} // namespace

// ---- Comparing values ----

int TFIBCustomDataSet::CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2) {
    if (OnCompareFieldValues) return OnCompareFieldValues(Field, S1, S2);
    if (S1.IsNull() || S1.IsEmpty()) return (S2.IsNull() || S2.IsEmpty()) ? 0 : -1;
    if (S2.IsNull() || S2.IsEmpty()) return 1;
    switch (Field->DataType()) {
    case ftString: return CollateUtf8(VarToStr(S1), VarToStr(S2));
    case ftWideString: return CollateWide(VarToWideStr(S1), VarToWideStr(S2));
    default: return CompareVariants(S1, S2);
    }
}

bool TFIBCustomDataSet::IsSorted() const {
    return FSortFields.IsArray() && FSortFields.DimCount() == 2 && FSortFields.HighBound(1) >= FSortFields.LowBound(1);
}

// ---- The local sort ----

void TFIBCustomDataSet::SortValues(const std::vector<TField*>& Fields, int Index, std::vector<char>& Record,
                                   Variant* Values) {
    bool read = false;
    for (size_t k = 0; k < Fields.size(); ++k) {
        TField* f = Fields[k];
        if (f->FieldNo() >= 1 && f->FieldNo() <= ColumnCount() && !f->IsBlob()) {
            if (!read) ReadRecordFromCache(Index, Record.data(), false);
            read = true;
            Values[k] = ColumnValue(f, FFieldDescr.Items(f->FieldNo() - 1), Record.data());
        } else {
            Values[k] = GetCacheFieldValue(f, Index + 1);
        }
    }
}

void TFIBCustomDataSet::DoSortEx(const std::vector<TSortElement>& Fields, const std::vector<bool>& Ascending) {
    if (State() == dsEdit || State() == dsInsert) Post();
    FSorting = true;
    const TFIBUpdateRecordTypes savedTypes = FUpdateRecordTypes;
    try {
        {
            CheckDataSetOpen(" do local sorting ");
            // The limited model holds a window of the rows only, in the ring's slots.
            if (Limited()) RaiseClientError(cecUnsupportedFeature);
            ++FFetchAllCount;
            const TBookmark here = GetBookmark();
            DisableControls();
            ++FScrollEventLock;
            Guarded(
                [&] {
                    while (FetchNext(1000) > 0) {
                    }
                    std::vector<TField*> fields;
                    std::vector<int> directions;
                    for (size_t i = 0; i < Fields.size(); ++i) {
                        TField* f = nullptr;
                        if (const int* index = std::get_if<int>(&Fields[i]))
                            f = *index >= 0 && *index < FieldCount() ? this->Fields()[*index] : nullptr;
                        else if (const std::string* name = std::get_if<std::string>(&Fields[i]))
                            f = FindField(*name);
                        else if (TField* const* field = std::get_if<TField*>(&Fields[i]))
                            f = *field && (*field)->DataSet() == this ? *field : nullptr;
                        if (!f) throw Exception("Can't sort. Invalid parameter: Fields[" + std::to_string(i) + "]");
                        fields.push_back(f);
                        directions.push_back(i < Ascending.size() && !Ascending[i] ? -1 : 1);
                    }
                    const int n = static_cast<int>(fields.size());
                    FSortFields = n == 0 ? Variant::Null() : Variant::CreateArray({{0, n}, {0, 3}}, varVariant);
                    for (int i = 0; i < n; ++i) {
                        FSortFields.PutElement({i, 0}, Variant(fields[static_cast<size_t>(i)]->FieldName()));
                        FSortFields.PutElement({i, 1}, Variant(directions[static_cast<size_t>(i)] > 0));
                        FSortFields.PutElement({i, 2}, Variant(false));
                    }
                    FLocallySorted = true;
                    const int count = FRecordCount;
                    if (count < 2 || n == 0) return;
                    // Hidden records keep their place among the others.
                    FUpdateRecordTypes = static_cast<TFIBUpdateRecordTypes>(0x3F & ~(1u << cusDeletedApplied));
                    // Every value is read once; the exchanges move the values with the records.
                    std::vector<Variant> values(static_cast<size_t>(count) * static_cast<size_t>(n));
                    std::vector<char> record(FRecordBufferSize, 0);
                    for (int r = 0; r < count; ++r) SortValues(fields, r, record, &values[static_cast<size_t>(r * n)]);
                    auto row = [&](int R) { return &values[static_cast<size_t>(R) * static_cast<size_t>(n)]; };
                    auto compare = [&](const Variant* A, const Variant* B) {
                        for (int k = 0; k < n; ++k) {
                            int c = 0;
                            try {
                                c = CompareFieldValues(fields[static_cast<size_t>(k)], A[k], B[k]);
                            } catch (const std::exception&) {
                                c = 0;   // values that do not compare count as equal
                            }
                            if (c != 0) return c * directions[static_cast<size_t>(k)];
                        }
                        return 0;
                    };
                    std::vector<Variant> pivot(static_cast<size_t>(n));
                    // Quicksort with the middle record as pivot; equal records are never
                    // exchanged. The smaller part is sorted by recursion and the larger one by
                    // the loop, so the depth stays logarithmic whatever the data.
                    std::function<void(int, int)> sort = [&](int L, int R) {
                        while (L < R) {
                            const Variant* mid = row((L + R) >> 1);
                            std::copy(mid, mid + n, pivot.begin());
                            int i = L, j = R;
                            do {
                                while (i < count && compare(row(i), pivot.data()) < 0) ++i;
                                while (j >= 0 && compare(row(j), pivot.data()) > 0) --j;
                                if (i <= j) {
                                    if (i != j && compare(row(i), row(j)) != 0) {
                                        FRecords->ExchangeRecords(i, j);
                                        std::swap_ranges(row(i), row(i) + n, row(j));
                                    }
                                    ++i;
                                    --j;
                                }
                            } while (i <= j);
                            if (j - L < R - i) {
                                if (L < j) sort(L, j);
                                L = i;
                            } else {
                                if (i < R) sort(i, R);
                                R = j;
                            }
                        }
                    };
                    sort(0, count - 1);
                },
                [&] {
                    FUpdateRecordTypes = savedTypes;
                    if (!here.empty() && Active()) GotoBookmark(here);
                    --FFetchAllCount;
                    --FScrollEventLock;
                    EnableControls();
                });
        }
    } catch (...) {
        FSorting = false;
        FSortFields = Variant::Null();
        throw;
    }
    FSorting = false;
    RefreshViewKeepRecord();
}

void TFIBCustomDataSet::MoveRecord(int FromNo, int ToNo, bool ResyncAfter) {
    if (Limited()) RaiseClientError(cecUnsupportedFeature);   // positions are the ring's slots
    if (ToNo < 1) ToNo = 1;
    if (ToNo > FRecordCount) {
        while (FetchNext(1000) > 0) {
        }
        ToNo = std::min(ToNo, FRecordCount);
    }
    FRecords->MoveRecord(FromNo - 1, ToNo - 1);
    if (ResyncAfter) Resync(0);
}

// ---- Keeping a posted record in its place ----

bool TFIBCustomDataSet::SortFieldsChanged() {
    if (!IsSorted()) return false;
    // The limited model keeps its order always: its window is fetched by it.
    if (!InSet(FOptions, poKeepSorting) && !Limited()) return false;
    const int low = FSortFields.LowBound(1);
    const int high = FSortFields.HighBound(1);
    if (low == high && FCachedUpdates) return true;
    for (int i = low; i <= high; ++i) {
        TField* f = FindField(VarToStr(FSortFields.GetElement({i, 0})));
        if (f && CompareVariants(f->Value(), f->OldValue()) != 0) return true;
    }
    return false;
}

void TFIBCustomDataSet::DoAfterPost() {
    if (FResortPending) Guarded([&] { ResortRecord(); }, [&] { FResortPending = false; });
    TDataSet::DoAfterPost();
}

void TFIBCustomDataSet::ResortRecord() {
    if (!Active() || IsEmpty() || !IsSorted()) return;
    if (!InSet(FOptions, poKeepSorting)) {
        FSortFields = Variant::Null();
        return;
    }
    const bool filtered = Filtered();
    const TpFIBDsOptions options = FOptions;
    const TBookmark here = GetBookmark();
    FResortPending = true;
    DisableControls();
    ++FScrollEventLock;
    FOptions = static_cast<TpFIBDsOptions>(FOptions & ~SetOf<TpFIBDsOptions>(poVisibleRecno));
    Guarded(
        [&] {
            FResortPos = RecNo();
            if (filtered) {
                // Hidden records keep their place too: the search sees every record.
                TDataSet::SetFiltered(false);
                FCurrentRecord = FResortPos - 1;
                Resync(0);
            }
            std::string names;
            const int low = FSortFields.LowBound(1);
            const int high = FSortFields.HighBound(1);
            Variant values = Variant::CreateArray({{0, high - low + 1}}, varVariant);
            for (int i = low; i <= high; ++i) {
                const std::string name = VarToStr(FSortFields.GetElement({i, 0}));
                names += (names.empty() ? "" : ";") + name;
                values.PutElement({i - low}, FieldByName(name)->Value());
            }
            LocateWithOptions(names, values, lxSortedSearch | lxNearest);
            const int newRecNo = RecNo();
            const int target = newRecNo > FResortPos && !Eof() ? newRecNo - 1 : newRecNo;
            if (target != FResortPos) MoveRecord(FResortPos, target, false);
        },
        [&] {
            FResortPending = false;
            FResortPos = -1;
            if (filtered) TDataSet::SetFiltered(true);
            FOptions = options;
            if (!here.empty() && Active()) {
                InternalGotoBookmark(here.data());
                Resync(rmCenter);
            }
            --FScrollEventLock;
            EnableControls();
        });
}

// ---- Going to a record number ----

void TFIBCustomDataSet::SetRecNoEx(int Value, bool Center) {
    CheckBrowseMode();
    int target = Value - 1;
    bool beyond = false;
    if (Limited()) {
        // Positions of the window only.
        if (!HoldsRecord(target)) return;
    } else if (Value < 1) {
        target = 0;
    } else if (Value > FRecordCount) {
        while (FetchNext(1000) > 0) {
        }
        beyond = Value > FRecordCount;
        target = std::min(Value, FRecordCount) - 1;
    }
    if (!Bof() && !Eof() && RecNo() == Value) return;
    DoBeforeScroll();
    FCurrentRecord = target;
    Resync(Center ? rmCenter : 0);
    if (!Limited() && Value < 1) Prior();
    else if (beyond) Next();
    DoAfterScroll();
}

// ---- The locate engine ----

bool TFIBCustomDataSet::ExtLocate(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                                  TLocateExOptions Options, bool FromFirst, TLocateExDirection Direction, bool Center) {
    CheckActive();
    if (State() == dsEdit || State() == dsInsert) Post();
    if (IsEmpty()) return false;
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    if (fields.empty()) return false;

    std::vector<TLocateKey> keys(fields.size());
    // Exact text compares the stored text; the other text comparisons compare characters.
    const bool exact = (Options & (lxCaseInsensitive | lxPartialKey | lxSqlMask)) == 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        TLocateKey& k = keys[i];
        k.Field = fields[i];
        k.Value = i < KeyValues.size() ? KeyValues[i] : Variant::Null();
        if (const TFIBFieldDescr* d = FieldDescr(k.Field)) k.Scale = d->Scale < 0 ? -d->Scale : 0;
        k.KeyNotDate = k.Value.VarType() != varDate;
        k.Key = ToLocateValue(k, k.Value, Options, true, exact);
    }

    // Bisection only where the data set is sorted on exactly these keys, in sort order.
    if (Options & lxSortedSearch) {
        bool usable = IsSorted();
        const int low = usable ? FSortFields.LowBound(1) : 0;
        for (TLocateKey& k : keys) {
            if (!usable) break;
            if ((Options & lxCaseInsensitive) && IsTextField(k.Field)) usable = false;
            k.SortPosition = 0;
            for (int r = low; usable && r <= FSortFields.HighBound(1); ++r)
                if (SameText(VarToStr(FSortFields.GetElement({r, 0})), k.Field->FieldName())) {
                    k.SortPosition = r - low + 1;
                    k.Ascending = FSortFields.GetElement({r, 1}).AsBoolean();
                    k.NullsFirst = FSortFields.GetElement({r, 2}).AsBoolean();
                }
            if (k.SortPosition == 0) usable = false;
        }
        if (usable) {
            std::sort(keys.begin(), keys.end(),
                      [](const TLocateKey& A, const TLocateKey& B) { return A.SortPosition < B.SortPosition; });
            for (size_t i = 0; i < keys.size(); ++i)
                if (keys[i].SortPosition != static_cast<int>(i) + 1) usable = false;
        }
        if (!usable) Options = static_cast<TLocateExOptions>(Options & ~lxSortedSearch);
    }
    if (Limited()) Options = static_cast<TLocateExOptions>(Options & ~lxSortedSearch);   // the window only
    const bool bisect = (Options & lxSortedSearch) != 0;
    const bool fetchedOnly = (Options & lxFetchedOnly) != 0;
    const int resortIndex = FResortPos - 1;   // -1 when no resort runs

    std::vector<char> record(FRecordBufferSize, 0);
    // Record Index against the keys: true when every key matches; After tells, for a record
    // that does not match, whether it lies after the keys in the sort order.
    auto matches = [&](int Index, bool& After) {
        After = false;
        ReadRecordFromCache(Index, record.data(), false);
        for (const TLocateKey& k : keys) {
            if (k.Key.Kind == TLocateValue::lvNone && !k.Key.Null) continue;   // a type that is not compared
            TField* f = k.Field;
            Variant value;
            if (f->FieldNo() >= 1 && f->FieldNo() <= ColumnCount() && !f->IsBlob())
                value = ColumnValue(f, FFieldDescr.Items(f->FieldNo() - 1), record.data());
            else
                value = GetCacheFieldValue(f, Index + 1);
            const TLocateValue r = ToLocateValue(k, value, Options, false, exact);
            if (k.Key.Null || r.Null) {
                if (k.Key.Null && r.Null) continue;
                const bool nullsFirst = FLocallySorted ? k.Ascending : k.NullsFirst;
                After = k.Key.Null ? nullsFirst : !nullsFirst;
                return false;
            }
            int c = 0;   // record against key
            bool equal = false;
            switch (k.Key.Kind) {
            case TLocateValue::lvText:
                if (Options & lxPartialKey) equal = StrStartsWith(k.Key.Text, r.Text);
                else if (Options & lxSqlMask) equal = SQLMaskCompare(r.Text, k.Key.Text);
                else equal = r.Text == k.Key.Text;
                if (!equal && bisect) c = -CompareFieldValues(f, k.Value, value);
                break;
            case TLocateValue::lvWide:
                if (Options & lxPartialKey) equal = WideStrStartsWith(k.Key.Wide, r.Wide);
                else if (Options & lxSqlMask) equal = SQLMaskCompareW(r.Wide, k.Key.Wide);
                else equal = r.Wide == k.Key.Wide;
                if (!equal && bisect) c = -CompareFieldValues(f, k.Value, value);
                break;
            case TLocateValue::lvInt:
                equal = r.Int == k.Key.Int;
                c = r.Int < k.Key.Int ? -1 : 1;
                break;
            case TLocateValue::lvFloat:
                equal = std::fabs(r.Float - k.Key.Float) <= 1e-11;
                c = r.Float < k.Key.Float ? -1 : 1;
                break;
            case TLocateValue::lvNone: equal = true; break;
            }
            if (equal) continue;
            After = (c > 0) == k.Ascending;
            return false;
        }
        return true;
    };
    auto visible = [&](int Index) {
        if (FResortPending) return true;
        if (Filtered()) {
            const int saved = FCurrentRecord;
            FCurrentRecord = Index;
            ReadRecordFromCache(Index, record.data(), false);
            const bool shown = Guarded([&] { return IsVisibleRecord(record.data()); }, [&] { FCurrentRecord = saved; });
            return shown;
        }
        ReadRecordFromCache(Index, record.data(), false);
        return (FUpdateRecordTypes & (1u << RecordStatusOf(record.data()))) != 0;
    };
    // Makes record Index exist (fetching as allowed); false when it cannot.
    auto have = [&](int Index) {
        if (Limited()) return HoldsRecord(Index);
        while (Index >= FRecordCount) {
            if (fetchedOnly || FetchNext(1) == 0) return false;
        }
        return true;
    };

    // Where the search starts.
    int start = Limited() ? FWindow.First : 0;
    const int recNo = RecNo();
    if (FromFirst || Direction == ldFirst) {
        if (start == resortIndex) ++start;
        if (!have(start)) return false;
    } else if (Direction == ldNext) {
        start = recNo;
        if (start == resortIndex) ++start;
        if (!have(start)) return false;
    } else {
        start = recNo - 2;
        if (start == resortIndex) --start;
        if (!have(start)) return false;
    }
    if (!Limited() && start >= FRecordCount) start = FRecordCount - 1;

    int found = -1;
    int last = start;          // the last record compared
    bool lastAfter = false;    // and whether it lies after the keys
    if (bisect) {
        const bool backward = Direction == ldPrior && !FromFirst;
        bool after = false;
        if (matches(start, after)) {
            found = start;
        } else if (backward ? !after : after) {
            lastAfter = after;
        } else {
            int high = FRecordCount - 1;
            if (high == resortIndex) --high;
            if (high < 0) return false;
            last = high;
            if (matches(high, after)) {
                found = high;
            } else if (!after) {
                // Every fetched record lies before the keys: the rest is scanned as it comes.
                lastAfter = false;
                while (!fetchedOnly && FetchNext(1) > 0) {
                    last = FRecordCount - 1;
                    if (matches(last, after)) {
                        found = last;
                        break;
                    }
                    lastAfter = after;
                    if (after) break;
                }
            } else {
                lastAfter = true;
                int low = resortIndex == 0 ? 1 : 0;
                for (;;) {
                    if (low == resortIndex) ++low;
                    if (high == resortIndex) --high;
                    if (high < low) break;
                    int mid = (low + high) / 2;
                    if (mid == resortIndex) ++mid;
                    if (mid > high) break;
                    last = mid;
                    if (matches(mid, after)) {
                        found = mid;
                        break;
                    }
                    lastAfter = after;
                    const int oldLow = low, oldHigh = high;
                    if (after) high = mid - 1;
                    else low = mid + 1;
                    if ((low == oldLow && high == oldHigh) || low > high) break;
                }
            }
        }
        if (found >= 0 && Direction == ldFirst) {
            // The first visible record of the run of matches.
            int first = -1;
            for (int i = found; i >= 0; --i) {
                if (i == resortIndex) continue;
                bool a;
                if (!matches(i, a)) break;
                if (visible(i)) first = i;
            }
            if (first < 0) {
                first = -1;
                for (int i = found + 1; i < FRecordCount; ++i) {
                    if (i == resortIndex || !visible(i)) continue;
                    bool a;
                    if (matches(i, a)) first = i;
                    break;
                }
            }
            found = first;
        }
        if (found < 0 && (Options & lxNearest)) {
            SetRecNoEx(lastAfter ? last + 1 : last + 2, Center);
            CursorPosChanged();
            DataEvent(deDataSetChange, 0);
        }
    } else {
        const int step = Direction == ldPrior && !FromFirst ? -1 : 1;
        for (int i = start;; i += step) {
            if (step > 0 ? !have(i) : (i < 0 || (Limited() && !HoldsRecord(i)))) break;
            if (i == resortIndex) continue;
            bool after;
            if (matches(i, after) && visible(i)) {
                found = i;
                break;
            }
        }
    }
    if (found < 0) return false;
    SetRecNoEx(found + 1, Center);
    CursorPosChanged();
    DataEvent(deDataSetChange, 0);
    return true;
}

namespace {

std::vector<Variant> KeyList(const Variant& KeyValues) {
    std::vector<Variant> values;
    if (KeyValues.IsArray() && KeyValues.DimCount() == 1)
        for (int i = KeyValues.LowBound(1); i <= KeyValues.HighBound(1); ++i) values.push_back(KeyValues.GetElement({i}));
    else
        values.push_back(KeyValues);
    return values;
}

} // namespace

bool TFIBCustomDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    TLocateExOptions options = 0;
    if (Options & loCaseInsensitive) options |= lxCaseInsensitive;
    if (Options & loPartialKey) options |= lxPartialKey;
    return LocateWithOptions(KeyFields, KeyValues, options);
}

bool TFIBCustomDataSet::LocateWithOptions(const std::string& KeyFields, const Variant& KeyValues,
                                          TLocateExOptions Options) {
    CheckActive();
    if (Limited()) return LocateForPartialCache(KeyFields, KeyList(KeyValues), Options, ldFirst, nullptr);
    return ExtLocate(KeyFields, KeyList(KeyValues), Options, true, ldFirst, true);
}

Variant TFIBCustomDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                                  const std::string& ResultFields) {
    if (Trim(ResultFields).empty()) return Variant::Null();
    CheckActive();
    ++FFetchAllCount;
    const TBookmark here = GetBookmark();
    DisableControls();
    return Guarded(
        [&] {
            Variant result = Variant::Null();
            if (Limited()) {
                // The rows at hand first, then a SELECT of its own that leaves the window alone.
                if (ExtLocate(KeyFields, KeyList(KeyValues), lxFetchedOnly, true, ldFirst, false)) {
                    result = FieldValues(ResultFields);
                } else {
                    std::unique_ptr<TFIBQuery> lookup = CreateInternalQuery("QLookUp");
                    if (LocateForPartialCache(KeyFields, KeyList(KeyValues), 0, ldFirst, lookup.get()))
                        if (TFIBXSQLVAR* column = lookup->FindField(Trim(ResultFields))) result = column->GetAsVariant();
                }
            } else if (ExtLocate(KeyFields, KeyList(KeyValues), 0, true, ldFirst, true)) {
                result = ResultFields.find(';') == std::string::npos ? FieldByName(Trim(ResultFields))->Value()
                                                                      : FieldValues(ResultFields);
            }
            if (!here.empty()) GotoBookmark(here);
            return result;
        },
        [&] {
            --FFetchAllCount;
            EnableControls();
        });
}

} // namespace qnl
