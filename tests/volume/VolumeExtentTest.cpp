// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/VolumeExtent.h"
#include "tests/support/FakeDriveTree.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace platform;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kSector = 512;

struct stat BlockDevice(unsigned major, unsigned minor)
{
    struct stat info {};
    info.st_mode = S_IFBLK | 0600;
    info.st_rdev = makedev(major, minor);
    return info;
}

// A regular file of size bytes with inode on the device major:minor.
struct stat FileOn(unsigned major, unsigned minor, ino_t inode, std::uint64_t size)
{
    struct stat info {};
    info.st_mode = S_IFREG | 0600;
    info.st_dev = makedev(major, minor);
    info.st_ino = inode;
    info.st_size = static_cast<off_t>(size);
    return info;
}

struct stat RealFile(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

std::string FileStorage(const struct stat& info)
{
    return "file " + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)) + ":" +
           std::to_string(info.st_ino);
}

class VolumeExtentTest : public ::testing::Test {
protected:
    CVolumeExtent Block(unsigned major, unsigned minor) { return ResolveExtent(BlockDevice(major, minor), Sysfs()); }
    std::string Sysfs() const { return m_tree.Sources().sysfsRoot; }

    testsupport::CTempMachine m_machine;
    CFakeDriveTree m_tree{m_machine.Path("kernel")};
};

}  // namespace

TEST(VolumeExtent, RangesOverlapOnlyWhenTheyShareAByteOfOneStorage)
{
    auto extent = [](std::string storage, std::uint64_t offset, std::uint64_t length, bool holder = false) {
        return CVolumeExtent{{{std::move(storage), offset, length, holder}}};
    };
    EXPECT_TRUE(Overlaps(extent("block 8:0", 0, 10), extent("block 8:0", 9, 10)));
    EXPECT_TRUE(Overlaps(extent("block 8:0", 9, 10), extent("block 8:0", 0, 10)));
    EXPECT_TRUE(Overlaps(extent("block 8:0", 0, 100), extent("block 8:0", 40, 2)));
    EXPECT_FALSE(Overlaps(extent("block 8:0", 0, 10), extent("block 8:0", 10, 10)));  // adjacent
    EXPECT_FALSE(Overlaps(extent("block 8:0", 10, 10), extent("block 8:0", 0, 10)));
    EXPECT_FALSE(Overlaps(extent("block 8:0", 0, 10), extent("block 8:16", 0, 10)));
    EXPECT_TRUE(Overlaps(extent("file 1:2:3", 0, 0), extent("file 1:2:3", 0, 0)));  // one empty image
    EXPECT_FALSE(Overlaps(extent("file 1:2:3", 5, 0), extent("file 1:2:3", 0, 10)));
    EXPECT_TRUE(Overlaps(extent(kAnyStorage, 0, 1), extent("file 1:2:3", 500, 1)));
    const std::uint64_t end = ~std::uint64_t{0};
    EXPECT_TRUE(Overlaps(extent("block 8:0", end - 1, 1), extent("block 8:0", 0, end)));
    EXPECT_FALSE(Overlaps(extent("block 8:0", 0, end - 1), extent("block 8:0", end - 1, 1)));

    // Two image files of one file system are held by it, not parts of each other.
    CVolumeExtent first{{{"file 8:1:12", 0, 10, false}, {"block 8:0", 1024, 4096, true}}};
    CVolumeExtent second{{{"file 8:1:13", 0, 10, false}, {"block 8:0", 1024, 4096, true}}};
    EXPECT_FALSE(Overlaps(first, second));
    EXPECT_TRUE(Overlaps(first, extent("block 8:0", 0, 2048)));
    EXPECT_FALSE(Overlaps(first, extent("block 8:0", 5120, 2048)));
    EXPECT_TRUE(SameVolume(first, first));
    EXPECT_FALSE(SameVolume(first, second));
    EXPECT_FALSE(SameVolume(extent(kAnyStorage, 0, 1), extent(kAnyStorage, 0, 1)));
}

TEST_F(VolumeExtentTest, APartitionIsItsRangeOfTheWholeDisk)
{
    m_tree.AddDisk("sda", "8:0", 100 * kMiB);
    m_tree.AddPartition("sda", "sda1", 1, "8:1", 10 * kMiB, 2048);
    m_tree.AddPartition("sda", "sda2", 2, "8:2", 20 * kMiB, 2048 + 10 * kMiB / kSector);

    CVolumeExtent disk = Block(8, 0), first = Block(8, 1), second = Block(8, 2);
    EXPECT_EQ(disk, (CVolumeExtent{{{"block 8:0", 0, 100 * kMiB, false}}}));
    EXPECT_EQ(first, (CVolumeExtent{{{"block 8:0", kMiB, 10 * kMiB, false}}}));
    EXPECT_EQ(second, (CVolumeExtent{{{"block 8:0", 11 * kMiB, 20 * kMiB, false}}}));
    EXPECT_TRUE(Overlaps(first, disk));
    EXPECT_TRUE(Overlaps(disk, second));
    EXPECT_FALSE(Overlaps(first, second));  // adjacent partitions
    EXPECT_TRUE(SameVolume(first, Block(8, 1)));
    EXPECT_FALSE(SameVolume(first, disk));
}

TEST_F(VolumeExtentTest, LoopDevicesResolveToTheBytesOfTheirBackingFile)
{
    std::string image = m_machine.MakeImage("disk.img", 4 * kMiB);
    std::string other = m_machine.MakeImage("other.img", 4 * kMiB);
    m_tree.AddLoop("loop0", "7:0", image, kMiB, kMiB);       // [1 MiB, 2 MiB)
    m_tree.AddLoop("loop1", "7:1", image, 2 * kMiB, kMiB);   // [2 MiB, 3 MiB), adjacent
    m_tree.AddLoop("loop2", "7:2", image, 0, 4 * kMiB);      // the whole image
    m_tree.AddLoop("loop3", "7:3", other, 0, 4 * kMiB);
    // A partition table on loop2: loop2p1 is sectors 2048 to 4095 of it.
    m_tree.AddPartition("loop2", "loop2p1", 1, "259:0", kMiB, 2048);

    struct stat imageInfo = RealFile(image);
    CVolumeExtent region = Block(7, 0), adjacent = Block(7, 1), whole = Block(7, 2);
    EXPECT_EQ(region.ranges.front(), (CStorageRange{FileStorage(imageInfo), kMiB, kMiB, false}));
    EXPECT_FALSE(Overlaps(region, adjacent));
    EXPECT_TRUE(Overlaps(region, whole));
    EXPECT_TRUE(Overlaps(adjacent, whole));
    EXPECT_TRUE(Overlaps(whole, ResolveExtent(imageInfo, Sysfs())));  // a loop over a lettered image
    EXPECT_FALSE(Overlaps(whole, Block(7, 3)));
    EXPECT_FALSE(Overlaps(whole, ResolveExtent(RealFile(other), Sysfs())));

    CVolumeExtent partition = Block(259, 0);
    EXPECT_EQ(partition.ranges.front(), (CStorageRange{FileStorage(imageInfo), kMiB, kMiB, false}));
    EXPECT_TRUE(SameVolume(partition, region));
    EXPECT_FALSE(Overlaps(partition, adjacent));
}

TEST_F(VolumeExtentTest, AnImageFileLiesSomewhereOnTheDeviceOfItsFileSystem)
{
    m_tree.AddDisk("sda", "8:0", 100 * kMiB);
    m_tree.AddPartition("sda", "sda1", 1, "8:1", 50 * kMiB, 2048);
    m_tree.AddPartition("sda", "sda2", 2, "8:2", 40 * kMiB, 2048 + 50 * kMiB / kSector);
    CVolumeExtent image = ResolveExtent(FileOn(8, 1, 12, 8 * kMiB), Sysfs());
    CVolumeExtent otherImage = ResolveExtent(FileOn(8, 1, 13, 8 * kMiB), Sysfs());

    EXPECT_TRUE(Overlaps(image, Block(8, 1)));
    EXPECT_TRUE(Overlaps(image, Block(8, 0)));
    EXPECT_FALSE(Overlaps(image, Block(8, 2)));
    EXPECT_FALSE(Overlaps(image, otherImage));
    EXPECT_TRUE(Overlaps(image, ResolveExtent(FileOn(8, 1, 12, 8 * kMiB), Sysfs())));
    // A file system the kernel keeps no block device for (tmpfs, FUSE) holds nothing else.
    EXPECT_EQ(ResolveExtent(FileOn(0, 44, 7, 10), Sysfs()), (CVolumeExtent{{{"file 0:44:7", 0, 10, false}}}));
}

TEST_F(VolumeExtentTest, StackedDevicesCoverEveryDeviceBelowThem)
{
    m_tree.AddDisk("sda", "8:0", 100 * kMiB);
    m_tree.AddPartition("sda", "sda1", 1, "8:1", 10 * kMiB, 2048);
    m_tree.AddPartition("sda", "sda2", 2, "8:2", 10 * kMiB, 2048 + 10 * kMiB / kSector);
    m_tree.AddPartition("sda", "sda3", 3, "8:3", 10 * kMiB, 2048 + 20 * kMiB / kSector);
    m_tree.AddDisk("sdb", "8:16", 100 * kMiB);
    m_tree.AddStacked("md0", "9:0", 10 * kMiB, {"sda1", "sdb"});  // a mirror
    m_tree.AddStacked("dm-0", "253:0", kMiB, {"sda2"});           // a part of sda2 somewhere
    m_tree.AddStacked("dm-1", "253:1", 20 * kMiB, {"md0"});       // a volume on the mirror
    m_tree.AddStacked("dm-2", "253:2", kMiB, {"sdz9"});           // its device is not in sysfs

    EXPECT_TRUE(Overlaps(Block(9, 0), Block(8, 1)));
    EXPECT_TRUE(Overlaps(Block(9, 0), Block(8, 16)));
    EXPECT_FALSE(Overlaps(Block(9, 0), Block(8, 2)));
    EXPECT_TRUE(Overlaps(Block(253, 0), Block(8, 2)));
    EXPECT_FALSE(Overlaps(Block(253, 0), Block(8, 3)));
    EXPECT_TRUE(Overlaps(Block(253, 1), Block(8, 16)));
    EXPECT_FALSE(Overlaps(Block(253, 1), Block(253, 0)));
    // A device below that cannot be looked up, or a device unknown to sysfs, may be anywhere.
    EXPECT_TRUE(Overlaps(Block(253, 2), Block(8, 3)));
    EXPECT_TRUE(Overlaps(Block(8, 99), ResolveExtent(FileOn(0, 44, 7, 10), Sysfs())));
}

TEST_F(VolumeExtentTest, ALoopWhoseBackingFileIsGoneMayOverlapAnything)
{
    std::string image = m_machine.MakeImage("gone.img", kMiB);
    m_tree.AddLoop("loop0", "7:0", image + " (deleted)", 0, kMiB);
    m_tree.AddLoop("loop1", "7:1", m_machine.Path("never.img"), 0, kMiB);
    m_tree.AddDisk("sda", "8:0", kMiB);

    EXPECT_TRUE(Overlaps(Block(7, 0), Block(8, 0)));
    EXPECT_TRUE(Overlaps(Block(7, 1), Block(8, 0)));
}
