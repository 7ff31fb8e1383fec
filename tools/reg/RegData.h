// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Value types by name and value data to and from the text of the command line.

// The type named name ("REG_SZ", any case); none for an unknown name.
std::optional<std::uint32_t> ParseRegType(const std::string& name);
// "REG_SZ" for 1...; "REG_TYPE_n" for a type without a name.
std::string RegTypeName(std::uint32_t type);

// The stored form of text as a value of type: strings get their terminator, DWORD and
// QWORD take decimal or 0x hex, REG_BINARY hex digits, REG_MULTI_SZ items split at "\0".
// False with a one-line message when text does not fit the type.
bool ParseRegData(std::uint32_t type, const std::string& text, std::vector<unsigned char>& data, std::string& error);
// data as query shows it: text, 0x hex numbers, hex bytes.
std::string FormatRegData(std::uint32_t type, const std::vector<unsigned char>& data);
