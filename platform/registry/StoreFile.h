// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/RegistryStore.h"
#include "platform/registry/Sqlite.h"

#include <cstdint>
#include <string>
#include <vector>

// The store files behind the root keys and the key tree inside them.
namespace platform::store {

// The root key's own id in every store file.
constexpr std::int64_t kRootKeyId = 0;

// The file holding root and the path of root's top key inside it (HKCR lives in HKLM).
struct StoreLocation {
    std::string file;
    std::string base;
};
StoreLocation LocateStore(RegRoot root);

// Opens the store file. NotFound when it does not exist and create is false (no file is
// made then), or when it is empty and only read; AccessDenied when Full is asked without
// write permission; Failed, with problem as "<file>: <reason>", when the file cannot be
// read or is no registry store. create makes the file, its folder and its tables, and
// Full makes the tables of an empty file; a file that is not empty never gets them.
RegStatus OpenStore(const std::string& file, RegAccess access, bool create, sqlite::Database& db,
                    std::string& problem);
RegStatus OpenStore(const std::string& file, RegAccess access, bool create, sqlite::Database& db);

// The names along base\path, leaving out empty ones (doubled or outer backslashes).
std::vector<std::string> SplitKeyPath(const std::string& base, const std::string& path);

// Follows names from the root key; NotFound when one of them is missing.
RegStatus FindKey(sqlite3* db, const std::vector<std::string>& names, std::int64_t& id);
// Follows names from the root key, adding the missing ones; inside a write transaction.
RegStatus MakeKey(sqlite3* db, const std::vector<std::string>& names, std::int64_t& id);
// False once the key has been deleted.
bool KeyExists(sqlite3* db, std::int64_t id);

// Runs change(db) in a write transaction, committed only when change returns Ok.
template <class Change>
RegStatus InWriteTransaction(sqlite3* db, Change change)
{
    sqlite::CWriteTransaction transaction(db);
    if (!transaction.IsOpen())
        return RegStatus::Failed;
    RegStatus status = change(db);
    if (status != RegStatus::Ok)
        return status;
    return transaction.Commit() ? RegStatus::Ok : RegStatus::Failed;
}

}  // namespace platform::store
