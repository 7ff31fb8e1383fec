// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Dialog.h"
#include "platform/qt/UiThread.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace guitest {

// The result DoModal gives when the script left the dialog running.
constexpr int kLeftRunning = -2;

// Runs dialog modally with script run inside its event loop; a dialog the script leaves
// running is ended afterwards, so a failed check never hangs the test.
inline int RunWith(platform::CDialog& dialog, std::function<void()> script)
{
    platform::PostToUiThread([&dialog, script = std::move(script)] {
        script();
        dialog.EndDialog(kLeftRunning);
    });
    return dialog.DoModal();
}

// Runs dialog modally with script run inside its event loop; something else (a thread
// the script starts) must end it.
inline int RunUntilEnded(platform::CDialog& dialog, std::function<void()> script)
{
    platform::PostToUiThread(std::move(script));
    return dialog.DoModal();
}

// Runs script in the event loop of the next dialog that opens (inside the handler that
// opens it); the dialog is ended afterwards like RunWith does.
inline void WhenNextDialogRuns(std::function<void(platform::CDialog&)> script)
{
    platform::PostToUiThread([script = std::move(script)] {
        platform::CDialog* dialog = platform::CDialog::ActiveDialog();
        if (dialog == nullptr)
            return;
        script(*dialog);
        dialog->EndDialog(kLeftRunning);
    });
}

// Runs action from the event loop once condition holds, looking again every few
// milliseconds (a worker thread's calls on the dialog keep being served meanwhile).
inline void WhenTrue(std::function<bool()> condition, std::function<void()> action)
{
    QTimer::singleShot(5, [condition = std::move(condition), action = std::move(action)]() mutable {
        if (condition())
            action();
        else
            WhenTrue(std::move(condition), std::move(action));
    });
}

// Presses Escape in dialog until it closes: it refuses while a clone holds it, and ends
// once the clone's worker is over, whatever it left for the dialog to do.
inline void CloseOnceIdle(platform::CDialog& dialog)
{
    WhenTrue(
        [&dialog] {
            if (platform::CDialog::ActiveDialog() == &dialog)
                dialog.UserPressEscape();
            return platform::CDialog::ActiveDialog() != &dialog;
        },
        [] {});
}

// Presses and releases key in control id of the innermost running dialog, as the keyboard
// does: the window is active, the control has the focus (and the focus events that come
// with it), and the event goes to the control and on to its dialog when the control
// leaves it alone. Call on the UI thread.
inline void PressKeyIn(platform::CDialog& dialog, int id, Qt::Key key)
{
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr)
        return;
    window->activateWindow();
    QApplication::processEvents();
    dialog.SetFocusTo(id);
    QWidget* target = window->focusWidget();
    if (target == nullptr)
        return;
    Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

// The items of a list control, in order.
inline std::vector<std::string> Items(platform::CDialog& dialog, int id)
{
    std::vector<std::string> items;
    for (int i = 0, n = dialog.ItemCount(id); i < n; ++i)
        items.push_back(dialog.ItemText(id, i));
    return items;
}

}  // namespace guitest
