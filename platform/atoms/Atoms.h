// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// The global atom table: named, reference-counted atoms visible to every process of the
// machine (under VANTREL_SYSTEM_ROOT, only to the processes of that simulated machine).
// Names are compared without regard to case. No call waits for long.
namespace platform {

using Atom = std::uint16_t;  // 0 is never an atom

// Adds one reference to the atom named name, creating it; returns the atom, 0 on failure.
Atom AddAtom(const std::string& name);
// Returns the atom named name, or 0 when there is none.
Atom FindAtom(const std::string& name);
// Drops one reference; the atom goes with its last one. Returns 0 on success and the
// atom itself when there was no such atom (the Windows convention).
Atom DeleteAtom(Atom atom);

}  // namespace platform
