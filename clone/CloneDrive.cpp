// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/CloneDrive.h"

#include "clone/ClonePartitions.h"
#include "clone/CloneTexts.h"
#include "clone/NtfsBootSector.h"
#include "clone/NtfsCompletion.h"
#include "clone/ReadAhead.h"
#include "clone/ReportFile.h"
#include "clone/RetryPlan.h"
#include "clone/SizeField.h"
#include "clone/TwinVolumes.h"
#include "clone/VerifyCopy.h"
#include "clone/VerifyTexts.h"
#include "clone/usedspace/UsedSpace.h"
#include "platform/ui/MessageBox.h"
#include "platform/volume/SectorSize.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace {

using platform::kSectorSize;
constexpr std::uint32_t kFastModeSectors = 40960;  // 20 MiB per transfer
// Slow mode moves a run of healthy sectors in one transfer and narrows a run whose transfer
// failed down to its bad sectors (CRetryPlan), which gives the same copy, report and
// progress as one transfer per sector.
constexpr std::uint32_t kSlowModeRunSectors = 2048;  // 1 MiB
// Consecutive bad sectors of one partition: every report line of the run carries the
// error code of its first failure.
struct CBadRun {
    const platform::IVolume* m_volume = nullptr;
    std::uint64_t m_nextLocation = 0;
    int m_error = 0;
};

// What a step of the copy says: nothing when the copy goes on, else how it ended (the
// ending has been told to the user and the partitions are closed).
using Ending = std::optional<CloneOutcome>;

// How the verification of a copy that goes on to be done is told: its line in the report,
// after "Done => ", and its note in the completion message.
struct CVerifyTold {
    std::string line;
    std::string note;
};

// The verification's progress told to the front end, which may stop it: the user's cancel
// request or a signal to end the program.
class CVerifyWatch : public IVerifyProgress {
public:
    explicit CVerifyWatch(ICloneFrontEnd& frontEnd) : m_frontEnd(frontEnd) {}

    void OnVerifyStarting(std::uint64_t bytes) override { m_frontEnd.OnVerifyStarting(bytes); }
    bool OnBlockCompared(std::uint64_t compared) override
    {
        m_frontEnd.OnBytesVerified(compared);
        if (m_frontEnd.CancelRequested())
            return false;
        m_signal = m_frontEnd.StopSignal();
        return m_signal == 0;
    }
    // The signal that stopped it; 0 when the user cancelled it or it was not stopped.
    int Signal() const { return m_signal; }

private:
    ICloneFrontEnd& m_frontEnd;
    int m_signal = 0;
};

// One run of CloneDrive: the opened partitions, the copy buffers and the counters.
//
// The location counter is the sector number on both partitions in slow mode: a source
// sector that cannot be read is skipped on both (the destination sector keeps what it
// held), and a destination sector that refuses its data is skipped with that data, so
// every sector lands at its own place and the loop ends when the source does. Blocks are
// read one ahead of the one being written (CReadAhead); they are taken, checked and
// written strictly in order, so everything the user sees is as if each block were read
// just before it is written.
//
// A copy of the used space alone reads and writes the ranges of the source's map, each at
// its own place on both partitions: a fast-mode block gathers 20 MiB of them, a slow-mode
// run stays inside one. What lies between them is neither read nor written.
class CCloneRun {
public:
    CCloneRun(const CCloneRequest& request, ICloneFrontEnd& frontEnd, platform::IVolumeOpener& volumes)
        : m_request(request), m_frontEnd(frontEnd), m_volumes(volumes), m_reportPath(frontEnd.ReportPath())
    {
    }

    CloneOutcome Run();

private:
    bool FastMode() const { return m_request.m_fastMode; }
    std::uint32_t BlockSize() const { return kSectorSize * (FastMode() ? kFastModeSectors : kSlowModeRunSectors); }
    bool AllocateBuffers();
    // What the copy reads and writes: the whole source, or its used space when asked and
    // it can be told (else the report says why not).
    void PlanCopy();
    CloneOutcome Copy();
    // Puts the destination, and in slow mode the location counter, at offset, where the
    // next transfer reads the source.
    void MoveTo(std::uint64_t offset);
    // The checks between a successful read and its write: the file system on the first
    // block (whose boot sector is kept for the completion), the cancel request, the end.
    Ending AcceptRead(std::span<std::byte> bytes);
    Ending WriteFastBlock(const CReadAhead::CBlock& block);
    // Slow mode: writes bytes read at the location counter, narrowing a failed write down
    // to the sectors that refuse it.
    Ending WriteSlowRun(std::span<const std::byte> bytes);
    // Slow mode through a run whose read failed, from the source's position: retried as
    // CRetryPlan says, each transfer that reads checked and written on its own; single
    // sectors after a bad one go no further than rangeEnd.
    Ending CopyFailedRun(const usedspace::CByteRange& failed, std::uint64_t rangeEnd);
    // Slow mode through a run of more than one sector that was read but whose write failed.
    Ending WriteFailedRun(std::span<const std::byte> run);
    // Slow mode, after a failed read or write of the one sector at the location counter.
    Ending PassUnreadableSector();
    Ending PassUnwritableSector();
    // Adds bytes to the total and tells the front end, one sector at a time in slow mode.
    void CountWritten(std::uint32_t bytes);
    // Slow mode, after a failed read or write at the location counter; false when the
    // user asked to stop.
    bool SkipUnreadableSector();
    bool SkipUnwritableSector();
    // Lists the sector at the location counter as skipped on volume; true when it
    // continues a run of bad sectors (the cancel request is asked then).
    bool ListSkippedSector(const platform::IVolume& volume, const std::string& drive);
    // Stops the clone when a signal asked the program to end.
    Ending StopIfInterrupted();
    // A write of bytes at position of the destination failed with ENOSPC: past its end the
    // destination is too small; within it, the storage it lies on is full.
    std::string NoSpaceText(std::uint64_t position, std::size_t bytes) const;
    CloneOutcome Complete();
    // The notes that tell what was copied, in the report before "Done => " and at the end.
    void NoteCopy(const std::string& line);
    // Reads both partitions back and compares them: an ending when the copy differs or
    // cannot be read back, else how the copy's verification is told.
    std::variant<CloneOutcome, CVerifyTold> Verify();
    // Makes what was written durable and makes sure no loop device was attached over the
    // destination meanwhile.
    Ending FlushDestination();
    // The destination's device or image file, named to the user; its drive name when the
    // letter has none.
    std::string DestinationDevice();
    CloneOutcome StopWith(const std::string& text, CloneOutcome outcome);
    // Appends text to the report and shows it, with reason (the system's word for an
    // error) after it in the message.
    CloneOutcome ReportAndStop(const std::string& text, CloneOutcome outcome, const std::string& reason = {});
    void Release();
    // The copy's read-ahead and buffers.
    void ReleaseBuffers();

    const CCloneRequest& m_request;
    ICloneFrontEnd& m_frontEnd;
    platform::IVolumeOpener& m_volumes;
    std::string m_reportPath;
    std::unique_ptr<platform::IVolume> m_source;
    std::unique_ptr<platform::IVolume> m_destination;
    std::unique_ptr<platform::CVolumeBuffer> m_blocks[2];
    std::unique_ptr<platform::CVolumeBuffer> m_piece;  // slow mode, through a failed run
    // Declared after what it reads, so that it has stopped before they go.
    std::unique_ptr<CReadAhead> m_reader;
    std::vector<usedspace::CByteRange> m_plan = CReadAhead::WholeVolume();
    std::uint64_t m_planned = 0;  // the bytes of the plan, read or skipped when it is through
    bool m_usedSpace = false;     // the plan is the source's used space
    std::uint64_t m_total = 0;
    std::uint64_t m_location = 0;
    std::uint64_t m_position = 0;           // of the next transfer, on both partitions
    std::uint64_t m_sourceBytesPassed = 0;  // read or skipped
    bool m_firstBlock = true;
    bool m_badSectors = false;
    std::vector<std::byte> m_bootSector;  // the source's first sector, as copied
    std::vector<std::byte> m_firstSectorWritten;  // the same with its size field as written
    // The sectors skipped on either partition, which the copy does not hold.
    usedspace::CByteRanges m_skipped{std::numeric_limits<std::uint64_t>::max()};
    std::vector<std::string> m_notes;
    CBadRun m_run;
};

CloneOutcome CCloneRun::Run()
{
    RemoveIfExists(m_reportPath);
    m_frontEnd.OnCloneStarting();

    std::variant<CClonePartitions, CCloneRefusal> opened = OpenClonePartitions(m_request, m_frontEnd, m_volumes);
    if (const CCloneRefusal* refusal = std::get_if<CCloneRefusal>(&opened))
        return StopWith(refusal->text, refusal->outcome);
    m_source = std::move(std::get<CClonePartitions>(opened).source);
    m_destination = std::move(std::get<CClonePartitions>(opened).destination);

    AppendReportLine(m_reportPath,
                     ReportHeaderText(m_request.m_sourceDrive, m_request.m_destDrive, m_request.m_fileSystem));
    m_frontEnd.OnPartitionsOpened(m_source->Size(), m_destination->Size());
    PlanCopy();

    if (!AllocateBuffers())
        return StopWith(kNotEnoughMemoryText, CloneOutcome::OutOfMemory);
    return Copy();
}

bool CCloneRun::AllocateBuffers()
{
    for (auto& block : m_blocks) {
        block = std::make_unique<platform::CVolumeBuffer>(BlockSize());
        if (!block->IsValid())
            return false;
    }
    if (!FastMode()) {
        m_piece = std::make_unique<platform::CVolumeBuffer>(kSectorSize * kRetryPieceSectors);
        if (!m_piece->IsValid())
            return false;
    }
    m_reader = std::make_unique<CReadAhead>(*m_source, m_blocks[0]->Bytes(), m_blocks[1]->Bytes(), m_plan, FastMode());
    return true;
}

void CCloneRun::PlanCopy()
{
    m_planned = m_source->Size();
    // A file system the engine does not copy is refused at the first block, with nothing
    // but the header in the report.
    if (m_request.m_usedSpaceOnly && IsClonedFileSystem(m_request.m_fileSystem)) {
        usedspace::CUsedSpace used = usedspace::MapUsedSpace(*m_source, m_request.m_fileSystem, kUsedSpaceJoinGap);
        if (used.m_ranges) {
            // The copy reaches the source's last sector, so that a destination smaller than
            // the source fails as with a whole copy, instead of holding a file system
            // larger than itself.
            used.m_ranges->Add(m_source->Size() - std::min<std::uint64_t>(m_source->Size(), kSectorSize), kSectorSize);
            m_plan = used.m_ranges->Ranges();
            m_planned = used.m_ranges->Bytes();
            m_usedSpace = true;
        } else {
            NoteCopy(WholePartitionText(m_request.m_sourceDrive, used.m_reason));
        }
    }
    m_frontEnd.OnCopyPlanned(m_planned);
}

void CCloneRun::NoteCopy(const std::string& line)
{
    AppendReportLine(m_reportPath, line);
    m_notes.push_back(line);
}

CloneOutcome CCloneRun::Copy()
{
    for (;;) {
        CReadAhead::CBlock block = m_reader->Next();
        if (!block.ok) {
            if (FastMode())
                return ReportAndStop(BadSectorsText(block.error, m_request.m_sourceDrive, "from"),
                                     CloneOutcome::ReadFailed, SystemReasonText(block.error));
            // The reader waits, the source at the start of the failed run, until it is told
            // where the run's own reading ended.
            MoveTo(block.failed.m_offset);
            if (Ending ending = CopyFailedRun(block.failed, block.rangeEnd))
                return *ending;
            m_reader->ResumeAt(m_position);
            continue;
        }
        if (!block.pieces.empty())
            MoveTo(block.pieces.front().m_offset);
        if (Ending ending = AcceptRead(block.bytes))
            return *ending;
        if (Ending ending = FastMode() ? WriteFastBlock(block) : WriteSlowRun(block.bytes))
            return *ending;
    }
}

Ending CCloneRun::AcceptRead(std::span<std::byte> bytes)
{
    m_sourceBytesPassed += bytes.size();
    if (m_firstBlock) {
        if (!IsClonedFileSystem(m_request.m_fileSystem))
            return StopWith(UnknownFileSystemText(m_request.m_fileSystem), CloneOutcome::UnknownFileSystem);
        // Only a block from byte 0 holds the boot sector; when sector 0 could not be
        // read, no other sector stands in for it.
        if (m_location == 0 && bytes.size() >= kSectorSize) {
            m_bootSector.assign(bytes.begin(), bytes.begin() + kSectorSize);
            if (m_request.m_fileSystem == "NTFS")
                ApplySizeFieldList(bytes, m_request.m_sizeFieldList, m_destination->Size());
            m_firstSectorWritten.assign(bytes.begin(), bytes.begin() + kSectorSize);
        }
        m_firstBlock = false;
    }
    if (m_frontEnd.CancelRequested())
        return StopWith(kCloneCancelledText, CloneOutcome::Cancelled);
    if (bytes.empty())
        return Complete();
    return std::nullopt;
}

void CCloneRun::MoveTo(std::uint64_t offset)
{
    if (offset == m_position)
        return;
    m_destination->Rewind();
    m_destination->Move(static_cast<std::int64_t>(offset));
    m_position = offset;
    if (!FastMode())
        m_location = offset / kSectorSize;
}

// Each piece of the block goes to its own place; the block counts as one transfer.
Ending CCloneRun::WriteFastBlock(const CReadAhead::CBlock& block)
{
    std::span<const std::byte> rest = block.bytes;
    for (const usedspace::CByteRange& piece : block.pieces) {
        MoveTo(piece.m_offset);
        std::span<const std::byte> bytes = rest.first(static_cast<std::size_t>(piece.m_length));
        rest = rest.subspan(bytes.size());
        std::uint32_t bytesWritten = 0;
        if (!m_destination->Write(bytes, bytesWritten)) {
            const int error = m_destination->LastError();
            if (error == ENOSPC)
                return ReportAndStop(NoSpaceText(m_position, bytes.size()), CloneOutcome::WriteFailed);
            return ReportAndStop(BadSectorsText(error, m_request.m_destDrive, "to"), CloneOutcome::WriteFailed,
                                 SystemReasonText(error));
        }
        m_position += bytesWritten;
    }
    CountWritten(static_cast<std::uint32_t>(block.bytes.size()));
    AppendReportLine(m_reportPath, FormatBytes(m_total));
    return StopIfInterrupted();
}

Ending CCloneRun::WriteSlowRun(std::span<const std::byte> bytes)
{
    std::uint32_t bytesWritten = 0;
    if (!m_destination->Write(bytes, bytesWritten))
        return bytes.size() > kSectorSize ? WriteFailedRun(bytes) : PassUnwritableSector();
    m_position += bytesWritten;
    CountWritten(bytesWritten);
    return StopIfInterrupted();
}

Ending CCloneRun::CopyFailedRun(const usedspace::CByteRange& failed, std::uint64_t rangeEnd)
{
    auto sectorsOf = [](std::uint64_t bytes) { return bytes / kSectorSize + (bytes % kSectorSize != 0 ? 1 : 0); };
    CRetryPlan plan(m_location, sectorsOf(failed.m_length), sectorsOf(rangeEnd));
    while (std::uint32_t sectors = plan.Next()) {
        std::span<std::byte> piece = m_piece->Bytes().first(sectors * kSectorSize);
        std::uint32_t bytesRead = 0;
        if (!m_source->Read(piece, bytesRead)) {
            plan.Failed();
            if (sectors > 1)
                continue;
            if (Ending ending = PassUnreadableSector())
                return ending;
            continue;
        }
        plan.Succeeded();
        if (Ending ending = AcceptRead(piece.first(bytesRead)))
            return ending;
        if (Ending ending = WriteSlowRun(piece.first(bytesRead)))
            return ending;
    }
    return std::nullopt;
}

Ending CCloneRun::WriteFailedRun(std::span<const std::byte> run)
{
    CRetryPlan plan(m_location, (run.size() + kSectorSize - 1) / kSectorSize, false);
    std::size_t offset = 0;
    std::size_t asked = 0;  // the sectors before it have had their cancel request
    while (std::uint32_t sectors = plan.Next()) {
        // Each sector counts as read just now: the cancel request is asked before its
        // first write, as after any read (the run's own check stood for its first sector).
        if (offset > asked) {
            if (m_frontEnd.CancelRequested())
                return StopWith(kCloneCancelledText, CloneOutcome::Cancelled);
            asked = offset;
        }
        std::span<const std::byte> part = run.subspan(offset, std::min<std::size_t>(sectors * kSectorSize, run.size() - offset));
        std::uint32_t bytesWritten = 0;
        if (m_destination->Write(part, bytesWritten)) {
            plan.Succeeded();
            offset += part.size();
            m_position += bytesWritten;
            CountWritten(bytesWritten);
            if (Ending ending = StopIfInterrupted())
                return ending;
            continue;
        }
        plan.Failed();
        if (sectors > 1)
            continue;
        offset += part.size();
        if (Ending ending = PassUnwritableSector())
            return ending;
    }
    return std::nullopt;
}

Ending CCloneRun::PassUnreadableSector()
{
    if (!SkipUnreadableSector())
        return StopWith(kCloneCancelledText, CloneOutcome::Cancelled);
    return StopIfInterrupted();
}

Ending CCloneRun::PassUnwritableSector()
{
    if (m_destination->LastError() == ENOSPC)
        return ReportAndStop(NoSpaceText(m_position, kSectorSize), CloneOutcome::WriteFailed);
    if (!SkipUnwritableSector())
        return StopWith(kCloneCancelledText, CloneOutcome::Cancelled);
    return StopIfInterrupted();
}

void CCloneRun::CountWritten(std::uint32_t bytes)
{
    // Slow mode tells of every sector as if it had been a transfer of its own.
    const std::uint32_t step = FastMode() ? bytes : kSectorSize;
    for (std::uint32_t done = 0; done < bytes; done += step) {
        m_total += std::min(step, bytes - done);
        m_frontEnd.OnBlockWritten(m_total);
        ++m_location;
    }
}

bool CCloneRun::SkipUnreadableSector()
{
    bool continuesRun = ListSkippedSector(*m_source, m_request.m_sourceDrive);
    m_source->Move(kSectorSize);
    m_destination->Move(kSectorSize);
    m_position += kSectorSize;
    m_sourceBytesPassed += kSectorSize;
    return !(continuesRun && m_frontEnd.CancelRequested());
}

bool CCloneRun::SkipUnwritableSector()
{
    // The source is already past the sector whose data is dropped.
    bool continuesRun = ListSkippedSector(*m_destination, m_request.m_destDrive);
    m_destination->Move(kSectorSize);
    m_position += kSectorSize;
    return !(continuesRun && m_frontEnd.CancelRequested());
}

bool CCloneRun::ListSkippedSector(const platform::IVolume& volume, const std::string& drive)
{
    bool continuesRun = m_run.m_volume == &volume && m_run.m_nextLocation == m_location;
    if (!continuesRun) {
        m_run.m_volume = &volume;
        m_run.m_error = volume.LastError();
    }
    m_badSectors = true;
    m_skipped.Add(m_location * kSectorSize, kSectorSize);
    AppendReportLine(m_reportPath, SkippedSectorLine(m_run.m_error, m_location, drive));
    ++m_location;
    m_run.m_nextLocation = m_location;
    return continuesRun;
}

Ending CCloneRun::StopIfInterrupted()
{
    int signal = m_frontEnd.StopSignal();
    if (signal == 0)
        return std::nullopt;
    std::string text = InterruptedText(signal, m_request.m_destDrive);
    AppendReportLine(m_reportPath, text);
    Release();
    m_frontEnd.OnCloneInterrupted(text);
    return CloneOutcome::Interrupted;
}

std::string CCloneRun::NoSpaceText(std::uint64_t position, std::size_t bytes) const
{
    if (position + bytes > m_destination->Size())
        return DestinationTooSmallText(ENOSPC, m_request.m_destDrive, m_request.m_sourceDrive, m_destination->Size(),
                                       m_source->Size());
    return StorageFullText(ENOSPC, m_request.m_destDrive);
}

CloneOutcome CCloneRun::Complete()
{
    // A source that ends before the plan is through has shrunk since it was opened.
    if (m_sourceBytesPassed < m_planned)
        return ReportAndStop(SourceEndedEarlyText(m_request.m_sourceDrive, m_source->Size(), m_position),
                             CloneOutcome::SourceEndedEarly);
    // Done means the copy is on the device, not in a cache that a restart may lose.
    if (Ending ending = FlushDestination())
        return *ending;
    // Before the NTFS completion changes the copy: what is compared is what was written.
    std::optional<CVerifyTold> verified;
    if (m_request.m_verify) {
        std::variant<CloneOutcome, CVerifyTold> verification = Verify();
        if (const CloneOutcome* ending = std::get_if<CloneOutcome>(&verification))
            return *ending;
        verified = std::get<CVerifyTold>(verification);
    }
    if (m_usedSpace)
        NoteCopy(UsedSpaceCopiedText(m_request.m_sourceDrive, m_total, m_source->Size()));
    if (m_request.m_fileSystem == "NTFS") {
        // The destination stays claimed while it is completed: nobody mounts it meanwhile.
        CNtfsCompletion ntfs = CompleteNtfsCopy(m_request, *m_source, *m_destination, m_bootSector, DestinationDevice());
        for (const std::string& note : ntfs.notes)
            NoteCopy(note);
        if (ntfs.notUsable)
            return ReportAndStop(*ntfs.notUsable, CloneOutcome::CopyUnusable);
        // A loop device attached while the tools ran is held by nobody.
        if (Ending ending = FlushDestination())
            return *ending;
    }
    // A first sector the destination refused still holds the file system it had before.
    const bool bootCopied = !m_bootSector.empty() && !m_skipped.Contains(0, kSectorSize);
    std::optional<CTwins> twins = FindTwins(m_request, *m_destination, bootCopied, DestinationDevice());
    if (twins) {
        for (const std::string& note : twins->notes)
            NoteCopy(note);
    }
    AppendReportLine(m_reportPath, DoneLineText(FormatBytes(m_total)));
    if (verified) {
        AppendReportLine(m_reportPath, verified->line);
        m_notes.push_back(verified->note);
    }
    // A copy that may get a serial of its own stays held until the user has answered, so
    // that nobody mounts it meanwhile and the tool works on the very file that was written.
    std::unique_ptr<platform::IVolume> copy;
    if (twins && !twins->renewal.empty())
        copy = std::move(m_destination);
    Release();
    m_frontEnd.OnCloneCompleted(m_request, m_total, m_badSectors, m_notes);
    if (copy && m_frontEnd.OfferNewSerial(RenewSerialQuestionText(m_request)))
        platform::MessageBox(RenewSerial(m_request, *twins, *copy));
    return CloneOutcome::Completed;
}

std::variant<CloneOutcome, CVerifyTold> CCloneRun::Verify()
{
    // The copy is on its media: its buffers make room for the verification's.
    ReleaseBuffers();
    // What was not copied holds what the destination held before: only the plan is compared.
    CVerifyPlan plan{usedspace::CByteRanges(m_source->Size()), m_skipped, m_firstSectorWritten};
    for (const usedspace::CByteRange& range : m_plan)
        plan.copied.Add(range.m_offset, range.m_length);
    CVerifyWatch watch(m_frontEnd);
    const CVerifyOutcome outcome = VerifyCopy(*m_source, *m_destination, plan, watch);
    const std::string& source = m_request.m_sourceDrive;
    const std::string& destination = m_request.m_destDrive;
    switch (outcome.result) {
    case VerifyResult::Equal:
        return CVerifyTold{VerifiedLineText(FormatBytes(outcome.bytesCompared)),
                           VerifiedNoteText(destination, outcome.bytesCompared, m_skipped.Bytes() / kSectorSize,
                                             m_usedSpace)};
    case VerifyResult::Stopped:
        return CVerifyTold{NotVerifiedText(watch.Signal()), NotVerifiedText(watch.Signal())};
    case VerifyResult::Differs:
        return ReportAndStop(
            CopyDiffersText(source, destination, outcome.firstDifferingSector, outcome.differingSectors,
                            outcome.stoppedEarly),
            CloneOutcome::CopyDiffers);
    case VerifyResult::ReadFailed:
        return ReportAndStop(VerifyReadFailedText(outcome.error, outcome.sourceFailed ? source : destination,
                                                  outcome.failedSector, destination),
                             CloneOutcome::NotVerified, SystemReasonText(outcome.error));
    case VerifyResult::NoMemory:
        break;
    }
    return ReportAndStop(VerifyNoMemoryText(destination), CloneOutcome::NotVerified);
}

std::string CCloneRun::DestinationDevice()
{
    std::optional<platform::CDriveDevice> device =
        m_volumes.Device(platform::RawVolumeName(m_request.m_destDrive));
    return device ? device->path : m_request.m_destDrive;
}

Ending CCloneRun::FlushDestination()
{
    if (m_destination->Flush())
        return std::nullopt;
    const int error = m_destination->LastError();
    if (error == EBUSY)
        return ReportAndStop(LoopAttachedText(error, m_request.m_destDrive), CloneOutcome::WriteFailed);
    return ReportAndStop(BadSectorsText(error, m_request.m_destDrive, "to"), CloneOutcome::WriteFailed,
                         SystemReasonText(error));
}

// The partitions are closed before the message: a box may stay open for long, and the
// destination must not stay locked behind it.
CloneOutcome CCloneRun::StopWith(const std::string& text, CloneOutcome outcome)
{
    Release();
    m_frontEnd.OnCloneStopping();
    platform::MessageBox(text);
    return outcome;
}

CloneOutcome CCloneRun::ReportAndStop(const std::string& text, CloneOutcome outcome, const std::string& reason)
{
    AppendReportLine(m_reportPath, text);
    return StopWith(reason.empty() ? text : text + "\n\n" + reason, outcome);
}

void CCloneRun::Release()
{
    ReleaseBuffers();
    m_source.reset();
    m_destination.reset();
}

void CCloneRun::ReleaseBuffers()
{
    m_reader.reset();
    m_blocks[0].reset();
    m_blocks[1].reset();
    m_piece.reset();
}

}  // namespace

CloneOutcome CloneDrive(const CCloneRequest& request, ICloneFrontEnd& frontEnd, platform::IVolumeOpener& volumes)
{
    CCloneRun run(request, frontEnd, volumes);
    return run.Run();
}
