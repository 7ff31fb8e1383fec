// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/MachineLock.h"

#include "platform/system/SystemRoot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

namespace platform {

namespace {

constexpr std::chrono::milliseconds kRetry(5);

// The caller may not make or open the file where it is: no lock, and nothing to tell.
bool NotPermitted(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT;
}

bool IsRootsFolder(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == 0 &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool IsRootsLockFile(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (SystemRoot())
        return true;
    return info.st_uid == 0 && ((info.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0);
}

}  // namespace

CMachineLock::CMachineLock(const std::string& path, std::chrono::milliseconds wait, const std::string& what)
{
    const std::filesystem::path file(path);
    const std::string folderPath = file.parent_path().string();
    const bool realMachine = !SystemRoot();
    ::mkdir(folderPath.c_str(), 0755);
    CFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (realMachine ? O_NOFOLLOW : 0)));
    if (!folder.IsOpen()) {
        if (!NotPermitted(errno))
            m_error = "cannot use " + folderPath + ": " + std::strerror(errno);
        return;
    }
    // Nobody else may put a file of theirs in the lock's place.
    if (realMachine && !IsRootsFolder(folder.Get())) {
        m_error = folderPath + " is not a folder of root's that only root may change";
        return;
    }
    CFd lock(::openat(folder.Get(), file.filename().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock.IsOpen()) {
        if (!NotPermitted(errno))
            m_error = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    if (!IsRootsLockFile(lock.Get())) {
        m_error = path + " is not a lock file of root's alone";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            m_error = what + " is locked by another process (" + path + ")";
            return;
        }
        std::this_thread::sleep_for(kRetry);
    }
    m_lock = std::move(lock);
}

}  // namespace platform
