// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/FingerprintSearch.h"

#include "platform/drives/BlockDevices.h"
#include "platform/drives/DeviceFingerprint.h"
#include "platform/drives/SysfsAttributes.h"

#include <regex>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// A fingerprint without the sizes it tells: what stays when a device grows or shrinks.
std::string WithoutSizes(const std::string& fingerprint)
{
    static const std::regex size(" size=[0-9]+");
    return std::regex_replace(fingerprint, size, "");
}

}  // namespace

FingerprintChange CompareFingerprint(const std::string& path, const std::string& fingerprint,
                                     const CDriveSources& sources)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return FingerprintChange::Absent;
    if (S_ISBLK(info.st_mode)) {
        // A loop device without a file, a network block device without its server.
        std::optional<CBlockDevice> device =
            FindBlockDevice(sources.sysfsRoot, ::major(info.st_rdev), ::minor(info.st_rdev));
        if (!device || device->size == 0)
            return FingerprintChange::Absent;
    }
    if (fingerprint.empty())
        return FingerprintChange::Same;
    std::string now = DeviceFingerprint(info, sources).text;
    if (now.empty())
        return FingerprintChange::Absent;
    if (now == fingerprint)
        return FingerprintChange::Same;
    return WithoutSizes(now) == WithoutSizes(fingerprint) ? FingerprintChange::Resized : FingerprintChange::Replaced;
}

std::optional<std::string> FindFingerprintedDevice(const std::string& fingerprint, const CDriveSources& sources)
{
    if (fingerprint.empty())
        return std::nullopt;
    std::optional<std::string> found;
    for (const CBlockDevice& device : ListBlockDevices(sources.sysfsRoot)) {
        auto number = ParseDeviceNumber(device.devno);
        if (!number || device.size == 0)
            continue;
        CFingerprint candidate = BlockFingerprint(number->first, number->second, sources);
        if (candidate.text != fingerprint)
            continue;
        if (found || !candidate.identifies)
            return std::nullopt;
        found = sources.devDir + "/" + device.name;
    }
    return found;
}

std::optional<CDriveDevice> LocatedDriveDevice(char letter)
{
    std::optional<CDriveDevice> stored = StoredDriveDevice(letter);
    if (!stored || stored->fingerprint.empty())
        return stored;
    CDriveSources sources = MachineSources();
    if (CompareFingerprint(stored->path, stored->fingerprint, sources) == FingerprintChange::Same)
        return stored;
    if (std::optional<std::string> found = FindFingerprintedDevice(stored->fingerprint, sources))
        return CDriveDevice{*found, stored->fingerprint};
    return stored;
}

}  // namespace platform
