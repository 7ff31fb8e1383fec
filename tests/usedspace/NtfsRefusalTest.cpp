// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NtfsImage.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/usedspace/FilledVolume.h"
#include "tests/usedspace/Ntfs3gView.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace testsupport;

constexpr std::uint64_t kImageSize = 32 << 20;

// A restart page of an NTFS journal of logSize bytes, pages of 4 KiB, as Windows writes
// one: its restart area with the current LSN lsn, the first client in use inUse (0xFFFF:
// none) and flags, and one client, "NTFS"; its update sequence applied.
std::string RestartPage(std::uint64_t logSize, std::uint64_t lsn, std::uint16_t inUse, std::uint16_t flags)
{
    std::string page(4096, '\0');
    // Magic, update sequence at 0x1E of 9 entries, no chkdsk LSN, page sizes, restart
    // area at 0x30, version 1.1.
    page.replace(0, 30, "RSTR" + Little(0x1E, 2) + Little(9, 2) + Little(0, 8) + Little(4096, 4) + Little(4096, 4) +
                            Little(0x30, 2) + Little(1, 2) + Little(1, 2));
    unsigned sizeBits = 0;
    for (std::uint64_t size = logSize; size != 0; size >>= 1)
        ++sizeBits;
    // One client, no free one; sequence number bits, area length, client array, journal
    // size, record header length and page data offset as ntfs-3g checks them.
    page.replace(0x30, 44, Little(lsn, 8) + Little(1, 2) + Little(0xFFFF, 2) + Little(inUse, 2) + Little(flags, 2) +
                               Little(67 - sizeBits, 4) + Little(0xD0, 2) + Little(0x30, 2) + Little(logSize, 8) +
                               Little(0, 4) + Little(0x30, 2) + Little(0x40, 2) + Little(1, 4));
    page.replace(0x60, 40, std::string(16, '\0') + Little(0xFFFF, 2) + Little(0xFFFF, 2) + Little(1, 2) +
                               std::string(6, '\0') + Little(8, 4) + std::string("N\0T\0F\0S\0", 8));
    page.replace(0x1E, 2, Little(1, 2));
    for (std::size_t stride = 1; stride <= 8; ++stride) {
        page.replace(0x1E + 2 * stride, 2, page.substr(stride * 512 - 2, 2));
        page.replace(stride * 512 - 2, 2, Little(1, 2));
    }
    return page;
}

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

// A journal that holds changes not yet written, judged as ntfs-3g does before a
// read-write mount: of the two restart pages the one with the later LSN counts, and says
// so unless no client has the journal open or it marks the volume clean. One that is
// neither reset nor starts with a restart page cannot be read.
TEST_F(NtfsRefusalTest, RefusesAVolumeWhoseJournalHoldsChangesNotYetWritten)
{
    const std::string pristine = ReadBytes(m_image, 0, kImageSize);
    auto field = [&](std::uint64_t offset, std::size_t width) {
        std::uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;)
            value = value << 8 | static_cast<unsigned char>(pristine[offset + i]);
        return value;
    };
    // The $LogFile's data: the first run of the $DATA attribute of record 2.
    std::uint64_t data = RecordByte(2, field(RecordByte(2, 20), 2));
    while (field(data, 4) != 0x80)
        data += field(data + 4, 4);
    const std::uint64_t pairs = data + field(data + 32, 2);
    const unsigned header = static_cast<unsigned char>(pristine[pairs]);
    const std::uint64_t log = field(pairs + 1 + (header & 0x0F), header >> 4) * 4096;
    const std::uint64_t logSize = field(data + 48, 8);
    ASSERT_EQ(ReadBytes(m_image, log, 4), "\xFF\xFF\xFF\xFF") << "the journal is not empty";

    struct CCase {
        const char* what;
        std::uint64_t lsn[2];
        std::uint16_t inUse[2];
        std::uint16_t flags[2];
        const char* reason;
    };
    const CCase cases[] = {
        {"no client in use", {0x100, 0x200}, {0xFFFF, 0xFFFF}, {0, 0}, ""},
        {"a client in the later page", {0x100, 0x200}, {0xFFFF, 0}, {0, 0}, usedspace::kNtfsNotShutDown},
        {"a client in the later page, marked clean", {0x100, 0x200}, {0xFFFF, 0}, {0, 2}, ""},
        {"a client in the earlier page", {0x200, 0x100}, {0xFFFF, 0}, {0, 0}, ""},
        {"a client in the first page, the later", {0x300, 0x200}, {0, 0xFFFF}, {0, 0}, usedspace::kNtfsNotShutDown},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(m_image, std::ios::binary | std::ios::trunc) << pristine;
        PatchFile(m_image, log, RestartPage(logSize, c.lsn[0], c.inUse[0], c.flags[0]) +
                                    RestartPage(logSize, c.lsn[1], c.inUse[1], c.flags[1]));
        EXPECT_EQ(Reason(), c.reason);
        CToolRun probe = RunTool(m_machine, "ntfs-3g.probe", {"--readwrite", m_image});
        EXPECT_EQ(probe.exitCode == 0, std::string(c.reason).empty()) << probe.err;
    }
    // A journal reset but for its second restart page is no reset one.
    std::ofstream(m_image, std::ios::binary | std::ios::trunc) << pristine;
    PatchFile(m_image, log + 4096, RestartPage(logSize, 0x200, 0, 0));
    EXPECT_EQ(Reason(), usedspace::kJournalUnreadable);
    // A first page torn, though the later: the second one stands in for it. No page size
    // at all: no page.
    PatchFile(m_image, log, RestartPage(logSize, 0x300, 0, 0) + RestartPage(logSize, 0x200, 0xFFFF, 0));
    ASSERT_EQ(Reason(), usedspace::kNtfsNotShutDown);
    PatchFile(m_image, log + 510, "XX");
    EXPECT_EQ(Reason(), "");
    PatchFile(m_image, log, std::string(32, 'X'));
    EXPECT_EQ(Reason(), usedspace::kJournalUnreadable);
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
