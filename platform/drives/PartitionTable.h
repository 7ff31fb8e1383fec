#pragma once

#include <string>

namespace platform {

// True when libblkid finds a partition table on the device or image at path; false when
// it finds none or the device cannot be read.
bool HasPartitionTable(const std::string& path);

}  // namespace platform
