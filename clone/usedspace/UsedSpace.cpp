// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/UsedSpace.h"

#include "clone/usedspace/VolumeBytes.h"
#include "platform/volume/SectorSize.h"
#include "probe/BootSector.h"

#include <vector>

namespace usedspace {

CUsedSpace MapUsedSpace(platform::IVolume& source, const std::string& fileSystem, std::uint64_t joinGap)
{
    auto map = fileSystem == "NTFS" ? MapNtfsUsedSpace : fileSystem == "FAT32" ? MapFat32UsedSpace : nullptr;
    if (map == nullptr)
        return CUsedSpace::Refused(fileSystem == "FAT16" ? kFat16CopiedWhole : kUnknownFileSystem);
    std::vector<std::byte> boot(platform::kSectorSize);
    if (!ReadVolumeAt(source, 0, boot))
        return CUsedSpace::Refused(kBootSectorUnreadable);
    return map(source, boot, joinGap);
}

}  // namespace usedspace
