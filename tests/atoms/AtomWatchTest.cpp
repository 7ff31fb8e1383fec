// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atoms/AtomWatch.h"
#include "platform/atoms/Atoms.h"

#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kCancel = "Vantrel 1.1";

TEST(AtomWatch, SeesEveryChangeMadeBeforeItLooks)
{
    testsupport::CTempMachine machine;
    platform::CAtomWatch watch(kCancel);
    EXPECT_FALSE(watch.Present());
    EXPECT_FALSE(watch.Present());

    platform::Atom atom = platform::AddAtom(kCancel);
    EXPECT_TRUE(watch.Present());
    platform::AddAtom("VANTREL 1.1");
    platform::DeleteAtom(atom);
    EXPECT_TRUE(watch.Present()) << "one reference is left";
    platform::DeleteAtom(atom);
    EXPECT_FALSE(watch.Present());

    // Another atom's changes do not make it present.
    platform::AddAtom("Vantrel 1.2");
    EXPECT_FALSE(watch.Present());
}

TEST(AtomWatch, SeesAnAtomAddedByAnotherProcess)
{
    testsupport::CTempMachine machine;
    platform::CAtomWatch watch(kCancel);
    ASSERT_FALSE(watch.Present());

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(platform::AddAtom(kCancel) != 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(watch.Present());
}

}  // namespace
