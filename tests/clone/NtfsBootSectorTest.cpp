// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsBootSector.h"
#include "clone/SizeField.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

std::array<std::byte, 512> BootSector(std::uint16_t bytesPerSector, std::uint8_t clusterByte, std::uint64_t sectors,
                                      const char* oem = "NTFS    ")
{
    std::array<std::byte, 512> boot{};
    std::memcpy(boot.data() + 3, oem, 8);
    boot[11] = std::byte(bytesPerSector & 0xFF);
    boot[12] = std::byte(bytesPerSector >> 8);
    boot[13] = std::byte(clusterByte);
    WriteSizeField(boot, SizeFieldOf(sectors));
    return boot;
}

TEST(NtfsGeometry, ReadsTheSizesNtfsUsesAndNothingElse)
{
    std::optional<CNtfsGeometry> geometry = NtfsGeometry(BootSector(4096, 1, 24575));
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->bytesPerSector, 4096u);
    EXPECT_EQ(geometry->sectorsPerCluster, 1u);
    EXPECT_EQ(geometry->sectors, 24575u);
    // Clusters of more than 128 sectors: 2 to the power of 256 minus the byte.
    EXPECT_EQ(NtfsGeometry(BootSector(512, 0xF4, 1))->sectorsPerCluster, 4096u);

    EXPECT_FALSE(NtfsGeometry(BootSector(512, 8, 1, "MSDOS5.0")));
    for (std::uint16_t bps : {std::uint16_t{256}, std::uint16_t{1000}, std::uint16_t{8192}})
        EXPECT_FALSE(NtfsGeometry(BootSector(bps, 8, 1))) << bps;
    for (std::uint8_t clusterByte : {std::uint8_t{0x00}, std::uint8_t{0xE0}})
        EXPECT_FALSE(NtfsGeometry(BootSector(512, clusterByte, 1))) << int{clusterByte};
    EXPECT_FALSE(NtfsGeometry(std::span<const std::byte>(BootSector(512, 8, 1)).first(511)));
}

// mkntfs gives a partition of B bytes the size field B / bytes per sector - 1 (checked
// against real images in the tests of both programs); a copy must get the same.
TEST(CopySizeField, CountsThePartitionsWholeSectorsOfTheSourcesSizeButTheLast)
{
    const CNtfsGeometry small512{512, 8, 131071};   // 64 MiB
    const CNtfsGeometry small4096{4096, 1, 16383};  // 64 MiB
    EXPECT_EQ(CopySizeField(small512, 96 * kMiB), 196607u);
    EXPECT_EQ(CopySizeField(small4096, 96 * kMiB), 24575u);
    EXPECT_EQ(CopySizeField(small512, 96 * kMiB + 1536), 196610u);
    EXPECT_EQ(CopySizeField(small4096, 96 * kMiB + 1536), 24575u);
    EXPECT_EQ(CopySizeField(small512, 64 * kMiB), 131071u);
    // Never fewer sectors than the source's own volume: the copy then is that volume.
    EXPECT_EQ(CopySizeField(small512, 32 * kMiB), 131071u);
    EXPECT_EQ(CopySizeField(small4096, 4095), 16383u);
    EXPECT_EQ(CopySizeField(small512, 0), 131071u);
    // Never more clusters than NTFS counts: 2 TiB of 512-byte clusters, 16 TiB of 4 KiB.
    constexpr std::uint64_t kTiB = std::uint64_t{1} << 40;
    EXPECT_EQ(CopySizeField({512, 1, 131071}, 3 * kTiB), 0xFFFFFFFFu);
    EXPECT_EQ(CopySizeField({512, 1, 131071}, 2 * kTiB), 0xFFFFFFFFu);
    EXPECT_EQ(CopySizeField({512, 1, 131071}, 2 * kTiB - 512), 0xFFFFFFFEu);
    EXPECT_EQ(CopySizeField(small512, 20 * kTiB), 0xFFFFFFFFull * 8);
    EXPECT_EQ(CopySizeField(small4096, 20 * kTiB), 0xFFFFFFFFu);
}

TEST(SizeField, ReadsAndWritesEightBytesLeastSignificantFirst)
{
    std::array<std::byte, 512> boot{};
    WriteSizeField(boot, SizeFieldOf(0x0102030405060708ull));
    EXPECT_EQ(boot[40], std::byte{0x08});
    EXPECT_EQ(boot[47], std::byte{0x01});
    EXPECT_EQ(boot[39], std::byte{0});
    EXPECT_EQ(boot[48], std::byte{0});
    EXPECT_EQ(SizeFieldSectors(ReadSizeField(boot)), 0x0102030405060708ull);
}

SizeFieldBytes Bytes(std::initializer_list<std::uint8_t> values)
{
    SizeFieldBytes bytes{};
    std::copy(values.begin(), values.end(), bytes.begin());
    return bytes;
}

TEST(ParseByteList, ReadsTheListsTheProbeWritesEachValueAsAtoiDoesKeepingItsLowByte)
{
    EXPECT_EQ(ParseByteList("0,16,229,3,0,0,0,0"), Bytes({0x00, 0x10, 0xE5, 0x03, 0, 0, 0, 0}));
    EXPECT_EQ(ParseByteList("1,2,3,4,"), Bytes({1, 2, 3, 4, 0}));
    EXPECT_EQ(ParseByteList(""), Bytes({0}));
    EXPECT_EQ(ParseByteList("300,-1, 7,12abc,abc,+5,256,99999999999999999999"),
              Bytes({44, 255, 7, 12, 0, 5, 0, 255}));
    std::string longList;
    for (int i = 1; i <= 300; ++i)
        longList += std::to_string(i) + ",";
    EXPECT_EQ(ParseByteList(longList), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
}

// A first sector the copy cannot grow takes the list as given, but never a size of 0 nor
// one its partition does not hold; an NTFS boot sector keeps its own field.
TEST(ApplySizeFieldList, WritesTheListOnlyIntoASectorThatIsNoNtfsBootSector)
{
    std::array<std::byte, 512> sector{};
    sector.fill(std::byte{0x5A});
    ApplySizeFieldList(sector, "0,16,229,3,0,0,0,0", (0x03E51000u + 1) * std::uint64_t{512});
    EXPECT_EQ(SizeFieldSectors(ReadSizeField(sector)), 0x03E51000u);
    EXPECT_EQ(sector[39], std::byte{0x5A});
    EXPECT_EQ(sector[48], std::byte{0x5A});

    for (const char* refused : {"", "0,0,0,0,0,0,0,0", "0,0,2,0,0,0,0,0"}) {
        SCOPED_TRACE(refused);
        std::array<std::byte, 512> untouched{};
        untouched.fill(std::byte{0x5A});
        ApplySizeFieldList(untouched, refused, 64 * kMiB);
        EXPECT_EQ(SizeFieldSectors(ReadSizeField(untouched)), 0x5A5A5A5A5A5A5A5Au);
    }

    std::array<std::byte, 512> boot = BootSector(512, 8, 131071);
    ApplySizeFieldList(boot, "255,255,3,0,0,0,0,0", 256 * kMiB);
    EXPECT_EQ(SizeFieldSectors(ReadSizeField(boot)), 131071u);

    // A source formatted FAT32, FAT16 or exFAT since it was probed keeps its own fields
    // there (the root folder's cluster of FAT32).
    const std::pair<std::size_t, const char*> others[] = {{82, "FAT32   "}, {54, "FAT16   "}, {54, "FAT12   "},
                                                         {3, "EXFAT   "}};
    for (const auto& [offset, label] : others) {
        SCOPED_TRACE(label);
        std::array<std::byte, 512> other = BootSector(512, 8, 0x0102030405060708ull, "MSDOS5.0");
        std::memcpy(other.data() + offset, label, 8);
        ApplySizeFieldList(other, "255,255,3,0,0,0,0,0", 256 * kMiB);
        EXPECT_EQ(SizeFieldSectors(ReadSizeField(other)), 0x0102030405060708ull);
    }
}

}  // namespace
