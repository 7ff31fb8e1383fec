// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeDriveTree.h"
#include "tests/support/LoopDevice.h"
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

TEST(MountVol, HelpNamesTheForceSwitch)
{
    testsupport::CTempMachine machine;
    CRun help = MountVol(machine, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("X: PATH /f"), std::string::npos) << help.out;
}

TEST(MountVol, AVolumeOverlappingALetteredOneNeedsForce)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("x.img", 4 << 20);
    ASSERT_EQ(MountVol(machine, {"X:", image}).exitCode, 0);
    testsupport::CLoopDevice whole(image);
    if (!whole.IsAttached())
        GTEST_SKIP() << whole.Error();
    testsupport::CLoopDevice first(image, {512, 0, 1 << 20, std::nullopt, false});
    testsupport::CLoopDevice second(image, {512, 1 << 20, 1 << 20, std::nullopt, false});
    ASSERT_TRUE(first.IsAttached() && second.IsAttached());

    CRun refused = MountVol(machine, {"Y:", whole.Path()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "vantrel-mountvol: " + whole.Path() + " overlaps drive X: (" + image +
                               "); add /f to assign it all the same\n");
    EXPECT_EQ(MountVol(machine, {"Y:", whole.Path(), "/f"}).exitCode, 0);
    ASSERT_EQ(MountVol(machine, {"X:", "/d"}).exitCode, 0);
    ASSERT_EQ(MountVol(machine, {"Y:", "/d"}).exitCode, 0);

    // Side by side is no overlap; the same device stays refused even with /f.
    EXPECT_EQ(MountVol(machine, {"F:", first.Path()}).exitCode, 0);
    CRun adjacent = MountVol(machine, {"S:", second.Path()});
    EXPECT_EQ(adjacent.exitCode, 0) << adjacent.err;
    CRun same = MountVol(machine, {"T:", second.Path(), "/f"});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_NE(same.err.find("is already drive S:"), std::string::npos) << same.err;
}

TEST(MountVol, AnImageReplacedUnderItsPathIsListedAsMissing)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("x.img", 4096);
    ASSERT_EQ(MountVol(machine, {"X:", image}).exitCode, 0);
    // Another file put in its place (made while the first one is still there, so that it
    // cannot get its inode number).
    std::filesystem::rename(machine.MakeImage("new.img", 8192), image);

    CRun list = MountVol(machine, {});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "X:  missing                  0  " + image + "  (another device is there now)\n");
    CRun taken = MountVol(machine, {"Y:", image});
    EXPECT_EQ(taken.exitCode, 1);  // the path is still X:'s
    EXPECT_EQ(MountVol(machine, {"X:", "/d"}).exitCode, 0);
    EXPECT_EQ(MountVol(machine, {"X:", image}).exitCode, 0);
}

TEST(MountVol, AStoreThatCannotBeReadIsSaidAndNoEmptyList)
{
    testsupport::CTempMachine machine;
    std::ofstream(machine.Path("hklm.db"), std::ios::binary) << std::string(4096, 'x');
    CRun list = MountVol(machine, {});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_EQ(list.out, "");
    EXPECT_EQ(list.err, "vantrel-mountvol: cannot read the drive-letter table: the registry store cannot be read\n");
    CRun assign = MountVol(machine, {"X:", machine.MakeImage("x.img", 4096)});
    EXPECT_EQ(assign.exitCode, 1);
    EXPECT_EQ(std::count(assign.err.begin(), assign.err.end(), '\n'), 1) << assign.err;
}

// The real machine's view, in a private mount namespace: a made-up sysfs and /dev with
// more loop disks than letters, and a /var/lib of its own, so no disk of this machine is
// read and nothing of it is changed.
TEST(MountVol, OnTheRealMachineRunningOutOfLettersIsSaidOnceAndTheLockIsRootsAloneAndBounded)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("loops.img", 1 << 20);
    CFakeDriveTree tree(machine.Path("kernel"));
    for (int i = 0; i < 26; ++i)
        tree.AddLoop("loop" + std::to_string(i), "7:" + std::to_string(i), image, std::uint64_t(i) * 4096, 4096);
    std::filesystem::create_directories(machine.Path("home"));
    std::string script =
        "mount --bind '" + machine.Path("kernel/sys") + "' /sys && mount --bind '" + machine.Path("kernel/dev") +
        "' /dev && mount -t tmpfs vantrel-test /var/lib || exit 99\n"
        "env -u VANTREL_SYSTEM_ROOT HOME='" + machine.Path("home") + "' '" VANTREL_MOUNTVOL "' >'" +
        machine.Path("list.out") + "' 2>'" + machine.Path("list.err") + "'; echo $? >'" + machine.Path("list.rc") +
        "'\n"
        "stat -c '%a %u %F' /var/lib/vantrel/drives.lock /var/lib/vantrel >'" + machine.Path("stat.txt") + "'\n"
        "flock /var/lib/vantrel/drives.lock env -u VANTREL_SYSTEM_ROOT HOME='" + machine.Path("home") + "' '" +
        VANTREL_MOUNTVOL "' >/dev/null 2>'" + machine.Path("locked.err") + "'\n"
        "chmod 0777 /var/lib/vantrel\n"
        "env -u VANTREL_SYSTEM_ROOT HOME='" + machine.Path("home") + "' '" VANTREL_MOUNTVOL "' C: /d 2>'" +
        machine.Path("unsafe.err") + "'; echo $? >'" + machine.Path("unsafe.rc") + "'\n";
    std::ofstream(machine.Path("script.sh")) << script;
    int status = std::system(("unshare --mount --propagation private sh '" + machine.Path("script.sh") +
                              "' 2>/dev/null").c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "no private mount namespace can be made here";

    std::string listed = ReadFile(machine.Path("list.out"));
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 24) << listed;
    EXPECT_EQ(ReadFile(machine.Path("list.rc")), "1\n");
    EXPECT_EQ(ReadFile(machine.Path("list.err")), "vantrel-mountvol: no free drive letter for /dev/loop24, /dev/loop25\n");
    EXPECT_EQ(ReadFile(machine.Path("stat.txt")), "600 0 regular empty file\n755 0 directory\n");
    // Held by another process, the lock costs the new devices their letters this time,
    // and nothing else.
    EXPECT_EQ(ReadFile(machine.Path("locked.err")),
              "vantrel-mountvol: the drive-letter table is locked by another process (/var/lib/vantrel/drives.lock); "
              "no letter given to /dev/loop24, /dev/loop25\n");
    EXPECT_EQ(ReadFile(machine.Path("unsafe.rc")), "1\n");
    EXPECT_EQ(ReadFile(machine.Path("unsafe.err")),
              "vantrel-mountvol: /var/lib/vantrel is not a folder of root's that only root may change\n");
}
