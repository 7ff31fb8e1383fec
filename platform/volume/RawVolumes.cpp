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
        std::optional<char> letter = RawVolumeLetter(rawName);
        std::optional<std::string> device = letter ? DriveDevice(*letter) : std::nullopt;
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(*device, access);
    }
};

// "\\.\X:" is the device or image file stored for X; both partitions claimed.
class CBootVolumes : public IVolumeOpener {
public:
    std::unique_ptr<IVolume> Open(const std::string& rawName, VolumeAccess access) override
    {
        std::optional<char> letter = RawVolumeLetter(rawName);
        std::optional<std::string> device = letter ? StoredDriveDevice(*letter) : std::nullopt;
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(*device, access, ReadClaim::Exclusive);
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
