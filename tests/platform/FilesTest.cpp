#include "platform/Files.h"

#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>

using namespace qnl;

TEST(Files, ReadsBytesAndNarrowsUtf16LeWithMark) {
    test::TempDir dir;
    {
        std::ofstream(dir.File("plain.sql"), std::ios::binary) << "A\r\nB";
        std::ofstream f(dir.File("wide.sql"), std::ios::binary);
        const char wide[] = {'\xFF', '\xFE', 'O', 0, 'K', 0, '\xE4', 0};
        f.write(wide, sizeof wide);
    }
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File("plain.sql"), bytes));
    EXPECT_EQ(bytes, "A\r\nB");
    ASSERT_TRUE(ReadFileBytes(dir.File("wide.sql"), bytes));
    EXPECT_EQ(bytes, "OK\xC3\xA4");
    EXPECT_FALSE(ReadFileBytes(dir.File("missing.sql"), bytes));
    EXPECT_FALSE(ReadFileBytes(dir.Path(), bytes));  // a folder is not a file
}

TEST(Files, FindFilesMatchesMasksAndSkipsFolders) {
    test::TempDir dir;
    for (const char* n : {"a1.sql", "a2.sql", "b.sql", "a3.txt"}) std::ofstream(dir.File(n)) << "x";
    std::filesystem::create_directory(dir.File("a4.sql"));
    auto found = FindFiles(dir.File("a?.sql"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(ExtractFileName(found[0]), "a1.sql");
    EXPECT_EQ(FindFiles(dir.File("*.sql")).size(), 3u);
    EXPECT_EQ(ExtractFilePath("/x/y/z.sql"), "/x/y/");
    EXPECT_EQ(ChangeFileExt("/x/y.z/q.sql", ".ini"), "/x/y.z/q.ini");
    EXPECT_EQ(ExtractFileExt("/x/y.z/q"), "");
}
