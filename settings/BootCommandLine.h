// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// The command line of the boot-time clone: the quoted path of Keldrun.exe in the install
// folder, then source, destination, file system, size-field list, fast-mode digit and the
// install folder in quotes, written so that the Windows splitting rules give back exactly
// these arguments (a trailing backslash of the folder is doubled before the closing quote,
// else it would escape the quote); then the digits of the options that follow them.

// The program of the boot-time clone, in the install folder.
inline constexpr char kKeldrunProgram[] = "Keldrun.exe";

// The largest RunOnce command line, terminating zero included.
constexpr std::size_t kMaxBootCommandLine = 260;

// The options of a boot-time clone beyond its six arguments, each a digit after the
// install folder in this order. Digits are written only up to the last option that is on,
// so that a clone with every option off has the six-argument line Keldrun always read.
struct CBootCloneOptions {
    bool verifyCopy = false;     // the seventh argument
    bool usedSpaceOnly = false;  // the eighth argument
};

// The digits of flags in order ("1" on, "0" off) up to the last one that is on; none when
// all are off.
std::vector<std::string> OptionDigits(std::initializer_list<bool> flags);

// The arguments the line carries, the program first.
std::vector<std::string> BootCloneArguments(const std::string& installFolder, const std::string& sourceDrive,
                                            const std::string& destDrive, const std::string& sourceFileSystem,
                                            const std::string& sizeFieldList, int fastMode,
                                            const CBootCloneOptions& options);

// Writes arguments (as BootCloneArguments gives them) as one command line.
std::string JoinBootCommandLine(const std::vector<std::string>& arguments);

enum class BootLineCheck { Ok, TooLong, Ambiguous };

// Whether line fits in kMaxBootCommandLine bytes and splits back into arguments.
BootLineCheck CheckBootCommandLine(const std::string& line, const std::vector<std::string>& arguments);
