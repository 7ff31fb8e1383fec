// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/DialogTemplate.h"
#include "platform/qt/DialogUnits.h"

class QPixmap;
class QWidget;

namespace platform {

// Makes the widget of one control on parent, placed and sized in pixels.
QWidget* CreateControl(const CControlTemplate& control, QWidget* parent, CBaseUnits base, const QPixmap& icon);

}  // namespace platform
