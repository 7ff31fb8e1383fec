// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ClonePartitions.h"

#include "clone/CloneTexts.h"
#include "platform/volume/OpenedBy.h"
#include "platform/volume/VolumeShape.h"
#include "platform/volume/VolumeUse.h"

#include <cerrno>
#include <optional>

namespace {

// What keeps the volume at path busy: no single volume, a mount or a device stacked on it
// (itself or through a loop device), or a program that holds it open.
std::string WhatKeepsBusy(const std::string& path)
{
    if (std::optional<std::string> refusal = platform::WholeDiskRefusal(path))
        return *refusal;
    std::vector<platform::CVolumeUse> uses = platform::VolumeUses(path, platform::MachineSources());
    if (!uses.empty())
        return "it is " + platform::DescribeUse(platform::UseToTell(uses));
    std::vector<std::string> holders = platform::ProcessesHolding(path);
    if (holders.empty())
        return {};
    std::string text = "it is open in " + holders.front();
    for (std::size_t i = 1; i < holders.size(); ++i)
        text += ", " + holders[i];
    return text;
}

// drive could not be opened, with the open's errno: the message is the front end's text
// and why, as the engine knows it.
CCloneRefusal OpenFailed(ICloneFrontEnd& frontEnd, platform::IVolumeOpener& volumes, const std::string& text,
                         const std::string& drive, int error)
{
    std::optional<platform::CDriveDevice> device = volumes.Device(platform::RawVolumeName(drive));
    const bool busy = error == EBUSY || error == EWOULDBLOCK;
    const std::string why = OpenFailureText(drive, device ? device->path : "", error,
                                            device && busy ? WhatKeepsBusy(device->path) : "");
    frontEnd.OnOpenFailed(text, why);
    return {CloneOutcome::OpenFailed, text + "\n\n" + why};
}

// Source and destination share storage: the copy would overwrite what it reads.
CCloneRefusal RefuseOverlap(const CCloneRequest& request, ICloneFrontEnd& frontEnd, const platform::IVolume& source,
                            const platform::CVolumeExtent& destination)
{
    const bool identical = platform::SameVolume(source.Extent(), destination);
    const std::string text = frontEnd.OverlappingVolumesText(request.m_sourceDrive, request.m_destDrive, identical);
    frontEnd.OnRefused(text);
    return {CloneOutcome::VolumesOverlap, text};
}

}  // namespace

std::variant<CClonePartitions, CCloneRefusal> OpenClonePartitions(const CCloneRequest& request,
                                                                  ICloneFrontEnd& frontEnd,
                                                                  platform::IVolumeOpener& volumes)
{
    CClonePartitions partitions;
    partitions.source = volumes.Open(platform::RawVolumeName(request.m_sourceDrive), platform::VolumeAccess::Read);
    if (!partitions.source)
        return OpenFailed(frontEnd, volumes, frontEnd.CannotOpenSourceText(request.m_sourceDrive),
                          request.m_sourceDrive, errno);
    partitions.source->Rewind();
    const std::string destination = platform::RawVolumeName(request.m_destDrive);
    partitions.destination = volumes.Open(destination, platform::VolumeAccess::Write);
    if (!partitions.destination) {
        int error = errno;
        // A source claimed exclusively keeps its own storage from being claimed again:
        // the user must hear that the two overlap, not that the destination is busy.
        std::optional<platform::CDriveDevice> device = volumes.Device(destination);
        std::optional<platform::CVolumeExtent> wanted = device ? platform::PathExtent(device->path) : std::nullopt;
        if (wanted && platform::Overlaps(partitions.source->Extent(), *wanted))
            return RefuseOverlap(request, frontEnd, *partitions.source, *wanted);
        return OpenFailed(frontEnd, volumes, frontEnd.CannotOpenDestinationText(request.m_destDrive),
                          request.m_destDrive, error);
    }
    partitions.destination->Rewind();
    // Two letters for one partition, a loop device over a lettered image, a partition and
    // its own disk: the copy would overwrite its source while reading it.
    if (platform::Overlaps(partitions.source->Extent(), partitions.destination->Extent()))
        return RefuseOverlap(request, frontEnd, *partitions.source, partitions.destination->Extent());
    return partitions;
}
