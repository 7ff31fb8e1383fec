// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives/LetterTableSnapshot.h"

namespace platform {

namespace {

const CLetterTable* g_held = nullptr;

}  // namespace

CLetterTableSnapshot::CLetterTableSnapshot() : m_table(LoadLetterTable()), m_previous(g_held)
{
    g_held = &m_table;
}

CLetterTableSnapshot::~CLetterTableSnapshot()
{
    g_held = m_previous;
}

const CLetterTable* HeldLetterTable()
{
    return g_held;
}

}  // namespace platform
