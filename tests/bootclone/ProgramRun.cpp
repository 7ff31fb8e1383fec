// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/bootclone/ProgramRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testsupport {

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

CProgramResult RunCaptured(const std::vector<std::string>& argv, const std::string& input,
                           const std::string& scratchFolder)
{
    const std::string in = scratchFolder + "/stdin", out = scratchFolder + "/stdout", err = scratchFolder + "/stderr";
    std::ofstream(in, std::ios::binary | std::ios::trunc) << input;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    CProgramResult result;
    pid_t pid = 0;
    int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.m_exitCode = WEXITSTATUS(status);
    result.m_out = ReadFile(out);
    result.m_err = ReadFile(err);
    return result;
}

}  // namespace testsupport
