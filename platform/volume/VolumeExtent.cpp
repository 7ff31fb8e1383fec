// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/VolumeExtent.h"

#include "platform/drives/SysfsAttributes.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <tuple>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr std::uint64_t kWhole = std::numeric_limits<std::uint64_t>::max();
// Loops over files on loops: deeper than this is taken for a cycle.
constexpr int kMaxDepth = 16;

bool RangesOverlap(const CStorageRange& a, const CStorageRange& b)
{
    if (a.holder && b.holder)
        return false;
    if (a.storage == kAnyStorage || b.storage == kAnyStorage)
        return true;
    if (a.storage != b.storage)
        return false;
    if (a.offset == b.offset && a.length == b.length)
        return true;  // the same range, even an empty one
    if (a.length == 0 || b.length == 0)
        return false;
    return a.offset <= b.offset ? b.offset - a.offset < a.length : a.offset - b.offset < b.length;
}

std::vector<CStorageRange> OwnRanges(const CVolumeExtent& extent)
{
    std::vector<CStorageRange> own;
    for (const auto& range : extent.ranges)
        if (!range.holder)
            own.push_back(range);
    std::sort(own.begin(), own.end(), [](const CStorageRange& a, const CStorageRange& b) {
        return std::tie(a.storage, a.offset, a.length) < std::tie(b.storage, b.offset, b.length);
    });
    return own;
}

// A volume as found so far; mapped when its byte i is byte offset + i of its one own
// range, so that a part of it can be told exactly.
struct CResolved {
    CVolumeExtent extent;
    bool mapped = false;
};

CResolved Anything()
{
    return {{{{kAnyStorage, 0, kWhole, false}}}, false};
}

// The part [offset, offset + length) of a volume. A volume that is not mapped byte for
// byte (a stack over other devices) keeps covering all it covers.
CResolved Narrow(CResolved volume, std::uint64_t offset, std::uint64_t length)
{
    if (!volume.mapped)
        return volume;
    for (auto& range : volume.extent.ranges) {
        if (range.holder)
            continue;
        std::uint64_t inside = std::min(offset, range.length);
        range.offset += inside;
        range.length = std::min(length, range.length - inside);
    }
    return volume;
}

class CResolver {
public:
    explicit CResolver(std::string sysfsRoot) : m_sysfs(std::move(sysfsRoot)) {}

    CResolved Opened(const struct stat& info, int depth)
    {
        if (depth > kMaxDepth)
            return Anything();
        if (S_ISBLK(info.st_mode))
            return Block(::major(info.st_rdev), ::minor(info.st_rdev), depth);
        if (S_ISREG(info.st_mode))
            return File(info, depth);
        return Anything();
    }

private:
    // A file is its own storage, and lies somewhere on the device of its file system.
    CResolved File(const struct stat& info, int depth)
    {
        unsigned major = ::major(info.st_dev), minor = ::minor(info.st_dev);
        CResolved file{{{{"file " + DeviceNumberText(major, minor) + ":" + std::to_string(info.st_ino), 0,
                          static_cast<std::uint64_t>(info.st_size), false}}},
                       true};
        // File systems without a block device (tmpfs, FUSE, network) hold nothing else.
        if (!BlockDeviceFolder(m_sysfs, major, minor))
            return file;
        for (CStorageRange range : Block(major, minor, depth + 1).extent.ranges) {
            range.holder = true;
            file.extent.ranges.push_back(range);
        }
        return file;
    }

    CResolved Block(unsigned major, unsigned minor, int depth)
    {
        auto dir = BlockDeviceFolder(m_sysfs, major, minor);
        if (!dir || depth > kMaxDepth)
            return Anything();
        std::error_code ec;
        std::uint64_t size = ReadSysfsNumber(*dir / "size") * kSysfsSectorSize;
        if (fs::exists(*dir / "partition", ec))
            return Partition(*dir, size, depth);
        if (fs::exists(*dir / "loop" / "backing_file", ec))
            return Loop(*dir, size, depth);
        if (auto stacked = Stacked(*dir, depth))
            return *stacked;
        return {{{{"block " + DeviceNumberText(major, minor), 0, size, false}}}, true};
    }

    CResolved Partition(const fs::path& dir, std::uint64_t size, int depth)
    {
        auto disk = ParseDeviceNumber(ReadSysfsText(dir.parent_path() / "dev"));
        if (!disk)
            return Anything();
        std::uint64_t start = ReadSysfsNumber(dir / "start") * kSysfsSectorSize;
        return Narrow(Block(disk->first, disk->second, depth + 1), start, size);
    }

    // The loop device's size in sysfs is what it shows of its backing file past the offset.
    CResolved Loop(const fs::path& dir, std::uint64_t size, int depth)
    {
        std::string backing = ReadSysfsText(dir / "loop" / "backing_file");
        struct stat info {};
        const std::string deleted = " (deleted)";
        bool gone = backing.size() >= deleted.size() &&
                    backing.compare(backing.size() - deleted.size(), deleted.size(), deleted) == 0;
        if (backing.empty() || gone || ::stat(backing.c_str(), &info) != 0)
            return Anything();
        std::uint64_t offset = ReadSysfsNumber(dir / "loop" / "offset");
        return Narrow(Opened(info, depth + 1), offset, size);
    }

    // Device mapper and md: sysfs names the devices below but not how they are mapped, so
    // the volume may use any byte of any of them.
    std::optional<CResolved> Stacked(const fs::path& dir, int depth)
    {
        std::error_code ec;
        CResolved stack;
        bool any = false;
        for (const auto& slave : fs::directory_iterator(dir / "slaves", ec)) {
            any = true;
            std::error_code linkError;
            fs::path slaveDir = fs::canonical(slave.path(), linkError);
            auto number = linkError ? std::nullopt : ParseDeviceNumber(ReadSysfsText(slaveDir / "dev"));
            if (!number)
                return Anything();
            for (const CStorageRange& range : Block(number->first, number->second, depth + 1).extent.ranges)
                stack.extent.ranges.push_back(range);
        }
        if (!any)
            return std::nullopt;
        return stack;
    }

    std::string m_sysfs;
};

}  // namespace

bool Overlaps(const CVolumeExtent& a, const CVolumeExtent& b)
{
    for (const auto& rangeA : a.ranges)
        for (const auto& rangeB : b.ranges)
            if (RangesOverlap(rangeA, rangeB))
                return true;
    return false;
}

bool SameVolume(const CVolumeExtent& a, const CVolumeExtent& b)
{
    std::vector<CStorageRange> ownA = OwnRanges(a), ownB = OwnRanges(b);
    bool known = std::none_of(ownA.begin(), ownA.end(),
                              [](const CStorageRange& range) { return range.storage == kAnyStorage; });
    return known && !ownA.empty() && ownA == ownB;
}

CVolumeExtent ResolveExtent(const struct stat& opened, const std::string& sysfsRoot)
{
    return CResolver(sysfsRoot).Opened(opened, 0).extent;
}

std::optional<CVolumeExtent> PathExtent(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return ResolveExtent(info);
}

}  // namespace platform
