// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloneApp.h"
#include "platform/qt/Application.h"
#include "platform/system/StandardOptions.h"

namespace {

const char* const kUsage =
    "Usage: Vantrel\n"
    "Copies one partition onto another, byte for byte, from a dialog: at once, or at the\n"
    "next start of the machine (Safe Mode). The install folder is the value Path of\n"
    "HKLM\\Software\\Tembric\\Vantrel, which Vantrel must be able to open for writing.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

int main(int argc, char** argv)
{
    if (platform::AnsweredStandardOption(argc, argv, "Vantrel", kUsage))
        return 0;
    platform::CDialogApp application(argc, argv, "Vantrel");
    CCloneApp cloneApp(application);
    cloneApp.InitInstance();
    return cloneApp.ExitCode();
}
