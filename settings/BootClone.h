// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/BootCommandLine.h"

#include <string>

// Scheduling a clone for the next start of the machine: a one-shot start-up entry that
// runs Keldrun, then, if the user agrees, a restart.

// Asks whether to restart now; unless cancelled, stores the RunOnce entry
// "Vantrel Clone Partition" that starts Keldrun with the clone's six arguments and the
// digits of the options that are on and, on Yes, restarts the machine. Refuses (with a
// message, storing nothing and not restarting) while other start-up entries are pending,
// when the command line would not fit in 260 bytes or not split back into its arguments,
// and when the entry cannot be stored.
void ScheduleBootClone(const std::string& installFolder, const std::string& sourceDrive,
                       const std::string& destDrive, const std::string& sourceFileSystem,
                       const std::string& sizeFieldList, int fastMode, const CBootCloneOptions& options);

// True when no program waits in the RunOnce list of HKLM or HKCU; a list that cannot be
// opened counts as empty and an unnamed default value is no entry.
bool RunOnceIsEmpty();
