// SPDX-License-Identifier: GPL-3.0-or-later
// The read-ahead through a plan of ranges: blocks in the plan's order, pieces at their
// own places, nothing read between the ranges, and reading that goes on where its user
// says after a failure.
#include "clone/ReadAhead.h"

#include "tests/support/FaultyVolume.h"
#include "tests/support/SectorPattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using usedspace::CByteRange;
using Pieces = std::vector<CByteRange>;

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kKiB = 1024;

class ReadAheadTest : public ::testing::Test {
protected:
    explicit ReadAheadTest(std::size_t size = 256 * kKiB) : m_volume(size), m_bytes(testsupport::SectorPattern(size))
    {
        m_volume.SetBytes(0, std::as_bytes(std::span(m_bytes)));
    }

    // The reader over two buffers of size bytes.
    CReadAhead& Reader(std::size_t size, std::vector<CByteRange> plan, bool gather)
    {
        m_first.assign(size, std::byte{0});
        m_second.assign(size, std::byte{0});
        m_reader.emplace(m_volume, m_first, m_second, std::move(plan), gather);
        return *m_reader;
    }

    // The volume's bytes where pieces say, one after the other.
    std::string Expected(const Pieces& pieces) const
    {
        std::string bytes;
        for (const CByteRange& piece : pieces)
            bytes += m_bytes.substr(piece.m_offset, piece.m_length);
        return bytes;
    }

    static std::string Text(std::span<const std::byte> bytes)
    {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }

    // Takes the next block, which must be read whole from pieces.
    void ExpectBlock(const Pieces& pieces)
    {
        CReadAhead::CBlock block = m_reader->Next();
        ASSERT_TRUE(block.ok) << block.error;
        EXPECT_EQ(block.pieces, pieces);
        EXPECT_TRUE(Text(block.bytes) == Expected(pieces)) << "the bytes are not those of their pieces";
    }
    void ExpectEnd()
    {
        CReadAhead::CBlock block = m_reader->Next();
        EXPECT_TRUE(block.ok);
        EXPECT_TRUE(block.bytes.empty());
        EXPECT_TRUE(block.pieces.empty());
    }
    // No read touched a sector of [offset, offset + length).
    void ExpectUnread(std::uint64_t offset, std::uint64_t length)
    {
        for (std::uint64_t sector = offset / kSector; sector < (offset + length) / kSector; ++sector)
            EXPECT_EQ(m_volume.ReadsOfSector(sector), 0) << "sector " << sector << " was read";
    }

    testsupport::CMemoryVolume m_volume;
    std::string m_bytes;
    std::vector<std::byte> m_first;
    std::vector<std::byte> m_second;
    std::optional<CReadAhead> m_reader;
};

TEST_F(ReadAheadTest, TheWholeVolumeComesInBlocksUntilAReadFindsItsEnd)
{
    Reader(100 * kKiB, CReadAhead::WholeVolume(), true);
    ExpectBlock({{0, 100 * kKiB}});
    ExpectBlock({{100 * kKiB, 100 * kKiB}});
    ExpectBlock({{200 * kKiB, 56 * kKiB}});
    ExpectEnd();
    m_reader.reset();
    // The last block came short, and the read after it found nothing.
    EXPECT_EQ(m_volume.Reads(), 4);
}

// A block ends with its range, or gathers the ranges that fill it; what lies between them
// is never read.
TEST_F(ReadAheadTest, BlocksFollowThePlanAndReadNothingBetweenItsRanges)
{
    const std::vector<CByteRange> plan{{0, 4 * kKiB}, {16 * kKiB, 40 * kKiB}, {100 * kKiB, 8 * kKiB}, {255 * kKiB, kKiB}};

    Reader(32 * kKiB, plan, false);
    ExpectBlock({{0, 4 * kKiB}});
    ExpectBlock({{16 * kKiB, 32 * kKiB}});
    ExpectBlock({{48 * kKiB, 8 * kKiB}});
    ExpectBlock({{100 * kKiB, 8 * kKiB}});
    ExpectBlock({{255 * kKiB, kKiB}});
    ExpectEnd();
    m_reader.reset();

    Reader(32 * kKiB, plan, true);
    ExpectBlock({{0, 4 * kKiB}, {16 * kKiB, 28 * kKiB}});
    ExpectBlock({{44 * kKiB, 12 * kKiB}, {100 * kKiB, 8 * kKiB}, {255 * kKiB, kKiB}});
    ExpectEnd();
    m_reader.reset();

    ExpectUnread(4 * kKiB, 12 * kKiB);
    ExpectUnread(56 * kKiB, 44 * kKiB);
    ExpectUnread(108 * kKiB, 147 * kKiB);
}

// After a failed read the reader waits; its user reads the failed part itself and says
// where it got to, inside the range or past its end.
TEST_F(ReadAheadTest, AfterAFailedReadReadingGoesOnWhereItsUserSays)
{
    m_volume.FailRead(24);  // at 12 KiB, in the first range
    const std::vector<CByteRange> plan{{8 * kKiB, 8 * kKiB}, {64 * kKiB, 8 * kKiB}};
    auto failedRead = [&] {
        CReadAhead::CBlock failed = m_reader->Next();
        EXPECT_FALSE(failed.ok);
        EXPECT_EQ(failed.error, EIO);
        EXPECT_EQ(failed.failed, (CByteRange{12 * kKiB, 4 * kKiB}));
        EXPECT_EQ(failed.rangeEnd, 16 * kKiB);
        EXPECT_TRUE(failed.bytes.empty());
        EXPECT_TRUE(failed.pieces.empty());
    };

    Reader(4 * kKiB, plan, false);
    ExpectBlock({{8 * kKiB, 4 * kKiB}});
    failedRead();
    m_reader->ResumeAt(12 * kKiB + kSector);
    ExpectBlock({{12 * kKiB + kSector, 7 * kSector}});
    ExpectBlock({{64 * kKiB, 4 * kKiB}});
    m_reader.reset();

    Reader(4 * kKiB, plan, true);
    ExpectBlock({{8 * kKiB, 4 * kKiB}});
    failedRead();
    m_reader->ResumeAt(12 * kKiB + kSector);
    ExpectBlock({{12 * kKiB + kSector, 7 * kSector}, {64 * kKiB, kSector}});
    m_reader.reset();

    // Its user got to the end of the range: the next range follows.
    Reader(4 * kKiB, plan, false);
    ExpectBlock({{8 * kKiB, 4 * kKiB}});
    failedRead();
    m_reader->ResumeAt(16 * kKiB);
    ExpectBlock({{64 * kKiB, 4 * kKiB}});
    ExpectBlock({{68 * kKiB, 4 * kKiB}});
    ExpectEnd();
}

// A volume that ends inside a range (cut short since its plan was made) ends the blocks
// there, with the piece that was read.
TEST_F(ReadAheadTest, AVolumeEndingInsideARangeEndsTheBlocksThere)
{
    m_volume.Resize(66 * kKiB);
    Reader(16 * kKiB, {{0, 2 * kKiB}, {64 * kKiB, 16 * kKiB}, {128 * kKiB, kKiB}}, true);
    ExpectBlock({{0, 2 * kKiB}, {64 * kKiB, 2 * kKiB}});
    ExpectEnd();
}

}  // namespace
