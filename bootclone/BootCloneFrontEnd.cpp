// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootCloneFrontEnd.h"

#include "bootclone/BootPartitions.h"
#include "bootclone/BootTexts.h"
#include "clone/ReportFile.h"
#include "platform/drives/DriveLetters.h"
#include "platform/journal/Journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A verification reads hundreds of megabytes a second: a line for each of its blocks
// would scroll faster than anyone reads.
constexpr std::chrono::milliseconds kVerifyLineInterval(250);

}  // namespace

CBootCloneFrontEnd::CBootCloneFrontEnd(std::string reportFolder, bool fastMode,
                                       platform::CTerminationSignals& signals)
    : m_reportFolder(std::move(reportFolder)), m_fastMode(fastMode), m_signals(signals)
{
}

std::string CBootCloneFrontEnd::ReportPath() const
{
    return m_reportFolder + "status.txt";
}

std::string CBootCloneFrontEnd::CannotOpenSourceText(const std::string&) const
{
    return "CCreateClone::CloneDrive => Cannot open drive partition to clone from!";
}

std::string CBootCloneFrontEnd::CannotOpenDestinationText(const std::string&) const
{
    return "CCreateClone::CloneDrive => Cannot open drive partition to clone to!";
}

std::string CBootCloneFrontEnd::OverlappingVolumesText(const std::string&, const std::string&, bool) const
{
    return "CCreateClone::CloneDrive => Cannot clone a partition onto itself!";
}

bool CBootCloneFrontEnd::CancelRequested()
{
    return false;
}

// A damaged store hides every drive: the open failures that follow must not pass for a
// missing partition.
void CBootCloneFrontEnd::OnCloneStarting()
{
    if (auto error = platform::LetterTableError()) {
        std::fprintf(stderr, "Keldrun: %s\n", error->c_str());
        platform::LogToJournal(platform::JournalPriority::Error, *error);
    }
}

void CBootCloneFrontEnd::OnBlockWritten(std::uint64_t total)
{
    std::printf("%s total accumulated bytes written to the partition...\n",
                AddThousandsSeparators(FormatBytes(total)).c_str());
    // A fast-mode line stands for 20 MiB and is shown at once; the line per sector of slow
    // mode stays buffered, so the console does not slow the copy down.
    if (m_fastMode)
        std::fflush(stdout);
}

void CBootCloneFrontEnd::OnVerifyStarting(std::uint64_t bytes)
{
    m_verifyBytes = bytes;
    m_lastVerifyLine = std::chrono::steady_clock::now();
    std::printf("\n%s\n", boottexts::VerifyingLine(bytes).c_str());
    std::fflush(stdout);
}

void CBootCloneFrontEnd::OnBytesVerified(std::uint64_t compared)
{
    const auto now = std::chrono::steady_clock::now();
    if (compared < m_verifyBytes && now - m_lastVerifyLine < kVerifyLineInterval)
        return;
    m_lastVerifyLine = now;
    std::printf("%s\n", boottexts::BytesVerifiedLine(compared).c_str());
    std::fflush(stdout);
}

void CBootCloneFrontEnd::OnCloneCompleted(const CCloneRequest& request, std::uint64_t bytes, bool badSectorsSkipped,
                                          const std::vector<std::string>& notes)
{
    const std::string total = AddThousandsSeparators(FormatBytes(bytes));
    std::printf("\n");
    std::printf("Succesfully created the %s partition clone.\n", request.m_destDrive.c_str());
    std::printf("Total bytes copied to the partition: %s\n\n", total.c_str());
    if (badSectorsSkipped)
        std::printf("Bad sectors were found and were skipped.  See status.txt for details.\n");
    for (const std::string& note : notes)
        std::printf("%s\n", note.c_str());
    std::printf("Press the Enter key, or press the Ctrl-Alt-Del keys to reboot the system.\n"
                "The partition will be useable when the system fully boots up.\n");
    std::fflush(stdout);
    std::string record = "Succesfully created the " + request.m_destDrive +
                         " partition clone.  Total bytes copied to the partition: " + total +
                         (badSectorsSkipped ? ".  Bad sectors were skipped: see " + ReportPath() + "." : ".");
    for (const std::string& note : notes)
        record += "  " + note;
    platform::LogToJournal(platform::JournalPriority::Notice, record);
    m_signals.LetThrough();
}

void CBootCloneFrontEnd::OnOpenFailed(const std::string& text, const std::string& drive, int error)
{
    std::string why = DescribeBootDrive(drive) + " cannot be opened: " + std::strerror(error);
    if (std::optional<std::string> busy = error == EBUSY ? DescribeBusyDrive(drive) : std::nullopt)
        why += ": " + *busy;
    std::printf("%s\n", why.c_str());
    AppendReportLine(ReportPath(), text + "  " + why);
    platform::LogToJournal(platform::JournalPriority::Error, text + "  " + why);
}

// At boot nobody may see the message: status.txt keeps it.
void CBootCloneFrontEnd::OnRefused(const std::string& text)
{
    AppendReportLine(ReportPath(), text);
}

// A message box waits for Enter on a terminal; the clone is over, so Ctrl-Alt-Del may
// end Keldrun there.
void CBootCloneFrontEnd::OnCloneStopping()
{
    std::fflush(stdout);
    m_signals.LetThrough();
}

int CBootCloneFrontEnd::StopSignal()
{
    return m_signals.Pending();
}

void CBootCloneFrontEnd::OnCloneInterrupted(const std::string& text)
{
    platform::LogToJournal(platform::JournalPriority::Warning, text);
    std::printf("\n%s\n", text.c_str());
    std::fflush(stdout);
}
