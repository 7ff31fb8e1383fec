// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/BootClone.h"

#include "platform/shell/Shell.h"
#include "platform/ui/MessageBox.h"
#include "settings/BootCommandLine.h"
#include "settings/Registry.h"
#include "settings/ScheduledClone.h"

namespace {

const char kRebootQuestion[] =
    "The system must be rebooted to begin the clone process.\n\n"
    "Click Yes to reboot the system now.\t\t\t\t  \n"
    "Click No to have the clone process begin the next time you reboot.\t\t\t\t  \n"
    "Click Cancel to cancel the clone entirely.";
const char kLineTooLong[] =
    "Cannot run in Safe Mode.  The install folder's path is too long for the boot-time "
    "command line (260 characters at most).";
const char kLineAmbiguous[] =
    "Cannot run in Safe Mode.  The install folder's path cannot be written on the boot-time "
    "command line.";
const char kNotStored[] =
    "Cannot run in Safe Mode.  The boot-time clone could not be stored in the registry.";

// True when the key root\kRunOnceKey cannot be opened or holds no named value.
bool ListIsEmpty(platform::RegRoot root)
{
    CRegistry registry;
    if (!registry.Open(root, kRunOnceKey))
        return true;
    return registry.HasNoNamedValues();
}

// Stores line as the start-up entry; true when it was stored.
bool StoreEntry(const std::string& line)
{
    CRegistry registry;
    registry.CreateKey(platform::RegRoot::LocalMachine, kRunOnceKey);
    return registry.Open(platform::RegRoot::LocalMachine, kRunOnceKey) && registry.WriteString(kBootEntryName, line);
}

}  // namespace

bool RunOnceIsEmpty()
{
    bool empty = ListIsEmpty(platform::RegRoot::LocalMachine);
    return ListIsEmpty(platform::RegRoot::CurrentUser) && empty;
}

void ScheduleBootClone(const std::string& installFolder, const std::string& sourceDrive,
                       const std::string& destDrive, const std::string& sourceFileSystem,
                       const std::string& sizeFieldList, int fastMode, const CBootCloneOptions& options)
{
    int answer = platform::MessageBox(kRebootQuestion, platform::MbButtons::YesNoCancel);
    if (answer != platform::IDYES && answer != platform::IDNO)
        return;
    if (!RunOnceIsEmpty()) {
        TellPendingEntries();
        return;
    }

    auto arguments =
        BootCloneArguments(installFolder, sourceDrive, destDrive, sourceFileSystem, sizeFieldList, fastMode, options);
    std::string line = JoinBootCommandLine(arguments);
    switch (CheckBootCommandLine(line, arguments)) {
    case BootLineCheck::TooLong:
        platform::MessageBox(kLineTooLong);
        return;
    case BootLineCheck::Ambiguous:
        platform::MessageBox(kLineAmbiguous);
        return;
    case BootLineCheck::Ok:
        break;
    }
    // A restart without the entry would only lose the user's time: no clone would run.
    if (!StoreEntry(line)) {
        platform::MessageBox(kNotStored);
        return;
    }
    if (answer == platform::IDYES)
        platform::ShellExecute("shutdown", "-r -f -t 0");
}
