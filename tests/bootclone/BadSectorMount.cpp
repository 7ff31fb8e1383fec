// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/bootclone/BadSectorMount.h"

#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"

#include <cstdlib>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

#ifdef BADSECTORFS_PATH
constexpr const char* kProgram = BADSECTORFS_PATH;
#else
constexpr const char* kProgram = "";
#endif

}  // namespace

CBadSectorMount::CBadSectorMount(const std::string& mountPoint, const std::string& backing,
                                 const std::vector<std::string>& sectors, const std::vector<std::string>& options)
    : m_mountPoint(mountPoint)
{
    if (*kProgram == '\0' || access("/dev/fuse", R_OK | W_OK) != 0 || mkdir(mountPoint.c_str(), 0755) != 0)
        return;
    std::vector<std::string> args{kProgram};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(mountPoint);
    args.push_back(backing);
    args.insert(args.end(), sectors.begin(), sectors.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = 0;
        return;
    }
    // The mount is ready when the image shows; a file system that never comes up (or
    // exits) means FUSE cannot be used here.
    for (int attempt = 0; attempt < 200 && !Mounted(); ++attempt) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = 0;
            return;
        }
        usleep(25000);
    }
}

CBadSectorMount::~CBadSectorMount()
{
    if (m_pid == 0)
        return;
    RunCaptured({"/usr/bin/fusermount3", "-u", m_mountPoint}, "", m_mountPoint + "/..");
    if (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

int CBadSectorMount::Count(const std::string& what) const
{
    std::string reads = platform::ReadWholeFile(m_mountPoint + "/reads.txt").value_or("");
    std::size_t at = reads.find(what + " ");
    return at == std::string::npos ? -1 : std::atoi(reads.c_str() + at + what.size() + 1);
}

bool CBadSectorMount::Mounted() const
{
    return m_pid != 0 && platform::FileExists(Image());
}

}  // namespace testsupport
