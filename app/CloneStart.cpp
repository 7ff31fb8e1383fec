// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"

#include "app/DriveChecks.h"

#include "clone/CloneDrive.h"
#include "platform/atoms/Atoms.h"
#include "platform/qt/UiThread.h"
#include "platform/ui/MessageBox.h"
#include "settings/BootClone.h"
#include "settings/Settings.h"
#include "worker/CancelAtom.h"
#include "worker/CloneDlgControls.h"
#include "worker/CreateClone.h"

#include <memory>

namespace {

const char* const kSafeModeQuestion =
    "Do you want to clone the partition in Safe Mode?\t\t\t\t\t \n\n"
    "Safe Mode allows the clone to occur during boot up when no other applications are running.  "
    "It assures a cleaner clone.  If you don't use Safe Mode, make sure all other applications are "
    "closed down and that no utilities or virus detection programs are running.\t\t\t\t\t \n\n"
    "Click Yes to use Safe Mode (boot options will follow), No to clone right now without rebooting, "
    "or Cancel to cancel the clone entirely.";

const char* const kCancelFailedText =
    "The clone could not be cancelled: the cancel request could not be stored.  The clone goes on; "
    "press Cancel again to stop it.";

}  // namespace

void CCloneDlg::OnCreateClone()
{
    ClearProgressDigits();
    const SafeModeChoice choice = CurrentSafeModeChoice();
    bool scheduleAtBoot = choice == SafeModeChoice::AtNextStart;
    if (choice == SafeModeChoice::Ask) {
        int answer = platform::MessageBox(kSafeModeQuestion, platform::MbButtons::YesNoCancel);
        if (answer == platform::IDCANCEL)
            return;
        scheduleAtBoot = answer == platform::IDYES;
    }
    if (scheduleAtBoot)
        ScheduleBootClone(m_installFolder, m_sourceDrive, m_destDrive, m_sourceFileSystem, m_sizeFieldList, FastMode,
                          CBootCloneOptions{.verifyCopy = VerifyCopy != 0, .usedSpaceOnly = UsedSpaceOnly != 0});
    else if (CheckPartitionsNow())
        StartCloneThread();
}

// A destination in use is refused before anything is written, with what uses it; a source
// that may change while it is copied is worth a warning, but the user may go on.
bool CCloneDlg::CheckPartitionsNow()
{
    if (std::optional<std::string> refusal = DestinationRefusal(m_volumes, m_destDrive)) {
        platform::MessageBox(*refusal);
        return false;
    }
    if (std::optional<std::string> warning = MountedSourceWarning(m_volumes, m_sourceDrive))
        platform::MessageBox(*warning);
    return true;
}

// The worker gets its own copies and frees itself; it locks this dialog's controls
// while it runs and unlocks them when it is over. The dialog only watches it: a clone
// runs as long as its worker holds it.
void CCloneDlg::StartCloneThread()
{
    auto clone = std::make_shared<CCreateClone>(m_sourceDrive, m_destDrive, m_sourceFileSystem, m_sizeFieldList,
                                                this, FastMode != 0, m_installFolder, VerifyCopy != 0,
                                                UsedSpaceOnly != 0);
    clone->UseVolumes(m_volumes);
    clone->WhenEnded([this, alive = std::weak_ptr<bool>(m_alive)] {
        platform::RunOnUiThread([this, alive] {
            if (alive.lock())
                RefreshAfterClone();
        });
    });
    m_clone = clone;
    if (!CCreateClone::CreateThread(std::move(clone)))
        platform::MessageBox(kCloneNotStartedText);
}

// Each press adds one more reference to the atom; the worker removes them all. When the
// atom table cannot be changed (its lock is held too long) the user is told, since the
// clone goes on.
void CCloneDlg::OnCancelClone()
{
    if (platform::AddAtom(kCancelAtomName) == 0)
        platform::MessageBox(kCancelFailedText);
}
