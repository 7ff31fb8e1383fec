// SPDX-License-Identifier: GPL-3.0-or-later
#include "clone/CloneDrive.h"

#include "clone/CloneTexts.h"
#include "clone/ReportFile.h"
#include "clone/SizeField.h"
#include "platform/files/TextFiles.h"
#include "tests/clone/MemoryCloneTest.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <sstream>

namespace {

using testsupport::CMemoryVolume;

constexpr std::size_t kSector = 512;
constexpr std::size_t kMiB = 1 << 20;
constexpr const char* kNtfsList = "0,16,229,3,0,0,0,0";
constexpr const char* kDoneText =
    "Done!\n\nDrive partition cloned from: X:\nDrive partition cloned to: Y:\n\n"
    "The partition will be useable after rebooting the computer.";
constexpr const char* kCancelText = kCloneCancelledText;

// A volume in memory is no file that ntfsfix could be given: an NTFS copy on it is
// completed without its check, and says so.
std::string NotCheckedNote()
{
    return NotCheckedText("Y:", CheckNotRunText(EBADF, 0));
}

// A byte count as the programs show it.
std::string Shown(std::uint64_t bytes)
{
    return AddThousandsSeparators(FormatBytes(bytes));
}

// Records what the engine tells its front end; asks cancel through a test's predicate.
class CRecordingFrontEnd : public ICloneFrontEnd {
public:
    explicit CRecordingFrontEnd(std::string reportPath) : m_reportPath(std::move(reportPath)) {}

    std::string ReportPath() const override { return m_reportPath; }
    std::string CannotOpenSourceText(const std::string& drive) const override { return "cannot open " + drive; }
    std::string CannotOpenDestinationText(const std::string& drive) const override { return "cannot write " + drive; }
    std::string OverlappingVolumesText(const std::string& source, const std::string& destination,
                                       bool identical) const override
    {
        return source + (identical ? " is " : " overlaps ") + destination;
    }
    bool CancelRequested() override { return m_cancel && m_cancel(); }
    int StopSignal() override { return m_stop && m_stop() ? 15 : 0; }
    void OnCloneInterrupted(const std::string& text) override { m_interrupted = text; }
    void OnCloneStarting() override { ++m_starts; }
    void OnBlockWritten(std::uint64_t total) override { m_totals.push_back(Shown(total)); }
    void OnCloneCompleted(const CCloneRequest& request, std::uint64_t total, bool badSectorsSkipped,
                          const std::vector<std::string>& notes) override
    {
        m_notes = notes;
        platform::MessageBox("Done!\n\nDrive partition cloned from: " + request.m_sourceDrive +
                             "\nDrive partition cloned to: " + request.m_destDrive +
                             "\n\nThe partition will be useable after rebooting the computer.");
        m_completedTotal = Shown(total);
        m_badSectors = badSectorsSkipped;
    }

    std::function<bool()> m_cancel;
    std::function<bool()> m_stop;  // a signal has come
    std::optional<std::string> m_interrupted;
    int m_starts = 0;
    std::vector<std::string> m_totals;
    std::optional<std::string> m_completedTotal;
    bool m_badSectors = false;
    std::vector<std::string> m_notes;

private:
    std::string m_reportPath;
};

std::vector<std::byte> Sectors(const std::vector<std::byte>& bytes, std::size_t first, std::size_t count = 1)
{
    return {bytes.begin() + static_cast<std::ptrdiff_t>(first * kSector),
            bytes.begin() + static_cast<std::ptrdiff_t>((first + count) * kSector)};
}

class CloneDriveTest : public CMemoryCloneTest {
protected:
    CloneOutcome Clone(const std::string& fileSystem, bool fast, const std::string& list = kNtfsList)
    {
        CCloneRequest request{"X:", "Y:", fileSystem, list, fast};
        return CloneDrive(request, m_frontEnd, m_volumes);
    }

    // The copy expected on a destination of the source's size: the source, with the
    // listed sectors keeping the destination's old bytes.
    std::vector<std::byte> CopyWithout(std::initializer_list<std::size_t> untouched) const
    {
        std::vector<std::byte> expected = m_sourceBytes;
        for (std::size_t sector : untouched)
            std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(sector * kSector), kSector, std::byte{0xEE});
        return expected;
    }

    CRecordingFrontEnd m_frontEnd{m_machine.Path("Report.txt")};
};

// The size-field list describes the file system the destination held before: the copy is
// the source byte for byte whatever the list says.
TEST_F(CloneDriveTest, FastModeCopiesInTwentyMebibyteBlocksByteForByte)
{
    Source(50 * kMiB);
    Dest(50 * kMiB);
    ASSERT_EQ(Clone("NTFS", true), CloneOutcome::Completed);

    EXPECT_EQ(m_dest->Bytes(), m_sourceBytes);
    EXPECT_EQ(m_source->Bytes(), m_sourceBytes);
    EXPECT_EQ(m_dest->Writes(), 3);
    // After the copy, and after its NTFS completion.
    EXPECT_EQ(m_dest->Flushes(), 2);

    EXPECT_EQ(ReportLines(),
              Report({"20971520", "41943040", "52428800", NotCheckedNote(), "Done => 52428800"}, "NTFS"));
    EXPECT_EQ(m_frontEnd.m_notes, std::vector<std::string>{NotCheckedNote()});
    EXPECT_EQ(m_frontEnd.m_starts, 1);
    EXPECT_EQ(m_frontEnd.m_totals, (std::vector<std::string>{"20,971,520", "41,943,040", "52,428,800"}));
    EXPECT_EQ(m_frontEnd.m_completedTotal, "52,428,800");
    EXPECT_FALSE(m_frontEnd.m_badSectors);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kDoneText});
}

// A first sector that is no NTFS boot sector cannot grow: it takes the list as given, when
// the partition holds what the list announces.
TEST_F(CloneDriveTest, AnNtfsSourceWithoutAnNtfsBootSectorTakesTheListThatFitsItsPartition)
{
    Source(kMiB);
    Dest(kMiB);
    ASSERT_EQ(Clone("NTFS", false, "255,7,0,0,0,0,0,0"), CloneOutcome::Completed);
    std::vector<std::byte> expected = m_sourceBytes;
    const std::uint8_t field[] = {255, 7, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        expected[40 + i] = std::byte{field[i]};
    EXPECT_EQ(m_dest->Bytes(), expected);
}

// A report that turns into a link to a root-only file mid-clone takes no more lines, and
// the clone goes on to its end as with any report that cannot be written.
TEST_F(CloneDriveTest, AReportSwappedForALinkMidCloneIsNotWrittenThrough)
{
    const std::string secret = m_machine.Path("root-only");
    ASSERT_TRUE(platform::AppendToFile(secret, "secret\n"));
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    Source(50 * kMiB).OnRead([this, secret](int reads) {
        if (reads != 2)
            return;
        const std::string planted = m_machine.Path("planted");
        ASSERT_EQ(symlink(secret.c_str(), planted.c_str()), 0);
        ASSERT_EQ(std::rename(planted.c_str(), m_machine.Path("Report.txt").c_str()), 0);
    });
    Dest(50 * kMiB);
    ASSERT_EQ(Clone("FAT32", true, "1,2,3,4,"), CloneOutcome::Completed);
    EXPECT_EQ(platform::ReadWholeFile(secret), "secret\n");
    EXPECT_EQ(m_dest->Bytes(), m_sourceBytes);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kDoneText});
}

TEST_F(CloneDriveTest, SlowModeCountsEverySectorAndLeavesFat32Unchanged)
{
    Source(kMiB);
    Dest(kMiB + 4 * kSector);
    ASSERT_EQ(Clone("FAT32", false, "1,2,3,4,"), CloneOutcome::Completed);

    std::vector<std::byte> copy = m_dest->Bytes();
    EXPECT_TRUE(std::equal(m_sourceBytes.begin(), m_sourceBytes.end(), copy.begin()));
    EXPECT_EQ(Sectors(copy, 2048, 4), std::vector<std::byte>(4 * kSector, std::byte{0xEE}));
    // Healthy sectors move in one transfer, and are counted one by one all the same.
    EXPECT_EQ(m_dest->Writes(), 1);
    EXPECT_EQ(m_frontEnd.m_totals.size(), 2048u);
    EXPECT_EQ(m_frontEnd.m_totals[0], "512");
    EXPECT_EQ(m_frontEnd.m_totals.back(), "1,048,576");
    EXPECT_EQ(ReportLines(), Report({"Done => 1048576"}));
}

// An NTFS boot sector announcing size sectors of 512 bytes, 8 to a cluster, over the
// source's first sector.
void PutNtfsBootSector(CMemoryVolume& volume, std::vector<std::byte>& bytes, std::uint64_t sectors)
{
    const char oem[] = "NTFS    ";
    for (std::size_t i = 0; i < 8; ++i)
        bytes[3 + i] = std::byte(oem[i]);
    bytes[11] = std::byte{0x00};
    bytes[12] = std::byte{0x02};
    bytes[13] = std::byte{8};
    WriteSizeField(bytes, SizeFieldOf(sectors));
    volume.SetBytes(0, bytes);
}

// The copy announces its partition's size only once it has grown to it; a copy that cannot
// be grown keeps the source's size field and says what to run, whatever the list says.
TEST_F(CloneDriveTest, AnNtfsCopyThatCannotGrowKeepsTheSourcesSizeFieldAndSaysSo)
{
    for (const char* list : {"255,15,0,0,0,0,0,0", "", "0,0,0,0,0,0,0,0", "0,0,0,1,0,0,0,0"}) {
        SCOPED_TRACE(list);
        PutNtfsBootSector(Source(kMiB), m_sourceBytes, 2047);
        Dest(2 * kMiB);
        ASSERT_EQ(Clone("NTFS", false, list), CloneOutcome::Completed);

        EXPECT_TRUE(std::equal(m_sourceBytes.begin(), m_sourceBytes.end(), m_dest->Bytes().begin()));
        const std::vector<std::string> notes{CapacityNoteText("X:", "Y:"), NotCheckedNote()};
        EXPECT_EQ(m_frontEnd.m_notes, notes);
        EXPECT_EQ(ReportLines(), Report({notes[0], notes[1], "Done => 1048576"}, "NTFS"));
    }
    // On a partition of its own size there is nothing to grow, and FAT32 is never looked at.
    PutNtfsBootSector(Source(kMiB), m_sourceBytes, 2047);
    Dest(kMiB);
    ASSERT_EQ(Clone("NTFS", true), CloneOutcome::Completed);
    EXPECT_EQ(m_frontEnd.m_notes, std::vector<std::string>{NotCheckedNote()});
    PutNtfsBootSector(Source(kMiB), m_sourceBytes, 2047);
    Dest(2 * kMiB);
    ASSERT_EQ(Clone("FAT32", true), CloneOutcome::Completed);
    EXPECT_TRUE(m_frontEnd.m_notes.empty());
    EXPECT_EQ(ReportLines(), Report({"1048576", "Done => 1048576"}));
}

TEST_F(CloneDriveTest, AnEmptySourceCompletesWithNothingWritten)
{
    Source(0);
    Dest(kMiB);
    ASSERT_EQ(Clone("NTFS", false), CloneOutcome::Completed);
    EXPECT_EQ(m_dest->Writes(), 0);
    EXPECT_EQ(ReportLines(), Report({NotCheckedNote(), "Done => 0"}, "NTFS"));
    EXPECT_EQ(m_frontEnd.m_completedTotal, "0");
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kDoneText});
}

TEST_F(CloneDriveTest, AnUnknownFileSystemStopsBeforeAnythingIsWritten)
{
    for (const char* name : {"ntfs", "FAT16", ""}) {
        for (std::size_t size : {std::size_t{0}, kMiB}) {
            Source(size);
            Dest(kMiB);
            EXPECT_EQ(Clone(name, true), CloneOutcome::UnknownFileSystem);
            EXPECT_EQ(m_dest->Writes(), 0);
            EXPECT_EQ(ReportLines(), Report({}, name));
            EXPECT_EQ(m_boxes.Texts().back(),
                      std::string("Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: ") + name);
        }
    }
}

TEST_F(CloneDriveTest, ASourceThatCannotBeOpenedIsNamedAndLeavesNoReport)
{
    AppendReportLine(m_machine.Path("Report.txt"), "last run");
    Source(kMiB);
    Dest(kMiB);
    m_volumes.RefuseOpen('X', platform::VolumeAccess::Read);
    EXPECT_EQ(Clone("NTFS", true), CloneOutcome::OpenFailed);
    ASSERT_EQ(m_volumes.Opens().size(), 1u);
    EXPECT_EQ(m_volumes.Opens()[0].rawName, "\\\\.\\X:");
    // The front end's text, then why, as the engine knows it.
    EXPECT_EQ(m_boxes.Texts(),
              std::vector<std::string>{"cannot open X:\n\n" + OpenFailureText("X:", "", ENOENT, "")});
    EXPECT_FALSE(platform::FileExists(m_machine.Path("Report.txt")));
}

TEST_F(CloneDriveTest, ADestinationThatCannotBeOpenedIsNamedAndTheSourceClosed)
{
    Source(kMiB);
    Dest(kMiB);
    m_volumes.RefuseOpen('Y', platform::VolumeAccess::Write);
    EXPECT_EQ(Clone("NTFS", true), CloneOutcome::OpenFailed);
    EXPECT_EQ(m_boxes.Texts(),
              std::vector<std::string>{"cannot write Y:\n\nY: cannot be opened: No such file or directory"});
    EXPECT_FALSE(platform::FileExists(m_machine.Path("Report.txt")));
    EXPECT_EQ(m_dest->Writes(), 0);
}

TEST_F(CloneDriveTest, UnreadableSectorsAreSkippedOnBothPartitionsAndARunKeepsItsFirstError)
{
    CMemoryVolume& source = Source(kMiB);
    source.FailRead(100, EIO);
    source.FailRead(101, ENXIO);
    source.FailRead(102, ENXIO);
    source.FailRead(104, ENXIO);
    Dest(kMiB);
    ASSERT_EQ(Clone("FAT32", false), CloneOutcome::Completed);

    EXPECT_EQ(m_dest->Bytes(), CopyWithout({100, 101, 102, 104}));
    EXPECT_EQ(ReportLines(), Report({"Error#: 5.  Skipping bad sector at location: 100 on partition X:",
                                     "Error#: 5.  Skipping bad sector at location: 101 on partition X:",
                                     "Error#: 5.  Skipping bad sector at location: 102 on partition X:",
                                     "Error#: 6.  Skipping bad sector at location: 104 on partition X:",
                                     "Done => 1046528"}));
    EXPECT_TRUE(m_frontEnd.m_badSectors);
}

TEST_F(CloneDriveTest, UnreadableLastSectorsEndTheCopyWithTheSource)
{
    CMemoryVolume& source = Source(16 * kSector);
    source.FailRead(14);
    source.FailRead(15);
    Dest(16 * kSector);
    ASSERT_EQ(Clone("FAT32", false), CloneOutcome::Completed);
    EXPECT_EQ(m_dest->Bytes(), CopyWithout({14, 15}));
    EXPECT_EQ(ReportLines().back(), "Done => 7168");
}

TEST_F(CloneDriveTest, AnUnreadableBootSectorIsNotReplacedByTheNextSector)
{
    Source(kMiB).FailRead(0);
    Dest(kMiB);
    ASSERT_EQ(Clone("NTFS", false), CloneOutcome::Completed);
    EXPECT_EQ(m_dest->Bytes(), CopyWithout({0}));
}

TEST_F(CloneDriveTest, UnwritableSectorsAreSkippedWithTheirDataAndTheRestStaysInPlace)
{
    CMemoryVolume& dest = Dest(kMiB);
    dest.FailWrite(50);
    dest.FailWrite(51);
    dest.FailWrite(1000, EROFS);
    Source(kMiB);
    ASSERT_EQ(Clone("FAT32", false), CloneOutcome::Completed);

    EXPECT_EQ(m_dest->Bytes(), CopyWithout({50, 51, 1000}));
    EXPECT_EQ(ReportLines(), Report({"Error#: 5.  Skipping bad sector at location: 50 on partition Y:",
                                     "Error#: 5.  Skipping bad sector at location: 51 on partition Y:",
                                     "Error#: 30.  Skipping bad sector at location: 1000 on partition Y:",
                                     "Done => 1047040"}));
    EXPECT_TRUE(m_frontEnd.m_badSectors);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kDoneText});
}

TEST_F(CloneDriveTest, ADestinationSmallerThanTheSource)
{
    // Slow mode stops where the destination ends instead of listing the rest as skipped
    // and calling an incomplete copy done.
    Source(64 * kSector);
    Dest(60 * kSector);
    EXPECT_EQ(Clone("FAT32", false), CloneOutcome::WriteFailed);
    EXPECT_EQ(m_dest->Bytes(), Sectors(m_sourceBytes, 0, 60));
    const std::string tooSmall = DestinationTooSmallText(ENOSPC, "Y:", "X:", 60 * kSector, 64 * kSector);
    EXPECT_EQ(ReportLines(), Report({tooSmall}));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{tooSmall});

    // Fast mode ends the same way: slow mode would not help.
    Source(30 * kMiB);
    Dest(25 * kMiB);
    EXPECT_EQ(Clone("FAT32", true), CloneOutcome::WriteFailed);
    const std::string tooSmallFast = DestinationTooSmallText(ENOSPC, "Y:", "X:", 25 * kMiB, 30 * kMiB);
    EXPECT_EQ(ReportLines(), Report({"20971520", tooSmallFast}));
    EXPECT_EQ(m_boxes.Texts().back(), tooSmallFast);

    // A destination as large as the source whose storage is full (a sparse image on a
    // full file system) is not too small: another partition would not help.
    const std::string full = StorageFullText(ENOSPC, "Y:");
    Source(30 * kMiB);
    Dest(30 * kMiB).FailWrite(50000, ENOSPC);
    EXPECT_EQ(Clone("FAT32", true), CloneOutcome::WriteFailed);
    EXPECT_EQ(ReportLines(), Report({"20971520", full}));
    EXPECT_EQ(Clone("FAT32", false), CloneOutcome::WriteFailed);
    EXPECT_EQ(ReportLines(), Report({full}));
    EXPECT_EQ(Sectors(m_dest->Bytes(), 0, 50000), Sectors(m_sourceBytes, 0, 50000));
    EXPECT_EQ(m_boxes.Texts().back(), full);
}

TEST_F(CloneDriveTest, FastModeStopsAtTheFirstBadSector)
{
    Source(50 * kMiB).FailRead(45000);
    Dest(50 * kMiB);
    EXPECT_EQ(Clone("NTFS", true), CloneOutcome::ReadFailed);
    const std::string readError = "Error#: 5.  Bad sector(s) discovered on the X: partition.  You must use the "
                                  "'Slow Mode' option to copy from this partition.";
    // The report keeps the text alone; the message adds the system's word for the error.
    EXPECT_EQ(ReportLines(), Report({"20971520", readError}, "NTFS"));
    EXPECT_EQ(m_boxes.Texts(),
              std::vector<std::string>{readError + "\n\nThe system's reason: Input/output error."});
    EXPECT_EQ(m_dest->Writes(), 1);
    EXPECT_FALSE(m_frontEnd.m_completedTotal);

    Source(50 * kMiB);
    Dest(50 * kMiB).FailWrite(90000, EIO);
    EXPECT_EQ(Clone("NTFS", true), CloneOutcome::WriteFailed);
    const std::string writeError = "Error#: 5.  Bad sector(s) discovered on the Y: partition.  You must use the "
                                   "'Slow Mode' option to copy to this partition.";
    EXPECT_EQ(ReportLines(), Report({"20971520", "41943040", writeError}, "NTFS"));
    EXPECT_EQ(m_boxes.Texts().back(), writeError + "\n\n" + SystemReasonText(EIO));
}

TEST_F(CloneDriveTest, AFailedFlushIsAFailedCopyNotACompletedOne)
{
    Source(kMiB);
    Dest(kMiB).FailFlush(EIO);
    EXPECT_EQ(Clone("FAT32", true), CloneOutcome::WriteFailed);
    const std::string error = "Error#: 5.  Bad sector(s) discovered on the Y: partition.  You must use the "
                              "'Slow Mode' option to copy to this partition.";
    EXPECT_EQ(ReportLines(), Report({"1048576", error}));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{error + "\n\n" + SystemReasonText(EIO)});
    EXPECT_FALSE(m_frontEnd.m_completedTotal);
}

// EBUSY from the flush is a loop device attached over the destination during the copy (or,
// for NTFS, while the copy was completed), no bad sector.
TEST_F(CloneDriveTest, ALoopDeviceAttachedMeanwhileFailsTheCopyAsSuch)
{
    const std::string error = LoopAttachedText(EBUSY, "Y:");
    Source(kMiB);
    Dest(kMiB).FailFlush(EBUSY);
    EXPECT_EQ(Clone("FAT32", true), CloneOutcome::WriteFailed);
    EXPECT_EQ(ReportLines(), Report({"1048576", error}));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{error});

    Source(kMiB);
    Dest(kMiB).FailFlush(EBUSY, 1);
    EXPECT_EQ(Clone("NTFS", true), CloneOutcome::WriteFailed);
    EXPECT_EQ(ReportLines(), Report({"1048576", NotCheckedNote(), error}, "NTFS"));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(2, error));
    EXPECT_FALSE(m_frontEnd.m_completedTotal);
}

TEST_F(CloneDriveTest, CancelStopsBeforeTheNextBlockIsWritten)
{
    for (bool fast : {true, false}) {
        const std::size_t block = fast ? 20 * kMiB : kMiB;
        Source(3 * block);
        Dest(3 * block);
        m_frontEnd.m_totals.clear();
        m_frontEnd.m_cancel = [this, block] {
            return !m_frontEnd.m_totals.empty() && m_frontEnd.m_totals.back() == AddThousandsSeparators(
                                                                                       std::to_string(block));
        };
        EXPECT_EQ(Clone("FAT32", fast), CloneOutcome::Cancelled);
        std::vector<std::byte> copy = m_dest->Bytes();
        EXPECT_TRUE(std::equal(m_sourceBytes.begin(), m_sourceBytes.begin() + static_cast<std::ptrdiff_t>(block),
                               copy.begin()));
        EXPECT_EQ(std::count(copy.begin() + static_cast<std::ptrdiff_t>(block), copy.end(), std::byte{0xEE}),
                  static_cast<std::ptrdiff_t>(2 * block));
        EXPECT_EQ(m_boxes.Texts().back(), kCancelText);
        EXPECT_EQ(ReportLines(), Report(fast ? std::initializer_list<std::string>{"20971520"}
                                             : std::initializer_list<std::string>{}));
    }
}

TEST_F(CloneDriveTest, CancelEndsARunOfBadSectorsAtTheNextFailedRetry)
{
    CMemoryVolume& source = Source(kMiB);
    for (std::uint64_t sector = 5; sector < 2000; ++sector)
        source.FailRead(sector);
    Dest(kMiB);
    m_frontEnd.m_cancel = [this] { return ReportLines().size() > 4; };
    EXPECT_EQ(Clone("FAT32", false), CloneOutcome::Cancelled);
    EXPECT_EQ(ReportLines(), Report({"Error#: 5.  Skipping bad sector at location: 5 on partition X:",
                                     "Error#: 5.  Skipping bad sector at location: 6 on partition X:"}));
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{kCancelText});

    Source(kMiB);
    CMemoryVolume& dest = Dest(kMiB);
    for (std::uint64_t sector = 5; sector < 2000; ++sector)
        dest.FailWrite(sector);
    EXPECT_EQ(Clone("FAT32", false), CloneOutcome::Cancelled);
    EXPECT_EQ(ReportLines(), Report({"Error#: 5.  Skipping bad sector at location: 5 on partition Y:"}));
    EXPECT_EQ(Sectors(m_dest->Bytes(), 0, 5), Sectors(m_sourceBytes, 0, 5));
    EXPECT_EQ(Sectors(m_dest->Bytes(), 6), std::vector<std::byte>(kSector, std::byte{0xEE}));
}

TEST_F(CloneDriveTest, ASourceThatShrinksWhileItIsCopiedIsNoCompleteCopy)
{
    for (bool fast : {true, false}) {
        CMemoryVolume& source = Source(50 * kMiB);
        Dest(50 * kMiB);
        source.OnRead([&source](int reads) {
            if (reads == 1)
                source.Resize(30 * kMiB + 100);
        });
        EXPECT_EQ(Clone("FAT32", fast), CloneOutcome::SourceEndedEarly);
        const std::string text = "The X: partition ended before the copy was complete.  It held 52428800 bytes "
                                 "when the clone began, but only 31457380 could be read.";
        EXPECT_EQ(ReportLines().back(), text);
        EXPECT_EQ(m_boxes.Texts().back(), text);
        EXPECT_FALSE(m_frontEnd.m_completedTotal);
        EXPECT_EQ(m_dest->Flushes(), 0);
    }
}

TEST_F(CloneDriveTest, ASignalStopsTheCloneAfterTheTransferInProgress)
{
    const std::string interrupted =
        "Clone interrupted by signal 15.  The copy on the Y: partition is incomplete and will be unusable.";
    Source(50 * kMiB);
    Dest(50 * kMiB);
    m_frontEnd.m_stop = [this] { return m_frontEnd.m_totals.size() == 1; };
    EXPECT_EQ(Clone("FAT32", true), CloneOutcome::Interrupted);
    EXPECT_EQ(ReportLines(), Report({"20971520", interrupted}));
    EXPECT_EQ(m_frontEnd.m_interrupted, interrupted);
    EXPECT_TRUE(m_boxes.Texts().empty());
    std::vector<std::byte> copy = m_dest->Bytes();
    EXPECT_EQ(std::count(copy.begin() + 20 * kMiB, copy.end(), std::byte{0xEE}), 30 * kMiB);

    // In a run of bad sectors the clone stops after the sector just skipped.
    CMemoryVolume& source = Source(kMiB);
    for (std::uint64_t sector = 5; sector < 100; ++sector)
        source.FailRead(sector);
    Dest(kMiB);
    m_frontEnd.m_stop = [this] { return ReportLines().size() == 6; };
    EXPECT_EQ(Clone("FAT32", false), CloneOutcome::Interrupted);
    EXPECT_EQ(ReportLines(), Report({"Error#: 5.  Skipping bad sector at location: 5 on partition X:",
                                     "Error#: 5.  Skipping bad sector at location: 6 on partition X:", interrupted}));
}

}  // namespace

// A disk in memory with a pattern: X: its bytes from 1 MiB to 2 MiB, and other letters
// sharing it in the ways a partition can share storage with another.
class CloneOntoItselfTest : public CloneDriveTest {
protected:
    void SetUp() override
    {
        m_disk = &m_volumes.Add('D', 4 * kMiB);
        m_diskBytes = Pattern(4 * kMiB);
        m_disk->SetBytes(0, m_diskBytes);
        m_volumes.AddRegion('X', 'D', kMiB, kMiB);
    }
    // Every way out refuses before the report header and before any write.
    void ExpectRefused(const std::string& dest, const std::string& text)
    {
        for (bool fast : {true, false}) {
            CCloneRequest request{"X:", dest, "NTFS", kNtfsList, fast};
            EXPECT_EQ(CloneDrive(request, m_frontEnd, m_volumes), CloneOutcome::VolumesOverlap) << dest;
            EXPECT_EQ(m_disk->Writes(), 0) << dest;
            EXPECT_EQ(m_disk->Bytes(), m_diskBytes) << dest;
            EXPECT_EQ(m_disk->OpenHandles(), 0) << dest;
            EXPECT_FALSE(platform::FileExists(m_machine.Path("Report.txt"))) << dest;
            EXPECT_EQ(m_boxes.Texts().back(), text);
            EXPECT_TRUE(m_frontEnd.m_totals.empty());
        }
    }

    CMemoryVolume* m_disk = nullptr;
    std::vector<std::byte> m_diskBytes;
};

TEST_F(CloneOntoItselfTest, SharedStorageIsRefusedBeforeAnythingIsWritten)
{
    platform::AppendToFile(m_machine.Path("Report.txt"), "an older report\n");
    m_volumes.Share('Y', 'X');                          // a second letter for X:
    m_volumes.AddRegion('O', 'D', kMiB + kMiB / 2, kMiB);  // half inside X:
    m_volumes.AddRegion('B', 'D', kMiB / 2, kMiB);         // ends inside X:

    ExpectRefused("X:", "X: is X:");
    ExpectRefused("Y:", "X: is Y:");
    ExpectRefused("D:", "X: overlaps D:");  // the disk holding it
    ExpectRefused("O:", "X: overlaps O:");
    ExpectRefused("B:", "X: overlaps B:");
}

TEST_F(CloneOntoItselfTest, AdjacentRegionsOfOneDiskStillClone)
{
    m_volumes.AddRegion('Y', 'D', 2 * kMiB, kMiB);
    CCloneRequest request{"X:", "Y:", "FAT32", "", true};
    ASSERT_EQ(CloneDrive(request, m_frontEnd, m_volumes), CloneOutcome::Completed);

    std::vector<std::byte> expected = m_diskBytes;
    std::copy_n(m_diskBytes.begin() + kMiB, kMiB, expected.begin() + 2 * kMiB);
    EXPECT_EQ(m_disk->Bytes(), expected);
}
