// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// A dialog's controls, reached by their numeric ids. Any thread may call; a call from a
// thread other than the UI thread is carried out on the UI thread while the caller waits.
class IControlHost {
public:
    virtual ~IControlHost() = default;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual std::string ControlText(int id) = 0;
    // Moves and sizes the control (pixels of the client area); repaint redraws it at once.
    virtual void MoveControl(int id, int x, int y, int width, int height, bool repaint) = 0;
    // Fills a progress bar to position out of kProgressRange (0 leaves it empty).
    virtual void SetProgress(int id, int position) = 0;
};

// The length of a progress bar: a position in thousandths of the whole.
constexpr int kProgressRange = 1000;

}  // namespace platform
