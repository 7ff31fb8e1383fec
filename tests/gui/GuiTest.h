#pragma once

#include "platform/qt/Dialog.h"
#include "platform/qt/UiThread.h"

#include <functional>

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

}  // namespace guitest
