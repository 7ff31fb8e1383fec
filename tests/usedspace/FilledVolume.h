// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/UsedSpace.h"
#include "tests/support/TempMachine.h"

#include <cstdint>
#include <map>
#include <string>

// Volumes filled with real files through the file system's own driver, and copies made
// of their used space alone.
namespace testsupport {

// Files by their path below a volume's root, with their contents.
using CFiles = std::map<std::string, std::string>;

// Writes random files into folder (a mounted volume) until about fill (0 to 1) of its
// space is used: some in a subfolder, many deleted after writing, and "fragmented.bin"
// spread over several runs of clusters. Returns the files that remain.
CFiles FillFolder(const std::string& folder, double fill, unsigned seed);

// Every file below folder with its contents.
CFiles ReadFolder(const std::string& folder);

// Writes content as the file name below folder, making the folders on its path.
void WriteBelow(const std::string& folder, const std::string& name, const std::string& content);

// Copies the files and subfolders of folder into the root folder of the FAT volume in
// image with mtools; true when mcopy succeeded.
bool PutIntoFat(const CTempMachine& machine, const std::string& image, const std::string& folder);

// count random bytes made from seed.
std::string RandomBytes(std::size_t count, unsigned seed);

// The used space of the image file at path, read as the engine reads a partition.
usedspace::CUsedSpace MapImage(const std::string& path, const std::string& fileSystem,
                               std::uint64_t joinGap = 0);

// Writes bytes over the file at path from offset.
void PatchFile(const std::string& path, std::uint64_t offset, const std::string& bytes);

// Damage done to a volume, and the reason its map is then refused for.
struct CDamage {
    const char* what;
    std::uint64_t offset;
    std::string bytes;
    const char* reason;
};

// Copies the bytes of ranges from source onto dest, at the same offsets.
bool CopyRanges(const std::string& source, const std::string& dest, const usedspace::CByteRanges& ranges);

}  // namespace testsupport
