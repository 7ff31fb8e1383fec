// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// The clone report and drive report files, and the number formats they and the screen use.

// Deletes path when it can be opened for reading and writing; otherwise leaves it alone.
void RemoveIfExists(const std::string& path);

// Appends text and a line feed to path, creating it when missing. Errors are dropped: a
// report that cannot be written never stops a clone.
void AppendReportLine(const std::string& path, const std::string& text);

// "20971520" -> "20,971,520": a "," before every third character from the right.
std::string AddThousandsSeparators(const std::string& digits);

// An unsigned 64-bit number as plain decimal digits, the report's format.
std::string FormatBytes(std::uint64_t value);
