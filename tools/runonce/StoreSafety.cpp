// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/runonce/StoreSafety.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <filesystem>

namespace {

bool OnlyRootMayWrite(const struct stat& info)
{
    return info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::optional<std::string> StoreIsUnsafe(const std::string& storeFile)
{
    std::filesystem::path folderPath = std::filesystem::path(storeFile).parent_path();
    const std::string folder = folderPath.empty() ? std::string(".") : folderPath.string();
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return folder + ": " + std::strerror(errno);
    }
    if (!OnlyRootMayWrite(info))
        return "the folder " + folder + " must be owned by root and writable by no one else";
    if (stat(storeFile.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return storeFile + ": " + std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode))
        return storeFile + " is not a file";
    if (!OnlyRootMayWrite(info))
        return storeFile + " must be owned by root and writable by no one else";
    // The write-ahead log beside the store holds committed changes too.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string log = storeFile + suffix;
        if (lstat(log.c_str(), &info) != 0) {
            if (errno == ENOENT)
                continue;
            return log + ": " + std::strerror(errno);
        }
        if (!S_ISREG(info.st_mode) || !OnlyRootMayWrite(info))
            return log + " must be a file owned by root and writable by no one else";
    }
    return std::nullopt;
}
