// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlgTexts.h"

std::string NoHelpViewerText(const std::string& helpFile)
{
    return "The help cannot be shown: no program to show it was found (neither a CHM viewer such as xchm registered "
           "for Vantrel, nor xdg-open).\n\nThe help file is " +
           helpFile + "\n\nIn a terminal, man Vantrel describes the program and its messages.";
}

std::string ScheduledCloneNoticeText(const std::string& summary)
{
    return "A clone is scheduled for the next start of the machine: " + summary +
           ".  It runs before anything else uses the partitions.\n\nDo you want to cancel it?  Yes cancels it; No "
           "keeps it.";
}
