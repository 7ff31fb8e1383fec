#include "platform/drives/DriveView.h"

#include "platform/drives/DriveEntries.h"
#include "platform/drives/LetterTable.h"
#include "platform/drives/MountTable.h"
#include "platform/system/SystemRoot.h"

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
    for (const auto& [letter, device] : table.devices) {
        auto fingerprint = table.fingerprints.find(letter);
        view.drives.push_back(DescribeLetter(letter, device,
                                             fingerprint != table.fingerprints.end() ? fingerprint->second : "",
                                             sources, mounts));
    }
    return view;
}

CDriveView CurrentDrives()
{
    return SystemRoot() ? AssignedDrives(CDriveSources{}) : DiscoverDrives(CDriveSources{});
}

}  // namespace platform
