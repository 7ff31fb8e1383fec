// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveToolTip.h"

#include "clone/HumanUnits.h"

#include <cstdint>

std::string DriveToolTip(platform::IDriveTable& drives, const std::string& volume)
{
    platform::CDriveDetails details;
    if (!drives.GetDriveDetails(volume, details) || details.device.empty())
        return {};
    std::string text = details.device;
    std::uint64_t freeToCaller = 0, totalBytes = 0, totalFree = 0;
    if (drives.GetDiskFreeSpaceEx(volume, freeToCaller, totalBytes, totalFree) && totalBytes > 0)
        text += "\nSize: " + BinarySizeText(totalBytes);
    if (!details.label.empty())
        text += "\nLabel: " + details.label;
    text += details.mountPoint.empty() ? "\nNot mounted" : "\nMounted on " + details.mountPoint;
    return text;
}
