// The ini file: the framework's case rules and value forms, file round trips.
#include "platform/IniFiles.h"

#include "fixtures/FbFixture.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qnl {
namespace {

void WriteFile(const std::string& Name, const std::string& Text) {
    std::ofstream(Name, std::ios::binary) << Text;
}

TEST(IniFiles, ReadsSectionsAndKeysIgnoringCaseAndLineEnds) {
    TMemIniFile ini("");
    ini.SetText("; comment\r\n[Gen_A]\r\nStepForCache = 20\r\nNextValue=-5\rLimit=0x10\n\n[other]\nKey=a=b\nkey=second\nbad line\n");
    EXPECT_EQ(20, ini.ReadInteger("GEN_A", "stepforcache", 0));
    EXPECT_EQ(-5, ini.ReadInt64("gen_a", "NEXTVALUE", 0));
    EXPECT_EQ(16, ini.ReadInteger("Gen_A", "Limit", 0));
    EXPECT_EQ("a=b", ini.ReadString("OTHER", "KEY", ""));   // the first line of a key wins
    EXPECT_EQ((std::vector<std::string>{"Gen_A", "other"}), ini.ReadSections());
    EXPECT_EQ((std::vector<std::string>{"Key"}), ini.ReadSection("other"));
    EXPECT_FALSE(ini.ValueExists("other", "bad line"));
    EXPECT_EQ("dflt", ini.ReadString("missing", "Key", "dflt"));
}

TEST(IniFiles, NumbersAndBooleansConvertOrGiveTheDefault) {
    TMemIniFile ini("");
    ini.SetText("[s]\nbig=9223372036854775807\nlow=-9223372036854775808\nover=9223372036854775808\n"
                "int=2147483648\nword=abc\nfrac=1.5\nt=1\nf=0\nother=7\nyes=yes\n");
    EXPECT_EQ(INT64_MAX, ini.ReadInt64("s", "big", -1));
    EXPECT_EQ(INT64_MIN, ini.ReadInt64("s", "low", -1));
    EXPECT_EQ(-1, ini.ReadInt64("s", "over", -1));
    EXPECT_EQ(-1, ini.ReadInteger("s", "int", -1));         // beyond 32 bits
    EXPECT_EQ(2147483648LL, ini.ReadInt64("s", "int", -1));
    EXPECT_EQ(-1, ini.ReadInt64("s", "word", -1));
    EXPECT_EQ(-1, ini.ReadInt64("s", "frac", -1));
    EXPECT_TRUE(ini.ReadBool("s", "t", false));
    EXPECT_FALSE(ini.ReadBool("s", "f", true));
    EXPECT_TRUE(ini.ReadBool("s", "other", false));
    EXPECT_TRUE(ini.ReadBool("s", "yes", true));
    EXPECT_FALSE(ini.ReadBool("s", "yes", false));
}

TEST(IniFiles, WritesRoundTripThroughTheFile) {
    test::TempDir dir;
    const std::string name = dir.File("settings.ini");
    {
        TMemIniFile ini(name);
        ini.WriteBool("Main", "Flag", true);
        ini.WriteBool("Main", "Off", false);
        ini.WriteInt64("Gen", "Limit", 5000000000LL);
        ini.WriteString("main", "path", "/tmp/a b");   // same section, other case
        EXPECT_FALSE(FileExists(name));                 // nothing written before UpdateFile
        ASSERT_TRUE(ini.UpdateFile());
    }
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(name, bytes));
    EXPECT_EQ("[Main]\nFlag=1\nOff=0\npath=/tmp/a b\n\n[Gen]\nLimit=5000000000\n", bytes);
    TMemIniFile again(name);
    EXPECT_EQ(5000000000LL, again.ReadInt64("GEN", "LIMIT", 0));
    again.WriteString("MAIN", "FLAG", "0");            // replaces, keeps the key's spelling
    again.DeleteKey("main", "off");
    again.EraseSection("gen");
    EXPECT_EQ("[Main]\nFlag=0\npath=/tmp/a b\n", again.Text());
}

TEST(IniFiles, TheWriteThroughFileSavesEveryChangeAndAMissingFileIsEmpty) {
    test::TempDir dir;
    const std::string name = dir.File("reg.ini");
    TIniFile ini(name);
    EXPECT_TRUE(ini.ReadSections().empty());
    ini.WriteInteger("Key\\Path", "Value", 42);
    EXPECT_EQ(42, TMemIniFile(name).ReadInteger("key\\path", "value", 0));
    ini.EraseSection("KEY\\PATH");
    EXPECT_FALSE(TMemIniFile(name).SectionExists("Key\\Path"));
    WriteFile(name, "[x]\ny=1\n");
    ini.Reload();
    EXPECT_TRUE(ini.ReadBool("X", "Y", false));
}

} // namespace
} // namespace qnl
