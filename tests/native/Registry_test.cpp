// The registry object's path and type rules, over the simulated registry.
#include "platform/Registry.h"
#include "platform/sim/SimWindows.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::M().SetString("Top\\Mid\\Leaf", "Name", "leaf");
        sim::M().SetString("Top\\Mid", "Name", "mid");
        sim::M().SetString("Mid", "Name", "root-level mid");
        sim::M().AddKey("Top\\Locked", sim::Rights::ReadOnly);
        registry.RootKey = HKEY_LOCAL_MACHINE;
    }
    void TearDown() override {
        registry.CloseKey();
        EXPECT_EQ(sim::M().openKeys, 0);
    }

    TRegistry registry;
};

TEST_F(RegistryTest, PathsResolveFromTheRootOrTheOpenKey) {
    struct Case {
        const char* label;
        const char* first;   // opened before, or nullptr
        const char* second;  // the open under test
        bool opens;
        const char* nameAfter;  // "Name" of whichever key is open afterwards
    };
    const Case cases[] = {
        {"relative with none open goes from the root", nullptr, "Top\\Mid", true, "mid"},
        {"relative goes from the open key", "Top", "Mid", true, "mid"},
        {"relative below the open key", "Top\\Mid", "Leaf", true, "leaf"},
        {"absolute goes from the root whatever is open", "Top", "\\Mid", true, "root-level mid"},
        {"absolute deep path", "Top\\Mid\\Leaf", "\\Top\\Mid", true, "mid"},
        {"failed open keeps the open key", "Top\\Mid", "\\Nowhere", false, "mid"},
        {"relative miss keeps the open key", "Top\\Mid", "Nowhere", false, "mid"},
        {"full access fails on a read-only key", "Top\\Mid", "\\Top\\Locked", false, "mid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        registry.CloseKey();
        if (c.first) {
            ASSERT_TRUE(registry.OpenKey(c.first, false));
        }
        EXPECT_EQ(registry.OpenKey(c.second, false), c.opens);
        EXPECT_EQ(registry.ReadString("Name"), c.nameAfter);
        EXPECT_EQ(sim::M().openKeys, 1) << "a replaced key must be closed, a kept one not";
    }
}

TEST_F(RegistryTest, StartsOnCurrentUserWithFullAccessAndNoKey) {
    TRegistry fresh;
    EXPECT_EQ(fresh.RootKey, HKEY_CURRENT_USER);
    EXPECT_EQ(fresh.Access, 0xF003Fu);
    EXPECT_EQ(fresh.CurrentKey(), nullptr);
}

TEST_F(RegistryTest, NeverCreatesKeys) {
    EXPECT_THROW(registry.OpenKey("\\Top\\New", true), ERegistryException);
    EXPECT_FALSE(registry.OpenKey("\\Top\\New", false));
    EXPECT_EQ(sim::M().FindKey("Top\\New"), nullptr);
}

TEST_F(RegistryTest, ClosingAndDestroyingReleaseTheKey) {
    {
        TRegistry scoped;
        scoped.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(scoped.OpenKey("Top", false));
        EXPECT_EQ(sim::M().openKeys, 1);
    }
    EXPECT_EQ(sim::M().openKeys, 0);
    ASSERT_TRUE(registry.OpenKey("Top", false));
    registry.CloseKey();
    registry.CloseKey();
    EXPECT_EQ(registry.CurrentKey(), nullptr);
    EXPECT_EQ(sim::M().failedCloses, 0);
}

struct ReadCase {
    const char* label;
    std::optional<sim::Value> value;  // nothing: no such value
    std::string text;                 // expected text, when no error
    const char* error;                // expected message, or nullptr
};

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class ReadStringTest : public RegistryTest, public ::testing::WithParamInterface<ReadCase> {};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.label; }

TEST_P(ReadStringTest, TurnsTheValueIntoText) {
    const ReadCase& c = GetParam();
    if (c.value) sim::M().SetValue("Top", "DisplayName", *c.value);
    ASSERT_TRUE(registry.OpenKey("Top", false));
    if (c.error) {
        try {
            registry.ReadString("DisplayName");
            ADD_FAILURE() << "no error raised";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message, c.error);
        }
    } else {
        EXPECT_EQ(registry.ReadString("DisplayName"), c.text);
    }
}

const char* const WrongType = "Invalid data type for 'DisplayName'";
const char* const Unreadable = "Failed to get data for 'DisplayName'";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadStringTest,
    ::testing::Values(
        ReadCase{"Sz", sim::Value{REG_SZ, sim::StringData("Quillmar 7"), false}, "Quillmar 7", nullptr},
        ReadCase{"ExpandSzIsNotExpanded", sim::Value{REG_EXPAND_SZ, sim::StringData("%WINDIR%\\x"), false},
                 "%WINDIR%\\x", nullptr},
        ReadCase{"EmbeddedZeroEndsTheText", sim::Value{REG_SZ, Bytes(std::string("ab\0cd\0", 6)), false}, "ab", nullptr},
        ReadCase{"NoTerminatingZero", sim::Value{REG_SZ, Bytes("abc"), false}, "abc", nullptr},
        ReadCase{"JustAZero", sim::Value{REG_SZ, {0}, false}, "", nullptr},
        ReadCase{"EmptySz", sim::Value{REG_SZ, {}, false}, "", nullptr},
        ReadCase{"EmptyDword", sim::Value{REG_DWORD, {}, false}, "", nullptr},
        ReadCase{"EmptyBinary", sim::Value{REG_BINARY, {}, false}, "", nullptr},
        ReadCase{"HighBytesKept", sim::Value{REG_SZ, sim::StringData("Quillmar \xe9t\xe9"), false},
                 "Quillmar \xe9t\xe9", nullptr},
        ReadCase{"Missing", std::nullopt, "", nullptr},
        ReadCase{"Dword", sim::Value{REG_DWORD, {1, 0, 0, 0}, false}, "", WrongType},
        ReadCase{"Qword", sim::Value{REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false}, "", WrongType},
        ReadCase{"Binary", sim::Value{REG_BINARY, Bytes("abc"), false}, "", WrongType},
        ReadCase{"MultiSz", sim::Value{REG_MULTI_SZ, Bytes(std::string("a\0b\0\0", 5)), false}, "", WrongType},
        ReadCase{"NoneType", sim::Value{REG_NONE, Bytes("abc"), false}, "", WrongType},
        ReadCase{"Unreadable", sim::Value{REG_SZ, sim::StringData("x"), true}, "", Unreadable}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryTest, LongTextsComeBackWhole) {
    for (std::size_t length : {std::size_t{64} * 1024, std::size_t{1024} * 1024}) {
        const std::string text(length, 'q');
        sim::M().SetString("Top", "DisplayName", text);
        ASSERT_TRUE(registry.OpenKey("\\Top", false));
        EXPECT_EQ(registry.ReadString("DisplayName").size(), length);
    }
}

TEST_F(RegistryTest, ReadingWithNoKeyOpenFails) {
    EXPECT_THROW(registry.ReadString("Name"), ERegistryException);
}

}  // namespace
