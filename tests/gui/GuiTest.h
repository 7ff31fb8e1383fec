#pragma once

#include "platform/qt/Dialog.h"
#include "platform/qt/UiThread.h"

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

// The items of a list control, in order.
inline std::vector<std::string> Items(platform::CDialog& dialog, int id)
{
    std::vector<std::string> items;
    for (int i = 0, n = dialog.ItemCount(id); i < n; ++i)
        items.push_back(dialog.ItemText(id, i));
    return items;
}

}  // namespace guitest
