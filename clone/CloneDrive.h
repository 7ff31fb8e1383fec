// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The clone engine: copies one partition onto another from its first sector to its last,
// or, when asked, only the parts of it that its NTFS or FAT32 file system uses
// (clone/usedspace). An NTFS copy is then completed: grown to the size of its partition,
// so that it announces the destination's own size (clone/NtfsGrowth.h), and checked, so
// that an unusable copy is never told as done (clone/NtfsCompletion.h). Vantrel runs it on
// its worker thread, Keldrun at boot; what differs between the two is their front end
// below.

// What one clone copies, and how.
struct CCloneRequest {
    std::string m_sourceDrive;    // "C:"
    std::string m_destDrive;      // "D:"
    std::string m_fileSystem;     // of the source: "NTFS" or "FAT32"; any other name is refused
    // The destination's size field as the probe read it, such as "0,16,229,3,0,0,0,0". Not
    // used: the size of an NTFS copy comes from the partition it lies on and the source's
    // sectors, not from the file system the destination held before.
    std::string m_sizeFieldList;
    bool m_fastMode = false;      // 20 MiB transfers, stopping at the first bad sector
    // Once flushed, and before an NTFS copy is completed, both partitions are read back and
    // compared: only a copy the destination gives back as it was written is done.
    bool m_verify = false;
    // Copy only what the file system uses, leaving the rest of the destination as it was;
    // a source whose used space cannot be told is copied whole.
    bool m_usedSpaceOnly = false;
};

// Used areas of a source closer than this are copied as one, the free space between them
// included, since one more transfer costs about as much as copying a small gap: the two
// break even near 20 KiB on an SSD and near 400 KiB on a hard disk. On a volume whose free
// space lies in 64 KiB holes, 10 % full, this copies 14 % of it (1 MiB would copy 64 %),
// in as little time as any other gap on loop devices.
inline constexpr std::uint64_t kUsedSpaceJoinGap = 128 << 10;

// The program around a clone. Vantrel: report "Report.txt" in its install folder, the
// cancel atom, the byte count drawn into the dialog, message boxes at the end. Keldrun:
// "status.txt", no cancel, a console line per block, a console summary at the end.
class ICloneFrontEnd {
public:
    virtual ~ICloneFrontEnd() = default;

    // The report file: a folder ending in a separator, followed by the file name.
    virtual std::string ReportPath() const = 0;
    // The message boxes shown when the source or the destination cannot be opened.
    virtual std::string CannotOpenSourceText(const std::string& drive) const = 0;
    virtual std::string CannotOpenDestinationText(const std::string& drive) const = 0;
    // The message box shown when source and destination share storage, so that the copy
    // would overwrite what it reads: identical when they are the very same bytes.
    virtual std::string OverlappingVolumesText(const std::string& source, const std::string& destination,
                                               bool identical) const = 0;
    // True when the user asked the clone to stop. Asked after every read that is about to
    // be written, and after every further sector of a run of bad sectors in slow mode.
    virtual bool CancelRequested() = 0;
    // Once, after the old report is deleted and before the partitions are opened.
    virtual void OnCloneStarting() = 0;
    // Once both partitions are open and the report is begun, with their sizes.
    virtual void OnPartitionsOpened([[maybe_unused]] std::uint64_t sourceBytes,
                                    [[maybe_unused]] std::uint64_t destinationBytes)
    {
    }
    // Then, before the first block is read: the bytes the copy is to write (the used space
    // when only that is copied, else the source's size), over which percent and time left
    // are counted.
    virtual void OnCopyPlanned([[maybe_unused]] std::uint64_t bytes) {}
    // After every block written; total is the bytes written so far.
    virtual void OnBlockWritten(std::uint64_t total) = 0;
    // The verification of the copy: once before it reads anything, with the bytes it will
    // compare, then after every block compared, with the bytes compared so far. The cancel
    // request and the stop signal are asked after every block too; either ends the
    // verification, not the clone.
    virtual void OnVerifyStarting([[maybe_unused]] std::uint64_t bytes) {}
    virtual void OnBytesVerified([[maybe_unused]] std::uint64_t compared) {}
    // After a completed clone: the destination is flushed and "Done => " is in the report;
    // the source is closed, and so is the copy unless a new serial may be offered for it
    // (OfferNewSerial). Tells the user. notes are the lines, also in the report, about what
    // was copied and how it was completed: the whole partition was copied although only its
    // used space was asked for (and why), or how much of it was copied; an NTFS copy keeps
    // the source's capacity until it is resized (and what to run), its resize did not
    // complete (and it must be checked), it is as good as its source, or it could not be
    // checked; then the serial and label that the copy shares with its source
    // (TwinVolumes.h); then, when the copy was to be verified, whether it was (its line in
    // the report follows "Done => ").
    virtual void OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                                  const std::vector<std::string>& notes) = 0;
    // After OnCloneCompleted, while the engine still holds the copy, when a tool that gives
    // it a serial of its own is installed (the copy and its source carry the same one):
    // true has the engine run it, and tell how it went. question asks the user.
    virtual bool OfferNewSerial([[maybe_unused]] const std::string& question) { return false; }
    // When a partition could not be opened, before its message is shown: text is the front
    // end's own (CannotOpen...Text), why what the engine knows of the reason
    // (OpenFailureText); the message shows both. The report holds nothing yet.
    virtual void OnOpenFailed([[maybe_unused]] const std::string& text, [[maybe_unused]] const std::string& why) {}
    // When the clone is refused after both opens and before the report is begun (the
    // partitions overlap), before text is shown.
    virtual void OnRefused([[maybe_unused]] const std::string& text) {}
    // Before the message of any other ending is shown: a front end that holds back part of
    // its progress display shows it now.
    virtual void OnCloneStopping() {}
    // The number of a signal that asked the program to end, or 0. Asked after every
    // transfer that wrote or skipped something: the clone then stops there.
    virtual int StopSignal() { return 0; }
    // After a clone stopped by a signal: text says so and is already in the report.
    virtual void OnCloneInterrupted([[maybe_unused]] const std::string& text) {}
};

// How a clone ended. Every ending has been told to the user (message box, report file or
// front end) before CloneDrive returns; this is for the caller's own next step.
enum class CloneOutcome {
    Completed,
    OpenFailed,
    VolumesOverlap,  // source and destination share storage; nothing was written
    UnknownFileSystem,
    ReadFailed,        // fast mode stopped at a bad source sector
    WriteFailed,       // a bad destination sector in fast mode, a destination too small, a failed flush
    Cancelled,
    Interrupted,       // a signal asked the program to end; the copy is incomplete
    SourceEndedEarly,  // the source had fewer bytes than when it was opened
    OutOfMemory,       // the copy buffers could not be allocated
    CopyUnusable,      // every byte was copied, but the NTFS copy fails the check its source passes
    CopyDiffers,       // read back, the copy differs from its source
    NotVerified,       // the copy could not be read back to be verified
};

// Runs one clone. Volumes are opened through volumes by their raw names ("\\.\C:").
CloneOutcome CloneDrive(const CCloneRequest& request, ICloneFrontEnd& frontEnd,
                        platform::IVolumeOpener& volumes = platform::RawVolumes());
