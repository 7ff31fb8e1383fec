// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace platform {

// A colour as its red, green and blue intensities.
struct CRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend bool operator==(const CRgb&, const CRgb&) = default;
};

}  // namespace platform
