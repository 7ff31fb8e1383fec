// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/NtfsCompletion.h"

#include "clone/CloneTexts.h"
#include "clone/NtfsBootSector.h"
#include "clone/NtfsCheck.h"
#include "clone/NtfsGrowth.h"
#include "platform/volume/SharedVolume.h"

namespace {

// Grows the copy to the size field its partition gives it, where that is more than the
// source's; the note that tells what became of a copy that did not grow.
std::optional<std::string> GrowToPartition(const CCloneRequest& request, const platform::IVolume& destination,
                                           std::span<const std::byte> boot, const std::string& device)
{
    std::optional<CNtfsGeometry> source = NtfsGeometry(boot);
    if (!source)
        return std::nullopt;
    // From the partition's size and the source's own sectors, never from what the
    // destination held before: its old file system may have had other sectors or left
    // part of the partition out.
    const std::uint64_t target = CopySizeField(*source, destination.Size());
    if (target <= source->sectors)
        return std::nullopt;
    const CGrowthNames names{request.m_sourceDrive, request.m_destDrive, device};
    std::unique_ptr<platform::IVolume> copy = platform::ReopenShared(destination);
    if (!copy)
        return CapacityNoteText(names.source, names.device);
    return GrowNtfsCopy(*copy, boot, *source, target, names);
}

}  // namespace

CNtfsCompletion CompleteNtfsCopy(const CCloneRequest& request, const platform::IVolume& source,
                                 const platform::IVolume& destination, std::span<const std::byte> boot,
                                 const std::string& device)
{
    CNtfsCompletion completion;
    if (std::optional<std::string> note = GrowToPartition(request, destination, boot, device))
        completion.notes.push_back(*note);

    CNtfsCheck copy = CheckNtfsVolume(destination);
    if (copy.result == NtfsCheckResult::NotRun) {
        completion.notes.push_back(NotCheckedText(request.m_destDrive, copy.whyNotRun));
    } else if (copy.result == NtfsCheckResult::Fails) {
        // A source that fails as well gives a copy as good as itself; one that passes, or
        // that could not be checked, leaves the copy the only one to blame.
        if (CheckNtfsVolume(source).result == NtfsCheckResult::Fails)
            completion.notes.push_back(AsGoodAsSourceText(request.m_sourceDrive, request.m_destDrive));
        else
            completion.notUsable = CopyNotUsableText(request.m_sourceDrive, request.m_destDrive);
    }
    return completion;
}
