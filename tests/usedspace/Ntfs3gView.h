// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An NTFS image as libntfs-3g, ntfs-3g's own library, reads it: the reference the used
// space is checked against.
namespace testsupport {

struct CNtfs3gBitmap {
    std::uint64_t m_clusterSize = 0;
    std::vector<bool> m_used;  // one per cluster of the volume
};

// The clusters that the $Bitmap of image marks as used, read by libntfs-3g; nothing when
// it cannot mount the image read-only.
std::optional<CNtfs3gBitmap> ReadNtfs3gBitmap(const std::string& image);

// The runs of clusters that hold the file path of image; 0 when it cannot be read.
std::size_t CountNtfs3gExtents(const std::string& image, const std::string& path);

// Sets the flag of image's $Volume that asks for a check at the next mount, through
// libntfs-3g, as Windows does when it finds the volume damaged.
bool MarkNtfsDirty(const std::string& image);

}  // namespace testsupport
