// Keldrun: the clone that Vantrel schedules for the next start of the machine.
//   Keldrun SOURCE DEST FILESYSTEM SIZEFIELDLIST FASTMODE REPORTFOLDER
// Clones SOURCE onto DEST, prints its progress, writes REPORTFOLDER"status.txt" and, once
// the clone is complete, waits for Enter and restarts the machine.

#include "bootclone/BootCloneFrontEnd.h"
#include "clone/CloneDrive.h"
#include "platform/shell/Shell.h"
#include "platform/system/StandardOptions.h"
#include "platform/system/TerminationSignals.h"
#include "platform/ui/ConsoleMessageBox.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// The console message box, after whatever progress is still waiting in standard output,
// so the console reads in the order things happened.
class CFlushingMessageBox : public platform::IMessageBoxService {
public:
    int Show(const std::string& text, platform::MbButtons buttons) override
    {
        std::fflush(stdout);
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
        "Usage: Keldrun SOURCE DEST FILESYSTEM SIZEFIELDLIST FASTMODE REPORTFOLDER\n"
        "Clones the partition SOURCE (a drive such as C:) onto DEST, prints its progress and\n"
        "writes REPORTFOLDER followed by status.txt; once the clone is complete it waits for\n"
        "Enter and restarts the machine. Vantrel schedules it for the next start.\n"
        "\n"
        "  FILESYSTEM     NTFS or FAT32, the file system of SOURCE\n"
        "  SIZEFIELDLIST  the boot-sector size field of DEST, byte values separated by commas\n"
        "  FASTMODE       1 for fast mode (20 MiB a transfer), 0 for slow mode (one sector)\n"
        "  REPORTFOLDER   the folder of status.txt, ending in /\n"
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
bool RunClone(const CCloneRequest& request, const std::string& reportFolder)
{
    platform::CTerminationSignals signals;
    CBootCloneFrontEnd frontEnd(reportFolder, request.m_fastMode != 0, signals);
    CloneOutcome outcome = CloneDrive(request, frontEnd);
    std::fflush(stdout);
    if (outcome == CloneOutcome::Interrupted)
        platform::EndWithSignal(signals.Pending());
    return outcome == CloneOutcome::Completed;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (AnsweredHelpOrVersion(argc, argv))
        return 0;
    // Slow mode prints a line per sector: a large buffer keeps that cheap.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    CFlushingMessageBox messageBox;
    platform::SetMessageBoxService(&messageBox);

    if (argc < 7) {
        platform::MessageBox("Partition Restore => Missing arguments.");
    } else {
        CCloneRequest request{argv[1], argv[2], argv[3], argv[4], std::atoi(argv[5])};
        if (RunClone(request, argv[6])) {
            WaitForEnter();
            platform::ShellExecute("shutdown", "-r -f -t 0");
        }
    }
    std::fflush(stdout);
    platform::SetMessageBoxService(nullptr);
    return 0;
}
