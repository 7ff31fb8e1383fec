// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"
#include "platform/drives/MachineDrives.h"
#include "platform/qt/Dialog.h"
#include "platform/volume/RawVolume.h"

// The Drive Configurations dialog: every reportable drive whose boot sector holds NTFS,
// FAT32 or FAT16, with its file system, size and free space; every item of a drive tells
// its device, label and mount point as a tool tip. Read-only; filled once when it opens.
class CDriveConfigsDlg : public platform::CDialog {
public:
    explicit CDriveConfigsDlg(platform::IDriveTable& drives = platform::MachineDrives(),
                              platform::IVolumeOpener& volumes = platform::RawVolumes());

protected:
    bool OnInitDialog() override;

private:
    void FillDriveList();

    platform::IDriveTable& m_drives;
    platform::IVolumeOpener& m_volumes;
};
