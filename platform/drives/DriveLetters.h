// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform {

// The letter table (HKLM SYSTEM\MountedDevices). A letter whose device or image file has
// disappeared stays in the table, reserved for it: it is not a drive (not in the logical
// drive strings) and opening it fails, until the device is back.
//
// A lettered device as stored: its path and, where the path may come to stand for another
// device, the fingerprint that the device opened there must have.
struct CDriveDevice {
    std::string path;
    std::string fingerprint;  // empty: the path alone tells the device

    bool operator==(const CDriveDevice&) const = default;
};

// The device or image file of letter (either case); nothing for a letter without one and
// for a network drive, which has no raw device.
std::optional<CDriveDevice> DriveDevice(char letter);
// As DriveDevice, from the stored table alone: no device is discovered or given a letter.
// For a program at boot, before udev has made every device's stable name.
std::optional<CDriveDevice> StoredDriveDevice(char letter);
// Every letter and its device as stored; a network drive's is "network:" and its source.
// On the real machine new devices get their letters first.
std::map<char, std::string> DriveLetters();
// Why the letter table cannot be read (a damaged or unreadable registry store), or nothing
// when it can; a table that cannot be read has no drives.
std::optional<std::string> LetterTableError();
// False with a one-line reason when the letter is outside A-Z (lower case is taken as
// upper), already taken, the path does not exist or is neither a file nor a block device,
// it is already another letter's device, or the table is locked by another process. Stores
// the absolute path without resolving links, so a stable name such as
// /dev/disk/by-partuuid/... stays one; any other name gets the fingerprint of its device.
bool AssignDriveLetter(char letter, const std::string& device, std::string& error);
// False with a one-line reason when the letter is not assigned. On the real machine a
// device still present gets a letter again at the next look at the drives.
bool RemoveDriveLetter(char letter, std::string& error);

// The letter of a drive name "C:" or root path "C:\" (either case), or nothing.
std::optional<char> ParseDriveName(const std::string& text);

}  // namespace platform
