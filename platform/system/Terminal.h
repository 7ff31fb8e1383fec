// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// True when standard output is a terminal (at boot, the console), where every line costs
// the time to draw it; false for a file or a pipe.
bool StandardOutputIsTerminal();

}  // namespace platform
