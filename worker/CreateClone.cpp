// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/CreateClone.h"

#include "clone/HumanUnits.h"
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

// What the progress line tells while the partition is copied, and while the copy is read
// back and compared.
const char* const kCopyingPhase = "Copying";
const char* const kVerifyingPhase = "Verifying";

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
    if (m_ended)
        m_ended();
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
    m_started = CProgressMeter::Clock::now();
    m_controls.SetControlText(clonedlg::kBytesLabel, clonedlg::kBytesCopiedLabel);
    ShowBytesCopied("0");
    m_controls.SetProgress(clonedlg::kProgressBar, 0);
    m_controls.SetControlText(clonedlg::kProgressText, "");
    // Shown at once: the first block may take a while to read.
    m_controls.Deliver();
}

void CCreateClone::OnCopyPlanned(std::uint64_t bytes)
{
    BeginPhase(kCopyingPhase, bytes);
}

void CCreateClone::BeginPhase(const std::string& what, std::uint64_t totalBytes)
{
    m_phase = what;
    const auto now = CProgressMeter::Clock::now();
    m_meter.Start(totalBytes, now);
    m_meter.Update(0, now);
    ShowProgress();
    m_controls.Deliver();
}

void CCreateClone::ShowProgress()
{
    m_controls.SetProgress(clonedlg::kProgressBar, m_meter.Position());
    m_controls.SetControlText(clonedlg::kProgressText, m_meter.Text(m_phase));
}

void CCreateClone::OnBlockWritten(std::uint64_t total)
{
    if (m_meter.Update(total, CProgressMeter::Clock::now()))
        ShowProgress();
    ShowBytesCopied(AddThousandsSeparators(FormatBytes(total)));
}

void CCreateClone::OnVerifyStarting(std::uint64_t bytes)
{
    m_verifying = true;
    m_copyTaken = std::chrono::duration_cast<std::chrono::milliseconds>(CProgressMeter::Clock::now() - m_started);
    m_controls.SetControlText(clonedlg::kBytesLabel, clonedlg::kBytesVerifiedLabel);
    m_glyphs.Clear(m_controls);
    ShowBytesCopied("0");
    BeginPhase(kVerifyingPhase, bytes);
}

void CCreateClone::OnBytesVerified(std::uint64_t compared)
{
    if (m_meter.Update(compared, CProgressMeter::Clock::now()))
        ShowProgress();
    ShowBytesCopied(AddThousandsSeparators(FormatBytes(compared)));
}

void CCreateClone::OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                                    const std::vector<std::string>& notes)
{
    const auto now = CProgressMeter::Clock::now();
    // The count and the line end on the phase that ran last: the copy, or its verification.
    if (!m_verifying) {
        m_meter.Update(total, now);
        ShowBytesCopied(AddThousandsSeparators(FormatBytes(total)));
    }
    m_controls.SetProgress(clonedlg::kProgressBar, platform::kProgressRange);
    m_controls.SetControlText(clonedlg::kProgressText, m_meter.DoneText(m_phase, now));
    m_controls.Deliver();
    std::string done = "Done!\n\nDrive partition cloned from: " + request.m_sourceDrive +
                       "\nDrive partition cloned to: " + request.m_destDrive +
                       "\n\nThe partition will be useable after rebooting the computer.";
    // The copy's time and rate; a verification's time is told after them.
    const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_started);
    std::optional<std::chrono::milliseconds> verifyTaken;
    if (m_copyTaken)
        verifyTaken = taken - *m_copyTaken;
    done += "\n\n" + TimeTakenText(total, m_copyTaken.value_or(taken), verifyTaken);
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

bool CCreateClone::OfferNewSerial(const std::string& question)
{
    return platform::MessageBox(question, platform::MbButtons::YesNo) == platform::IDYES;
}
