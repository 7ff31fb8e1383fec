// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Discovery.h"

#include "platform/drives/BlockDevices.h"
#include "platform/drives/DeviceFingerprint.h"
#include "platform/drives/DeviceLinks.h"
#include "platform/drives/DriveEntries.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/MountTable.h"
#include "platform/drives/PartitionTable.h"
#include "platform/drives/SysfsAttributes.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

// Letters for the real machine's drives. A device keeps the letter it got the first time
// it was seen, found again by any of its names; a new one takes the first letter no
// entry of the table holds, so a device that is away never loses its letter.
namespace platform {

namespace {

// How long discovery waits for another process changing the table; past that, new
// devices go without a letter this time rather than keep a program from starting.
constexpr std::chrono::milliseconds kDiscoveryLockWait(500);

// A device or network mount that should have a letter.
struct CCandidate {
    const CBlockDevice* block = nullptr;  // nothing for a network mount
    std::string node;                     // "/dev/sda1", or the network source
    std::string stableName;               // what the table stores
    CFingerprint fingerprint;             // of a block device, whatever its name
    std::optional<char> letter;

    // What the table stores beside the name: nothing for a name that stays with the device.
    std::string StoredFingerprint() const { return IsStableName(stableName) ? std::string() : fingerprint.text; }
};

// A change of a letter found while matching: a device found again under another name, or
// a letter of an older table that gets the fingerprint of the device it names.
struct CLetterUpdate {
    char letter;
    std::string device;
    std::string fingerprint;
};

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool IsFloppy(const CBlockDevice& device)
{
    return StartsWith(device.disk, "fd");
}

// Partitions but the containers of extended partitions, and whole disks holding no
// partition table; empty drives of removable and optical devices too, so that they keep
// their letter while no medium is in.
bool WantsLetter(const CBlockDevice& device, const std::string& node, const std::string& devDir)
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
    if (device.partition != 0)
        return !IsExtendedContainer(devDir + "/" + device.disk, device.partition, device.size);
    return !HasPartitionTable(node);
}

bool NamesCandidate(const std::string& device, const CCandidate& candidate)
{
    return !IsNetworkDevice(device) && (device == candidate.stableName || SamePath(device, candidate.node));
}

// Gives each letter of the table the candidate that is its device: a network mount by
// its source; a device by its stored name and, where a fingerprint is stored, only when
// the device there still has it; failing that, by the fingerprint alone when exactly one
// device has it and it identifies the device. Returns the changes the table needs.
std::vector<CLetterUpdate> MatchLetters(std::vector<CCandidate>& candidates, const CLetterTable& table)
{
    for (auto& candidate : candidates)
        candidate.letter.reset();
    std::vector<CLetterUpdate> updates;
    std::vector<char> unmatched;
    for (const auto& [letter, device] : table.devices) {
        std::string fingerprint = table.Fingerprint(letter);
        auto match = std::find_if(candidates.begin(), candidates.end(), [&](const CCandidate& candidate) {
            bool named = candidate.block == nullptr ? device == kNetworkDevicePrefix + candidate.node
                                                    : NamesCandidate(device, candidate);
            return !candidate.letter && named && (fingerprint.empty() || candidate.fingerprint.text == fingerprint);
        });
        if (match == candidates.end()) {
            unmatched.push_back(letter);
            continue;
        }
        match->letter = letter;
        // A letter of an older table, stored by a name that may move, learns what its
        // device is.
        if (fingerprint.empty() && !IsStableName(device) && match->block != nullptr &&
            !match->fingerprint.text.empty())
            updates.push_back({letter, device, match->fingerprint.text});
    }
    for (char letter : unmatched) {
        std::string fingerprint = table.Fingerprint(letter);
        std::vector<CCandidate*> same;
        for (auto& candidate : candidates)
            if (!fingerprint.empty() && !candidate.letter && candidate.block != nullptr &&
                candidate.fingerprint.identifies && candidate.fingerprint.text == fingerprint)
                same.push_back(&candidate);
        if (same.size() != 1)
            continue;
        same.front()->letter = letter;
        updates.push_back({letter, same.front()->stableName, same.front()->StoredFingerprint()});
    }
    return updates;
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
        if (!WantsLetter(device, node, sources.devDir))
            continue;
        auto number = ParseDeviceNumber(device.devno);
        CFingerprint fingerprint = number ? BlockFingerprint(number->first, number->second, sources) : CFingerprint{};
        candidates.push_back({&device, node, links.StableName(device), fingerprint, std::nullopt});
    }
    std::set<std::string> seenSources;
    for (const auto& mount : mounts)
        if (mount.network && seenSources.insert(mount.source).second)
            candidates.push_back({nullptr, mount.source, kNetworkDevicePrefix + mount.source, {}, std::nullopt});
    return candidates;
}

// Gives each candidate without a letter the first free one, the device holding "/"
// first (so that it becomes C: on a fresh machine), floppies A: and B:.
void AssignNewLetters(std::vector<CCandidate>& candidates, std::map<char, std::string>& table,
                      std::map<char, std::string>& fingerprints, const std::optional<std::string>& rootDevice)
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
        fingerprints[*candidate->letter] = candidate->StoredFingerprint();
        std::string ignored;  // without write permission the letter lives for this run only
        StoreLetter(*candidate->letter, candidate->stableName, candidate->StoredFingerprint(), ignored);
    }
}

CDriveEntry DescribeCandidate(const CCandidate& candidate, const std::string& device, const std::string& fingerprint,
                              const std::vector<CMount>& mounts)
{
    CDriveEntry entry;
    entry.letter = *candidate.letter;
    entry.device = device;
    entry.fingerprint = fingerprint;
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

    CDriveView view;
    CLetterTable table = LoadLetterTable();
    std::vector<CLetterUpdate> updates = MatchLetters(candidates, table);
    bool newDevices = std::any_of(candidates.begin(), candidates.end(),
                                  [](const CCandidate& candidate) { return !candidate.letter; });
    // Letters are handed out only from a table read whole, under the lock: the table
    // may have changed since it was read without it.
    if (table.error.empty() && (newDevices || !updates.empty())) {
        CMachineLock lock = LockLetterTable(kDiscoveryLockWait);
        view.lockError = lock.Error();
        if (view.lockError.empty()) {
            table = LoadLetterTable();
            updates = MatchLetters(candidates, table);
            for (const auto& update : updates) {
                std::string ignored;  // without write permission the change lives for this run only
                StoreLetter(update.letter, update.device, update.fingerprint, ignored);
            }
            if (table.error.empty())
                AssignNewLetters(candidates, table.devices, table.fingerprints, rootDevice);
        }
    }
    if (!table.error.empty()) {
        view.tableError = table.error;
        return view;
    }
    for (const auto& update : updates) {
        table.devices[update.letter] = update.device;
        table.fingerprints[update.letter] = update.fingerprint;
    }

    for (const auto& [letter, device] : table.devices) {
        const CCandidate* match = nullptr;
        for (const auto& candidate : candidates)
            if (candidate.block != nullptr && candidate.letter == letter)
                match = &candidate;
        std::string fingerprint = table.Fingerprint(letter);
        view.drives.push_back(match != nullptr ? DescribeCandidate(*match, device, fingerprint, mounts)
                                               : DescribeLetter(letter, device, fingerprint, sources, mounts));
    }
    for (const auto& candidate : candidates)
        if (!candidate.letter)
            view.unlettered.push_back(candidate.node);
    view.systemDrive = SystemDrive(rootDevice, candidates);
    return view;
}

}  // namespace platform
