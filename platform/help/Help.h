// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The help viewer: shows a help file in a program of its own, as HTML Help does.
namespace platform {

// The viewer, bound at its first use: the program named by the default value of
// HKCR CLSID\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\InprocServer32, else xdg-open. A
// binding that found no program is remembered, and every later call returns 0 at once.
class CHelpViewer {
public:
    // Starts the viewer on helpFile without waiting for it; non-zero when it was started.
    int DisplayTopic(const std::string& helpFile);
    // The program bound to; empty before the first call and when none was found.
    const std::string& Program() const { return m_program; }

private:
    enum class State { Unbound, Bound, Failed };

    State m_state = State::Unbound;
    std::string m_program;
};

// The viewer of this process.
int HtmlHelp(const std::string& helpFile);

}  // namespace platform
