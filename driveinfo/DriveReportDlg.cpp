// SPDX-License-Identifier: GPL-3.0-or-later
#include "driveinfo/DriveReportDlg.h"

#include "driveinfo/TalliskIcon.h"
#include "platform/ui/MessageBox.h"
#include "probe/DriveProbe.h"

using namespace platform;

namespace {

CDialogTemplate DriveReportTemplate()
{
    return {102, "Tallisk", 232, 68, 0,
            {{kNoId, ControlKind::Text, {7, 7, 218, 33},
              "Program has read all drives and created a report called DriveReport.txt within the directory "
              "where you ran this program.\n\nYou can exit now.",
              0},
             {IDCANCEL, ControlKind::PushButton, {90, 47, 50, 14}, "E&xit", kTabStop}}};
}

}  // namespace

CDriveReportDlg::CDriveReportDlg(IDriveTable& drives, IVolumeOpener& volumes)
    : CDialog(DriveReportTemplate()), m_drives(drives), m_volumes(volumes)
{
    SetIcon(kTalliskIcon);
}

// The survey runs here, so the dialog appears only once every drive has been read. The
// probe leaves FAT16 unrecognised, as the report for support expects.
bool CDriveReportDlg::OnInitDialog()
{
    CDriveProbe probe(false, m_drives, m_volumes);
    probe.SurveyDrives(true);
    return true;
}
