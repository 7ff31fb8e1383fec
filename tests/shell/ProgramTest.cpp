// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "platform/shell/Shell.h"

#include "platform/system/SystemRoot.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

using platform::RunProgram;
using platform::ShellExecute;
using platform::StartProgram;
using Args = std::vector<std::string>;

namespace {

// A shell script that writes its arguments, one per line, to the file named first; the
// file appears whole (renamed into place) once the script is done.
const std::string kWriteArguments = "f=$1; shift; printf '%s\\n' \"$@\" > \"$f.tmp\" && mv \"$f.tmp\" \"$f\"";

std::string ReadFile(const std::string& path)
{
    return platform::ReadWholeFile(path).value_or("");
}

void WaitForFile(const std::string& path)
{
    while (!std::filesystem::exists(path))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// True while this process has a child that has ended but was not reaped.
bool HasZombieChild()
{
    const std::string parent = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string stat = ReadFile(entry.path().string() + "/stat");
        std::size_t end = stat.rfind(')');
        if (end == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(end + 1));
        std::string state;
        std::string ppid;
        fields >> state >> ppid;
        if (ppid == parent && state == "Z")
            return true;
    }
    return false;
}

TEST(RunProgram, PassesArgumentsExactlyAndReturnsTheExitCode)
{
    testsupport::CTempMachine machine;
    const std::string out = machine.Path("args");
    Args arguments = {"a b", "", "C:\\Program Files\\Vantrel\\", "q\"uote", "$HOME", "*"};
    Args argv = {"sh", "-c", kWriteArguments + "; exit 7", "sh", out};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    EXPECT_EQ(RunProgram(argv), 7);
    std::string expected;
    for (const std::string& argument : arguments)
        expected += argument + "\n";
    EXPECT_EQ(ReadFile(out), expected);
}

TEST(RunProgram, FailsForMissingProgramsAndAbnormalEnds)
{
    testsupport::CTempMachine machine;
    EXPECT_EQ(RunProgram({machine.Path("no-such-program")}), -1);
    EXPECT_EQ(RunProgram({"vantrel-no-such-program-on-path"}), -1);
    EXPECT_EQ(RunProgram({"sh", "-c", "kill -9 $$"}), -1);
}

TEST(RunProgramQuietly, KeepsTheProgramOffTheConsoleAndGivesItNoInput)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = platform::RunProgramQuietly({"sh", "-c", "echo out; echo err >&2; read answer && exit 3; exit 5"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(code, 5);
    EXPECT_EQ(platform::RunProgramQuietly({"vantrel-no-such-program-on-path"}), -1);
}

// ShellExecute of a program is StartProgram with the parameters split.
TEST(StartProgram, DoesNotWaitAndLeavesNoZombie)
{
    testsupport::CTempMachine machine;
    const std::string out = machine.Path("started");
    EXPECT_FALSE(StartProgram({machine.Path("no-such-program")}));
    ASSERT_TRUE(ShellExecute("sh", "-c " + platform::QuoteArgument(kWriteArguments) + " sh " + out +
                             " \"C:\\My Files\\\\\" x"));
    WaitForFile(out);
    EXPECT_EQ(ReadFile(out), "C:\\My Files\\\nx\n");
    while (HasZombieChild())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(ShellExecute, RestartUnderASystemRootWritesOneLineAndNothingElse)
{
    testsupport::CTempMachine machine;
    ASSERT_TRUE(platform::SystemRoot());  // never restart the machine running the tests
    const std::string log = machine.Path("shutdown.log");

    EXPECT_FALSE(ShellExecute("shutdown", "-h now"));
    EXPECT_FALSE(ShellExecute("shutdown", ""));
    EXPECT_FALSE(std::filesystem::exists(log));

    EXPECT_TRUE(ShellExecute("shutdown", "-r -f -t 0"));
    EXPECT_EQ(ReadFile(log), "shutdown -r -f -t 0\n");
    EXPECT_TRUE(ShellExecute("SHUTDOWN", "-r  -f -t 0"));
    EXPECT_EQ(ReadFile(log), "shutdown -r -f -t 0\nshutdown -r -f -t 0\n");
}

}  // namespace
