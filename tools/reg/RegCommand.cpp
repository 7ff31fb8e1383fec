// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/reg/RegCommand.h"

#include "tools/reg/RegData.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

const char* LongRootName(platform::RegRoot root)
{
    switch (root) {
    case platform::RegRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case platform::RegRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case platform::RegRoot::LocalMachine:
        break;
    }
    return "HKEY_LOCAL_MACHINE";
}

bool ParseKey(const std::string& key, RegCommand& command, std::string& error)
{
    std::size_t slash = key.find('\\');
    std::string rootName = key.substr(0, slash);
    if (!platform::ParseRegRoot(rootName, command.root)) {
        error = "unknown root key '" + rootName + "' (use HKLM, HKCU or HKCR)";
        return false;
    }
    command.path = slash == std::string::npos ? std::string() : key.substr(slash + 1);
    command.displayKey = LongRootName(command.root);
    if (!command.path.empty())
        command.displayKey += "\\" + command.path;
    return true;
}

// The options each operation accepts.
bool Accepts(RegOperation operation, const std::string& option)
{
    if (option == "/V" || option == "/VE")
        return true;
    switch (operation) {
    case RegOperation::Query:
        return false;
    case RegOperation::Add:
        return option == "/T" || option == "/D" || option == "/F";
    case RegOperation::Delete:
        return option == "/VA" || option == "/F";
    }
    return false;
}

}  // namespace

bool ParseRegCommand(const std::vector<std::string>& args, RegCommand& command, std::string& error)
{
    command = RegCommand();
    if (args.size() < 2) {
        error = "give an operation and a key: query|add|delete KEY [options] (see vantrel-reg /?)";
        return false;
    }
    std::string operation = Upper(args[0]);
    if (operation == "QUERY")
        command.operation = RegOperation::Query;
    else if (operation == "ADD")
        command.operation = RegOperation::Add;
    else if (operation == "DELETE")
        command.operation = RegOperation::Delete;
    else {
        error = "unknown operation '" + args[0] + "' (use query, add or delete)";
        return false;
    }
    if (!ParseKey(args[1], command, error))
        return false;

    std::vector<std::string> seen;
    std::optional<std::string> typeName;
    std::optional<std::string> dataText;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::string option = Upper(args[i]);
        if (!option.empty() && option[0] == '-')
            option[0] = '/';
        if (!Accepts(command.operation, option)) {
            error = "unknown option '" + args[i] + "' for " + Upper(args[0]);
            return false;
        }
        if (std::find(seen.begin(), seen.end(), option) != seen.end()) {
            error = "option " + option + " given twice";
            return false;
        }
        seen.push_back(option);
        bool takesArgument = option == "/V" || option == "/T" || option == "/D";
        if (takesArgument && i + 1 >= args.size()) {
            error = "option " + option + " needs an argument";
            return false;
        }
        if (option == "/V")
            command.valueName = args[++i];
        else if (option == "/VE")
            command.valueName = std::string();
        else if (option == "/VA")
            command.allValues = true;
        else if (option == "/T")
            typeName = args[++i];
        else if (option == "/D")
            dataText = args[++i];
        else if (option == "/F")
            command.force = true;
    }

    auto valueChoices = std::count(seen.begin(), seen.end(), "/V") + std::count(seen.begin(), seen.end(), "/VE") +
                        std::count(seen.begin(), seen.end(), "/VA");
    if (valueChoices > 1) {
        error = "give only one of /v, /ve and /va";
        return false;
    }
    if ((typeName || dataText) && !command.valueName) {
        error = "/t and /d need /v NAME or /ve";
        return false;
    }
    if (typeName) {
        std::optional<std::uint32_t> type = ParseRegType(*typeName);
        if (!type) {
            error = "unknown type '" + *typeName +
                    "' (use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD or REG_BINARY)";
            return false;
        }
        command.type = *type;
    }
    if (command.operation == RegOperation::Add && command.valueName) {
        bool number = command.type == platform::kRegDword || command.type == platform::kRegQword;
        if (number && !dataText) {
            error = RegTypeName(command.type) + " needs its number with /d";
            return false;
        }
        if (!ParseRegData(command.type, dataText.value_or(""), command.data, error))
            return false;
    }
    return true;
}
