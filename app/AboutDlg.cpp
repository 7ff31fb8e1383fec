// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutDlg.h"

#include "app/VantrelIcon.h"
#include "platform/ui/MessageBox.h"

using namespace platform;

namespace {

CDialogTemplate AboutTemplate()
{
    return {100, "About Vantrel", 235, 62, 0,
            {{kNoId, ControlKind::Icon, {11, 14, 21, 20}, "", 0},
             {kNoId, ControlKind::Text, {40, 10, 119, 8}, "Vantrel Version 2.1", 0},
             {kNoId, ControlKind::Text, {40, 24, 130, 8}, "Partition cloning by Tembric", 0},
             {kNoId, ControlKind::Text, {40, 36, 188, 8}, "Support: support@tembric.example", 0},
             {IDOK, ControlKind::PushButton, {178, 7, 50, 14}, "OK", kDefault | kTabStop}}};
}

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(AboutTemplate())
{
    SetIcon(kVantrelIcon);
}

bool CAboutDlg::OnInitDialog()
{
    return true;
}
