// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/VolumeUse.h"

#include "platform/drives/DriveEntries.h"
#include "platform/drives/MountTable.h"
#include "platform/drives/SysfsAttributes.h"
#include "platform/files/FileDescriptor.h"
#include "platform/volume/LoopClaims.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::vector<std::string> Holders(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir / "holders", ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The uses of one block device (or image file, without a sysfs folder) named node.
std::vector<CVolumeUse> DeviceUses(const std::string& node, const std::string& devno,
                                   const std::optional<fs::path>& dir, const std::vector<CMount>& mounts,
                                   const std::string& through)
{
    std::vector<CVolumeUse> uses;
    if (const CMount* mount = FindDeviceMount(mounts, devno, node))
        uses.push_back({through, mount->target, mount->readOnly, {}, false});
    if (dir) {
        std::vector<std::string> holders = Holders(*dir);
        if (!holders.empty())
            uses.push_back({through, "", false, holders, false});
    }
    return uses;
}

// The uses of a loop device over the volume and of its partitions; when there are none
// that the tables show, whether another program holds it exclusively.
std::vector<CVolumeUse> LoopUses(const CLoopDevice& loop, const fs::path& dir, const std::string& devDir,
                                 const std::vector<CMount>& mounts)
{
    std::vector<CVolumeUse> uses = DeviceUses(loop.node, ReadSysfsText(dir / "dev"), dir, mounts, loop.node);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (!fs::exists(entry.path() / "partition", ec))
            continue;
        const std::string node = devDir + "/" + entry.path().filename().string();
        for (CVolumeUse& use : DeviceUses(node, ReadSysfsText(entry.path() / "dev"), entry.path(), mounts, node))
            uses.push_back(std::move(use));
    }
    if (uses.empty()) {
        CFd trial(::open(loop.node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK));
        if (!trial.IsOpen() && errno == EBUSY)
            uses.push_back({loop.node, "", false, {}, true});
    }
    return uses;
}

}  // namespace

std::vector<CVolumeUse> VolumeUses(const std::string& path, const CDriveSources& sources)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    std::vector<CMount> mounts = ReadMounts(sources.mountInfo);
    const bool device = S_ISBLK(info.st_mode);
    const dev_t self = device ? info.st_rdev : 0;
    std::optional<fs::path> dir =
        device ? BlockDeviceFolder(sources.sysfsRoot, ::major(self), ::minor(self)) : std::nullopt;
    std::vector<CVolumeUse> uses =
        DeviceUses(path, device ? DeviceNumberText(::major(self), ::minor(self)) : std::string(), dir, mounts, "");
    for (const CLoopDevice& loop : LoopsOver(ResolveExtent(info, sources.sysfsRoot), self, sources)) {
        std::optional<fs::path> loopDir =
            BlockDeviceFolder(sources.sysfsRoot, ::major(loop.devno), ::minor(loop.devno));
        if (!loopDir)
            continue;  // detached meanwhile
        for (CVolumeUse& use : LoopUses(loop, *loopDir, sources.devDir, mounts))
            uses.push_back(std::move(use));
    }
    return uses;
}

const CVolumeUse& UseToTell(const std::vector<CVolumeUse>& uses)
{
    // A read-write mount first: it is what may change the volume, whatever other mounts
    // only read it.
    auto writable = std::find_if(uses.begin(), uses.end(),
                                 [](const CVolumeUse& use) { return !use.mountPoint.empty() && !use.readOnly; });
    if (writable != uses.end())
        return *writable;
    auto mount = std::find_if(uses.begin(), uses.end(), [](const CVolumeUse& use) { return !use.mountPoint.empty(); });
    return mount != uses.end() ? *mount : uses.front();
}

std::string DescribeUse(const CVolumeUse& use)
{
    std::string text;
    if (!use.mountPoint.empty()) {
        text = "mounted on " + use.mountPoint;
    } else if (!use.holders.empty()) {
        text = "held by";
        for (std::size_t i = 0; i < use.holders.size(); ++i)
            text += (i == 0 ? " " : ", ") + use.holders[i];
    } else {
        text = "opened exclusively by another program";
    }
    return use.through.empty() ? text : text + " through " + use.through;
}

}  // namespace platform
