// SPDX-License-Identifier: GPL-3.0-or-later
// A program that holds a snapshot of the letter table reads the store once: every look-up
// in the meantime, however the store changes, answers from that one table.
#include "platform/drives/DriveLetters.h"
#include "platform/drives/LetterTableSnapshot.h"
#include "tests/support/TempMachine.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace platform;

TEST(LetterTableSnapshot, LookUpsAnswerFromTheTableReadOnceUntilTheSnapshotEnds)
{
    testsupport::CTempMachine machine;
    machine.MakeImage("x.img", 4096);
    machine.MakeImage("y.img", 4096);
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('X', machine.Path("x.img"), error)) << error;
    {
        CLetterTableSnapshot snapshot;
        ASSERT_TRUE(RemoveDriveLetter('X', error)) << error;
        ASSERT_TRUE(AssignDriveLetter('Y', machine.Path("y.img"), error)) << error;
        EXPECT_EQ(StoredDriveDevice('X')->path, machine.Path("x.img"));
        EXPECT_FALSE(StoredDriveDevice('Y'));
        {
            CLetterTableSnapshot inner;
            EXPECT_EQ(StoredDriveDevice('x')->path, machine.Path("x.img"));
        }
        // A store damaged meanwhile is not read again either.
        std::ofstream(machine.Path("hklm.db"), std::ios::trunc) << "not a registry";
        EXPECT_EQ(StoredDriveDevice('X')->path, machine.Path("x.img"));
        EXPECT_FALSE(LetterTableError());
    }
    EXPECT_FALSE(StoredDriveDevice('X'));
    EXPECT_TRUE(LetterTableError());
}

TEST(LetterTableSnapshot, ATableThatCouldNotBeReadStaysUnreadableForTheRun)
{
    testsupport::CTempMachine machine;
    std::ofstream(machine.Path("hklm.db")) << "not a registry";
    CLetterTableSnapshot snapshot;
    std::filesystem::remove(machine.Path("hklm.db"));
    EXPECT_TRUE(LetterTableError());
    EXPECT_FALSE(StoredDriveDevice('C'));
}
