// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "tests/registry/OtherUser.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

namespace {

std::vector<std::string> SubKeys(const CRegKey& key)
{
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; key.EnumSubKey(i, name) == RegStatus::Ok; ++i)
        names.push_back(name);
    return names;
}

std::vector<std::string> ValueNames(const CRegKey& key)
{
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; key.EnumValue(i, name) == RegStatus::Ok; ++i)
        names.push_back(name);
    return names;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    testsupport::CTempMachine m_machine;
};

TEST_F(RegistryStoreTest, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "Path", "/opt/vantrel/"), RegStatus::Ok);
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "SOFTWARE\\tembric\\VANTREL", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "PATH", "/srv/vantrel/"), RegStatus::Ok);

    CRegKey software;
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "software", RegAccess::Read, software), RegStatus::Ok);
    EXPECT_EQ(SubKeys(software), std::vector<std::string>{"Tembric"});
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "\\software\\TEMBRIC\\vantrel\\", RegAccess::Read, key),
              RegStatus::Ok);
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"Path"});
    std::string text;
    ASSERT_EQ(ReadStringValue(key, "path", text), RegStatus::Ok);
    EXPECT_EQ(text, "/srv/vantrel/");
}

TEST_F(RegistryStoreTest, ValuesKeepTheirTypeAndEveryByte)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::CurrentUser, "Typed", key), RegStatus::Ok);
    const std::vector<unsigned char> binary = {0, 1, 0, 0xFF, 0};
    ASSERT_EQ(key.Set("Bin", kRegBinary, binary), RegStatus::Ok);
    ASSERT_EQ(key.Set("Empty", kRegBinary, {}), RegStatus::Ok);
    ASSERT_EQ(WriteDwordValue(key, "Word", 0x12345678), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "Text", "abc"), RegStatus::Ok);

    RegValue value;
    ASSERT_EQ(key.Query("Bin", value), RegStatus::Ok);
    EXPECT_EQ(value.type, kRegBinary);
    EXPECT_EQ(value.data, binary);
    ASSERT_EQ(key.Query("Empty", value), RegStatus::Ok);
    EXPECT_TRUE(value.data.empty());
    ASSERT_EQ(key.Query("Word", value), RegStatus::Ok);
    EXPECT_EQ(value.type, kRegDword);
    EXPECT_EQ(value.data, (std::vector<unsigned char>{0x78, 0x56, 0x34, 0x12}));
    ASSERT_EQ(key.Query("Text", value), RegStatus::Ok);
    EXPECT_EQ(value.type, kRegSz);
    EXPECT_EQ(value.data, (std::vector<unsigned char>{'a', 'b', 'c', 0}));
    std::string text;
    EXPECT_EQ(ReadStringValue(key, "Word", text), RegStatus::NotFound);
    EXPECT_EQ(key.Query("Missing", value), RegStatus::NotFound);

    // Overwriting keeps a value's place in the enumeration.
    ASSERT_EQ(WriteStringValue(key, "Bin", "now text"), RegStatus::Ok);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Bin", "Empty", "Word", "Text"}));
    ASSERT_EQ(key.DeleteValue("EMPTY"), RegStatus::Ok);
    EXPECT_EQ(key.DeleteValue("Empty"), RegStatus::NotFound);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Bin", "Word", "Text"}));
}

TEST_F(RegistryStoreTest, ClassesRootIsTheClassesKeyOfLocalMachine)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::ClassesRoot, "CLSID\\{X}\\InprocServer32", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "", "/usr/bin/viewer"), RegStatus::Ok);

    CRegKey machine;
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "SOFTWARE\\Classes\\clsid\\{x}\\InprocServer32", RegAccess::Read,
                            machine),
              RegStatus::Ok);
    std::string text;
    ASSERT_EQ(ReadStringValue(machine, "", text), RegStatus::Ok);
    EXPECT_EQ(text, "/usr/bin/viewer");
    EXPECT_FALSE(std::filesystem::exists(m_machine.Path("hkcu.db")));
    EXPECT_EQ(CRegKey::DeleteTree(RegRoot::ClassesRoot, ""), RegStatus::AccessDenied);
}

TEST_F(RegistryStoreTest, OpeningAMissingStoreFindsNothingAndMakesNoFile)
{
    CRegKey key;
    EXPECT_EQ(CRegKey::Open(RegRoot::LocalMachine, "Software", RegAccess::Full, key), RegStatus::NotFound);
    EXPECT_EQ(CRegKey::Open(RegRoot::CurrentUser, "", RegAccess::Read, key), RegStatus::NotFound);
    EXPECT_EQ(CRegKey::DeleteTree(RegRoot::LocalMachine, "Software"), RegStatus::NotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(std::filesystem::is_empty(m_machine.Root()));
}

TEST_F(RegistryStoreTest, DeletingATreeRemovesItsKeysAndValuesOnly)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "A\\B\\C", key), RegStatus::Ok);
    ASSERT_EQ(WriteDwordValue(key, "Deep", 1), RegStatus::Ok);
    CRegKey sibling;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "A\\Bee", sibling), RegStatus::Ok);
    ASSERT_EQ(WriteDwordValue(sibling, "Kept", 2), RegStatus::Ok);

    ASSERT_EQ(CRegKey::DeleteTree(RegRoot::LocalMachine, "a\\b"), RegStatus::Ok);
    CRegKey probe;
    EXPECT_EQ(CRegKey::Open(RegRoot::LocalMachine, "A\\B", RegAccess::Read, probe), RegStatus::NotFound);
    RegValue value;
    EXPECT_EQ(sibling.Query("Kept", value), RegStatus::Ok);
    // A handle to a deleted key no longer reads or writes anything, even once the same
    // path exists again.
    EXPECT_EQ(key.Query("Deep", value), RegStatus::NotFound);
    EXPECT_EQ(WriteDwordValue(key, "Deep", 3), RegStatus::NotFound);
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "A\\B\\C", probe), RegStatus::Ok);
    EXPECT_EQ(WriteDwordValue(key, "Deep", 3), RegStatus::NotFound);
    EXPECT_TRUE(ValueNames(probe).empty());
}

TEST_F(RegistryStoreTest, ReadOnlyKeysRefuseChanges)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "Software", key), RegStatus::Ok);
    ASSERT_EQ(WriteDwordValue(key, "Value", 1), RegStatus::Ok);
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "Software", RegAccess::Read, key), RegStatus::Ok);
    EXPECT_EQ(WriteDwordValue(key, "Value", 2), RegStatus::AccessDenied);
    EXPECT_EQ(key.DeleteValue("Value"), RegStatus::AccessDenied);
}

TEST_F(RegistryStoreTest, FullAccessNeedsWritePermissionOnTheStore)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "Path", "/opt/vantrel/"), RegStatus::Ok);
    key.Close();

    int result = testsupport::RunWithoutWritePermission(m_machine.Root(), m_machine.Path("hklm.db"), [] {
        CRegKey denied;
        if (CRegKey::Open(RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", RegAccess::Full, denied) !=
            RegStatus::AccessDenied)
            return 1;
        if (CRegKey::Create(RegRoot::LocalMachine, "Software\\Other", denied) != RegStatus::AccessDenied)
            return 2;
        if (CRegKey::DeleteTree(RegRoot::LocalMachine, "Software") != RegStatus::AccessDenied)
            return 3;
        std::string text;
        if (CRegKey::Open(RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", RegAccess::Read, denied) !=
                RegStatus::Ok ||
            ReadStringValue(denied, "Path", text) != RegStatus::Ok || text != "/opt/vantrel/")
            return 4;
        return 0;
    });
    if (result == -1)
        GTEST_SKIP() << "cannot run a check without write permission here";
    EXPECT_EQ(result, 0);
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "Software", RegAccess::Read, key), RegStatus::Ok);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Tembric"});
}

TEST_F(RegistryStoreTest, ParsesRootNamesInShortAndLongForm)
{
    RegRoot root = RegRoot::LocalMachine;
    EXPECT_TRUE(ParseRegRoot("hkey_current_user", root));
    EXPECT_EQ(root, RegRoot::CurrentUser);
    EXPECT_TRUE(ParseRegRoot("HKCR", root));
    EXPECT_EQ(root, RegRoot::ClassesRoot);
    EXPECT_FALSE(ParseRegRoot("HKU", root));
    EXPECT_FALSE(ParseRegRoot("", root));
}

}  // namespace
