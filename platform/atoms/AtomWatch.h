// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// Every change of the atom table adds one to a counter kept in a small file beside it
// (the table's name + ".gen"). Called under the table's lock after the change is stored.
void CountTableChange(const std::string& tableFile);

// Looks for one atom again and again, as a running clone looks for its cancel atom after
// every sector. As exact as FindAtom, a change of the table finished before the call is
// seen, but the table is read again only when the change counter moved: the counter is
// mapped into memory, so an unchanged table costs no system call. As a safety net the
// table is also read every kRecheck. Used by one thread at a time.
class CAtomWatch {
public:
    static constexpr std::chrono::milliseconds kRecheck{100};

    explicit CAtomWatch(std::string name);
    ~CAtomWatch();
    CAtomWatch(const CAtomWatch&) = delete;
    CAtomWatch& operator=(const CAtomWatch&) = delete;

    // True when the atom exists (FindAtom(name) != 0).
    bool Present();

private:
    std::string m_name;
    const volatile std::uint64_t* m_changes = nullptr;  // the mapped counter; null: read every time
    std::uint64_t m_seenChanges = 0;
    std::chrono::steady_clock::time_point m_lastRead;
    bool m_known = false;
    bool m_present = false;
};

}  // namespace platform
