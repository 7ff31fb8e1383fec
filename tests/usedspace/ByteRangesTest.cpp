// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/ByteRanges.h"

#include <gtest/gtest.h>

namespace usedspace {

void PrintTo(const CByteRange& range, std::ostream* out)
{
    *out << "[" << range.m_offset << ", " << range.End() << ")";
}

}  // namespace usedspace

namespace {

using usedspace::CByteRange;
using usedspace::CByteRanges;

std::vector<CByteRange> Ranges(std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> list)
{
    std::vector<CByteRange> ranges;
    for (const auto& [offset, length] : list)
        ranges.push_back({offset, length});
    return ranges;
}

// Whatever the order of adding, the list is ordered and merged where ranges meet or
// overlap; each range is widened to whole sectors and cut at the volume's end.
TEST(ByteRangesTest, KeepsOrderedWholeSectorsWithinTheVolume)
{
    CByteRanges ranges(10000);
    ranges.Add(4096, 1024);
    ranges.Add(0, 512);
    ranges.Add(2048, 512);
    ranges.Add(1000, 20);  // widened to sector 1
    ranges.Add(2560, 1536);  // joins the ranges at 2048 and 4096
    ranges.Add(9800, 1000);  // the last sector, cut at the end
    ranges.Add(10000, 512);  // past the end
    ranges.Add(7000, 0);
    EXPECT_EQ(ranges.Ranges(), Ranges({{0, 1024}, {2048, 3072}, {9728, 272}}));
    EXPECT_EQ(ranges.Bytes(), 1024u + 3072 + 272);

    ranges.Add(512, 9000);  // swallows everything from sector 1 to the last range
    EXPECT_EQ(ranges.Ranges(), Ranges({{0, 10000}}));
}

TEST(ByteRangesTest, JoinsRangesCloserThanTheGap)
{
    CByteRanges ranges(1 << 20, 4096);
    ranges.Add(0, 512);
    ranges.Add(4608, 512);   // 4096 bytes away: joined
    ranges.Add(9728, 512);   // 4608 bytes away: apart
    ranges.Add(20480, 512);
    ranges.Add(16384, 512);  // before the last one, within the gap
    EXPECT_EQ(ranges.Ranges(), Ranges({{0, 5120}, {9728, 512}, {16384, 4608}}));
}

TEST(ByteRangesTest, ContainsOnlyWhatOneRangeHoldsWhole)
{
    CByteRanges ranges(1 << 20);
    ranges.Add(1024, 1024);
    ranges.Add(4096, 512);
    EXPECT_TRUE(ranges.Contains(1024, 1024));
    EXPECT_TRUE(ranges.Contains(1500, 10));
    EXPECT_TRUE(ranges.Contains(0, 0));
    EXPECT_FALSE(ranges.Contains(512, 1024));   // starts before
    EXPECT_FALSE(ranges.Contains(1024, 1025));  // ends after
    EXPECT_FALSE(ranges.Contains(1024, 3584));  // spans the gap
    EXPECT_FALSE(ranges.Contains(3000, 1));
    EXPECT_FALSE(ranges.Contains(8192, 1));
}

}  // namespace
