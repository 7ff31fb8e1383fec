// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveView.h"
#include "platform/drives/MountTable.h"

#include <cstdint>
#include <string>
#include <vector>

// Describing one lettered device from what the kernel reports.
namespace platform {

// True when both paths name the same file once links are followed.
bool SamePath(const std::string& a, const std::string& b);

// The node a device path leads to once links are followed ("/dev/sdc1" for a by-partuuid
// link); an image file's path as it is.
std::string KernelNode(const std::string& device);

// The first mount of the block device devno (or, for file systems that report another
// number, of the device path as source); nothing when it is not mounted.
const CMount* FindDeviceMount(const std::vector<CMount>& mounts, const std::string& devno,
                              const std::string& devicePath);

// The entry of letter for a device taken as it is: a network source, a regular file, a
// block device looked up in sysfs by its number, or a path that has disappeared or (with
// a fingerprint that no longer matches) stands for another device now.
CDriveEntry DescribeLetter(char letter, const std::string& device, const std::string& fingerprint,
                           const CDriveSources& sources, const std::vector<CMount>& mounts);

// statvfs of a mount point in bytes; false when it fails.
bool MountSpace(const std::string& mountPoint, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                std::uint64_t& totalFree);

}  // namespace platform
