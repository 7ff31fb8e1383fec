// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/ReopenVolume.h"

#include "platform/volume/DeviceVolume.h"
#include "platform/volume/SectorSize.h"
#include "platform/volume/Transfer.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// True when fd reads with direct I/O in whole 512-byte sectors: a read of the first sector
// does not fail with EINVAL (which a file system or a device of larger sectors gives for
// such a transfer). Any other error belongs to the sector, not to the way it is read.
bool ReadsDirectInSectors(int fd, std::uint64_t size)
{
    if (size < kSectorSize || !SetDirectIo(fd, true))
        return false;
    CVolumeBuffer probe(kSectorSize);
    std::size_t done = 0;
    if (probe.IsValid() && ReadFully(fd, probe.Bytes().data(), kSectorSize, 0, done) != EINVAL)
        return true;
    SetDirectIo(fd, false);
    return false;
}

}  // namespace

CFd ReopenVolumeFile(const IVolume& volume, int flags)
{
    const int descriptor = volume.Descriptor();
    if (descriptor < 0) {
        errno = EBADF;
        return CFd();
    }
    // The link of an open descriptor in /proc stands for its file, not for a name: opening
    // it opens that inode again, whatever the name it was opened by names now.
    const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    CFd file;
    do
        file = CFd(::open(path.c_str(), flags | O_CLOEXEC));
    while (!file.IsOpen() && errno == EINTR);
    if (!file.IsOpen())
        return file;
    struct stat was {};
    struct stat now {};
    if (::fstat(descriptor, &was) != 0 || ::fstat(file.Get(), &now) != 0)
        return CFd();
    if (was.st_dev != now.st_dev || was.st_ino != now.st_ino || was.st_rdev != now.st_rdev) {
        errno = ESTALE;
        return CFd();
    }
    return file;
}

// The pages a cache holds of the file are dropped whether or not direct I/O is taken: a
// transfer that is not in whole sectors goes through the cache all the same. What was
// written has been flushed by then, so every page is clean and can go.
std::unique_ptr<IVolume> IVolume::ReopenUncached() const
{
    CFd file = ReopenVolumeFile(*this, O_RDONLY);
    if (!file.IsOpen())
        return nullptr;
    const bool direct = ReadsDirectInSectors(file.Get(), Size());
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_DONTNEED);
    return std::make_unique<CDeviceVolume>(std::move(file), Size(), direct, Extent());
}

}  // namespace platform
