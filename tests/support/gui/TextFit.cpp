// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/gui/TextFit.h"

#include "platform/qt/ElidingLabel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace guitest {

namespace {

// A title bar's buttons and the space beside them, on each side of a centred title, at
// 96 dpi: two buttons of 24 px and their padding.
constexpr int kTitleBarSides = 2 * 64;

std::string Describe(const char* kind, const QString& text, int needed, int has)
{
    return std::string(kind) + " \"" + text.toStdString() + "\": needs " + std::to_string(needed) + " px, has " +
           std::to_string(has);
}

// The text a control shows: the ampersand of a mnemonic is not drawn.
QString Shown(QString text)
{
    return text.replace("&&", "\x01").remove('&').replace('\x01', '&');
}

void CheckLabel(QLabel* label, std::vector<std::string>& unfit)
{
    if (dynamic_cast<platform::CElidingLabel*>(label) != nullptr || label->text().isEmpty())
        return;
    const QRect room = label->contentsRect();
    const QFontMetrics metrics(label->font());
    const QRect needed =
        metrics.boundingRect(room, int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0), label->text());
    if (needed.width() > room.width())
        unfit.push_back(Describe("text", label->text(), needed.width(), room.width()));
    if (needed.height() > room.height())
        unfit.push_back(Describe("text (height)", label->text(), needed.height(), room.height()));
}

// A check box or radio button: its indicator, the space after it and its text.
void CheckIndicatorButton(QAbstractButton* button, std::vector<std::string>& unfit)
{
    const int needed = button->sizeHint().width();
    if (needed > button->width())
        unfit.push_back(Describe(qobject_cast<QRadioButton*>(button) ? "radio button" : "check box", button->text(),
                                 needed, button->width()));
}

// A push button: its text inside the frame's margins.
void CheckPushButton(QPushButton* button, std::vector<std::string>& unfit)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const int margins = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    const int needed = QFontMetrics(button->font()).horizontalAdvance(Shown(button->text())) + margins;
    if (needed > button->width())
        unfit.push_back(Describe("button", button->text(), needed, button->width()));
}

void CheckGroupBox(QGroupBox* box, std::vector<std::string>& unfit)
{
    const int needed = QFontMetrics(box->font()).horizontalAdvance(Shown(box->title())) + box->fontMetrics().height();
    if (needed > box->width())
        unfit.push_back(Describe("group box", box->title(), needed, box->width()));
}

void CheckTitle(QWidget* window, std::vector<std::string>& unfit)
{
    QFont font = window->font();
    font.setPointSize(11);
    font.setBold(true);
    const double scale = window->logicalDpiX() / 96.0;
    const int needed = QFontMetrics(font).horizontalAdvance(window->windowTitle()) + int(kTitleBarSides * scale);
    if (needed > window->width())
        unfit.push_back(Describe("title", window->windowTitle(), needed, window->width()));
}

}  // namespace

std::vector<std::string> TextsThatDoNotFit(QWidget* window)
{
    std::vector<std::string> unfit;
    CheckTitle(window, unfit);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(child))
            CheckLabel(label, unfit);
        else if (auto* push = qobject_cast<QPushButton*>(child))
            CheckPushButton(push, unfit);
        else if (qobject_cast<QRadioButton*>(child) != nullptr || qobject_cast<QCheckBox*>(child) != nullptr)
            CheckIndicatorButton(qobject_cast<QAbstractButton*>(child), unfit);
        else if (auto* box = qobject_cast<QGroupBox*>(child))
            CheckGroupBox(box, unfit);
    }
    return unfit;
}

}  // namespace guitest
