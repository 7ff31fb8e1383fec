// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ReadAhead.h"

#include <system_error>

CReadAhead::CReadAhead(platform::IVolume& volume, std::span<std::byte> first, std::span<std::byte> second)
    : m_volume(volume), m_buffers{first, second}, m_free{0, 1}
{
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
    CRead read = m_done.front();
    m_done.pop_front();
    m_taken = static_cast<std::ptrdiff_t>(read.buffer);
    return read.block;
}

// Returns what one read of the volume into the buffer gave.
CReadAhead::CBlock CReadAhead::ReadInto(std::size_t buffer)
{
    CBlock block;
    std::uint32_t bytesRead = 0;
    block.ok = m_volume.Read(m_buffers[buffer], bytesRead);
    block.error = block.ok ? 0 : m_volume.LastError();
    block.bytes = m_buffers[buffer].first(bytesRead);
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
        m_done.push_back({buffer, block});
        m_changed.notify_all();
    }
}
