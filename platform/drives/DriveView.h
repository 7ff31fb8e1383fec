// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the machine's lettered drives are right now: the letter table joined with the
// devices and mounts the kernel reports.
namespace platform {

// Where the kernel's view of the machine is read; tests point these at fake trees.
struct CDriveSources {
    std::string sysfsRoot = "/sys";
    std::string mountInfo = "/proc/self/mountinfo";
    std::string devDir = "/dev";  // device nodes, and the stable names under disk/by-*
};

struct CDriveEntry {
    char letter = 0;
    std::string device;       // as stored in the letter table
    std::string fingerprint;  // as stored beside it; empty when the name alone tells the device
    unsigned type = 0;        // kDriveFixed, ...; kDriveNoRootDir when the device is gone
    bool present = false;     // false: the device or file has disappeared
    bool replaced = false;    // gone, and its name now stands for another device
    std::uint64_t size = 0;  // bytes of the device or file; of the file system for a network drive
    std::string mountPoint;  // where it is mounted; empty when it is not
};

struct CDriveView {
    std::vector<CDriveEntry> drives;  // every lettered drive, present or not, in letter order
    std::optional<char> systemDrive;  // the drive holding "/", when one does
    // Why the letter table could not be read; there are no drives then, and nothing was
    // given a letter.
    std::string tableError;
    // Devices that should have a letter but got none: every letter was held, or (with
    // lockError) the table could not be locked to store one.
    std::vector<std::string> unlettered;
    std::string lockError;

    const CDriveEntry* Find(char letter) const;
};

// The assigned letters only, as under a system root: nothing is discovered.
CDriveView AssignedDrives(const CDriveSources& sources);

// AssignedDrives under a system root, DiscoverDrives of this machine otherwise.
CDriveView CurrentDrives();

// The stored letters as they are now, with nothing discovered: what a program at boot
// sees before udev has named every device.
CDriveView StoredDrives();

// Where this machine's view is read. A simulated machine whose folder holds a file
// "mountinfo" has that file as its mount table; the kernel's otherwise.
CDriveSources MachineSources();

}  // namespace platform
