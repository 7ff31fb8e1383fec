// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RecordingControls.h"

#include "worker/CloneDlgControls.h"

namespace worker_test {

std::string EnableEvent(int id, bool enable)
{
    return "enable " + std::to_string(id) + " " + std::to_string(enable);
}

std::string TextEvent(int id, const std::string& text)
{
    return "text " + std::to_string(id) + " " + text;
}

std::string MoveEvent(int id, int x, int y, int width, int height, bool repaint)
{
    return "move " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(repaint);
}

std::string ProgressEvent(int id, int position)
{
    return "progress " + std::to_string(id) + " " + std::to_string(position);
}

CRecordingControls::CRecordingControls()
{
    platform::SetMessageBoxService(this);
}

CRecordingControls::~CRecordingControls()
{
    platform::SetMessageBoxService(nullptr);
}

void CRecordingControls::Log(const std::string& event)
{
    m_events.push_back(event);
    m_changed.notify_all();
}

void CRecordingControls::EnableControl(int id, bool enable)
{
    std::lock_guard lock(m_mutex);
    m_controls[id].enabled = enable;
    ++m_enables[{id, enable}];
    Log(EnableEvent(id, enable));
}

void CRecordingControls::SetControlText(int id, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_controls[id].text = text;
    Log(TextEvent(id, text));
}

std::string CRecordingControls::ControlText(int id)
{
    std::lock_guard lock(m_mutex);
    return m_controls[id].text;
}

void CRecordingControls::MoveControl(int id, int x, int y, int width, int height, bool repaint)
{
    std::lock_guard lock(m_mutex);
    CControl& control = m_controls[id];
    control.x = x;
    control.y = y;
    control.width = width;
    control.height = height;
    Log(MoveEvent(id, x, y, width, height, repaint));
}

void CRecordingControls::SetProgress(int id, int position)
{
    std::lock_guard lock(m_mutex);
    m_controls[id].progress = position;
    Log(ProgressEvent(id, position));
}

// A question whose safe answer is No gets No; any other box is acknowledged.
int CRecordingControls::Show(const std::string& text, platform::MbButtons buttons)
{
    std::lock_guard lock(m_mutex);
    Log("box " + text);
    return buttons == platform::MbButtons::YesNo ? platform::IDNO : platform::IDOK;
}

std::vector<std::string> CRecordingControls::Events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

void CRecordingControls::ClearEvents()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

CRecordingControls::CControl CRecordingControls::Control(int id) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_controls.find(id);
    return found == m_controls.end() ? CControl() : found->second;
}

std::string CRecordingControls::GlyphText() const
{
    std::lock_guard lock(m_mutex);
    std::string text;
    for (int id = clonedlg::kFirstGlyph; id < clonedlg::kFirstGlyph + clonedlg::kGlyphCount; ++id) {
        auto found = m_controls.find(id);
        if (found == m_controls.end() || found->second.text.empty())
            break;
        text += found->second.text;
    }
    return text;
}

void CRecordingControls::WaitForEnable(int id, bool enable, int count)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_enables[{id, enable}] >= count; });
}

}  // namespace worker_test
