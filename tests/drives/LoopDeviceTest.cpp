// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/MachineDrives.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/TempMachine.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace platform;
using testsupport::CLoopDevice;

namespace {

std::optional<char> LetterOf(const CDriveView& view, const std::string& device)
{
    for (const auto& drive : view.drives)
        if (drive.present && std::filesystem::canonical(drive.device) == std::filesystem::canonical(device))
            return drive.letter;
    return std::nullopt;
}

}  // namespace

TEST(LoopDevice, AnAssignedLoopDeviceIsAFixedDriveOfTheImagesSize)
{
    testsupport::CTempMachine machine;
    CLoopDevice loop(machine.MakeImage("disk.img", 8 * 1024 * 1024));
    if (!loop.IsAttached())
        GTEST_SKIP() << loop.Error();

    std::string error;
    ASSERT_TRUE(AssignDriveLetter('L', loop.Path(), error)) << error;
    IDriveTable& drives = MachineDrives();
    EXPECT_EQ(drives.GetDriveType("L:\\"), kDriveFixed);
    std::uint64_t freeToCaller = 7, total = 7, totalFree = 7;
    ASSERT_TRUE(drives.GetDiskFreeSpaceEx("L:", freeToCaller, total, totalFree));
    EXPECT_EQ(total, 8u * 1024 * 1024);
    EXPECT_EQ(freeToCaller, 0u);
}

// Discovery reads this machine's own sysfs and /dev here (with no disk but the test's loop
// devices in view), but stores its letters in the temporary machine's registry.
TEST(LoopDevice, DiscoveredLoopDevicesKeepTheirLettersWhenAnotherAppears)
{
    testsupport::CTempMachine machine;
    CLoopDevice first(machine.MakeImage("first.img", 4 * 1024 * 1024));
    if (!first.IsAttached())
        GTEST_SKIP() << first.Error();

    auto letter = LetterOf(DiscoverDrives(testsupport::LoopsOnlyView(machine.Path("sys"), {&first})), first.Path());
    ASSERT_TRUE(letter);
    CLoopDevice second(machine.MakeImage("second.img", 4 * 1024 * 1024));
    ASSERT_TRUE(second.IsAttached()) << second.Error();

    CDriveSources both = testsupport::LoopsOnlyView(machine.Path("sys"), {&first, &second});
    CDriveView view = DiscoverDrives(both);
    EXPECT_EQ(LetterOf(view, first.Path()), letter);
    auto secondLetter = LetterOf(view, second.Path());
    ASSERT_TRUE(secondLetter);
    EXPECT_NE(*secondLetter, *letter);
    EXPECT_EQ(view.Find(*letter)->type, kDriveFixed);
    EXPECT_EQ(view.Find(*letter)->size, 4u * 1024 * 1024);
    EXPECT_EQ(LetterOf(DiscoverDrives(both), second.Path()), secondLetter);
}
