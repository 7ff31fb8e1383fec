// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Reading the one-line attribute files of sysfs.
namespace platform {

// sysfs counts the sizes and starts of block devices in the kernel's 512-byte units,
// whatever the device's own sector size: a unit of the kernel's interface, not the
// programs' sector (platform/volume/SectorSize.h).
inline constexpr std::uint64_t kSysfsSectorSize = 512;

// The first line of the file without trailing blanks; empty when it cannot be read.
std::string ReadSysfsText(const std::filesystem::path& path);
// The decimal number in the file; 0 when it cannot be read or is not a number.
std::uint64_t ReadSysfsNumber(const std::filesystem::path& path);
// A device number "8:1" as major and minor; nothing for any other text.
std::optional<std::pair<unsigned, unsigned>> ParseDeviceNumber(const std::string& text);
// The device number as sysfs writes it: "8:1".
std::string DeviceNumberText(unsigned major, unsigned minor);
// The sysfs folder of the block device major:minor under sysfsRoot, links resolved (a
// partition's folder is inside its disk's); nothing when the kernel has no such device.
std::optional<std::filesystem::path> BlockDeviceFolder(const std::string& sysfsRoot, unsigned major, unsigned minor);

}  // namespace platform
