// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/MessageBox.h"

#include <chrono>
#include <optional>

namespace platform {

// A message box on the console: the text goes to standard error. When standard input is
// a terminal it waits for Enter (OK) or reads y/n/c (Yes, No, Cancel); otherwise it
// answers OK, or Cancel to a question (No where Cancel is no answer), without waiting. Given a bound, an OK box that
// has no Enter within it says so and answers OK, so that a machine with no one at its
// keyboard goes on.
class CConsoleMessageBox : public IMessageBoxService {
public:
    explicit CConsoleMessageBox(std::optional<std::chrono::milliseconds> okWithin = std::nullopt);

    int Show(const std::string& text, MbButtons buttons) override;

private:
    void WaitForOk();

    std::optional<std::chrono::milliseconds> m_okWithin;
};

}  // namespace platform
