// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/BlockDevices.h"

#include "platform/drives/DriveTable.h"
#include "platform/drives/SysfsAttributes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The drive type of a whole disk, from its name and attributes.
unsigned DiskType(const fs::path& diskDir, const std::string& name)
{
    if (StartsWith(name, "ram") || StartsWith(name, "zram"))
        return kDriveRamdisk;
    // SCSI peripheral type 5 is an optical drive, whatever the driver calls it.
    if (StartsWith(name, "sr") || ReadSysfsText(diskDir / "device" / "type") == "5")
        return kDriveCdrom;
    if (StartsWith(name, "fd") || ReadSysfsText(diskDir / "removable") == "1")
        return kDriveRemovable;
    return kDriveFixed;
}

CBlockDevice ReadDevice(const fs::path& dir, const fs::path& diskDir)
{
    CBlockDevice device;
    device.name = dir.filename().string();
    device.disk = diskDir.filename().string();
    device.devno = ReadSysfsText(dir / "dev");
    device.size = ReadSysfsNumber(dir / "size") * kSysfsSectorSize;
    device.type = DiskType(diskDir, device.disk);
    device.partition = static_cast<unsigned>(ReadSysfsNumber(dir / "partition"));
    device.hidden = ReadSysfsText(diskDir / "hidden") == "1";
    return device;
}

bool IsPartitionDir(const fs::path& dir)
{
    std::error_code ec;
    return fs::exists(dir / "partition", ec) && fs::exists(dir / "dev", ec);
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        bool digitA = std::isdigit(static_cast<unsigned char>(a[i]));
        bool digitB = std::isdigit(static_cast<unsigned char>(b[j]));
        if (digitA && digitB) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            std::string numA = a.substr(i, endA - i), numB = b.substr(j, endB - j);
            numA.erase(0, std::min(numA.find_first_not_of('0'), numA.size()));
            numB.erase(0, std::min(numB.find_first_not_of('0'), numB.size()));
            if (numA.size() != numB.size())
                return numA.size() < numB.size();
            if (numA != numB)
                return numA < numB;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<CBlockDevice> ListBlockDevices(const std::string& sysfsRoot)
{
    std::vector<fs::path> diskDirs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysfsRoot) / "block", ec))
        diskDirs.push_back(entry.path());
    std::sort(diskDirs.begin(), diskDirs.end(), [](const fs::path& a, const fs::path& b) {
        return NaturalLess(a.filename().string(), b.filename().string());
    });

    std::vector<CBlockDevice> devices;
    for (const auto& diskDir : diskDirs) {
        CBlockDevice disk = ReadDevice(diskDir, diskDir);
        std::vector<CBlockDevice> partitions;
        for (const auto& entry : fs::directory_iterator(diskDir, ec))
            if (IsPartitionDir(entry.path()))
                partitions.push_back(ReadDevice(entry.path(), diskDir));
        std::sort(partitions.begin(), partitions.end(),
                  [](const CBlockDevice& a, const CBlockDevice& b) { return a.partition < b.partition; });
        disk.hasPartitions = !partitions.empty();
        devices.push_back(std::move(disk));
        devices.insert(devices.end(), partitions.begin(), partitions.end());
    }
    return devices;
}

std::optional<CBlockDevice> FindBlockDevice(const std::string& sysfsRoot, unsigned major, unsigned minor)
{
    std::optional<fs::path> dir = BlockDeviceFolder(sysfsRoot, major, minor);
    if (!dir)
        return std::nullopt;
    return ReadDevice(*dir, IsPartitionDir(*dir) ? dir->parent_path() : *dir);
}

}  // namespace platform
