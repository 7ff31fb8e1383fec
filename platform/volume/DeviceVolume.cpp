// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume/DeviceVolume.h"

#include "platform/volume/SectorSize.h"
#include "platform/volume/Transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::size_t kBounceSize = 1 << 20;

}  // namespace

CDeviceVolume::CDeviceVolume(CFd file, std::uint64_t size, bool direct, CVolumeExtent extent, CLoopClaims loops)
    : m_file(std::move(file)), m_size(size), m_direct(direct), m_extent(std::move(extent)), m_loops(std::move(loops))
{
}

void CDeviceVolume::Rewind()
{
    m_position = 0;
}

void CDeviceVolume::Move(std::int64_t delta)
{
    if (delta < 0 && static_cast<std::uint64_t>(-(delta + 1)) >= m_position)
        return;
    if (delta > 0 && static_cast<std::uint64_t>(delta) > std::numeric_limits<std::uint64_t>::max() - m_position)
        return;
    m_position += static_cast<std::uint64_t>(delta);
}

bool CDeviceVolume::Read(std::span<std::byte> buffer, std::uint32_t& bytesRead)
{
    bytesRead = 0;
    if (buffer.size() > std::numeric_limits<std::uint32_t>::max())
        return Fail(EINVAL);
    if (m_position >= m_size)
        return true;
    std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_size - m_position));
    std::size_t done = 0;
    if (int error = ReadAt(buffer.data(), size, done))
        return Fail(error);
    m_position += done;
    bytesRead = static_cast<std::uint32_t>(done);
    return true;
}

bool CDeviceVolume::Write(std::span<const std::byte> data, std::uint32_t& bytesWritten)
{
    bytesWritten = 0;
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return Fail(EINVAL);
    // A write reaching past the end fails before writing anything, so the caller never
    // has to guess how much of it landed.
    if (m_position > m_size || data.size() > m_size - m_position)
        return Fail(ENOSPC);
    if (int error = WriteAt(data.data(), data.size()))
        return Fail(error);
    m_position += data.size();
    bytesWritten = static_cast<std::uint32_t>(data.size());
    return true;
}

bool CDeviceVolume::Flush()
{
    while (::fdatasync(m_file.Get()) != 0) {
        if (errno != EINTR)
            return Fail(errno);
    }
    // A loop device attached over the volume while it was written: whatever was mounted
    // or written through it has changed the volume behind the clone's back.
    if (!m_loops.NoneAttachedSince())
        return Fail(errno);
    return true;
}

std::uint64_t CDeviceVolume::Size() const
{
    return m_size;
}

int CDeviceVolume::LastError() const
{
    return m_lastError;
}

CVolumeExtent CDeviceVolume::Extent() const
{
    return m_extent;
}

int CDeviceVolume::Descriptor() const
{
    return m_file.Get();
}

bool CDeviceVolume::Fail(int error)
{
    m_lastError = error;
    return false;
}

// Direct I/O needs the offset and the length in whole sectors; the buffer's alignment is
// arranged by bouncing.
bool CDeviceVolume::SectorAligned(std::size_t size) const
{
    return m_position % kSectorSize == 0 && size % kSectorSize == 0;
}

std::byte* CDeviceVolume::Bounce()
{
    if (!m_bounce)
        m_bounce = std::make_unique<CVolumeBuffer>(kBounceSize);
    return m_bounce->IsValid() ? m_bounce->Bytes().data() : nullptr;
}

int CDeviceVolume::ReadAt(std::byte* data, std::size_t size, std::size_t& done)
{
    if (!m_direct)
        return ReadFully(m_file.Get(), data, size, m_position, done);
    if (!SectorAligned(size)) {
        // The page cache takes this one; the kernel keeps it coherent with direct I/O.
        if (!SetDirectIo(m_file.Get(), false))
            return errno;
        int error = ReadFully(m_file.Get(), data, size, m_position, done);
        m_direct = SetDirectIo(m_file.Get(), true);
        return error;
    }
    if (reinterpret_cast<std::uintptr_t>(data) % kSectorSize != 0)
        return ReadBounced(data, size, done);
    return ReadFully(m_file.Get(), data, size, m_position, done);
}

int CDeviceVolume::WriteAt(const std::byte* data, std::size_t size)
{
    if (!m_direct)
        return WriteFully(m_file.Get(), data, size, m_position);
    if (!SectorAligned(size)) {
        if (!SetDirectIo(m_file.Get(), false))
            return errno;
        int error = WriteFully(m_file.Get(), data, size, m_position);
        m_direct = SetDirectIo(m_file.Get(), true);
        return error;
    }
    if (reinterpret_cast<std::uintptr_t>(data) % kSectorSize != 0)
        return WriteBounced(data, size);
    return WriteFully(m_file.Get(), data, size, m_position);
}

int CDeviceVolume::ReadBounced(std::byte* data, std::size_t size, std::size_t& done)
{
    std::byte* bounce = Bounce();
    if (bounce == nullptr)
        return ENOMEM;
    done = 0;
    while (done < size) {
        std::size_t chunk = std::min(size - done, kBounceSize);
        std::size_t got = 0;
        if (int error = ReadFully(m_file.Get(), bounce, chunk, m_position + done, got))
            return error;
        std::memcpy(data + done, bounce, got);
        done += got;
        if (got < chunk)
            break;
    }
    return 0;
}

int CDeviceVolume::WriteBounced(const std::byte* data, std::size_t size)
{
    std::byte* bounce = Bounce();
    if (bounce == nullptr)
        return ENOMEM;
    for (std::size_t done = 0; done < size;) {
        std::size_t chunk = std::min(size - done, kBounceSize);
        std::memcpy(bounce, data + done, chunk);
        if (int error = WriteFully(m_file.Get(), bounce, chunk, m_position + done))
            return error;
        done += chunk;
    }
    return 0;
}

}  // namespace platform
