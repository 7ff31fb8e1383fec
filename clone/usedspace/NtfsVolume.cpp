// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsVolume.h"

#include "clone/usedspace/VolumeBytes.h"
#include "platform/volume/SectorSize.h"
#include "probe/BootSector.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace usedspace::ntfs {

namespace {

constexpr std::size_t kSectorSizeField = 11;
constexpr std::size_t kClusterField = 13;  // sectors per cluster, or a shift above 128
constexpr std::size_t kMftClusterField = 48;
constexpr std::size_t kRecordSizeField = 64;  // clusters per record, or a shift when negative
constexpr std::uint32_t kLargestCluster = 2 << 20;
constexpr std::uint32_t kLargestRecord = 64 << 10;
// The records that every NTFS volume has (the system files up to $Extend and reserved ones).
constexpr std::uint64_t kSystemRecords = 16;
// An attribute list is at most 256 KiB.
constexpr std::uint64_t kLargestAttributeList = 256 << 10;
constexpr std::size_t kListEntryHeader = 26;

std::uint64_t StreamEnd(const CStream& stream)
{
    return stream.m_runs.empty() ? 0 : stream.m_runs.back().m_vcn + stream.m_runs.back().m_length;
}

}  // namespace

std::optional<CGeometry> ReadGeometry(std::span<const std::byte> boot, std::uint64_t partitionSize)
{
    if (boot.size() < platform::kSectorSize || std::memcmp(boot.data() + bootsector::kNtfsSignature, "NTFS", 4) != 0 ||
        Le16(boot, 510) != 0xAA55)
        return std::nullopt;
    CGeometry g;
    g.m_sectorSize = Le16(boot, kSectorSizeField);
    if (g.m_sectorSize < platform::kSectorSize || g.m_sectorSize > 4096 || !std::has_single_bit(g.m_sectorSize))
        return std::nullopt;
    unsigned perCluster = std::to_integer<unsigned>(boot[kClusterField]);
    std::uint64_t cluster = perCluster <= 128 ? std::uint64_t{g.m_sectorSize} * perCluster
                                              : std::uint64_t{1} << std::min(256 - perCluster, 32u);
    if (cluster < g.m_sectorSize || cluster > kLargestCluster || !std::has_single_bit(cluster))
        return std::nullopt;
    g.m_clusterSize = static_cast<std::uint32_t>(cluster);
    auto recordField = static_cast<std::int8_t>(std::to_integer<unsigned>(boot[kRecordSizeField]));
    std::uint64_t record = recordField > 0 ? cluster * static_cast<std::uint64_t>(recordField)
                                           : std::uint64_t{1} << std::min(-recordField, 32);
    if (record < kStride || record > kLargestRecord || !std::has_single_bit(record))
        return std::nullopt;
    g.m_recordSize = static_cast<std::uint32_t>(record);
    g.m_sectors = Le64(boot, bootsector::kNtfsTotalSectors);
    if (g.m_sectors == 0 || g.m_sectors > partitionSize / g.m_sectorSize)
        return std::nullopt;
    g.m_clusters = g.m_sectors / (cluster / g.m_sectorSize);
    g.m_mftCluster = Le64(boot, kMftClusterField);
    if (g.m_clusters == 0 || g.m_mftCluster >= g.m_clusters)
        return std::nullopt;
    return g;
}

CNtfsVolume::CNtfsVolume(platform::IVolume& volume, const CGeometry& geometry)
    : m_volume(volume), m_geometry(geometry)
{
}

bool CNtfsVolume::OpenMft()
{
    // The MFT's own record is its first one, where the boot sector says the MFT starts.
    std::vector<std::byte> bytes(m_geometry.m_recordSize);
    if (!ReadVolumeAt(m_volume, m_geometry.m_mftCluster * m_geometry.m_clusterSize, bytes))
        return false;
    std::optional<CMftRecord> record = CMftRecord::Parse(std::move(bytes), kMftRecord);
    if (!record || !record->InUse())
        return false;
    const CAttribute* first = record->Find(kData, u"");
    if (first == nullptr || !first->m_nonResident)
        return false;
    m_mft = CStream{{}, first->m_allocatedSize, first->m_dataSize, first->m_initializedSize};
    if (!AppendPiece(m_mft, *first))
        return false;
    // A fragmented MFT keeps further runs in extension records, which lie in its first
    // piece; the first piece alone reads them.
    if (record->Has(kAttributeList)) {
        std::optional<std::vector<CListEntry>> entries = ListEntries(*record, kData, u"");
        std::optional<CStream> whole;
        if (entries)
            whole = StreamFromList(*record, kMftRecord, kData, u"", *entries);
        if (!whole)
            return false;
        m_mft = std::move(*whole);
    }
    bool sparse = std::any_of(m_mft.m_runs.begin(), m_mft.m_runs.end(), [](const CRun& r) { return r.m_sparse; });
    // Runs that give the same clusters over and over would have the MFT read round the
    // volume as many times: it cannot be larger than its volume.
    return !sparse && IsSound(m_mft) && StreamEnd(m_mft) <= m_geometry.m_clusters &&
           m_mft.m_runs.front().m_lcn == m_geometry.m_mftCluster && m_mft.m_initializedSize == m_mft.m_dataSize &&
           m_mft.m_dataSize / m_geometry.m_recordSize >= kSystemRecords;
}

std::optional<CMftRecord> CNtfsVolume::ReadRecord(std::uint64_t number)
{
    const std::size_t size = m_geometry.m_recordSize;
    if (number >= m_mft.m_dataSize / size)
        return std::nullopt;
    // The system files' records are read together, in one request to the device.
    if (number < kSystemRecords && m_systemRecords.empty()) {
        m_systemRecords.resize(kSystemRecords * size);
        if (!ReadStream(m_mft, 0, m_systemRecords)) {
            m_systemRecords.clear();
            return std::nullopt;
        }
    }
    std::vector<std::byte> bytes(size);
    if (number < kSystemRecords)
        std::copy_n(m_systemRecords.begin() + static_cast<std::ptrdiff_t>(number * size), size, bytes.begin());
    else if (!ReadStream(m_mft, number * size, bytes))
        return std::nullopt;
    return CMftRecord::Parse(std::move(bytes), number);
}

std::optional<CMftRecord> CNtfsVolume::ReadExtension(std::uint64_t reference, std::uint64_t number)
{
    std::optional<CMftRecord> extension = ReadRecord(RecordNumber(reference));
    if (!extension || !extension->InUse() || extension->BaseRecord() != number ||
        extension->Sequence() != RecordSequence(reference))
        return std::nullopt;
    return extension;
}

bool CNtfsVolume::AppendPiece(CStream& stream, const CAttribute& piece)
{
    if (!piece.m_nonResident || (piece.m_flags & kCompressedOrEncrypted) != 0 || piece.m_lowestVcn != StreamEnd(stream))
        return false;
    std::optional<std::vector<CRun>> runs = DecodeRuns(piece, m_geometry.m_clusters);
    if (!runs)
        return false;
    stream.m_runs.insert(stream.m_runs.end(), runs->begin(), runs->end());
    return true;
}

bool CNtfsVolume::IsSound(const CStream& stream) const
{
    return stream.m_allocatedSize == StreamEnd(stream) * m_geometry.m_clusterSize &&
           stream.m_dataSize <= stream.m_allocatedSize && stream.m_initializedSize <= stream.m_dataSize;
}

std::optional<std::vector<CNtfsVolume::CListEntry>> CNtfsVolume::ListEntries(const CMftRecord& base,
                                                                             std::uint32_t type,
                                                                             std::u16string_view name)
{
    // The list itself is always in the base record, in one piece.
    const CAttribute* list = base.Find(kAttributeList, u"");
    if (list == nullptr)
        return std::nullopt;
    std::vector<std::byte> bytes(list->m_value.begin(), list->m_value.end());
    if (list->m_nonResident) {
        CStream stream{{}, list->m_allocatedSize, list->m_dataSize, list->m_initializedSize};
        if (!AppendPiece(stream, *list) || !IsSound(stream) || stream.m_dataSize > kLargestAttributeList)
            return std::nullopt;
        bytes.resize(static_cast<std::size_t>(stream.m_dataSize));
        if (!ReadStream(stream, 0, bytes))
            return std::nullopt;
    }
    std::span<const std::byte> l = bytes;
    std::vector<CListEntry> entries;
    for (std::size_t at = 0; l.size() - at >= kListEntryHeader;) {
        std::size_t length = Le16(l, at + 4);
        std::size_t nameLength = std::to_integer<std::size_t>(l[at + 6]);
        std::size_t nameOffset = std::to_integer<std::size_t>(l[at + 7]);
        if (length < kListEntryHeader || length > l.size() - at || nameOffset + 2 * nameLength > length)
            return std::nullopt;
        std::span<const std::byte> entry = l.subspan(at, length);
        at += length;
        if (Le32(entry, 0) == type && Utf16Name(entry, nameOffset, nameLength) == name)
            entries.push_back({Le64(entry, 8), Le64(entry, 16)});
    }
    return entries;
}

std::optional<CStream> CNtfsVolume::StreamFromList(const CMftRecord& base, std::uint64_t number, std::uint32_t type,
                                                   std::u16string_view name, const std::vector<CListEntry>& entries)
{
    if (entries.empty())
        return std::nullopt;
    CStream stream;
    for (const CListEntry& entry : entries) {
        std::optional<CMftRecord> extension;
        const CMftRecord* holder = &base;
        if (RecordNumber(entry.m_reference) != number) {
            extension = ReadExtension(entry.m_reference, number);
            if (!extension)
                return std::nullopt;
            holder = &*extension;
        }
        const CAttribute* piece = holder->Find(type, name, entry.m_lowestVcn);
        if (piece == nullptr)
            return std::nullopt;
        if (entry.m_lowestVcn == 0) {
            stream.m_allocatedSize = piece->m_allocatedSize;
            stream.m_dataSize = piece->m_dataSize;
            stream.m_initializedSize = piece->m_initializedSize;
        }
        if (!AppendPiece(stream, *piece))
            return std::nullopt;
    }
    return stream;
}

std::optional<CValue> CNtfsVolume::OpenValue(const CMftRecord& base, std::uint64_t number, std::uint32_t type,
                                             std::u16string_view name)
{
    std::optional<std::vector<CListEntry>> entries;
    std::optional<CMftRecord> extension;
    const CMftRecord* holder = &base;
    if (type != kAttributeList && base.Has(kAttributeList)) {
        // The list names the record of every piece, the first one's included.
        entries = ListEntries(base, type, name);
        if (!entries || entries->empty() || entries->front().m_lowestVcn != 0)
            return std::nullopt;
        if (RecordNumber(entries->front().m_reference) != number) {
            extension = ReadExtension(entries->front().m_reference, number);
            if (!extension)
                return std::nullopt;
            holder = &*extension;
        }
    }
    const CAttribute* first = holder->Find(type, name);
    if (first == nullptr)
        return std::nullopt;
    if (!first->m_nonResident)
        return CValue{std::vector<std::byte>(first->m_value.begin(), first->m_value.end()), std::nullopt};
    std::optional<CStream> stream;
    if (entries) {
        stream = StreamFromList(base, number, type, name, *entries);
    } else {
        stream = CStream{{}, first->m_allocatedSize, first->m_dataSize, first->m_initializedSize};
        if (!AppendPiece(*stream, *first))
            return std::nullopt;
    }
    if (!stream || !IsSound(*stream))
        return std::nullopt;
    return CValue{{}, std::move(stream)};
}

std::optional<std::vector<std::byte>> CNtfsVolume::Value(const CMftRecord& base, std::uint64_t number,
                                                         std::uint32_t type, std::u16string_view name,
                                                         std::uint64_t limit)
{
    std::optional<CValue> value = OpenValue(base, number, type, name);
    if (!value || value->Size() > limit)
        return std::nullopt;
    std::vector<std::byte> bytes(static_cast<std::size_t>(value->Size()));
    if (!Read(*value, 0, bytes))
        return std::nullopt;
    return bytes;
}

bool CNtfsVolume::Read(const CValue& value, std::uint64_t offset, std::span<std::byte> out)
{
    if (value.m_stream)
        return ReadStream(*value.m_stream, offset, out);
    if (offset > value.m_resident.size() || out.size() > value.m_resident.size() - offset)
        return false;
    std::copy_n(value.m_resident.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

bool CNtfsVolume::ReadStream(const CStream& stream, std::uint64_t offset, std::span<std::byte> out)
{
    if (offset > stream.m_dataSize || out.size() > stream.m_dataSize - offset)
        return false;
    const std::uint64_t cluster = m_geometry.m_clusterSize;
    for (std::size_t done = 0; done < out.size();) {
        std::uint64_t at = offset + done;
        std::span<std::byte> rest = out.subspan(done);
        if (at >= stream.m_initializedSize) {
            std::fill(rest.begin(), rest.end(), std::byte{0});
            break;
        }
        std::uint64_t vcn = at / cluster;
        auto run = std::upper_bound(stream.m_runs.begin(), stream.m_runs.end(), vcn,
                                    [](std::uint64_t v, const CRun& r) { return v < r.m_vcn; });
        if (run == stream.m_runs.begin())
            return false;
        --run;
        if (vcn - run->m_vcn >= run->m_length)
            return false;
        std::uint64_t runEnd = (run->m_vcn + run->m_length) * cluster;
        std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>({rest.size(), runEnd - at, stream.m_initializedSize - at}));
        std::span<std::byte> part = rest.first(count);
        if (run->m_sparse)
            std::fill(part.begin(), part.end(), std::byte{0});
        else if (!ReadVolumeAt(m_volume, run->m_lcn * cluster + (at - run->m_vcn * cluster), part))
            return false;
        done += count;
    }
    return true;
}

}  // namespace usedspace::ntfs
