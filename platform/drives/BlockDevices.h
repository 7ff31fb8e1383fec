// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Block devices as the kernel lists them under sysfs (<sysfs>/block, <sysfs>/dev/block).
namespace platform {

struct CBlockDevice {
    std::string name;                 // kernel name, "sda1"
    std::string disk;                 // the whole disk it is on, "sda"; a disk's own name
    std::string devno;                // "8:1"
    unsigned partition = 0;           // partition number; 0 for a whole disk
    bool hasPartitions = false;       // a whole disk whose partitions the kernel lists
    bool hidden = false;              // a disk the kernel hides (a path of a multipath disk)
    std::uint64_t size = 0;           // bytes
    unsigned type = 0;                // drive type (kDriveFixed, kDriveCdrom, ...)
};

// Every disk and partition, disks in the natural order of their names, each followed by
// its partitions in number order.
std::vector<CBlockDevice> ListBlockDevices(const std::string& sysfsRoot);

// The device with the number major:minor, or nothing when sysfs does not know it.
std::optional<CBlockDevice> FindBlockDevice(const std::string& sysfsRoot, unsigned major, unsigned minor);

// Orders names as people do: "sda2" before "sda10", "nvme0n1" before "nvme1n1".
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace platform
