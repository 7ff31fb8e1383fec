// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/NtfsBootSector.h"
#include "platform/volume/RawVolume.h"

#include <optional>
#include <span>
#include <string>

// The growth of an NTFS copy to the size of its partition. The engine's copy is the
// source's volume: its boot sector, its allocation bitmap ($Bitmap) and its backup boot
// sector describe the source's size, and the new space cannot be used. ntfsresize of
// ntfs-3g grows the volume; nothing here writes NTFS structures beyond the boot sector and
// its backup.

// The names a growth tells the user: the partitions, and the device or image file of the
// copy (what to hand ntfsresize or ntfsfix).
struct CGrowthNames {
    std::string source;       // "C:"
    std::string destination;  // "D:"
    std::string device;
};

// Grows the copy on copy (the destination's own file, opened again for reading and
// writing, never by its name) from source's size to target sectors, when its first sector
// is boot, the boot sector the engine copied. The tools get copy's file. The copy is then a
// sound NTFS volume of target sectors, or, where it cannot grow (a tool missing, a volume
// ntfsresize or ntfs-3g refuses), the source's volume with its boot sector also in the
// partition's last sector. Returns the line that tells the user what became of a copy that
// did not grow: it keeps the source's capacity (and what to run), or the resize began and
// did not complete (and the copy must be checked); or of one that grew to fewer clusters
// than its partition holds, since NTFS counts no more; nothing when it grew to its
// partition's size or its first sector is not boot.
std::optional<std::string> GrowNtfsCopy(platform::IVolume& copy, std::span<const std::byte> boot,
                                        const CNtfsGeometry& source, std::uint64_t target,
                                        const CGrowthNames& names);
