// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/DialogUnits.h"

#include <QFont>

namespace platform {

// The font of every dialog: an 8-point sans-serif face whose base units come closest to
// the classic dialog font (6 by 13 pixels at 96 dots per inch).
QFont DialogFont();

CBaseUnits BaseUnitsOf(const QFont& font);

}  // namespace platform
