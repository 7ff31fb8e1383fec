// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/MachineDrives.h"
#include "platform/volume/RawVolume.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/MbrDisk.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <memory>

using namespace platform;
using testsupport::CLoopDevice;
using testsupport::CLoopOptions;

// Real loop devices, which udev never gives a stable name: a letter given to one stays
// with its image, whichever loop number the image is attached under next.
namespace {

constexpr std::size_t kMiB = 1 << 20;

class LoopFingerprintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_imageA = m_machine.MakeImage("a.img", 4 * kMiB, 0xA1);
        m_imageB = m_machine.MakeImage("b.img", 4 * kMiB, 0xB2);
    }

    std::unique_ptr<CLoopDevice> Attach(const std::string& image, std::optional<int> number = std::nullopt)
    {
        auto loop = std::make_unique<CLoopDevice>(image, CLoopOptions{512, 0, 0, number, false});
        if (!loop->IsAttached()) {
            m_skip = loop->Error();
            return nullptr;
        }
        return loop;
    }

    CDriveSources LoopsOnly(const std::vector<const CLoopDevice*>& loops) const
    {
        return testsupport::LoopsOnlyView(m_machine.Path("sys"), loops);
    }

    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testsupport::CTempMachine m_machine;
    std::string m_imageA;
    std::string m_imageB;
    std::string m_skip;
};

}  // namespace

TEST_F(LoopFingerprintTest, AnotherImageUnderTheLettersLoopNumberIsAVanishedDrive)
{
    auto loop = Attach(m_imageA);
    if (!loop)
        GTEST_SKIP() << m_skip;
    int number = loop->Number();
    std::string path = loop->Path();
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('D', path, error)) << error;
    ASSERT_EQ(MachineDrives().GetDriveType("D:\\"), kDriveFixed);

    loop.reset();
    auto other = Attach(m_imageB, number);
    if (!other)
        GTEST_SKIP() << "loop" << number << " was taken meanwhile: " << m_skip;
    EXPECT_EQ(MachineDrives().GetDriveType("D:\\"), kDriveNoRootDir);
    std::array<char, 8> strings{};
    EXPECT_EQ(MachineDrives().GetLogicalDriveStrings(strings), 0u);
    errno = 0;
    EXPECT_EQ(RawVolumes().Open(RawVolumeName("D:"), VolumeAccess::Write), nullptr);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(RawVolumes().Open(RawVolumeName("D:"), VolumeAccess::Read), nullptr);
    EXPECT_FALSE(AssignDriveLetter('D', m_imageB, error));  // still reserved
    EXPECT_EQ(Contents(m_imageB), std::string(4 * kMiB, '\xB2'));

    other.reset();
    auto back = Attach(m_imageA, number);
    if (!back)
        GTEST_SKIP() << "loop" << number << " was taken meanwhile: " << m_skip;
    EXPECT_EQ(MachineDrives().GetDriveType("D:\\"), kDriveFixed);
    EXPECT_NE(RawVolumes().Open(RawVolumeName("D:"), VolumeAccess::Read), nullptr);
}

TEST_F(LoopFingerprintTest, DiscoveryFollowsTheImageToAnotherLoopNumber)
{
    auto first = Attach(m_imageA);
    if (!first)
        GTEST_SKIP() << m_skip;
    int number = first->Number();
    CDriveView view = DiscoverDrives(LoopsOnly({first.get()}));
    ASSERT_EQ(view.drives.size(), 1u);
    char letter = view.drives.front().letter;
    EXPECT_EQ(view.drives.front().device, first->Path());

    // Detached, another image attached under the old number, and the first one again
    // under another.
    first.reset();
    auto other = Attach(m_imageB, number);
    if (!other)
        GTEST_SKIP() << "loop" << number << " was taken meanwhile: " << m_skip;
    auto moved = Attach(m_imageA);
    ASSERT_TRUE(moved) << m_skip;

    CDriveView after = DiscoverDrives(LoopsOnly({moved.get(), other.get()}));
    const CDriveEntry* drive = after.Find(letter);
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(drive->present);
    EXPECT_EQ(drive->device, moved->Path());
    ASSERT_EQ(after.drives.size(), 2u);
    for (const auto& entry : after.drives) {
        if (entry.letter != letter) {
            EXPECT_EQ(entry.device, other->Path());
        }
    }
}

// The partition of another image, laid out the same, under the old partition's name.
TEST_F(LoopFingerprintTest, APartitionOfAnotherDiskUnderTheOldNameIsNotTheLettersDrive)
{
    auto disk = std::make_unique<CLoopDevice>(m_imageA, CLoopOptions{512, 0, 0, std::nullopt, true});
    if (!disk->IsAttached())
        GTEST_SKIP() << disk->Error();
    if (!disk->AddPartition(1, 2048, 4096))
        GTEST_SKIP() << "partitions cannot be added to a loop device here";
    int number = disk->Number();
    std::string partition = disk->PartitionPath(1);
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('D', partition, error)) << error;
    ASSERT_EQ(MachineDrives().GetDriveType("D:\\"), kDriveFixed);

    disk.reset();
    auto other = std::make_unique<CLoopDevice>(m_imageB, CLoopOptions{512, 0, 0, number, true});
    if (!other->IsAttached() || !other->AddPartition(1, 2048, 4096))
        GTEST_SKIP() << "loop" << number << " was taken meanwhile: " << other->Error();
    ASSERT_EQ(other->PartitionPath(1), partition);
    EXPECT_EQ(MachineDrives().GetDriveType("D:\\"), kDriveNoRootDir);
    EXPECT_EQ(RawVolumes().Open(RawVolumeName("D:"), VolumeAccess::Write), nullptr);
    EXPECT_EQ(Contents(m_imageB), std::string(4 * kMiB, '\xB2'));
}

// A disk with a DOS table: its primary and logical partitions get letters, while the disk
// itself and the 1 KiB container of the extended partition get none.
TEST_F(LoopFingerprintTest, DiscoveryLettersTheVolumesOfAPartitionedDiskOnly)
{
    std::string why;
    auto disk = testsupport::AttachMbrDisk(m_machine.Path("mbr.img"), why);
    if (!disk)
        GTEST_SKIP() << why;
    CDriveView view = DiscoverDrives(LoopsOnly({disk.get()}));
    std::vector<std::string> lettered;
    for (const CDriveEntry& drive : view.drives)
        lettered.push_back(drive.device);
    EXPECT_EQ(lettered, std::vector<std::string>({disk->PartitionPath(1), disk->PartitionPath(5)}));
}
