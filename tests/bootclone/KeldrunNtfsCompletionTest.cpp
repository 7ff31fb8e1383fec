// SPDX-License-Identifier: GPL-3.0-or-later
// Keldrun completing NTFS copies: the size of the copy comes from where it lies, the copy
// is checked before "Done", the tools work on the file the clone wrote and are not cut
// short by the stop of the machine. Real NTFS images, loop devices and ntfs-3g's tools.

#include "clone/CloneTexts.h"
#include "clone/VerifyTexts.h"
#include "tests/bootclone/BadSectorMount.h"
#include "tests/bootclone/KeldrunNtfs.h"
#include "tests/support/FakeTool.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace keldrun_ntfs;
using testsupport::CLoopDevice;
using testsupport::CProgramResult;

constexpr std::uint64_t kDestSize = 96 * kMiB;

class KeldrunNtfsCompletionTest : public CKeldrunNtfsFixture {
protected:
    // The summary of a completed clone without notes, its report, and a restart asked for.
    void ExpectDone(const CProgramResult& run)
    {
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins())) << run.m_err;
        EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done());
        EXPECT_TRUE(RestartRequested());
    }
    // The clone was not told as done: text is the report's last line and the message on the
    // console, and the machine is not restarted.
    void ExpectNotDone(const CProgramResult& run, const std::string& text)
    {
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_EQ(run.m_out.find("Succesfully"), std::string::npos) << run.m_out;
        EXPECT_NE(run.m_err.find(text), std::string::npos) << run.m_err;
        const std::string status = Status().value_or("");
        EXPECT_TRUE(status.ends_with(text + "\n")) << status;
        EXPECT_EQ(status.find("Done =>"), std::string::npos) << status;
        EXPECT_FALSE(RestartRequested());
    }
};

// The size of a copy counts the sectors of the source's own size that its partition holds;
// the destination's old file system may have counted sectors of another size.
TEST_F(KeldrunNtfsCompletionTest, SectorSizesThatDifferGiveASoundVolumeOfThePartitionsSize)
{
    struct CCase {
        const char* what;
        unsigned sourceSectors;
        unsigned destSectors;
        bool loop4K;  // the destination a loop device with 4096-byte logical sectors
    };
    const CCase cases[] = {
        {"512-byte sectors onto 4096-byte ones", 512, 4096, false},
        {"4096-byte sectors onto 512-byte ones", 4096, 512, false},
        {"512-byte sectors onto a disk of 4096-byte logical sectors", 512, 0, true},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        Source(c.sourceSectors);
        std::string dest = c.loop4K ? m_machine.MakeImage("Y.img", kDestSize) : Destination(kDestSize, true, {c.destSectors, 0});
        std::unique_ptr<CLoopDevice> loop;
        if (c.loop4K) {
            loop = std::make_unique<CLoopDevice>(dest, 4096);
            if (!loop->IsAttached()) {
                std::cout << "[ SKIPPED  ] " << c.what << ": no loop device: " << loop->Error() << "\n";
                continue;
            }
            dest = loop->Path();
            ASSERT_TRUE(testsupport::FormatNtfs(m_machine, dest, {0, 0}));
            Assign('Y', dest);
        }
        ASSERT_NE(testsupport::ReadBytes(dest, 11, 2), testsupport::ReadBytes(m_source.m_path, 11, 2))
            << "the destination's file system has the source's sector size";

        CProgramResult run = Keldrun(testsupport::SizeFieldList(dest), true);
        ExpectDone(run);
        testsupport::ExpectGrownCopy(m_machine, m_source, dest, kDestSize / c.sourceSectors - 1);
    }
}

// A verified NTFS copy is read back as it was written, before its completion grows it; one
// that differs is never completed: the NTFS tools do not run on it, it is not done and
// nothing restarts.
TEST_F(KeldrunNtfsCompletionTest, AVerifiedCopyIsComparedBeforeItIsCompletedAndOneThatDiffersIsNot)
{
    const std::string runs = m_machine.Path("tool-runs.txt");
    const std::string record = "echo \"$0 $*\" >> '" + runs + "'\nexec \"$real\" \"$@\"\n";
    testsupport::CFakeTool resize(m_machine, "ntfsresize", record);
    testsupport::CFakeTool fix(m_machine, "ntfsfix", record);

    std::string dest = Destination(kDestSize);
    CProgramResult run = Keldrun(testsupport::SizeFieldList(dest), true, true);
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done() + VerifiedLineText("67108864") + "\n");
    EXPECT_TRUE(RestartRequested());
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, 196607);
    EXPECT_NE(platform::ReadWholeFile(runs).value_or(""), "");

    std::filesystem::remove(runs);
    dest = Destination(kDestSize, false);
    testsupport::CBadSectorMount lying(m_machine.Path("lying"), dest, {"d70000"});
    if (!lying.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('Y', lying.Image());
    const std::string list = testsupport::SizeFieldList(dest);
    ExpectNotDone(Keldrun(list, true, true), CopyDiffersText("X:", "Y:", 70000, 1));
    EXPECT_EQ(platform::ReadWholeFile(runs), std::nullopt) << "the NTFS tools ran on a copy that differs";
}

// Neither a destination formatted over part of its partition nor a list of nothing makes
// the copy announce less than it holds.
TEST_F(KeldrunNtfsCompletionTest, TheCopyFillsItsPartitionWhateverTheDestinationHeldOrTheListSays)
{
    struct CCase {
        const char* what;
        std::uint64_t destVolumeBytes;   // 0: over the whole partition
        std::optional<std::string> list;  // the destination's own when none
    };
    const CCase cases[] = {
        {"a destination formatted over 48 of its 96 MiB", 48 * kMiB, std::nullopt},
        {"an all-zero list", 0, "0,0,0,0,0,0,0,0"},
        {"an empty list", 0, ""},
        {"a list of more than the partition", 0, "255,255,255,255,0,0,0,0"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        Source(512);
        std::string dest = Destination(kDestSize, true, {512, c.destVolumeBytes});

        CProgramResult run = Keldrun(c.list.value_or(testsupport::SizeFieldList(dest)), true);
        ExpectDone(run);
        testsupport::ExpectGrownCopy(m_machine, m_source, dest, 196607);
    }
}

// Windows mounts no NTFS of more than 2^32 - 1 clusters: a copy with 512-byte clusters on
// a 3 TiB partition grows to that many and says how much of the partition it uses; its
// boot sector is the backup after them and the alternate one in the partition's last
// sector. (ntfsresize records the size it is asked for: growing that far writes 512 MiB.)
TEST_F(KeldrunNtfsCompletionTest, APartitionOfMoreClustersThanNtfsCountsGetsTheMostItCounts)
{
    m_source = testsupport::MakeNtfsSource(m_machine, m_machine.Path("X.img"), 512, 512);
    ASSERT_FALSE(m_source.m_bytes.empty()) << "the NTFS source could not be made";
    Assign('X', m_source.m_path);
    const std::uint64_t destSize = std::uint64_t{3} << 40;
    const std::string dest = m_machine.Path("Y.img");
    std::ofstream(dest, std::ios::binary);
    std::error_code error;
    std::filesystem::resize_file(dest, destSize, error);
    if (error)
        GTEST_SKIP() << "no sparse image of 3 TiB here: " << error.message();
    Assign('Y', dest);
    const std::string asked = m_machine.Path("resize-sizes");
    CProgramResult run;
    {
        testsupport::CFakeTool resize(m_machine, "ntfsresize",
                                      "for a; do [ \"$prev\" = --size ] && echo \"$a\" >> '" + asked +
                                          "'; prev=$a; done\n");
        run = Keldrun("0,0,0,0,0,0,0,0", true);
    }

    const std::uint64_t mostSectors = 0xFFFFFFFFull;
    const std::string note = ClusterLimitNoteText("Y:", mostSectors * 512, 512);
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins({note}))) << run.m_err;
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done({note}));
    const std::string size = std::to_string((mostSectors + 1) * 512);
    EXPECT_EQ(platform::ReadWholeFile(asked), size + "\n" + size + "\n");
    const std::string boot = m_source.m_bytes.substr(0, 512);
    EXPECT_TRUE(testsupport::ReadBytes(dest, mostSectors * 512, 512) == boot);
    EXPECT_TRUE(testsupport::ReadBytes(dest, destSize - 512, 512) == boot);
}

// Sectors of the destination that refuse their data in slow mode, or that drop it without
// a word in fast mode, leave the copy without its $MFT: a source that passes the check
// gives a copy that is not usable, said so, and the machine is not restarted over it.
TEST_F(KeldrunNtfsCompletionTest, ACopyThatFailsTheCheckWhileItsSourcePassesIsNotUsable)
{
    const std::uint64_t mft = testsupport::NtfsMftSector(m_source.m_path);
    for (const char* fault : {"w", "d"}) {
        SCOPED_TRACE(fault);
        const bool fast = *fault == 'd';
        const std::string backing = m_machine.MakeImage(std::string("backing-") + fault, testsupport::kNtfsSourceSize);
        std::vector<std::string> faulty;
        for (std::uint64_t sector = mft; sector < mft + 8; ++sector)
            faulty.push_back(fault + std::to_string(sector));
        testsupport::CBadSectorMount mount(m_machine.Path(std::string("mnt-") + fault), backing, faulty);
        if (!mount.Mounted())
            GTEST_SKIP() << "FUSE cannot be mounted here";
        Assign('Y', mount.Image());

        CProgramResult run = Keldrun("255,255,1,0,0,0,0,0", fast);
        ExpectNotDone(run, CopyNotUsableText("X:", "Y:"));
        const std::string status = Status().value_or("");
        if (fast)
            EXPECT_TRUE(status.starts_with(std::string(kHeader) + kFastTotals)) << status;
        else
            EXPECT_NE(status.find("Error#: 5.  Skipping bad sector at location: " + std::to_string(mft) +
                                  " on partition Y:\n"),
                      std::string::npos);
    }
}

// A source that fails the check itself (here its $MFTMirr no longer matches $MFT) gives a
// copy as good as itself, which is done and said to be so.
TEST_F(KeldrunNtfsCompletionTest, ASourceThatFailsTheCheckGivesACopyAsGoodAsItself)
{
    {
        std::fstream image(m_source.m_path, std::ios::in | std::ios::out | std::ios::binary);
        image.seekp(static_cast<std::streamoff>(testsupport::NtfsMftSector(m_source.m_path, true) * 512 + 2048 + 100));
        image << "XXXXXXXX";
        ASSERT_TRUE(image.flush());
    }
    const std::string source = *platform::ReadWholeFile(m_source.m_path);
    ASSERT_NE(testsupport::RunTool(m_machine, "ntfsfix", {"--no-action", m_source.m_path}).exitCode, 0)
        << "the source still passes the check";
    std::string dest = m_machine.MakeImage("Y.img", testsupport::kNtfsSourceSize, 0xEE);
    Assign('Y', dest);

    CProgramResult run = Keldrun("255,255,1,0,0,0,0,0", true);
    const std::string note = AsGoodAsSourceText("X:", "Y:");
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins({note})));
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done({note}));
    EXPECT_TRUE(RestartRequested());
    EXPECT_TRUE(platform::ReadWholeFile(dest) == source) << "the copy is not the source";
}

// A resize that began and did not complete may have left anything: the copy must be
// checked, not resized again; one whose $MFT is gone is not usable.
TEST_F(KeldrunNtfsCompletionTest, AResizeCutShortSaysTheCopyMustBeChecked)
{
    struct CCase {
        const char* what;
        std::string script;  // the real run of ntfsresize
        const char* how;
        bool wrecked;
    };
    const CCase cases[] = {
        {"killed", "kill -KILL $$\n", "was ended by signal 9", false},
        {"failed", "exit 1\n", "failed with exit code 1", false},
        {"killed after writing", testsupport::ZeroMftScript(m_source.m_path) + "kill -KILL $$\n",
         "was ended by signal 9", true},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string dest = Destination(kDestSize);
        CProgramResult run;
        {
            testsupport::CFakeTool resize(m_machine, "ntfsresize", testsupport::CFakeTool::kRealRunOnly + c.script);
            run = Keldrun(testsupport::SizeFieldList(dest), true);
        }

        const std::string note = ResizeCutShortText("Y:", dest, c.how);
        if (c.wrecked) {
            ExpectNotDone(run, CopyNotUsableText("X:", "Y:"));
            EXPECT_NE(Status().value_or("").find(note + "\n"), std::string::npos);
            continue;
        }
        EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins({note})));
        EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done({note}));
        testsupport::ExpectCopyOfTheSourcesSize(m_machine, m_source, dest);
    }
}

// The stop of the machine signals every process of Keldrun's unit: the growth goes on to
// its end, and Keldrun ends by the signal once the clone is done, without the restart.
TEST_F(KeldrunNtfsCompletionTest, TheStopOfTheMachineDoesNotCutTheGrowthShort)
{
    std::string dest = Destination(kDestSize);
    CProgramResult run;
    {
        testsupport::CFakeTool resize(m_machine, "ntfsresize",
                                      testsupport::CFakeTool::kRealRunOnly +
                                          "kill -TERM $PPID; kill -TERM $$; kill -INT $$; kill -HUP $$\n"
                                          "exec \"$real\" \"$@\"\n");
        run = Keldrun(testsupport::SizeFieldList(dest), true);
    }

    EXPECT_EQ(run.m_exitCode, -1) << "Keldrun did not end by the signal";
    EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins()));
    EXPECT_EQ(Status(), std::string(kHeader) + kFastTotals + Done());
    EXPECT_FALSE(RestartRequested());
    testsupport::ExpectGrownCopy(m_machine, m_source, dest, 196607);
}

// A tool that only reads and never ends (a loop on a damaged volume) would hold the boot
// for ever: it is given up after its bound, and the copy is said to be unchecked or to
// keep the source's capacity. The resize, which writes, is never cut short.
TEST_F(KeldrunNtfsCompletionTest, AToolThatOnlyReadsIsGivenUpAfterItsBoundTheResizeNever)
{
    struct CCase {
        const char* what;
        const char* tool;
        std::string script;
        bool grows;
    };
    const CCase cases[] = {
        {"the check hangs", "ntfsfix", "exec sleep 600\n", true},
        {"the probe hangs", "ntfs-3g.probe", "exec sleep 600\n", false},
        {"the trial resize hangs", "ntfsresize", "case \" $* \" in *\" --no-action \"*) exec sleep 600;; esac\n"
                                                 "exec \"$real\" \"$@\"\n",
         false},
        {"the resize takes longer than the bound", "ntfsresize",
         testsupport::CFakeTool::kRealRunOnly + "sleep 3; exec \"$real\" \"$@\"\n", true},
    };
    testsupport::CWaitBound bound(2000);
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string dest = Destination(kDestSize);
        CProgramResult run;
        {
            testsupport::CFakeTool tool(m_machine, c.tool, c.script);
            run = Keldrun(testsupport::SizeFieldList(dest), true);
        }

        std::vector<std::string> notes;
        if (!c.grows)
            notes.push_back(CapacityNoteText("X:", dest));
        if (std::string(c.tool) == "ntfsfix")
            notes.push_back(NotCheckedText("Y:", CheckOverdueText(std::chrono::milliseconds(2000))));
        EXPECT_EQ(run.m_out, Begins(true) + kFastProgress + Summary(WithTwins(notes))) << run.m_err;
        EXPECT_TRUE(RestartRequested());
        if (c.grows)
            testsupport::ExpectGrownCopy(m_machine, m_source, dest, 196607);
        else
            testsupport::ExpectCopyOfTheSourcesSize(m_machine, m_source, dest);
    }
}

// Another user who may write the folder of the destination's image puts a link to another
// volume in its place the moment the completion begins on it (the copy's boot sector lands
// in the partition's last sector): the tools still work on the image the clone wrote, and
// the other volume stays as it was.
class KeldrunPathSwapTest : public KeldrunNtfsCompletionTest {
protected:
    void SwapOnto(const std::string& victim)
    {
        if (!testsupport::CanRunAsNobody())
            GTEST_SKIP() << "needs root and setpriv to act as another user";
        const std::optional<std::string> victimBefore = platform::ReadWholeFile(victim);
        ASSERT_TRUE(victimBefore);
        // The attacker polls for the moment; on a loaded machine it may not be scheduled
        // before the completion ends, which proves nothing either way: try again.
        for (int attempt = 1; attempt <= 3; ++attempt) {
            SCOPED_TRACE("attempt " + std::to_string(attempt));
            testsupport::CWorldWritableFolder shared;
            const std::string swapper = shared.CopyProgram(PATHSWAPPER_PATH);
            ASSERT_FALSE(swapper.empty());
            const std::string trigger = shared.Path() + "/boot";
            std::ofstream(trigger, std::ios::binary) << m_source.m_bytes.substr(0, 512);
            const std::string dest = shared.Path() + "/Y.img";
            ASSERT_TRUE(testsupport::MakeNtfsImage(m_machine, dest, kDestSize));
            Assign('Y', dest);
            const std::string list = testsupport::SizeFieldList(dest);

            testsupport::CRunAsNobody attacker({swapper, dest, victim, trigger, std::to_string(kDestSize - 512)});
            CProgramResult run = Keldrun(list, true);
            const bool swapped = attacker.Wait() == 0;

            EXPECT_TRUE(platform::ReadWholeFile(victim) == victimBefore) << "the other volume changed";
            if (!swapped)
                continue;
            ExpectDone(run);
            testsupport::ExpectGrownCopy(m_machine, m_source, dest + ".old", 196607);
            return;
        }
        GTEST_SKIP() << "the attacker never ran during the completion: the machine is too busy to test the swap";
    }
};

TEST_F(KeldrunPathSwapTest, ALinkToAnotherImageIsNeverResized)
{
    const std::string victim = m_machine.Path("V.img");
    ASSERT_TRUE(testsupport::MakeNtfsImage(m_machine, victim, 128 * kMiB));
    SwapOnto(victim);
}

TEST_F(KeldrunPathSwapTest, ALinkToALoopDeviceIsNeverResized)
{
    const std::string backing = m_machine.Path("V.img");
    ASSERT_TRUE(testsupport::MakeNtfsImage(m_machine, backing, 128 * kMiB));
    CLoopDevice victim(backing);
    if (!victim.IsAttached())
        GTEST_SKIP() << "no loop device: " << victim.Error();
    SwapOnto(victim.Path());
}

}  // namespace
