// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <chrono>
#include <string>

// The read-only consistency check of an NTFS volume by ntfs-3g (ntfsfix --no-action): it
// mounts the volume read-only, compares $MFT with its mirror and looks at the alternate
// boot sector in the partition's last sector.

enum class NtfsCheckResult { Passes, Fails, NotRun };

struct CNtfsCheck {
    NtfsCheckResult result = NtfsCheckResult::NotRun;
    std::string whyNotRun;  // CheckNotRunText, when not run
};

// Checks the volume on volume's own file (handed to ntfsfix, never named by a path).
CNtfsCheck CheckNtfsVolume(const platform::IVolume& volume);

// How long a run of an NTFS tool that only reads may take before it is given up and
// killed: many times what reading the metadata of a large volume on a slow disk takes,
// while a tool caught in a loop on a damaged volume would hold the boot for ever. A
// resize, which writes, is never cut short.
std::chrono::milliseconds ReadingToolBound();
