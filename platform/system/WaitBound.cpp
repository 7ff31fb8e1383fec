// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/WaitBound.h"

#include "platform/system/SystemRoot.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace platform {

std::chrono::milliseconds WaitBound(std::chrono::milliseconds realMachine)
{
    const char* text = std::getenv("VANTREL_WAIT_BOUND_MS");
    if (!SystemRoot() || text == nullptr)
        return realMachine;
    std::string_view digits(text);
    long long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 0)
        return realMachine;
    return std::chrono::milliseconds(value);
}

std::string WaitBoundText(std::chrono::milliseconds bound)
{
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bound).count();
    if (seconds % 60 == 0 && seconds >= 60)
        return std::to_string(seconds / 60) + (seconds == 60 ? " minute" : " minutes");
    if (seconds > 0)
        return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    return std::to_string(bound.count()) + " ms";
}

}  // namespace platform
