// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NtfsImage.h"
#include "tests/support/TempMachine.h"
#include "tests/usedspace/FilledVolume.h"
#include "tests/usedspace/Ntfs3gView.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace testsupport;

constexpr std::uint64_t kImageSize = 32 << 20;

class NtfsRefusalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!NtfsToolsPresent(m_machine))
            GTEST_SKIP() << "needs the programs of ntfs-3g";
        ASSERT_TRUE(MakeNtfsImage(m_machine, m_image, kImageSize));
    }
    std::string Reason() const
    {
        usedspace::CUsedSpace map = MapImage(m_image, "NTFS");
        EXPECT_EQ(map.m_ranges.has_value(), map.m_reason.empty());
        return map.m_reason;
    }
    // The byte of MFT record number at offset, as the boot sector places the MFT.
    std::uint64_t RecordByte(std::uint64_t number, std::uint64_t offset) const
    {
        std::string field = ReadBytes(m_image, 48, 8);
        std::uint64_t mftCluster = 0;
        for (std::size_t i = field.size(); i-- > 0;)
            mftCluster = mftCluster << 8 | static_cast<unsigned char>(field[i]);
        return mftCluster * 4096 + number * 1024 + offset;
    }

    CTempMachine m_machine;
    std::string m_image = m_machine.Path("ntfs.img");
};

// hiberfil.sys as ntfs-3g judges it before a read-write mount: a header that says "hibr",
// or a file too short to hold a header, is a hibernated Windows; one with a clear header
// is not. "wake" in any case, the header of a Windows that resumes, is refused as well,
// though ntfs-3g mounts it. Found in a root folder of one index node and in one whose
// index has grown into blocks of its own.
TEST_F(NtfsRefusalTest, RefusesAVolumeThatWindowsHibernated)
{
    if (!CNtfsMount::Available())
        GTEST_SKIP() << "needs FUSE";
    struct CCase {
        std::string header;
        std::size_t size;
        bool crowdedRoot;
        bool hibernated;
        bool ntfs3gRefuses;
    };
    for (const CCase& c : {CCase{"", 8192, false, false, false}, CCase{"hibr", 8192, false, true, true},
                           CCase{"WAKE", 8192, true, true, false}, CCase{"", 100, true, true, true},
                           CCase{"", 8192, true, false, false}}) {
        SCOPED_TRACE("header '" + c.header + "', " + std::to_string(c.size) + " bytes" +
                     (c.crowdedRoot ? ", crowded root" : ""));
        ASSERT_TRUE(MakeNtfsImage(m_machine, m_image, kImageSize));
        {
            CNtfsMount mount(m_machine, m_image, m_machine.Path("mnt"));
            ASSERT_TRUE(mount.Mounted()) << mount.Messages();
            for (int i = 0; c.crowdedRoot && i < 300; ++i)
                std::ofstream(m_machine.Path("mnt/file-" + std::to_string(i) + ".txt")) << i;
            std::string content = c.header + std::string(c.size - c.header.size(), '\0');
            std::ofstream(m_machine.Path("mnt/hiberfil.sys"), std::ios::binary) << content;
        }
        EXPECT_EQ(Reason(), c.hibernated ? usedspace::kNtfsHibernated : "");
        CNtfsMount mount(m_machine, m_image, m_machine.Path("mnt"));
        EXPECT_EQ(mount.Mounted(), !c.ntfs3gRefuses) << mount.Messages();
    }
}

TEST_F(NtfsRefusalTest, RefusesAVolumeMarkedForACheck)
{
    ASSERT_EQ(Reason(), "");
    ASSERT_TRUE(MarkNtfsDirty(m_image));
    EXPECT_EQ(Reason(), usedspace::kNtfsMarkedForCheck);
}

// A damaged record of the MFT, the $Volume, the root folder or the $Bitmap: its magic
// gone ("BAAD" is what Windows writes over a record it found torn), or a sector of it
// from another write, its update sequence not matching.
TEST_F(NtfsRefusalTest, RefusesADamagedRecord)
{
    const std::pair<std::uint64_t, const char*> records[] = {{0, usedspace::kMftUnreadable},
                                                            {3, usedspace::kVolumeRecordUnreadable},
                                                            {5, usedspace::kRootFolderUnreadable},
                                                            {6, usedspace::kBitmapUnreadable}};
    const std::string pristine = ReadBytes(m_image, 0, kImageSize);
    for (const auto& [record, reason] : records) {
        for (const auto& [offset, bytes] : {std::pair<std::uint64_t, std::string>{0, "BAAD"}, {510, "\x5A\xA5"}}) {
            SCOPED_TRACE("record " + std::to_string(record) + " at " + std::to_string(offset));
            std::ofstream(m_image, std::ios::binary | std::ios::trunc) << pristine;
            PatchFile(m_image, RecordByte(record, offset), bytes);
            EXPECT_EQ(Reason(), reason);
        }
    }
}

}  // namespace
