// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/RetryPlan.h"

#include <algorithm>

namespace {

std::uint64_t NextPieceBoundary(std::uint64_t sector)
{
    return (sector / kRetryPieceSectors + 1) * kRetryPieceSectors;
}

}  // namespace

CRetryPlan::CRetryPlan(std::uint64_t first, std::uint64_t count, std::uint64_t limit)
    : m_position(first), m_end(first + count), m_singlesEnd(first), m_limit(limit)
{
    // A range inside one piece would be retried whole: it goes one sector at a time.
    if (NextPieceBoundary(first) >= m_end)
        m_singlesEnd = m_end;
}

std::uint32_t CRetryPlan::Next() const
{
    if (m_position >= m_end)
        return m_afterBadSector && m_position < m_limit ? 1 : 0;
    if (m_position < m_singlesEnd || m_afterBadSector)
        return 1;
    return static_cast<std::uint32_t>(std::min(NextPieceBoundary(m_position), m_end) - m_position);
}

void CRetryPlan::Succeeded()
{
    m_position += Next();
    m_afterBadSector = false;
}

void CRetryPlan::Failed()
{
    std::uint32_t sectors = Next();
    if (sectors == 1) {
        ++m_position;
        m_afterBadSector = true;
    } else {
        m_singlesEnd = m_position + sectors;
    }
}
