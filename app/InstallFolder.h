// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The folder of Vantrel's own files, from the value "Path" of HKLM Software\Tembric\Vantrel:
// a "/" is appended when missing, then surrounding white space is removed. False when
// the key cannot be opened with full access or the value is missing or empty; whyNot
// then says which, in one line.
bool GetInstallFolder(std::string& installFolder, std::string& whyNot);
bool GetInstallFolder(std::string& installFolder);
