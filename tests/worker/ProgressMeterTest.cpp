// SPDX-License-Identifier: GPL-3.0-or-later
#include "worker/ProgressMeter.h"
#include "platform/ui/Controls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = CProgressMeter::Clock;

constexpr std::uint64_t kMiB = 1024 * 1024;

// A meter started at a fixed instant, so that every case tells the time itself.
class ProgressMeter : public testing::Test {
protected:
    void Start(std::uint64_t total)
    {
        m_meter.Start(total, m_start);
        m_meter.Update(0, m_start);
    }
    void At(std::chrono::milliseconds since, std::uint64_t done) { m_meter.Update(done, m_start + since); }

    const Clock::time_point m_start = Clock::time_point{} + 1000h;
    CProgressMeter m_meter;
};

// A partition of no bytes, and more bytes than announced (a source that grew): no
// division by zero, never past 100 %, and 100 % only once the whole is done.
TEST_F(ProgressMeter, PercentageStaysWithinItsBoundsAtEitherEnd)
{
    Start(0);
    EXPECT_EQ(m_meter.Position(), 0);
    EXPECT_EQ(m_meter.Text("Copying"), "Copying: 0 %");
    EXPECT_EQ(m_meter.DoneText("Copying", m_start), "Copying: 100 %, 0 bytes in 0:00, 0 bytes/s");

    Start(1000 * kMiB);
    At(2s, 1000 * kMiB - 512);
    EXPECT_LT(m_meter.Position(), platform::kProgressRange);
    EXPECT_EQ(m_meter.Text("Copying").substr(0, 13), "Copying: 99 %");
    At(3s, 2000 * kMiB);
    EXPECT_EQ(m_meter.Position(), platform::kProgressRange);
    EXPECT_EQ(m_meter.Text("Copying"), "Copying: 100 %, 666.7 MiB/s");
}

// A clone that crawls on a huge partition, or goes on after a long stall, has no time
// left worth telling: none is shown rather than one that wrapped around.
TEST_F(ProgressMeter, NoTimeLeftIsToldForACloneThatWouldNeverEnd)
{
    Start(std::numeric_limits<std::uint64_t>::max());
    At(2s, 2);
    EXPECT_EQ(m_meter.Text("Copying"), "Copying: 0 %, 1 bytes/s");

    Start(100 * kMiB);
    At(1s, 10 * kMiB);
    EXPECT_EQ(m_meter.Text("Copying"), "Copying: 10 %, 10.0 MiB/s, 0:09 left");
    At(1s + 24h * 365, 10 * kMiB + 512);
    EXPECT_EQ(m_meter.Text("Copying"), "Copying: 10 %, 0 bytes/s");
}

}  // namespace
