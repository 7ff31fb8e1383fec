// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/Controls.h"
#include "worker/CloneDlgControls.h"

#include <array>
#include <string>

// The byte count of the clone dialog, drawn one character per static control (ids 2001
// to 2019) so that a "," takes half the width of a digit. A control is moved only when
// its position changes and its text set only when its character changes.
class CGlyphRow {
public:
    static constexpr int kFirstId = clonedlg::kFirstGlyph;
    static constexpr int kGlyphs = clonedlg::kGlyphCount;
    static constexpr int kFirstX = 127;
    static constexpr int kY = 92;
    static constexpr int kWidth = 6;
    static constexpr int kHeight = 12;
    static constexpr int kDigitAdvance = 6;
    static constexpr int kSeparatorAdvance = 3;

    // Draws text (digits with "," separators) into the glyph controls of controls.
    // Characters past the 19th have no control and are not drawn.
    void Show(platform::IControlHost& controls, const std::string& text);
    // Blanks the glyphs drawn so far, so that a count that starts again from 0 leaves none
    // of the longer count before it.
    void Clear(platform::IControlHost& controls);

private:
    std::array<int, kGlyphs> m_glyphX{};  // last position given to each control
    int m_shownLength = 0;                // length of the previous text
};
