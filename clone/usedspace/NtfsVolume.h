// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clone/usedspace/NtfsRecord.h"
#include "platform/volume/RawVolume.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// An NTFS volume read through its raw volume: the geometry of its boot sector, the
// records of its MFT and the values of their attributes.
namespace usedspace::ntfs {

// Well-known MFT records.
inline constexpr std::uint64_t kMftRecord = 0;
inline constexpr std::uint64_t kVolumeRecord = 3;
inline constexpr std::uint64_t kRootRecord = 5;
inline constexpr std::uint64_t kBitmapRecord = 6;

struct CGeometry {
    std::uint32_t m_sectorSize = 0;
    std::uint32_t m_clusterSize = 0;
    std::uint32_t m_recordSize = 0;
    std::uint64_t m_sectors = 0;   // the size field: the volume's sectors
    std::uint64_t m_clusters = 0;  // whole clusters in those sectors
    std::uint64_t m_mftCluster = 0;
};

// The geometry of an NTFS boot sector (its first 512 bytes) on a partition of
// partitionSize bytes; nothing when a field is out of its range, the volume is larger
// than its partition or the MFT lies outside it.
std::optional<CGeometry> ReadGeometry(std::span<const std::byte> bootSector, std::uint64_t partitionSize);

// A non-resident value: where its clusters are, and its sizes.
struct CStream {
    std::vector<CRun> m_runs;
    std::uint64_t m_allocatedSize = 0;
    std::uint64_t m_dataSize = 0;
    std::uint64_t m_initializedSize = 0;
};

// An attribute's value: its bytes when resident, else where they are.
struct CValue {
    std::vector<std::byte> m_resident;
    std::optional<CStream> m_stream;

    std::uint64_t Size() const { return m_stream ? m_stream->m_dataSize : m_resident.size(); }
};

class CNtfsVolume {
public:
    CNtfsVolume(platform::IVolume& volume, const CGeometry& geometry);

    // Reads the MFT's own record and the runs of the whole MFT. False when they cannot be
    // read or do not add up.
    bool OpenMft();
    const CGeometry& Geometry() const { return m_geometry; }
    const CStream& Mft() const { return m_mft; }

    // Record number of the MFT; nothing when it lies beyond the MFT, cannot be read or
    // is no sound record.
    std::optional<CMftRecord> ReadRecord(std::uint64_t number);

    // The value type/name (empty: unnamed) of base, record number, resident or not,
    // wherever its attribute list keeps its pieces. Nothing when base has none, or it
    // cannot be read: its pieces do not add up, or it is compressed or encrypted.
    std::optional<CValue> OpenValue(const CMftRecord& base, std::uint64_t number, std::uint32_t type,
                                    std::u16string_view name);
    // The whole of such a value when it holds at most limit bytes; nothing otherwise.
    std::optional<std::vector<std::byte>> Value(const CMftRecord& base, std::uint64_t number, std::uint32_t type,
                                                std::u16string_view name, std::uint64_t limit);
    // Reads out.size() bytes of the MFT from offset; false past its size or when the
    // volume cannot be read.
    bool ReadMft(std::uint64_t offset, std::span<std::byte> out) { return ReadStream(m_mft, offset, out); }
    // Reads out.size() bytes of value from offset: zeros past its initialized size and
    // in sparse runs. False past its size or when the volume cannot be read.
    bool Read(const CValue& value, std::uint64_t offset, std::span<std::byte> out);

private:
    struct CListEntry {
        std::uint64_t m_lowestVcn = 0;
        std::uint64_t m_reference = 0;
    };
    // The attribute list of base names type/name in these pieces; nothing when it cannot
    // be read.
    std::optional<std::vector<CListEntry>> ListEntries(const CMftRecord& base, std::uint32_t type,
                                                       std::u16string_view name);
    // Extension record reference of base record number; nothing when it is not one.
    std::optional<CMftRecord> ReadExtension(std::uint64_t reference, std::uint64_t number);
    std::optional<CStream> StreamFromList(const CMftRecord& base, std::uint64_t number, std::uint32_t type,
                                          std::u16string_view name, const std::vector<CListEntry>& entries);
    bool AppendPiece(CStream& stream, const CAttribute& piece);
    // True when stream's runs make up its allocated size and its sizes are in order.
    bool IsSound(const CStream& stream) const;
    bool ReadStream(const CStream& stream, std::uint64_t offset, std::span<std::byte> out);

    platform::IVolume& m_volume;
    CGeometry m_geometry;
    CStream m_mft;
    std::vector<std::byte> m_systemRecords;  // the first records of the MFT, once read
};

}  // namespace usedspace::ntfs
