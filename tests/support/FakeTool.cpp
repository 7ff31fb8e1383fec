// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeTool.h"

#include "tests/support/NtfsImage.h"
#include "tests/support/ToolRun.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace testsupport {

CFakeTool::CFakeTool(const CTempMachine& machine, const std::string& name, const std::string& script)
    : m_path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"),
      m_script(machine.Path("fake-tools") + "/" + name)
{
    const std::string folder = machine.Path("fake-tools");
    std::filesystem::create_directories(folder);
    const std::string real = RunTool(machine, "sh", {"-c", "command -v \"$0\"", name}).out;
    std::ofstream(m_script, std::ios::trunc)
        << "#!/bin/sh\nreal='" << real.substr(0, real.find('\n')) << "'\nfor volume; do :; done\n"
        << script;
    ::chmod(m_script.c_str(), 0755);
    ::setenv("PATH", (folder + ":" + m_path).c_str(), 1);
}

CFakeTool::~CFakeTool()
{
    ::setenv("PATH", m_path.c_str(), 1);
    std::error_code ignored;
    std::filesystem::remove(m_script, ignored);
}

std::string ZeroMftScript(const std::string& ntfsImage)
{
    return "dd if=/dev/zero of=\"$volume\" bs=512 seek=" + std::to_string(NtfsMftSector(ntfsImage)) +
           " count=16 conv=notrunc 2>/dev/null\n";
}

}  // namespace testsupport
