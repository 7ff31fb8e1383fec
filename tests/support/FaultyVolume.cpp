#include "tests/support/FaultyVolume.h"

#include <algorithm>
#include <cctype>

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

// One open of a memory volume, with its own position and error. Like a raw volume it
// reads only when opened for reading and writes only when opened for writing (EBADF).
class CVolumeHandle : public platform::IVolume {
public:
    CVolumeHandle(std::shared_ptr<CMemoryVolume> volume, platform::VolumeAccess access)
        : m_volume(std::move(volume)), m_access(access), m_size(m_volume->Size())
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
        return m_volume->ReadAt(m_position, buffer, bytesRead, m_lastError);
    }
    bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override
    {
        bytesWritten = 0;
        if (m_access != platform::VolumeAccess::Write)
            return Fail(EBADF);
        return m_volume->WriteAt(m_position, data, bytesWritten, m_lastError);
    }
    bool Flush() override { return m_volume->FlushWith(m_lastError); }
    std::uint64_t Size() const override { return m_size; }
    int LastError() const override { return m_lastError; }

private:
    bool Fail(int error)
    {
        m_lastError = error;
        return false;
    }

    std::shared_ptr<CMemoryVolume> m_volume;
    platform::VolumeAccess m_access;
    std::uint64_t m_size;  // at open, as a device reports it
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

bool CMemoryVolume::Touches(const std::map<std::uint64_t, int>& faults, std::uint64_t begin, std::uint64_t end,
                            int& error) const
{
    if (begin == end)
        return false;
    auto fault = faults.lower_bound(begin / kSector);
    if (fault == faults.end() || fault->first > (end - 1) / kSector)
        return false;
    error = fault->second;
    return true;
}

bool CMemoryVolume::ReadAt(std::uint64_t& position, std::span<std::byte> buffer, std::uint32_t& bytesRead,
                           int& error)
{
    std::function<void(int)> hook;
    int reads = 0;
    {
        std::lock_guard lock(m_mutex);
        reads = ++m_reads;
        bytesRead = 0;
        std::uint64_t begin = std::min<std::uint64_t>(position, m_data.size());
        std::uint64_t end = std::min<std::uint64_t>(begin + buffer.size(), m_data.size());
        if (Touches(m_readFaults, begin, end, error))
            return false;
        std::copy_n(m_data.data() + begin, end - begin, buffer.data());
        bytesRead = static_cast<std::uint32_t>(end - begin);
        position += bytesRead;
        hook = m_readHook;
    }
    if (hook)
        hook(reads);
    return true;
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
    if (Touches(m_writeFaults, position, position + data.size(), error))
        return false;
    std::copy_n(data.data(), data.size(), m_data.data() + position);
    bytesWritten = static_cast<std::uint32_t>(data.size());
    position += bytesWritten;
    return true;
}

bool CMemoryVolume::FlushWith(int& error)
{
    std::lock_guard lock(m_mutex);
    ++m_flushes;
    if (m_flushError == 0)
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

void CMemoryVolume::FailFlush(int error)
{
    std::lock_guard lock(m_mutex);
    m_flushError = error;
}

void CMemoryVolume::OnRead(std::function<void(int reads)> hook)
{
    std::lock_guard lock(m_mutex);
    m_readHook = std::move(hook);
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
    auto& volume = m_volumes[Upper(letter)];
    volume = std::make_shared<CMemoryVolume>(size, fill);
    return *volume;
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
    return std::make_unique<CVolumeHandle>(volume->second, access);
}

std::vector<CFaultyVolumes::COpenRequest> CFaultyVolumes::Opens() const
{
    std::lock_guard lock(m_mutex);
    return m_opens;
}

}  // namespace testsupport
