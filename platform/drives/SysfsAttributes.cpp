// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/SysfsAttributes.h"

#include <cctype>
#include <charconv>
#include <fstream>

namespace platform {

std::string ReadSysfsText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::uint64_t ReadSysfsNumber(const std::filesystem::path& path)
{
    std::string text = ReadSysfsText(path);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::optional<std::pair<unsigned, unsigned>> ParseDeviceNumber(const std::string& text)
{
    unsigned major = 0, minor = 0;
    const char* end = text.data() + text.size();
    auto first = std::from_chars(text.data(), end, major);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ':')
        return std::nullopt;
    auto second = std::from_chars(first.ptr + 1, end, minor);
    if (second.ec != std::errc() || second.ptr != end)
        return std::nullopt;
    return std::pair{major, minor};
}

std::string DeviceNumberText(unsigned major, unsigned minor)
{
    return std::to_string(major) + ":" + std::to_string(minor);
}

std::optional<std::filesystem::path> BlockDeviceFolder(const std::string& sysfsRoot, unsigned major, unsigned minor)
{
    std::error_code ec;
    std::filesystem::path folder =
        std::filesystem::canonical(std::filesystem::path(sysfsRoot) / "dev" / "block" / DeviceNumberText(major, minor), ec);
    if (ec)
        return std::nullopt;
    return folder;
}

}  // namespace platform
