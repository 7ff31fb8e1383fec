// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ElidingLabel.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

namespace {

const QString kEllipsis = QString(QChar(0x2026));

// A label made as wide as a given text, which shows another.
class ElidingLabel : public testing::Test {
protected:
    QString Shown(const QString& text, const QString& widthOf)
    {
        m_label.setFixedWidth(QFontMetrics(m_label.font()).horizontalAdvance(widthOf) + 2);
        m_label.SetFullText(text);
        return m_label.text();
    }

    platform::CElidingLabel m_label{nullptr};
};

// What is said of a drive after its path stays whole as long as a piece of the path can be
// shown; the program always reads the whole text.
TEST_F(ElidingLabel, APathAtTheStartGivesUpItsMiddleFirst)
{
    const QString rest = ", label DATA, 64.0 MiB, mounted on /mnt/target: in use";
    const QString path = "/work/somebody/a/long/folder/of/images/E.img";
    EXPECT_EQ(Shown(path + rest, path + rest), path + rest);

    const QString shown = Shown(path + rest, "/work/some" + kEllipsis + "E.img" + rest);
    EXPECT_TRUE(shown.endsWith(rest)) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith("/work")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(kEllipsis)) << shown.toStdString();
    EXPECT_EQ(m_label.FullText(), path + rest);

    // No room for a piece of the path: the middle of the whole text goes.
    const QString narrow = Shown(path + rest, rest);
    EXPECT_FALSE(narrow.endsWith(rest)) << narrow.toStdString();
    EXPECT_TRUE(narrow.contains(kEllipsis));

    // Each line on its own.
    const QString twoLines = Shown(path + rest + "\nnot mounted", "/work/some" + kEllipsis + "E.img" + rest);
    EXPECT_TRUE(twoLines.endsWith(rest + "\nnot mounted")) << twoLines.toStdString();

    // Text that starts with no path loses its middle.
    const QString progress = "Copying: 62 %, 24.1 MiB/s, 0:01 left, and more to say about it";
    const QString cut = Shown(progress, "Copying: 62 %, 24.1 MiB/s");
    EXPECT_TRUE(cut.startsWith("Copying")) << cut.toStdString();
    EXPECT_TRUE(cut.endsWith("about it")) << cut.toStdString();
}

}  // namespace
