// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DriveChecks.h"

#include "platform/drives/DriveView.h"
#include "platform/volume/VolumeShape.h"

#include <vector>

namespace {

std::optional<std::string> DevicePath(platform::IVolumeOpener& volumes, const std::string& drive)
{
    std::optional<platform::CDriveDevice> device = volumes.Device(platform::RawVolumeName(drive));
    return device ? std::optional<std::string>(device->path) : std::nullopt;
}

std::vector<platform::CVolumeUse> Uses(const std::string& path)
{
    return platform::VolumeUses(path, platform::MachineSources());
}

}  // namespace

std::string NoSingleVolumeText(const std::string& drive, const std::string& why)
{
    return "The " + drive + " partition cannot take a clone: " + why + ".  The clone was not made.";
}

std::string DestinationInUseText(const std::string& drive, const std::string& use)
{
    return "The " + drive + " partition is " + use +
           ".  A partition in use cannot take a clone: what uses it would change the copy while it is made, and a "
           "file system writes to its partition when it is unmounted.  Unmount it first.  The clone was not made.";
}

std::string MountedSourceText(const std::string& drive, const std::string& mount)
{
    return "The " + drive + " partition is " + mount +
           " for reading and writing: files may change while it is copied, and the copy may be inconsistent.  "
           "Safe Mode copies it at the next start of the machine, before anything uses it.";
}

std::optional<std::string> WholeDiskDestination(platform::IVolumeOpener& volumes, const std::string& drive)
{
    std::optional<std::string> path = DevicePath(volumes, drive);
    return path ? platform::WholeDiskRefusal(*path) : std::nullopt;
}

std::optional<platform::CVolumeUse> DriveInUse(platform::IVolumeOpener& volumes, const std::string& drive)
{
    std::optional<std::string> path = DevicePath(volumes, drive);
    if (!path)
        return std::nullopt;
    std::vector<platform::CVolumeUse> uses = Uses(*path);
    if (uses.empty())
        return std::nullopt;
    return platform::UseToTell(uses);
}

std::optional<std::string> DestinationRefusal(platform::IVolumeOpener& volumes, const std::string& drive)
{
    std::optional<std::string> path = DevicePath(volumes, drive);
    if (!path)
        return std::nullopt;
    if (std::optional<std::string> why = platform::WholeDiskRefusal(*path))
        return NoSingleVolumeText(drive, *why);
    std::optional<platform::CVolumeUse> use = DriveInUse(volumes, drive);
    if (!use)
        return std::nullopt;
    return DestinationInUseText(drive, platform::DescribeUse(*use));
}

std::optional<std::string> MountedSourceWarning(platform::IVolumeOpener& volumes, const std::string& drive)
{
    std::optional<std::string> path = DevicePath(volumes, drive);
    if (!path)
        return std::nullopt;
    for (const platform::CVolumeUse& use : Uses(*path))
        if (!use.mountPoint.empty() && !use.readOnly)
            return MountedSourceText(drive, platform::DescribeUse(use));
    return std::nullopt;
}
