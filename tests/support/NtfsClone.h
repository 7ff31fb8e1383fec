// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <cstdint>
#include <map>
#include <string>

// The source of an NTFS clone and the checks of its copy, shared by the tests of Keldrun
// and of Vantrel's worker.
namespace testsupport {

inline constexpr std::uint64_t kNtfsSourceSize = 64 << 20;

struct CNtfsSource {
    std::string m_path;
    std::map<std::string, std::string> m_files;  // name in the root folder -> content
    std::string m_bytes;                          // the whole image as it was made
    unsigned m_bytesPerSector = 512;
};

// A 64 MiB NTFS image at path with sectors of bytesPerSector, clusters of clusterBytes and a
// few files in it; empty m_bytes when it could not be made.
CNtfsSource MakeNtfsSource(const CTempMachine& machine, const std::string& path, unsigned bytesPerSector = 512,
                           unsigned clusterBytes = 4096);

// The size field mkntfs gives the partition (image file or block device) at path with
// sectors of bytesPerSector: all its whole sectors but the last.
std::uint64_t PartitionSizeField(const std::string& path, unsigned bytesPerSector);

// The copy on dest is a sound NTFS volume of sectors of the source's size: bytes 40 to 47
// count them, the backup boot sector after them is the boot sector, ntfsfix (alternate
// boot sector included) and ntfsresize accept it and find that size, it is marked for a
// check at Windows' next start, every file of the source reads back unchanged, the source
// is untouched, and (where FUSE is there) a read-write ntfs-3g mount takes a file larger
// than the source.
void ExpectGrownCopy(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest,
                     std::uint64_t sectors);

// The copy on dest is the source byte for byte (the source's size, not announced as more),
// the partition's last sector holds the source's boot sector and ntfsfix accepts the copy.
void ExpectCopyOfTheSourcesSize(const CTempMachine& machine, const CNtfsSource& source, const std::string& dest);

}  // namespace testsupport
