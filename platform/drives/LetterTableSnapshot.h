// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/LetterTable.h"

// The stored letter table read once and held for as long as the object lives: meanwhile
// LoadLetterTable, and everything that looks letters up through it, gives this copy
// instead of opening the registry store again. For a program that looks letters up many
// times in one run and changes none (Keldrun at boot, where nothing else changes the
// table): one store open instead of one per look-up (about 10 ms each, for the checkpoint
// and its syncs when the store closes), and one table for the whole run, so the source and
// the destination are always looked up in the same one. Changes stored meanwhile, by this
// process or another, are not seen: a program that changes letters must not hold one.
// Made and ended on the main thread, before and after any other thread looks letters up;
// snapshots nest.
namespace platform {

class CLetterTableSnapshot {
public:
    CLetterTableSnapshot();
    ~CLetterTableSnapshot();
    CLetterTableSnapshot(const CLetterTableSnapshot&) = delete;
    CLetterTableSnapshot& operator=(const CLetterTableSnapshot&) = delete;

private:
    CLetterTable m_table;
    const CLetterTable* m_previous;
};

// The table held by the innermost snapshot alive; nothing when there is none.
const CLetterTable* HeldLetterTable();

}  // namespace platform
