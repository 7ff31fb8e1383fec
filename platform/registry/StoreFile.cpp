// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/StoreFile.h"

#include "platform/system/SystemRoot.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace platform::store {
namespace {

// Two processes may write at once; the second one waits this long for the first.
constexpr int kBusyTimeoutMs = 30000;

// Ids are never reused (AUTOINCREMENT), so a handle to a deleted key never reaches a
// newer key; the root key (id 0) has no row. NOCASE folds ASCII letters only.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, name));";

std::string UserConfigFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return config;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.config";
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
        return std::string(user->pw_dir) + "/.config";
    return "/tmp";
}

// What an opened file holds.
enum class Content { Registry, Empty, Foreign, Unreadable };

// Reads the file's schema; reason says why when it cannot be read.
Content Inspect(sqlite3* db, std::string& reason)
{
    sqlite::CStatement tables(db, "SELECT name FROM sqlite_master WHERE type = 'table'");
    bool keys = false, values = false, any = false;
    int status = SQLITE_ERROR;
    while (tables.IsValid() && (status = tables.Step()) == SQLITE_ROW) {
        std::string name = tables.Text(0);
        keys = keys || name == "reg_keys";
        values = values || name == "reg_values";
        any = true;
    }
    if (status != SQLITE_DONE) {
        int error = sqlite3_extended_errcode(db);
        if (error == SQLITE_READONLY_ROLLBACK)
            reason = "a change was cut short, and only a user who may write the store can roll it back";
        else if ((error & 0xFF) == SQLITE_READONLY || (error & 0xFF) == SQLITE_CANTOPEN)
            reason = "its write-ahead log (-wal and -shm beside it) is missing or unreadable, and only a user who "
                     "may write the store can make it";
        else
            reason = sqlite3_errmsg(db);
        return Content::Unreadable;
    }
    if (keys && values)
        return Content::Registry;
    return any ? Content::Foreign : Content::Empty;
}

bool MakeTables(sqlite3* db)
{
    sqlite::CWriteTransaction transaction(db);
    return transaction.IsOpen() && sqlite::Execute(db, kSchema) && transaction.Commit();
}

// Readers never wait for a writer and a writer killed mid-change leaves nothing to roll
// back in the store (its uncommitted log frames are ignored), so a reader without write
// permission still reads the last committed state. A store still in rollback mode changes
// over here (when that fails it simply stays in rollback mode until the next writer).
void UseWriteAheadLog(sqlite3* db)
{
    {
        // Finished before the change: an unfinished statement keeps its read open.
        sqlite::CStatement mode(db, "PRAGMA journal_mode");
        if (mode.Step() == SQLITE_ROW && mode.Text(0) == "wal")
            return;
    }
    sqlite::Execute(db, "PRAGMA journal_mode = WAL");
}

// The log and its index stay when the last connection closes: a reader without write
// permission on the folder can open a store in WAL mode only when both are there.
void KeepLogFiles(sqlite3* db)
{
    int keep = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
}

// Write permission on the file's folder, where the log files go, for the effective
// user: root passes, as an administrator does.
bool CanWriteFolder(const std::string& file)
{
    std::string folder = std::filesystem::path(file).parent_path().string();
    return faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool CanWrite(const std::string& file)
{
    return faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 && CanWriteFolder(file);
}

}  // namespace

StoreLocation LocateStore(RegRoot root)
{
    switch (root) {
    case RegRoot::CurrentUser:
        return {MachineFile("hkcu.db", UserConfigFolder() + "/vantrel/hkcu.db"), ""};
    case RegRoot::ClassesRoot:
        return {MachineFile("hklm.db", "/var/lib/vantrel/hklm.db"), "SOFTWARE\\Classes"};
    case RegRoot::LocalMachine:
        break;
    }
    return {MachineFile("hklm.db", "/var/lib/vantrel/hklm.db"), ""};
}

RegStatus OpenStore(const std::string& file, RegAccess access, bool create, sqlite::Database& db)
{
    std::string problem;
    return OpenStore(file, access, create, db, problem);
}

RegStatus OpenStore(const std::string& file, RegAccess access, bool create, sqlite::Database& db,
                    std::string& problem)
{
    db.reset();
    struct stat info {};
    bool exists = stat(file.c_str(), &info) == 0;
    if (!exists && errno == EACCES)
        return RegStatus::AccessDenied;
    if (!exists && !create)
        return RegStatus::NotFound;
    bool mayWrite = true;
    if (!exists) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
        if (error)
            return error == std::errc::permission_denied ? RegStatus::AccessDenied : RegStatus::Failed;
        if (!CanWriteFolder(file))
            return RegStatus::AccessDenied;
    } else if (faccessat(AT_FDCWD, file.c_str(), R_OK, AT_EACCESS) != 0) {
        return RegStatus::AccessDenied;
    } else {
        mayWrite = CanWrite(file);
        if (access == RegAccess::Full && !mayWrite)
            return RegStatus::AccessDenied;
    }

    // A reader that may write opens read-write as well: only such a connection recovers
    // a store that a writer left in the middle of a change.
    int flags = mayWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* handle = nullptr;
    int status = sqlite3_open_v2(file.c_str(), &handle, flags, nullptr);
    db.reset(handle);
    if (status != SQLITE_OK) {
        problem = file + ": " + (handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(status));
        return status == SQLITE_CANTOPEN && !create ? RegStatus::AccessDenied : RegStatus::Failed;
    }
    // SQLite falls back to read-only when the file is write-protected.
    if (access == RegAccess::Full && sqlite3_db_readonly(handle, "main") == 1)
        return RegStatus::AccessDenied;
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    KeepLogFiles(handle);
    // A reader leaves copying the log into the store to the writers (as the log grows and
    // when they close): done by the last connection to close, it syncs both files, and a
    // program that only looks a few values up would wait for that every time.
    if (access == RegAccess::Read)
        sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);

    std::string reason;
    switch (Inspect(handle, reason)) {
    case Content::Registry:
        if (mayWrite)
            UseWriteAheadLog(handle);
        return RegStatus::Ok;
    case Content::Unreadable:
        problem = file + ": " + reason;
        return RegStatus::Failed;
    case Content::Foreign:
        problem = file + ": not a registry store";
        return RegStatus::Failed;
    case Content::Empty:
        break;
    }
    // Only an empty file is a new store: a database of something else never gets the
    // registry's tables.
    if (exists && info.st_size != 0) {
        problem = file + ": not a registry store";
        return RegStatus::Failed;
    }
    if (access == RegAccess::Read && !create)
        return RegStatus::NotFound;
    if (!MakeTables(handle)) {
        problem = file + ": " + sqlite3_errmsg(handle);
        return RegStatus::Failed;
    }
    UseWriteAheadLog(handle);
    return RegStatus::Ok;
}

std::vector<std::string> SplitKeyPath(const std::string& base, const std::string& path)
{
    std::vector<std::string> names;
    for (const std::string* text : {&base, &path}) {
        std::size_t start = 0;
        while (start <= text->size()) {
            std::size_t end = text->find('\\', start);
            if (end == std::string::npos)
                end = text->size();
            if (end > start)
                names.push_back(text->substr(start, end - start));
            start = end + 1;
        }
    }
    return names;
}

RegStatus FindKey(sqlite3* db, const std::vector<std::string>& names, std::int64_t& id)
{
    id = kRootKeyId;
    for (const std::string& name : names) {
        sqlite::CStatement find(db, "SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2");
        find.Bind(1, id).Bind(2, name);
        int status = find.Step();
        if (status == SQLITE_DONE)
            return RegStatus::NotFound;
        if (status != SQLITE_ROW)
            return RegStatus::Failed;
        id = find.Int(0);
    }
    return RegStatus::Ok;
}

RegStatus MakeKey(sqlite3* db, const std::vector<std::string>& names, std::int64_t& id)
{
    id = kRootKeyId;
    for (const std::string& name : names) {
        sqlite::CStatement add(db, "INSERT INTO reg_keys(parent, name) VALUES(?1, ?2) ON CONFLICT DO NOTHING");
        if (add.Bind(1, id).Bind(2, name).Step() != SQLITE_DONE)
            return RegStatus::Failed;
        sqlite::CStatement find(db, "SELECT id FROM reg_keys WHERE parent = ?1 AND name = ?2");
        if (find.Bind(1, id).Bind(2, name).Step() != SQLITE_ROW)
            return RegStatus::Failed;
        id = find.Int(0);
    }
    return RegStatus::Ok;
}

bool KeyExists(sqlite3* db, std::int64_t id)
{
    if (id == kRootKeyId)
        return true;
    sqlite::CStatement find(db, "SELECT 1 FROM reg_keys WHERE id = ?1");
    return find.Bind(1, id).Step() == SQLITE_ROW;
}

}  // namespace platform::store
