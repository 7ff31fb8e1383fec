// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DeviceFingerprint.h"
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/FingerprintSearch.h"
#include "platform/drives/LetterTable.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/FakeDriveTree.h"
#include "tests/support/TempMachine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace platform;

// Letters of devices that udev gives no stable name (containers, rescue systems, every
// loop whole disk) are kept by kernel name and recognised by their fingerprint.
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

void StoreRaw(const std::string& name, const std::string& data)
{
    CRegKey key;
    ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, "SYSTEM\\MountedDevices", key), RegStatus::Ok);
    ASSERT_EQ(WriteStringValue(key, name, data), RegStatus::Ok);
}

class FingerprintTest : public ::testing::Test {
protected:
    // A kernel view made afresh, as after a restart.
    CFakeDriveTree& Boot()
    {
        m_tree.reset();
        std::filesystem::remove_all(m_machine.Path("kernel"));
        m_tree = std::make_unique<CFakeDriveTree>(m_machine.Path("kernel"));
        return *m_tree;
    }
    CDriveView Discover() const { return DiscoverDrives(m_tree->Sources()); }
    std::string Node(const std::string& name) const { return m_tree->Node(name); }

    testsupport::CTempMachine m_machine;
    std::string m_imageA = m_machine.MakeImage("a.img", 4 * kMiB);
    std::string m_imageB = m_machine.MakeImage("b.img", 4 * kMiB);
    std::unique_ptr<CFakeDriveTree> m_tree;
};

}  // namespace

TEST_F(FingerprintTest, ALoopDiskKeepsItsLetterUnderAnotherNumberAndNeverPassesToAnotherImage)
{
    Boot().AddLoop("loop0", "7:0", m_imageA, 0, 4 * kMiB);
    ASSERT_EQ(Discover().Find('C')->device, Node("loop0"));

    // The same image attached again as loop5: the letter follows it, and the table learns
    // the new name.
    Boot().AddLoop("loop5", "7:5", m_imageA, 0, 4 * kMiB);
    CDriveView moved = Discover();
    ASSERT_EQ(moved.drives.size(), 1u);
    EXPECT_TRUE(moved.Find('C')->present);
    EXPECT_EQ(moved.Find('C')->device, Node("loop5"));
    EXPECT_EQ(LoadLetterTable().devices.at('C'), Node("loop5"));

    // Another image under the old number is a new drive; C: is away but stays reserved.
    Boot().AddLoop("loop5", "7:5", m_imageB, 0, 4 * kMiB);
    CDriveView other = Discover();
    ASSERT_NE(other.Find('C'), nullptr);
    EXPECT_FALSE(other.Find('C')->present);
    EXPECT_TRUE(other.Find('C')->replaced);
    EXPECT_EQ(other.Find('C')->type, kDriveNoRootDir);
    EXPECT_EQ(other.Find('D')->device, Node("loop5"));
    EXPECT_TRUE(other.Find('D')->present);

    // The same image at another offset is another volume as well.
    Boot().AddLoop("loop1", "7:1", m_imageA, kMiB, 3 * kMiB);
    EXPECT_FALSE(Discover().Find('C')->present);

    // Back as loop2 beside the other: each keeps its own letter.
    CFakeDriveTree& tree = Boot();
    tree.AddLoop("loop2", "7:2", m_imageA, 0, 4 * kMiB);
    tree.AddLoop("loop5", "7:5", m_imageB, 0, 4 * kMiB);
    CDriveView back = Discover();
    EXPECT_EQ(back.Find('C')->device, Node("loop2"));
    EXPECT_TRUE(back.Find('C')->present);
    EXPECT_EQ(back.Find('D')->device, Node("loop5"));
    EXPECT_EQ(back.drives.size(), 3u);  // and E:, the offset one, away
}

TEST_F(FingerprintTest, PartitionsFollowTheirDiskWhenTheDiskOrderChanges)
{
    auto twoDisks = [&](const std::string& first, const std::string& second) {
        CFakeDriveTree& tree = Boot();
        tree.AddDisk("sda", "8:0", 100 * kMiB);
        tree.SetAttribute("sda", "device/serial", first);
        tree.AddPartition("sda", "sda1", 1, "8:1", 50 * kMiB, 2048);
        tree.AddDisk("sdb", "8:16", 100 * kMiB);
        tree.SetAttribute("sdb", "device/serial", second);
        tree.AddPartition("sdb", "sdb1", 1, "8:17", 50 * kMiB, 2048);
    };
    twoDisks("SYSTEM-DISK", "DATA-DISK");
    CDriveView first = Discover();
    ASSERT_EQ(first.Find('C')->device, Node("sda1"));
    ASSERT_EQ(first.Find('D')->device, Node("sdb1"));

    twoDisks("DATA-DISK", "SYSTEM-DISK");
    CDriveView swapped = Discover();
    EXPECT_EQ(swapped.Find('C')->device, Node("sdb1"));
    EXPECT_EQ(swapped.Find('D')->device, Node("sda1"));
    EXPECT_TRUE(swapped.Find('C')->present && swapped.Find('D')->present);
    EXPECT_EQ(swapped.drives.size(), 2u);
}

TEST_F(FingerprintTest, ADiskThatTellsNothingOfItselfLosesTheLetterRatherThanPassItOn)
{
    CFakeDriveTree& tree = Boot();
    tree.AddDisk("vda", "254:0", 100 * kMiB);
    tree.AddPartition("vda", "vda1", 1, "254:1", 50 * kMiB, 2048);
    ASSERT_EQ(Discover().Find('C')->device, Node("vda1"));

    // Another disk, partitioned otherwise, under the same name.
    CFakeDriveTree& next = Boot();
    next.AddDisk("vda", "254:0", 100 * kMiB);
    next.AddPartition("vda", "vda1", 1, "254:1", 60 * kMiB, 2048);
    CDriveView view = Discover();
    EXPECT_FALSE(view.Find('C')->present);
    EXPECT_EQ(view.Find('D')->device, Node("vda1"));

    // Looking the same is not being the same: without an id, the letter does not follow a
    // look-alike to another name.
    CFakeDriveTree& third = Boot();
    third.AddDisk("vdb", "254:16", 100 * kMiB);
    third.AddPartition("vdb", "vdb1", 1, "254:17", 50 * kMiB, 2048);
    CDriveView moved = Discover();
    EXPECT_FALSE(moved.Find('C')->present);
    EXPECT_EQ(moved.Find('E')->device, Node("vdb1"));
}

TEST_F(FingerprintTest, ATableWithoutFingerprintsIsStillReadAndLearnsThem)
{
    Boot().AddLoop("loop0", "7:0", m_imageA, 0, 4 * kMiB);
    StoreRaw("\\DosDevices\\C:", Node("loop0"));
    StoreRaw("\\DosDevices\\F:", m_imageB);  // an image lettered by hand

    CDriveView view = Discover();
    EXPECT_EQ(view.Find('C')->device, Node("loop0"));
    EXPECT_TRUE(view.Find('C')->present);
    EXPECT_TRUE(view.Find('F')->present);
    EXPECT_EQ(view.drives.size(), 2u);
    EXPECT_EQ(LoadLetterTable().fingerprints.count('C'), 1u);

    // From now on another image there is not C:'s.
    Boot().AddLoop("loop0", "7:0", m_imageB, 0, 4 * kMiB);
    CDriveView after = Discover();
    EXPECT_FALSE(after.Find('C')->present);
    EXPECT_EQ(after.Find('D')->device, Node("loop0"));
}

TEST_F(FingerprintTest, DevicesBeyondTheLastLetterAreNamedAndGetNone)
{
    CFakeDriveTree& tree = Boot();
    for (int i = 0; i < 26; ++i)
        tree.AddLoop("loop" + std::to_string(i), "7:" + std::to_string(i), m_imageA, std::uint64_t(i) * 4096, 4096);
    CDriveView view = Discover();
    EXPECT_EQ(view.drives.size(), 24u);  // C: to Z:
    EXPECT_EQ(view.unlettered, (std::vector<std::string>{Node("loop24"), Node("loop25")}));
    EXPECT_TRUE(view.lockError.empty());
    EXPECT_EQ(LoadLetterTable().devices.size(), 24u);
}

TEST_F(FingerprintTest, AStoreThatCannotBeReadHandsOutNoLetter)
{
    Boot().AddLoop("loop0", "7:0", m_imageA, 0, 4 * kMiB);
    std::string notAStore(8192, 'x');
    std::ofstream(m_machine.Path("hklm.db"), std::ios::binary) << notAStore;

    CDriveView view = Discover();
    EXPECT_FALSE(view.tableError.empty());
    EXPECT_TRUE(view.drives.empty());
    EXPECT_EQ(LetterTableError(), view.tableError);
    std::ifstream in(m_machine.Path("hklm.db"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), notAStore);
}

TEST_F(FingerprintTest, ALockHeldByAnotherProcessDelaysNothingForLong)
{
    std::string image = m_machine.MakeImage("c.img", 4096);
    std::string error;
    ASSERT_TRUE(AssignDriveLetter('C', image, error)) << error;
    Boot().AddLoop("loop0", "7:0", m_imageA, 0, 4 * kMiB);
    int holder = ::open(m_machine.Path("drives.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    CDriveView view = Discover();
    EXPECT_FALSE(view.lockError.empty());
    EXPECT_EQ(view.unlettered, std::vector<std::string>{Node("loop0")});
    EXPECT_TRUE(view.Find('C')->present);  // the letters already given are there
    EXPECT_FALSE(AssignDriveLetter('D', m_imageB, error));
    EXPECT_NE(error.find("locked"), std::string::npos) << error;
    EXPECT_EQ(LoadLetterTable().devices.size(), 1u);

    ::close(holder);
    EXPECT_EQ(Discover().Find('D')->device, Node("loop0"));
}

// At boot a letter's device is looked for by its fingerprint where its name leads nowhere:
// only a fingerprint that names one device alone, carried by exactly one, finds it.
TEST_F(FingerprintTest, TheSearchFindsOnlyTheOneDeviceThatCarriesAnIdentifyingFingerprint)
{
    CFakeDriveTree& tree = Boot();
    tree.AddLoop("loop3", "7:3", m_imageA, 0, 4 * kMiB);
    tree.AddLoop("loop4", "7:4", m_imageB, 0, 4 * kMiB);
    tree.AddDisk("vda", "254:0", 100 * kMiB);
    tree.AddPartition("vda", "vda1", 1, "254:1", 50 * kMiB, 2048);
    const std::string loopA = BlockFingerprint(7, 3, tree.Sources()).text;
    EXPECT_EQ(FindFingerprintedDevice(loopA, tree.Sources()), Node("loop3"));
    EXPECT_EQ(FindFingerprintedDevice(BlockFingerprint(7, 4, tree.Sources()).text, tree.Sources()), Node("loop4"));
    EXPECT_EQ(FindFingerprintedDevice("", tree.Sources()), std::nullopt);
    // A disk without an id only tells another disk from itself.
    EXPECT_EQ(FindFingerprintedDevice(BlockFingerprint(254, 1, tree.Sources()).text, tree.Sources()), std::nullopt);

    tree.AddLoop("loop7", "7:7", m_imageA, 0, 4 * kMiB);
    EXPECT_EQ(FindFingerprintedDevice(loopA, tree.Sources()), std::nullopt) << "two devices carry it";
}
