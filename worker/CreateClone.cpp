// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/CreateClone.h"

#include "clone/ReportFile.h"
#include "platform/atoms/Atoms.h"
#include "platform/ui/MessageBox.h"
#include "worker/CloneDlgControls.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace {

// About 30 repaints of the byte count a second.
constexpr std::chrono::milliseconds kRepaintInterval(33);

}  // namespace

CCreateClone::CCreateClone(const std::string& sourceDrive, const std::string& destDrive,
                           const std::string& fileSystem, const std::string& sizeFieldList,
                           platform::IControlHost* owner, bool fastMode, const std::string& installFolder,
                           bool verifyCopy, bool usedSpaceOnly)
    : m_request{.m_sourceDrive = sourceDrive,
                .m_destDrive = destDrive,
                .m_fileSystem = fileSystem,
                .m_sizeFieldList = sizeFieldList,
                .m_fastMode = fastMode,
                .m_verify = verifyCopy,
                .m_usedSpaceOnly = usedSpaceOnly},
      m_installFolder(installFolder),
      m_controls(*owner, kRepaintInterval),
      m_volumes(&platform::RawVolumes())
{
}

bool CCreateClone::CreateThread(std::shared_ptr<CCreateClone> clone)
{
    try {
        std::thread([worker = std::move(clone)] { worker->Run(); }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// A cancel request left by an earlier clone (its worker could not delete it, or another
// program added it) is gone before Cancel is enabled, so it never stops this clone; had it
// to stay, the clone stops before it has written anything.
void CCreateClone::Run()
{
    RemoveCancelAtom();
    DisableCloneControls();
    CloneDrive(m_request, *this, *m_volumes);
    RemoveCancelAtom();
    EnableCloneControls();
}

void CCreateClone::DisableCloneControls()
{
    SetCloneControls(true);
}

void CCreateClone::EnableCloneControls()
{
    SetCloneControls(false);
}

void CCreateClone::SetCloneControls(bool cloning)
{
    using namespace clonedlg;
    m_controls.EnableControl(kCancelButton, cloning);
    m_controls.EnableControl(kExitButton, !cloning);
    m_controls.EnableControl(kCreateButton, !cloning);
    m_controls.EnableControl(kSourceList, !cloning);
    m_controls.EnableControl(kDestList, !cloning);
    m_controls.EnableControl(kDriveConfigsButton, !cloning);
}

// Every press of Cancel added a reference to the atom; it goes with the last one.
void CCreateClone::RemoveCancelAtom()
{
    while (platform::Atom atom = platform::FindAtom(kCancelAtomName)) {
        if (platform::DeleteAtom(atom) != 0)
            break;  // the table cannot be changed: looking again would find it forever
    }
}

void CCreateClone::ShowBytesCopied(const std::string& text)
{
    m_glyphs.Show(m_controls, text);
    m_controls.DeliverIfDue();
}

std::string CCreateClone::ReportPath() const
{
    return m_installFolder + "Report.txt";
}

std::string CCreateClone::CannotOpenSourceText(const std::string& drive) const
{
    return "CCreateClone::CloneDrive => Cannot open drive partition to clone from: " + drive;
}

std::string CCreateClone::CannotOpenDestinationText(const std::string& drive) const
{
    return "CCreateClone::CloneDrive => Cannot open drive partition to clone to: " + drive;
}

std::string CCreateClone::OverlappingVolumesText(const std::string& source, const std::string& destination,
                                                 bool identical) const
{
    return "CCreateClone::CloneDrive => Cannot clone a partition onto itself: " + source + " and " + destination +
           (identical ? " are the same partition." : " overlap on the same disk.");
}

bool CCreateClone::CancelRequested()
{
    return m_cancel.Present();
}

void CCreateClone::OnCloneStarting()
{
    m_controls.SetControlText(clonedlg::kBytesLabel, clonedlg::kBytesCopiedLabel);
    ShowBytesCopied("0");
    // Shown at once: the first block may take a while to read.
    m_controls.Deliver();
}

void CCreateClone::OnBlockWritten(std::uint64_t total)
{
    ShowBytesCopied(AddThousandsSeparators(FormatBytes(total)));
}

void CCreateClone::OnVerifyStarting(std::uint64_t)
{
    m_verifying = true;
    m_controls.SetControlText(clonedlg::kBytesLabel, clonedlg::kBytesVerifiedLabel);
    m_glyphs.Clear(m_controls);
    ShowBytesCopied("0");
    m_controls.Deliver();
}

void CCreateClone::OnBytesVerified(std::uint64_t compared)
{
    ShowBytesCopied(AddThousandsSeparators(FormatBytes(compared)));
}

void CCreateClone::OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                                    const std::vector<std::string>& notes)
{
    if (!m_verifying)
        ShowBytesCopied(AddThousandsSeparators(FormatBytes(total)));
    m_controls.Deliver();
    std::string done = "Done!\n\nDrive partition cloned from: " + request.m_sourceDrive +
                       "\nDrive partition cloned to: " + request.m_destDrive +
                       "\n\nThe partition will be useable after rebooting the computer.";
    for (const std::string& note : notes)
        done += "\n\n" + note;
    platform::MessageBox(done);
    if (badSectorsSkipped)
        platform::MessageBox("Bad sectors were found and skipped.  See Report.txt for details.");
}

void CCreateClone::OnCloneStopping()
{
    m_controls.Deliver();
}
