// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/VolumeShape.h"

#include "platform/drives/BlockDevices.h"
#include "platform/drives/PartitionTable.h"
#include "platform/drives/SysfsAttributes.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

const std::string kDevDir = "/dev/";

// "a, b and c".
std::string Listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

// The nodes of the partitions the kernel lists on the disk whose sysfs folder is diskDir.
std::vector<std::string> KernelPartitions(const fs::path& diskDir, unsigned above = 0)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(diskDir, ec))
        if (fs::exists(entry.path() / "partition", ec) && ReadSysfsNumber(entry.path() / "partition") > above)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end(), NaturalLess);
    for (auto& name : names)
        name = kDevDir + name;
    return names;
}

std::optional<std::string> ContainerRefusal(const fs::path& dir)
{
    const std::string disk = dir.parent_path().filename().string();
    const auto number = static_cast<unsigned>(ReadSysfsNumber(dir / "partition"));
    if (!IsExtendedContainer(kDevDir + disk, number, ReadSysfsNumber(dir / "size") * kSysfsSectorSize))
        return std::nullopt;
    std::string text = kDevDir + dir.filename().string() + " is the container of an extended partition";
    // Logical partitions are numbered from 5 on.
    std::vector<std::string> logical = KernelPartitions(dir.parent_path(), 4);
    return logical.empty() ? text : text + ", which holds " + Listed(logical);
}

std::optional<std::string> DiskRefusal(const fs::path& dir)
{
    const std::string node = kDevDir + dir.filename().string();
    std::vector<std::string> partitions = KernelPartitions(dir);
    if (!partitions.empty())
        return node + " is a whole disk that holds the partition" + (partitions.size() > 1 ? "s " : " ") +
               Listed(partitions);
    std::optional<CPartitionTable> table = ReadPartitionTable(node);
    if (!table)
        return std::nullopt;
    std::vector<std::string> numbers;
    for (unsigned number : table->numbers)
        numbers.push_back(std::to_string(number));
    return node + " is a whole disk that holds a partition table (" + table->type + ")" +
           (numbers.empty() ? std::string() : " with the partition" + std::string(numbers.size() > 1 ? "s " : " ") +
                                                  Listed(numbers));
}

}  // namespace

std::optional<std::string> WholeDiskRefusal(const struct stat& opened)
{
    if (!S_ISBLK(opened.st_mode))
        return std::nullopt;
    std::optional<fs::path> dir = BlockDeviceFolder("/sys", ::major(opened.st_rdev), ::minor(opened.st_rdev));
    if (!dir)
        return std::nullopt;
    std::error_code ec;
    return fs::exists(*dir / "partition", ec) ? ContainerRefusal(*dir) : DiskRefusal(*dir);
}

std::optional<std::string> WholeDiskRefusal(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return WholeDiskRefusal(info);
}

}  // namespace platform
