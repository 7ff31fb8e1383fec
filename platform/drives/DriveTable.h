// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Logical drives as the programs see them: their types, sizes, free space and details, and
// the Windows directory.
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

}  // namespace platform
