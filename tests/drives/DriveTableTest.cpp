// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/MachineDrives.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/TempMachine.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace platform;

namespace {

void Assign(char letter, const std::string& path)
{
    std::string error;
    ASSERT_TRUE(AssignDriveLetter(letter, path, error)) << error;
}

std::string Strings(std::span<const char> buffer, std::uint32_t length)
{
    return std::string(buffer.data(), length + 1);
}

}  // namespace

TEST(DriveTable, LogicalDriveStringsFollowTheBufferContract)
{
    testsupport::CTempMachine machine;
    IDriveTable& drives = MachineDrives();
    std::array<char, 16> buffer;

    buffer.fill('x');
    EXPECT_EQ(drives.GetLogicalDriveStrings(buffer), 0u);  // no drives: just the final zero
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(drives.GetLogicalDriveStrings(std::span<char>()), 1u);

    Assign('E', machine.MakeImage("e.img", 1024));
    Assign('C', machine.MakeImage("c.img", 1024));
    buffer.fill('x');
    ASSERT_EQ(drives.GetLogicalDriveStrings(buffer), 8u);
    EXPECT_EQ(Strings(buffer, 8), std::string("C:\\\0E:\\\0\0", 9));

    buffer.fill('x');
    EXPECT_EQ(drives.GetLogicalDriveStrings(std::span<char>(buffer.data(), 8)), 9u);  // one short
    EXPECT_EQ(std::string(buffer.data(), 8), "xxxxxxxx");
    EXPECT_EQ(drives.GetLogicalDriveStrings(std::span<char>(buffer.data(), 9)), 8u);
}

TEST(DriveTable, AnImageFileIsAFixedDriveOfItsSizeWithNothingFree)
{
    testsupport::CTempMachine machine;
    Assign('D', machine.MakeImage("d.img", 3 * 1024 * 1024 + 512));
    IDriveTable& drives = MachineDrives();

    EXPECT_EQ(drives.GetDriveType("D:\\"), kDriveFixed);
    EXPECT_EQ(drives.GetDriveType("d:\\"), kDriveFixed);
    EXPECT_EQ(drives.GetDriveType("E:\\"), kDriveNoRootDir);
    EXPECT_EQ(drives.GetDriveType("D"), kDriveNoRootDir);
    EXPECT_EQ(drives.GetDriveType(""), kDriveNoRootDir);

    for (const char* volume : {"D:", "D:\\"}) {
        std::uint64_t freeToCaller = 7, total = 7, totalFree = 7;
        ASSERT_TRUE(drives.GetDiskFreeSpaceEx(volume, freeToCaller, total, totalFree)) << volume;
        EXPECT_EQ(total, 3u * 1024 * 1024 + 512);
        EXPECT_EQ(freeToCaller, 0u);
        EXPECT_EQ(totalFree, 0u);
    }
    std::uint64_t freeToCaller = 7, total = 7, totalFree = 7;
    EXPECT_FALSE(drives.GetDiskFreeSpaceEx("E:", freeToCaller, total, totalFree));
    EXPECT_EQ(freeToCaller + total + totalFree, 21u);  // left as they were
}

TEST(DriveTable, ADisappearedFileKeepsItsLetterButIsNoDrive)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("f.img", 4096);
    Assign('F', image);
    std::filesystem::rename(image, image + ".away");
    IDriveTable& drives = MachineDrives();

    std::array<char, 16> buffer{};
    EXPECT_EQ(drives.GetLogicalDriveStrings(buffer), 0u);
    EXPECT_EQ(drives.GetDriveType("F:\\"), kDriveNoRootDir);
    std::uint64_t freeToCaller = 7, total = 7, totalFree = 7;
    EXPECT_FALSE(drives.GetDiskFreeSpaceEx("F:", freeToCaller, total, totalFree));
    EXPECT_EQ(total, 7u);
    EXPECT_EQ(DriveDevice('F')->path, image);  // still reserved: opening it fails
    std::string error;
    EXPECT_FALSE(AssignDriveLetter('F', machine.MakeImage("g.img", 4096), error));

    std::filesystem::rename(image + ".away", image);
    EXPECT_EQ(drives.GetDriveType("F:\\"), kDriveFixed);
}

TEST(DriveTable, WindowsDirectoryComesFromTheMachinesRegistry)
{
    testsupport::CTempMachine machine;
    IDriveTable& drives = MachineDrives();
    EXPECT_EQ(drives.GetWindowsDirectory(), "C:\\WINDOWS");

    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", key),
              RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, "SystemRoot", "E:\\WINNT"), RegStatus::Ok);
    EXPECT_EQ(drives.GetWindowsDirectory(), "E:\\WINNT");
}

TEST(DriveTable, DetailsNameTheNodeBehindALinkAndTheFileSystemsLabel)
{
    testsupport::CTempMachine machine;
    std::string image = machine.MakeImage("fat.img", 40 << 20);
    if (std::system(("mkfs.fat -F 32 -n OTHERDISK '" + image + "' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "mkfs.fat missing";
    Assign('F', image);
    IDriveTable& drives = MachineDrives();
    CDriveDetails details;
    ASSERT_TRUE(drives.GetDriveDetails("F:", details));
    EXPECT_EQ(details.device, image);
    EXPECT_EQ(details.label, "OTHERDISK");
    EXPECT_EQ(details.mountPoint, "");
    EXPECT_FALSE(drives.GetDriveDetails("G:", details));

    testsupport::CLoopDevice loop(image);
    if (!loop.IsAttached())
        GTEST_SKIP() << loop.Error();
    std::filesystem::create_symlink(loop.Path(), machine.Path("by-id-link"));
    Assign('L', machine.Path("by-id-link"));
    ASSERT_TRUE(drives.GetDriveDetails("L:\\", details));
    EXPECT_EQ(details.device, loop.Path());
    EXPECT_EQ(details.label, "OTHERDISK");
}
