// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Sizes, rates and durations as a person reads them, beside the exact byte counts the
// programs show: binary units with one decimal ("64.0 GiB"), as the disk tools of Linux
// give them.

// "512 bytes", "1.0 KiB", "64.0 GiB", "1.5 TiB".
std::string BinarySizeText(std::uint64_t bytes);

// "0:05", "12:34", "1:02:03": minutes and seconds, with hours in front when there are any.
std::string DurationText(std::chrono::seconds duration);

// bytes moved in duration as "12.8 MiB/s"; "0 bytes/s" for no time at all.
std::string RateText(std::uint64_t bytes, std::chrono::milliseconds duration);

// What the end of a clone adds to its message: "Time taken: 0:05, at 12.8 MiB/s on average."
// for bytes copied in duration; a verification that followed adds "  The verification took 0:03."
std::string TimeTakenText(std::uint64_t bytes, std::chrono::milliseconds duration,
                          std::optional<std::chrono::milliseconds> verifyDuration = std::nullopt);
