// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace platform {

// The folder of the simulated machine named by VANTREL_SYSTEM_ROOT, or nothing on the
// real machine. Read on every call, so a test may switch machines between cases.
std::optional<std::string> SystemRoot();

// A file of the machine's own state: under the system root when one is set, else the
// given path of the real machine.
std::string MachineFile(const std::string& nameUnderRoot, const std::string& realPath);

}  // namespace platform
