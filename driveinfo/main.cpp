// SPDX-License-Identifier: GPL-3.0-or-later
#include "driveinfo/DriveReportDlg.h"
#include "platform/qt/Application.h"
#include "platform/system/StandardOptions.h"

namespace {

const char* const kUsage =
    "Usage: Tallisk\n"
    "Reads every drive of the machine, writes the drive report DriveReport.txt into the\n"
    "current folder, replacing an older one, and shows a dialog that says so.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

// Tallisk: writes the drive report and shows the one dialog that says so.
int main(int argc, char** argv)
{
    if (platform::AnsweredStandardOption(argc, argv, "Tallisk", kUsage))
        return 0;
    platform::CDialogApp application(argc, argv, "Tallisk");
    if (!application.StartWindowSystem())
        return 1;
    CDriveReportDlg dialog;
    dialog.DoModal();
    return 0;
}
