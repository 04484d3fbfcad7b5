// The ini-file registry store: values keep their kinds across registry objects, awkward texts
// survive the ini format, and keys exist through their subkeys.
#include "platform/Registry.h"

#include "fixtures/FbFixture.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qnl {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QNL_REGISTRY_FILE", Dir.File("sub/registry.ini").c_str(), 1); }
    void TearDown() override { unsetenv("QNL_REGISTRY_FILE"); }
    test::TempDir Dir;
};

TEST_F(RegistryTest, ValuesReadBackWithTheirKinds) {
    struct Case {
        const char* Name;
        Variant Value;
        TVarType ReadKind;
    } cases[] = {
        {"int", Variant(int32_t{-42}), varInteger},
        {"word", Variant::FromInteger(65535, varWord), varInteger},
        {"big", Variant(int64_t{1} << 40), varInt64},
        {"float", Variant(0.1), varDouble},
        {"currency", Variant(Currency::FromScaled(123456789)), varCurrency},
        {"date", Variant::FromDate(45000.75), varDate},
        {"bool", Variant(true), varBoolean},
        {"text", Variant(std::string("  two\r\nlines \\ with = and ; ")), varString},
        {"=odd name ", Variant(std::string("x")), varString},
        {"[looks like a section", Variant(std::string("")), varString},
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Test", true));
        for (const Case& c : cases) EXPECT_TRUE(reg.WriteValue(c.Name, c.Value)) << c.Name;
        EXPECT_FALSE(reg.WriteValue("null", Variant::Null()));
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("software\\TEST", false));
    EXPECT_FALSE(reg.ValueExists("null"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(reg.ValueExists(c.Name));
        const Variant v = reg.ReadValue(c.Name);
        ASSERT_EQ(v.VarType(), c.ReadKind);
        switch (c.ReadKind) {
        case varInteger:
        case varInt64: EXPECT_EQ(v.AsInt64(), c.Value.AsInt64()); break;
        case varDouble:
        case varDate: EXPECT_EQ(v.AsDouble(), c.Value.AsDouble()); break;
        case varCurrency: EXPECT_EQ(v.AsCurrency(), c.Value.AsCurrency()); break;
        case varBoolean: EXPECT_EQ(v.AsBoolean(), c.Value.AsBoolean()); break;
        default: EXPECT_EQ(v.AsString(), c.Value.AsString());
        }
    }
}

TEST_F(RegistryTest, KeysExistThroughTheirSubkeys) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("A\\B", false));
    EXPECT_FALSE(FileExists(Dir.File("sub/registry.ini")));
    ASSERT_TRUE(reg.OpenKey("A\\B\\C", true));
    ASSERT_TRUE(reg.OpenKey("A\\D", true));
    EXPECT_TRUE(reg.KeyExists("a\\b"));
    ASSERT_TRUE(reg.OpenKey("A", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"B", "D"}));
    for (const char* bad : {"", "\\", "A\\\\B", "A\\ B", "A]\\B"}) EXPECT_FALSE(reg.OpenKey(bad, true)) << bad;
    reg.RootKey = HKEY_CURRENT_USER + 1;
    EXPECT_FALSE(reg.OpenKey("A", false));
}

} // namespace
} // namespace qnl
