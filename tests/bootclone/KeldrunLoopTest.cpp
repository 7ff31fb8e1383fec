// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"
#include "clone/CloneTexts.h"
#include "platform/files/FileDescriptor.h"
#include "platform/volume/VolumeShape.h"
#include "tests/bootclone/KeldrunDrivesFixture.h"
#include "tests/support/KernelMount.h"
#include "tests/support/MbrDisk.h"

#include <fcntl.h>

#include <cerrno>
#include <filesystem>
#include <cstring>

// Keldrun and the devices over its partitions: an image mounted, held or claimed through
// a loop device is refused like a mounted partition, and a whole disk that holds
// partitions (or an extended partition's container) is never written; every refusal
// leaves the images as they were.
namespace {

using testsupport::CProgramResult;

constexpr const char* kCannotOpenDestination = "CCreateClone::CloneDrive => Cannot open drive partition to clone to!";

class KeldrunLoopTest : public CKeldrunDrivesFixture {
protected:
    // The clone of X: onto Y: is refused with refusal, before anything is written.
    void ExpectRefused(const std::string& refusal, const std::string& source, const std::string& dest)
    {
        const std::string sourceBytes = platform::ReadWholeFile(source).value_or("");
        const std::string destBytes = platform::ReadWholeFile(dest).value_or("");
        CProgramResult run = Keldrun("X:", "Y:", true);
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_EQ(Status(), refusal + "\n");
        EXPECT_NE(Journal().find("err Keldrun: " + refusal + "\n"), std::string::npos) << Journal();
        EXPECT_FALSE(RestartAsked());
        EXPECT_TRUE(platform::ReadWholeFile(source) == sourceBytes) << "the source changed";
        EXPECT_TRUE(platform::ReadWholeFile(dest) == destBytes) << "the destination was written";
    }
};

// "Y: (/path)".
std::string Described(char letter, const std::string& path)
{
    return std::string(1, letter) + ": (" + path + ")";
}

}  // namespace

TEST_F(KeldrunLoopTest, AnImageMountedOrClaimedThroughALoopDeviceIsRefusedSayingHow)
{
    const std::string ext4 = m_machine.MakeImage("ext4.img", 8 * kMiB);
    if (!testsupport::MakeExt4(m_machine, ext4))
        GTEST_SKIP() << "mkfs.ext4 cannot be run here";
    auto loop = Loop(ext4);
    if (!loop)
        GTEST_SKIP() << m_skip;
    const std::string mountPoint = m_machine.Path("mnt");

    // The mounted image as the destination, then as the source (read-write).
    for (char mounted : {'Y', 'X'}) {
        std::string ignored;
        platform::RemoveDriveLetter('X', ignored);
        platform::RemoveDriveLetter('Y', ignored);
        Assign(mounted, ext4);
        Assign(mounted == 'Y' ? 'X' : 'Y', m_image);
        testsupport::CKernelMount mount(loop->Path(), mountPoint, "ext4");
        if (!mount.Mounted())
            GTEST_SKIP() << mount.Error();
        ExpectRefused(boottexts::InUseText(Described(mounted, ext4),
                                           "mounted on " + mountPoint + " through " + loop->Path(), true),
                      mounted == 'X' ? ext4 : m_image, mounted == 'Y' ? ext4 : m_image);
    }

    // Claimed by another program, not mounted.
    platform::CFd claim(open(loop->Path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
    ASSERT_TRUE(claim.IsOpen()) << std::strerror(errno);
    ExpectRefused(boottexts::InUseText(Described('X', ext4),
                                       "opened exclusively by another program through " + loop->Path(), false),
                  ext4, m_image);
}

// A loop device attached over the destination while the copy is made and mounted: left
// mounted, or unmounted again (when the file system writes its superblock into the copy),
// it fails the clone before "Done".
TEST_F(KeldrunLoopTest, ALoopDeviceMountedOverTheDestinationDuringTheCopyFailsIt)
{
    const std::string source = m_machine.MakeImage("ext4.img", 8 * kMiB);
    if (!testsupport::MakeExt4(m_machine, source))
        GTEST_SKIP() << "mkfs.ext4 cannot be run here";
    const std::string dest = m_machine.MakeImage("copy.img", 8 * kMiB);
    const std::string mountPoint = m_machine.Path("mnt");
    Assign('X', source);
    Assign('Y', dest);
    const std::string failed = LoopAttachedText(EBUSY, "Y:");
    for (bool leftMounted : {false, true}) {
        // The destination holds the file system already, so that it mounts at any point.
        std::filesystem::copy_file(source, dest, std::filesystem::copy_options::overwrite_existing);
        testsupport::CPipedRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder});
        ASSERT_TRUE(run.Started());
        // Slow mode prints a line per sector: Keldrun waits for its output to be read on.
        run.ReadUntil(64 * 1024);
        auto loop = Loop(dest);
        if (!loop)
            GTEST_SKIP() << m_skip;
        {
            testsupport::CKernelMount mount(loop->Path(), mountPoint, "ext4");
            if (!mount.Mounted())
                GTEST_SKIP() << mount.Error();
            if (leftMounted)
                run.Wait();
        }
        run.Wait();
        EXPECT_EQ(run.Output().find("Succesfully created"), std::string::npos) << leftMounted;
        const std::string status = Status().value_or("");
        EXPECT_TRUE(status.ends_with("\n" + failed + "\n")) << status.substr(status.rfind('\n', status.size() - 2));
        EXPECT_FALSE(RestartAsked());
    }
}

// The case of a disk lettered as a whole and partitioned afterwards, so that its letter
// now stands for the partition table.
TEST_F(KeldrunLoopTest, AWholeDiskThatGainedPartitionsIsRefusedNamingThem)
{
    const std::string diskImage = m_machine.MakeImage("whole.img", 8 * kMiB);
    auto disk = Loop(diskImage, {512, 0, 0, std::nullopt, true});
    if (!disk)
        GTEST_SKIP() << m_skip;
    Assign('X', m_image);
    Assign('Y', disk->Path());

    testsupport::WriteMbr(disk->Path(), {{0x07, 2048, 8192}}, {});
    if (!disk->AddPartition(1, 2048, 8192))
        GTEST_SKIP() << "partitions cannot be added to a loop device here";
    std::optional<std::string> why = platform::WholeDiskRefusal(disk->Path());
    ASSERT_TRUE(why);
    EXPECT_NE(why->find(disk->PartitionPath(1)), std::string::npos) << *why;
    ExpectRefused(std::string(kCannotOpenDestination) + "  " + Described('Y', disk->Path()) +
                      " cannot be opened: Device or resource busy: " + *why,
                  m_image, diskImage);
}

TEST_F(KeldrunLoopTest, AnExtendedPartitionsContainerIsRefused)
{
    std::string skip;
    auto disk = testsupport::AttachMbrDisk(m_machine.Path("mbr.img"), skip);
    if (!disk)
        GTEST_SKIP() << skip;
    Assign('X', m_image);
    Assign('Y', disk->PartitionPath(2));
    ExpectRefused(std::string(kCannotOpenDestination) + "  " + Described('Y', disk->PartitionPath(2)) +
                      " cannot be opened: Device or resource busy: " +
                      platform::WholeDiskRefusal(disk->PartitionPath(2)).value_or("?"),
                  m_image, m_machine.Path("mbr.img"));
}
