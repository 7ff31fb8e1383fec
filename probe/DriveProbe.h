// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"
#include "platform/drives/MachineDrives.h"
#include "platform/volume/RawVolume.h"

#include <cstdint>
#include <string>

// Recognises a volume's file system and size from its first sector, and surveys the
// machine's drives into a plain-text drive report.
class CDriveProbe {
public:
    // recogniseFat16: whether a FAT16 volume counts as recognised (Vantrel) or not (Tallisk).
    explicit CDriveProbe(bool recogniseFat16, platform::IDriveTable& drives = platform::MachineDrives(),
                         platform::IVolumeOpener& volumes = platform::RawVolumes());
    virtual ~CDriveProbe() = default;

    // Reads the first sector of volume ("C:"). True when it holds NTFS, FAT32 or (with
    // RecogniseFat16) FAT16; fileSystem, size and sizeFieldList are then set. A volume
    // that cannot be opened or read leaves all three as they were; a volume read but not
    // recognised gets size 0 and an empty list and keeps its file-system name.
    bool ProbeVolume(const std::string& volume, std::string& fileSystem, std::uint64_t& size,
                     std::string& sizeFieldList);

    // Appends the report entry of drive letter; true when the drive is reportable (A:, and
    // every removable, fixed or remote drive).
    bool DescribeDrive(char letter);

    // Describes every drive into the report and returns the letters of the reportable
    // ones in drive order ("ACE"). With writeFile, the report replaces "DriveReport.txt"
    // in the working directory.
    std::string SurveyDrives(bool writeFile);

    bool RecogniseFat16() const { return m_recogniseFat16; }
    // Everything probes and surveys have appended so far.
    const std::string& Report() const { return m_strReport; }

private:
    std::uint64_t VolumeTotalBytes(const std::string& volume);

    bool m_recogniseFat16;
    platform::IDriveTable& m_drives;
    platform::IVolumeOpener& m_volumes;
    std::string m_strReport;
};
