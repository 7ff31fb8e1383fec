// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <vector>

extern char** environ;

namespace testsupport {

namespace {

// One entry of an X authority file for every display of every host (family "wild"):
// the MIT-MAGIC-COOKIE-1 key of 16 random bytes.
void WriteAuthority(const std::string& path)
{
    auto counted = [](const std::string& text) {
        return std::string{static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xff)} + text;
    };
    std::random_device random;
    std::string cookie;
    for (int i = 0; i < 16; ++i)
        cookie += static_cast<char>(random() & 0xff);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << std::string("\xff\xff", 2) << counted("") << counted("") << counted("MIT-MAGIC-COOKIE-1") << counted(cookie);
}

// The display number Xvfb writes once it listens, read within about ten seconds.
std::string ReadDisplayNumber(int fd)
{
    std::string number;
    for (int waited = 0; waited < 100;) {
        pollfd ready{fd, POLLIN, 0};
        int polled = poll(&ready, 1, 100);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0) {
            ++waited;
            continue;
        }
        char c = 0;
        if (read(fd, &c, 1) != 1)
            return {};
        if (c == '\n')
            return number;
        number += c;
    }
    return {};
}

}  // namespace

CXServer::CXServer(const std::string& folder) : m_authority(folder + "/xserver.auth")
{
    if (access("/usr/bin/Xvfb", X_OK) != 0) {
        m_whyNot = "Xvfb (package xvfb) is not installed";
        return;
    }
    WriteAuthority(m_authority);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_whyNot = "no pipe";
        return;
    }
    // Xvfb's end of the pipe as descriptor 3, which -displayfd names.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // -noreset: an X server resets once its last client leaves and refuses connections
    // meanwhile, so the display check's own connection would race the dialog's.
    std::vector<std::string> argv{"/usr/bin/Xvfb", "-displayfd", "3", "-auth", m_authority, "-noreset",
                                  "-nolisten", "tcp", "-screen", "0", "640x480x24"};
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        m_pid = -1;
        m_whyNot = "Xvfb cannot be started";
    } else if (std::string number = ReadDisplayNumber(pipeFds[0]); !number.empty()) {
        m_display = ":" + number;
    } else {
        m_whyNot = "Xvfb did not tell its display";
    }
    close(pipeFds[0]);
}

CXServer::~CXServer()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace testsupport
