// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/CloneDrive.h"

#include "clone/CloneTexts.h"
#include "clone/ReportFile.h"
#include "clone/VerifyCopy.h"
#include "clone/VerifyTexts.h"
#include "tests/clone/MemoryCloneTest.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/NoNewThreads.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace {

using testsupport::CMemoryVolume;

constexpr std::size_t kSector = 512;
constexpr std::size_t kMiB = 1 << 20;
constexpr const char* kDoneText =
    "Done!\n\nDrive partition cloned from: X:\nDrive partition cloned to: Y:\n\n"
    "The partition will be useable after rebooting the computer.";

// Records what the engine tells its front end of the copy and of its verification; asks
// cancel and the stop signal through a test's predicates.
class CVerifyingFrontEnd : public ICloneFrontEnd {
public:
    explicit CVerifyingFrontEnd(std::string reportPath) : m_reportPath(std::move(reportPath)) {}

    std::string ReportPath() const override { return m_reportPath; }
    std::string CannotOpenSourceText(const std::string& drive) const override { return "cannot open " + drive; }
    std::string CannotOpenDestinationText(const std::string& drive) const override { return "cannot write " + drive; }
    std::string OverlappingVolumesText(const std::string&, const std::string&, bool) const override
    {
        return "overlap";
    }
    bool CancelRequested() override { return m_cancel && m_cancel(); }
    int StopSignal() override { return m_stop && m_stop() ? 15 : 0; }
    void OnCloneStarting() override {}
    void OnBlockWritten(std::uint64_t total) override { m_written = total; }
    void OnVerifyStarting(std::uint64_t bytes) override
    {
        m_verifyBytes = bytes;
        m_writtenAtVerify = m_written;
        if (m_onVerifyStarting)
            m_onVerifyStarting();
    }
    void OnBytesVerified(std::uint64_t compared) override { m_verified.push_back(compared); }
    void OnCloneCompleted(const CCloneRequest&, std::uint64_t, bool, const std::vector<std::string>& notes) override
    {
        platform::MessageBox(kDoneText);
        m_notes = notes;
    }

    std::function<bool()> m_cancel;
    std::function<bool()> m_stop;
    std::function<void()> m_onVerifyStarting;
    std::uint64_t m_written = 0;
    std::optional<std::uint64_t> m_verifyBytes;
    std::uint64_t m_writtenAtVerify = 0;
    std::vector<std::uint64_t> m_verified;
    std::vector<std::string> m_notes;

private:
    std::string m_reportPath;
};

class VerifyCopyTest : public CMemoryCloneTest {
protected:
    CloneOutcome Clone(const std::string& fileSystem, bool fast, bool verify = true,
                       const std::string& list = "1,2,3,4,")
    {
        CCloneRequest request{"X:", "Y:", fileSystem, list, fast, verify};
        return CloneDrive(request, m_frontEnd, m_volumes);
    }

    CVerifyingFrontEnd m_frontEnd{m_machine.Path("Report.txt")};
};

// The copy is read back only once it is all written and flushed, and only over the
// source's length: the rest of a larger destination keeps what it held and is not
// compared. Both counts say the same, in the report after "Done" and in the message.
TEST_F(VerifyCopyTest, ACopyReadBackEqualIsVerifiedAfterDone)
{
    const std::size_t size = 50 * kMiB + 100;  // an image file that ends within a sector
    Source(size);
    Dest(size + 8 * kSector);
    int flushesBeforeReadingBack = -1;
    m_dest->OnEveryRead([&](std::uint64_t, bool) {
        if (flushesBeforeReadingBack < 0)
            flushesBeforeReadingBack = m_dest->Flushes();
    });
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::Completed);

    EXPECT_EQ(flushesBeforeReadingBack, 1);
    EXPECT_EQ(m_frontEnd.m_writtenAtVerify, size) << "verified before the copy was whole";
    EXPECT_EQ(m_frontEnd.m_verifyBytes, size);
    ASSERT_FALSE(m_frontEnd.m_verified.empty());
    EXPECT_EQ(m_frontEnd.m_verified.back(), size);
    EXPECT_TRUE(std::is_sorted(m_frontEnd.m_verified.begin(), m_frontEnd.m_verified.end()));
    EXPECT_EQ(ReportLines(), Report({"20971520", "41943040", "52428900", "Done => 52428900",
                                     VerifiedLineText("52428900")}));
    EXPECT_EQ(m_frontEnd.m_notes, std::vector<std::string>{VerifiedNoteText("Y:", size, 0)});
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kDoneText});
}

// A medium that takes writes and keeps nothing of them: the copy is never done, and the
// user learns where the copy first differs and how much of it does.
TEST_F(VerifyCopyTest, ADestinationThatDropsWritesIsFoundSectorBySector)
{
    const std::size_t size = 24 * kMiB;
    for (bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast mode" : "slow mode");
        Source(size);
        Dest(size);
        // Two neighbours, one alone, one in another block of the verification, the last.
        for (std::uint64_t sector : std::initializer_list<std::uint64_t>{100, 101, 5000, 20000, size / kSector - 1})
            m_dest->DropWrites(sector);
        ASSERT_EQ(Clone("FAT32", fast), CloneOutcome::CopyDiffers);

        const std::string text = CopyDiffersText("X:", "Y:", 100, 5);
        EXPECT_EQ(ReportLines().back(), text);
        for (const std::string& line : ReportLines())
            EXPECT_FALSE(line.starts_with("Done")) << line;
        EXPECT_EQ(m_boxes.Texts().back(), text);
        EXPECT_TRUE(m_frontEnd.m_notes.empty()) << "told as done";
    }
}

// Without verification a lying medium goes unnoticed, as it always did.
TEST_F(VerifyCopyTest, WithoutVerificationADroppingDestinationIsDoneAsBefore)
{
    Source(kMiB);
    Dest(kMiB).DropWrites(7);
    ASSERT_EQ(Clone("FAT32", true, false), CloneOutcome::Completed);
    EXPECT_EQ(ReportLines(), Report({"1048576", "Done => 1048576"}));
    EXPECT_FALSE(m_frontEnd.m_verifyBytes);
    EXPECT_EQ(m_dest->ReadsOfSector(0), 0) << "the destination was read";
    EXPECT_NE(m_dest->Bytes(), m_sourceBytes);
}

// The first sector is compared as it was written: an NTFS size field rewritten from the
// list is no difference, a first sector that was not kept is one. A copy that differs is
// not completed as NTFS either.
TEST_F(VerifyCopyTest, TheFirstSectorIsComparedAsItWasWritten)
{
    Source(kMiB);
    Dest(kMiB);
    ASSERT_EQ(Clone("NTFS", true, true, "255,7,0,0,0,0,0,0"), CloneOutcome::Completed);
    EXPECT_NE(m_dest->Bytes(), m_sourceBytes) << "no size field was rewritten";
    EXPECT_EQ(ReportLines().back(), VerifiedLineText("1048576"));

    Source(kMiB);
    Dest(kMiB).DropWrites(0);
    ASSERT_EQ(Clone("NTFS", true, true, "255,7,0,0,0,0,0,0"), CloneOutcome::CopyDiffers);
    EXPECT_EQ(ReportLines(), Report({"1048576", CopyDiffersText("X:", "Y:", 0, 1)}, "NTFS"));
}

// One byte that differs is enough, wherever it lies: beside the size field of an NTFS boot
// sector (bytes 40 to 47, which the copy rewrites) and in the last sector, cut short.
TEST_F(VerifyCopyTest, ASingleByteThatDiffersIsFoundBesideTheSizeFieldAndInTheLastSector)
{
    struct CCase {
        const char* fileSystem;
        std::size_t size;
        std::size_t byte;
    };
    const std::size_t cut = kMiB + 100;
    for (CCase c : {CCase{"NTFS", kMiB, 39}, CCase{"NTFS", kMiB, 48}, CCase{"FAT32", cut, cut - 100},
                    CCase{"FAT32", cut, cut - 1}}) {
        SCOPED_TRACE(std::string(c.fileSystem) + " byte " + std::to_string(c.byte));
        Source(c.size);
        Dest(c.size + kSector);
        m_frontEnd.m_onVerifyStarting = [&] {
            m_dest->SetBytes(c.byte, std::vector<std::byte>(1, ~m_dest->Bytes()[c.byte]));
        };
        ASSERT_EQ(Clone(c.fileSystem, true, true, "255,7,0,0,0,0,0,0"), CloneOutcome::CopyDiffers);
        EXPECT_EQ(ReportLines().back(), CopyDiffersText("X:", "Y:", c.byte / kSector, 1));
    }
}

// A stop asked for (Cancel or a signal) does not hide what the verification found: a
// difference already seen is told and the copy is not done; a stop after the last block
// leaves nothing unverified.
TEST_F(VerifyCopyTest, AStoppedVerificationStillTellsWhatItFound)
{
    Source(60 * kMiB);
    Dest(60 * kMiB).DropWrites(100);
    m_frontEnd.m_cancel = [this] { return !m_frontEnd.m_verified.empty(); };
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::CopyDiffers);
    EXPECT_EQ(ReportLines().back(), CopyDiffersText("X:", "Y:", 100, 1, true));
    EXPECT_EQ(m_frontEnd.m_verified.size(), 1u);
    EXPECT_TRUE(m_frontEnd.m_notes.empty()) << "told as done";

    Source(30 * kMiB);
    Dest(30 * kMiB);
    m_frontEnd.m_cancel = nullptr;
    m_frontEnd.m_verified.clear();
    m_frontEnd.m_stop = [this] { return !m_frontEnd.m_verified.empty() && m_frontEnd.m_verified.back() == 30 * kMiB; };
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::Completed);
    EXPECT_EQ(ReportLines().back(), VerifiedLineText("31457280"));
}

// The sectors slow mode skipped, unreadable on the source or refusing the destination's
// data, are left out: they are not read again and the rest verifies clean.
TEST_F(VerifyCopyTest, SectorsSkippedInSlowModeAreLeftOutAndCounted)
{
    Source(4 * kMiB);
    m_source->FailRead(100);
    m_source->FailRead(101);
    Dest(4 * kMiB).FailWrite(3000);
    int readsOfBadSectors = -1;
    m_frontEnd.m_onVerifyStarting = [&] {
        readsOfBadSectors = m_source->ReadsOfSector(100) + m_source->ReadsOfSector(101) + m_dest->ReadsOfSector(3000);
    };
    ASSERT_EQ(Clone("FAT32", false), CloneOutcome::Completed);

    const std::uint64_t copied = 4 * kMiB - 3 * kSector;
    EXPECT_EQ(m_frontEnd.m_verifyBytes, copied);
    EXPECT_EQ(m_source->ReadsOfSector(100) + m_source->ReadsOfSector(101) + m_dest->ReadsOfSector(3000),
              readsOfBadSectors);
    const std::vector<std::string> report = ReportLines();
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report[report.size() - 2], DoneLineText(FormatBytes(copied)));
    EXPECT_EQ(report.back(), VerifiedLineText(FormatBytes(copied)));
    EXPECT_EQ(m_frontEnd.m_notes, std::vector<std::string>{VerifiedNoteText("Y:", copied, 3)});
}

// The sectors on either side of a skipped one are compared all the same.
TEST_F(VerifyCopyTest, ASectorBesideASkippedOneIsStillCompared)
{
    Source(4 * kMiB).FailRead(100);
    Dest(4 * kMiB).FailWrite(3000);
    for (std::uint64_t sector : {99, 101, 2999, 3001})
        m_dest->DropWrites(sector);
    ASSERT_EQ(Clone("FAT32", false), CloneOutcome::CopyDiffers);
    EXPECT_EQ(ReportLines().back(), CopyDiffersText("X:", "Y:", 99, 4));
}

// A sector that cannot be read back is told as such, on the partition where it failed,
// never as a difference; the copy is not done.
TEST_F(VerifyCopyTest, ASectorThatCannotBeReadBackIsToldWithItsPartitionAndErrno)
{
    Source(16 * kMiB);
    Dest(16 * kMiB).FailRead(20000);
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::NotVerified);
    std::string text = VerifyReadFailedText(EIO, "Y:", 20000, "Y:");
    EXPECT_EQ(ReportLines().back(), text);
    // The message adds the system's word for the error.
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{text + "\n\n" + SystemReasonText(EIO)});

    // The source's sector fails only once the copy is made: it was copied.
    Source(16 * kMiB);
    Dest(16 * kMiB);
    m_frontEnd.m_onVerifyStarting = [&] { m_source->FailRead(7, ENXIO); };
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::NotVerified);
    text = VerifyReadFailedText(ENXIO, "X:", 7, "Y:");
    EXPECT_EQ(ReportLines().back(), text);
    EXPECT_EQ(m_boxes.Texts().back(), text + "\n\n" + SystemReasonText(ENXIO));
}

// Cancel, or a signal to end the program, stops the verification but not the clone: the
// copy is whole, so it is done, and said not to be verified.
TEST_F(VerifyCopyTest, CancelOrASignalStopsTheVerificationAndTheCopyIsDoneUnverified)
{
    struct CCase {
        const char* what;
        int signal;
    };
    for (CCase c : {CCase{"cancel", 0}, CCase{"signal", 15}}) {
        SCOPED_TRACE(c.what);
        Source(40 * kMiB);
        Dest(40 * kMiB);
        m_frontEnd.m_verified.clear();
        auto duringVerification = [this] { return !m_frontEnd.m_verified.empty(); };
        m_frontEnd.m_cancel = c.signal == 0 ? std::function<bool()>(duringVerification) : nullptr;
        m_frontEnd.m_stop = c.signal != 0 ? std::function<bool()>(duringVerification) : nullptr;
        ASSERT_EQ(Clone("FAT32", true), CloneOutcome::Completed);

        EXPECT_EQ(m_frontEnd.m_verified.size(), 1u);
        EXPECT_EQ(ReportLines(), Report({"20971520", "41943040", "Done => 41943040", NotVerifiedText(c.signal)}));
        EXPECT_EQ(m_frontEnd.m_notes, std::vector<std::string>{NotVerifiedText(c.signal)});
    }
}

// Where no thread can be started, both partitions are read one after the other: slower,
// but the copy is verified all the same.
TEST_F(VerifyCopyTest, WithoutThreadsTheCopyIsStillVerified)
{
    Source(12 * kMiB);
    Dest(12 * kMiB).DropWrites(17000);
    std::optional<testsupport::CNoNewThreads> noThreads;
    m_frontEnd.m_onVerifyStarting = [&] { noThreads.emplace(); };
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::CopyDiffers);
    ASSERT_TRUE(noThreads && noThreads->Active()) << "threads could not be held back";
    noThreads.reset();
    EXPECT_EQ(ReportLines().back(), CopyDiffersText("X:", "Y:", 17000, 1));
}

// Silent while the verification runs.
class CQuietProgress : public IVerifyProgress {
public:
    void OnVerifyStarting(std::uint64_t bytes) override { m_bytes = bytes; }
    bool OnBlockCompared(std::uint64_t) override { return true; }
    std::uint64_t m_bytes = 0;
};

// Only what was copied is compared, each part where it was copied to: a copy of the used
// parts of a volume differs everywhere else.
TEST(VerifyPlan, OnlyTheCopiedRangesLessTheSkippedSectorsAreCompared)
{
    testsupport::CFaultyVolumes volumes;
    const std::vector<std::byte> bytes = Pattern(32 * kMiB);
    volumes.Add('X', 32 * kMiB).SetBytes(0, bytes);
    CMemoryVolume& dest = volumes.Add('Y', 32 * kMiB, 0xEE);
    CVerifyPlan plan{usedspace::CByteRanges(32 * kMiB), usedspace::CByteRanges(32 * kMiB), {}};
    plan.copied.Add(0, 4096);
    plan.copied.Add(9 * kMiB, 10 * kMiB);
    plan.skipped.Add(12 * kMiB, kSector);
    for (const usedspace::CByteRange& range : plan.copied.Ranges())
        dest.SetBytes(range.m_offset, std::span(bytes).subspan(range.m_offset, range.m_length));
    dest.SetBytes(12 * kMiB, std::vector<std::byte>(kSector, std::byte{0xEE}));
    auto sourceHandle = volumes.Open(platform::RawVolumeName("X:"), platform::VolumeAccess::Read);
    auto destHandle = volumes.Open(platform::RawVolumeName("Y:"), platform::VolumeAccess::Write);

    CQuietProgress progress;
    CVerifyOutcome outcome = VerifyCopy(*sourceHandle, *destHandle, plan, progress);
    EXPECT_EQ(outcome.result, VerifyResult::Equal);
    EXPECT_EQ(outcome.bytesCompared, 4096 + 10 * kMiB - kSector);
    EXPECT_EQ(progress.m_bytes, outcome.bytesCompared);

    dest.SetBytes(9 * kMiB + 3 * kSector, std::vector<std::byte>(1, std::byte{0}));
    dest.SetBytes(kMiB, std::vector<std::byte>(kSector, std::byte{0}));  // not copied
    outcome = VerifyCopy(*sourceHandle, *destHandle, plan, progress);
    EXPECT_EQ(outcome.result, VerifyResult::Differs);
    EXPECT_EQ(outcome.firstDifferingSector, 9 * kMiB / kSector + 3);
    EXPECT_EQ(outcome.differingSectors, 1u);
}

}  // namespace
