// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

// Logical drives: letters, their types and sizes, and the Windows directory.
namespace platform {

constexpr unsigned kDriveUnknown = 0;
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveRemovable = 2;
constexpr unsigned kDriveFixed = 3;
constexpr unsigned kDriveRemote = 4;
constexpr unsigned kDriveCdrom = 5;
constexpr unsigned kDriveRamdisk = 6;

// What a Linux user knows a drive by.
struct CDriveDetails {
    std::string device;      // the device node ("/dev/sdc1") or the image file
    std::string label;       // of the file system on it; empty when it has none
    std::string mountPoint;  // where it is mounted; empty when it is not
};

// The machine's drives as the programs see them; the probe and the dialogs take one, so
// tests can hand in a double.
class IDriveTable {
public:
    virtual ~IDriveTable() = default;

    // Fills buffer with the root strings ("C:\" and a zero byte each) of every drive in
    // letter order, ended by an empty string. Returns the length without the final zero;
    // when the buffer is too small, returns the size needed (final zero included, so
    // always more than buffer.size()) and leaves it unfilled.
    virtual std::uint32_t GetLogicalDriveStrings(std::span<char> buffer) = 0;

    // The drive type of a root path such as "C:\"; kDriveNoRootDir for a letter without
    // a drive, or whose device has disappeared.
    virtual unsigned GetDriveType(const std::string& rootPath) = 0;

    // Free and total bytes of the volume named "C:" (or "C:\"). False when unknown; the
    // outputs are then left as they were.
    virtual bool GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller,
                                    std::uint64_t& totalBytes, std::uint64_t& totalFree) = 0;

    // The Windows directory, such as "C:\WINDOWS".
    virtual std::string GetWindowsDirectory() = 0;

    // The device, label and mount point of the drive named "C:" (or "C:\"); false for a
    // letter without a drive (or whose device has disappeared), details then unchanged.
    virtual bool GetDriveDetails(const std::string& volume, CDriveDetails& details) = 0;
};

// The drives of this machine (or of the simulated one under VANTREL_SYSTEM_ROOT).
IDriveTable& MachineDrives();

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
