// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/DeviceLinks.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

CDeviceLinks::CDeviceLinks(const std::string& devDir) : m_devDir(devDir)
{
    std::error_code ec;
    for (const auto& folder : fs::directory_iterator(fs::path(devDir) / "disk", ec)) {
        std::string folderName = folder.path().filename().string();
        for (const auto& link : fs::directory_iterator(folder.path(), ec)) {
            std::error_code linkError;
            fs::path target = fs::read_symlink(link.path(), linkError);
            if (linkError)
                continue;
            std::string kernelName = target.lexically_normal().filename().string();
            m_links[kernelName][folderName].push_back(link.path().string());
        }
    }
    for (auto& [name, folders] : m_links)
        for (auto& [folder, links] : folders)
            std::sort(links.begin(), links.end());
}

std::string CDeviceLinks::StableName(const CBlockDevice& device) const
{
    static const char* const partitionOrder[] = {"by-partuuid", "by-id", "by-path"};
    static const char* const diskOrder[] = {"by-id", "by-path"};
    auto found = m_links.find(device.name);
    if (found != m_links.end()) {
        auto pick = [&](auto& order) -> std::string {
            for (const char* folder : order) {
                auto links = found->second.find(folder);
                if (links != found->second.end() && !links->second.empty())
                    return links->second.front();
            }
            return {};
        };
        std::string name = device.partition != 0 ? pick(partitionOrder) : pick(diskOrder);
        if (!name.empty())
            return name;
    }
    return (fs::path(m_devDir) / device.name).string();
}

}  // namespace platform
