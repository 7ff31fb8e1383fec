// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "platform/volume/RawVolume.h"
#include "platform/volume/VolumeShape.h"
#include "platform/volume/VolumeUse.h"
#include "tests/support/KernelMount.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/MbrDisk.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

using namespace platform;
using testsupport::CKernelMount;
using testsupport::CLoopDevice;
using testsupport::CLoopOptions;

// A volume is what is over it too: an image or partition that a mounted loop device
// stands for is no destination, a loop device over a destination cannot be mounted while
// the clone holds it, and a whole disk that holds partitions (or an extended partition's
// container) is never written as one volume.
namespace {

constexpr std::size_t kMiB = 1 << 20;

class LoopUseTest : public ::testing::Test {
protected:
    // An ext4 image of 8 MiB, or nothing (the test then skips).
    std::string Ext4Image(const std::string& name)
    {
        std::string image = m_machine.MakeImage(name, 8 * kMiB);
        if (!testsupport::MakeExt4(m_machine, image)) {
            m_skip = "mkfs.ext4 cannot be run here";
            return {};
        }
        return image;
    }
    std::unique_ptr<CLoopDevice> Loop(const std::string& backing, CLoopOptions options = {})
    {
        auto loop = std::make_unique<CLoopDevice>(backing, options);
        if (!loop->IsAttached()) {
            m_skip = loop->Error();
            return nullptr;
        }
        return loop;
    }
    void Assign(char letter, const std::string& path)
    {
        std::string error;
        ASSERT_TRUE(AssignDriveLetter(letter, path, error)) << error;
    }
    // errno after an open of letter for writing that must fail.
    static int RefusedWrite(char letter)
    {
        errno = 0;
        std::unique_ptr<IVolume> volume =
            RawVolumes().Open(RawVolumeName(std::string(1, letter) + ":"), VolumeAccess::Write);
        return volume ? 0 : errno;
    }

    testsupport::CTempMachine m_machine;
    std::string m_mountPoint = m_machine.Path("mnt");
    std::string m_skip;
};

}  // namespace

// Of the uses of a volume, the one told is what may change it: a read-write mount before a
// read-only one (a bind mount that only reads, another loop device), then any mount.
TEST(VolumeUseToTell, AReadWriteMountIsToldBeforeAReadOnlyOneAndAMountBeforeAHolder)
{
    const CVolumeUse held{"", "", false, {"dm-0"}, false};
    const CVolumeUse readOnly{"/dev/loop3", "/srv/view", true, {}, false};
    const CVolumeUse writable{"/dev/loop4", "/srv/data", false, {}, false};
    EXPECT_EQ(UseToTell({held, readOnly, writable}), writable);
    EXPECT_EQ(UseToTell({held, readOnly}), readOnly);
    EXPECT_EQ(UseToTell({held}), held);
}

TEST_F(LoopUseTest, AnImageMountedThroughALoopDeviceOrAChainOfThemIsNoDestination)
{
    std::string image = Ext4Image("ext4.img");
    auto loop = image.empty() ? nullptr : Loop(image);
    if (!loop)
        GTEST_SKIP() << m_skip;
    auto upper = Loop(loop->Path());  // a loop device over the first one
    ASSERT_TRUE(upper) << m_skip;
    Assign('Y', image);
    Assign('L', loop->Path());

    for (const CLoopDevice* mounted : {loop.get(), upper.get()}) {
        CKernelMount mount(mounted->Path(), m_mountPoint, "ext4");
        if (!mount.Mounted())
            GTEST_SKIP() << mount.Error();
        const std::string before = ReadWholeFile(image).value_or("");

        EXPECT_EQ(RefusedWrite('Y'), EBUSY) << mounted->Path();
        EXPECT_EQ(VolumeUses(image, MachineSources()),
                  std::vector<CVolumeUse>({{mounted->Path(), m_mountPoint, false, {}, false}}));
        EXPECT_EQ(DescribeUse(VolumeUses(image, MachineSources()).front()),
                  "mounted on " + m_mountPoint + " through " + mounted->Path());
        // The loop device under the mounted one is the same bytes.
        if (mounted == upper.get()) {
            EXPECT_EQ(RefusedWrite('L'), EBUSY);
        }
        EXPECT_TRUE(ReadWholeFile(image) == before) << "the mounted image was written";
        // Reading it stays possible: Vantrel copies a mounted source, with a warning.
        EXPECT_NE(RawVolumes().Open(RawVolumeName("Y:"), VolumeAccess::Read), nullptr);
    }
    EXPECT_EQ(VolumeUses(image, MachineSources()), std::vector<CVolumeUse>());
}

// sysfs names a loop device's file by the path it was attached through: another name of
// the image, since removed, must not hide it.
TEST_F(LoopUseTest, ALoopDeviceAttachedThroughARemovedNameOfTheImageCounts)
{
    std::string image = Ext4Image("ext4.img");
    if (image.empty())
        GTEST_SKIP() << m_skip;
    const std::string otherName = m_machine.Path("other-name.img");
    ASSERT_EQ(link(image.c_str(), otherName.c_str()), 0);
    auto loop = Loop(otherName);
    if (!loop)
        GTEST_SKIP() << m_skip;
    ASSERT_EQ(unlink(otherName.c_str()), 0);
    CKernelMount mount(loop->Path(), m_mountPoint, "ext4");
    if (!mount.Mounted())
        GTEST_SKIP() << mount.Error();
    Assign('Y', image);
    EXPECT_EQ(RefusedWrite('Y'), EBUSY);
    EXPECT_EQ(VolumeUses(image, MachineSources()).size(), 1u);
}

TEST_F(LoopUseTest, NoOneCanMountALoopDeviceOverTheDestinationWhileTheCloneHoldsIt)
{
    std::string image = Ext4Image("ext4.img");
    auto loop = image.empty() ? nullptr : Loop(image);
    if (!loop)
        GTEST_SKIP() << m_skip;
    if (CKernelMount first(loop->Path(), m_mountPoint, "ext4"); !first.Mounted())
        GTEST_SKIP() << first.Error();
    Assign('Y', image);

    auto destination = RawVolumes().Open(RawVolumeName("Y:"), VolumeAccess::Write);
    ASSERT_NE(destination, nullptr) << "an unmounted loop device over the image does not stop a clone";
    EXPECT_FALSE(CKernelMount(loop->Path(), m_mountPoint, "ext4").Mounted());
    // The clone's source may be read through the same loop device meanwhile.
    EXPECT_NE(RawVolumes().Open(RawVolumeName("Y:"), VolumeAccess::Read), nullptr);
    destination.reset();
    EXPECT_TRUE(CKernelMount(loop->Path(), m_mountPoint, "ext4").Mounted());

    // A loop device attached after the open is not held: it fails the flush that comes
    // before "Done", mounted or not, since a file system mounted through it and unmounted
    // again has written its superblock into the copy.
    loop.reset();
    destination = RawVolumes().Open(RawVolumeName("Y:"), VolumeAccess::Write);
    ASSERT_NE(destination, nullptr);
    ASSERT_TRUE(destination->Flush());
    auto late = Loop(image);
    ASSERT_TRUE(late) << m_skip;
    {
        CKernelMount mount(late->Path(), m_mountPoint, "ext4");
        ASSERT_TRUE(mount.Mounted()) << mount.Error();
        EXPECT_FALSE(destination->Flush());
        EXPECT_EQ(destination->LastError(), EBUSY);
    }
    EXPECT_FALSE(destination->Flush()) << "a loop device unmounted again is taken for unused";
    EXPECT_EQ(destination->LastError(), EBUSY);
}

TEST_F(LoopUseTest, AWholeDiskThatHoldsPartitionsAndAnExtendedContainerAreNoDestination)
{
    std::string why;
    auto disk = testsupport::AttachMbrDisk(m_machine.Path("disk.img"), why);
    if (!disk)
        GTEST_SKIP() << why;
    const std::string first = disk->PartitionPath(1), container = disk->PartitionPath(2),
                      logical = disk->PartitionPath(5);
    EXPECT_EQ(WholeDiskRefusal(disk->Path()),
              disk->Path() + " is a whole disk that holds the partitions " + first + ", " + container + " and " +
                  logical);
    EXPECT_EQ(WholeDiskRefusal(container), container + " is the container of an extended partition, which holds " +
                                               logical);
    EXPECT_EQ(WholeDiskRefusal(first), std::nullopt);
    EXPECT_EQ(WholeDiskRefusal(logical), std::nullopt);
    EXPECT_EQ(WholeDiskRefusal(m_machine.Path("disk.img")), std::nullopt) << "an image stands for a partition";

    const std::string before = ReadWholeFile(m_machine.Path("disk.img")).value_or("");
    Assign('D', disk->Path());
    Assign('E', container);
    Assign('P', logical);
    EXPECT_EQ(RefusedWrite('D'), EBUSY);
    EXPECT_EQ(RefusedWrite('E'), EBUSY);
    EXPECT_NE(RawVolumes().Open(RawVolumeName("P:"), VolumeAccess::Write), nullptr);
    EXPECT_TRUE(ReadWholeFile(m_machine.Path("disk.img")) == before);
}

TEST_F(LoopUseTest, ALetteredWholeDiskThatGainsAPartitionTableIsNoLongerADestination)
{
    // A whole disk holding a file system (a FAT boot sector ends like a partition table)
    // is a volume like any other.
    std::string image = m_machine.MakeImage("disk.img", 8 * kMiB);
    if (testsupport::RunTool(m_machine, "mkfs.vfat", {image}).exitCode != 0)
        GTEST_SKIP() << "mkfs.vfat cannot be run here";
    auto disk = Loop(image);
    if (!disk)
        GTEST_SKIP() << m_skip;
    Assign('O', disk->Path());
    EXPECT_EQ(WholeDiskRefusal(disk->Path()), std::nullopt);
    ASSERT_NE(RawVolumes().Open(RawVolumeName("O:"), VolumeAccess::Write), nullptr);

    // Through the device, as a partitioning tool writes it; the kernel lists no partition.
    testsupport::WriteMbr(disk->Path(), {{0x83, 2048, 4096}, {0x07, 6144, 4096}}, {});
    EXPECT_EQ(WholeDiskRefusal(disk->Path()),
              disk->Path() + " is a whole disk that holds a partition table (dos) with the partitions 1 and 2");
    EXPECT_EQ(RefusedWrite('O'), EBUSY);

    // The protective MBR of a GPT disk whose headers were lost: its partitions are there.
    testsupport::WriteMbr(disk->Path(), {{0xEE, 1, 8 * kMiB / 512 - 1}}, {});
    EXPECT_EQ(WholeDiskRefusal(disk->Path()), disk->Path() + " is a whole disk that holds a partition table (PMBR)");
    EXPECT_EQ(RefusedWrite('O'), EBUSY);
}
