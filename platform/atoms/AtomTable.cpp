// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atoms/AtomTable.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>

namespace platform {

namespace {

// Atom names are compared without regard to the case of ASCII letters.
char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldCase(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        c = FoldCase(c);
    return folded;
}

bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

// Reads an unsigned number in base from the front of text and the blank after it.
template <typename T>
bool TakeField(std::string_view& text, int base, T& value)
{
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end == text.data() || end == text.data() + text.size() || *end != ' ')
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
    return true;
}

}  // namespace

bool IsAtomName(const std::string& name)
{
    return !name.empty() && name.size() <= kMaxAtomName &&
           name.find_first_of(std::string_view("\n\0", 2)) == std::string::npos;
}

std::optional<CAtomTable> CAtomTable::Parse(std::string_view text)
{
    CAtomTable table;
    std::set<std::string> names;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;  // cut short
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);

        unsigned value = 0;
        Entry entry{};
        if (!TakeField(line, 16, value) || !TakeField(line, 10, entry.references))
            return std::nullopt;
        entry.name = std::string(line);
        bool ordered = table.m_entries.empty() || value > table.m_entries.back().atom;
        if (value < kFirstAtom || value > std::numeric_limits<Atom>::max() || !ordered ||
            entry.references == 0 || !IsAtomName(entry.name) || !names.insert(FoldCase(entry.name)).second)
            return std::nullopt;
        entry.atom = static_cast<Atom>(value);
        table.m_entries.push_back(std::move(entry));
    }
    return table;
}

std::string CAtomTable::Format() const
{
    std::string text;
    for (const Entry& entry : m_entries) {
        char value[8];
        auto end = std::to_chars(value, value + sizeof value, entry.atom, 16).ptr;
        text.append(value, end);
        text += ' ';
        text += std::to_string(entry.references);
        text += ' ';
        text += entry.name;
        text += '\n';
    }
    return text;
}

Atom CAtomTable::Add(const std::string& name)
{
    if (!IsAtomName(name))
        return 0;
    for (Entry& entry : m_entries) {
        if (SameName(entry.name, name)) {
            if (entry.references == std::numeric_limits<std::uint32_t>::max())
                return 0;
            ++entry.references;
            return entry.atom;
        }
    }
    // The lowest value not taken: the first gap in the sorted values.
    unsigned value = kFirstAtom;
    auto slot = m_entries.begin();
    while (slot != m_entries.end() && slot->atom == value) {
        ++value;
        ++slot;
    }
    if (value > std::numeric_limits<Atom>::max())
        return 0;
    Atom atom = static_cast<Atom>(value);
    m_entries.insert(slot, Entry{atom, 1, name});
    return atom;
}

Atom CAtomTable::Find(const std::string& name) const
{
    for (const Entry& entry : m_entries)
        if (SameName(entry.name, name))
            return entry.atom;
    return 0;
}

bool CAtomTable::Delete(Atom atom)
{
    auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                              [atom](const Entry& e) { return e.atom == atom; });
    if (entry == m_entries.end())
        return false;
    if (--entry->references == 0)
        m_entries.erase(entry);
    return true;
}

}  // namespace platform
