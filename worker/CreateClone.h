// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/atoms/AtomWatch.h"
#include "platform/ui/Controls.h"
#include "platform/volume/RawVolume.h"
#include "worker/CancelAtom.h"
#include "worker/GlyphRow.h"
#include "worker/ProgressMeter.h"
#include "worker/ThrottledControls.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Told when the worker's thread cannot be started.
inline constexpr const char* kCloneNotStartedText =
    "The clone could not be started: the system refused to start its thread.  Nothing was written; close some "
    "programs and press Create again.";

// The clone worker of Vantrel: runs one clone on a thread of its own while the clone
// dialog stays responsive. It holds copies of everything the clone needs, locks the
// dialog's controls against a second start, draws the running byte count into the
// dialog and, when the clone is over, removes every pending cancel request and unlocks
// the controls. Cancel requests from before its start are removed as it starts.
class CCreateClone : private ICloneFrontEnd {
public:
    // verifyCopy: both partitions are read back and compared once the copy is made.
    // usedSpaceOnly: copy only what the source's file system uses.
    CCreateClone(const std::string& sourceDrive, const std::string& destDrive,
                 const std::string& fileSystem, const std::string& sizeFieldList,
                 platform::IControlHost* owner, bool fastMode, const std::string& installFolder, bool verifyCopy,
                 bool usedSpaceOnly = false);

    // Runs the clone on a new thread that owns the object and frees it when the clone
    // is over; false when the thread could not be started: the object is freed then, and
    // nothing was locked or cloned.
    [[nodiscard]] static bool CreateThread(std::shared_ptr<CCreateClone> clone);

    // The whole life of the worker on the calling thread: remove the cancel atom, lock
    // the controls, clone, remove the cancel atom, unlock the controls.
    void Run();

    // The volumes the clone opens; the machine's raw volumes unless set.
    void UseVolumes(platform::IVolumeOpener& volumes) { m_volumes = &volumes; }
    // Runs task on the worker's thread once the clone is over and the controls are unlocked.
    void WhenEnded(std::function<void()> task) { m_ended = std::move(task); }

    // Draws text (digits with thousands separators) into the dialog's glyph controls.
    void ShowBytesCopied(const std::string& text);

private:
    // The progress bar and line from now on tell what (such as "Copying") of totalBytes.
    void BeginPhase(const std::string& what, std::uint64_t totalBytes);
    // Draws the progress of the phase into the bar and the line.
    void ShowProgress();
    void DisableCloneControls();
    void EnableCloneControls();
    void SetCloneControls(bool cloning);
    static void RemoveCancelAtom();

    // The clone engine's front end in Vantrel.
    std::string ReportPath() const override;
    std::string CannotOpenSourceText(const std::string& drive) const override;
    std::string CannotOpenDestinationText(const std::string& drive) const override;
    std::string OverlappingVolumesText(const std::string& source, const std::string& destination,
                                       bool identical) const override;
    bool CancelRequested() override;
    void OnCloneStarting() override;
    void OnCopyPlanned(std::uint64_t bytes) override;
    void OnBlockWritten(std::uint64_t total) override;
    // The count starts again from 0 under the label "Bytes verified:", and the bar and the
    // line tell the verification from then on.
    void OnVerifyStarting(std::uint64_t bytes) override;
    void OnBytesVerified(std::uint64_t compared) override;
    void OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                          const std::vector<std::string>& notes) override;
    void OnCloneStopping() override;
    bool OfferNewSerial(const std::string& question) override;

    CCloneRequest m_request;
    std::string m_installFolder;
    // The owner dialog's controls, reached through a throttle so that the byte count
    // reaches the dialog at most about 30 times a second.
    CThrottledControls m_controls;
    CGlyphRow m_glyphs;
    CProgressMeter m_meter;
    std::string m_phase;  // what the progress line tells
    CProgressMeter::Clock::time_point m_started;
    std::optional<std::chrono::milliseconds> m_copyTaken;  // once a verification follows the copy
    std::function<void()> m_ended;
    // The cancel atom, looked for after every sector in slow mode.
    platform::CAtomWatch m_cancel{kCancelAtomName};
    platform::IVolumeOpener* m_volumes;
    // The count shows the bytes verified: the end of the clone leaves it so.
    bool m_verifying = false;
};
