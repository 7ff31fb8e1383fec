// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeDrives.h"

#include <algorithm>
#include <cctype>

namespace testsupport {

namespace {

char LetterOf(const std::string& path)
{
    return path.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

}  // namespace

void CFakeDrives::SetDrive(char letter, SFakeDrive drive)
{
    m_drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = drive;
}

void CFakeDrives::SetDetails(char letter, platform::CDriveDetails details)
{
    m_drives.at(LetterOf(std::string(1, letter))).details = std::move(details);
}

void CFakeDrives::RemoveDrive(char letter)
{
    m_drives.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

std::uint32_t CFakeDrives::GetLogicalDriveStrings(std::span<char> buffer)
{
    std::string strings;
    for (const auto& entry : m_drives) {
        strings += entry.first;
        strings += ":\\";
        strings += '\0';
    }
    if (strings.size() + 1 > buffer.size())
        return static_cast<std::uint32_t>(strings.size() + 1);
    std::copy(strings.begin(), strings.end(), buffer.begin());
    buffer[strings.size()] = '\0';
    return static_cast<std::uint32_t>(strings.size());
}

unsigned CFakeDrives::GetDriveType(const std::string& rootPath)
{
    auto drive = m_drives.find(LetterOf(rootPath));
    return drive == m_drives.end() ? platform::kDriveNoRootDir : drive->second.type;
}

bool CFakeDrives::GetDiskFreeSpaceEx(const std::string& volume, std::uint64_t& freeToCaller,
                                     std::uint64_t& totalBytes, std::uint64_t& totalFree)
{
    auto drive = m_drives.find(LetterOf(volume));
    if (drive == m_drives.end() || !drive->second.sizeKnown)
        return false;
    freeToCaller = drive->second.freeBytes;
    totalBytes = drive->second.totalBytes;
    totalFree = drive->second.freeBytes;
    return true;
}

bool CFakeDrives::GetDriveDetails(const std::string& volume, platform::CDriveDetails& details)
{
    auto drive = m_drives.find(LetterOf(volume));
    if (drive == m_drives.end())
        return false;
    details = drive->second.details;
    return true;
}

}  // namespace testsupport
