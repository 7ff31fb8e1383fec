// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveLetters.h"
#include "platform/drives/FingerprintSearch.h"
#include "platform/volume/DeviceVolume.h"

#include <cerrno>

namespace platform {

namespace {

// "\\.\X:" is the device or image file that lookup gives X, its source opened with claim.
class CLetterVolumes : public IVolumeOpener {
public:
    using Lookup = std::optional<CDriveDevice> (*)(char letter);

    CLetterVolumes(Lookup lookup, ReadClaim claim) : m_lookup(lookup), m_claim(claim) {}

    std::unique_ptr<IVolume> Open(const std::string& rawName, VolumeAccess access) override
    {
        std::optional<CDriveDevice> device = Device(rawName);
        if (!device) {
            errno = ENOENT;
            return nullptr;
        }
        return OpenVolumeFile(device->path, access, device->fingerprint, m_claim);
    }
    std::optional<CDriveDevice> Device(const std::string& rawName) override
    {
        std::optional<char> letter = RawVolumeLetter(rawName);
        return letter ? m_lookup(*letter) : std::nullopt;
    }

private:
    Lookup m_lookup;
    ReadClaim m_claim;
};

}  // namespace

IVolumeOpener& BootVolumes()
{
    static CLetterVolumes volumes(LocatedDriveDevice, ReadClaim::Exclusive);
    return volumes;
}

IVolumeOpener& RawVolumes()
{
    static CLetterVolumes volumes(DriveDevice, ReadClaim::Shared);
    return volumes;
}

}  // namespace platform
