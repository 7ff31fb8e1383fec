// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace guitest {

// What of window's texts does not fit where it is drawn, one line each ("radio button
// \"Fast Mode\": needs 60 px, has 49"): the text of every label, button, check box and
// group box measured with its own font's metrics against its rectangle, and the window's
// title against the width that a title bar leaves it (a bold 11-point title, centred
// between the title bar's buttons). Labels that leave out the middle of a long text are
// made to do so and are not measured. Empty when everything fits.
std::vector<std::string> TextsThatDoNotFit(QWidget* window);

}  // namespace guitest
