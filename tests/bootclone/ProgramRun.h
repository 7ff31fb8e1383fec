// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct CProgramResult {
    int m_exitCode = -1;  // -1 when the program could not be started or did not exit
    std::string m_out;
    std::string m_err;
};

// Runs argv[0] (a path) with input on its standard input and waits for it; its output
// and error streams are collected through files in scratchFolder.
CProgramResult RunCaptured(const std::vector<std::string>& argv, const std::string& input,
                           const std::string& scratchFolder);

}  // namespace testsupport
