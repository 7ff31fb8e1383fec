// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <cstdint>
#include <map>
#include <string>

// The source of an NTFS clone onto a larger partition and the checks of its copy, shared
// by the tests of Keldrun and of Vantrel's worker.
namespace testsupport {

inline constexpr std::uint64_t kNtfsSourceSize = 64 << 20;

struct CNtfsSource {
    std::string m_path;
    std::map<std::string, std::string> m_files;  // name in the root folder -> content
    std::string m_bytes;                          // the whole image as it was made
};

// A 64 MiB NTFS image at path with a few files in it; empty m_bytes when it could not be made.
CNtfsSource MakeNtfsSource(const CTempMachine& machine, const std::string& path);

// The copy on dest is a sound NTFS volume of the size list announces: bytes 40 to 47 hold
// list, the backup boot sector in the sector the list counts is the boot sector, ntfsfix
// and ntfsresize accept it and find that size, it is marked for a check at Windows' next
// start, every file of the source reads back unchanged, the source is untouched, and
// (where FUSE is there) a read-write ntfs-3g mount takes a file larger than the source.
void ExpectGrownCopy(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest,
                     const std::string& list);

// The copy on dest is the source byte for byte (the source's size, not announced as more)
// and the sector that list counts, when dest has it, holds the source's boot sector.
void ExpectCopyOfTheSourcesSize(const CNtfsSource& source, const std::string& dest, const std::string& list);

// The line that a copy which could not grow adds to the report and the messages.
std::string CapacityNote(const std::string& sourceDrive, const std::string& dest);

}  // namespace testsupport
