// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "platform/shell/ProgramPath.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;

// The shell scripts of the source tree, by path from its top: every file whose first line
// runs sh or bash, and every .sh file (a sourced one too); the build folders and git's
// left out.
std::vector<std::string> ShellScripts()
{
    const std::regex shell("#!(/usr)?/bin/(env )?(ba)?sh\\b.*");
    std::vector<std::string> scripts;
    const fs::path top = SOURCE_DIR;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name == ".git" || (it.depth() == 0 && name.rfind("build", 0) == 0))) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file())
            continue;
        std::string first;
        std::getline(std::ifstream(it->path()), first);
        if (std::regex_match(first, shell) || it->path().extension() == ".sh")
            scripts.push_back(fs::relative(it->path(), top).string());
    }
    std::sort(scripts.begin(), scripts.end());
    return scripts;
}

TEST(ShellScripts, EveryScriptNamesItsShellAndItsLicenceOnItsFirstTwoLines)
{
    std::vector<std::string> scripts = ShellScripts();
    for (const char* known : {".ci/run", "scripts/vm-test.sh", "scripts/vm-test/session.sh", "scripts/images.sh",
                              "scripts/install-deps", "packaging/vantrel-launch.in", "debian/vantrel.postinst"})
        EXPECT_NE(std::find(scripts.begin(), scripts.end(), known), scripts.end()) << known << " was not found";
    for (const std::string& script : scripts) {
        std::ifstream in(fs::path(SOURCE_DIR) / script);
        std::string shebang, licence;
        std::getline(in, shebang);
        std::getline(in, licence);
        EXPECT_EQ(shebang.rfind("#!", 0), 0u) << script;
        EXPECT_EQ(licence, "# SPDX-License-Identifier: GPL-3.0-or-later") << script;
    }
}

TEST(ShellScripts, ShellcheckFindsNothingInAnyScript)
{
    std::optional<std::string> shellcheck = platform::FindProgram("shellcheck");
    if (!shellcheck)
        GTEST_SKIP() << "shellcheck is not installed";
    testsupport::CTempMachine scratch;
    // Following the scripts each one sources; each tells its shell on its first line.
    std::vector<std::string> argv{*shellcheck, "--external-sources"};
    for (const std::string& script : ShellScripts())
        argv.push_back((fs::path(SOURCE_DIR) / script).string());
    testsupport::CProgramResult checked = testsupport::RunCaptured(argv, "", scratch.Root());
    EXPECT_EQ(checked.m_exitCode, 0) << checked.m_out << checked.m_err;
    EXPECT_EQ(checked.m_out, "");
}

}  // namespace
