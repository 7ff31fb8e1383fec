// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/LoopDevice.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/usedspace/FilledVolume.h"
#include "tests/usedspace/Ntfs3gView.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace {

using namespace testsupport;
using namespace usedspace;

constexpr std::uint64_t kImageSize = 32 << 20;

std::uint64_t Field(const std::string& bytes, std::size_t offset, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

// An NTFS image of mkntfs with a file, and the places of the structures a hostile volume
// would bend: found by reading the image plainly, as a forger would.
class NtfsHostileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!NtfsToolsPresent(m_machine))
            GTEST_SKIP() << "needs the programs of ntfs-3g";
        ASSERT_TRUE(MakeNtfsImage(m_machine, m_image, kImageSize));
        ASSERT_TRUE(PutNtfsFile(m_machine, m_image, "file.bin", RandomBytes(1 << 20, 5)));
        m_pristine = ReadBytes(m_image, 0, kImageSize);
        ASSERT_EQ(MapImage(m_image, "NTFS").m_reason, "");
    }
    std::uint64_t RecordOffset(std::uint64_t record) const { return Field(m_pristine, 48, 8) * 4096 + record * 1024; }
    // The offset in the image of the first attribute of type in record.
    std::uint64_t AttributeOffset(std::uint64_t record, std::uint32_t type) const
    {
        std::uint64_t at = RecordOffset(record);
        for (std::uint64_t a = at + Field(m_pristine, at + 20, 2); Field(m_pristine, a, 4) != 0xFFFFFFFF;
             a += Field(m_pristine, a + 4, 4)) {
            if (Field(m_pristine, a, 4) == type)
                return a;
        }
        ADD_FAILURE() << "no attribute " << type << " in record " << record;
        return 0;
    }
    // The first run of a non-resident attribute: where its LCN field is, and how wide.
    std::pair<std::uint64_t, std::size_t> FirstRunLcn(std::uint64_t attribute) const
    {
        std::uint64_t pairs = attribute + Field(m_pristine, attribute + 32, 2);
        unsigned header = static_cast<unsigned char>(m_pristine[pairs]);
        return {pairs + 1 + (header & 0x0F), header >> 4};
    }
    void Patch(std::uint64_t offset, const std::string& bytes)
    {
        PatchFile(m_image, offset, bytes);
        m_patched.emplace_back(offset, bytes.size());
    }
    // Puts back what Patch changed.
    void Restore()
    {
        for (const auto& [offset, size] : m_patched)
            PatchFile(m_image, offset, m_pristine.substr(offset, size));
        m_patched.clear();
    }

    CTempMachine m_machine;
    std::string m_image = m_machine.Path("ntfs.img");
    std::string m_pristine;
    std::vector<std::pair<std::uint64_t, std::size_t>> m_patched;
};

// Every field the map relies on, bent: the volume is refused, never read in part.
TEST_F(NtfsHostileTest, RefusesStructuresThatDoNotAddUp)
{
    const std::uint64_t bitmapData = AttributeOffset(6, 0x80);
    const std::uint64_t mftData = AttributeOffset(0, 0x80);
    const auto [bitmapLcn, bitmapLcnWidth] = FirstRunLcn(bitmapData);
    const auto [mftLcn, mftLcnWidth] = FirstRunLcn(mftData);
    const std::uint64_t sectors = Field(m_pristine, 40, 8);
    const auto [logLcnField, logLcnWidth] = FirstRunLcn(AttributeOffset(2, 0x80));
    const std::uint64_t logLcn = Field(m_pristine, logLcnField, logLcnWidth);
    // file.bin is the first record past the system files'.
    const std::uint64_t fileData = AttributeOffset(64, 0x80);
    const auto [fileLcnField, fileLcnWidth] = FirstRunLcn(fileData);
    const std::uint64_t fileLcn = Field(m_pristine, fileLcnField, fileLcnWidth);
    const std::uint64_t bitmapBytes = Field(m_pristine, bitmapLcn, bitmapLcnWidth) * 4096;
    const CDamage cases[] = {
        {"sector size 0", 11, Little(0, 2), kNtfsBootSectorUnsound},
        {"sector size 768", 11, Little(768, 2), kNtfsBootSectorUnsound},
        {"clusters of 4 MiB", 13, Little(256 - 22, 1), kNtfsBootSectorUnsound},
        {"a volume larger than its partition", 40, Little(sectors + 2, 8), kNtfsBootSectorUnsound},
        {"the MFT past the volume", 48, Little(sectors, 8), kNtfsBootSectorUnsound},
        {"records of 128 bytes", 64, Little(0xF9, 1), kNtfsBootSectorUnsound},
        {"the MFT's runs elsewhere", mftLcn, Little(Field(m_pristine, mftLcn, mftLcnWidth) + 1, mftLcnWidth),
         kMftUnreadable},
        {"the $Bitmap's runs past the volume", bitmapLcn, std::string(bitmapLcnWidth - 1, '\xFF') + '\x7F',
         kBitmapUnreadable},
        {"the $Bitmap's runs before the volume", bitmapLcn, std::string(bitmapLcnWidth, '\xF0'), kBitmapUnreadable},
        {"a $Bitmap of 8 bytes", bitmapData + 48, Little(8, 8) + Little(8, 8), kBitmapTooShort},
        {"a $Bitmap of 2^62 bytes", bitmapData + 40, Little(1ull << 62, 8) + Little(1ull << 62, 8) + Little(1ull << 62, 8),
         kBitmapUnreadable},
        {"the $Bitmap's runs ending early", bitmapData + 24, Little(1000, 8), kBitmapUnreadable},
        {"the $Bitmap record claiming another number", RecordOffset(6) + 44, Little(7, 4), kBitmapUnreadable},
        {"the $Bitmap compressed", bitmapData + 12, Little(1, 2), kBitmapUnreadable},
        {"the $Bitmap's clusters zeroed", Field(m_pristine, bitmapLcn, bitmapLcnWidth) * 4096, std::string(1024, '\0'),
         kBitmapUnsound},
        {"an attribute longer than its record", bitmapData + 4, Little(4096, 4), kBitmapUnreadable},
        {"the $LogFile's clusters free", Field(m_pristine, bitmapLcn, bitmapLcnWidth) * 4096 + logLcn / 8,
         std::string(1, '\0'), kBitmapUnsound},
        // What the copy would lose, with nothing else amiss.
        {"file.bin's last clusters free", bitmapBytes + fileLcn / 8 + 16, std::string(1, '\0'), kBitmapMissesFiles},
        {"file.bin's runs past the volume", fileLcnField, std::string(fileLcnWidth - 1, '\xFF') + '\x7F',
         kFileRunsUnsound},
    };
    for (const CDamage& c : cases) {
        Restore();
        Patch(c.offset, c.bytes);
        EXPECT_EQ(MapImage(m_image, "NTFS").m_reason, c.reason) << c.what;
    }
}

// An MFT whose runs give the clusters from its start to the volume's end four times over,
// on a volume whose $Bitmap marks every cluster used, is refused rather than read round
// the volume as many times as its runs say; once over, it is read.
TEST_F(NtfsHostileTest, RefusesAnMftLargerThanItsVolume)
{
    const std::uint64_t data = AttributeOffset(0, 0x80);
    const std::uint64_t bitmap = AttributeOffset(0, 0xB0);
    const std::uint64_t end = bitmap + Field(m_pristine, bitmap + 4, 4);
    const std::uint64_t mftLcn = Field(m_pristine, 48, 8);
    // The volume leaves its partition's last sector to the backup boot sector: its last
    // cluster is not whole.
    const std::uint64_t clusters = kImageSize / 4096 - 1 - mftLcn;
    ASSERT_EQ(bitmap, data + Field(m_pristine, data + 4, 4));
    ASSERT_EQ(Field(m_pristine, end, 4), 0xFFFFFFFFu);
    const auto [bitmapLcn, bitmapLcnWidth] = FirstRunLcn(AttributeOffset(6, 0x80));
    auto mapWithLaps = [&](std::uint64_t laps) {
        Restore();
        Patch(Field(m_pristine, bitmapLcn, bitmapLcnWidth) * 4096, std::string(kImageSize / 4096 / 8, '\xFF'));
        // Runs of 2-byte lengths and 1-byte LCN deltas: the MFT's own LCN, then 0 (the same).
        std::string pairs;
        for (std::uint64_t lap = 0; lap < laps; ++lap)
            pairs += "\x12" + Little(clusters, 2) + Little(lap == 0 ? mftLcn : 0, 1);
        pairs.resize(24, '\0');
        const std::uint64_t bytes = laps * clusters * 4096;
        std::string attribute = m_pristine.substr(data, 64);
        attribute.replace(4, 4, Little(64 + pairs.size(), 4));
        attribute.replace(24, 8, Little(laps * clusters - 1, 8));
        attribute.replace(40, 24, Little(bytes, 8) + Little(bytes, 8) + Little(bytes, 8));
        const std::string rest = m_pristine.substr(bitmap, end + 8 - bitmap);
        // All of it stays in the record's first stride, clear of its update sequence.
        EXPECT_LT(data + attribute.size() + pairs.size() + rest.size(), RecordOffset(0) + 510);
        Patch(data, attribute + pairs + rest);
        const std::uint64_t inUse = RecordOffset(0) + 24;
        Patch(inUse, Little(Field(m_pristine, inUse, 4) + attribute.size() + pairs.size() - (bitmap - data), 4));
        return MapImage(m_image, "NTFS").m_reason;
    };
    EXPECT_EQ(mapWithLaps(1), "");
    EXPECT_EQ(mapWithLaps(4), kMftUnreadable);
}

// Random damage to the boot sector and the first records: never a crash or a hang, and
// a map only when what it read still adds up.
TEST_F(NtfsHostileTest, SurvivesRandomDamage)
{
    std::mt19937_64 random(21);
    const std::uint64_t records = RecordOffset(0);
    int mapped = 0;
    for (int round = 0; round < 2000; ++round) {
        Restore();
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) {
            std::uint64_t offset = random() % 2 == 0 ? random() % 512 : records + random() % (16 * 1024);
            Patch(offset, std::string(1, static_cast<char>(random())));
        }
        CUsedSpace map = MapImage(m_image, "NTFS");
        EXPECT_NE(map.m_ranges.has_value(), !map.m_reason.empty());
        mapped += map.m_ranges ? 1 : 0;
    }
    EXPECT_GT(mapped, 0) << "no damage was harmless: the rounds do not test the reading that follows";
}

// Sectors of 512 and 4096 bytes, clusters of 4 and 64 KiB: the map is ntfs-3g's bitmap,
// read alike from the image and from a block device of the same sector size, and a copy
// of it alone over random bytes is the volume.
TEST(NtfsGeometryTest, MapsEverySectorAndClusterSize)
{
    CTempMachine machine;
    if (!NtfsToolsPresent(machine))
        GTEST_SKIP() << "needs the programs of ntfs-3g";
    for (const auto& [sector, cluster] : {std::pair{"4096", "4096"}, {"512", "65536"}, {"4096", "65536"}}) {
        SCOPED_TRACE(std::string("sectors of ") + sector + ", clusters of " + cluster);
        const std::string image = machine.Path("ntfs.img");
        const std::string dest = machine.Path("dest.img");
        std::ofstream(image, std::ios::binary | std::ios::trunc) << std::string(kImageSize, '\0');
        ASSERT_EQ(RunTool(machine, "mkntfs", {"-F", "-Q", "-q", "-s", sector, "-c", cluster, image}).exitCode, 0);
        const std::string content = RandomBytes(3 << 20, 8);
        ASSERT_TRUE(PutNtfsFile(machine, image, "file.bin", content));
        CUsedSpace map = MapImage(image, "NTFS");
        ASSERT_TRUE(map.m_ranges) << map.m_reason;
        std::optional<CNtfs3gBitmap> reference = ReadNtfs3gBitmap(image);
        ASSERT_TRUE(reference);
        for (std::size_t c = 0; c < reference->m_used.size(); ++c)
            ASSERT_EQ(map.m_ranges->Contains(c * reference->m_clusterSize, reference->m_clusterSize), reference->m_used[c])
                << "cluster " << c;
        CLoopDevice loop(image, static_cast<unsigned>(std::stoul(sector)));
        if (loop.IsAttached()) {
            CUsedSpace fromDevice = MapImage(loop.Path(), "NTFS");
            ASSERT_TRUE(fromDevice.m_ranges) << fromDevice.m_reason;
            EXPECT_EQ(fromDevice.m_ranges->Ranges(), map.m_ranges->Ranges());
        }
        std::ofstream(dest, std::ios::binary | std::ios::trunc) << RandomBytes(kImageSize, 4);
        ASSERT_TRUE(CopyRanges(image, dest, *map.m_ranges));
        CToolRun check = RunTool(machine, "ntfsfix", {"-n", dest});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        EXPECT_EQ(ReadNtfsFile(machine, dest, "file.bin"), content);
    }
}

}  // namespace
