// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Every GUI test runs on the offscreen window system, with the window system started
// once for the whole run, as a dialog program starts it.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    platform::CDialogApp application(argc, argv, "Vantrel");
    if (!application.StartWindowSystem())
        return 1;
    return RUN_ALL_TESTS();
}
