// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include "platform/files/TextFiles.h"
#include "platform/system/SystemRoot.h"

#include <algorithm>

namespace platform {

namespace {

bool IsShutdownCommand(const std::string& file)
{
    const std::string name = "shutdown";
    return std::equal(file.begin(), file.end(), name.begin(), name.end(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

// Restarts the machine now. A simulated machine only writes the request down.
bool RequestRestart()
{
    if (auto root = SystemRoot())
        return AppendToFile(*root + "/shutdown.log", "shutdown -r -f -t 0\n");
    return RunProgram({"systemctl", "reboot"}) == 0;
}

}  // namespace

bool ShellExecute(const std::string& file, const std::string& parameters)
{
    std::vector<std::string> argv = SplitArguments(parameters);
    // Linux's own shutdown reads these options differently; only the restart request
    // is understood, and nothing else is ever passed on to it.
    if (IsShutdownCommand(file))
        return argv == std::vector<std::string>{"-r", "-f", "-t", "0"} && RequestRestart();
    argv.insert(argv.begin(), file);
    return StartProgram(argv);
}

}  // namespace platform
