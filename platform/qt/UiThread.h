// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace platform {

// Runs task on the UI thread and returns when it is done: at once when called there,
// otherwise queued to the UI thread while the caller waits (the UI thread must keep
// processing events meanwhile, as a running dialog or message box does). Without a
// running window system the task runs on the calling thread.
void RunOnUiThread(const std::function<void()>& task);

// Queues task to run on the UI thread from its event loop (for instance inside a modal
// dialog) and returns at once. Does nothing without a running window system.
void PostToUiThread(std::function<void()> task);

}  // namespace platform
