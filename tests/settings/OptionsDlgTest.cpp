// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneDlg.h"
#include "platform/ui/MessageBox.h"
#include "settings/OptionsDlgControls.h"
#include "settings/Settings.h"
#include "tests/support/gui/GuiTest.h"
#include "tests/support/SimulatedMachine.h"
#include "worker/CloneDlgControls.h"

#include <gtest/gtest.h>

using platform::CDialog;

namespace {

using namespace optionsdlg;
constexpr const char* kNames[] = {"SafeModeOnly", "DontUseSafeMode", "ChooseSafeMode", "FastMode", "VerifyCopy",
                                  "UsedSpaceOnly"};

// The Options dialog as the clone dialog's Options button opens it, with the stored
// settings read at its initialisation and written after it closes.
class OptionsDialog : public testing::Test {
protected:
    OptionsDialog()
    {
        machine.SetInstallFolder(machine.m_machine.Path(""));
        machine.AddNtfs('C', 1 << 20);
    }

    void Store(std::vector<std::uint32_t> values)
    {
        for (std::size_t i = 0; i < values.size(); ++i)
            machine.StoreSetting(kNames[i], values[i]);
    }
    std::vector<std::optional<std::uint32_t>> Stored() const
    {
        std::vector<std::optional<std::uint32_t>> values;
        for (const char* name : kNames)
            values.push_back(machine.StoredSetting(name));
        return values;
    }
    // Which of the five buttons and the two check boxes are selected when the dialog opens.
    std::vector<bool> Open(std::function<void(CDialog&)> thenDo)
    {
        std::vector<bool> selected;
        CCloneDlg dialog(machine.m_drives, machine.m_volumes);
        guitest::RunWith(dialog, [&] {
            guitest::WhenNextDialogRuns([&](CDialog& options) {
                for (int id : {kSafeModeOnlyButton, kDontUseSafeModeButton, kChooseSafeModeButton, kFastModeButton,
                               kSlowModeButton, kVerifyCopyBox, kUsedSpaceOnlyBox})
                    selected.push_back(options.IsChecked(id));
                thenDo(options);
            });
            dialog.UserClick(clonedlg::kOptionsButton);
        });
        return selected;
    }

    guitest::CSimulatedMachine machine;
};

using Values = std::vector<std::optional<std::uint32_t>>;

TEST_F(OptionsDialog, FirstRunShowsWillChooseAndFastModeAndStoresThem)
{
    EXPECT_EQ(Open([](CDialog& options) { options.UserClick(platform::IDOK); }),
              (std::vector<bool>{false, false, true, true, false, false, false}));
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 0, 0}));
}

TEST_F(OptionsDialog, StoredZerosShowNoSafeModeChoiceAndExitStoresThemAgain)
{
    Store({0, 0, 0, 0});
    EXPECT_EQ(Open([](CDialog& options) { options.UserClick(platform::IDOK); }),
              (std::vector<bool>{false, false, false, false, true, false, false}));
    EXPECT_EQ(Stored(), (Values{0, 0, 0, 0, 0, 0}));
}

TEST_F(OptionsDialog, ExitTakesTheChoicesAndTheyHoldForTheRestOfTheRun)
{
    Open([](CDialog& options) {
        options.UserClick(kDontUseSafeModeButton);
        options.UserClick(kSlowModeButton);
        options.UserClick(platform::IDOK);
    });
    EXPECT_EQ(Stored(), (Values{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(DontUseSafeMode, 1);
    EXPECT_EQ(ChooseSafeMode, 0);
    EXPECT_EQ(FastMode, 0);
}

TEST_F(OptionsDialog, EnterPressesExitTheDefaultButton)
{
    Open([](CDialog& options) {
        options.UserClick(kSlowModeButton);
        guitest::PressKeyIn(options, kSlowModeButton, Qt::Key_Return);
    });
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 0, 0, 0}));
}

TEST_F(OptionsDialog, EscapeKeepsTheSettingsAndStoresThemAsFlags)
{
    Store({0, 0, 1, 5, 2, 3});
    EXPECT_EQ(Open([](CDialog& options) {
                  options.UserClick(kSlowModeButton);
                  options.UserClick(kVerifyCopyBox);
                  options.UserClick(kUsedSpaceOnlyBox);
                  options.UserPressEscape();
              }),
              (std::vector<bool>{false, false, true, true, false, true, true}));
    EXPECT_EQ(FastMode, 5);
    EXPECT_EQ(VerifyCopy, 2);
    EXPECT_EQ(UsedSpaceOnly, 3);
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 1, 1}));
}

// The check box turns verification on and off: Exit takes its state, which holds for the
// rest of the run and is stored.
TEST_F(OptionsDialog, VerifyTheCopyIsACheckBoxThatExitStores)
{
    Open([](CDialog& options) {
        options.UserClick(kVerifyCopyBox);
        options.UserClick(platform::IDOK);
    });
    EXPECT_EQ(VerifyCopy, 1);
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 1, 0}));

    EXPECT_EQ(Open([](CDialog& options) {
                  options.UserClick(kVerifyCopyBox);
                  options.UserClick(platform::IDOK);
              }),
              (std::vector<bool>{false, false, true, true, false, true, false}));
    EXPECT_EQ(VerifyCopy, 0);
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 0, 0}));
}

// The check box turns the option on and off; Exit stores what it shows, and the next
// opening shows what was stored.
TEST_F(OptionsDialog, CopyOnlyUsedSpaceIsTickedStoredAndShownAgain)
{
    Open([](CDialog& options) {
        options.UserClick(kUsedSpaceOnlyBox);
        options.UserClick(platform::IDOK);
    });
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 0, 1}));
    EXPECT_EQ(UsedSpaceOnly, 1);
    EXPECT_EQ(Open([](CDialog& options) {
                  EXPECT_FALSE(options.ControlToolTip(kUsedSpaceOnlyBox).empty());
                  options.UserClick(kUsedSpaceOnlyBox);
                  options.UserClick(kUsedSpaceOnlyBox);
                  options.UserClick(kUsedSpaceOnlyBox);
                  options.UserClick(platform::IDOK);
              }),
              (std::vector<bool>{false, false, true, true, false, false, true}));
    EXPECT_EQ(UsedSpaceOnly, 0);
    EXPECT_EQ(Stored(), (Values{0, 0, 1, 1, 0, 0}));
}

}  // namespace
