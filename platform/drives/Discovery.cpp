#include "platform/drives/BlockDevices.h"
#include "platform/drives/DeviceLinks.h"
#include "platform/drives/DriveEntries.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/Drives.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/MountTable.h"
#include "platform/drives/PartitionTable.h"

#include <algorithm>
#include <map>
#include <set>

// Letters for the real machine's drives. A device keeps the letter it got the first time
// it was seen, found again by any of its names; a new one takes the first letter no
// entry of the table holds, so a device that is away never loses its letter.
namespace platform {

namespace {

// A device or network mount that should have a letter.
struct CCandidate {
    const CBlockDevice* block = nullptr;  // nothing for a network mount
    std::string node;                     // "/dev/sda1", or the network source
    std::string stableName;               // what the table stores
    std::optional<char> letter;
};

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool IsFloppy(const CBlockDevice& device)
{
    return StartsWith(device.disk, "fd");
}

// Partitions, and whole disks holding no partition table; empty drives of removable and
// optical devices too, so that they keep their letter while no medium is in.
bool WantsLetter(const CBlockDevice& device, const std::string& node)
{
    if (device.hidden || device.hasPartitions)
        return false;
    if (IsFloppy(device))
        return true;
    // The boot areas of an eMMC card are not volumes.
    if (StartsWith(device.disk, "mmcblk") &&
        (device.disk.find("boot") != std::string::npos || device.disk.find("rpmb") != std::string::npos))
        return false;
    if (device.size == 0)
        return device.type == kDriveRemovable || device.type == kDriveCdrom;
    return device.partition != 0 || !HasPartitionTable(node);
}

std::optional<char> LetterInTable(const std::map<char, std::string>& table, const CCandidate& candidate)
{
    for (const auto& [letter, device] : table) {
        if (candidate.block == nullptr) {
            if (device == kNetworkDevicePrefix + candidate.node)
                return letter;
        } else if (!IsNetworkDevice(device) &&
                   (device == candidate.stableName || SamePath(device, candidate.node))) {
            return letter;
        }
    }
    return std::nullopt;
}

std::optional<char> FreeLetter(const std::map<char, std::string>& table, char first, char last)
{
    for (char letter = first; letter <= last; ++letter)
        if (table.count(letter) == 0)
            return letter;
    return std::nullopt;
}

// The kernel name of the device "/" is mounted from, when it is a block device.
std::optional<std::string> RootDevice(const std::vector<CMount>& mounts, const std::vector<CBlockDevice>& devices,
                                      const std::string& devDir)
{
    const CMount* root = nullptr;
    for (const auto& mount : mounts)
        if (mount.target == "/")
            root = &mount;  // the last mount on "/" is the one in use
    if (root == nullptr || root->network)
        return std::nullopt;
    for (const auto& device : devices)
        if (device.devno == root->devno)
            return device.name;
    for (const auto& device : devices)
        if (!root->source.empty() && root->source.front() == '/' && SamePath(root->source, devDir + "/" + device.name))
            return device.name;
    return std::nullopt;
}

// The letter of the drive holding "/".
std::optional<char> SystemDrive(const std::optional<std::string>& rootDevice, const std::vector<CCandidate>& candidates)
{
    for (const auto& candidate : candidates)
        if (rootDevice && candidate.block != nullptr && candidate.block->name == *rootDevice)
            return candidate.letter;
    return std::nullopt;
}

std::vector<CCandidate> Candidates(const std::vector<CBlockDevice>& devices, const std::vector<CMount>& mounts,
                                   const CDriveSources& sources)
{
    CDeviceLinks links(sources.devDir);
    std::vector<CCandidate> candidates;
    for (const auto& device : devices) {
        std::string node = sources.devDir + "/" + device.name;
        if (WantsLetter(device, node))
            candidates.push_back({&device, node, links.StableName(device), std::nullopt});
    }
    std::set<std::string> seenSources;
    for (const auto& mount : mounts)
        if (mount.network && seenSources.insert(mount.source).second)
            candidates.push_back({nullptr, mount.source, kNetworkDevicePrefix + mount.source, std::nullopt});
    return candidates;
}

// Gives each candidate without a letter the first free one, the device holding "/"
// first (so that it becomes C: on a fresh machine), floppies A: and B:.
void AssignNewLetters(std::vector<CCandidate>& candidates, std::map<char, std::string>& table,
                      const std::optional<std::string>& rootDevice)
{
    std::vector<CCandidate*> order;
    for (auto& candidate : candidates)
        order.push_back(&candidate);
    std::stable_partition(order.begin(), order.end(), [&](const CCandidate* candidate) {
        return candidate->block != nullptr && rootDevice && candidate->block->name == *rootDevice;
    });

    for (CCandidate* candidate : order) {
        if (candidate->letter)
            continue;
        bool floppy = candidate->block != nullptr && IsFloppy(*candidate->block);
        candidate->letter = floppy ? FreeLetter(table, 'A', 'B') : FreeLetter(table, 'C', 'Z');
        if (!candidate->letter)
            continue;  // every letter is held
        table[*candidate->letter] = candidate->stableName;
        std::string ignored;  // without write permission the letter lives for this run only
        StoreLetter(*candidate->letter, candidate->stableName, ignored);
    }
}

CDriveEntry DescribeCandidate(const CCandidate& candidate, const std::string& device,
                              const std::vector<CMount>& mounts)
{
    CDriveEntry entry;
    entry.letter = *candidate.letter;
    entry.device = device;
    entry.present = true;
    entry.type = candidate.block->type;
    entry.size = candidate.block->size;
    if (const CMount* mount = FindDeviceMount(mounts, candidate.block->devno, candidate.node))
        entry.mountPoint = mount->target;
    return entry;
}

}  // namespace

CDriveView DiscoverDrives(const CDriveSources& sources)
{
    std::vector<CBlockDevice> devices = ListBlockDevices(sources.sysfsRoot);
    std::vector<CMount> mounts = ReadMounts(sources.mountInfo);
    std::vector<CCandidate> candidates = Candidates(devices, mounts, sources);
    std::optional<std::string> rootDevice = RootDevice(mounts, devices, sources.devDir);

    std::map<char, std::string> table;
    {
        CLetterTableLock lock;
        table = ReadLetterTable();
        for (auto& candidate : candidates)
            candidate.letter = LetterInTable(table, candidate);
        AssignNewLetters(candidates, table, rootDevice);
    }

    CDriveView view;
    for (const auto& [letter, device] : table) {
        const CCandidate* match = nullptr;
        for (const auto& candidate : candidates)
            if (candidate.block != nullptr && candidate.letter == letter)
                match = &candidate;
        view.drives.push_back(match != nullptr ? DescribeCandidate(*match, device, mounts)
                                               : DescribeLetter(letter, device, sources, mounts));
    }
    view.systemDrive = SystemDrive(rootDevice, candidates);
    return view;
}

}  // namespace platform
