// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/Controls.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>

// Stands between a worker thread and a dialog whose every control call is a round trip to
// the UI thread. Text, position and progress changes are held and delivered together, at most once
// per interval, with only the latest state of each control; enabling passes straight
// through after what is held. Changes reach the dialog in the order they were made, so a
// later state is never overwritten by an earlier one. Used by one thread.
class CThrottledControls : public platform::IControlHost {
public:
    CThrottledControls(platform::IControlHost& target, std::chrono::steady_clock::duration interval);

    void EnableControl(int id, bool enable) override;
    void SetControlText(int id, const std::string& text) override;
    // The text as last set through this object, else the dialog's (asked once).
    std::string ControlText(int id) override;
    void MoveControl(int id, int x, int y, int width, int height, bool repaint) override;
    void SetProgress(int id, int position) override;

    // Delivers what is held when the interval since the last delivery has passed.
    void DeliverIfDue();
    // Delivers what is held now.
    void Deliver();

private:
    struct CGeometry {
        int x, y, width, height;
        bool repaint;
    };
    struct CControl {
        std::optional<std::string> text;  // known text of the control
        bool textHeld = false;            // text set but not yet delivered
        std::optional<CGeometry> move;    // move not yet delivered
        std::optional<int> progress;      // progress not yet delivered
    };

    platform::IControlHost& m_target;
    std::chrono::steady_clock::duration m_interval;
    std::chrono::steady_clock::time_point m_lastDelivery;
    std::map<int, CControl> m_controls;
    bool m_held = false;
};
