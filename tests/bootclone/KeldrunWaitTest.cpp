// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"
#include "tests/bootclone/KeldrunDrivesFixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

// Keldrun's wait at boot for a letter's device that is not at its stored name: the device
// found under another loop number by its fingerprint is used at once, another device (or
// the device resized) at the name is refused at once, the console says what is waited
// for, and a signal during the wait is recorded.
namespace {

using testsupport::CLoopOptions;
using testsupport::CProgramResult;

// The longest wait a test could sit through; none must reach it.
constexpr const char* kLongWaitMs = "60000";

class KeldrunWaitTest : public CKeldrunDrivesFixture {
protected:
    void SetUp() override
    {
        CKeldrunDrivesFixture::SetUp();
        setenv("VANTREL_WAIT_BOUND_MS", kLongWaitMs, 1);
        m_dest = m_machine.MakeImage("dest.img", 8 * kMiB);
        Assign('Y', m_dest);
    }
    void TearDown() override { unsetenv("VANTREL_WAIT_BOUND_MS"); }

    // X: given to the image attached to a loop device: false (skip with m_skip) where
    // that cannot be done.
    bool LetterOnLoop()
    {
        m_loop = Loop(m_image);
        if (!m_loop)
            return false;
        m_number = m_loop->Number();
        m_stored = m_loop->Path();
        Assign('X', m_stored);
        return true;
    }
    // FAT32, so that the copy is the source byte for byte.
    CProgramResult CloneXOntoY()
    {
        return testsupport::RunCaptured({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder}, "\n",
                                        m_machine.Root());
    }

    std::string m_dest;
    std::unique_ptr<testsupport::CLoopDevice> m_loop;
    int m_number = -1;
    std::string m_stored;  // the loop device X: was given
};

}  // namespace

TEST_F(KeldrunWaitTest, TheLettersImageUnderAnotherLoopNumberIsClonedAtOnce)
{
    if (!LetterOnLoop())
        GTEST_SKIP() << m_skip;

    // Another image takes the number, and the letter's image comes back under another.
    m_loop.reset();
    auto other = Loop(m_machine.MakeImage("other.img", 8 * kMiB), {512, 0, 0, m_number, false});
    if (!other)
        GTEST_SKIP() << "loop" << m_number << " was taken meanwhile: " << m_skip;
    auto moved = Loop(m_image);
    ASSERT_TRUE(moved) << m_skip;

    CProgramResult run = CloneXOntoY();
    EXPECT_TRUE(run.m_out.starts_with(boottexts::FoundElsewhereLine("X: (" + m_stored + ")", moved->Path()) + "\n"))
        << run.m_out << run.m_err;
    EXPECT_NE(run.m_out.find("Succesfully created the Y: partition clone.\n"), std::string::npos) << run.m_out;
    EXPECT_TRUE(platform::ReadWholeFile(m_dest) == m_imageBytes) << "the letter's image was not what was copied";
    EXPECT_TRUE(RestartAsked());
}

TEST_F(KeldrunWaitTest, AReplacedOrResizedDeviceAtTheLettersNameIsRefusedAtOnce)
{
    if (!LetterOnLoop())
        GTEST_SKIP() << m_skip;
    const std::string other = m_machine.MakeImage("other.img", 8 * kMiB);

    struct Change {
        std::string image;
        CLoopOptions options;
        bool resized;
    };
    for (const Change& change : {Change{other, {512, 0, 0, m_number, false}, false},
                                 Change{m_image, {512, 0, 4 * kMiB, m_number, false}, true}}) {
        m_loop.reset();
        m_loop = Loop(change.image, change.options);
        if (!m_loop)
            GTEST_SKIP() << "loop" << m_number << " was taken meanwhile: " << m_skip;
        CProgramResult run = CloneXOntoY();
        const std::string refusal = boottexts::ChangedText("X: (" + m_stored + ")", change.resized);
        EXPECT_EQ(Status(), refusal + "\n") << run.m_out;
        EXPECT_NE(run.m_err.find(refusal), std::string::npos) << run.m_err;
        EXPECT_EQ(platform::ReadWholeFile(m_dest), std::string(8 * kMiB, '\0'));
        EXPECT_FALSE(RestartAsked());
    }
}

// Ctrl-Alt-Del while Keldrun waits: it says on the console what it waits for, and the
// signal leaves the reason in status.txt and the journal before it ends Keldrun.
TEST_F(KeldrunWaitTest, ASignalWhileWaitingIsRecordedAndEndsKeldrun)
{
    const std::string away = m_machine.Path("away.img");
    Assign('X', m_image);
    ASSERT_EQ(rename(m_image.c_str(), away.c_str()), 0);

    testsupport::CPipedRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    ASSERT_TRUE(run.Started());
    const std::string drive = "X: (" + m_image + ")";
    const std::string waiting =
        boottexts::WaitingLine(drive, std::chrono::seconds(0), std::chrono::milliseconds(std::atoi(kLongWaitMs))) +
        "\n";
    EXPECT_EQ(run.ReadUntil(waiting.size()), waiting);
    int status = run.Stop(SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;

    const std::string stopped = boottexts::StoppedWhileWaitingText(drive, SIGTERM);
    EXPECT_EQ(run.Output(), waiting + stopped + "\n");
    EXPECT_EQ(Status(), stopped + "\n");
    EXPECT_NE(Journal().find("warning Keldrun: " + stopped + "\n"), std::string::npos) << Journal();
    EXPECT_FALSE(RestartAsked());
}
