// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Registry.h"
#include "settings/Settings.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <filesystem>

using platform::RegRoot;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { SetAll(-7); }
    void SetAll(int value)
    {
        SafeModeOnly = DontUseSafeMode = ChooseSafeMode = FastMode = VerifyCopy = UsedSpaceOnly = value;
    }
    std::vector<int> InMemory() const
    {
        return {SafeModeOnly, DontUseSafeMode, ChooseSafeMode, FastMode, VerifyCopy, UsedSpaceOnly};
    }

    // The stored values, in their order; -1 where missing.
    std::vector<int> Stored()
    {
        CRegistry registry;
        std::vector<int> values;
        for (const char* name :
             {"SafeModeOnly", "DontUseSafeMode", "ChooseSafeMode", "FastMode", "VerifyCopy", "UsedSpaceOnly"})
            values.push_back(registry.GetDword(RegRoot::LocalMachine, kVantrelKey, name));
        return values;
    }

    testsupport::CTempMachine m_machine;
};

TEST_F(SettingsTest, NothingStoredGivesTheDefaultsAndSavingCreatesNothing)
{
    LoadSettings();
    EXPECT_EQ(InMemory(), (std::vector<int>{0, 0, 1, 1, 0, 0}));
    SaveSettings();
    EXPECT_FALSE(std::filesystem::exists(m_machine.Path("hklm.db")));

    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, "Software\\Tembric"));
    SaveSettings();
    EXPECT_FALSE(registry.Open(RegRoot::LocalMachine, kVantrelKey));
}

TEST_F(SettingsTest, StoredValuesAreUsedAsReadAndSavedAsZeroOrOne)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, kVantrelKey));
    ASSERT_TRUE(registry.Open(RegRoot::LocalMachine, kVantrelKey));
    ASSERT_TRUE(registry.WriteDword("SafeModeOnly", 0));
    ASSERT_TRUE(registry.WriteString("DontUseSafeMode", "1"));
    ASSERT_TRUE(registry.WriteDword("ChooseSafeMode", 0));
    ASSERT_TRUE(registry.WriteDword("FastMode", 5));
    ASSERT_TRUE(registry.WriteDword("VerifyCopy", 3));
    ASSERT_TRUE(registry.WriteDword("UsedSpaceOnly", 7));

    LoadSettings();
    EXPECT_EQ(InMemory(), (std::vector<int>{0, 0, 0, 5, 3, 7}));
    SaveSettings();
    EXPECT_EQ(Stored(), (std::vector<int>{0, 0, 0, 1, 1, 1}));

    SetAll(-1);
    SaveSettings();
    EXPECT_EQ(Stored(), (std::vector<int>{1, 1, 1, 1, 1, 1}));
}

// Asking wins over the other two; cloning at once over the next start; the next start is
// what remains, with Safe Mode only and with none of the three on.
TEST_F(SettingsTest, TheThreeSafeModeFlagsDecideTogetherHowCreateClones)
{
    using enum SafeModeChoice;
    struct CCase {
        int safeModeOnly, dontUseSafeMode, chooseSafeMode;
        SafeModeChoice choice;
    };
    const CCase cases[] = {{0, 0, 1, Ask},         {1, 1, 1, Ask},         {0, 1, 5, Ask},
                           {0, 1, 0, AtOnce},      {1, 1, 0, AtOnce},      {0, -1, 0, AtOnce},
                           {1, 0, 0, AtNextStart}, {0, 0, 0, AtNextStart}};
    for (const CCase& c : cases) {
        SafeModeOnly = c.safeModeOnly;
        DontUseSafeMode = c.dontUseSafeMode;
        ChooseSafeMode = c.chooseSafeMode;
        EXPECT_EQ(CurrentSafeModeChoice(), c.choice) << c.safeModeOnly << c.dontUseSafeMode << c.chooseSafeMode;
    }
}

}  // namespace
