// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/TabStopDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

namespace platform {

CTabStopDelegate::CTabStopDelegate(int tabStopPixels, QObject* parent)
    : QStyledItemDelegate(parent), m_tabStop(tabStopPixels)
{
}

void CTabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    QString text = item.text;
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
    layout.setTabStopDistance(m_tabStop);
    layout.setWrapMode(QTextOption::NoWrap);
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(QPalette::Text));
    painter->drawText(QRectF(textRect), text, layout);
    painter->restore();
}

}  // namespace platform
