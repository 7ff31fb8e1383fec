// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/TempMachine.h"

#include <cstdint>
#include <optional>
#include <string>

// Real NTFS images, made, filled, read and checked with the programs of ntfs-3g.
namespace testsupport {

// True when mkntfs, ntfscp, ntfscat, ntfsfix, ntfsresize and ntfs-3g.probe can be run;
// tests that need them skip otherwise.
bool NtfsToolsPresent(const CTempMachine& machine);

// How an NTFS volume is formatted: its sector size (0: the device's own, as mkntfs takes
// it from a block device), the bytes it covers (0: the whole partition) and its clusters.
struct CNtfsFormat {
    unsigned bytesPerSector = 512;
    std::uint64_t volumeBytes = 0;
    unsigned clusterBytes = 4096;
};

// A sparse image file of size bytes formatted NTFS, as a partition of that size.
bool MakeNtfsImage(const CTempMachine& machine, const std::string& path, std::uint64_t size,
                   const CNtfsFormat& format = {});
// Formats the image file or block device at path NTFS.
bool FormatNtfs(const CTempMachine& machine, const std::string& path, const CNtfsFormat& format = {});

// Stores content as the file name in the root folder of image.
bool PutNtfsFile(const CTempMachine& machine, const std::string& image, const std::string& name,
                 const std::string& content);

// The file name in the root folder of image, read even from a volume marked for a check.
std::optional<std::string> ReadNtfsFile(const CTempMachine& machine, const std::string& image,
                                        const std::string& name);

// The size-field list of image's boot sector as the volume probe writes it
// ("255,255,2,0,0,0,0,0"), and the sector count it stands for.
std::string SizeFieldList(const std::string& image);
std::uint64_t SizeFieldSectors(const std::string& image);

// The 512-byte sector of image where its $MFT (or the mirror of its first records,
// $MFTMirr) begins, as its boot sector says.
std::uint64_t NtfsMftSector(const std::string& image, bool mirror = false);

// count bytes of path from offset; fewer at its end.
std::string ReadBytes(const std::string& path, std::uint64_t offset, std::size_t count);

// An NTFS image mounted read-write with ntfs-3g (FUSE) at mountPoint for the life of the
// object; unmounting waits until ntfs-3g has let go of the image. Available() is false
// where this machine has no FUSE; Mounted() tells whether a read-write mount came up.
class CNtfsMount {
public:
    CNtfsMount(const CTempMachine& machine, const std::string& image, const std::string& mountPoint);
    ~CNtfsMount();
    CNtfsMount(const CNtfsMount&) = delete;
    CNtfsMount& operator=(const CNtfsMount&) = delete;

    static bool Available();
    bool Mounted() const { return m_mounted; }
    // ntfs-3g's messages, for a failed mount.
    const std::string& Messages() const { return m_messages; }

private:
    const CTempMachine& m_machine;
    std::string m_image;
    std::string m_mountPoint;
    bool m_mounted = false;
    std::string m_messages;
};

}  // namespace testsupport
