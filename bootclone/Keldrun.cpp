// SPDX-License-Identifier: GPL-3.0-or-later
// Keldrun: the clone that Vantrel schedules for the next start of the machine.
//   Keldrun SOURCE DEST FILESYSTEM SIZEFIELDLIST FASTMODE REPORTFOLDER [VERIFY [USEDSPACE]]
// Clones SOURCE onto DEST (only its used space when USEDSPACE is not 0, and reads both back
// to compare them when VERIFY is not 0), prints its progress, writes
// REPORTFOLDER"status.txt" and, once the clone is complete, waits for Enter and restarts
// the machine. It runs at boot before the local file systems are mounted: it first waits
// for both partitions' devices and refuses a partition that is mounted all the same.

#include "bootclone/BootCloneFrontEnd.h"
#include "bootclone/BootPartitions.h"
#include "clone/CloneDrive.h"
#include "clone/ReportFile.h"
#include "platform/drives/LetterTableSnapshot.h"
#include "platform/journal/Journal.h"
#include "platform/shell/Shell.h"
#include "platform/system/StandardOptions.h"
#include "platform/system/Terminal.h"
#include "platform/system/TerminationSignals.h"
#include "platform/system/WaitBound.h"
#include "platform/ui/ConsoleMessageBox.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

using namespace std::chrono_literals;

// The devices of a boot-time clone are normally there within seconds; a disk that is not
// there by then will not be.
constexpr std::chrono::milliseconds kDeviceWait = 90s;
// A failure's message waits this long for Enter, then the boot goes on: a machine
// without anyone at its keyboard must not wait for ever.
constexpr std::chrono::milliseconds kFailureMessageWait = 10min;

// The console message box, after whatever progress is still waiting in standard output,
// so the console reads in the order things happened; every message also goes to the
// journal. Keldrun shows a message box only when something went wrong.
class CBootMessageBox : public platform::IMessageBoxService {
public:
    CBootMessageBox() : m_console(platform::WaitBound(kFailureMessageWait)) {}

    int Show(const std::string& text, platform::MbButtons buttons) override
    {
        std::fflush(stdout);
        platform::LogToJournal(platform::JournalPriority::Error, text);
        return m_console.Show(text, buttons);
    }

private:
    platform::CConsoleMessageBox m_console;
};

// --help or --version as the only argument: answered on standard output, nothing else
// happens. Any other command line shorter than a clone's is the missing-arguments case.
bool AnsweredHelpOrVersion(int argc, char* argv[])
{
    constexpr const char* kUsage =
        "Usage: Keldrun SOURCE DEST FILESYSTEM SIZEFIELDLIST FASTMODE REPORTFOLDER [VERIFY [USEDSPACE]]\n"
        "Clones the partition SOURCE (a drive such as C:) onto DEST, prints its progress and\n"
        "writes REPORTFOLDER followed by status.txt; once the clone is complete it waits for\n"
        "Enter and restarts the machine. Vantrel schedules it for the next start.\n"
        "\n"
        "  FILESYSTEM     NTFS or FAT32, the file system of SOURCE\n"
        "  SIZEFIELDLIST  the boot-sector size field of DEST, byte values separated by commas\n"
        "  FASTMODE       1 for fast mode (stops at the first bad sector), 0 for slow mode\n"
        "                 (steps over bad sectors and lists them in status.txt)\n"
        "  REPORTFOLDER   the folder of status.txt, ending in /\n"
        "  VERIFY         1 to read both partitions back after the copy and compare them: a\n"
        "                 copy that differs is not done and the machine is not restarted;\n"
        "                 0 or absent: no verification\n"
        "  USEDSPACE      1 to copy only what NTFS or FAT32 uses (other file systems, and\n"
        "                 volumes hibernated or marked for a check, are copied whole), 0 or\n"
        "                 absent to copy the whole partition\n"
        "\n"
        "  --help     show this text\n"
        "  --version  show the version\n";
    return platform::AnsweredStandardOption(argc, argv, "Keldrun", kUsage);
}

// Reads one line of standard input, of at most 255 characters; its text does not matter.
void WaitForEnter()
{
    std::cin.ignore(255, '\n');
}

// Runs the clone with the signals that end a program held back until the transfer in
// progress is over; true when the copy is complete. A signal that stopped the clone ends
// Keldrun with that signal, once the report and the console say so; one that came after
// the last transfer ends it when the clone is over, before the prompt.
bool RunClone(const CCloneRequest& request, const std::string& reportFolder, platform::CTerminationSignals& signals)
{
    CBootCloneFrontEnd frontEnd(reportFolder, request, platform::StandardOutputIsTerminal(), signals);
    CloneOutcome outcome = CloneDrive(request, frontEnd, platform::BootVolumes());
    std::fflush(stdout);
    if (outcome == CloneOutcome::Interrupted)
        platform::EndWithSignal(signals.Pending());
    return outcome == CloneOutcome::Completed;
}

// A refusal is told like any other ending: report, journal and message box. A signal
// that stopped the wait ends Keldrun with it once the report, the journal and the console
// say so, without a message box that would wait for Enter.
void Refuse(const CBootRefusal& refusal, const std::string& reportFolder, platform::CTerminationSignals& signals)
{
    const std::string report = reportFolder + "status.txt";
    RemoveIfExists(report);
    AppendReportLine(report, refusal.text);
    if (refusal.signal != 0) {
        platform::LogToJournal(platform::JournalPriority::Warning, refusal.text);
        std::printf("%s\n", refusal.text.c_str());
        std::fflush(stdout);
        platform::EndWithSignal(refusal.signal);
    }
    // Ctrl-Alt-Del may end Keldrun while its message waits for Enter.
    signals.LetThrough();
    platform::MessageBox(refusal.text);
}

// Checks the partitions, then clones; false when it did not complete. Nothing changes the
// letter table at boot: it is read once for the whole run.
bool CloneAtBoot(const CCloneRequest& request, const std::string& reportFolder)
{
    // Held back from the start: a stop asked for while the letter table is read is told
    // like one during the wait.
    platform::CTerminationSignals signals;
    platform::CLetterTableSnapshot letters;
    platform::LogToJournal(platform::JournalPriority::Info,
                           "cloning " + DescribeBootDrive(request.m_sourceDrive) + " onto " +
                               DescribeBootDrive(request.m_destDrive) + ", " + request.m_fileSystem +
                               (request.m_fastMode ? ", fast mode" : ", slow mode") +
                               (request.m_usedSpaceOnly ? ", used space only" : "") +
                               (request.m_verify ? ", verified" : "") + "; report " +
                               reportFolder + "status.txt");
    if (std::optional<CBootRefusal> refusal =
            CheckBootPartitions(request, platform::WaitBound(kDeviceWait), signals)) {
        Refuse(*refusal, reportFolder, signals);
        return false;
    }
    return RunClone(request, reportFolder, signals);
}

// Asks for the restart and ends with exit code 0. The stop of the boot that the restart
// starts signals Keldrun too: the signals stay held back to the end, so that it ends
// normally instead of being recorded as killed.
[[noreturn]] void RestartAndEnd()
{
    platform::LogToJournal(platform::JournalPriority::Notice, "restarting the machine");
    platform::CTerminationSignals signals;
    platform::ShellExecute("shutdown", "-r -f -t 0");
    std::fflush(stdout);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (AnsweredHelpOrVersion(argc, argv))
        return 0;
    // Slow mode prints a line per sector: a large buffer keeps that cheap.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    CBootMessageBox messageBox;
    platform::SetMessageBoxService(&messageBox);

    if (argc < 7) {
        platform::MessageBox("Partition Restore => Missing arguments.");
    } else {
        // Each digit is on unless it reads as the number 0; the verify and used-space
        // digits are off when missing.
        CCloneRequest request{.m_sourceDrive = argv[1],
                              .m_destDrive = argv[2],
                              .m_fileSystem = argv[3],
                              .m_sizeFieldList = argv[4],
                              .m_fastMode = std::atoi(argv[5]) != 0,
                              .m_verify = argc > 7 && std::atoi(argv[7]) != 0,
                              .m_usedSpaceOnly = argc > 8 && std::atoi(argv[8]) != 0};
        if (CloneAtBoot(request, argv[6])) {
            WaitForEnter();
            RestartAndEnd();
        }
    }
    std::fflush(stdout);
    platform::SetMessageBoxService(nullptr);
    return 0;
}
