// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/reg/RegData.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/registry/RegistryStore.h"

namespace {

struct TypeName {
    std::uint32_t type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {platform::kRegNone, "REG_NONE"},         {platform::kRegSz, "REG_SZ"},
    {platform::kRegExpandSz, "REG_EXPAND_SZ"}, {platform::kRegBinary, "REG_BINARY"},
    {platform::kRegDword, "REG_DWORD"},       {platform::kRegMultiSz, "REG_MULTI_SZ"},
    {platform::kRegQword, "REG_QWORD"},
};

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Decimal or 0x hex, no sign, within max.
bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& number)
{
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (first == last || !std::isxdigit(static_cast<unsigned char>(*first)))
        return false;
    auto [end, status] = std::from_chars(first, last, number, base);
    return status == std::errc() && end == last && number <= max;
}

void AppendLittleEndian(std::uint64_t number, int bytes, std::vector<unsigned char>& data)
{
    for (int i = 0; i < bytes; ++i)
        data.push_back(static_cast<unsigned char>(number >> (8 * i)));
}

std::string Hex(const std::vector<unsigned char>& data)
{
    std::string text;
    char digits[3];
    for (unsigned char byte : data) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

}  // namespace

std::optional<std::uint32_t> ParseRegType(const std::string& name)
{
    std::string upper = Upper(name);
    for (const TypeName& entry : kTypeNames) {
        if (upper == entry.name && entry.type != platform::kRegNone)
            return entry.type;
    }
    return std::nullopt;
}

std::string RegTypeName(std::uint32_t type)
{
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type)
            return entry.name;
    }
    return "REG_TYPE_" + std::to_string(type);
}

bool ParseRegData(std::uint32_t type, const std::string& text, std::vector<unsigned char>& data, std::string& error)
{
    data.clear();
    switch (type) {
    case platform::kRegDword:
    case platform::kRegQword: {
        bool dword = type == platform::kRegDword;
        std::uint64_t number = 0;
        if (!ParseNumber(text, dword ? 0xFFFFFFFFull : ~0ull, number)) {
            error = "'" + text + "' is not a " + (dword ? "32" : "64") + "-bit number (decimal or 0x hex)";
            return false;
        }
        AppendLittleEndian(number, dword ? 4 : 8, data);
        return true;
    }
    case platform::kRegBinary:
        if (text.size() % 2 != 0 ||
            !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) {
            error = "'" + text + "' is not binary data (an even number of hex digits)";
            return false;
        }
        for (std::size_t i = 0; i < text.size(); i += 2)
            data.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
        return true;
    case platform::kRegMultiSz:
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\\0", start);
            if (end == std::string::npos)
                end = text.size();
            data.insert(data.end(), text.begin() + static_cast<std::ptrdiff_t>(start),
                        text.begin() + static_cast<std::ptrdiff_t>(end));
            data.push_back(0);
            start = end + 2;
        }
        data.push_back(0);
        return true;
    default:
        data.assign(text.begin(), text.end());
        data.push_back(0);
        return true;
    }
}

std::string FormatRegData(std::uint32_t type, const std::vector<unsigned char>& data)
{
    char number[24];
    switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
        return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
    case platform::kRegDword:
    case platform::kRegQword: {
        if (data.size() != (type == platform::kRegDword ? 4u : 8u))
            break;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < data.size(); ++i)
            value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(value));
        return number;
    }
    case platform::kRegMultiSz: {
        std::string text;
        for (auto item = data.begin(); item != data.end() && *item != 0;) {
            auto end = std::find(item, data.end(), 0);
            if (!text.empty())
                text += "\\0";
            text.append(item, end);
            item = end == data.end() ? end : end + 1;
        }
        return text;
    }
    default:
        break;
    }
    return Hex(data);
}
