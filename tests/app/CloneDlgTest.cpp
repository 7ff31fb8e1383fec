// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutDlg.h"
#include "app/CloneDlg.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CloneDlgControls.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <future>

using namespace clonedlg;
using guitest::Items;
using Texts = std::vector<std::string>;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

class CloneDialog : public testing::Test {
protected:
    CloneDialog() { machine.SetInstallFolder(machine.m_machine.Path("Vantrel/")); }

    // Runs the clone dialog of the machine with script inside it.
    int Run(std::function<void(CCloneDlg&)> script)
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        return guitest::RunWith(dialog, [&] { script(dialog); });
    }

    guitest::CSimulatedMachine machine;
};

TEST_F(CloneDialog, ListsEveryDriveButAAsSourceAndOffersNeitherWindowsDriveNorSource)
{
    machine.AddUnopenable('A', platform::kDriveRemovable);
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB);
    Run([](CCloneDlg& dialog) {
        EXPECT_EQ(Items(dialog, kSourceList), (Texts{"C:", "D:"}));
        EXPECT_EQ(dialog.SelectedText(kSourceList), "C:");
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "D:"}));
        EXPECT_EQ(dialog.CurSel(kDestList), 0);
        EXPECT_EQ(dialog.ControlText(kSourceFileSystem), " NTFS");
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 104,857,600");

        dialog.UserChoose(kSourceList, 1);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{""}));
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 209,715,200");
    });
}

TEST_F(CloneDialog, DestinationMustBeRecognisedLargeEnoughAndNotNtfsOntoFat32)
{
    machine.AddNtfs('E', 1234567);
    machine.AddNtfs('F', 1234567);            // exactly as large
    machine.AddNtfs('G', 1234566);            // one byte smaller
    machine.AddFat32('H', 4 * 1024 * 1024);   // 2 GiB, but FAT32
    machine.AddFat16('I', 3 * kMiB);
    machine.AddUnopenable('J', platform::kDriveRemote);
    machine.AddUnopenable('K', platform::kDriveCdrom);
    machine.AddUnopenable('L', platform::kDriveRamdisk);
    machine.AddNtfs('M', 3 * 1024 * kMiB);
    machine.AddNtfs('N', 999);
    Run([](CCloneDlg& dialog) {
        EXPECT_EQ(Items(dialog, kSourceList), (Texts{"E:", "F:", "G:", "H:", "I:", "J:", "M:", "N:"}));
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "F:", "I:", "M:"}));
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 1,234,567");

        dialog.UserChoose(kSourceList, 3);  // FAT32 source: NTFS destinations large enough
        EXPECT_EQ(dialog.ControlText(kSourceFileSystem), " FAT32");
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 2,147,483,648");
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "M:"}));

        dialog.UserChoose(kSourceList, 7);
        EXPECT_EQ(dialog.ControlText(kSourceSize), " 999");
    });
}

TEST_F(CloneDialog, CreateFollowsTheDestinationChoice)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB);
    machine.AddNtfs('E', 300 * kMiB);
    machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
    Run([](CCloneDlg& dialog) {
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
        EXPECT_FALSE(dialog.IsControlEnabled(kCancelButton));
        EXPECT_EQ(dialog.FocusedControl(), kExitButton);

        dialog.UserChoose(kDestList, 2);
        EXPECT_TRUE(dialog.IsControlEnabled(kCreateButton));
        EXPECT_EQ(dialog.ControlText(kDestFileSystem), " NTFS");
        EXPECT_EQ(dialog.ControlText(kDestSize), " 314,572,800");

        dialog.UserChoose(kDestList, 0);
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
        EXPECT_EQ(dialog.ControlText(kDestFileSystem), "");
        EXPECT_EQ(dialog.ControlText(kDestSize), "");

        dialog.UserChoose(kDestList, 1);
        dialog.UserChoose(kSourceList, 1);
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
        EXPECT_EQ(dialog.SelectedText(kDestList), "");
        EXPECT_EQ(dialog.ControlText(kDestSize), "");
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "E:"}));
    });
}

TEST_F(CloneDialog, UnrecognisedSourceIsOfferedNoDestination)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddUnopenable('D', platform::kDriveFixed);
    machine.AddNtfs('E', 300 * kMiB);
    machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
    Run([](CCloneDlg& dialog) {
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "E:"}));
        dialog.UserChoose(kSourceList, 1);
        EXPECT_EQ(dialog.ControlText(kSourceFileSystem), "");
        EXPECT_EQ(Items(dialog, kDestList), (Texts{""}));
    });
}

TEST_F(CloneDialog, DestinationThatCannotBeReadSinceTheListWasFilledGetsNoCreate)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB);
    machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
    Run([this](CCloneDlg& dialog) {
        machine.m_volumes.RefuseOpen('D', platform::VolumeAccess::Read);
        dialog.UserChoose(kDestList, 1);
        EXPECT_EQ(dialog.ControlText(kDestFileSystem), "");
        EXPECT_FALSE(dialog.IsControlEnabled(kCreateButton));
    });
}

TEST_F(CloneDialog, GlyphRowIsBlankAndFallsInsideTheBytesCopiedField)
{
    machine.AddNtfs('C', 100 * kMiB);
    Run([](CCloneDlg& dialog) {
        for (int id = kFirstGlyph; id < kFirstGlyph + kGlyphCount; ++id)
            EXPECT_EQ(dialog.ControlText(id), "") << id;
        // The worker draws 19 glyphs from x 127, a digit 6 wide, a separator 3, 12 high at y 92.
        platform::CPixelRect field = dialog.ControlRect(kBytesCopied);
        EXPECT_LT(field.x, 127);
        EXPECT_GT(field.x + field.width, 127 + 15 * 6 + 4 * 3);
        EXPECT_LT(field.y, 92);
        EXPECT_GT(field.y + field.height, 92 + 12);
    });
}

TEST_F(CloneDialog, EndsAtOnceWithoutAnInstallFolder)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.SetInstallFolder("");
    bool shown = false;
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    platform::PostToUiThread([&] { shown = platform::CDialog::ActiveDialog() != nullptr; });
    EXPECT_EQ(dialog.DoModal(), platform::IDCANCEL);
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown);
}

// The dialog asks the clone, not its buttons: while the worker runs, neither Escape, nor
// the close box, nor Exit ends it, even with the buttons unlocked behind the worker's back.
TEST_F(CloneDialog, RefusesToCloseWhileACloneHoldsItsControls)
{
    machine.m_drives.SetWindowsDirectory("Z:\\WINDOWS");
    testsupport::CMemoryVolume& source = machine.AddFat32('C', 128, 64 * 1024);
    machine.AddNtfs('D', 128 * 1024, 128 * 1024);
    machine.StoreSetting("ChooseSafeMode", 0);
    machine.StoreSetting("DontUseSafeMode", 1);  // Create clones at once
    testsupport::CScriptedMessageBox boxes;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool refused = false;
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    int result = guitest::RunUntilEnded(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        source.OnRead([released](int) { released.wait(); });
        dialog.UserClick(kCreateButton);
        guitest::WhenTrue([&] { return dialog.IsControlEnabled(kCancelButton); }, [&] {
            dialog.UserPressEscape();
            dialog.UserCloseWindow();
            dialog.EnableControl(kCancelButton, false);
            dialog.EnableControl(kExitButton, true);
            dialog.EnableControl(kDriveConfigsButton, true);
            dialog.UserPressEscape();
            dialog.UserClick(kExitButton);
            refused = platform::CDialog::ActiveDialog() == &dialog;
            release.set_value();
            // Refused until the worker is over, then the dialog closes.
            guitest::WhenTrue(
                [&] {
                    dialog.UserPressEscape();
                    return platform::CDialog::ActiveDialog() != &dialog;
                },
                [] {});
        });
    });
    EXPECT_TRUE(refused);
    EXPECT_EQ(result, platform::IDCANCEL);
    EXPECT_EQ(boxes.Texts().size(), 1u);
}

TEST_F(CloneDialog, AboutBoxComesFromTheWindowMenu)
{
    machine.AddNtfs('C', 100 * kMiB);
    bool aboutShown = false;
    Run([&](CCloneDlg& dialog) {
        guitest::WhenNextDialogRuns([&](platform::CDialog& about) {
            aboutShown = dynamic_cast<CAboutDlg*>(&about) != nullptr;
            about.UserClick(platform::IDOK);
        });
        dialog.UserSystemCommand(kAboutCommand);
        EXPECT_EQ(platform::CDialog::ActiveDialog(), &dialog);
    });
    EXPECT_TRUE(aboutShown);
}

}  // namespace

// On Linux a letter says nothing: every entry and field tells its device, label and mount
// point, while the lists keep their texts.
TEST_F(CloneDialog, EveryListedDriveAndShownFieldTellsItsDevice)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB);
    machine.AddNtfs('E', 300 * kMiB);
    machine.m_drives.SetDetails('C', {"/dev/sda2", "SYSTEM", "/"});
    machine.m_drives.SetDetails('D', {"/dev/sdc1", "DATA", ""});
    machine.m_drives.SetDetails('E', {"/srv/images/e.img", "", "/media/e"});
    const std::string c = "/dev/sda2\nSize: 100.0 MiB\nLabel: SYSTEM\nMounted on /",
                      d = "/dev/sdc1\nSize: 200.0 MiB\nLabel: DATA\nNot mounted",
                      e = "/srv/images/e.img\nSize: 300.0 MiB\nMounted on /media/e";
    Run([&](CCloneDlg& dialog) {
        EXPECT_EQ(Items(dialog, kSourceList), (Texts{"C:", "D:", "E:"}));
        EXPECT_EQ(dialog.ItemToolTip(kSourceList, 0), c);
        EXPECT_EQ(dialog.ItemToolTip(kSourceList, 1), d);
        EXPECT_EQ(dialog.ItemToolTip(kSourceList, 2), e);
        EXPECT_EQ(dialog.ControlToolTip(kSourceFileSystem), c);
        EXPECT_EQ(dialog.ControlToolTip(kSourceSize), c);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "D:", "E:"}));
        EXPECT_EQ(dialog.ItemToolTip(kDestList, 0), "");
        EXPECT_EQ(dialog.ItemToolTip(kDestList, 1), d);
        EXPECT_EQ(dialog.ItemToolTip(kDestList, 2), e);
        EXPECT_EQ(dialog.ControlToolTip(kDestFileSystem), "");

        dialog.UserChoose(kDestList, 2);
        EXPECT_EQ(dialog.ControlText(kDestFileSystem), " NTFS");
        EXPECT_EQ(dialog.ControlToolTip(kDestFileSystem), e);
        EXPECT_EQ(dialog.ControlToolTip(kDestSize), e);
        dialog.UserChoose(kDestList, 0);
        EXPECT_EQ(dialog.ControlToolTip(kDestFileSystem), "");
        EXPECT_EQ(dialog.ControlToolTip(kDestSize), "");

        dialog.UserChoose(kSourceList, 1);
        EXPECT_EQ(dialog.ControlToolTip(kSourceSize), d);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "E:"}));
        EXPECT_EQ(dialog.ItemToolTip(kDestList, 1), e);
    });
}

// Two letters for one partition, or a letter for a part of it: the source is not offered
// as its own destination under another name, nor is the Windows drive.
TEST_F(CloneDialog, DestinationsAreComparedByTheirStorageNotByTheirLetters)
{
    machine.AddNtfs('C', 100 * kMiB);
    machine.AddNtfs('D', 200 * kMiB, 4 * kMiB);
    machine.AddNtfs('G', 400 * kMiB);
    auto alias = [&](char letter, std::uint64_t bytes) {
        machine.m_drives.SetDrive(letter, {platform::kDriveFixed, bytes, 0});
    };
    machine.m_volumes.Share('E', 'D');
    alias('E', 200 * kMiB);
    machine.m_volumes.AddRegion('F', 'D', 0, 2 * kMiB);  // starts with D:'s boot sector
    alias('F', 200 * kMiB);
    machine.m_volumes.Share('W', 'C');  // the Windows drive under another letter
    alias('W', 100 * kMiB);
    Run([](CCloneDlg& dialog) {
        EXPECT_EQ(Items(dialog, kSourceList), (Texts{"C:", "D:", "E:", "F:", "G:", "W:"}));
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "D:", "E:", "F:", "G:"}));

        dialog.UserChoose(kSourceList, 1);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "G:"}));
        dialog.UserChoose(kSourceList, 2);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{"", "G:"}));
        dialog.UserChoose(kSourceList, 4);
        EXPECT_EQ(Items(dialog, kDestList), (Texts{""}));  // nothing large enough
    });
}
