// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DeviceFingerprint.h"

#include "platform/drives/PartitionTable.h"
#include "platform/drives/SysfsAttributes.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

// Loops over loops: deeper than this is taken for a cycle.
constexpr int kMaxDepth = 16;

std::string FileText(const struct stat& info)
{
    return "file " + DeviceNumberText(::major(info.st_dev), ::minor(info.st_dev)) + ":" + std::to_string(info.st_ino);
}

// The first of the attributes that holds a text.
std::string FirstAttribute(const fs::path& dir, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (std::string text = ReadSysfsText(dir / name); !text.empty())
            return text;
    return {};
}

class CFingerprinter {
public:
    explicit CFingerprinter(const CDriveSources& sources) : m_sources(sources) {}

    CFingerprint Block(unsigned major, unsigned minor, int depth) const
    {
        std::optional<fs::path> folder = BlockDeviceFolder(m_sources.sysfsRoot, major, minor);
        if (!folder || depth > kMaxDepth)
            return {};
        const fs::path& dir = *folder;
        std::error_code ec;
        std::string size = std::to_string(ReadSysfsNumber(dir / "size") * kSysfsSectorSize);
        if (fs::exists(dir / "partition", ec)) {
            auto disk = ParseDeviceNumber(ReadSysfsText(dir.parent_path() / "dev"));
            CFingerprint onDisk = disk ? Block(disk->first, disk->second, depth + 1) : CFingerprint{};
            if (onDisk.text.empty())
                return {};
            return {"part " + ReadSysfsText(dir / "partition") + " start=" +
                        std::to_string(ReadSysfsNumber(dir / "start") * kSysfsSectorSize) + " size=" + size + " on " +
                        onDisk.text,
                    onDisk.identifies};
        }
        if (fs::exists(dir / "loop" / "backing_file", ec))
            return Loop(dir, size, depth);
        if (std::string uuid = ReadSysfsText(dir / "dm" / "uuid"); !uuid.empty())
            return {"dm " + uuid, true};
        if (std::string uuid = ReadSysfsText(dir / "md" / "uuid"); !uuid.empty())
            return {"md " + uuid, true};
        return Disk(dir, size);
    }

    CFingerprint Opened(const struct stat& info, int depth) const
    {
        if (S_ISBLK(info.st_mode))
            return Block(::major(info.st_rdev), ::minor(info.st_rdev), depth);
        if (S_ISREG(info.st_mode))
            return {FileText(info), true};
        return {};
    }

private:
    // What the loop device shows: its backing file or device, from which byte and how much.
    CFingerprint Loop(const fs::path& dir, const std::string& size, int depth) const
    {
        std::string backing = ReadSysfsText(dir / "loop" / "backing_file");
        struct stat info {};
        CFingerprint what = ::stat(backing.c_str(), &info) == 0 ? Opened(info, depth + 1) : CFingerprint{};
        if (what.text.empty())
            what = {"path " + backing, false};  // gone or replaced: only its name is left
        return {"loop " + what.text + " offset=" + std::to_string(ReadSysfsNumber(dir / "loop" / "offset")) +
                    " size=" + size,
                what.identifies};
    }

    // A whole disk by what its maker or its partition table gives it; a disk that tells
    // nothing of itself by its size only (not for removable media, whose size comes and
    // goes with the medium).
    CFingerprint Disk(const fs::path& dir, const std::string& size) const
    {
        if (std::string wwid = FirstAttribute(dir, {"wwid", "device/wwid"}); !wwid.empty())
            return {"disk wwid=" + wwid, true};
        if (std::string serial = FirstAttribute(dir, {"device/serial", "serial"}); !serial.empty())
            return {"disk serial=" + serial, true};
        if (auto id = PartitionTableId(m_sources.devDir + "/" + dir.filename().string()))
            return {"disk ptuuid=" + *id, true};
        return {ReadSysfsText(dir / "removable") == "1" ? "disk" : "disk size=" + size, false};
    }

    const CDriveSources& m_sources;
};

}  // namespace

CFingerprint BlockFingerprint(unsigned major, unsigned minor, const CDriveSources& sources)
{
    return CFingerprinter(sources).Block(major, minor, 0);
}

CFingerprint DeviceFingerprint(const struct stat& info, const CDriveSources& sources)
{
    return CFingerprinter(sources).Opened(info, 0);
}

bool IsStableName(const std::string& device)
{
    return device.find("/disk/by-partuuid/") != std::string::npos || device.find("/disk/by-id/") != std::string::npos;
}

}  // namespace platform
