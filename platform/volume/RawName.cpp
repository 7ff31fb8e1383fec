// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/RawVolume.h"

#include <cctype>
#include <string_view>

namespace platform {

namespace {

constexpr std::string_view kRawPrefix = "\\\\.\\";

}  // namespace

std::string RawVolumeName(const std::string& drive)
{
    return std::string(kRawPrefix) + drive;
}

std::optional<char> RawVolumeLetter(const std::string& rawName)
{
    std::string_view prefix = kRawPrefix;
    if (rawName.size() != prefix.size() + 2 || rawName.compare(0, prefix.size(), prefix) != 0 ||
        rawName.back() != ':')
        return std::nullopt;
    unsigned char letter = static_cast<unsigned char>(rawName[prefix.size()]);
    if (!std::isalpha(letter))
        return std::nullopt;
    return static_cast<char>(std::toupper(letter));
}

}  // namespace platform
