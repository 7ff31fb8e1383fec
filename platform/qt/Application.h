// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Colour.h"

#include <memory>
#include <string>

namespace platform {

// The application object of a dialog program. The window system is started only when
// asked, so a program that ends before showing anything needs no display.
class CDialogApp {
public:
    // argc and argv must outlive the object. name titles the program's message boxes.
    CDialogApp(int& argc, char** argv, std::string name);
    ~CDialogApp();
    CDialogApp(const CDialogApp&) = delete;
    CDialogApp& operator=(const CDialogApp&) = delete;

    // Colours of every dialog and message box of the program, from now on.
    void SetDialogBkColor(CRgb background, CRgb text);

    // Connects to the window system and routes message boxes to it. False when no window
    // can be shown, with the reason on standard error and in the journal; a window system
    // that Qt fails to start ends the program with status 1 and the reason, never with a
    // core dump. Calling it again does nothing.
    bool StartWindowSystem();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
