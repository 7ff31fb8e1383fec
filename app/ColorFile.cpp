// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ColorFile.h"

#include "platform/files/TextFiles.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstdint>

namespace {

// atoi without its undefined overflow: a number past the range of int is clamped to it.
int AsciiToInt(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    value = negative ? -value : value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

std::uint8_t LowByte(int value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

CDialogColours ParseColorLine(const std::string& line)
{
    std::array<int, 6> values{220, 220, 210, 0, 0, 0};
    std::size_t field = 0;
    std::string text;
    auto store = [&] {
        if (field < values.size())
            values[field] = AsciiToInt(text);
        ++field;
        text.clear();
    };
    for (char c : line) {
        if (c == ',')
            store();
        else
            text += c;
    }
    store();
    return {{LowByte(values[0]), LowByte(values[1]), LowByte(values[2])},
            {LowByte(values[3]), LowByte(values[4]), LowByte(values[5])}};
}

CDialogColours ReadColorFile(const std::string& installFolder)
{
    std::optional<std::string> line = platform::ReadFirstLine(installFolder + "color.txt");
    return line ? ParseColorLine(*line) : CDialogColours{};
}
