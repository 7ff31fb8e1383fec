// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FaultyVolume.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace testsupport {

namespace {

constexpr std::uint64_t kSector = 512;

// A move that would go before byte 0 leaves the position where it is.
void MovePosition(std::uint64_t& position, std::int64_t delta)
{
    if (delta >= 0 || static_cast<std::uint64_t>(-delta) <= position)
        position += static_cast<std::uint64_t>(delta);
}

char Upper(char letter)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

}  // namespace

// One open of a memory volume (or of the region [base, base + limit) of it), with its own
// position and error. Like a raw volume it reads only when opened for reading and writes
// only when opened for writing (EBADF).
class CVolumeHandle : public platform::IVolume {
public:
    CVolumeHandle(std::shared_ptr<CMemoryVolume> volume, platform::VolumeAccess access, std::uint64_t base,
                  std::uint64_t limit)
        : m_volume(std::move(volume)), m_access(access), m_base(base), m_limit(limit)
    {
        m_volume->CountHandle(+1);
    }
    ~CVolumeHandle() override { m_volume->CountHandle(-1); }

    void Rewind() override { m_position = 0; }
    void Move(std::int64_t delta) override { MovePosition(m_position, delta); }
    bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) override
    {
        bytesRead = 0;
        if (m_access != platform::VolumeAccess::Read)
            return Fail(EBADF);
        std::uint64_t left = m_position < m_limit ? m_limit - m_position : 0;
        std::uint64_t position = m_base + std::min(m_position, m_limit);
        bool ok = m_volume->ReadAt(position, buffer.first(std::min<std::uint64_t>(buffer.size(), left)), bytesRead,
                                   m_lastError);
        m_position += bytesRead;
        return ok;
    }
    bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override
    {
        bytesWritten = 0;
        if (m_access != platform::VolumeAccess::Write)
            return Fail(EBADF);
        if (m_position > m_limit || data.size() > m_limit - m_position)
            return Fail(ENOSPC);
        std::uint64_t position = m_base + m_position;
        bool ok = m_volume->WriteAt(position, data, bytesWritten, m_lastError);
        m_position += bytesWritten;
        return ok;
    }
    bool Flush() override { return m_volume->FlushWith(m_lastError); }
    std::unique_ptr<platform::IVolume> ReopenUncached() const override
    {
        return std::make_unique<CVolumeHandle>(m_volume, platform::VolumeAccess::Read, m_base, m_limit);
    }
    // At open, as a device reports it.
    std::uint64_t Size() const override { return m_limit; }
    int LastError() const override { return m_lastError; }
    platform::CVolumeExtent Extent() const override
    {
        platform::CVolumeExtent extent = m_volume->Extent();
        extent.ranges.front().offset = m_base;
        extent.ranges.front().length = m_limit;
        return extent;
    }

private:
    bool Fail(int error)
    {
        m_lastError = error;
        return false;
    }

    std::shared_ptr<CMemoryVolume> m_volume;
    platform::VolumeAccess m_access;
    std::uint64_t m_base;
    std::uint64_t m_limit;
    std::uint64_t m_position = 0;
    int m_lastError = 0;
};

CMemoryVolume::CMemoryVolume(std::size_t size, std::uint8_t fill) : m_data(size, std::byte{fill})
{
}

void CMemoryVolume::Rewind()
{
    std::lock_guard lock(m_mutex);
    m_position = 0;
}

void CMemoryVolume::Move(std::int64_t delta)
{
    std::lock_guard lock(m_mutex);
    MovePosition(m_position, delta);
}

bool CMemoryVolume::Read(std::span<std::byte> buffer, std::uint32_t& bytesRead)
{
    std::uint64_t position = Position();
    int error = 0;
    bool ok = ReadAt(position, buffer, bytesRead, error);
    std::lock_guard lock(m_mutex);
    m_position = position;
    if (!ok)
        m_lastError = error;
    return ok;
}

bool CMemoryVolume::Write(std::span<const std::byte> data, std::uint32_t& bytesWritten)
{
    std::uint64_t position = Position();
    int error = 0;
    bool ok = WriteAt(position, data, bytesWritten, error);
    std::lock_guard lock(m_mutex);
    m_position = position;
    if (!ok)
        m_lastError = error;
    return ok;
}

bool CMemoryVolume::Flush()
{
    int error = 0;
    bool ok = FlushWith(error);
    std::lock_guard lock(m_mutex);
    if (!ok)
        m_lastError = error;
    return ok;
}

int CMemoryVolume::LastError() const
{
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

platform::CVolumeExtent CMemoryVolume::Extent() const
{
    std::lock_guard lock(m_mutex);
    std::string storage = "memory " + std::to_string(reinterpret_cast<std::uintptr_t>(this));
    return {{{storage, 0, m_data.size(), false}}};
}

bool CMemoryVolume::Touches(const std::map<std::uint64_t, int>& faults, std::uint64_t begin, std::uint64_t end,
                            int& error) const
{
    if (begin == end)
        return false;
    auto first = faults.lower_bound(begin / kSector);
    auto last = faults.upper_bound((end - 1) / kSector);
    if (first == last)
        return false;
    error = std::prev(last)->second;
    return true;
}

void CMemoryVolume::CountSectors(std::vector<int>& counts, std::uint64_t begin, std::uint64_t end)
{
    if (begin == end)
        return;
    if (counts.size() <= (end - 1) / kSector)
        counts.resize((end - 1) / kSector + 1);
    for (std::uint64_t sector = begin / kSector; sector <= (end - 1) / kSector; ++sector)
        ++counts[sector];
}

bool CMemoryVolume::ReadAt(std::uint64_t& position, std::span<std::byte> buffer, std::uint32_t& bytesRead,
                           int& error)
{
    std::function<void(int)> hook;
    std::function<void(std::uint64_t, bool)> everyReadHook;
    int reads = 0;
    bool ok = false;
    const std::uint64_t sector = position / kSector;
    {
        std::lock_guard lock(m_mutex);
        reads = ++m_reads;
        bytesRead = 0;
        everyReadHook = m_everyReadHook;
        std::uint64_t begin = std::min<std::uint64_t>(position, m_data.size());
        std::uint64_t end = std::min<std::uint64_t>(begin + buffer.size(), m_data.size());
        CountSectors(m_sectorReads, begin, end);
        if (Touches(m_readFaults, begin, end, error)) {
            ++m_readsTouchingFaults;
        } else {
            std::copy_n(m_data.data() + begin, end - begin, buffer.data());
            bytesRead = static_cast<std::uint32_t>(end - begin);
            position += bytesRead;
            hook = m_readHook;
            ok = true;
        }
    }
    if (hook)
        hook(reads);
    if (everyReadHook)
        everyReadHook(sector, ok);
    return ok;
}

bool CMemoryVolume::WriteAt(std::uint64_t& position, std::span<const std::byte> data, std::uint32_t& bytesWritten,
                            int& error)
{
    std::lock_guard lock(m_mutex);
    ++m_writes;
    bytesWritten = 0;
    if (position > m_data.size() || data.size() > m_data.size() - position) {
        error = ENOSPC;
        return false;
    }
    CountSectors(m_sectorWrites, position, position + data.size());
    if (Touches(m_writeFaults, position, position + data.size(), error))
        return false;
    const std::uint64_t end = position + data.size();
    for (std::uint64_t at = position; at < end;) {
        const std::uint64_t sector = at / kSector;
        if (m_droppedSectors.contains(sector)) {
            at = std::min(end, (sector + 1) * kSector);
            continue;
        }
        // Up to the next dropped sector, or the end, in one copy.
        auto dropped = m_droppedSectors.upper_bound(sector);
        const std::uint64_t kept = dropped == m_droppedSectors.end() ? end : std::min(end, *dropped * kSector);
        std::copy_n(data.data() + (at - position), kept - at, m_data.data() + at);
        at = kept;
    }
    bytesWritten = static_cast<std::uint32_t>(data.size());
    position += bytesWritten;
    return true;
}

bool CMemoryVolume::FlushWith(int& error)
{
    std::lock_guard lock(m_mutex);
    const int before = m_flushes++;
    if (m_flushError == 0 || before < m_flushesBeforeError)
        return true;
    error = m_flushError;
    return false;
}

std::uint64_t CMemoryVolume::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_data.size();
}

void CMemoryVolume::Resize(std::size_t size)
{
    std::lock_guard lock(m_mutex);
    m_data.resize(size);
}

std::vector<std::byte> CMemoryVolume::Bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_data;
}

void CMemoryVolume::SetBytes(std::uint64_t offset, std::span<const std::byte> bytes)
{
    std::lock_guard lock(m_mutex);
    if (offset > m_data.size())
        return;
    std::size_t count = std::min<std::size_t>(bytes.size(), m_data.size() - offset);
    std::copy_n(bytes.data(), count, m_data.data() + offset);
}

void CMemoryVolume::FailRead(std::uint64_t sector, int error)
{
    std::lock_guard lock(m_mutex);
    m_readFaults[sector] = error;
}

void CMemoryVolume::FailWrite(std::uint64_t sector, int error)
{
    std::lock_guard lock(m_mutex);
    m_writeFaults[sector] = error;
}

void CMemoryVolume::DropWrites(std::uint64_t sector)
{
    std::lock_guard lock(m_mutex);
    m_droppedSectors.insert(sector);
}

void CMemoryVolume::FailFlush(int error, int succeeding)
{
    std::lock_guard lock(m_mutex);
    m_flushError = error;
    m_flushesBeforeError = succeeding;
}

void CMemoryVolume::OnRead(std::function<void(int reads)> hook)
{
    std::lock_guard lock(m_mutex);
    m_readHook = std::move(hook);
}

void CMemoryVolume::OnEveryRead(std::function<void(std::uint64_t sector, bool ok)> hook)
{
    std::lock_guard lock(m_mutex);
    m_everyReadHook = std::move(hook);
}

int CMemoryVolume::Reads() const
{
    std::lock_guard lock(m_mutex);
    return m_reads;
}

int CMemoryVolume::Writes() const
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

int CMemoryVolume::Flushes() const
{
    std::lock_guard lock(m_mutex);
    return m_flushes;
}

int CMemoryVolume::ReadsOfSector(std::uint64_t sector) const
{
    std::lock_guard lock(m_mutex);
    return sector < m_sectorReads.size() ? m_sectorReads[sector] : 0;
}

int CMemoryVolume::MostReadsOfASector() const
{
    std::lock_guard lock(m_mutex);
    return m_sectorReads.empty() ? 0 : *std::max_element(m_sectorReads.begin(), m_sectorReads.end());
}

int CMemoryVolume::MostWritesOfASector() const
{
    std::lock_guard lock(m_mutex);
    return m_sectorWrites.empty() ? 0 : *std::max_element(m_sectorWrites.begin(), m_sectorWrites.end());
}

int CMemoryVolume::ReadsTouchingFaults() const
{
    std::lock_guard lock(m_mutex);
    return m_readsTouchingFaults;
}

std::uint64_t CMemoryVolume::Position() const
{
    std::lock_guard lock(m_mutex);
    return m_position;
}

int CMemoryVolume::OpenHandles() const
{
    std::lock_guard lock(m_mutex);
    return m_openHandles;
}

void CMemoryVolume::CountHandle(int delta)
{
    std::lock_guard lock(m_mutex);
    m_openHandles += delta;
}

CMemoryVolume& CFaultyVolumes::Add(char letter, std::size_t size, std::uint8_t fill)
{
    std::lock_guard lock(m_mutex);
    auto& lettered = m_volumes[Upper(letter)];
    lettered = {std::make_shared<CMemoryVolume>(size, fill), 0, std::nullopt};
    return *lettered.volume;
}

CMemoryVolume& CFaultyVolumes::Share(char letter, char existing)
{
    std::lock_guard lock(m_mutex);
    CLettered shared = m_volumes.at(Upper(existing));
    m_volumes[Upper(letter)] = shared;
    return *shared.volume;
}

CMemoryVolume& CFaultyVolumes::AddRegion(char letter, char existing, std::uint64_t offset, std::uint64_t length)
{
    std::lock_guard lock(m_mutex);
    CLettered region = m_volumes.at(Upper(existing));
    region.offset += offset;
    region.length = length;
    m_volumes[Upper(letter)] = region;
    return *region.volume;
}

void CFaultyVolumes::RefuseOpen(char letter, platform::VolumeAccess access)
{
    std::lock_guard lock(m_mutex);
    m_refused.emplace_back(Upper(letter), access);
}

std::unique_ptr<platform::IVolume> CFaultyVolumes::Open(const std::string& rawName, platform::VolumeAccess access)
{
    std::lock_guard lock(m_mutex);
    m_opens.push_back({rawName, access});
    std::optional<char> letter = platform::RawVolumeLetter(rawName);
    if (!letter)
        return nullptr;
    auto volume = m_volumes.find(*letter);
    if (volume == m_volumes.end())
        return nullptr;
    if (std::find(m_refused.begin(), m_refused.end(), std::pair{*letter, access}) != m_refused.end())
        return nullptr;
    const CLettered& lettered = volume->second;
    std::uint64_t size = lettered.volume->Size();
    std::uint64_t base = std::min(lettered.offset, size);
    std::uint64_t limit = std::min(lettered.length.value_or(size - base), size - base);
    return std::make_unique<CVolumeHandle>(lettered.volume, access, base, limit);
}

void CFaultyVolumes::SetDevice(char letter, const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_devices[Upper(letter)] = path;
}

std::optional<platform::CDriveDevice> CFaultyVolumes::Device(const std::string& rawName)
{
    std::lock_guard lock(m_mutex);
    std::optional<char> letter = platform::RawVolumeLetter(rawName);
    auto device = letter ? m_devices.find(*letter) : m_devices.end();
    if (device == m_devices.end())
        return std::nullopt;
    return platform::CDriveDevice{device->second, ""};
}

std::vector<CFaultyVolumes::COpenRequest> CFaultyVolumes::Opens() const
{
    std::lock_guard lock(m_mutex);
    return m_opens;
}

}  // namespace testsupport
