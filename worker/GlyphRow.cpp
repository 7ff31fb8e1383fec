// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/GlyphRow.h"

void CGlyphRow::Show(platform::IControlHost& controls, const std::string& text)
{
    int x = kFirstX;
    int length = static_cast<int>(text.size());
    for (int j = 0; j < length && j < kGlyphs; ++j) {
        int id = kFirstId + j;
        bool moved = false;
        if (m_glyphX[j] != x) {
            m_glyphX[j] = x;
            controls.MoveControl(id, x, kY, kWidth, kHeight, true);
            moved = true;
        }
        x += text[j] == ',' ? kSeparatorAdvance : kDigitAdvance;

        std::string glyph(1, text[j]);
        // The length test repaints every glyph whenever the count grows by a character.
        if (moved || controls.ControlText(id) != glyph || length != m_shownLength)
            controls.SetControlText(id, glyph);
    }
    m_shownLength = length;
}

void CGlyphRow::Clear(platform::IControlHost& controls)
{
    for (int j = 0; j < m_shownLength && j < kGlyphs; ++j)
        controls.SetControlText(kFirstId + j, "");
    m_shownLength = 0;
}
