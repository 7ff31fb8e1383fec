// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The command line of the boot-time clone: the quoted path of Keldrun.exe in the install
// folder, then source, destination, file system, size-field list, fast-mode digit and the
// install folder in quotes, written so that the Windows splitting rules give back exactly
// these arguments (a trailing backslash of the folder is doubled before the closing quote,
// else it would escape the quote). With "Copy only used space" on, the verify digit and
// the used-space digit follow; otherwise the line ends with the folder.

// The largest RunOnce command line, terminating zero included.
constexpr std::size_t kMaxBootCommandLine = 260;

// The arguments the line carries, the program first.
std::vector<std::string> BootCloneArguments(const std::string& installFolder, const std::string& sourceDrive,
                                            const std::string& destDrive, const std::string& sourceFileSystem,
                                            const std::string& sizeFieldList, int fastMode, int usedSpaceOnly);

// Writes arguments (as BootCloneArguments gives them) as one command line.
std::string JoinBootCommandLine(const std::vector<std::string>& arguments);

enum class BootLineCheck { Ok, TooLong, Ambiguous };

// Whether line fits in kMaxBootCommandLine bytes and splits back into arguments.
BootLineCheck CheckBootCommandLine(const std::string& line, const std::vector<std::string>& arguments);
