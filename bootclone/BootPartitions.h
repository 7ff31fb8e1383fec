// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"

#include <chrono>
#include <optional>
#include <string>

// Before a clone at boot: the partitions behind both letters must be there, and neither
// may be mounted. The clone runs before the local file systems are mounted, while udev
// is still making the devices' names; a partition mounted all the same (the root file
// system, or one mounted in the initramfs) could change while it is read, or is held by
// the kernel.

// Waits up to deviceBound for the device of each letter to appear. Nothing when the clone
// may go on (a letter without any device is left to the clone's own open, which tells
// it); otherwise the message that says why it must not.
std::optional<std::string> CheckBootPartitions(const CCloneRequest& request, std::chrono::milliseconds deviceBound);

// "E: (/dev/disk/by-partuuid/...)": a drive and the device stored for it, for messages.
std::string DescribeBootDrive(const std::string& drive);
