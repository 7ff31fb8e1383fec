// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "platform/shell/ProgramPath.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

// The help file, the manual pages and the desktop data as the build made them, checked
// with the tools that read them on a user's machine.
class InstalledDataTest : public ::testing::Test {
protected:
    // Runs a shell command line with the arguments $1...; skips the test when a tool is missing.
    testsupport::CProgramResult Shell(const std::string& script, std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.begin(), {"/bin/sh", "-c", script, "sh"});
        return testsupport::RunCaptured(arguments, "", m_machine.Root());
    }
    static bool HasTool(const char* name) { return platform::FindProgram(name).has_value(); }

    testsupport::CTempMachine m_machine;
};

TEST_F(InstalledDataTest, TheHelpFileIsACompiledHelpFileHoldingEveryPageAndEveryLinkLeadsToOne)
{
    if (!HasTool("extract_chmLib"))
        GTEST_SKIP() << "extract_chmLib (libchm-bin) is not installed";
    const std::string pages = m_machine.Path("pages");
    auto extracted = Shell("extract_chmLib \"$1\" \"$2\"", {HELP_FILE, pages});
    ASSERT_EQ(extracted.m_exitCode, 0) << extracted.m_out << extracted.m_err;

    const std::vector<std::string> listed{HELP_PAGES};
    std::string contents = platform::ReadWholeFile(pages + "/toc.hhc").value_or("");
    std::set<std::string> present;
    for (const std::string& page : listed) {
        std::optional<std::string> text = platform::ReadWholeFile(pages + "/" + page);
        ASSERT_TRUE(text) << page << " is not in the help file";
        EXPECT_NE(contents.find("value=\"" + page + "\""), std::string::npos) << page << " is not in the contents";
        EXPECT_TRUE(std::regex_search(*text, std::regex("<title>[^<]+</title>"))) << page;
        present.insert(page);
    }
    const std::regex link("href=\"([^\"#]+)\"");
    for (const std::string& page : listed) {
        std::string text = platform::ReadWholeFile(pages + "/" + page).value_or("");
        for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it)
            EXPECT_TRUE(present.count((*it)[1].str())) << page << " links to " << (*it)[1].str();
    }
}

TEST_F(InstalledDataTest, EveryManualPageFormatsCleanlyAndNamesItsFilesExitStatusAndSystemRoot)
{
    if (!HasTool("man"))
        GTEST_SKIP() << "man (man-db) is not installed";
    for (const std::string page : {MAN_PAGES}) {
        // As a package checker reads it: every warning of the formatter is a fault.
        auto formatted = Shell("LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \"$1\"",
                               {page});
        EXPECT_EQ(formatted.m_exitCode, 0) << page;
        EXPECT_EQ(formatted.m_err, "") << page;
        std::string roff = platform::ReadWholeFile(page).value_or("");
        for (const char* section : {".SH NAME\n", ".SH SYNOPSIS\n", ".SH FILES\n", ".SH EXIT STATUS\n", ".SH ENVIRONMENT\n"})
            EXPECT_NE(roff.find(section), std::string::npos) << page << " has no " << section;
        EXPECT_NE(roff.find("VANTREL_SYSTEM_ROOT"), std::string::npos) << page;
        EXPECT_NE(roff.find("/var/lib/vantrel/"), std::string::npos) << page;
    }
}

TEST_F(InstalledDataTest, TheDesktopEntryAndTheAppStreamDataPassTheirValidators)
{
    if (!HasTool("desktop-file-validate") || !HasTool("appstreamcli"))
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) or appstreamcli (appstream) is not installed";
    auto desktop = Shell("desktop-file-validate \"$1\"", {DESKTOP_FILE});
    EXPECT_EQ(desktop.m_exitCode, 0) << desktop.m_out << desktop.m_err;
    EXPECT_EQ(desktop.m_out, "") << "hints or warnings";
    auto metainfo = Shell("appstreamcli validate --no-net --no-color \"$1\"", {METAINFO_FILE});
    EXPECT_EQ(metainfo.m_exitCode, 0) << metainfo.m_out << metainfo.m_err;
    EXPECT_EQ(metainfo.m_out.find("W: "), std::string::npos) << metainfo.m_out;
}

}  // namespace
