// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

namespace platform {

// Draws list items with their tab characters expanded to fixed tab stops.
class CTabStopDelegate : public QStyledItemDelegate {
public:
    CTabStopDelegate(int tabStopPixels, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_tabStop;
};

}  // namespace platform
