// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/MachineDrives.h"

#include "platform/drives/DriveEntries.h"
#include "platform/drives/DriveLetters.h"
#include "platform/drives/DriveTable.h"
#include "platform/drives/DriveView.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/PartitionTable.h"
#include "platform/registry/RegistryStore.h"
#include "platform/system/SystemRoot.h"

#include <algorithm>

namespace platform {

namespace {

const char* const kDefaultWindowsDirectory = "C:\\WINDOWS";

// The drive named "C:" or "C:\\" as it is now; nothing for a letter without a present drive.
std::optional<CDriveEntry> PresentDrive(const std::string& name)
{
    auto letter = ParseDriveName(name);
    if (!letter)
        return std::nullopt;
    CDriveView view = CurrentDrives();
    const CDriveEntry* drive = view.Find(*letter);
    if (drive == nullptr || !drive->present)
        return std::nullopt;
    return *drive;
}

// The drive table of this machine. Every call looks afresh, so a device plugged in or
// removed shows at once; the object holds nothing.
class CMachineDrives final : public IDriveTable {
public:
    std::uint32_t GetLogicalDriveStrings(std::span<char> buffer) override
    {
        std::string strings;
        for (const auto& drive : CurrentDrives().drives)
            if (drive.present)
                strings += std::string(1, drive.letter) + ":\\" + '\0';
        auto length = static_cast<std::uint32_t>(strings.size());
        if (buffer.size() < strings.size() + 1)
            return length + 1;
        std::copy(strings.begin(), strings.end(), buffer.begin());
        buffer[strings.size()] = '\0';
        return length;
    }

    unsigned GetDriveType(const std::string& rootPath) override
    {
        std::optional<CDriveEntry> drive = PresentDrive(rootPath);
        return drive ? drive->type : kDriveNoRootDir;
    }

    bool GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller, std::uint64_t& totalBytes,
                            std::uint64_t& totalFree) override
    {
        std::optional<CDriveEntry> drive = PresentDrive(volume);
        if (!drive)
            return false;
        if (!drive->mountPoint.empty() && MountSpace(drive->mountPoint, freeToCaller, totalBytes, totalFree))
            return true;
        // Not mounted: nothing on it is free to a file system user.
        freeToCaller = 0;
        totalBytes = drive->size;
        totalFree = 0;
        return true;
    }

    bool GetDriveDetails(const std::string& volume, CDriveDetails& details) override
    {
        std::optional<CDriveEntry> drive = PresentDrive(volume);
        if (!drive)
            return false;
        if (IsNetworkDevice(drive->device)) {
            details = {drive->device.substr(std::string(kNetworkDevicePrefix).size()), "", drive->mountPoint};
            return true;
        }
        // A stable link says little to a person: the node it leads to does.
        details = {KernelNode(drive->device), FileSystemLabel(drive->device).value_or(""), drive->mountPoint};
        return true;
    }

    std::string GetWindowsDirectory() override
    {
        if (SystemRoot()) {
            CRegKey key;
            std::string directory;
            if (CRegKey::Open(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                              RegAccess::Read, key) == RegStatus::Ok &&
                ReadStringValue(key, "SystemRoot", directory) == RegStatus::Ok && !directory.empty())
                return directory;
            return kDefaultWindowsDirectory;
        }
        // Where "/" is on no lettered drive (a container, a network root), C: is kept back
        // as the Windows drive: refusing one destination too many is the safe mistake.
        auto systemDrive = CurrentDrives().systemDrive;
        return systemDrive ? std::string(1, *systemDrive) + ":\\WINDOWS" : kDefaultWindowsDirectory;
    }
};

}  // namespace

IDriveTable& MachineDrives()
{
    static CMachineDrives drives;
    return drives;
}

}  // namespace platform
