// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/BootSector.h"

namespace bootsector {

namespace {

// The bytes of field as decimal numbers; a comma after the last one too when trailingComma.
std::string ByteList(std::span<const std::byte> field, bool trailingComma)
{
    std::string list;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (i > 0)
            list += ',';
        list += std::to_string(std::to_integer<unsigned>(field[i]));
    }
    if (trailingComma)
        list += ',';
    return list;
}

}  // namespace

bool HasText(std::span<const std::byte> sector, std::size_t offset, std::string_view text)
{
    if (offset + text.size() > sector.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::to_integer<char>(sector[offset + i]) != text[i])
            return false;
    }
    return true;
}

std::uint32_t ReadLittleEndian32(std::span<const std::byte> sector, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | std::to_integer<std::uint32_t>(sector[offset + i]);
    return value;
}

std::string NtfsSizeFieldList(std::span<const std::byte> sector)
{
    return ByteList(sector.subspan(kNtfsTotalSectors, 8), false);
}

std::string FatSizeFieldList(std::span<const std::byte> sector)
{
    return ByteList(sector.subspan(kFatTotalSectors, 4), true);
}

}  // namespace bootsector
