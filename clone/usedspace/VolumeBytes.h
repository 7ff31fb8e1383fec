// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Reading the structures of a file system from its volume.
namespace usedspace {

// The unsigned little-endian value of width bytes at offset of bytes; the caller has
// checked that they are there.
inline std::uint64_t LittleEndian(std::span<const std::byte> bytes, std::size_t offset, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = value << 8 | std::to_integer<std::uint64_t>(bytes[offset + i]);
    return value;
}
inline std::uint16_t Le16(std::span<const std::byte> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(LittleEndian(bytes, offset, 2));
}
inline std::uint32_t Le32(std::span<const std::byte> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(LittleEndian(bytes, offset, 4));
}
inline std::uint64_t Le64(std::span<const std::byte> bytes, std::size_t offset)
{
    return LittleEndian(bytes, offset, 8);
}

// Reads all of buffer from byte offset of volume, whose position it leaves anywhere.
// False when the volume cannot be read there or ends before the buffer is full.
bool ReadVolumeAt(platform::IVolume& volume, std::uint64_t offset, std::span<std::byte> buffer);

}  // namespace usedspace
