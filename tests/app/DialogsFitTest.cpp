// SPDX-License-Identifier: GPL-3.0-or-later
// Every text of the clone dialog and the dialogs it opens fits where it is drawn, at the
// dpi this test runs at (it runs at 96 and at 192 dpi).
#include "app/CloneDlg.h"
#include "tests/app/NamedDrives.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/gui/TextFit.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CloneDlgControls.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace clonedlg;

namespace {

// The window of the dialog running innermost.
QWidget* RunningWindow()
{
    return QApplication::activeModalWidget();
}

// Drives with devices and labels of usual lengths (NamedDrives.h).
class DialogsFit : public testing::Test {
protected:
    DialogsFit() { apptest::AddNamedDrives(machine); }

    // Opens a dialog from the clone dialog with open, and checks its texts.
    void ExpectNestedFits(const std::function<void(CCloneDlg&)>& open)
    {
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunWith(dialog, [&] {
            guitest::WhenNextDialogRuns([](platform::CDialog&) {
                EXPECT_EQ(guitest::TextsThatDoNotFit(RunningWindow()), std::vector<std::string>{});
            });
            open(dialog);
        });
    }

    guitest::CSimulatedMachine machine;
    testsupport::CScriptedMessageBox boxes;
};

TEST_F(DialogsFit, TheCloneDialogWithBothDriveLines)
{
    CCloneDlg dialog(machine.m_drives, machine.m_volumes);
    guitest::RunWith(dialog, [&] {
        dialog.UserChoose(kDestList, 1);
        ASSERT_FALSE(dialog.ControlText(kDestDriveLine).empty());
        EXPECT_EQ(guitest::TextsThatDoNotFit(RunningWindow()), std::vector<std::string>{});
    });
}

TEST_F(DialogsFit, TheOptionsDialog)
{
    ExpectNestedFits([](CCloneDlg& dialog) { dialog.UserClick(kOptionsButton); });
}

TEST_F(DialogsFit, TheAboutBox)
{
    ExpectNestedFits([](CCloneDlg& dialog) { dialog.UserSystemCommand(kAboutCommand); });
}

TEST_F(DialogsFit, TheDriveConfigurationsDialog)
{
    ExpectNestedFits([](CCloneDlg& dialog) { dialog.UserClick(kDriveConfigsButton); });
}

}  // namespace
