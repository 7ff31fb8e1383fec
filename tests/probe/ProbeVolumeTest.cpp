// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/DriveProbe.h"

#include "tests/probe/BootSectorImage.h"
#include "tests/support/FakeDrives.h"
#include "tests/support/FaultyVolume.h"

#include <gtest/gtest.h>

namespace {

using probetest::CBootSectorImage;

// One drive C: whose first sector the test sets, with an operating-system size.
class ProbeVolumeTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kOsTotal = 10'737'418'240;

    ProbeVolumeTest() { m_drives.SetDrive('C', {.type = platform::kDriveFixed, .totalBytes = kOsTotal}); }

    testsupport::CMemoryVolume& VolumeC(const CBootSectorImage& sector, std::size_t size = 1 << 20)
    {
        testsupport::CMemoryVolume& volume = m_volumes.Add('C', size);
        volume.SetBytes(0, sector.Data());
        return volume;
    }
    bool Probe(bool recogniseFat16 = true)
    {
        CDriveProbe probe(recogniseFat16, m_drives, m_volumes);
        bool result = probe.ProbeVolume("C:", m_fileSystem, m_size, m_list);
        m_report = probe.Report();
        return result;
    }

    testsupport::CFakeDrives m_drives;
    testsupport::CFaultyVolumes m_volumes;
    std::string m_fileSystem = "before";
    std::uint64_t m_size = 42;
    std::string m_list = "1,2,";
    std::string m_report;
};

TEST_F(ProbeVolumeTest, NtfsTakesTheSystemSizeAndEightBytesWithoutTrailingComma)
{
    VolumeC(CBootSectorImage().Text(3, "NTFS    ").Bytes(40, {0x00, 0xF0, 0xFF, 0x04, 0, 0, 0, 0}));
    ASSERT_TRUE(Probe());
    EXPECT_EQ(m_fileSystem, "NTFS");
    EXPECT_EQ(m_size, kOsTotal);
    EXPECT_EQ(m_list, "0,240,255,4,0,0,0,0");
    EXPECT_EQ(m_report, "    Successfully read drive.\n");

    ASSERT_EQ(m_volumes.Opens().size(), 1u);
    EXPECT_EQ(m_volumes.Opens()[0].rawName, "\\\\.\\C:");
    EXPECT_EQ(m_volumes.Opens()[0].access, platform::VolumeAccess::Read);
}

TEST_F(ProbeVolumeTest, Fat32SizeIsItsOwnSectorCountTimes512In64Bits)
{
    VolumeC(CBootSectorImage().Text(82, "FAT32   ").Bytes(32, {0x00, 0x28, 0x23, 0x00}));
    ASSERT_TRUE(Probe());
    EXPECT_EQ(m_fileSystem, "FAT32");
    EXPECT_EQ(m_size, 1'179'648'000u);
    EXPECT_EQ(m_list, "0,40,35,0,");

    VolumeC(CBootSectorImage().Text(82, "FAT32").Bytes(32, {0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(Probe());
    EXPECT_EQ(m_size, 2'199'023'255'040u);
    EXPECT_EQ(m_list, "255,255,255,255,");
}

TEST_F(ProbeVolumeTest, SignaturesAreTriedNtfsThenFat32ThenFat16)
{
    VolumeC(CBootSectorImage().Text(3, "NTFS").Text(82, "FAT32").Bytes(40, {1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(Probe());
    EXPECT_EQ(m_fileSystem, "NTFS");
    EXPECT_EQ(m_list, "1,0,0,0,0,0,0,0");

    VolumeC(CBootSectorImage().Text(54, "FAT16").Text(82, "FAT32").Bytes(32, {0, 0, 1, 0}));
    ASSERT_TRUE(Probe());
    EXPECT_EQ(m_fileSystem, "FAT32");
    EXPECT_EQ(m_size, 65536u * 512);
}

TEST_F(ProbeVolumeTest, Fat16OnlyWhenRecognisedAndThenWithTheSystemSize)
{
    // A small FAT16 volume keeps its count in the 16-bit field; the 32-bit one is 0.
    VolumeC(CBootSectorImage().Text(54, "FAT16   ").Bytes(19, {0x00, 0x80}));
    ASSERT_TRUE(Probe(true));
    EXPECT_EQ(m_fileSystem, "FAT16");
    EXPECT_EQ(m_size, kOsTotal);
    EXPECT_EQ(m_list, "0,0,0,0,");

    m_fileSystem = "kept";
    EXPECT_FALSE(Probe(false));
    EXPECT_EQ(m_fileSystem, "kept");
    EXPECT_EQ(m_size, 0u);
    EXPECT_EQ(m_list, "");
    EXPECT_EQ(m_report, "    Successfully read drive.\n    Drive not NTFS or FAT32.\n");
}

TEST_F(ProbeVolumeTest, UnrecognisedSectorsClearSizeAndListButKeepTheName)
{
    for (const char* label : {"FAT12", "fat32", "NTFs "}) {
        VolumeC(CBootSectorImage().Text(3, label).Text(54, label).Text(82, label).Bytes(32, {9, 9, 9, 9}));
        EXPECT_FALSE(Probe(true)) << label;
        EXPECT_EQ(m_fileSystem, "before") << label;
        EXPECT_EQ(m_size, 0u) << label;
        EXPECT_EQ(m_list, "") << label;
        EXPECT_EQ(m_report, "    Successfully read drive.\n    Drive not NTFS or FAT32.\n") << label;
        m_size = 42;
        m_list = "1,2,";
    }
}

TEST_F(ProbeVolumeTest, FailedOpenLeavesOutputsAndReportAlone)
{
    EXPECT_FALSE(Probe());
    EXPECT_EQ(m_fileSystem, "before");
    EXPECT_EQ(m_size, 42u);
    EXPECT_EQ(m_list, "1,2,");
    EXPECT_EQ(m_report, "");
}

TEST_F(ProbeVolumeTest, FailedOrShortReadLeavesOutputsAndSaysSo)
{
    const CBootSectorImage ntfs = CBootSectorImage().Text(3, "NTFS");
    testsupport::CMemoryVolume& unreadable = VolumeC(ntfs);
    unreadable.FailRead(0);
    EXPECT_FALSE(Probe());
    EXPECT_EQ(unreadable.OpenHandles(), 0);

    // A volume shorter than one sector: the read succeeds with fewer bytes.
    testsupport::CMemoryVolume& tiny = VolumeC(ntfs, 100);
    EXPECT_FALSE(Probe());
    EXPECT_EQ(tiny.OpenHandles(), 0);

    EXPECT_EQ(m_fileSystem, "before");
    EXPECT_EQ(m_size, 42u);
    EXPECT_EQ(m_list, "1,2,");
    EXPECT_EQ(m_report, "    Could not successfully read drive.\n");
}

TEST_F(ProbeVolumeTest, UnknownSystemSizeGivesZeroButStillSucceeds)
{
    m_drives.SetDrive('C', {.type = platform::kDriveFixed, .sizeKnown = false});
    VolumeC(CBootSectorImage().Text(3, "NTFS"));
    EXPECT_TRUE(Probe());
    EXPECT_EQ(m_size, 0u);
}

}  // namespace
