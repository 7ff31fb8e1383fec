// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsRecord.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/usedspace/FilledVolume.h"
#include "tests/usedspace/Ntfs3gView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using namespace testsupport;
using usedspace::CByteRanges;
using usedspace::CUsedSpace;

constexpr std::uint64_t kImageSize = 128 << 20;
constexpr std::uint64_t kSector = 512;

// Which clusters the ranges hold, each wholly or not at all.
std::vector<bool> MappedClusters(const CByteRanges& ranges, std::uint64_t clusterSize, std::size_t clusters)
{
    std::vector<bool> mapped(clusters);
    for (std::size_t c = 0; c < clusters; ++c) {
        mapped[c] = ranges.Contains(c * clusterSize, clusterSize);
        EXPECT_TRUE(mapped[c] || !ranges.Contains(c * clusterSize, kSector)) << "cluster " << c << " is mapped in part";
    }
    return mapped;
}

class NtfsUsedSpaceTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!NtfsToolsPresent(m_machine) || !CNtfsMount::Available())
            GTEST_SKIP() << "needs the programs of ntfs-3g and FUSE";
    }
    // A source image filled to fill percent through ntfs-3g.
    void MakeSource(int fill)
    {
        ASSERT_TRUE(MakeNtfsImage(m_machine, m_source, kImageSize));
        CNtfsMount mount(m_machine, m_source, m_machine.Path("source-mnt"));
        ASSERT_TRUE(mount.Mounted()) << mount.Messages();
        m_files = FillFolder(m_machine.Path("source-mnt"), fill / 100.0, static_cast<unsigned>(fill));
    }

    // A destination that held random bytes, then a volume of its own with more files than
    // the source has, so that its MFT reaches further.
    void MakeOldDestination()
    {
        std::ofstream(m_dest, std::ios::binary) << RandomBytes(kImageSize, 7);
        ASSERT_EQ(RunTool(m_machine, "mkntfs", {"-F", "-Q", "-q", "-s", "512", "-c", "4096", m_dest}).exitCode, 0);
        CNtfsMount mount(m_machine, m_dest, m_machine.Path("dest-mnt"));
        ASSERT_TRUE(mount.Mounted()) << mount.Messages();
        for (int i = 0; i < 400; ++i)
            std::ofstream(m_machine.Path("dest-mnt/old-" + std::to_string(i) + ".txt")) << "old file " << i;
    }

    CTempMachine m_machine;
    std::string m_source = m_machine.Path("source.img");
    std::string m_dest = m_machine.Path("dest.img");
    CFiles m_files;
};

// The map holds exactly the clusters that ntfs-3g counts as used, the boot sector and its
// backup; a copy of only those bytes over another volume is that same volume.
TEST_P(NtfsUsedSpaceTest, MapsWhatNtfs3gUsesAndCopiesASoundVolume)
{
    ASSERT_NO_FATAL_FAILURE(MakeSource(GetParam()));
    EXPECT_GT(CountNtfs3gExtents(m_source, "/fragmented.bin"), 1u) << "the source holds no fragmented file";
    CUsedSpace map = MapImage(m_source, "NTFS");
    ASSERT_TRUE(map.m_ranges) << map.m_reason;
    std::optional<CNtfs3gBitmap> reference = ReadNtfs3gBitmap(m_source);
    ASSERT_TRUE(reference);
    const std::uint64_t clusterSize = reference->m_clusterSize;
    EXPECT_TRUE(MappedClusters(*map.m_ranges, clusterSize, reference->m_used.size()) == reference->m_used);
    // Past the clusters only the backup boot sector, the partition's last sector here.
    std::uint64_t clustersEnd = reference->m_used.size() * clusterSize;
    std::uint64_t beyond = 0;
    for (const auto& range : map.m_ranges->Ranges())
        beyond += range.End() > clustersEnd ? range.End() - std::max(range.m_offset, clustersEnd) : 0;
    EXPECT_EQ(beyond, kSector);
    EXPECT_TRUE(map.m_ranges->Contains(kImageSize - kSector, kSector));
    const double filled = static_cast<double>(map.m_ranges->Bytes()) / kImageSize;
    EXPECT_NEAR(filled, GetParam() / 100.0, 0.05);

    ASSERT_NO_FATAL_FAILURE(MakeOldDestination());
    ASSERT_TRUE(CopyRanges(m_source, m_dest, *map.m_ranges));
    CToolRun check = RunTool(m_machine, "ntfsfix", {"-n", m_dest});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("Checking the alternate boot sector... OK"), std::string::npos) << check.out;
    CNtfsMount mount(m_machine, m_dest, m_machine.Path("copy-mnt"));
    ASSERT_TRUE(mount.Mounted()) << mount.Messages();
    CFiles copied = ReadFolder(m_machine.Path("copy-mnt"));
    EXPECT_EQ(copied.size(), m_files.size());
    EXPECT_TRUE(copied == m_files) << "the copy's files differ from the source's";
}

INSTANTIATE_TEST_SUITE_P(Fill, NtfsUsedSpaceTest, ::testing::Values(10, 50, 90),
                         [](const auto& param) { return std::to_string(param.param) + "Percent"; });

// An MFT spread over so many runs that its own record names their pieces in an attribute
// list: the map reads every record through it, and is still what ntfs-3g counts as used.
TEST(NtfsAttributeListTest, ReadsAnMftWhoseRunsNeedAnAttributeList)
{
    CTempMachine machine;
    if (!NtfsToolsPresent(machine) || !CNtfsMount::Available())
        GTEST_SKIP() << "needs the programs of ntfs-3g and FUSE";
    const std::string image = machine.Path("ntfs.img");
    ASSERT_TRUE(MakeNtfsImage(machine, image, 32 << 20));
    {
        // One-cluster holes all over the volume, then more records than the MFT's zone
        // holds: the MFT grows a cluster at a time into the holes.
        CNtfsMount mount(machine, image, machine.Path("mnt"));
        ASSERT_TRUE(mount.Mounted()) << mount.Messages();
        const std::string cluster(4096, 'f');
        int fences = 0;
        for (bool written = true; written; ++fences) {
            std::ofstream out(machine.Path("mnt/fence-" + std::to_string(fences)), std::ios::binary);
            written = static_cast<bool>(out.write(cluster.data(), cluster.size()).flush());
        }
        for (int i = 0; i < fences; i += 2)
            std::filesystem::remove(machine.Path("mnt/fence-" + std::to_string(i)));
        std::filesystem::create_directories(machine.Path("mnt/tiny"));
        for (int i = 0; i < 6000; ++i)
            std::ofstream(machine.Path("mnt/tiny/" + std::to_string(i)));
    }
    std::string mftCluster = ReadBytes(image, 48, 8);
    std::uint64_t mft = 0;
    for (std::size_t i = mftCluster.size(); i-- > 0;)
        mft = mft << 8 | static_cast<unsigned char>(mftCluster[i]);
    const std::string first = ReadBytes(image, mft * 4096, 1024);
    std::vector<std::byte> bytes(first.size());
    std::transform(first.begin(), first.end(), bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
    std::optional<usedspace::ntfs::CMftRecord> record = usedspace::ntfs::CMftRecord::Parse(std::move(bytes), 0);
    ASSERT_TRUE(record && record->Has(usedspace::ntfs::kAttributeList)) << "the MFT needs no attribute list";

    CUsedSpace map = MapImage(image, "NTFS");
    ASSERT_TRUE(map.m_ranges) << map.m_reason;
    std::optional<CNtfs3gBitmap> reference = ReadNtfs3gBitmap(image);
    ASSERT_TRUE(reference);
    EXPECT_TRUE(MappedClusters(*map.m_ranges, reference->m_clusterSize, reference->m_used.size()) == reference->m_used);
}

// Through a block device every read goes round the page cache, in whole sectors.
TEST(NtfsLoopDeviceTest, ReadsTheSameMapThroughABlockDevice)
{
    CTempMachine machine;
    if (!NtfsToolsPresent(machine))
        GTEST_SKIP() << "needs the programs of ntfs-3g";
    const std::string image = machine.Path("ntfs.img");
    ASSERT_TRUE(MakeNtfsImage(machine, image, 32 << 20));
    ASSERT_TRUE(PutNtfsFile(machine, image, "one.bin", RandomBytes(3 << 20, 1)));
    ASSERT_TRUE(PutNtfsFile(machine, image, "two.txt", "two"));
    CLoopDevice loop(image);
    if (!loop.IsAttached())
        GTEST_SKIP() << "no loop device: " << loop.Error();
    CUsedSpace fromFile = MapImage(image, "NTFS");
    CUsedSpace fromDevice = MapImage(loop.Path(), "NTFS");
    ASSERT_TRUE(fromFile.m_ranges && fromDevice.m_ranges) << fromFile.m_reason << fromDevice.m_reason;
    EXPECT_EQ(fromDevice.m_ranges->Ranges(), fromFile.m_ranges->Ranges());
}

}  // namespace
