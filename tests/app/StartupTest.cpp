// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ColorFile.h"
#include "app/InstallFolder.h"
#include "platform/files/TextFiles.h"
#include "platform/qt/DisplayCheck.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>

#include <pwd.h>
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
    std::ofstream(machine.Path("hklm.db"), std::ios::trunc) << "not a database\n";
    expectEndedSaying(RunVantrelWithoutDisplay(machine), "the store cannot be read: " + machine.Path("hklm.db") + ": ");
}

// Vantrel with its install folder, in the display environment given (NAME=VALUE), for
// at most a few seconds: a window that opens keeps it running until timeout ends it (124).
class WindowlessStart : public Startup {
protected:
    WindowlessStart() { SetPath(machine.Path("")); }

    testsupport::CToolRun Run(const std::vector<std::string>& environment)
    {
        std::vector<std::string> args = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                         "-u", "XAUTHORITY"};
        args.insert(args.end(), environment.begin(), environment.end());
        args.insert(args.end(), {"timeout", "5", VANTREL_PATH});
        return testsupport::RunTool(machine, "/usr/bin/env", args);
    }

    // Ended with status 1 (not a signal, no core dump), saying why in its last line on
    // standard error and in the journal.
    void ExpectToldNoWindow(const std::vector<std::string>& environment, const std::string& why)
    {
        testsupport::CToolRun run = Run(environment);
        const std::string line = "cannot show a window: " + why;
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("Vantrel: " + line + "\n"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1), "Vantrel: " + line + "\n") << run.err;
        std::string journal = platform::ReadWholeFile(machine.Path("journal.log")).value_or("");
        EXPECT_NE(journal.find("err Vantrel: " + line + "\n"), std::string::npos) << journal;
    }
};

TEST_F(WindowlessStart, WithoutADisplayOrWithOneThatIsNoneVantrelNamesWhatIsMissing)
{
    ExpectToldNoWindow({}, platform::kNoDisplay);
    ExpectToldNoWindow({"QT_QPA_PLATFORM=xcb"}, platform::kNoXDisplay);
    ExpectToldNoWindow({"DISPLAY=nonsense"}, platform::NotADisplayName("nonsense"));
    // No X server listens there: neither a socket in /tmp/.X11-unix nor an abstract one.
    ExpectToldNoWindow({"DISPLAY=:54321"}, platform::NoXServerAt(":54321"));
    // A Wayland display is left to Qt, whose plugins decide; one Qt cannot start ends
    // the program with the same status and its reason, not with abort().
    testsupport::CToolRun run = Run({"QT_QPA_PLATFORM=no-such-platform"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Vantrel: cannot show a window: Qt: "), std::string::npos) << run.err;
}

TEST_F(WindowlessStart, AnXServerThatRefusesTheUserIsToldApartFromOneThatAdmitsIt)
{
    testsupport::CXServer server(machine.Root());
    if (!server.Started())
        GTEST_SKIP() << server.WhyNot();
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    ExpectToldNoWindow({"DISPLAY=" + server.Display(), "XAUTHORITY=/dev/null"},
                       platform::XServerRefused(server.Display(), user->pw_name));
    ExpectToldNoWindow({"DISPLAY=unix" + server.Display() + ".7", "XAUTHORITY=" + server.Authority()},
                       platform::NoSuchScreen("unix" + server.Display() + ".7", 7));
    // Keys that libxcb would read forever once connected: a FIFO nobody writes, an
    // endless device. Where no file is, there are no keys: refused like /dev/null.
    const std::string fifo = machine.Path("keys-fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& keys : {fifo, std::string("/dev/zero")})
        ExpectToldNoWindow({"DISPLAY=" + server.Display(), "XAUTHORITY=" + keys}, platform::XAuthorityNotAFile(keys));
    ExpectToldNoWindow({"DISPLAY=" + server.Display(), "XAUTHORITY=" + machine.Path("no-keys")},
                       platform::XServerRefused(server.Display(), user->pw_name));

    testsupport::CToolRun admitted = Run({"DISPLAY=" + server.Display(), "XAUTHORITY=" + server.Authority()});
    EXPECT_EQ(admitted.exitCode, 124) << "the dialog did not stay open: " << admitted.err;
    EXPECT_EQ(admitted.err.find("cannot show a window"), std::string::npos) << admitted.err;
}

}  // namespace
