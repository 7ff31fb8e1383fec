// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// The mounted file systems, read from a mountinfo file with libmount.
namespace platform {

struct CMount {
    std::string devno;   // "8:1" as the kernel reports it (0:N for virtual and network ones)
    std::string source;  // "/dev/sda1", "server:/export"
    std::string target;  // the mount point
    bool network = false;
    bool readOnly = false;  // mounted read-only, or its file system is
};

// The mounts in the order they were made; empty when the file cannot be read.
std::vector<CMount> ReadMounts(const std::string& mountInfoPath);

}  // namespace platform
