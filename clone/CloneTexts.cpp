// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/CloneTexts.h"

std::string DestinationTooSmallText(int error, const std::string& destination, const std::string& source)
{
    return "Error#: " + std::to_string(error) + ".  The " + destination +
           " partition ended before the copy was complete.  It must be at least as large as the " + source +
           " partition.";
}
