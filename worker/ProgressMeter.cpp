// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/ProgressMeter.h"

#include "clone/HumanUnits.h"
#include "platform/ui/Controls.h"

#include <algorithm>
#include <cmath>

namespace {

// The rate is measured over about this long.
constexpr std::chrono::seconds kRateWindow{5};
// No rate (and no time left) is told before this much has been measured.
constexpr std::chrono::seconds kFirstRate{1};
// A longer time left comes of a stall or a crawl, not of a pace to plan by: it is not told.
constexpr std::chrono::hours kLongestTimeLeft{24 * 100};

std::chrono::milliseconds Since(CProgressMeter::Clock::time_point start, CProgressMeter::Clock::time_point now)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
}

}  // namespace

void CProgressMeter::Start(std::uint64_t totalBytes, Clock::time_point now)
{
    m_total = totalBytes;
    m_done = 0;
    m_start = now;
    m_told = false;
    m_samples.assign(1, CSample{now, 0});
}

bool CProgressMeter::Update(std::uint64_t doneBytes, Clock::time_point now)
{
    m_done = doneBytes;
    if (m_told && now - m_lastTold < kInterval)
        return false;
    m_told = true;
    m_lastTold = now;
    m_samples.push_back({now, doneBytes});
    // One sample older than the window stays, as the start of the window.
    while (m_samples.size() > 2 && now - m_samples[1].time >= kRateWindow)
        m_samples.pop_front();
    return true;
}

int CProgressMeter::Position() const
{
    if (m_total == 0)
        return 0;
    if (m_done >= m_total)
        return platform::kProgressRange;
    // Rounded down: full only once the whole is done.
    return static_cast<int>(static_cast<double>(m_done) / static_cast<double>(m_total) * platform::kProgressRange);
}

double CProgressMeter::Rate() const
{
    const CSample& first = m_samples.front();
    const CSample& last = m_samples.back();
    if (last.time - m_start < kFirstRate || last.time <= first.time)
        return 0;
    return static_cast<double>(last.bytes - first.bytes) / std::chrono::duration<double>(last.time - first.time).count();
}

std::string CProgressMeter::Text(const std::string& what) const
{
    std::string text = what + ": " + std::to_string(Position() / (platform::kProgressRange / 100)) + " %";
    const double rate = Rate();
    if (rate <= 0)
        return text;
    text += ", " + RateText(static_cast<std::uint64_t>(rate), std::chrono::seconds(1));
    // In floating point until it is known to fit: a crawl on a huge partition would
    // overflow any count of seconds.
    const double left = std::ceil(static_cast<double>(m_total - std::min(m_done, m_total)) / rate);
    if (m_total > m_done && left <= std::chrono::duration<double>(kLongestTimeLeft).count())
        text += ", " + DurationText(std::chrono::seconds(static_cast<long long>(left))) + " left";
    return text;
}

std::string CProgressMeter::DoneText(const std::string& what, Clock::time_point now) const
{
    const std::chrono::milliseconds taken = Since(m_start, now);
    return what + ": 100 %, " + BinarySizeText(m_done) + " in " +
           DurationText(std::chrono::duration_cast<std::chrono::seconds>(taken)) + ", " + RateText(m_done, taken);
}
