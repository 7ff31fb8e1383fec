// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// The two options every program and tool of the suite answers, alone on its command line.
namespace platform {

// When the only argument is --help or --version, writes usage (which ends in a line feed)
// or "<program> (Vantrel) <version>" to standard output and returns true: the program has
// nothing else to do. False for every other command line, which is left to the program.
bool AnsweredStandardOption(int argc, char** argv, std::string_view program, std::string_view usage);

}  // namespace platform
