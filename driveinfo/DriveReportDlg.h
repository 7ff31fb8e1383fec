// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"
#include "platform/drives/MachineDrives.h"
#include "platform/qt/Dialog.h"
#include "platform/volume/RawVolume.h"

// Tallisk's one dialog. Before it shows, every drive is surveyed and the report written
// to "DriveReport.txt" in the working directory; the dialog then says so.
class CDriveReportDlg : public platform::CDialog {
public:
    explicit CDriveReportDlg(platform::IDriveTable& drives = platform::MachineDrives(),
                             platform::IVolumeOpener& volumes = platform::RawVolumes());

protected:
    bool OnInitDialog() override;

private:
    platform::IDriveTable& m_drives;
    platform::IVolumeOpener& m_volumes;
};
