// SPDX-License-Identifier: GPL-3.0-or-later
// The engine copying only the used space of a FAT32 volume (made with mkfs.fat and
// mtools), on memory volumes with faults: inside the map the copy, the skipped sectors and
// the endings are those of a whole copy; outside it nothing is read or written.
#include "clone/CloneDrive.h"

#include "clone/CloneTexts.h"
#include "clone/ReportFile.h"
#include "clone/VerifyTexts.h"
#include "clone/usedspace/UsedSpace.h"
#include "platform/files/TextFiles.h"
#include "tests/clone/TranscriptFrontEnd.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace {

using testsupport::CMemoryVolume;
using testsupport::RunTool;

constexpr std::size_t kSector = 512;
constexpr std::size_t kMiB = 1 << 20;
constexpr std::size_t kVolumeSize = 48 * kMiB;
constexpr int kFences = 20;

std::string RandomText(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::vector<std::byte> Bytes(const std::string& text)
{
    const auto* data = reinterpret_cast<const std::byte*>(text.data());
    return {data, data + text.size()};
}

// Everything one clone left: how it ended, what the user saw, the copy, and what the
// drives went through.
struct CRun {
    CloneOutcome outcome{};
    std::string events;
    std::vector<std::string> report;
    std::vector<std::string> boxes;
    std::vector<std::byte> copy;
    std::uint64_t lastTotal = 0;
    std::vector<bool> sourceRead;  // per sector
};

class UsedSpaceCloneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunTool(m_machine, "sh", {"-c", "command -v mkfs.fat && command -v mcopy && command -v mdel"}).exitCode != 0)
            GTEST_SKIP() << "needs mkfs.fat of dosfstools and mtools";
        // mtools checks a volume's geometry against a floppy's unless told not to.
        setenv("MTOOLS_SKIP_CHECK", "1", 1);
        ASSERT_NO_FATAL_FAILURE(MakeFencedFat32());
        CMemoryVolume reading(m_image.size());
        reading.SetBytes(0, m_image);
        usedspace::CUsedSpace used = usedspace::MapUsedSpace(reading, "FAT32", kUsedSpaceJoinGap);
        ASSERT_TRUE(used.m_ranges) << used.m_reason;
        // The copy also takes the source's last sector, so that a smaller destination fails.
        used.m_ranges->Add(kVolumeSize - kSector, kSector);
        m_map = *used.m_ranges;
        ASSERT_GE(m_map.Ranges().size(), 8u) << "the files do not lie apart";
    }

    // A FAT32 volume over random bytes whose 2 MiB files have 2 MiB of free space between
    // each two: its used space lies in ranges far enough apart to stay apart.
    void MakeFencedFat32()
    {
        const std::string image = m_machine.Path("fat32.img");
        std::ofstream(image, std::ios::binary) << RandomText(kVolumeSize, 5);
        ASSERT_EQ(RunTool(m_machine, "mkfs.fat", {"-F", "32", image}).exitCode, 0);
        std::filesystem::create_directories(m_machine.Path("fences"));
        std::vector<std::string> copy{"-i", image};
        std::vector<std::string> remove{"-i", image};
        for (int i = 0; i < kFences; ++i) {
            const std::string name = "fence-" + std::to_string(100 + i);
            std::ofstream(m_machine.Path("fences/" + name), std::ios::binary) << RandomText(2 * kMiB, 100 + i);
            copy.push_back(m_machine.Path("fences/" + name));
            if (i % 2 == 1)
                remove.push_back("::" + name);
        }
        copy.push_back("::");
        ASSERT_EQ(RunTool(m_machine, "mcopy", copy).exitCode, 0);
        ASSERT_EQ(RunTool(m_machine, "mdel", remove).exitCode, 0);
        m_image = Bytes(platform::ReadWholeFile(image).value_or(""));
        ASSERT_EQ(m_image.size(), kVolumeSize);
    }

    bool InMap(std::uint64_t sector) const { return m_map.Contains(sector * kSector, kSector); }

    // One clone of the image onto a destination of destSize bytes that held 0xEE, with
    // faults set up by prepare.
    CRun Clone(bool fast, bool usedSpaceOnly, std::size_t destSize = kVolumeSize,
               const std::function<void(CMemoryVolume&, CMemoryVolume&, CTranscriptFrontEnd&)>& prepare = {},
               const std::string& fileSystem = "FAT32")
    {
        testsupport::CFaultyVolumes volumes;
        CMemoryVolume& source = volumes.Add('X', kVolumeSize);
        source.SetBytes(0, m_image);
        CMemoryVolume& dest = volumes.Add('Y', destSize, 0xEE);
        testsupport::CScriptedMessageBox boxes;
        const std::string reportPath = m_machine.Path("Report.txt");
        CTranscriptFrontEnd frontEnd(reportPath, 0);
        if (prepare)
            prepare(source, dest, frontEnd);
        CRun run;
        CCloneRequest request{.m_sourceDrive = "X:",
                              .m_destDrive = "Y:",
                              .m_fileSystem = fileSystem,
                              .m_sizeFieldList = "1,2,3,4,",
                              .m_fastMode = fast,
                              .m_verify = m_verify,
                              .m_usedSpaceOnly = usedSpaceOnly};
        run.outcome = CloneDrive(request, frontEnd, volumes);
        run.events = frontEnd.Events();
        std::istringstream report(platform::ReadWholeFile(reportPath).value_or(""));
        for (std::string line; std::getline(report, line);)
            run.report.push_back(line);
        run.boxes = boxes.Texts();
        run.copy = dest.Bytes();
        run.lastTotal = frontEnd.LastTotal();
        for (std::uint64_t sector = 0; sector < kVolumeSize / kSector; ++sector)
            run.sourceRead.push_back(source.ReadsOfSector(sector) > 0);
        return run;
    }

    // The sector that holds byte offset of the map's bytes, counted from its first range.
    std::uint64_t SectorOfMappedByte(std::uint64_t offset) const
    {
        for (const auto& range : m_map.Ranges()) {
            if (offset < range.m_length)
                return (range.m_offset + offset) / kSector;
            offset -= range.m_length;
        }
        ADD_FAILURE() << "the map holds fewer bytes";
        return 0;
    }

    // The copy holds inside the map the bytes of inside, outside it the destination's own;
    // the source was read nowhere else.
    void ExpectCopyOfTheMap(const CRun& run, const std::vector<std::byte>& inside)
    {
        for (std::uint64_t sector = 0; sector < kVolumeSize / kSector; ++sector) {
            if (!InMap(sector) && run.sourceRead[sector]) {
                ADD_FAILURE() << "source sector " << sector << " was read";
                return;
            }
        }
        const std::vector<std::byte>& copy = run.copy;
        ASSERT_EQ(copy.size(), inside.size());
        for (std::uint64_t sector = 0; sector < kVolumeSize / kSector; ++sector) {
            const auto at = static_cast<std::ptrdiff_t>(sector * kSector);
            const bool same = InMap(sector)
                                  ? std::equal(copy.begin() + at, copy.begin() + at + kSector, inside.begin() + at)
                                  : std::all_of(copy.begin() + at, copy.begin() + at + kSector,
                                                [](std::byte b) { return b == std::byte{0xEE}; });
            EXPECT_TRUE(same) << "sector " << sector << (InMap(sector) ? " (mapped)" : " (free)");
            if (!same)
                return;
        }
    }

    static std::vector<std::string> Header(const std::string& fileSystem = "FAT32")
    {
        return {"From: X:", "To:   Y:", "File System: " + fileSystem, ""};
    }

    // Each report line is flushed to its device: a memory file system keeps that quick.
    testsupport::CTempMachine m_machine{std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : ""};
    std::vector<std::byte> m_image;
    usedspace::CByteRanges m_map{0};
    bool m_verify = false;  // the clones verify their copy
};

TEST_F(UsedSpaceCloneTest, FastModeCopiesTheMapAloneInBlocksOfTwentyMebibytesOfIt)
{
    const std::uint64_t mapped = m_map.Bytes();
    ASSERT_GT(mapped, 20 * kMiB);
    ASSERT_LT(mapped, 40 * kMiB);
    CRun run = Clone(true, true);
    ASSERT_EQ(run.outcome, CloneOutcome::Completed) << run.events;
    ExpectCopyOfTheMap(run, m_image);

    const std::string copied = UsedSpaceCopiedText("X:", mapped, kVolumeSize);
    std::vector<std::string> report = Header();
    report.insert(report.end(), {"20971520", FormatBytes(mapped), copied, DoneLineText(FormatBytes(mapped))});
    EXPECT_EQ(run.report, report);
    EXPECT_EQ(run.events, "start\nplanned " + FormatBytes(mapped) + "\n20971520\n" + FormatBytes(mapped) + "\ndone " +
                              FormatBytes(mapped) + "\n" + copied + "\n");
    EXPECT_EQ(run.boxes, std::vector<std::string>{});
}

// Bad sectors inside the map are skipped and listed as a whole copy skips and lists them,
// each at its own sector number; those outside it are never touched, and a run of bad
// sectors that goes on past a range's end is followed no further.
TEST_F(UsedSpaceCloneTest, SlowModeGivesTheWholeCopysResultInsideTheMap)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ends;  // sectors of each range
    for (const auto& range : m_map.Ranges())
        ends.emplace_back(range.m_offset / kSector, range.End() / kSector);
    std::mt19937 random(21);
    for (int i = 0; i < 12; ++i) {
        std::map<std::uint64_t, bool> faults;  // sector -> on the source
        // Near the edges of a range after the FAT's, across them, and anywhere past the FAT.
        for (int n = 0; n < 6; ++n) {
            const auto& [first, end] = ends[1 + random() % (ends.size() - 2)];
            const std::uint64_t edge = random() % 2 ? first : end;
            const std::uint64_t at = n < 4 ? edge - 3 + random() % 6 : 4096 + random() % (kVolumeSize / kSector - 4096);
            const bool onSource = random() % 3 != 0;
            for (std::uint64_t length = 1 + (random() % 3 == 0 ? random() % 70 : 0); length > 0; --length)
                faults[at + length - 1] = onSource;
        }
        if (i == 0) {
            // The last three sectors of a range and the free ones after it.
            for (std::uint64_t sector = ends[2].second - 3; sector < ends[2].second + 40; ++sector)
                faults[sector] = true;
        }
        std::ostringstream described;
        for (auto [sector, onSource] : faults)
            described << ' ' << sector << (onSource ? "r" : "w");
        SCOPED_TRACE("case " + std::to_string(i) + ":" + described.str());
        auto prepare = [&](CMemoryVolume& source, CMemoryVolume& dest, CTranscriptFrontEnd&) {
            for (auto [sector, onSource] : faults) {
                if (onSource)
                    source.FailRead(sector);
                else
                    dest.FailWrite(sector);
            }
        };
        CRun whole = Clone(false, false, kVolumeSize, prepare);
        CRun used = Clone(false, true, kVolumeSize, prepare);
        ASSERT_EQ(whole.outcome, CloneOutcome::Completed);
        ASSERT_EQ(used.outcome, CloneOutcome::Completed);
        ExpectCopyOfTheMap(used, whole.copy);

        std::vector<std::string> skipped;
        for (const std::string& line : whole.report) {
            const std::size_t at = line.find("location: ");
            if (at != std::string::npos && InMap(std::stoull(line.substr(at + 10))))
                skipped.push_back(line);
        }
        std::vector<std::string> report = Header();
        report.insert(report.end(), skipped.begin(), skipped.end());
        const std::uint64_t total = m_map.Bytes() - skipped.size() * kSector;
        report.insert(report.end(), {UsedSpaceCopiedText("X:", total, kVolumeSize), DoneLineText(FormatBytes(total))});
        EXPECT_EQ(used.report, report);
        EXPECT_EQ(used.lastTotal, total);
        EXPECT_EQ(used.boxes, whole.boxes);
        if (HasFailure())
            return;
    }
}

// What the map cannot tell is copied whole, with the reason in the report and at the end;
// a file system the engine does not copy is refused as ever, with nothing but the header.
TEST_F(UsedSpaceCloneTest, WhereTheUsedSpaceCannotBeToldTheWholePartitionIsCopiedAndTheReportSaysWhy)
{
    const std::vector<std::string> totals{"20971520", "41943040", "50331648", "Done => 50331648"};
    auto expectWhole = [&](const CRun& run, const char* reason, const std::vector<std::byte>& source) {
        ASSERT_EQ(run.outcome, CloneOutcome::Completed);
        const std::string line = WholePartitionText("X:", reason);
        std::vector<std::string> report = Header();
        report.push_back(line);
        report.insert(report.end(), totals.begin(), totals.end());
        EXPECT_EQ(run.report, report);
        EXPECT_EQ(run.events, "start\nplanned 50331648\n20971520\n41943040\n50331648\ndone 50331648\n" + line + "\n");
        EXPECT_TRUE(run.copy == source) << "the copy is not the source";
    };
    const std::vector<std::byte> pristine = m_image;
    // Not cleanly unmounted: the flag in its boot sector.
    m_image[65] |= std::byte{1};
    expectWhole(Clone(true, true), usedspace::kFatMarkedForCheck, m_image);
    m_image = pristine;
    // No FAT32 at all.
    std::fill_n(m_image.begin(), kSector, std::byte{0});
    expectWhole(Clone(true, true), usedspace::kFatBootSectorUnsound, m_image);
    m_image = pristine;

    // A FAT sector that cannot be read: slow mode skips it in the whole copy.
    const std::uint64_t fatSector = std::to_integer<std::uint64_t>(m_image[14]) + 3;
    CRun unreadable = Clone(false, true, kVolumeSize, [&](CMemoryVolume& source, CMemoryVolume&, CTranscriptFrontEnd&) {
        source.FailRead(fatSector);
    });
    ASSERT_EQ(unreadable.outcome, CloneOutcome::Completed);
    EXPECT_EQ(unreadable.report,
              (std::vector<std::string>{"From: X:", "To:   Y:", "File System: FAT32", "",
                                        WholePartitionText("X:", usedspace::kFatUnreadable),
                                        SkippedSectorLine(EIO, fatSector, "X:"), "Done => 50331136"}));

    CRun unknown = Clone(true, true, kVolumeSize, {}, "FAT16");
    EXPECT_EQ(unknown.outcome, CloneOutcome::UnknownFileSystem);
    EXPECT_EQ(unknown.report, Header("FAT16"));
    EXPECT_EQ(unknown.boxes, std::vector<std::string>{UnknownFileSystemText("FAT16")});
    EXPECT_TRUE(std::all_of(unknown.copy.begin(), unknown.copy.end(), [](std::byte b) { return b == std::byte{0xEE}; }));
}

// The endings of a whole copy, met inside the map: a bad sector in fast mode, Cancel, a
// signal, a source cut short since it was mapped, a destination smaller than the source
// although every used range would fit.
TEST_F(UsedSpaceCloneTest, EndingsInsideTheMapAreThoseOfAWholeCopy)
{
    const std::uint64_t inSecondBlock = SectorOfMappedByte(20 * kMiB + 4096);
    CRun read = Clone(true, true, kVolumeSize, [&](CMemoryVolume& source, CMemoryVolume&, CTranscriptFrontEnd&) {
        source.FailRead(inSecondBlock);
    });
    EXPECT_EQ(read.outcome, CloneOutcome::ReadFailed);
    EXPECT_EQ(read.boxes, std::vector<std::string>{BadSectorsText(EIO, "X:", "from") + "\n\n" + SystemReasonText(EIO)});
    EXPECT_EQ(read.report.back(), BadSectorsText(EIO, "X:", "from"));

    CRun write = Clone(true, true, kVolumeSize, [&](CMemoryVolume&, CMemoryVolume& dest, CTranscriptFrontEnd&) {
        dest.FailWrite(inSecondBlock, EROFS);
    });
    EXPECT_EQ(write.outcome, CloneOutcome::WriteFailed);
    EXPECT_EQ(write.boxes,
              std::vector<std::string>{BadSectorsText(EROFS, "Y:", "to") + "\n\n" + SystemReasonText(EROFS)});

    int blocks = 0;
    CRun cancelled = Clone(true, true, kVolumeSize, [&](CMemoryVolume&, CMemoryVolume&, CTranscriptFrontEnd& frontEnd) {
        frontEnd.m_cancel = [&] { return ++blocks == 2; };
    });
    EXPECT_EQ(cancelled.outcome, CloneOutcome::Cancelled);
    EXPECT_EQ(cancelled.report, (std::vector<std::string>{"From: X:", "To:   Y:", "File System: FAT32", "", "20971520"}));
    EXPECT_EQ(cancelled.boxes, std::vector<std::string>{kCloneCancelledText});
    EXPECT_EQ(cancelled.copy[inSecondBlock * kSector], std::byte{0xEE});

    CRun interrupted = Clone(false, true, kVolumeSize, [&](CMemoryVolume&, CMemoryVolume&, CTranscriptFrontEnd& frontEnd) {
        frontEnd.m_stop = [] { return true; };
    });
    EXPECT_EQ(interrupted.outcome, CloneOutcome::Interrupted);
    EXPECT_EQ(interrupted.report.back(), InterruptedText(15, "Y:"));
    // After the first run of slow mode.
    EXPECT_EQ(interrupted.lastTotal, kMiB);

    // Cut short at 20 MiB once the map was read, while the first block is.
    CRun shrunk = Clone(true, true, kVolumeSize, [&](CMemoryVolume& source, CMemoryVolume&, CTranscriptFrontEnd&) {
        source.OnEveryRead([&source, done = false](std::uint64_t sector, bool) mutable {
            if (!done && sector >= 10 * kMiB / kSector) {
                done = true;
                source.Resize(20 * kMiB);
            }
        });
    });
    EXPECT_EQ(shrunk.outcome, CloneOutcome::SourceEndedEarly) << shrunk.events;
    ASSERT_EQ(shrunk.boxes.size(), 1u);
    EXPECT_NE(shrunk.boxes[0].find("The X: partition ended before the copy was complete."), std::string::npos)
        << shrunk.boxes[0];

    CRun small = Clone(true, true, kVolumeSize - kMiB);
    EXPECT_EQ(small.outcome, CloneOutcome::WriteFailed);
    EXPECT_EQ(small.boxes,
              std::vector<std::string>{DestinationTooSmallText(ENOSPC, "Y:", "X:", kVolumeSize - kMiB, kVolumeSize)});
}

// Verifying a copy of the used space compares the map alone, whose bytes it counts and
// says so: the free space, which holds the destination's old bytes, is no difference,
// while a mapped sector the destination did not keep is.
TEST_F(UsedSpaceCloneTest, TheVerificationComparesTheMapAlone)
{
    m_verify = true;
    const std::uint64_t mapped = m_map.Bytes();
    CRun run = Clone(true, true);
    ASSERT_EQ(run.outcome, CloneOutcome::Completed) << run.events;
    ExpectCopyOfTheMap(run, m_image);
    ASSERT_GE(run.report.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(run.report.end() - 3, run.report.end()),
              (std::vector<std::string>{UsedSpaceCopiedText("X:", mapped, kVolumeSize),
                                        DoneLineText(FormatBytes(mapped)), VerifiedLineText(FormatBytes(mapped))}));
    EXPECT_TRUE(run.events.ends_with(VerifiedNoteText("Y:", mapped, 0, true) + "\n")) << run.events;

    const std::uint64_t used = m_map.Ranges()[2].m_offset / kSector + 8;
    const std::uint64_t free = m_map.Ranges()[2].m_offset / kSector - 1;
    ASSERT_FALSE(InMap(free));
    CRun dropped = Clone(false, true, kVolumeSize, [&](CMemoryVolume&, CMemoryVolume& dest, CTranscriptFrontEnd&) {
        dest.DropWrites(free);
        dest.DropWrites(used);
    });
    EXPECT_EQ(dropped.outcome, CloneOutcome::CopyDiffers) << dropped.events;
    EXPECT_EQ(dropped.boxes, std::vector<std::string>{CopyDiffersText("X:", "Y:", used, 1)});
}

}  // namespace
