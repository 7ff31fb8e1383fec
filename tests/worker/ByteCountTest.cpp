// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/GlyphRow.h"
#include "worker/ThrottledControls.h"
#include "tests/support/RecordingControls.h"
#include "worker/CloneDlgControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

using worker_test::CRecordingControls;
using worker_test::TextEvent;
using Events = std::vector<std::string>;

// The glyph control of the byte count at index (from 0, left to right).
constexpr int Glyph(int index)
{
    return clonedlg::kFirstGlyph + index;
}

// The glyph at index moved to x on the row, where every glyph is 6 by 12 at y 92.
std::string GlyphMove(int index, int x)
{
    return worker_test::MoveEvent(Glyph(index), x, 92, 6, 12, true);
}

// True for an event of kind ("move", "text") on the glyph at index.
auto IsGlyphEvent(const char* kind, int index)
{
    return [prefix = std::string(kind) + " " + std::to_string(Glyph(index)) + " "](const std::string& event) {
        return event.starts_with(prefix);
    };
}

TEST(GlyphRow, EachGlyphMovesIntoPlaceWhenTheCountGrowsIntoIt)
{
    CRecordingControls dialog;
    CGlyphRow row;

    row.Show(dialog, "0");
    EXPECT_EQ(dialog.Events(), (Events{GlyphMove(0, 127), TextEvent(Glyph(0), "0")}));

    dialog.ClearEvents();
    row.Show(dialog, "512");
    // A longer text sets every glyph again, even one already showing its character.
    EXPECT_EQ(dialog.Events(), (Events{TextEvent(Glyph(0), "5"), GlyphMove(1, 133), TextEvent(Glyph(1), "1"),
                                       GlyphMove(2, 139), TextEvent(Glyph(2), "2")}));

    dialog.ClearEvents();
    row.Show(dialog, "1,024");
    EXPECT_EQ(dialog.Events(),
              (Events{TextEvent(Glyph(0), "1"), TextEvent(Glyph(1), ","), GlyphMove(2, 136), TextEvent(Glyph(2), "0"),
                      GlyphMove(3, 142), TextEvent(Glyph(3), "2"), GlyphMove(4, 148), TextEvent(Glyph(4), "4")}));
    EXPECT_EQ(dialog.GlyphText(), "1,024");
    const int expectedX[] = {127, 133, 136, 142, 148};
    for (int j = 0; j < 5; ++j) {
        auto glyph = dialog.Control(Glyph(j));
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
    EXPECT_EQ(dialog.Events(), (Events{TextEvent(Glyph(2), "5"), TextEvent(Glyph(3), "3"), TextEvent(Glyph(4), "6")}));
}

TEST(GlyphRow, TextsLongerThanTheRowStopAtTheLastGlyph)
{
    CRecordingControls dialog;
    CGlyphRow row;
    row.Show(dialog, "1,000,000,000,000,000,000");  // 25 characters

    EXPECT_EQ(dialog.GlyphText(), "1,000,000,000,000,0");
    EXPECT_EQ(dialog.Control(Glyph(clonedlg::kGlyphCount)).text, "");
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
    EXPECT_EQ(dialog.Control(Glyph(2)).x, 136);
    auto events = dialog.Events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), IsGlyphEvent("move", 2)), 1);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), IsGlyphEvent("text", 0)), 1);

    dialog.ClearEvents();
    throttled.Deliver();
    EXPECT_TRUE(dialog.Events().empty());
}

TEST(ThrottledControls, EnablingFollowsWhatIsHeldAndTextsAreAskedOnce)
{
    CRecordingControls dialog;
    dialog.SetControlText(Glyph(0), "7");
    CThrottledControls throttled(dialog, kNever);

    EXPECT_EQ(throttled.ControlText(Glyph(0)), "7");
    dialog.SetControlText(Glyph(0), "changed behind its back");
    EXPECT_EQ(throttled.ControlText(Glyph(0)), "7");

    dialog.ClearEvents();
    throttled.SetControlText(Glyph(0), "9");
    throttled.EnableControl(clonedlg::kCancelButton, false);
    EXPECT_EQ(dialog.Events(),
              (Events{TextEvent(Glyph(0), "9"), worker_test::EnableEvent(clonedlg::kCancelButton, false)}));
}

}  // namespace
