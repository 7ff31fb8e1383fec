// SPDX-License-Identifier: GPL-3.0-or-later
// Keldrun cloning real NTFS images (made with mkntfs) onto larger partitions.

#include "clone/CloneTexts.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/KeldrunNtfs.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/NtfsClone.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace keldrun_ntfs;
using testsupport::CProgramResult;
using testsupport::kNtfsSourceSize;

class KeldrunNtfsTest : public CKeldrunNtfsFixture {};

TEST_F(KeldrunNtfsTest, FastModeOntoALargerPartitionGivesASoundVolumeOfItsSize)
{
    std::string dest = Destination(96 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);
    ASSERT_EQ(list, "255,255,2,0,0,0,0,0");

    CProgramResult run = Keldrun(list, true);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins()));
    EXPECT_EQ(run.m_err, "");
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done());
    // On a partition formatted over its whole size with the source's sector size, the copy
    // announces what the list says.
    EXPECT_EQ(testsupport::SizeFieldList(dest), list);
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, 196607);
}

TEST_F(KeldrunNtfsTest, SlowModeOntoAGibibytePartitionGivesASoundVolumeOfItsSize)
{
    std::string dest = Destination(1024 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);

    CProgramResult run = Keldrun(list, false);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_TRUE(run.m_out.starts_with(Begins(false))) << run.m_out.substr(0, 300);
    EXPECT_TRUE(run.m_out.ends_with("67,108,864 total accumulated bytes written to the partition...\n" +
                                    Summary(WithTwins())))
        << run.m_out.substr(run.m_out.size() - std::min<std::size_t>(run.m_out.size(), 600));
    EXPECT_EQ(Status(), std::string(kHeader) + Done());
    EXPECT_EQ(testsupport::SizeFieldList(dest), list);
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, 2097151);
}

// The engine holds the block device exclusively all through; the tools, which open it
// without a claim, still grow it.
TEST_F(KeldrunNtfsTest, OntoABlockDeviceTheToolsGrowTheDeviceTheEngineHolds)
{
    std::string image = Destination(96 * kMiB, false);
    testsupport::CLoopDevice loop(image);
    if (!loop.IsAttached())
        GTEST_SKIP() << "no loop device: " << loop.Error();
    Assign('Y', loop.Path());
    const std::string list = testsupport::SizeFieldList(loop.Path());

    CProgramResult run = Keldrun(list, true);
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins()));
    testsupport::ExpectGrownCopy(m_machine, m_source, loop.Path(), 196607);
}

// The list tells what the destination held before; on a partition of the source's size
// the copy is the source, byte for byte, whatever it says.
TEST_F(KeldrunNtfsTest, OnAPartitionOfTheSourcesSizeTheCopyIsTheSourceWhateverTheList)
{
    for (const char* list : {"255,255,1,0,0,0,0,0", "0,0,1,0,0,0,0,0", "0,0,0,0,0,0,0,0", "", "255,255,255,255"}) {
        SCOPED_TRACE(list);
        std::filesystem::remove(m_machine.Path("Y.img"));
        std::string dest = m_machine.MakeImage("Y.img", kNtfsSourceSize, 0xEE);
        Assign('Y', dest);

        CProgramResult run = Keldrun(list, true);
        EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins()));
        EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done());
        EXPECT_TRUE(platform::ReadWholeFile(dest) == m_source.m_bytes) << "the copy is not the source";
    }
}

// A source formatted FAT32 since the clone was scheduled as NTFS is copied byte for byte:
// the NTFS size field would overwrite where FAT32 keeps its root folder's cluster.
TEST_F(KeldrunNtfsTest, ASourceFormattedFat32SinceItWasProbedIsCopiedUnchanged)
{
    if (testsupport::RunTool(m_machine, "sh", {"-c", "command -v mkfs.fat && command -v fsck.fat"}).exitCode != 0)
        GTEST_SKIP() << "mkfs.fat and fsck.fat of dosfstools are missing";
    ASSERT_EQ(testsupport::RunTool(m_machine, "mkfs.fat", {"-F", "32", m_source.m_path}).exitCode, 0);
    const std::optional<std::string> source = platform::ReadWholeFile(m_source.m_path);
    std::string dest = m_machine.MakeImage("Y.img", kNtfsSourceSize, 0xEE);
    Assign('Y', dest);

    CProgramResult run = Keldrun("255,255,1,0,0,0,0,0", true);
    EXPECT_NE(run.m_out.find("Succesfully created the Y: partition clone."), std::string::npos) << run.m_err;
    EXPECT_TRUE(platform::ReadWholeFile(dest) == source) << "the copy is not the source";
    testsupport::CToolRun check = testsupport::RunTool(m_machine, "fsck.fat", {"-n", dest});
    EXPECT_EQ(check.exitCode, 0) << check.out;
}

TEST_F(KeldrunNtfsTest, WithoutTheNtfsToolsTheCopyKeepsTheSourcesCapacityAndSaysWhatToRun)
{
    std::string dest = Destination(96 * kMiB);
    const std::string list = testsupport::SizeFieldList(dest);
    const std::string path = std::getenv("PATH");
    std::filesystem::create_directory(m_machine.Path("bin"));
    setenv("PATH", m_machine.Path("bin").c_str(), 1);
    CProgramResult run = Keldrun(list, true);
    // Nor can the copy be given a serial of its own: the notes say what to install.
    const std::vector<std::string> notes =
        WithTwins({CapacityNoteText("X:", dest), NotCheckedText("Y:", CheckNotRunText(ENOENT, 0))});
    setenv("PATH", path.c_str(), 1);

    // Nor can the copy be checked, and the report says so rather than pretend.
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[3], "To give the copy a serial of its own, install ntfs-3g and run: ntfslabel --new-serial " + dest);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(notes));
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + notes[0] + "\n" + notes[1] + "\n" + notes[2] + "\n" +
                            notes[3] + "\nDone => 67108864\n");
    testsupport::ExpectCopyOfTheSourcesSize(m_machine, m_source, dest);

    // What the note says to run grows the copy to its partition.
    testsupport::CToolRun resize =
        testsupport::RunTool(m_machine, "ntfsresize", {"--force", "--no-progress-bar", dest});
    EXPECT_EQ(resize.exitCode, 0) << resize.out;
    EXPECT_EQ(testsupport::SizeFieldSectors(dest) / 8, 196607u / 8);
}

}  // namespace
