// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/Discovery.h"
#include "platform/drives/DriveView.h"

#include "platform/drives/DriveEntries.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/MountTable.h"
#include "platform/system/SystemRoot.h"

#include <unistd.h>

namespace platform {

const CDriveEntry* CDriveView::Find(char letter) const
{
    for (const auto& drive : drives)
        if (drive.letter == letter)
            return &drive;
    return nullptr;
}

CDriveView AssignedDrives(const CDriveSources& sources)
{
    std::vector<CMount> mounts = ReadMounts(sources.mountInfo);
    CDriveView view;
    CLetterTable table = LoadLetterTable();
    view.tableError = table.error;
    for (const auto& [letter, device] : table.devices)
        view.drives.push_back(DescribeLetter(letter, device, table.Fingerprint(letter), sources, mounts));
    return view;
}

CDriveSources MachineSources()
{
    CDriveSources sources;
    if (auto root = SystemRoot()) {
        std::string mountInfo = *root + "/mountinfo";
        if (::access(mountInfo.c_str(), R_OK) == 0)
            sources.mountInfo = mountInfo;
    }
    return sources;
}

CDriveView CurrentDrives()
{
    return SystemRoot() ? AssignedDrives(MachineSources()) : DiscoverDrives(MachineSources());
}

CDriveView StoredDrives()
{
    return AssignedDrives(MachineSources());
}

}  // namespace platform
