// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"

#include <algorithm>
#include <cctype>

namespace platform {

RegStatus WriteStringValue(CRegKey& key, const std::string& name, const std::string& text)
{
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    return key.Set(name, kRegSz, data);
}

RegStatus WriteDwordValue(CRegKey& key, const std::string& name, std::uint32_t value)
{
    const unsigned char data[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                   static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return key.Set(name, kRegDword, data);
}

RegStatus ReadStringValue(const CRegKey& key, const std::string& name, std::string& text)
{
    RegValue value;
    RegStatus status = key.Query(name, value);
    if (status != RegStatus::Ok)
        return status;
    if (value.type != kRegSz && value.type != kRegExpandSz)
        return RegStatus::NotFound;
    auto end = std::find(value.data.begin(), value.data.end(), 0);
    text.assign(value.data.begin(), end);
    return RegStatus::Ok;
}

bool ParseRegRoot(const std::string& text, RegRoot& root)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (upper == "HKLM" || upper == "HKEY_LOCAL_MACHINE")
        root = RegRoot::LocalMachine;
    else if (upper == "HKCU" || upper == "HKEY_CURRENT_USER")
        root = RegRoot::CurrentUser;
    else if (upper == "HKCR" || upper == "HKEY_CLASSES_ROOT")
        root = RegRoot::ClassesRoot;
    else
        return false;
    return true;
}

}  // namespace platform
