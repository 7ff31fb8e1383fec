// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace platform {

// The sector the programs count in: a boot sector, the unit of every transfer of a clone
// and of the bad sectors it skips, and the alignment of direct I/O. A device whose own
// logical sectors are larger is read and written through the page cache instead.
inline constexpr std::uint32_t kSectorSize = 512;

}  // namespace platform
