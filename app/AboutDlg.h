// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Dialog.h"

// "About Vantrel": the program's icon, version and maker.
class CAboutDlg : public platform::CDialog {
public:
    CAboutDlg();

protected:
    bool OnInitDialog() override;
};
