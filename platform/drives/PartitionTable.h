// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// True when libblkid finds a partition table on the device or image at path; false when
// it finds none or the device cannot be read.
bool HasPartitionTable(const std::string& path);

// The identifier of the partition table on the disk at path (the disk signature of an
// MBR, the disk GUID of a GPT); nothing when there is none or it cannot be read.
std::optional<std::string> PartitionTableId(const std::string& path);

// A partition table as libblkid reads it from a disk.
struct CPartitionTable {
    std::string type;                 // "dos", "gpt", ...
    std::vector<unsigned> numbers;    // of every partition in it, logical ones included
    std::vector<unsigned> extended;   // of the containers of extended partitions (MBR)
};

// The partition table on the disk at path; nothing when there is none or it cannot be read.
std::optional<CPartitionTable> ReadPartitionTable(const std::string& path);

// True when partition number of the disk at diskPath, of size bytes, is the container of
// an MBR's extended partition, which holds the chain of logical partitions and no volume:
// so the disk's table says, or, where the table cannot be read, the partition is no
// larger than the kernel makes such a container (one sector, at least 1 KiB).
bool IsExtendedContainer(const std::string& diskPath, unsigned number, std::uint64_t size);

// The label of the file system on the device or image at path; nothing when it has none
// or cannot be read.
std::optional<std::string> FileSystemLabel(const std::string& path);

}  // namespace platform
