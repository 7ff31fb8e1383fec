// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace probetest {

// A 512-byte first sector built field by field.
class CBootSectorImage {
public:
    CBootSectorImage() : m_bytes(512) {}

    CBootSectorImage& Text(std::size_t offset, std::string_view text)
    {
        for (char c : text)
            m_bytes.at(offset++) = static_cast<std::byte>(c);
        return *this;
    }
    CBootSectorImage& Bytes(std::size_t offset, std::initializer_list<std::uint8_t> bytes)
    {
        for (std::uint8_t b : bytes)
            m_bytes.at(offset++) = static_cast<std::byte>(b);
        return *this;
    }
    const std::vector<std::byte>& Data() const { return m_bytes; }

private:
    std::vector<std::byte> m_bytes;
};

}  // namespace probetest
