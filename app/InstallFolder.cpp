// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InstallFolder.h"

#include "settings/Registry.h"
#include "settings/Settings.h"

#include <optional>

namespace {

const char* const kWhiteSpace = " \t\r\n";

std::string Trimmed(const std::string& text)
{
    std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::string WhyNotOpened(platform::RegStatus status)
{
    const std::string key = std::string("HKLM\\") + kVantrelKey;
    switch (status) {
    case platform::RegStatus::NotFound:
        return "no install folder: the key " + key + " does not exist";
    case platform::RegStatus::AccessDenied:
        return "the key " + key + " cannot be opened for writing: Vantrel needs write permission on the registry "
               "store, as root has";
    default:
        if (std::optional<std::string> problem = platform::StoreReadProblem(platform::RegRoot::LocalMachine))
            return "the store cannot be read: " + *problem;
        return "no install folder: the registry store could not be read";
    }
}

}  // namespace

bool GetInstallFolder(std::string& installFolder, std::string& whyNot)
{
    CRegistry registry;
    if (!registry.Open(platform::RegRoot::LocalMachine, kVantrelKey)) {
        whyNot = WhyNotOpened(registry.LastOpenStatus());
        return false;
    }
    std::string path;
    registry.ReadString("Path", path);  // a missing value reads as "null"
    if (path.empty() || path == "null") {
        whyNot = std::string("no install folder: the value Path of HKLM\\") + kVantrelKey + " is missing or empty";
        return false;
    }
    // The separator goes on before trimming, so white space before it stays in the name.
    if (path.back() != '/')
        path += '/';
    installFolder = Trimmed(path);
    return true;
}

bool GetInstallFolder(std::string& installFolder)
{
    std::string whyNot;
    return GetInstallFolder(installFolder, whyNot);
}
