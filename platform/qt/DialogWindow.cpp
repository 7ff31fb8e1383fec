// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogWindow.h"

#include <QCloseEvent>

namespace platform {

CDialogWindow::CDialogWindow(CDialog& owner, QWidget* parent, std::function<void()> cancel)
    : QDialog(parent), m_owner(owner), m_cancel(std::move(cancel))
{
}

void CDialogWindow::reject()
{
    m_cancel();
}

void CDialogWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    m_cancel();
}

}  // namespace platform
