// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ReadAhead.h"

#include <algorithm>
#include <limits>
#include <system_error>

std::vector<usedspace::CByteRange> CReadAhead::WholeVolume()
{
    return {{0, std::numeric_limits<std::uint64_t>::max()}};
}

CReadAhead::CReadAhead(platform::IVolume& volume, std::span<std::byte> first, std::span<std::byte> second,
                       std::vector<usedspace::CByteRange> plan, bool gather)
    : m_volume(volume), m_buffers{first, second}, m_plan(std::move(plan)), m_gather(gather), m_free{0, 1}
{
    if (!m_plan.empty())
        m_cursor = m_plan.front().m_offset;
    try {
        m_reader = std::thread([this] { ReadAheadLoop(); });
    } catch (const std::system_error&) {
        // Without a thread every block is read in Next, one after the other.
    }
}

CReadAhead::~CReadAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_reader.joinable())
        m_reader.join();
}

CReadAhead::CBlock CReadAhead::Next()
{
    std::unique_lock lock(m_mutex);
    if (m_taken >= 0)
        m_free.push_back(static_cast<std::size_t>(m_taken));
    m_taken = -1;
    // The reader waits after the last block it gave; once that block is taken, this call
    // asks for the one after it.
    if (m_done.empty())
        m_waiting = false;
    if (!m_reader.joinable()) {
        std::size_t buffer = m_free.front();
        m_free.pop_front();
        m_taken = static_cast<std::ptrdiff_t>(buffer);
        lock.unlock();
        return ReadInto(buffer);
    }
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_done.empty(); });
    CRead read = std::move(m_done.front());
    m_done.pop_front();
    m_taken = static_cast<std::ptrdiff_t>(read.buffer);
    return read.block;
}

void CReadAhead::ResumeAt(std::uint64_t offset)
{
    std::lock_guard lock(m_mutex);
    m_cursor = std::max(m_cursor, offset);
}

bool CReadAhead::InRange()
{
    while (m_range < m_plan.size() && m_cursor >= m_plan[m_range].End()) {
        if (++m_range < m_plan.size())
            m_cursor = std::max(m_cursor, m_plan[m_range].m_offset);
    }
    return m_range < m_plan.size();
}

// Fills the buffer from the plan, a piece per range, each read at its own place.
CReadAhead::CBlock CReadAhead::ReadInto(std::size_t buffer)
{
    CBlock block;
    block.ok = true;
    std::span<std::byte> space = m_buffers[buffer];
    std::size_t filled = 0;
    while (filled < space.size() && InRange()) {
        const std::uint64_t asked = std::min<std::uint64_t>(space.size() - filled, m_plan[m_range].End() - m_cursor);
        m_volume.Rewind();
        m_volume.Move(static_cast<std::int64_t>(m_cursor));
        std::uint32_t bytesRead = 0;
        if (!m_volume.Read(space.subspan(filled, static_cast<std::size_t>(asked)), bytesRead)) {
            block.ok = false;
            block.error = m_volume.LastError();
            block.failed = {m_cursor, asked};
            block.rangeEnd = m_plan[m_range].End();
            break;
        }
        if (bytesRead > 0)
            block.pieces.push_back({m_cursor, bytesRead});
        filled += bytesRead;
        m_cursor += bytesRead;
        // The volume ends here: the next read finds nothing.
        if (bytesRead < asked || !m_gather)
            break;
    }
    block.bytes = space.first(block.ok ? filled : 0);
    if (!block.ok)
        block.pieces.clear();
    return block;
}

void CReadAhead::ReadAheadLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (!m_waiting && !m_free.empty()); });
        if (m_stopping)
            return;
        std::size_t buffer = m_free.front();
        m_free.pop_front();
        lock.unlock();
        CBlock block = ReadInto(buffer);
        lock.lock();
        m_waiting = !block.ok || block.bytes.empty();
        m_done.push_back({buffer, std::move(block)});
        m_changed.notify_all();
    }
}
