// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

// The progress of a clone as a person follows it: how much of the whole is done, how fast
// it goes now and how long the rest will take. The rate is that of the last few seconds,
// so a disk that slows down (or a run of bad sectors) shows in the time left soon. It is
// told at most every kInterval, a few times a second: more would only cost the copy time.
class CProgressMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{250};

    // A new phase that moves totalBytes (0 when unknown), beginning at now.
    void Start(std::uint64_t totalBytes, Clock::time_point now);
    // doneBytes of the total are done at now. True when the display is due: the first
    // time, and then when kInterval has passed since it was last told.
    bool Update(std::uint64_t doneBytes, Clock::time_point now);

    // How far the phase is, out of kProgressRange; never full before the whole is done.
    int Position() const;
    // "Copying: 45 %, 12.8 MiB/s, 0:12 left" for what is "Copying"; rate and time left
    // once a second has passed.
    std::string Text(const std::string& what) const;
    // The phase once it is over: "Copying: 100 %, 64.0 MiB in 0:05, 12.8 MiB/s".
    std::string DoneText(const std::string& what, Clock::time_point now) const;

private:
    struct CSample {
        Clock::time_point time;
        std::uint64_t bytes;
    };

    // Bytes a second over the samples kept; 0 before there is a second to measure.
    double Rate() const;

    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
    Clock::time_point m_start{};
    Clock::time_point m_lastTold{};
    bool m_told = false;
    std::deque<CSample> m_samples;  // the last few seconds, oldest first
};
