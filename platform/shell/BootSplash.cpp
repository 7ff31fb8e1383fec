// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include "platform/system/SystemRoot.h"

namespace platform {

void QuitBootSplash()
{
    if (SystemRoot())
        return;
    // Fails at once when Plymouth is not installed or its daemon does not run.
    RunProgram({"plymouth", "--wait", "quit"});
}

}  // namespace platform
