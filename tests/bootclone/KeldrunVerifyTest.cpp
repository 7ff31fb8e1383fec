// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"
#include "clone/VerifyTexts.h"
#include "tests/bootclone/BadSectorMount.h"
#include "tests/bootclone/KeldrunDrivesFixture.h"
#include "tests/support/TwinNotes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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
