// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The system journal, where the programs that run at boot, with no one watching, record
// what they did. On a simulated machine the entries go to journal.log in its folder, one
// line each: the priority, the program's name and the text with its line ends as blanks.
namespace platform {

enum class JournalPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// Records text under the program's own name. A journal that cannot be reached (no
// systemd) is passed over: the programs also tell their console.
void LogToJournal(JournalPriority priority, const std::string& text);

}  // namespace platform
