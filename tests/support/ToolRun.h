// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <string>
#include <vector>

namespace testsupport {

struct CToolRun {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs program with args, each passed as it is, on machine with no input; its output
// goes through files in the machine's folder.
CToolRun RunTool(const CTempMachine& machine, const std::string& program, const std::vector<std::string>& args);

}  // namespace testsupport
