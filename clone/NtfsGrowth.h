// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/volume/RawVolume.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>

// The completion of an NTFS clone onto a larger partition. The engine's copy announces
// the destination's size in its boot sector, while its allocation bitmap ($Bitmap) and
// its backup boot sector still describe the source's size: tools call such a volume
// inconsistent and the new space cannot be used. ntfsresize of ntfs-3g grows the volume
// to the announced size; nothing here writes NTFS structures beyond the boot sector.

// Completes the copy on request's destination (destination, the device or image file it
// was written on; nothing when it has none), which the engine has flushed and closed,
// when the source is NTFS and the size-field list announces more sectors than the
// source's own boot sector does. sourceBoot is that boot sector as the copy read it,
// before its size field was changed; empty when it could not be read (the source is not
// read again: on a failing disk each read of a bad sector costs). The copy is then a
// sound NTFS volume of the announced size, or, where it cannot grow (a tool missing, a
// volume ntfsresize or ntfs-3g refuses, a partition smaller than its size field), of the
// source's size. Returns the line that tells the user the copy keeps the source's
// capacity and what to run; nothing when the copy grew or there was nothing to grow.
std::optional<std::string> GrowNtfsCopy(const CCloneRequest& request, std::span<const std::byte> sourceBoot,
                                        const std::optional<platform::CDriveDevice>& destination);
