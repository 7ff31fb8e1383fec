// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace platform {

// The programs, other than this one, that hold the block device or file at path open
// (links followed), as "fsck.ext4 (process 1234)", from their open files in /proc; those
// this process may not look into are not seen. For telling who keeps a volume busy when
// nothing mounts or stacks on it.
std::vector<std::string> ProcessesHolding(const std::string& path);

}  // namespace platform
