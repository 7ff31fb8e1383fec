// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/MessageBox.h"

#include "platform/ui/ConsoleMessageBox.h"

#include <atomic>

namespace platform {

namespace {

IMessageBoxService& ConsoleBox()
{
    static CConsoleMessageBox box;
    return box;
}

// The installed service; the one piece of process state of the message-box service.
std::atomic<IMessageBoxService*>& Installed()
{
    static std::atomic<IMessageBoxService*> service{nullptr};
    return service;
}

}  // namespace

int MessageBox(const std::string& text, MbButtons buttons)
{
    IMessageBoxService* service = Installed().load();
    return (service != nullptr ? *service : ConsoleBox()).Show(text, buttons);
}

void SetMessageBoxService(IMessageBoxService* service)
{
    Installed().store(service);
}

}  // namespace platform
