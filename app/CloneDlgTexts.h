// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// What the clone dialog tells beyond the engine's and the scheduling's own messages.

// Help found no program to show helpFile: where the help is all the same.
std::string NoHelpViewerText(const std::string& helpFile);

// At start, while a clone waits for the next start of the machine; summary tells which
// partitions and mode ("the D: (/dev/sdb1) partition onto ..."). Yes cancels it.
std::string ScheduledCloneNoticeText(const std::string& summary);
