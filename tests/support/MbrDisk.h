// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/LoopDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// One entry of a DOS partition table, in 512-byte sectors from the start of the disk.
struct CMbrEntry {
    std::uint8_t type = 0x83;
    std::uint32_t start = 0;
    std::uint32_t sectors = 0;
};

// Writes a DOS partition table with the primary entries into the first sector of path (an
// image or a device). The logical entries lie inside the one primary entry of type 5 (an
// extended partition): each gets its extended boot record in the sector before it (the
// first one in the extended partition's first sector), linked in a chain.
void WriteMbr(const std::string& path, const std::vector<CMbrEntry>& primary, const std::vector<CMbrEntry>& logical);

// A 16 MiB disk image with a DOS table holding partition 1 (4 MiB from 1 MiB on), the
// extended partition 2 (from 5 MiB on) and in it the logical partition 5 (4 MiB from 6
// MiB on), attached to a loop device with its partitions as the kernel's scan makes them
// (partition 2 is the 1 KiB container). Nothing where that cannot be done here; why is
// then the reason to skip.
std::unique_ptr<CLoopDevice> AttachMbrDisk(const std::string& image, std::string& why);

}  // namespace testsupport
