#include "platform/drives/Drives.h"
#include "tests/support/TempMachine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <vector>

namespace {

struct CRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs vantrel-mountvol on the machine with the given arguments (quoted for the shell).
CRun MountVol(const testsupport::CTempMachine& machine, const std::vector<std::string>& args)
{
    std::string command = "'" VANTREL_MOUNTVOL "'";
    for (const auto& arg : args)
        command += " '" + arg + "'";
    command += " >'" + machine.Path("out.txt") + "' 2>'" + machine.Path("err.txt") + "'";
    CRun run;
    int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(machine.Path("out.txt"));
    run.err = ReadFile(machine.Path("err.txt"));
    return run;
}

}  // namespace

TEST(MountVol, AssignsListsAndRemovesLetters)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("x.img", 10 * 1024 * 1024);

    CRun assign = MountVol(machine, {"X:", image});
    EXPECT_EQ(assign.exitCode, 0) << assign.err;
    EXPECT_EQ(assign.out + assign.err, "");

    CRun list = MountVol(machine, {});
    EXPECT_EQ(list.exitCode, 0);
    std::istringstream line(list.out);
    std::string letter, type, size, device;
    line >> letter >> type >> size >> device;
    EXPECT_EQ(letter, "X:");
    EXPECT_EQ(type, "fixed");
    EXPECT_EQ(size, "10485760");
    EXPECT_EQ(device, image);
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1);

    std::filesystem::rename(image, image + ".away");
    list = MountVol(machine, {});
    std::istringstream missing(list.out);
    missing >> letter >> type >> size;
    EXPECT_EQ(type, "missing");
    EXPECT_EQ(size, "0");
    std::filesystem::rename(image + ".away", image);

    CRun remove = MountVol(machine, {"x:", "/d"});
    EXPECT_EQ(remove.exitCode, 0) << remove.err;
    EXPECT_EQ(MountVol(machine, {}).out, "");
}

TEST(MountVol, BadInputIsOneLineOnStderrExitOneAndChangesNothing)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("x.img", 4096);
    std::string other = machine.MakeImage("y.img", 4096);
    ASSERT_EQ(MountVol(machine, {"X:", image}).exitCode, 0);
    std::string before = MountVol(machine, {}).out;

    const std::vector<std::vector<std::string>> badInputs = {
        {"X:"},
        {"Y:", other, "/d"},
        {"XY:", other},
        {"1:", other},
        {"Y", other},
        {"Y:", machine.Path("missing.img")},
        {"Y:", machine.Root()},
        {"X:", other},
        {"Y:", image},
        {"Q:", "/d"},
    };
    for (const auto& args : badInputs) {
        CRun run = MountVol(machine, args);
        std::string shown = args.front() + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_EQ(run.exitCode, 1) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("vantrel-mountvol: ", 0), 0u) << shown << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
    }
    EXPECT_EQ(MountVol(machine, {}).out, before);
}
