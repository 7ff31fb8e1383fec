// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The clone that waits for the next start of the machine: the start-up entry that
// ScheduleBootClone stored, read back so that the user sees it and can take it back.

// The one-shot start-up list of the machine, and Vantrel's entry in it.
inline constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char kBootEntryName[] = "Vantrel Clone Partition";

struct CScheduledClone {
    std::string commandLine;             // as stored
    std::vector<std::string> arguments;  // split by the Windows rules, Keldrun first

    // True when the line carries a clone: Keldrun and at least its six arguments. Any
    // other program under Vantrel's name is told by its command line, never as a clone.
    bool IsClone() const;
    const std::string& Source() const { return arguments[1]; }
    const std::string& Destination() const { return arguments[2]; }
    const std::string& FileSystem() const { return arguments[3]; }
    // The mode digit as Keldrun reads it: fast unless it reads as the number 0.
    bool FastMode() const;
    // An optional digit after the report folder (7: verify, 8: used space only) as Keldrun
    // reads it: on when present and not read as the number 0.
    bool Digit(std::size_t index) const;
};

// Vantrel's entry in the HKLM start-up list; nothing when there is none.
std::optional<CScheduledClone> FindScheduledClone();

// Deletes Vantrel's entry; true when none is left.
bool CancelScheduledClone();

// "the D: partition onto the E: partition, NTFS, in fast mode, verified", with how each drive is
// told given by describe ("D: (/dev/sdb1)"); the command line itself for an entry that
// carries no clone.
std::string ScheduledCloneSummary(const CScheduledClone& clone,
                                  const std::function<std::string(const std::string& drive)>& describe);

// Safe Mode refused because Vantrel's own clone waits already: says so, and offers to
// cancel it (Yes cancels it; the user then presses Create again).
std::string AlreadyScheduledText(const CScheduledClone& clone);

// Safe Mode refused because other programs' start-up entries are pending.
inline constexpr const char* kOtherProgramsScheduledText =
    "Cannot run in Safe Mode at this time.  Other programs are scheduled to run during boot up.";

// Told once the entry is deleted, or when it could not be.
inline constexpr const char* kScheduledCloneCancelledText =
    "The scheduled clone was cancelled: nothing will be cloned at the next start of the machine.";
inline constexpr const char* kScheduledCloneNotCancelledText =
    "The scheduled clone could not be cancelled: the registry could not be changed.  It still runs at the next "
    "start of the machine.";

// Tells why Safe Mode cannot be used while start-up entries are pending: when Vantrel's own
// entry is the only one, that a clone waits already, with the offer to cancel it; while any
// other program's waits, the message that other programs are scheduled.
void TellPendingEntries();
