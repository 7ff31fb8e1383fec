// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NtfsImage.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/usedspace/FilledVolume.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace testsupport;

constexpr std::uint64_t kImageSize = 64 << 20;

class FatUsedSpaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunTool(m_machine, "sh", {"-c", "command -v mkfs.fat && command -v fsck.fat && command -v mcopy"}).exitCode != 0)
            GTEST_SKIP() << "needs dosfstools and mtools";
        // mtools checks a volume's geometry against a floppy's unless told not to.
        setenv("MTOOLS_SKIP_CHECK", "1", 1);
    }
    void Format(const std::string& image, const std::vector<std::string>& options)
    {
        std::ofstream(image, std::ios::binary) << RandomBytes(kImageSize, 3);
        std::vector<std::string> args = options;
        args.push_back(image);
        ASSERT_EQ(RunTool(m_machine, "mkfs.fat", args).exitCode, 0);
    }
    // Copies the folder's files (and subfolders) into the source's root folder.
    void Put(const std::string& folder) { ASSERT_TRUE(PutIntoFat(m_machine, m_source, folder)); }
    // The volume as fsck.fat counts its clusters, and where its first cluster starts.
    struct CCount {
        std::uint64_t used = 0;
        std::uint64_t total = 0;
        std::uint64_t clusterSize = 0;
        std::uint64_t dataStart = 0;
    };
    CCount Count(const std::string& image)
    {
        // fsck.fat ends with "image: 5 files, 394/129022 clusters".
        CToolRun check = RunTool(m_machine, "fsck.fat", {"-n", "-v", image});
        std::size_t end = check.out.rfind(" clusters");
        std::size_t slash = check.out.rfind('/', end);
        std::size_t start = check.out.rfind(' ', slash);
        if (end == std::string::npos || slash == std::string::npos || start == std::string::npos) {
            ADD_FAILURE() << check.out;
            return {};
        }
        std::string boot = ReadBytes(image, 0, 512);
        auto field = [&](std::size_t offset, std::size_t width) {
            std::uint64_t value = 0;
            for (std::size_t i = width; i-- > 0;)
                value = value << 8 | static_cast<unsigned char>(boot[offset + i]);
            return value;
        };
        std::uint64_t sector = field(11, 2);
        return {std::stoull(check.out.substr(start + 1, slash - start - 1)),
                std::stoull(check.out.substr(slash + 1, end - slash - 1)), sector * field(13, 1),
                sector * (field(14, 2) + field(16, 1) * field(36, 4))};
    }
    // Files written with mtools to about fill of the volume: the volume filled first and
    // every other file deleted, so that "fragmented.bin" is spread over the holes.
    void Fill(double fill)
    {
        constexpr std::size_t kFence = 64 << 10;
        CCount empty = Count(m_source);
        const std::string fences = m_machine.Path("fences");
        const std::uint64_t count = (empty.total * empty.clusterSize - 4 * kFence) / kFence;
        for (std::uint64_t i = 0; i < count; ++i)
            WriteBelow(fences, "fence" + std::to_string(i), RandomBytes(kFence, static_cast<unsigned>(i)));
        ASSERT_NO_FATAL_FAILURE(Put(fences));
        auto remove = [&](std::uint64_t first) {
            std::vector<std::string> args{"-i", m_source};
            for (std::uint64_t i = first; i < count; i += 2)
                args.push_back("::fence" + std::to_string(i));
            ASSERT_EQ(RunTool(m_machine, "mdel", args).exitCode, 0);
        };
        ASSERT_NO_FATAL_FAILURE(remove(1));
        m_files["fragmented.bin"] = RandomBytes(1 << 20, 1);
        WriteBelow(m_machine.Path("first"), "fragmented.bin", m_files["fragmented.bin"]);
        ASSERT_NO_FATAL_FAILURE(Put(m_machine.Path("first")));
        ASSERT_NO_FATAL_FAILURE(remove(0));

        const std::string rest = m_machine.Path("rest");
        for (int i = 0; i < 6; ++i)
            WriteBelow(rest, "docs/note" + std::to_string(i) + ".txt", "note " + std::to_string(i));
        const auto filled = static_cast<std::uint64_t>(fill * static_cast<double>(kImageSize));
        for (std::uint64_t i = 0, bytes = 0; bytes + (1 << 20) < filled; ++i, bytes += 2 << 20)
            WriteBelow(rest, "fill" + std::to_string(i) + ".bin", RandomBytes(2 << 20, static_cast<unsigned>(100 + i)));
        ASSERT_NO_FATAL_FAILURE(Put(rest));
        CFiles rested = ReadFolder(rest);
        m_files.insert(rested.begin(), rested.end());
    }

    CTempMachine m_machine;
    std::string m_source = m_machine.Path("source.img");
    std::string m_dest = m_machine.Path("dest.img");
    CFiles m_files;
};

// The map holds the reserved sectors, both FATs and exactly the clusters that fsck.fat
// counts as used; a copy of only those bytes over random ones is the same volume.
TEST_F(FatUsedSpaceTest, MapsTheAllocatedClustersAndCopiesASoundVolume)
{
    for (int fill : {10, 50, 90}) {
        SCOPED_TRACE(std::to_string(fill) + " % full");
        m_files.clear();
        for (const char* folder : {"fences", "first", "rest"})
            std::filesystem::remove_all(m_machine.Path(folder));
        ASSERT_NO_FATAL_FAILURE(Format(m_source, {"-F", "32"}));
        ASSERT_NO_FATAL_FAILURE(Fill(fill / 100.0));
        usedspace::CUsedSpace map = MapImage(m_source, "FAT32");
        ASSERT_TRUE(map.m_ranges) << map.m_reason;
        CCount count = Count(m_source);
        EXPECT_EQ(map.m_ranges->Bytes(), count.dataStart + count.used * count.clusterSize);
        EXPECT_TRUE(map.m_ranges->Contains(0, count.dataStart));

        std::ofstream(m_dest, std::ios::binary) << RandomBytes(kImageSize, 9);
        ASSERT_TRUE(CopyRanges(m_source, m_dest, *map.m_ranges));
        CToolRun check = RunTool(m_machine, "fsck.fat", {"-n", m_dest});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        const std::string back = m_machine.Path("back-" + std::to_string(fill));
        std::filesystem::create_directories(back);
        ASSERT_EQ(RunTool(m_machine, "mcopy", {"-s", "-n", "-i", m_dest, "::*", back}).exitCode, 0);
        EXPECT_TRUE(ReadFolder(back) == m_files) << "the copy's files differ from the source's";
    }
}

TEST_F(FatUsedSpaceTest, RefusesWhatItDoesNotMap)
{
    ASSERT_NO_FATAL_FAILURE(Format(m_source, {"-F", "16"}));
    EXPECT_EQ(MapImage(m_source, "FAT16").m_reason, usedspace::kFat16CopiedWhole);
    EXPECT_EQ(MapImage(m_source, "EXT4").m_reason, usedspace::kUnknownFileSystem);
    // A FAT16 volume named FAT32 does not add up as one.
    EXPECT_EQ(MapImage(m_source, "FAT32").m_reason, usedspace::kFatBootSectorUnsound);

    // A volume that was not unmounted cleanly (the flag in its boot sector, or the
    // clean-shutdown bit of the second FAT entry cleared), and fields that do not add up.
    ASSERT_NO_FATAL_FAILURE(Format(m_source, {"-F", "32"}));
    ASSERT_EQ(MapImage(m_source, "FAT32").m_reason, "");
    const std::string pristine = ReadBytes(m_source, 0, 1 << 20);
    const std::uint64_t fat = static_cast<unsigned char>(pristine[14]) * 512u;
    const CDamage cases[] = {
        {"marked in its boot sector", 65, std::string(1, static_cast<char>(pristine[65] | 1)), usedspace::kFatMarkedForCheck},
        {"not shut down cleanly", fat + 7, "\x07", usedspace::kFatMarkedForCheck},
        {"another media byte in the FAT", fat, "\xF0", usedspace::kFatUnsound},
        {"its root folder's cluster free", fat + 8, std::string(4, '\0'), usedspace::kFatUnsound},
        {"a FAT too small for its clusters", 36, std::string("\x10\0\0\0", 4), usedspace::kFatBootSectorUnsound},
        {"more sectors than its partition", 32, "\xFF\xFF\xFF\x0F", usedspace::kFatBootSectorUnsound},
        {"clusters of 3 sectors", 13, "\x03", usedspace::kFatBootSectorUnsound},
        {"the active FAT past the last", 40, "\x83", usedspace::kFatBootSectorUnsound},
        {"its root folder past the last cluster", 44, "\xFF\xFF\xFF\x0F", usedspace::kFatBootSectorUnsound},
    };
    for (const CDamage& c : cases) {
        PatchFile(m_source, c.offset, c.bytes);
        EXPECT_EQ(MapImage(m_source, "FAT32").m_reason, c.reason) << c.what;
        PatchFile(m_source, c.offset, pristine.substr(c.offset, c.bytes.size()));
    }
}

}  // namespace
