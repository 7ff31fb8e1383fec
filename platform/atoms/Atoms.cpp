// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atoms/Atoms.h"

#include "platform/atoms/AtomTable.h"
#include "platform/atoms/AtomWatch.h"
#include "platform/files/MachineLock.h"
#include "platform/files/TextFiles.h"
#include "platform/system/SystemRoot.h"

#include <cerrno>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

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

constexpr std::chrono::seconds kLockWait(2);

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
    // A holder keeps the lock for one read and one write of a small file; one that has
    // been stopped must not hang every other caller.
    CMachineLock lock(path + ".lock", kLockWait, "the atom table");
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
