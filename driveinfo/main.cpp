#include "driveinfo/DriveReportDlg.h"
#include "platform/qt/Application.h"

// Tallisk: writes the drive report and shows the one dialog that says so.
int main(int argc, char** argv)
{
    platform::CDialogApp application(argc, argv, "Tallisk");
    if (!application.StartWindowSystem())
        return 1;
    CDriveReportDlg dialog;
    dialog.DoModal();
    return 0;
}
