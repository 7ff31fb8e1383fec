// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ClonePartitions.h"

#include <cerrno>
#include <optional>

namespace {

// drive could not be opened, with the open's errno.
CCloneRefusal OpenFailed(ICloneFrontEnd& frontEnd, const std::string& text, const std::string& drive, int error)
{
    frontEnd.OnOpenFailed(text, drive, error);
    return {CloneOutcome::OpenFailed, text};
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
        return OpenFailed(frontEnd, frontEnd.CannotOpenSourceText(request.m_sourceDrive), request.m_sourceDrive, errno);
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
        return OpenFailed(frontEnd, frontEnd.CannotOpenDestinationText(request.m_destDrive), request.m_destDrive,
                          error);
    }
    partitions.destination->Rewind();
    // Two letters for one partition, a loop device over a lettered image, a partition and
    // its own disk: the copy would overwrite its source while reading it.
    if (platform::Overlaps(partitions.source->Extent(), partitions.destination->Extent()))
        return RefuseOverlap(request, frontEnd, *partitions.source, partitions.destination->Extent());
    return partitions;
}
