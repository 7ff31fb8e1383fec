// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/ByteRanges.h"
#include "platform/volume/RawVolume.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What a copy of a volume must hold to be the same volume: the parts its file system
// uses. Anything the reading does not fully understand gets no map, and the caller then
// copies the whole partition.
namespace usedspace {

// Why a volume has no map; each completes a line of the report.
inline constexpr const char* kUnknownFileSystem = "unknown file system";
inline constexpr const char* kFat16CopiedWhole = "FAT16 is copied whole";
inline constexpr const char* kBootSectorUnreadable = "the boot sector cannot be read";
inline constexpr const char* kNtfsBootSectorUnsound = "the NTFS boot sector does not add up";
inline constexpr const char* kMftUnreadable = "the MFT cannot be read";
inline constexpr const char* kVolumeRecordUnreadable = "the $Volume record cannot be read";
inline constexpr const char* kNtfsMarkedForCheck = "the NTFS volume is marked for a check";
inline constexpr const char* kRootFolderUnreadable = "the root folder cannot be read";
inline constexpr const char* kHiberfileUnreadable = "hiberfil.sys cannot be read";
inline constexpr const char* kNtfsHibernated = "the NTFS volume is hibernated";
inline constexpr const char* kJournalUnreadable = "the $LogFile cannot be read";
inline constexpr const char* kNtfsNotShutDown = "the NTFS volume was not shut down cleanly";
inline constexpr const char* kBitmapUnreadable = "the $Bitmap cannot be read";
inline constexpr const char* kBitmapTooShort = "the $Bitmap is shorter than the volume";
inline constexpr const char* kBitmapUnsound = "the $Bitmap leaves system files unused";
inline constexpr const char* kBitmapMissesFiles = "the $Bitmap leaves clusters of files unused";
inline constexpr const char* kFileRunsUnsound = "the clusters of a file do not add up";
inline constexpr const char* kFatBootSectorUnsound = "the FAT32 boot sector does not add up";
inline constexpr const char* kFatMarkedForCheck = "the FAT32 volume is marked for a check";
inline constexpr const char* kFatUnreadable = "the FAT cannot be read";
inline constexpr const char* kFatUnsound = "the FAT does not add up";

struct CUsedSpace {
    std::optional<CByteRanges> m_ranges;  // nothing: copy the whole partition
    std::string m_reason;                 // why there are no ranges

    static CUsedSpace Refused(const char* reason) { return {std::nullopt, reason}; }
};

// The used space of source, a partition that the volume probe found to hold fileSystem
// ("NTFS", "FAT32", "FAT16"), read through source itself: for NTFS the boot sector, the
// clusters its $Bitmap marks as used and the backup boot sector at its end; for FAT32 the
// reserved sectors, every FAT and the clusters any mirrored FAT marks as allocated. Ranges
// closer than joinGap bytes are joined into one. No ranges, with the reason, for any other
// file system, a volume that does not add up, one marked for a check, hibernated or whose
// journal holds changes not yet written, and one whose structures cannot be read. Leaves
// source's position anywhere.
CUsedSpace MapUsedSpace(platform::IVolume& source, const std::string& fileSystem, std::uint64_t joinGap = 0);

// The used space of an NTFS or a FAT32 volume whose first 512 bytes are bootSector, as
// MapUsedSpace tells it.
CUsedSpace MapNtfsUsedSpace(platform::IVolume& source, std::span<const std::byte> bootSector, std::uint64_t joinGap);
CUsedSpace MapFat32UsedSpace(platform::IVolume& source, std::span<const std::byte> bootSector, std::uint64_t joinGap);

}  // namespace usedspace
