// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/Terminal.h"

#include <unistd.h>

namespace platform {

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

}  // namespace platform
