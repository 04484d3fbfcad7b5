#include "platform/Streams.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

using namespace qnl;

// Memory and file streams behave alike: writes extend, reads stop at the end, seeks are relative
// to their origin and never go before the start.
template <typename Make>
void CheckProtocol(Make make) {
    auto s = make();
    s->WriteString("hello world");
    EXPECT_EQ(s->Size(), 11);
    EXPECT_EQ(s->Position(), 11);
    EXPECT_EQ(s->Seek(-5, TSeekOrigin::soEnd), 6);
    EXPECT_EQ(s->ReadRest(), "world");
    s->SetPosition(0);
    char buf[20] = {};
    EXPECT_EQ(s->Read(buf, 20), 11);  // a short read answers what it moved
    EXPECT_EQ(s->Read(buf, 20), 0);
    s->SetPosition(3);
    EXPECT_THROW(s->ReadBuffer(buf, 20), EStreamError);
    EXPECT_THROW(s->Seek(-1, TSeekOrigin::soBeginning), EStreamError);
    EXPECT_THROW(s->Seek(-12, TSeekOrigin::soEnd), EStreamError);
    s->SetSize(5);
    EXPECT_EQ(s->Size(), 5);
    EXPECT_LE(s->Position(), 5);
    s->Seek(2, TSeekOrigin::soCurrent);  // past the end is allowed; a write fills the gap
    s->WriteString("!");
    s->SetPosition(0);
    std::string all = s->ReadRest();
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all.substr(0, 5), "hello");
    EXPECT_EQ(all[7], '!');
}

TEST(Streams, MemoryAndFileFollowOneProtocol) {
    CheckProtocol([] { return std::make_unique<TMemoryStream>(); });
    test::TempDir dir;
    CheckProtocol([&] { return std::make_unique<TFileStream>(dir.File("s.bin"), TFileMode::fmCreate); });
}

TEST(Streams, CopiesAndFilesRoundTrip) {
    test::TempDir dir;
    TMemoryStream source;
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    source.WriteString(big);
    source.SaveToFile(dir.File("big.bin"));
    TMemoryStream back;
    back.LoadFromFile(dir.File("big.bin"));
    EXPECT_EQ(back.Bytes(), big);

    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(source, 0), 200000);
    EXPECT_EQ(copy.Bytes(), big);
    source.SetPosition(10);
    TMemoryStream part;
    part.CopyFrom(source, 5);
    EXPECT_EQ(part.Bytes(), big.substr(10, 5));
    EXPECT_THROW(TFileStream(dir.File("missing/x.bin"), TFileMode::fmOpenRead), EStreamError);
}
