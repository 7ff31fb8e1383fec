// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {

const char* const kPrograms[] = {VANTREL_PROGRAMS};
const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// A machine on which each program, started without a reason to stop, would do something
// that shows: Vantrel and Tallisk open a window (offscreen, so they would wait there until
// the time limit) and Tallisk writes its report, vantrel-runonce runs its entry, which
// leaves a marker, and Keldrun shows its missing-arguments box.
class StandardOptions : public testing::Test {
protected:
    StandardOptions()
    {
        platform::CRegKey key;
        platform::CRegKey::Create(platform::RegRoot::LocalMachine, "Software\\Tembric\\Vantrel", key);
        platform::WriteStringValue(key, "Path", machine.Path(""));
        platform::CRegKey::Create(platform::RegRoot::LocalMachine, kRunOnce, key);
        platform::WriteStringValue(key, "Marker", "touch " + Marker());
        std::filesystem::create_directory(machine.Path("cwd"));
    }

    // Runs program with args in the folder cwd of the machine, for at most 20 seconds.
    testsupport::CToolRun Run(const std::string& program, const std::vector<std::string>& args)
    {
        std::vector<std::string> line = {"-C", machine.Path("cwd"), "QT_QPA_PLATFORM=offscreen", "timeout", "20",
                                         program};
        line.insert(line.end(), args.begin(), args.end());
        return testsupport::RunTool(machine, "/usr/bin/env", line);
    }

    std::string Marker() const { return machine.Path("entry-ran"); }

    // Nothing the programs do on an ordinary start has happened.
    void ExpectNothingDone(const std::string& shown)
    {
        EXPECT_FALSE(std::filesystem::exists(machine.Path("cwd/DriveReport.txt"))) << shown;
        EXPECT_FALSE(std::filesystem::exists(Marker())) << shown;
        EXPECT_FALSE(std::filesystem::exists(machine.Path("shutdown.log"))) << shown;
        platform::CRegKey key;
        platform::RegValue value;
        EXPECT_EQ(platform::CRegKey::Open(platform::RegRoot::LocalMachine, kRunOnce, platform::RegAccess::Read, key),
                  platform::RegStatus::Ok);
        EXPECT_EQ(key.Query("Marker", value), platform::RegStatus::Ok) << shown << ": the entry was taken";
    }

    testsupport::CTempMachine machine;
};

TEST_F(StandardOptions, EveryProgramAnswersHelpAndVersionOnStandardOutputAndDoesNothingElse)
{
    for (const std::string path : kPrograms) {
        const std::string name = std::filesystem::path(path).filename().string();
        testsupport::CToolRun help = Run(path, {"--help"});
        EXPECT_EQ(help.exitCode, 0) << name;
        EXPECT_EQ(help.out.rfind("Usage:", 0), 0u) << name << ": " << help.out;
        EXPECT_NE(help.out.find(name), std::string::npos) << name << ": " << help.out;
        EXPECT_EQ(help.out.back(), '\n') << name;
        EXPECT_EQ(help.err, "") << name;
        ExpectNothingDone(name + " --help");

        testsupport::CToolRun version = Run(path, {"--version"});
        EXPECT_EQ(version.exitCode, 0) << name;
        EXPECT_EQ(version.out, name + " (Vantrel) " VANTREL_VERSION "\n");
        EXPECT_EQ(version.err, "") << name;
        ExpectNothingDone(name + " --version");
    }
}

TEST_F(StandardOptions, KeldrunTakesThemOnlyAloneAndOtherwiseMissesItsArguments)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help", "C:"},
                                                 std::vector<std::string>{"C:", "--version"},
                                                 std::vector<std::string>{"-h"}}) {
        testsupport::CToolRun run = Run(KELDRUN_PATH, args);
        EXPECT_EQ(run.exitCode, 0) << args[0];
        EXPECT_NE(run.err.find("Partition Restore => Missing arguments."), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Usage"), std::string::npos) << run.out;
    }
}

TEST_F(StandardOptions, RunOnceRefusesEveryOtherArgumentAndRunsNothing)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "vantrel-runonce trusts only a store owned by root";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                                 std::vector<std::string>{"--help", "now"},
                                                 std::vector<std::string>{""}}) {
        testsupport::CToolRun run = Run(VANTREL_RUNONCE_PATH, args);
        EXPECT_EQ(run.exitCode, 2) << args[0];
        EXPECT_EQ(run.err.rfind("Usage: vantrel-runonce", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        ExpectNothingDone("vantrel-runonce " + args[0]);
    }
    EXPECT_EQ(Run(VANTREL_RUNONCE_PATH, {}).exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(Marker())) << "without arguments the entry runs";
}

}  // namespace
