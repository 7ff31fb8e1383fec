// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveProbe.h"

#include "platform/volume/SectorSize.h"
#include "probe/BootSector.h"

#include <memory>

CDriveProbe::CDriveProbe(bool recogniseFat16, platform::IDriveTable& drives, platform::IVolumeOpener& volumes)
    : m_recogniseFat16(recogniseFat16), m_drives(drives), m_volumes(volumes)
{
}

// The operating system's count of the volume's bytes; 0 when it cannot tell.
std::uint64_t CDriveProbe::VolumeTotalBytes(const std::string& volume)
{
    std::uint64_t freeToCaller = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFree = 0;
    m_drives.GetDiskFreeSpaceEx(volume, freeToCaller, totalBytes, totalFree);
    return totalBytes;
}

bool CDriveProbe::ProbeVolume(const std::string& volume, std::string& fileSystem, std::uint64_t& size,
                              std::string& sizeFieldList)
{
    using namespace bootsector;

    std::unique_ptr<platform::IVolume> device =
        m_volumes.Open(platform::RawVolumeName(volume), platform::VolumeAccess::Read);
    if (!device)
        return false;

    // A sector that comes back short is as good as unread: its signatures would be
    // looked for in bytes that were never filled.
    platform::CVolumeBuffer buffer(platform::kSectorSize);
    std::uint32_t bytesRead = 0;
    bool read = buffer.IsValid();
    if (read) {
        device->Rewind();
        read = device->Read(buffer.Bytes(), bytesRead) && bytesRead == platform::kSectorSize;
    }
    if (!read) {
        m_strReport += "    Could not successfully read drive.\n";
        return false;
    }
    m_strReport += "    Successfully read drive.\n";
    size = 0;
    sizeFieldList.clear();

    std::span<const std::byte> sector = buffer.Bytes();
    if (HasText(sector, kNtfsSignature, "NTFS")) {
        fileSystem = "NTFS";
        size = VolumeTotalBytes(volume);
        sizeFieldList = NtfsSizeFieldList(sector);
        return true;
    }
    if (HasText(sector, kFat32Label, "FAT32")) {
        fileSystem = "FAT32";
        size = std::uint64_t{ReadLittleEndian32(sector, kFatTotalSectors)} * platform::kSectorSize;
        sizeFieldList = FatSizeFieldList(sector);
        return true;
    }
    if (m_recogniseFat16 && HasText(sector, kFat16Label, "FAT16")) {
        fileSystem = "FAT16";
        size = VolumeTotalBytes(volume);
        sizeFieldList = FatSizeFieldList(sector);
        return true;
    }
    m_strReport += "    Drive not NTFS or FAT32.\n";
    return false;
}
