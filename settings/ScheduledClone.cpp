// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ScheduledClone.h"

#include "platform/shell/Shell.h"
#include "platform/ui/MessageBox.h"
#include "settings/BootCommandLine.h"
#include "settings/Registry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

bool CScheduledClone::IsClone() const
{
    if (arguments.size() < 7)
        return false;
    const std::string& program = arguments.front();
    const std::size_t slash = program.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? program : program.substr(slash + 1);
    // Compared as Windows compares file names: without regard to case.
    return std::equal(name.begin(), name.end(), std::begin(kKeldrunProgram), std::end(kKeldrunProgram) - 1,
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

bool CScheduledClone::FastMode() const
{
    return std::atoi(arguments[5].c_str()) != 0;
}

bool CScheduledClone::Digit(std::size_t index) const
{
    return index < arguments.size() && std::atoi(arguments[index].c_str()) != 0;
}

std::optional<CScheduledClone> FindScheduledClone()
{
    CRegistry registry;
    std::string line;
    if (!registry.Open(platform::RegRoot::LocalMachine, kRunOnceKey) || !registry.ReadString(kBootEntryName, line))
        return std::nullopt;
    return CScheduledClone{line, platform::SplitCommandLine(line)};
}

bool CancelScheduledClone()
{
    CRegistry registry;
    if (!registry.Open(platform::RegRoot::LocalMachine, kRunOnceKey))
        return !FindScheduledClone();
    return registry.DeleteValue(kBootEntryName);
}

std::string ScheduledCloneSummary(const CScheduledClone& clone,
                                  const std::function<std::string(const std::string& drive)>& describe)
{
    if (!clone.IsClone())
        return "the command " + clone.commandLine;
    return "the " + describe(clone.Source()) + " partition onto the " + describe(clone.Destination()) +
           " partition, " + clone.FileSystem() + ", in " + (clone.FastMode() ? "fast" : "slow") + " mode" +
           (clone.Digit(8) ? ", only the used space" : "") + (clone.Digit(7) ? ", verified" : "");
}

std::string AlreadyScheduledText(const CScheduledClone& clone)
{
    return "Cannot run in Safe Mode at this time.  A Vantrel clone is already scheduled for the next start of the "
           "machine: " +
           ScheduledCloneSummary(clone, [](const std::string& drive) { return drive; }) +
           ".\n\nDo you want to cancel it?  Yes cancels it; press Create again to schedule this clone instead.  No "
           "keeps it.";
}

namespace {

// True when root's start-up list holds no entry but, when given, except.
bool ListHoldsNothingBut(platform::RegRoot root, const std::string& except)
{
    CRegistry registry;
    return !registry.Open(root, kRunOnceKey) || registry.HasNoNamedValues(except);
}

}  // namespace

void TellPendingEntries()
{
    std::optional<CScheduledClone> clone = FindScheduledClone();
    // Cancelling Vantrel's entry would not let this clone be scheduled while other
    // programs' entries wait as well.
    if (!clone || !ListHoldsNothingBut(platform::RegRoot::LocalMachine, kBootEntryName) ||
        !ListHoldsNothingBut(platform::RegRoot::CurrentUser, {})) {
        platform::MessageBox(kOtherProgramsScheduledText);
        return;
    }
    if (platform::MessageBox(AlreadyScheduledText(*clone), platform::MbButtons::YesNo) != platform::IDYES)
        return;
    platform::MessageBox(CancelScheduledClone() ? kScheduledCloneCancelledText : kScheduledCloneNotCancelledText);
}
