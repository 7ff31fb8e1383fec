// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ToolRun.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

// text in single quotes for the shell, so that it reaches the program unchanged.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

CToolRun RunTool(const CTempMachine& machine, const std::string& program, const std::vector<std::string>& args)
{
    std::string outFile = machine.Path("tool-out.txt");
    std::string errFile = machine.Path("tool-err.txt");
    std::string line = Quoted(program);
    for (const std::string& arg : args)
        line += " " + Quoted(arg);
    line += " </dev/null >" + Quoted(outFile) + " 2>" + Quoted(errFile);
    int status = std::system(line.c_str());
    CToolRun run;
    run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outFile);
    run.err = ReadAll(errFile);
    return run;
}

}  // namespace testsupport
