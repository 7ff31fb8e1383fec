// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogFont.h"

#include <QFontMetrics>
#include <QStringList>

namespace platform {

QFont DialogFont()
{
    QFont font;
    font.setFamilies(QStringList{"DejaVu Sans Condensed", "Liberation Sans", "Sans Serif"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

CBaseUnits BaseUnitsOf(const QFont& font)
{
    QFontMetrics metrics(font);
    int alphabet = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {AverageCharWidth(alphabet), metrics.height()};
}

}  // namespace platform
