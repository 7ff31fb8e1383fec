// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Drives.h"
#include "platform/volume/DeviceVolume.h"

#include <cerrno>

namespace platform {

namespace {

// "\\.\X:" is the device or image file that the letter table gives X.
class CRawVolumes : public IVolumeOpener {
public:
    std::unique_ptr<IVolume> Open(const std::string& rawName, VolumeAccess access) override
    {
        std::optional<CDriveDevice> device = Device(rawName);
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(device->path, access, device->fingerprint);
    }
    std::optional<CDriveDevice> Device(const std::string& rawName) override
    {
        std::optional<char> letter = RawVolumeLetter(rawName);
        return letter ? DriveDevice(*letter) : std::nullopt;
    }
};

// "\\.\X:" is the device or image file stored for X; both partitions claimed.
class CBootVolumes : public IVolumeOpener {
public:
    std::unique_ptr<IVolume> Open(const std::string& rawName, VolumeAccess access) override
    {
        std::optional<CDriveDevice> device = Device(rawName);
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(device->path, access, device->fingerprint, ReadClaim::Exclusive);
    }
    std::optional<CDriveDevice> Device(const std::string& rawName) override
    {
        std::optional<char> letter = RawVolumeLetter(rawName);
        return letter ? StoredDriveDevice(*letter) : std::nullopt;
    }
};

}  // namespace

IVolumeOpener& BootVolumes()
{
    static CBootVolumes volumes;
    return volumes;
}

IVolumeOpener& RawVolumes()
{
    static CRawVolumes volumes;
    return volumes;
}

}  // namespace platform
