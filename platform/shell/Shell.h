// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (searched on PATH when it has no slash) with the argument vector and
// does not wait; the finished program is reaped in the background, so a long-running
// caller collects no zombies. True when the program was started.
bool StartProgram(const std::vector<std::string>& argv);

// Starts argv[0] as above and waits for it; returns its exit code, or -1 when it could
// not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv);

// How a program that was waited for ended.
struct CProgramEnding {
    int startError = 0;  // the errno that kept it from starting; 0 when it started
    int exitCode = -1;   // its exit code when it exited
    int signal = 0;      // the signal that ended it, or 0
    bool overdue = false;  // it was killed (signal SIGKILL) for running past its bound
};

// How a program is run beyond its argument vector.
struct CRunOptions {
    // Standard input, output and error on /dev/null: nothing it writes reaches this
    // program's console, and a question it asks reads end of input. Nor does it get any
    // other file of this process but inheritedFiles.
    bool quiet = false;
    // SIGTERM, SIGINT and SIGHUP blocked in the program, as a program that must not stop
    // half way holds them (the stop of the machine signals every process of its unit).
    bool holdStopSignals = false;
    // Open files of this process that the program gets as its descriptors 3, 4, ...; it
    // finds the i-th under InheritedFilePath(i), so it works on exactly the file this
    // process opened and checked, never on a path that someone could swap meanwhile.
    std::vector<int> inheritedFiles;
    // A program still running after this long is killed: only for one whose end at any
    // moment changes nothing (one that only reads), which might otherwise hold its
    // caller for ever.
    std::optional<std::chrono::milliseconds> bound;
};

// Starts argv[0] as above and waits for it to end.
CProgramEnding RunProgramToEnd(const std::vector<std::string>& argv, const CRunOptions& options = {});

// The path under which a program run with inherited files opens the index-th of them:
// "/proc/self/fd/3" for the first. Opening it opens that very file again (its inode),
// whatever has become of the name it was opened by.
std::string InheritedFilePath(std::size_t index);

// Asks the boot splash (Plymouth), when it runs, to quit, and waits until it has given
// the console back, so that a program started at boot can use the terminal. Nothing
// happens without Plymouth, nor on a simulated machine.
void QuitBootSplash();

// The stand-in for ShellExecute of a system command: "shutdown" with "-r -f -t 0"
// restarts the machine (under a system root: appends "shutdown -r -f -t 0" as one line
// to shutdown.log there and nothing else); "shutdown" with any other parameters is
// refused, never run. Any other file is started with its parameters split by the
// Windows command-line rules. True when the request was made.
bool ShellExecute(const std::string& file, const std::string& parameters);

// Splits a command line the way Windows programs split theirs: blanks and tabs separate
// arguments; "..." groups; 2n backslashes before a quote give n backslashes and the quote
// toggles grouping; 2n+1 give n backslashes and a literal quote; other backslashes are
// literal; "" inside a group gives a literal quote and the group goes on. The first
// argument (the program) is taken up to the next blank or tab outside quotes, with
// quotes removed and no backslash rules. Blanks before the program are skipped; a blank
// line gives no arguments.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Splits the arguments that follow the program on a command line, all of them by the
// argument rules above (as ShellExecute does with its parameters).
std::vector<std::string> SplitArguments(const std::string& arguments);

// Quotes one argument so that SplitCommandLine gives it back unchanged in any position
// after the program; the folder C:\Program Files\Vantrel\ becomes "C:\Program Files\Vantrel\\".
std::string QuoteArgument(const std::string& argument);

}  // namespace platform
