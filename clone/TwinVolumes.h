// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/CloneDrive.h"
#include "platform/volume/RawVolume.h"
#include "platform/volume/VolumeIds.h"

#include <optional>
#include <string>
#include <vector>

// After a copy, the source and the copy carry the same file-system serial (UUID) and
// label: /dev/disk/by-uuid and /dev/disk/by-label, and every line of /etc/fstab that names
// a file system by them, may find either one. The completion says so and names those
// lines; where a tool that gives the copy a serial of its own is installed, the front end
// may offer it. The tool only ever gets the copy, and the very file the engine opened.

struct CTwins {
    platform::CFileSystemIds ids;    // of both
    std::vector<std::string> notes;  // for the report and the completion: twins, and how to part them
    // The tool's arguments, the copy being VolumeArgument(0); empty when none is installed.
    std::vector<std::string> renewal;
};

// The twins that a completed copy made, read from the copy (still open) alone: a source
// with bad sectors is not read again. Nothing when the copy carries no serial, or when its
// first sector is not the source's (bootCopied false), so that the serial is not the
// source's either. device names the copy in the notes.
std::optional<CTwins> FindTwins(const CCloneRequest& request, const platform::IVolume& copy, bool bootCopied,
                                const std::string& device);

// The note that the copy of request carries the serial and label ids of its source, and
// the lines of /etc/fstab that name them (FstabLinesNaming).
std::string TwinsNoteText(const CCloneRequest& request, const platform::CFileSystemIds& ids,
                          const std::vector<std::string>& fstabLines);

// How to give the copy on device (a file system of type, as libblkid names it) a serial of
// its own: the command of the first tool installed, or the package to install for one;
// nothing for a file system no tool knows.
std::optional<std::string> NewSerialHowText(const std::string& type, const std::string& device);

// The question that offers the user a serial of the copy's own.
std::string RenewSerialQuestionText(const CCloneRequest& request);

// Gives copy a serial of its own with twins' tool; the message that tells how it went.
std::string RenewSerial(const CCloneRequest& request, const CTwins& twins, platform::IVolume& copy);

// The lines of fstab (the file's text) whose device is named by uuid or label: UUID=,
// LABEL= and the links under /dev/disk/by-uuid and /dev/disk/by-label. Blanks within a
// line are each written as one.
std::vector<std::string> FstabLinesNaming(const std::string& fstab, const std::string& uuid,
                                          const std::string& label);
