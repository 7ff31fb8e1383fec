// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

namespace platform {

// How long a program waits for something that may never come (a device, a key) before
// it goes on without it. On the real machine the bound given. A simulated machine may
// shorten every such wait with VANTREL_WAIT_BOUND_MS (milliseconds), so that its tests
// see the waits end without sitting through minutes.
std::chrono::milliseconds WaitBound(std::chrono::milliseconds realMachine);

// A bound as messages tell it: "10 minutes", "90 seconds", "300 ms".
std::string WaitBoundText(std::chrono::milliseconds bound);

}  // namespace platform
