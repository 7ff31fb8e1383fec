// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace platform {

// True when libblkid finds a partition table on the device or image at path; false when
// it finds none or the device cannot be read.
bool HasPartitionTable(const std::string& path);

// The identifier of the partition table on the disk at path (the disk signature of an
// MBR, the disk GUID of a GPT); nothing when there is none or it cannot be read.
std::optional<std::string> PartitionTableId(const std::string& path);

// The label of the file system on the device or image at path; nothing when it has none
// or cannot be read.
std::optional<std::string> FileSystemLabel(const std::string& path);

}  // namespace platform
