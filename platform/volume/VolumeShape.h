// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

struct stat;

namespace platform {

// Why the block device must never be written as one volume, for a message: it is a whole
// disk that holds partitions (their nodes are named, or the partition table's kind where
// the kernel lists none), or the container of an extended partition, which holds the
// chain of the logical ones. Nothing for any other device and for an image file, which
// stands for a partition whatever it holds.
std::optional<std::string> WholeDiskRefusal(const struct stat& opened);

// The same for what path names now (links followed); nothing when it does not exist.
std::optional<std::string> WholeDiskRefusal(const std::string& path);

}  // namespace platform
