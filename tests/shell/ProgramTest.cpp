// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/FileDescriptor.h"
#include "platform/files/TextFiles.h"
#include "platform/shell/Shell.h"
#include "platform/system/TerminationSignals.h"

#include "platform/system/SystemRoot.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

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

// Quiet, a program gets no console, no input and no file of this process that it is not
// given, even one this process got without close-on-exec.
TEST(RunProgramToEnd, QuietKeepsTheProgramOffTheConsoleAndGivesItNoInput)
{
    platform::CRunOptions quiet;
    quiet.quiet = true;
    platform::CFd leaked(::open("/dev/null", O_RDONLY));
    ASSERT_TRUE(leaked.IsOpen());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    platform::CProgramEnding ending = platform::RunProgramToEnd(
        {"sh", "-c", "echo out; echo err >&2; [ -e /proc/self/fd/$0 ] && exit 4; read answer && exit 3; exit 5",
         std::to_string(leaked.Get())},
        quiet);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ending.exitCode, 5);
    EXPECT_EQ(platform::RunProgramToEnd({"vantrel-no-such-program-on-path"}, quiet).startError, ENOENT);
}

// Inherited files reach the program under InheritedFilePath in the order given, whatever
// their numbers here (even swapped ones) and whatever their names point at by then.
TEST(RunProgramToEnd, InheritedFilesAreTheFilesOpenedHereNotTheirNames)
{
    testsupport::CTempMachine machine;
    const std::string first = machine.Path("first"), second = machine.Path("second"), out = machine.Path("out");
    ASSERT_TRUE(platform::AppendToFile(first, "first\n"));
    ASSERT_TRUE(platform::AppendToFile(second, "second\n"));
    platform::CFd a(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
    platform::CFd b(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(a.IsOpen() && b.IsOpen());
    // Both names now stand for other files.
    std::filesystem::rename(first, machine.Path("gone"));
    ASSERT_TRUE(platform::AppendToFile(first, "planted\n"));
    std::filesystem::remove(second);
    std::filesystem::create_symlink(first, second);

    platform::CRunOptions options;
    options.quiet = true;
    options.inheritedFiles = {b.Get(), a.Get()};
    platform::CProgramEnding ending = platform::RunProgramToEnd(
        {"sh", "-c", "cat \"$0\" \"$1\" > \"$2\"; [ ! -e /proc/self/fd/5 ]", platform::InheritedFilePath(0),
         platform::InheritedFilePath(1), out},
        options);
    EXPECT_EQ(ending.exitCode, 0) << "the program got more files than it was given";
    EXPECT_EQ(ReadFile(out), "second\nfirst\n");

    options.inheritedFiles = {-1};
    EXPECT_EQ(platform::RunProgramToEnd({"true"}, options).startError, EBADF);
}

// Held, the signals that stop a machine wait in the program; otherwise they end it.
TEST(RunProgramToEnd, HeldStopSignalsDoNotEndTheProgram)
{
    const std::vector<std::string> selfSignals = {"sh", "-c", "kill -TERM $$; kill -INT $$; kill -HUP $$; exit 4"};
    platform::CRunOptions held;
    held.holdStopSignals = true;
    EXPECT_EQ(platform::RunProgramToEnd(selfSignals, held).exitCode, 4);
    platform::CProgramEnding ending = platform::RunProgramToEnd(selfSignals);
    EXPECT_EQ(ending.signal, SIGTERM);
    // The caller's own mask is not the program's.
    platform::CTerminationSignals holding;
    EXPECT_EQ(platform::RunProgramToEnd(selfSignals).signal, SIGTERM);
    EXPECT_EQ(holding.Pending(), 0);
}

// A program that outlives its bound is killed and said to be overdue; one that ends
// within it ends as it would have.
TEST(RunProgramToEnd, AProgramPastItsBoundIsKilled)
{
    platform::CRunOptions bounded;
    bounded.bound = std::chrono::milliseconds(200);
    platform::CProgramEnding hung = platform::RunProgramToEnd({"sleep", "600"}, bounded);
    EXPECT_TRUE(hung.overdue);
    EXPECT_EQ(hung.signal, SIGKILL);

    bounded.bound = std::chrono::minutes(10);
    platform::CProgramEnding quick = platform::RunProgramToEnd({"sh", "-c", "exit 3"}, bounded);
    EXPECT_FALSE(quick.overdue);
    EXPECT_EQ(quick.exitCode, 3);
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
