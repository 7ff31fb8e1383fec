// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"
#include "clone/CloneDrive.h"
#include "platform/atoms/Atoms.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/NoNewThreads.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CancelAtom.h"
#include "worker/CloneDlgControls.h"
#include "worker/CreateClone.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <future>

using namespace clonedlg;
using platform::IDCANCEL;
using platform::IDNO;
using platform::IDYES;

namespace {

constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kEntry = "Vantrel Clone Partition";
constexpr const char* kSafeModeQuestionStart = "Do you want to clone the partition in Safe Mode?\t\t\t\t\t \n\n";
constexpr const char* kRebootQuestionStart = "The system must be rebooted to begin the clone process.";

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

// A FAT32 source C: of 64 KiB and a 128 KiB NTFS destination D:, with C: and D: selected.
class CloneStart : public testing::Test {
protected:
    CloneStart()
    {
        machine.SetInstallFolder(machine.m_machine.Path(""));
        machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
        source = &machine.AddFat32('C', 128, 64 * 1024);
        destination = &machine.AddNtfs('D', 128 * 1024, 128 * 1024);
    }

    void Settings(std::uint32_t chooseSafeMode, std::uint32_t dontUseSafeMode)
    {
        machine.StoreSetting("ChooseSafeMode", chooseSafeMode);
        machine.StoreSetting("DontUseSafeMode", dontUseSafeMode);
    }

    // Presses Create with C: and D: chosen, then runs afterwards once the dialog is idle
    // again: at once, or when the clone it started has told its outcome and unlocked.
    void Create(bool cloneExpected, std::function<void(CCloneDlg&)> afterwards = {})
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunUntilEnded(dialog, [&] {
            dialog.UserChoose(kDestList, 1);
            ASSERT_TRUE(dialog.IsControlEnabled(kCreateButton));
            dialog.UserClick(kCreateButton);
            // The worker cannot lock the dialog before this handler has returned.
            std::size_t asked = boxes.Texts().size();
            guitest::WhenTrue(
                [&, asked] {
                    return !cloneExpected || (boxes.Texts().size() > asked && !dialog.IsControlEnabled(kCancelButton) &&
                                              dialog.IsControlEnabled(kDriveConfigsButton));
                },
                [&] {
                    if (afterwards)
                        afterwards(dialog);
                    dialog.EndDialog(IDCANCEL);
                });
        });
    }

    // Only a clone opens a drive for writing.
    bool CloneStarted() const
    {
        for (const auto& open : machine.m_volumes.Opens())
            if (open.access == platform::VolumeAccess::Write)
                return true;
        return false;
    }
    bool Told(const std::string& start) const
    {
        for (const std::string& text : boxes.Texts())
            if (StartsWith(text, start))
                return true;
        return false;
    }
    std::optional<std::string> Entry() const
    {
        return machine.ReadString(platform::RegRoot::LocalMachine, kRunOnce, kEntry);
    }
    static std::string Glyphs(CCloneDlg& dialog)
    {
        std::string shown;
        for (int id = kFirstGlyph; id < kFirstGlyph + kGlyphCount; ++id)
            shown += dialog.ControlText(id);
        return shown;
    }

    guitest::CSimulatedMachine machine;
    testsupport::CScriptedMessageBox boxes;
    testsupport::CMemoryVolume* source;
    testsupport::CMemoryVolume* destination;
};

TEST_F(CloneStart, FirstRunAsksAboutSafeModeAndCancelLeavesEverythingAsItWas)
{
    boxes.Answer(IDCANCEL);
    Create(false);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_TRUE(StartsWith(boxes.Texts()[0], kSafeModeQuestionStart));
    EXPECT_FALSE(Entry());
    EXPECT_FALSE(CloneStarted());
}

TEST_F(CloneStart, YesSchedulesTheCloneWithTheSourceFileSystemAndTheDestinationSizeField)
{
    boxes.Answer(IDYES);
    boxes.Answer(IDNO);  // the reboot question: not now
    Create(false);
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_TRUE(StartsWith(boxes.Texts()[1], kRebootQuestionStart));
    ASSERT_TRUE(Entry());
    EXPECT_NE(Entry()->find(" C: D: FAT32 255,0,0,0,0,0,0,0 1 "), std::string::npos) << *Entry();
    EXPECT_FALSE(CloneStarted());
}

TEST_F(CloneStart, NoClonesAtOnceAndTheDialogShowsTheBytesCopied)
{
    boxes.Answer(IDNO);
    std::string glyphs;
    bool unlocked = false;
    Create(true, [&](CCloneDlg& dialog) {
        glyphs = Glyphs(dialog);
        unlocked = dialog.IsControlEnabled(kCreateButton) && !dialog.IsControlEnabled(kCancelButton);
    });
    EXPECT_EQ(glyphs, "65,536");
    EXPECT_TRUE(unlocked);
    EXPECT_FALSE(Entry());
    EXPECT_EQ(destination->Bytes()[82], std::byte{'F'});  // the FAT32 boot sector arrived
}

// "Verify the copy" reaches the clone started at once, whose dialog then counts the bytes
// verified, and the clone scheduled for the next start, as its seventh argument.
TEST_F(CloneStart, VerifyTheCopyReachesTheCloneAtOnceAndTheBootEntry)
{
    Settings(0, 1);
    machine.StoreSetting("VerifyCopy", 1);
    std::string label, glyphs;
    Create(true, [&](CCloneDlg& dialog) {
        label = dialog.ControlText(kBytesLabel);
        glyphs = Glyphs(dialog);
    });
    EXPECT_EQ(label, kBytesVerifiedLabel);
    EXPECT_EQ(glyphs, "65,536");
    ASSERT_FALSE(boxes.Texts().empty());
    EXPECT_NE(boxes.Texts().back().find("partition was verified"), std::string::npos) << boxes.Texts().back();

    Settings(0, 0);
    boxes.Answer(IDNO);
    Create(false, [&](CCloneDlg& dialog) { label = dialog.ControlText(kBytesLabel); });
    EXPECT_EQ(label, kBytesCopiedLabel);
    ASSERT_TRUE(Entry());
    EXPECT_TRUE(Entry()->ends_with("\" 1")) << *Entry();
}

TEST_F(CloneStart, DontUseSafeModeClonesWithoutAsking)
{
    Settings(0, 1);
    Create(true);
    EXPECT_TRUE(CloneStarted());
    EXPECT_FALSE(Told(kSafeModeQuestionStart));
    EXPECT_TRUE(Told("Done!"));
}

TEST_F(CloneStart, SafeModeOnlySchedulesWithoutAsking)
{
    Settings(0, 0);
    boxes.Answer(IDNO);
    Create(false);
    ASSERT_FALSE(boxes.Texts().empty());
    EXPECT_TRUE(StartsWith(boxes.Texts()[0], kRebootQuestionStart));
    EXPECT_TRUE(Entry());
}

TEST_F(CloneStart, ChooseSafeModeWinsOverDontUseSafeMode)
{
    Settings(1, 1);
    boxes.Answer(IDCANCEL);
    Create(false);
    EXPECT_TRUE(Told(kSafeModeQuestionStart));
    EXPECT_FALSE(CloneStarted());
}

// A clone whose thread the system refuses is told, and leaves a dialog that nothing holds.
TEST_F(CloneStart, ACloneWhoseThreadCannotStartIsToldAndTheDialogStaysUsable)
{
    Settings(0, 1);
    bool usable = false;
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    int result = guitest::RunWith(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        {
            testsupport::CNoNewThreads noThreads;
            if (!noThreads.Active())
                GTEST_SKIP() << "the default thread stack cannot be changed here";
            dialog.UserClick(kCreateButton);
        }
        usable = dialog.IsControlEnabled(kCreateButton) && dialog.IsControlEnabled(kExitButton) &&
                 !dialog.IsControlEnabled(kCancelButton);
        dialog.UserPressEscape();
    });
    if (IsSkipped())
        return;
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kCloneNotStartedText});
    EXPECT_TRUE(usable);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(CloneStarted());
}

// Enter in a list, or with the focus on a button, is never taken as a press of Create,
// whichever control had the focus before.
TEST_F(CloneStart, EnterStartsNoCloneAndSchedulesNothing)
{
    for (bool dontUseSafeMode : {true, false}) {
        Settings(dontUseSafeMode ? 0 : 1, dontUseSafeMode ? 1 : 0);
        boxes.Answer(IDYES);  // would schedule: Safe Mode
        boxes.Answer(IDYES);  // would restart now
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunWith(dialog, [&] {
            dialog.UserChoose(kDestList, 1);
            for (int press = 0; press < 3; ++press) {
                guitest::PressKeyIn(dialog, kDestList, Qt::Key_Return);
                guitest::PressKeyIn(dialog, kSourceList, Qt::Key_Enter);
                guitest::PressKeyIn(dialog, kCreateButton, Qt::Key_Return);
                guitest::PressKeyIn(dialog, kDestList, Qt::Key_Enter);
                guitest::PressKeyIn(dialog, kExitButton, Qt::Key_Return);
            }
            EXPECT_TRUE(dialog.IsControlEnabled(kCreateButton));
            EXPECT_EQ(platform::CDialog::ActiveDialog(), &dialog);
        });
        EXPECT_FALSE(CloneStarted()) << dontUseSafeMode;
        EXPECT_TRUE(boxes.Texts().empty()) << dontUseSafeMode;
        EXPECT_FALSE(Entry()) << dontUseSafeMode;
        EXPECT_FALSE(std::filesystem::exists(machine.m_machine.Path("shutdown.log"))) << dontUseSafeMode;
    }
}

TEST_F(CloneStart, CancelPressedTwiceStopsTheCloneAndLeavesNoCancelAtom)
{
    Settings(0, 1);
    std::promise<void> pressed;
    std::shared_future<void> released = pressed.get_future().share();
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    bool atomWhileRunning = false;
    guitest::RunUntilEnded(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        source->OnRead([released](int) { released.wait(); });
        dialog.UserClick(kCreateButton);
        guitest::WhenTrue([&] { return dialog.IsControlEnabled(kCancelButton); }, [&] {
            dialog.UserClick(kCancelButton);
            dialog.UserClick(kCancelButton);
            atomWhileRunning = platform::FindAtom(kCancelAtomName) != 0;
            pressed.set_value();
            guitest::WhenTrue([&] { return boxes.Texts().size() == 1 && dialog.IsControlEnabled(kDriveConfigsButton); },
                              [&] { dialog.EndDialog(IDCANCEL); });
        });
    });
    EXPECT_TRUE(atomWhileRunning);
    EXPECT_EQ(platform::FindAtom(kCancelAtomName), 0);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_TRUE(StartsWith(boxes.Texts()[0], "Clone cancelled."));
}

// Cancel waits a bounded time for the atom table; when it cannot store its request the
// user is told, and a later press still cancels.
TEST_F(CloneStart, CancelThatCannotBeStoredIsToldAndALaterPressStillCancels)
{
    Settings(0, 1);
    int held = open(machine.m_machine.Path("atoms.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::promise<void> pressed;
    std::shared_future<void> released = pressed.get_future().share();
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    guitest::RunUntilEnded(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        source->OnRead([released](int) { released.wait(); });
        dialog.UserClick(kCreateButton);
        guitest::WhenTrue([&] { return dialog.IsControlEnabled(kCancelButton); }, [&] {
            dialog.UserClick(kCancelButton);
            close(held);
            dialog.UserClick(kCancelButton);
            pressed.set_value();
            guitest::WhenTrue([&] { return boxes.Texts().size() == 2 && dialog.IsControlEnabled(kDriveConfigsButton); },
                              [&] { dialog.EndDialog(IDCANCEL); });
        });
    });
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_TRUE(StartsWith(boxes.Texts()[0], "The clone could not be cancelled")) << boxes.Texts()[0];
    EXPECT_TRUE(StartsWith(boxes.Texts()[1], "Clone cancelled.")) << boxes.Texts()[1];
    EXPECT_EQ(platform::FindAtom(kCancelAtomName), 0);
}

}  // namespace
