// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveTable.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace testsupport {

// One drive of a CFakeDrives table.
struct SFakeDrive {
    unsigned type = platform::kDriveFixed;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    bool sizeKnown = true;  // false: the free-space query fails for this drive
    platform::CDriveDetails details{};
};

// A drive table held in memory: letters with their types, sizes and free space, and a
// Windows directory (C:\WINDOWS unless set). Letters are listed in alphabetical order.
class CFakeDrives : public platform::IDriveTable {
public:
    // Adds the drive, or replaces the one with the same letter.
    void SetDrive(char letter, SFakeDrive drive);
    void RemoveDrive(char letter);
    // The device, label and mount point of a drive already set.
    void SetDetails(char letter, platform::CDriveDetails details);
    void SetWindowsDirectory(const std::string& directory) { m_windowsDirectory = directory; }

    std::uint32_t GetLogicalDriveStrings(std::span<char> buffer) override;
    // Types as SetDrive gave them; kDriveNoRootDir for a letter without a drive.
    unsigned GetDriveType(const std::string& rootPath) override;
    bool GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller,
                            std::uint64_t& totalBytes, std::uint64_t& totalFree) override;
    std::string GetWindowsDirectory() override { return m_windowsDirectory; }
    // As SetDrive gave them; false for a letter without a drive.
    bool GetDriveDetails(const std::string& volume, platform::CDriveDetails& details) override;

private:
    std::map<char, SFakeDrive> m_drives;
    std::string m_windowsDirectory = "C:\\WINDOWS";
};

}  // namespace testsupport
