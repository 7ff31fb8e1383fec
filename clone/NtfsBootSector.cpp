// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsBootSector.h"

#include "clone/SizeField.h"
#include "platform/volume/SectorSize.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kNtfsOemName[] = "NTFS    ";

// True for the boot sector of a FAT or exFAT file system, whose fields lie where NTFS keeps
// its size field: a source formatted anew since the probe called it NTFS.
bool IsFatBootSector(std::span<const std::byte> sector)
{
    auto text = [&](std::size_t offset, const char* expected) {
        return std::memcmp(sector.data() + offset, expected, std::strlen(expected)) == 0;
    };
    return text(3, "EXFAT   ") || text(54, "FAT") || text(82, "FAT32");
}

}  // namespace

std::optional<CNtfsGeometry> NtfsGeometry(std::span<const std::byte> boot)
{
    if (boot.size() < platform::kSectorSize || std::memcmp(boot.data() + 3, kNtfsOemName, 8) != 0)
        return std::nullopt;
    CNtfsGeometry geometry;
    geometry.bytesPerSector = std::to_integer<std::uint32_t>(boot[11]) | std::to_integer<std::uint32_t>(boot[12]) << 8;
    // Clusters of more than 128 sectors are counted as 2 to the power of 256 minus the byte.
    unsigned clusterByte = std::to_integer<unsigned>(boot[13]);
    if (clusterByte <= 128)
        geometry.sectorsPerCluster = clusterByte;
    else if (256 - clusterByte < 32)
        geometry.sectorsPerCluster = 1u << (256 - clusterByte);
    geometry.sectors = SizeFieldSectors(ReadSizeField(boot));
    const std::uint32_t bps = geometry.bytesPerSector;
    if (bps < platform::kSectorSize || bps > 4096 || (bps & (bps - 1)) != 0 || geometry.sectorsPerCluster == 0)
        return std::nullopt;
    return geometry;
}

void ApplySizeFieldList(std::span<std::byte> firstSector, const std::string& list, std::uint64_t partitionBytes)
{
    if (firstSector.size() < platform::kSectorSize || NtfsGeometry(firstSector) || IsFatBootSector(firstSector))
        return;
    const SizeFieldBytes field = ParseByteList(list);
    const std::uint64_t sectors = SizeFieldSectors(field);
    if (sectors != 0 && sectors < partitionBytes / platform::kSectorSize)
        WriteSizeField(firstSector, field);
}

std::uint64_t CopySizeField(const CNtfsGeometry& source, std::uint64_t partitionBytes)
{
    const std::uint64_t partitionSectors = partitionBytes / source.bytesPerSector;
    if (partitionSectors == 0)
        return source.sectors;
    const std::uint64_t mostSectors = kNtfsMostClusters * source.sectorsPerCluster;
    return std::max(std::min(partitionSectors - 1, mostSectors), source.sectors);
}
