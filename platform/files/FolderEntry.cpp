// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/FolderEntry.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// A name that stands for an entry of its own folder.
bool IsEntryName(const std::string& name)
{
    return !name.empty() && name != "." && name != "..";
}

}  // namespace

CFolderEntry::CFolderEntry(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    m_name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (IsEntryName(m_name))
        m_folder = CFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

CFd CFolderEntry::OpenForAppend() const
{
    if (!m_folder.IsOpen()) {
        errno = ENOENT;
        return {};
    }
    // O_NONBLOCK: a FIFO planted under the name must not hold the writer until a reader
    // comes; it is refused below like anything else that is no regular file.
    CFd file(::openat(m_folder.Get(), m_name.c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!file.IsOpen())
        return {};
    // The checks are made on the file opened, so nothing can be swapped in between.
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return {};
    bool refused = !S_ISREG(info.st_mode);
    if (!refused && ::geteuid() == 0) {
        struct stat folder {};
        bool ownerMayWrite = info.st_uid == 0 ||
                             (::fstat(m_folder.Get(), &folder) == 0 && info.st_uid == folder.st_uid);
        refused = info.st_nlink > 1 || !ownerMayWrite;
    }
    if (refused) {
        errno = EPERM;
        return {};
    }
    int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags == -1 || ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) == -1)
        return {};
    return file;
}

bool CFolderEntry::RemoveIfOpenable() const
{
    if (!m_folder.IsOpen())
        return false;
    struct stat info {};
    if (::fstatat(m_folder.Get(), m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISLNK(info.st_mode)) {
        if (!S_ISREG(info.st_mode))
            return false;
        CFd file(::openat(m_folder.Get(), m_name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!file.IsOpen())
            return false;
    }
    return ::unlinkat(m_folder.Get(), m_name.c_str(), 0) == 0;
}

}  // namespace platform
