// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/bootclone/KeldrunDrivesFixture.h"

#include <string>

// Keldrun and the drives it is given: a source and destination that share storage are
// refused on image files and on loop devices over them, with nothing written; a letter
// table that cannot be read is said as such.
namespace {

using testsupport::CLoopOptions;
using testsupport::CProgramResult;

constexpr const char* kRefusedText = "CCreateClone::CloneDrive => Cannot clone a partition onto itself!";

class KeldrunDrivesTest : public CKeldrunDrivesFixture {
protected:
    // Both modes refuse with the message, nothing on standard output, the refusal alone in
    // status.txt, no restart, and the image (under every letter) as it was.
    void ExpectRefused(const std::string& source, const std::string& dest)
    {
        for (bool fast : {true, false}) {
            CProgramResult run = Keldrun(source, dest, fast);
            EXPECT_EQ(run.m_exitCode, 0);
            EXPECT_EQ(run.m_out, "") << source << " " << dest;
            EXPECT_NE(run.m_err.find(kRefusedText), std::string::npos) << source << " " << dest << ": " << run.m_err;
            EXPECT_EQ(Status(), std::string(kRefusedText) + "\n");
            EXPECT_FALSE(RestartAsked());
            EXPECT_TRUE(platform::ReadWholeFile(m_image) == m_imageBytes) << source << " onto " << dest;
        }
    }
};

}  // namespace

TEST_F(KeldrunDrivesTest, TheSameLetterTwiceIsRefused)
{
    Assign('X', m_image);
    ExpectRefused("X:", "X:");
    ExpectRefused("x:", "X:");
}

TEST_F(KeldrunDrivesTest, ALoopDeviceOverALetteredImageIsRefusedEitherWay)
{
    auto loop = Loop(m_image);
    if (!loop)
        GTEST_SKIP() << m_skip;
    auto loopOverLoop = Loop(loop->Path(), {512, kMiB, kMiB, std::nullopt, false});
    ASSERT_TRUE(loopOverLoop) << m_skip;
    Assign('X', m_image);
    Assign('Y', loop->Path());
    Assign('Z', loopOverLoop->Path());

    ExpectRefused("X:", "Y:");
    ExpectRefused("Y:", "X:");
    ExpectRefused("X:", "Z:");
    ExpectRefused("Z:", "Y:");
}

TEST_F(KeldrunDrivesTest, OverlappingRegionsOfOneImageAreRefusedAndAdjacentOnesClone)
{
    auto region = Loop(m_image, {512, kMiB, kMiB, std::nullopt, false});  // [1 MiB, 2 MiB)
    if (!region)
        GTEST_SKIP() << m_skip;
    auto whole = Loop(m_image);
    auto halfway = Loop(m_image, {512, kMiB + kMiB / 2, kMiB, std::nullopt, false});
    auto adjacent = Loop(m_image, {512, 2 * kMiB, kMiB, std::nullopt, false});
    ASSERT_TRUE(whole && halfway && adjacent) << m_skip;
    Assign('X', region->Path());
    Assign('W', whole->Path());
    Assign('H', halfway->Path());
    Assign('A', adjacent->Path());

    ExpectRefused("X:", "W:");
    ExpectRefused("W:", "X:");
    ExpectRefused("X:", "H:");
    ExpectRefused("H:", "A:");

    CProgramResult run = Keldrun("X:", "A:", true);
    EXPECT_NE(run.m_out.find("Succesfully created the A: partition clone.\n"), std::string::npos)
        << run.m_out << run.m_err;
    std::string expected = m_imageBytes;
    expected.replace(2 * kMiB, kMiB, m_imageBytes.substr(kMiB, kMiB));
    EXPECT_TRUE(platform::ReadWholeFile(m_image) == expected) << "only the adjacent region may change";
}

TEST_F(KeldrunDrivesTest, APartitionAndItsWholeDiskAreRefused)
{
    auto disk = Loop(m_image, {512, 0, 0, std::nullopt, true});
    if (!disk)
        GTEST_SKIP() << m_skip;
    if (!disk->AddPartition(1, 2048, 4096) || !disk->AddPartition(2, 6144, 4096))
        GTEST_SKIP() << "partitions cannot be added to a loop device here";
    Assign('D', disk->Path());
    Assign('P', disk->PartitionPath(1));
    Assign('Q', disk->PartitionPath(2));

    ExpectRefused("P:", "D:");
    ExpectRefused("D:", "P:");
    ExpectRefused("D:", "Q:");

    // The partitions themselves are side by side.
    CProgramResult run = Keldrun("P:", "Q:", true);
    EXPECT_NE(run.m_out.find("Succesfully created the Q: partition clone.\n"), std::string::npos)
        << run.m_out << run.m_err;
    std::string expected = m_imageBytes;
    expected.replace(3 * kMiB, 2 * kMiB, m_imageBytes.substr(kMiB, 2 * kMiB));
    EXPECT_TRUE(platform::ReadWholeFile(m_image) == expected) << "only the second partition may change";
}

TEST_F(KeldrunDrivesTest, AStoreThatCannotBeReadIsSaidBesideTheOpenFailure)
{
    std::ofstream(m_machine.Path("hklm.db"), std::ios::binary) << std::string(4096, 'x');
    CProgramResult run = Keldrun("X:", "Y:", true);
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, "");
    EXPECT_NE(run.m_err.find("Keldrun: cannot read the drive-letter table: the registry store cannot be read\n"),
              std::string::npos)
        << run.m_err;
    EXPECT_NE(run.m_err.find("CCreateClone::CloneDrive => Cannot open drive partition to clone from!\n\nX: cannot "
                             "be opened: No such file or directory\n"),
              std::string::npos)
        << run.m_err;
    EXPECT_EQ(Status(),
              "CCreateClone::CloneDrive => Cannot open drive partition to clone from!  X: cannot be opened: No such "
              "file or directory\n");
    EXPECT_FALSE(RestartAsked());
}
