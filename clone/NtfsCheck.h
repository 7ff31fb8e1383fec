// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

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
