// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogImpl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>

// What a user does to a running dialog, done by a program: tests and the screenshot tool.
namespace platform {

void CDialog::UserClick(int id)
{
    RunOnUiThread([&] {
        auto* button = qobject_cast<QAbstractButton*>(m_impl->Control(id));
        if (button != nullptr && button->isEnabled())
            button->click();
    });
}

void CDialog::UserChoose(int id, int index)
{
    RunOnUiThread([&] {
        auto* combo = qobject_cast<QComboBox*>(m_impl->Control(id));
        if (combo == nullptr || !combo->isEnabled() || index < 0 || index >= combo->count())
            return;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    });
}

void CDialog::UserPressEscape()
{
    RunOnUiThread([&] {
        if (m_impl->window == nullptr)
            return;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(m_impl->window, &press);
    });
}

void CDialog::UserCloseWindow()
{
    RunOnUiThread([&] {
        if (m_impl->window != nullptr)
            m_impl->window->close();
    });
}

void CDialog::UserSystemCommand(int command)
{
    RunOnUiThread([&] {
        auto action = m_impl->menuCommands.find(command);
        if (action != m_impl->menuCommands.end())
            action->second->trigger();
    });
}

bool CDialog::SaveScreenshot(const std::string& path)
{
    return OnUiThread<bool>([&] {
        CDialogWindow* window = m_impl->window;
        if (window == nullptr)
            return false;
        QPixmap shot;
        if (QScreen* screen = window->screen())
            shot = screen->grabWindow(window->winId());
        if (shot.isNull())
            shot = window->grab();
        return shot.save(ToQString(path), "PNG");
    });
}

}  // namespace platform
