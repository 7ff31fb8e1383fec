// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The size field of an NTFS boot sector (bytes 40 to 47): the volume's sectors, an
// unsigned 64-bit little-endian number.

// The eight bytes of an NTFS size field, least significant first.
using SizeFieldBytes = std::array<std::uint8_t, 8>;

// The size field of an NTFS boot sector (at least 48 bytes), and the sectors it counts.
SizeFieldBytes ReadSizeField(std::span<const std::byte> bootSector);
void WriteSizeField(std::span<std::byte> bootSector, const SizeFieldBytes& field);
std::uint64_t SizeFieldSectors(const SizeFieldBytes& field);
// The size field that counts sectors.
SizeFieldBytes SizeFieldOf(std::uint64_t sectors);

// The values of a size-field list ("0,16,229,3,0,0,0,0": decimal bytes separated by ",",
// least significant first, as the volume probe writes it) in order, each as atoi reads it
// and kept to its low 8 bits. A list with n commas has n + 1 values ("" is one value, 0);
// values past the eighth are dropped and missing ones are 0.
SizeFieldBytes ParseByteList(const std::string& list);

// True for the file systems the engine clones: "NTFS" and "FAT32", compared exactly.
bool IsClonedFileSystem(const std::string& fileSystem);
