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
};

// The drives of this machine (or of the simulated one under VANTREL_SYSTEM_ROOT).
IDriveTable& MachineDrives();

// The letter table (HKLM SYSTEM\MountedDevices). A letter whose device or image file has
// disappeared stays in the table, reserved for it: it is not a drive (not in the logical
// drive strings) and opening it fails, until the device is back.
//
// The device or image file of letter (either case); nothing for a letter without one and
// for a network drive, which has no raw device.
std::optional<std::string> DriveDevice(char letter);
// As DriveDevice, from the stored table alone: no device is discovered or given a letter.
// For a program at boot, before udev has made every device's stable name.
std::optional<std::string> StoredDriveDevice(char letter);
// Every letter and its device as stored; a network drive's is "network:" and its source.
// On the real machine new devices get their letters first.
std::map<char, std::string> DriveLetters();
// False with a one-line reason when the letter is outside A-Z (lower case is taken as
// upper), already taken, the path does not exist or is neither a file nor a block device,
// or it is already another letter's device. Stores the absolute path without resolving
// links, so a stable name such as /dev/disk/by-partuuid/... stays one.
bool AssignDriveLetter(char letter, const std::string& device, std::string& error);
// False with a one-line reason when the letter is not assigned. On the real machine a
// device still present gets a letter again at the next look at the drives.
bool RemoveDriveLetter(char letter, std::string& error);

// The letter of a drive name "C:" or root path "C:\" (either case), or nothing.
std::optional<char> ParseDriveName(const std::string& text);

}  // namespace platform
