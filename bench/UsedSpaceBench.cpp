// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the used space of a volume once, as the engine will before a copy of the used
// space alone, and prints the seconds it took and what it found (for
// bench/usedspace-map.sh).
//   vantrel-usedspace-bench DEVICE-OR-IMAGE FILE-SYSTEM
#include "clone/usedspace/UsedSpace.h"
#include "platform/volume/DeviceVolume.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel-usedspace-bench DEVICE-OR-IMAGE FILE-SYSTEM\n");
        return 2;
    }
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(argv[1], platform::VolumeAccess::Read);
    if (!volume) {
        std::perror(argv[1]);
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    usedspace::CUsedSpace map = usedspace::MapUsedSpace(*volume, argv[2]);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!map.m_ranges) {
        std::fprintf(stderr, "no map: %s\n", map.m_reason.c_str());
        return 1;
    }
    std::printf("%.4f %zu ranges, %llu of %llu bytes\n", took.count(), map.m_ranges->Ranges().size(),
                static_cast<unsigned long long>(map.m_ranges->Bytes()), static_cast<unsigned long long>(volume->Size()));
    return 0;
}
