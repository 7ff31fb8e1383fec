// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveView.h"

#include <optional>
#include <string>

// A lettered device looked for by its fingerprint where its stored name no longer leads
// to it: a loop device attached under another number, a disk found in another order.
namespace platform {

// How what stands at a letter's stored name now compares with the letter's fingerprint.
enum class FingerprintChange {
    Same,      // the letter's device, or a letter without a fingerprint
    Absent,    // nothing there (no node, or a node without a device behind it)
    Resized,   // the letter's device, with another size
    Replaced,  // another device, or another file
};

FingerprintChange CompareFingerprint(const std::string& path, const std::string& fingerprint,
                                     const CDriveSources& sources);

// The node of the one present block device that carries fingerprint, where the
// fingerprint names that device alone; nothing when none does, or more than one.
std::optional<std::string> FindFingerprintedDevice(const std::string& fingerprint, const CDriveSources& sources);

// The device of letter for a clone at boot: as stored, or, where no device with the
// letter's fingerprint stands at the stored name, the present block device that carries
// it. The stored table alone is read and nothing is written to it. Nothing for a letter
// without a device and for a network drive.
std::optional<CDriveDevice> LocatedDriveDevice(char letter);

}  // namespace platform
