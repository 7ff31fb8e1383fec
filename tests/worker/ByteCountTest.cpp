// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/GlyphRow.h"
#include "worker/ThrottledControls.h"
#include "tests/support/RecordingControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

using worker_test::CRecordingControls;
using Events = std::vector<std::string>;

TEST(GlyphRow, EachGlyphMovesIntoPlaceWhenTheCountGrowsIntoIt)
{
    CRecordingControls dialog;
    CGlyphRow row;

    row.Show(dialog, "0");
    EXPECT_EQ(dialog.Events(), (Events{"move 2001 127 92 6 12 1", "text 2001 0"}));

    dialog.ClearEvents();
    row.Show(dialog, "512");
    // A longer text sets every glyph again, even one already showing its character.
    EXPECT_EQ(dialog.Events(), (Events{"text 2001 5", "move 2002 133 92 6 12 1", "text 2002 1",
                                       "move 2003 139 92 6 12 1", "text 2003 2"}));

    dialog.ClearEvents();
    row.Show(dialog, "1,024");
    EXPECT_EQ(dialog.Events(),
              (Events{"text 2001 1", "text 2002 ,", "move 2003 136 92 6 12 1",
                      "text 2003 0", "move 2004 142 92 6 12 1", "text 2004 2", "move 2005 148 92 6 12 1",
                      "text 2005 4"}));
    EXPECT_EQ(dialog.GlyphText(), "1,024");
    const int expectedX[] = {127, 133, 136, 142, 148};
    for (int j = 0; j < 5; ++j) {
        auto glyph = dialog.Control(2001 + j);
        EXPECT_EQ(glyph.x, expectedX[j]);
        EXPECT_EQ(glyph.y, 92);
        EXPECT_EQ(glyph.width, 6);
        EXPECT_EQ(glyph.height, 12);
    }
}

TEST(GlyphRow, OnlyChangedGlyphsAreTouched)
{
    CRecordingControls dialog;
    CGlyphRow row;
    row.Show(dialog, "1,024");

    dialog.ClearEvents();
    row.Show(dialog, "1,024");
    EXPECT_TRUE(dialog.Events().empty());

    row.Show(dialog, "1,536");
    EXPECT_EQ(dialog.Events(), (Events{"text 2003 5", "text 2004 3", "text 2005 6"}));
}

TEST(GlyphRow, TextsLongerThanTheRowStopAtTheLastGlyph)
{
    CRecordingControls dialog;
    CGlyphRow row;
    row.Show(dialog, "1,000,000,000,000,000,000");  // 25 characters

    EXPECT_EQ(dialog.GlyphText(), "1,000,000,000,000,0");
    EXPECT_EQ(dialog.Control(2020).text, "");
}

// An interval no test outlasts: only explicit deliveries reach the dialog.
constexpr auto kNever = std::chrono::hours(24);

TEST(ThrottledControls, HeldChangesArriveTogetherWithOnlyTheLatestState)
{
    CRecordingControls dialog;
    CThrottledControls throttled(dialog, kNever);
    CGlyphRow row;
    for (const char* total : {"0", "512", "1,024", "1,536", "2,048"}) {
        row.Show(throttled, total);
        throttled.DeliverIfDue();
    }
    EXPECT_TRUE(dialog.Events().empty());

    throttled.Deliver();
    EXPECT_EQ(dialog.GlyphText(), "2,048");
    // One move per glyph, to where it ends up.
    EXPECT_EQ(dialog.Control(2003).x, 136);
    auto events = dialog.Events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](auto& e) { return e.starts_with("move 2003"); }), 1);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](auto& e) { return e.starts_with("text 2001"); }), 1);

    dialog.ClearEvents();
    throttled.Deliver();
    EXPECT_TRUE(dialog.Events().empty());
}

TEST(ThrottledControls, EnablingFollowsWhatIsHeldAndTextsAreAskedOnce)
{
    CRecordingControls dialog;
    dialog.SetControlText(2001, "7");
    CThrottledControls throttled(dialog, kNever);

    EXPECT_EQ(throttled.ControlText(2001), "7");
    dialog.SetControlText(2001, "changed behind its back");
    EXPECT_EQ(throttled.ControlText(2001), "7");

    dialog.ClearEvents();
    throttled.SetControlText(2001, "9");
    throttled.EnableControl(1004, false);
    EXPECT_EQ(dialog.Events(), (Events{"text 2001 9", "enable 1004 0"}));
}

}  // namespace
