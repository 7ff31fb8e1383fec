// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ControlFactory.h"

#include "platform/qt/ElidingLabel.h"
#include "platform/qt/TabStopDelegate.h"
#include "platform/qt/WidgetAccess.h"
#include "platform/ui/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace platform {

namespace {

// Tab stops of a list box: every 32 dialog units.
constexpr int kListTabStop = 32;

QString Text(const CControlTemplate& control)
{
    return QString::fromStdString(control.text);
}

QWidget* CreateStatic(const CControlTemplate& control, QWidget* parent)
{
    QLabel* label = nullptr;
    if ((control.style & kPathEllipsis) != 0) {
        auto* eliding = new CElidingLabel(parent);
        eliding->SetFullText(Text(control));
        label = eliding;
    } else {
        label = new QLabel(Text(control), parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
    Qt::Alignment horizontal = (control.style & kRight) != 0 ? Qt::AlignRight : Qt::AlignLeft;
    if ((control.style & kSunken) != 0) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(horizontal | Qt::AlignVCenter);
    } else {
        label->setAlignment(horizontal | Qt::AlignTop);
    }
    return label;
}

QWidget* CreateList(const CControlTemplate& control, QWidget* parent, CBaseUnits base)
{
    auto* list = new QListWidget(parent);
    if ((control.style & kNoSelect) != 0)
        list->setSelectionMode(QAbstractItemView::NoSelection);
    if ((control.style & kTabStops) != 0)
        list->setItemDelegate(new CTabStopDelegate(HorizontalPixels(kListTabStop, base), list));
    return list;
}

QWidget* CreateWidget(const CControlTemplate& control, QWidget* parent, CBaseUnits base, const QPixmap& icon)
{
    switch (control.kind) {
    case ControlKind::PushButton: {
        // Enter presses the template's default button and nothing else: an auto-default
        // button would take Enter wherever the focus is once it has had the focus, so
        // Enter in a list could press "&Create the Clone". Space presses a focused button.
        auto* button = new QPushButton(Text(control), parent);
        button->setAutoDefault(false);
        button->setDefault((control.style & kDefault) != 0);
        return button;
    }
    case ControlKind::RadioButton:
        return new QRadioButton(Text(control), parent);
    case ControlKind::CheckBox:
        return new QCheckBox(Text(control), parent);
    case ControlKind::GroupBox:
        return new QGroupBox(Text(control), parent);
    case ControlKind::Text:
        return CreateStatic(control, parent);
    case ControlKind::Icon: {
        auto* label = new QLabel(parent);
        label->setPixmap(icon);
        return label;
    }
    case ControlKind::ListBox:
        return CreateList(control, parent, base);
    case ControlKind::DropDownList:
        return new QComboBox(parent);
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, kProgressRange);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return nullptr;
}

Qt::FocusPolicy FocusPolicyOf(const CControlTemplate& control)
{
    switch (control.kind) {
    case ControlKind::GroupBox:
    case ControlKind::Text:
    case ControlKind::Icon:
    case ControlKind::ProgressBar:
        return Qt::NoFocus;
    default:
        return (control.style & kTabStop) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
    }
}

}  // namespace

QWidget* CreateControl(const CControlTemplate& control, QWidget* parent, CBaseUnits base, const QPixmap& icon)
{
    QWidget* widget = CreateWidget(control, parent, base, icon);
    widget->setFocusPolicy(FocusPolicyOf(control));
    MarkListStyle(widget, (control.style & kSort) != 0, (control.style & kUpperCase) != 0);
    CPixelRect place = ToPixels(control.rect, base);
    if (control.kind == ControlKind::DropDownList)
        place.height = widget->sizeHint().height();  // the template's height is that of the open list
    widget->setGeometry(place.x, place.y, place.width, place.height);
    if (FocusPolicyOf(control) == Qt::NoFocus)
        widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    return widget;
}

}  // namespace platform
