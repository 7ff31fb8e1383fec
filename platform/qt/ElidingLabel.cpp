// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ElidingLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStringList>

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

// Each line on its own: a path before the first ", " gives up its middle first, so that
// what is said of it stays whole; when even a short piece of the path would not leave room
// for that, the middle of the whole line goes.
QString CElidingLabel::Elided(const QString& line, int room) const
{
    const QFontMetrics metrics = fontMetrics();
    const qsizetype split = line.indexOf(QStringLiteral(", "));
    if (metrics.horizontalAdvance(line) > room && split > 0 && line.left(split).contains('/')) {
        const QString rest = line.mid(split);
        const int left = room - metrics.horizontalAdvance(rest);
        if (left >= kShortestPath * metrics.averageCharWidth())
            return metrics.elidedText(line.left(split), Qt::ElideMiddle, left) + rest;
    }
    return metrics.elidedText(line, Qt::ElideMiddle, room);
}

void CElidingLabel::Elide()
{
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    QStringList lines = m_fullText.split('\n');
    for (QString& line : lines)
        line = Elided(line, room);
    setText(lines.join('\n'));
}

}  // namespace platform
