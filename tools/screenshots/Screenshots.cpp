// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-screenshots OUTDIR: shows Vantrel's dialogs and Tallisk's on the machine of
// VANTREL_SYSTEM_ROOT and saves each as it is on screen: the clone dialog with the second
// partition as source and the first destination offered, then the Options, Drive
// Configurations and About dialogs opened from it, the clone dialog again once that clone
// has run at once, then Tallisk's dialog (which writes DriveReport.txt into the working
// directory first).
#include "app/CloneDlg.h"
#include "app/ColorFile.h"
#include "driveinfo/DriveReportDlg.h"
#include "platform/qt/Application.h"
#include "platform/system/StandardOptions.h"
#include "platform/ui/MessageBox.h"
#include "settings/Settings.h"
#include "worker/CloneDlgControls.h"

#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <iostream>
#include <string>

namespace {

// Long enough for a window to be mapped and painted by the X server.
constexpr int kPaintDelayMs = 500;

using platform::CDialog;

bool g_failed = false;

void Save(CDialog& dialog, const std::string& path)
{
    if (!dialog.SaveScreenshot(path)) {
        std::cerr << "vantrel-screenshots: could not save " << path << "\n";
        g_failed = true;
    }
}

// Runs open, which shows a dialog over the current one; saves that dialog and closes it.
void ShootNested(const std::function<void()>& open, const std::string& path)
{
    QTimer::singleShot(kPaintDelayMs, [path] {
        if (CDialog* dialog = CDialog::ActiveDialog()) {
            Save(*dialog, path);
            dialog->EndDialog(platform::IDCANCEL);
        }
    });
    open();
}

// Answers every message box with OK unseen, so the clone's closing message does not wait.
class CUnseenMessageBoxes : public platform::IMessageBoxService {
public:
    int Show(const std::string&, platform::MbButtons) override { return platform::IDOK; }
};

// Clones at once, without the Safe Mode question, and saves the dialog when the worker has
// unlocked it, with the byte count of the finished clone.
void ShootCompletedClone(CDialog& dialog, const std::string& path, const std::function<void()>& then)
{
    using namespace clonedlg;
    ChooseSafeMode = 0;
    DontUseSafeMode = 1;
    dialog.UserClick(kCreateButton);
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [&dialog, path, then, poll] {
        if (dialog.IsControlEnabled(kCancelButton) || !dialog.IsControlEnabled(kDriveConfigsButton))
            return;
        poll->deleteLater();
        QTimer::singleShot(kPaintDelayMs, [&dialog, path, then] {
            Save(dialog, path);
            then();
        });
    });
    poll->start(50);
}

void ShootCloneDialog(const std::string& out)
{
    CCloneDlg dialog;
    QTimer::singleShot(kPaintDelayMs, [&] {
        using namespace clonedlg;
        dialog.UserChoose(kSourceList, 1);
        dialog.UserChoose(kDestList, 1);
        QTimer::singleShot(kPaintDelayMs, [&] {
            Save(dialog, out + "/clone-dialog.png");
            ShootNested([&] { dialog.UserClick(kOptionsButton); }, out + "/options.png");
            ShootNested([&] { dialog.UserClick(kDriveConfigsButton); }, out + "/drive-configs.png");
            ShootNested([&] { dialog.UserSystemCommand(kAboutCommand); }, out + "/about.png");
            ShootCompletedClone(dialog, out + "/clone-done.png", [&] { dialog.EndDialog(platform::IDCANCEL); });
        });
    });
    if (dialog.DoModal() == -1)
        g_failed = true;
}

void ShootTallisk(const std::string& out)
{
    CDriveReportDlg dialog;
    QTimer::singleShot(kPaintDelayMs, [&] {
        Save(dialog, out + "/tallisk.png");
        dialog.EndDialog(platform::IDCANCEL);
    });
    dialog.DoModal();
}

}  // namespace

int main(int argc, char** argv)
{
    const char* const usage =
        "Usage: vantrel-screenshots OUTDIR\n"
        "Shows the dialogs on the machine of VANTREL_SYSTEM_ROOT and saves each into OUTDIR.\n";
    if (platform::AnsweredStandardOption(argc, argv, "vantrel-screenshots", usage))
        return 0;
    if (argc != 2) {
        std::cerr << usage;
        return 2;
    }
    std::string out = argv[1];
    platform::CDialogApp application(argc, argv, "Vantrel");
    CDialogColours colours;
    application.SetDialogBkColor(colours.background, colours.text);
    if (!application.StartWindowSystem())
        return 1;
    CUnseenMessageBoxes messageBoxes;
    platform::SetMessageBoxService(&messageBoxes);
    ShootCloneDialog(out);
    ShootTallisk(out);
    return g_failed ? 1 : 0;
}
