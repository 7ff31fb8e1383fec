// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootCloneFrontEnd.h"

#include "bootclone/BootPartitions.h"
#include "bootclone/BootTexts.h"
#include "clone/HumanUnits.h"
#include "clone/ReportFile.h"
#include "platform/drives/DriveLetters.h"
#include "platform/journal/Journal.h"

#include <cstdio>

namespace {

// A verification reads hundreds of megabytes a second: a line for each of its blocks
// would scroll faster than anyone reads.
constexpr std::chrono::milliseconds kVerifyLineInterval(250);

std::chrono::milliseconds Since(CBootCloneFrontEnd::Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(CBootCloneFrontEnd::Clock::now() - start);
}

}  // namespace

CBootCloneFrontEnd::CBootCloneFrontEnd(std::string reportFolder, const CCloneRequest& request, bool terminal,
                                       platform::CTerminationSignals& signals)
    : m_reportFolder(std::move(reportFolder)), m_request(request), m_terminal(terminal), m_signals(signals)
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

void CBootCloneFrontEnd::OnPartitionsOpened(std::uint64_t sourceBytes, std::uint64_t destinationBytes)
{
    const std::string line =
        boottexts::CloneBeginsLine(DescribeBootDrive(m_request.m_sourceDrive), sourceBytes,
                                   DescribeBootDrive(m_request.m_destDrive), destinationBytes, m_request.m_fastMode);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    platform::LogToJournal(platform::JournalPriority::Info, line);
    m_copyStarted = Clock::now();
}

void CBootCloneFrontEnd::PrintTotal(std::uint64_t total)
{
    std::printf("%s total accumulated bytes written to the partition...\n",
                AddThousandsSeparators(FormatBytes(total)).c_str());
}

// A fast-mode line stands for 20 MiB and is shown at once. Slow mode's line per sector
// stays buffered where standard output is a file; on a terminal only a total now and then
// is drawn, since the console draws every line before the copy may go on.
void CBootCloneFrontEnd::OnBlockWritten(std::uint64_t total)
{
    if (m_request.m_fastMode) {
        PrintTotal(total);
        std::fflush(stdout);
        return;
    }
    if (!m_terminal) {
        PrintTotal(total);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now - m_lastPrinted < kTerminalInterval) {
        m_heldTotal = total;
        return;
    }
    PrintTotal(total);
    std::fflush(stdout);
    m_lastPrinted = now;
    m_heldTotal.reset();
}

void CBootCloneFrontEnd::PrintHeldTotal()
{
    if (m_heldTotal)
        PrintTotal(*m_heldTotal);
    m_heldTotal.reset();
    std::fflush(stdout);
}

void CBootCloneFrontEnd::OnVerifyStarting(std::uint64_t bytes)
{
    PrintHeldTotal();
    m_copyTaken = Since(m_copyStarted);
    m_verifyBytes = bytes;
    m_lastVerifyLine = Clock::now();
    std::printf("\n%s\n", boottexts::VerifyingLine(bytes).c_str());
    std::fflush(stdout);
}

void CBootCloneFrontEnd::OnBytesVerified(std::uint64_t compared)
{
    const auto now = Clock::now();
    if (compared < m_verifyBytes && now - m_lastVerifyLine < kVerifyLineInterval)
        return;
    m_lastVerifyLine = now;
    std::printf("%s\n", boottexts::BytesVerifiedLine(compared).c_str());
    std::fflush(stdout);
}

void CBootCloneFrontEnd::OnCloneCompleted(const CCloneRequest& request, std::uint64_t bytes, bool badSectorsSkipped,
                                          const std::vector<std::string>& notes)
{
    PrintHeldTotal();
    // The copy's time and rate; a verification's time is told after them.
    const std::chrono::milliseconds taken = Since(m_copyStarted);
    std::optional<std::chrono::milliseconds> verifyTaken;
    if (m_copyTaken)
        verifyTaken = taken - *m_copyTaken;
    const std::string total = AddThousandsSeparators(FormatBytes(bytes));
    const std::string timeTaken = TimeTakenText(bytes, m_copyTaken.value_or(taken), verifyTaken);
    std::printf("\n");
    std::printf("Succesfully created the %s partition clone.\n", request.m_destDrive.c_str());
    std::printf("Total bytes copied to the partition: %s\n\n", total.c_str());
    std::printf("%s\n", timeTaken.c_str());
    if (badSectorsSkipped)
        std::printf("Bad sectors were found and were skipped.  See status.txt for details.\n");
    for (const std::string& note : notes)
        std::printf("%s\n", note.c_str());
    std::printf("Press the Enter key, or press the Ctrl-Alt-Del keys to reboot the system.\n"
                "The partition will be useable when the system fully boots up.\n");
    std::fflush(stdout);
    // The journal keeps the time to the millisecond, to compare one clone with another.
    std::string record = "Succesfully created the " + request.m_destDrive +
                         " partition clone.  Total bytes copied to the partition: " + total + ".  " + timeTaken +
                         "  The copy took " + std::to_string(m_copyTaken.value_or(taken).count()) + " ms." +
                         (badSectorsSkipped ? "  Bad sectors were skipped: see " + ReportPath() + "." : "");
    for (const std::string& note : notes)
        record += "  " + note;
    platform::LogToJournal(platform::JournalPriority::Notice, record);
    m_signals.LetThrough();
}

// The message box shows why too; the report and the journal keep it on one line.
void CBootCloneFrontEnd::OnOpenFailed(const std::string& text, const std::string& why)
{
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
    PrintHeldTotal();
    m_signals.LetThrough();
}

int CBootCloneFrontEnd::StopSignal()
{
    return m_signals.Pending();
}

void CBootCloneFrontEnd::OnCloneInterrupted(const std::string& text)
{
    PrintHeldTotal();
    platform::LogToJournal(platform::JournalPriority::Warning, text);
    std::printf("\n%s\n", text.c_str());
    std::fflush(stdout);
}
