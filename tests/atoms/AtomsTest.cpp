#include "platform/atoms/Atoms.h"

#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

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

}  // namespace
