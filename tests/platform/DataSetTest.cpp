// The data-set framework's protocol, driven through a small data set over rows in memory.
#include "platform/DataSet.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include "VectorDataSet.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qnl;
using test::TColumn;
using test::TVectorDataSet;

namespace {

// Rows 1..Rows of (ID, NAME = "P<id>").
std::unique_ptr<TVectorDataSet> People(int Rows, std::vector<TColumn> Columns = {{"ID", ftInteger}, {"NAME", ftString, 10}}) {
    auto ds = std::make_unique<TVectorDataSet>();
    ds->SetName("People");
    ds->Columns = std::move(Columns);
    for (int i = 1; i <= Rows; ++i) ds->Source.push_back({Variant(int32_t(i)), Variant("P" + std::to_string(i))});
    return ds;
}

int Id(TDataSet& ds) { return ds.FieldByName("ID")->AsInteger(); }

// A persistent field owned by the data set.
template <class F>
F* AddField(TDataSet& ds, const std::string& Name, TFieldKind Kind = fkData) {
    auto* field = new F(&ds);
    field->SetFieldName(Name);
    field->SetFieldKind(Kind);
    field->SetDataSet(&ds);
    return field;
}

// A link that writes down what it hears.
class TRecordingLink : public TDataLink {
public:
    explicit TRecordingLink(std::vector<std::string>& Log) : FLog(Log) {}

protected:
    void ActiveChanged() override { FLog.push_back(Active() ? "link:active" : "link:inactive"); }
    void EditingChanged() override { FLog.push_back(Editing() ? "link:editing" : "link:browsing"); }
    void DataSetChanged() override { FLog.push_back("link:changed"); }
    void DataSetScrolled(int Distance) override { FLog.push_back("link:scrolled " + std::to_string(Distance)); }
    void RecordChanged(TField* Field) override { FLog.push_back("link:record " + (Field ? Field->FieldName() : "*")); }

private:
    std::vector<std::string>& FLog;
};

// A data set followed through a source by a recording link with a window of Window records.
struct Followed {
    std::vector<std::string> Log;
    TDataSource Source;
    TRecordingLink Link{Log};
    Followed(TDataSet& ds, int Window) {
        Source.SetDataSet(&ds);
        Link.SetDataSource(&Source);
        Link.SetBufferCount(Window);
    }
};

void RecordEvents(TDataSet& ds, std::vector<std::string>& Log) {
    const std::pair<TDataSetNotifyEvent TDataSet::*, const char*> events[] = {
        {&TDataSet::BeforeOpen, "BeforeOpen"}, {&TDataSet::AfterOpen, "AfterOpen"},
        {&TDataSet::BeforeClose, "BeforeClose"}, {&TDataSet::AfterClose, "AfterClose"},
        {&TDataSet::BeforeInsert, "BeforeInsert"}, {&TDataSet::AfterInsert, "AfterInsert"},
        {&TDataSet::BeforeEdit, "BeforeEdit"}, {&TDataSet::AfterEdit, "AfterEdit"},
        {&TDataSet::BeforePost, "BeforePost"}, {&TDataSet::AfterPost, "AfterPost"},
        {&TDataSet::BeforeCancel, "BeforeCancel"}, {&TDataSet::AfterCancel, "AfterCancel"},
        {&TDataSet::BeforeDelete, "BeforeDelete"}, {&TDataSet::AfterDelete, "AfterDelete"},
        {&TDataSet::BeforeScroll, "BeforeScroll"}, {&TDataSet::AfterScroll, "AfterScroll"},
        {&TDataSet::OnNewRecord, "OnNewRecord"}, {&TDataSet::BeforeRefresh, "BeforeRefresh"},
        {&TDataSet::AfterRefresh, "AfterRefresh"}};
    for (const auto& [member, name] : events) {
        const std::string text = name;
        ds.*member = [&Log, text](TDataSet*) { Log.push_back(text); };
    }
}

} // namespace

TEST(DataSet, NavigatesBothEndsWithAnyWindow) {
    for (int window : {1, 3}) {
        SCOPED_TRACE(window);
        auto ds = People(5);
        Followed f(*ds, window);
        ds->Open();
        EXPECT_EQ(ds->FetchedCount(), window);   // rows come as the window needs them
        EXPECT_TRUE(ds->Bof());
        EXPECT_FALSE(ds->Eof());
        EXPECT_EQ(Id(*ds), 1);
        ds->Prior();
        EXPECT_TRUE(ds->Bof());
        EXPECT_EQ(Id(*ds), 1);
        EXPECT_EQ(ds->MoveBy(-1), 0);
        EXPECT_EQ(ds->MoveBy(3), 3);
        EXPECT_EQ(Id(*ds), 4);
        EXPECT_FALSE(ds->Bof());
        ds->Next();
        EXPECT_EQ(Id(*ds), 5);
        EXPECT_FALSE(ds->Eof());
        ds->Next();
        EXPECT_TRUE(ds->Eof());
        EXPECT_EQ(Id(*ds), 5);
        EXPECT_EQ(ds->MoveBy(1), 0);
        EXPECT_EQ(ds->MoveBy(-10), -4);
        EXPECT_TRUE(ds->Bof());
        EXPECT_EQ(Id(*ds), 1);
        ds->Last();
        EXPECT_TRUE(ds->Eof());
        EXPECT_EQ(Id(*ds), 5);
        EXPECT_EQ(ds->RecNo(), 5);
        EXPECT_EQ(ds->ActiveRecord(), window - 1);
        EXPECT_EQ(ds->MoveBy(-2), -2);
        EXPECT_EQ(Id(*ds), 3);
        // A window that grows and shrinks keeps the active record.
        f.Link.SetBufferCount(4);
        EXPECT_EQ(Id(*ds), 3);
        f.Link.SetBufferCount(1);
        EXPECT_EQ(Id(*ds), 3);
        ds->Next();
        EXPECT_EQ(Id(*ds), 4);
        f.Link.SetBufferCount(window);

        ds->First();
        ds->Next();
        EXPECT_EQ(ds->ActiveRecord(), std::min(1, window - 1));
        ds->Refresh();   // the record keeps its place in the window
        EXPECT_EQ(ds->ActiveRecord(), std::min(1, window - 1));
        EXPECT_EQ(Id(*ds), 2);

        std::vector<int> forward, backward;
        for (ds->First(); !ds->Eof(); ds->Next()) forward.push_back(Id(*ds));
        for (ds->Last(); !ds->Bof(); ds->Prior()) backward.push_back(Id(*ds));
        EXPECT_EQ(forward, (std::vector<int>{1, 2, 3, 4, 5}));
        EXPECT_EQ(backward, (std::vector<int>{5, 4, 3, 2, 1}));
        ds->Close();
    }
}

TEST(DataSet, EmptyDataSetIsAtBothEnds) {
    auto ds = People(0);
    ds->Open();
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "");
    EXPECT_EQ(ds->MoveBy(1), 0);
    ds->Last();
    EXPECT_TRUE(ds->Bof() && ds->Eof());
    EXPECT_TRUE(ds->GetBookmark().empty());
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    ds->Edit();   // nothing to edit: a new record
    EXPECT_EQ(ds->State(), dsInsert);
    ds->Cancel();
    EXPECT_TRUE(ds->IsEmpty());
    ds->InsertRecord({Variant(int32_t(9)), Variant("nine")});
    EXPECT_FALSE(ds->IsEmpty());
    EXPECT_EQ(Id(*ds), 9);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "nine");
}

TEST(DataSet, BookmarksGoBackAndForth) {
    for (int window : {1, 4}) {
        SCOPED_TRACE(window);
        auto ds = People(8);
        Followed f(*ds, window);
        ds->Open();
        ds->MoveBy(1);
        const TBookmark b2 = ds->GetBookmark();
        ds->MoveBy(4);
        const TBookmark b6 = ds->GetBookmark();
        ASSERT_EQ(b2.size(), 4u);
        ds->Last();
        ds->GotoBookmark(b2);
        EXPECT_EQ(Id(*ds), 2);
        EXPECT_EQ(ds->ActiveRecord(), (window - 1) / 2);   // in the middle of the window
        ds->Next();
        EXPECT_EQ(Id(*ds), 3);
        ds->GotoBookmark(b6);
        EXPECT_EQ(Id(*ds), 6);
        ds->Prior();
        EXPECT_EQ(Id(*ds), 5);

        EXPECT_EQ(ds->CompareBookmarks(b2, b6), -1);
        EXPECT_EQ(ds->CompareBookmarks(b6, b2), 1);
        EXPECT_EQ(ds->CompareBookmarks(b2, b2), 0);
        EXPECT_EQ(ds->CompareBookmarks({}, b2), 1);
        EXPECT_EQ(ds->CompareBookmarks(b2, {}), -1);
        EXPECT_EQ(ds->CompareBookmarks({}, {}), 0);

        // A deleted record's bookmark is no longer valid; going to it fails and moves nothing.
        ds->GotoBookmark(b6);
        ds->Delete();
        EXPECT_EQ(Id(*ds), 7);
        EXPECT_FALSE(ds->BookmarkValid(b6));
        EXPECT_TRUE(ds->BookmarkValid(b2));
        EXPECT_THROW(ds->GotoBookmark(b6), EDatabaseError);
        EXPECT_EQ(Id(*ds), 7);
        EXPECT_THROW(ds->GotoBookmark(TBookmark(3, 0)), EDatabaseError);
        ds->Insert();
        EXPECT_TRUE(ds->GetBookmark().empty());
        ds->Cancel();
        EXPECT_EQ(Id(*ds), 7);
        ds->Close();
    }
}

TEST(DataSet, StatesAndEventsComeInOrder) {
    auto ds = People(3);
    Followed f(*ds, 1);
    std::vector<std::string>& log = f.Log;
    RecordEvents(*ds, log);
    f.Log.clear();

    struct Step {
        const char* Name;
        std::function<void()> Do;
        TDataSetState State;
        std::vector<std::string> Events;
    };
    auto name = [&] { return ds->FieldByName("NAME"); };
    const std::vector<std::string> inserting = {"BeforeInsert", "BeforeScroll", "link:editing", "OnNewRecord",
                                                "link:changed", "AfterInsert", "AfterScroll"};
    const Step steps[] = {
        {"open", [&] { ds->Open(); }, dsBrowse, {"BeforeOpen", "link:active", "AfterOpen", "AfterScroll"}},
        {"next", [&] { ds->Next(); }, dsBrowse, {"BeforeScroll", "link:changed", "AfterScroll"}},
        {"edit", [&] { ds->Edit(); }, dsEdit, {"BeforeEdit", "link:editing", "link:record *", "AfterEdit"}},
        {"set", [&] { name()->SetAsString("X"); }, dsEdit, {"change NAME", "link:record NAME"}},
        {"post", [&] { ds->Post(); }, dsBrowse, {"BeforePost", "link:browsing", "link:changed", "AfterPost"}},
        {"insert", [&] { ds->Insert(); }, dsInsert, inserting},
        {"cancel", [&] { ds->Cancel(); }, dsBrowse, {"BeforeCancel", "link:browsing", "link:changed", "AfterCancel"}},
        {"append", [&] { ds->Append(); }, dsInsert, inserting},
        {"next posts a changed record",
         [&] {
             name()->SetAsString("N");
             ds->Next();
         },
         dsBrowse,
         {"change NAME", "link:record NAME", "BeforePost", "link:browsing", "link:changed", "AfterPost",
          "BeforeScroll", "link:scrolled 0", "AfterScroll"}},
        {"delete", [&] { ds->Delete(); }, dsBrowse, {"BeforeDelete", "BeforeScroll", "link:changed", "AfterDelete", "AfterScroll"}},
        {"refresh", [&] { ds->Refresh(); }, dsBrowse, {"BeforeRefresh", "link:changed", "AfterRefresh"}},
        {"disabled controls",
         [&] {
             ds->DisableControls();
             EXPECT_TRUE(ds->ControlsDisabled());
             ds->Edit();
             name()->SetAsString("Y");
             ds->Post();
             ds->EnableControls();
         },
         dsBrowse,
         {"BeforeEdit", "AfterEdit", "change NAME", "BeforePost", "AfterPost", "link:changed"}},
        {"close", [&] { ds->Close(); }, dsInactive, {"BeforeClose", "link:inactive", "AfterClose"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.Name);
        log.clear();
        if (ds->Active()) name()->OnChange = [&](TField* Field) { log.push_back("change " + Field->FieldName()); };
        step.Do();
        EXPECT_EQ(ds->State(), step.State);
        EXPECT_EQ(log, step.Events);
    }
    EXPECT_THROW(ds->Next(), EDatabaseError);
}

TEST(DataSet, OpenWithoutCursorOrWithBadFieldsLeavesItClosed) {
    std::vector<std::string> log;   // outlives the data set, which closes when destroyed
    auto ds = People(2);
    RecordEvents(*ds, log);
    ds->OpensCursor = false;   // a statement without rows
    ds->Open();
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen"}));

    ds->OpensCursor = true;
    auto* missing = AddField<TIntegerField>(*ds, "MISSING");
    try {
        ds->Open();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "People: Field 'MISSING' not found");
    }
    EXPECT_FALSE(ds->Active());
    delete missing;
    auto* wrong = AddField<TStringField>(*ds, "ID");
    try {
        ds->Open();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "People: Type mismatch for field 'ID', expecting: String actual: Integer");
    }
    delete wrong;
    ds->Open();   // default fields again
    EXPECT_TRUE(ds->Active());
    EXPECT_TRUE(ds->DefaultFields());
    EXPECT_EQ(ds->FieldCount(), 2);
}

TEST(DataSet, StoppedFetchKeepsTheRowsReadSoFar) {
    // The third row's fetch is stopped while a window of five fills at open.
    auto ds = People(6);
    Followed f(*ds, 5);
    bool stop = true;
    ds->AfterFetch = [&](int Row) {
        if (Row == 2 && stop) throw EAbort();
    };
    ASSERT_NO_THROW(ds->Open());
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->FetchedCount(), 3);   // the stopped row was stored before the stop
    EXPECT_EQ(ds->BufferedRecordCount(), 2);
    EXPECT_EQ(Id(*ds), 1);
    stop = false;
    std::vector<int> ids;
    for (; !ds->Eof(); ds->Next()) ids.push_back(Id(*ds));
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6}));

    // A stop while going to the last record: the last one fetched is the last there is.
    auto again = People(6);
    again->AfterFetch = [](int Row) {
        if (Row == 4) throw EAbort();
    };
    again->Open();
    ASSERT_NO_THROW(again->Last());
    EXPECT_EQ(again->FetchedCount(), 5);
    EXPECT_EQ(Id(*again), 5);
    EXPECT_TRUE(again->Eof());
    again->Prior();
    EXPECT_EQ(Id(*again), 4);
    ds->Close();
}

TEST(DataSet, CalculatedAndLookupFields) {
    auto cities = std::make_unique<TVectorDataSet>();
    cities->Columns = {{"CID", ftInteger}, {"CNAME", ftString, 10}};
    cities->Source = {{Variant(int32_t(10)), Variant("Rome")}, {Variant(int32_t(20)), Variant("Oslo")}};
    cities->Open();

    auto ds = People(0, {{"ID", ftInteger}, {"CITY_ID", ftInteger}});
    ds->Source = {{Variant(int32_t(1)), Variant(int32_t(20))}, {Variant(int32_t(2)), Variant::Null()},
                  {Variant(int32_t(3)), Variant(int32_t(10))}};
    auto* id = AddField<TIntegerField>(*ds, "ID");
    AddField<TIntegerField>(*ds, "CITY_ID");
    auto* twice = AddField<TIntegerField>(*ds, "TWICE", fkCalculated);
    auto* city = AddField<TStringField>(*ds, "CITY", fkLookup);
    city->SetLookupDataSet(cities.get());
    city->KeyFields = "CITY_ID";
    city->LookupKeyFields = "CID";
    city->LookupResultField = "CNAME";
    int calculations = 0;
    ds->OnCalcFields = [&](TDataSet*) {
        ++calculations;
        if (!id->IsNull()) twice->SetAsInteger(id->AsInteger() * 2);
    };
    ds->Open();
    EXPECT_EQ(twice->FieldNo(), -1);
    EXPECT_EQ(ds->CalcFieldsSize(), (4 + 1) + (city->DataSize() + 1));
    EXPECT_EQ(twice->AsInteger(), 2);
    EXPECT_EQ(city->AsString(), "Oslo");
    ds->Next();
    EXPECT_EQ(twice->AsInteger(), 4);
    EXPECT_TRUE(city->IsNull());   // no key, no value
    ds->Next();
    EXPECT_EQ(city->AsString(), "Rome");
    EXPECT_GT(calculations, 0);
    EXPECT_THROW(twice->SetAsInteger(1), EDatabaseError);   // only while calculating

    // A changed field recalculates at once; a cancel brings the old values back.
    ds->Edit();
    id->SetAsInteger(10);
    EXPECT_EQ(twice->AsInteger(), 20);
    ds->FieldByName("CITY_ID")->SetAsInteger(20);
    EXPECT_EQ(city->AsString(), "Oslo");
    ds->Cancel();
    EXPECT_EQ(twice->AsInteger(), 6);
    EXPECT_EQ(city->AsString(), "Rome");
    // Without AutoCalcFields the values follow when the record is read again.
    ds->AutoCalcFields = false;
    ds->Edit();
    id->SetAsInteger(11);
    EXPECT_EQ(twice->AsInteger(), 6);
    ds->Post();
    EXPECT_EQ(twice->AsInteger(), 22);

    cities.reset();   // the lookup field forgets a destroyed lookup data set
    EXPECT_EQ(city->LookupDataSet(), nullptr);
    ds->Close();
}

TEST(DataSet, EditingPostsCancelsAndRefuses) {
    auto ds = People(4, {{"ID", ftInteger}, {"NAME", ftString, 10, true}});
    ds->Open();
    TField* name = ds->FieldByName("NAME");

    ds->MoveBy(1);
    ds->Edit();
    name->SetAsString("changed");
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(VarToStr(name->OldValue()), "P2");
    EXPECT_EQ(VarToStr(name->NewValue()), "changed");
    ds->Cancel();
    EXPECT_EQ(name->AsString(), "P2");
    ds->Edit();
    name->SetAsString("a long name cut");
    ds->Post();
    EXPECT_EQ(name->AsString(), "a long nam");
    EXPECT_THROW(name->SetAsString("x"), EDatabaseError);   // not editing

    // Insert goes before the active record, Append after the last.
    ds->Next();
    ds->Insert();
    EXPECT_TRUE(name->OldValue().IsNull());
    ds->FieldByName("ID")->SetAsInteger(30);
    try {
        ds->Post();
        ADD_FAILURE() << "posted";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'NAME' must have a value");
    }
    EXPECT_EQ(ds->State(), dsInsert);
    name->SetAsString("new");
    ds->Post();
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Next();
    EXPECT_EQ(Id(*ds), 3);
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(50);
    name->SetAsString("last");
    ds->Post();
    EXPECT_EQ(ds->RecNo(), 6);
    ds->InsertRecord({Variant(int32_t(40)), Variant("ins")});
    EXPECT_EQ(Id(*ds), 40);
    EXPECT_EQ(ds->RecNo(), 6);
    ds->AppendRecord({Variant(int32_t(60)), Variant("app")});
    EXPECT_EQ(ds->RecNo(), 8);
    std::vector<int> ids;
    for (ds->First(); !ds->Eof(); ds->Next()) ids.push_back(Id(*ds));
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 30, 3, 4, 40, 50, 60}));

    // A validation handler sees the new value and can refuse it.
    name->OnValidate = [](TField* Field) {
        if (Field->AsString() == "bad") throw EDatabaseError("refused");
    };
    ds->First();
    ds->Edit();
    EXPECT_THROW(name->SetAsString("bad"), EDatabaseError);
    EXPECT_EQ(name->AsString(), "P1");
    name->SetAsString("good");
    EXPECT_EQ(name->AsString(), "good");
    ds->Cancel();
    name->OnValidate = nullptr;

    // Post errors: daRetry runs the post again after the handler mended the record, daAbort
    // aborts silently and leaves the edit open.
    ds->Edit();
    name->Clear();
    ds->OnPostError = [&](TDataSet*, EDatabaseError&, TDataAction& Action) {
        name->SetAsString("mended");
        Action = daRetry;
    };
    ds->Post();
    EXPECT_EQ(name->AsString(), "mended");
    ds->Edit();
    name->Clear();
    ds->OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& Action) { Action = daAbort; };
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
    EXPECT_EQ(name->AsString(), "mended");

    ds->Close();
    ds->ReadOnlyData = true;
    ds->Open();
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_THROW(ds->Insert(), EDatabaseError);
}

TEST(DataSet, FieldsHandNativeFormatsToTheDataSet) {
    const TDateTime mjdZero = EncodeDate(1858, 11, 17);
    auto ds = std::make_unique<TVectorDataSet>();
    ds->Columns = {{"D", ftDate},          {"T", ftTime},     {"TS", ftDateTime}, {"W", ftWideString, 3},
                   {"S", ftSmallint},      {"B", ftBoolean},  {"N", ftBCD, 2},    {"L", ftLargeint},
                   {"M", ftMemo}};
    ds->Source = {{Variant::FromDate(mjdZero), Variant::FromDate(EncodeTime(10, 20, 30, 50)), Variant::FromDate(mjdZero),
                   Variant("abc"), Variant(int16_t(7)), Variant(true), Variant("123.45"),
                   Variant(int64_t(1000000000000000)), Variant("memo text")}};
    ds->Open();
    auto raw = [&](int Column, auto Value) {
        std::memcpy(&Value, ds->RawColumn(0, Column).data(), sizeof Value);
        return Value;
    };
    TField* d = ds->FieldByName("D");
    TField* ts = ds->FieldByName("TS");
    EXPECT_EQ(d->AsDateTime(), mjdZero);
    EXPECT_EQ(raw(0, int32_t()), 678576);
    EXPECT_EQ(raw(2, double()), 678576.0 * 86400000);
    EXPECT_EQ(ds->FieldByName("T")->AsString(), TimeToStr(EncodeTime(10, 20, 30, 50)));
    EXPECT_EQ(ds->FieldByName("W")->AsString(), "abc");
    EXPECT_EQ(ds->FieldByName("S")->AsVariant().VarType(), varSmallint);
    EXPECT_EQ(ds->FieldByName("B")->AsString(), "True");
    EXPECT_EQ(ds->FieldByName("N")->AsCurrency().Scaled, 1234500);
    EXPECT_EQ(ds->FieldByName("N")->AsString(), "123.45");
    EXPECT_EQ(ds->FieldByName("L")->AsLargeInt(), 1000000000000000);
    EXPECT_THROW(ds->FieldByName("L")->AsInteger(), EDatabaseError);   // beyond 32 bits: no cut
    EXPECT_EQ(ds->FieldByName("M")->AsString(), "memo text");

    ds->Edit();
    d->SetAsDateTime(EncodeDate(2024, 2, 29));
    const TDateTime before1899 = EncodeDate(1800, 1, 1) + EncodeTime(6, 0, 0, 1);   // negative, with a time
    ts->SetAsDateTime(before1899);
    ds->FieldByName("W")->SetAsString("h\xC3\xA9llo");
    EXPECT_THROW(ds->FieldByName("S")->SetAsInteger(40000), EDatabaseError);
    ds->FieldByName("S")->SetAsInteger(-32768);
    ds->FieldByName("B")->SetAsString("f");
    EXPECT_FALSE(ds->FieldByName("B")->AsBoolean());
    EXPECT_THROW(ds->FieldByName("B")->SetAsString("maybe"), EDatabaseError);
    ds->FieldByName("N")->SetAsString("-0.5");
    EXPECT_THROW(ds->FieldByName("N")->SetAsString("abc"), EDatabaseError);
    EXPECT_THROW(ts->SetAsDateTime(1e10), EDatabaseError);   // beyond the year 9999
    ds->FieldByName("M")->Clear();
    EXPECT_TRUE(ds->FieldByName("M")->IsNull());
    ds->Post();

    EXPECT_EQ(raw(0, int32_t()), static_cast<int32_t>(EncodeDate(2024, 2, 29)) + DateDelta);
    EXPECT_NEAR(ts->AsDateTime(), before1899, 1e-8);   // to the millisecond
    EXPECT_EQ(ds->FieldByName("W")->AsWideString(), u"h\u00e9l");   // cut to three characters
    EXPECT_EQ(ds->FieldByName("S")->AsInteger(), -32768);
    EXPECT_DOUBLE_EQ(ds->FieldByName("N")->AsFloat(), -0.5);
    EXPECT_TRUE(ds->FieldByName("M")->IsNull());
    EXPECT_TRUE(ds->FieldByName("M")->AsVariant().IsNull());

    // A blob written and then cancelled keeps its old body.
    ds->Edit();
    ds->FieldByName("M")->SetAsString("draft");
    EXPECT_EQ(ds->FieldByName("M")->AsString(), "draft");
    ds->Cancel();
    EXPECT_TRUE(ds->FieldByName("M")->IsNull());
    EXPECT_THROW(ds->FieldByName("M")->SetAsString("x"), EDatabaseError);   // not editing
}

TEST(DataSet, LinksAndFieldsOutliveTheirDataSetSafely) {
    std::vector<std::string> log;
    TComponent owner;
    auto ds = People(2);
    auto* foreign = new TIntegerField(&owner);   // a persistent field another component owns
    foreign->SetFieldName("ID");
    foreign->SetDataSet(ds.get());
    TDataSource source;
    TRecordingLink link(log);
    link.SetDataSource(&source);
    source.SetDataSet(ds.get());
    ds->Open();
    EXPECT_TRUE(link.Active());
    EXPECT_EQ(foreign->AsInteger(), 1);
    EXPECT_THROW(foreign->SetDataSet(nullptr), EDatabaseError);   // not while open
    ds.reset();
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(foreign->DataSet(), nullptr);

    // A source chain that leads back to a data set is a link to it.
    auto master = People(1);
    auto detail = People(1);
    TDataSource masterSource, detailSource;
    masterSource.SetDataSet(master.get());
    detailSource.SetDataSet(detail.get());
    detail->MasterSource = &masterSource;
    EXPECT_TRUE(master->IsLinkedTo(&detailSource));
    EXPECT_TRUE(detailSource.IsLinkedTo(master.get()));
    EXPECT_FALSE(detail->IsLinkedTo(&masterSource));
}
