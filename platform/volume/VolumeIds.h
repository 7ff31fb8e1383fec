// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <optional>
#include <string>

namespace platform {

// What names a file system beside its device: its type as libblkid calls it ("ntfs",
// "vfat"), its serial as /dev/disk/by-uuid shows it, and its label.
struct CFileSystemIds {
    std::string type;
    std::string uuid;   // empty when it has none
    std::string label;  // empty when it has none
};

// The ids of the file system on the opened volume, read from the very file it was opened
// from (through /proc, never by a name); nothing when no file system is found there or the
// volume is no file.
std::optional<CFileSystemIds> ReadFileSystemIds(const IVolume& volume);

}  // namespace platform
