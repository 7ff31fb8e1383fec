// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogImpl.h"
#include "platform/qt/WidgetAccess.h"

#include <algorithm>

#include <QBrush>
#include <QComboBox>
#include <QPalette>
#include <QProgressBar>

// The operations on a running dialog's controls, by id, from any thread.
namespace platform {

void CDialog::EnableControl(int id, bool enable)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            widget->setEnabled(enable);
    });
}

void CDialog::SetControlText(int id, const std::string& text)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SetWidgetText(widget, ToQString(text));
    });
}

std::string CDialog::ControlText(int id)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? WidgetText(widget).toStdString() : std::string();
    });
}

void CDialog::MoveControl(int id, int x, int y, int width, int height, bool repaint)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id)) {
            widget->setGeometry(x, y, width, height);
            if (repaint)
                widget->repaint();
        }
    });
}

void CDialog::SetProgress(int id, int position)
{
    RunOnUiThread([&] {
        if (auto* bar = qobject_cast<QProgressBar*>(m_impl->Control(id)))
            bar->setValue(std::clamp(position, 0, kProgressRange));
    });
}

int CDialog::ProgressPosition(int id)
{
    return OnUiThread<int>([&] {
        auto* bar = qobject_cast<QProgressBar*>(m_impl->Control(id));
        return bar != nullptr ? bar->value() : -1;
    });
}

bool CDialog::IsControlEnabled(int id)
{
    return OnUiThread<bool>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr && widget->isEnabled();
    });
}

CPixelRect CDialog::ControlRect(int id)
{
    return OnUiThread<CPixelRect>([&] {
        QWidget* widget = m_impl->Control(id);
        if (widget == nullptr)
            return CPixelRect{};
        QRect place = widget->geometry();
        return CPixelRect{place.x(), place.y(), place.width(), place.height()};
    });
}

int CDialog::AddString(int id, const std::string& text)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? AddListItem(widget, ToQString(text)) : -1;
    });
}

void CDialog::ResetContent(int id)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            ClearList(widget);
    });
}

int CDialog::ItemCount(int id)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? ListCount(widget) : 0;
    });
}

std::string CDialog::ItemText(int id, int index)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? ListItem(widget, index).toStdString() : std::string();
    });
}

void CDialog::SetCurSel(int id, int index)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SelectListItem(widget, index);
    });
}

int CDialog::CurSel(int id)
{
    return OnUiThread<int>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr ? SelectedListItem(widget) : -1;
    });
}

std::string CDialog::SelectedText(int id)
{
    return OnUiThread<std::string>([&] {
        QWidget* widget = m_impl->Control(id);
        if (widget == nullptr || SelectedListItem(widget) < 0)
            return std::string();
        return ListItem(widget, SelectedListItem(widget)).toStdString();
    });
}

void CDialog::SetItemDimmed(int id, int index, bool dimmed)
{
    RunOnUiThread([&] {
        auto* combo = qobject_cast<QComboBox*>(m_impl->Control(id));
        if (combo == nullptr || index < 0 || index >= combo->count())
            return;
        QVariant colour = dimmed ? QVariant(combo->palette().brush(QPalette::Disabled, QPalette::Text)) : QVariant();
        combo->setItemData(index, colour, Qt::ForegroundRole);
    });
}

bool CDialog::IsItemDimmed(int id, int index)
{
    return OnUiThread<bool>([&] {
        auto* combo = qobject_cast<QComboBox*>(m_impl->Control(id));
        return combo != nullptr && index >= 0 && index < combo->count() &&
               combo->itemData(index, Qt::ForegroundRole).isValid();
    });
}

void CDialog::SetCheck(int id, bool checked)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            SetButtonChecked(widget, checked);
    });
}

bool CDialog::IsChecked(int id)
{
    return OnUiThread<bool>([&] {
        QWidget* widget = m_impl->Control(id);
        return widget != nullptr && IsButtonChecked(widget);
    });
}

void CDialog::SetFocusTo(int id)
{
    RunOnUiThread([&] {
        if (QWidget* widget = m_impl->Control(id))
            widget->setFocus(Qt::OtherFocusReason);
    });
}

int CDialog::FocusedControl()
{
    return OnUiThread<int>([&] {
        if (m_impl->window == nullptr)
            return kNoId;
        QWidget* focused = m_impl->window->focusWidget();
        for (const auto& [id, widget] : m_impl->controls) {
            if (widget == focused)
                return id;
        }
        return kNoId;
    });
}

}  // namespace platform
