#pragma once

#include "platform/ui/MessageBox.h"

namespace platform {

// A message box on the console: the text goes to standard error. When standard input is
// a terminal it waits for Enter (OK) or reads y/n/c (Yes, No, Cancel); otherwise it
// answers OK, or Cancel to a question, without waiting.
class CConsoleMessageBox : public IMessageBoxService {
public:
    int Show(const std::string& text, MbButtons buttons) override;
};

}  // namespace platform
