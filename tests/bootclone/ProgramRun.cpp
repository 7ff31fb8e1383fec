// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/bootclone/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
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

CPipedRun::CPipedRun(const std::vector<std::string>& argv)
{
    int out[2];
    if (pipe(out) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        m_pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_out = out[0];
}

CPipedRun::~CPipedRun()
{
    if (m_pid > 0)
        Stop(SIGKILL);
    if (m_out >= 0)
        close(m_out);
}

const std::string& CPipedRun::ReadUntil(std::size_t size)
{
    char chunk[4096];
    ssize_t n = 0;
    while (m_output.size() < size && (n = read(m_out, chunk, sizeof chunk)) > 0)
        m_output.append(chunk, static_cast<std::size_t>(n));
    return m_output;
}

int CPipedRun::Stop(int signal)
{
    if (m_pid <= 0)
        return -1;
    kill(m_pid, signal);
    return Wait();
}

int CPipedRun::Wait()
{
    if (m_pid <= 0)
        return -1;
    ReadUntil(std::string::npos);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = 0;
    return status;
}

CWorldWritableFolder::CWorldWritableFolder()
{
    char name[] = "/tmp/vantrel-shared-XXXXXX";
    if (mkdtemp(name) != nullptr && chmod(name, 0777) == 0)
        m_path = name;
}

CWorldWritableFolder::~CWorldWritableFolder()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string CWorldWritableFolder::CopyProgram(const std::string& path) const
{
    if (m_path.empty())
        return "";
    const std::string copy = m_path + "/" + std::filesystem::path(path).filename().string();
    std::error_code error;
    if (!std::filesystem::copy_file(path, copy, error) || chmod(copy.c_str(), 0755) != 0)
        return "";
    return copy;
}

bool CanRunAsNobody()
{
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
}

CRunAsNobody::CRunAsNobody(std::vector<std::string> argv)
{
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    if (posix_spawn(&m_pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
        m_pid = 0;
}

int CRunAsNobody::Wait()
{
    if (m_pid == 0)
        return m_status;
    if (waitpid(m_pid, &m_status, WNOHANG) == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &m_status, 0);
    }
    m_pid = 0;
    m_status = WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    return m_status;
}

}  // namespace testsupport
