// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/qt/Dialog.h"

// The Options dialog: Safe Mode, cloning speed, the verification of the copy and what is
// copied. It opens showing the settings; its Exit button takes the buttons' states back
// into them, while Escape and the close box leave them as they were. Storing them is the
// caller's business.
class COptionsDlg : public platform::CDialog {
public:
    COptionsDlg();

protected:
    bool OnInitDialog() override;
    void OnOK() override;
};
