// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/ByteRanges.h"

#include "platform/volume/SectorSize.h"

#include <algorithm>

namespace usedspace {

CByteRanges::CByteRanges(std::uint64_t limit, std::uint64_t joinGap) : m_limit(limit), m_joinGap(joinGap) {}

void CByteRanges::Add(std::uint64_t offset, std::uint64_t length)
{
    if (length == 0 || offset >= m_limit)
        return;
    std::uint64_t end = length > m_limit - offset ? m_limit : offset + length;
    std::uint64_t begin = offset / platform::kSectorSize * platform::kSectorSize;
    end = std::min(m_limit, (end + platform::kSectorSize - 1) / platform::kSectorSize * platform::kSectorSize);

    // The first range that ends at or after begin (less the gap) is the first one to merge.
    auto first = std::lower_bound(m_ranges.begin(), m_ranges.end(), begin, [this](const CByteRange& range,
                                                                               std::uint64_t at) {
        return range.End() + m_joinGap < at;
    });
    auto last = first;
    while (last != m_ranges.end() && last->m_offset <= end + m_joinGap) {
        begin = std::min(begin, last->m_offset);
        end = std::max(end, last->End());
        ++last;
    }
    if (first == last) {
        m_ranges.insert(first, CByteRange{begin, end - begin});
        return;
    }
    *first = CByteRange{begin, end - begin};
    m_ranges.erase(first + 1, last);
}

bool CByteRanges::Contains(std::uint64_t offset, std::uint64_t length) const
{
    if (length == 0)
        return true;
    auto range = std::upper_bound(m_ranges.begin(), m_ranges.end(), offset,
                                  [](std::uint64_t at, const CByteRange& r) { return at < r.m_offset; });
    if (range == m_ranges.begin())
        return false;
    --range;
    return offset - range->m_offset < range->m_length && length <= range->End() - offset;
}

std::uint64_t CByteRanges::Bytes() const
{
    std::uint64_t bytes = 0;
    for (const CByteRange& range : m_ranges)
        bytes += range.m_length;
    return bytes;
}

}  // namespace usedspace
