// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/RegistryStore.h"

#include <optional>
#include <string>
#include <vector>

// A vantrel-reg command line, checked but not yet carried out.
enum class RegOperation { Query, Add, Delete };

struct RegCommand {
    RegOperation operation = RegOperation::Query;
    platform::RegRoot root = platform::RegRoot::LocalMachine;
    // The key as shown: the root's long name and the path as typed.
    std::string displayKey;
    std::string path;
    // /v NAME, or "" for /ve (the default value); none when neither was given.
    std::optional<std::string> valueName;
    bool allValues = false;  // /va
    std::uint32_t type = platform::kRegSz;
    std::vector<unsigned char> data;
    bool force = false;  // /f
};

// Parses the arguments after the program name. False with a one-line message in error
// when they are not a valid command (unknown root, type or option, bad data...).
bool ParseRegCommand(const std::vector<std::string>& args, RegCommand& command, std::string& error);
