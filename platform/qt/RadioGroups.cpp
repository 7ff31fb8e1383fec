// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/RadioGroups.h"

#include <QRadioButton>

namespace platform {

namespace {

const char* const kGroupProperty = "vantrelRadioGroup";

void SelectInGroup(QRadioButton* button)
{
    QVariant group = button->property(kGroupProperty);
    for (QRadioButton* sibling : button->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        if (sibling != button && sibling->property(kGroupProperty) == group)
            sibling->setChecked(false);
    }
    button->setChecked(true);
}

}  // namespace

void MakeAutomaticRadio(QRadioButton* button, int group)
{
    button->setAutoExclusive(false);
    button->setProperty(kGroupProperty, group);
    QObject::connect(button, &QAbstractButton::clicked, button, [button] { SelectInGroup(button); });
}

}  // namespace platform
