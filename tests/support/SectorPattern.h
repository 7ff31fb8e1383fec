// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// size bytes in which every 512-byte sector differs from its neighbours, so a sector
// copied to the wrong place shows.
inline std::string SectorPattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i / 512) * 31 + i * 7);
    return bytes;
}

}  // namespace testsupport
