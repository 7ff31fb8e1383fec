// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/usedspace/NtfsRecord.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace usedspace::ntfs;

std::vector<std::byte> Bytes(std::initializer_list<unsigned> values)
{
    std::vector<std::byte> bytes;
    for (unsigned v : values)
        bytes.push_back(static_cast<std::byte>(v));
    return bytes;
}

// A two-stride block as written: the sequence number 0x0102 at the end of each stride,
// the bytes it replaced ("ab", "cd") in the array at offset 48.
std::vector<std::byte> WrittenBlock()
{
    std::vector<std::byte> block(1024);
    std::memcpy(block.data(), "FILE", 4);
    block[4] = std::byte{48};
    block[6] = std::byte{3};
    std::memcpy(block.data() + 48, "\x02\x01" "ab" "cd", 6);
    for (std::size_t end : {510u, 1022u})
        std::memcpy(block.data() + end, "\x02\x01", 2);
    return block;
}

TEST(NtfsRecordTest, FixupsRestoreTheStridesAndFindATornBlock)
{
    std::vector<std::byte> block = WrittenBlock();
    ASSERT_TRUE(ApplyFixups(block, "FILE"));
    EXPECT_EQ(std::memcmp(block.data() + 510, "ab", 2), 0);
    EXPECT_EQ(std::memcmp(block.data() + 1022, "cd", 2), 0);

    block = WrittenBlock();
    block[1022] = std::byte{0x03};  // the second sector is from another write
    EXPECT_FALSE(ApplyFixups(block, "FILE"));
    block = WrittenBlock();
    EXPECT_FALSE(ApplyFixups(block, "INDX"));
    block[6] = std::byte{2};  // an array too short for the block
    EXPECT_FALSE(ApplyFixups(block, "FILE"));
    block = WrittenBlock();
    block[4] = std::byte{250};  // an array that runs into the first stride's own end
    block[5] = std::byte{1};
    EXPECT_FALSE(ApplyFixups(block, "FILE"));
}

CAttribute Piece(const std::vector<std::byte>& pairs, std::uint64_t nextVcn)
{
    CAttribute attribute;
    attribute.m_nonResident = true;
    attribute.m_nextVcn = nextVcn;
    attribute.m_mappingPairs = pairs;
    return attribute;
}

// Runs: 16 clusters at LCN 256, 4 sparse ones, 8 at LCN 256 - 16 = 240 (each offset is
// relative to the one before), then the end.
TEST(NtfsRecordTest, DecodesRunsRelativeToEachOther)
{
    std::vector<std::byte> pairs = Bytes({0x21, 0x10, 0x00, 0x01, 0x01, 0x04, 0x11, 0x08, 0xF0, 0x00});
    std::optional<std::vector<CRun>> runs = DecodeRuns(Piece(pairs, 28), 1000);
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->size(), 3u);
    EXPECT_EQ((*runs)[0].m_lcn, 256u);
    EXPECT_EQ((*runs)[0].m_length, 16u);
    EXPECT_TRUE((*runs)[1].m_sparse);
    EXPECT_EQ((*runs)[1].m_vcn, 16u);
    EXPECT_EQ((*runs)[2].m_lcn, 240u);
    EXPECT_EQ((*runs)[2].m_vcn, 20u);
}

TEST(NtfsRecordTest, RefusesRunsThatDoNotAddUp)
{
    struct CCase {
        const char* what;
        std::vector<std::byte> pairs;
        std::uint64_t nextVcn;
        std::uint64_t clusters;
    };
    const CCase cases[] = {
        {"past the volume's end", Bytes({0x21, 0x10, 0xF8, 0x03, 0x00}), 16, 1016},
        {"before its start", Bytes({0x11, 0x10, 0x10, 0x11, 0x10, 0xE0, 0x00}), 32, 1000},
        {"without an end", Bytes({0x11, 0x10, 0x10}), 16, 1000},
        {"fewer clusters than its VCNs", Bytes({0x11, 0x10, 0x10, 0x00}), 17, 1000},
        {"more clusters than its VCNs", Bytes({0x11, 0x10, 0x10, 0x00}), 15, 1000},
        {"a run of no clusters", Bytes({0x11, 0x00, 0x10, 0x00}), 0, 1000},
        {"a negative length", Bytes({0x11, 0xF0, 0x10, 0x00}), 16, 1000},
        {"a field wider than eight bytes", Bytes({0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x00}), 1, 1000},
        {"a huge offset", Bytes({0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}), 1, 1000},
    };
    for (const CCase& c : cases)
        EXPECT_FALSE(DecodeRuns(Piece(c.pairs, c.nextVcn), c.clusters)) << c.what;
}

}  // namespace
