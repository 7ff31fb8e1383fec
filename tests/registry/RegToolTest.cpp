// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class RegToolTest : public ::testing::Test {
protected:
    testsupport::CToolRun Reg(const std::vector<std::string>& args)
    {
        return testsupport::RunTool(m_machine, std::string(VANTREL_BIN_DIR) + "/vantrel-reg", args);
    }

    bool KeyExists(const std::string& path)
    {
        platform::CRegKey key;
        return platform::CRegKey::Open(platform::RegRoot::LocalMachine, path, platform::RegAccess::Read, key) ==
               platform::RegStatus::Ok;
    }

    testsupport::CTempMachine m_machine;
};

TEST_F(RegToolTest, AddedValuesQueryBackWhateverTheCase)
{
    ASSERT_EQ(Reg({"add", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Path", "/d", "/opt/vantrel/", "/f"}).exitCode, 0);
    ASSERT_EQ(Reg({"add", "HKEY_LOCAL_MACHINE\\Software\\Tembric\\Vantrel", "/v", "FastMode", "/t", "REG_DWORD", "/d",
                   "0x1F"})
                  .exitCode,
              0);
    testsupport::CToolRun path = Reg({"query", "HKLM\\SOFTWARE\\TEMBRIC\\VANTREL", "/v", "Path"});
    EXPECT_EQ(path.exitCode, 0);
    EXPECT_EQ(path.out, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TEMBRIC\\VANTREL\n    Path    REG_SZ    /opt/vantrel/\n");
    testsupport::CToolRun all = Reg({"query", "hklm\\software\\tembric\\vantrel"});
    EXPECT_NE(all.out.find("    FastMode    REG_DWORD    0x1f\n"), std::string::npos) << all.out;

    ASSERT_EQ(Reg({"add", "HKCR\\CLSID\\{X}", "/ve", "/d", "viewer"}).exitCode, 0);
    EXPECT_NE(Reg({"query", "HKLM\\Software\\Classes\\CLSID\\{X}"}).out.find("(Default)    REG_SZ    viewer"),
              std::string::npos);
}

TEST_F(RegToolTest, BadInputIsRefusedWithOneLineAndChangesNothing)
{
    ASSERT_EQ(Reg({"add", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Path", "/d", "kept"}).exitCode, 0);
    const std::vector<std::vector<std::string>> bad = {
        {"add", "HKXX\\Software\\New", "/v", "x", "/d", "1"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_TEXT", "/d", "1"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_DWORD", "/d", "12abc"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_DWORD", "/d", "-1"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_DWORD"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/t", "REG_BINARY", "/d", "ABC"},
        {"add", "HKLM\\Software\\New", "/v", "x", "/ve", "/d", "1"},
        {"add", "HKLM\\Software\\New", "/v"},
        {"add", "HKLM\\Software\\New", "/q"},
        {"add", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Path", "/d", "lost", "/x"},
        {"query", "HKLM\\Software\\Missing"},
        {"query", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Missing"},
        {"delete", "HKLM\\Software\\Missing", "/f"},
        {"delete", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Missing", "/f"},
        {"remove", "HKLM\\Software\\Tembric\\Vantrel"},
        {"query"},
    };
    for (const auto& args : bad) {
        testsupport::CToolRun run = Reg(args);
        std::string shown = args[0] + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_EQ(run.exitCode, 1) << shown;
        EXPECT_EQ(run.err.rfind("ERROR: ", 0), 0u) << shown << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
    }
    EXPECT_FALSE(KeyExists("Software\\New"));
    EXPECT_NE(Reg({"query", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Path"}).out.find("REG_SZ    kept"),
              std::string::npos);
}

TEST_F(RegToolTest, DeleteWithoutForceAndNoAnswerDeletesNothing)
{
    ASSERT_EQ(Reg({"add", "HKLM\\Software\\Tembric\\Vantrel", "/v", "Path", "/d", "x"}).exitCode, 0);
    EXPECT_EQ(Reg({"delete", "HKLM\\Software\\Tembric"}).exitCode, 1);
    EXPECT_TRUE(KeyExists("Software\\Tembric\\Vantrel"));
    EXPECT_EQ(Reg({"delete", "HKLM\\Software\\Tembric", "/f"}).exitCode, 0);
    EXPECT_FALSE(KeyExists("Software\\Tembric"));
    EXPECT_TRUE(KeyExists("Software"));
}

}  // namespace
