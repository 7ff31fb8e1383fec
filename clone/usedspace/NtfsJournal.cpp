// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsJournal.h"

#include "clone/usedspace/VolumeBytes.h"

#include <algorithm>
#include <bit>
#include <optional>

namespace usedspace::ntfs {

namespace {

constexpr std::uint64_t kLogFileRecord = 2;
constexpr std::uint32_t kSmallestPage = 512;
constexpr std::uint32_t kLargestPage = 64 << 10;
constexpr std::uint64_t kResetBytes = 8 << 10;
// The restart page header: the page size at 16, the restart area's offset at 24.
constexpr std::size_t kPageSizeField = 16;
constexpr std::size_t kAreaOffsetField = 24;
// The restart area: its current LSN, the first client in use, its flags.
constexpr std::size_t kAreaHeader = 16;
constexpr std::size_t kCurrentLsn = 0;
constexpr std::size_t kClientInUse = 12;
constexpr std::size_t kAreaFlags = 14;
constexpr std::uint16_t kNoClient = 0xFFFF;
constexpr std::uint16_t kVolumeIsClean = 0x0002;

struct CRestartArea {
    std::uint64_t m_currentLsn = 0;
    bool m_clean = false;
};

// The page size a restart page starting with header gives; nothing when it is none.
std::optional<std::uint32_t> PageSize(std::span<const std::byte> header)
{
    if (header.size() < kAreaHeader + kPageSizeField)
        return std::nullopt;
    std::uint32_t size = Le32(header, kPageSizeField);
    if (size < kSmallestPage || size > kLargestPage || !std::has_single_bit(size))
        return std::nullopt;
    return size;
}

// The restart area of the restart page at offset of log; nothing when it is no sound one.
std::optional<CRestartArea> ReadRestartPage(CNtfsVolume& ntfs, const CValue& log, std::uint64_t offset,
                                            std::uint32_t pageSize)
{
    if (offset > log.Size() || pageSize > log.Size() - offset)
        return std::nullopt;
    std::vector<std::byte> page(pageSize);
    if (!ntfs.Read(log, offset, page) || PageSize(page) != pageSize || !ApplyFixups(page, "RSTR"))
        return std::nullopt;
    std::size_t area = Le16(page, kAreaOffsetField);
    if (area % 8 != 0 || area > page.size() - kAreaHeader)
        return std::nullopt;
    std::span<const std::byte> a = std::span<const std::byte>(page).subspan(area);
    return CRestartArea{Le64(a, kCurrentLsn),
                        Le16(a, kClientInUse) == kNoClient || (Le16(a, kAreaFlags) & kVolumeIsClean) != 0};
}

}  // namespace

Journal CheckJournal(CNtfsVolume& ntfs)
{
    std::optional<CMftRecord> record = ntfs.ReadRecord(kLogFileRecord);
    std::optional<CValue> log;
    if (record && record->InUse())
        log = ntfs.OpenValue(*record, kLogFileRecord, kData, u"");
    // A journal that was reset (by chkdsk, ntfsfix or ntfs-3g) is filled with 0xFF: its
    // two restart pages, of 4 KiB unless told otherwise, are looked at.
    const std::uint64_t start = log ? std::min<std::uint64_t>(kResetBytes, log->Size()) : 0;
    std::vector<std::byte> header(static_cast<std::size_t>(start));
    if (header.size() < kSmallestPage || !ntfs.Read(*log, 0, header))
        return Journal::Unreadable;
    if (std::all_of(header.begin(), header.end(), [](std::byte b) { return b == std::byte{0xFF}; }))
        return Journal::Clean;
    // Two restart pages, one page size apart; the one written last counts.
    std::optional<std::uint32_t> pageSize = PageSize(header);
    if (!pageSize)
        return Journal::Unreadable;
    std::optional<CRestartArea> first = ReadRestartPage(ntfs, *log, 0, *pageSize);
    std::optional<CRestartArea> second = ReadRestartPage(ntfs, *log, *pageSize, *pageSize);
    if (!first && !second)
        return Journal::Unreadable;
    const CRestartArea& latest =
        !second || (first && first->m_currentLsn >= second->m_currentLsn) ? *first : *second;
    return latest.m_clean ? Journal::Clean : Journal::Unclean;
}

}  // namespace usedspace::ntfs
