// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/atoms/Atoms.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// String atoms take the values from 0xC000 up, as on Windows.
constexpr Atom kFirstAtom = 0xC000;
constexpr std::size_t kMaxAtomName = 255;

// The file holding the machine's atom table.
std::string AtomTableFile();

// True for a name an atom can have: 1 to 255 characters, no line feed and no zero byte.
bool IsAtomName(const std::string& name);

// The atoms of one machine in memory, and their text form in the table file: one line
// per atom, "<value in hex> <references> <name>", in the order of their values.
class CAtomTable {
public:
    // The table the text describes; nothing when the text is not a well-formed table.
    static std::optional<CAtomTable> Parse(std::string_view text);
    std::string Format() const;
    bool IsEmpty() const { return m_entries.empty(); }

    // Adds one reference to name, creating its atom with the lowest free value; 0 when
    // the name is not an atom name or the table is full.
    Atom Add(const std::string& name);
    Atom Find(const std::string& name) const;
    // Drops one reference; false when there is no such atom.
    bool Delete(Atom atom);

private:
    struct Entry {
        Atom atom;
        std::uint32_t references;
        std::string name;
    };
    std::vector<Entry> m_entries;  // sorted by atom
};

}  // namespace platform
