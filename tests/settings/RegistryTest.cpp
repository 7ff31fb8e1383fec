// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Registry.h"
#include "tests/registry/OtherUser.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <filesystem>

using platform::RegRoot;

namespace {

const char kKey[] = "Software\\Tembric\\Vantrel";

class RegistryTest : public ::testing::Test {
protected:
    // Stores a raw value under HKLM kKey, making the key.
    void Store(const std::string& name, std::uint32_t type, const std::vector<unsigned char>& data)
    {
        platform::CRegKey key;
        ASSERT_EQ(platform::CRegKey::Create(RegRoot::LocalMachine, kKey, key), platform::RegStatus::Ok);
        ASSERT_EQ(key.Set(name, type, data), platform::RegStatus::Ok);
    }

    testsupport::CTempMachine m_machine;
    testsupport::CScriptedMessageBox m_boxes;
};

TEST_F(RegistryTest, ReadStringGivesNullForAMissingValueAndRefusesTooLongData)
{
    CRegistry registry;
    std::string buffer = "old";
    EXPECT_FALSE(registry.ReadString("Path", buffer));
    EXPECT_EQ(buffer, "");

    std::vector<unsigned char> fits(4095, 'a');
    fits.push_back(0);
    Store("Fits", platform::kRegSz, fits);
    Store("Path", platform::kRegSz, std::vector<unsigned char>(4097, 'b'));
    ASSERT_TRUE(registry.Open(RegRoot::LocalMachine, kKey));
    EXPECT_FALSE(registry.ReadString("Missing", buffer));
    EXPECT_EQ(buffer, "null");
    EXPECT_TRUE(registry.ReadString("Fits", buffer));
    EXPECT_EQ(buffer, std::string(4095, 'a'));
    EXPECT_TRUE(m_boxes.Texts().empty());

    EXPECT_FALSE(registry.ReadString("Path", buffer));
    EXPECT_EQ(buffer, "");
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"Path value in registry is too long."});
}

TEST_F(RegistryTest, WritesNeedAnOpenKeyAndStoreTheTerminator)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, kKey));
    EXPECT_FALSE(registry.WriteString("Path", "/opt/vantrel/"));
    EXPECT_FALSE(registry.WriteDword("FastMode", 1));

    ASSERT_TRUE(registry.Open(RegRoot::LocalMachine, "SOFTWARE\\tembric\\vantrel"));
    ASSERT_TRUE(registry.WriteString("Path", "/opt/vantrel/"));
    platform::CRegKey key;
    ASSERT_EQ(platform::CRegKey::Open(RegRoot::LocalMachine, kKey, platform::RegAccess::Read, key),
              platform::RegStatus::Ok);
    platform::RegValue value;
    ASSERT_EQ(key.Query("Path", value), platform::RegStatus::Ok);
    EXPECT_EQ(value.type, platform::kRegSz);
    EXPECT_EQ(value.data.size(), 14u);
    EXPECT_EQ(value.data.back(), 0);

    // A failed Open leaves nothing held.
    EXPECT_FALSE(registry.Open(RegRoot::LocalMachine, "Software\\Missing"));
    EXPECT_FALSE(registry.WriteString("Path", "x"));
}

TEST_F(RegistryTest, GetDwordSentinels)
{
    CRegistry registry;
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "FastMode"), -1);
    Store("Seven", platform::kRegDword, {7, 0, 0, 0});
    Store("AllOnes", platform::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF});
    Store("Text", platform::kRegSz, {'1', 0});
    Store("Short", platform::kRegDword, {0x34, 0x12});
    Store("Wide", platform::kRegDword, {1, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE});
    Store("Huge", platform::kRegBinary, std::vector<unsigned char>(261, 1));
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "Missing"), -1);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "seven"), 7);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "AllOnes"), -1);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "Text"), 0);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "Short"), 0x1234);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "Wide"), 0);
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "Huge"), -1);
}

TEST_F(RegistryTest, SetDwordNeverCreatesTheKey)
{
    CRegistry registry;
    EXPECT_FALSE(registry.SetDword(RegRoot::LocalMachine, kKey, "FastMode", 1));
    EXPECT_FALSE(std::filesystem::exists(m_machine.Path("hklm.db")));

    ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, "Software"));
    EXPECT_FALSE(registry.SetDword(RegRoot::LocalMachine, kKey, "FastMode", 1));
    EXPECT_FALSE(registry.Open(RegRoot::LocalMachine, kKey));
    ASSERT_TRUE(registry.CreateKey(RegRoot::LocalMachine, kKey));
    EXPECT_TRUE(registry.SetDword(RegRoot::LocalMachine, kKey, "FastMode", 0));
    EXPECT_EQ(registry.GetDword(RegRoot::LocalMachine, kKey, "FastMode"), 0);
}

TEST_F(RegistryTest, HasNoNamedValuesIgnoresTheDefaultValue)
{
    CRegistry registry;
    ASSERT_TRUE(registry.CreateKey(RegRoot::CurrentUser, "RunOnce"));
    ASSERT_TRUE(registry.Open(RegRoot::CurrentUser, "RunOnce"));
    EXPECT_TRUE(registry.HasNoNamedValues());
    ASSERT_TRUE(registry.WriteString("", "default"));
    EXPECT_TRUE(registry.HasNoNamedValues());
    ASSERT_TRUE(registry.WriteString(std::string(5000, 'n'), "entry"));
    EXPECT_FALSE(registry.HasNoNamedValues());
}

TEST_F(RegistryTest, WithoutWritePermissionTheKeyDoesNotOpen)
{
    ASSERT_NO_FATAL_FAILURE(Store("Path", platform::kRegSz, {'/', 0}));
    int result = testsupport::RunWithoutWritePermission(m_machine.Root(), m_machine.Path("hklm.db"), [] {
        CRegistry registry;
        std::string buffer;
        if (registry.Open(RegRoot::LocalMachine, kKey) || registry.ReadString("Path", buffer) || buffer != "")
            return 1;
        return registry.GetDword(RegRoot::LocalMachine, kKey, "Path") == -1 ? 0 : 2;
    });
    if (result == -1)
        GTEST_SKIP() << "cannot run a check without write permission here";
    EXPECT_EQ(result, 0);
}

}  // namespace
