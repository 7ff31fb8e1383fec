// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ColorFile.h"
#include "app/InstallFolder.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

using platform::CRgb;

namespace {

CDialogColours Colours(CRgb background, CRgb text)
{
    return {background, text};
}

TEST(ColorLine, FieldsReplaceTheDefaultsInOrderAndKeepTheirLowEightBits)
{
    EXPECT_EQ(ParseColorLine("10,20,30,40,50,60"), Colours({10, 20, 30}, {40, 50, 60}));
    EXPECT_EQ(ParseColorLine("300,20,30"), Colours({44, 20, 30}, {0, 0, 0}));
    EXPECT_EQ(ParseColorLine("-1,256,7"), Colours({255, 0, 7}, {0, 0, 0}));
    EXPECT_EQ(ParseColorLine("1,2,3,4,5,6,7,8"), Colours({1, 2, 3}, {4, 5, 6}));
}

TEST(ColorLine, EmptyFieldsAndTextReadAsZeroLikeAtoi)
{
    EXPECT_EQ(ParseColorLine(""), Colours({0, 220, 210}, {0, 0, 0}));
    EXPECT_EQ(ParseColorLine(",,,"), Colours({0, 0, 0}, {0, 0, 0}));
    EXPECT_EQ(ParseColorLine("  +12px,abc,\t9"), Colours({12, 0, 9}, {0, 0, 0}));
    EXPECT_EQ(ParseColorLine("99999999999999,-99999999999999"), Colours({255, 0, 210}, {0, 0, 0}));
}

class Startup : public testing::Test {
protected:
    void SetPath(const std::string& path)
    {
        platform::CRegKey key;
        ASSERT_EQ(platform::CRegKey::Create(platform::RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", key),
                  platform::RegStatus::Ok);
        platform::WriteStringValue(key, "Path", path);
    }
    std::optional<std::string> InstallFolder()
    {
        std::string folder;
        return GetInstallFolder(folder) ? std::optional(folder) : std::nullopt;
    }

    testsupport::CTempMachine machine;
};

TEST_F(Startup, ColorFileGivesItsFirstLineOrNothing)
{
    std::string folder = machine.Path("");
    EXPECT_EQ(ReadColorFile(folder), CDialogColours{});
    std::ofstream(folder + "color.txt") << "10,20,30\r\n40,50,60\n";
    EXPECT_EQ(ReadColorFile(folder), Colours({10, 20, 30}, {0, 0, 0}));
}

TEST_F(Startup, InstallFolderGetsItsSeparatorBeforeItsBlanksGo)
{
    EXPECT_EQ(InstallFolder(), std::nullopt);  // no key
    SetPath("/opt/Tools/Clone");
    EXPECT_EQ(InstallFolder(), "/opt/Tools/Clone/");
    SetPath("/opt/Tools/Clone/");
    EXPECT_EQ(InstallFolder(), "/opt/Tools/Clone/");
    SetPath(" /opt/Tools ");
    EXPECT_EQ(InstallFolder(), "/opt/Tools /");
    SetPath("");
    EXPECT_EQ(InstallFolder(), std::nullopt);
    SetPath("null");
    EXPECT_EQ(InstallFolder(), std::nullopt);
}

// Without a display: a program that tried to show something would say so.
testsupport::CToolRun RunVantrelWithoutDisplay(const testsupport::CTempMachine& machine,
                                               std::vector<std::string> asUser = {})
{
    std::vector<std::string> args = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
    args.insert(args.end(), asUser.begin(), asUser.end());
    args.push_back(VANTREL_PATH);
    return testsupport::RunTool(machine, "/usr/bin/env", args);
}

TEST_F(Startup, VantrelWithoutInstallFolderSaysWhyInOneLineBeforeAnyWindow)
{
    auto expectEndedSaying = [](const testsupport::CToolRun& run, const std::string& why) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err.rfind("Vantrel: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    };
    expectEndedSaying(RunVantrelWithoutDisplay(machine), "does not exist");
    SetPath("");
    expectEndedSaying(RunVantrelWithoutDisplay(machine), "missing or empty");

    SetPath(machine.Path(""));
    if (geteuid() == 0) {
        // nobody reads the store but may not write it.
        ASSERT_EQ(chmod(machine.Root().c_str(), 0755), 0);
        expectEndedSaying(
            RunVantrelWithoutDisplay(machine, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}),
            "cannot be opened for writing");
    }
    testsupport::CToolRun run = RunVantrelWithoutDisplay(machine);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;

    std::ofstream(machine.Path("hklm.db"), std::ios::trunc) << "not a database\n";
    expectEndedSaying(RunVantrelWithoutDisplay(machine), "the store cannot be read: " + machine.Path("hklm.db") + ": ");
}

}  // namespace
