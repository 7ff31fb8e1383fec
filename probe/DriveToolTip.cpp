// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveToolTip.h"

std::string DriveToolTip(platform::IDriveTable& drives, const std::string& volume)
{
    platform::CDriveDetails details;
    if (!drives.GetDriveDetails(volume, details) || details.device.empty())
        return {};
    std::string text = details.device;
    if (!details.label.empty())
        text += "\nLabel: " + details.label;
    text += details.mountPoint.empty() ? "\nNot mounted" : "\nMounted on " + details.mountPoint;
    return text;
}
