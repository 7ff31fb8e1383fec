// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogImpl.h"

#include <QComboBox>
#include <QListWidget>

// Tool tips of a running dialog's controls and of their list items, by id, from any thread.
namespace platform {

void CDialog::SetItemToolTip(int id, int index, const std::string& text)
{
    RunOnUiThread([&] {
        QWidget* widget = m_impl->Control(id);
        if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && index >= 0 && index < combo->count())
            combo->setItemData(index, text.empty() ? QVariant() : QVariant(ToQString(text)), Qt::ToolTipRole);
        else if (auto* list = qobject_cast<QListWidget*>(widget); list != nullptr && list->item(index) != nullptr)
            list->item(index)->setToolTip(ToQString(text));
    });
}

std::string CDialog::ItemToolTip(int id, int index)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && index >= 0 && index < combo->count())
            return combo->itemData(index, Qt::ToolTipRole).toString().toStdString();
        if (auto* list = qobject_cast<QListWidget*>(widget); list != nullptr && list->item(index) != nullptr)
            return list->item(index)->toolTip().toStdString();
        return std::string();
    });
}

void CDialog::SetControlToolTip(int id, const std::string& text)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id)) {
            widget->setToolTip(ToQString(text));
            // Statics let the mouse through to what lies below them; one with a tip must
            // see the mouse to show it.
            if (widget->focusPolicy() == Qt::NoFocus)
                widget->setAttribute(Qt::WA_TransparentForMouseEvents, text.empty());
        }
    });
}

std::string CDialog::ControlToolTip(int id)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? widget->toolTip().toStdString() : std::string();
    });
}

}  // namespace platform
