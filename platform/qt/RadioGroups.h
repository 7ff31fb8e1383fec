// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QRadioButton;

namespace platform {

// Radio buttons as dialogs know them: group is the number of the group the button
// belongs to among its siblings; a click selects the button and clears every other
// button of its group, while the program may still set several or none.
void MakeAutomaticRadio(QRadioButton* button, int group);

}  // namespace platform
