// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "clone/TwinVolumes.h"
#include "platform/volume/DeviceVolume.h"
#include "platform/volume/VolumeIds.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

// What the end of a clone says beyond its fixed texts, for the tests that compare its
// whole output. For the programs that link the engine.
namespace testsupport {

// The size in bytes of the image file or block device at path; 0 when it cannot be opened.
inline std::uint64_t ByteSize(const std::string& path)
{
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(path, platform::VolumeAccess::Read);
    return volume ? volume->Size() : 0;
}

// The ids of the file system in the image or device at path; nothing when it has none.
inline std::optional<platform::CFileSystemIds> FileSystemIdsOf(const std::string& path)
{
    std::unique_ptr<platform::IVolume> volume = platform::OpenVolumeFile(path, platform::VolumeAccess::Read);
    return volume ? platform::ReadFileSystemIds(*volume) : std::nullopt;
}

// The notes of a copy that carries the serial and label of its source (at sourcePath),
// named device, when no line of the machine's /etc/fstab names them.
inline std::vector<std::string> TwinNotes(const CCloneRequest& request, const std::string& sourcePath,
                                          const std::string& device)
{
    std::optional<platform::CFileSystemIds> ids = FileSystemIdsOf(sourcePath);
    if (!ids)
        return {};
    std::vector<std::string> notes{TwinsNoteText(request, *ids, {})};
    if (std::optional<std::string> how = NewSerialHowText(ids->type, device))
        notes.push_back(*how);
    return notes;
}

// text with the time and rate of every "Time taken: ..." (which differ from run to run),
// and the time of a verification after it, left out: "Time taken: T."
inline std::string WithoutTimes(const std::string& text)
{
    static const std::regex taken(
        "Time taken: [0-9:]+, at [0-9.]+ [A-Za-z]+/s on average\\.(  The verification took [0-9:]+\\.)?");
    return std::regex_replace(text, taken, "Time taken: T.");
}

}  // namespace testsupport
