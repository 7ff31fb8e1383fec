// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"
#include "clone/VerifyTexts.h"
#include "tests/bootclone/BadSectorMount.h"
#include "tests/bootclone/KeldrunDrivesFixture.h"
#include "tests/support/TwinNotes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::CProgramResult;

constexpr std::size_t kSector = 512;

// Keldrun asked to verify its copy (the seventh argument), on image files and on the FUSE
// disk whose chosen sectors take writes and keep nothing of them.
class KeldrunVerifyTest : public CKeldrunDrivesFixture {
protected:
    // An image of size bytes, each its fill.
    std::string Image(const std::string& name, std::size_t size, char fill)
    {
        const std::string path = m_machine.Path(name);
        std::ofstream(path, std::ios::binary) << std::string(size, fill);
        return path;
    }
    // The source: the fixture's 8 MiB image of distinct sectors.
    void SourceIsTheImage() { Assign('X', m_image); }

    CProgramResult Clone(const std::string& fastMode, const std::vector<std::string>& extra)
    {
        std::vector<std::string> args{KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", fastMode, m_reportFolder};
        args.insert(args.end(), extra.begin(), extra.end());
        return testsupport::RunCaptured(args, "\n", m_machine.Root());
    }
    void Forget()
    {
        std::remove(m_machine.Path("shutdown.log").c_str());
        std::remove((m_reportFolder + "status.txt").c_str());
    }
};

using testsupport::Occurrences;

// The verify digit is read like the mode digit: another number than 0 verifies; absent, 0
// or no number at all is today's clone.
TEST_F(KeldrunVerifyTest, TheSeventhArgumentVerifiesWhenItReadsAsANumberOtherThanZero)
{
    SourceIsTheImage();
    Assign('Y', Image("Y.img", 8 * kMiB, '\x55'));
    const std::string verified = VerifiedLineText("8388608");
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{}, {"0"}, {"x1"}, {"2"}, {"1", "0"}}) {
        const bool verifies = !extra.empty() && (extra[0] == "2" || extra[0] == "1");
        SCOPED_TRACE(extra.empty() ? "absent" : extra[0]);
        Forget();
        CProgramResult run = Clone("1", extra);
        EXPECT_EQ(run.m_exitCode, 0);
        const std::string status = Status().value_or("");
        EXPECT_EQ(status.ends_with("Done => 8388608\n" + (verifies ? verified + "\n" : "")), true) << status;
        EXPECT_EQ(Occurrences(run.m_out, boottexts::VerifyingLine(8 * kMiB)), verifies ? 1u : 0u) << run.m_out;
        EXPECT_TRUE(RestartAsked());
    }
    EXPECT_EQ(platform::ReadWholeFile(m_machine.Path("Y.img")), m_imageBytes);
}

// A verified copy: the console tells the verification and its end in the summary, the
// report after "Done", the journal that it was asked for; then the usual prompt and restart.
TEST_F(KeldrunVerifyTest, AVerifiedCloneTellsItOnTheConsoleAndInTheReport)
{
    SourceIsTheImage();
    Assign('Y', Image("Y.img", 9 * kMiB, '\x55'));
    CProgramResult run = Clone("0", {"1"});

    const std::string summary = boottexts::BytesVerifiedLine(8 * kMiB) +
                                "\n\nSuccesfully created the Y: partition clone.\n"
                                "Total bytes copied to the partition: 8,388,608\n\nTime taken: T.\n" +
                                VerifiedNoteText("Y:", 8 * kMiB, 0) + "\n";
    EXPECT_NE(run.m_out.find("8,388,608 total accumulated bytes written to the partition...\n\n" +
                             boottexts::VerifyingLine(8 * kMiB) + "\n"),
              std::string::npos)
        << run.m_out;
    EXPECT_NE(testsupport::WithoutTimes(run.m_out).find(summary), std::string::npos) << run.m_out;
    // A few lines a second at most: this verification takes well under a second.
    EXPECT_LE(Occurrences(run.m_out, "bytes verified..."), 4u);
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT32\n\nDone => 8388608\nVerified => 8388608\n");
    EXPECT_NE(Journal().find(", slow mode, verified; report "), std::string::npos) << Journal();
    EXPECT_TRUE(RestartAsked());
}

// The lying medium through the real program: its dropped sectors are found, first and
// count, the copy is not done and the machine is not restarted over it. Without
// verification the same disk passes for a good copy, as it always did.
TEST_F(KeldrunVerifyTest, ADestinationThatDropsWritesIsFoundAndNotRestartedOver)
{
    SourceIsTheImage();
    const std::string backing = Image("backing.img", 8 * kMiB, '\x55');
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"d100", "d101", "d5000", "d16383"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('Y', mount.Image());

    for (const char* mode : {"1", "0"}) {
        SCOPED_TRACE(mode);
        Forget();
        CProgramResult run = Clone(mode, {"1"});
        const std::string text = CopyDiffersText("X:", "Y:", 100, 4);
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_NE(run.m_err.find(text), std::string::npos) << run.m_err;
        const std::string status = Status().value_or("");
        EXPECT_TRUE(status.ends_with("\n" + text + "\n")) << status;
        EXPECT_EQ(status.find("Done =>"), std::string::npos) << status;
        EXPECT_FALSE(RestartAsked());
    }

    Forget();
    CProgramResult run = Clone("1", {});
    EXPECT_TRUE(Status().value_or("").ends_with("Done => 8388608\n"));
    EXPECT_TRUE(RestartAsked());
}

// An image whose size is no whole number of sectors is read back to its last byte, past
// the alignment direct I/O needs, from a larger destination of which only the source's
// length is compared; a last sector, cut short, that the FUSE disk dropped is found.
TEST_F(KeldrunVerifyTest, ASourceEndingWithinASectorIsVerifiedToItsLastByte)
{
    const std::size_t size = 5000100;
    Assign('X', Image("X.img", size, '\x3C'));
    Assign('Y', Image("Y.img", 5 * kMiB, '\x55'));
    const std::string backing = Image("backing.img", 5 * kMiB, '\x55');
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"d" + std::to_string(size / kSector)});
    if (mount.Mounted())
        Assign('Z', mount.Image());
    for (const char* mode : {"1", "0"}) {
        for (const char* dest : {"Y:", "Z:"}) {
            SCOPED_TRACE(std::string(dest) + " mode " + mode);
            if (!mount.Mounted() && dest[0] == 'Z')
                continue;
            Forget();
            testsupport::RunCaptured({KELDRUN_PATH, "X:", dest, "FAT32", "1,2,3,4,", mode, m_reportFolder, "1"}, "\n",
                                     m_machine.Root());
            const std::string ending = dest[0] == 'Z' ? CopyDiffersText("X:", "Z:", size / kSector, 1)
                                                      : "Done => 5000100\n" + VerifiedLineText("5000100");
            EXPECT_TRUE(Status().value_or("").ends_with("\n" + ending + "\n")) << Status().value_or("");
        }
    }
}

// A flash drive that claims 8 MiB and keeps 6: the last 2 MiB written go round over the
// first 2, which then read back as the end of the source did. The source's sectors carry
// their numbers: no two of them are alike.
TEST_F(KeldrunVerifyTest, ADiskThatKeepsLessThanItClaimsIsFound)
{
    std::string numbered(8 * kMiB, '\0');
    for (std::uint64_t sector = 0; sector < 8 * kMiB / kSector; ++sector)
        std::memcpy(numbered.data() + sector * kSector, &sector, sizeof sector);
    std::ofstream(m_machine.Path("X.img"), std::ios::binary) << numbered;
    Assign('X', m_machine.Path("X.img"));
    const std::string backing = Image("backing.img", 8 * kMiB, '\x55');
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {}, {"--wrap=" + std::to_string(6 * kMiB)});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('Y', mount.Image());

    EXPECT_EQ(Clone("1", {"1"}).m_exitCode, 0);
    const std::string text = CopyDiffersText("X:", "Y:", 0, 2 * kMiB / kSector);
    EXPECT_TRUE(Status().value_or("").ends_with("\n8388608\n" + text + "\n")) << Status().value_or("");
    EXPECT_FALSE(RestartAsked());
}

// The lying disk behind a loop device, of 512-byte sectors (read back with direct I/O) and
// of 4096-byte ones (read back through the device's page cache, which is dropped first):
// what the disk did not keep is found in either mode.
TEST_F(KeldrunVerifyTest, ALoopDeviceOverADiskThatDropsWritesIsFound)
{
    SourceIsTheImage();
    const std::string backing = Image("backing.img", 8 * kMiB, '\x55');
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"d100", "d101", "d5000"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    for (unsigned sectorSize : {512u, 4096u}) {
        testsupport::CLoopOptions options;
        options.sectorSize = sectorSize;
        std::unique_ptr<testsupport::CLoopDevice> loop = Loop(mount.Image(), options);
        if (!loop)
            GTEST_SKIP() << "no loop device: " << m_skip;
        Assign('Y', loop->Path());
        for (const char* mode : {"1", "0"}) {
            SCOPED_TRACE(std::to_string(sectorSize) + "-byte sectors, mode " + mode);
            Forget();
            Clone(mode, {"1"});
            const std::string text = CopyDiffersText("X:", "Y:", 100, 3);
            EXPECT_TRUE(Status().value_or("").ends_with("\n" + text + "\n")) << Status().value_or("");
            EXPECT_FALSE(RestartAsked());
        }
        // The next loop device may be given the same number.
        std::string error;
        ASSERT_TRUE(platform::RemoveDriveLetter('Y', error)) << error;
    }
}

// A disk behind a page cache that keeps what it was given, whatever the disk kept: what
// was written is read back from the disk, not from the cache.
TEST_F(KeldrunVerifyTest, ThePageCacheDoesNotPassForTheDisk)
{
    SourceIsTheImage();
    const std::string backing = Image("backing.img", 8 * kMiB, '\x55');
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"d3", "d7000"}, {"--cached"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    {
        // A whole page, which the cache then holds as it was written.
        const std::string page(4096, 'w');
        std::fstream disk(mount.Image(), std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(disk.write(page.data(), 4096).flush());
        std::string kept(4096, '\0');
        disk.seekg(0).read(kept.data(), 4096);
        if (kept != page)
            GTEST_SKIP() << "the kernel keeps no page cache for this disk";
    }
    Assign('Y', mount.Image());

    CProgramResult run = Clone("1", {"1"});
    const std::string text = CopyDiffersText("X:", "Y:", 3, 2);
    EXPECT_TRUE(Status().value_or("").ends_with("\n" + text + "\n")) << Status().value_or("");
    EXPECT_FALSE(RestartAsked());
}

// Ctrl-Alt-Del during the verification (SIGTERM): the verification stops after the block
// it compares, Keldrun ends with the signal and nothing restarts. The copy is whole, so it
// is done and said not to be verified; one the verification already found to differ is
// not done. The destination's every read takes 100 ms: the first 20 MiB block alone takes
// two seconds to read back.
TEST_F(KeldrunVerifyTest, ASignalDuringTheVerificationLeavesADoneCopyUnverifiedUnlessItDiffers)
{
    const std::size_t size = 24 * kMiB;
    const std::string source = Image("X.img", size, '\x3C');
    Assign('X', source);
    for (bool drops : {false, true}) {
        SCOPED_TRACE(drops ? "dropping sector 100" : "keeping every sector");
        Forget();
        const std::string backing = Image("backing.img", size, '\x55');
        // A letter and a mount of its own for each case: the one before may still be going.
        const std::string dest = drops ? "Z:" : "Y:";
        testsupport::CBadSectorMount mount(m_machine.Path(drops ? "mnt-drops" : "mnt"), backing,
                                           drops ? std::vector<std::string>{"d100"} : std::vector<std::string>{},
                                           {"--read-ms=100"});
        if (!mount.Mounted())
            GTEST_SKIP() << "FUSE cannot be mounted here";
        Assign(dest[0], mount.Image());

        testsupport::CPipedRun run({KELDRUN_PATH, "X:", dest, "FAT32", "1,2,3,4,", "1", m_reportFolder, "1"});
        ASSERT_TRUE(run.Started());
        const std::string verifying =
            boottexts::CloneBeginsLine("X: (" + source + ")", size, dest + " (" + mount.Image() + ")", size, true) +
            "\n20,971,520 total accumulated bytes written to the partition...\n"
            "25,165,824 total accumulated bytes written to the partition...\n\n" +
            boottexts::VerifyingLine(size) + "\n";
        ASSERT_EQ(run.ReadUntil(verifying.size()), verifying);
        const int status = run.Stop(SIGTERM);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;

        const std::string ending = drops ? CopyDiffersText("X:", dest, 100, 1, true)
                                         : "Done => 25165824\n" + NotVerifiedText(SIGTERM);
        EXPECT_EQ(Status(), "From: X:\nTo:   " + dest + "\nFile System: FAT32\n\n20971520\n25165824\n" + ending + "\n");
        EXPECT_FALSE(RestartAsked());
    }
}

// Another user who may write the folder of the images puts a link to another file in the
// place of one of them while the copy runs: the verification reads back the very files the
// clone opened, not what their names point to by then.
TEST_F(KeldrunVerifyTest, WhatIsReadBackIsTheFileTheCloneOpenedNotWhatItsNameNowNames)
{
    if (!testsupport::CanRunAsNobody())
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    const std::string other = Image("other.img", 8 * kMiB, '\x55');
    for (const char* swapped : {"source", "destination"}) {
        SCOPED_TRACE(swapped);
        Forget();
        testsupport::CWorldWritableFolder shared;
        const std::string swapper = shared.CopyProgram(PATHSWAPPER_PATH);
        ASSERT_FALSE(swapper.empty());
        // Both images hold it by the time the copy prints its first lines.
        const std::string trigger = shared.Path() + "/trigger";
        std::ofstream(trigger, std::ios::binary) << m_imageBytes.substr(0, 4096);
        const std::string source = shared.Path() + "/X.img";
        std::filesystem::copy_file(m_image, source);
        const std::string dest = shared.Path() + "/Y.img";
        std::ofstream(dest, std::ios::binary) << std::string(8 * kMiB, '\0');
        // Letters of their own: those of the case before still name its folder.
        const bool onSource = std::string(swapped) == "source";
        const std::string from = onSource ? "S:" : "U:";
        const std::string to = onSource ? "T:" : "V:";
        Assign(from[0], source);
        Assign(to[0], dest);

        testsupport::CPipedRun run({KELDRUN_PATH, from, to, "FAT32", "1,2,3,4,", "0", m_reportFolder, "1"});
        ASSERT_TRUE(run.Started());
        ASSERT_FALSE(run.ReadUntil(1).empty());
        const std::string path = onSource ? source : dest;
        testsupport::CRunAsNobody attacker({swapper, path, other, trigger, "0"});
        EXPECT_EQ(run.Wait(), 0);
        ASSERT_EQ(attacker.Wait(), 0) << "the path was not swapped";

        EXPECT_TRUE(Status().value_or("").ends_with("Done => 8388608\n" + VerifiedLineText("8388608") + "\n"))
            << Status().value_or("");
        EXPECT_EQ(platform::ReadWholeFile(onSource ? dest : dest + ".old"), m_imageBytes);
        EXPECT_EQ(platform::ReadWholeFile(other), std::string(8 * kMiB, '\x55'));
        EXPECT_TRUE(RestartAsked());
    }
}

// Slow mode skips a source's unreadable sectors and a destination's unwritable one; the
// copy without them verifies clean, and says how many were left out.
TEST_F(KeldrunVerifyTest, ASlowModeCloneWithSkippedSectorsVerifiesClean)
{
    testsupport::CBadSectorMount source(m_machine.Path("source"), m_image, {"10", "11", "9000"});
    const std::string backing = Image("backing.img", 8 * kMiB, '\x55');
    testsupport::CBadSectorMount dest(m_machine.Path("dest"), backing, {"w40"});
    if (!source.Mounted() || !dest.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('X', source.Image());
    Assign('Y', dest.Image());

    CProgramResult run = Clone("0", {"1"});
    const std::uint64_t copied = 8 * kMiB - 4 * kSector;
    const std::string digits = std::to_string(copied);
    const std::string status = Status().value_or("");
    EXPECT_TRUE(status.ends_with("on partition X:\nDone => " + digits + "\n" + VerifiedLineText(digits) + "\n"))
        << status;
    EXPECT_NE(status.find("Skipping bad sector at location: 40 on partition Y:"), std::string::npos) << status;
    EXPECT_NE(run.m_out.find(VerifiedNoteText("Y:", copied, 4)), std::string::npos) << run.m_out;
    EXPECT_TRUE(RestartAsked());
}

}  // namespace
