// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OptionsDlg.h"

#include "platform/ui/MessageBox.h"
#include "settings/OptionsDlgControls.h"
#include "settings/Settings.h"

using namespace platform;
using namespace optionsdlg;

namespace {

// The dialog's width (dialog units) holds its title in a title bar and its longest text at
// 96 and 192 dpi. The check boxes follow the two groups a row each, and the Exit button and
// the dialog's height follow the last of them, so that one more is one more row.
constexpr int kWidth = 170, kGroupWidth = kWidth - 14, kTextWidth = kWidth - 26;
constexpr int kFirstCheckY = 109, kCheckRow = 12, kButtonWidth = 50, kButtonHeight = 14;

CDialogTemplate OptionsTemplate()
{
    CDialogTemplate dialog{
        129, "Vantrel Options", kWidth, 0, 0,
        {{kSafeModeOnlyButton, ControlKind::RadioButton, {13, 19, kTextWidth, 10}, "&Use Safe Mode exclusively", kGroup | kTabStop},
         {kDontUseSafeModeButton, ControlKind::RadioButton, {13, 31, kTextWidth, 10}, "&Don't use Safe Mode at all", kTabStop},
         {kChooseSafeModeButton, ControlKind::RadioButton, {13, 43, kTextWidth, 10}, "Default: &Will choose as needed", kTabStop},
         {kFastModeButton, ControlKind::RadioButton, {13, 78, kTextWidth, 10}, "Fast Mode", kGroup | kTabStop},
         {kSlowModeButton, ControlKind::RadioButton, {13, 90, kTextWidth, 10}, "Slow Mode", kTabStop}}};
    struct CCheck {
        int id;
        const char* text;
        unsigned style;
    };
    int y = kFirstCheckY;
    for (const CCheck& check : {CCheck{kVerifyCopyBox, "&Verify the copy", kGroup | kTabStop},
                                CCheck{kUsedSpaceOnlyBox, "Copy only used space", kTabStop}}) {
        dialog.controls.push_back({check.id, ControlKind::CheckBox, {13, y, kTextWidth, 10}, check.text, check.style});
        y += kCheckRow;
    }
    const int buttonY = y + 3;
    dialog.controls.push_back({IDOK, ControlKind::PushButton, {(kWidth - kButtonWidth) / 2, buttonY, kButtonWidth,
                               kButtonHeight}, "E&xit", kDefault | kTabStop});
    dialog.controls.push_back({kNoId, ControlKind::GroupBox, {7, 7, kGroupWidth, 52}, "Safe Mode Options", kGroup});
    dialog.controls.push_back({kNoId, ControlKind::GroupBox, {7, 65, kGroupWidth, 40}, "Cloning Speed", 0});
    dialog.height = buttonY + kButtonHeight + 6;
    return dialog;
}

constexpr const char* kUsedSpaceOnlyTip =
    "Copies only what NTFS or FAT32 uses, so a partition that is mostly free is copied in a fraction of the "
    "time.  Free space keeps what the destination held, so deleted files are not copied.  Other file systems, "
    "and volumes that are hibernated or need a check, are copied whole.";

int Flag(bool checked)
{
    return checked ? 1 : 0;
}

}  // namespace

COptionsDlg::COptionsDlg() : CDialog(OptionsTemplate())
{
}

// The Safe Mode buttons are set one by one, so stored values with none or several of the
// three flags on are shown as they are.
bool COptionsDlg::OnInitDialog()
{
    SetCheck(kSafeModeOnlyButton, SafeModeOnly != 0);
    SetCheck(kDontUseSafeModeButton, DontUseSafeMode != 0);
    SetCheck(kChooseSafeModeButton, ChooseSafeMode != 0);
    SetCheck(kFastModeButton, FastMode != 0);
    SetCheck(kSlowModeButton, FastMode == 0);
    SetCheck(kVerifyCopyBox, VerifyCopy != 0);
    SetCheck(kUsedSpaceOnlyBox, UsedSpaceOnly != 0);
    SetControlToolTip(kUsedSpaceOnlyBox, kUsedSpaceOnlyTip);
    return true;
}

void COptionsDlg::OnOK()
{
    SafeModeOnly = Flag(IsChecked(kSafeModeOnlyButton));
    DontUseSafeMode = Flag(IsChecked(kDontUseSafeModeButton));
    ChooseSafeMode = Flag(IsChecked(kChooseSafeModeButton));
    FastMode = Flag(IsChecked(kFastModeButton));
    VerifyCopy = Flag(IsChecked(kVerifyCopyBox));
    UsedSpaceOnly = Flag(IsChecked(kUsedSpaceOnlyBox));
    CDialog::OnOK();
}
