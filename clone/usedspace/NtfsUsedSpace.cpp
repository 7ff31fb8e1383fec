// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsHiberfile.h"
#include "clone/usedspace/NtfsJournal.h"
#include "clone/usedspace/NtfsVolume.h"
#include "clone/usedspace/UsedSpace.h"
#include "clone/usedspace/VolumeBytes.h"
#include "probe/BootSector.h"

#include <algorithm>

namespace usedspace {

namespace {

using namespace ntfs;

constexpr std::uint16_t kVolumeIsDirty = 0x0001;
constexpr std::size_t kVolumeFlags = 10;  // in the $VOLUME_INFORMATION value
constexpr std::size_t kBitmapChunk = 1 << 20;
constexpr std::size_t kMftChunk = 1 << 20;
// $MFTMirr, $LogFile, $AttrDef, $Boot and $UpCase.
constexpr std::uint64_t kSystemFilesWithData[] = {1, 2, 4, 7, 10};

// True when the volume is marked for a check; nothing when $Volume cannot be read.
std::optional<bool> MarkedForCheck(CNtfsVolume& ntfs)
{
    std::optional<CMftRecord> record = ntfs.ReadRecord(kVolumeRecord);
    std::optional<std::vector<std::byte>> information;
    if (record && record->InUse())
        information = ntfs.Value(*record, kVolumeRecord, kVolumeInformation, u"", ntfs.Geometry().m_recordSize);
    if (!information || information->size() < kVolumeFlags + 2)
        return std::nullopt;
    return (Le16(*information, kVolumeFlags) & kVolumeIsDirty) != 0;
}

// Adds the clusters that bitmap marks as used, one bit per cluster from cluster 0. False
// when the bitmap cannot be read.
bool AddUsedClusters(CNtfsVolume& ntfs, const CValue& bitmap, CByteRanges& ranges)
{
    const std::uint64_t clusters = ntfs.Geometry().m_clusters;
    const std::uint64_t size = ntfs.Geometry().m_clusterSize;
    const std::uint64_t bytes = (clusters + 7) / 8;
    std::vector<std::byte> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kBitmapChunk, bytes)));
    std::uint64_t runStart = 0;
    bool inRun = false;
    for (std::uint64_t at = 0; at < bytes; at += chunk.size()) {
        std::span<std::byte> part = std::span(chunk).first(static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at)));
        if (!ntfs.Read(bitmap, at, part))
            return false;
        for (std::size_t i = 0; i < part.size(); ++i) {
            unsigned byte = std::to_integer<unsigned>(part[i]);
            if ((byte == 0xFF && inRun) || (byte == 0 && !inRun))
                continue;
            for (unsigned bit = 0; bit < 8; ++bit) {
                std::uint64_t cluster = (at + i) * 8 + bit;
                bool used = (byte >> bit & 1) != 0;
                if (cluster >= clusters || used == inRun)
                    continue;
                if (used)
                    runStart = cluster;
                else
                    ranges.Add(runStart * size, (cluster - runStart) * size);
                inRun = used;
            }
        }
    }
    if (inRun)
        ranges.Add(runStart * size, (clusters - runStart) * size);
    return true;
}

// True when every cluster of stream is in ranges.
bool Covers(const CByteRanges& ranges, const CStream& stream, std::uint64_t clusterSize)
{
    return std::all_of(stream.m_runs.begin(), stream.m_runs.end(), [&](const CRun& run) {
        return run.m_sparse || ranges.Contains(run.m_lcn * clusterSize, run.m_length * clusterSize);
    });
}

// Nothing when every cluster that a record in use gives to an attribute is in ranges,
// else why not. A $Bitmap that left a file's clusters free would have the copy lose them;
// the whole MFT is read for that, a chunk at a time.
std::optional<const char*> UncoveredFiles(CNtfsVolume& ntfs, const CByteRanges& ranges)
{
    const CGeometry& geometry = ntfs.Geometry();
    const std::uint64_t mftBytes = ntfs.Mft().m_dataSize / geometry.m_recordSize * geometry.m_recordSize;
    // Records are at most 64 KiB, powers of two: a chunk holds whole ones.
    std::vector<std::byte> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kMftChunk, mftBytes)));
    for (std::uint64_t at = 0; at < mftBytes; at += chunk.size()) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), mftBytes - at));
        std::span<std::byte> part = std::span(chunk).first(size);
        if (!ntfs.ReadMft(at, part))
            return kMftUnreadable;
        for (std::size_t offset = 0; offset < part.size(); offset += geometry.m_recordSize) {
            std::span<const std::byte> bytes = part.subspan(offset, geometry.m_recordSize);
            // A record never written, or torn, holds nothing the file system can read.
            std::optional<CMftRecord> record =
                CMftRecord::Parse({bytes.begin(), bytes.end()}, (at + offset) / geometry.m_recordSize);
            if (!record || !record->InUse())
                continue;
            for (const CAttribute& attribute : record->Attributes()) {
                if (!attribute.m_nonResident)
                    continue;
                std::optional<std::vector<CRun>> runs = DecodeRuns(attribute, geometry.m_clusters);
                if (!runs)
                    return kFileRunsUnsound;
                if (!Covers(ranges, CStream{std::move(*runs)}, geometry.m_clusterSize))
                    return kBitmapMissesFiles;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

CUsedSpace MapNtfsUsedSpace(platform::IVolume& source, std::span<const std::byte> boot, std::uint64_t joinGap)
{
    std::optional<CGeometry> geometry = ReadGeometry(boot, source.Size());
    if (!geometry)
        return CUsedSpace::Refused(kNtfsBootSectorUnsound);
    CNtfsVolume ntfs(source, *geometry);
    if (!ntfs.OpenMft())
        return CUsedSpace::Refused(kMftUnreadable);

    std::optional<bool> marked = MarkedForCheck(ntfs);
    if (!marked)
        return CUsedSpace::Refused(kVolumeRecordUnreadable);
    if (*marked)
        return CUsedSpace::Refused(kNtfsMarkedForCheck);
    switch (CheckHibernation(ntfs)) {
    case Hibernation::None:
        break;
    case Hibernation::Hibernated:
        return CUsedSpace::Refused(kNtfsHibernated);
    case Hibernation::RootUnreadable:
        return CUsedSpace::Refused(kRootFolderUnreadable);
    case Hibernation::HiberfileUnreadable:
        return CUsedSpace::Refused(kHiberfileUnreadable);
    }

    switch (CheckJournal(ntfs)) {
    case Journal::Clean:
        break;
    case Journal::Unclean:
        return CUsedSpace::Refused(kNtfsNotShutDown);
    case Journal::Unreadable:
        return CUsedSpace::Refused(kJournalUnreadable);
    }

    std::optional<CMftRecord> record = ntfs.ReadRecord(kBitmapRecord);
    std::optional<CValue> bitmap;
    if (record && record->InUse())
        bitmap = ntfs.OpenValue(*record, kBitmapRecord, kData, u"");
    if (!bitmap || !bitmap->m_stream ||
        std::any_of(bitmap->m_stream->m_runs.begin(), bitmap->m_stream->m_runs.end(), [](const CRun& r) { return r.m_sparse; }))
        return CUsedSpace::Refused(kBitmapUnreadable);
    if (bitmap->m_stream->m_initializedSize < (geometry->m_clusters + 7) / 8)
        return CUsedSpace::Refused(kBitmapTooShort);
    CByteRanges ranges(source.Size(), joinGap);
    if (!AddUsedClusters(ntfs, *bitmap, ranges))
        return CUsedSpace::Refused(kBitmapUnreadable);
    // A bitmap read from the wrong place, or damaged, would not mark the clusters of the
    // system files: the MFT, the bitmap itself, and those whose records were read anyway.
    if (!ranges.Contains(0, geometry->m_clusterSize) || !Covers(ranges, ntfs.Mft(), geometry->m_clusterSize) ||
        !Covers(ranges, *bitmap->m_stream, geometry->m_clusterSize))
        return CUsedSpace::Refused(kBitmapUnsound);
    for (std::uint64_t system : kSystemFilesWithData) {
        std::optional<CMftRecord> file = ntfs.ReadRecord(system);
        std::optional<CValue> data;
        if (file && file->InUse())
            data = ntfs.OpenValue(*file, system, kData, u"");
        if (!data || (data->m_stream && !Covers(ranges, *data->m_stream, geometry->m_clusterSize)))
            return CUsedSpace::Refused(kBitmapUnsound);
    }

    if (std::optional<const char*> uncovered = UncoveredFiles(ntfs, ranges))
        return CUsedSpace::Refused(*uncovered);

    const std::uint64_t sector = geometry->m_sectorSize;
    ranges.Add(0, sector);
    // The backup boot sector follows the volume's last sector; when the volume is smaller
    // than its partition, the partition's last sector may hold one as well.
    ranges.Add(geometry->m_sectors * sector, sector);
    std::uint64_t wholeSectors = source.Size() / sector * sector;
    ranges.Add(wholeSectors - sector, sector);
    return {std::move(ranges), ""};
}

}  // namespace usedspace
