// The data set's local filter: the Filter text's evaluator, OnFilterRecord, and rebuilding the
// visible records when the filter changes; see FIBDataSet.h.
#include "datasets/FIBDataSet.h"

#include "client/StrUtil.h"
#include "datasets/DBParsers.h"

#include <algorithm>
#include <vector>

namespace qnl {

bool TFIBCustomDataSet::IsVisibleRecord(TRecordBuffer Buffer) {
    if (!(FUpdateRecordTypes & (1u << (Buffer[5] & 7)))) return FSorting || Limited();
    if (!Filtered() || !FiltersRecords()) return true;
    bool accept = true;
    const uint32_t closes = FCloseCount;
    // The fields read the record being tested (the current record) in this state.
    const TDataSetState save = SetTempState(dsFilter);
    Guarded([&] { FilterRecord(accept); }, [&] { RestoreState(save); });
    // A handler may have closed the data set and freed the record being tested.
    CheckNotClosedBy(closes, "OnFilterRecord");
    return accept;
}

bool TFIBCustomDataSet::FiltersRecords() { return FFilterParser || OnFilterRecord; }

void TFIBCustomDataSet::FilterRecord(bool& Accept) {
    if (FFilterParser) Accept = FFilterParser->Evaluate();
    if (Accept && OnFilterRecord) OnFilterRecord(this, Accept);
}

bool TFIBCustomDataSet::IsCachedRecordVisible(int Index) {
    std::vector<char> record(std::max<uint32_t>(FRecordBufferSize, 8));
    const int saved = FCurrentRecord;
    FCurrentRecord = Index;
    ReadRecordFromCache(Index, record.data(), false);
    return Guarded([&] { return IsVisibleRecord(record.data()); }, [&] { FCurrentRecord = saved; });
}

void TFIBCustomDataSet::SetFiltered(bool Value) {
    if (FFilterParser && FFilterParser->FilterText() != FastTrim(Filter())) ChangeFilter(Filter(), FilterOptions());
    TDataSet::SetFiltered(Value);
    RefreshViewKeepRecord();
}

void TFIBCustomDataSet::SetFilterText(const std::string& Value) { ChangeFilter(Value, FilterOptions()); }

void TFIBCustomDataSet::SetFilterOptions(TFilterOptions Value) { ChangeFilter(Filter(), Value); }

void TFIBCustomDataSet::ChangeFilter(const std::string& Text, TFilterOptions Options) {
    if (Active()) {
        CheckBrowseMode();
        if (!FFilterParser || FFilterParser->FilterText() != FastTrim(Text) || FFilterParser->FilterOptions() != Options)
            BuildFilterParser(Text, Options);
    } else {
        FFilterParser.reset();
    }
    TDataSet::SetFilterText(Text);
    TDataSet::SetFilterOptions(Options);
    if (Active() && Filtered()) First();
}

void TFIBCustomDataSet::BuildFilterParser(const std::string& Text, TFilterOptions Options) {
    // A text that does not parse leaves the evaluator that was there.
    const std::string text = FastTrim(Text);
    std::unique_ptr<TExpressionParser> parser;
    if (!text.empty())
        parser = std::make_unique<TExpressionParser>(this, SQLMaskCompare, StrToDateTimeFmt, FilterFieldMap, Options, text);
    FFilterParser = std::move(parser);
}

void TFIBCustomDataSet::RefreshViewKeepRecord() {
    if (!Active()) return;
    CheckBrowseMode();
    const int recNo = IsEmpty() ? -1 : RecNo();
    RefreshView(false);
    if (RecNo() != recNo) First();
}

void TFIBCustomDataSet::RefreshView(bool) {
    if (IsEmpty()) {
        First();
        return;
    }
    const bool atEnd = Eof();
    DisableControls();
    ++FScrollEventLock;
    Guarded(
        [&] {
            // Reading the window again from the cursor's record (or the next one shown) rebuilds
            // it with the records now visible.
            UpdateCursorPos();
            Resync(0);
            if (atEnd) Next();
        },
        [&] {
            --FScrollEventLock;
            EnableControls();
        });
}

} // namespace qnl
