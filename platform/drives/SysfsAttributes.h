// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Reading the one-line attribute files of sysfs.
namespace platform {

// The first line of the file without trailing blanks; empty when it cannot be read.
std::string ReadSysfsText(const std::filesystem::path& path);
// The decimal number in the file; 0 when it cannot be read or is not a number.
std::uint64_t ReadSysfsNumber(const std::filesystem::path& path);
// A device number "8:1" as major and minor; nothing for any other text.
std::optional<std::pair<unsigned, unsigned>> ParseDeviceNumber(const std::string& text);

}  // namespace platform
