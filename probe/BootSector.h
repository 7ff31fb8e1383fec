// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The fields of a volume's first sector that tell its file system and size.
namespace bootsector {

constexpr std::size_t kNtfsSignature = 3;      // "NTFS", start of the OEM name
constexpr std::size_t kFatTotalSectors = 32;   // 32-bit total sectors of a FAT volume
constexpr std::size_t kNtfsTotalSectors = 40;  // 64-bit total sectors of an NTFS volume
constexpr std::size_t kFat16Label = 54;        // "FAT16", type label of FAT12/16
constexpr std::size_t kFat32Label = 82;        // "FAT32", type label of FAT32

// True when sector holds text at offset (only the bytes of text are compared).
bool HasText(std::span<const std::byte> sector, std::size_t offset, std::string_view text);

// The unsigned 32-bit little-endian value at offset.
std::uint32_t ReadLittleEndian32(std::span<const std::byte> sector, std::size_t offset);

// The size-field list of a total-sector field: its bytes in storage order as decimal
// numbers, "," between them ("0,16,229,3,0,0,0,0" for NTFS) or, for FAT, after each one
// ("0,40,35,0,").
std::string NtfsSizeFieldList(std::span<const std::byte> sector);
std::string FatSizeFieldList(std::span<const std::byte> sector);

}  // namespace bootsector
