// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/volume/RawVolume.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

// A volume held in memory, with the contract of a raw volume: short read only at the
// end, writes never past the end (ENOSPC), a failed transfer leaves the position where
// it started. Chosen 512-byte sectors fail reads or writes with a chosen errno; a
// transfer touching one of them fails whole and moves no byte, with the errno of the last
// faulty sector it touches (a single-sector transfer alone tells a sector's own errno).
// Other chosen sectors lie: a write to them succeeds and keeps nothing of them.
// It counts how often each sector was read and written, to tell what a failing disk would
// suffer. Safe to inspect from the test's thread while another thread uses it. Each one
// is a storage of its own.
class CMemoryVolume : public platform::IVolume {
public:
    explicit CMemoryVolume(std::size_t size, std::uint8_t fill = 0);

    void Rewind() override;
    void Move(std::int64_t delta) override;
    bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) override;
    bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override;
    bool Flush() override;
    // The size now: a memory volume used directly sees its own changes of size.
    std::uint64_t Size() const override;
    int LastError() const override;
    platform::CVolumeExtent Extent() const override;

    // The same operations at a position kept by the caller; handles opened through
    // CFaultyVolumes use these, so each has its own position like an opened device.
    bool ReadAt(std::uint64_t& position, std::span<std::byte> buffer, std::uint32_t& bytesRead, int& error);
    bool WriteAt(std::uint64_t& position, std::span<const std::byte> data, std::uint32_t& bytesWritten,
                 int& error);
    bool FlushWith(int& error);

    // The volume's contents.
    std::vector<std::byte> Bytes() const;
    void SetBytes(std::uint64_t offset, std::span<const std::byte> bytes);
    // Cuts the volume short or lengthens it with zeros, as when an image file is
    // truncated under an open handle.
    void Resize(std::size_t size);

    // Faults: sector is the byte offset / 512.
    void FailRead(std::uint64_t sector, int error = EIO);
    void FailWrite(std::uint64_t sector, int error = EIO);
    // Writes that touch sector succeed, and sector keeps what it held, as on a failing
    // disk, a bridge that drops its cache or a drive that claims more than it holds.
    void DropWrites(std::uint64_t sector);
    // Every flush after the first succeeding ones fails.
    void FailFlush(int error = EIO, int succeeding = 0);
    // Called after every successful read with the number of reads so far (a test may,
    // for instance, ask the clone to stop there).
    void OnRead(std::function<void(int reads)> hook);
    // Called after every read, failed ones included, with the sector it began at and
    // whether it succeeded (a test may press Cancel at each point of a failed run).
    void OnEveryRead(std::function<void(std::uint64_t sector, bool ok)> hook);

    // What was done: calls made (failed ones included), the position of this object,
    // and the handles opened through CFaultyVolumes that are still open.
    int Reads() const;
    int Writes() const;
    int Flushes() const;
    // How often transfers, failed ones included, touched sector; the most of any sector;
    // the reads that touched a sector that fails reads.
    int ReadsOfSector(std::uint64_t sector) const;
    int MostReadsOfASector() const;
    int MostWritesOfASector() const;
    int ReadsTouchingFaults() const;
    std::uint64_t Position() const;
    int OpenHandles() const;

private:
    friend class CVolumeHandle;
    void CountHandle(int delta);
    bool Touches(const std::map<std::uint64_t, int>& faults, std::uint64_t begin, std::uint64_t end,
                 int& error) const;
    static void CountSectors(std::vector<int>& counts, std::uint64_t begin, std::uint64_t end);

    mutable std::mutex m_mutex;
    std::vector<std::byte> m_data;
    std::map<std::uint64_t, int> m_readFaults;
    std::map<std::uint64_t, int> m_writeFaults;
    std::set<std::uint64_t> m_droppedSectors;
    int m_flushError = 0;
    int m_flushesBeforeError = 0;
    std::function<void(int)> m_readHook;
    std::function<void(std::uint64_t, bool)> m_everyReadHook;
    int m_reads = 0;
    int m_writes = 0;
    int m_flushes = 0;
    std::vector<int> m_sectorReads;
    std::vector<int> m_sectorWrites;
    int m_readsTouchingFaults = 0;
    int m_openHandles = 0;
    std::uint64_t m_position = 0;
    int m_lastError = 0;
};

// An IVolumeOpener over memory volumes: "\\.\X:" opens the volume added for X. Each
// open gets its own handle (and position) on the shared volume, which only reads when
// opened for reading and only writes when opened for writing; a handle reopened uncached
// is another handle for reading. Records every open asked.
class CFaultyVolumes : public platform::IVolumeOpener {
public:
    struct COpenRequest {
        std::string rawName;
        platform::VolumeAccess access;
    };

    // Adds (or replaces) the volume of letter and returns it for the test to set up and
    // inspect; it lives as long as this object or a handle on it.
    CMemoryVolume& Add(char letter, std::size_t size, std::uint8_t fill = 0);
    // Gives letter the volume of existing (which must have one): two letters for one
    // partition.
    CMemoryVolume& Share(char letter, char existing);
    // Gives letter the bytes [offset, offset + length) of the volume of existing, as a
    // partition inside a disk; opens of it see only those bytes.
    CMemoryVolume& AddRegion(char letter, char existing, std::uint64_t offset, std::uint64_t length);
    // Makes opens of letter with that access fail.
    void RefuseOpen(char letter, platform::VolumeAccess access);
    // Tells path (a real device or image file) as the device of letter, for the checks
    // that look at the device itself; its volume stays the memory one.
    void SetDevice(char letter, const std::string& path);

    std::unique_ptr<platform::IVolume> Open(const std::string& rawName, platform::VolumeAccess access) override;
    std::optional<platform::CDriveDevice> Device(const std::string& rawName) override;

    std::vector<COpenRequest> Opens() const;

private:
    struct CLettered {
        std::shared_ptr<CMemoryVolume> volume;
        std::uint64_t offset = 0;
        std::optional<std::uint64_t> length;  // nothing: to the end of the volume
    };

    mutable std::mutex m_mutex;
    std::map<char, CLettered> m_volumes;
    std::vector<std::pair<char, platform::VolumeAccess>> m_refused;
    std::map<char, std::string> m_devices;
    std::vector<COpenRequest> m_opens;
};

}  // namespace testsupport
