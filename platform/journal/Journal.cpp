// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/journal/Journal.h"

#include "platform/files/TextFiles.h"
#include "platform/system/SystemRoot.h"

#include <systemd/sd-journal.h>

#include <cerrno>
#include <syslog.h>

namespace platform {

namespace {

const char* PriorityName(JournalPriority priority)
{
    switch (priority) {
    case JournalPriority::Error:
        return "err";
    case JournalPriority::Warning:
        return "warning";
    case JournalPriority::Notice:
        return "notice";
    case JournalPriority::Info:
        break;
    }
    return "info";
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\t' || c == '\r')
            c = ' ';
    return text;
}

}  // namespace

void LogToJournal(JournalPriority priority, const std::string& text)
{
    if (auto root = SystemRoot()) {
        AppendToFile(*root + "/journal.log", std::string(PriorityName(priority)) + " " +
                                                 program_invocation_short_name + ": " + OneLine(text) + "\n");
        return;
    }
    static_assert(static_cast<int>(JournalPriority::Error) == LOG_ERR &&
                  static_cast<int>(JournalPriority::Info) == LOG_INFO);
    sd_journal_print(static_cast<int>(priority), "%s", text.c_str());
}

}  // namespace platform
