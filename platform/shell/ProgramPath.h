// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace platform {

// The executable file that name stands for: name itself when it holds a "/", else the
// first match in the directories of PATH. Nothing for an empty name or no such program.
std::optional<std::string> FindProgram(const std::string& name);

}  // namespace platform
