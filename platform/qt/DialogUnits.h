// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/DialogTemplate.h"

namespace platform {

// The base units of a dialog font in pixels: its average character width and its height.
struct CBaseUnits {
    int x = 0;
    int y = 0;
};

struct CPixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const CPixelRect&, const CPixelRect&) = default;
};

// Dialog units to pixels: four horizontal units per average character width, eight
// vertical units per character height, rounded to the nearest pixel.
int HorizontalPixels(int dialogUnits, CBaseUnits base);
int VerticalPixels(int dialogUnits, CBaseUnits base);
CPixelRect ToPixels(const CDluRect& rect, CBaseUnits base);

// The horizontal base unit from the width of the 52 letters A-Z and a-z.
int AverageCharWidth(int widthOfAlphabet);

}  // namespace platform
