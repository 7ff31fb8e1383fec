// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the used space of a volume once, as the engine will before a copy of the used
// space alone, and prints the seconds it took and what it found (for
// bench/usedspace-map.sh and bench/usedspace-copy.sh), with used areas closer than
// JOIN-GAP bytes joined (0 unless given).
//   vantrel-usedspace-bench DEVICE-OR-IMAGE FILE-SYSTEM [JOIN-GAP]
#include "clone/usedspace/UsedSpace.h"
#include "platform/volume/DeviceVolume.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: vantrel-usedspace-bench DEVICE-OR-IMAGE FILE-SYSTEM [JOIN-GAP]\n");
        return 2;
    }
    const std::uint64_t joinGap = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 0;
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(argv[1], platform::VolumeAccess::Read);
    if (!volume) {
        std::perror(argv[1]);
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    usedspace::CUsedSpace map = usedspace::MapUsedSpace(*volume, argv[2], joinGap);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!map.m_ranges) {
        std::fprintf(stderr, "no map: %s\n", map.m_reason.c_str());
        return 1;
    }
    std::printf("%.4f %zu ranges, %llu of %llu bytes\n", took.count(), map.m_ranges->Ranges().size(),
                static_cast<unsigned long long>(map.m_ranges->Bytes()), static_cast<unsigned long long>(volume->Size()));
    return 0;
}
