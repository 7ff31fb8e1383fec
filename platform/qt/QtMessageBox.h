// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/MessageBox.h"

namespace platform {

// Message boxes of the window system, modal to the whole application and titled with its
// name. Callable from any thread: the box is shown by the UI thread while the caller waits.
class CQtMessageBox : public IMessageBoxService {
public:
    int Show(const std::string& text, MbButtons buttons) override;
};

}  // namespace platform
