// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What a copy of an NTFS volume needs of its boot sector: the sizes of its sectors and
// clusters and its size field, which counts the volume's sectors before its backup boot
// sector (mkntfs and Windows keep that backup in the partition's last sector).

struct CNtfsGeometry {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t sectors = 0;  // the size field
};

// The geometry of an NTFS boot sector (its first 512 bytes); nothing for any other sector:
// no "NTFS    " OEM name, or sector and cluster sizes that NTFS does not use.
std::optional<CNtfsGeometry> NtfsGeometry(std::span<const std::byte> boot);

// A first sector that the probe called NTFS but that is no NTFS boot sector the copy could
// grow (NtfsGeometry gives nothing) gets the size field of list, as given, where it
// announces at least one 512-byte sector and no more than a partition of partitionBytes
// holds before its last sector; any other sector, and the boot sector of a FAT or exFAT
// file system (whose own fields lie there), is left as it is.
void ApplySizeFieldList(std::span<std::byte> firstSector, const std::string& list, std::uint64_t partitionBytes);

// NTFS numbers its clusters in 32 bits: Windows mounts no volume of more clusters, and
// mkntfs makes none.
inline constexpr std::uint64_t kNtfsMostClusters = 0xFFFFFFFF;

// The size field of a copy of the volume source on a partition of partitionBytes: every
// whole sector of the source's size in the partition but the last, which keeps the backup
// boot sector, as mkntfs formats a partition, but no more than kNtfsMostClusters of the
// source's clusters; the source's own field where that is no more (the copy then is the
// source's volume as it is).
std::uint64_t CopySizeField(const CNtfsGeometry& source, std::uint64_t partitionBytes);
