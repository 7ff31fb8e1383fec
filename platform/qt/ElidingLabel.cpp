// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ElidingLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace platform {

CElidingLabel::CElidingLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void CElidingLabel::SetFullText(const QString& text)
{
    m_fullText = text;
    Elide();
}

void CElidingLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void CElidingLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Elide();
}

void CElidingLabel::Elide()
{
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, room));
}

}  // namespace platform
