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
    std::string device;      // as stored in the letter table
    unsigned type = 0;       // kDriveFixed, ...; kDriveNoRootDir when the device is gone
    bool present = false;    // false: the device or file has disappeared
    std::uint64_t size = 0;  // bytes of the device or file; of the file system for a network drive
    std::string mountPoint;  // where it is mounted; empty when it is not
};

struct CDriveView {
    std::vector<CDriveEntry> drives;  // every lettered drive, present or not, in letter order
    std::optional<char> systemDrive;  // the drive holding "/", when one does

    const CDriveEntry* Find(char letter) const;
};

// The assigned letters only, as under a system root: nothing is discovered.
CDriveView AssignedDrives(const CDriveSources& sources);

// Gives every new partition, whole disk without a partition table and network mount a
// letter, stores the new letters (when the store may be written), and describes them all.
CDriveView DiscoverDrives(const CDriveSources& sources);

// AssignedDrives under a system root, DiscoverDrives of this machine otherwise.
CDriveView CurrentDrives();

// The stored letters as they are now, with nothing discovered: what a program at boot
// sees before udev has named every device.
CDriveView StoredDrives();

// Where this machine's view is read. A simulated machine whose folder holds a file
// "mountinfo" has that file as its mount table; the kernel's otherwise.
CDriveSources MachineSources();

}  // namespace platform
