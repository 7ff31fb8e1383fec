// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace platform {

void RunOnUiThread(const std::function<void()>& task)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() == application->thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(application, task, Qt::BlockingQueuedConnection);
}

void PostToUiThread(std::function<void()> task)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
        return;
    QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}

}  // namespace platform
