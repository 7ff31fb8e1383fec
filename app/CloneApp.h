// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Application.h"

// Vantrel's start-up: dialog colours, the install folder, "color.txt", then the clone
// dialog as the one window of the program.
class CCloneApp {
public:
    explicit CCloneApp(platform::CDialogApp& application);

    // Runs the program; always false, since nothing follows the clone dialog. Without an
    // install folder it ends at once, before any window, saying why on standard error.
    bool InitInstance();
    // 0, or 1 when the clone dialog could not be shown for want of a display.
    int ExitCode() const { return m_exitCode; }

private:
    platform::CDialogApp& m_application;
    int m_exitCode = 0;
};
