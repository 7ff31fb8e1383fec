// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/Help.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace platform;

namespace {

// A machine whose PATH holds only its own bin folder, with the PATH restored afterwards.
class HelpViewer : public testing::Test {
protected:
    void SetUp() override
    {
        const char* path = std::getenv("PATH");
        m_savedPath = path != nullptr ? path : "";
        std::filesystem::create_directory(m_bin);
        setenv("PATH", m_bin.c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    // A viewer that writes the file it was given into <name>.opened.
    std::string MakeViewer(const std::string& name)
    {
        std::string path = m_bin + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.opened\"\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    static void RegisterViewer(const std::string& program)
    {
        CRegKey key;
        ASSERT_EQ(CRegKey::Create(RegRoot::ClassesRoot,
                                  "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", key),
                  RegStatus::Ok);
        ASSERT_EQ(WriteStringValue(key, "", program), RegStatus::Ok);
    }

    // What the viewer was given, once it has run (it runs on its own; this waits for it).
    static std::string OpenedBy(const std::string& viewer)
    {
        std::string opened = viewer + ".opened";
        for (int i = 0; i < 3000 && !std::filesystem::exists(opened); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(opened);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    testsupport::CTempMachine m_machine;
    std::string m_bin = m_machine.Path("bin");
    std::string m_savedPath;
};

TEST_F(HelpViewer, RegisteredViewerOpensTheHelpFileAndXdgOpenStandsInForAMissingOne)
{
    std::string fallback = MakeViewer("xdg-open");
    CHelpViewer unregistered;
    EXPECT_NE(unregistered.DisplayTopic("Vantrel.chm"), 0);
    EXPECT_EQ(unregistered.Program(), fallback);

    RegisterViewer(m_bin + "/no-such-viewer");
    CHelpViewer vanished;
    EXPECT_NE(vanished.DisplayTopic("Vantrel.chm"), 0);
    EXPECT_EQ(vanished.Program(), fallback);

    std::string viewer = MakeViewer("chm-viewer");
    RegisterViewer(viewer);
    CHelpViewer registered;
    EXPECT_NE(registered.DisplayTopic("/opt/Vantrel/Vantrel.chm"), 0);
    EXPECT_EQ(registered.Program(), viewer);
    EXPECT_EQ(OpenedBy(viewer), "/opt/Vantrel/Vantrel.chm");
}

TEST_F(HelpViewer, FailedBindingIsRememberedAndLaterCallsDoNothing)
{
    CHelpViewer help;
    EXPECT_EQ(help.DisplayTopic("Vantrel.chm"), 0);
    std::string viewer = MakeViewer("xdg-open");
    EXPECT_EQ(help.DisplayTopic("Vantrel.chm"), 0);
    EXPECT_EQ(help.Program(), "");
    EXPECT_FALSE(std::filesystem::exists(viewer + ".opened"));
}

}  // namespace
