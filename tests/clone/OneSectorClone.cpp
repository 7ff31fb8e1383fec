// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/clone/OneSectorClone.h"

#include "clone/CloneTexts.h"
#include "clone/NtfsCompletion.h"
#include "clone/ReportFile.h"
#include "clone/SizeField.h"
#include "platform/ui/MessageBox.h"

#include <cerrno>
#include <memory>

namespace {

constexpr std::uint32_t kSector = 512;

class COneSectorRun {
public:
    COneSectorRun(const CCloneRequest& request, ICloneFrontEnd& frontEnd)
        : m_request(request), m_frontEnd(frontEnd), m_report(frontEnd.ReportPath())
    {
    }

    CloneOutcome Run(platform::IVolumeOpener& volumes)
    {
        RemoveIfExists(m_report);
        m_frontEnd.OnCloneStarting();
        auto source = volumes.Open(platform::RawVolumeName(m_request.m_sourceDrive), platform::VolumeAccess::Read);
        if (!source)
            return Stop(m_frontEnd.CannotOpenSourceText(m_request.m_sourceDrive), CloneOutcome::OpenFailed);
        auto dest = volumes.Open(platform::RawVolumeName(m_request.m_destDrive), platform::VolumeAccess::Write);
        if (!dest)
            return Stop(m_frontEnd.CannotOpenDestinationText(m_request.m_destDrive), CloneOutcome::OpenFailed);
        AppendReportLine(m_report,
                         ReportHeaderText(m_request.m_sourceDrive, m_request.m_destDrive, m_request.m_fileSystem));
        m_frontEnd.OnCopyPlanned(source->Size());
        return Copy(*source, *dest);
    }

private:
    CloneOutcome Copy(platform::IVolume& source, platform::IVolume& dest)
    {
        platform::CVolumeBuffer buffer(kSector);
        std::span<std::byte> sector = buffer.Bytes();
        bool firstBlock = true;
        for (;;) {
            std::uint32_t bytesRead = 0;
            if (!source.Read(sector, bytesRead)) {
                bool continues = List(source, m_request.m_sourceDrive);
                source.Move(kSector);
                dest.Move(kSector);
                if (continues && m_frontEnd.CancelRequested())
                    return Stop(kCloneCancelledText, CloneOutcome::Cancelled);
                continue;
            }
            if (firstBlock) {
                if (!IsClonedFileSystem(m_request.m_fileSystem))
                    return Stop(UnknownFileSystemText(m_request.m_fileSystem), CloneOutcome::UnknownFileSystem);
                if (m_location == 0)
                    m_boot.assign(sector.begin(), sector.begin() + bytesRead);
                firstBlock = false;
            }
            if (m_frontEnd.CancelRequested())
                return Stop(kCloneCancelledText, CloneOutcome::Cancelled);
            if (bytesRead == 0)
                return Complete(source, dest);
            std::uint32_t bytesWritten = 0;
            if (!dest.Write(sector.first(bytesRead), bytesWritten)) {
                if (dest.LastError() == ENOSPC) {
                    std::string text = DestinationTooSmallText(dest.LastError(), m_request.m_destDrive,
                                                               m_request.m_sourceDrive, dest.Size(), source.Size());
                    AppendReportLine(m_report, text);
                    return Stop(text, CloneOutcome::WriteFailed);
                }
                bool continues = List(dest, m_request.m_destDrive);
                dest.Move(kSector);
                if (continues && m_frontEnd.CancelRequested())
                    return Stop(kCloneCancelledText, CloneOutcome::Cancelled);
                continue;
            }
            m_total += bytesWritten;
            m_frontEnd.OnBlockWritten(m_total);
            ++m_location;
        }
    }

    // Lists the sector at the location; true when it continues a run of bad sectors.
    bool List(const platform::IVolume& volume, const std::string& drive)
    {
        bool continues = m_runVolume == &volume && m_runNext == m_location;
        if (!continues) {
            m_runVolume = &volume;
            m_runError = volume.LastError();
        }
        m_bad = true;
        AppendReportLine(m_report, SkippedSectorLine(m_runError, m_location, drive));
        m_runNext = ++m_location;
        return continues;
    }

    CloneOutcome Complete(const platform::IVolume& source, platform::IVolume& dest)
    {
        if (!dest.Flush()) {
            std::string text = BadSectorsText(dest.LastError(), m_request.m_destDrive, "to");
            AppendReportLine(m_report, text);
            return Stop(text, CloneOutcome::WriteFailed);
        }
        std::vector<std::string> notes;
        if (m_request.m_fileSystem == "NTFS") {
            notes = CompleteNtfsCopy(m_request, source, dest, m_boot, m_request.m_destDrive).notes;
            for (const std::string& note : notes)
                AppendReportLine(m_report, note);
        }
        AppendReportLine(m_report, DoneLineText(FormatBytes(m_total)));
        m_frontEnd.OnCloneCompleted(m_request, m_total, m_bad, notes);
        return CloneOutcome::Completed;
    }

    CloneOutcome Stop(const std::string& text, CloneOutcome outcome)
    {
        m_frontEnd.OnCloneStopping();
        platform::MessageBox(text);
        return outcome;
    }

    const CCloneRequest& m_request;
    ICloneFrontEnd& m_frontEnd;
    std::string m_report;
    std::uint64_t m_total = 0;
    std::uint64_t m_location = 0;
    bool m_bad = false;
    std::vector<std::byte> m_boot;  // the first sector, when it was copied
    const platform::IVolume* m_runVolume = nullptr;
    std::uint64_t m_runNext = 0;
    int m_runError = 0;
};

}  // namespace

CloneOutcome CloneOneSectorAtATime(const CCloneRequest& request, ICloneFrontEnd& frontEnd,
                                   platform::IVolumeOpener& volumes)
{
    COneSectorRun run(request, frontEnd);
    return run.Run(volumes);
}
