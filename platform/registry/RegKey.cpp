// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "platform/registry/StoreFile.h"

namespace platform {

struct CRegKey::Impl {
    sqlite::Database db;
    std::int64_t id = store::kRootKeyId;
    RegAccess access = RegAccess::Read;
};

CRegKey::CRegKey() = default;
CRegKey::~CRegKey() = default;
CRegKey::CRegKey(CRegKey&&) noexcept = default;
CRegKey& CRegKey::operator=(CRegKey&&) noexcept = default;

RegStatus CRegKey::Open(RegRoot root, const std::string& path, RegAccess access, CRegKey& key)
{
    key.Close();
    auto impl = std::make_unique<Impl>();
    store::StoreLocation location = store::LocateStore(root);
    RegStatus status = store::OpenStore(location.file, access, false, impl->db);
    if (status == RegStatus::Ok)
        status = store::FindKey(impl->db.get(), store::SplitKeyPath(location.base, path), impl->id);
    if (status != RegStatus::Ok)
        return status;
    impl->access = access;
    key.m_impl = std::move(impl);
    return RegStatus::Ok;
}

RegStatus CRegKey::Create(RegRoot root, const std::string& path, CRegKey& key)
{
    key.Close();
    auto impl = std::make_unique<Impl>();
    store::StoreLocation location = store::LocateStore(root);
    RegStatus status = store::OpenStore(location.file, RegAccess::Full, true, impl->db);
    if (status != RegStatus::Ok)
        return status;
    std::vector<std::string> names = store::SplitKeyPath(location.base, path);
    status = store::InWriteTransaction(impl->db.get(),
                                       [&](sqlite3* db) { return store::MakeKey(db, names, impl->id); });
    if (status != RegStatus::Ok)
        return status;
    impl->access = RegAccess::Full;
    key.m_impl = std::move(impl);
    return RegStatus::Ok;
}

RegStatus CRegKey::DeleteTree(RegRoot root, const std::string& path)
{
    store::StoreLocation location = store::LocateStore(root);
    std::vector<std::string> names = store::SplitKeyPath(location.base, path);
    std::vector<std::string> rootNames = store::SplitKeyPath(location.base, "");
    // A root key itself is never deleted.
    if (names.size() == rootNames.size())
        return RegStatus::AccessDenied;

    sqlite::Database database;
    RegStatus status = store::OpenStore(location.file, RegAccess::Full, false, database);
    if (status != RegStatus::Ok)
        return status;
    return store::InWriteTransaction(database.get(), [&](sqlite3* db) {
        std::int64_t id = store::kRootKeyId;
        RegStatus found = store::FindKey(db, names, id);
        if (found != RegStatus::Ok)
            return found;
        const std::string subtree =
            "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM reg_keys k JOIN tree ON k.parent = tree.id) ";
        sqlite::CStatement values(db, (subtree + "DELETE FROM reg_values WHERE key IN tree").c_str());
        sqlite::CStatement keys(db, (subtree + "DELETE FROM reg_keys WHERE id IN tree").c_str());
        bool deleted = values.Bind(1, id).Step() == SQLITE_DONE && keys.Bind(1, id).Step() == SQLITE_DONE;
        return deleted ? RegStatus::Ok : RegStatus::Failed;
    });
}

std::optional<std::string> StoreReadProblem(RegRoot root)
{
    const std::string file = store::LocateStore(root).file;
    sqlite::Database db;
    std::string problem;
    if (store::OpenStore(file, RegAccess::Read, false, db, problem) != RegStatus::Failed)
        return std::nullopt;
    return problem.empty() ? file + ": it cannot be opened" : problem;
}

bool CRegKey::IsOpen() const
{
    return m_impl != nullptr;
}

void CRegKey::Close()
{
    m_impl.reset();
}

RegStatus CRegKey::Query(const std::string& name, RegValue& value) const
{
    if (!m_impl)
        return RegStatus::Failed;
    sqlite::CStatement query(m_impl->db.get(), "SELECT type, data FROM reg_values WHERE key = ?1 AND name = ?2");
    int status = query.Bind(1, m_impl->id).Bind(2, name).Step();
    if (status == SQLITE_DONE)
        return RegStatus::NotFound;
    if (status != SQLITE_ROW)
        return RegStatus::Failed;
    value.type = static_cast<std::uint32_t>(query.Int(0));
    value.data = query.Blob(1);
    return RegStatus::Ok;
}

RegStatus CRegKey::Set(const std::string& name, std::uint32_t type, std::span<const unsigned char> data)
{
    if (!m_impl)
        return RegStatus::Failed;
    if (m_impl->access != RegAccess::Full)
        return RegStatus::AccessDenied;
    return store::InWriteTransaction(m_impl->db.get(), [&](sqlite3* db) {
        if (!store::KeyExists(db, m_impl->id))
            return RegStatus::NotFound;
        sqlite::CStatement set(db,
                               "INSERT INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                               "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
        set.Bind(1, m_impl->id).Bind(2, name).Bind(3, static_cast<std::int64_t>(type)).Bind(4, data);
        return set.Step() == SQLITE_DONE ? RegStatus::Ok : RegStatus::Failed;
    });
}

RegStatus CRegKey::DeleteValue(const std::string& name)
{
    if (!m_impl)
        return RegStatus::Failed;
    if (m_impl->access != RegAccess::Full)
        return RegStatus::AccessDenied;
    return store::InWriteTransaction(m_impl->db.get(), [&](sqlite3* db) {
        sqlite::CStatement remove(db, "DELETE FROM reg_values WHERE key = ?1 AND name = ?2");
        if (remove.Bind(1, m_impl->id).Bind(2, name).Step() != SQLITE_DONE)
            return RegStatus::Failed;
        return sqlite3_changes(db) == 0 ? RegStatus::NotFound : RegStatus::Ok;
    });
}

namespace {

// The name in the first column of the row at index; NoMoreItems past the last row.
RegStatus NameAt(sqlite3* db, const char* sql, std::int64_t key, std::uint32_t index, std::string& name)
{
    sqlite::CStatement list(db, sql);
    int status = list.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step();
    if (status == SQLITE_DONE)
        return RegStatus::NoMoreItems;
    if (status != SQLITE_ROW)
        return RegStatus::Failed;
    name = list.Text(0);
    return RegStatus::Ok;
}

}  // namespace

RegStatus CRegKey::EnumValue(std::uint32_t index, std::string& name) const
{
    if (!m_impl)
        return RegStatus::Failed;
    return NameAt(m_impl->db.get(), "SELECT name FROM reg_values WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
                  m_impl->id, index, name);
}

RegStatus CRegKey::EnumSubKey(std::uint32_t index, std::string& name) const
{
    if (!m_impl)
        return RegStatus::Failed;
    return NameAt(m_impl->db.get(), "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY name, id LIMIT 1 OFFSET ?2",
                  m_impl->id, index, name);
}

}  // namespace platform
