// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/LoopClaims.h"

#include "platform/drives/SysfsAttributes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

// The ranges of extent that are its own bytes on a storage that is known.
CVolumeExtent KnownOwnRanges(const CVolumeExtent& extent)
{
    CVolumeExtent known;
    for (const auto& range : extent.ranges)
        if (!range.holder && range.storage != kAnyStorage)
            known.ranges.push_back(range);
    return known;
}

bool HasUnknownStorage(const CVolumeExtent& extent)
{
    return std::any_of(extent.ranges.begin(), extent.ranges.end(),
                       [](const CStorageRange& range) { return range.storage == kAnyStorage; });
}

std::set<std::string> Storages(const CVolumeExtent& extent)
{
    std::set<std::string> storages;
    for (const auto& range : KnownOwnRanges(extent).ranges)
        storages.insert(range.storage);
    return storages;
}

struct stat BlockStat(dev_t devno)
{
    struct stat info {};
    info.st_mode = S_IFBLK;
    info.st_rdev = devno;
    return info;
}

// What a loop device is backed by as the device itself tells it: the file by its device
// and inode (all of it), or the block device. Empty when its node cannot be asked.
CVolumeExtent AskedBacking(const std::string& node, const std::string& sysfsRoot)
{
    CFd device(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    loop_info64 info {};
    if (!device.IsOpen() || ::ioctl(device.Get(), LOOP_GET_STATUS64, &info) != 0)
        return {};
    struct stat backing {};
    if (info.lo_rdevice != 0) {
        backing = BlockStat(static_cast<dev_t>(info.lo_rdevice));
    } else {
        backing.st_mode = S_IFREG;
        backing.st_dev = static_cast<dev_t>(info.lo_device);
        backing.st_ino = static_cast<ino_t>(info.lo_inode);
        backing.st_size = std::numeric_limits<off_t>::max();
    }
    return ResolveExtent(backing, sysfsRoot);
}

// The whole disk of a partition, or 0.
dev_t WholeDiskOf(dev_t devno, const std::string& sysfsRoot)
{
    std::optional<fs::path> dir = BlockDeviceFolder(sysfsRoot, ::major(devno), ::minor(devno));
    std::error_code ec;
    if (!dir || !fs::exists(*dir / "partition", ec))
        return 0;
    auto disk = ParseDeviceNumber(ReadSysfsText(dir->parent_path() / "dev"));
    return disk ? ::makedev(disk->first, disk->second) : 0;
}

}  // namespace

std::vector<CLoopDevice> LoopsOver(const CVolumeExtent& extent, dev_t self, const CDriveSources& sources)
{
    const CVolumeExtent volume = KnownOwnRanges(extent);
    const dev_t selfDisk = self != 0 ? WholeDiskOf(self, sources.sysfsRoot) : 0;
    std::vector<CLoopDevice> loops;
    if (volume.ranges.empty())
        return loops;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sources.sysfsRoot) / "block", ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("loop", 0) != 0 || !fs::exists(entry.path() / "loop" / "backing_file", ec))
            continue;
        auto number = ParseDeviceNumber(ReadSysfsText(entry.path() / "dev"));
        if (!number)
            continue;
        const dev_t devno = ::makedev(number->first, number->second);
        if (devno == self || devno == selfDisk)
            continue;
        const std::string node = sources.devDir + "/" + name;
        // sysfs shows the backing file by a path, which may lead nowhere (deleted) or to
        // another file (renamed over, or seen from another mount namespace): the device's
        // own word on its file wins then, over the whole of that file.
        CVolumeExtent loop = ResolveExtent(BlockStat(devno), sources.sysfsRoot);
        CVolumeExtent asked = AskedBacking(node, sources.sysfsRoot);
        if (!Storages(asked).empty() && (HasUnknownStorage(loop) || Storages(loop) != Storages(asked)))
            loop = std::move(asked);
        if (Overlaps(KnownOwnRanges(loop), volume))
            loops.push_back({name, node, devno});
    }
    std::sort(loops.begin(), loops.end(), [](const CLoopDevice& a, const CLoopDevice& b) { return a.name < b.name; });
    return loops;
}

bool CLoopClaims::Claim(const CVolumeExtent& extent, dev_t self)
{
    // The claims this process holds, by device: a second claim of one shares the first.
    static std::mutex lock;
    static std::map<dev_t, std::weak_ptr<const CFd>> held;

    std::vector<std::shared_ptr<const CFd>> claims;
    std::vector<dev_t> devices;
    for (const CLoopDevice& loop : LoopsOver(extent, self)) {
        devices.push_back(loop.devno);
        std::lock_guard<std::mutex> guard(lock);
        if (std::shared_ptr<const CFd> shared = held[loop.devno].lock()) {
            claims.push_back(std::move(shared));
            continue;
        }
        CFd claim;
        do
            claim = CFd(::open(loop.node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
        while (!claim.IsOpen() && errno == EINTR);
        if (!claim.IsOpen())
            return false;
        // The node must be the device that was found over the volume.
        struct stat opened {};
        if (::fstat(claim.Get(), &opened) != 0 || !S_ISBLK(opened.st_mode) || opened.st_rdev != loop.devno) {
            errno = EAGAIN;
            return false;
        }
        auto shared = std::make_shared<const CFd>(std::move(claim));
        held[loop.devno] = shared;
        claims.push_back(std::move(shared));
    }
    m_claims = std::move(claims);
    m_devices = std::move(devices);
    m_claimed = {extent, self};
    return true;
}

// A claimed device stays attached to what it was while it is held, so a device number
// that was not claimed is an attachment made since.
bool CLoopClaims::NoneAttachedSince() const
{
    if (!m_claimed)
        return true;
    for (const CLoopDevice& loop : LoopsOver(m_claimed->first, m_claimed->second)) {
        if (std::find(m_devices.begin(), m_devices.end(), loop.devno) == m_devices.end()) {
            errno = EBUSY;
            return false;
        }
    }
    return true;
}

}  // namespace platform
