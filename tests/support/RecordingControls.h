// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace worker_test {

// The events of the log, written as CRecordingControls writes them.
std::string EnableEvent(int id, bool enable);
std::string TextEvent(int id, const std::string& text);
std::string MoveEvent(int id, int x, int y, int width, int height, bool repaint);
std::string ProgressEvent(int id, int position);

// A dialog's controls as a worker sees them: every call is written to one event log
// ("enable 1004 1", "text 2001 5", "move 2001 127 92 6 12 1", "progress 1072 450") and the controls keep
// their latest state. Message boxes shown while it is installed join the same log
// ("box <text>"), so a test sees what the dialog showed before a message appeared.
class CRecordingControls : public platform::IControlHost, public platform::IMessageBoxService {
public:
    struct CControl {
        bool enabled = true;
        std::string text;
        int x = 0, y = 0, width = 0, height = 0;
        int progress = 0;
    };

    CRecordingControls();
    ~CRecordingControls() override;

    void EnableControl(int id, bool enable) override;
    void SetControlText(int id, const std::string& text) override;
    std::string ControlText(int id) override;
    void MoveControl(int id, int x, int y, int width, int height, bool repaint) override;
    void SetProgress(int id, int position) override;
    int Show(const std::string& text, platform::MbButtons buttons) override;

    std::vector<std::string> Events() const;
    void ClearEvents();
    CControl Control(int id) const;
    // The byte count's glyph controls read left to right up to the first empty one.
    std::string GlyphText() const;
    // Waits until control id has been enabled (true) or disabled (false) count times.
    void WaitForEnable(int id, bool enable, int count = 1);

private:
    void Log(const std::string& event);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::map<int, CControl> m_controls;
    std::map<std::pair<int, bool>, int> m_enables;
};

}  // namespace worker_test
