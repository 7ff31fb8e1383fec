// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atoms/Atoms.h"

#include "tests/support/RealMachineView.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using platform::AddAtom;
using platform::Atom;
using platform::DeleteAtom;
using platform::FindAtom;

namespace {

const std::string kCancel = "Vantrel 1.1";

TEST(Atoms, CountReferencesAndIgnoreCase)
{
    testsupport::CTempMachine machine;
    Atom atom = AddAtom(kCancel);
    ASSERT_GE(atom, 0xC000);
    EXPECT_EQ(AddAtom("VANTREL 1.1"), atom);
    EXPECT_EQ(FindAtom("vantrel 1.1"), atom);
    Atom other = AddAtom("Vantrel 1.2");
    EXPECT_NE(other, 0);
    EXPECT_NE(other, atom);

    EXPECT_EQ(DeleteAtom(atom), 0);
    EXPECT_EQ(FindAtom(kCancel), atom) << "one reference is left";
    EXPECT_EQ(DeleteAtom(atom), 0);
    EXPECT_EQ(FindAtom(kCancel), 0);
    EXPECT_EQ(DeleteAtom(atom), atom) << "deleting a missing atom reports the atom back";
    EXPECT_EQ(FindAtom("Vantrel 1.2"), other);

    EXPECT_EQ(AddAtom(""), 0);
    EXPECT_EQ(AddAtom(std::string(256, 'a')), 0);
    EXPECT_NE(AddAtom(std::string(255, 'a')), 0);
}

TEST(Atoms, MachinesUnderDifferentRootsDoNotShareAtoms)
{
    testsupport::CTempMachine first;
    std::string firstRoot = first.Root();
    testsupport::CTempMachine second;  // now the current machine
    ASSERT_NE(AddAtom(kCancel), 0);

    setenv("VANTREL_SYSTEM_ROOT", firstRoot.c_str(), 1);
    EXPECT_EQ(FindAtom(kCancel), 0);
    setenv("VANTREL_SYSTEM_ROOT", second.Root().c_str(), 1);
    EXPECT_NE(FindAtom(kCancel), 0);
}

TEST(Atoms, CorruptOrCutShortTableCountsAsEmpty)
{
    for (std::string content : {"garbage\n", "C000 1 Vantrel 1.1", "C000 1 a\nC001 1 A\n"}) {
        testsupport::CTempMachine machine;
        std::ofstream(machine.Path("atoms"), std::ios::binary) << content;
        EXPECT_EQ(FindAtom("Vantrel 1.1"), 0) << content;
        EXPECT_EQ(FindAtom("a"), 0) << content;
        EXPECT_EQ(AddAtom("b"), 0xC000) << content;
        EXPECT_EQ(FindAtom("b"), 0xC000) << content;
    }
}

// Two processes add and delete the same atom at once: no reference may be lost.
TEST(Atoms, TwoProcessesChangingTheTableLoseNoReference)
{
    testsupport::CTempMachine machine;
    Atom atom = AddAtom(kCancel);
    ASSERT_NE(atom, 0);
    const int rounds = 150;
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            for (int i = 0; i < rounds; ++i)
                ok = AddAtom(kCancel) == atom && AddAtom("other") != 0 && DeleteAtom(FindAtom("other")) == 0 && ok;
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(FindAtom("other"), 0);
    int references = 0;
    while (FindAtom(kCancel) == atom && references <= 2 * rounds + 1) {
        ASSERT_EQ(DeleteAtom(atom), 0);
        ++references;
    }
    EXPECT_EQ(references, 2 * rounds + 1);
}

// Mode and owner of path: -1 when it cannot be looked at.
int ModeOf(const char* path, uid_t& owner)
{
    struct stat info {};
    if (stat(path, &info) != 0)
        return -1;
    owner = info.st_uid;
    return static_cast<int>(info.st_mode & 07777);
}

// Whether nobody can open path at all, from a child that has become nobody.
bool NobodyCannotOpen(const char* path)
{
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(open(path, O_RDONLY | O_CLOEXEC) < 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Anyone who can open the lock can hold it (flock needs no write permission) and so stop
// Cancel from working: on the real machine it is root's alone, in a folder root alone may
// change.
TEST(Atoms, OnTheRealMachineTheLockAndItsFolderAreRootsAlone)
{
    int result = testsupport::RunInRealMachineView([] {
        const char* folder = "/run/vantrel";
        const char* lock = "/run/vantrel/atoms.lock";
        uid_t owner = 1;
        if (AddAtom(kCancel) == 0)
            return 1;
        if (ModeOf(lock, owner) != 0600 || owner != 0)
            return 2;
        if (ModeOf(folder, owner) != 0755 || owner != 0)
            return 3;
        if (!NobodyCannotOpen(lock))
            return 4;
        // A lock left by an older version, which anyone could open, becomes root's alone.
        if (chmod(lock, 0644) != 0 || AddAtom(kCancel) == 0 || ModeOf(lock, owner) != 0600)
            return 5;
        // A folder others may write, or of another owner, is not used.
        if (chmod(folder, 0777) != 0 || AddAtom("other") != 0 || DeleteAtom(FindAtom(kCancel)) == 0)
            return 6;
        if (chmod(folder, 0755) != 0 || chown(folder, 65534, 65534) != 0 || AddAtom("other") != 0)
            return 7;
        if (chown(folder, 0, 0) != 0 || AddAtom("other") == 0)
            return 8;
        return 0;
    });
    if (result == -1)
        GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(result, 0);
}

}  // namespace
