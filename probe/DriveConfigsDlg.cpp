// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveConfigsDlg.h"

#include "clone/HumanUnits.h"
#include "clone/ReportFile.h"
#include "platform/ui/MessageBox.h"
#include "probe/DriveConfigsDlgControls.h"
#include "probe/DriveProbe.h"
#include "probe/DriveToolTip.h"

#include <cstdint>

using namespace platform;
using driveconfigsdlg::kDriveList;

namespace {

CDialogTemplate DriveConfigsTemplate()
{
    return {130, "Drive Configurations", 194, 230, 0,
            {{kDriveList, ControlKind::ListBox, {7, 7, 180, 199}, "", kNoSelect | kTabStops},
             {IDCANCEL, ControlKind::PushButton, {137, 209, 50, 14}, "E&xit", kTabStop}}};
}

// The exact count, and beside it, from 1 KiB on, the size as a person reads it:
// "10,737,418,240 (10.0 GiB)".
std::string Grouped(std::uint64_t bytes)
{
    const std::string exact = AddThousandsSeparators(FormatBytes(bytes));
    return bytes < 1024 ? exact : exact + " (" + BinarySizeText(bytes) + ")";
}

}  // namespace

CDriveConfigsDlg::CDriveConfigsDlg(IDriveTable& drives, IVolumeOpener& volumes)
    : CDialog(DriveConfigsTemplate()), m_drives(drives), m_volumes(volumes)
{
}

bool CDriveConfigsDlg::OnInitDialog()
{
    FillDriveList();
    return true;
}

// Four items per drive the probe recognises, and an empty item after every letter but
// the last one surveyed; the size shown is the system's total for the volume.
void CDriveConfigsDlg::FillDriveList()
{
    CDriveProbe probe(true, m_drives, m_volumes);
    std::string letters = probe.SurveyDrives(false);
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (letters[i] == 'A')
            continue;
        std::string volume = std::string(1, letters[i]) + ":";
        std::string fileSystem, sizeFieldList;
        std::uint64_t size = 0;
        if (!probe.ProbeVolume(volume, fileSystem, size, sizeFieldList))
            continue;
        std::uint64_t freeToCaller = 0, totalBytes = 0, totalFree = 0;
        m_drives.GetDiskFreeSpaceEx(volume, freeToCaller, totalBytes, totalFree);
        std::string toolTip = DriveToolTip(m_drives, volume);
        for (const std::string& item : {"Drive:\t\t" + volume, "File System:\t" + fileSystem,
                                        "Partition Size:\t" + Grouped(totalBytes),
                                        "Bytes Available:\t" + Grouped(freeToCaller)})
            SetItemToolTip(kDriveList, AddString(kDriveList, item), toolTip);
        if (i + 1 < letters.size())
            AddString(kDriveList, "");
    }
}
