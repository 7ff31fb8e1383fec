// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/Transfer.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// True when position is at or past the end of the file or block device (or its size
// cannot be told).
bool AtEnd(int fd, std::uint64_t position)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return true;
    std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    if (S_ISBLK(info.st_mode) && ::ioctl(fd, BLKGETSIZE64, &size) != 0)
        return true;
    return position >= size;
}

}  // namespace

int ReadFully(int fd, std::byte* data, std::size_t size, std::uint64_t offset, std::size_t& done)
{
    done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
        // Short of the end, the kernel stopped where part of the transfer failed. Asking
        // again would read that part a second time, and on a failing disk every read of a
        // bad sector may take seconds.
        if (done < size && !AtEnd(fd, offset + done))
            return EIO;
    }
    return 0;
}

int WriteFully(int fd, const std::byte* data, std::size_t size, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        // A device that takes nothing and reports no error is full.
        if (n == 0)
            return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

bool SetDirectIo(int fd, bool on)
{
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    flags = on ? flags | O_DIRECT : flags & ~O_DIRECT;
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace platform
