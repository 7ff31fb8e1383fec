// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"

#include <string>
#include <vector>

// Who uses a volume besides a clone: a mount of it, a device stacked on it, and the same
// through every loop device over it (LoopClaims.h).
namespace platform {

struct CVolumeUse {
    std::string through;               // the loop device (or its partition) in use; empty: the volume itself
    std::string mountPoint;            // where it is mounted; empty when it is not
    bool readOnly = false;             // that mount is read-only
    std::vector<std::string> holders;  // devices stacked on it (device mapper, md), by kernel name
    bool claimed = false;              // a loop device opened exclusively by another program

    bool operator==(const CVolumeUse&) const = default;
};

// Every use of the block device or image file at path (links followed), as the mount
// table of sources and sysfs show it; a loop device that is neither mounted nor held is
// tried with an exclusive open. Empty when there is none or path does not exist.
std::vector<CVolumeUse> VolumeUses(const std::string& path, const CDriveSources& sources);

// The use to tell a user of: the first read-write mount, else the first mount, else the
// first use; uses is not empty.
const CVolumeUse& UseToTell(const std::vector<CVolumeUse>& uses);

// "mounted on /mnt/data through /dev/loop2", "held by dm-0", "opened exclusively by
// another program through /dev/loop2".
std::string DescribeUse(const CVolumeUse& use);

}  // namespace platform
