// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <string>

namespace testsupport {

// A shell script that stands in for the program name, found first on PATH for the life of
// the object (of this process and the programs it starts). The script sees the real
// program as $real and the last argument (the volume the NTFS tools are given) as $volume.
class CFakeTool {
public:
    // Runs the real program for a trial run (--no-action); the rest of the script is the
    // real run's.
    static inline const std::string kRealRunOnly =
        "case \" $* \" in *\" --no-action \"*) exec \"$real\" \"$@\";; esac\n";

    CFakeTool(const CTempMachine& machine, const std::string& name, const std::string& script);
    ~CFakeTool();
    CFakeTool(const CFakeTool&) = delete;
    CFakeTool& operator=(const CFakeTool&) = delete;

private:
    std::string m_path;    // PATH as it was
    std::string m_script;  // removed again with the object, so that it stands in for no later test
};

// A script line that overwrites the first records of $MFT on $volume with zeros, where the
// boot sector of the NTFS image ntfsImage says $MFT begins.
std::string ZeroMftScript(const std::string& ntfsImage);

}  // namespace testsupport
