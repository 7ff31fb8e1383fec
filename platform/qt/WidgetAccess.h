// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// The operations of the dialog's controls on the widgets that stand for them. Each one
// does nothing (or gives an empty result) on a widget of another kind.
namespace platform {

void SetWidgetText(QWidget* widget, const QString& text);
QString WidgetText(QWidget* widget);

// Lists remember whether they sort their items and keep them in capitals.
void MarkListStyle(QWidget* widget, bool sorted, bool upperCase);
int AddListItem(QWidget* widget, const QString& text);  // index of the new item, -1 when none
void ClearList(QWidget* widget);
int ListCount(QWidget* widget);
QString ListItem(QWidget* widget, int index);
void SelectListItem(QWidget* widget, int index);
int SelectedListItem(QWidget* widget);

void SetButtonChecked(QWidget* widget, bool checked);
bool IsButtonChecked(QWidget* widget);

}  // namespace platform
