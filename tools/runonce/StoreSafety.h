// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// Whatever the RunOnce list names runs as root at boot, so the store holding it must be
// one that only root can have written: the file, its write-ahead log (-wal, -shm) and its
// folder (where the file could be swapped) owned by root and writable by no group and no
// other user.

// Why the store file must not be trusted, as one line of text; nothing when it is safe.
// A missing store is safe (it holds nothing to run).
std::optional<std::string> StoreIsUnsafe(const std::string& storeFile);
