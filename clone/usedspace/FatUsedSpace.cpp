// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/UsedSpace.h"
#include "clone/usedspace/VolumeBytes.h"
#include "platform/volume/SectorSize.h"
#include "probe/BootSector.h"

#include <algorithm>
#include <bit>

namespace usedspace {

namespace {

constexpr std::uint32_t kEntryMask = 0x0FFF'FFFF;  // FAT32 entries use 28 bits
constexpr std::uint32_t kBadCluster = 0x0FFF'FFF7;
constexpr std::uint32_t kCleanShutdown = 0x0800'0000;  // in entry 1; cleared while mounted
constexpr std::uint32_t kNoHardError = 0x0400'0000;
constexpr std::size_t kFirstDataCluster = 2;
constexpr std::size_t kEntriesPerChunk = 1 << 18;  // of all FATs together

// The layout of a FAT32 volume, from its boot sector.
struct CFatLayout {
    std::uint64_t m_sectorSize = 0;
    std::uint64_t m_clusterSize = 0;
    std::uint64_t m_fatOffset = 0;  // of the first FAT that counts
    std::uint64_t m_fatBytes = 0;
    std::uint64_t m_fats = 0;  // that count, one after the other
    std::uint64_t m_dataOffset = 0;
    std::uint64_t m_clusters = 0;
    std::uint32_t m_rootCluster = 0;
    std::uint8_t m_media = 0;
    bool m_dirty = false;
};

std::optional<CFatLayout> ReadLayout(std::span<const std::byte> boot, std::uint64_t partitionSize)
{
    if (boot.size() < platform::kSectorSize)
        return std::nullopt;
    auto byteAt = [&](std::size_t offset) { return std::to_integer<std::uint32_t>(boot[offset]); };
    std::uint64_t sectorSize = Le16(boot, 11);
    std::uint64_t perCluster = byteAt(13);
    std::uint64_t reserved = Le16(boot, 14);
    std::uint64_t fats = byteAt(16);
    std::uint64_t totalSectors = Le32(boot, bootsector::kFatTotalSectors);
    std::uint64_t fatSectors = Le32(boot, 36);
    std::uint16_t extendedFlags = Le16(boot, 40);
    // Bit 7: only one FAT is kept, the one numbered in bits 0 to 3; else all are mirrors.
    const bool mirrored = (extendedFlags & 0x80) == 0;
    std::uint64_t activeFat = mirrored ? 0 : (extendedFlags & 0x0F);
    // A FAT32 boot sector has no root-folder entries, 16-bit sector count or 16-bit FAT size.
    if (Le16(boot, 510) != 0xAA55 || sectorSize < platform::kSectorSize || sectorSize > 4096 ||
        !std::has_single_bit(sectorSize) || perCluster == 0 || perCluster > 128 || !std::has_single_bit(perCluster) ||
        reserved == 0 || fats == 0 || activeFat >= fats || Le16(boot, 17) != 0 || Le16(boot, 19) != 0 ||
        Le16(boot, 22) != 0 || fatSectors == 0 || totalSectors > partitionSize / sectorSize)
        return std::nullopt;
    std::uint64_t dataSector = reserved + fats * fatSectors;
    if (dataSector >= totalSectors)
        return std::nullopt;
    CFatLayout layout;
    layout.m_sectorSize = sectorSize;
    layout.m_clusterSize = sectorSize * perCluster;
    layout.m_fatOffset = (reserved + activeFat * fatSectors) * sectorSize;
    layout.m_fatBytes = fatSectors * sectorSize;
    layout.m_fats = mirrored ? fats : 1;
    layout.m_dataOffset = dataSector * sectorSize;
    layout.m_clusters = (totalSectors - dataSector) / perCluster;
    layout.m_rootCluster = Le32(boot, 44);
    layout.m_media = static_cast<std::uint8_t>(byteAt(21));
    layout.m_dirty = (byteAt(65) & 1) != 0;
    if (layout.m_clusters == 0 || (layout.m_clusters + kFirstDataCluster) * 4 > fatSectors * sectorSize ||
        layout.m_rootCluster < kFirstDataCluster || layout.m_rootCluster - kFirstDataCluster >= layout.m_clusters)
        return std::nullopt;
    return layout;
}

}  // namespace

CUsedSpace MapFat32UsedSpace(platform::IVolume& source, std::span<const std::byte> boot, std::uint64_t joinGap)
{
    std::optional<CFatLayout> layout = ReadLayout(boot, source.Size());
    if (!layout)
        return CUsedSpace::Refused(kFatBootSectorUnsound);
    if (layout->m_dirty)
        return CUsedSpace::Refused(kFatMarkedForCheck);

    // The reserved sectors and every FAT, up to the first cluster.
    CByteRanges ranges(source.Size(), joinGap);
    ranges.Add(0, layout->m_dataOffset);
    const std::uint64_t entries = layout->m_clusters + kFirstDataCluster;
    // Mirrors that differ leave the choice of a FAT to the check: a cluster is used when
    // any of them says so, so that the copy holds the files of whichever is chosen.
    const std::size_t perChunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(kEntriesPerChunk / layout->m_fats, entries));
    std::vector<std::byte> chunk(perChunk * 4 * layout->m_fats);
    std::uint64_t runStart = 0;
    bool inRun = false;
    bool rootUsed = false;
    for (std::uint64_t first = 0; first < entries; first += perChunk) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(perChunk, entries - first));
        for (std::uint64_t fat = 0; fat < layout->m_fats; ++fat) {
            std::span<std::byte> part = std::span(chunk).subspan(fat * perChunk * 4, count * 4);
            if (!ReadVolumeAt(source, layout->m_fatOffset + fat * layout->m_fatBytes + first * 4, part))
                return CUsedSpace::Refused(kFatUnreadable);
        }
        for (std::size_t i = 0; i < count; ++i) {
            std::uint64_t cluster = first + i;
            std::uint32_t entry = Le32(chunk, i * 4) & kEntryMask;
            if (cluster == 0 && (entry & 0xFF) != layout->m_media)
                return CUsedSpace::Refused(kFatUnsound);
            if (cluster == 1 && (entry & (kCleanShutdown | kNoHardError)) != (kCleanShutdown | kNoHardError))
                return CUsedSpace::Refused(kFatMarkedForCheck);
            if (cluster < kFirstDataCluster)
                continue;
            // A FAT that leaves the root folder free is no FAT of this volume.
            bool used = false;
            bool usedByAll = true;
            for (std::uint64_t fat = 0; fat < layout->m_fats; ++fat) {
                entry = Le32(chunk, static_cast<std::size_t>((fat * perChunk + i) * 4)) & kEntryMask;
                bool usedHere = entry != 0 && entry != kBadCluster;
                used = used || usedHere;
                usedByAll = usedByAll && usedHere;
            }
            if (cluster == layout->m_rootCluster)
                rootUsed = usedByAll;
            if (used == inRun)
                continue;
            if (used)
                runStart = cluster;
            else
                ranges.Add(layout->m_dataOffset + (runStart - kFirstDataCluster) * layout->m_clusterSize,
                           (cluster - runStart) * layout->m_clusterSize);
            inRun = used;
        }
    }
    if (inRun)
        ranges.Add(layout->m_dataOffset + (runStart - kFirstDataCluster) * layout->m_clusterSize,
                   (entries - runStart) * layout->m_clusterSize);
    if (!rootUsed)
        return CUsedSpace::Refused(kFatUnsound);
    return {std::move(ranges), ""};
}

}  // namespace usedspace
