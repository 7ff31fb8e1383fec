// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// The parts of a volume that a copy must hold: ordered, disjoint byte ranges in whole
// sectors (platform::kSectorSize), merged where they touch.
namespace usedspace {

struct CByteRange {
    std::uint64_t m_offset = 0;
    std::uint64_t m_length = 0;

    std::uint64_t End() const { return m_offset + m_length; }
    bool operator==(const CByteRange&) const = default;
};

class CByteRanges {
public:
    // Ranges end at limit, the volume's size. Two ranges with fewer than joinGap bytes
    // between them become one, which bounds their number on a fragmented volume.
    explicit CByteRanges(std::uint64_t limit, std::uint64_t joinGap = 0);

    // Adds [offset, offset + length), widened to whole sectors and cut at the limit; in
    // any order, though adding in ascending order is the cheap case.
    void Add(std::uint64_t offset, std::uint64_t length);
    // True when every byte of [offset, offset + length) is in a range.
    bool Contains(std::uint64_t offset, std::uint64_t length) const;

    const std::vector<CByteRange>& Ranges() const { return m_ranges; }
    // The bytes that the ranges hold together.
    std::uint64_t Bytes() const;
    std::uint64_t Limit() const { return m_limit; }

private:
    std::uint64_t m_limit;
    std::uint64_t m_joinGap;
    std::vector<CByteRange> m_ranges;
};

}  // namespace usedspace
