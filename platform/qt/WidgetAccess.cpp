// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/WidgetAccess.h"

#include "platform/qt/ElidingLabel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QVariant>

namespace platform {

namespace {

const char* const kSortedProperty = "vantrelSorted";
const char* const kUpperCaseProperty = "vantrelUpperCase";

// Where a sorted list puts text: after every item that does not compare greater.
int SortedPosition(const QStringList& items, const QString& text)
{
    int index = 0;
    while (index < items.size() && QString::compare(items[index], text, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

QStringList Items(QWidget* widget)
{
    QStringList items;
    for (int i = 0, n = ListCount(widget); i < n; ++i)
        items.append(ListItem(widget, i));
    return items;
}

}  // namespace

void SetWidgetText(QWidget* widget, const QString& text)
{
    if (auto* eliding = dynamic_cast<CElidingLabel*>(widget))
        eliding->SetFullText(text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(text);
}

QString WidgetText(QWidget* widget)
{
    if (auto* eliding = dynamic_cast<CElidingLabel*>(widget))
        return eliding->FullText();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentText();
    return {};
}

void MarkListStyle(QWidget* widget, bool sorted, bool upperCase)
{
    widget->setProperty(kSortedProperty, sorted);
    widget->setProperty(kUpperCaseProperty, upperCase);
}

int AddListItem(QWidget* widget, const QString& text)
{
    QString item = widget->property(kUpperCaseProperty).toBool() ? text.toUpper() : text;
    int count = ListCount(widget);
    int index = widget->property(kSortedProperty).toBool() ? SortedPosition(Items(widget), item) : count;
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        int selected = combo->currentIndex();
        combo->insertItem(index, item);
        // Adding an item never selects it, not even the first one.
        if (selected < 0)
            combo->setCurrentIndex(-1);
        return index;
    }
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        list->insertItem(index, item);
        return index;
    }
    return -1;
}

void ClearList(QWidget* widget)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->clear();
    else if (auto* list = qobject_cast<QListWidget*>(widget))
        list->clear();
}

int ListCount(QWidget* widget)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->count();
    if (auto* list = qobject_cast<QListWidget*>(widget))
        return list->count();
    return 0;
}

QString ListItem(QWidget* widget, int index)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->itemText(index);
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
        QListWidgetItem* item = list->item(index);
        return item != nullptr ? item->text() : QString();
    }
    return {};
}

void SelectListItem(QWidget* widget, int index)
{
    if (index >= ListCount(widget))
        index = -1;
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setCurrentIndex(index);
    else if (auto* list = qobject_cast<QListWidget*>(widget))
        list->setCurrentRow(index);
}

int SelectedListItem(QWidget* widget)
{
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentIndex();
    if (auto* list = qobject_cast<QListWidget*>(widget))
        return list->currentRow();
    return -1;
}

void SetButtonChecked(QWidget* widget, bool checked)
{
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button != nullptr && button->isCheckable())
        button->setChecked(checked);
}

bool IsButtonChecked(QWidget* widget)
{
    auto* button = qobject_cast<QAbstractButton*>(widget);
    return button != nullptr && button->isChecked();
}

}  // namespace platform
