// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ReportFile.h"

#include "platform/files/TextFiles.h"

#include <algorithm>

void RemoveIfExists(const std::string& path)
{
    platform::RemoveIfOpenable(path);
}

void AppendReportLine(const std::string& path, const std::string& text)
{
    platform::AppendToFile(path, text + "\n");
}

std::string AddThousandsSeparators(const std::string& digits)
{
    std::string reversed(digits.rbegin(), digits.rend());
    std::string grouped;
    grouped.reserve(reversed.size() + reversed.size() / 3);
    for (std::size_t i = 0; i < reversed.size(); ++i) {
        if (i > 0 && i % 3 == 0)
            grouped += ',';
        grouped += reversed[i];
    }
    std::reverse(grouped.begin(), grouped.end());
    return grouped;
}

std::string FormatBytes(std::uint64_t value)
{
    return std::to_string(value);
}
