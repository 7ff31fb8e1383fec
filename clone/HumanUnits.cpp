// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/HumanUnits.h"

#include <array>
#include <cstdio>

namespace {

// value / 1024^unit with one decimal, rounded to the nearest tenth in integers, so that
// no size up to 16 EiB loses a digit to floating point.
std::string Scaled(std::uint64_t value, int unit, const char* name)
{
    const std::uint64_t divisor = std::uint64_t{1} << (10 * unit);
    std::uint64_t whole = value / divisor;
    std::uint64_t tenths = ((value % divisor) * 10 + divisor / 2) / divisor;
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    return std::to_string(whole) + "." + std::to_string(tenths) + " " + name;
}

}  // namespace

std::string BinarySizeText(std::uint64_t bytes)
{
    static constexpr std::array<const char*, 7> kUnits{"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    int unit = 1;
    // The next unit once the rounded figure would read 1024.0 of this one.
    while (unit + 1 < static_cast<int>(kUnits.size()) && bytes >= (std::uint64_t{1} << (10 * unit)) * 1024 -
                                                                       (std::uint64_t{1} << (10 * unit)) / 20)
        ++unit;
    return Scaled(bytes, unit, kUnits[static_cast<std::size_t>(unit)]);
}

std::string DurationText(std::chrono::seconds duration)
{
    const long long total = duration.count() < 0 ? 0 : duration.count();
    const long long hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, seconds);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, seconds);
    return text;
}

std::string RateText(std::uint64_t bytes, std::chrono::milliseconds duration)
{
    if (duration.count() <= 0)
        return "0 bytes/s";
    const auto milliseconds = static_cast<std::uint64_t>(duration.count());
    // In two steps, so that no count of bytes overflows on its way to a rate.
    const std::uint64_t perSecond = bytes / milliseconds * 1000 + bytes % milliseconds * 1000 / milliseconds;
    return BinarySizeText(perSecond) + "/s";
}

std::string TimeTakenText(std::uint64_t bytes, std::chrono::milliseconds duration,
                          std::optional<std::chrono::milliseconds> verifyDuration)
{
    std::string text = "Time taken: " + DurationText(std::chrono::duration_cast<std::chrono::seconds>(duration)) +
                       ", at " + RateText(bytes, duration) + " on average.";
    if (verifyDuration)
        text += "  The verification took " +
                DurationText(std::chrono::duration_cast<std::chrono::seconds>(*verifyDuration)) + ".";
    return text;
}
