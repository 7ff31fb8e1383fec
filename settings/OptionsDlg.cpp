// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OptionsDlg.h"

#include "platform/ui/MessageBox.h"
#include "settings/OptionsDlgControls.h"
#include "settings/Settings.h"

using namespace platform;
using namespace optionsdlg;

namespace {

CDialogTemplate OptionsTemplate()
{
    return {129, "Vantrel Options", 136, 156, 0,
            {{kSafeModeOnlyButton, ControlKind::RadioButton, {13, 19, 101, 10}, "&Use Safe Mode exclusively", kGroup | kTabStop},
             {kDontUseSafeModeButton, ControlKind::RadioButton, {13, 31, 99, 10}, "&Don't use Safe Mode at all", kTabStop},
             {kChooseSafeModeButton, ControlKind::RadioButton, {13, 43, 116, 10}, "Default: &Will choose as needed", kTabStop},
             {kFastModeButton, ControlKind::RadioButton, {13, 78, 49, 10}, "Fast Mode", kGroup | kTabStop},
             {kSlowModeButton, ControlKind::RadioButton, {13, 90, 51, 10}, "Slow Mode", kTabStop},
             {kVerifyCopyBox, ControlKind::CheckBox, {13, 109, 110, 10}, "&Verify the copy", kGroup | kTabStop},
             {kUsedSpaceOnlyBox, ControlKind::CheckBox, {13, 121, 110, 10}, "Copy only used space", kTabStop},
             {IDOK, ControlKind::PushButton, {42, 136, 50, 14}, "E&xit", kDefault | kTabStop},
             {kNoId, ControlKind::GroupBox, {7, 7, 122, 52}, "Safe Mode Options", kGroup},
             {kNoId, ControlKind::GroupBox, {7, 65, 122, 40}, "Cloning Speed", 0}}};
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
