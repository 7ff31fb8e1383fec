// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneApp.h"

#include "app/CloneDlg.h"
#include "app/ColorFile.h"
#include "app/InstallFolder.h"

#include <iostream>

CCloneApp::CCloneApp(platform::CDialogApp& application) : m_application(application)
{
}

bool CCloneApp::InitInstance()
{
    CDialogColours defaults;
    m_application.SetDialogBkColor(defaults.background, defaults.text);
    std::string installFolder;
    std::string whyNot;
    if (!GetInstallFolder(installFolder, whyNot)) {
        std::cerr << "Vantrel: " << whyNot << '\n';
        return false;
    }
    CDialogColours colours = ReadColorFile(installFolder);
    m_application.SetDialogBkColor(colours.background, colours.text);
    if (!m_application.StartWindowSystem()) {
        m_exitCode = 1;
        return false;
    }
    CCloneDlg dialog;
    dialog.DoModal();
    return false;
}
