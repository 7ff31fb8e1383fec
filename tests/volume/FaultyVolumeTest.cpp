// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FaultyVolume.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using platform::VolumeAccess;
using testsupport::CFaultyVolumes;
using testsupport::CMemoryVolume;

namespace {

std::vector<std::byte> Block(std::size_t size, std::uint8_t fill)
{
    return std::vector<std::byte>(size, std::byte{fill});
}

}  // namespace

// A transfer of many sectors that touches one bad sector fails whole, moves nothing and
// leaves the position; the sectors on either side still transfer one at a time.
TEST(FaultyVolume, BadSectorFailsTheWholeTransferAndKeepsThePosition)
{
    CMemoryVolume volume(8 * 512, 0x11);
    volume.FailRead(5, EIO);
    volume.FailWrite(2, ENXIO);

    std::vector<std::byte> buffer = Block(4 * 512, 0);
    std::uint32_t count = 99;
    volume.Move(4 * 512);
    EXPECT_FALSE(volume.Read(buffer, count));
    EXPECT_EQ(EIO, volume.LastError());
    EXPECT_EQ(0u, count);
    EXPECT_EQ(4u * 512, volume.Position());
    EXPECT_TRUE(volume.Read(std::span(buffer).first(512), count));
    EXPECT_EQ(512u, count);
    volume.Move(512);
    EXPECT_TRUE(volume.Read(std::span(buffer).first(1024), count));
    EXPECT_EQ(1024u, count);

    volume.Rewind();
    std::vector<std::byte> data = Block(3 * 512, 0x22);
    EXPECT_FALSE(volume.Write(data, count));
    EXPECT_EQ(ENXIO, volume.LastError());
    EXPECT_EQ(0u, volume.Position());
    EXPECT_EQ(Block(8 * 512, 0x11), volume.Bytes());
    EXPECT_EQ(3, volume.Reads());
    EXPECT_EQ(1, volume.Writes());
}

TEST(FaultyVolume, FailingFlushReportsItsError)
{
    CMemoryVolume volume(512);
    EXPECT_TRUE(volume.Flush());
    volume.FailFlush(EIO);
    EXPECT_FALSE(volume.Flush());
    EXPECT_EQ(EIO, volume.LastError());
    EXPECT_EQ(2, volume.Flushes());
}

// The engine's and the probe's tests rely on the opener: names map to volumes, refused
// and unknown names give nothing, every open is recorded and every handle counted.
TEST(FaultyVolumes, OpensByRawNameRecordsAndCountsHandles)
{
    CFaultyVolumes volumes;
    CMemoryVolume& source = volumes.Add('S', 1024, 0x5A);
    CMemoryVolume& destination = volumes.Add('d', 1024);
    volumes.RefuseOpen('S', VolumeAccess::Write);

    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\S:", VolumeAccess::Write));
    EXPECT_EQ(nullptr, volumes.Open("\\\\.\\Q:", VolumeAccess::Read));
    EXPECT_EQ(nullptr, volumes.Open("S:", VolumeAccess::Read));
    {
        auto reader = volumes.Open("\\\\.\\S:", VolumeAccess::Read);
        auto writer = volumes.Open("\\\\.\\D:", VolumeAccess::Write);
        ASSERT_NE(nullptr, reader);
        ASSERT_NE(nullptr, writer);
        EXPECT_EQ(1, source.OpenHandles());

        std::vector<std::byte> buffer = Block(1024, 0);
        std::uint32_t count = 0;
        ASSERT_TRUE(reader->Read(buffer, count));
        ASSERT_TRUE(writer->Write(std::span(buffer).first(count), count));
        EXPECT_EQ(Block(1024, 0x5A), destination.Bytes());
        // Each handle has its own position: a second reader starts at byte 0.
        auto again = volumes.Open("\\\\.\\S:", VolumeAccess::Read);
        ASSERT_TRUE(again->Read(std::span(buffer).first(512), count));
        EXPECT_EQ(512u, count);
        EXPECT_TRUE(reader->Read(buffer, count));
        EXPECT_EQ(0u, count);
    }
    EXPECT_EQ(0, source.OpenHandles());
    EXPECT_EQ(0, destination.OpenHandles());

    auto opens = volumes.Opens();
    ASSERT_EQ(6u, opens.size());
    EXPECT_EQ("\\\\.\\S:", opens[0].rawName);
    EXPECT_EQ(VolumeAccess::Write, opens[0].access);
    EXPECT_EQ("\\\\.\\D:", opens[4].rawName);
}
