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
    // LetterOnLoop, then another image attached under the letter's loop number.
    bool LetterWithItsNameTaken()
    {
        if (!LetterOnLoop())
            return false;
        m_loop.reset();
        m_other = Loop(m_machine.MakeImage("other.img", 8 * kMiB), {512, 0, 0, m_number, false});
        if (!m_other)
            m_skip = "loop" + std::to_string(m_number) + " was taken meanwhile: " + m_skip;
        return m_other != nullptr;
    }
    // The console's line when the wait for drive begins.
    static std::string FirstWaitingLine(const std::string& drive)
    {
        return boottexts::WaitingLine(drive, std::chrono::seconds(0),
                                      std::chrono::milliseconds(std::atoi(kLongWaitMs))) +
               "\n";
    }
    // FAT32, so that the copy is the source byte for byte.
    CProgramResult CloneXOntoY()
    {
        return testsupport::RunCaptured({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder}, "\n",
                                        m_machine.Root());
    }

    std::string m_dest;
    std::unique_ptr<testsupport::CLoopDevice> m_loop;
    std::unique_ptr<testsupport::CLoopDevice> m_other;  // at the letter's loop number
    int m_number = -1;
    std::string m_stored;  // the loop device X: was given
};

}  // namespace

TEST_F(KeldrunWaitTest, TheLettersImageUnderAnotherLoopNumberIsClonedAtOnce)
{
    // Another image takes the number, and the letter's image comes back under another.
    if (!LetterWithItsNameTaken())
        GTEST_SKIP() << m_skip;
    auto moved = Loop(m_image);
    ASSERT_TRUE(moved) << m_skip;

    CProgramResult run = CloneXOntoY();
    EXPECT_TRUE(run.m_out.starts_with(boottexts::FoundElsewhereLine("X: (" + m_stored + ")", moved->Path()) + "\n"))
        << run.m_out << run.m_err;
    EXPECT_NE(run.m_out.find("Succesfully created the Y: partition clone.\n"), std::string::npos) << run.m_out;
    EXPECT_TRUE(platform::ReadWholeFile(m_dest) == m_imageBytes) << "the letter's image was not what was copied";
    EXPECT_TRUE(RestartAsked());
}

// Refused long before the bound, once the other device has stood at the name a ninth of it.
TEST_F(KeldrunWaitTest, AReplacedOrResizedDeviceAtTheLettersNameIsRefusedBeforeTheBound)
{
    setenv("VANTREL_WAIT_BOUND_MS", "9000", 1);
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

// Disks that come up in another order take each other's kernel names: the letter's own
// device, showing under another name a moment after another one took its name, is used.
TEST_F(KeldrunWaitTest, TheLettersImageShowingUpAfterItsNameWasTakenIsCloned)
{
    if (!LetterWithItsNameTaken())
        GTEST_SKIP() << m_skip;
    testsupport::CPipedRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    ASSERT_TRUE(run.Started());
    const std::string drive = "X: (" + m_stored + ")";
    const std::string waiting = FirstWaitingLine(drive);
    EXPECT_EQ(run.ReadUntil(waiting.size()), waiting);
    auto moved = Loop(m_image);
    ASSERT_TRUE(moved) << m_skip;
    run.Wait();
    EXPECT_TRUE(run.Output().starts_with(waiting + boottexts::FoundElsewhereLine(drive, moved->Path()) + "\n"))
        << run.Output();
    EXPECT_NE(run.Output().find("Succesfully created the Y: partition clone.\n"), std::string::npos);
    EXPECT_TRUE(platform::ReadWholeFile(m_dest) == m_imageBytes) << "the letter's image was not what was copied";
}

// Ctrl-Alt-Del while Keldrun waits: it says on the console what it waits for, and the
// signal leaves the reason in status.txt and the journal before it ends Keldrun, also
// when the partition appears at that moment: nothing is written then.
TEST_F(KeldrunWaitTest, ASignalWhileWaitingIsRecordedAndEndsKeldrun)
{
    const std::string away = m_machine.Path("away.img");
    Assign('X', m_image);
    const std::string drive = "X: (" + m_image + ")";
    const std::string waiting = FirstWaitingLine(drive);
    const std::string stopped = boottexts::StoppedWhileWaitingText(drive, SIGTERM);
    for (bool appears : {false, true}) {
        ASSERT_EQ(rename(m_image.c_str(), away.c_str()), 0);
        testsupport::CPipedRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(run.ReadUntil(waiting.size()), waiting);
        kill(run.Pid(), SIGTERM);
        ASSERT_EQ(rename(away.c_str(), m_image.c_str()), 0);
        if (!appears) {
            ASSERT_EQ(rename(m_image.c_str(), away.c_str()), 0);
        }
        int status = run.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;

        EXPECT_EQ(run.Output(), waiting + stopped + "\n") << appears;
        EXPECT_EQ(Status(), stopped + "\n");
        EXPECT_NE(Journal().find("warning Keldrun: " + stopped + "\n"), std::string::npos) << Journal();
        EXPECT_EQ(platform::ReadWholeFile(m_dest), std::string(8 * kMiB, '\0')) << "the destination was written";
        EXPECT_FALSE(RestartAsked());
        if (!appears) {
            ASSERT_EQ(rename(away.c_str(), m_image.c_str()), 0);
        }
    }
}
