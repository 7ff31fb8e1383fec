// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogUnits.h"

#include <cstdlib>

namespace platform {

namespace {

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator)
{
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    long long rounded = (std::llabs(product) + half) / denominator;
    return static_cast<int>(product < 0 ? -rounded : rounded);
}

}  // namespace

int HorizontalPixels(int dialogUnits, CBaseUnits base)
{
    return ScaleRounded(dialogUnits, base.x, 4);
}

int VerticalPixels(int dialogUnits, CBaseUnits base)
{
    return ScaleRounded(dialogUnits, base.y, 8);
}

CPixelRect ToPixels(const CDluRect& rect, CBaseUnits base)
{
    return {HorizontalPixels(rect.x, base), VerticalPixels(rect.y, base),
            HorizontalPixels(rect.width, base), VerticalPixels(rect.height, base)};
}

int AverageCharWidth(int widthOfAlphabet)
{
    return (widthOfAlphabet / 26 + 1) / 2;
}

}  // namespace platform
