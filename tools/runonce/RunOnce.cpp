// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-runonce: runs the entries of the HKLM RunOnce list once, at boot. Each entry is
// deleted before it runs, so an entry that hangs or restarts the machine never runs
// twice; the entries run one after the other, in the order they were stored. What it
// runs and how each ended goes to the journal. The signals that stop the boot's units
// are held back while an entry runs: the entry gets them too (systemd signals the whole
// unit), and its ending is still recorded; the entries not yet run stay for the next start.
#include "platform/journal/Journal.h"
#include "platform/registry/RegistryStore.h"
#include "platform/registry/StoreFile.h"
#include "platform/shell/Shell.h"
#include "platform/system/StandardOptions.h"
#include "platform/system/TerminationSignals.h"
#include "tools/runonce/StoreSafety.h"

#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using platform::CRegKey;
using platform::JournalPriority;
using platform::RegAccess;
using platform::RegRoot;
using platform::RegStatus;

namespace {

const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const char* const kUsage =
    "Usage: vantrel-runonce\n"
    "Runs the entries of HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce once,\n"
    "one after the other, deleting each before it runs. The boot-time unit starts it; it\n"
    "takes no arguments and refuses a store that root alone cannot write.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

void Complain(const std::string& message)
{
    std::cerr << "vantrel-runonce: " << message << '\n';
    platform::LogToJournal(JournalPriority::Error, message);
}

std::string Quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

// Runs one entry's command line and records how it ended; false when it could not start
// or was ended by a signal that no stop of the machine explains.
bool RunEntry(const std::string& name, const std::string& commandLine, const platform::CTerminationSignals& signals)
{
    std::vector<std::string> argv = platform::SplitCommandLine(commandLine);
    if (argv.empty()) {
        platform::LogToJournal(JournalPriority::Notice, Quoted(name) + " is an empty command line; nothing ran");
        return true;
    }
    platform::LogToJournal(JournalPriority::Info, "running " + Quoted(name) + ": " + commandLine);
    platform::CProgramEnding ending = platform::RunProgramToEnd(argv);
    if (ending.startError != 0) {
        Complain(Quoted(name) + " could not be started (" + std::strerror(ending.startError) + "): " + commandLine);
        return false;
    }
    if (ending.signal == 0) {
        platform::LogToJournal(ending.exitCode == 0 ? JournalPriority::Info : JournalPriority::Warning,
                               Quoted(name) + " ended with exit code " + std::to_string(ending.exitCode));
        return true;
    }
    const std::string what = Quoted(name) + " was ended by signal " + std::to_string(ending.signal) + " (" +
                             strsignal(ending.signal) + ")";
    if (signals.Pending() != 0) {
        platform::LogToJournal(JournalPriority::Notice, what + " as the system stopped");
        return true;
    }
    Complain(what);
    return false;
}

// The names of the entries in the order they were stored; the unnamed default value is
// not an entry. False when the list could not be read (a missing list is empty).
bool ListEntries(std::vector<std::string>& names)
{
    CRegKey key;
    RegStatus status = CRegKey::Open(RegRoot::LocalMachine, kRunOnce, RegAccess::Read, key);
    if (status == RegStatus::NotFound)
        return true;
    std::string name;
    for (std::uint32_t index = 0; status == RegStatus::Ok; ++index) {
        status = key.EnumValue(index, name);
        if (status == RegStatus::Ok && !name.empty())
            names.push_back(name);
    }
    return status == RegStatus::NoMoreItems;
}

enum class Taken { Gone, Failed, Taken };

// Reads the entry's command line and deletes the entry. Gone when it was deleted
// meanwhile; Failed (with a message) when it could not be deleted or is no command line.
Taken TakeEntry(const std::string& name, std::string& commandLine)
{
    CRegKey key;
    RegStatus status = CRegKey::Open(RegRoot::LocalMachine, kRunOnce, RegAccess::Full, key);
    if (status == RegStatus::NotFound)
        return Taken::Gone;
    if (status != RegStatus::Ok) {
        Complain("cannot open the RunOnce list for writing; \"" + name + "\" was not run");
        return Taken::Failed;
    }
    platform::RegValue value;
    if (key.Query(name, value) == RegStatus::NotFound)
        return Taken::Gone;
    RegStatus read = ReadStringValue(key, name, commandLine);
    if (key.DeleteValue(name) != RegStatus::Ok) {
        Complain("cannot delete the entry \"" + name + "\"; it was not run");
        return Taken::Failed;
    }
    if (read != RegStatus::Ok) {
        Complain("the entry \"" + name + "\" is not a command line; deleted without running it");
        return Taken::Failed;
    }
    return Taken::Taken;
}

}  // namespace

int main(int argc, char** argv)
{
    if (platform::AnsweredStandardOption(argc, argv, "vantrel-runonce", kUsage))
        return 0;
    // Whatever else it is given, it runs nothing: it runs as root.
    if (argc > 1) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string store = platform::store::LocateStore(RegRoot::LocalMachine).file;
    if (std::optional<std::string> reason = StoreIsUnsafe(store)) {
        Complain("refusing to run anything: " + *reason);
        return 1;
    }
    std::vector<std::string> names;
    if (!ListEntries(names)) {
        std::optional<std::string> problem = platform::StoreReadProblem(RegRoot::LocalMachine);
        Complain(problem ? "the store cannot be read: " + *problem : "cannot read HKLM\\" + kRunOnce + " in " + store);
        return 1;
    }
    if (names.empty())
        return 0;
    platform::CTerminationSignals signals;
    // The entries may need the console, which the boot splash holds.
    platform::QuitBootSplash();
    bool allRan = true;
    for (const std::string& name : names) {
        if (int signal = signals.Pending()) {
            platform::LogToJournal(JournalPriority::Notice, "the system is stopping (signal " + std::to_string(signal) +
                                                                "): the entries not run stay for the next start");
            break;
        }
        std::string commandLine;
        Taken taken = TakeEntry(name, commandLine);
        if (taken != Taken::Taken) {
            allRan = allRan && taken == Taken::Gone;
            continue;
        }
        allRan = RunEntry(name, commandLine, signals) && allRan;
    }
    // A stop of the machine is no failure of this run: it ends normally, signals held.
    std::cout << std::flush;
    std::_Exit(allRan ? 0 : 1);
}
