// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The inside of a CDialog, shared by the files that implement it: the template and
// handlers given before the run, and the window and controls while it runs.

#include "platform/qt/Dialog.h"
#include "platform/qt/DialogWindow.h"
#include "platform/qt/UiThread.h"

#include <QAction>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform {

struct CDialog::Impl {
    CDialogTemplate dialogTemplate;
    const char* const* iconXpm = nullptr;
    std::map<int, std::function<void()>> clickHandlers;
    std::map<int, std::function<void()>> selChangeHandlers;

    // While the dialog runs (UI thread only).
    QPointer<CDialogWindow> window;
    std::map<int, QWidget*> controls;
    std::map<int, QAction*> menuCommands;
    bool ended = false;
    int result = 0;

    QWidget* Control(int id) const
    {
        auto found = controls.find(id);
        return window != nullptr && found != controls.end() ? found->second : nullptr;
    }

    std::unique_ptr<CDialogWindow> MakeWindow(CDialog& owner);
    // Makes the controls in template order, which is their tab order; returns the first
    // control that Tab reaches.
    QWidget* MakeControls(CDialog& owner, CDialogWindow* parent);
    // A click goes to the control's handler; OK and Cancel without one to OnOK and OnCancel.
    void Clicked(CDialog& owner, int id);
    void SelectionChanged(int id);
};

inline QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

// Runs task on the UI thread and gives back its result.
template <typename Result, typename Task>
Result OnUiThread(Task task)
{
    Result result{};
    RunOnUiThread([&] { result = task(); });
    return result;
}

}  // namespace platform
