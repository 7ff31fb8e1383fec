// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveLetters.h"

#include "platform/volume/VolumeExtent.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// Raw volumes: a partition (or a file standing in for one) named "\\.\X:" and addressed
// as a flat run of bytes with a current position.
namespace platform {

enum class VolumeAccess { Read, Write };

class IVolume {
public:
    virtual ~IVolume() = default;  // closes the volume

    // Sets the position to byte 0.
    virtual void Rewind() = 0;
    // Moves the position by delta bytes from where it is; a move that would go before
    // byte 0 leaves the position where it is. Moving past the end is allowed.
    virtual void Move(std::int64_t delta) = 0;
    // Reads up to buffer.size() bytes at the position. True with bytesRead < size only at
    // the end of the volume (0 when the position is at or past the end). False on an
    // error, with LastError() set, bytesRead 0 and the position where the read started.
    virtual bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) = 0;
    // Writes all of data at the position. False on an error, with LastError() set,
    // bytesWritten 0 and the position where the write started. A write that would reach
    // past the end of the volume fails whole with ENOSPC and writes nothing.
    virtual bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) = 0;
    // Makes every byte written so far durable on the device. False with LastError() set;
    // EBUSY when a loop device has been attached over the volume since it was opened.
    virtual bool Flush() = 0;
    // The volume's size in bytes when it was opened; reads end there even if it grows.
    virtual std::uint64_t Size() const = 0;
    // The errno of the last failed call.
    virtual int LastError() const = 0;
    // Where the volume's bytes are, found when it was opened.
    virtual CVolumeExtent Extent() const = 0;
    // The open file of the volume, for the platform to hand it to a program
    // (SharedVolume.h); -1 for a volume that is no file.
    virtual int Descriptor() const { return -1; }
    // A second handle on the same bytes, for reading only, at byte 0 and of the same Size(),
    // whose reads come from the device or file itself, never from pages a cache kept of
    // what was read or written through this one: a copy is proven by what its medium
    // gives back. Nothing when it cannot be opened, with errno telling why (EBADF for a
    // volume that is no file).
    virtual std::unique_ptr<IVolume> ReopenUncached() const;
};

// Opens volumes by their raw names; the engine and the probe take one, so tests can
// hand in doubles.
class IVolumeOpener {
public:
    virtual ~IVolumeOpener() = default;
    // Nothing on failure (no such letter, no device, no permission, destination busy).
    virtual std::unique_ptr<IVolume> Open(const std::string& rawName, VolumeAccess access) = 0;
    // The device or image file that the volume named rawName is opened from, with its
    // letter's fingerprint, looked up without opening it (to tell why an open failed, or to
    // hand the volume to a tool); nothing when there is none or it cannot be told.
    virtual std::optional<CDriveDevice> Device([[maybe_unused]] const std::string& rawName) { return std::nullopt; }
};

// The machine's raw volumes: "\\.\X:" resolved through the drive-letter table. The
// destination (Write) is opened exclusively.
IVolumeOpener& RawVolumes();

// The raw volumes of a clone at boot: letters resolved through the stored table alone,
// since udev may not have named every other device yet (a letter's device found under
// another kernel name by its fingerprint is used there), and the source claimed
// exclusively as well as the destination (O_EXCL on a block device), so that no one can
// mount either partition while it is copied.
IVolumeOpener& BootVolumes();

// The raw name of a drive: "C:" gives "\\.\C:".
std::string RawVolumeName(const std::string& drive);

// The drive letter (upper case) of a raw name "\\.\X:"; nothing for any other name.
std::optional<char> RawVolumeLetter(const std::string& rawName);

// A buffer for volume transfers, aligned to a page for direct I/O and zero-filled.
// IsValid() is false when the memory could not be had.
class CVolumeBuffer {
public:
    explicit CVolumeBuffer(std::size_t size);
    ~CVolumeBuffer();
    CVolumeBuffer(const CVolumeBuffer&) = delete;
    CVolumeBuffer& operator=(const CVolumeBuffer&) = delete;

    bool IsValid() const { return m_data != nullptr; }
    std::span<std::byte> Bytes() { return {m_data, m_size}; }

private:
    std::byte* m_data;
    std::size_t m_size;
};

}  // namespace platform
