// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/volume/RawVolume.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

// The completion of an NTFS copy, once every byte is written and flushed and before the
// clone may say "Done": the copy grows to the size of its partition, then it must pass the
// consistency check of NTFS. Both work on the files the engine opened, never on a path.

struct CNtfsCompletion {
    // Lines for the report and the completion message: the copy keeps the source's
    // capacity, its resize did not complete, it is as good as its source, it was not checked.
    std::vector<std::string> notes;
    // Set when the copy fails the check while its source passes: the message that says the
    // copy is not usable and what to do. The clone must not be told as done.
    std::optional<std::string> notUsable;
};

// Completes request's copy on destination (the engine's own volume, flushed, still held
// exclusively) of source (still open), where boot is the first sector the engine copied
// (empty when the source's first sector was not copied) and device names the destination's
// device or image file in the notes.
CNtfsCompletion CompleteNtfsCopy(const CCloneRequest& request, const platform::IVolume& source,
                                 const platform::IVolume& destination, std::span<const std::byte> boot,
                                 const std::string& device);
