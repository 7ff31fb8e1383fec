// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/DeviceVolume.h"

#include "platform/drives/DeviceFingerprint.h"

#include "platform/volume/SectorSize.h"
#include "platform/volume/Transfer.h"
#include "platform/volume/VolumeShape.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace platform {

namespace {

bool IsVolumeKind(const struct stat& info)
{
    return S_ISBLK(info.st_mode) || S_ISREG(info.st_mode);
}

}  // namespace

std::unique_ptr<IVolume> OpenVolumeFile(const std::string& path, VolumeAccess access, const std::string& fingerprint,
                                        ReadClaim claim)
{
    // The name is followed once, to a handle that opens nothing: a FIFO put in the place
    // of an image would hold an open for as long as nobody opened its other end. What the
    // handle leads to is then opened through /proc, never through the name again.
    CFd named;
    do
        named = CFd(::open(path.c_str(), O_PATH | O_CLOEXEC));
    while (!named.IsOpen() && errno == EINTR);
    struct stat opened {};
    if (!named.IsOpen() || ::fstat(named.Get(), &opened) != 0)
        return nullptr;
    if (!IsVolumeKind(opened)) {
        errno = ENODEV;
        return nullptr;
    }
    const bool device = S_ISBLK(opened.st_mode);
    int flags = O_CLOEXEC | (access == VolumeAccess::Write ? O_WRONLY : O_RDONLY);
    // On a block device O_EXCL fails while it is mounted or claimed by another writer.
    if (device && (access == VolumeAccess::Write || claim == ReadClaim::Exclusive))
        flags |= O_EXCL;
    const std::string reopen = "/proc/self/fd/" + std::to_string(named.Get());
    CFd file;
    do
        file = CFd(::open(reopen.c_str(), flags));
    while (!file.IsOpen() && errno == EINTR);
    // The same file as the handle's, but its size as it is open.
    if (!file.IsOpen() || ::fstat(file.Get(), &opened) != 0)
        return nullptr;

    // A kernel name or an image path may stand for another device than the letter's now.
    if (!fingerprint.empty() && DeviceFingerprint(opened, CDriveSources{}).text != fingerprint) {
        errno = ENXIO;
        return nullptr;
    }

    // Its partitions, or the logical partitions of a container, would be overwritten.
    if (access == VolumeAccess::Write && WholeDiskRefusal(opened)) {
        errno = EBUSY;
        return nullptr;
    }

    std::uint64_t size = 0;
    bool direct = false;
    if (device) {
        if (::ioctl(file.Get(), BLKGETSIZE64, &size) != 0)
            return nullptr;
        // Direct I/O in the programs' sectors keeps one bad sector from failing a whole
        // page; devices with larger sectors stay buffered.
        int sectorSize = 0;
        direct = ::ioctl(file.Get(), BLKSSZGET, &sectorSize) == 0 && sectorSize == int{kSectorSize} &&
                 SetDirectIo(file.Get(), true);
    } else {
        size = static_cast<std::uint64_t>(opened.st_size);
        // Two clones must never write one image at once.
        if (access == VolumeAccess::Write && ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
            return nullptr;
    }
    // Taken from the opened file, not the path: it is what will be read or written.
    CVolumeExtent extent = ResolveExtent(opened);
    CLoopClaims loops;
    if ((access == VolumeAccess::Write || claim == ReadClaim::Exclusive) &&
        !loops.Claim(extent, device ? opened.st_rdev : 0))
        return nullptr;
    return std::make_unique<CDeviceVolume>(std::move(file), size, direct, std::move(extent), std::move(loops));
}

}  // namespace platform
