// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-screenshots OUTDIR: shows Vantrel's dialogs and Tallisk's on the machine of
// VANTREL_SYSTEM_ROOT and saves each as it is on screen: the notice of a clone scheduled
// for the next start as the clone dialog opens, the clone dialog with the second
// partition as source and the first destination offered, then the Options, Drive
// Configurations and About dialogs opened from it, Help where no program can show it,
// the destination marked as mounted, the clone running at once (slowed down so that its
// rate and time left show) and once it has run, then Tallisk's dialog (which writes
// DriveReport.txt into the working directory first).
#include "app/CloneDlg.h"
#include "app/ColorFile.h"
#include "driveinfo/DriveReportDlg.h"
#include "platform/drives/MachineDrives.h"
#include "platform/qt/Application.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/registry/RegistryStore.h"
#include "platform/system/StandardOptions.h"
#include "platform/ui/MessageBox.h"
#include "settings/ScheduledClone.h"
#include "settings/Settings.h"
#include "tools/screenshots/PacedVolumes.h"
#include "worker/CloneDlgControls.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
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

// Answers every message box with OK unseen, so the clone's closing message does not wait,
// but for the one asked to be shot: that one is shown, saved and answered with Escape.
class CShotMessageBoxes : public platform::IMessageBoxService {
public:
    void ShootNext(const std::string& path) { m_shoot = path; }

    int Show(const std::string& text, platform::MbButtons buttons) override
    {
        if (m_shoot.empty())
            return platform::IDOK;
        QTimer::singleShot(kPaintDelayMs, [path = m_shoot] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr || !box->grab().save(QString::fromStdString(path), "PNG")) {
                std::cerr << "vantrel-screenshots: could not save " << path << "\n";
                g_failed = true;
            }
            if (box != nullptr)
                box->close();
        });
        m_shoot.clear();
        return m_shown.Show(text, buttons);
    }

private:
    platform::CQtMessageBox m_shown;
    std::string m_shoot;
};

// The folder of the simulated machine.
std::string MachineRoot()
{
    const char* root = std::getenv("VANTREL_SYSTEM_ROOT");
    return root != nullptr ? root : "";
}

// Schedules a slow-mode clone of D: onto E: for the next start, as Safe Mode leaves it.
void ScheduleClone()
{
    platform::CRegKey key;
    const std::string folder = MachineRoot() + "/Vantrel/";
    if (platform::CRegKey::Create(platform::RegRoot::LocalMachine, kRunOnceKey, key) != platform::RegStatus::Ok ||
        platform::WriteStringValue(key, kBootEntryName,
                                   "\"" + folder + "Keldrun.exe\" D: E: NTFS 0,0,0,0,0,0,0,0 0 \"" + folder + "\"") !=
            platform::RegStatus::Ok) {
        std::cerr << "vantrel-screenshots: could not schedule a clone\n";
        g_failed = true;
    }
}

// Help with no program on PATH to show it, so that it says where the help is.
void ShootHelpWithoutViewer(CDialog& dialog, CShotMessageBoxes& boxes, const std::string& out)
{
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    const std::string empty = out + "/no-programs";
    std::filesystem::create_directory(empty);
    setenv("PATH", empty.c_str(), 1);
    boxes.ShootNext(out + "/help-without-viewer.png");
    dialog.UserClick(clonedlg::kHelpButton);
    setenv("PATH", saved.c_str(), 1);
    std::filesystem::remove(empty);
}

// The destination chosen again while the machine's mount table says it is mounted; the
// table is gone again afterwards.
void ShootMountedDestination(CDialog& dialog, const std::string& path, const std::function<void()>& then)
{
    using namespace clonedlg;
    const std::string mountInfo = MachineRoot() + "/mountinfo";
    std::ofstream(mountInfo) << "31 1 7:1 / /mnt/target rw,relatime - ntfs3 " << MachineRoot() << "/E.img rw\n";
    dialog.UserChoose(kDestList, 0);
    dialog.UserChoose(kDestList, 1);
    QTimer::singleShot(kPaintDelayMs, [&dialog, path, then, mountInfo] {
        Save(dialog, path);
        std::filesystem::remove(mountInfo);
        dialog.UserChoose(kDestList, 0);
        dialog.UserChoose(kDestList, 1);
        then();
    });
}

// Clones at once, without the Safe Mode question: saves the dialog once the progress line
// tells the time left, and again when the worker has unlocked it, with the byte count of
// the finished clone.
void ShootClone(CDialog& dialog, const std::string& running, const std::string& done,
                const std::function<void()>& then)
{
    using namespace clonedlg;
    ChooseSafeMode = 0;
    DontUseSafeMode = 1;
    dialog.UserClick(kCreateButton);
    auto* poll = new QTimer(QCoreApplication::instance());
    auto runningShot = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, [&dialog, running, done, then, poll, runningShot] {
        if (!*runningShot && dialog.ControlText(kProgressText).find("left") != std::string::npos) {
            *runningShot = true;
            Save(dialog, running);
        }
        if (dialog.IsControlEnabled(kCancelButton) || !dialog.IsControlEnabled(kDriveConfigsButton))
            return;
        poll->deleteLater();
        if (!*runningShot) {
            std::cerr << "vantrel-screenshots: the clone ended before its time left was shown\n";
            g_failed = true;
        }
        QTimer::singleShot(kPaintDelayMs, [&dialog, done, then] {
            Save(dialog, done);
            then();
        });
    });
    poll->start(50);
}

void ShootCloneDialog(const std::string& out, CShotMessageBoxes& boxes)
{
    ScheduleClone();
    boxes.ShootNext(out + "/scheduled-clone.png");
    CPacedVolumes volumes;
    CCloneDlg dialog(platform::MachineDrives(), volumes);
    QTimer::singleShot(kPaintDelayMs, [&] {
        using namespace clonedlg;
        CancelScheduledClone();
        dialog.UserChoose(kSourceList, 1);
        dialog.UserChoose(kDestList, 1);
        QTimer::singleShot(kPaintDelayMs, [&] {
            Save(dialog, out + "/clone-dialog.png");
            ShootNested([&] { dialog.UserClick(kOptionsButton); }, out + "/options.png");
            ShootNested([&] { dialog.UserClick(kDriveConfigsButton); }, out + "/drive-configs.png");
            ShootNested([&] { dialog.UserSystemCommand(kAboutCommand); }, out + "/about.png");
            ShootHelpWithoutViewer(dialog, boxes, out);
            ShootMountedDestination(dialog, out + "/mounted-destination.png", [&] {
                ShootClone(dialog, out + "/clone-progress.png", out + "/clone-done.png",
                           [&] { dialog.EndDialog(platform::IDCANCEL); });
            });
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
    CShotMessageBoxes messageBoxes;
    platform::SetMessageBoxService(&messageBoxes);
    ShootCloneDialog(out, messageBoxes);
    ShootTallisk(out);
    return g_failed ? 1 : 0;
}
