// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/ThrottledControls.h"

CThrottledControls::CThrottledControls(platform::IControlHost& target,
                                       std::chrono::steady_clock::duration interval)
    : m_target(target), m_interval(interval), m_lastDelivery(std::chrono::steady_clock::now())
{
}

void CThrottledControls::EnableControl(int id, bool enable)
{
    Deliver();
    m_target.EnableControl(id, enable);
}

void CThrottledControls::SetControlText(int id, const std::string& text)
{
    CControl& control = m_controls[id];
    control.text = text;
    control.textHeld = true;
    m_held = true;
}

std::string CThrottledControls::ControlText(int id)
{
    CControl& control = m_controls[id];
    if (!control.text)
        control.text = m_target.ControlText(id);
    return *control.text;
}

void CThrottledControls::MoveControl(int id, int x, int y, int width, int height, bool repaint)
{
    CControl& control = m_controls[id];
    // A repaint asked for by an earlier, undelivered move is still owed.
    bool owed = control.move && control.move->repaint;
    control.move = CGeometry{x, y, width, height, repaint || owed};
    m_held = true;
}

void CThrottledControls::SetProgress(int id, int position)
{
    m_controls[id].progress = position;
    m_held = true;
}

void CThrottledControls::DeliverIfDue()
{
    if (m_held && std::chrono::steady_clock::now() - m_lastDelivery >= m_interval)
        Deliver();
}

void CThrottledControls::Deliver()
{
    if (m_held) {
        for (auto& [id, control] : m_controls) {
            if (control.move) {
                const CGeometry& g = *control.move;
                m_target.MoveControl(id, g.x, g.y, g.width, g.height, g.repaint);
                control.move.reset();
            }
            if (control.textHeld) {
                m_target.SetControlText(id, *control.text);
                control.textHeld = false;
            }
            if (control.progress) {
                m_target.SetProgress(id, *control.progress);
                control.progress.reset();
            }
        }
        m_held = false;
    }
    m_lastDelivery = std::chrono::steady_clock::now();
}
