// SPDX-License-Identifier: GPL-3.0-or-later
// Copies of the used space alone of volumes filled through their own drivers, made by
// Vantrel's worker and by Keldrun onto image files and loop devices, of the source's size
// and larger, that held another file system or random bytes: the copy passes the file
// system's own check, every file reads back, no file of the old one shows, and what lies
// outside the used space keeps what the destination held.
#include "clone/CloneDrive.h"
#include "clone/CloneTexts.h"
#include "clone/ReportFile.h"
#include "clone/VerifyTexts.h"
#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/RecordingControls.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"
#include "tests/usedspace/FilledVolume.h"
#include "tests/usedspace/Ntfs3gView.h"
#include "worker/CreateClone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace testsupport;

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kSourceSize = 64 * kMiB;
constexpr std::uint64_t kLargerSize = 80 * kMiB;
constexpr std::uint64_t kSector = 512;

// Where a copy is made, and how.
enum class Medium { ImageFile, LoopDevice };
enum class Program { Worker, Keldrun };

class UsedSpaceCopyTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // The loop devices go before the images they show.
        m_loops.clear();
    }

    // letter for path, in place of any device it had.
    void Assign(char letter, const std::string& path)
    {
        std::string error;
        platform::RemoveDriveLetter(letter, error);
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }
    // The image at path as a drive on medium: itself, or a loop device over it; empty
    // when the machine has no loop device (the test should skip).
    std::string Attach(const std::string& image, Medium medium)
    {
        if (medium == Medium::ImageFile)
            return image;
        m_loops.push_back(std::make_unique<CLoopDevice>(image));
        return m_loops.back()->IsAttached() ? m_loops.back()->Path() : "";
    }

    // Clones X: onto Y: with only the used space copied, and verified when verify; the
    // report.
    std::string Clone(Program program, const std::string& fileSystem, bool fast, bool verify = false)
    {
        std::filesystem::remove(m_machine.Path("shutdown.log"));
        std::filesystem::create_directories(m_folder);
        if (program == Program::Worker) {
            m_dialog.ClearEvents();
            CCreateClone("X:", "Y:", fileSystem, "0,0,0,0,0,0,0,0", &m_dialog, fast, m_folder, verify, true).Run();
            const std::vector<std::string> events = m_dialog.Events();
            EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const std::string& event) {
                return event.starts_with("box Done!");
            })) << "the worker did not complete";
            return platform::ReadWholeFile(m_folder + "Report.txt").value_or("");
        }
        CToolRun run = RunTool(m_machine, KELDRUN_PATH, {"X:", "Y:", fileSystem, "0,0,0,0,0,0,0,0", fast ? "1" : "0", m_folder, verify ? "1" : "0", "1"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("Succesfully created the Y: partition clone."), std::string::npos) << run.out << run.err;
        EXPECT_TRUE(platform::FileExists(m_machine.Path("shutdown.log"))) << "Keldrun did not complete";
        return platform::ReadWholeFile(m_folder + "status.txt").value_or("");
    }

    // Every sector of dest (now) outside ranges holds what before held there.
    static void ExpectUnchangedOutside(const std::string& dest, const std::string& before,
                                       const usedspace::CByteRanges& ranges)
    {
        const std::string after = ReadBytes(dest, 0, before.size());
        ASSERT_EQ(after.size(), before.size());
        for (std::uint64_t at = 0; at < before.size(); at += kSector) {
            if (!ranges.Contains(at, kSector) && after.compare(at, kSector, before, at, kSector) != 0) {
                ADD_FAILURE() << "sector " << at / kSector << " outside the used space was written";
                return;
            }
        }
    }

    CTempMachine m_machine;
    std::string m_folder = m_machine.Path("Vantrel/");
    worker_test::CRecordingControls m_dialog;
    std::vector<std::unique_ptr<CLoopDevice>> m_loops;
};

class NtfsUsedSpaceCopyTest : public UsedSpaceCopyTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        if (!NtfsToolsPresent(m_machine) || !CNtfsMount::Available())
            GTEST_SKIP() << "needs the programs of ntfs-3g and FUSE";
        ASSERT_TRUE(MakeNtfsImage(m_machine, m_source, kSourceSize));
        {
            CNtfsMount mount(m_machine, m_source, m_machine.Path("source-mnt"));
            ASSERT_TRUE(mount.Mounted()) << mount.Messages();
            m_files = FillFolder(m_machine.Path("source-mnt"), GetParam() / 100.0, static_cast<unsigned>(GetParam()));
        }
        m_sourceBytes = ReadBytes(m_source, 0, kSourceSize);
        usedspace::CUsedSpace map = MapImage(m_source, "NTFS", kUsedSpaceJoinGap);
        ASSERT_TRUE(map.m_ranges) << map.m_reason;
        m_map = *map.m_ranges;
    }

    // An image of size bytes that held random bytes, then, when oldNtfs, an NTFS volume
    // of its own with more files than the source has; its bytes.
    std::string OldDestination(const std::string& path, std::uint64_t size, bool oldNtfs)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << RandomBytes(size, 7);
        if (oldNtfs) {
            EXPECT_EQ(RunTool(m_machine, "mkntfs", {"-F", "-Q", "-q", "-s", "512", "-c", "4096", path}).exitCode, 0);
            CNtfsMount mount(m_machine, path, m_machine.Path("old-mnt"));
            EXPECT_TRUE(mount.Mounted()) << mount.Messages();
            for (int i = 0; i < 400; ++i)
                std::ofstream(m_machine.Path("old-mnt/old-" + std::to_string(i) + ".txt")) << "old file " << i;
        }
        return ReadBytes(path, 0, size);
    }

    // The copy on dest passes ntfsfix, alternate boot sector included, and holds the
    // source's files, each as it was, and no other.
    void ExpectSoundCopy(const std::string& dest)
    {
        CToolRun check = RunTool(m_machine, "ntfsfix", {"-n", dest});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        EXPECT_NE(check.out.find("Checking the alternate boot sector... OK"), std::string::npos) << check.out;
        CNtfsMount mount(m_machine, dest, m_machine.Path("copy-mnt"));
        ASSERT_TRUE(mount.Mounted()) << mount.Messages();
        CFiles copied = ReadFolder(m_machine.Path("copy-mnt"));
        EXPECT_EQ(copied.size(), m_files.size());
        EXPECT_TRUE(copied == m_files) << "the copy's files differ from the source's";
    }

    // One copy by program onto a destination of size bytes on medium, in fast or slow
    // mode, that held an NTFS volume with files or random bytes; verified when verify.
    void CopyAndCheck(Program program, Medium medium, std::uint64_t size, bool oldNtfs, bool fast, bool verify = false)
    {
        SCOPED_TRACE(std::string(program == Program::Worker ? "Vantrel's worker" : "Keldrun") + " onto " +
                     (medium == Medium::ImageFile ? "an image file" : "a loop device") + " of " +
                     std::to_string(size / kMiB) + " MiB" + (oldNtfs ? " that held NTFS" : "") +
                     (fast ? ", fast mode" : ", slow mode") + (verify ? ", verified" : ""));
        const std::string image = m_machine.Path("dest.img");
        const std::string before = OldDestination(image, size, oldNtfs);
        const std::string dest = Attach(image, medium);
        if (dest.empty())
            GTEST_SKIP() << "no loop device: " << m_loops.back()->Error();
        Assign('X', m_source);
        Assign('Y', dest);

        const std::string report = Clone(program, "NTFS", fast, verify);
        const std::string copied = UsedSpaceCopiedText("X:", m_map.Bytes(), kSourceSize);
        EXPECT_NE(report.find(copied + "\n"), std::string::npos) << report;
        // What lies outside the map differs on both partitions, and is not compared.
        const std::string done = DoneLineText(FormatBytes(m_map.Bytes())) + "\n";
        EXPECT_TRUE(report.ends_with("\n" + done + (verify ? VerifiedLineText(FormatBytes(m_map.Bytes())) + "\n" : "")))
            << report;
        EXPECT_TRUE(ReadBytes(m_source, 0, kSourceSize) == m_sourceBytes) << "the source changed";
        // Grown to its partition, as a whole copy is; otherwise untouched outside the map.
        if (size == kSourceSize)
            ExpectUnchangedOutside(dest, before, m_map);
        else
            EXPECT_EQ(SizeFieldSectors(dest), size / kSector - 1);
        // Last: the check mounts the copy read-write.
        ExpectSoundCopy(dest);
    }

    std::string m_source = m_machine.Path("source.img");
    std::string m_sourceBytes;
    CFiles m_files;
    usedspace::CByteRanges m_map{0};
};

TEST_P(NtfsUsedSpaceCopyTest, VantrelsWorkerCopiesASoundVolume)
{
    CopyAndCheck(Program::Worker, Medium::ImageFile, kSourceSize, true, true, true);
    CopyAndCheck(Program::Worker, Medium::LoopDevice, kLargerSize, false, false);
}

TEST_P(NtfsUsedSpaceCopyTest, KeldrunCopiesASoundVolume)
{
    CopyAndCheck(Program::Keldrun, Medium::LoopDevice, kSourceSize, true, false, true);
    CopyAndCheck(Program::Keldrun, Medium::ImageFile, kLargerSize, true, true);
}

INSTANTIATE_TEST_SUITE_P(Fill, NtfsUsedSpaceCopyTest, ::testing::Values(10, 50, 90),
                         [](const auto& param) { return std::to_string(param.param) + "Percent"; });

// A FAT32 volume with files in a folder and spread over the holes of deleted ones.
class Fat32UsedSpaceCopyTest : public UsedSpaceCopyTest {
protected:
    void SetUp() override
    {
        if (RunTool(m_machine, "sh", {"-c", "command -v mkfs.fat && command -v fsck.fat && command -v mcopy"}).exitCode != 0)
            GTEST_SKIP() << "needs dosfstools and mtools";
        // mtools checks a volume's geometry against a floppy's unless told not to.
        setenv("MTOOLS_SKIP_CHECK", "1", 1);
    }

    // A FAT32 image of size bytes over random ones, holding the files of folder.
    void MakeFat32(const std::string& image, std::uint64_t size, const std::string& folder)
    {
        std::ofstream(image, std::ios::binary | std::ios::trunc) << RandomBytes(size, 11);
        ASSERT_EQ(RunTool(m_machine, "mkfs.fat", {"-F", "32", image}).exitCode, 0);
        ASSERT_TRUE(PutIntoFat(m_machine, image, folder));
    }
    // Every file of image, read back through mtools.
    CFiles FilesOf(const std::string& image, const std::string& name)
    {
        const std::string back = m_machine.Path(name);
        std::filesystem::create_directories(back);
        EXPECT_EQ(RunTool(m_machine, "mcopy", {"-s", "-n", "-i", image, "::*", back}).exitCode, 0);
        return ReadFolder(back);
    }
};

TEST_F(Fat32UsedSpaceCopyTest, BothProgramsCopyASoundVolume)
{
    const std::string files = m_machine.Path("files");
    for (int i = 0; i < 16; ++i)
        WriteBelow(files, "fence" + std::to_string(i), RandomBytes(3 << 20, static_cast<unsigned>(i)));
    for (int i = 0; i < 5; ++i)
        WriteBelow(files, "docs/note" + std::to_string(i) + ".txt", "note " + std::to_string(i));
    const std::string source = m_machine.Path("source.img");
    ASSERT_NO_FATAL_FAILURE(MakeFat32(source, 64 * kMiB, files));
    std::vector<std::string> remove{"-i", source};
    for (int i = 1; i < 16; i += 2)
        remove.push_back("::fence" + std::to_string(i));
    ASSERT_EQ(RunTool(m_machine, "mdel", remove).exitCode, 0);
    CFiles expected = FilesOf(source, "expected");
    ASSERT_EQ(expected.size(), 13u);
    usedspace::CUsedSpace map = MapImage(source, "FAT32", kUsedSpaceJoinGap);
    ASSERT_TRUE(map.m_ranges) << map.m_reason;
    map.m_ranges->Add(64 * kMiB - kSector, kSector);

    for (Program program : {Program::Worker, Program::Keldrun}) {
        SCOPED_TRACE(program == Program::Worker ? "Vantrel's worker onto a FAT32 image" : "Keldrun onto a loop device");
        // The worker's destination held a FAT32 volume with files of its own; Keldrun's is
        // larger and held random bytes.
        const std::string image = m_machine.Path("dest.img");
        std::filesystem::remove(image);
        const std::string old = m_machine.Path("old");
        for (int i = 0; i < 40; ++i)
            WriteBelow(old, "old" + std::to_string(i) + ".txt", "old file " + std::to_string(i));
        if (program == Program::Worker)
            ASSERT_NO_FATAL_FAILURE(MakeFat32(image, 64 * kMiB, old));
        else
            std::ofstream(image, std::ios::binary) << RandomBytes(80 * kMiB, 12);
        const std::string before = ReadBytes(image, 0, 64 * kMiB);
        const std::string dest = Attach(image, program == Program::Worker ? Medium::ImageFile : Medium::LoopDevice);
        if (dest.empty())
            GTEST_SKIP() << "no loop device: " << m_loops.back()->Error();
        Assign('X', source);
        Assign('Y', dest);

        const std::string report = Clone(program, "FAT32", program == Program::Worker);
        EXPECT_NE(report.find(UsedSpaceCopiedText("X:", map.m_ranges->Bytes(), 64 * kMiB)), std::string::npos)
            << report;
        CToolRun check = RunTool(m_machine, "fsck.fat", {"-n", dest});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        EXPECT_TRUE(FilesOf(dest, program == Program::Worker ? "worker" : "keldrun") == expected)
            << "the copy's files differ from the source's";
        ExpectUnchangedOutside(dest, before, *map.m_ranges);
        m_loops.clear();
    }
}

// What the used space cannot be told of is copied whole, and the report says why: an NTFS
// volume that Windows hibernated or that is marked for a check, a FAT16 volume scheduled
// as FAT32. FAT16 scheduled as what it is stays refused, as any file system the engine
// does not copy.
TEST_F(UsedSpaceCopyTest, KeldrunCopiesWhatItCannotMapWholeAndSaysWhy)
{
    if (!NtfsToolsPresent(m_machine) || !CNtfsMount::Available() ||
        RunTool(m_machine, "sh", {"-c", "command -v mkfs.fat"}).exitCode != 0)
        GTEST_SKIP() << "needs the programs of ntfs-3g, FUSE and dosfstools";
    const std::string source = m_machine.MakeImage("source.img", 32 * kMiB);
    const std::string dest = m_machine.MakeImage("dest.img", 32 * kMiB, 0xEE);
    Assign('X', source);
    Assign('Y', dest);
    auto expectWhole = [&](const std::string& fileSystem, const char* reason) {
        SCOPED_TRACE(reason);
        const std::string bytes = ReadBytes(source, 0, 32 * kMiB);
        const std::string report = Clone(Program::Keldrun, fileSystem, true);
        const std::string header = "From: X:\nTo:   Y:\nFile System: " + fileSystem + "\n\n";
        EXPECT_TRUE(report.starts_with(header + WholePartitionText("X:", reason) + "\n20971520\n")) << report;
        EXPECT_TRUE(report.ends_with("Done => 33554432\n")) << report;
        EXPECT_TRUE(ReadBytes(dest, 0, 32 * kMiB) == bytes) << "the copy is not the source";
    };

    ASSERT_TRUE(MakeNtfsImage(m_machine, source, 32 * kMiB));
    {
        CNtfsMount mount(m_machine, source, m_machine.Path("mnt"));
        ASSERT_TRUE(mount.Mounted()) << mount.Messages();
        std::ofstream(m_machine.Path("mnt/hiberfil.sys"), std::ios::binary) << "hibr" + std::string(8188, '\0');
    }
    expectWhole("NTFS", usedspace::kNtfsHibernated);

    ASSERT_TRUE(MakeNtfsImage(m_machine, source, 32 * kMiB));
    ASSERT_TRUE(MarkNtfsDirty(source));
    expectWhole("NTFS", usedspace::kNtfsMarkedForCheck);

    ASSERT_EQ(RunTool(m_machine, "mkfs.fat", {"-F", "16", source}).exitCode, 0);
    expectWhole("FAT32", usedspace::kFatBootSectorUnsound);

    std::ofstream(dest, std::ios::binary | std::ios::trunc) << std::string(32 * kMiB, '\xEE');
    CToolRun refused = RunTool(m_machine, KELDRUN_PATH, {"X:", "Y:", "FAT16", "1,2,3,4,", "1", m_folder, "0", "1"});
    EXPECT_EQ(platform::ReadWholeFile(m_folder + "status.txt"), "From: X:\nTo:   Y:\nFile System: FAT16\n\n");
    EXPECT_NE(refused.err.find(UnknownFileSystemText("FAT16")), std::string::npos) << refused.err;
    EXPECT_TRUE(ReadBytes(dest, 0, 32 * kMiB) == std::string(32 * kMiB, '\xEE')) << "the destination was written";
}

}  // namespace
