// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DriveEntries.h"

#include "platform/drives/BlockDevices.h"
#include "platform/drives/DeviceFingerprint.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/SysfsAttributes.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

CDriveEntry DescribeNetwork(CDriveEntry entry, const std::vector<CMount>& mounts)
{
    std::string source = entry.device.substr(std::string(kNetworkDevicePrefix).size());
    for (const auto& mount : mounts) {
        if (mount.network && mount.source == source) {
            entry.present = true;
            entry.type = kDriveRemote;
            entry.mountPoint = mount.target;
            std::uint64_t freeToCaller = 0, totalFree = 0;
            MountSpace(mount.target, freeToCaller, entry.size, totalFree);
            break;
        }
    }
    return entry;
}

}  // namespace

bool SamePath(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code ecA, ecB;
    fs::path canonicalA = fs::canonical(a, ecA), canonicalB = fs::canonical(b, ecB);
    return !ecA && !ecB && canonicalA == canonicalB;
}

std::string KernelNode(const std::string& device)
{
    std::error_code ec;
    fs::path node = fs::canonical(device, ec);
    return !ec && fs::is_block_file(node, ec) ? node.string() : device;
}

const CMount* FindDeviceMount(const std::vector<CMount>& mounts, const std::string& devno,
                              const std::string& devicePath)
{
    for (const auto& mount : mounts)
        if (!mount.network && mount.devno == devno)
            return &mount;
    for (const auto& mount : mounts)
        if (!mount.network && !mount.source.empty() && mount.source.front() == '/' &&
            SamePath(mount.source, devicePath))
            return &mount;
    return nullptr;
}

CDriveEntry DescribeLetter(char letter, const std::string& device, const std::string& fingerprint,
                           const CDriveSources& sources, const std::vector<CMount>& mounts)
{
    CDriveEntry entry;
    entry.letter = letter;
    entry.device = device;
    entry.fingerprint = fingerprint;
    entry.type = kDriveNoRootDir;
    if (IsNetworkDevice(device))
        return DescribeNetwork(std::move(entry), mounts);

    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return entry;  // gone: the letter stays reserved, the drive is not offered
    entry.present = true;
    if (S_ISREG(info.st_mode)) {
        entry.type = kDriveFixed;
        entry.size = static_cast<std::uint64_t>(info.st_size);
        // An image is mounted through a loop device, which the kernel names as the
        // source; a simulated machine's mount table may name the image itself.
        if (const CMount* mount = FindDeviceMount(mounts, {}, device))
            entry.mountPoint = mount->target;
    } else if (S_ISBLK(info.st_mode)) {
        unsigned major = ::major(info.st_rdev), minor = ::minor(info.st_rdev);
        auto block = FindBlockDevice(sources.sysfsRoot, major, minor);
        entry.type = block ? block->type : kDriveFixed;
        entry.size = block ? block->size : 0;
        // A node without a device behind it (a detached loop, a disconnected network
        // block device) is gone; a drive for removable media stays, empty or not.
        if (entry.size == 0 && entry.type != kDriveRemovable && entry.type != kDriveCdrom) {
            entry.present = false;
            entry.type = kDriveNoRootDir;
            return entry;
        }
        if (const CMount* mount = FindDeviceMount(mounts, DeviceNumberText(major, minor), device))
            entry.mountPoint = mount->target;
    } else {
        entry.type = kDriveUnknown;  // a folder or character device: nothing to read
    }
    // The name is there, but another device is behind it: never that device's drive.
    if (!fingerprint.empty() && DeviceFingerprint(info, sources).text != fingerprint) {
        entry.type = kDriveNoRootDir;
        entry.present = false;
        entry.replaced = true;
        entry.size = 0;
        entry.mountPoint.clear();
    }
    return entry;
}

bool MountSpace(const std::string& mountPoint, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                std::uint64_t& totalFree)
{
    struct statvfs info {};
    if (::statvfs(mountPoint.c_str(), &info) != 0)
        return false;
    std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    freeToCaller = static_cast<std::uint64_t>(info.f_bavail) * unit;
    totalBytes = static_cast<std::uint64_t>(info.f_blocks) * unit;
    totalFree = static_cast<std::uint64_t>(info.f_bfree) * unit;
    return true;
}

}  // namespace platform
