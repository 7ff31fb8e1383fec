// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/VolumeBytes.h"

#include <algorithm>
#include <limits>

namespace usedspace {

bool ReadVolumeAt(platform::IVolume& volume, std::uint64_t offset, std::span<std::byte> buffer)
{
    if (offset > volume.Size() || buffer.size() > volume.Size() - offset ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    volume.Rewind();
    volume.Move(static_cast<std::int64_t>(offset));
    // One read moves less than 4 GiB.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    for (std::size_t done = 0; done < buffer.size();) {
        std::span<std::byte> part = buffer.subspan(done, std::min(kChunk, buffer.size() - done));
        std::uint32_t got = 0;
        if (!volume.Read(part, got) || got != part.size())
            return false;
        done += got;
    }
    return true;
}

}  // namespace usedspace
