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
        std::optional<CDriveDevice> device = letter ? DriveDevice(*letter) : std::nullopt;
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(device->path, access, device->fingerprint);
    }
};

}  // namespace

IVolumeOpener& RawVolumes()
{
    static CRawVolumes volumes;
    return volumes;
}

}  // namespace platform
