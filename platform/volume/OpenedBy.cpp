// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/OpenedBy.h"

#include "platform/files/TextFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool SameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISBLK(a.st_mode))
        return S_ISBLK(b.st_mode) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool HoldsOpen(const fs::path& fdFolder, const struct stat& wanted)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fdFolder, ec)) {
        struct stat open {};
        if (::stat(entry.path().c_str(), &open) == 0 && SameFile(wanted, open))
            return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> ProcessesHolding(const std::string& path)
{
    std::vector<std::string> holders;
    struct stat wanted {};
    if (::stat(path.c_str(), &wanted) != 0)
        return holders;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])) || pid == self)
            continue;
        if (!HoldsOpen(process.path() / "fd", wanted))
            continue;
        std::string name = ReadFirstLine((process.path() / "comm").string()).value_or("");
        holders.push_back((name.empty() ? "a program" : name) + " (process " + pid + ")");
    }
    return holders;
}

}  // namespace platform
