// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>
#include <thread>

extern char** environ;

namespace platform {

namespace {

// Spawn attributes that give the program default signal handling and nothing blocked,
// whatever the caller (a GUI, a test runner) has set up for itself.
class CSpawnAttributes {
public:
    CSpawnAttributes()
    {
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~CSpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    CSpawnAttributes(const CSpawnAttributes&) = delete;
    CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;
    const posix_spawnattr_t* Get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

// File actions that put the program's standard input, output and error on /dev/null.
class CNullStreams {
public:
    CNullStreams()
    {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&m_actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&m_actions, STDOUT_FILENO, STDERR_FILENO);
    }
    ~CNullStreams() { posix_spawn_file_actions_destroy(&m_actions); }
    CNullStreams(const CNullStreams&) = delete;
    CNullStreams& operator=(const CNullStreams&) = delete;
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// Starts the program with the environment of this process and, when given, the file
// actions; its process id, or -1 when it could not be started (including a program that
// is missing or not executable), with the reason in error.
pid_t Spawn(const std::vector<std::string>& argv, int& error, const posix_spawn_file_actions_t* actions = nullptr)
{
    error = ENOENT;
    if (argv.empty() || argv[0].empty())
        return -1;
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    CSpawnAttributes attributes;
    pid_t pid = -1;
    error = posix_spawnp(&pid, argv[0].c_str(), actions, attributes.Get(), pointers.data(), environ);
    return error == 0 ? pid : -1;
}

// Waits for the program to end and tells how it did.
CProgramEnding WaitFor(pid_t pid)
{
    CProgramEnding ending;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return ending;
    }
    if (WIFEXITED(status))
        ending.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        ending.signal = WTERMSIG(status);
    return ending;
}

}  // namespace

bool StartProgram(const std::vector<std::string>& argv)
{
    int error = 0;
    pid_t pid = Spawn(argv, error);
    if (pid < 0)
        return false;
    try {
        std::thread([pid] { WaitFor(pid); }).detach();
    } catch (const std::system_error&) {
        // No thread to reap it: the program runs all the same and stays a zombie
        // until this process ends.
    }
    return true;
}

CProgramEnding RunProgramToEnd(const std::vector<std::string>& argv)
{
    int error = 0;
    pid_t pid = Spawn(argv, error);
    if (pid < 0) {
        CProgramEnding ending;
        ending.startError = error;
        return ending;
    }
    return WaitFor(pid);
}

int RunProgram(const std::vector<std::string>& argv)
{
    return RunProgramToEnd(argv).exitCode;
}

int RunProgramQuietly(const std::vector<std::string>& argv)
{
    CNullStreams streams;
    int error = 0;
    pid_t pid = Spawn(argv, error, streams.Get());
    return pid < 0 ? -1 : WaitFor(pid).exitCode;
}

}  // namespace platform
