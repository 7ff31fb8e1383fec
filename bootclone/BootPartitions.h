// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/system/TerminationSignals.h"

#include <chrono>
#include <optional>
#include <string>

// Before a clone at boot: the partitions behind both letters must be there, and neither
// may be in use. The clone runs before the local file systems are mounted, while udev
// is still making the devices' names; a partition mounted all the same (the root file
// system, one mounted in the initramfs, an image mounted through a loop device) could
// change while it is read, or is held by the kernel.

// Why the clone must not be made.
struct CBootRefusal {
    std::string text;
    int signal = 0;  // the signal that stopped the wait; 0 for any other refusal
};

// Waits up to deviceBound for the device of each letter to appear, saying on the console
// what it waits for: the device at the letter's stored name, or the one that carries the
// letter's fingerprint under another name. Nothing when the clone may go on (a letter
// without any device is left to the clone's own open, which tells it); otherwise why it
// must not: the device did not appear, another device (or the device resized) stands at
// its name, it is mounted or held (itself or through a loop device over it), or one of
// signals arrived while waiting.
std::optional<CBootRefusal> CheckBootPartitions(const CCloneRequest& request, std::chrono::milliseconds deviceBound,
                                                const platform::CTerminationSignals& signals);

// "E: (/dev/disk/by-partuuid/...)": a drive and the device stored for it, for messages.
std::string DescribeBootDrive(const std::string& drive);
