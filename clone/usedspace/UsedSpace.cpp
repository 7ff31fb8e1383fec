// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/UsedSpace.h"

namespace usedspace {

CUsedSpace MapUsedSpace(platform::IVolume& source, const std::string& fileSystem, std::uint64_t joinGap)
{
    if (fileSystem == "NTFS")
        return MapNtfsUsedSpace(source, joinGap);
    if (fileSystem == "FAT32")
        return MapFat32UsedSpace(source, joinGap);
    if (fileSystem == "FAT16")
        return {std::nullopt, kFat16CopiedWhole};
    return {std::nullopt, kUnknownFileSystem};
}

}  // namespace usedspace
