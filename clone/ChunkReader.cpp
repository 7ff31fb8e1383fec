// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/ChunkReader.h"

#include "platform/volume/SectorSize.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

using platform::kSectorSize;

void Seek(platform::IVolume& volume, std::uint64_t offset)
{
    volume.Rewind();
    volume.Move(static_cast<std::int64_t>(offset));
}

CChunkReader::CBlock Failed(int error, std::uint64_t byte)
{
    return {false, error, byte / kSectorSize, {}};
}

}  // namespace

CChunkReader::CChunkReader(platform::IVolume& volume, std::span<const CVolumeChunk> chunks,
                           std::vector<std::span<std::byte>> buffers)
    : m_volume(volume), m_chunks(chunks), m_buffers(std::move(buffers))
{
    for (std::size_t buffer = 0; buffer < m_buffers.size(); ++buffer)
        m_free.push_back(buffer);
    try {
        m_reader = std::thread([this] { ReadAheadLoop(); });
    } catch (const std::system_error&) {
        // Without a thread every chunk is read in Next, one after the other.
    }
}

CChunkReader::~CChunkReader()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_reader.joinable())
        m_reader.join();
}

CChunkReader::CBlock CChunkReader::Next()
{
    std::unique_lock lock(m_mutex);
    if (m_taken >= 0)
        m_free.push_back(static_cast<std::size_t>(m_taken));
    m_taken = -1;
    if (m_given == m_chunks.size())
        return {true, 0, 0, {}};
    ++m_given;
    if (!m_reader.joinable()) {
        const std::size_t buffer = m_free.front();
        m_free.pop_front();
        m_taken = static_cast<std::ptrdiff_t>(buffer);
        const std::size_t chunk = m_nextRead++;
        lock.unlock();
        return ReadChunk(chunk, buffer);
    }
    m_changed.notify_all();
    // After a failure nothing more is read: every later call tells the failure again.
    m_changed.wait(lock, [this] { return !m_done.empty() || m_failure; });
    if (m_done.empty())
        return *m_failure;
    CRead read = m_done.front();
    m_done.pop_front();
    m_taken = static_cast<std::ptrdiff_t>(read.buffer);
    return read.block;
}

// Returns what reading the chunk into the buffer gave: all of it, or where it failed.
CChunkReader::CBlock CChunkReader::ReadChunk(std::size_t chunk, std::size_t buffer)
{
    const CVolumeChunk& part = m_chunks[chunk];
    std::span<std::byte> into = m_buffers[buffer].first(part.length);
    std::uint32_t bytesRead = 0;
    Seek(m_volume, part.offset);
    if (m_volume.Read(into, bytesRead)) {
        if (bytesRead < into.size())
            return Failed(ENODATA, part.offset + bytesRead);
        return {true, 0, 0, into};
    }
    // Sector by sector: the first that fails is the one to name; when none does, the
    // failure passed and the chunk is read all the same.
    for (std::size_t at = 0; at < into.size(); at += kSectorSize) {
        std::span<std::byte> sector = into.subspan(at, std::min<std::size_t>(kSectorSize, into.size() - at));
        Seek(m_volume, part.offset + at);
        if (!m_volume.Read(sector, bytesRead))
            return Failed(m_volume.LastError(), part.offset + at);
        if (bytesRead < sector.size())
            return Failed(ENODATA, part.offset + at + bytesRead);
    }
    return {true, 0, 0, into};
}

void CChunkReader::ReadAheadLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] {
            return m_stopping || (!m_failure && m_nextRead < m_chunks.size() && !m_free.empty());
        });
        if (m_stopping)
            return;
        const std::size_t buffer = m_free.front();
        m_free.pop_front();
        const std::size_t chunk = m_nextRead++;
        lock.unlock();
        CBlock block = ReadChunk(chunk, buffer);
        lock.lock();
        if (!block.ok)
            m_failure = block;
        m_done.push_back({buffer, block});
        m_changed.notify_all();
    }
}
