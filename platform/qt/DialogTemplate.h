// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Dialogs described as data, the way a resource file describes them: every control with
// its id, kind, rectangle in dialog units, text ("&" marks the mnemonic) and style.
namespace platform {

enum class ControlKind {
    PushButton,
    RadioButton,   // automatic: a click selects it and clears the others of its group
    CheckBox,      // automatic: a click turns it on or off
    GroupBox,      // a titled frame; drawn behind the controls it surrounds
    Text,          // static text, wrapped at its right edge
    Icon,          // the dialog's icon
    ListBox,
    DropDownList,  // a combo box the user picks from without typing
    ProgressBar,   // filled from 0 to kProgressRange
};

// Control styles.
constexpr unsigned kTabStop = 1u << 0;    // reached with the Tab key
constexpr unsigned kGroup = 1u << 1;      // starts a group of radio buttons
constexpr unsigned kDefault = 1u << 2;    // the default push button (Enter)
constexpr unsigned kSunken = 1u << 3;     // static with a sunken frame
constexpr unsigned kRight = 1u << 4;      // static text aligned right
constexpr unsigned kSort = 1u << 5;       // list keeps its items sorted
constexpr unsigned kUpperCase = 1u << 6;  // list stores its items in capitals
constexpr unsigned kNoSelect = 1u << 7;   // list items cannot be selected
constexpr unsigned kTabStops = 1u << 8;   // list expands tabs at the default tab stops
constexpr unsigned kPathEllipsis = 1u << 9;  // static whose lines lose their middle where too long

// Dialog styles.
constexpr unsigned kMinimizeBox = 1u << 0;

constexpr int kNoId = -1;  // a control the program never addresses

// A rectangle in dialog units: a quarter of the font's average character width
// horizontally, an eighth of its height vertically.
struct CDluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct CControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::Text;
    CDluRect rect;
    std::string text;
    unsigned style = 0;
};

struct CDialogTemplate {
    int id = 0;
    std::string caption;
    int width = 0;  // client area, dialog units
    int height = 0;
    unsigned style = 0;
    std::vector<CControlTemplate> controls;  // in tab order
};

}  // namespace platform
