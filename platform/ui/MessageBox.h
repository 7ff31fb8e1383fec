// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Modal, application-wide message boxes, shown through a replaceable service: Qt boxes in
// the GUI programs, a console box in Keldrun, scripted answers in tests.
namespace platform {

// YesNo asks a question whose safe answer is No: No is its default and Escape answers it.
enum class MbButtons { Ok, YesNoCancel, YesNo };

// The answers, with their Windows values.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    // Shows text and returns the button chosen. May be called from any thread.
    virtual int Show(const std::string& text, MbButtons buttons) = 0;
};

// Shows text through the installed service (the console box when none is installed).
int MessageBox(const std::string& text, MbButtons buttons = MbButtons::Ok);

// Installs service for the whole process; nullptr restores the console box. The caller
// keeps ownership and must keep it alive while installed.
void SetMessageBoxService(IMessageBoxService* service);

}  // namespace platform
