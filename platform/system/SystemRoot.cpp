// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/SystemRoot.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> SystemRoot()
{
    const char* root = std::getenv("VANTREL_SYSTEM_ROOT");
    if (root == nullptr || *root == '\0')
        return std::nullopt;
    return std::string(root);
}

std::string MachineFile(const std::string& nameUnderRoot, const std::string& realPath)
{
    if (auto root = SystemRoot())
        return *root + "/" + nameUnderRoot;
    return realPath;
}

}  // namespace platform
