// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/FileDescriptor.h"
#include "platform/volume/LoopClaims.h"
#include "platform/volume/RawVolume.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A block device or an image file standing in for a partition, opened as a raw volume.
// Its size is fixed at open: a file never grows. With direct I/O, sector-aligned
// transfers bypass the page cache (through an aligned bounce buffer when the caller's
// is not aligned); other transfers go through the page cache, with the same result.
class CDeviceVolume : public IVolume {
public:
    // loops: the claims on the loop devices over the volume, held as long as it is open.
    CDeviceVolume(CFd file, std::uint64_t size, bool direct, CVolumeExtent extent, CLoopClaims loops = {});

    void Rewind() override;
    void Move(std::int64_t delta) override;
    bool Read(std::span<std::byte> buffer, std::uint32_t& bytesRead) override;
    bool Write(std::span<const std::byte> data, std::uint32_t& bytesWritten) override;
    bool Flush() override;
    std::uint64_t Size() const override;
    int LastError() const override;
    CVolumeExtent Extent() const override;
    int Descriptor() const override;

private:
    // Each returns 0 or the errno; a read sets done to the bytes really read.
    int ReadAt(std::byte* data, std::size_t size, std::size_t& done);
    int WriteAt(const std::byte* data, std::size_t size);
    int ReadBounced(std::byte* data, std::size_t size, std::size_t& done);
    int WriteBounced(const std::byte* data, std::size_t size);
    bool SectorAligned(std::size_t size) const;
    std::byte* Bounce();
    bool Fail(int error);

    CFd m_file;
    std::uint64_t m_size;
    bool m_direct;
    CVolumeExtent m_extent;
    CLoopClaims m_loops;
    std::unique_ptr<CVolumeBuffer> m_bounce;
    std::uint64_t m_position = 0;
    int m_lastError = 0;
};

// How a block device opened for reading is shared: with anyone, or claimed (O_EXCL), so
// that it fails while mounted and no one can mount it while it is open.
enum class ReadClaim { Shared, Exclusive };

// Opens a block device or image file as a raw volume: a destination (Write) exclusively
// (O_EXCL on a block device, an exclusive lock on a file), direct I/O on block devices
// with 512-byte logical sectors. With a fingerprint, only the device that still has it
// (ENXIO for another one found under the path). A destination, and a source claimed
// exclusively, also claims every loop device over it; one that is in use fails the open
// with EBUSY, and so does a destination that is a whole disk holding partitions or an
// extended partition's container (VolumeShape.h). Nothing on failure, with errno telling
// why.
std::unique_ptr<IVolume> OpenVolumeFile(const std::string& path, VolumeAccess access,
                                        const std::string& fingerprint = "", ReadClaim claim = ReadClaim::Shared);

}  // namespace platform
