// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/BlockDevices.h"

#include <map>
#include <string>
#include <vector>

// The stable names udev gives block devices: links under <devDir>/disk/by-*.
namespace platform {

class CDeviceLinks {
public:
    explicit CDeviceLinks(const std::string& devDir);

    // The name of device that survives a reboot and a change of disk order: a partition
    // by its partition-table entry (by-partuuid), then by id or by port; a disk by id or
    // by port; the kernel name when udev gave none.
    std::string StableName(const CBlockDevice& device) const;

private:
    std::string m_devDir;
    // kernel name -> folder ("by-id") -> link paths, sorted
    std::map<std::string, std::map<std::string, std::vector<std::string>>> m_links;
};

}  // namespace platform
