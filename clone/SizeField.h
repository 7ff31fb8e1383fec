// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The size field of a boot sector in its text form, "0,16,229,3,0,0,0,0": decimal byte
// values separated by ",", least significant first, as the volume probe writes it.

// The eight bytes of an NTFS size field (boot-sector bytes 40 to 47).
using SizeFieldBytes = std::array<std::uint8_t, 8>;

// The size field of an NTFS boot sector (at least 48 bytes), and the sectors it counts.
SizeFieldBytes ReadSizeField(std::span<const std::byte> bootSector);
void WriteSizeField(std::span<std::byte> bootSector, const SizeFieldBytes& field);
std::uint64_t SizeFieldSectors(const SizeFieldBytes& field);

// The values of list in order, each as atoi reads it and kept to its low 8 bits. A list
// with n commas has n + 1 values ("" is one value, 0); values past the eighth are
// dropped and missing ones are 0.
SizeFieldBytes ParseByteList(const std::string& list);

// True for the file systems the engine clones: "NTFS" and "FAT32", compared exactly.
bool IsClonedFileSystem(const std::string& fileSystem);

// Prepares the source's boot sector (the start of the first block) for the destination:
// for "NTFS" copies the parsed list over bytes 40 to 47; any other file system keeps its
// boot sector as it is.
void ApplySizeField(std::span<std::byte> block, const std::string& fileSystem, const std::string& sizeFieldList);
