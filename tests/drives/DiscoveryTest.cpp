// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/PartitionTable.h"
#include "tests/support/FakeDriveTree.h"
#include "tests/support/TempMachine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

std::map<char, std::string> Letters(const CDriveView& view)
{
    std::map<char, std::string> letters;
    for (const auto& drive : view.drives)
        letters[drive.letter] = drive.device;
    return letters;
}

// Three partitions known by partition UUID; "/" on the second.
void AddTwoDisks(CFakeDriveTree& tree, const std::string& first, const std::string& second,
                 const std::string& uuid1, const std::string& uuid2, const std::string& uuid3)
{
    tree.AddDisk(first, "8:0", 100 * kGiB);
    tree.AddPartition(first, first + "1", 1, "8:1", 1 * kGiB);
    tree.AddPartition(first, first + "2", 2, "8:2", 99 * kGiB);
    tree.AddDisk(second, "8:16", 50 * kGiB);
    tree.AddPartition(second, second + "1", 1, "8:17", 50 * kGiB);
    tree.AddLink("by-partuuid", uuid1, first + "1");
    tree.AddLink("by-partuuid", uuid2, first + "2");
    tree.AddLink("by-partuuid", uuid3, second + "1");
}

}  // namespace

TEST(Discovery, FirstLookGivesLettersFromCWithTheRootDriveFirstAndTypesFromSysfs)
{
    testsupport::CTempMachine machine;
    CFakeDriveTree tree(machine.Path("kernel"));
    tree.AddDisk("fd0", "2:0", 1474560, true);
    tree.AddDisk("loop0", "7:0", 0);  // an unused loop device
    tree.AddDisk("nvme0n1", "259:0", 200 * kGiB);
    tree.AddPartition("nvme0n1", "nvme0n1p1", 1, "259:1", kGiB / 2);
    tree.AddPartition("nvme0n1", "nvme0n1p2", 2, "259:2", 100 * kGiB);
    tree.AddDisk("sda", "8:0", kGiB);  // a whole disk holding a file system
    tree.AddDisk("sdb", "8:16", 0, true);  // a card reader without a card
    tree.AddDisk("sdc", "8:32", kGiB);  // an empty partition table
    {
        std::ofstream node(tree.Node("sdc"), std::ios::binary);
        std::string sector(512, '\0');
        sector[510] = '\x55';
        sector[511] = '\xaa';
        node << sector << std::string(1 << 16, '\0');
    }
    tree.AddDisk("sr0", "11:0", 0, true, "5");
    tree.AddDisk("zram0", "252:0", 4 * kGiB);
    tree.AddLink("by-partuuid", "1111-01", "nvme0n1p1");
    tree.AddLink("by-partuuid", "1111-02", "nvme0n1p2");
    tree.AddLink("by-id", "nvme-Disk_1-part2", "nvme0n1p2");
    tree.AddLink("by-id", "ata-Disk_2", "sda");
    tree.AddLink("by-id", "usb-Card_Reader", "sdb");
    tree.Mount("259:2", "/dev/nvme0n1p2", "/", "ext4");
    tree.Mount("0:22", "tmpfs", "/run", "tmpfs");

    CDriveView view = DiscoverDrives(tree.Sources());

    std::string dev = machine.Path("kernel/dev/");
    std::map<char, std::string> expected = {
        {'A', dev + "fd0"},
        {'C', dev + "disk/by-partuuid/1111-02"},
        {'D', dev + "disk/by-partuuid/1111-01"},
        {'E', dev + "disk/by-id/ata-Disk_2"},
        {'F', dev + "disk/by-id/usb-Card_Reader"},
        {'G', dev + "sr0"},
        {'H', dev + "zram0"},
    };
    EXPECT_EQ(Letters(view), expected);
    EXPECT_EQ(LoadLetterTable().devices, expected);
    EXPECT_EQ(view.systemDrive, 'C');

    std::map<char, unsigned> types;
    for (const auto& drive : view.drives) {
        EXPECT_TRUE(drive.present) << drive.letter;
        types[drive.letter] = drive.type;
    }
    std::map<char, unsigned> expectedTypes = {{'A', kDriveRemovable}, {'C', kDriveFixed}, {'D', kDriveFixed},
                                              {'E', kDriveFixed},     {'F', kDriveRemovable}, {'G', kDriveCdrom},
                                              {'H', kDriveRamdisk}};
    EXPECT_EQ(types, expectedTypes);
    EXPECT_EQ(view.Find('C')->size, 100 * kGiB);
    EXPECT_EQ(view.Find('C')->mountPoint, "/");
    EXPECT_EQ(view.Find('D')->mountPoint, "");
}

TEST(Discovery, LettersStayWithTheirPartitionsAcrossRunsNewDevicesAndChangedDiskOrder)
{
    testsupport::CTempMachine machine;
    std::map<char, std::string> firstBoot;
    {
        CFakeDriveTree tree(machine.Path("boot1"));
        AddTwoDisks(tree, "sda", "sdb", "aaaa-01", "aaaa-02", "bbbb-01");
        tree.Mount("8:2", "/dev/sda2", "/", "ext4");
        firstBoot = Letters(DiscoverDrives(tree.Sources()));
        EXPECT_EQ(Letters(DiscoverDrives(tree.Sources())), firstBoot);
    }
    std::string boot1 = machine.Path("boot1/dev/disk/by-partuuid/");
    ASSERT_EQ(firstBoot, (std::map<char, std::string>{
                             {'C', boot1 + "aaaa-02"}, {'D', boot1 + "aaaa-01"}, {'E', boot1 + "bbbb-01"}}));

    // The next boot names the disks the other way round and finds a new partition that
    // sorts first; the old partitions keep their letters by partition UUID.
    std::filesystem::remove_all(machine.Path("boot1"));
    std::filesystem::create_directories(machine.Path("boot1"));
    CFakeDriveTree tree(machine.Path("boot1"));
    AddTwoDisks(tree, "sdb", "sda", "aaaa-01", "aaaa-02", "bbbb-01");
    tree.AddPartition("sda", "sda2", 2, "8:18", kGiB);
    tree.AddLink("by-partuuid", "cccc-02", "sda2");
    tree.Mount("8:18", "/dev/sda2", "/mnt", "vfat");

    auto secondBoot = Letters(DiscoverDrives(tree.Sources()));
    auto expected = firstBoot;
    expected['F'] = boot1 + "cccc-02";
    EXPECT_EQ(secondBoot, expected);
    EXPECT_EQ(Letters(DiscoverDrives(tree.Sources())), expected);
}

TEST(Discovery, AVanishedDeviceKeepsItsLetterReservedUntilItComesBack)
{
    testsupport::CTempMachine machine;
    CFakeDriveTree tree(machine.Path("kernel"));
    tree.AddDisk("sda", "8:0", 10 * kGiB);
    tree.AddPartition("sda", "sda1", 1, "8:1", 10 * kGiB);
    tree.AddDisk("sdb", "8:16", 8 * kGiB, true);
    tree.AddPartition("sdb", "sdb1", 1, "8:17", 8 * kGiB);
    tree.AddLink("by-partuuid", "stick-01", "sdb1");
    ASSERT_EQ(DiscoverDrives(tree.Sources()).Find('D')->device, machine.Path("kernel/dev/disk/by-partuuid/stick-01"));

    tree.Remove("sdb1");
    tree.Remove("sdb");
    tree.AddDisk("sdc", "8:32", 2 * kGiB, true);
    tree.AddPartition("sdc", "sdc1", 1, "8:33", 2 * kGiB);
    CDriveView away = DiscoverDrives(tree.Sources());
    ASSERT_NE(away.Find('D'), nullptr);
    EXPECT_FALSE(away.Find('D')->present);
    EXPECT_EQ(away.Find('D')->type, kDriveNoRootDir);
    EXPECT_EQ(away.Find('E')->device, tree.Node("sdc1"));

    // Plugged in again under another kernel name.
    tree.AddDisk("sdd", "8:48", 8 * kGiB, true);
    tree.AddPartition("sdd", "sdd1", 1, "8:49", 8 * kGiB);
    tree.AddLink("by-partuuid", "stick-01", "sdd1");
    CDriveView back = DiscoverDrives(tree.Sources());
    EXPECT_TRUE(back.Find('D')->present);
    EXPECT_EQ(back.Find('D')->type, kDriveRemovable);
    EXPECT_EQ(back.drives.size(), 3u);
}

TEST(Discovery, NetworkMountsAreRemoteDrivesWithoutARawDevice)
{
    testsupport::CTempMachine machine;
    CFakeDriveTree tree(machine.Path("kernel"));
    tree.AddDisk("vda", "254:0", 20 * kGiB);
    tree.Mount("254:0", "/dev/vda", "/", "ext4");
    std::filesystem::create_directories(machine.Path("share"));
    tree.Mount("0:50", "server:/export", machine.Path("share"), "nfs4");
    tree.Mount("0:51", "//nas/music", machine.Path("share"), "cifs");

    CDriveView view = DiscoverDrives(tree.Sources());
    ASSERT_EQ(view.drives.size(), 3u);
    EXPECT_EQ(view.systemDrive, 'C');
    EXPECT_EQ(view.Find('D')->device, "network:server:/export");
    EXPECT_EQ(view.Find('D')->type, kDriveRemote);
    EXPECT_GT(view.Find('D')->size, 0u);  // the file system's size at the mount point
    EXPECT_EQ(view.Find('E')->device, "network://nas/music");
    EXPECT_EQ(DriveDevice('D'), std::nullopt);
    EXPECT_EQ(DriveLetters().at('D'), "network:server:/export");

    tree.UnmountAll();
    CDriveView unmounted = DiscoverDrives(tree.Sources());
    EXPECT_FALSE(unmounted.Find('D')->present);
    EXPECT_FALSE(unmounted.Find('E')->present);
}

TEST(Discovery, RootFoundBySourceWhenTheFileSystemReportsAnotherDeviceNumber)
{
    testsupport::CTempMachine machine;
    CFakeDriveTree tree(machine.Path("kernel"));
    tree.AddDisk("sda", "8:0", 10 * kGiB);
    tree.AddPartition("sda", "sda1", 1, "8:1", kGiB);
    tree.AddPartition("sda", "sda2", 2, "8:2", 9 * kGiB);
    tree.Mount("0:33", tree.Node("sda2"), "/", "btrfs");  // btrfs reports an anonymous number

    CDriveView view = DiscoverDrives(tree.Sources());
    EXPECT_EQ(view.systemDrive, 'C');
    EXPECT_EQ(view.Find('C')->device, tree.Node("sda2"));
    EXPECT_EQ(view.Find('C')->mountPoint, "/");
}

// A stick formatted as a whole (no partition table) is one volume and gets a letter; the
// boot sector of FAT or NTFS must not pass for an empty partition table.
TEST(Discovery, OnlyARealPartitionTableHidesAWholeDisk)
{
    testsupport::CTempMachine machine;
    std::string mbr = machine.MakeImage("mbr.img", 1 << 20);
    {
        std::fstream image(mbr, std::ios::in | std::ios::out | std::ios::binary);
        image.seekp(510);
        image.write("\x55\xaa", 2);
    }
    EXPECT_TRUE(HasPartitionTable(mbr));
    EXPECT_FALSE(HasPartitionTable(machine.MakeImage("zeros.img", 1 << 20)));
    EXPECT_FALSE(HasPartitionTable(machine.Path("missing.img")));

    std::string fat = machine.MakeImage("fat.img", 40 << 20);
    std::string ntfs = machine.MakeImage("ntfs.img", 16 << 20);
    if (std::system(("mkfs.fat -F 32 '" + fat + "' >/dev/null 2>&1").c_str()) != 0 ||
        std::system(("mkntfs -F -Q '" + ntfs + "' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "mkfs.fat or mkntfs missing";
    EXPECT_FALSE(HasPartitionTable(fat));
    EXPECT_FALSE(HasPartitionTable(ntfs));
}
