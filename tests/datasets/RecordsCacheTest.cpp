#include "datasets/FIBCacheManage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qnl;

namespace {

// A mirrored buffer (the record buffer from its sixth byte on): the status byte, a 32-bit
// column, two string slots (32-bit length and S1 / S2 characters), then a 64-bit column, a
// blob-stream slot (pointer-sized) and Wide bytes more.
struct Layout {
    uint32_t S1 = 30, S2 = 100, Wide = 0;
    uint32_t Slot1() const { return 5; }
    uint32_t Slot2() const { return Slot1() + 4 + S1; }
    uint32_t After() const { return Slot2() + 4 + S2; }
    uint32_t End() const { return After() + 8 + BlobStreamSlotSize + Wide; }
    uint32_t RecordSize() const { return 5 + (End() - After()); }
    uint32_t FullRecordSize() const { return End() + 5; }
};
static_assert(BlobStreamSlotSize == sizeof(void*));

struct Row {
    int32_t A = 0;
    std::string S1, S2;
    int64_t B = 0;
    void* Ptr = nullptr;
    bool operator==(const Row&) const = default;
};

std::vector<char> Buffer(const Layout& L) { return std::vector<char>(L.FullRecordSize(), '\x55'); }

void Put(const Layout& L, std::vector<char>& Buf, const Row& R) {
    Buf[0] = 0;
    std::memcpy(&Buf[1], &R.A, 4);
    auto slot = [&](uint32_t At, const std::string& S, uint32_t Size) {
        const auto length = static_cast<int32_t>(std::min<size_t>(S.size(), Size));
        std::memcpy(&Buf[At], &length, 4);
        std::memcpy(&Buf[At + 4], S.data(), static_cast<size_t>(length));
    };
    slot(L.Slot1(), R.S1, L.S1);
    slot(L.Slot2(), R.S2, L.S2);
    std::memcpy(&Buf[L.After()], &R.B, 8);
    std::memcpy(&Buf[L.After() + 8], &R.Ptr, BlobStreamSlotSize);
}

Row Get(const Layout& L, const std::vector<char>& Buf) {
    Row r;
    std::memcpy(&r.A, &Buf[1], 4);
    auto slot = [&](uint32_t At) {
        int32_t length;
        std::memcpy(&length, &Buf[At], 4);
        return std::string(&Buf[At + 4], static_cast<size_t>(length));
    };
    r.S1 = slot(L.Slot1());
    r.S2 = slot(L.Slot2());
    std::memcpy(&r.B, &Buf[L.After()], 8);
    std::memcpy(&r.Ptr, &Buf[L.After() + 8], BlobStreamSlotSize);
    return r;
}

// A cache as a data set makes it: string columns registered, the first block added.
TRecordsCache MakeCache(const Layout& L, int32_t Chunks, bool LogMode = false) {
    TRecordsCache cache(Chunks, L.FullRecordSize(), L.RecordSize(), 2);
    cache.SetStringField(1, L.Slot1(), L.S1);
    cache.SetStringField(2, L.Slot2(), L.S2);
    cache.AddBlock();
    cache.SetLogMode(LogMode);
    return cache;
}

void Write(TRecordsCache& Cache, const Layout& L, int32_t RecNo, const Row& R) {
    std::vector<char> buf = Buffer(L);
    Put(L, buf, R);
    Cache.WriteRecord(RecNo, buf.data(), true);
}

Row Read(TRecordsCache& Cache, const Layout& L, int32_t RecNo, bool FromLog = false) {
    std::vector<char> buf = Buffer(L);
    Cache.ReadRecord(RecNo, buf.data(), FromLog);
    return Get(L, buf);
}

Row Sample(int32_t I) {
    // Texts of mixed widths: empty, short, full and longer than their columns.
    return Row{I, std::string(static_cast<size_t>(I * 7 % 41), static_cast<char>('a' + I % 26)),
               std::string(static_cast<size_t>(I * 13 % 103), static_cast<char>('A' + I % 26)), int64_t(I) * 1000000007,
               reinterpret_cast<void*>(static_cast<uintptr_t>(I) * 0x100000001ULL)};
}

// What a read gives back: texts cut to their columns.
Row Cut(const Layout& L, Row R) {
    R.S1.resize(std::min<size_t>(R.S1.size(), L.S1));
    R.S2.resize(std::min<size_t>(R.S2.size(), L.S2));
    return R;
}

} // namespace

TEST(RecordsCache, BlockSizes) {
    struct Case {
        int32_t Chunks;
        uint32_t Full, Record;
        int64_t Block;
        int32_t PerBlock;
    };
    const Case cases[] = {
        {10, 100, 40, 1100, 27},                       // at least about 1 KB, a multiple of the full size
        {32, 100, 40, 1280, 32},
        {1, 3000, 2000, 2000, 1},                      // one record is more than 1 KB
        {32768, 98400, 98304, 3221225472LL, 32768},    // 96 KB rows: beyond 32 bits, no overflow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Block);
        TRecordsCache cache(c.Chunks, c.Full, c.Record, 0);
        EXPECT_EQ(cache.BlockSize(), c.Block);
        EXPECT_EQ(cache.RecordsPerBlock(), c.PerBlock);
    }
    EXPECT_THROW(TRecordsCache(0, 100, 2000, 0), EMemManagerError);   // 1100-byte blocks, 2000-byte records
    EXPECT_THROW(TRecordsCache(10, 100, 0, 0), EMemManagerError);
    EXPECT_THROW(TRecordsCache(1, 0, 10, 0), EMemManagerError);
    try {
        TRecordsCache(0, 100, 2000, 0);
    } catch (const EMemManagerError& e) {
        EXPECT_STREQ(e.what(), "Incompatible Sizes");
    }
}

TEST(RecordsCache, NumbersBelowOneAndBeyondAreRefused) {
    const Layout L;
    TRecordsCache cache = MakeCache(L, 10);
    Write(cache, L, 1, Sample(1));
    Write(cache, L, 2, Sample(2));
    std::vector<char> buf = Buffer(L);
    char* record = nullptr;
    for (int32_t n : {0, -1, -100}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(cache.PhysicalNo(n), -1);
        EXPECT_EQ(cache.FindRecordPtr(n), nullptr);
        EXPECT_EQ(cache.LogicalIndexOf(n), -1);
        EXPECT_FALSE(cache.IsValidPhysicalNo(n));
        EXPECT_THROW(cache.GetRecordPtr(n), EMemManagerError);
        EXPECT_THROW(cache.ReadRecord(n, buf.data(), false), EMemManagerError);
        EXPECT_THROW(cache.WriteRecord(n, buf.data(), true), EMemManagerError);
        EXPECT_THROW(cache.GetFieldDataPtr(n, 0, record, -1), EMemManagerError);
        EXPECT_EQ(cache.GetStringCellPtr(n - 1, 0), nullptr);
    }
    try {
        cache.GetRecordPtr(0);
    } catch (const EMemManagerError& e) {
        EXPECT_STREQ(e.what(), "Can't read Buffer.Incorrect RecordNo");
    }
    try {
        cache.GetFieldDataPtr(5000, 0, record, -1);   // no such block
    } catch (const EMemManagerError& e) {
        EXPECT_STREQ(e.what(), "Can't read  FieldData .Incorrect RecordNo");
    }
    EXPECT_EQ(cache.FindRecordPtr(5000), nullptr);
    EXPECT_EQ(cache.LogicalIndexOf(7), 6);   // without an order list the identity
    EXPECT_TRUE(cache.IsValidPhysicalNo(2));
    EXPECT_FALSE(cache.IsValidPhysicalNo(3));

    // With an order list a physical number from a stale bookmark is looked up within bounds.
    cache.EnsureOrderList();
    EXPECT_EQ(cache.PhysicalNo(3), -1);
    EXPECT_EQ(cache.LogicalIndexOf(7), -1);
    EXPECT_EQ(cache.LogicalIndexOf(1 << 30), -1);
    EXPECT_EQ(cache.LogicalIndexOf(2), 1);
    EXPECT_THROW(cache.MoveRecord(0, 5), EMemManagerError);
    EXPECT_THROW(cache.InsertRecord(4), EMemManagerError);
}

TEST(RecordsCache, StringColumns) {
    const Layout L;
    TRecordsCache cache = MakeCache(L, 10);
    Write(cache, L, 1, Row{1, "abc", "xyz", 0, nullptr});
    // A text longer than its column is returned cut, and the stored text is cut on that read.
    cache.SetStringValue(0, 0, std::string(45, 'L'));
    EXPECT_EQ(cache.GetStringCellPtr(0, 0)->size(), 45u);
    EXPECT_EQ(Read(cache, L, 1).S1, std::string(30, 'L'));
    EXPECT_EQ(cache.GetStringCellPtr(0, 0)->size(), 30u);
    // Trailing blanks go when the text fits, stay when it does not.
    cache.SetStringValue(1, 0, "ab   ");
    EXPECT_EQ(*cache.GetStringCellPtr(0, 1), "ab");
    const std::string longBlank = std::string(100, 'x') + "  ";
    cache.SetStringValue(1, 0, longBlank);
    EXPECT_EQ(*cache.GetStringCellPtr(0, 1), longBlank);
    // A trimmed buffer of the column's size: blanks off, a zero byte after the text.
    std::string padded = "cd" + std::string(28, ' ');
    cache.SetStringBuffer(0, 0, true, -1, padded.data());
    EXPECT_EQ(*cache.GetStringCellPtr(0, 0), "cd");
    EXPECT_EQ(padded[2], '\0');
    // A record whose string row does not exist leaves the buffer's slots as they were.
    Write(cache, L, 2, Row{2, "s", "t", 0, nullptr});
    TRecordsCache fresh = MakeCache(L, 10);
    fresh.PrepareRecordForWrite(1);
    std::vector<char> buf = Buffer(L);
    fresh.ReadRecord(1, buf.data(), false);
    EXPECT_EQ(buf[L.Slot1()], '\x55');
    EXPECT_EQ(buf[L.Slot2() + 4], '\x55');
    // Field addresses: a fixed column in the record, a string column in its cell.
    char* record = nullptr;
    void* a = cache.GetFieldDataPtr(2, 1, record, -1);
    EXPECT_EQ(a, record + 1);
    int32_t value;
    std::memcpy(&value, a, 4);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(*static_cast<std::string*>(cache.GetFieldDataPtr(2, 0, record, 1)), "t");
    // A slot length outside the slot is held to it.
    Put(L, buf, Row{3, "", "", 0, nullptr});
    const int32_t bad = 1000;
    std::memcpy(&buf[L.Slot1()], &bad, 4);
    cache.WriteRecord(3, buf.data(), true);
    EXPECT_EQ(cache.GetStringCellPtr(2, 0)->size(), 30u);
}

TEST(RecordsCache, OrderListMovesInsertsAndTakesBack) {
    const Layout L;
    TRecordsCache cache = MakeCache(L, 4);
    for (int32_t i = 1; i <= 3; ++i) Write(cache, L, i, Sample(i));
    auto order = [&] {
        std::vector<int32_t> o;
        for (int32_t i = 0; i < cache.RecordCount() && cache.PhysicalNoAt(i) > 0; ++i) o.push_back(cache.PhysicalNoAt(i));
        return o;
    };
    EXPECT_FALSE(cache.HasOrderList());
    cache.MoveRecord(0, 2);
    EXPECT_EQ(order(), (std::vector<int32_t>{2, 3, 1}));
    cache.MoveRecord(2, 0);
    EXPECT_EQ(order(), (std::vector<int32_t>{1, 2, 3}));
    cache.ExchangeRecords(0, 2);
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_EQ(Read(cache, L, 1), Cut(L, Sample(3)));   // logical 1 is physical 3
    EXPECT_EQ(cache.LogicalIndexOf(3), 0);

    // An insert in the middle gets the next physical number; a failed post takes it back.
    cache.InsertRecord(1);
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 4, 2, 1}));
    Write(cache, L, 2, Sample(40));
    EXPECT_EQ(Read(cache, L, 2), Cut(L, Sample(40)));
    cache.RemoveRecord(2);
    EXPECT_EQ(cache.RecordCount(), 3);
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 2, 1}));
    // Taking back a record that is not the last keeps the other records' texts in place.
    cache.RemoveRecord(3);   // physical 1
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 2}));
    EXPECT_EQ(Read(cache, L, 1), Cut(L, Sample(3)));
    EXPECT_EQ(Read(cache, L, 2), Cut(L, Sample(2)));
    // Appending after that never hands out a physical number twice.
    Write(cache, L, 3, Sample(7));
    Write(cache, L, 4, Sample(8));
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 2, 4, 5}));
    EXPECT_EQ(Read(cache, L, 3), Cut(L, Sample(7)));
    EXPECT_EQ(Read(cache, L, 4), Cut(L, Sample(8)));
}

TEST(RecordsCache, SavedVersionOutsideLogMode) {
    const Layout L;
    TRecordsCache cache = MakeCache(L, 10);
    Write(cache, L, 1, Sample(1));
    Write(cache, L, 2, Sample(2));
    cache.SaveOldBuffer(2);
    Write(cache, L, 2, Sample(20));
    auto old = [&](int32_t RecNo) {
        const char* b = cache.GetOldBuffer(RecNo);
        return Get(L, std::vector<char>(b, b + L.FullRecordSize()));
    };
    EXPECT_EQ(old(2), Cut(L, Sample(2)));
    // A record beyond the cache has a buffer of ones; the saved version survives the question.
    const char* beyond = cache.GetOldBuffer(3);
    EXPECT_TRUE(std::all_of(beyond, beyond + L.FullRecordSize(), [](char c) { return c == 1; }));
    EXPECT_EQ(old(2), Cut(L, Sample(2)));
    cache.RestoreFromOld(2);
    EXPECT_EQ(Read(cache, L, 2), Cut(L, Sample(2)));
    EXPECT_EQ(cache.LogCount(), 0);
}

TEST(RecordsCache, LogSavesAndRestores) {
    const Layout L;
    TRecordsCache cache = MakeCache(L, 1, true);
    for (int32_t i = 1; i <= 200; ++i) Write(cache, L, i, Sample(i));
    std::vector<int32_t> logged = {150, 3, 77, 1};
    for (int32_t i = 101; i <= 156; ++i)
        if (i != 150) logged.push_back(i);
    for (int32_t i : logged) cache.SaveOldBuffer(i);   // in log mode this logs
    EXPECT_EQ(cache.LogCount(), static_cast<int32_t>(logged.size()));
    EXPECT_EQ(cache.LogBlockCount(), 2);   // 59 logged records, 54 to a block
    for (int32_t i : {150, 3, 77, 1, 2}) Write(cache, L, i, Sample(1000 + i));
    for (int32_t i : {150, 3, 77, 1}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(cache, L, i, true), Cut(L, Sample(i)));   // the first saved version
        EXPECT_EQ(Read(cache, L, i), Cut(L, Sample(1000 + i)));
    }
    EXPECT_EQ(Read(cache, L, 2, true), Cut(L, Sample(1002)));   // not logged: the current one
    // Logging again overwrites the logged version.
    cache.SaveToLog(3);
    EXPECT_EQ(Read(cache, L, 3, true), Cut(L, Sample(1003)));
    cache.RestoreFromOld(77);
    EXPECT_EQ(Read(cache, L, 77), Cut(L, Sample(77)));
    cache.ClearLog();
    EXPECT_EQ(cache.LogCount(), 0);
    EXPECT_EQ(cache.LogBlockCount(), 0);
    EXPECT_EQ(Read(cache, L, 150, true), Cut(L, Sample(1150)));
    // A log after the clear starts afresh and reuses the string rows.
    cache.SaveToLog(150);
    Write(cache, L, 150, Sample(5));
    EXPECT_EQ(Read(cache, L, 150, true), Cut(L, Sample(1150)));
    EXPECT_EQ(cache.LogCount(), 1);
}

TEST(RecordsCache, TenThousandRowsAtEveryChunkSize) {
    const int32_t rows = 10000;
    for (uint32_t wide : {0u, 2000u}) {
        for (int32_t chunks : {1, 32, 1000}) {
            SCOPED_TRACE(testing::Message() << "wide " << wide << " chunks " << chunks);
            Layout L;
            L.Wide = wide;
            TRecordsCache cache = MakeCache(L, chunks);
            for (int32_t i = 1; i <= rows; ++i) Write(cache, L, i, Sample(i));
            EXPECT_EQ(cache.RecordCount(), rows);
            const int64_t perBlock = cache.RecordsPerBlock();
            EXPECT_EQ(cache.BlockCount(), (rows + perBlock - 1) / perBlock);
            // Reorder a little: the last record moves to the front, one comes in at 5000.
            cache.MoveRecord(rows - 1, 0);
            cache.InsertRecord(5000);
            Write(cache, L, 5001, Sample(rows + 1));
            std::vector<int32_t> expected;
            expected.push_back(rows);
            for (int32_t i = 1; i < rows; ++i) expected.push_back(i);
            expected.insert(expected.begin() + 5000, rows + 1);
            int mismatches = 0;
            for (int32_t n = 1; n <= rows + 1; ++n)
                if (!(Read(cache, L, n) == Cut(L, Sample(expected[static_cast<size_t>(n - 1)])))) ++mismatches;
            EXPECT_EQ(mismatches, 0);
            EXPECT_EQ(cache.LogicalIndexOf(rows), 0);
            EXPECT_EQ(cache.LogicalIndexOf(rows + 1), 5000);
        }
    }
}
