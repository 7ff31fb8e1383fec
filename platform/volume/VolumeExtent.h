// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct stat;

// Where a volume's bytes really are: the storage at the bottom of its stack (a whole disk,
// or an image file) and the byte range inside it. Two volumes whose extents overlap must
// never be source and destination of one clone: the copy would overwrite what it reads.
namespace platform {

// A storage is named "block 8:0" for a whole disk by its device number, "file 8:1:131" for
// a regular file by the device number of its file system and its inode, or kAnyStorage
// where nothing is known of it (it may overlap anything).
inline constexpr const char* kAnyStorage = "any";

struct CStorageRange {
    std::string storage;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    // The range holds the volume somewhere inside it without being it: the file system
    // that an image file lives on. It overlaps what lies there, never another volume held
    // the same way (two image files of one file system).
    bool holder = false;

    bool operator==(const CStorageRange&) const = default;
};

struct CVolumeExtent {
    std::vector<CStorageRange> ranges;

    bool operator==(const CVolumeExtent&) const = default;
};

// True when a byte of one may be a byte of the other. Adjacent ranges do not overlap; a
// range on kAnyStorage overlaps everything.
bool Overlaps(const CVolumeExtent& a, const CVolumeExtent& b);

// True when both are exactly the same bytes of the same storage.
bool SameVolume(const CVolumeExtent& a, const CVolumeExtent& b);

// The extent of an opened volume from its fstat, looked up under sysfsRoot: through
// partitions, loop devices (their backing file or device, recursively) and device-mapper
// or md stacks. A stacked device whose mapping sysfs does not show covers the whole of
// every device below it; a device that cannot be looked up at all is on kAnyStorage.
CVolumeExtent ResolveExtent(const struct stat& opened, const std::string& sysfsRoot = "/sys");

// The extent of what path names now (links followed); nothing when it does not exist.
std::optional<CVolumeExtent> PathExtent(const std::string& path);

}  // namespace platform
