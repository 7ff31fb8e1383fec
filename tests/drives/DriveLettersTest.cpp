// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace platform;

namespace {

void ExpectOneLineError(bool result, const std::string& error)
{
    EXPECT_FALSE(result);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

void StoreRaw(const std::string& name, const std::string& data)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "SYSTEM\\MountedDevices", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, name, data), RegStatus::Ok);
}

}  // namespace

TEST(DriveLetters, AssignStoresTheAbsolutePathUnderTheDosDevicesNameWithoutResolvingLinks)
{
    testsupport::CTempMachine machine;
    machine.MakeImage("x.img", 4096);
    std::filesystem::create_directory_symlink(machine.Root(), machine.Path("by-id"));
    std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(machine.Root());

    std::string error;
    bool assigned = AssignDriveLetter('x', "by-id/./x.img", error);
    std::filesystem::current_path(previous);
    ASSERT_TRUE(assigned) << error;

    EXPECT_EQ(DriveDevice('X')->path, machine.Path("by-id/x.img"));
    EXPECT_EQ(DriveDevice('x')->path, machine.Path("by-id/x.img"));
    EXPECT_EQ(DriveLetters(), (std::map<char, std::string>{{'X', machine.Path("by-id/x.img")}}));
    CRegKey key;
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "SYSTEM\\MountedDevices", RegAccess::Read, key), RegStatus::Ok);
    RegValue value;
    ASSERT_EQ(key.Query("\\DosDevices\\X:", value), RegStatus::Ok);
    EXPECT_EQ(value.type, kRegSz);
}

TEST(DriveLetters, BadAssignmentsAreRefusedWithAReasonAndChangeNothing)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("c.img", 4096);
    std::string other = machine.MakeImage("d.img", 4096);
    std::filesystem::create_symlink(image, machine.Path("alias.img"));
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('C', image, error)) << error;
    auto before = DriveLetters();

    for (char letter : {'1', '[', '@', ' ', '\0'}) {
        error.clear();
        ExpectOneLineError(AssignDriveLetter(letter, other, error), error);
    }
    // A taken letter, a missing file and a folder are tried through vantrel-mountvol.
    error.clear();
    ExpectOneLineError(AssignDriveLetter('D', "/dev/null", error), error);  // a character device
    error.clear();
    ExpectOneLineError(AssignDriveLetter('D', "", error), error);
    error.clear();
    ExpectOneLineError(AssignDriveLetter('D', machine.Path("alias.img"), error), error);  // C: already
    EXPECT_NE(error.find("C:"), std::string::npos) << error;

    EXPECT_EQ(DriveLetters(), before);
}

TEST(DriveLetters, RemoveFreesTheLetterAndRefusesOneNotAssigned)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("e.img", 4096);
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('E', image, error)) << error;

    ExpectOneLineError(RemoveDriveLetter('F', error), error);
    error.clear();
    ExpectOneLineError(RemoveDriveLetter('#', error), error);
    EXPECT_TRUE(RemoveDriveLetter('e', error)) << error;
    EXPECT_EQ(DriveDevice('E'), std::nullopt);
    EXPECT_TRUE(DriveLetters().empty());
    EXPECT_TRUE(AssignDriveLetter('F', image, error)) << error;  // the file is free again
}

TEST(DriveLetters, TableWrittenByHandIsReadLikeTheSystemWritesIt)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("g.img", 4096);
    StoreRaw("\\dosdevices\\g:", image);          // another case of the name
    StoreRaw("\\??\\Volume{1234}", "/dev/sda1");   // not a letter
    StoreRaw("\\DosDevices\\H:", "network:server:/export");

    EXPECT_EQ(DriveLetters(), (std::map<char, std::string>{{'G', image}, {'H', "network:server:/export"}}));
    EXPECT_EQ(DriveDevice('G'), (CDriveDevice{image, ""}));  // a table without fingerprints
    EXPECT_EQ(DriveDevice('H'), std::nullopt);  // no raw device behind a network drive
    std::string error;
    EXPECT_TRUE(RemoveDriveLetter('G', error)) << error;
    EXPECT_EQ(DriveLetters().count('G'), 0u);
}
