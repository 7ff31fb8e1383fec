// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/Shell.h"

#include "platform/files/FileDescriptor.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {

namespace {

constexpr int kFirstInheritedFile = 3;

// Spawn attributes that give the program default signal handling and nothing blocked but,
// when held, the stop signals, whatever the caller (a GUI, a test runner) has set up for
// itself.
class CSpawnAttributes {
public:
    explicit CSpawnAttributes(bool holdStopSignals)
    {
        posix_spawnattr_init(&m_attributes);
        sigset_t blocked;
        sigset_t all;
        sigemptyset(&blocked);
        if (holdStopSignals) {
            for (int signal : {SIGTERM, SIGINT, SIGHUP})
                sigaddset(&blocked, signal);
        }
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attributes, &blocked);
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

// The file actions of options: the standard streams on /dev/null when quiet, and the
// inherited files moved to descriptors 3, 4, ..., then, when quiet, every other file
// closed. Each inherited file is first duplicated
// above every target (close-on-exec, so the copies vanish at exec), so that moving one
// never overwrites another that is still to be moved.
class CFileActions {
public:
    explicit CFileActions(const CRunOptions& options)
    {
        posix_spawn_file_actions_init(&m_actions);
        if (options.quiet) {
            posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&m_actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_adddup2(&m_actions, STDOUT_FILENO, STDERR_FILENO);
        }
        const int above = kFirstInheritedFile + static_cast<int>(options.inheritedFiles.size());
        for (std::size_t i = 0; i < options.inheritedFiles.size(); ++i) {
            CFd copy(::fcntl(options.inheritedFiles[i], F_DUPFD_CLOEXEC, above));
            if (!copy.IsOpen()) {
                m_error = errno;
                return;
            }
            posix_spawn_file_actions_adddup2(&m_actions, copy.Get(), kFirstInheritedFile + static_cast<int>(i));
            m_copies.push_back(std::move(copy));
        }
        // Files this process got without close-on-exec from whoever started it.
        if (options.quiet)
            posix_spawn_file_actions_addclosefrom_np(&m_actions, above);
    }
    ~CFileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    CFileActions(const CFileActions&) = delete;
    CFileActions& operator=(const CFileActions&) = delete;
    // 0, or the errno of an inherited file that could not be duplicated.
    int Error() const { return m_error; }
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    std::vector<CFd> m_copies;
    int m_error = 0;
};

// Starts the program with the environment of this process and, when given, the file
// actions; its process id, or -1 when it could not be started (including a program that
// is missing or not executable), with the reason in error.
pid_t Spawn(const std::vector<std::string>& argv, int& error, const CRunOptions& options = {})
{
    error = ENOENT;
    if (argv.empty() || argv[0].empty())
        return -1;
    CFileActions actions(options);
    if (actions.Error() != 0) {
        error = actions.Error();
        return -1;
    }
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    CSpawnAttributes attributes(options.holdStopSignals);
    pid_t pid = -1;
    error = posix_spawnp(&pid, argv[0].c_str(), actions.Get(), attributes.Get(), pointers.data(), environ);
    return error == 0 ? pid : -1;
}

// Waits until the program has ended or bound has passed; true when it has ended (or
// cannot be watched: waitpid then waits for it).
bool EndsWithin(pid_t pid, std::chrono::milliseconds bound)
{
    // The C library's own pidfd_open is not declared for C++ everywhere (glibc 2.36).
    CFd watch(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!watch.IsOpen())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ended{watch.Get(), POLLIN, 0};
        const int ready = ::poll(&ended, 1, static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX)));
        if (ready != 0 && !(ready < 0 && errno == EINTR))
            return true;
        if (ready == 0 && left.count() <= 0)
            return false;
    }
}

// Waits for the program to end, killing it once bound has passed, and tells how it did.
CProgramEnding WaitFor(pid_t pid, std::optional<std::chrono::milliseconds> bound = std::nullopt)
{
    CProgramEnding ending;
    if (bound && !EndsWithin(pid, *bound)) {
        ::kill(pid, SIGKILL);
        ending.overdue = true;
    }
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

CProgramEnding RunProgramToEnd(const std::vector<std::string>& argv, const CRunOptions& options)
{
    int error = 0;
    pid_t pid = Spawn(argv, error, options);
    if (pid < 0) {
        CProgramEnding ending;
        ending.startError = error;
        return ending;
    }
    return WaitFor(pid, options.bound);
}

int RunProgram(const std::vector<std::string>& argv)
{
    return RunProgramToEnd(argv).exitCode;
}

std::string InheritedFilePath(std::size_t index)
{
    return "/proc/self/fd/" + std::to_string(kFirstInheritedFile + index);
}

}  // namespace platform
