// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Colour.h"

#include <string>

// The colours of every dialog and message box, and the optional file "color.txt" that
// replaces them: its first line holds up to six numbers separated by commas,
// background red, green, blue, then text red, green, blue.
struct CDialogColours {
    platform::CRgb background{220, 220, 210};
    platform::CRgb text{0, 0, 0};

    friend bool operator==(const CDialogColours&, const CDialogColours&) = default;
};

// The colours a first line of "color.txt" gives: each field is read like atoi (blanks,
// sign, digits, the rest ignored; nothing numeric is 0) and replaces the default at its
// position; only the low 8 bits of a value count. The last field is always taken, even
// when empty; fields past the sixth are ignored.
CDialogColours ParseColorLine(const std::string& line);

// The colours of install folder + "color.txt", or the defaults when it cannot be read.
CDialogColours ReadColorFile(const std::string& installFolder);
