// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/SizeField.h"

#include <cctype>
#include <cstring>

namespace {

constexpr std::size_t kSizeFieldOffset = 40;

// The low 8 bits of atoi(token): white space skipped, an optional sign, the digits up to
// the first other character. Kept modulo 2^32 while reading, so no digit string overflows.
std::uint8_t TokenValue(const std::string& token)
{
    std::size_t i = 0;
    while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i])))
        ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    std::uint32_t value = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i)
        value = value * 10 + static_cast<std::uint32_t>(token[i] - '0');
    if (negative)
        value = 0 - value;
    return static_cast<std::uint8_t>(value);
}

}  // namespace

SizeFieldBytes ParseByteList(const std::string& list)
{
    SizeFieldBytes bytes{};
    std::size_t next = 0;
    std::string token;
    auto store = [&] {
        if (next < bytes.size())
            bytes[next] = TokenValue(token);
        ++next;
        token.clear();
    };
    for (char c : list) {
        if (c == ',')
            store();
        else
            token += c;
    }
    store();
    return bytes;
}

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
