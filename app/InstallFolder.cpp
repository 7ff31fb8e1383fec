#include "app/InstallFolder.h"

#include "settings/Registry.h"
#include "settings/Settings.h"

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

}  // namespace

bool GetInstallFolder(std::string& installFolder)
{
    CRegistry registry;
    if (!registry.Open(platform::RegRoot::LocalMachine, kVantrelKey))
        return false;
    std::string path;
    registry.ReadString("Path", path);  // a missing value reads as "null"
    if (path.empty() || path == "null")
        return false;
    // The separator goes on before trimming, so white space before it stays in the name.
    if (path.back() != '/')
        path += '/';
    installFolder = Trimmed(path);
    return true;
}
