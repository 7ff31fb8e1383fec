// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/SizeField.h"

#include <cstring>

namespace {

constexpr std::size_t kSizeFieldOffset = 40;

}  // namespace

SizeFieldBytes ReadSizeField(std::span<const std::byte> bootSector)
{
    SizeFieldBytes field{};
    std::memcpy(field.data(), bootSector.data() + kSizeFieldOffset, field.size());
    return field;
}

void WriteSizeField(std::span<std::byte> bootSector, const SizeFieldBytes& field)
{
    std::memcpy(bootSector.data() + kSizeFieldOffset, field.data(), field.size());
}

std::uint64_t SizeFieldSectors(const SizeFieldBytes& field)
{
    std::uint64_t sectors = 0;
    for (std::size_t i = field.size(); i-- > 0;)
        sectors = sectors << 8 | field[i];
    return sectors;
}

SizeFieldBytes SizeFieldOf(std::uint64_t sectors)
{
    SizeFieldBytes field{};
    for (std::size_t i = 0; i < field.size(); ++i)
        field[i] = static_cast<std::uint8_t>(sectors >> (8 * i));
    return field;
}

bool IsClonedFileSystem(const std::string& fileSystem)
{
    return fileSystem == "NTFS" || fileSystem == "FAT32";
}
