// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootPartitions.h"

#include "platform/drives/DriveView.h"
#include "platform/drives/Drives.h"
#include "platform/journal/Journal.h"
#include "platform/system/WaitBound.h"

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLookEvery{100};

std::string DidNotAppearText(const std::string& drive, std::chrono::milliseconds bound)
{
    return "Partition Restore => The " + DescribeBootDrive(drive) + " partition did not appear within " +
           platform::WaitBoundText(bound) +
           ".  Its name is made by udev once the kernel has found the disk: is the disk connected?  The clone "
           "was not made.";
}

std::string MountedText(const std::string& drive, const std::string& mountPoint)
{
    return "Partition Restore => The " + DescribeBootDrive(drive) + " partition is mounted on " + mountPoint +
           ".  A mounted partition can change while it is copied: the clone was not made.";
}

// The drive's entry now; nothing when its letter is not in the table.
std::optional<platform::CDriveEntry> LookAt(char letter)
{
    platform::CDriveView view = platform::StoredDrives();
    if (const platform::CDriveEntry* entry = view.Find(letter))
        return *entry;
    return std::nullopt;
}

// Nothing when the drive is there and not mounted, or has no letter at all.
std::optional<std::string> CheckDrive(const std::string& drive, Clock::time_point deadline,
                                      std::chrono::milliseconds bound)
{
    std::optional<char> letter = platform::ParseDriveName(drive);
    std::optional<platform::CDriveEntry> entry = letter ? LookAt(*letter) : std::nullopt;
    if (!entry)
        return std::nullopt;
    if (!entry->present)
        platform::LogToJournal(platform::JournalPriority::Info,
                               "waiting for the " + DescribeBootDrive(drive) + " partition to appear");
    while (!entry->present) {
        if (Clock::now() >= deadline)
            return DidNotAppearText(drive, bound);
        std::this_thread::sleep_for(kLookEvery);
        entry = LookAt(*letter);
        if (!entry)
            return std::nullopt;
    }
    if (!entry->mountPoint.empty())
        return MountedText(drive, entry->mountPoint);
    return std::nullopt;
}

}  // namespace

std::string DescribeBootDrive(const std::string& drive)
{
    std::optional<char> letter = platform::ParseDriveName(drive);
    std::optional<platform::CDriveDevice> device = letter ? platform::StoredDriveDevice(*letter) : std::nullopt;
    return device ? drive + " (" + device->path + ")" : drive;
}

std::optional<std::string> CheckBootPartitions(const CCloneRequest& request, std::chrono::milliseconds deviceBound)
{
    // One bound for both: the devices appear side by side, not one after the other.
    const Clock::time_point deadline = Clock::now() + deviceBound;
    for (const std::string* drive : {&request.m_sourceDrive, &request.m_destDrive})
        if (std::optional<std::string> refusal = CheckDrive(*drive, deadline, deviceBound))
            return refusal;
    return std::nullopt;
}
