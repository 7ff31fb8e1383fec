#include "clone/CloneDrive.h"

#include "clone/ReportFile.h"
#include "clone/SizeField.h"
#include "platform/ui/MessageBox.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <span>

namespace {

constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint32_t kFastModeSectors = 40960;  // 20 MiB per transfer
constexpr const char* kCancelledText = "Clone cancelled.\n\nCloned partition will be unusable.";

// The fast-mode error; direction is "from" for the source and "to" for the destination.
std::string BadSectorsText(int error, const std::string& drive, const char* direction)
{
    return "Error#: " + std::to_string(error) + ".  Bad sector(s) discovered on the " + drive +
           " partition.  You must use the 'Slow Mode' option to copy " + direction + " this partition.";
}

// A destination that ends before the source is no bad sector: the copy cannot be complete.
std::string DestinationTooSmallText(int error, const std::string& destination, const std::string& source)
{
    return "Error#: " + std::to_string(error) + ".  The " + destination +
           " partition ended before the copy was complete.  It must be at least as large as the " + source +
           " partition.";
}

std::string SkippedSectorLine(int error, std::uint64_t location, const std::string& drive)
{
    return "Error#: " + std::to_string(error) + ".  Skipping bad sector at location: " + FormatBytes(location) +
           " on partition " + drive;
}

// Consecutive bad sectors of one partition: every report line of the run carries the
// error code of its first failure.
struct CBadRun {
    const platform::IVolume* m_volume = nullptr;
    std::uint64_t m_nextLocation = 0;
    int m_error = 0;
};

// One run of CloneDrive: the opened partitions, the copy buffer and the counters.
//
// The location counter is the sector number on both partitions in slow mode: a source
// sector that cannot be read is skipped on both (the destination sector keeps what it
// held), and a destination sector that refuses its data is skipped with that data, so
// every sector lands at its own place and the loop ends when the source does.
class CCloneRun {
public:
    CCloneRun(const CCloneRequest& request, ICloneFrontEnd& frontEnd)
        : m_request(request), m_frontEnd(frontEnd), m_reportPath(frontEnd.ReportPath())
    {
    }

    CloneOutcome Run(platform::IVolumeOpener& volumes);

private:
    bool FastMode() const { return m_request.m_fastMode != 0; }
    CloneOutcome Copy(std::span<std::byte> block);
    // Slow mode, after a failed read or write at the location counter; false when the
    // user asked to stop.
    bool SkipUnreadableSector();
    bool SkipUnwritableSector();
    // Lists the sector at the location counter as skipped on volume; true when it
    // continues a run of bad sectors (the cancel request is asked then).
    bool ListSkippedSector(const platform::IVolume& volume, const std::string& drive);
    CloneOutcome Complete();
    CloneOutcome StopWith(const std::string& text, CloneOutcome outcome);
    CloneOutcome ReportAndStop(const std::string& text, CloneOutcome outcome);
    void Release();

    const CCloneRequest& m_request;
    ICloneFrontEnd& m_frontEnd;
    std::string m_reportPath;
    std::unique_ptr<platform::IVolume> m_source;
    std::unique_ptr<platform::IVolume> m_destination;
    std::unique_ptr<platform::CVolumeBuffer> m_buffer;
    std::uint64_t m_total = 0;
    std::uint64_t m_location = 0;
    bool m_badSectors = false;
    CBadRun m_run;
};

CloneOutcome CCloneRun::Run(platform::IVolumeOpener& volumes)
{
    RemoveIfExists(m_reportPath);
    m_frontEnd.OnCloneStarting();

    m_source = volumes.Open(platform::RawVolumeName(m_request.m_sourceDrive), platform::VolumeAccess::Read);
    if (!m_source)
        return StopWith(m_frontEnd.CannotOpenSourceText(m_request.m_sourceDrive), CloneOutcome::OpenFailed);
    m_source->Rewind();
    m_destination =
        volumes.Open(platform::RawVolumeName(m_request.m_destDrive), platform::VolumeAccess::Write);
    if (!m_destination)
        return StopWith(m_frontEnd.CannotOpenDestinationText(m_request.m_destDrive), CloneOutcome::OpenFailed);
    m_destination->Rewind();

    AppendReportLine(m_reportPath, "From: " + m_request.m_sourceDrive + "\nTo:   " + m_request.m_destDrive +
                                       "\nFile System: " + m_request.m_fileSystem + "\n");

    m_buffer = std::make_unique<platform::CVolumeBuffer>(kSectorSize * (FastMode() ? kFastModeSectors : 1));
    if (!m_buffer->IsValid())
        return StopWith("CCreateClone::CloneDrive => Not enough memory to clone the partition.",
                        CloneOutcome::OutOfMemory);
    return Copy(m_buffer->Bytes());
}

CloneOutcome CCloneRun::Copy(std::span<std::byte> block)
{
    bool firstBlock = true;
    for (;;) {
        std::uint32_t bytesRead = 0;
        if (!m_source->Read(block, bytesRead)) {
            if (FastMode())
                return ReportAndStop(BadSectorsText(m_source->LastError(), m_request.m_sourceDrive, "from"),
                                     CloneOutcome::ReadFailed);
            if (!SkipUnreadableSector())
                return StopWith(kCancelledText, CloneOutcome::Cancelled);
            continue;
        }
        if (firstBlock) {
            if (!IsClonedFileSystem(m_request.m_fileSystem))
                return StopWith("Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: " +
                                    m_request.m_fileSystem,
                                CloneOutcome::UnknownFileSystem);
            // Only a block from byte 0 holds the boot sector; when sector 0 could not be
            // read, no other sector is changed in its place.
            if (m_location == 0)
                ApplySizeField(block, m_request.m_fileSystem, m_request.m_sizeFieldList);
            firstBlock = false;
        }
        if (m_frontEnd.CancelRequested())
            return StopWith(kCancelledText, CloneOutcome::Cancelled);
        if (bytesRead == 0)
            return Complete();

        std::uint32_t bytesWritten = 0;
        if (!m_destination->Write(block.first(bytesRead), bytesWritten)) {
            if (FastMode())
                return ReportAndStop(BadSectorsText(m_destination->LastError(), m_request.m_destDrive, "to"),
                                     CloneOutcome::WriteFailed);
            if (m_destination->LastError() == ENOSPC)
                return ReportAndStop(DestinationTooSmallText(ENOSPC, m_request.m_destDrive, m_request.m_sourceDrive),
                                     CloneOutcome::WriteFailed);
            if (!SkipUnwritableSector())
                return StopWith(kCancelledText, CloneOutcome::Cancelled);
            continue;
        }
        m_total += bytesWritten;
        std::string digits = FormatBytes(m_total);
        m_frontEnd.OnBlockWritten(AddThousandsSeparators(digits));
        if (FastMode())
            AppendReportLine(m_reportPath, digits);
        ++m_location;
    }
}

bool CCloneRun::SkipUnreadableSector()
{
    bool continuesRun = ListSkippedSector(*m_source, m_request.m_sourceDrive);
    m_source->Move(kSectorSize);
    m_destination->Move(kSectorSize);
    return !(continuesRun && m_frontEnd.CancelRequested());
}

bool CCloneRun::SkipUnwritableSector()
{
    // The source is already past the sector whose data is dropped.
    bool continuesRun = ListSkippedSector(*m_destination, m_request.m_destDrive);
    m_destination->Move(kSectorSize);
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
    AppendReportLine(m_reportPath, SkippedSectorLine(m_run.m_error, m_location, drive));
    ++m_location;
    m_run.m_nextLocation = m_location;
    return continuesRun;
}

CloneOutcome CCloneRun::Complete()
{
    // Done means the copy is on the device, not in a cache that a restart may lose.
    if (!m_destination->Flush())
        return ReportAndStop(BadSectorsText(m_destination->LastError(), m_request.m_destDrive, "to"),
                             CloneOutcome::WriteFailed);
    std::string digits = FormatBytes(m_total);
    AppendReportLine(m_reportPath, "Done => " + digits);
    Release();
    m_frontEnd.OnCloneCompleted(m_request, AddThousandsSeparators(digits), m_badSectors);
    return CloneOutcome::Completed;
}

CloneOutcome CCloneRun::StopWith(const std::string& text, CloneOutcome outcome)
{
    m_frontEnd.OnCloneStopping();
    platform::MessageBox(text);
    Release();
    return outcome;
}

CloneOutcome CCloneRun::ReportAndStop(const std::string& text, CloneOutcome outcome)
{
    AppendReportLine(m_reportPath, text);
    return StopWith(text, outcome);
}

void CCloneRun::Release()
{
    m_source.reset();
    m_destination.reset();
    m_buffer.reset();
}

}  // namespace

CloneOutcome CloneDrive(const CCloneRequest& request, ICloneFrontEnd& frontEnd, platform::IVolumeOpener& volumes)
{
    CCloneRun run(request, frontEnd);
    return run.Run(volumes);
}
