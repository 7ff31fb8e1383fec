// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-reg: reads and changes the registry store with the syntax of the Windows reg
// command.
#include "tools/reg/RegCommand.h"
#include "tools/reg/RegData.h"
#include "platform/system/StandardOptions.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

using platform::CRegKey;
using platform::RegStatus;

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vantrel-reg query KEY [/v NAME | /ve]\n"
    "  vantrel-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "  vantrel-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  vantrel-reg --help | --version\n"
    "\n"
    "KEY     ROOT\\path; ROOT is HKLM, HKCU or HKCR (or HKEY_LOCAL_MACHINE,\n"
    "        HKEY_CURRENT_USER, HKEY_CLASSES_ROOT). Names ignore case.\n"
    "/v      the value NAME; /ve the key's default (unnamed) value; /va every value\n"
    "        of the key. Without any of them, add creates the key and delete\n"
    "        removes the key with all its sub-keys.\n"
    "/t      REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
    "        REG_BINARY.\n"
    "/d      the data: text; DWORD and QWORD in decimal or 0x hex; REG_BINARY as\n"
    "        hex digits; REG_MULTI_SZ items separated by \\0.\n"
    "/f      delete without asking. add always overwrites an existing value.\n"
    "\n"
    "The store lives in $VANTREL_SYSTEM_ROOT when that is set, else in\n"
    "/var/lib/vantrel/hklm.db and ~/.config/vantrel/hkcu.db. Errors go to stderr with\n"
    "exit code 1; nothing is changed then.\n";

int Fail(const std::string& message)
{
    std::cerr << "ERROR: " << message << "\n";
    return 1;
}

// The failure of an operation on the store of root.
int FailStatus(RegStatus status, platform::RegRoot root)
{
    switch (status) {
    case RegStatus::NotFound:
        return Fail("The system was unable to find the specified registry key or value.");
    case RegStatus::AccessDenied:
        return Fail("Access is denied.");
    default:
        if (std::optional<std::string> problem = platform::StoreReadProblem(root))
            return Fail("the store cannot be read: " + *problem);
        return Fail("The registry store could not be read or written.");
    }
}

int Succeed()
{
    std::cout << "The operation completed successfully.\n";
    return 0;
}

std::string ShownName(const std::string& name)
{
    return name.empty() ? "(Default)" : name;
}

RegStatus PrintValue(const CRegKey& key, const std::string& name)
{
    platform::RegValue value;
    RegStatus status = key.Query(name, value);
    if (status == RegStatus::Ok)
        std::cout << "    " << ShownName(name) << "    " << RegTypeName(value.type) << "    "
                  << FormatRegData(value.type, value.data) << "\n";
    return status;
}

int Query(const RegCommand& command)
{
    CRegKey key;
    RegStatus status = CRegKey::Open(command.root, command.path, platform::RegAccess::Read, key);
    if (status != RegStatus::Ok)
        return FailStatus(status, command.root);
    // Read everything before printing, so a failure prints nothing but the error.
    std::vector<std::string> values;
    std::vector<std::string> subKeys;
    std::string name;
    for (std::uint32_t i = 0; (status = key.EnumValue(i, name)) == RegStatus::Ok; ++i)
        values.push_back(name);
    if (status != RegStatus::NoMoreItems)
        return FailStatus(status, command.root);
    for (std::uint32_t i = 0; (status = key.EnumSubKey(i, name)) == RegStatus::Ok; ++i)
        subKeys.push_back(name);
    if (status != RegStatus::NoMoreItems)
        return FailStatus(status, command.root);
    if (command.valueName) {
        platform::RegValue value;
        if ((status = key.Query(*command.valueName, value)) != RegStatus::Ok)
            return FailStatus(status, command.root);
        values = {*command.valueName};
        subKeys.clear();
    }

    std::cout << command.displayKey << "\n";
    for (const std::string& value : values) {
        if ((status = PrintValue(key, value)) != RegStatus::Ok)
            return FailStatus(status, command.root);
    }
    if (!subKeys.empty())
        std::cout << "\n";
    for (const std::string& subKey : subKeys)
        std::cout << command.displayKey << "\\" << subKey << "\n";
    return 0;
}

int Add(const RegCommand& command)
{
    CRegKey key;
    RegStatus status = CRegKey::Create(command.root, command.path, key);
    if (status == RegStatus::Ok && command.valueName)
        status = key.Set(*command.valueName, command.type, command.data);
    return status == RegStatus::Ok ? Succeed() : FailStatus(status, command.root);
}

bool Confirm(const std::string& question)
{
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cout << "\n";
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

RegStatus DeleteAllValues(CRegKey& key)
{
    std::string name;
    RegStatus status;
    while ((status = key.EnumValue(0, name)) == RegStatus::Ok) {
        if ((status = key.DeleteValue(name)) != RegStatus::Ok)
            return status;
    }
    return status == RegStatus::NoMoreItems ? RegStatus::Ok : status;
}

int Delete(const RegCommand& command)
{
    CRegKey key;
    RegStatus status = CRegKey::Open(command.root, command.path, platform::RegAccess::Full, key);
    if (status == RegStatus::Ok && command.valueName) {
        platform::RegValue value;
        status = key.Query(*command.valueName, value);
    }
    if (status != RegStatus::Ok)
        return FailStatus(status, command.root);

    std::string question = command.valueName ? "Delete the registry value " + ShownName(*command.valueName)
                           : command.allValues ? "Delete all values under the registry key " + command.displayKey
                                               : "Permanently delete the registry key " + command.displayKey;
    if (!command.force && !Confirm(question)) {
        std::cerr << "The operation was cancelled; nothing was deleted.\n";
        return 1;
    }
    if (command.valueName)
        status = key.DeleteValue(*command.valueName);
    else if (command.allValues)
        status = DeleteAllValues(key);
    else
        status = CRegKey::DeleteTree(command.root, command.path);
    return status == RegStatus::Ok ? Succeed() : FailStatus(status, command.root);
}

}  // namespace

int main(int argc, char** argv)
{
    if (platform::AnsweredStandardOption(argc, argv, "vantrel-reg", kUsage))
        return 0;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "/?" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    RegCommand command;
    std::string error;
    if (!ParseRegCommand(args, command, error))
        return Fail(error);
    switch (command.operation) {
    case RegOperation::Query:
        return Query(command);
    case RegOperation::Add:
        return Add(command);
    case RegOperation::Delete:
        return Delete(command);
    }
    return 1;
}
