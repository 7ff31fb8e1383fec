#include "platform/atoms/Atoms.h"

#include "platform/atoms/AtomTable.h"
#include "platform/atoms/AtomWatch.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/TextFiles.h"
#include "platform/system/SystemRoot.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

// The table is one small text file, replaced whole by a rename on every change, so a
// reader always sees a complete table and needs no lock. Changes are serialised by a lock
// file beside it. An empty table has no file: looking for the cancel atom while nothing
// has been added costs one failed open. Every change also counts up a counter beside it,
// which a CAtomWatch reads from memory instead of the table.
namespace platform {

// On the real machine the table lives in /run, so atoms go with a restart as on Windows;
// only root may change them there, in a folder that root alone may change.
std::string AtomTableFile()
{
    return MachineFile("atoms", "/run/vantrel/atoms");
}

namespace {

// Holds the lock file of the table locked for one change.
class CTableLock {
public:
    explicit CTableLock(const std::string& tableFile);
    CTableLock(const CTableLock&) = delete;
    CTableLock& operator=(const CTableLock&) = delete;
    bool IsHeld() const { return m_lock.IsOpen(); }

private:
    CFd m_lock;
};

// On the real machine the atoms stop clones, so their folder and lock are root's alone:
// a folder owned by root that no one else may write, and a lock no one else may open
// (flock needs no write permission, so anyone who can open the lock can hold it).
bool IsRootsAlone(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The lock file root's alone, a lock of an older version (0644) made so.
bool IsLockRootsAlone(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != 0)
        return false;
    return (info.st_mode & 07777) == 0600 || ::fchmod(fd, 0600) == 0;
}

CTableLock::CTableLock(const std::string& tableFile)
{
    const std::filesystem::path file(tableFile);
    const std::string folderPath = file.parent_path().string();
    const bool realMachine = !SystemRoot();
    ::mkdir(folderPath.c_str(), 0755);
    CFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (realMachine ? O_NOFOLLOW : 0)));
    if (!folder.IsOpen() || (realMachine && !IsRootsAlone(folder.Get())))
        return;
    const std::string lockName = file.filename().string() + ".lock";
    CFd lock(::openat(folder.Get(), lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.IsOpen() || (realMachine && !IsLockRootsAlone(lock.Get())))
        return;
    // A holder keeps the lock for one read and one write of a small file. One that has
    // been stopped must not hang every other caller: give up after about two seconds.
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0) {
            m_lock = std::move(lock);
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The table in the file; a missing, unreadable or corrupt file is an empty table.
CAtomTable ReadTable(const std::string& path)
{
    std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return {};
    return CAtomTable::Parse(*text).value_or(CAtomTable());
}

// Replaces the file with the table; true when the new table is in place. Atoms are
// state of the running machine only, so the file is not flushed to the device.
bool StoreTable(const std::string& path, const CAtomTable& table)
{
    if (table.IsEmpty())
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    std::string next = path + ".new";
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    out << table.Format();
    out.close();
    return out && ::rename(next.c_str(), path.c_str()) == 0;
}

// Applies change to the table under the lock and stores the result when change returns
// true. True when the change was made and stored.
template <typename Change>
bool ChangeTable(Change change)
{
    std::string path = AtomTableFile();
    CTableLock lock(path);
    if (!lock.IsHeld())
        return false;
    CAtomTable table = ReadTable(path);
    if (!change(table) || !StoreTable(path, table))
        return false;
    CountTableChange(path);
    return true;
}

}  // namespace

Atom AddAtom(const std::string& name)
{
    Atom atom = 0;
    bool stored = ChangeTable([&](CAtomTable& table) {
        atom = table.Add(name);
        return atom != 0;
    });
    return stored ? atom : 0;
}

Atom FindAtom(const std::string& name)
{
    if (!IsAtomName(name))
        return 0;
    return ReadTable(AtomTableFile()).Find(name);
}

Atom DeleteAtom(Atom atom)
{
    bool deleted = ChangeTable([atom](CAtomTable& table) { return table.Delete(atom); });
    return deleted ? 0 : atom;
}

}  // namespace platform
